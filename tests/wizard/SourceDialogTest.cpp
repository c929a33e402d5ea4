#include <gtest/gtest.h>

#include <type_traits>

#include "TreeTestSupport.h"
#include "stats/StatSchemes.h"
#include "support/Errors.h"
#include "support/Forms.h"
#include "support/MessageLoop.h"
#include "tests/uitest/UiTest.h"
#include "wizard/SourceDialog.h"

using namespace Quorin;
using namespace QuorinTest;

static_assert(std::is_base_of<TNonModalForm, TSourceDialogForm>::value, "the form's base");

namespace {

const wchar_t Caption[] = L"Добавление/Изменение источника";

using TSource = TRefHolder<TStatSchemeFillSource>;

struct TFields {
  std::string LayerID, TableID, Characteristic;
  int32_t Relation;
  bool operator==(const TFields& O) const {
    return LayerID == O.LayerID && TableID == O.TableID && Characteristic == O.Characteristic &&
           Relation == O.Relation;
  }
};

std::ostream& operator<<(std::ostream& Out, const TFields& F) {
  return Out << F.LayerID << "/" << F.TableID << "/" << F.Characteristic << "/" << F.Relation;
}

TFields FieldsOf(const TStatSchemeFillSource& S) {
  return {S.LayerID, S.TableID, S.Characteristic, S.Relation};
}

void SetFields(TStatSchemeFillSource& S, const TFields& F) {
  S.LayerID = F.LayerID;
  S.TableID = F.TableID;
  S.Characteristic = F.Characteristic;
  S.Relation = F.Relation;
}

RECT RectInParent(HWND Control) {
  RECT R;
  GetWindowRect(Control, &R);
  MapWindowPoints(HWND_DESKTOP, GetParent(Control), reinterpret_cast<POINT*>(&R), 2);
  return R;
}

void ExpectRect(HWND Control, int X, int Y, int W, int H) {
  RECT R = RectInParent(Control);
  EXPECT_EQ(R.left, X);
  EXPECT_EQ(R.top, Y);
  EXPECT_EQ(R.right - R.left, W);
  if (H >= 0) {
    EXPECT_EQ(R.bottom - R.top, H);
  }
}

void Select(HWND Tree, HTREEITEM Node) {
  ASSERT_NE(Node, nullptr);
  SendMessageW(Tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(Node));
}

// The user's choice of a relation in the drop-down list.
void ChooseRelation(HWND Combo, int Item) {
  SendMessageW(Combo, CB_SETCURSEL, Item, 0);
  SendMessageW(GetParent(Combo), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(Combo), CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(Combo));
}

int SelectedRelationItem(HWND Combo) {
  return static_cast<int>(SendMessageW(Combo, CB_GETCURSEL, 0, 0));
}

class SourceDialogTest : public ::testing::Test {
protected:
  void SetUp() override {
    PayloadsBefore = LiveNodePayloads();
    BuildCity(Host);
    App = Host.Application();
  }
  void TearDown() override {
    EXPECT_EQ(LiveNodePayloads(), PayloadsBefore);
    EXPECT_EQ(Host.LiveObjects(), Host.LiveObjects(L"IOrvexApplication"));
    EXPECT_TRUE(DialogWindows().empty());
  }
  TFormPtr<TSourceDialogForm> Loaded(const TFields& F) {
    SetFields(*Source.Get(), F);
    auto Form = CreateForm<TSourceDialogForm>();
    Form->LoadSource(App.Get(), *Source.Get());
    return Form;
  }
  bool OkEnabled(TSourceDialogForm& Form) {
    RunIdleHandlers();
    return IsWindowEnabled(Form.OkButton()) != FALSE;
  }

  HostSim::THost Host;
  TComPtr<IOrvexApplication> App;
  TSource Source{new TStatSchemeFillSource};
  long PayloadsBefore = 0;
};

}  // namespace

// ---- the form -------------------------------------------------------------------------------

