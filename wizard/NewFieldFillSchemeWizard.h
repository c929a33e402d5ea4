// The statistics wizard "Мастер анализа статистических данных": three pages over one fill scheme.
//
//   FieldTabSheet    the target field, picked in the map element tree;
//   SourceTabSheet   the statistics sources (added, edited and deleted through the source
//                    dialog, duplicates merged) and the statistics function;
//   ProcessTabSheet  "Готово" stores the selection into the scheme and runs the fill, with its
//                    progress on two bars; the wizard then shows its first page again.
//
// The wizard never closes by itself; "Отмена" (or Esc) closes it with mrCancel. While a fill runs,
// the buttons that would start another run, change the page or change the sources are disabled
// (and their handlers refuse to act); "Отмена" stays usable and closes the wizard once the run
// has ended.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <vector>

#include "host/Orvex.h"
#include "stats/StatSchemes.h"
#include "support/ComPtr.h"
#include "support/FormUtils.h"
#include "support/Handles.h"
#include "support/Progresses.h"

namespace Quorin {

class TNewFieldFillSchemeWizard : public TNonModalForm {
public:
  // Creates the form's window (FormCreate runs), owned by ParentWindow (may be null).
  explicit TNewFieldFillSchemeWizard(HWND ParentWindow);
  // Destroys the window (FormDestroy).
  ~TNewFieldFillSchemeWizard() override;

  // Keeps the host's application object, fills the target tree, applies the active page's
  // header and focuses the tree. Host errors while the tree is filled propagate.
  void SetApplication(IOrvexApplication* App);

  // The scheme the wizard owns (for reading).
  const TStatSchemeFieldFill& Scheme() const noexcept { return *FScheme; }
  // The page window that is shown: FieldTabSheet, SourceTabSheet or ProcessTabSheet.
  HWND ActivePage() const noexcept { return FActivePage; }
  // Whether a fill run is in progress.
  bool Running() const noexcept { return FRunning; }

protected:
  void FormCreate() override;
  void FormDestroy() override;
  void ApplicationIdle() override;
  bool WndProc(UINT Msg, WPARAM WParam, LPARAM LParam, LRESULT& Result) override;
  bool CommandHandler(int Id, int Code, HWND Ctl) override;
  bool NotifyHandler(const NMHDR& Header, LRESULT& Result) override;

private:
  // Event handlers, named after the form resource.
  void NextButtonClick();
  void BackButtonClick();
  void AddSourceButtonClick();
  void EditSourceButtonClick();
  void DeleteSourceButtonClick();
  void MainPageControlChange();
  void AppEventsIdle();
  void FieldTreeViewExpanding(const NMHDR& Header);
  void FieldTreeViewDeletion(const NMHDR& Header);

  // Internal operations.
  void ShowPage(HWND Page);
  void SelectNextPage(bool GoForward);
  void SetActivePage(HWND Page);
  void UpdateButtons();
  void RefreshSourceList();
  void StoreSelection();
  void RunFillFromPage();

  // What the form resource gives the components before FormCreate runs.
  void LoadComponents();
  int PageIndex(HWND Page) const noexcept;
  // The source of the selected row, or null when no row is selected.
  TStatSchemeFillSource* SelectedSource() const;
  void SelectSourceRow(int Index);

  // Components.
  HWND Panel = nullptr;
  HWND HeaderLabel = nullptr;
  HWND HeaderTextLabel = nullptr;
  HWND Bevel1 = nullptr;
  HWND MainPageControl = nullptr;
  HWND Bevel2 = nullptr;
  HWND BackButton = nullptr;
  HWND NextButton = nullptr;
  HWND CancelButton = nullptr;
  HWND FieldTabSheet = nullptr;
  HWND FieldTreeView = nullptr;
  HWND SourceTabSheet = nullptr;
  HWND Label2 = nullptr;
  HWND SourceListView = nullptr;
  HWND AddSourceButton = nullptr;
  HWND EditSourceButton = nullptr;
  HWND DeleteSourceButton = nullptr;
  HWND Label1 = nullptr;
  HWND StatFunctionComboBox = nullptr;
  HWND ProcessTabSheet = nullptr;
  HWND FillObjectsProgressLabel = nullptr;
  HWND FillObjectsProgressBar = nullptr;
  HWND SourceObjectsProgressLabel = nullptr;
  HWND SourceObjectsProgressBar = nullptr;
  TImageList SourceListViewImages;
  TProgress FillProgress;
  TProgress SourceProgress;

  // The pages of MainPageControl in their order, each with the controls that stand on it.
  struct TTabSheet {
    HWND Sheet;
    std::vector<HWND> Controls;
  };
  std::vector<TTabSheet> FPages;
  HWND FActivePage = nullptr;

  TComPtr<IOrvexApplication> FApplication;
  TStatSchemeFieldFill* FScheme = nullptr;
  bool FRunning = false;
};

}  // namespace Quorin
