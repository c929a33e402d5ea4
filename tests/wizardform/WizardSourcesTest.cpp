// The second page: adding, editing and deleting sources, the merging of duplicates, the rows of
// the source list and their fitting.
#include "tests/wizardform/WizardDriver.h"

#include "stats/StatSchemes.h"
#include "support/MessageLoop.h"
#include "support/Strings.h"

using namespace QuorinTest;
using Quorin::TStatSchemeFillSource;

namespace {

const TPath AreaOfParcels = {L"Город", L"Участки", L"Площадь"};
const TPath PerimeterOfParcels = {L"Город", L"Участки", L"Периметр"};
const TPath PriceOfParcels = {L"Город", L"Участки", L"Участки.сем", L"Цена"};
const TPath PopOfParcels = {L"Город", L"Участки", L"Участки.сем", L"Население"};
const TPath PopUpperOfParcels = {L"Город", L"Участки", L"Участки.сем", L"Население2"};
const TPath AreaOfBuildings = {L"Город", L"Здания", L"Площадь"};
const TPath PerimeterOfBuildings = {L"Город", L"Здания", L"Периметр"};

// Relation items of the source dialog.
constexpr int Intersects = 0, Inside = 1, Contains = 2, Touches = 3;

class WizardSources : public TWizardTest {
protected:
  void SetUp() override {
    TWizardTest::SetUp();
    CreateWizard();
    GoToSourcePage();
  }
  HWND List() const { return Ctl(IDC_WZ_SOURCELISTVIEW); }
  const TStatSchemeFillSource& Source(int I) const { return *Wizard->Scheme().Sources.Items(I); }
  int SourceCount() const { return Wizard->Scheme().Sources.Count(); }
};

}  // namespace

TEST_F(WizardSources, AddedSourceGetsARowWithLayerNameCharacteristicImageAndData) {
  EXPECT_TRUE(AddSource(AreaOfParcels, Inside).empty());
  ASSERT_EQ(SourceCount(), 1);
  EXPECT_EQ(Source(0).LayerID, "prc");
  EXPECT_EQ(Source(0).TableID, "");
  EXPECT_EQ(Source(0).Characteristic, "1");
  EXPECT_EQ(Source(0).Relation, 2);

  EXPECT_TRUE(AddSource(PriceOfParcels, Touches).empty());
  ASSERT_EQ(SourceCount(), 2);
  std::vector<TRow> Rows = ListRows(List());
  ASSERT_EQ(Rows.size(), 2u);
  EXPECT_EQ(Rows[0].Layer, L"Участки");
  EXPECT_EQ(Rows[0].Characteristic, L"Площадь");
  EXPECT_EQ(Rows[0].Image, 1);
  EXPECT_EQ(Rows[0].Data, reinterpret_cast<LPARAM>(&Source(0)));
  EXPECT_EQ(Rows[1].Layer, L"Участки");
  EXPECT_EQ(Rows[1].Characteristic, L"Участки.сем.Цена");
  EXPECT_EQ(Rows[1].Image, 3);
  EXPECT_EQ(Rows[1].Data, reinterpret_cast<LPARAM>(&Source(1)));
  // The added source's row is selected.
  EXPECT_FALSE(Rows[0].Selected);
  EXPECT_TRUE(Rows[1].Selected);
}

TEST_F(WizardSources, EveryRelationHasItsImage) {
  AddSource(AreaOfParcels, Intersects);
  AddSource(PerimeterOfParcels, Inside);
  AddSource(PriceOfParcels, Contains);
  AddSource(AreaOfBuildings, Touches);
  std::vector<TRow> Rows = ListRows(List());
  ASSERT_EQ(Rows.size(), 4u);
  EXPECT_EQ(Rows[0].Image, 0);
  EXPECT_EQ(Rows[1].Image, 1);
  EXPECT_EQ(Rows[2].Image, 2);
  EXPECT_EQ(Rows[3].Image, 3);
  EXPECT_EQ(Rows[3].Layer, L"Здания");
  EXPECT_EQ(Source(2).Relation, 4);
  EXPECT_EQ(Source(3).Relation, 8);
}

