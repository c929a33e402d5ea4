#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TreeTestSupport.h"
#include "support/Errors.h"
#include "support/Forms.h"
#include "tests/uitest/UiTest.h"
#include "wizard/MapElementTree.h"

using namespace Quorin;
using namespace QuorinTest;
using Lines = std::vector<std::wstring>;

namespace {

class MapElementTreeTest : public ::testing::Test {
protected:
  void SetUp() override {
    PayloadsBefore = LiveNodePayloads();
    BuildCity(Host);
  }
  void TearDown() override { EXPECT_EQ(LiveNodePayloads(), PayloadsBefore); }

  TFormPtr<TTreeForm> WizardTree() {
    App = Host.Application();
    return CreateForm<TTreeForm>(App.Get(), nullptr);
  }
  TFormPtr<TTreeForm> SourceTree(TSourceTreeReference R) {
    Reference = std::move(R);
    App = Host.Application();
    return CreateForm<TTreeForm>(App.Get(), &Reference);
  }
  // Host objects alive besides the application object that the test and the form hold.
  long LeakedHostObjects() const {
    return Host.LiveObjects() - Host.LiveObjects(L"IOrvexApplication");
  }
  std::wstring SelectedPath(HWND Tree) const {
    std::wstring Path;
    for (HTREEITEM N = SelectedNode(Tree); N; N = ParentNode(Tree, N))
      Path = ToWide(NodeText(Tree, N)) + (Path.empty() ? L"" : L"/" + Path);
    return Path;
  }

  HostSim::THost Host;
  TComPtr<IOrvexApplication> App;
  TSourceTreeReference Reference;
  long PayloadsBefore = 0;
};

}  // namespace

// ---- shape ----------------------------------------------------------------------------------

TEST_F(MapElementTreeTest, WizardTreeHoldsMapsLayersAndTablesInTheHostsOrder) {
  auto Form = WizardTree();
  Host.ClearCallLog();
  Form->Fill();
  HWND Tree = Form->Tree();
  EXPECT_EQ(DumpTree(Tree), (Lines{
                                L"Город [1:city]",
                                L"  Дороги [2:roads]",
                                L"    Атрибуты дорог [3:troads] +",
                                L"    Учёт [3:tcount] +",
                                L"  Здания [2:houses]",
                                L"    Дома [3:thouses] +",
                                L"  Пустой [2:empty]",
                                L"Пригород [1:suburb]",
                            }));
  // Fields come only with an expansion; every node has its payload.
  EXPECT_EQ(CallsOf(Host, L"IOrvexDatabase.GetTable"), 0);
  EXPECT_EQ(LiveNodePayloads() - PayloadsBefore, NodeCount(Tree));
  EXPECT_EQ(SelectedNode(Tree), nullptr);
  EXPECT_EQ(LeakedHostObjects(), 0);
  EXPECT_EQ(SendMessageW(Tree, TVM_GETINDENT, 0, 0), ScalePixels(19));

  // Filled again: the old nodes and their payloads go first.
  Form->Fill();
  EXPECT_EQ(NodeCount(Tree), 8);
  EXPECT_EQ(LiveNodePayloads() - PayloadsBefore, 8);
}

TEST_F(MapElementTreeTest, SourceTreeHasAreaAndPerimeterUnderEveryLayer) {
  auto Form = SourceTree({});
  Form->Fill();
  EXPECT_EQ(DumpTree(Form->Tree()), (Lines{
                                        L"Город [1:city]",
                                        L"  Дороги [2:roads]",
                                        L"    Атрибуты дорог [3:troads] +",
                                        L"    Учёт [3:tcount] +",
                                        L"    Площадь [4:1]",
                                        L"    Периметр [4:2]",
                                        L"  Здания [2:houses]",
                                        L"    Дома [3:thouses] +",
                                        L"    Площадь [4:1]",
                                        L"    Периметр [4:2]",
                                        L"  Пустой [2:empty]",
                                        L"    Площадь [4:1]",
                                        L"    Периметр [4:2]",
                                        L"Пригород [1:suburb]",
                                    }));
  EXPECT_EQ(SelectedNode(Form->Tree()), nullptr);  // a fresh source preselects nothing
  EXPECT_EQ(CallsOf(Host, L"IOrvexDatabase.GetTable"), 0);
}

