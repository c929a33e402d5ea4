#include "support/FormUtils.h"

#include "support/ThreadState.h"

namespace Quorin {

bool HelpCursorActive() { return ThisThreadState().HelpCursorOn; }
const TExForm* HelpCursorForm() { return ThisThreadState().HelpCursorOwner; }

TExForm::~TExForm() {
  // A form is destroyed on the thread that made it, whose state records it.
  try {
    TThreadState& State = ThisThreadState();
    if (State.HelpCursorOwner == this) State.HelpCursorOwner = nullptr;
  } catch (...) {
    // No state could be made: then none records this form.
  }
}

bool TExForm::WndProc(UINT Msg, WPARAM WParam, LPARAM LParam, LRESULT& Result) {
  switch (Msg) {
    case WM_HELP:
      Result = 0;
      return true;
    case WM_SYSCOMMAND:
      if ((WParam & 0xFFF0) == SC_CONTEXTHELP) {
        TThreadState& State = ThisThreadState();
        State.HelpCursorOn = true;
        State.HelpCursorOwner = this;
        Result = 0;
        return true;
      }
      break;
    case WM_SETCURSOR:
      if (HelpCursorForm() == this && HelpCursorActive()) {
        SetCursor(LoadCursorW(nullptr, IDC_HELP));
        Result = 1;
        return true;
      }
      break;
    default:
      break;
  }
  return TForm::WndProc(Msg, WParam, LParam, Result);
}

}  // namespace Quorin
