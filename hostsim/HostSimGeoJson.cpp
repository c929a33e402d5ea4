// GeoJSON in and out of the simulated host, one FeatureCollection per layer, planar
// coordinates as they stand.
//
// Reading a plain file (as another GIS writes it):
// - the layer's identifier is the file name without its extension, its name the collection's
//   "name" member (or the identifier);
// - the properties become one semantic table with the layer's identifier and name, with the
//   fields "ID" and "SIMID" first and then every property key in the order of first appearance
//   (identifier and name both the key);
// - a feature's "id" (text, or a number written as decimal text) is the object's identifier,
//   else "<layer>.<position from 1>"; identifiers must be unique in the database;
// - each Point, LineString and Polygon is a shape, Multi* geometries give one shape per part,
//   a GeometryCollection the shapes of its members; a null geometry gives no shape;
// - an array-valued property gives several records: record k takes element k of every array,
//   a plain value goes into record 0; a feature without properties has no record. JSON null is
//   a null value; integers are I4 when they fit (else R8), other numbers R8, text BSTR, true and
//   false BOOL; an object {"vt": <kind>, "value": <number>} is a value of that variant kind.
// Writing produces the same form, plus the foreign member "orvex" for what plain GeoJSON does
// not say: on the collection {"layer": id, "tables": [{"id", "name", "fields": [{"id",
// "name"}]}]}, on a feature {"styles": [flags per shape]} when a flag is not 1 and {"records":
// {table id: count}} when the count cannot be told from the properties. Properties of the
// layer's first table are keyed by field identifier, those of any further table by
// "<table id>/<field id>". Empty values are left out (as {"vt": 0} inside arrays). Reading
// honours the foreign member, so that writing and reading back loses nothing.
#include "hostsim/HostSim.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "hostsim/HostSimModel.h"