TEST_F(WizardSources, CancelledDialogChangesNothing) {
  AddSource(AreaOfParcels, Inside, /*Confirm=*/false);
  EXPECT_EQ(SourceCount(), 0);
  EXPECT_EQ(ListView_GetItemCount(List()), 0);
}

TEST_F(WizardSources, AddWithRowSelectedOpensOnItAndConfirmedUnchangedFindsTheDuplicate) {
  AddSource(AreaOfParcels, Inside);
  AddSource(PriceOfParcels, Touches);
  SelectRow(List(), 0);
  Idle();
  const TStatSchemeFillSource* First = &Source(0);

  AddSource({}, -1);  // confirmed as it opened
  EXPECT_EQ(DialogSelection, AreaOfParcels);
  EXPECT_EQ(DialogRelation, Inside);
  ASSERT_EQ(SourceCount(), 2);
  EXPECT_EQ(&Source(0), First);
  EXPECT_EQ(Source(0).Relation, 2);
  std::vector<TRow> Rows = ListRows(List());
  ASSERT_EQ(Rows.size(), 2u);
  EXPECT_TRUE(Rows[0].Selected);
  EXPECT_FALSE(Rows[1].Selected);
}

TEST_F(WizardSources, AddWithoutRowSelectedOpensEmpty) {
  AddSource(AreaOfParcels, Inside);
  ListView_SetItemState(List(), -1, 0, LVIS_SELECTED);
  Idle();
  AddSource(PerimeterOfParcels, Intersects);
  EXPECT_TRUE(DialogSelection.empty());
  EXPECT_EQ(DialogRelation, -1);
  EXPECT_EQ(SourceCount(), 2);
}

TEST_F(WizardSources, SameIdentityWithAnotherRelationChangesTheRowsRelationAndImage) {
  AddSource(AreaOfParcels, Inside);
  AddSource(PriceOfParcels, Touches);
  ListView_SetItemState(List(), -1, 0, LVIS_SELECTED);
  Idle();

  AddSource(AreaOfParcels, Contains);
  ASSERT_EQ(SourceCount(), 2);
  EXPECT_EQ(Source(0).Relation, 4);
  EXPECT_EQ(Source(1).Relation, 8);
  std::vector<TRow> Rows = ListRows(List());
  ASSERT_EQ(Rows.size(), 2u);
  EXPECT_EQ(Rows[0].Image, 2);
  EXPECT_TRUE(Rows[0].Selected);
  EXPECT_EQ(Rows[1].Image, 3);
}

TEST_F(WizardSources, EditIntoADuplicateRemovesTheEditedRowAndGivesTheOtherItsRelation) {
  AddSource(AreaOfParcels, Inside);
  AddSource(PerimeterOfParcels, Intersects);
  AddSource(PriceOfParcels, Contains);
  const TStatSchemeFillSource* Area = &Source(0);
  const TStatSchemeFillSource* Price = &Source(2);
  SelectRow(List(), 1);
  Idle();

  EditSource(AreaOfParcels, Touches);
  EXPECT_EQ(DialogSelection, PerimeterOfParcels);
  EXPECT_EQ(DialogRelation, Intersects);
  ASSERT_EQ(SourceCount(), 2);
  EXPECT_EQ(&Source(0), Area);
  EXPECT_EQ(&Source(1), Price);
  EXPECT_EQ(Source(0).Relation, 8);
  std::vector<TRow> Rows = ListRows(List());
  ASSERT_EQ(Rows.size(), 2u);
  EXPECT_EQ(Rows[0].Characteristic, L"Площадь");
  EXPECT_EQ(Rows[0].Image, 3);
  EXPECT_TRUE(Rows[0].Selected);
  EXPECT_EQ(Rows[1].Characteristic, L"Участки.сем.Цена");
  EXPECT_FALSE(Rows[1].Selected);
}

