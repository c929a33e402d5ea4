#include "support/FormUtils.h"

namespace Quorin {

namespace {

// Off when the module is loaded.
bool HelpCursorOn = false;
const TExForm* HelpCursorOwner = nullptr;

}  // namespace

bool HelpCursorActive() noexcept { return HelpCursorOn; }
const TExForm* HelpCursorForm() noexcept { return HelpCursorOwner; }

TExForm::~TExForm() {
  if (HelpCursorOwner == this) HelpCursorOwner = nullptr;
}

bool TExForm::WndProc(UINT Msg, WPARAM WParam, LPARAM LParam, LRESULT& Result) {
  switch (Msg) {
    case WM_HELP:
      Result = 0;
      return true;
    case WM_SYSCOMMAND:
      if ((WParam & 0xFFF0) == SC_CONTEXTHELP) {
        HelpCursorOn = true;
        HelpCursorOwner = this;
        Result = 0;
        return true;
      }
      break;
    case WM_SETCURSOR:
      if (HelpCursorOn && HelpCursorOwner == this) {
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
