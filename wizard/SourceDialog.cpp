#include "wizard/SourceDialog.h"

#include "support/Errors.h"
#include "support/Strings.h"
#include "wizard/MapElementTree.h"

namespace Quorin {

static_assert(IDC_SD_OKBUTTON == IDOK && IDC_SD_CANCELBUTTON == IDCANCEL,
              "Enter and Esc press the dialog's buttons");

// In item 3 the word "cоприкасаются" begins with the Latin letter c, then Cyrillic letters.
const char* const SourceRelationTexts[4] = {
    "Объекты пересекаются с заполняемым объектом",
    "Объекты находятся внутри заполняемого объекта",
    "Объекты содержат заполняемый объект внутри себя",
    "Объекты "
    "c"  // Latin
    "оприкасаются с заполняемым объектом",
};

namespace {

const int32_t ItemRelations[4] = {srIntersects, srInside, srContains, srTouches};

}  // namespace

int RelationItemIndex(int32_t Relation) noexcept {
  for (int I = 0; I < 4; ++I)
    if (ItemRelations[I] == Relation) return I;
  return -1;
}

int32_t RelationOfItem(int Index) noexcept {
  return Index >= 0 && Index < 4 ? ItemRelations[Index] : 0;
}

TSourceDialogForm::TSourceDialogForm() : TNonModalForm(SOURCEDIALOGFORM_TEMPLATE) {
  SetPosition(poMainFormCenter);
}

TSourceDialogForm::~TSourceDialogForm() { DestroyHandle(); }

void TSourceDialogForm::FormCreate() {
  // The two word-wrapped labels keep their whole text at any resolution (top one first).
  for (int Id : {IDC_SD_LABEL2, IDC_SD_LABEL1}) {
    HWND Label = Control(Id);
    std::wstring Text(static_cast<size_t>(GetWindowTextLengthW(Label)) + 1, L'\0');
    Text.resize(static_cast<size_t>(GetWindowTextW(Label, &Text[0], static_cast<int>(Text.size()))));
    FitLabelHeight(Label, {Text});
  }
  SetupMapElementTree(SourceTreeView());
  HWND Combo = RelationComboBox();
  for (const char* Text : SourceRelationTexts) {
    std::wstring Wide = ToWide(Text);
    SendMessageW(Combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide.c_str()));
  }
  SendMessageW(Combo, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
}

void TSourceDialogForm::FormDestroy() {
  // The payloads go with the nodes while the form is still whole.
  ClearMapElementTree(SourceTreeView());
  FApplication = nullptr;
}

void TSourceDialogForm::ApplicationIdle() { ApplicationEvents1Idle(); }

void TSourceDialogForm::ApplicationEvents1Idle() { UpdateOkButton(); }

bool TSourceDialogForm::NotifyHandler(const NMHDR& Header, LRESULT& Result) {
  if (Header.idFrom == static_cast<UINT_PTR>(IDC_SD_SOURCETREEVIEW)) {
    if (IsTreeExpanding(Header)) {
      Result = FALSE;  // the expansion is never refused
      SourceTreeViewExpanding(Header);
      return true;
    }
    if (IsTreeDeletion(Header)) {
      SourceTreeViewDeletion(Header);
      Result = 0;
      return true;
    }
  }
  return TNonModalForm::NotifyHandler(Header, Result);
}

void TSourceDialogForm::SourceTreeViewExpanding(const NMHDR& Header) {
  MapElementTreeExpanding(Header, FApplication.Get());
}

void TSourceDialogForm::SourceTreeViewDeletion(const NMHDR& Header) {
  MapElementTreeDeletion(Header);
}

void TSourceDialogForm::FillSourceTree(const TStatSchemeFillSource& Source) {
  TSourceTreeReference Reference{Source.LayerID, Source.TableID, Source.Characteristic};
  FillMapElementTree(SourceTreeView(), FApplication.Get(), Reference);
}

void TSourceDialogForm::LoadSource(IOrvexApplication* App, const TStatSchemeFillSource& Source) {
  FApplication = TComPtr<IOrvexApplication>(App);
  FillSourceTree(Source);
  SendMessageW(RelationComboBox(), CB_SETCURSEL,
               static_cast<WPARAM>(RelationItemIndex(Source.Relation)), 0);
}

void TSourceDialogForm::StoreSource(TStatSchemeFillSource& Source) const {
  HWND Tree = SourceTreeView();
  HTREEITEM Node = SelectedNode(Tree);
  TOrvexMetaObjectInfo* Info = NodeInfo(Tree, Node);
  if (Info && Info->Kind == mkField) {
    HTREEITEM Parent = ParentNode(Tree, Node);
    TOrvexMetaObjectInfo* ParentInfo = NodeInfo(Tree, Parent);
    std::string LayerId, TableId;
    if (ParentInfo && ParentInfo->Kind == mkTable) {
      TableId = ParentInfo->Id;
      TOrvexMetaObjectInfo* LayerInfo = NodeInfo(Tree, ParentNode(Tree, Parent));
      if (LayerInfo) LayerId = LayerInfo->Id;
    } else if (ParentInfo) {
      LayerId = ParentInfo->Id;
    }
    Source.Characteristic = Info->Id;
    Source.TableID = TableId;
    Source.LayerID = LayerId;
  }
  int Item = static_cast<int>(SendMessageW(RelationComboBox(), CB_GETCURSEL, 0, 0));
  if (RelationOfItem(Item) != 0) Source.Relation = RelationOfItem(Item);
}

void TSourceDialogForm::UpdateOkButton() {
  HWND Tree = SourceTreeView();
  TOrvexMetaObjectInfo* Info = NodeInfo(Tree, SelectedNode(Tree));
  const bool Enabled =
      Info && Info->Kind == mkField && GetWindowTextLengthW(RelationComboBox()) > 0;
  HWND Ok = OkButton();
  if ((IsWindowEnabled(Ok) != FALSE) != Enabled) EnableWindow(Ok, Enabled);
}

bool ExecuteSourceDialog(IOrvexApplication* App, TStatSchemeFillSource* Source) {
  if (!Source) throw Exception("Нет источника для изменения");
  auto Form = CreateForm<TSourceDialogForm>();
  Form->LoadSource(App, *Source);
  const bool Confirmed = Form->ShowModal() == mrOk;
  if (Confirmed) Form->StoreSource(*Source);
  return Confirmed;
}

}  // namespace Quorin
