// OrvexSim's own units without the module: the scenario's command line and its check against
// the catalogue, the CSV cells, the map's features and graduated-colour classes, and the host
// that the main window makes.
#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>

#include "hostsim/HostSim.h"
#include "hostsim/HostSimCity.h"
#include "hostsim/demo/DemoCatalog.h"
#include "hostsim/demo/DemoMainWindow.h"
#include "hostsim/demo/DemoMapView.h"
#include "hostsim/demo/DemoOutput.h"
#include "hostsim/demo/DemoScenario.h"

namespace {

using namespace OrvexSim;

std::vector<std::wstring> Args(std::initializer_list<const wchar_t*> List) {
  std::vector<std::wstring> Result{L"OrvexSim.exe"};
  for (auto* A : List) Result.push_back(A);
  return Result;
}

TScenario Parse(std::vector<std::wstring> Arguments) {
  std::vector<wchar_t*> Argv;
  for (auto& A : Arguments) Argv.push_back(A.data());
  return ParseCommandLine(static_cast<int>(Argv.size()), Argv.data());
}

std::vector<std::wstring> Walkthrough() {
  return Args({L"--script", L"--city", L"--target-layer", L"Кварталы", L"--target-table", L"Кварталы",
               L"--target-field", L"Население", L"--source", L"Здания|Здания.Жители|inside",
               L"--source", L"Парки|area|touches", L"--function", L"sum", L"--out", L"C:\\out"});
}

TEST(DemoScenario, ReadsTheCommandLine) {
  TScenario S = Parse(Walkthrough());
  EXPECT_TRUE(S.Script);
  EXPECT_TRUE(S.DataFolder.empty());
  EXPECT_EQ(S.TargetLayer, L"Кварталы");
  EXPECT_EQ(S.TargetField, L"Население");
  ASSERT_EQ(S.Sources.size(), 2u);
  EXPECT_EQ(S.Sources[0].LayerName, L"Здания");
  EXPECT_EQ(S.Sources[0].Characteristic, L"Здания.Жители");
  EXPECT_EQ(S.Sources[0].RelationName, L"inside");
  EXPECT_EQ(S.Sources[1].Characteristic, L"area");
  EXPECT_EQ(S.OutFolder, L"C:\\out");
  EXPECT_EQ(S.TimeoutSeconds, 120);

  TScenario Interactive = Parse(Args({L"--data", L"D:\\layers"}));
  EXPECT_FALSE(Interactive.Script);
  EXPECT_EQ(Interactive.DataFolder, L"D:\\layers");
}

TEST(DemoScenario, RefusesMalformedCommandLines) {
  std::vector<std::vector<std::wstring>> Bad = {
      Args({L"--bogus"}),
      Args({L"--city", L"--data", L"X"}),
      Args({L"--data"}),
      Args({L"--script", L"--city"}),
      Args({L"--timeout", L"0"}),
      Args({L"--timeout", L"12s"}),
  };
  auto NoSource = Walkthrough();
  NoSource.erase(NoSource.begin() + 9, NoSource.begin() + 13);
  Bad.push_back(NoSource);
  auto BadSource = Walkthrough();
  BadSource[10] = L"Здания|inside";
  Bad.push_back(BadSource);
  auto NoOut = Walkthrough();
  NoOut.resize(NoOut.size() - 2);
  Bad.push_back(NoOut);
  for (auto& Arguments : Bad) EXPECT_THROW(Parse(Arguments), std::runtime_error) << Utf8(Arguments.back());
}

class DemoResolve : public ::testing::Test {
protected:
  void SetUp() override {
    Host.BuildSampleCity(0.1);
    Catalog = ReadCatalog(Host.Application().Get());
  }
  HostSim::THost Host;
  TCatalog Catalog;
};

TEST_F(DemoResolve, GivesTheTreePathsAndItems) {
  TResolvedScenario R = ResolveScenario(Parse(Walkthrough()), Catalog);
  EXPECT_EQ(R.TargetLayer->Id, HostSim::City::Quarters);
  EXPECT_EQ(R.TargetTable->Id, HostSim::City::QuartersTable);
  EXPECT_EQ(R.TargetField->Id, HostSim::City::Population);
  EXPECT_EQ(R.TargetPath, (std::vector<std::wstring>{L"Новоград", L"Кварталы", L"Кварталы", L"Население"}));
  ASSERT_EQ(R.Sources.size(), 2u);
  EXPECT_EQ(R.Sources[0].TreePath, (std::vector<std::wstring>{L"Новоград", L"Здания", L"Здания", L"Жители"}));
  EXPECT_EQ(R.Sources[0].RelationItem, 1);
  EXPECT_EQ(R.Sources[1].TreePath, (std::vector<std::wstring>{L"Новоград", L"Парки", L"Площадь"}));
  EXPECT_EQ(R.Sources[1].RelationItem, 3);
  EXPECT_EQ(R.FunctionItem, 1);
}

TEST_F(DemoResolve, SplitsTableAndFieldAtTheDotThatNamesThem) {
  // The tenants table's "Площадь, м²" on the buildings layer.
  const std::wstring Field = L"Площадь, м\u00B2";
  auto A = Walkthrough();
  A[10] = L"Здания|Арендаторы." + Field + L"|intersects";
  TResolvedScenario R = ResolveScenario(Parse(A), Catalog);
  EXPECT_EQ(R.Sources[0].TreePath[2], L"Арендаторы");
  EXPECT_EQ(R.Sources[0].TreePath.back(), Field);
  EXPECT_EQ(R.Sources[0].RelationItem, 0);
}

TEST_F(DemoResolve, RefusesNamesThatDoNotExist) {
  struct TCase { size_t Index; const wchar_t* Value; };
  for (TCase C : {TCase{4, L"Озёра"}, TCase{6, L"Здания"}, TCase{8, L"Жители"}, TCase{8, L"ID"},
                  TCase{10, L"Озёра|area|inside"}, TCase{10, L"Здания|Здания.Этажи|inside"},
                  TCase{10, L"Здания|Здания|inside"}, TCase{10, L"Здания|Здания.SIMID|inside"},
                  TCase{12, L"Парки|area|crosses"}, TCase{14, L"average"}}) {
    auto A = Walkthrough();
    A[C.Index] = C.Value;
    TScenario S = Parse(A);  // well formed: only the names are wrong
    EXPECT_THROW(ResolveScenario(S, Catalog), std::runtime_error) << Utf8(C.Value);
  }
}

TEST(DemoOutput, CsvCells) {
  EXPECT_EQ(CsvCell(HostSim::TValue()), L"");
  EXPECT_EQ(CsvCell(HostSim::TValue::Null()), L"");
  EXPECT_EQ(CsvCell(HostSim::TValue(42)), L"42");
  EXPECT_EQ(CsvCell(HostSim::TValue(2.5)), L"2.5");
  EXPECT_EQ(CsvCell(HostSim::TValue(L"Квартал 1")), L"Квартал 1");
  EXPECT_EQ(CsvCell(HostSim::TValue(L"a, \"b\"")), L"\"a, \"\"b\"\"\"");
  EXPECT_EQ(CsvCell(HostSim::TValue(L"two\nlines")), L"\"two\nlines\"");
  EXPECT_EQ(CsvCell(HostSim::TValue::Bool(true)), L"True");
}

TEST(DemoTheme, QuantileClassesOverTheFilledValues) {
  HostSim::THost Host;
  Host.AddMap(L"m", L"Карта");
  Host.AddLayer(L"m", L"l", L"Слой");
  Host.AddTable(L"l", L"t", L"Таблица");
  Host.AddField(L"t", L"V", L"Значение");
  for (int I = 0; I < 11; ++I) {
    std::wstring Id = L"o" + std::to_wstring(I);
    // Objects 5 and 10 have no shape: features without shapes.
    Host.AddObject(L"l", Id, I % 5 == 0 && I > 0 ? L"" : L"POINT (" + std::to_wstring(I) + L" 0)");
    if (I < 10) Host.AddRecord(Id, L"t", {{L"V", HostSim::TValue(I * 10)}});
  }
  TMapModel Model;
  try {
    Model.Load(Host, ReadCatalog(Host.Application().Get()));
  } catch (const std::exception& E) {
    FAIL() << E.what();
  }
  ASSERT_EQ(Model.Layers().size(), 1u);
  const TMapLayer& Layer = Model.Layers()[0];
  ASSERT_EQ(Layer.FeatureCount(), 11u);
  EXPECT_EQ(Layer.FeatureShapes[5], Layer.FeatureShapes[6]);
  EXPECT_EQ(Layer.FeatureShapes[6] + 1, Layer.FeatureShapes[7]);
  Model.SetTheme(Host, L"l", L"t", L"V", L"Слой: Значение");
  const TTheme& T = Model.Theme();
  ASSERT_TRUE(T.Active());
  EXPECT_TRUE(T.WholeNumbers);
  EXPECT_EQ(T.Breaks, (std::vector<double>{0, 20, 40, 60, 80, 90}));
  EXPECT_EQ(T.Classes, (std::vector<signed char>{0, 0, 1, 1, 2, 2, 3, 3, 4, 4, -1}));

  // A field without a single value gives no theme.
  Host.AddField(L"t", L"W", L"Пусто");
  Model.SetTheme(Host, L"l", L"t", L"W", L"Слой: Пусто");
  EXPECT_FALSE(Model.Theme().Active());
}

// The legend has a strip of its own: every feature, the one in the lower left corner too, shows
// its class colour.
TEST(DemoTheme, TheLegendHidesNoFeature) {
  HostSim::THost Host;
  Host.AddMap(L"m", L"Карта");
  Host.AddLayer(L"m", L"l", L"Слой");
  Host.AddTable(L"l", L"t", L"Таблица");
  Host.AddField(L"t", L"V", L"Значение");
  for (int I = 0; I < 10; ++I) {
    // Squares along the diagonal and along the bottom edge.
    for (int Row : {I, 0}) {
      if (Row == 0 && I == 0 && Host.ObjectIds(L"l").size() > 0) continue;
      std::wstring Id = L"o" + std::to_wstring(I) + L"_" + std::to_wstring(Row);
      const std::wstring X0 = std::to_wstring(I * 10), X1 = std::to_wstring(I * 10 + 6);
      const std::wstring Y0 = std::to_wstring(Row * 10), Y1 = std::to_wstring(Row * 10 + 6);
      Host.AddObject(L"l", Id, L"POLYGON ((" + X0 + L" " + Y0 + L", " + X1 + L" " + Y0 + L", " +
                                   X1 + L" " + Y1 + L", " + X0 + L" " + Y1 + L", " + X0 + L" " +
                                   Y0 + L"))");
      Host.AddRecord(Id, L"t", {{L"V", HostSim::TValue(I * 10 + Row)}});
    }
  }
  TMapModel Model;
  Model.Load(Host, ReadCatalog(Host.Application().Get()));
  Model.SetTheme(Host, L"l", L"t", L"V", L"Слой: Значение");
  ASSERT_TRUE(Model.Theme().Active());
  const int W = 500, H = 400;
  const int MapW = MapAreaWidth(Model, W);
  EXPECT_LT(MapW, W);
  HBITMAP Bitmap = RenderMapBitmap(Model, W, H, L"");
  ASSERT_NE(Bitmap, nullptr);
  DIBSECTION Dib{};
  ASSERT_EQ(GetObjectW(Bitmap, sizeof Dib, &Dib), static_cast<int>(sizeof Dib));
  const auto* Pixels = static_cast<const DWORD*>(Dib.dsBm.bmBits);
  TViewport View;
  View.Fit(Model.Bounds(), MapW, H);
  const TMapLayer& Layer = Model.Layers()[0];
  ASSERT_EQ(Layer.FeatureCount(), 19u);
  for (size_t F = 0; F < Layer.FeatureCount(); ++F) {
    const TPoint* Ring = &Layer.Points[Layer.PathPoints[Layer.ShapePaths[Layer.FeatureShapes[F]]]];
    TPoint Centre{(Ring[0].X + Ring[2].X) / 2, (Ring[0].Y + Ring[2].Y) / 2};
    POINT P = View.ToPixel(Centre, MapW, H);
    ASSERT_LT(P.x, MapW);
    const DWORD Got = Pixels[P.y * W + P.x] & 0xFFFFFF;
    const COLORREF Want = ThemeColor(Model.Theme().Classes[F]);
    EXPECT_EQ(Got, static_cast<DWORD>((GetRValue(Want) << 16) | (GetGValue(Want) << 8) | GetBValue(Want)))
        << "feature " << F;
  }
  DeleteObject(Bitmap);
}

// A run of a million targets makes tens of millions of host calls: the main window's host counts
// them but keeps no record of them.
TEST(DemoMainWindow, ItsHostKeepsNoCallLog) {
  TMainWindow Main;
  Main.LoadCity();
  EXPECT_GT(Main.Host().CallCount(), 0);
  EXPECT_TRUE(Main.Host().CallLog().empty());
}

}  // namespace