TEST_F(WizardSources, EditWithoutDuplicateChangesTheSourceInPlace) {
  AddSource(AreaOfParcels, Inside);
  AddSource(PriceOfParcels, Contains);
  const TStatSchemeFillSource* Price = &Source(1);
  SelectRow(List(), 1);
  Idle();

  EditSource(PerimeterOfBuildings, Intersects);
  ASSERT_EQ(SourceCount(), 2);
  EXPECT_EQ(&Source(1), Price);
  EXPECT_EQ(Source(1).LayerID, "bld");
  EXPECT_EQ(Source(1).TableID, "");
  EXPECT_EQ(Source(1).Characteristic, "2");
  EXPECT_EQ(Source(1).Relation, 1);
  std::vector<TRow> Rows = ListRows(List());
  ASSERT_EQ(Rows.size(), 2u);
  EXPECT_EQ(Rows[1].Layer, L"Здания");
  EXPECT_EQ(Rows[1].Characteristic, L"Периметр");
  EXPECT_EQ(Rows[1].Image, 0);
  EXPECT_TRUE(Rows[1].Selected);
}

TEST_F(WizardSources, CancelledEditChangesNothing) {
  AddSource(AreaOfParcels, Inside);
  SelectRow(List(), 0);
  Idle();
  EditSource(PriceOfParcels, Touches, /*Confirm=*/false);
  ASSERT_EQ(SourceCount(), 1);
  EXPECT_EQ(Source(0).Characteristic, "1");
  EXPECT_EQ(Source(0).Relation, 2);
}

TEST_F(WizardSources, EditOrDeleteWithoutSelectedRowDoesNothing) {
  AddSource(AreaOfParcels, Inside);
  ListView_SetItemState(List(), -1, 0, LVIS_SELECTED);
  // The buttons are disabled by then; the handlers are reached through the commands themselves.
  SendMessageW(Form(), WM_COMMAND, MAKEWPARAM(IDC_WZ_EDITSOURCEBUTTON, BN_CLICKED), 0);
  SendMessageW(Form(), WM_COMMAND, MAKEWPARAM(IDC_WZ_DELETESOURCEBUTTON, BN_CLICKED), 0);
  Idle();
  EXPECT_EQ(FindFormWindow(SourceDialogCaption), nullptr);
  EXPECT_EQ(SourceCount(), 1);
}

TEST_F(WizardSources, CharacteristicDifferingOnlyInLetterCaseIsTheSame) {
  AddSource(PopOfParcels, Inside);
  ASSERT_EQ(SourceCount(), 1);
  EXPECT_EQ(Source(0).Characteristic, "Pop");
  ListView_SetItemState(List(), -1, 0, LVIS_SELECTED);
  Idle();

  // The field "POP" of the same table: merged into the source of "Pop".
  AddSource(PopUpperOfParcels, Touches);
  ASSERT_EQ(SourceCount(), 1);
  EXPECT_EQ(Source(0).Characteristic, "Pop");
  EXPECT_EQ(Source(0).Relation, 8);
  EXPECT_EQ(ListView_GetItemCount(List()), 1);
}

