#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "hostsim/HostSim.h"
#include "stats/FillRun.h"
#include "stats/StatSchemes.h"
#include "support/Errors.h"
#include "support/MessageLoop.h"
#include "support/Progresses.h"
#include "tests/uitest/UiTest.h"

using namespace Quorin;
using HostSim::TValue;
using QuorinTest::WindowText;

namespace {

std::wstring Square(double X0, double Y0, double X1, double Y1) {
  auto N = [](double V) { return std::to_wstring(static_cast<long long>(V)); };
  return L"POLYGON((" + N(X0) + L" " + N(Y0) + L", " + N(X1) + L" " + N(Y0) + L", " + N(X1) +
         L" " + N(Y1) + L", " + N(X0) + L" " + N(Y1) + L", " + N(X0) + L" " + N(Y0) + L"))";
}

// The wizard's last page as far as the run sees it: two bars 577 pixels wide with their labels.
class TProgressPage {
public:
  TProgressPage() {
    INITCOMMONCONTROLSEX Icc = {sizeof(Icc), ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&Icc);
    Form = CreateWindowExW(0, L"STATIC", L"Form", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 640, 200,
                           nullptr, nullptr, nullptr, nullptr);
    FillBar = Child(PROGRESS_CLASSW, 40);
    FillLabel = Child(L"STATIC", 20);
    SourceBar = Child(PROGRESS_CLASSW, 100);
    SourceLabel = Child(L"STATIC", 80);
    Fill.SetProgressLabel(FillLabel);
    Fill.SetProgressBar(FillBar);
    Source.SetProgressLabel(SourceLabel);
    Source.SetProgressBar(SourceBar);
    ProcessMessages();
  }
  ~TProgressPage() {
    DestroyWindow(Form);
    ProcessMessages();
  }
  static int PosOf(HWND B) { return static_cast<int>(SendMessageW(B, PBM_GETPOS, 0, 0)); }

  HWND Form, FillBar, FillLabel, SourceBar, SourceLabel;
  TProgress Fill, Source;

private:
  HWND Child(const wchar_t* Class, int Y) {
    return CreateWindowExW(0, Class, L"", WS_CHILD | WS_VISIBLE, 8, Y, 577, 17, Form, nullptr,
                           nullptr, nullptr);
  }
};

// A small town. Districts is the target layer (table DistrictStats, "Статистика"); Buildings a
// source layer with a table (BuildingData, "Здания", field Floors); Parks a layer without one.
//
//   D1 (0,0)-(100,100)     D2 (100,0)-(200,100), touching D1     D3 (0,300)-(100,400), alone
//   B1 inside D1 with 3 records, B2 inside D1 with none, B3 inside D2 with 1 record,
//   B4 across the D1/D2 border with 1 record.
//   P1 10x10 (area 100) inside D2, P2 in D2 with area 300 and two shapes.
class FillRunTest : public ::testing::Test {
protected:
  void SetUp() override {
    Host.AddMap(L"M", L"Город");
    Host.AddLayer(L"M", L"Districts", L"Районы");
    Host.AddTable(L"Districts", L"DistrictStats", L"Статистика");
    Host.AddField(L"DistrictStats", L"Total", L"Итог");
    Host.AddObject(L"Districts", L"D1", Square(0, 0, 100, 100));
    Host.AddObject(L"Districts", L"D2", Square(100, 0, 200, 100));
    Host.AddObject(L"Districts", L"D3", Square(0, 300, 100, 400));
    for (const wchar_t* D : {L"D1", L"D2", L"D3"})
      Host.AddRecord(D, L"DistrictStats", {{L"Total", TValue(-1)}});

    Host.AddLayer(L"M", L"Buildings", L"Здания");
    Host.AddTable(L"Buildings", L"BuildingData", L"Здания");
    Host.AddField(L"BuildingData", L"Floors", L"Этажность");
    Host.AddObject(L"Buildings", L"B1", Square(10, 10, 20, 20));
    Host.AddObject(L"Buildings", L"B2", Square(30, 30, 40, 40));
    Host.AddObject(L"Buildings", L"B3", Square(150, 50, 160, 60));
    Host.AddObject(L"Buildings", L"B4", Square(90, 50, 110, 60));
    Host.AddRecord(L"B1", L"BuildingData", {{L"Floors", TValue(5)}});
    Host.AddRecord(L"B1", L"BuildingData", {{L"Floors", TValue(7)}});
    Host.AddRecord(L"B1", L"BuildingData", {{L"Floors", TValue(9)}});
    Host.AddRecord(L"B3", L"BuildingData", {{L"Floors", TValue(2)}});
    Host.AddRecord(L"B4", L"BuildingData", {{L"Floors", TValue(4)}});

    Host.AddLayer(L"M", L"Parks", L"Парки");
    Host.AddObject(L"Parks", L"P1", Square(120, 10, 130, 20));
    Host.AddObject(L"Parks", L"P2", Square(140, 10, 150, 20), 0);  // its first shape: bit 0 clear
    Host.AddShape(L"P2", Square(170, 10, 190, 20), 1);

    Host.AddLayer(L"M", L"Empty", L"Пусто");
    Host.AddTable(L"Empty", L"EmptyStats", L"Пустая");
    Host.AddField(L"EmptyStats", L"Total", L"Итог");

    App = Host.Application();
    Baseline = Host.LiveObjects();
    Scheme = new TStatSchemeFieldFill;
    Target(L"Districts", L"DistrictStats", L"Total");
  }
  void TearDown() override { Scheme->Free(); }