TEST_F(MapElementTreeTest, AMapItemWithoutTheMapInterfaceStopsTheFill) {
  Host.AddBrokenMapItem();
  Host.AddMap(L"late", L"Поздняя");
  auto Form = WizardTree();
  try {
    Form->Fill();
    ADD_FAILURE() << "no error";
  } catch (const Exception& E) {
    EXPECT_EQ(E.Message(), "Interface not supported");
  }
  // The maps before it stay; the one after it never comes.
  EXPECT_EQ(DumpTree(Form->Tree()).size(), 8u);
  EXPECT_EQ(FindNode(Form->Tree(), L"Поздняя"), nullptr);
  EXPECT_EQ(LeakedHostObjects(), 0);
}

// ---- expansion ------------------------------------------------------------------------------

TEST_F(MapElementTreeTest, ExpansionLoadsTheFieldsOnceAndNeverOffersIdOrSimid) {
  Host.AddTable(L"houses", L"tcase", L"Регистр", false);
  Host.AddField(L"tcase", L"iD", L"поле iD");
  Host.AddField(L"tcase", L"ID2", L"поле ID2");
  Host.AddField(L"tcase", L"SimId", L"поле SimId");
  Host.AddField(L"tcase", L"simid", L"поле simid");
  Host.AddField(L"tcase", L"xSIMID", L"поле xSIMID");
  Host.AddField(L"tcase", L"id", L"поле id");
  for (bool Source : {false, true}) {
    SCOPED_TRACE(Source ? "source tree" : "wizard tree");
    auto Form = Source ? SourceTree({}) : WizardTree();
    Form->Fill();
    HWND Tree = Form->Tree();
    HTREEITEM Table = FindNode(Tree, L"Город/Здания/Регистр");
    ASSERT_NE(Table, nullptr);
    Host.ClearCallLog();
    UserExpand(Tree, Table);
    EXPECT_TRUE(IsExpanded(Tree, Table));
    Lines Fields;
    for (HTREEITEM N = FirstChildNode(Tree, Table); N; N = NextSiblingNode(Tree, N)) {
      TOrvexMetaObjectInfo* Info = NodeInfo(Tree, N);
      ASSERT_NE(Info, nullptr);
      EXPECT_EQ(Info->Kind, mkField);
      Fields.push_back(ToWide(NodeText(Tree, N)) + L"=" + ToWide(Info->Id));
    }
    EXPECT_EQ(Fields, (Lines{L"поле ID2=ID2", L"поле xSIMID=xSIMID"}));
    EXPECT_EQ(CallsOf(Host, L"IOrvexDatabase.GetTable"), 1);

    // Collapsed and expanded again: already loaded, the host is not asked.
    SendMessageW(Tree, WM_KEYDOWN, VK_SUBTRACT, 0);
    EXPECT_FALSE(IsExpanded(Tree, Table));
    UserExpand(Tree, Table);
    EXPECT_TRUE(IsExpanded(Tree, Table));
    EXPECT_EQ(CallsOf(Host, L"IOrvexDatabase.GetTable"), 1);
    int Children = 0;
    for (HTREEITEM N = FirstChildNode(Tree, Table); N; N = NextSiblingNode(Tree, N)) ++Children;
    EXPECT_EQ(Children, 2);
    EXPECT_EQ(LeakedHostObjects(), 0);
  }
}

TEST_F(MapElementTreeTest, ATableOfOnlyIdAndSimidKeepsItsButtonAndAsksAgain) {
  Host.AddTable(L"empty", L"tids", L"Служебная");  // ID and SIMID only
  auto Form = WizardTree();
  Form->Fill();
  HWND Tree = Form->Tree();
  HTREEITEM Table = FindNode(Tree, L"Город/Пустой/Служебная");
  ASSERT_NE(Table, nullptr);
  EXPECT_TRUE(HasButton(Tree, Table));
  Host.ClearCallLog();
  UserExpand(Tree, Table);
  EXPECT_EQ(FirstChildNode(Tree, Table), nullptr);
  EXPECT_TRUE(HasButton(Tree, Table));
  EXPECT_FALSE(IsExpanded(Tree, Table));
  EXPECT_EQ(CallsOf(Host, L"IOrvexDatabase.GetTable"), 1);
  UserExpand(Tree, Table);
  EXPECT_EQ(CallsOf(Host, L"IOrvexDatabase.GetTable"), 2);
  // Also the control's own expansion of a node that was never expanded asks.
  SendMessageW(Tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(Table));
  EXPECT_EQ(CallsOf(Host, L"IOrvexDatabase.GetTable"), 3);
  EXPECT_EQ(LeakedHostObjects(), 0);
}

