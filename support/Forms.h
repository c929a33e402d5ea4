// The module's forms: dialog windows built from DIALOGEX resources of the module, with one
// dispatch pattern, a modal loop of their own and an exception barrier at the top of the dialog
// procedure.
//
// Resources. A form's template is found by name in the module that holds this code
// (ModuleInstance: Quorin.dll in the product, the program itself in a test), so every program
// and library that shows forms links the form resources (see wizard/CMakeLists.txt). The
// positions and sizes in a template are pixels at 120 dpi, not dialog units: when the dialog
// manager has created the controls, the form moves every control to (value x screen dpi / 120)
// and sizes its client area from the template's cx and cy in the same way. Every control of a
// template has an id of its own. The template's FONT 8, "MS Sans Serif" is -13 px at 120 dpi.
//
// Common controls version 6. The module carries a manifest (RT_MANIFEST, id 2) that asks for
// them; forms are created, and their modal loop runs, inside the activation context made from
// it (TActivationScope), because a module inside a host cannot rely on the host's manifest.
//
// Life of a form:
//   auto Form = CreateForm<TMyForm>(args...);   // constructor, CreateHandle, FormCreate
//   int Result = Form->ShowModal();             // mrOk / mrCancel / ...
//   // leaving the scope: FormDestroy, DestroyWindow, delete (TFormPtr)
// CreateHandle creates the window hidden, lays it out, registers it with the dialog keyboard
// handling (AddDialogWindow) and the application's idle event, and then runs FormCreate; an
// error in FormCreate propagates to the creator and the form is destroyed. A derived form's
// destructor calls DestroyHandle() first, so that the messages of its window's destruction
// (TVN_DELETEITEM of a tree, for instance) still reach the derived handlers.
//
// Dispatch. DialogProc stores the form at WM_INITDIALOG and forwards every message to WndProc
// (virtual; a derived form's override falls back to the inherited one). TForm::WndProc turns
// WM_COMMAND into CommandHandler (after it, a click of a button with a modal result sets the
// form's ModalResult; IDOK gives mrOk and IDCANCEL mrCancel unless told otherwise, and Esc is
// IDCANCEL), WM_NOTIFY into NotifyHandler and WM_CLOSE into ModalResult mrCancel (or hiding, when
// the form is not modal). A derived form maps control ids to the handlers named after its
// resource (NextButtonClick, SourceTreeViewExpanding, ...). Clicks of disabled buttons are
// dropped.
//
// Errors. An exception that escapes a handler ends that handler and goes to the default error
// report (support/ErrorReport.h); the form stays open. No exception leaves DialogProc.
//
// ShowModal: runs the idle handlers once, shows the form, disables its owner (a window of the
// calling thread; another thread's is left as it is), gives the focus
// to the active control (or the first enabled tab stop), and runs the form's loop: every
// pending message is dispatched with the dialog keyboard handling (Enter presses the default
// button, Esc the cancel button); whenever the queue is empty the idle handlers of every open
// form run, and the loop waits for the next message. It ends when ModalResult is set (or a
// WM_QUIT arrives, which is posted again and gives mrCancel), enables the owner, hides the form
// and returns ModalResult.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <exception>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "support/Handles.h"
#include "support/MessageLoop.h"

namespace Quorin {

// Modal results.
constexpr int mrNone = 0;
constexpr int mrOk = IDOK;
constexpr int mrCancel = IDCANCEL;

// Pixels of the forms' design resolution.
constexpr int DesignDpi = 120;

// The module that holds this code.
HINSTANCE ModuleInstance() noexcept;

// The resolution the forms are scaled to (the screen's, read once), and a design-resolution
// length scaled to it.
int ScreenDpi();
int ScalePixels(int Value);
// Forms that this thread creates from now on are scaled to Dpi instead of the screen's
// resolution (0: the screen's again): their layout, their fonts and the label fitting. For tests
// and pictures at other resolutions without restarting the system.
void SetFormDpi(int Dpi);

// The module's activation context (from its manifest resource id 2), made once; null when the
// module has no manifest. InitFormRuntime registers the common controls inside it, once.
HANDLE ModuleActCtx() noexcept;
void InitFormRuntime();

// Activates the module's activation context for its lifetime (nothing when there is none).
class TActivationScope {
public:
  TActivationScope() noexcept;
  ~TActivationScope();
  TActivationScope(const TActivationScope&) = delete;
  TActivationScope& operator=(const TActivationScope&) = delete;

private:
  ULONG_PTR FCookie = 0;
  bool FActive = false;
};

// The control layout of a DIALOGEX template, as written in the resource.
struct TTemplateItem {
  DWORD Id;
  DWORD Style;
  DWORD ExStyle;
  short X, Y, Cx, Cy;
  std::wstring ClassName;  // "" when the class is given by ordinal
  WORD ClassOrdinal;       // 0x0080 button ... when given by ordinal
  std::wstring Text;
};
struct TTemplateLayout {
  DWORD Style = 0, ExStyle = 0;
  short X = 0, Y = 0, Cx = 0, Cy = 0;
  std::wstring Caption;
  // The template's FONT (DS_SETFONT): size in points, weight, italic, character set, face.
  WORD FontPoints = 0, FontWeight = 0;
  BYTE FontItalic = 0, FontCharset = 0;
  std::wstring FontFace;
  std::vector<TTemplateItem> Items;
};
// Parses a DIALOGEX template; raises an error on anything else or on a truncated one.
TTemplateLayout ParseDialogTemplate(const void* Data, size_t Size);

// The window of the form that is in front: the newest open form that is visible and enabled,
// else the thread's active window.
HWND ActiveFormWindow() noexcept;
// The window of the oldest open form (the one the others are opened over), or null.
HWND MainFormWindow() noexcept;

enum TFormPosition { poDesigned, poScreenCenter, poMainFormCenter };

class TForm {
public:
  // A form of the named DIALOGEX template, owned by Owner. The default owner is the form in
  // front when the window is created (ActiveFormWindow).
  explicit TForm(const wchar_t* TemplateName);
  TForm(const wchar_t* TemplateName, HWND Owner);
  virtual ~TForm();
  TForm(const TForm&) = delete;
  TForm& operator=(const TForm&) = delete;