  void Target(const std::wstring& Layer, const std::wstring& Table, const std::wstring& Field) {
    Scheme->LayerID = ToAnsi(Layer);
    Scheme->TableID = ToAnsi(Table);
    Scheme->FieldName = ToAnsi(Field);
  }
  void AddSource(const char* Layer, const char* Table, const char* Characteristic,
                 int32_t Relation) {
    TStatSchemeFillSource* S = nullptr;
    RefAssign(S, new TStatSchemeFillSource);
    S->LayerID = Layer;
    S->TableID = Table;
    S->Characteristic = Characteristic;
    S->Relation = Relation;
    Scheme->Sources.Add(S);
    RefRelease(S);
  }
  void Run(TStatFunction F) {
    Scheme->StatFunction = F;
    Host.ClearCallLog();
    RunFill(App.Get(), *Scheme, Page.Fill, Page.Source);
    EXPECT_EQ(Host.LiveObjects(), Baseline);
  }
  TValue Total(const wchar_t* Id) { return Host.Value(Id, L"DistrictStats", L"Total"); }
  long Calls(const wchar_t* Method) const {
    const auto& Log = Host.CallLog();
    return static_cast<long>(std::count_if(Log.begin(), Log.end(),
                                           [&](const HostSim::TCall& C) { return C.Method == Method; }));
  }
  static double R8Of(const TValue& V) {
    EXPECT_EQ(V.Type(), VT_R8) << V.ToText();
    return V.Type() == VT_R8 ? V_R8(&V.Ref()) : -1e300;
  }
  static long I4Of(const TValue& V) {
    EXPECT_EQ(V.Type(), VT_I4) << V.ToText();
    return V.Type() == VT_I4 ? V_I4(&V.Ref()) : -999999;
  }

  HostSim::THost Host;
  TComPtr<IOrvexApplication> App;
  long Baseline = 0;
  TStatSchemeFieldFill* Scheme = nullptr;
  TProgressPage Page;
};

}  // namespace