TEST_F(MapElementTreeTest, OnlyTableNodesLoadAndCollapsingLoadsNothing) {
  auto Form = WizardTree();
  Form->Fill();
  HWND Tree = Form->Tree();
  Host.ClearCallLog();
  UserExpand(Tree, FindNode(Tree, L"Город"));
  UserExpand(Tree, FindNode(Tree, L"Город/Дороги"));
  HTREEITEM Table = FindNode(Tree, L"Город/Дороги/Учёт");
  UserExpand(Tree, Table);
  EXPECT_EQ(CallNames(Host).front(), L"IOrvexApplication.GetDatabase");
  EXPECT_EQ(CallsOf(Host, L"IOrvexDatabase.GetTable"), 1);
  // Direct runs of the routine on other nodes do nothing.
  Host.ClearCallLog();
  ExpandTableNode(Tree, FindNode(Tree, L"Город/Дороги"), App.Get());
  ExpandTableNode(Tree, FindNode(Tree, L"Город"), App.Get());
  ExpandTableNode(Tree, Table, App.Get());  // already has its children
  EXPECT_EQ(Host.CallCount(), 0);
}

// ---- preselection ---------------------------------------------------------------------------

TEST_F(MapElementTreeTest, WizardSelectsTheActiveLayerWithItsMapExpandedAndItselfCollapsed) {
  Host.SetActiveLayer(L"houses");
  auto Form = WizardTree();
  Form->Fill();
  HWND Tree = Form->Tree();
  EXPECT_EQ(SelectedPath(Tree), L"Город/Здания");
  EXPECT_TRUE(IsExpanded(Tree, FindNode(Tree, L"Город")));
  EXPECT_FALSE(IsExpanded(Tree, FindNode(Tree, L"Город/Здания")));
  EXPECT_FALSE(IsExpanded(Tree, FindNode(Tree, L"Пригород")));
  // Revealed: the node has a place among the visible rows.
  union {
    RECT Rect;
    HTREEITEM Node;
  } Item = {};
  Item.Node = SelectedNode(Tree);
  EXPECT_TRUE(SendMessageW(Tree, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&Item.Rect)));
}

TEST_F(MapElementTreeTest, WizardWithoutActiveViewOrLayerSelectsNothing) {
  struct TCase {
    const char* Name;
    bool View;
    const wchar_t* Layer;
  };
  for (const TCase& C : {TCase{"no active view", false, L"houses"},
                         TCase{"view without active layer", true, L""}}) {
    SCOPED_TRACE(C.Name);
    Host.SetActiveViewPresent(C.View);
    Host.SetActiveLayer(C.Layer);
    auto Form = WizardTree();
    Form->Fill();
    EXPECT_EQ(NodeCount(Form->Tree()), 8);
    EXPECT_EQ(SelectedNode(Form->Tree()), nullptr);
    EXPECT_EQ(LeakedHostObjects(), 0);
  }
}

TEST_F(MapElementTreeTest, AHostWithoutProjectGivesAnEmptyTree) {
  Host.SetProjectPresent(false);
  for (bool Source : {false, true}) {
    auto Form = Source ? SourceTree({"roads", "", "1"}) : WizardTree();
    Form->Fill();
    EXPECT_EQ(NodeCount(Form->Tree()), 0);
    EXPECT_EQ(SelectedNode(Form->Tree()), nullptr);
  }
}

TEST_F(MapElementTreeTest, SourceTreePreselectsTheReferencesCharacteristic) {
  struct TCase {
    TSourceTreeReference Reference;
    std::wstring Selected;  // "" = nothing
  };
  std::vector<TCase> Cases = {
      {{"roads", "", "1"}, L"Город/Дороги/Площадь"},
      {{"empty", "", "2"}, L"Город/Пустой/Периметр"},
      {{"houses", "thouses", "MATERIAL"}, L"Город/Здания/Дома/Материал"},
      {{"houses", "thouses", "material"}, L"Город/Здания/Дома/Материал"},
      {{"roads", "troads", "Width"}, L"Город/Дороги/Атрибуты дорог/Ширина"},
      {{"houses", "thouses", "nosuch"}, L""},
      {{"houses", "nosuch", "floors"}, L""},
      {{"nosuch", "thouses", "floors"}, L""},
      {{"ROADS", "", "1"}, L""},             // layers compare exactly
      {{"houses", "THOUSES", "floors"}, L""},  // tables too
      {{"roads", "", "3"}, L""},
      {{"", "", ""}, L""},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Reference.LayerID + "/" + C.Reference.TableID + "/" +
                 C.Reference.Characteristic);
    auto Form = SourceTree(C.Reference);
    Form->Fill();
    EXPECT_EQ(SelectedPath(Form->Tree()), C.Selected);
    EXPECT_EQ(LeakedHostObjects(), 0);
  }
}