  void CreateHandle();
  // FormDestroy, then the window and its controls go; safe to call more than once. A window
  // that someone else destroys ends the form the same way: FormDestroy runs (at WM_DESTROY,
  // while the controls are there), the form leaves the idle event and the dialog list, and a
  // modal loop ends with mrCancel; Handle() is null afterwards.
  void DestroyHandle() noexcept;

  HWND Handle() const noexcept { return FHandle; }
  // The control with that id; raises an error when there is none.
  HWND Control(int Id) const;

  int ShowModal();
  bool Modal() const noexcept { return FModal; }
  int ModalResult() const noexcept { return FModalResult; }
  void SetModalResult(int Result) noexcept { FModalResult = Result; }

  // A form that is not modal: shown and hidden.
  void Show();
  void Hide();

  // The template's layout as written in the resource (design pixels).
  const TTemplateLayout& Layout() const noexcept { return FLayout; }

  // The control that gets the focus when the form is shown.
  void SetActiveControl(HWND Control) noexcept { FActiveControl = Control; }

  // Gives a word-wrapped label the height that the tallest of Texts needs at its width, in its
  // own font, when the scaled layout gives it less: the label grows, the controls that begin
  // below its top move down by as much (those that enclose it grow with it) and so does the
  // form's bottom edge. A label that is high enough keeps the layout as it is.
  void FitLabelHeight(HWND Label, const std::vector<std::wstring>& Texts);

protected:
  virtual void FormCreate() {}
  virtual void FormDestroy() {}
  // The application's idle event, for every open form.
  virtual void ApplicationIdle() {}

  // Returns true when the message is handled, with its result in Result.
  virtual bool WndProc(UINT Msg, WPARAM WParam, LPARAM LParam, LRESULT& Result);
  // WM_COMMAND from a control or an accelerator; true when handled.
  virtual bool CommandHandler(int Id, int Code, HWND Ctl);
  // WM_NOTIFY; true when handled, with the notification's result in Result.
  virtual bool NotifyHandler(const NMHDR& Header, LRESULT& Result);

  void SetPosition(TFormPosition Position) noexcept { FPosition = Position; }
  // The modal result that a click of the button Id gives (mrNone: none).
  void SetButtonModalResult(int Id, int Result);
  // A font owned by the form, its height in pixels at 120 dpi (negative: character height).
  HFONT CreateFormFont(const wchar_t* Face, int Height, bool Bold = false);

private:
  static INT_PTR CALLBACK DialogProc(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam);
  void InitDialog(HWND Window);
  void ApplyLayout();
  void PlaceForm();
  void RunIdle() noexcept;
  // The form's end, before its window goes: FormDestroy, idle event, dialog list, modal loop.
  void EndForm() noexcept;
  void FocusFirstControl();

  std::wstring FTemplateName;
  HWND FOwner = nullptr;
  bool FDefaultOwner = true;
  HWND FHandle = nullptr;
  TTemplateLayout FLayout;
  TFormPosition FPosition = poDesigned;
  bool FModal = false;
  int FModalResult = mrNone;
  HWND FActiveControl = nullptr;
  std::map<int, int> FButtonResults;
  std::vector<TGdiObject> FFonts;
  TIdleHandle FIdleHandle = 0;
  bool FDestroying = false;
  std::exception_ptr FInitError;
};

struct TFormDeleter {
  void operator()(TForm* Form) const noexcept {
    if (Form) {
      Form->DestroyHandle();
      delete Form;
    }
  }
};
template <class T> using TFormPtr = std::unique_ptr<T, TFormDeleter>;

// A new form with its window created (and FormCreate run).
template <class T, class... A>
TFormPtr<T> CreateForm(A&&... Args) {
  TFormPtr<T> Form(new T(std::forward<A>(Args)...));
  Form->CreateHandle();
  return Form;
}

// A window procedure body behind the exception barrier: an escaping error goes to the error
// report and the procedure returns OnError.
template <class F>
LRESULT GuardedWindowProc(F&& Body, LRESULT OnError = 0) noexcept;

}  // namespace Quorin

#include "support/ErrorReport.h"

namespace Quorin {
template <class F>
LRESULT GuardedWindowProc(F&& Body, LRESULT OnError) noexcept {
  try {
    return Body();
  } catch (...) {
    HandleException();
    return OnError;
  }
}
}  // namespace Quorin