TEST_F(FillRunTest, EmptyTargetLayer) {
  Target(L"Empty", L"EmptyStats", L"Total");
  AddSource("Buildings", "BuildingData", "Floors", srIntersects);
  Run(sfCount);
  EXPECT_EQ(Page.Fill.Max(), 0);
  EXPECT_EQ(Page.Fill.MessagePasses(), 1u);  // Start's pass only
  EXPECT_EQ(WindowText(Page.FillLabel), L"Заполняемые объекты:");
  EXPECT_EQ(Calls(L"SetValue"), 0);
  EXPECT_EQ(Calls(L"QueryByRelation"), 0);
  EXPECT_EQ(Host.ApplyChangesCount(), 1);
}

TEST_F(FillRunTest, CallSequenceOfOneTarget) {
  AddSource("Buildings", "BuildingData", "Floors", srInside);
  Scheme->StatFunction = sfSum;
  Host.ClearCallLog();
  TFillRun Run(App.Get(), *Scheme, Page.Fill, Page.Source);
  Host.ClearCallLog();
  Run.FillObject("D2");
  const std::vector<std::wstring> Expected = {
      L"IOrvexMapObjects.QueryByRelation(\"Buildings\", \"D2\", 2, 2)",
      L"IOrvexObjectQuery.GetEof()",
      L"IOrvexObjectQuery.GetObjectId()",
      L"IOrvexObjectQuery.MoveNext()",
      L"IOrvexObjectQuery.GetEof()",
      L"IOrvexApplication.GetDatabase()",
      L"IOrvexDatabase.GetTable(\"BuildingData\")",
      L"IOrvexMapObjects.GetObject(\"B3\")",
      L"IOrvexMapObject.GetSemantics()",
      L"IOrvexTable.GetName()",
      L"IOrvexSemantics.GetRecordCount(\"Здания\")",
      L"IOrvexSemantics.GetValue(\"Здания\", \"Floors\", 0)",
      L"IOrvexApplication.GetDatabase()",
      L"IOrvexDatabase.GetTable(\"DistrictStats\")",
      L"IOrvexTable.GetName()",
      L"IOrvexMapObjects.GetObject(\"D2\")",
      L"IOrvexMapObject.GetSemantics()",
      L"IOrvexSemantics.SetValue(\"Статистика\", \"Total\", 2, 0)",
  };
  EXPECT_EQ(Host.CallLogText(), Expected);
  EXPECT_EQ(I4Of(Total(L"D2")), 2);
}

TEST_F(FillRunTest, EveryFunctionWritesItsEmptyResultWithoutRelatedObjects) {
  AddSource("Buildings", "BuildingData", "Floors", srInside);
  const VARTYPE Kinds[] = {VT_I4, VT_I4, VT_I4, VT_EMPTY, VT_EMPTY};
  for (TStatFunction F : {sfCount, sfSum, sfAverage, sfMin, sfMax}) {
    SCOPED_TRACE(StatFunctionIDs[F]);
    Run(F);
    TValue V = Total(L"D3");  // nothing relates to D3
    ASSERT_EQ(V.Type(), Kinds[F]) << V.ToText();
    if (V.Type() == VT_I4) {
      EXPECT_EQ(V_I4(&V.Ref()), 0);
    }
    EXPECT_EQ(Calls(L"SetValue"), 3);  // every target is written
  }
}

TEST_F(FillRunTest, CountOverRecords) {
  // D1 holds B1 (3 records), B2 (none) and B4 half (intersects, not inside).
  AddSource("Buildings", "BuildingData", "Floors", srInside);
  Run(sfCount);
  EXPECT_EQ(I4Of(Total(L"D1")), 3);
  EXPECT_EQ(I4Of(Total(L"D2")), 1);
  EXPECT_EQ(I4Of(Total(L"D3")), 0);
  EXPECT_EQ(Host.ApplyChangesCount(), 1);
  EXPECT_FALSE(Host.HasPendingChanges());
  // Nulls are not counted.
  Host.AddRecord(L"B2", L"BuildingData", {{L"Floors", TValue::Null()}});
  Host.AddRecord(L"B2", L"BuildingData", {{L"Floors", TValue(1)}});
  Run(sfCount);
  EXPECT_EQ(I4Of(Total(L"D1")), 4);
  EXPECT_EQ(Host.ApplyChangesCount(), 2);
}