TEST_F(SourceDialogTest, FormHasItsTextsPlacesAndProperties) {
  auto Form = CreateForm<TSourceDialogForm>();
  HWND F = Form->Handle();
  EXPECT_EQ(WindowText(F), Caption);
  RECT Client;
  GetClientRect(F, &Client);
  EXPECT_EQ(Client.right, 503);
  // The designed 368, and more by as much as the relation label needs for its text (below).
  const int Grown = Client.bottom - 368;
  EXPECT_GE(Grown, 0);
  LONG_PTR Style = GetWindowLongPtrW(F, GWL_STYLE);
  EXPECT_TRUE(Style & WS_CAPTION);
  EXPECT_TRUE(Style & WS_SYSMENU);  // the close button
  EXPECT_FALSE(Style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME));

  HWND Label2 = Form->Control(IDC_SD_LABEL2), Label1 = Form->Control(IDC_SD_LABEL1);
  EXPECT_EQ(WindowText(Label2),
            L"Выберите характеристику, которая будет использоваться основой для подсчета "
            L"статистики.");
  EXPECT_EQ(WindowText(Label1), L"Укажите, каким образом следует отбирать объекты исходного слоя:");
  EXPECT_EQ(GetWindowLongPtrW(Label2, GWL_STYLE) & SS_TYPEMASK, SS_LEFT);  // word-wrapped
  EXPECT_EQ(GetWindowLongPtrW(Label1, GWL_STYLE) & SS_TYPEMASK, SS_LEFT);
  ExpectRect(Label2, 15, 15, 474, 38);
  ExpectRect(Form->SourceTreeView(), 15, 52, 474, 200);
  // The relation label is designed 473 x 21, one line; where its text needs a second line (in
  // wine's substitute for "MS Sans Serif" it is 477 pixels wide at 120 dpi), the label grows and
  // what is below it moves down with the form's bottom edge.
  ExpectRect(Label1, 16, 268, 473, Grown ? -1 : 21);
  ExpectRect(Form->RelationComboBox(), 15, 287 + Grown, 474, -1);
  ExpectRect(Form->OkButton(), 295, 327 + Grown, 93, 29);
  ExpectRect(Form->Control(IDCANCEL), 399, 327 + Grown, 92, 29);
  EXPECT_EQ(WindowText(Form->OkButton()), L"OK");
  EXPECT_EQ(WindowText(Form->Control(IDCANCEL)), L"Отмена");
  EXPECT_EQ(HIWORD(SendMessageW(F, DM_GETDEFID, 0, 0)), DC_HASDEFID);
  EXPECT_EQ(LOWORD(SendMessageW(F, DM_GETDEFID, 0, 0)), IDOK);

  HWND Tree = Form->SourceTreeView();
  LONG_PTR TreeStyle = GetWindowLongPtrW(Tree, GWL_STYLE);
  EXPECT_TRUE(TreeStyle & TVS_SHOWSELALWAYS);
  EXPECT_FALSE(TreeStyle & TVS_EDITLABELS);
  EXPECT_EQ(SendMessageW(Tree, TVM_GETINDENT, 0, 0), 19);

  HWND Combo = Form->RelationComboBox();
  EXPECT_EQ(GetWindowLongPtrW(Combo, GWL_STYLE) & 3, CBS_DROPDOWNLIST);
  const std::vector<std::wstring> Items = ComboItems(Combo);
  EXPECT_EQ(Items, (std::vector<std::wstring>{L"Объекты пересекаются с заполняемым объектом",
                                              L"Объекты находятся внутри заполняемого объекта",
                                              L"Объекты содержат заполняемый объект внутри себя",
                                              L"Объекты cоприкасаются с заполняемым объектом"}));
  ASSERT_EQ(Items.size(), 4u);
  EXPECT_EQ(Items[3][8], L'c');       // Latin c ...
  EXPECT_EQ(Items[3][9], L'\x043E');  // ... then Cyrillic
  EXPECT_EQ(SelectedRelationItem(Combo), CB_ERR);

  // Tab order: OkButton, CancelButton, SourceTreeView, RelationComboBox.
  HWND Order[4] = {Form->OkButton(), Form->Control(IDCANCEL), Tree, Combo};
  for (int I = 0; I < 4; ++I)
    EXPECT_EQ(GetNextDlgTabItem(F, Order[I], FALSE), Order[(I + 1) % 4]) << I;

  HFONT Font = reinterpret_cast<HFONT>(SendMessageW(F, WM_GETFONT, 0, 0));
  LOGFONTW Lf = {};
  ASSERT_TRUE(GetObjectW(Font, sizeof Lf, &Lf));
  EXPECT_EQ(Lf.lfHeight, -13);
  EXPECT_STREQ(Lf.lfFaceName, L"MS Sans Serif");
}

