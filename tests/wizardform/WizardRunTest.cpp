// "Готово": the fill run from the last page, its progress, its failures, and what input during a
// run may and may not do.
#include "tests/wizardform/WizardDriver.h"

#include <oleauto.h>

#include <cmath>
#include <limits>

#include "stats/StatSchemes.h"
#include "support/Forms.h"
#include "support/MessageLoop.h"

using namespace QuorinTest;

namespace {

const TPath TargetField = {L"Город", L"Здания", L"Здания.сем", L"Итог"};
const TPath AreaOfParcels = {L"Город", L"Участки", L"Площадь"};
const TPath PriceOfParcels = {L"Город", L"Участки", L"Участки.сем", L"Цена"};
constexpr int Inside = 1;

class WizardRun : public TWizardTest {
protected:
  // Target "Итог" of the buildings, the parcels' area inside them, the function; on the last
  // page.
  void PrepareRun(int Function, bool Visible = true) {
    CreateWizard(Visible);
    GoToSourcePage(TargetField);
    AddSource(AreaOfParcels, Inside);
    ChooseFunction(Function);
    ASSERT_TRUE(Enabled(IDC_WZ_NEXTBUTTON));
    Click(IDC_WZ_NEXTBUTTON);
    ASSERT_EQ(Wizard->ActivePage(), Ctl(IDC_WZ_PROCESSTABSHEET));
    Host.ClearCallLog();
  }

  long Calls(const wchar_t* Interface, const wchar_t* Method) const {
    long N = 0;
    for (const HostSim::TCall& C : Host.CallLog())
      N += C.Interface == Interface && C.Method == Method;
    return N;
  }
};

bool Pending(UINT First, UINT Last) {
  MSG Msg;
  return PeekMessageW(&Msg, nullptr, First, Last, PM_NOREMOVE) != FALSE;
}

}  // namespace

