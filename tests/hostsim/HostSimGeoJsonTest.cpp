// GeoJSON: a written folder loads back to the same state; a plain file as another GIS writes
// it loads with the documented mapping.
#include "HostSimTestUtil.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

using namespace HostSimTest;
using HostSim::TValue;

namespace {

// A folder of its own under the temporary folder, removed with its files afterwards.
class TTempFolder {
public:
  TTempFolder() {
    wchar_t Base[MAX_PATH];
    GetTempPathW(MAX_PATH, Base);
    static int Serial = 0;
    FPath = std::wstring(Base) + L"hostsim-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(++Serial);
    CreateDirectoryW(FPath.c_str(), nullptr);
  }
  ~TTempFolder() {
    WIN32_FIND_DATAW Found;
    HANDLE Search = FindFirstFileW((FPath + L"\\*").c_str(), &Found);
    if (Search != INVALID_HANDLE_VALUE) {
      do {
        if (!(Found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
          DeleteFileW((FPath + L"\\" + Found.cFileName).c_str());
      } while (FindNextFileW(Search, &Found));
      FindClose(Search);
    }
    RemoveDirectoryW(FPath.c_str());
  }
  const std::wstring& Path() const { return FPath; }
  std::wstring File(const std::wstring& Name) const { return FPath + L"\\" + Name; }
  void Write(const std::wstring& Name, const std::string& Utf8) const {
    FILE* F = _wfopen(File(Name).c_str(), L"wb");
    ASSERT_TRUE(F);
    fwrite(Utf8.data(), 1, Utf8.size(), F);
    fclose(F);
  }
  std::vector<std::wstring> Files() const {
    std::vector<std::wstring> Names;
    WIN32_FIND_DATAW Found;
    HANDLE Search = FindFirstFileW((FPath + L"\\*.geojson").c_str(), &Found);
    if (Search == INVALID_HANDLE_VALUE) return Names;
    do Names.push_back(Found.cFileName);
    while (FindNextFileW(Search, &Found));
    FindClose(Search);
    std::sort(Names.begin(), Names.end());
    return Names;
  }

private:
  std::wstring FPath;
};

TValue Typed(VARTYPE Kind, double Number) {
  VARIANT V;
  VariantInit(&V);
  V_VT(&V) = Kind;
  switch (Kind) {
    case VT_I2: V_I2(&V) = static_cast<SHORT>(Number); break;
    case VT_UI1: V_UI1(&V) = static_cast<BYTE>(Number); break;
    case VT_R4: V_R4(&V) = static_cast<float>(Number); break;
    case VT_CY: V_CY(&V).int64 = static_cast<LONGLONG>(Number * 10000); break;
    case VT_DATE: V_DATE(&V) = Number; break;
    default: break;
  }
  return TValue(V);
}

// One map with everything a layer can hold.
void BuildRich(HostSim::THost& Host) {
  Host.AddMap(L"rich", L"Всё сразу");
  Host.AddLayer(L"rich", L"plots", L"Участки \"новые\"");
  Host.AddTable(L"plots", L"plots_sem", L"Участки");
  Host.AddField(L"plots_sem", L"OWNER", L"Владелец");
  Host.AddField(L"plots_sem", L"AREA", L"Площадь");
  Host.AddField(L"plots_sem", L"FLAG", L"Признак");
  Host.AddField(L"plots_sem", L"KINDS", L"Разное");
  Host.AddTable(L"plots", L"rent", L"Аренда", false);
  Host.AddField(L"rent", L"TENANT", L"Арендатор");
  Host.AddField(L"rent", L"SUM", L"Сумма");
  Host.AddLayer(L"rich", L"marks", L"Отметки");  // no tables at all
  Host.AddLayer(L"rich", L"lines/and:more", L"Линии");
  Host.AddTable(L"lines/and:more", L"lines_sem", L"Линии");

  Host.AddObject(L"plots", L"pl1",
                 L"POLYGON((0 0,100 0,100 100,0 100,0 0),(10 10,20 10,20 20,10 20,10 10))");
  Host.AddRecord(L"pl1", L"plots_sem",
                 {{L"OWNER", L"Иванов «младший»"}, {L"AREA", 9900.25}, {L"FLAG", TValue::Bool(true)},
                  {L"KINDS", Typed(VT_I2, -7)}});
  Host.AddRecord(L"pl1", L"rent", {{L"TENANT", L"ООО \"Ромашка\""}, {L"SUM", Typed(VT_CY, 12.5)}});
  Host.AddRecord(L"pl1", L"rent", {{L"TENANT", TValue::Null()}});  // SUM left empty
  Host.AddRecord(L"pl1", L"rent", {{L"SUM", 3}});

  Host.AddObject(L"plots", L"pl2", L"MULTIPOLYGON(((200 0,210 0,210 10,200 10,200 0)),((220 0,230 0,230 10,220 10,220 0)))", 0);
  Host.AddShape(L"pl2", L"POLYGON((240 0,250 0,250 10,240 10,240 0))", 3);
  Host.AddRecord(L"pl2", L"plots_sem", {{L"KINDS", Typed(VT_DATE, 45123.75)}});
  Host.AddRecord(L"pl2", L"plots_sem", {{L"KINDS", Typed(VT_R4, 0.1)}, {L"AREA", 1e-9}});
  Host.AddRecord(L"pl2", L"plots_sem", {{L"KINDS", Typed(VT_UI1, 200)}, {L"OWNER", L""}});

  Host.AddObject(L"plots", L"pl3", L"POLYGON((0 200,50 200,50 250,0 250,0 200))");
  Host.AddRecord(L"pl3", L"plots_sem", {});  // one record, nothing in it
  Host.AddRecord(L"pl3", L"rent", {});
  Host.AddRecord(L"pl3", L"rent", {});

  Host.AddObject(L"plots", L"pl4", L"");  // no shapes, no records
  Host.AddObject(L"marks", L"mk1", L"MULTIPOINT((1.5 2.25),(3 4))");
  Host.AddObject(L"marks", L"mk2", L"POINT(0.1 0.2)");
  Host.AddShape(L"mk2", L"LINESTRING(0 0,1 1,2 0)");
  Host.AddShape(L"mk2", L"POLYGON((5 5,6 5,6 6,5 5))", 2);
  Host.AddObject(L"lines/and:more", L"ln1", L"LINESTRING(-1000.125 5e6,123456.789 -0.000001)");
  Host.AddObject(L"lines/and:more", L"ln2", L"MULTILINESTRING((0 0,1 1),(2 2,3 3))");
  Host.AddRecord(L"ln2", L"lines_sem", {{L"ID", 17}, {L"SIMID", 4}});
}

TEST(HostGeoJson, WrittenFolderLoadsBackToTheSameState) {
  HostSim::THost Host;
  BuildRich(Host);
  TTempFolder Folder;
  Host.SaveGeoJsonFolder(Folder.Path(), L"rich");
  EXPECT_EQ(Folder.Files(), (std::vector<std::wstring>{L"001_plots.geojson", L"002_marks.geojson",
                                                       L"003_lines_and_more.geojson"}));
  HostSim::THost Back;
  Back.LoadGeoJsonFolder(Folder.Path(), L"rich", L"Всё сразу");
  EXPECT_EQ(Back.DumpState(), Host.DumpState());
  // Spot checks of what the dump says, so that an empty dump cannot pass.
  EXPECT_EQ(Back.LayerIds(L"rich"), (std::vector<std::wstring>{L"plots", L"marks", L"lines/and:more"}));
  EXPECT_EQ(Back.TableIds(L"plots"), (std::vector<std::wstring>{L"plots_sem", L"rent"}));
  EXPECT_EQ(Back.FieldIds(L"rent"), (std::vector<std::wstring>{L"TENANT", L"SUM"}));
  EXPECT_EQ(Back.RecordCount(L"pl1", L"rent"), 3);
  EXPECT_EQ(Back.RecordCount(L"pl3", L"rent"), 2);
  EXPECT_EQ(Back.RecordCount(L"pl4", L"plots_sem"), 0);
  EXPECT_TRUE(Back.Value(L"pl1", L"rent", L"SUM").SameAs(Typed(VT_CY, 12.5)));
  EXPECT_TRUE(Back.Value(L"pl2", L"plots_sem", L"KINDS", 1).SameAs(Typed(VT_R4, 0.1)));
  EXPECT_TRUE(Back.Value(L"pl1", L"rent", L"TENANT", 1).SameAs(TValue::Null()));
  EXPECT_EQ(Back.Value(L"pl1", L"rent", L"SUM", 1).Type(), VT_EMPTY);
  EXPECT_EQ(Back.ShapeWkts(L"mk2").size(), 3u);
  EXPECT_DOUBLE_EQ(Back.ObjectPerimeter(L"pl2"), 40.0);  // only the shape with bit 0 set
  EXPECT_DOUBLE_EQ(Back.ObjectArea(L"pl1"), 9900.0);

  // Writing what was read gives the same files.
  TTempFolder Again;
  Back.SaveGeoJsonFolder(Again.Path(), L"rich");
  for (const std::wstring& Name : Folder.Files()) {
    FILE* A = _wfopen(Folder.File(Name).c_str(), L"rb");
    FILE* B = _wfopen(Again.File(Name).c_str(), L"rb");
    ASSERT_TRUE(A && B);
    std::string TextA, TextB;
    for (int C; (C = fgetc(A)) != EOF;) TextA += static_cast<char>(C);
    for (int C; (C = fgetc(B)) != EOF;) TextB += static_cast<char>(C);
    fclose(A);
    fclose(B);
    EXPECT_EQ(TextA, TextB);
  }
}

TEST(HostGeoJson, PendingChangesAreWrittenAsTheCurrentState) {
  HostSim::THost Host;
  BuildRich(Host);
  {
    TComPtr<IOrvexDatabase> Db;
    ASSERT_EQ(Host.Application()->GetDatabase(Db.Put()), S_OK);
    TComPtr<IOrvexMapObjects> Objects;
    ASSERT_EQ(Db->GetMapObjects(Objects.Put()), S_OK);
    TBStr Id(L"pl4"), Table(L"Участки"), Field(L"OWNER"), Value(L"Новый");
    TComPtr<IOrvexMapObject> Obj;
    ASSERT_EQ(Objects->GetObject(Id.Get(), Obj.Put()), S_OK);
    TComPtr<IOrvexSemantics> Sem;
    ASSERT_EQ(Obj->GetSemantics(Sem.Put()), S_OK);
    ASSERT_EQ(Sem->SetValue(Table.Get(), Field.Get(), TextVariant(Value.Get()), 0), S_OK);
  }
  TTempFolder Folder;
  Host.SaveLayerGeoJson(L"plots", Folder.File(L"plots.geojson"));
  HostSim::THost Back;
  Back.LoadGeoJsonFolder(Folder.Path(), L"m", L"m");
  EXPECT_TRUE(Back.Value(L"pl4", L"plots_sem", L"OWNER").SameAs(TValue(L"Новый")));
  EXPECT_FALSE(Back.HasPendingChanges());
}

TEST(HostGeoJson, PlainFileFromAnotherGis) {
  TTempFolder Folder;
  Folder.Write(L"wells.json", u8R"({
    "type": "FeatureCollection",
    "name": "Скважины",
    "features": [
      {"type": "Feature", "id": "w-1", "geometry": {"type": "Point", "coordinates": [10, 20, 5]},
       "properties": {"depth": 120.5, "name": "Первая", "samples": [3, 4, 5]}},
      {"type": "Feature", "id": 42, "geometry": {"type": "GeometryCollection", "geometries": [
         {"type": "Point", "coordinates": [1, 1]},
         {"type": "Polygon", "coordinates": [[[0, 0], [4, 0], [4, 4], [0, 4], [0, 0]]]}]},
       "properties": {"name": null, "active": true, "big": 10000000000,
                      "tags": {"kind": "well", "names": ["Первая", 2]}, "samples": [[1, 2], {"a": null}]}},
      {"type": "Feature", "geometry": null, "properties": {"samples": []}},
      {"type": "Feature", "geometry": {"type": "MultiLineString", "coordinates": [[[0, 0], [1, 1]], [[5, 5], [6, 7]]]}}
    ]})");
  HostSim::THost Host;
  Host.LoadGeoJsonFolder(Folder.Path(), L"gis", L"Из другой ГИС");
  EXPECT_EQ(Host.LayerIds(L"gis"), (std::vector<std::wstring>{L"wells"}));
  EXPECT_EQ(Host.TableIds(L"wells"), (std::vector<std::wstring>{L"wells"}));
  EXPECT_EQ(Host.FieldIds(L"wells"),
            (std::vector<std::wstring>{L"ID", L"SIMID", L"depth", L"name", L"samples", L"active", L"big", L"tags"}));
  EXPECT_EQ(Host.ObjectIds(L"wells"), (std::vector<std::wstring>{L"w-1", L"42", L"wells.3", L"wells.4"}));
  EXPECT_EQ(Host.ShapeWkts(L"42"),
            (std::vector<std::wstring>{L"POINT(1 1)", L"POLYGON((0 0,0 4,4 4,4 0,0 0))"}));
  EXPECT_EQ(Host.ShapeWkts(L"wells.3").size(), 0u);
  EXPECT_EQ(Host.ShapeWkts(L"wells.4").size(), 2u);

  // Through the host's interfaces, as the module reads it: the table is named as the layer.
  TComPtr<IOrvexDatabase> Db;
  ASSERT_EQ(Host.Application()->GetDatabase(Db.Put()), S_OK);
  TBStr LayerId(L"wells");
  TComPtr<IOrvexLayer> Layer;
  ASSERT_EQ(Db->GetLayer(LayerId.Get(), Layer.Put()), S_OK);
  TBStr Name;
  ASSERT_EQ(Layer->GetName(Name.Put()), S_OK);
  EXPECT_EQ(Name.ToWideString(), L"Скважины");
  TComPtr<IOrvexMapObjects> Objects;
  ASSERT_EQ(Db->GetMapObjects(Objects.Put()), S_OK);
  auto Semantics = [&](const wchar_t* Id) {
    TBStr ObjectId(Id);
    TComPtr<IOrvexMapObject> Obj;
    EXPECT_EQ(Objects->GetObject(ObjectId.Get(), Obj.Put()), S_OK);
    TComPtr<IOrvexSemantics> Sem;
    EXPECT_EQ(Obj->GetSemantics(Sem.Put()), S_OK);
    return Sem;
  };
  TBStr Table(L"Скважины"), Samples(L"samples"), Depth(L"depth");
  LONG Count = 0;
  ASSERT_EQ(Semantics(L"w-1")->GetRecordCount(Table.Get(), &Count), S_OK);
  EXPECT_EQ(Count, 3);  // the array gives three records
  ASSERT_EQ(Semantics(L"wells.3")->GetRecordCount(Table.Get(), &Count), S_OK);
  EXPECT_EQ(Count, 0);
  ASSERT_EQ(Semantics(L"wells.4")->GetRecordCount(Table.Get(), &Count), S_OK);
  EXPECT_EQ(Count, 0);
  VARIANT V;
  VariantInit(&V);
  ASSERT_EQ(Semantics(L"w-1")->GetValue(Table.Get(), Samples.Get(), 2, &V), S_OK);
  EXPECT_TRUE(TValue(V).SameAs(TValue(5)));
  VariantClear(&V);
  // A plain value goes into record 0 only.
  ASSERT_EQ(Semantics(L"w-1")->GetValue(Table.Get(), Depth.Get(), 0, &V), S_OK);
  EXPECT_TRUE(TValue(V).SameAs(TValue(120.5)));
  VariantClear(&V);
  ASSERT_EQ(Semantics(L"w-1")->GetValue(Table.Get(), Depth.Get(), 1, &V), S_OK);
  EXPECT_EQ(V_VT(&V), VT_EMPTY);
  EXPECT_TRUE(Host.Value(L"w-1", L"wells", L"name").SameAs(TValue(L"Первая")));
  EXPECT_TRUE(Host.Value(L"42", L"wells", L"name").SameAs(TValue::Null()));
  EXPECT_TRUE(Host.Value(L"42", L"wells", L"active").SameAs(TValue::Bool(true)));
  EXPECT_TRUE(Host.Value(L"42", L"wells", L"big").SameAs(TValue(1e10)));
  // Objects, and arrays inside an array-valued property, are kept as their JSON text.
  EXPECT_TRUE(Host.Value(L"42", L"wells", L"tags").SameAs(TValue(L"{\"kind\":\"well\",\"names\":[\"Первая\",2]}")))
      << Host.Value(L"42", L"wells", L"tags").ToText();
  ASSERT_EQ(Semantics(L"42")->GetRecordCount(Table.Get(), &Count), S_OK);
  EXPECT_EQ(Count, 2);
  ASSERT_EQ(Semantics(L"42")->GetValue(Table.Get(), Samples.Get(), 1, &V), S_OK);
  EXPECT_TRUE(TValue(V).SameAs(TValue(L"{\"a\":null}")));
  VariantClear(&V);
}

TEST(HostGeoJson, MalformedFilesAreRefused) {
  struct TCase {
    const char* What;
    std::string Text;
  };
  const TCase Cases[] = {
      {"not json", "{\"type\": "},
      {"not a collection", R"({"type": "Feature", "geometry": null})"},
      {"bad polygon", R"({"type": "FeatureCollection", "features": [{"type": "Feature",
         "geometry": {"type": "Polygon", "coordinates": [[[0,0],[2,2],[0,2],[2,0],[0,0]]]}}]})"},
      {"bad position", R"({"type": "FeatureCollection", "features": [{"type": "Feature",
         "geometry": {"type": "Point", "coordinates": ["a", 1]}}]})"},
      {"unknown type", R"({"type": "FeatureCollection", "features": [{"type": "Feature",
         "geometry": {"type": "Circle", "coordinates": [0, 0]}}]})"},
      {"duplicate id", R"({"type": "FeatureCollection", "features": [
         {"type": "Feature", "id": "x", "geometry": null}, {"type": "Feature", "id": "x", "geometry": null}]})"},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.What);
    TTempFolder Folder;
    Folder.Write(L"bad.geojson", Case.Text);
    HostSim::THost Host;
    EXPECT_THROW(Host.LoadGeoJsonFolder(Folder.Path(), L"m", L"m"), std::invalid_argument);
  }
}