TEST_F(WizardSources, DeleteOnTheOnlySourceLeavesAnEmptyListAndDisablesTheButtons) {
  ChooseFunction(Quorin::sfSum);
  AddSource(AreaOfParcels, Inside);
  SelectRow(List(), 0);
  Idle();
  EXPECT_TRUE(Enabled(IDC_WZ_NEXTBUTTON));
  EXPECT_TRUE(Enabled(IDC_WZ_EDITSOURCEBUTTON));
  EXPECT_TRUE(Enabled(IDC_WZ_DELETESOURCEBUTTON));

  ClickButton(Form(), IDC_WZ_DELETESOURCEBUTTON);
  EXPECT_EQ(SourceCount(), 0);
  EXPECT_EQ(ListView_GetItemCount(List()), 0);
  // Until the next idle pass the buttons stay as they were.
  EXPECT_TRUE(Enabled(IDC_WZ_DELETESOURCEBUTTON));
  Quorin::RunIdleHandlers();
  EXPECT_FALSE(Enabled(IDC_WZ_NEXTBUTTON));
  EXPECT_FALSE(Enabled(IDC_WZ_EDITSOURCEBUTTON));
  EXPECT_FALSE(Enabled(IDC_WZ_DELETESOURCEBUTTON));
  EXPECT_TRUE(Enabled(IDC_WZ_ADDSOURCEBUTTON));
}

TEST_F(WizardSources, DeleteRemovesTheSelectedRowAndSelectsNone) {
  AddSource(AreaOfParcels, Inside);
  AddSource(PerimeterOfParcels, Inside);
  AddSource(PriceOfParcels, Inside);
  SelectRow(List(), 1);
  Idle();
  Click(IDC_WZ_DELETESOURCEBUTTON);
  ASSERT_EQ(SourceCount(), 2);
  EXPECT_EQ(Source(0).Characteristic, "1");
  EXPECT_EQ(Source(1).Characteristic, "price");
  std::vector<TRow> Rows = ListRows(List());
  ASSERT_EQ(Rows.size(), 2u);
  EXPECT_EQ(Rows[1].Characteristic, L"Участки.сем.Цена");
  EXPECT_EQ(SelectedRow(List()), -1);
}

TEST_F(WizardSources, ColumnsAreFittedToTheRows) {
  HWND L = List();
  auto Width = [&](int Column) { return ListView_GetColumnWidth(L, Column); };
  auto TextWidth = [&](const wchar_t* Text) {
    return static_cast<int>(SendMessageW(L, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(Text)));
  };
  // Before any row: the designed widths.
  EXPECT_EQ(Width(0), Quorin::ScalePixels(86));
  EXPECT_EQ(Width(1), Quorin::ScalePixels(185));

  AddSource(AreaOfParcels, Inside);
  int Header0 = TextWidth(L"Слой") + 28, Header1 = TextWidth(L"Характеристика") + 28;
  EXPECT_EQ(Width(0), std::max(Header0, TextWidth(L"Участки") + 28));
  EXPECT_EQ(Width(1), std::max(Header1, TextWidth(L"Площадь") + 28));

  AddSource(PopUpperOfParcels, Inside);
  EXPECT_EQ(Width(1), std::max(Header1, TextWidth(L"Участки.сем.Население2") + 28));
  EXPECT_GT(TextWidth(L"Участки.сем.Население2") + 28, Header1);

  // The widest row deleted: the column narrows again.
  SelectRow(L, 1);
  Idle();
  Click(IDC_WZ_DELETESOURCEBUTTON);
  EXPECT_EQ(Width(1), std::max(Header1, TextWidth(L"Площадь") + 28));
}