TEST_F(MapElementTreeTest, OnlyTheTableOfThePreselectedFieldIsLoaded) {
  auto Form = SourceTree({"houses", "thouses", "floors"});
  Host.ClearCallLog();
  Form->Fill();
  HWND Tree = Form->Tree();
  std::vector<std::wstring> Log = Host.CallLogText();
  long Tables = 0;
  for (const std::wstring& Call : Log)
    if (Call.rfind(L"IOrvexDatabase.GetTable(", 0) == 0) {
      ++Tables;
      EXPECT_NE(Call.find(L"thouses"), std::wstring::npos) << Call;
    }
  EXPECT_EQ(Tables, 1);
  EXPECT_NE(FirstChildNode(Tree, FindNode(Tree, L"Город/Здания/Дома")), nullptr);
  EXPECT_EQ(FirstChildNode(Tree, FindNode(Tree, L"Город/Дороги/Атрибуты дорог")), nullptr);
  EXPECT_EQ(FirstChildNode(Tree, FindNode(Tree, L"Город/Дороги/Учёт")), nullptr);
  EXPECT_TRUE(IsExpanded(Tree, FindNode(Tree, L"Город/Здания/Дома")));
  EXPECT_EQ(SelectedPath(Tree), L"Город/Здания/Дома/Этажи");
  // The reference's table is loaded even when the field is gone, and nothing is selected.
  auto Other = SourceTree({"roads", "tcount", "gone"});
  Host.ClearCallLog();
  Other->Fill();
  EXPECT_EQ(CallsOf(Host, L"IOrvexDatabase.GetTable"), 1);
  EXPECT_EQ(SelectedNode(Other->Tree()), nullptr);
}

TEST_F(MapElementTreeTest, AreaEntryWinsOverAFieldOfTheSameIdentifier) {
  Host.AddField(L"troads", L"1", L"Поле один");
  auto Form = SourceTree({"roads", "troads", "1"});
  Form->Fill();
  EXPECT_EQ(SelectedPath(Form->Tree()), L"Город/Дороги/Площадь");
  // The table was loaded, and holds the field.
  EXPECT_NE(FindNode(Form->Tree(), L"Город/Дороги/Атрибуты дорог/Поле один"), nullptr);
}

TEST_F(MapElementTreeTest, ALaterMapWinsAndWithinAParentTheFirstMatchingChildWins) {
  // The houses layer shown in the second map too, and a second field whose identifier differs
  // from "floors" only in letter case.
  Host.ShowLayer(L"suburb", L"houses");
  Host.AddField(L"thouses", L"FLOORS", L"Этажи (копия)");
  Host.SetActiveLayer(L"houses");
  auto Wizard = WizardTree();
  Wizard->Fill();
  EXPECT_EQ(SelectedPath(Wizard->Tree()), L"Пригород/Здания");
  EXPECT_NE(FindNode(Wizard->Tree(), L"Город/Здания/Дома"), nullptr);

  auto Source = SourceTree({"houses", "thouses", "Floors"});
  Source->Fill();
  EXPECT_EQ(SelectedPath(Source->Tree()), L"Пригород/Здания/Дома/Этажи");
  EXPECT_NE(FindNode(Source->Tree(), L"Пригород/Здания/Дома/Этажи (копия)"), nullptr);
  EXPECT_EQ(LeakedHostObjects(), 0);
}

// ---- host calls -----------------------------------------------------------------------------