TEST_F(SourceDialogTest, PlacedAtTheCentreOfTheMainFormElseOfTheScreen) {
  auto Alone = CreateForm<TSourceDialogForm>();
  RECT R, Work;
  GetWindowRect(Alone->Handle(), &R);
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &Work, 0);
  EXPECT_NEAR((R.left + R.right) / 2, (Work.left + Work.right) / 2, 1);
  EXPECT_NEAR((R.top + R.bottom) / 2, (Work.top + Work.bottom) / 2, 1);
  Alone.reset();

  auto Main = CreateForm<TTreeForm>(App.Get(), nullptr);
  SetWindowPos(Main->Handle(), nullptr, 40, 30, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  Main->Show();
  auto Dialog = CreateForm<TSourceDialogForm>();
  RECT M;
  GetWindowRect(Main->Handle(), &M);
  GetWindowRect(Dialog->Handle(), &R);
  EXPECT_NEAR((R.left + R.right) / 2, (M.left + M.right) / 2, 1);
  EXPECT_NEAR((R.top + R.bottom) / 2, (M.top + M.bottom) / 2, 1);
  // Owned by the form in front.
  EXPECT_EQ(GetWindow(Dialog->Handle(), GW_OWNER), Main->Handle());
}

// ---- loading and storing --------------------------------------------------------------------

TEST_F(SourceDialogTest, LoadSourceSelectsTheRelationOfTheSource) {
  struct TCase {
    int32_t Relation;
    int Item;
  };
  for (TCase C : {TCase{1, 0}, TCase{2, 1}, TCase{4, 2}, TCase{8, 3}, TCase{0, CB_ERR},
                  TCase{3, CB_ERR}, TCase{16, CB_ERR}, TCase{-1, CB_ERR}}) {
    SCOPED_TRACE(C.Relation);
    auto Form = Loaded({"", "", "", C.Relation});
    EXPECT_EQ(SelectedRelationItem(Form->RelationComboBox()), C.Item);
  }
  auto Touches = Loaded({"", "", "", 8});
  EXPECT_EQ(WindowText(Touches->RelationComboBox()),
            L"Объекты cоприкасаются с заполняемым объектом");
}

TEST_F(SourceDialogTest, LoadSourceFillsTheTreeAndRevealsTheCharacteristic) {
  auto Form = Loaded({"houses", "thouses", "FLOORS", 2});
  HWND Tree = Form->SourceTreeView();
  HTREEITEM Selected = SelectedNode(Tree);
  ASSERT_NE(Selected, nullptr);
  EXPECT_EQ(NodeText(Tree, Selected), "Этажи");
  EXPECT_TRUE(IsExpanded(Tree, FindNode(Tree, L"Город/Здания/Дома")));
  EXPECT_EQ(FirstChildNode(Tree, FindNode(Tree, L"Город/Дороги/Учёт")), nullptr);
  EXPECT_TRUE(OkEnabled(*Form));
  // The source itself is only read.
  EXPECT_EQ(FieldsOf(*Source.Get()), (TFields{"houses", "thouses", "FLOORS", 2}));
}

