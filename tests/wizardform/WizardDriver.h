// Driving the statistics wizard through its real controls, against the simulated host.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "hostsim/HostSim.h"
#include "support/ComPtr.h"
#include "tests/uitest/UiTest.h"
#include "wizard/NewFieldFillSchemeWizard.h"
#include "wizard/NewFieldFillSchemeWizardRes.h"

namespace QuorinTest {

using TPath = std::vector<std::wstring>;

extern const wchar_t SourceDialogCaption[];

// Tree navigation by node texts; expanding a node on the way loads its children.
std::wstring NodeText(HWND Tree, HTREEITEM Node);
HTREEITEM FindChildNode(HWND Tree, HTREEITEM Parent, const std::wstring& Text);
HTREEITEM FindNode(HWND Tree, const TPath& Path);
// Selects the node of Path (a failure when there is none).
HTREEITEM SelectNode(HWND Tree, const TPath& Path);
// The texts from the top down to Node.
TPath NodePath(HWND Tree, HTREEITEM Node);

// A row of the source list.
struct TRow {
  std::wstring Layer;
  std::wstring Characteristic;
  int Image = -1;
  LPARAM Data = 0;
  bool Selected = false;
};
std::vector<TRow> ListRows(HWND ListView);
int SelectedRow(HWND ListView);
void SelectRow(HWND ListView, int Row);

// The model the wizard tests run on:
//   map "map1" "Город"
//     layer "bld" "Здания", table "bldsem" "Здания.сем" with fields "cnt" "Число", "sum" "Итог"
//       objects b1 (0..10 square), b2 (20..30), b3 (40..50)
//     layer "prc" "Участки", table "prcsem" "Участки.сем" with fields "price" "Цена",
//       "Pop" "Население", "POP" "Население2"
//       p1 inside b1 (area 9, price 100), p2 inside b1 (area 16, price 50), p3 inside b2
//       (area 4, price 7), p4 touching b3 from outside (area 10, price 1)
//   map-list item of another kind first.
void BuildTestModel(HostSim::THost& Host);

// The fixture: a host, an owner window standing in for the host's main window, and the wizard.
class TWizardTest : public ::testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;

  // Creates the wizard over Owner and hands it the application. Visible: shown non-modally, so
  // that clicks and the focus behave as on screen (a test that runs ShowModal leaves it hidden).
  void CreateWizard(bool Visible = true);
  void DestroyWizard();

  HWND Form() const { return Wizard->Handle(); }
  HWND Ctl(int Id) const { return GetDlgItem(Wizard->Handle(), Id); }
  // Every pending message, then the idle handlers (what the modal loop does when it goes idle).
  void Idle();
  void Click(int Id);
  bool Enabled(int Id) const { return IsWindowEnabled(Ctl(Id)) != FALSE; }
  std::wstring Text(int Id) const { return WindowText(Ctl(Id)); }

  // The wizard's path to the second page: a field chosen, "Далее >".
  void GoToSourcePage(const TPath& Field = {L"Город", L"Здания", L"Здания.сем", L"Итог"});
  void ChooseFunction(int Code);
  // The value written into a building's "Итог" as a number (NaN when empty or not numeric).
  double Written(const wchar_t* Building) const;

  // "Добавить" / "Изменить" with the source dialog driven: the characteristic node of Path (none:
  // left as the dialog opened) and the relation item (-1: left), then "OK" or "Отмена". Returns
  // the message boxes seen.
  std::vector<TSeenMessageBox> AddSource(const TPath& Path, int RelationItem, bool Confirm = true);
  std::vector<TSeenMessageBox> EditSource(const TPath& Path, int RelationItem,
                                          bool Confirm = true);
  // What the dialog showed when it opened (read by the last AddSource/EditSource).
  TPath DialogSelection;
  int DialogRelation = -2;
  // Called with the dialog's window when it has opened, before anything is chosen in it.
  std::function<void(HWND)> OnDialogShown;

  HostSim::THost Host;
  Quorin::TComPtr<IOrvexApplication> App;
  std::unique_ptr<TOwnerWindow> Owner;
  std::unique_ptr<Quorin::TNewFieldFillSchemeWizard> Wizard;

private:
  std::vector<TSeenMessageBox> DriveSourceDialog(int Button, const TPath& Path, int RelationItem,
                                                 bool Confirm);
};

}  // namespace QuorinTest