TEST_F(FillRunTest, SumAverageMinMaxOverRecords) {
  AddSource("Buildings", "BuildingData", "Floors", srIntersects);
  Run(sfSum);  // D1: 5+7+9 + 4 (B4 crosses the border); D2: 2 + 4
  EXPECT_EQ(I4Of(Total(L"D1")), 25);
  EXPECT_EQ(I4Of(Total(L"D2")), 6);
  Run(sfAverage);
  EXPECT_DOUBLE_EQ(R8Of(Total(L"D1")), 25.0 / 4);
  EXPECT_DOUBLE_EQ(R8Of(Total(L"D2")), 3.0);
  EXPECT_EQ(I4Of(Total(L"D3")), 0);
  Run(sfMin);
  EXPECT_EQ(I4Of(Total(L"D1")), 4);
  Run(sfMax);
  EXPECT_EQ(I4Of(Total(L"D1")), 9);
  EXPECT_EQ(Total(L"D3").Type(), VT_EMPTY);
}

TEST_F(FillRunTest, AreaMeanOfTenAndThirty) {
  Host.AddLayer(L"M", L"Plots", L"Участки");
  Host.AddObject(L"Plots", L"Q1", Square(1, 1, 3, 6));      // 10
  Host.AddObject(L"Plots", L"Q2", Square(10, 10, 15, 16));  // 30
  AddSource("Plots", "", "1", srInside);
  Run(sfAverage);
  EXPECT_EQ(R8Of(Total(L"D1")), 20.0);
  EXPECT_EQ(I4Of(Total(L"D3")), 0);
}

TEST_F(FillRunTest, PerimeterCountsOnlyShapesWithStyleBit0) {
  // P1: one counted 10x10 shape (40); P2: 10x10 not counted, 20x10 counted (60).
  ASSERT_EQ(Host.ObjectPerimeter(L"P2"), 60.0);
  AddSource("Parks", "", "2", srInside);
  Run(sfSum);
  EXPECT_EQ(R8Of(Total(L"D2")), 100.0);
  Run(sfMax);
  EXPECT_EQ(R8Of(Total(L"D2")), 60.0);
  // All shapes clear: 0.0, which count counts and min takes.
  Host.AddObject(L"Parks", L"P5", Square(110, 80, 115, 85), 0);
  Host.AddShape(L"P5", Square(120, 80, 125, 85), 2);  // other bits do not count
  Run(sfCount);
  EXPECT_EQ(I4Of(Total(L"D2")), 3);
  Run(sfMin);
  EXPECT_EQ(R8Of(Total(L"D2")), 0.0);
  EXPECT_EQ(Calls(L"GetPerimeter"), 2);  // P1's and P2's second shape
}

TEST_F(FillRunTest, TwoSourcesOnOneLayerWithDifferentRelations) {
  // B5 touches D2 from outside: it intersects D2 too, so it gives its value once per source.
  Host.AddObject(L"Buildings", L"B5", Square(200, 50, 210, 60));
  Host.AddRecord(L"B5", L"BuildingData", {{L"Floors", TValue(3)}});
  ASSERT_EQ(Host.RelatedIds(L"Buildings", L"D2", srTouches), std::vector<std::wstring>{L"B5"});
  AddSource("Buildings", "BuildingData", "Floors", srIntersects);
  AddSource("Buildings", "BuildingData", "Floors", srTouches);
  Run(sfCount);
  EXPECT_EQ(I4Of(Total(L"D2")), 3 + 1);  // B3, B4, B5; B5
  EXPECT_EQ(I4Of(Total(L"D1")), 4 + 0);  // B1 (3 records), B2 (none), B4
  EXPECT_EQ(Calls(L"QueryByRelation"), 3 * 2);  // per target, per source
  Run(sfSum);
  EXPECT_EQ(I4Of(Total(L"D2")), 2 + 4 + 3 + 3);
}