TEST_F(SourceDialogTest, StoreSourceWritesTheChoice) {
  {
    auto Form = Loaded({"", "", "", 0});
    HWND Tree = Form->SourceTreeView();
    Select(Tree, FindNode(Tree, L"Город/Пустой/Площадь"));
    ChooseRelation(Form->RelationComboBox(), 0);
    Form->StoreSource(*Source.Get());
    EXPECT_EQ(FieldsOf(*Source.Get()), (TFields{"empty", "", "1", 1}));
    Select(Tree, FindNode(Tree, L"Город/Дороги/Периметр"));
    ChooseRelation(Form->RelationComboBox(), 2);
    Form->StoreSource(*Source.Get());
    EXPECT_EQ(FieldsOf(*Source.Get()), (TFields{"roads", "", "2", 4}));
    UserExpand(Tree, FindNode(Tree, L"Город/Здания/Дома"));
    Select(Tree, FindNode(Tree, L"Город/Здания/Дома/Материал"));
    ChooseRelation(Form->RelationComboBox(), 3);
    Form->StoreSource(*Source.Get());
    EXPECT_EQ(FieldsOf(*Source.Get()), (TFields{"houses", "thouses", "Material", 8}));
  }
  {
    // Without a kind-4 node the characteristic stays; without a relation the relation stays.
    auto Form = Loaded({"roads", "troads", "width", 2});
    HWND Tree = Form->SourceTreeView();
    for (const wchar_t* Path : {L"Город", L"Город/Здания", L"Город/Здания/Дома"}) {
      Select(Tree, FindNode(Tree, Path));
      SendMessageW(Form->RelationComboBox(), CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
      Form->StoreSource(*Source.Get());
      EXPECT_EQ(FieldsOf(*Source.Get()), (TFields{"roads", "troads", "width", 2})) << Path;
    }
  }
}

TEST_F(SourceDialogTest, OkIsEnabledOnlyWithAFieldAndARelation) {
  auto Form = Loaded({"", "", "", 0});
  HWND Tree = Form->SourceTreeView(), Combo = Form->RelationComboBox();
  EXPECT_EQ(SelectedNode(Tree), nullptr);
  EXPECT_FALSE(OkEnabled(*Form));
  Select(Tree, FindNode(Tree, L"Город/Дороги/Площадь"));
  EXPECT_FALSE(OkEnabled(*Form));  // no relation yet
  ChooseRelation(Combo, 1);
  EXPECT_TRUE(OkEnabled(*Form));
  for (const wchar_t* Path : {L"Город", L"Город/Дороги", L"Город/Дороги/Учёт", L"Пригород"}) {
    Select(Tree, FindNode(Tree, Path));
    EXPECT_FALSE(OkEnabled(*Form)) << Path;
  }
  UserExpand(Tree, FindNode(Tree, L"Город/Дороги/Учёт"));
  Select(Tree, FindNode(Tree, L"Город/Дороги/Учёт/Полосы"));
  EXPECT_TRUE(OkEnabled(*Form));
  SendMessageW(Combo, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
  EXPECT_FALSE(OkEnabled(*Form));
}

// ---- ExecuteSourceDialog --------------------------------------------------------------------

TEST_F(SourceDialogTest, ConfirmingStoresTheChoiceIntoTheSource) {
  bool OkAtStart = true, OkAfterField = true, OkAfterBoth = false;
  TUiScript Script;
  Script.Step([&] {
    HWND F = FindFormWindow(Caption);
    ASSERT_NE(F, nullptr);
    HWND Tree = GetDlgItem(F, IDC_SD_SOURCETREEVIEW);
    OkAtStart = IsWindowEnabled(GetDlgItem(F, IDOK));
    EXPECT_EQ(SelectedNode(Tree), nullptr);
    UserExpand(Tree, FindNode(Tree, L"Город/Здания/Дома"));
    Select(Tree, FindNode(Tree, L"Город/Здания/Дома/Этажи"));
  });
  Script.Step([&] {
    HWND F = FindFormWindow(Caption);
    OkAfterField = IsWindowEnabled(GetDlgItem(F, IDOK));
    ChooseRelation(GetDlgItem(F, IDC_SD_RELATIONCOMBOBOX), 3);
  });
  Script.Step([&] {
    HWND F = FindFormWindow(Caption);
    OkAfterBoth = IsWindowEnabled(GetDlgItem(F, IDOK));
    HWND Tree = GetDlgItem(F, IDC_SD_SOURCETREEVIEW);
    SetFocus(Tree);
    PressKey(Tree, VK_RETURN);  // Enter presses the default button
  });
  EXPECT_TRUE(ExecuteSourceDialog(App.Get(), Source.Get()));
  EXPECT_TRUE(Script.Finished());
  EXPECT_FALSE(OkAtStart);
  EXPECT_FALSE(OkAfterField);
  EXPECT_TRUE(OkAfterBoth);
  EXPECT_EQ(FieldsOf(*Source.Get()), (TFields{"houses", "thouses", "floors", 8}));
  EXPECT_EQ(FindFormWindow(Caption), nullptr);
}

TEST_F(SourceDialogTest, EveryOtherEndLeavesTheSourceUnchanged) {
  const TFields Original{"roads", "troads", "surface", 2};
  struct TCase {
    const char* Name;
    std::function<void(HWND)> End;
  };
  std::vector<TCase> Cases = {
      {"Отмена", [](HWND F) { ClickButton(F, IDCANCEL); }},
      {"Esc", [](HWND F) { PressKey(GetDlgItem(F, IDC_SD_SOURCETREEVIEW), VK_ESCAPE); }},
      {"close command", [](HWND F) { PostMessageW(F, WM_SYSCOMMAND, SC_CLOSE, 0); }},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    SetFields(*Source.Get(), Original);
    bool Preselected = false;
    TUiScript Script;
    Script.Step([&] {
      HWND F = FindFormWindow(Caption);
      ASSERT_NE(F, nullptr);
      HWND Tree = GetDlgItem(F, IDC_SD_SOURCETREEVIEW);
      Preselected = NodeText(Tree, SelectedNode(Tree)) == "Покрытие";
      Select(Tree, FindNode(Tree, L"Город/Пустой/Периметр"));
      ChooseRelation(GetDlgItem(F, IDC_SD_RELATIONCOMBOBOX), 0);
      SetFocus(Tree);
    });
    Script.Step([&] {
      HWND F = FindFormWindow(Caption);
      EXPECT_TRUE(IsWindowEnabled(GetDlgItem(F, IDOK)));
      C.End(F);
    });
    EXPECT_FALSE(ExecuteSourceDialog(App.Get(), Source.Get()));
    EXPECT_TRUE(Script.Finished());
    EXPECT_TRUE(Preselected);
    EXPECT_EQ(FieldsOf(*Source.Get()), Original);
    EXPECT_EQ(FindFormWindow(Caption), nullptr);
  }
}

TEST_F(SourceDialogTest, AHostErrorWhileTheTreeIsFilledReachesTheCallerAndDestroysTheDialog) {
  Host.SetRealHostMode(true);  // the host's text is taken without asking ISupportErrorInfo
  SetFields(*Source.Get(), {"houses", "thouses", "floors", 4});
  HostSim::TFault Fault;
  Fault.Description = L"Таблица недоступна.";
  Host.FailMethod(L"IOrvexTable", L"GetFields", Fault);
  TUiScript Script;  // would close a dialog that was shown
  try {
    ExecuteSourceDialog(App.Get(), Source.Get());
    ADD_FAILURE() << "no error";
  } catch (const EOleException& E) {
    EXPECT_EQ(E.Message(), "Таблица недоступна");
  }
  EXPECT_TRUE(Script.Boxes().empty());
  EXPECT_EQ(FindFormWindow(Caption), nullptr);
  EXPECT_EQ(FieldsOf(*Source.Get()), (TFields{"houses", "thouses", "floors", 4}));
  Host.ClearFaults();
}

TEST_F(SourceDialogTest, AHostErrorWhileATableIsExpandedIsShownAndTheDialogStaysOpen) {
  Host.SetRealHostMode(true);
  SetFields(*Source.Get(), {"", "", "", 0});
  HostSim::TFault Fault;
  Fault.Description = L"Нет связи с базой данных";
  bool Open = false;
  TUiScript Script;
  Script.Step([&] {
    HWND F = FindFormWindow(Caption);
    ASSERT_NE(F, nullptr);
    Host.FailMethod(L"IOrvexDatabase", L"GetTable", Fault);
    HWND Tree = GetDlgItem(F, IDC_SD_SOURCETREEVIEW);
    UserExpand(Tree, FindNode(Tree, L"Город/Здания/Дома"));
  });
  Script.Step([&] {
    HWND F = FindFormWindow(Caption);
    Open = F && IsWindowVisible(F);
    Host.ClearFaults();
    HWND Tree = GetDlgItem(F, IDC_SD_SOURCETREEVIEW);
    HTREEITEM Table = FindNode(Tree, L"Город/Здания/Дома");
    EXPECT_EQ(FirstChildNode(Tree, Table), nullptr);
    UserExpand(Tree, Table);  // tried again
    EXPECT_NE(FirstChildNode(Tree, Table), nullptr);
    ClickButton(F, IDCANCEL);
  });
  EXPECT_FALSE(ExecuteSourceDialog(App.Get(), Source.Get()));
  EXPECT_TRUE(Open);
  ASSERT_EQ(Script.Boxes().size(), 1u);
  EXPECT_EQ(Script.Boxes()[0].Text, L"Нет связи с базой данных.");
  EXPECT_EQ(Script.Boxes()[0].Caption, L"Quorin");
  EXPECT_TRUE(Script.Boxes()[0].ErrorIcon);
}

TEST_F(SourceDialogTest, OverAnOpenFormTheDialogDisablesItAndBothIdleHandlersRun) {
  // The form the dialog is opened from, as the wizard is, counting its idle passes.
  struct TOpener : TTreeForm {
    using TTreeForm::TTreeForm;
    int Idles = 0;
    void ApplicationIdle() override { ++Idles; }
  };
  auto Opener = CreateForm<TOpener>(App.Get(), nullptr);
  Opener->Show();
  int IdlesBefore = 0, IdlesDuring = 0;
  bool OpenerDisabled = false;
  HCURSOR Help = LoadCursorW(nullptr, IDC_HELP), OverDialog = nullptr, OverOpener = nullptr;
  TUiScript Script;
  Script.Step([&] { IdlesBefore = Opener->Idles; });
  Script.Step([&] {
    HWND F = FindFormWindow(Caption);
    ASSERT_NE(F, nullptr);
    IdlesDuring = Opener->Idles;
    OpenerDisabled = !IsWindowEnabled(Opener->Handle());
    // The context-help command: the help cursor over the dialog only.
    SendMessageW(F, WM_SYSCOMMAND, SC_CONTEXTHELP, 0);
    HWND Ok = GetDlgItem(F, IDOK);
    SetCursor(nullptr);
    SendMessageW(Ok, WM_SETCURSOR, reinterpret_cast<WPARAM>(Ok),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    OverDialog = GetCursor();
    HWND Tree = Opener->Tree();
    SetCursor(nullptr);
    SendMessageW(Tree, WM_SETCURSOR, reinterpret_cast<WPARAM>(Tree),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    OverOpener = GetCursor();
    // F1 shows nothing.
    PressKey(GetDlgItem(F, IDC_SD_SOURCETREEVIEW), VK_F1);
  });
  Script.Step([&] { ClickButton(FindFormWindow(Caption), IDCANCEL); });
  EXPECT_FALSE(ExecuteSourceDialog(App.Get(), Source.Get()));
  EXPECT_TRUE(Script.Finished());
  EXPECT_TRUE(Script.Boxes().empty());
  EXPECT_TRUE(OpenerDisabled);
  EXPECT_GT(IdlesDuring, IdlesBefore);
  EXPECT_EQ(OverDialog, Help);
  EXPECT_NE(OverOpener, Help);
  EXPECT_TRUE(IsWindowEnabled(Opener->Handle()));
}
