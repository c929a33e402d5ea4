#include <gtest/gtest.h>

#include <windows.h>

#include "TestForm.h"
#include "support/FormUtils.h"
#include "support/MessageLoop.h"
#include "tests/uitest/UiTest.h"

using namespace Quorin;
using namespace QuorinTest;

namespace {

BOOL CALLBACK CountVisible(HWND W, LPARAM Arg) {
  if (IsWindowVisible(W)) ++*reinterpret_cast<int*>(Arg);
  return TRUE;
}

int ThreadWindowCount() {
  int N = 0;
  EnumThreadWindows(GetCurrentThreadId(), CountVisible, reinterpret_cast<LPARAM>(&N));
  return N;
}

// The cursor that a mouse move over Control sets, as the real mouse move sets it: the control
// receives WM_SETCURSOR and passes it to its form first.
HCURSOR CursorOver(HWND Control) {
  SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  SendMessageW(Control, WM_SETCURSOR, reinterpret_cast<WPARAM>(Control),
               MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  return GetCursor();
}

}  // namespace

TEST(FormHelp, F1ShowsNothingAndChangesNothing) {
  // A plain form passes the help request on to its owner; the form bases swallow it.
  for (bool Plain : {true, false}) {
    SCOPED_TRACE(Plain ? "plain form" : "TExForm");
    TOwnerWindow Owner;
    TFormPtr<TForm> Form;
    if (Plain)
      Form = CreateForm<TPlainTestForm>(Owner.Handle());
    else
      Form = CreateForm<TTestForm>(Owner.Handle());
    int WindowsBefore = 0, WindowsAfter = 0;
    bool StillOpen = false;
    TUiScript Script;
    Script.Step([&] {
      WindowsBefore = ThreadWindowCount();
      PressKey(Form->Control(IDC_TEST_TREE), VK_F1);
      PressKey(Form->Control(IDOK), VK_F1);
    });
    Script.Step([&] {
      HELPINFO Info = {sizeof Info, HELPINFO_WINDOW, IDOK, Form->Control(IDOK), 0, {0, 0}};
      SendMessageW(Form->Handle(), WM_HELP, 0, reinterpret_cast<LPARAM>(&Info));
    });
    Script.Step([&] {
      WindowsAfter = ThreadWindowCount();
      StillOpen = Form->ModalResult() == mrNone && IsWindowVisible(Form->Handle());
      ClickButton(Form->Handle(), IDCANCEL);
    });
    EXPECT_EQ(Form->ShowModal(), mrCancel);
    EXPECT_TRUE(StillOpen);
    EXPECT_EQ(WindowsAfter, WindowsBefore);
    if (Plain)
      EXPECT_GE(Owner.Count(WM_HELP), 1);
    else
      EXPECT_EQ(Owner.Count(WM_HELP), 0);
  }
}

TEST(FormHelp, ContextHelpPutsTheHelpCursorOverThatFormOnly) {
  HCURSOR Help = LoadCursorW(nullptr, IDC_HELP);
  TOwnerWindow Owner;
  auto Wizard = CreateForm<TTestForm>(Owner.Handle());
  auto Dialog = CreateForm<TTestForm>(Owner.Handle());
  Wizard->Show();
  Dialog->Show();

  EXPECT_EQ(SendMessageW(Dialog->Handle(), WM_SYSCOMMAND, SC_CONTEXTHELP, 0), 0);
  EXPECT_TRUE(HelpCursorActive());
  EXPECT_EQ(HelpCursorForm(), Dialog.get());
  EXPECT_EQ(CursorOver(Dialog->Control(IDOK)), Help);
  EXPECT_EQ(CursorOver(Dialog->Control(IDC_TEST_TREE)), Help);
  EXPECT_EQ(CursorOver(Dialog->Handle()), Help);
  EXPECT_NE(CursorOver(Wizard->Control(IDOK)), Help);
  EXPECT_NE(CursorOver(Wizard->Handle()), Help);

  // The buttons of both forms still work.
  ClickButton(Dialog->Handle(), IDC_TEST_OTHER);
  ClickButton(Wizard->Handle(), IDC_TEST_OTHER);
  EXPECT_EQ(Dialog->OtherClicks, 1);
  EXPECT_EQ(Wizard->OtherClicks, 1);

  // A later command records the newer form.
  SendMessageW(Wizard->Handle(), WM_SYSCOMMAND, SC_CONTEXTHELP, 0);
  EXPECT_EQ(HelpCursorForm(), Wizard.get());
  EXPECT_EQ(CursorOver(Wizard->Control(IDOK)), Help);
  EXPECT_NE(CursorOver(Dialog->Control(IDOK)), Help);

  // A destroyed recorded form is forgotten: no later form at its place inherits the cursor.
  Wizard.reset();
  EXPECT_TRUE(HelpCursorActive());
  EXPECT_EQ(HelpCursorForm(), nullptr);
  EXPECT_NE(CursorOver(Dialog->Control(IDOK)), Help);
}

TEST(FormHelp, ModalButtonsWorkUnderTheHelpCursor) {
  auto Form = CreateForm<TTestForm>(nullptr);
  TUiScript Script;
  Script.Step([&] { SendMessageW(Form->Handle(), WM_SYSCOMMAND, SC_CONTEXTHELP, 0); });
  Script.Step([&] { ClickButton(Form->Handle(), IDOK); });
  EXPECT_EQ(Form->ShowModal(), mrOk);
  EXPECT_EQ(HelpCursorForm(), Form.get());
}

TEST(FormHelp, TheContextHelpCommandIsRecognisedWhateverItsLowFourBits) {
  auto Form = CreateForm<TTestForm>(nullptr);
  ASSERT_NE(HelpCursorForm(), Form.get());
  TUiScript Script;
  // Windows uses the low four bits of a system command itself; 0xF182 is the context-help command.
  Script.Step([&] { PostMessageW(Form->Handle(), WM_SYSCOMMAND, SC_CONTEXTHELP | 0x2, 0); });
  Script.Step([&] { EXPECT_EQ(HelpCursorForm(), Form.get()); });
  // Other system commands go on as usual: the system menu's close command closes the form.
  Script.Step([&] { PostMessageW(Form->Handle(), WM_SYSCOMMAND, SC_CLOSE | 0x3, 0); });
  EXPECT_EQ(Form->ShowModal(), mrCancel);
  EXPECT_TRUE(Script.Finished());
}

TEST(FormHelp, UnderTheRealMouseTheHelpCursorShowsAndClicksStillWork) {
  HCURSOR Help = LoadCursorW(nullptr, IDC_HELP);
  auto Form = CreateForm<TTestForm>(nullptr);
  auto Other = CreateForm<TTestForm>(nullptr);
  HCURSOR OverForm = nullptr, OverOther = nullptr;
  int FormClicks = -1, OtherClicks = -1;
  TUiScript Script;
  Script.Step([&] {
    Other->Show();
    SetWindowPos(Other->Handle(), HWND_TOP, 500, 400, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
    SendMessageW(Form->Handle(), WM_SYSCOMMAND, SC_CONTEXTHELP, 0);
    MoveMouseTo(Form->Control(IDC_TEST_LABEL));
  });
  Script.Step([&] {});
  Script.Step([&] {
    OverForm = GetCursor();
    MoveMouseTo(Other->Control(IDC_TEST_LABEL));
  });
  Script.Step([&] {});
  Script.Step([&] {
    OverOther = GetCursor();
    MouseClick(Other->Control(IDC_TEST_OTHER));
  });
  Script.Step([&] {});
  Script.Step([&] { MouseClick(Form->Control(IDC_TEST_OTHER)); });
  Script.Step([&] {});
  Script.Step([&] {
    FormClicks = Form->OtherClicks;
    OtherClicks = Other->OtherClicks;
    MouseClick(Form->Control(IDOK));
  });
  EXPECT_EQ(Form->ShowModal(), mrOk);
  EXPECT_EQ(OverForm, Help);
  EXPECT_NE(OverOther, Help);
  EXPECT_EQ(FormClicks, 1);
  EXPECT_EQ(OtherClicks, 1);
}