TEST_F(FillRunTest, TargetLayerIsAlsoASourceLayer) {
  AddSource("Districts", "DistrictStats", "Total", srIntersects);
  Run(sfSum);
  // The target query is read to its end before anything else happens, and every target is
  // visited once, in the layer's order.
  const std::vector<std::wstring> Log = Host.CallLogText();
  size_t I = 0;
  while (I < Log.size() && Log[I].find(L"QueryByLayers") == std::wstring::npos) ++I;
  ASSERT_LT(I, Log.size());
  std::vector<std::wstring> Collected;
  for (++I; I < Log.size() && Log[I].rfind(L"IOrvexObjectQuery.", 0) == 0; ++I)
    if (Log[I].find(L"GetObjectId") != std::wstring::npos) Collected.push_back(Log[I]);
  EXPECT_EQ(Collected.size(), 3u);
  ASSERT_LT(I, Log.size());
  EXPECT_NE(Log[I].find(L"QueryByRelation(\"Districts\", \"D1\", 1, 1)"), std::wstring::npos) << Log[I];
  std::vector<std::wstring> Written;
  for (size_t K = 0; K < Log.size(); ++K)
    if (Log[K].find(L".SetValue(") != std::wstring::npos) Written.push_back(Log[K - 2]);
  EXPECT_EQ(Written, (std::vector<std::wstring>{L"IOrvexMapObjects.GetObject(\"D1\")",
                                                 L"IOrvexMapObjects.GetObject(\"D2\")",
                                                 L"IOrvexMapObjects.GetObject(\"D3\")"}));
  // D1 intersects itself and D2 (-1 + -1); D2 then reads D1's new value: -2 + its own -1.
  EXPECT_EQ(I4Of(Total(L"D1")), -2);
  EXPECT_EQ(I4Of(Total(L"D2")), -3);
  EXPECT_EQ(I4Of(Total(L"D3")), -1);
}

TEST_F(FillRunTest, UnknownGeometricCodeOnlyMovesTheBar) {
  AddSource("Buildings", "", "3", srIntersects);
  Run(sfCount);
  EXPECT_EQ(I4Of(Total(L"D1")), 0);
  size_t Related = 0;
  for (const wchar_t* D : {L"D1", L"D2", L"D3"})
    Related += Host.RelatedIds(L"Buildings", D, srIntersects).size();
  ASSERT_EQ(Related, 5u);
  EXPECT_EQ(Calls(L"GetObject"), static_cast<long>(Related) + 3);  // sources, then each target
  EXPECT_EQ(Calls(L"GetArea"), 0);
  EXPECT_EQ(Calls(L"GetShapes"), 0);
  EXPECT_EQ(Calls(L"GetSemantics"), 3);  // only the writes
  EXPECT_EQ(Calls(L"GetTable"), 3);
  // The last job was D3's: no related object.
  EXPECT_EQ(Page.Source.Max(), 0);
  EXPECT_EQ(Page.Fill.Max(), 3);
  EXPECT_EQ(Page.Fill.Position(), 3);
  EXPECT_EQ(TProgressPage::PosOf(Page.FillBar), 577);
}

TEST_F(FillRunTest, ProgressFollowsTheRun) {
  AddSource("Buildings", "BuildingData", "Floors", srIntersects);
  std::vector<int32_t> Jobs;  // Max of each source job, seen at its Start
  Page.Source.SetMessagePump([&] {
    if (Page.Source.Position() == 0) Jobs.push_back(Page.Source.Max());
    ProcessMessages();
  });
  Run(sfCount);
  std::vector<int32_t> Expected;
  unsigned Passes = 0;
  for (const wchar_t* D : {L"D1", L"D2", L"D3"}) {
    const auto N = static_cast<int32_t>(Host.RelatedIds(L"Buildings", D, srIntersects).size());
    Expected.push_back(N);
    Passes += 1 + static_cast<unsigned>(N);  // Start, and each step moves a 577-pixel bar
  }
  EXPECT_EQ(Jobs, Expected);
  EXPECT_EQ(Page.Source.MessagePasses(), Passes);
  EXPECT_EQ(Page.Fill.MessagePasses(), 1u + 3u);
  EXPECT_EQ(Page.Fill.Position(), 3);
  EXPECT_EQ(WindowText(Page.SourceLabel), L"Исходные объекты:");
  EXPECT_EQ(WindowText(Page.FillLabel), L"Заполняемые объекты:");
}

