#include "tests/uitest/UiTest.h"

#include <gtest/gtest.h>

#include "support/Handles.h"
#include "support/MessageLoop.h"

namespace QuorinTest {

int RunProgram(const std::wstring& CommandLine, DWORD TimeoutMs) {
  STARTUPINFOW Startup{};
  Startup.cb = sizeof(Startup);
  PROCESS_INFORMATION Process{};
  std::vector<wchar_t> Line(CommandLine.begin(), CommandLine.end());
  Line.push_back(L'\0');
  if (!CreateProcessW(nullptr, Line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &Startup, &Process))
    return -1;
  Quorin::TKernelHandle ProcessHandle(Process.hProcess), Thread(Process.hThread);
  if (WaitForSingleObject(Process.hProcess, TimeoutMs) != WAIT_OBJECT_0) {
    TerminateProcess(Process.hProcess, 1);
    return -1;
  }
  DWORD Code = 0;
  GetExitCodeProcess(Process.hProcess, &Code);
  return static_cast<int>(Code);
}

namespace {

TUiScript* CurrentScript = nullptr;

// Ticks after the last step before an open form counts as left open by a broken test.
constexpr int TicksAfterEndLimit = 300;

bool IsMessageBox(HWND Window) {
  wchar_t Class[16] = {};
  GetClassNameW(Window, Class, 16);
  if (wcscmp(Class, L"#32770") != 0 || !IsWindowVisible(Window)) return false;
  HWND Text = GetDlgItem(Window, 0xFFFF);
  if (!Text) return false;
  GetClassNameW(Text, Class, 16);
  return _wcsicmp(Class, L"Static") == 0;
}

BOOL CALLBACK CollectBoxes(HWND Window, LPARAM Out) {
  if (IsMessageBox(Window)) reinterpret_cast<std::vector<HWND>*>(Out)->push_back(Window);
  return TRUE;
}

struct TFindForm {
  const std::wstring* Caption;
  HWND Found;
};

BOOL CALLBACK FindForm(HWND Window, LPARAM Arg) {
  auto* F = reinterpret_cast<TFindForm*>(Arg);
  wchar_t Class[16] = {};
  GetClassNameW(Window, Class, 16);
  if (wcscmp(Class, L"#32770") == 0 && IsWindowVisible(Window) && !IsMessageBox(Window) &&
      WindowText(Window) == *F->Caption) {
    F->Found = Window;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK CloseForms(HWND Window, LPARAM) {
  wchar_t Class[16] = {};
  GetClassNameW(Window, Class, 16);
  if (wcscmp(Class, L"#32770") == 0 && IsWindowVisible(Window))
    PostMessageW(Window, WM_CLOSE, 0, 0);
  return TRUE;
}

}  // namespace

std::wstring WindowText(HWND Window) {
  int N = GetWindowTextLengthW(Window);
  std::wstring S(static_cast<size_t>(N) + 1, L'\0');
  N = GetWindowTextW(Window, &S[0], N + 1);
  S.resize(static_cast<size_t>(N > 0 ? N : 0));
  return S;
}

namespace {

struct TControlSearch {
  int Id;
  HWND Found;
};

BOOL CALLBACK MatchControl(HWND Child, LPARAM P) {
  auto* S = reinterpret_cast<TControlSearch*>(P);
  if (GetDlgCtrlID(Child) != S->Id) return TRUE;
  S->Found = Child;
  return FALSE;
}

}  // namespace

HWND FindControl(HWND Form, int Id) {
  TControlSearch Search{Id, nullptr};
  EnumChildWindows(Form, MatchControl, reinterpret_cast<LPARAM>(&Search));
  return Search.Found;
}

std::vector<std::wstring> ComboItems(HWND Combo) {
  std::vector<std::wstring> Items;
  LRESULT Count = SendMessageW(Combo, CB_GETCOUNT, 0, 0);
  for (LRESULT I = 0; I < Count; ++I) {
    LRESULT Length = SendMessageW(Combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(I), 0);
    std::wstring Text(static_cast<size_t>(Length > 0 ? Length : 0) + 1, L'\0');
    SendMessageW(Combo, CB_GETLBTEXT, static_cast<WPARAM>(I), reinterpret_cast<LPARAM>(&Text[0]));
    Text.resize(static_cast<size_t>(Length > 0 ? Length : 0));
    Items.push_back(Text);
  }
  return Items;
}

std::vector<HWND> OpenMessageBoxes() {
  std::vector<HWND> Boxes;
  EnumThreadWindows(GetCurrentThreadId(), CollectBoxes, reinterpret_cast<LPARAM>(&Boxes));
  return Boxes;
}

TSeenMessageBox ReadMessageBox(HWND Box) {
  TSeenMessageBox Seen;
  Seen.Caption = WindowText(Box);
  Seen.Text = WindowText(GetDlgItem(Box, 0xFFFF));
  Seen.Owner = GetWindow(Box, GW_OWNER);
  HICON Error = LoadIconW(nullptr, IDI_HAND);
  for (HWND C = GetWindow(Box, GW_CHILD); C; C = GetWindow(C, GW_HWNDNEXT)) {
    HICON Icon = reinterpret_cast<HICON>(SendMessageW(C, STM_GETICON, 0, 0));
    if (Icon && Icon == Error) Seen.ErrorIcon = true;
  }
  return Seen;
}

HWND FindFormWindow(const std::wstring& Caption) {
  TFindForm F{&Caption, nullptr};
  EnumThreadWindows(GetCurrentThreadId(), FindForm, reinterpret_cast<LPARAM>(&F));
  return F.Found;
}

void ClickButton(HWND Form, int Id) {
  HWND Button = GetDlgItem(Form, Id);
  EXPECT_NE(Button, nullptr) << "no button " << Id;
  if (Button) SendMessageW(Button, BM_CLICK, 0, 0);
}

namespace {

INPUT MouseInputAt(HWND Window, DWORD Flags) {
  RECT R;
  GetWindowRect(Window, &R);
  INPUT In = {};
  In.type = INPUT_MOUSE;
  In.mi.dx = MulDiv((R.left + R.right) / 2, 65536, GetSystemMetrics(SM_CXSCREEN));
  In.mi.dy = MulDiv((R.top + R.bottom) / 2, 65536, GetSystemMetrics(SM_CYSCREEN));
  In.mi.dwFlags = Flags | MOUSEEVENTF_ABSOLUTE;
  return In;
}

}  // namespace

void MoveMouseTo(HWND Window) {
  INPUT In = MouseInputAt(Window, MOUSEEVENTF_MOVE);
  SendInput(1, &In, sizeof In);
}

void MouseClick(HWND Window) {
  INPUT In[3] = {MouseInputAt(Window, MOUSEEVENTF_MOVE),
                 MouseInputAt(Window, MOUSEEVENTF_LEFTDOWN),
                 MouseInputAt(Window, MOUSEEVENTF_LEFTUP)};
  SendInput(3, In, sizeof In[0]);
}

void PressKey(HWND Window, WORD VirtualKey) {
  UINT Scan = MapVirtualKeyW(VirtualKey, MAPVK_VK_TO_VSC);
  PostMessageW(Window, WM_KEYDOWN, VirtualKey, static_cast<LPARAM>(1 | (Scan << 16)));
  PostMessageW(Window, WM_KEYUP, VirtualKey,
               static_cast<LPARAM>(1 | (Scan << 16) | (1u << 30) | (1u << 31)));
}

TUiScript::TUiScript() {
  EXPECT_EQ(CurrentScript, nullptr) << "one script at a time";
  CurrentScript = this;
  FTimer = SetTimer(nullptr, 0, USER_TIMER_MINIMUM, &TUiScript::Tick);
  FIdleHandle = Quorin::AddIdleHandler([this] { FIdlePassed = true; });
}

TUiScript::~TUiScript() {
  if (FTimer) KillTimer(nullptr, FTimer);
  Quorin::RemoveIdleHandler(FIdleHandle);
  if (CurrentScript == this) CurrentScript = nullptr;
}

void TUiScript::Step(std::function<void()> Action) { FSteps.push_back(std::move(Action)); }

void TUiScript::Run(const std::function<void()>& Action) {
  Action();
  DWORD Start = GetTickCount();
  while (!Finished() && GetTickCount() - Start < 10000) {
    Quorin::ProcessMessages();
    Quorin::RunIdleHandlers();
    Sleep(1);
  }
  Quorin::ProcessMessages();
  EXPECT_TRUE(Finished()) << "steps left after the action";
}

void CALLBACK TUiScript::Tick(HWND, UINT, UINT_PTR, DWORD) {
  if (CurrentScript) CurrentScript->OnTick();
}

void TUiScript::OnTick() {
  std::vector<HWND> Open = OpenMessageBoxes();
  for (HWND Box : Open) {
    FBoxes.push_back(ReadMessageBox(Box));
    ShowWindow(Box, SW_HIDE);  // read once
    PostMessageW(Box, WM_COMMAND, IDOK, 0);
  }
  if (!Open.empty()) return;
  if (FInStep) return;
  if (FNext < FSteps.size()) {
    if (!FIdlePassed) return;
    FIdlePassed = false;
    FInStep = true;
    std::function<void()> Action = FSteps[FNext];
    ++FNext;
    try {
      Action();
    } catch (const std::exception& E) {
      ADD_FAILURE() << "step " << FNext << " threw: " << E.what();
    } catch (...) {
      ADD_FAILURE() << "step " << FNext << " threw";
    }
    FInStep = false;
    return;
  }
  if (++FTicksAfterEnd == TicksAfterEndLimit) {
    ADD_FAILURE() << "a form is still open after the last step; closing it";
    EnumThreadWindows(GetCurrentThreadId(), CloseForms, 0);
  }
}

// ---- TOwnerWindow ---------------------------------------------------------------------------

TOwnerWindow::TOwnerWindow() {
  static bool Registered = false;
  if (!Registered) {
    WNDCLASSW Class = {};
    Class.lpfnWndProc = &TOwnerWindow::Proc;
    Class.hInstance = GetModuleHandleW(nullptr);
    Class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    Class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    Class.lpszClassName = L"QuorinTestOwner";
    RegisterClassW(&Class);
    Registered = true;
  }
  FHandle = CreateWindowExW(0, L"QuorinTestOwner", L"Owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                            0, 0, 800, 600, nullptr, nullptr, GetModuleHandleW(nullptr), this);
}

TOwnerWindow::~TOwnerWindow() {
  if (FHandle) DestroyWindow(FHandle);
}

int TOwnerWindow::Count(UINT Msg) const {
  int N = 0;
  for (UINT M : FSeen) N += M == Msg;
  return N;
}

LRESULT CALLBACK TOwnerWindow::Proc(HWND Window, UINT Msg, WPARAM W, LPARAM L) {
  if (Msg == WM_NCCREATE) {
    auto* Create = reinterpret_cast<CREATESTRUCTW*>(L);
    SetWindowLongPtrW(Window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(Create->lpCreateParams));
  }
  auto* Self = reinterpret_cast<TOwnerWindow*>(GetWindowLongPtrW(Window, GWLP_USERDATA));
  if (Self) {
    try {
      Self->FSeen.push_back(Msg);
    } catch (...) {
    }
    if (Msg == WM_NCDESTROY) Self->FHandle = nullptr;
  }
  return DefWindowProcW(Window, Msg, W, L);
}

}  // namespace QuorinTest
