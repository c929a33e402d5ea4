// ShowMainDialog over a host window: the wizard it shows is modal, owned by the host's main
// window, and new every time.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <functional>
#include <string>

#include "ModuleTestSupport.h"
#include "hostsim/HostSim.h"
#include "module/Quorin_h.h"
#include "support/ComPtr.h"
#include "tests/uitest/UiTest.h"
#include "wizard/NewFieldFillSchemeWizardRes.h"

using Quorin::TComPtr;
using namespace QuorinTest;

namespace {

const wchar_t WizardCaption[] = L"Мастер анализа статистических данных";

// What a timer saw of the wizard while ShowMainDialog ran it.
struct TSeen {
  bool Shown = false;
  HWND Owner = nullptr;
  std::wstring Header;
  int Sources = -1;
  int Function = -2;
  int Functions = -1;
  bool NextEnabled = true;
  bool BackEnabled = true;
};

TSeen* CurrentSeen = nullptr;
std::function<void(HWND)> CurrentAction;

void CALLBACK InspectWizard(HWND, UINT, UINT_PTR Timer, DWORD) {
  HWND Wizard = FindWindowW(nullptr, WizardCaption);
  if (!Wizard || !IsWindowVisible(Wizard) || !CurrentSeen) return;
  KillTimer(nullptr, Timer);
  TSeen& S = *CurrentSeen;
  S.Shown = true;
  S.Owner = GetWindow(Wizard, GW_OWNER);
  S.Header = WindowText(FindControl(Wizard, IDC_WZ_HEADERLABEL));
  S.Sources = static_cast<int>(SendMessageW(FindControl(Wizard, IDC_WZ_SOURCELISTVIEW), LVM_GETITEMCOUNT, 0, 0));
  HWND Combo = FindControl(Wizard, IDC_WZ_STATFUNCTIONCOMBOBOX);
  S.Function = static_cast<int>(SendMessageW(Combo, CB_GETCURSEL, 0, 0));
  S.Functions = static_cast<int>(ComboItems(Combo).size());
  S.NextEnabled = IsWindowEnabled(FindControl(Wizard, IDC_WZ_NEXTBUTTON)) != FALSE;
  S.BackEnabled = IsWindowEnabled(FindControl(Wizard, IDC_WZ_BACKBUTTON)) != FALSE;
  if (CurrentAction) CurrentAction(Wizard);
  // "Отмена" ends the modal loop.
  ClickButton(Wizard, IDCANCEL);
}

class ShowMainDialog : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_HRESULT_SUCCEEDED(CoInitialize(nullptr));
    ASSERT_EQ(ModuleTest::RegSvr32(ModuleTest::DllPath()), 0);
    MainWindow = CreateWindowExW(0, L"STATIC", L"Orvex", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 800, 600,
                                 nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(MainWindow, nullptr);
    Host.AddMap(L"m1", L"Город");
    Host.AddLayer(L"m1", L"l1", L"Кварталы");
    Host.AddTable(L"l1", L"t1", L"Кварталы");
    Host.AddField(L"t1", L"POP", L"Население");
    Host.AddObject(L"l1", L"q1", L"POLYGON((0 0,10 0,10 10,0 10,0 0))");
    Host.SetMainWindow(MainWindow);
    ASSERT_HRESULT_SUCCEEDED(CoCreateInstance(CLSID_ComModule, nullptr, CLSCTX_INPROC_SERVER,
                                              IID_IComModule, Module.PutVoid()));
    TComPtr<IOrvexApplication> App = Host.Application();
    ASSERT_EQ(Module->Init(reinterpret_cast<OrvexApplication*>(App.Get())), S_OK);
  }
  void TearDown() override {
    Module.Reset();
    EXPECT_EQ(Host.LiveObjects(), 0);
    if (MainWindow) DestroyWindow(MainWindow);
    CoUninitialize();
    ModuleTest::RegSvr32(ModuleTest::DllPath(), true);
  }

  TSeen Show(std::function<void(HWND)> Action = nullptr) {
    TSeen Seen;
    CurrentSeen = &Seen;
    CurrentAction = std::move(Action);
    SetTimer(nullptr, 0, 50, InspectWizard);
    EXPECT_EQ(Module->ShowMainDialog(), S_OK);
    CurrentSeen = nullptr;
    CurrentAction = nullptr;
    return Seen;
  }

  HostSim::THost Host;
  HWND MainWindow = nullptr;
  TComPtr<IComModule> Module;
};

}  // namespace

TEST_F(ShowMainDialog, EveryCallShowsAFreshWizardOwnedByTheHostWindow) {
  // The first wizard: a function chosen, then cancelled.
  TSeen First = Show([](HWND Wizard) {
    HWND Combo = FindControl(Wizard, IDC_WZ_STATFUNCTIONCOMBOBOX);
    SendMessageW(Combo, CB_SETCURSEL, 2, 0);
    SendMessageW(GetParent(Combo), WM_COMMAND, MAKEWPARAM(IDC_WZ_STATFUNCTIONCOMBOBOX, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(Combo));
  });
  ASSERT_TRUE(First.Shown);
  EXPECT_EQ(First.Owner, MainWindow);
  EXPECT_EQ(First.Header, L"Выбор поля");
  EXPECT_EQ(First.Functions, 5);
  EXPECT_TRUE(IsWindowEnabled(MainWindow));  // given back when the wizard closed
  EXPECT_EQ(FindWindowW(nullptr, WizardCaption), nullptr);  // destroyed

  TSeen Second = Show();
  ASSERT_TRUE(Second.Shown);
  EXPECT_EQ(Second.Header, L"Выбор поля");
  EXPECT_EQ(Second.Sources, 0);
  EXPECT_EQ(Second.Function, -1);  // nothing from the first wizard survives
  EXPECT_FALSE(Second.BackEnabled);
  EXPECT_EQ(FindWindowW(nullptr, WizardCaption), nullptr);
}
