#include "support/Progresses.h"

#include <commctrl.h>

#include "support/MessageLoop.h"
#include "support/Strings.h"

namespace Quorin {

namespace {

void ShowControl(HWND Control, bool Visible) { ShowWindow(Control, Visible ? SW_SHOW : SW_HIDE); }

int32_t WidthOf(HWND Control) {
  RECT R;
  if (!GetWindowRect(Control, &R)) return 0;
  return R.right - R.left;
}

}  // namespace

void TProgress::SetProgressLabel(HWND Label) {
  FLabel = Label;
  if (FLabel) ShowControl(FLabel, FVisible);
}

void TProgress::SetProgressBar(HWND Bar) {
  FBar = Bar;
  if (FBar) {
    SendMessageW(FBar, PBM_SETRANGE32, 0, FBarMax);
    SendMessageW(FBar, PBM_SETPOS, static_cast<WPARAM>(FBarPosition), 0);
    ShowControl(FBar, FVisible);
  }
}

void TProgress::SetVisible(bool Value) {
  if (Value == FVisible) return;
  FVisible = Value;
  if (FLabel) ShowControl(FLabel, FVisible);
  if (FBar) ShowControl(FBar, FVisible);
}

void TProgress::Start(const std::string& Caption, int32_t Max) {
  FMax = Max;
  FPosition = 0;
  FBarMax = FBar ? WidthOf(FBar) : 0;
  FBarPosition = 0;
  if (FLabel) SetWindowTextW(FLabel, ToWide(Caption).c_str());
  if (FBar) {
    SendMessageW(FBar, PBM_SETPOS, 0, 0);
    SendMessageW(FBar, PBM_SETRANGE32, 0, FBarMax);
  }
  MessagePass();
}

void TProgress::SetPosition(int32_t Value) {
  FPosition = Value;
  if (!FBar || FMax <= 0) return;
  const int32_t Scaled = MulDiv(Value, FBarMax, FMax);
  if (Scaled == FBarPosition) return;
  FBarPosition = Scaled;
  SendMessageW(FBar, PBM_SETPOS, static_cast<WPARAM>(Scaled), 0);
  MessagePass();
}

void TProgress::MessagePass() {
  ++FMessagePasses;
  if (FPump) FPump();
  else ProcessMessages();
}

}  // namespace Quorin