TEST(MapElementTreeCalls, HostCallsComeInTheirOrderAndNoReferenceIsKept) {
  long PayloadsBefore = LiveNodePayloads();
  HostSim::THost Host;
  Host.AddMap(L"m", L"Карта");
  Host.AddLayer(L"m", L"l", L"Слой");
  Host.AddTable(L"l", L"t", L"Таблица");
  Host.AddField(L"t", L"f", L"Поле");
  Host.SetActiveLayer(L"l");
  {
    TComPtr<IOrvexApplication> App = Host.Application();
    auto Form = CreateForm<TTreeForm>(App.Get(), nullptr);
    Host.ClearCallLog();
    Form->Fill();
    EXPECT_EQ(CallNames(Host),
              (Lines{L"IOrvexApplication.GetProject", L"IOrvexProject.GetActiveView",
                     L"IOrvexView.GetActiveLayer", L"IOrvexLayer.GetId",
                     L"IOrvexApplication.GetProject", L"IOrvexProject.GetDocument",
                     L"IOrvexDocument.GetCatalog", L"IOrvexCatalog.GetMaps", L"IOrvexMaps.GetCount",
                     L"IOrvexCatalog.GetMaps", L"IOrvexMaps.GetItem", L"IOrvexMapsItem.GetKind",
                     L"IOrvexMap.GetName", L"IOrvexMap.GetId", L"IOrvexMap.GetLayers",
                     L"IOrvexLayers.GetCount", L"IOrvexMap.GetLayers", L"IOrvexLayers.GetItem",
                     L"IOrvexLayer.GetName", L"IOrvexLayer.GetId", L"IOrvexLayer.GetTables",
                     L"IOrvexTables.GetCount", L"IOrvexLayer.GetTables", L"IOrvexTables.GetItem",
                     L"IOrvexTable.GetName", L"IOrvexTable.GetId"}));
    EXPECT_EQ(Host.LiveObjects(), Host.LiveObjects(L"IOrvexApplication"));

    HWND Tree = Form->Tree();
    Host.ClearCallLog();
    UserExpand(Tree, FindNode(Tree, L"Карта/Слой/Таблица"));
    EXPECT_EQ(CallNames(Host),
              (Lines{L"IOrvexApplication.GetDatabase", L"IOrvexDatabase.GetTable",
                     L"IOrvexTable.GetFields", L"IOrvexFields.GetCount",
                     // ID
                     L"IOrvexTable.GetFields", L"IOrvexFields.GetItem", L"IOrvexField.GetId",
                     // SIMID
                     L"IOrvexTable.GetFields", L"IOrvexFields.GetItem", L"IOrvexField.GetId",
                     L"IOrvexField.GetId",
                     // f
                     L"IOrvexTable.GetFields", L"IOrvexFields.GetItem", L"IOrvexField.GetId",
                     L"IOrvexField.GetId", L"IOrvexField.GetName", L"IOrvexField.GetId"}));
    Lines Text = Host.CallLogText();
    EXPECT_NE(Text[1].find(L"\"t\""), std::wstring::npos) << Text[1];
    EXPECT_NE(Text[12].find(L"2"), std::wstring::npos) << Text[12];
    EXPECT_EQ(Host.LiveObjects(), Host.LiveObjects(L"IOrvexApplication"));
  }
  EXPECT_EQ(Host.LiveObjects(), 0);
  EXPECT_EQ(LiveNodePayloads(), PayloadsBefore);
}

TEST_F(MapElementTreeTest, PayloadsGoWithTheNodesWhenTheFormIsDestroyed) {
  {
    auto Form = SourceTree({"houses", "thouses", "floors"});
    Form->Fill();
    UserExpand(Form->Tree(), FindNode(Form->Tree(), L"Город/Дороги/Учёт"));
    EXPECT_EQ(LiveNodePayloads() - PayloadsBefore, NodeCount(Form->Tree()));
    EXPECT_GT(NodeCount(Form->Tree()), 14);
  }
  EXPECT_EQ(LiveNodePayloads(), PayloadsBefore);
}

// ---- faults ---------------------------------------------------------------------------------

namespace {

HostSim::TFault HostFault(long N) {
  HostSim::TFault F;
  F.Status = E_FAIL;
  F.Description = L"Сбой хоста номер " + std::to_wstring(N) + L".";
  return F;
}

}  // namespace

