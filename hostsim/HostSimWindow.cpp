// The host's own window code: its main window and its thread's message hooks, each checking the
// floating-point state it runs under (TModel::CheckFpu) and, in the reloading mode, loading the
// host's control words itself as a Delphi host's handlers do.
#include "hostsim/HostSim.h"

#include <commctrl.h>

#include "hostsim/HostSimModel.h"

namespace HostSim {

namespace {

const wchar_t MainWindowClass[] = L"OrvexSimHostMainWindow";

// The model whose hooks run on this thread.
thread_local TModel* HookModel = nullptr;

bool IsProgressBar(HWND Window) {
  wchar_t Class[32];
  return Window && GetClassNameW(Window, Class, 32) > 0 && lstrcmpiW(Class, PROGRESS_CLASSW) == 0;
}

// The host's code for one message that reaches Window: checked, then reloaded where told.
void HostCodeRuns(TModel& M, THost::TFpuRoad Road, bool Reloads) {
  if (M.FpuCheck) M.CheckFpu(Road);
  if (Reloads && M.ReloadsFpu && M.FpuCheck) M.ReloadFpu();
}

LRESULT CALLBACK CallWndProcHook(int Code, WPARAM WParam, LPARAM LParam) {
  if (Code == HC_ACTION && HookModel) {
    const CWPSTRUCT& Msg = *reinterpret_cast<const CWPSTRUCT*>(LParam);
    HostCodeRuns(*HookModel, THost::frCallWndProcHook, IsProgressBar(Msg.hwnd));
  }
  return CallNextHookEx(nullptr, Code, WParam, LParam);
}

LRESULT CALLBACK GetMessageHook(int Code, WPARAM WParam, LPARAM LParam) {
  if (Code == HC_ACTION && HookModel) {
    const MSG& Msg = *reinterpret_cast<const MSG*>(LParam);
    HostCodeRuns(*HookModel, THost::frGetMessageHook, IsProgressBar(Msg.hwnd));
  }
  return CallNextHookEx(nullptr, Code, WParam, LParam);
}

LRESULT CALLBACK MainWindowProc(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam) {
  if (auto* M = reinterpret_cast<TModel*>(GetWindowLongPtrW(Window, GWLP_USERDATA))) {
    const bool Reloads =
        Msg == WM_ACTIVATE || Msg == WM_NCACTIVATE || Msg == WM_ENABLE || Msg == WM_PAINT;
    HostCodeRuns(*M, THost::frWindow, Reloads);
    if (Msg == WM_PAINT) {
      PAINTSTRUCT Paint;
      BeginPaint(Window, &Paint);
      FillRect(Paint.hdc, &Paint.rcPaint, reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1));
      EndPaint(Window, &Paint);
      return 0;
    }
  }
  return DefWindowProcW(Window, Msg, WParam, LParam);
}

}  // namespace

HWND THost::OpenMainWindow(bool Reload) {
  CloseMainWindow();
  TModel& M = *FImpl->Model;
  WNDCLASSW Class = {};
  Class.lpfnWndProc = MainWindowProc;
  Class.hInstance = GetModuleHandleW(nullptr);
  Class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  Class.lpszClassName = MainWindowClass;
  RegisterClassW(&Class);  // once per process; later calls find it there
  HWND Window = CreateWindowExW(0, MainWindowClass, L"Orvex", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                0, 0, 800, 600, nullptr, nullptr, Class.hInstance, nullptr);
  if (!Window) return nullptr;
  SetWindowLongPtrW(Window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&M));
  M.MainWindow = Window;
  M.ReloadsFpu = Reload;
  HookModel = &M;
  M.CallWndProcHook = SetWindowsHookExW(WH_CALLWNDPROC, CallWndProcHook, nullptr,
                                        GetCurrentThreadId());
  M.GetMessageHook = SetWindowsHookExW(WH_GETMESSAGE, GetMessageHook, nullptr,
                                       GetCurrentThreadId());
  return Window;
}

void THost::CloseMainWindow() {
  TModel& M = *FImpl->Model;
  if (M.CallWndProcHook) UnhookWindowsHookEx(M.CallWndProcHook);
  if (M.GetMessageHook) UnhookWindowsHookEx(M.GetMessageHook);
  M.CallWndProcHook = M.GetMessageHook = nullptr;
  if (HookModel == &M) HookModel = nullptr;
  if (M.MainWindow && GetWindowLongPtrW(M.MainWindow, GWLP_USERDATA) ==
                          reinterpret_cast<LONG_PTR>(&M)) {
    SetWindowLongPtrW(M.MainWindow, GWLP_USERDATA, 0);
    DestroyWindow(M.MainWindow);
    M.MainWindow = nullptr;
  }
}

}  // namespace HostSim