TEST_F(WizardSources, LayerNameFailureStopsTheRebuildAndIsReported) {
  AddSource(AreaOfParcels, Inside);
  AddSource(AreaOfBuildings, Inside);
  ListView_SetItemState(List(), -1, 0, LVIS_SELECTED);
  Idle();

  // The second row's layer fails while the list is rebuilt for the third source.
  Host.FailWhen(
      [&](const HostSim::TCall& Call) {
        return Call.Interface == L"IOrvexDatabase" && Call.Method == L"GetLayer" &&
               Call.Args == L"\"bld\"";
      },
      HostSim::TFault{E_FAIL, L"Слой недоступен.", false, false});
  std::vector<TSeenMessageBox> Boxes = AddSource(PriceOfParcels, Inside);
  ASSERT_EQ(Boxes.size(), 1u);
  EXPECT_EQ(Boxes[0].Text, L"Слой недоступен.");
  EXPECT_TRUE(Boxes[0].ErrorIcon);
  // The scheme keeps the added source; the rows built before the failure stay, the row being
  // built has no texts.
  EXPECT_EQ(SourceCount(), 3);
  std::vector<TRow> Rows = ListRows(List());
  ASSERT_EQ(Rows.size(), 2u);
  EXPECT_EQ(Rows[0].Layer, L"Участки");
  EXPECT_EQ(Rows[1].Layer, L"");
  EXPECT_EQ(Rows[1].Characteristic, L"");
  EXPECT_EQ(Wizard->ActivePage(), Ctl(IDC_WZ_SOURCETABSHEET));

  // The row without texts still stands for its source: deleting it deletes that source, and
  // the rebuild shows the whole list again.
  Host.ClearFaults();
  SelectRow(List(), 1);
  Idle();
  Click(IDC_WZ_DELETESOURCEBUTTON);
  ASSERT_EQ(SourceCount(), 2);
  EXPECT_EQ(Source(1).Characteristic, "price");
  Rows = ListRows(List());
  ASSERT_EQ(Rows.size(), 2u);
  EXPECT_EQ(Rows[1].Characteristic, L"Участки.сем.Цена");
}

TEST_F(WizardSources, DialogFailureWhileAddingLeavesTheSchemeUnchanged) {
  AddSource(AreaOfParcels, Inside);
  Host.FailMethod(L"IOrvexCatalog", L"GetMaps",
                  HostSim::TFault{E_FAIL, L"Каталог недоступен.", false, false});
  TUiScript Script;
  Script.Run([&] { ClickButton(Form(), IDC_WZ_ADDSOURCEBUTTON); });
  ASSERT_EQ(Script.Boxes().size(), 1u);
  EXPECT_EQ(Script.Boxes()[0].Text, L"Каталог недоступен.");
  EXPECT_EQ(SourceCount(), 1);
  EXPECT_EQ(ListView_GetItemCount(List()), 1);
  EXPECT_EQ(FindFormWindow(SourceDialogCaption), nullptr);
}

TEST_F(WizardSources, ButtonsFollowTheSchemeWhileTheSourceDialogIsOpen) {
  AddSource(AreaOfParcels, Inside);
  ListView_SetItemState(List(), -1, 0, LVIS_SELECTED);
  Idle();
  ASSERT_FALSE(Enabled(IDC_WZ_EDITSOURCEBUTTON));

  // Driven from idle passes of the dialog's own loop (this handler runs after the wizard's in
  // each pass): select a row of the wizard's list in one pass, look at its buttons in the next.
  int State = 0;
  bool EnabledMeanwhile = false, WizardDisabled = false;
  Quorin::TIdleHandle Driver = Quorin::AddIdleHandler([&] {
    HWND Dialog = FindFormWindow(SourceDialogCaption);
    if (!Dialog) return;
    if (State == 0) {
      WizardDisabled = !IsWindowEnabled(Form());
      SelectRow(List(), 0);
      State = 1;
    } else if (State == 1) {
      EnabledMeanwhile = Enabled(IDC_WZ_EDITSOURCEBUTTON) && Enabled(IDC_WZ_DELETESOURCEBUTTON);
      PostMessageW(GetDlgItem(Dialog, IDCANCEL), BM_CLICK, 0, 0);
      State = 2;
    }
  });
  {
    TUiScript Guard;  // closes the dialog (and fails) if the driver never gets to
    ClickButton(Form(), IDC_WZ_ADDSOURCEBUTTON);
  }
  Quorin::RemoveIdleHandler(Driver);
  EXPECT_EQ(State, 2);
  EXPECT_TRUE(WizardDisabled);
  EXPECT_TRUE(EnabledMeanwhile);
  EXPECT_EQ(SourceCount(), 1);
}
