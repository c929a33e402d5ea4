// Shared pieces of the tree and source dialog tests: a form with a map element tree, a model of
// the simulated host, and readers for the tree.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "TestTreeForm.rh"
#include "hostsim/HostSim.h"
#include "support/ComPtr.h"
#include "support/FormUtils.h"
#include "wizard/MapElementTree.h"

namespace QuorinTest {

// The tree of either form: the wizard's (Reference null) or the source dialog's. Its events go
// to the shared routines exactly as in the module's forms; the fill button fills it from its
// click handler, so a failing fill reaches the error report.
class TTreeForm : public Quorin::TNonModalForm {
public:
  TTreeForm(IOrvexApplication* App, const Quorin::TSourceTreeReference* Reference)
      : TNonModalForm(L"TESTTREEFORM", nullptr), FApp(App), FReference(Reference) {}
  ~TTreeForm() override { DestroyHandle(); }

  HWND Tree() const { return Control(IDC_TT_TREE); }
  void Fill() {
    if (FReference)
      Quorin::FillMapElementTree(Tree(), FApp.Get(), *FReference);
    else
      Quorin::FillFieldTree(Tree(), FApp.Get());
  }

protected:
  void FormCreate() override { Quorin::SetupMapElementTree(Tree()); }
  bool CommandHandler(int Id, int Code, HWND) override {
    if (Id == IDC_TT_FILL && Code == BN_CLICKED) {
      Fill();
      return true;
    }
    return false;
  }
  bool NotifyHandler(const NMHDR& Header, LRESULT& Result) override {
    if (Header.idFrom == IDC_TT_TREE && Quorin::IsTreeExpanding(Header)) {
      Result = FALSE;
      Quorin::MapElementTreeExpanding(Header, FApp.Get());
      return true;
    }
    if (Header.idFrom == IDC_TT_TREE && Quorin::IsTreeDeletion(Header)) {
      Quorin::MapElementTreeDeletion(Header);
      return true;
    }
    return false;
  }

private:
  Quorin::TComPtr<IOrvexApplication> FApp;
  const Quorin::TSourceTreeReference* FReference;
};

// One node as the tests read it: "text [kind:id]" with its children indented by two spaces;
// a table that shows an expand button without children ends in " +".
std::vector<std::wstring> DumpTree(HWND Tree);
// The node with that path of texts ("Город/Дороги/Атрибуты"), or null.
HTREEITEM FindNode(HWND Tree, const std::wstring& Path);
int NodeCount(HWND Tree);
bool HasButton(HWND Tree, HTREEITEM Node);
bool IsExpanded(HWND Tree, HTREEITEM Node);
// A user's expansion of a node: selected, then the keypad plus key on the tree.
void UserExpand(HWND Tree, HTREEITEM Node);
// "Interface.Method" of every logged host call.
std::vector<std::wstring> CallNames(const HostSim::THost& Host);
long CallsOf(const HostSim::THost& Host, const std::wstring& Name);

// The host of most tests: one map "Город" with
//   Дороги (roads):  Атрибуты дорог (troads): ID, SIMID, Ширина (width), Покрытие (surface)
//                    Учёт (tcount): ID, SIMID, Полосы (lanes)
//   Здания (houses): Дома (thouses): ID, SIMID, Этажи (floors), Материал (Material)
//   Пустой (empty):  no tables
// a non-map catalogue item first, and a second map "Пригород" without layers.
void BuildCity(HostSim::THost& Host);

}  // namespace QuorinTest