// Both failure tests run against a host that knows only the interface identifiers the real host
// publishes: the trees need no other, and its error texts are shown.
TEST_F(MapElementTreeTest, AFailingFillShowsTheHostsMessageKeepsItsNodesAndLeaksNothing) {
  Host.SetRealHostMode(true);
  for (bool Source : {false, true}) {
    SCOPED_TRACE(Source ? "source tree" : "wizard tree");
    Host.SetActiveLayer(L"houses");
    long Calls;
    int FullNodes;
    {
      auto Form = Source ? SourceTree({"houses", "thouses", "floors"}) : WizardTree();
      Host.ClearCallLog();
      Form->Fill();
      Calls = Host.CallCount();
      FullNodes = NodeCount(Form->Tree());
    }
    ASSERT_GT(Calls, 20);
    int LastNodes = 0;
    for (long K = 1; K <= Calls; ++K) {
      SCOPED_TRACE(K);
      auto Form = Source ? SourceTree({"houses", "thouses", "floors"}) : WizardTree();
      Host.ClearCallLog();
      Host.ClearFaults();
      Host.FailNthCall(K, HostFault(K));
      const long Fired = Host.FaultsFired();
      int Nodes = -1;
      HTREEITEM Selected = nullptr;
      bool Open = false;
      TUiScript Script;
      Script.Step([&] { ClickButton(Form->Handle(), IDC_TT_FILL); });
      Script.Step([&] {
        Nodes = NodeCount(Form->Tree());
        Selected = SelectedNode(Form->Tree());
        Open = IsWindowVisible(Form->Handle()) && Form->ModalResult() == mrNone;
        EXPECT_EQ(LiveNodePayloads() - PayloadsBefore, Nodes);
        EXPECT_EQ(LeakedHostObjects(), 0);
        ClickButton(Form->Handle(), IDCANCEL);
      });
      Form->ShowModal();
      EXPECT_EQ(Host.FaultsFired(), Fired + 1);
      ASSERT_EQ(Script.Boxes().size(), 1u);
      EXPECT_EQ(Script.Boxes()[0].Text, L"Сбой хоста номер " + std::to_wstring(K) + L".");
      EXPECT_EQ(Script.Boxes()[0].Caption, L"Quorin");
      EXPECT_TRUE(Open);
      EXPECT_EQ(Selected, nullptr);
      EXPECT_GE(Nodes, LastNodes);  // a later fault has added at least as much
      EXPECT_LE(Nodes, FullNodes);
      LastNodes = Nodes;
    }
    EXPECT_EQ(LastNodes, FullNodes);  // the last call fails after the last node
    Host.ClearFaults();
  }
}

TEST_F(MapElementTreeTest, AFailingExpansionShowsTheHostsMessageAndTheNextOneTriesAgain) {
  Host.SetRealHostMode(true);
  long Calls;
  {
    auto Form = SourceTree({});
    Form->Fill();
    Host.ClearCallLog();
    UserExpand(Form->Tree(), FindNode(Form->Tree(), L"Город/Здания/Дома"));
    Calls = Host.CallCount();
  }
  ASSERT_GT(Calls, 10);
  for (long K = 1; K <= Calls; ++K) {
    SCOPED_TRACE(K);
    auto Form = SourceTree({});
    Form->Fill();
    HWND Tree = Form->Tree();
    HTREEITEM Table = FindNode(Tree, L"Город/Здания/Дома");
    Host.ClearCallLog();
    Host.ClearFaults();
    Host.FailNthCall(K, HostFault(K));
    int Children = -1, ChildrenAfterRetry = -1;
    TUiScript Script;
    Script.Step([&] { UserExpand(Tree, Table); });
    Script.Step([&] {
      Children = 0;
      for (HTREEITEM N = FirstChildNode(Tree, Table); N; N = NextSiblingNode(Tree, N)) ++Children;
      EXPECT_EQ(LeakedHostObjects(), 0);
      EXPECT_EQ(LiveNodePayloads() - PayloadsBefore, NodeCount(Tree));
      Host.ClearFaults();
      UserExpand(Tree, Table);
      ChildrenAfterRetry = 0;
      for (HTREEITEM N = FirstChildNode(Tree, Table); N; N = NextSiblingNode(Tree, N))
        ++ChildrenAfterRetry;
      ClickButton(Form->Handle(), IDCANCEL);
    });
    Form->ShowModal();
    ASSERT_EQ(Script.Boxes().size(), 1u);
    EXPECT_EQ(Script.Boxes()[0].Text, L"Сбой хоста номер " + std::to_wstring(K) + L".");
    EXPECT_TRUE(Script.Boxes()[0].ErrorIcon);
    EXPECT_EQ(Script.Boxes()[0].Owner, Form->Handle());
    EXPECT_LT(Children, 2);
    // Without children the next expansion asks again and loads all; a field that came before
    // the error stays, and the table counts as loaded.
    EXPECT_EQ(ChildrenAfterRetry, Children == 0 ? 2 : Children);
    EXPECT_EQ(LeakedHostObjects(), 0);
  }
}