// What the loader says names the file, and within it the feature, so that the user can find it.
TEST(HostGeoJson, ErrorsNameTheFileAndTheFeature) {
  struct TCase {
    const char* What;
    std::string Text;
    std::vector<std::string> Said;
  };
  const std::string Deep = std::string(200000, '[') + std::string(200000, ']');
  // The square 0..1000 with a position every 5 units (800 in all, clockwise), which the hole
  // crosses on its upper edge at x = 7 and x = 22.
  std::string LongRing = "[";
  const int Corner[5][2] = {{0, 0}, {0, 1000}, {1000, 1000}, {1000, 0}, {0, 0}};
  for (int E = 0; E < 4; ++E)
    for (int K = 0; K < 200; ++K)
      LongRing += "[" + std::to_string(Corner[E][0] + (Corner[E + 1][0] - Corner[E][0]) * K / 200) + ", " +
                  std::to_string(Corner[E][1] + (Corner[E + 1][1] - Corner[E][1]) * K / 200) + "], ";
  LongRing += "[0, 0]]";
  const TCase Cases[] = {
      {"too few points", R"({"type": "FeatureCollection", "features": [
         {"type": "Feature", "id": "ok", "geometry": null},
         {"type": "Feature", "id": "w-7", "geometry": {"type": "LineString", "coordinates": [[0, 0]]}}]})",
       {"bad.geojson: feature w-7 (number 2): ", "too few points"}},
      {"without an identifier", R"({"type": "FeatureCollection", "features": [
         {"type": "Feature", "geometry": {"type": "Point", "coordinates": ["a", 0]}}]})",
       {"bad.geojson: feature bad.1 (number 1): a position must be an array of at least two numbers"}},
      {"a number beyond double", R"({"type": "FeatureCollection", "features": [
         {"type": "Feature", "geometry": {"type": "Point", "coordinates": [1e400, 0]}}]})",
       {"bad.geojson: ", "number overflow parsing '1e400'"}},
      {"a value that cannot be taken", R"({"type": "FeatureCollection", "features": [
         {"type": "Feature", "id": "w-1", "geometry": null, "properties": {"kind": {"vt": 99}}}]})",
       {"bad.geojson: feature w-1 (number 1): property kind: unknown value kind 99"}},
      {"a bow tie", R"({"type": "FeatureCollection", "features": [{"type": "Feature", "id": "b",
         "geometry": {"type": "Polygon", "coordinates": [[[0, 0], [2, 2], [0, 2], [2, 0], [0, 0]]]}}]})",
       {"bad.geojson: feature b (number 1): invalid geometry: self-intersection at 1, 1 (the outer ring crosses itself)"}},
      {"a long ring that crosses a hole", R"({"type": "FeatureCollection", "features": [{"type": "Feature", "id": "c",
         "geometry": {"type": "Polygon", "coordinates": [)" + LongRing + R"(, [[7, 5], [22, 5], [22, 1010], [7, 1010], [7, 5]]]}}]})",
       {"bad.geojson: feature c (number 1): invalid geometry: self-intersection at 7, 1000 (the outer ring and hole 1 cross)"}},
      {"deep nesting", R"({"type": "FeatureCollection", "features": [
         {"type": "Feature", "geometry": null, "properties": {"a": )" + Deep + "}}]}",
       {"bad.geojson: arrays and objects nested deeper than 64 levels"}},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.What);
    TTempFolder Folder;
    Folder.Write(L"bad.geojson", Case.Text);
    HostSim::THost Host;
    try {
      Host.LoadGeoJsonFolder(Folder.Path(), L"m", L"m");
      ADD_FAILURE() << "loaded";
    } catch (const std::invalid_argument& E) {
      for (const std::string& Part : Case.Said)
        EXPECT_NE(std::string(E.what()).find(Part), std::string::npos) << E.what();
    }
  }
}

}  // namespace
