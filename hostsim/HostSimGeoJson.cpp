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
//   false BOOL; an object {"vt": <kind>, "value": <number>} is a value of that variant kind;
//   any other object, and an array inside an array-valued property, is kept as its JSON text;
// - the positions of the geometries are read straight into arrays of coordinates as the text is
//   parsed (a document tree of millions of two-number arrays would cost most of the load), and
//   each feature is taken as soon as it is read when the collection's "type" and "name" stand
//   before its "features" (the foreign member, when there is one, too).
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
#include <istream>
#include <streambuf>
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
// refused as it is read: the parsed document is copied and dumped recursively.
constexpr size_t MaxNesting = 64;

// The file read in pieces as the parser asks for them: the text of a layer of a million
// features is over a hundred megabytes, and is never needed whole.
class TFileText : public std::streambuf {
public:
  explicit TFileText(const std::wstring& Path) : FFile(_wfopen(Path.c_str(), L"rb")) {
    if (!FFile) throw std::runtime_error("cannot open " + Utf8(Path));
  }
  ~TFileText() override { fclose(FFile); }
  TFileText(const TFileText&) = delete;
  TFileText& operator=(const TFileText&) = delete;
  bool Failed() const { return ferror(FFile) != 0; }

protected:
  int_type underflow() override {
    const size_t N = fread(FBuffer, 1, sizeof FBuffer, FFile);
    if (N == 0) return traits_type::eof();
    setg(FBuffer, FBuffer, FBuffer + N);
    return traits_type::to_int_type(FBuffer[0]);
  }

private:
  FILE* FFile;
  char FBuffer[65536];
};