namespace HostSim {

namespace {

using json = nlohmann::ordered_json;  // members keep their order

std::string Utf8(const std::wstring& Text) {
  if (Text.empty()) return std::string();
  int N = WideCharToMultiByte(CP_UTF8, 0, Text.data(), static_cast<int>(Text.size()), nullptr, 0,
                              nullptr, nullptr);
  std::string Out(static_cast<size_t>(N), '\0');
  WideCharToMultiByte(CP_UTF8, 0, Text.data(), static_cast<int>(Text.size()), &Out[0], N, nullptr,
                      nullptr);
  return Out;
}

std::wstring Wide(const std::string& Text) {
  if (Text.empty()) return std::wstring();
  int N = MultiByteToWideChar(CP_UTF8, 0, Text.data(), static_cast<int>(Text.size()), nullptr, 0);
  std::wstring Out(static_cast<size_t>(N), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, Text.data(), static_cast<int>(Text.size()), &Out[0], N);
  return Out;
}

[[noreturn]] void Bad(const std::wstring& File, const std::string& Why) {
  // A parser's message quotes the offending text, which may be enormous: a few lines at most.
  std::string Said = Why;
  if (Said.size() > 300) {
    size_t Cut = 300;
    while (Cut > 0 && (static_cast<unsigned char>(Said[Cut]) & 0xC0) == 0x80) --Cut;
    Said = Said.substr(0, Cut) + "\xE2\x80\xA6";  // an ellipsis, in UTF-8
  }
  throw std::invalid_argument("GeoJSON " + Utf8(File) + ": " + Said);
}

// An error inside one feature, named by its identifier and its place in the file.
[[noreturn]] void BadFeature(const std::wstring& File, const std::wstring& Id, long Position,
                             const std::exception& E) {
  std::string Why = E.what();
  const std::string Prefix = "GeoJSON " + Utf8(File) + ": ";
  if (Why.compare(0, Prefix.size(), Prefix) == 0) Why.erase(0, Prefix.size());
  Bad(File, "feature " + Utf8(Id) + " (number " + std::to_string(Position) + "): " + Why);
}

// Deeper nesting than any GeoJSON needs (a multipolygon's positions lie 8 levels down) is
// refused before the text is parsed: the parsed document is copied and dumped recursively.
constexpr int MaxNesting = 64;

void CheckNesting(const std::string& Text, const std::wstring& File) {
  int Depth = 0;
  bool InString = false, Escaped = false;
  for (char C : Text) {
    if (InString) {
      if (Escaped) Escaped = false;
      else if (C == '\\') Escaped = true;
      else if (C == '"') InString = false;
    } else if (C == '"') {
      InString = true;
    } else if (C == '[' || C == '{') {
      if (++Depth > MaxNesting)
        Bad(File, "arrays and objects nested deeper than " + std::to_string(MaxNesting) + " levels");
    } else if (C == ']' || C == '}') {
      --Depth;
    }
  }
}

std::string ReadFile(const std::wstring& Path) {
  FILE* F = _wfopen(Path.c_str(), L"rb");
  if (!F) throw std::runtime_error("cannot open " + Utf8(Path));
  std::string Data;
  char Buffer[65536];
  size_t N;
  while ((N = fread(Buffer, 1, sizeof Buffer, F)) > 0) Data.append(Buffer, N);
  fclose(F);
  return Data;
}

void WriteFile(const std::wstring& Path, const std::string& Data) {
  FILE* F = _wfopen(Path.c_str(), L"wb");
  if (!F) throw std::runtime_error("cannot create " + Utf8(Path));
  bool Ok = fwrite(Data.data(), 1, Data.size(), F) == Data.size();
  Ok = fclose(F) == 0 && Ok;
  if (!Ok) throw std::runtime_error("cannot write " + Utf8(Path));
}

void MakeFolder(const std::wstring& Folder) {
  for (size_t I = 0; I <= Folder.size(); ++I) {
    if (I < Folder.size() && Folder[I] != L'\\' && Folder[I] != L'/') continue;
    std::wstring Part = Folder.substr(0, I);
    if (Part.empty() || Part.back() == L':') continue;
    DWORD Attributes = GetFileAttributesW(Part.c_str());
    if (Attributes != INVALID_FILE_ATTRIBUTES && (Attributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
    if (!CreateDirectoryW(Part.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
      throw std::runtime_error("cannot create the folder " + Utf8(Part));
  }
}

std::wstring Joined(const std::wstring& Folder, const std::wstring& Name) {
  if (Folder.empty()) return Name;
  wchar_t Last = Folder.back();
  return Folder + (Last == L'\\' || Last == L'/' ? L"" : L"\\") + Name;
}

// ---- values -----------------------------------------------------------------------------

json ValueJson(const TValue& Value) {
  const VARIANT& V = Value.Ref();
  switch (V_VT(&V)) {
    case VT_EMPTY: return json{{"vt", 0}};
    case VT_NULL: return nullptr;
    case VT_I4: return V_I4(&V);
    case VT_R8: return V_R8(&V);
    case VT_BSTR: return Utf8(TextOf(V_BSTR(&V)));
    case VT_BOOL: return V_BOOL(&V) != 0;
    case VT_I2: return json{{"vt", VT_I2}, {"value", V_I2(&V)}};
    case VT_UI1: return json{{"vt", VT_UI1}, {"value", V_UI1(&V)}};
    case VT_R4: return json{{"vt", VT_R4}, {"value", static_cast<double>(V_R4(&V))}};
    case VT_CY: return json{{"vt", VT_CY}, {"value", V_CY(&V).int64}};
    case VT_DATE: return json{{"vt", VT_DATE}, {"value", V_DATE(&V)}};
    default: throw std::invalid_argument("a value of variant type " + std::to_string(V_VT(&V)) +
                                         " has no GeoJSON form");
  }
}

TValue JsonValue(const json& J, const std::wstring& File) {
  VARIANT V;
  VariantInit(&V);
  if (J.is_null()) {
    V_VT(&V) = VT_NULL;
  } else if (J.is_boolean()) {
    V_VT(&V) = VT_BOOL;
    V_BOOL(&V) = J.get<bool>() ? VARIANT_TRUE : VARIANT_FALSE;
  } else if (J.is_number_integer()) {
    long long I = J.get<long long>();
    if (I >= INT32_MIN && I <= INT32_MAX) {
      V_VT(&V) = VT_I4;
      V_I4(&V) = static_cast<LONG>(I);
    } else {
      V_VT(&V) = VT_R8;
      V_R8(&V) = static_cast<double>(I);
    }
  } else if (J.is_number()) {
    V_VT(&V) = VT_R8;
    V_R8(&V) = J.get<double>();
  } else if (J.is_string()) {
    return TValue(Wide(J.get<std::string>()));
  } else if (J.is_object() && J.contains("vt")) {
    int Kind = J["vt"].get<int>();
    const json Value = J.value("value", json(0));
    switch (Kind) {
      case VT_EMPTY: break;
      case VT_I2: V_VT(&V) = VT_I2; V_I2(&V) = static_cast<SHORT>(Value.get<int>()); break;
      case VT_UI1: V_VT(&V) = VT_UI1; V_UI1(&V) = static_cast<BYTE>(Value.get<int>()); break;
      case VT_R4: V_VT(&V) = VT_R4; V_R4(&V) = static_cast<float>(Value.get<double>()); break;
      case VT_CY: V_VT(&V) = VT_CY; V_CY(&V).int64 = Value.get<long long>(); break;
      case VT_DATE: V_VT(&V) = VT_DATE; V_DATE(&V) = Value.get<double>(); break;
      default: Bad(File, "unknown value kind " + std::to_string(Kind));
    }
  } else {
    Bad(File, "a property value must be a number, text, boolean, null or a typed value");
  }
  return TValue(V);
}

// ---- geometry ---------------------------------------------------------------------------

json CoordJson(const TCoord& C) { return json::array({C.first, C.second}); }

json RingJson(const TRing& Ring, bool Reverse) {
  json A = json::array();
  if (Reverse)
    for (auto It = Ring.rbegin(); It != Ring.rend(); ++It) A.push_back(CoordJson(*It));
  else
    for (const TCoord& C : Ring) A.push_back(CoordJson(C));
  return A;
}

// A shape's coordinates as GeoJSON has them: outer rings anticlockwise, holes clockwise.
json ShapeCoordinates(const TShapeData& Shape) {
  std::vector<TRing> Rings = Coordinates(*Shape.Geometry);
  switch (Shape.Kind) {
    case TShapeKind::Point: return CoordJson(Rings[0][0]);
    case TShapeKind::Line: return RingJson(Rings[0], false);
    case TShapeKind::Polygon: {
      json A = json::array();
      for (const TRing& Ring : Rings) A.push_back(RingJson(Ring, true));
      return A;
    }
  }
  return nullptr;
}

const char* TypeName(TShapeKind Kind) {
  switch (Kind) {
    case TShapeKind::Point: return "Point";
    case TShapeKind::Line: return "LineString";
    default: return "Polygon";
  }
}

json GeometryJson(const TObjectData& Object) {
  if (Object.Shapes.empty()) return nullptr;
  if (Object.Shapes.size() == 1)
    return json{{"type", TypeName(Object.Shapes[0].Kind)},
                {"coordinates", ShapeCoordinates(Object.Shapes[0])}};
  bool Same = std::all_of(Object.Shapes.begin(), Object.Shapes.end(),
                          [&](const TShapeData& S) { return S.Kind == Object.Shapes[0].Kind; });
  json Parts = json::array();
  if (Same) {
    for (const TShapeData& Shape : Object.Shapes) Parts.push_back(ShapeCoordinates(Shape));
    return json{{"type", std::string("Multi") + TypeName(Object.Shapes[0].Kind)},
                {"coordinates", Parts}};
  }
  for (const TShapeData& Shape : Object.Shapes)
    Parts.push_back(json{{"type", TypeName(Shape.Kind)}, {"coordinates", ShapeCoordinates(Shape)}});
  return json{{"type", "GeometryCollection"}, {"geometries", Parts}};
}

TCoord JsonCoord(const json& J, const std::wstring& File) {
  if (!J.is_array() || J.size() < 2 || !J[0].is_number() || !J[1].is_number())
    Bad(File, "a position must be an array of at least two numbers");
  return {J[0].get<double>(), J[1].get<double>()};
}

TRing JsonRing(const json& J, const std::wstring& File) {
  if (!J.is_array()) Bad(File, "an array of positions was expected");
  TRing Ring;
  for (const json& C : J) Ring.push_back(JsonCoord(C, File));
  return Ring;
}

TGeometryPtr JsonPolygon(const json& J, const std::wstring& File) {
  if (!J.is_array() || J.empty()) Bad(File, "a polygon needs at least one ring");
  std::vector<TRing> Rings;
  for (const json& R : J) Rings.push_back(JsonRing(R, File));
  return MakePolygon(Rings);
}

void JsonShapes(const json& G, const std::wstring& File, std::vector<TGeometryPtr>& Out) {
  if (G.is_null()) return;
  if (!G.is_object() || !G.contains("type")) Bad(File, "a geometry must be an object with a type");
  const std::string Type = G["type"].get<std::string>();
  if (Type == "GeometryCollection") {
    for (const json& Member : G.at("geometries")) JsonShapes(Member, File, Out);
    return;
  }
  const json& C = G.at("coordinates");
  try {
    if (Type == "Point") {
      TCoord P = JsonCoord(C, File);
      Out.push_back(MakePoint(P.first, P.second));
    } else if (Type == "MultiPoint") {
      for (const json& P : C) {
        TCoord Q = JsonCoord(P, File);
        Out.push_back(MakePoint(Q.first, Q.second));
      }
    } else if (Type == "LineString") {
      Out.push_back(MakeLine(JsonRing(C, File)));
    } else if (Type == "MultiLineString") {
      for (const json& L : C) Out.push_back(MakeLine(JsonRing(L, File)));
    } else if (Type == "Polygon") {
      Out.push_back(JsonPolygon(C, File));
    } else if (Type == "MultiPolygon") {
      for (const json& A : C) Out.push_back(JsonPolygon(A, File));
    } else {
      Bad(File, "unknown geometry type " + Type);
    }
  } catch (const json::exception& E) {
    Bad(File, E.what());
  }
}

// ---- one layer --------------------------------------------------------------------------

// Where a property key puts its values.
struct TSlot {
  TTableData* Table;
  size_t Field;
};

std::wstring FileStem(const std::wstring& Name) {
  size_t Dot = Name.find_last_of(L'.');
  return Dot == std::wstring::npos ? Name : Name.substr(0, Dot);
}

void LoadLayer(THost& Host, TModel& M, const std::wstring& MapId, const std::wstring& File,
               const std::wstring& Stem) {
  json Doc;
  try {
    const std::string Text = ReadFile(File);
    CheckNesting(Text, File);
    Doc = json::parse(Text);
  } catch (const json::exception& E) {
    Bad(File, E.what());
  }
  try {
    if (!Doc.is_object() || Doc.value("type", "") != "FeatureCollection")
      Bad(File, "the file must hold a FeatureCollection");
    const json Meta = Doc.value("orvex", json::object());
    std::wstring LayerId = Meta.contains("layer") ? Wide(Meta["layer"].get<std::string>()) : Stem;
    std::wstring LayerName = Doc.contains("name") && Doc["name"].is_string()
                                 ? Wide(Doc["name"].get<std::string>())
                                 : LayerId;
    Host.AddLayer(MapId, LayerId, LayerName);
    TLayerData& Layer = *M.LayerById.at(LayerId);
    const json Features = Doc.value("features", json::array());

    // Tables and the slot of each property key.
    std::map<std::string, TSlot> Slots;
    bool Described = Meta.contains("tables");
    if (Described) {
      for (const json& T : Meta["tables"]) {
        std::wstring TableId = Wide(T.at("id").get<std::string>());
        Host.AddTable(LayerId, TableId, Wide(T.at("name").get<std::string>()), false);
        for (const json& F : T.at("fields"))
          Host.AddField(TableId, Wide(F.at("id").get<std::string>()), Wide(F.at("name").get<std::string>()));
      }
      for (size_t K = 0; K < Layer.Tables.size(); ++K) {
        TTableData* Table = Layer.Tables[K];
        for (size_t F = 0; F < Table->Fields.size(); ++F) {
          std::string Key = Utf8(Table->Fields[F].Id);
          if (K > 0) Key = Utf8(Table->Id) + "/" + Key;
          Slots.emplace(Key, TSlot{Table, F});
        }
      }
    } else {
      Host.AddTable(LayerId, LayerId, LayerName);
      TTableData* Table = Layer.Tables.back();
      for (const json& Feature : Features) {
        if (!Feature.contains("properties") || !Feature["properties"].is_object()) continue;
        for (const auto& Item : Feature["properties"].items()) {
          if (Slots.count(Item.key())) continue;
          std::wstring Id = Wide(Item.key());
          if (Table->FieldIndex(Id.data(), Id.size()) < 0) Host.AddField(Table->Id, Id, Id);
          Slots.emplace(Item.key(), TSlot{Table, static_cast<size_t>(Table->FieldIndex(Id.data(), Id.size()))});
        }
      }
    }

    long Position = 0;
    for (const json& Feature : Features) {
      ++Position;
      std::wstring Id = LayerId + L"." + std::to_wstring(Position);
      if (!Feature.is_object()) Bad(File, "feature number " + std::to_string(Position) + " is not an object");
      if (Feature.contains("id")) {
        const json& J = Feature["id"];
        if (J.is_string()) Id = Wide(J.get<std::string>());
        else if (J.is_number_integer()) Id = std::to_wstring(J.get<long long>());
        else if (J.is_number()) Id = Wide(J.dump());
      }
      std::vector<TGeometryPtr> Shapes;
      try {
        JsonShapes(Feature.value("geometry", json()), File, Shapes);
      } catch (const std::exception& E) {
        BadFeature(File, Id, Position, E);
      }
      const json FeatureMeta = Feature.value("orvex", json::object());
      std::vector<long> Styles;
      if (FeatureMeta.contains("styles"))
        for (const json& S : FeatureMeta["styles"]) Styles.push_back(S.get<long>());
      if (!Styles.empty() && Styles.size() != Shapes.size())
        Bad(File, "the styles of feature " + Utf8(Id) + " do not match its shapes");
      if (M.ObjectById.count(Id)) Bad(File, "duplicate object identifier " + Utf8(Id));
      TObjectData& Object = M.NewObject(Layer, Id);
      for (size_t S = 0; S < Shapes.size(); ++S) {
        std::vector<TGeometryPtr> One;
        One.push_back(std::move(Shapes[S]));
        M.AddShapes(Object, std::move(One), Styles.empty() ? 1 : Styles[S]);
      }

      // Records: counted per table from the properties, or as the foreign member says.
      const json Properties = Feature.value("properties", json::object());
      if (!Properties.is_object()) continue;
      std::map<TTableData*, size_t> Counts;
      for (const auto& Item : Properties.items()) {
        auto Slot = Slots.find(Item.key());
        if (Slot == Slots.end()) Bad(File, "property " + Item.key() + " is not a field");
        size_t N = Item.value().is_array() ? Item.value().size() : 1;
        Counts[Slot->second.Table] = std::max(Counts[Slot->second.Table], N);
      }
      if (FeatureMeta.contains("records"))
        for (const auto& Item : FeatureMeta["records"].items()) {
          auto Table = M.TableById.find(Wide(Item.key()));
          if (Table == M.TableById.end() || Table->second->Layer != &Layer)
            Bad(File, "records of unknown table " + Item.key());
          Counts[Table->second] = Item.value().get<size_t>();
        }
      for (const auto& Count : Counts) {
        TRows& Rows = Object.RowsFor(Count.first);
        Rows.assign(Count.second, TRow(Count.first->Fields.size()));
      }
      for (const auto& Item : Properties.items()) {
        const TSlot& Slot = Slots.at(Item.key());
        TRows& Rows = Object.RowsFor(Slot.Table);
        if (Item.value().is_array()) {
          for (size_t K = 0; K < Item.value().size() && K < Rows.size(); ++K)
            Rows[K][Slot.Field] = JsonValue(Item.value()[K], File);
        } else if (!Rows.empty()) {
          Rows[0][Slot.Field] = JsonValue(Item.value(), File);
        }
      }
    }
  } catch (const json::exception& E) {
    Bad(File, E.what());
  }
}

json LayerJson(const TModel& M, const TLayerData& Layer) {
  json Tables = json::array();
  for (const TTableData* Table : Layer.Tables) {
    json Fields = json::array();
    for (const TFieldData& Field : Table->Fields)
      Fields.push_back(json{{"id", Utf8(Field.Id)}, {"name", Utf8(Field.Name)}});
    Tables.push_back(json{{"id", Utf8(Table->Id)}, {"name", Utf8(Table->Name)}, {"fields", Fields}});
  }
  json Features = json::array();
  for (const TObjectData* Object : Layer.Objects) {
    json Feature{{"type", "Feature"}, {"id", Utf8(Object->Id)}, {"geometry", GeometryJson(*Object)}};
    json Properties = json::object();
    json Meta = json::object();
    for (size_t K = 0; K < Layer.Tables.size(); ++K) {
      const TTableData* Table = Layer.Tables[K];
      const TRows* Rows = M.CurrentRows(*Object, *Table);
      size_t N = Rows ? Rows->size() : 0;
      size_t Told = 0;  // the count that the properties tell
      for (size_t F = 0; F < Table->Fields.size() && N > 0; ++F) {
        auto ValueAt = [&](size_t R) -> const TValue* {
          const TRow& Row = (*Rows)[R];
          return F < Row.size() ? &Row[F] : nullptr;
        };
        bool Any = false;
        for (size_t R = 0; R < N; ++R)
          if (const TValue* V = ValueAt(R)) Any = Any || V->Type() != VT_EMPTY;
        if (!Any) continue;
        std::string Key = Utf8(Table->Fields[F].Id);
        if (K > 0) Key = Utf8(Table->Id) + "/" + Key;
        if (N == 1) {
          Properties[Key] = ValueJson(*ValueAt(0));
        } else {
          json A = json::array();
          for (size_t R = 0; R < N; ++R) A.push_back(ValueAt(R) ? ValueJson(*ValueAt(R)) : json{{"vt", 0}});
          Properties[Key] = A;
        }
        Told = N;
      }
      if (Told != N) Meta["records"][Utf8(Table->Id)] = N;
    }
    if (std::any_of(Object->Shapes.begin(), Object->Shapes.end(),
                    [](const TShapeData& S) { return S.Flags != 1; })) {
      json Styles = json::array();
      for (const TShapeData& Shape : Object->Shapes) Styles.push_back(Shape.Flags);
      Meta["styles"] = Styles;
    }
    Feature["properties"] = Properties;
    if (!Meta.empty()) Feature["orvex"] = Meta;
    Features.push_back(std::move(Feature));
  }
  return json{{"type", "FeatureCollection"},
              {"name", Utf8(Layer.Name)},
              {"orvex", {{"layer", Utf8(Layer.Id)}, {"tables", Tables}}},
              {"features", Features}};
}

std::wstring SafeFileName(const std::wstring& Id) {
  std::wstring Name;
  for (wchar_t C : Id) Name += (C < 0x20 || std::wstring(L"\\/:*?\"<>|").find(C) != std::wstring::npos) ? L'_' : C;
  return Name;
}

}  // namespace

void THost::LoadGeoJsonFolder(const std::wstring& Folder, const std::wstring& MapId,
                              const std::wstring& MapName) {
  std::vector<std::wstring> Names;
  WIN32_FIND_DATAW Found;
  HANDLE Search = FindFirstFileW(Joined(Folder, L"*").c_str(), &Found);
  if (Search == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot read the folder " + Utf8(Folder));
  do {
    if (Found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    std::wstring Name = Found.cFileName;
    std::wstring Lower = Name;
    for (wchar_t& C : Lower) C = static_cast<wchar_t>(towlower(C));
    auto EndsWith = [&](const std::wstring& Tail) {
      return Lower.size() > Tail.size() && Lower.compare(Lower.size() - Tail.size(), Tail.size(), Tail) == 0;
    };
    if (EndsWith(L".geojson") || EndsWith(L".json")) Names.push_back(Name);
  } while (FindNextFileW(Search, &Found));
  FindClose(Search);
  std::sort(Names.begin(), Names.end());
  AddMap(MapId, MapName);
  for (const std::wstring& Name : Names)
    LoadLayer(*this, *FImpl->Model, MapId, Joined(Folder, Name), FileStem(Name));
}

void THost::SaveLayerGeoJson(const std::wstring& LayerId, const std::wstring& Path) const {
  const TModel& M = *FImpl->Model;
  auto It = M.LayerById.find(LayerId);
  if (It == M.LayerById.end()) throw std::invalid_argument("unknown layer: " + Utf8(LayerId));
  WriteFile(Path, LayerJson(M, *It->second).dump(1) + "\n");
}

void THost::SaveGeoJsonFolder(const std::wstring& Folder, const std::wstring& MapId) const {
  const TModel& M = *FImpl->Model;
  auto It = M.MapById.find(MapId);
  if (It == M.MapById.end()) throw std::invalid_argument("unknown map: " + Utf8(MapId));
  MakeFolder(Folder);
  int K = 0;
  for (const TLayerData* Layer : It->second->Layers) {
    wchar_t Prefix[16];
    swprintf(Prefix, 16, L"%03d_", ++K);
    SaveLayerGeoJson(Layer->Id, Joined(Folder, Prefix + SafeFileName(Layer->Id) + L".geojson"));
  }
}

}  // namespace HostSim
