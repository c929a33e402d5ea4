// The source dialog "Добавление/Изменение источника": edits one statistics source, its
// characteristic (picked in SourceTreeView, the map element tree with the area and perimeter
// entries) and its spatial relation (RelationComboBox), and writes into the source only when the
// user confirms with "OK".
//
// ExecuteSourceDialog(App, Source): creates the form (owned by the form in front), loads it with
// the source (LoadSource), shows it modally and, when the result is mrOk, stores the choice into
// the same source (StoreSource). The form is destroyed in every case, also when an error escapes
// (a host error while the tree is filled leaves the source untouched and reaches the caller).
// Returns true exactly when the dialog was confirmed.
//
// RelationComboBox items, in order: srIntersects, srInside, srContains, srTouches. OkButton is
// enabled on every idle pass exactly when a node of kind 4 is selected and a relation chosen.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "host/Orvex.h"
#include "stats/StatSchemes.h"
#include "support/ComPtr.h"
#include "support/FormUtils.h"
#include "wizard/SourceDialogRes.h"

namespace Quorin {

// The relation texts of RelationComboBox, by item index.
extern const char* const SourceRelationTexts[4];
// Item index for a relation code, -1 for any other value; the code of an item index.
int RelationItemIndex(int32_t Relation) noexcept;
int32_t RelationOfItem(int Index) noexcept;

class TSourceDialogForm : public TNonModalForm {
public:
  TSourceDialogForm();
  ~TSourceDialogForm() override;

  // Keeps App, fills the tree with Source as the reference for the preselection and selects
  // the source's relation (none for any other value).
  void LoadSource(IOrvexApplication* App, const TStatSchemeFillSource& Source);
  // Writes the choice into Source: the characteristic with its table and layer when a node of
  // kind 4 is selected, the relation when one is selected; everything else stays.
  void StoreSource(TStatSchemeFillSource& Source) const;
  // Enables OkButton exactly when the choice is complete.
  void UpdateOkButton();

  HWND SourceTreeView() const { return Control(IDC_SD_SOURCETREEVIEW); }
  HWND RelationComboBox() const { return Control(IDC_SD_RELATIONCOMBOBOX); }
  HWND OkButton() const { return Control(IDC_SD_OKBUTTON); }

protected:
  void FormCreate() override;
  void FormDestroy() override;
  void ApplicationIdle() override;
  bool NotifyHandler(const NMHDR& Header, LRESULT& Result) override;

private:
  void ApplicationEvents1Idle();
  void FillSourceTree(const TStatSchemeFillSource& Source);
  void SourceTreeViewExpanding(const NMHDR& Header);
  void SourceTreeViewDeletion(const NMHDR& Header);

  TComPtr<IOrvexApplication> FApplication;
};

bool ExecuteSourceDialog(IOrvexApplication* App, TStatSchemeFillSource* Source);

}  // namespace Quorin