TEST_F(FillRunTest, ResultsAreConvertedToAutomationKindsBeforeTheyAreWritten) {
  // The host gives values of kinds that it refuses to take back (SetValue answers
  // DISP_E_BADVARTYPE for them).
  auto Of = [](VARTYPE Kind, LONGLONG V) {
    VARIANT X;
    VariantInit(&X);
    V_VT(&X) = Kind;
    V_I8(&X) = 0;
    switch (Kind) {
      case VT_UI4: V_UI4(&X) = static_cast<ULONG>(V); break;
      case VT_UI2: V_UI2(&X) = static_cast<USHORT>(V); break;
      case VT_I1: V_I1(&X) = static_cast<CHAR>(V); break;
      default: V_I8(&X) = V; break;
    }
    return TValue(X);
  };
  Host.AddField(L"BuildingData", L"Code", L"Код");
  Host.AddRecord(L"B3", L"BuildingData", {{L"Code", Of(VT_UI4, 0x80000000LL)}});  // in D2
  Host.AddRecord(L"B1", L"BuildingData", {{L"Code", Of(VT_UI2, 60000)}});         // in D1
  Host.AddRecord(L"B2", L"BuildingData", {{L"Code", Of(VT_I1, -5)}});             // in D1
  AddSource("Buildings", "BuildingData", "Code", srInside);
  Run(sfSum);
  EXPECT_EQ(R8Of(Total(L"D2")), 2147483648.0);  // a 64-bit sum beyond 32 bits
  EXPECT_EQ(I4Of(Total(L"D1")), 59995);
  Run(sfMax);
  EXPECT_EQ(R8Of(Total(L"D2")), 2147483648.0);  // unsigned 32-bit with bit 31 set
  EXPECT_EQ(I4Of(Total(L"D1")), 60000);          // unsigned 16-bit
  Run(sfMin);
  EXPECT_EQ(I4Of(Total(L"D1")), -5);  // signed 8-bit
  Host.AddRecord(L"B3", L"BuildingData", {{L"Code", Of(VT_I8, -7)}});
  Run(sfMin);
  EXPECT_EQ(I4Of(Total(L"D2")), -7);  // 64-bit within 32 bits
}

TEST_F(FillRunTest, NullTextsFromTheHostAreEmptyStrings) {
  AddSource("Buildings", "BuildingData", "Floors", srInside);
  // The first target's identifier comes back null: it is "", and goes to the host as "".
  HostSim::TFault Null;
  Null.NullResult = true;
  Host.FailMethod(L"IOrvexObjectQuery", L"GetObjectId", Null);
  Scheme->StatFunction = sfSum;
  Host.ClearCallLog();
  try {
    RunFill(App.Get(), *Scheme, Page.Fill, Page.Source);
    FAIL() << "no error";
  } catch (const EOleException& E) {
    EXPECT_EQ(E.ErrorCode(), E_INVALIDARG);  // the host's: no object ""
  }
  const std::vector<std::wstring> Log = Host.CallLogText();
  EXPECT_NE(std::find(Log.begin(), Log.end(),
                      L"IOrvexMapObjects.QueryByRelation(\"Buildings\", \"\", 2, 2)"),
            Log.end());
  EXPECT_EQ(Host.LiveObjects(), Baseline);

  // A null table name is the empty name: the run asks the host with it, as with any other.
  Host.ClearFaults();
  Host.FailMethod(L"IOrvexTable", L"GetName", Null);
  Host.ClearCallLog();
  EXPECT_THROW(RunFill(App.Get(), *Scheme, Page.Fill, Page.Source), EOleException);
  EXPECT_EQ(Calls(L"GetRecordCount") + Calls(L"SetValue"), 1);
  const std::vector<std::wstring> Log2 = Host.CallLogText();
  EXPECT_TRUE(Log2.back().find(L"(\"\"") != std::wstring::npos) << Log2.back();
}

