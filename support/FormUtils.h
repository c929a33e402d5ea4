// The bases of the module's forms, and the help-cursor state.
//
// TExForm takes the help messages of a window away from the form framework:
//   WM_HELP                  result 0, nothing else (no help, not passed on to the owner);
//   WM_SYSCOMMAND SC_CONTEXTHELP (0xF180, after masking the low four bits that Windows uses)
//                            result 0; the help-cursor state is switched on and this form is
//                            recorded in it (a later command records the newer form); every
//                            other system command goes to the inherited handling;
//   WM_SETCURSOR             when the state is on and this is the recorded form: the system help
//                            cursor (IDC_HELP), result 1; otherwise the inherited handling.
// Nothing switches the state off again; clicks and keys keep working as usual. A recorded form
// that is destroyed is forgotten (the state stays on, over no form). The state is the thread's
// (see below).
//
// TNonModalForm adds nothing: its forms keep the owner their creation gives them.
#pragma once

#include "support/Forms.h"

namespace Quorin {

class TExForm : public TForm {
public:
  using TForm::TForm;
  ~TExForm() override;

protected:
  bool WndProc(UINT Msg, WPARAM WParam, LPARAM LParam, LRESULT& Result) override;
};

class TNonModalForm : public TExForm {
public:
  using TExForm::TExForm;
};

// The help-cursor state of the calling thread: one per user-interface thread, as Windows keeps
// the cursor and the mouse capture per thread; a host thread's context help shows over that
// thread's forms and never over another thread's.
bool HelpCursorActive();
const TExForm* HelpCursorForm();

}  // namespace Quorin
