// The wizard from the keyboard alone. The keys go to the focused control, and the focus is the
// active window's: this program runs alone, so that no other program's window takes the
// activation in between.
#include "tests/wizardform/WizardDriver.h"

#include <functional>
#include <initializer_list>

#include "stats/StatSchemes.h"
#include "wizard/SourceDialogRes.h"

using namespace QuorinTest;

namespace {
class WizardKeys : public TWizardTest {};
}  // namespace

// A user who never touches the mouse: from a fresh wizard to a finished run with keys alone
// (arrows in the trees, the function and relation lists opened with F4 and chosen with the
// arrows and Enter, Tab between controls, Space on a focused button, Enter for the default
// button), then Esc.
TEST_F(WizardKeys, KeysAloneLeadFromAFreshWizardToAFinishedRun) {
  CreateWizard(/*Visible=*/false);
  TUiScript Script;
  auto Keys = [&](std::initializer_list<WORD> List) {
    for (WORD Key : List)
      Script.Step([Key] {
        ASSERT_NE(GetFocus(), nullptr) << "no focus for key " << Key;
        PressKey(GetFocus(), Key);
      });
  };
  auto FocusIs = [&](std::function<HWND()> Expected, const char* What) {
    Script.Step([Expected, What] { ASSERT_EQ(GetFocus(), Expected()) << What; });
  };
  auto Dialog = [](int Id) { return GetDlgItem(FindFormWindow(SourceDialogCaption), Id); };

  // The target: Город / Здания / Здания.сем / Итог, then Enter ("Далее >").
  FocusIs([&] { return Ctl(IDC_WZ_FIELDTREEVIEW); }, "the tree of the first page");
  Keys({VK_HOME, VK_RIGHT, VK_DOWN, VK_RIGHT, VK_DOWN, VK_RIGHT, VK_DOWN, VK_DOWN, VK_RETURN});
  // The second page: "Далее >" is disabled there, so the focus is on the page's first control.
  FocusIs([&] { return Ctl(IDC_WZ_STATFUNCTIONCOMBOBOX); }, "the function list");
  Keys({VK_F4, VK_DOWN, VK_DOWN, VK_RETURN, VK_TAB});
  FocusIs([&] { return Ctl(IDC_WZ_ADDSOURCEBUTTON); }, "\"Добавить\"");
  Keys({VK_SPACE});
  // The source dialog: Tab to its tree, Город / Участки / Участки.сем / Цена; Tab to the
  // relation list, the second relation (inside); Enter ("OK").
  Keys({VK_TAB});
  FocusIs([&] { return Dialog(IDC_SD_SOURCETREEVIEW); }, "the source tree");
  Keys({VK_HOME, VK_RIGHT, VK_DOWN, VK_DOWN, VK_RIGHT, VK_DOWN, VK_RIGHT, VK_DOWN, VK_TAB});
  FocusIs([&] { return Dialog(IDC_SD_RELATIONCOMBOBOX); }, "the relation list");
  Keys({VK_F4, VK_DOWN, VK_DOWN, VK_RETURN, VK_RETURN});
  // Back in the wizard: Tab past the row buttons to the list, Enter ("Далее >").
  FocusIs([&] { return Ctl(IDC_WZ_ADDSOURCEBUTTON); }, "\"Добавить\" again");
  Keys({VK_TAB, VK_TAB, VK_TAB});
  FocusIs([&] { return Ctl(IDC_WZ_SOURCELISTVIEW); }, "the source list");
  Keys({VK_RETURN});
  // The last page: the focus is on "Готово", and Enter runs the fill.
  FocusIs([&] { return Ctl(IDC_WZ_NEXTBUTTON); }, "\"Готово\"");
  Script.Step([&] { EXPECT_EQ(Wizard->ActivePage(), Ctl(IDC_WZ_PROCESSTABSHEET)); });
  Keys({VK_RETURN});
  Script.Step([&] { EXPECT_EQ(Wizard->ActivePage(), Ctl(IDC_WZ_FIELDTABSHEET)); });
  Keys({VK_ESCAPE});

  EXPECT_EQ(Wizard->ShowModal(), Quorin::mrCancel);
  EXPECT_TRUE(Script.Finished());
  EXPECT_TRUE(Script.Boxes().empty());
  const Quorin::TStatSchemeFieldFill& Scheme = Wizard->Scheme();
  EXPECT_EQ(Scheme.FieldName, "sum");
  EXPECT_EQ(Scheme.StatFunction, Quorin::sfSum);
  ASSERT_EQ(Scheme.Sources.Count(), 1);
  EXPECT_EQ(Scheme.Sources.Items(0)->Characteristic, "price");
  EXPECT_EQ(Scheme.Sources.Items(0)->Relation, Quorin::srInside);
  EXPECT_EQ(Host.ApplyChangesCount(), 1);
  EXPECT_DOUBLE_EQ(Written(L"b1"), 150.0);  // 100 + 50 inside b1
  EXPECT_DOUBLE_EQ(Written(L"b2"), 7.0);
  EXPECT_DOUBLE_EQ(Written(L"b3"), 0.0);
}
