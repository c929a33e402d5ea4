#include "support/Forms.h"

#include <climits>
#include <cstring>

#include "support/ErrorReport.h"
#include "support/Errors.h"
#include "support/Strings.h"
#include "support/ThreadState.h"

namespace Quorin {

// ---- module, resolution, activation context ------------------------------------------------

HINSTANCE ModuleInstance() noexcept {
  static HINSTANCE Instance = [] {
    HMODULE Module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ModuleInstance), &Module);
    return static_cast<HINSTANCE>(Module);
  }();
  return Instance;
}

void SetFormDpi(int Dpi) { ThisThreadState().FormDpi = Dpi > 0 ? Dpi : 0; }

int ScreenDpi() {
  if (const int Dpi = ThisThreadState().FormDpi) return Dpi;
  static int Dpi = [] {
    HDC Dc = GetDC(nullptr);
    int Value = Dc ? GetDeviceCaps(Dc, LOGPIXELSY) : DesignDpi;
    if (Dc) ReleaseDC(nullptr, Dc);
    return Value > 0 ? Value : DesignDpi;
  }();
  return Dpi;
}

int ScalePixels(int Value) { return MulDiv(Value, ScreenDpi(), DesignDpi); }

HANDLE ModuleActCtx() noexcept {
  // Made once and kept for the process's life, like the module (module/DllMain.cpp).
  static const HANDLE Context = [] {
    HINSTANCE Module = ModuleInstance();
    if (!FindResourceW(Module, MAKEINTRESOURCEW(2), MAKEINTRESOURCEW(24))) return HANDLE();
    wchar_t Path[MAX_PATH * 2] = {};
    GetModuleFileNameW(Module, Path, static_cast<DWORD>(sizeof Path / sizeof Path[0]) - 1);
    ACTCTXW Desc = {};
    Desc.cbSize = sizeof Desc;
    Desc.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID | ACTCTX_FLAG_HMODULE_VALID;
    Desc.lpSource = Path;
    Desc.hModule = Module;
    Desc.lpResourceName = MAKEINTRESOURCEW(2);
    const HANDLE Made = CreateActCtxW(&Desc);
    return Made == INVALID_HANDLE_VALUE ? HANDLE() : Made;
  }();
  return Context;
}

TActivationScope::TActivationScope() noexcept {
  if (HANDLE Context = ModuleActCtx()) FActive = ActivateActCtx(Context, &FCookie) != FALSE;
}

TActivationScope::~TActivationScope() {
  if (FActive) DeactivateActCtx(0, FCookie);
}