// A file's size in bytes, for estimates (0 when it cannot be told).
size_t FileSize(const std::wstring& Path) {
  WIN32_FILE_ATTRIBUTE_DATA Data;
  if (!GetFileAttributesExW(Path.c_str(), GetFileExInfoStandard, &Data)) return 0;
  const unsigned long long Size = (static_cast<unsigned long long>(Data.nFileSizeHigh) << 32) | Data.nFileSizeLow;
  return static_cast<size_t>(std::min<unsigned long long>(Size, SIZE_MAX));
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

// ---- parsing ----------------------------------------------------------------------------

// The positions of one "coordinates" member: Height 0 a position, 1 an array of positions, 2
// an array of those (a polygon's rings), 3 one more (a multipolygon). Sizes[H - 1] holds the
// number of members of every array of height H, in the order the arrays end.
struct TCoordinates {
  int Height = 0;
  std::vector<TCoord> Positions;
  std::vector<uint32_t> Sizes[3];
};

// A DOM parser for everything but the arrays of positions: a "coordinates" member of regular
// nested arrays of numbers goes into a TCoordinates, and the document holds a binary value in
// its place (which JSON text cannot produce) whose subtype is the number of that TCoordinates.
// Anything irregular inside (an empty array, a text, arrays of mixed depth) puts what was read
// of that member back into the document, which then takes the rest of it as it stands.
// Each element of the collection's "features" is handed to OnFeature when it is complete,
// with the document read so far; when OnFeature takes it, it leaves the document.
class TGeoJsonSax {
public:
  using TOnFeature = std::function<bool(const json& Partial, const json& Feature)>;
  TGeoJsonSax(json& Root, std::vector<TCoordinates>& Coords, TOnFeature OnFeature)
      : FRoot(Root), FDom(Root), FCoords(Coords), FOnFeature(std::move(OnFeature)) {}

  bool null() { return Inside() ? Irregular() && FDom.null() : Value() && FDom.null(); }
  bool boolean(bool V) { return Inside() ? Irregular() && FDom.boolean(V) : Value() && FDom.boolean(V); }
  bool number_integer(json::number_integer_t V) {
    return Inside() ? Number(static_cast<double>(V), [&] { return FDom.number_integer(V); })
                    : Value() && FDom.number_integer(V);
  }
  bool number_unsigned(json::number_unsigned_t V) {
    return Inside() ? Number(static_cast<double>(V), [&] { return FDom.number_unsigned(V); })
                    : Value() && FDom.number_unsigned(V);
  }
  bool number_float(json::number_float_t V, const json::string_t& Text) {
    return Inside() ? Number(V, [&] { return FDom.number_float(V, Text); }) : Value() && FDom.number_float(V, Text);
  }
  bool string(json::string_t& V) { return Inside() ? Irregular() && FDom.string(V) : Value() && FDom.string(V); }
  bool binary(json::binary_t& V) { return FDom.binary(V); }
  bool start_object(std::size_t N) {
    if (TooDeep()) return false;
    if (Inside()) Irregular();
    const TKind Parent = FKinds.empty() ? Array : FKinds.back();
    FKinds.push_back(Parent == FeatureList                                   ? FeatureObject
                     : (Parent == FeatureObject && FKeyed == GeometryKey) ||
                               Parent == GeometryList                        ? GeometryObject
                                                                             : Object);
    Value();
    ++FDepth;
    return FDom.start_object(N);
  }
  bool key(json::string_t& V) {
    // Positions are taken from the geometries of features (and of their collections) only.
    const TKind Kind = FKinds.back();
    FKeyed = Kind == GeometryObject && V == "coordinates"    ? CoordinatesKey
             : Kind == GeometryObject && V == "geometries"   ? GeometriesKey
             : Kind == FeatureObject && V == "geometry"      ? GeometryKey
             : FDepth == 1 && V == "features"                ? FeaturesKey
                                                             : OtherKey;
    return FDom.key(V);
  }
  bool end_object() {
    FKinds.pop_back();
    --FDepth;
    if (!FDom.end_object()) return false;
    if (FFeaturesOpen && FDepth == 2 && FOnFeature) {
      json& Features = FRoot["features"];
      if (FOnFeature(FRoot, Features.back())) {
        Features.erase(Features.size() - 1);
        // Its positions are no longer needed, nor are any others when no marker stands
        // outside the features.
        if (!FMarkersOutside) FUsed = 0;
      } else {
        FOnFeature = nullptr;
      }
    }
    return true;
  }
  bool start_array(std::size_t N) {
    if (TooDeep()) return false;
    if (!Inside() && FKeyed != CoordinatesKey) {
      if (FKeyed == FeaturesKey) FFeaturesOpen = true;
      FKinds.push_back(FKeyed == FeaturesKey ? FeatureList : FKeyed == GeometriesKey ? GeometryList : Array);
      FKeyed = OtherKey;
      ++FDepth;
      return FDom.start_array(N);
    }
    if (!Inside()) {
      FKeyed = OtherKey;
      // The arrays of positions are used again, so that a million points do not cost a
      // million allocations.
      if (FUsed == FCoords.size()) {
        FCoords.emplace_back();
      } else {
        TCoordinates& C = FCoords[FUsed];
        C.Positions.clear();
        for (auto& Sizes : C.Sizes) Sizes.clear();
      }
      ++FUsed;
    }
    FLevels.push_back(TLevel());
    return true;
  }
  bool end_array() {
    if (!Inside()) {
      FKinds.pop_back();
      if (--FDepth == 1) FFeaturesOpen = false;
      return FDom.end_array();
    }
    TLevel Level = FLevels.back();
    TCoordinates& C = FCoords[FUsed - 1];
    int Height = Level.Numbers > 0 ? 0 : Level.MemberHeight + 1;
    bool Regular = Level.Numbers >= 2 || (Level.Numbers == 0 && Level.Members > 0 && Height <= 3);
    if (Regular && FLevels.size() > 1) {
      const TLevel& Parent = FLevels[FLevels.size() - 2];
      Regular = Parent.Numbers == 0 && (Parent.Members == 0 || Parent.MemberHeight == Height);
    }
    if (!Regular) {
      Irregular();
      return end_array();
    }
    FLevels.pop_back();
    if (Height == 0) C.Positions.emplace_back(Level.X, Level.Y);
    else C.Sizes[Height - 1].push_back(Level.Members);
    if (FLevels.empty()) {
      C.Height = Height;
      if (!FFeaturesOpen) FMarkersOutside = true;
      json::binary_t Marker;
      Marker.set_subtype(FUsed - 1);
      return FDom.binary(Marker);
    }
    FLevels.back().MemberHeight = Height;
    ++FLevels.back().Members;
    return true;
  }
  template <class TException>
  bool parse_error(std::size_t Position, const std::string& Token, const TException& E) {
    return FDom.parse_error(Position, Token, E);
  }
  size_t Used() const { return FUsed; }
  bool WentTooDeep() const { return FTooDeep; }

private:
  struct TLevel {
    uint32_t Members = 0;  // arrays inside
    int MemberHeight = 0;
    uint32_t Numbers = 0;
    double X = 0, Y = 0;
  };
  bool Inside() const { return !FLevels.empty(); }
  // Whether one more array or object would nest deeper than allowed (the parse then stops).
  bool TooDeep() {
    FTooDeep = FDepth + FLevels.size() >= MaxNesting;
    return FTooDeep;
  }
  bool Value() {
    FKeyed = OtherKey;
    return true;
  }
  template <class TPlain> bool Number(double V, TPlain Plain) {
    TLevel& Level = FLevels.back();
    if (Level.Members > 0) return Irregular() && Plain();
    if (Level.Numbers == 0) Level.X = V;
    else if (Level.Numbers == 1) Level.Y = V;
    ++Level.Numbers;
    return true;
  }
  // Hands what was read of the current member to the document as the events that the plain
  // parser would have seen (numbers beyond a position's second are not kept; nothing reads them).
  bool Irregular() {
    static json::string_t NoText;
    const TCoordinates C = FCoords[--FUsed];
    size_t Next[4] = {0, 0, 0, 0};
    std::function<void(int)> Replay = [&](int Height) {
      FDom.start_array(static_cast<std::size_t>(-1));
      if (Height == 0) {
        const TCoord& P = C.Positions[Next[0]++];
        FDom.number_float(P.first, NoText);
        FDom.number_float(P.second, NoText);
      } else {
        for (uint32_t K = 0, N = C.Sizes[Height - 1][Next[Height]++]; K < N; ++K) Replay(Height - 1);
      }
      FDom.end_array();
    };
    for (const TLevel& Level : FLevels) {
      FDom.start_array(static_cast<std::size_t>(-1));
      FKinds.push_back(Array);
      ++FDepth;
      for (uint32_t K = 0; K < Level.Members; ++K) Replay(Level.MemberHeight);
      if (Level.Numbers > 0) FDom.number_float(Level.X, NoText);
      if (Level.Numbers > 1) FDom.number_float(Level.Y, NoText);
    }
    FLevels.clear();
    return true;
  }
  json& FRoot;
  nlohmann::detail::json_sax_dom_parser<json> FDom;
  std::vector<TCoordinates>& FCoords;
  size_t FUsed = 0;  // the members of FCoords in use
  TOnFeature FOnFeature;
  std::vector<TLevel> FLevels;  // the open arrays of positions
  // What the open objects and arrays of the document are, and what the last key was.
  enum TKind { Object, Array, FeatureList, FeatureObject, GeometryObject, GeometryList };
  enum TKey { OtherKey, FeaturesKey, GeometryKey, GeometriesKey, CoordinatesKey };
  std::vector<TKind> FKinds;
  TKey FKeyed = OtherKey;
  size_t FDepth = 0;            // open objects and arrays of the document
  bool FFeaturesOpen = false;   // inside the collection's "features"
  bool FMarkersOutside = false;  // positions taken outside the features
  bool FTooDeep = false;
};

json ParseGeoJson(const std::wstring& File, std::vector<TCoordinates>& Coords,
                  TGeoJsonSax::TOnFeature OnFeature) {
  json Doc;
  TGeoJsonSax Sax(Doc, Coords, std::move(OnFeature));
  TFileText Text(File);
  std::istream In(&Text);
  json::sax_parse(In, &Sax);
  if (Text.Failed()) throw std::runtime_error("cannot read " + Utf8(File));
  if (Sax.WentTooDeep())
    Bad(File, "arrays and objects nested deeper than " + std::to_string(MaxNesting) + " levels");
  Coords.resize(Sax.Used());
  return Doc;
}

// The positions as the document would have held them.
json CoordinatesJson(const TCoordinates& C) {
  size_t Next[4] = {0, 0, 0, 0};  // the next position, and the next size at each height
  std::function<json(int)> Build = [&](int Height) -> json {
    if (Height == 0) {
      const TCoord& P = C.Positions[Next[0]++];
      return json::array({P.first, P.second});
    }
    json A = json::array();
    for (uint32_t K = 0, N = C.Sizes[Height - 1][Next[Height]++]; K < N; ++K) A.push_back(Build(Height - 1));
    return A;
  };
  // The arrays of one height end in the order they stand in the text, the order in which a
  // depth-first walk takes them.
  return Build(C.Height);
}

// Puts the positions back into a value that holds markers (a property value that mentions
// "coordinates").
void RestoreCoordinates(json& J, const std::vector<TCoordinates>& Coords) {
  if (J.is_binary()) {
    J = CoordinatesJson(Coords[J.get_binary().subtype()]);
  } else if (J.is_structured()) {
    for (json& Member : J) RestoreCoordinates(Member, Coords);
  }
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

json CoordinatesJson(const TCoordinates& C);
void RestoreCoordinates(json& J, const std::vector<TCoordinates>& Coords);

// A property's value; what cannot be taken raises std::invalid_argument, which the caller names.
TValue JsonValue(const json& J, const std::vector<TCoordinates>& Coords) {
  if (J.is_binary()) return JsonValue(CoordinatesJson(Coords[J.get_binary().subtype()]), Coords);
  if ((J.is_object() && !J.contains("vt")) || J.is_array()) {
    // A list of names, tags and the like, as GIS readers keep it: the value's JSON text.
    json Plain = J;
    RestoreCoordinates(Plain, Coords);
    return TValue(Wide(Plain.dump()));
  }
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
  } else {
    // A typed value, {"vt": kind, "value": number}.
    const json& Kind = J["vt"];
    const auto Found = J.find("value");
    const json Value = Found == J.end() ? json(0) : *Found;
    if (!Kind.is_number_integer() || !Value.is_number())
      throw std::invalid_argument("a typed value needs a whole-number \"vt\" and a numeric \"value\": " +
                                  J.dump());
    switch (Kind.get<int>()) {
      case VT_EMPTY: break;
      case VT_I2: V_VT(&V) = VT_I2; V_I2(&V) = static_cast<SHORT>(Value.get<int>()); break;
      case VT_UI1: V_VT(&V) = VT_UI1; V_UI1(&V) = static_cast<BYTE>(Value.get<int>()); break;
      case VT_R4: V_VT(&V) = VT_R4; V_R4(&V) = static_cast<float>(Value.get<double>()); break;
      case VT_CY: V_VT(&V) = VT_CY; V_CY(&V).int64 = Value.get<long long>(); break;
      case VT_DATE: V_VT(&V) = VT_DATE; V_DATE(&V) = Value.get<double>(); break;
      default: throw std::invalid_argument("unknown value kind " + std::to_string(Kind.get<int>()));
    }
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
  std::vector<TRing> Rings = Coordinates(Shape);
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

// The shapes of a geometry whose positions the parser took (false when their nesting does not
// fit the type: the caller then reads them as the document would have held them).
bool CoordinateShapes(const std::string& Type, const TCoordinates& C, std::vector<TGeometryPtr>& Out) {
  auto Ring = [&C](size_t First, size_t Count) {
    return TRing(C.Positions.begin() + static_cast<std::ptrdiff_t>(First),
                 C.Positions.begin() + static_cast<std::ptrdiff_t>(First + Count));
  };
  // Polygons from ring sizes Sizes[0] and ring counts Counts.
  auto Polygons = [&](const std::vector<uint32_t>& Counts) {
    size_t Position = 0, RingNumber = 0;
    for (uint32_t N : Counts) {
      std::vector<TRing> Rings;
      for (uint32_t K = 0; K < N; ++K) {
        const uint32_t Size = C.Sizes[0][RingNumber++];
        Rings.push_back(Ring(Position, Size));
        Position += Size;
      }
      Out.push_back(MakePolygon(Rings));
    }
  };
  if (Type == "Point" && C.Height == 0) {
    Out.push_back(MakePoint(C.Positions[0].first, C.Positions[0].second));
  } else if (Type == "MultiPoint" && C.Height == 1) {
    for (const TCoord& P : C.Positions) Out.push_back(MakePoint(P.first, P.second));
  } else if (Type == "LineString" && C.Height == 1) {
    Out.push_back(MakeLine(C.Positions));
  } else if (Type == "MultiLineString" && C.Height == 2) {
    size_t Position = 0;
    for (uint32_t Size : C.Sizes[0]) {
      Out.push_back(MakeLine(Ring(Position, Size)));
      Position += Size;
    }
  } else if (Type == "Polygon" && C.Height == 2) {
    Polygons(C.Sizes[1]);
  } else if (Type == "MultiPolygon" && C.Height == 3) {
    Polygons(C.Sizes[1]);
  } else {
    return false;
  }
  return true;
}

void JsonShapes(const json& G, const std::wstring& File, const std::vector<TCoordinates>& Coords,
                std::vector<TGeometryPtr>& Out) {
  if (G.is_null()) return;
  if (!G.is_object() || !G.contains("type")) Bad(File, "a geometry must be an object with a type");
  const std::string Type = G["type"].get<std::string>();
  if (Type == "GeometryCollection") {
    for (const json& Member : G.at("geometries")) JsonShapes(Member, File, Coords, Out);
    return;
  }
  json Restored;
  const json* Found = &G.at("coordinates");
  if (Found->is_binary()) {
    const TCoordinates& Parsed = Coords[Found->get_binary().subtype()];
    if (CoordinateShapes(Type, Parsed, Out)) return;
    Restored = CoordinatesJson(Parsed);
    Found = &Restored;
  }
  const json& C = *Found;
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

// Reads one layer's document: the collection's members first (Begin), then every feature
// (Feature). The parser hands over each feature as soon as it is read when the
// collection's type and name or foreign member stand before the features, as they do in the
// files written here and by most GIS; else all features once the document is read.
class TLayerReader {
public:
  TLayerReader(THost& Host, TModel& M, const std::wstring& MapId, const std::wstring& File,
               const std::wstring& Stem, const std::vector<TCoordinates>& Coords)
      : FHost(Host), FModel(M), FMapId(MapId), FFile(File), FStem(Stem), FCoords(Coords) {}

  bool Begun() const { return FLayer != nullptr; }

  // Whether the members read so far (Doc, incomplete) let the features be taken one by one.
  static bool CanStream(const json& Doc) {
    auto Type = Doc.find("type");
    return Type != Doc.end() && *Type == "FeatureCollection" &&
           (Doc.contains("name") || Doc.contains("orvex"));
  }

  void Begin(const json& Doc) {
    if (!Doc.is_object() || Doc.value("type", "") != "FeatureCollection")
      Bad(FFile, "the file must hold a FeatureCollection");
    const json Meta = Doc.value("orvex", json::object());
    FLayerId = Meta.contains("layer") ? Wide(Meta["layer"].get<std::string>()) : FStem;
    std::wstring LayerName = Doc.contains("name") && Doc["name"].is_string()
                                 ? Wide(Doc["name"].get<std::string>())
                                 : FLayerId;
    FHost.AddLayer(FMapId, FLayerId, LayerName);
    FLayer = FModel.LayerById.at(FLayerId);
    FDescribed = Meta.contains("tables");
    if (FDescribed) {
      for (const json& T : Meta["tables"]) {
        std::wstring TableId = Wide(T.at("id").get<std::string>());
        FHost.AddTable(FLayerId, TableId, Wide(T.at("name").get<std::string>()), false);
        for (const json& F : T.at("fields"))
          FHost.AddField(TableId, Wide(F.at("id").get<std::string>()), Wide(F.at("name").get<std::string>()));
      }
      for (size_t K = 0; K < FLayer->Tables.size(); ++K) {
        TTableData* Table = FLayer->Tables[K];
        for (size_t F = 0; F < Table->Fields.size(); ++F) {
          std::string Key = Utf8(Table->Fields[F].Id);
          if (K > 0) Key = Utf8(Table->Id) + "/" + Key;
          FSlots.emplace(Key, TSlot{Table, F});
        }
      }
    } else {
      FHost.AddTable(FLayerId, FLayerId, LayerName);
    }
  }

  // The members that follow the features must not change what the features were read with.
  void CheckLateMembers(const json& Doc) const {
    if (Doc.contains("orvex") && !FDescribed && !FSawMeta)
      Bad(FFile, "the member \"orvex\" must stand before the features");
  }
  void SawMeta(bool Saw) { FSawMeta = Saw; }

  void Feature(const json& Feature) {
    ++FPosition;
    if (!Feature.is_object()) Bad(FFile, "feature number " + std::to_string(FPosition) + " is not an object");
    std::wstring Id;
    const json& J = Member(Feature, "id", FNothing);
    if (J.is_string()) Id = Wide(J.get<std::string>());
    else if (J.is_number_integer()) Id = std::to_wstring(J.get<long long>());
    else if (J.is_number()) Id = Wide(J.dump());
    else Id = FLayerId + L"." + std::to_wstring(FPosition);
    std::vector<TGeometryPtr> Shapes;
    try {
      JsonShapes(Member(Feature, "geometry", FNothing), FFile, FCoords, Shapes);
    } catch (const std::exception& E) {
      BadFeature(FFile, Id, FPosition, E);
    }
    const json& FeatureMeta = Member(Feature, "orvex", FNoMembers);
    std::vector<long> Styles;
    if (FeatureMeta.contains("styles"))
      for (const json& S : FeatureMeta["styles"]) Styles.push_back(S.get<long>());
    if (!Styles.empty() && Styles.size() != Shapes.size())
      Bad(FFile, "the styles of feature " + Utf8(Id) + " do not match its shapes");
    TObjectData* Made = nullptr;
    try {
      Made = &FModel.NewObject(*FLayer, Id);  // refuses a duplicate identifier, adding nothing
    } catch (const std::invalid_argument&) {
      Bad(FFile, "duplicate object identifier " + Utf8(Id));
    }
    TObjectData& Object = *Made;
    if (Styles.empty()) {
      FModel.AddShapes(Object, std::move(Shapes), 1);
    } else {
      for (size_t S = 0; S < Shapes.size(); ++S) {
        std::vector<TGeometryPtr> One;
        One.push_back(std::move(Shapes[S]));
        FModel.AddShapes(Object, std::move(One), Styles[S]);
      }
    }

    // Records: counted per table from the properties, or as the foreign member says.
    const json* Properties = &Member(Feature, "properties", FNoMembers);
    if (!Properties->is_object()) return;
    json Restored;  // a property named "coordinates" was parsed as positions
    if (std::any_of(Properties->begin(), Properties->end(), [](const json& V) { return V.is_binary(); })) {
      Restored = *Properties;
      RestoreCoordinates(Restored, FCoords);
      Properties = &Restored;
    }
    std::vector<std::pair<TTableData*, size_t>>& Counts = FCounts;
    Counts.clear();
    auto CountOf = [&Counts](TTableData* Table) -> size_t& {
      for (auto& Count : Counts)
        if (Count.first == Table) return Count.second;
      Counts.emplace_back(Table, 0);
      return Counts.back().second;
    };
    std::vector<const TSlot*>& ItemSlots = FItemSlots;
    ItemSlots.clear();
    for (const auto& Item : Properties->items()) {
      auto Slot = FSlots.find(Item.key());
      if (Slot == FSlots.end() && !FDescribed) {
        // Fields in the order their keys first appear.
        TTableData* Table = FLayer->Tables.front();
        std::wstring FieldId = Wide(Item.key());
        if (Table->FieldIndex(FieldId.data(), FieldId.size()) < 0) FHost.AddField(Table->Id, FieldId, FieldId);
        Slot = FSlots.emplace(Item.key(), TSlot{Table, static_cast<size_t>(Table->FieldIndex(FieldId.data(), FieldId.size()))}).first;
      }
      if (Slot == FSlots.end()) Bad(FFile, "property " + Item.key() + " is not a field");
      ItemSlots.push_back(&Slot->second);
      size_t N = Item.value().is_array() ? Item.value().size() : 1;
      size_t& Count = CountOf(Slot->second.Table);
      Count = std::max(Count, N);
    }
    if (FeatureMeta.contains("records"))
      for (const auto& Item : FeatureMeta["records"].items()) {
        auto Table = FModel.TableById.find(Wide(Item.key()));
        if (Table == FModel.TableById.end() || Table->second->Layer != FLayer)
          Bad(FFile, "records of unknown table " + Item.key());
        CountOf(Table->second) = Item.value().get<size_t>();
      }
    for (const auto& Count : Counts) Object.Records.Reset(Count.first, Count.second, Count.first->Fields.size());
    size_t K = 0;
    for (const auto& Item : Properties->items()) {
      const TSlot& Slot = *ItemSlots[K++];
      const size_t Records = Object.Records.Count(Slot.Table), Width = Slot.Table->Fields.size();
      try {
        if (Item.value().is_array()) {
          for (size_t R = 0; R < Item.value().size() && R < Records; ++R)
            Object.Records.Set(Slot.Table, R, Slot.Field, Width, JsonValue(Item.value()[R], FCoords));
        } else if (Records > 0) {
          Object.Records.Set(Slot.Table, 0, Slot.Field, Width, JsonValue(Item.value(), FCoords));
        }
      } catch (const std::exception& E) {
        BadFeature(FFile, Id, FPosition, std::invalid_argument("property " + Item.key() + ": " + E.what()));
      }
    }
  }

private:
  static const json& Member(const json& Object, const char* Key, const json& Otherwise) {
    const auto Found = Object.find(Key);
    return Found == Object.end() ? Otherwise : *Found;
  }
  THost& FHost;
  TModel& FModel;
  const std::wstring& FMapId;
  const std::wstring& FFile;
  const std::wstring& FStem;
  const std::vector<TCoordinates>& FCoords;
  std::wstring FLayerId;
  TLayerData* FLayer = nullptr;
  bool FDescribed = false, FSawMeta = false;
  std::map<std::string, TSlot> FSlots;  // where each property key puts its values
  long FPosition = 0;
  std::vector<std::pair<TTableData*, size_t>> FCounts;  // of the current feature
  std::vector<const TSlot*> FItemSlots;
  const json FNothing, FNoMembers = json::object();
};

void LoadLayer(THost& Host, TModel& M, const std::wstring& MapId, const std::wstring& File,
               const std::wstring& Stem) {
  json Doc;
  std::vector<TCoordinates> Coords;
  TLayerReader Reader(Host, M, MapId, File, Stem, Coords);
  try {
    try {
      M.ObjectById.Reserve(M.ObjectById.Size() + FileSize(File) / 128);
      // Each feature as soon as it is read, when the collection's members allow it.
      Doc = ParseGeoJson(File, Coords, [&](const json& Partial, const json& Feature) {
        if (!Reader.Begun()) {
          if (!TLayerReader::CanStream(Partial)) return false;
          Reader.Begin(Partial);
          Reader.SawMeta(Partial.contains("orvex"));
        }
        Reader.Feature(Feature);
        return true;
      });
    } catch (const json::exception& E) {
      Bad(File, E.what());
    }
    if (Reader.Begun()) {
      Reader.CheckLateMembers(Doc);
    } else {
      Reader.Begin(Doc);
      const auto Found = Doc.find("features");
      if (Found != Doc.end())
        for (const json& Feature : *Found) Reader.Feature(Feature);
    }
  } catch (const json::exception& E) {
    Bad(File, E.what());
  }
}

json FeatureJson(const TModel& M, const TLayerData& Layer, const TObjectData* Object) {
  json Feature{{"type", "Feature"}, {"id", Utf8(Object->Id)}, {"geometry", GeometryJson(*Object)}};
  json Properties = json::object();
  json Meta = json::object();
  for (size_t K = 0; K < Layer.Tables.size(); ++K) {
    const TTableData* Table = Layer.Tables[K];
    size_t N = M.CurrentRecordCount(*Object, *Table);
    size_t Told = 0;  // the count that the properties tell
    for (size_t F = 0; F < Table->Fields.size() && N > 0; ++F) {
      auto ValueAt = [&](size_t R) { return M.CurrentValue(*Object, *Table, R, F); };
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
  return Feature;
}

// The layer as a FeatureCollection, written feature by feature as it is made (a document of a
// million features would hold several times the layer's own size), one feature a line.
void WriteLayerJson(const std::wstring& Path, const TModel& M, const TLayerData& Layer) {
  json Tables = json::array();
  for (const TTableData* Table : Layer.Tables) {
    json Fields = json::array();
    for (const TFieldData& Field : Table->Fields)
      Fields.push_back(json{{"id", Utf8(Field.Id)}, {"name", Utf8(Field.Name)}});
    Tables.push_back(json{{"id", Utf8(Table->Id)}, {"name", Utf8(Table->Name)}, {"fields", Fields}});
  }
  std::string Head = json{{"type", "FeatureCollection"},
                          {"name", Utf8(Layer.Name)},
                          {"orvex", {{"layer", Utf8(Layer.Id)}, {"tables", Tables}}}}
                         .dump(1);
  Head.resize(Head.size() - 2);  // "\n}": the features follow
  FILE* F = _wfopen(Path.c_str(), L"wb");
  if (!F) throw std::runtime_error("cannot create " + Utf8(Path));
  bool Ok = true;
  auto Put = [&](const std::string& Text) { Ok = Ok && fwrite(Text.data(), 1, Text.size(), F) == Text.size(); };
  try {
    Put(Head + ",\n \"features\": [");
    for (size_t I = 0; I < Layer.Objects.size(); ++I)
      Put((I ? ",\n  " : "\n  ") + FeatureJson(M, Layer, Layer.Objects[I]).dump());
    Put("\n ]\n}\n");
  } catch (...) {
    fclose(F);
    throw;
  }
  Ok = fclose(F) == 0 && Ok;
  if (!Ok) throw std::runtime_error("cannot write " + Utf8(Path));
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
  WriteLayerJson(Path, M, *It->second);
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
