#include "tests/wizardform/WizardDriver.h"

#include <oleauto.h>

#include <limits>

#include "support/MessageLoop.h"

namespace QuorinTest {

const wchar_t SourceDialogCaption[] = L"Добавление/Изменение источника";

// ---- trees ----------------------------------------------------------------------------------

std::wstring NodeText(HWND Tree, HTREEITEM Node) {
  wchar_t Buffer[512] = {};
  TVITEMW Item = {};
  Item.mask = TVIF_TEXT | TVIF_HANDLE;
  Item.hItem = Node;
  Item.pszText = Buffer;
  Item.cchTextMax = 511;
  TreeView_GetItem(Tree, &Item);
  return Buffer;
}

HTREEITEM FindChildNode(HWND Tree, HTREEITEM Parent, const std::wstring& Text) {
  HTREEITEM Node = Parent ? TreeView_GetChild(Tree, Parent) : TreeView_GetRoot(Tree);
  for (; Node; Node = TreeView_GetNextSibling(Tree, Node))
    if (NodeText(Tree, Node) == Text) return Node;
  return nullptr;
}

HTREEITEM FindNode(HWND Tree, const TPath& Path) {
  HTREEITEM Node = nullptr;
  for (const std::wstring& Text : Path) {
    if (Node) TreeView_Expand(Tree, Node, TVE_EXPAND);
    Node = FindChildNode(Tree, Node, Text);
    if (!Node) return nullptr;
  }
  return Node;
}

HTREEITEM SelectNode(HWND Tree, const TPath& Path) {
  HTREEITEM Node = FindNode(Tree, Path);
  EXPECT_NE(Node, nullptr) << "no node " << testing::PrintToString(Path);
  if (Node) TreeView_SelectItem(Tree, Node);
  return Node;
}

TPath NodePath(HWND Tree, HTREEITEM Node) {
  TPath Path;
  for (; Node; Node = TreeView_GetParent(Tree, Node)) Path.insert(Path.begin(), NodeText(Tree, Node));
  return Path;
}

// ---- lists ----------------------------------------------------------------------------------

std::vector<TRow> ListRows(HWND ListView) {
  std::vector<TRow> Rows;
  int Count = ListView_GetItemCount(ListView);
  for (int I = 0; I < Count; ++I) {
    TRow Row;
    wchar_t Buffer[512] = {};
    ListView_GetItemText(ListView, I, 0, Buffer, 511);
    Row.Layer = Buffer;
    Buffer[0] = 0;
    ListView_GetItemText(ListView, I, 1, Buffer, 511);
    Row.Characteristic = Buffer;
    LVITEMW Item = {};
    Item.mask = LVIF_IMAGE | LVIF_PARAM | LVIF_STATE;
    Item.stateMask = LVIS_SELECTED;
    Item.iItem = I;
    ListView_GetItem(ListView, &Item);
    Row.Image = Item.iImage;
    Row.Data = Item.lParam;
    Row.Selected = (Item.state & LVIS_SELECTED) != 0;
    Rows.push_back(Row);
  }
  return Rows;
}

int SelectedRow(HWND ListView) { return ListView_GetNextItem(ListView, -1, LVNI_SELECTED); }

void SelectRow(HWND ListView, int Row) {
  ListView_SetItemState(ListView, Row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
}

// ---- the model ------------------------------------------------------------------------------

void BuildTestModel(HostSim::THost& Host) {
  Host.AddCatalogItem(5);
  Host.AddMap(L"map1", L"Город");
  Host.AddLayer(L"map1", L"bld", L"Здания");
  Host.AddTable(L"bld", L"bldsem", L"Здания.сем");
  Host.AddField(L"bldsem", L"cnt", L"Число");
  Host.AddField(L"bldsem", L"sum", L"Итог");
  Host.AddObject(L"bld", L"b1", L"POLYGON((0 0,10 0,10 10,0 10,0 0))");
  Host.AddObject(L"bld", L"b2", L"POLYGON((20 0,30 0,30 10,20 10,20 0))");
  Host.AddObject(L"bld", L"b3", L"POLYGON((40 0,50 0,50 10,40 10,40 0))");

  Host.AddLayer(L"map1", L"prc", L"Участки");
  Host.AddTable(L"prc", L"prcsem", L"Участки.сем");
  Host.AddField(L"prcsem", L"price", L"Цена");
  Host.AddField(L"prcsem", L"Pop", L"Население");
  Host.AddField(L"prcsem", L"POP", L"Население2");
  Host.AddObject(L"prc", L"p1", L"POLYGON((1 1,4 1,4 4,1 4,1 1))");
  Host.AddObject(L"prc", L"p2", L"POLYGON((5 5,9 5,9 9,5 9,5 5))");
  Host.AddObject(L"prc", L"p3", L"POLYGON((21 1,23 1,23 3,21 3,21 1))");
  Host.AddObject(L"prc", L"p4", L"POLYGON((50 2,55 2,55 4,50 4,50 2))");
  Host.AddRecord(L"p1", L"prcsem", {{L"price", HostSim::TValue(100)}});
  Host.AddRecord(L"p2", L"prcsem", {{L"price", HostSim::TValue(50)}});
  Host.AddRecord(L"p3", L"prcsem", {{L"price", HostSim::TValue(7)}});
  Host.AddRecord(L"p4", L"prcsem", {{L"price", HostSim::TValue(1)}});
}

// ---- fixture --------------------------------------------------------------------------------

void TWizardTest::SetUp() {
  BuildTestModel(Host);
  Owner = std::make_unique<TOwnerWindow>();
  App = Host.Application();
}

void TWizardTest::TearDown() {
  DestroyWizard();
  App.Reset();
  Owner.reset();
  Quorin::ProcessMessages();
  // Nothing the wizard took from the host outlives it.
  EXPECT_EQ(Host.LiveObjects(), 0);
}

void TWizardTest::CreateWizard(bool Visible) {
  Wizard = std::make_unique<Quorin::TNewFieldFillSchemeWizard>(Owner->Handle());
  Wizard->SetApplication(App.Get());
  if (Visible) {
    Wizard->Show();
    SetForegroundWindow(Form());
    SetFocus(Ctl(IDC_WZ_FIELDTREEVIEW));
  }
  Idle();
}

void TWizardTest::DestroyWizard() {
  Wizard.reset();
  Quorin::ProcessMessages();
}

void TWizardTest::Idle() {
  Quorin::ProcessMessages();
  Quorin::RunIdleHandlers();
}

void TWizardTest::Click(int Id) {
  ClickButton(Form(), Id);
  Idle();
}

void TWizardTest::GoToSourcePage(const TPath& Field) {
  SelectNode(Ctl(IDC_WZ_FIELDTREEVIEW), Field);
  Idle();
  ASSERT_TRUE(Enabled(IDC_WZ_NEXTBUTTON));
  Click(IDC_WZ_NEXTBUTTON);
  ASSERT_EQ(Wizard->ActivePage(), Ctl(IDC_WZ_SOURCETABSHEET));
}

void TWizardTest::ChooseFunction(int Code) {
  HWND Combo = Ctl(IDC_WZ_STATFUNCTIONCOMBOBOX);
  SendMessageW(Combo, CB_SETCURSEL, static_cast<WPARAM>(Code), 0);
  SendMessageW(Form(), WM_COMMAND, MAKEWPARAM(IDC_WZ_STATFUNCTIONCOMBOBOX, CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(Combo));
  Idle();
}

double TWizardTest::Written(const wchar_t* Building) const {
  HostSim::TValue V = Host.Value(Building, L"bldsem", L"sum");
  VARIANT Copy;
  VariantInit(&Copy);
  double Result = std::numeric_limits<double>::quiet_NaN();
  if (V.Type() != VT_EMPTY &&
      SUCCEEDED(VariantChangeType(&Copy, const_cast<VARIANT*>(&V.Ref()), 0, VT_R8)))
    Result = V_R8(&Copy);
  VariantClear(&Copy);
  return Result;
}

std::vector<TSeenMessageBox> TWizardTest::AddSource(const TPath& Path, int RelationItem,
                                                    bool Confirm) {
  return DriveSourceDialog(IDC_WZ_ADDSOURCEBUTTON, Path, RelationItem, Confirm);
}

std::vector<TSeenMessageBox> TWizardTest::EditSource(const TPath& Path, int RelationItem,
                                                     bool Confirm) {
  return DriveSourceDialog(IDC_WZ_EDITSOURCEBUTTON, Path, RelationItem, Confirm);
}

std::vector<TSeenMessageBox> TWizardTest::DriveSourceDialog(int Button, const TPath& Path,
                                                            int RelationItem, bool Confirm) {
  DialogSelection.clear();
  DialogRelation = -2;
  TUiScript Script;
  Script.Step([&] {
    HWND Dialog = FindFormWindow(SourceDialogCaption);
    ASSERT_NE(Dialog, nullptr) << "the source dialog is not open";
    HWND Tree = FindWindowExW(Dialog, nullptr, WC_TREEVIEWW, nullptr);
    HWND Combo = FindWindowExW(Dialog, nullptr, WC_COMBOBOXW, nullptr);
    ASSERT_NE(Tree, nullptr);
    ASSERT_NE(Combo, nullptr);
    if (OnDialogShown) OnDialogShown(Dialog);
    if (HTREEITEM Selected = TreeView_GetSelection(Tree)) DialogSelection = NodePath(Tree, Selected);
    DialogRelation = static_cast<int>(SendMessageW(Combo, CB_GETCURSEL, 0, 0));
    if (!Path.empty()) SelectNode(Tree, Path);
    if (RelationItem >= 0) {
      SendMessageW(Combo, CB_SETCURSEL, static_cast<WPARAM>(RelationItem), 0);
      SendMessageW(Dialog, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(Combo), CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(Combo));
    }
  });
  Script.Step([&] {
    HWND Dialog = FindFormWindow(SourceDialogCaption);
    ASSERT_NE(Dialog, nullptr);
    // The idle pass that follows the choice (the dialog enables "OK" there).
    Quorin::RunIdleHandlers();
    if (Confirm) {
      EXPECT_TRUE(IsWindowEnabled(GetDlgItem(Dialog, IDOK)));
    }
    ClickButton(Dialog, Confirm ? IDOK : IDCANCEL);
  });
  Script.Run([&] { ClickButton(Form(), Button); });
  Idle();
  return Script.Boxes();
}

}  // namespace QuorinTest
