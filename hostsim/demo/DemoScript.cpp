#include "hostsim/demo/DemoScript.h"

#include <commctrl.h>

#include <cstdio>

#include "hostsim/demo/DemoImage.h"
#include "wizard/NewFieldFillSchemeWizardRes.h"
#include "wizard/SourceDialogRes.h"

namespace OrvexSim {

namespace {

const wchar_t WizardCaption[] = L"Мастер анализа статистических данных";
const wchar_t DialogCaption[] = L"Добавление/Изменение источника";

TWizardDriver* ActiveDriver = nullptr;

HWND VisibleWindow(const wchar_t* Caption) {
  HWND Window = FindWindowW(nullptr, Caption);
  return Window && IsWindowVisible(Window) ? Window : nullptr;
}

bool Ready(HWND Control) {
  return Control && IsWindowVisible(Control) && IsWindowEnabled(Control);
}

std::wstring TextOf(HWND Window) {
  wchar_t Text[512] = L"";
  GetWindowTextW(Window, Text, 512);
  return Text;
}

// What a user's click does: the button is pressed and released, and it tells its parent.
void Click(HWND Button) { PostMessageW(Button, BM_CLICK, 0, 0); }

// What a user's choice in a drop-down list does: the item is selected and the parent told.
void ChooseItem(HWND Combo, int Item) {
  SendMessageW(Combo, CB_SETCURSEL, static_cast<WPARAM>(Item), 0);
  SendMessageW(GetParent(Combo), WM_COMMAND,
               MAKEWPARAM(GetDlgCtrlID(Combo), CBN_SELCHANGE), reinterpret_cast<LPARAM>(Combo));
}

std::wstring ItemText(HWND Tree, HTREEITEM Item) {
  wchar_t Text[512] = L"";
  TVITEMW Info{};
  Info.mask = TVIF_TEXT | TVIF_HANDLE;
  Info.hItem = Item;
  Info.pszText = Text;
  Info.cchTextMax = 512;
  SendMessageW(Tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&Info));
  return Text;
}

HTREEITEM NextItem(HWND Tree, HTREEITEM Item, UINT Code) {
  return reinterpret_cast<HTREEITEM>(
      SendMessageW(Tree, TVM_GETNEXTITEM, Code, reinterpret_cast<LPARAM>(Item)));
}

struct TFindData {
  DWORD Thread;
  HWND Skip1, Skip2;
  HWND Found;
};

BOOL CALLBACK FindMessageBox(HWND Window, LPARAM Param) {
  auto* Data = reinterpret_cast<TFindData*>(Param);
  wchar_t Class[64] = L"";
  GetClassNameW(Window, Class, 64);
  if (Window != Data->Skip1 && Window != Data->Skip2 && IsWindowVisible(Window) &&
      wcscmp(Class, L"#32770") == 0 && TextOf(Window) != WizardCaption &&
      TextOf(Window) != DialogCaption) {
    Data->Found = Window;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

TWizardDriver::TWizardDriver(HostSim::THost& Host, const TResolvedScenario& Scenario,
                             std::wstring ShotFolder, int TimeoutSeconds, bool Minimised)
    : FHost(Host), FScenario(Scenario), FShotFolder(Minimised ? std::wstring() : std::move(ShotFolder)),
      FTimeoutSeconds(TimeoutSeconds), FMinimised(Minimised) {
  auto Wizard = [this](int Id) { return GetDlgItem(FWizard, Id); };
  auto Dialog = [this](int Id) { return GetDlgItem(FDialog, Id); };

  FSteps.push_back({L"wait for the wizard", [this] {
    FWizard = VisibleWindow(WizardCaption);
    if (FWizard && FMinimised) ShowWindow(FWizard, SW_SHOWMINNOACTIVE);
    return FWizard != nullptr;
  }});
  FSteps.push_back({L"choose the target field", [this, Wizard] {
    HWND Tree = Wizard(IDC_WZ_FIELDTREEVIEW);
    if (!Ready(Tree)) return false;
    if (!SelectPath(Tree, FScenario.TargetPath))
      Fail(L"the wizard's tree has no node for the target field");
    return true;
  }});
  FSteps.push_back({L"first page: \"Далее >\"", [this, Wizard] {
    HWND Next = Wizard(IDC_WZ_NEXTBUTTON);
    if (!Ready(Next)) return false;
    Shot(FWizard, L"wizard-1-field");
    Click(Next);
    return true;
  }});
  for (size_t I = 0; I < FScenario.Sources.size(); ++I) {
    FSteps.push_back({L"second page: \"Добавить\"", [this, Wizard] {
      HWND Add = Wizard(IDC_WZ_ADDSOURCEBUTTON);
      if (!Ready(Add)) return false;
      Click(Add);
      return true;
    }});
    FSteps.push_back({L"wait for the source dialog", [this] {
      FDialog = VisibleWindow(DialogCaption);
      if (FDialog && FMinimised) ShowWindow(FDialog, SW_SHOWMINNOACTIVE);
      return FDialog != nullptr;
    }});
    FSteps.push_back({L"choose the source", [this, Dialog, I] {
      HWND Tree = Dialog(IDC_SD_SOURCETREEVIEW);
      HWND Relation = Dialog(IDC_SD_RELATIONCOMBOBOX);
      if (!Ready(Tree) || !Ready(Relation)) return false;
      if (!SelectPath(Tree, FScenario.Sources[I].TreePath)) {
        Fail(L"the source dialog's tree has no node for source " + std::to_wstring(I + 1));
        return true;
      }
      ChooseItem(Relation, FScenario.Sources[I].RelationItem);
      return true;
    }});
    FSteps.push_back({L"source dialog: \"OK\"", [this, Dialog, I] {
      HWND Ok = Dialog(IDC_SD_OKBUTTON);
      if (!Ready(Ok)) return false;
      if (I == 0) Shot(FDialog, L"wizard-2-source");
      Click(Ok);
      return true;
    }});
    FSteps.push_back({L"wait for the source dialog to close", [this] {
      if (IsWindow(FDialog) && IsWindowVisible(FDialog)) return false;
      FDialog = nullptr;
      return true;
    }});
  }
  FSteps.push_back({L"choose the function", [this, Wizard] {
    HWND Combo = Wizard(IDC_WZ_STATFUNCTIONCOMBOBOX);
    if (!Ready(Combo)) return false;
    ChooseItem(Combo, FScenario.FunctionItem);
    return true;
  }});
  FSteps.push_back({L"second page: \"Далее >\"", [this, Wizard] {
    HWND Next = Wizard(IDC_WZ_NEXTBUTTON);
    HWND List = Wizard(IDC_WZ_SOURCELISTVIEW);
    if (!Ready(Next) || !List ||
        SendMessageW(List, LVM_GETITEMCOUNT, 0, 0) < static_cast<LRESULT>(1))
      return false;
    Shot(FWizard, L"wizard-3-sources");
    Click(Next);
    return true;
  }});
  FSteps.push_back({L"third page: \"Готово\"", [this, Wizard] {
    HWND Next = Wizard(IDC_WZ_NEXTBUTTON);
    if (!Ready(Next) || TextOf(Next) != L"Готово" ||
        !IsWindowVisible(Wizard(IDC_WZ_FILLOBJECTSPROGRESSBAR)))
      return false;
    Shot(FWizard, L"wizard-4-run");
    FApplyBefore = FHost.ApplyChangesCount();
    FFillStart = GetTickCount64();
    Click(Next);
    return true;
  }});
  FSteps.push_back({L"wait for the fill run to end", [this, Wizard] {
    if (FHost.ApplyChangesCount() == FApplyBefore) return false;
    HWND Tree = Wizard(IDC_WZ_FIELDTREEVIEW);
    if (!(Tree && IsWindowVisible(Tree) && IsWindowEnabled(Wizard(IDC_WZ_CANCELBUTTON)))) return false;
    FFillEnd = GetTickCount64();
    return true;
  }});
  FSteps.push_back({L"close the wizard: \"Отмена\"", [this, Wizard] {
    Shot(FWizard, L"wizard-5-done");
    Click(Wizard(IDC_WZ_CANCELBUTTON));
    return true;
  }});
}

TWizardDriver::~TWizardDriver() {
  if (FTimer) KillTimer(nullptr, FTimer);
  if (ActiveDriver == this) ActiveDriver = nullptr;
}

void TWizardDriver::Start() {
  ActiveDriver = this;
  FDeadline = GetTickCount64() + static_cast<ULONGLONG>(FTimeoutSeconds) * 1000;
  FTimer = SetTimer(nullptr, 0, 60, TimerProc);
}

void CALLBACK TWizardDriver::TimerProc(HWND, UINT, UINT_PTR, DWORD) {
  try {
    if (ActiveDriver) ActiveDriver->Tick();
  } catch (...) {
    fputs("OrvexSim: unexpected error in the walk-through\n", stderr);
    ExitProcess(ExitRunFailed);
  }
}

HWND TWizardDriver::MessageBoxWindow(std::wstring* Text) const {
  TFindData Data{GetCurrentThreadId(), FWizard, FDialog, nullptr};
  EnumThreadWindows(GetCurrentThreadId(), FindMessageBox, reinterpret_cast<LPARAM>(&Data));
  if (Data.Found && Text) {
    // The message box's text is its static control 0xFFFF.
    wchar_t Buffer[1024] = L"";
    GetDlgItemTextW(Data.Found, 0xFFFF, Buffer, 1024);
    *Text = Buffer;
  }
  return Data.Found;
}

void TWizardDriver::Tick() {
  if (FBusy) return;
  FBusy = true;
  if (GetTickCount64() > FDeadline) {
    std::wstring Where = Finished() ? L"the end" : FSteps[FStep].Name;
    fprintf(stderr, "OrvexSim: the walk-through did not finish within %d s (at: %s)\n",
            FTimeoutSeconds, Utf8(Where).c_str());
    fflush(stderr);
    ExitProcess(ExitTimeout);
  }
  std::wstring Message;
  if (HWND Box = MessageBoxWindow(&Message)) {
    if (!Failed()) Fail(L"the module reported: " + Message);
    PostMessageW(Box, WM_COMMAND, IDOK, 0);
    PostMessageW(Box, WM_COMMAND, IDCANCEL, 0);
  } else if (Failed()) {
    CloseAfterFailure();
  } else if (!Finished() && FSteps[FStep].Run()) {
    if (Failed()) CloseAfterFailure();
    else ++FStep;
  }
  if (Finished() && FTimer) {
    KillTimer(nullptr, FTimer);
    FTimer = 0;
  }
  FBusy = false;
}

void TWizardDriver::Fail(const std::wstring& Message) {
  if (FError.empty()) FError = Message + L" (step: " + FSteps[FStep].Name + L")";
}

// Closes what is open, innermost first, one window per tick; the run then ends as failed.
void TWizardDriver::CloseAfterFailure() {
  if (FDialog && IsWindow(FDialog) && IsWindowVisible(FDialog)) {
    Click(GetDlgItem(FDialog, IDC_SD_CANCELBUTTON));
  } else if (FWizard && IsWindow(FWizard) && IsWindowVisible(FWizard)) {
    FDialog = nullptr;
    Click(GetDlgItem(FWizard, IDC_WZ_CANCELBUTTON));
  } else {
    FStep = FSteps.size();
  }
}

void TWizardDriver::Shot(HWND Window, const std::wstring& Name) {
  if (FShotFolder.empty()) return;
  HBITMAP Bitmap = CaptureWindow(Window);
  std::wstring Path = FShotFolder + L"\\" + Name + L".bmp";
  if (Bitmap && SaveBitmap(Bitmap, Path)) FShots.push_back(Path);
  if (Bitmap) DeleteObject(Bitmap);
}

// Expands each node of Path in turn and selects the last one, as a user's clicks would.
bool TWizardDriver::SelectPath(HWND Tree, const std::vector<std::wstring>& Path) {
  HTREEITEM Parent = nullptr;
  for (size_t Level = 0; Level < Path.size(); ++Level) {
    if (Parent) SendMessageW(Tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(Parent));
    HTREEITEM Item = Parent ? NextItem(Tree, Parent, TVGN_CHILD) : NextItem(Tree, nullptr, TVGN_ROOT);
    while (Item && ItemText(Tree, Item) != Path[Level]) Item = NextItem(Tree, Item, TVGN_NEXT);
    if (!Item) return false;
    Parent = Item;
  }
  SetFocus(Tree);
  SendMessageW(Tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(Parent));
  SendMessageW(Tree, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(Parent));
  return true;
}

}  // namespace OrvexSim