TEST_F(FillRunTest, MinOverTextAndNumbersEndsTheRun) {
  Host.AddRecord(L"B4", L"BuildingData", {{L"Floors", TValue(L"много")}});
  AddSource("Buildings", "BuildingData", "Floors", srIntersects);
  Scheme->StatFunction = sfMin;
  try {
    RunFill(App.Get(), *Scheme, Page.Fill, Page.Source);
    FAIL() << "no error";
  } catch (const EVariantTypeCastError&) {
  }
  EXPECT_EQ(Host.ApplyChangesCount(), 0);
  EXPECT_EQ(Host.LiveObjects(), Baseline);
}

// ---- host failures ---------------------------------------------------------------------

namespace {

struct TOutcome {
  bool Raised = false;
  std::string Message;
  std::vector<std::wstring> Totals;  // the target field of each target after the run
  std::vector<std::wstring> Log;
  int ApplyChanges = 0;
  long Live = 0, Baseline = 0, Fired = 0;
};

// Two sources (a table field and the area) over five districts in a row.
void BuildFaultTown(HostSim::THost& H) {
  H.AddMap(L"M", L"Город");
  H.AddLayer(L"M", L"Districts", L"Районы");
  H.AddTable(L"Districts", L"DistrictStats", L"Статистика");
  H.AddField(L"DistrictStats", L"Total", L"Итог");
  H.AddLayer(L"M", L"Buildings", L"Здания");
  H.AddTable(L"Buildings", L"BuildingData", L"Здания");
  H.AddField(L"BuildingData", L"Floors", L"Этажность");
  for (int D = 0; D < 5; ++D) {
    std::wstring Id = L"D" + std::to_wstring(D);
    H.AddObject(L"Districts", Id, Square(100 * D, 0, 100 * D + 100, 100));
    H.AddRecord(Id, L"DistrictStats", {{L"Total", TValue(-1)}});
    for (int B = 0; B < D % 3; ++B) {
      std::wstring Bid = Id + L"B" + std::to_wstring(B);
      H.AddObject(L"Buildings", Bid, Square(100 * D + 10 + 20 * B, 10, 100 * D + 20 + 20 * B, 20));
      H.AddRecord(Bid, L"BuildingData", {{L"Floors", TValue(D + B)}});
    }
  }
}

TOutcome RunWithFault(long N, bool Persistent, bool RealHost, TProgressPage& Page) {
  HostSim::THost H;
  BuildFaultTown(H);
  H.SetRealHostMode(RealHost);
  TComPtr<IOrvexApplication> App = H.Application();
  TOutcome Out;
  Out.Baseline = H.LiveObjects();
  TStatSchemeFieldFill* Scheme = new TStatSchemeFieldFill;
  Scheme->LayerID = "Districts";
  Scheme->TableID = "DistrictStats";
  Scheme->FieldName = "Total";
  Scheme->StatFunction = sfSum;
  for (int I = 0; I < 2; ++I) {
    TRefHolder<TStatSchemeFillSource> S(new TStatSchemeFillSource);
    S->LayerID = I == 0 ? "Buildings" : "Districts";
    S->TableID = I == 0 ? "BuildingData" : "";
    S->Characteristic = I == 0 ? "Floors" : "1";
    S->Relation = I == 0 ? srInside : srTouches;
    Scheme->Sources.Add(S.Get());
  }
  H.ClearCallLog();
  if (N > 0) {
    HostSim::TFault F;
    F.Status = static_cast<HRESULT>(0x80040000 + N);
    F.Description = L"Сбой вызова " + std::to_wstring(N) + L". \r\n";
    F.Persistent = Persistent;
    H.FailNthCall(N, F);
  }
  try {
    RunFill(App.Get(), *Scheme, Page.Fill, Page.Source);
  } catch (const EOleException& E) {
    Out.Raised = true;
    Out.Message = E.Message();
    EXPECT_EQ(E.ErrorCode(), static_cast<HRESULT>(0x80040000 + N));
  }
  Scheme->Free();
  Out.Fired = H.FaultsFired();
  Out.Log = H.CallLogText();
  Out.ApplyChanges = H.ApplyChangesCount();
  for (int D = 0; D < 5; ++D)
    Out.Totals.push_back(H.Value(L"D" + std::to_wstring(D), L"DistrictStats", L"Total").ToText());
  Out.Live = H.LiveObjects();
  return Out;
}

}  // namespace