TEST_F(WizardRun, RunWritesTheStatisticsAndReturnsToTheFirstPageWithEverythingKept) {
  PrepareRun(Quorin::sfSum);
  HWND Tree = Ctl(IDC_WZ_FIELDTREEVIEW);
  HTREEITEM Field = TreeView_GetSelection(Tree);
  const Quorin::TStatSchemeFillSource* Source = Wizard->Scheme().Sources.Items(0);

  Click(IDC_WZ_NEXTBUTTON);

  EXPECT_EQ(Host.ApplyChangesCount(), 1);
  EXPECT_FALSE(Host.HasPendingChanges());
  EXPECT_DOUBLE_EQ(Written(L"b1"), 25.0);  // 9 + 16
  EXPECT_DOUBLE_EQ(Written(L"b2"), 4.0);
  EXPECT_DOUBLE_EQ(Written(L"b3"), 0.0);   // nothing inside: the empty sum
  EXPECT_EQ(Calls(L"IOrvexMapObjects", L"QueryByLayers"), 1);

  // The scheme was given the selection just before the run.
  const Quorin::TStatSchemeFieldFill& Scheme = Wizard->Scheme();
  EXPECT_EQ(Scheme.LayerID, "bld");
  EXPECT_EQ(Scheme.TableID, "bldsem");
  EXPECT_EQ(Scheme.FieldName, "sum");
  EXPECT_EQ(Scheme.StatFunction, Quorin::sfSum);

  // Both reporters were used: the target bar is full, the labels carry their captions.
  HWND FillBar = Ctl(IDC_WZ_FILLOBJECTSPROGRESSBAR);
  RECT BarRect;
  GetWindowRect(FillBar, &BarRect);
  EXPECT_EQ(SendMessageW(FillBar, PBM_GETRANGE, FALSE, 0), BarRect.right - BarRect.left);
  EXPECT_EQ(SendMessageW(FillBar, PBM_GETPOS, 0, 0), BarRect.right - BarRect.left);
  EXPECT_EQ(Text(IDC_WZ_FILLOBJECTSPROGRESSLABEL), L"Заполняемые объекты:");
  EXPECT_EQ(Text(IDC_WZ_SOURCEOBJECTSPROGRESSLABEL), L"Исходные объекты:");
  EXPECT_EQ(SendMessageW(Ctl(IDC_WZ_SOURCEOBJECTSPROGRESSBAR), PBM_GETRANGE, FALSE, 0),
            BarRect.right - BarRect.left);

  // The first page again, with the same node, the same sources and the same function.
  EXPECT_EQ(Wizard->ActivePage(), Ctl(IDC_WZ_FIELDTABSHEET));
  EXPECT_EQ(Text(IDC_WZ_HEADERLABEL), L"Выбор поля");
  EXPECT_FALSE(Enabled(IDC_WZ_BACKBUTTON));
  EXPECT_EQ(Text(IDC_WZ_NEXTBUTTON), L"Далее >");
  EXPECT_EQ(TreeView_GetSelection(Tree), Field);
  EXPECT_TRUE(Enabled(IDC_WZ_NEXTBUTTON));
  // The clicked button had lost the focus while it was disabled; it has it back when the
  // wizard is the active window (another test program may hold activation on a shared display).
  if (GetActiveWindow() == Wizard->Handle() && GetForegroundWindow() == Wizard->Handle())
    EXPECT_EQ(GetFocus(), Ctl(IDC_WZ_NEXTBUTTON));
  else
    EXPECT_TRUE(GetFocus() == nullptr || IsChild(Wizard->Handle(), GetFocus()));
  Click(IDC_WZ_NEXTBUTTON);
  EXPECT_EQ(Wizard->ActivePage(), Ctl(IDC_WZ_SOURCETABSHEET));
  ASSERT_EQ(Wizard->Scheme().Sources.Count(), 1);
  EXPECT_EQ(Wizard->Scheme().Sources.Items(0), Source);
  std::vector<TRow> Rows = ListRows(Ctl(IDC_WZ_SOURCELISTVIEW));
  ASSERT_EQ(Rows.size(), 1u);
  EXPECT_EQ(Rows[0].Characteristic, L"Площадь");
  EXPECT_EQ(SendMessageW(Ctl(IDC_WZ_STATFUNCTIONCOMBOBOX), CB_GETCURSEL, 0, 0), Quorin::sfSum);

  // Another function, another run over the same scheme.
  ChooseFunction(Quorin::sfCount);
  Click(IDC_WZ_NEXTBUTTON);
  Click(IDC_WZ_NEXTBUTTON);
  EXPECT_EQ(Host.ApplyChangesCount(), 2);
  EXPECT_DOUBLE_EQ(Written(L"b1"), 2.0);
  EXPECT_DOUBLE_EQ(Written(L"b2"), 1.0);
  EXPECT_DOUBLE_EQ(Written(L"b3"), 0.0);
  EXPECT_EQ(Wizard->ActivePage(), Ctl(IDC_WZ_FIELDTABSHEET));
}

TEST_F(WizardRun, HostFailureInMidRunIsReportedAndLeavesTheLastPage) {
  // The whole way, trees, source dialog and runs, against a host that knows only the interface
  // identifiers that the real host publishes; its error text is shown all the same.
  Host.SetRealHostMode(true);
  PrepareRun(Quorin::sfSum);
  long Writes = 0;
  Host.FailWhen(
      [&](const HostSim::TCall& Call) {
        return Call.Interface == L"IOrvexSemantics" && Call.Method == L"SetValue" && ++Writes == 2;
      },
      HostSim::TFault{E_FAIL, L"Запись запрещена.", false, false});

  TUiScript Script;
  Script.Run([&] { ClickButton(Form(), IDC_WZ_NEXTBUTTON); });
  ASSERT_EQ(Script.Boxes().size(), 1u);
  EXPECT_EQ(Script.Boxes()[0].Text, L"Запись запрещена.");
  EXPECT_EQ(Script.Boxes()[0].Caption, L"Quorin");
  EXPECT_TRUE(Script.Boxes()[0].ErrorIcon);

  // No ApplyChanges; the first value was handed over and is left to the host.
  EXPECT_EQ(Host.ApplyChangesCount(), 0);
  EXPECT_TRUE(Host.HasPendingChanges());
  EXPECT_DOUBLE_EQ(Written(L"b1"), 25.0);
  Idle();
  EXPECT_EQ(Wizard->ActivePage(), Ctl(IDC_WZ_PROCESSTABSHEET));
  EXPECT_EQ(Text(IDC_WZ_NEXTBUTTON), L"Готово");
  EXPECT_TRUE(Enabled(IDC_WZ_BACKBUTTON));
  EXPECT_TRUE(Enabled(IDC_WZ_NEXTBUTTON));

  // "Готово" again: a new run from the beginning.
  Host.ClearFaults();
  Host.ClearCallLog();
  Click(IDC_WZ_NEXTBUTTON);
  EXPECT_EQ(Calls(L"IOrvexMapObjects", L"QueryByLayers"), 1);
  EXPECT_EQ(Calls(L"IOrvexSemantics", L"SetValue"), 3);
  EXPECT_EQ(Host.ApplyChangesCount(), 1);
  EXPECT_DOUBLE_EQ(Written(L"b2"), 4.0);
  EXPECT_DOUBLE_EQ(Written(L"b3"), 0.0);
  EXPECT_EQ(Wizard->ActivePage(), Ctl(IDC_WZ_FIELDTABSHEET));
}