void InitFormRuntime() {
  // Once per process; two threads' first forms may both register the classes, which is harmless.
  static volatile LONG Done = 0;
  if (InterlockedCompareExchange(&Done, 0, 0)) return;
  TActivationScope Scope;
  // The common controls of the module's activation context (version 6), not necessarily the
  // ones the program imported.
  HMODULE Controls = LoadLibraryW(L"comctl32.dll");
  using TInit = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  TInit Init = Controls ? reinterpret_cast<TInit>(reinterpret_cast<void*>(
                              GetProcAddress(Controls, "InitCommonControlsEx")))
                        : nullptr;
  INITCOMMONCONTROLSEX Icc = {sizeof Icc, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
  if (!(Init ? Init(&Icc) : InitCommonControlsEx(&Icc))) RaiseLastOSError();
  // The library stays loaded while the module is: its classes are in use by the forms.
  InterlockedExchange(&Done, 1);
}

// ---- dialog templates -----------------------------------------------------------------------

namespace {

class TTemplateReader {
public:
  TTemplateReader(const void* Data, size_t Size)
      : FBase(static_cast<const BYTE*>(Data)), FPos(0), FSize(Size) {}

  WORD Word() { return Read<WORD>(); }
  DWORD DWord() { return Read<DWORD>(); }
  short Short() { return Read<short>(); }
  BYTE Byte() { return Read<BYTE>(); }
  void Align(size_t N) { FPos = (FPos + N - 1) / N * N; }
  void Skip(size_t N) {
    Need(N);
    FPos += N;
  }
  std::wstring String() {
    std::wstring S;
    for (WORD C = Word(); C != 0; C = Word()) S += static_cast<wchar_t>(C);
    return S;
  }
  // sz_Or_Ord: none, an ordinal, or a string.
  std::wstring StringOrOrdinal(WORD& Ordinal) {
    Ordinal = 0;
    WORD First = Word();
    if (First == 0) return std::wstring();
    if (First == 0xFFFF) {
      Ordinal = Word();
      return std::wstring();
    }
    std::wstring S(1, static_cast<wchar_t>(First));
    for (WORD C = Word(); C != 0; C = Word()) S += static_cast<wchar_t>(C);
    return S;
  }

private:
  template <class T>
  T Read() {
    Need(sizeof(T));
    T Value;
    std::memcpy(&Value, FBase + FPos, sizeof(T));
    FPos += sizeof(T);
    return Value;
  }
  void Need(size_t N) const {
    if (FPos > FSize || FSize - FPos < N) throw Exception("Ресурс формы повреждён");
  }

  const BYTE* FBase;
  size_t FPos, FSize;
};

}  // namespace

TTemplateLayout ParseDialogTemplate(const void* Data, size_t Size) {
  TTemplateReader R(Data, Size);
  TTemplateLayout L;
  WORD Version = R.Word();
  WORD Signature = R.Word();
  if (Version != 1 || Signature != 0xFFFF) throw Exception("Ресурс формы не является шаблоном DIALOGEX");
  R.DWord();  // help id
  L.ExStyle = R.DWord();
  L.Style = R.DWord();
  WORD Count = R.Word();
  L.X = R.Short();
  L.Y = R.Short();
  L.Cx = R.Short();
  L.Cy = R.Short();
  WORD Ordinal;
  R.StringOrOrdinal(Ordinal);  // menu
  R.StringOrOrdinal(Ordinal);  // class
  L.Caption = R.String();
  if (L.Style & (DS_SETFONT | DS_SHELLFONT)) {
    L.FontPoints = R.Word();
    L.FontWeight = R.Word();
    L.FontItalic = R.Byte();
    L.FontCharset = R.Byte();
    L.FontFace = R.String();
  }
  for (WORD I = 0; I < Count; ++I) {
    R.Align(4);
    TTemplateItem Item;
    R.DWord();  // help id
    Item.ExStyle = R.DWord();
    Item.Style = R.DWord();
    Item.X = R.Short();
    Item.Y = R.Short();
    Item.Cx = R.Short();
    Item.Cy = R.Short();
    Item.Id = R.DWord();
    Item.ClassName = R.StringOrOrdinal(Item.ClassOrdinal);
    WORD TextOrdinal;
    Item.Text = R.StringOrOrdinal(TextOrdinal);
    WORD Extra = R.Word();
    R.Skip(Extra);
    L.Items.push_back(std::move(Item));
  }
  return L;
}

// ---- open forms -----------------------------------------------------------------------------

HWND ActiveFormWindow() noexcept {
  try {
    std::vector<HWND> Windows = DialogWindows();
    for (auto It = Windows.rbegin(); It != Windows.rend(); ++It)
      if (IsWindow(*It) && IsWindowVisible(*It) && IsWindowEnabled(*It)) return *It;
  } catch (...) {
  }
  return GetActiveWindow();
}

HWND MainFormWindow() noexcept {
  try {
    for (HWND W : DialogWindows())
      if (IsWindow(W)) return W;
  } catch (...) {
  }
  return nullptr;
}

// ---- TForm ----------------------------------------------------------------------------------

TForm::TForm(const wchar_t* TemplateName) : FTemplateName(TemplateName) {
  FButtonResults = {{IDOK, mrOk}, {IDCANCEL, mrCancel}};
}

TForm::TForm(const wchar_t* TemplateName, HWND Owner) : TForm(TemplateName) {
  FOwner = Owner;
  FDefaultOwner = false;
}

TForm::~TForm() { DestroyHandle(); }

void TForm::CreateHandle() {
  if (FHandle) return;
  InitFormRuntime();
  TActivationScope Scope;
  HINSTANCE Module = ModuleInstance();
  HRSRC Resource = FindResourceW(Module, FTemplateName.c_str(), MAKEINTRESOURCEW(5));
  HGLOBAL Loaded = Resource ? LoadResource(Module, Resource) : nullptr;
  const void* Data = Loaded ? LockResource(Loaded) : nullptr;
  if (!Data) throw Exception(Format("Ресурс формы %s не найден", ToAnsi(FTemplateName).c_str()));
  size_t Size = SizeofResource(Module, Resource);
  FLayout = ParseDialogTemplate(Data, Size);

  // The window is created hidden; ShowModal or Show shows it.
  std::vector<BYTE> Copy(static_cast<const BYTE*>(Data), static_cast<const BYTE*>(Data) + Size);
  DWORD Style = FLayout.Style & ~static_cast<DWORD>(WS_VISIBLE);
  std::memcpy(&Copy[12], &Style, sizeof Style);

  if (FDefaultOwner) FOwner = ActiveFormWindow();
  FInitError = nullptr;
  HWND Window = CreateDialogIndirectParamW(Module, reinterpret_cast<LPCDLGTEMPLATEW>(Copy.data()),
                                           FOwner, &TForm::DialogProc,
                                           reinterpret_cast<LPARAM>(this));
  if (FInitError) {
    // A form that was never made has no end to run (FormDestroy).
    FDestroying = true;
    if (Window) DestroyWindow(Window);
    FHandle = nullptr;
    FDestroying = false;
    std::rethrow_exception(FInitError);
  }
  if (!Window) RaiseLastOSError();
  FHandle = Window;
  AddDialogWindow(Window);
  FIdleHandle = AddIdleHandler([this] { RunIdle(); });
  FormCreate();
}

void TForm::DestroyHandle() noexcept {
  if (!FHandle || FDestroying) return;
  HWND Window = FHandle;
  EndForm();
  DestroyWindow(Window);
  FHandle = nullptr;
  FDestroying = false;
}

void TForm::EndForm() noexcept {
  FDestroying = true;
  try {
    FormDestroy();
  } catch (...) {
    HandleException();
  }
  if (FIdleHandle) RemoveIdleHandler(FIdleHandle);
  FIdleHandle = 0;
  RemoveDialogWindow(FHandle);
  if (FModal) {
    // Destroyed from inside its own modal loop: the loop ends.
    if (FModalResult == mrNone) FModalResult = mrCancel;
  }
}

HWND TForm::Control(int Id) const {
  HWND C = FHandle ? GetDlgItem(FHandle, Id) : nullptr;
  if (!C) throw Exception(Format("Элемент управления %d не найден", Id));
  return C;
}

void TForm::InitDialog(HWND Window) {
  FHandle = Window;
  ApplyLayout();
  PlaceForm();
}

void TForm::ApplyLayout() {
  // The template's font scaled with the layout: its height at the design resolution (8 points
  // are -13 px at 120 dpi) scaled to the form's, in the face the dialog manager chose. At
  // 120 dpi that is the dialog manager's own font; at 96 dpi it is -10 px where the dialog
  // manager makes 8 points -11 px, which the layout, scaled by 0.8, has no room for.
  HGDIOBJ DialogFont = reinterpret_cast<HGDIOBJ>(SendMessageW(FHandle, WM_GETFONT, 0, 0));
  LOGFONTW Font = {};
  const int FontHeight = ScalePixels(-MulDiv(FLayout.FontPoints, DesignDpi, 72));
  if (FLayout.FontPoints && DialogFont && GetObjectW(DialogFont, sizeof Font, &Font) == sizeof Font &&
      Font.lfHeight != FontHeight) {
    Font.lfHeight = FontHeight;
    Font.lfWidth = 0;
    HFONT Handle = CreateFontIndirectW(&Font);
    if (!Handle) RaiseLastOSError();
    FFonts.emplace_back(Handle);
    SendMessageW(FHandle, WM_SETFONT, reinterpret_cast<WPARAM>(Handle), FALSE);
    for (HWND C = GetWindow(FHandle, GW_CHILD); C; C = GetWindow(C, GW_HWNDNEXT))
      SendMessageW(C, WM_SETFONT, reinterpret_cast<WPARAM>(Handle), FALSE);
  }
  for (const TTemplateItem& Item : FLayout.Items) {
    HWND C = GetDlgItem(FHandle, static_cast<int>(Item.Id));
    if (!C) continue;
    // The edges are scaled, not the sizes, so that controls that meet still meet.
    const int Left = ScalePixels(Item.X), Top = ScalePixels(Item.Y);
    SetWindowPos(C, nullptr, Left, Top, ScalePixels(Item.X + Item.Cx) - Left,
                 ScalePixels(Item.Y + Item.Cy) - Top, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  RECT R = {0, 0, ScalePixels(FLayout.Cx), ScalePixels(FLayout.Cy)};
  DWORD Style = static_cast<DWORD>(GetWindowLongPtrW(FHandle, GWL_STYLE));
  DWORD ExStyle = static_cast<DWORD>(GetWindowLongPtrW(FHandle, GWL_EXSTYLE));
  AdjustWindowRectEx(&R, Style, FALSE, ExStyle);
  SetWindowPos(FHandle, nullptr, 0, 0, R.right - R.left, R.bottom - R.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm::PlaceForm() {
  RECT Own;
  GetWindowRect(FHandle, &Own);
  const int W = Own.right - Own.left, H = Own.bottom - Own.top;
  RECT Area;
  bool Center = true;
  HWND Main = FPosition == poMainFormCenter ? MainFormWindow() : nullptr;
  if (Main && Main != FHandle) {
    GetWindowRect(Main, &Area);
  } else if (FPosition == poDesigned) {
    Center = false;
    SetWindowPos(FHandle, nullptr, ScalePixels(FLayout.X), ScalePixels(FLayout.Y), 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  } else {
    MONITORINFO Info = {};
    Info.cbSize = sizeof Info;
    HMONITOR Monitor = MonitorFromWindow(FOwner ? FOwner : FHandle, MONITOR_DEFAULTTOPRIMARY);
    if (GetMonitorInfoW(Monitor, &Info))
      Area = Info.rcWork;
    else
      SystemParametersInfoW(SPI_GETWORKAREA, 0, &Area, 0);
  }
  if (Center) {
    int X = Area.left + (Area.right - Area.left - W) / 2;
    int Y = Area.top + (Area.bottom - Area.top - H) / 2;
    SetWindowPos(FHandle, nullptr, X, Y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void TForm::FitLabelHeight(HWND Label, const std::vector<std::wstring>& Texts) {
  RECT Client;
  if (!Label || !GetClientRect(Label, &Client)) return;
  const int Width = Client.right - Client.left, Height = Client.bottom - Client.top;
  int Needed = 0;
  HDC Dc = GetDC(Label);
  if (!Dc) return;
  HGDIOBJ Old = SelectObject(Dc, reinterpret_cast<HGDIOBJ>(SendMessageW(Label, WM_GETFONT, 0, 0)));
  for (const std::wstring& Text : Texts) {
    RECT R = {0, 0, Width, 0};
    DrawTextW(Dc, Text.c_str(), static_cast<int>(Text.size()), &R,
              DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
    if (R.bottom - R.top > Needed) Needed = R.bottom - R.top;
  }
  SelectObject(Dc, Old);
  ReleaseDC(Label, Dc);
  if (Needed <= Height) return;

  RECT Own;
  GetWindowRect(Label, &Own);
  MapWindowPoints(nullptr, FHandle, reinterpret_cast<POINT*>(&Own), 2);
  const int NewBottom = static_cast<int>(Own.bottom) + Needed - Height;
  // What begins below the label's top moves down: by the growth, and at least far enough to
  // clear the grown label with a small gap (a design may tuck a control under a label's unused
  // bottom edge).
  struct TPlaced {
    HWND Window;
    RECT Rect;
  };
  std::vector<TPlaced> Below, Around;
  int Shift = NewBottom - static_cast<int>(Own.bottom);
  int FirstBelow = INT_MAX;
  for (HWND C = GetWindow(FHandle, GW_CHILD); C; C = GetWindow(C, GW_HWNDNEXT)) {
    if (C == Label) continue;
    RECT R;
    GetWindowRect(C, &R);
    MapWindowPoints(nullptr, FHandle, reinterpret_cast<POINT*>(&R), 2);
    if (R.left <= Own.left && R.top <= Own.top && R.right >= Own.right && R.bottom >= Own.bottom) {
      Around.push_back({C, R});
    } else if (R.top > Own.top) {
      Below.push_back({C, R});
      if (R.top < FirstBelow) FirstBelow = R.top;
    }
  }
  if (FirstBelow != INT_MAX && FirstBelow + Shift < NewBottom + ScalePixels(2))
    Shift = NewBottom + ScalePixels(2) - FirstBelow;
  SetWindowPos(Label, nullptr, 0, 0, Own.right - Own.left, NewBottom - Own.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  for (const TPlaced& P : Below)
    SetWindowPos(P.Window, nullptr, P.Rect.left, P.Rect.top + Shift, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  for (const TPlaced& P : Around)
    SetWindowPos(P.Window, nullptr, 0, 0, P.Rect.right - P.Rect.left,
                 P.Rect.bottom - P.Rect.top + Shift, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  RECT Window;
  GetWindowRect(FHandle, &Window);
  SetWindowPos(FHandle, nullptr, 0, 0, Window.right - Window.left,
               Window.bottom - Window.top + Shift, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  if (!IsWindowVisible(FHandle)) PlaceForm();
}

void TForm::SetButtonModalResult(int Id, int Result) { FButtonResults[Id] = Result; }

HFONT TForm::CreateFormFont(const wchar_t* Face, int Height, bool Bold) {
  LOGFONTW Font = {};
  Font.lfHeight = ScalePixels(Height);
  Font.lfWeight = Bold ? FW_BOLD : FW_NORMAL;
  Font.lfCharSet = DEFAULT_CHARSET;
  wcsncpy(Font.lfFaceName, Face, LF_FACESIZE - 1);
  HFONT Handle = CreateFontIndirectW(&Font);
  if (!Handle) RaiseLastOSError();
  FFonts.emplace_back(Handle);
  return Handle;
}

void TForm::RunIdle() noexcept {
  if (!FHandle) return;
  try {
    ApplicationIdle();
  } catch (...) {
    HandleException();
  }
}

void TForm::FocusFirstControl() {
  HWND Target = FActiveControl;
  if (Target && !(IsWindow(Target) && IsWindowVisible(Target) && IsWindowEnabled(Target)))
    Target = nullptr;
  if (!Target) {
    Target = GetNextDlgTabItem(FHandle, nullptr, FALSE);
    if (Target && !(IsWindowVisible(Target) && IsWindowEnabled(Target))) Target = nullptr;
  }
  if (Target) SendMessageW(FHandle, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Target), TRUE);
}

void TForm::Show() {
  if (!FHandle) CreateHandle();
  ShowWindow(FHandle, SW_SHOW);
}

void TForm::Hide() {
  if (FHandle) ShowWindow(FHandle, SW_HIDE);
}

int TForm::ShowModal() {
  if (!FHandle || FModal || IsWindowVisible(FHandle))
    throw Exception("Видимое окно нельзя показать модально");
  TActivationScope Scope;
  // The owner is disabled while the form is shown when it is a window of this thread. Another
  // thread's window is left alone: enabling, disabling or activating it waits for that thread
  // to take the message, and that thread may be busy or waiting for this one.
  HWND Owner = GetWindow(FHandle, GW_OWNER);
  const bool DisableOwner = Owner && IsWindowEnabled(Owner) &&
                            GetWindowThreadProcessId(Owner, nullptr) == GetCurrentThreadId();
  FModalResult = mrNone;
  FModal = true;

  struct TEnd {
    TForm& Form;
    HWND Owner;
    bool Enable;
    ~TEnd() {
      if (Enable && IsWindow(Owner)) EnableWindow(Owner, TRUE);
      if (Form.FHandle) {
        SetWindowPos(Form.FHandle, nullptr, 0, 0, 0, 0,
                     SWP_HIDEWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER);
      }
      if (Enable && IsWindow(Owner)) SetActiveWindow(Owner);
      Form.FModal = false;
    }
  } End{*this, Owner, DisableOwner};

  // The buttons follow the state from the first paint on.
  RunIdleHandlers();
  ShowWindow(FHandle, SW_SHOW);
  if (DisableOwner) EnableWindow(Owner, FALSE);
  SetForegroundWindow(FHandle);
  FocusFirstControl();

  while (FModalResult == mrNone) {
    if (!FHandle || !IsWindow(FHandle)) {
      FModalResult = mrCancel;
      break;
    }
    bool Quit = false;
    if (DispatchNextMessage(Quit)) continue;
    if (Quit) {
      FModalResult = mrCancel;
      break;
    }
    RunIdleHandlers();
    if (FModalResult != mrNone) break;
    MsgWaitForMultipleObjectsEx(0, nullptr, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  }
  return FModalResult;
}

// ---- dispatch -------------------------------------------------------------------------------

bool TForm::WndProc(UINT Msg, WPARAM WParam, LPARAM LParam, LRESULT& Result) {
  switch (Msg) {
    case WM_COMMAND: {
      const int Id = LOWORD(WParam), Code = HIWORD(WParam);
      HWND Ctl = reinterpret_cast<HWND>(LParam);
      if (!Ctl) Ctl = GetDlgItem(FHandle, Id);
      Result = 0;
      if (Code == BN_CLICKED && Ctl && !IsWindowEnabled(Ctl)) return true;
      bool Handled = CommandHandler(Id, Code, Ctl);
      if (Code == BN_CLICKED && Ctl) {
        auto It = FButtonResults.find(Id);
        if (It != FButtonResults.end() && It->second != mrNone) {
          FModalResult = It->second;
          Handled = true;
        }
      }
      return Handled;
    }
    case WM_NOTIFY:
      return NotifyHandler(*reinterpret_cast<const NMHDR*>(LParam), Result);
    case WM_CLOSE:
      if (FModal)
        FModalResult = mrCancel;
      else
        Hide();
      Result = 0;
      return true;
    default:
      return false;
  }
}

bool TForm::CommandHandler(int, int, HWND) { return false; }

bool TForm::NotifyHandler(const NMHDR&, LRESULT&) { return false; }

INT_PTR CALLBACK TForm::DialogProc(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam) {
  if (Msg == WM_INITDIALOG) {
    TForm* Form = reinterpret_cast<TForm*>(LParam);
    SetWindowLongPtrW(Window, DWLP_USER, reinterpret_cast<LONG_PTR>(Form));
    try {
      Form->InitDialog(Window);
    } catch (...) {
      Form->FInitError = std::current_exception();
    }
    return FALSE;  // the focus is set when the form is shown
  }
  TForm* Form = reinterpret_cast<TForm*>(GetWindowLongPtrW(Window, DWLP_USER));
  if (!Form) return FALSE;
  LRESULT Result = 0;
  bool Handled = false;
  try {
    Handled = Form->WndProc(Msg, WParam, LParam, Result);
  } catch (...) {
    HandleException();
    Handled = true;
    Result = 0;
  }
  // A window destroyed by someone else (its owner's destruction, DestroyWindow from the host):
  // the form ends as if it were destroyed through DestroyHandle, while its controls still are.
  if (Msg == WM_DESTROY && Form->FHandle == Window && !Form->FDestroying) Form->EndForm();
  if (Msg == WM_NCDESTROY) {
    RemoveDialogWindow(Window);
    SetWindowLongPtrW(Window, DWLP_USER, 0);
    if (Form->FHandle == Window) {
      Form->FHandle = nullptr;
      Form->FDestroying = false;
    }
  }
  if (!Handled) return FALSE;
  switch (Msg) {
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
      return static_cast<INT_PTR>(Result);
    default:
      SetWindowLongPtrW(Window, DWLP_MSGRESULT, Result);
      return TRUE;
  }
}

}  // namespace Quorin