TEST(FillRunFaults, EveryHostCallFailingEndsTheRunCleanly) {
  TProgressPage Page;
  const TOutcome Clean = RunWithFault(0, false, false, Page);
  ASSERT_FALSE(Clean.Raised);
  ASSERT_EQ(Clean.ApplyChanges, 1);
  ASSERT_EQ(Clean.Live, Clean.Baseline);
  // Which target each call of the clean run belongs to: the writes done before it.
  std::vector<int> WritesBefore;
  int Writes = 0;
  for (const std::wstring& C : Clean.Log) {
    WritesBefore.push_back(Writes);
    if (C.find(L".SetValue(") != std::wstring::npos) ++Writes;
  }
  ASSERT_EQ(Writes, 5);

  int Injected = 0;
  // Transient and persistent faults, and transient ones from a host that knows only the
  // identifiers the real host publishes: its error texts are shown all the same.
  for (int Mode = 0; Mode < 3; ++Mode) {
    const bool Persistent = Mode == 1, RealHost = Mode == 2;
    SCOPED_TRACE(RealHost ? "real host" : Persistent ? "persistent" : "transient");
    long N = 1;
    for (;; ++N) {
      SCOPED_TRACE("call " + std::to_string(N));
      TOutcome R = RunWithFault(N, Persistent, RealHost, Page);
      if (R.Fired == 0) {
        // Past the last call: the run completes as the clean one did.
        EXPECT_FALSE(R.Raised);
        EXPECT_EQ(R.Totals, Clean.Totals);
        EXPECT_EQ(R.ApplyChanges, 1);
        break;
      }
      ++Injected;
      ASSERT_TRUE(R.Raised);
      EXPECT_EQ(R.Message, ToAnsi(L"Сбой вызова " + std::to_wstring(N)));
      EXPECT_EQ(R.ApplyChanges, 0);
      EXPECT_EQ(R.Live, R.Baseline);
      // The run went exactly like the clean one up to the failing call, and not a call further.
      ASSERT_EQ(R.Log.size(), static_cast<size_t>(N));
      for (long I = 0; I < N - 1; ++I) ASSERT_EQ(R.Log[I], Clean.Log[I]) << I;
      // Exactly the targets before the failing one were written.
      const int K = WritesBefore[static_cast<size_t>(N - 1)];
      for (int D = 0; D < 5; ++D) {
        const std::wstring Expected = D < K ? Clean.Totals[D] : L"-1";
        EXPECT_EQ(R.Totals[D], Expected) << D;
      }
    }
    EXPECT_EQ(N, static_cast<long>(Clean.Log.size()) + 1);
  }
  RecordProperty("FaultsInjected", Injected);
  std::printf("faults injected: %d (%zu host calls in a clean run, three modes)\n", Injected,
              Clean.Log.size());
}