TEST_F(WizardRun, ClicksDuringARunNeitherStartAnotherRunNorChangeTheSourcesOrThePage) {
  PrepareRun(Quorin::sfSum);
  HWND List = Ctl(IDC_WZ_SOURCELISTVIEW);
  SelectRow(List, 0);
  const Quorin::TStatSchemeFillSource* Source = Wizard->Scheme().Sources.Items(0);

  // Every click a user could make, queued so that the run's first message pass dispatches them:
  // the commands themselves and the buttons' own clicks, and Enter.
  auto PostClicks = [&] {
    for (int Id : {IDC_WZ_NEXTBUTTON, IDC_WZ_BACKBUTTON, IDC_WZ_ADDSOURCEBUTTON,
                   IDC_WZ_EDITSOURCEBUTTON, IDC_WZ_DELETESOURCEBUTTON}) {
      PostMessageW(Form(), WM_COMMAND, MAKEWPARAM(Id, BN_CLICKED),
                   reinterpret_cast<LPARAM>(Ctl(Id)));
      PostMessageW(Ctl(Id), BM_CLICK, 0, 0);
    }
    PressKey(Form(), VK_RETURN);
  };

  // Observed from inside the run, at every write.
  int Writes = 0, Disturbed = 0;
  bool ButtonsLocked = true, CancelUsable = true;
  Host.FailWhen(
      [&](const HostSim::TCall& Call) {
        if (Call.Interface != L"IOrvexSemantics" || Call.Method != L"SetValue") return false;
        ++Writes;
        // The clicks queued before were dispatched by a progress message pass by now.
        if (Pending(WM_COMMAND, WM_COMMAND) || Pending(BM_CLICK, BM_CLICK) ||
            Pending(WM_KEYFIRST, WM_KEYLAST))
          ++Disturbed;  // not yet dispatched: the test would prove nothing
        if (!Wizard->Running() || Wizard->ActivePage() != Ctl(IDC_WZ_PROCESSTABSHEET) ||
            Wizard->Scheme().Sources.Count() != 1 || FindFormWindow(SourceDialogCaption))
          ++Disturbed;
        for (int Id : {IDC_WZ_NEXTBUTTON, IDC_WZ_BACKBUTTON, IDC_WZ_ADDSOURCEBUTTON,
                       IDC_WZ_EDITSOURCEBUTTON, IDC_WZ_DELETESOURCEBUTTON})
          ButtonsLocked = ButtonsLocked && !Enabled(Id);
        CancelUsable = CancelUsable && Enabled(IDCANCEL);
        // More clicks for the message pass after this object (none after the last one, so that
        // nothing is left for after the run).
        if (Writes < 3) PostClicks();
        return false;
      },
      HostSim::TFault{});

  {
    // A source dialog or message box opened by a click that got through is closed after a few
    // seconds (and fails the test) instead of waiting for a user.
    TUiScript Guard;
    PostClicks();
    ClickButton(Form(), IDC_WZ_NEXTBUTTON);
    EXPECT_TRUE(Guard.Boxes().empty());
  }
  Host.ClearFaults();

  EXPECT_EQ(Writes, 3);
  EXPECT_EQ(Disturbed, 0);
  EXPECT_TRUE(ButtonsLocked);
  EXPECT_TRUE(CancelUsable);
  EXPECT_EQ(Calls(L"IOrvexMapObjects", L"QueryByLayers"), 1);
  EXPECT_EQ(Host.ApplyChangesCount(), 1);
  ASSERT_EQ(Wizard->Scheme().Sources.Count(), 1);
  EXPECT_EQ(Wizard->Scheme().Sources.Items(0), Source);
  EXPECT_FALSE(Wizard->Running());
  EXPECT_EQ(Wizard->ActivePage(), Ctl(IDC_WZ_FIELDTABSHEET));
  EXPECT_DOUBLE_EQ(Written(L"b1"), 25.0);

  // Nothing was left for after the run; the buttons are back.
  EXPECT_FALSE(Pending(WM_COMMAND, WM_COMMAND) || Pending(BM_CLICK, BM_CLICK));
  Idle();
  EXPECT_EQ(Host.ApplyChangesCount(), 1);
  EXPECT_TRUE(Enabled(IDC_WZ_ADDSOURCEBUTTON));
  EXPECT_TRUE(Enabled(IDC_WZ_NEXTBUTTON));
}

