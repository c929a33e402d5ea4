// Helpers for the tests that drive the module's forms through their real controls.
//
// TUiScript: steps that run one after the other, on timer ticks, inside whatever message loop
// the code under test runs (a form's ShowModal, ProcessMessages in Run); a step runs only after
// an idle pass of the application has come since the previous one, so the idle handlers (the
// forms' button updates) have always run in between. On every tick the
// script also looks for message boxes of this thread: each one is read (caption, text, icon,
// owner), recorded and closed with OK. After the last step, a form still open after a few
// seconds is a test failure and is closed, so that a broken test cannot hang.
//
//   TUiScript Script;
//   Script.Step([&] { SendMessageW(Tree, ...); });
//   Script.Step([&] { ClickButton(FindFormWindow(L"Caption"), IDOK); });
//   int Result = Form->ShowModal();
//   EXPECT_TRUE(Script.Finished());
//   ASSERT_EQ(Script.Boxes().size(), 1u);  EXPECT_EQ(Script.Boxes()[0].Text, L"...");
//
// Code that shows a message box without a loop of its own to step in: Script.Run(Action) runs
// Action with the script's timer on, then pumps messages until every step has run.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

namespace QuorinTest {

struct TSeenMessageBox {
  std::wstring Caption;
  std::wstring Text;
  HWND Owner = nullptr;
  bool ErrorIcon = false;  // shows the system's error icon
};

class TUiScript {
public:
  TUiScript();
  ~TUiScript();
  TUiScript(const TUiScript&) = delete;
  TUiScript& operator=(const TUiScript&) = delete;

  void Step(std::function<void()> Action);
  // Runs Action with the timer on, then pumps until the steps have run (or a timeout).
  void Run(const std::function<void()>& Action);

  bool Finished() const noexcept { return FNext >= FSteps.size(); }
  const std::vector<TSeenMessageBox>& Boxes() const noexcept { return FBoxes; }

private:
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);
  void OnTick();

  UINT_PTR FTimer = 0;
  unsigned FIdleHandle = 0;
  bool FIdlePassed = false;
  std::vector<std::function<void()>> FSteps;
  size_t FNext = 0;
  bool FInStep = false;
  int FTicksAfterEnd = 0;
  std::vector<TSeenMessageBox> FBoxes;
};

// Message boxes of this thread that are open now.
std::vector<HWND> OpenMessageBoxes();
TSeenMessageBox ReadMessageBox(HWND Box);
// The visible top-level dialog window of this thread with that caption (not a message box).
HWND FindFormWindow(const std::wstring& Caption);

// Runs a command line, waits for it and gives its exit code (or -1 when it could not start or
// did not end within the timeout).
int RunProgram(const std::wstring& CommandLine, DWORD TimeoutMs = 180000);

// What a user's click of a button does (BM_CLICK, which sends the button's own mouse messages).
void ClickButton(HWND Form, int Id);
// The real mouse (SendInput) moved to the centre of a window, and a left click there; the
// running loop dispatches the input.
void MoveMouseTo(HWND Window);
void MouseClick(HWND Window);

// A key pressed and released on a window: WM_KEYDOWN and WM_KEYUP posted to it, for the running
// loop to dispatch with the dialog keyboard handling (call ProcessMessages when none runs).
void PressKey(HWND Window, WORD VirtualKey);

std::wstring WindowText(HWND Window);
// The control with that id among a window's descendants, or null.
HWND FindControl(HWND Form, int Id);
// The texts of a combo box's items, in order.
std::vector<std::wstring> ComboItems(HWND Combo);

// A plain top-level window that stands in for the host's main window and counts the messages it
// receives.
class TOwnerWindow {
public:
  TOwnerWindow();
  ~TOwnerWindow();
  HWND Handle() const noexcept { return FHandle; }
  int Count(UINT Msg) const;

private:
  static LRESULT CALLBACK Proc(HWND, UINT, WPARAM, LPARAM);
  HWND FHandle = nullptr;
  std::vector<UINT> FSeen;
};

}  // namespace QuorinTest