TEST_F(WizardRun, CancelDuringARunClosesTheWizardOnceTheRunHasEnded) {
  PrepareRun(Quorin::sfSum, /*Visible=*/false);
  bool ClosedEarly = false;
  Host.FailWhen(
      [&](const HostSim::TCall& Call) {
        if (Call.Interface == L"IOrvexSemantics" && Call.Method == L"SetValue")
          ClosedEarly = ClosedEarly || !IsWindowVisible(Form()) || !Wizard->Running();
        return false;
      },
      HostSim::TFault{});
  TUiScript Script;
  Script.Step([&] {
    PostMessageW(Ctl(IDCANCEL), BM_CLICK, 0, 0);
    ClickButton(Form(), IDC_WZ_NEXTBUTTON);
    // The run went to its end.
    EXPECT_EQ(Host.ApplyChangesCount(), 1);
  });
  EXPECT_EQ(Wizard->ShowModal(), Quorin::mrCancel);
  EXPECT_TRUE(Script.Finished());
  EXPECT_FALSE(ClosedEarly);
  EXPECT_DOUBLE_EQ(Written(L"b2"), 4.0);
  EXPECT_FALSE(IsWindowVisible(Form()));
}

TEST_F(WizardRun, EscDuringAFailingRunClosesAfterTheReport) {
  PrepareRun(Quorin::sfSum, /*Visible=*/false);
  Host.FailMethod(L"IOrvexMapObjects", L"ApplyChanges",
                  HostSim::TFault{E_FAIL, L"Изменения отклонены.", false, false});
  TUiScript Script;
  Script.Step([&] {
    PressKey(Form(), VK_ESCAPE);
    ClickButton(Form(), IDC_WZ_NEXTBUTTON);
  });
  EXPECT_EQ(Wizard->ShowModal(), Quorin::mrCancel);
  ASSERT_EQ(Script.Boxes().size(), 1u);
  EXPECT_EQ(Script.Boxes()[0].Text, L"Изменения отклонены.");
  EXPECT_EQ(Host.ApplyChangesCount(), 0);
}

TEST_F(WizardRun, ShowModalRunsAndStaysOpenUntilCancel) {
  PrepareRun(Quorin::sfCount, /*Visible=*/false);
  TUiScript Script;
  // The run inside a step: the script's next step waits for its end.
  Script.Step([&] { ClickButton(Form(), IDC_WZ_NEXTBUTTON); });
  Script.Step([&] {
    // The run is over; the wizard did not close by itself.
    EXPECT_EQ(Host.ApplyChangesCount(), 1);
    EXPECT_TRUE(IsWindowVisible(Form()));
    EXPECT_EQ(Wizard->ActivePage(), Ctl(IDC_WZ_FIELDTABSHEET));
    EXPECT_FALSE(IsWindowEnabled(Owner->Handle()));
    ClickButton(Form(), IDCANCEL);
  });
  EXPECT_EQ(Wizard->ShowModal(), Quorin::mrCancel);
  EXPECT_TRUE(Script.Finished());
  EXPECT_DOUBLE_EQ(Written(L"b1"), 2.0);
  EXPECT_TRUE(IsWindowEnabled(Owner->Handle()));
}
