#include "wizard/NewFieldFillSchemeWizard.h"

#include <cstring>

#include "stats/FillRun.h"
#include "support/Errors.h"
#include "support/Strings.h"
#include "wizard/ListViewFit.h"
#include "wizard/MapElementTree.h"
#include "wizard/NewFieldFillSchemeWizardRes.h"
#include "wizard/SourceDialog.h"

namespace Quorin {

namespace {

// ---- the relation images ------------------------------------------------------------------
//
// 16 x 16 pictures of the four spatial relations: the target object is a dark-cyan square
// outlined in black, source objects are yellow shapes outlined in olive. A one-pixel frame and
// everything outside the shapes is transparent.

constexpr int ImageSize = 16;

struct TPicture {
  COLORREF Pixels[ImageSize][ImageSize];
  bool Opaque[ImageSize][ImageSize];

  TPicture() {
    std::memset(Pixels, 0, sizeof Pixels);
    std::memset(Opaque, 0, sizeof Opaque);
  }
  // A filled rectangle from (Left, Top) to (Right, Bottom) inclusive, with a one-pixel outline.
  void Box(int Left, int Top, int Right, int Bottom, COLORREF Fill, COLORREF Outline) {
    for (int Y = Top; Y <= Bottom; ++Y)
      for (int X = Left; X <= Right; ++X) {
        bool Edge = X == Left || X == Right || Y == Top || Y == Bottom;
        Pixels[Y][X] = Edge ? Outline : Fill;
        Opaque[Y][X] = true;
      }
  }
};

const COLORREF TargetFill = RGB(0, 128, 128);    // dark cyan
const COLORREF TargetOutline = RGB(0, 0, 0);     // black
const COLORREF SourceFill = RGB(255, 255, 0);    // yellow
const COLORREF SourceOutline = RGB(128, 128, 0); // olive

TPicture RelationPicture(int Index) {
  TPicture P;
  switch (Index) {
    case 0:  // srIntersects: two sources lying across the target's corners
      P.Box(4, 4, 11, 11, TargetFill, TargetOutline);
      P.Box(1, 1, 6, 6, SourceFill, SourceOutline);
      P.Box(9, 9, 14, 14, SourceFill, SourceOutline);
      break;
    case 1:  // srInside: two sources wholly inside the target
      P.Box(1, 1, 14, 14, TargetFill, TargetOutline);
      P.Box(3, 3, 7, 7, SourceFill, SourceOutline);
      P.Box(9, 6, 12, 12, SourceFill, SourceOutline);
      break;
    case 2:  // srContains: a source holding two small targets
      P.Box(1, 1, 14, 14, SourceFill, SourceOutline);
      P.Box(3, 3, 7, 7, TargetFill, TargetOutline);
      P.Box(8, 8, 12, 12, TargetFill, TargetOutline);
      break;
    default:  // srTouches: four rectangles against the target's sides, from outside
      P.Box(5, 5, 10, 10, TargetFill, TargetOutline);
      P.Box(1, 6, 4, 9, SourceFill, SourceOutline);
      P.Box(11, 6, 14, 9, SourceFill, SourceOutline);
      P.Box(6, 1, 9, 4, SourceFill, SourceOutline);
      P.Box(6, 11, 9, 14, SourceFill, SourceOutline);
      break;
  }
  return P;
}

// The image list of the four relations (index = image of the relation), with its mask.
HIMAGELIST CreateRelationImages() {
  TImageList List(ImageList_Create(ImageSize, ImageSize, ILC_COLOR24 | ILC_MASK, 4, 0));
  if (!List) RaiseLastOSError();
  HDC Screen = GetDC(nullptr);
  struct TScreenDc {
    HDC Dc;
    ~TScreenDc() { ReleaseDC(nullptr, Dc); }
  } ScreenGuard{Screen};

  for (int Index = 0; Index < 4; ++Index) {
    TPicture P = RelationPicture(Index);

    BITMAPINFO Info = {};
    Info.bmiHeader.biSize = sizeof Info.bmiHeader;
    Info.bmiHeader.biWidth = ImageSize;
    Info.bmiHeader.biHeight = -ImageSize;  // top-down
    Info.bmiHeader.biPlanes = 1;
    Info.bmiHeader.biBitCount = 32;
    Info.bmiHeader.biCompression = BI_RGB;
    void* Bits = nullptr;
    TGdiObject Color(CreateDIBSection(Screen, &Info, DIB_RGB_COLORS, &Bits, nullptr, 0));
    if (!Color || !Bits) RaiseLastOSError();
    auto* Out = static_cast<DWORD*>(Bits);
    for (int Y = 0; Y < ImageSize; ++Y)
      for (int X = 0; X < ImageSize; ++X) {
        COLORREF C = P.Opaque[Y][X] ? P.Pixels[Y][X] : RGB(0, 0, 0);
        Out[Y * ImageSize + X] = (GetRValue(C) << 16) | (GetGValue(C) << 8) | GetBValue(C);
      }

    // Monochrome mask, rows of 16 bits: 1 = transparent.
    BYTE MaskBits[ImageSize * 2] = {};
    for (int Y = 0; Y < ImageSize; ++Y)
      for (int X = 0; X < ImageSize; ++X)
        if (!P.Opaque[Y][X]) MaskBits[Y * 2 + X / 8] |= static_cast<BYTE>(0x80 >> (X % 8));
    TGdiObject Mask(CreateBitmap(ImageSize, ImageSize, 1, 1, MaskBits));
    if (!Mask) RaiseLastOSError();

    if (ImageList_Add(List.Get(), static_cast<HBITMAP>(Color.Get()),
                      static_cast<HBITMAP>(Mask.Get())) < 0)
      throw Exception("Не удалось добавить изображение в список изображений");
  }
  return List.Detach();
}

// The image of a relation code: 1 -> 0, 2 -> 1, 4 -> 2, 8 -> 3; none for any other code.
int RelationImageIndex(int32_t Relation) noexcept {
  switch (Relation) {
    case srIntersects: return 0;
    case srInside: return 1;
    case srContains: return 2;
    case srTouches: return 3;
    default: return I_IMAGENONE;
  }
}

// ---- small control helpers ----------------------------------------------------------------

std::string WindowText(HWND Window) {
  int Length = GetWindowTextLengthW(Window);
  std::wstring Text(static_cast<size_t>(Length) + 1, L'\0');
  Length = GetWindowTextW(Window, &Text[0], Length + 1);
  Text.resize(static_cast<size_t>(Length > 0 ? Length : 0));
  return ToAnsi(Text);
}

void SetWindowTextAnsi(HWND Window, const std::string& Text) {
  SetWindowTextW(Window, ToWide(Text).c_str());
}

// A label that sizes itself to its one-line caption, as an auto-sized label does.
void AutoSizeLabel(HWND Label) {
  std::wstring Text = ToWide(WindowText(Label));
  HDC Dc = GetDC(Label);
  if (!Dc) return;
  HGDIOBJ Old = SelectObject(Dc, reinterpret_cast<HGDIOBJ>(SendMessageW(Label, WM_GETFONT, 0, 0)));
  RECT R = {0, 0, 0, 0};
  DrawTextW(Dc, Text.c_str(), static_cast<int>(Text.size()), &R,
            DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
  SelectObject(Dc, Old);
  ReleaseDC(Label, Dc);
  SetWindowPos(Label, nullptr, 0, 0, R.right - R.left, R.bottom - R.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  InvalidateRect(GetParent(Label), nullptr, TRUE);
}

void AddListColumn(HWND ListView, int Index, const char* Caption, int Width) {
  std::wstring Text = ToWide(Caption);
  LVCOLUMNW Column = {};
  Column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
  Column.pszText = &Text[0];
  Column.cx = ScalePixels(Width);
  Column.iSubItem = Index;
  if (ListView_InsertColumn(ListView, Index, &Column) < 0)
    throw Exception("Не удалось добавить столбец списка");
}

// The rows of the page header table, by page index.
struct THeaderRow {
  bool BackEnabled;
  const char* NextCaption;
  const char* Header;
  const char* HeaderText;
};
const THeaderRow HeaderTable[] = {
    {false, "Далее >", "Выбор поля",
     "Выберите слой, таблицу и поле, в которое следует помещать результаты сбора "
     "статистических данных."},
    {true, "Далее >", "Параметры сбора данных",
     "Задайте набор источников статистических данных и выберите функцию"},
    {true, "Готово", "Все готово для заполнения статистики",
     "Для начала заполнения нажмите кнопку \"Готово\""},
};

}  // namespace

// ---- life -----------------------------------------------------------------------------------

TNewFieldFillSchemeWizard::TNewFieldFillSchemeWizard(HWND ParentWindow)
    : TNonModalForm(NEWFIELDFILLSCHEMEWIZARD_TEMPLATE, ParentWindow) {
  SetPosition(poScreenCenter);
  try {
    CreateHandle();
  } catch (...) {
    // FormDestroy of this form while it still is one: the scheme goes with the window.
    DestroyHandle();
    throw;
  }
}

TNewFieldFillSchemeWizard::~TNewFieldFillSchemeWizard() {
  // The window goes first, while the handlers of its tree's node deletions are still ours.
  DestroyHandle();
}

void TNewFieldFillSchemeWizard::LoadComponents() {
  Panel = Control(IDC_WZ_PANEL);
  HeaderLabel = Control(IDC_WZ_HEADERLABEL);
  HeaderTextLabel = Control(IDC_WZ_HEADERTEXTLABEL);
  Bevel1 = Control(IDC_WZ_BEVEL1);
  MainPageControl = Control(IDC_WZ_MAINPAGECONTROL);
  Bevel2 = Control(IDC_WZ_BEVEL2);
  BackButton = Control(IDC_WZ_BACKBUTTON);
  NextButton = Control(IDC_WZ_NEXTBUTTON);
  CancelButton = Control(IDC_WZ_CANCELBUTTON);
  FieldTabSheet = Control(IDC_WZ_FIELDTABSHEET);
  FieldTreeView = Control(IDC_WZ_FIELDTREEVIEW);
  SourceTabSheet = Control(IDC_WZ_SOURCETABSHEET);
  Label2 = Control(IDC_WZ_LABEL2);
  SourceListView = Control(IDC_WZ_SOURCELISTVIEW);
  AddSourceButton = Control(IDC_WZ_ADDSOURCEBUTTON);
  EditSourceButton = Control(IDC_WZ_EDITSOURCEBUTTON);
  DeleteSourceButton = Control(IDC_WZ_DELETESOURCEBUTTON);
  Label1 = Control(IDC_WZ_LABEL1);
  StatFunctionComboBox = Control(IDC_WZ_STATFUNCTIONCOMBOBOX);
  ProcessTabSheet = Control(IDC_WZ_PROCESSTABSHEET);
  FillObjectsProgressLabel = Control(IDC_WZ_FILLOBJECTSPROGRESSLABEL);
  FillObjectsProgressBar = Control(IDC_WZ_FILLOBJECTSPROGRESSBAR);
  SourceObjectsProgressLabel = Control(IDC_WZ_SOURCEOBJECTSPROGRESSLABEL);
  SourceObjectsProgressBar = Control(IDC_WZ_SOURCEOBJECTSPROGRESSBAR);

  FPages = {
      {FieldTabSheet, {FieldTreeView}},
      {SourceTabSheet,
       {Label2, SourceListView, AddSourceButton, EditSourceButton, DeleteSourceButton, Label1,
        StatFunctionComboBox}},
      {ProcessTabSheet,
       {FillObjectsProgressLabel, FillObjectsProgressBar, SourceObjectsProgressLabel,
        SourceObjectsProgressBar}},
  };
  FActivePage = nullptr;
  for (const TTabSheet& Page : FPages)
    if (GetWindowLongPtrW(Page.Sheet, GWL_STYLE) & WS_VISIBLE) FActivePage = Page.Sheet;

  // The header: bold title and description, -15 px "MS Sans Serif".
  SendMessageW(HeaderLabel, WM_SETFONT,
               reinterpret_cast<WPARAM>(CreateFormFont(L"MS Sans Serif", -15, true)), FALSE);
  SendMessageW(HeaderTextLabel, WM_SETFONT,
               reinterpret_cast<WPARAM>(CreateFormFont(L"MS Sans Serif", -15, false)), FALSE);
  AutoSizeLabel(HeaderLabel);
  AutoSizeLabel(Label2);
  AutoSizeLabel(Label1);
  // The description is fixed in size and word-wrapped: high enough for every page's text.
  std::vector<std::wstring> Descriptions;
  for (const THeaderRow& Row : HeaderTable) Descriptions.push_back(ToWide(Row.HeaderText));
  FitLabelHeight(HeaderTextLabel, Descriptions);

  // The map element tree: read-only, children indented by 19 pixels.
  SetupMapElementTree(FieldTreeView);

  // The source list: report view, whole-row selection, the relation images.
  ListView_SetExtendedListViewStyleEx(SourceListView, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
  SourceListViewImages.Reset(CreateRelationImages());
  ListView_SetImageList(SourceListView, SourceListViewImages.Get(), LVSIL_SMALL);
  AddListColumn(SourceListView, 0, "Слой", 86);
  AddListColumn(SourceListView, 1, "Характеристика", 185);

  SendMessageW(StatFunctionComboBox, CB_SETITEMHEIGHT, 0, ScalePixels(16));

  // Both bars start with a maximum of 0; the reporters give them their range per job.
  SendMessageW(FillObjectsProgressBar, PBM_SETRANGE32, 0, 0);
  SendMessageW(SourceObjectsProgressBar, PBM_SETRANGE32, 0, 0);
  FillProgress.SetProgressBar(FillObjectsProgressBar);
  FillProgress.SetProgressLabel(FillObjectsProgressLabel);
  FillProgress.SetVisible(true);
  SourceProgress.SetProgressBar(SourceObjectsProgressBar);
  SourceProgress.SetProgressLabel(SourceObjectsProgressLabel);
  SourceProgress.SetVisible(true);
}

void TNewFieldFillSchemeWizard::FormCreate() {
  LoadComponents();

  RefAssign(FScheme, new TStatSchemeFieldFill);
  SendMessageW(StatFunctionComboBox, CB_RESETCONTENT, 0, 0);
  for (int Code = 0; Code < StatFunctionCount; ++Code)
    SendMessageW(StatFunctionComboBox, CB_ADDSTRING, 0,
                 reinterpret_cast<LPARAM>(ToWide(StatFunctionNames[Code]).c_str()));
  SendMessageW(StatFunctionComboBox, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
  ShowPage(FieldTabSheet);
}

void TNewFieldFillSchemeWizard::FormDestroy() {
  if (FScheme) {
    TStatSchemeFieldFill* Scheme = FScheme;
    FScheme = nullptr;
    // The rows point at the sources; they go first. A run still going on (the window destroyed
    // under it by its owner) holds the scheme until it ends.
    if (SourceListView) ListView_DeleteAllItems(SourceListView);
    RefRelease(Scheme);
  }
  FApplication.Reset();
}

void TNewFieldFillSchemeWizard::SetApplication(IOrvexApplication* App) {
  FApplication = TComPtr<IOrvexApplication>(App);
  FillFieldTree(FieldTreeView, FApplication.Get());
  MainPageControlChange();
  SetActiveControl(FieldTreeView);
  if (IsWindowVisible(Handle()))
    SendMessageW(Handle(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(FieldTreeView), TRUE);
}

// ---- dispatch -------------------------------------------------------------------------------

bool TNewFieldFillSchemeWizard::WndProc(UINT Msg, WPARAM WParam, LPARAM LParam,
                                        LRESULT& Result) {
  switch (Msg) {
    case WM_CTLCOLORSTATIC: {
      HWND Ctl = reinterpret_cast<HWND>(LParam);
      HDC Dc = reinterpret_cast<HDC>(WParam);
      int Color = -1;
      if (Ctl == Panel)
        Color = COLOR_BTNHIGHLIGHT;
      else if (Ctl == HeaderLabel || Ctl == HeaderTextLabel)
        Color = COLOR_WINDOW;
      if (Color < 0) break;
      SetBkColor(Dc, GetSysColor(Color));
      SetTextColor(Dc, GetSysColor(COLOR_WINDOWTEXT));
      Result = reinterpret_cast<LRESULT>(GetSysColorBrush(Color));
      return true;
    }
    case WM_DRAWITEM: {
      // The pages draw only their background; their captions are never shown.
      const auto* Item = reinterpret_cast<const DRAWITEMSTRUCT*>(LParam);
      if (PageIndex(Item->hwndItem) < 0) break;
      FillRect(Item->hDC, &Item->rcItem, GetSysColorBrush(COLOR_BTNFACE));
      Result = TRUE;
      return true;
    }
    default:
      break;
  }
  return TNonModalForm::WndProc(Msg, WParam, LParam, Result);
}

bool TNewFieldFillSchemeWizard::CommandHandler(int Id, int Code, HWND Ctl) {
  if (Code != BN_CLICKED) return TNonModalForm::CommandHandler(Id, Code, Ctl);
  switch (Id) {
    case IDC_WZ_NEXTBUTTON: NextButtonClick(); return true;
    case IDC_WZ_BACKBUTTON: BackButtonClick(); return true;
    case IDC_WZ_ADDSOURCEBUTTON: AddSourceButtonClick(); return true;
    case IDC_WZ_EDITSOURCEBUTTON: EditSourceButtonClick(); return true;
    case IDC_WZ_DELETESOURCEBUTTON: DeleteSourceButtonClick(); return true;
    default: return TNonModalForm::CommandHandler(Id, Code, Ctl);
  }
}

bool TNewFieldFillSchemeWizard::NotifyHandler(const NMHDR& Header, LRESULT& Result) {
  if (Header.hwndFrom == FieldTreeView) {
    if (IsTreeExpanding(Header)) {
      Result = FALSE;  // the expansion always proceeds
      FieldTreeViewExpanding(Header);
      return true;
    }
    if (IsTreeDeletion(Header)) {
      Result = 0;
      FieldTreeViewDeletion(Header);
      return true;
    }
  } else if (Header.hwndFrom == MainPageControl && Header.code == TCN_SELCHANGE) {
    MainPageControlChange();
    Result = 0;
    return true;
  }
  return TNonModalForm::NotifyHandler(Header, Result);
}

void TNewFieldFillSchemeWizard::ApplicationIdle() { AppEventsIdle(); }

// ---- pages ----------------------------------------------------------------------------------

int TNewFieldFillSchemeWizard::PageIndex(HWND Page) const noexcept {
  for (size_t I = 0; I < FPages.size(); ++I)
    if (Page && FPages[I].Sheet == Page) return static_cast<int>(I);
  return -1;
}

void TNewFieldFillSchemeWizard::SetActivePage(HWND Page) {
  int Index = PageIndex(Page);
  if (Index < 0 || Page == FActivePage) return;
  // The focus must not stay on a control that is hidden.
  HWND Focus = GetFocus();
  bool FocusHidden = false;
  for (const TTabSheet& Sheet : FPages) {
    if (Sheet.Sheet == Page) continue;
    for (HWND C : Sheet.Controls) FocusHidden = FocusHidden || C == Focus;
  }
  const TTabSheet& Shown = FPages[static_cast<size_t>(Index)];
  ShowWindow(Shown.Sheet, SW_SHOWNA);
  for (HWND C : Shown.Controls) ShowWindow(C, SW_SHOWNA);
  for (const TTabSheet& Sheet : FPages) {
    if (Sheet.Sheet == Page) continue;
    for (HWND C : Sheet.Controls) ShowWindow(C, SW_HIDE);
    ShowWindow(Sheet.Sheet, SW_HIDE);
  }
  FActivePage = Page;
  if (FocusHidden && IsWindowVisible(Handle())) {
    // The focus goes to the default button, so that Enter goes on pressing it; while the new
    // page leaves that button disabled, to the page's first control in the tab order.
    UpdateButtons();
    HWND Next = IsWindowEnabled(NextButton) ? NextButton : nullptr;
    for (HWND C = GetWindow(Handle(), GW_CHILD); C && !Next; C = GetWindow(C, GW_HWNDNEXT)) {
      bool OnPage = false;
      for (HWND P : Shown.Controls) OnPage = OnPage || P == C;
      if (OnPage && (GetWindowLongPtrW(C, GWL_STYLE) & WS_TABSTOP) && IsWindowVisible(C) &&
          IsWindowEnabled(C))
        Next = C;
    }
    if (Next) SendMessageW(Handle(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Next), TRUE);
  }
}

void TNewFieldFillSchemeWizard::ShowPage(HWND Page) {
  if (Page == FActivePage) return;
  SetActivePage(Page);
  MainPageControlChange();
}

void TNewFieldFillSchemeWizard::SelectNextPage(bool GoForward) {
  // Every page counts, although no page shows a tab; the move does not wrap.
  int Index = PageIndex(FActivePage);
  int Target = GoForward ? Index + 1 : Index - 1;
  if (Index < 0 || Target < 0 || Target >= static_cast<int>(FPages.size())) return;
  SetActivePage(FPages[static_cast<size_t>(Target)].Sheet);
  MainPageControlChange();
}

void TNewFieldFillSchemeWizard::MainPageControlChange() {
  int Index = PageIndex(FActivePage);
  if (Index < 0) return;
  const THeaderRow& Row = HeaderTable[Index];
  EnableWindow(BackButton, Row.BackEnabled);
  SetWindowTextAnsi(NextButton, Row.NextCaption);
  SetWindowTextAnsi(HeaderLabel, Row.Header);
  AutoSizeLabel(HeaderLabel);
  SetWindowTextAnsi(HeaderTextLabel, Row.HeaderText);
}

// ---- buttons --------------------------------------------------------------------------------

void TNewFieldFillSchemeWizard::AppEventsIdle() { UpdateButtons(); }

void TNewFieldFillSchemeWizard::UpdateButtons() {
  // During a run the buttons stay as the run left them.
  if (FRunning || !FScheme) return;
  if (FActivePage == FieldTabSheet) {
    bool FieldChosen = false;
    HTREEITEM Node = TreeView_GetSelection(FieldTreeView);
    if (Node) {
      const TOrvexMetaObjectInfo* Info = NodeInfo(FieldTreeView, Node);
      FieldChosen = Info && Info->Kind == mkField;
    }
    EnableWindow(NextButton, FieldChosen);
  } else if (FActivePage == SourceTabSheet) {
    bool HasSources = FScheme->Sources.Count() > 0;
    bool HasFunction = SendMessageW(StatFunctionComboBox, CB_GETCURSEL, 0, 0) >= 0;
    EnableWindow(NextButton, HasSources && HasFunction);
    bool RowSelected = ListView_GetNextItem(SourceListView, -1, LVNI_SELECTED) >= 0;
    EnableWindow(EditSourceButton, RowSelected);
    EnableWindow(DeleteSourceButton, RowSelected);
  } else if (FActivePage == ProcessTabSheet) {
    EnableWindow(NextButton, TRUE);
  }
}

void TNewFieldFillSchemeWizard::NextButtonClick() {
  if (FRunning) return;
  if (FActivePage == ProcessTabSheet) {
    RunFillFromPage();
  } else {
    SelectNextPage(true);
  }
}

void TNewFieldFillSchemeWizard::BackButtonClick() {
  if (FRunning) return;
  SelectNextPage(false);
}

void TNewFieldFillSchemeWizard::RunFillFromPage() {
  StoreSelection();

  // While the run goes on, its progress reporters dispatch the pending messages: the buttons
  // that would start another run, change the page or change the sources are disabled and their
  // handlers refuse to act. "Отмена" stays enabled: its modal result ends the wizard's loop once
  // this handler has returned.
  HWND Locked[] = {BackButton, NextButton, AddSourceButton, EditSourceButton, DeleteSourceButton};
  bool WasEnabled[sizeof Locked / sizeof Locked[0]];
  HWND Focus = GetFocus();
  struct TRunScope {
    TNewFieldFillSchemeWizard& Form;
    HWND* Windows;
    bool* Enabled;
    size_t Count;
    HWND Focus;
    ~TRunScope() {
      Form.FRunning = false;
      for (size_t I = 0; I < Count; ++I) EnableWindow(Windows[I], Enabled[I]);
      if (Focus && !GetFocus() && IsWindowVisible(Focus) && IsWindowEnabled(Focus) &&
          IsWindowVisible(Form.Handle()))
        SendMessageW(Form.Handle(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Focus), TRUE);
    }
  };
  for (size_t I = 0; I < sizeof Locked / sizeof Locked[0]; ++I)
    WasEnabled[I] = IsWindowEnabled(Locked[I]) != FALSE;
  {
    // The window may be destroyed while the run passes messages (its owner destroyed by the
    // host): the run keeps what it works on and goes on to its end, as after "Отмена".
    TRefHolder<TStatSchemeFieldFill> Scheme(FScheme);
    TComPtr<IOrvexApplication> App = FApplication;
    FRunning = true;
    TRunScope Scope{*this, Locked, WasEnabled, sizeof Locked / sizeof Locked[0], Focus};
    for (HWND W : Locked) EnableWindow(W, FALSE);
    RunFill(App.Get(), *Scheme.Get(), FillProgress, SourceProgress);
  }
  // A run that ended normally: the first page, with the tree selection, the sources and the
  // function kept. (A failed one has left this handler above, and the wizard on this page.)
  if (Handle()) ShowPage(FieldTabSheet);
}

void TNewFieldFillSchemeWizard::StoreSelection() {
  LRESULT Index = SendMessageW(StatFunctionComboBox, CB_GETCURSEL, 0, 0);
  FScheme->StatFunction = static_cast<TStatFunction>(static_cast<uint8_t>(Index));
  FScheme->LayerID.clear();
  FScheme->TableID.clear();
  FScheme->FieldName.clear();
  for (HTREEITEM Node = TreeView_GetSelection(FieldTreeView); Node;
       Node = TreeView_GetParent(FieldTreeView, Node)) {
    const TOrvexMetaObjectInfo* Info = NodeInfo(FieldTreeView, Node);
    if (!Info) continue;
    switch (Info->Kind) {
      case mkLayer: FScheme->LayerID = Info->Id; break;
      case mkTable: FScheme->TableID = Info->Id; break;
      case mkField: FScheme->FieldName = Info->Id; break;
      default: break;
    }
  }
}

// ---- sources --------------------------------------------------------------------------------

TStatSchemeFillSource* TNewFieldFillSchemeWizard::SelectedSource() const {
  int Row = ListView_GetNextItem(SourceListView, -1, LVNI_SELECTED);
  if (Row < 0) return nullptr;
  LVITEMW Item = {};
  Item.mask = LVIF_PARAM;
  Item.iItem = Row;
  if (!ListView_GetItem(SourceListView, &Item)) return nullptr;
  auto* Source = reinterpret_cast<TStatSchemeFillSource*>(Item.lParam);
  // A row stands for a source of the scheme only while that source is listed there.
  if (!Source || FScheme->Sources.IndexOf(Source) < 0) return nullptr;
  return Source;
}

void TNewFieldFillSchemeWizard::SelectSourceRow(int Index) {
  ListView_SetItemState(SourceListView, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
  if (Index < 0 || Index >= ListView_GetItemCount(SourceListView))
    throw EListError(Format("List index out of bounds (%d)", Index));
  ListView_SetItemState(SourceListView, Index, LVIS_SELECTED | LVIS_FOCUSED,
                        LVIS_SELECTED | LVIS_FOCUSED);
  ListView_EnsureVisible(SourceListView, Index, FALSE);
}

void TNewFieldFillSchemeWizard::AddSourceButtonClick() {
  if (FRunning) return;
  // The creator's reference, given back on every path: a source that is not added goes with it.
  TRefHolder<TStatSchemeFillSource> NewSource(new TStatSchemeFillSource);
  if (TStatSchemeFillSource* Selected = SelectedSource()) NewSource->Assign(*Selected);
  if (!ExecuteSourceDialog(FApplication.Get(), NewSource.Get())) return;

  TStatSchemeFillSource* Result = FScheme->Sources.FindDuplicate(NewSource.Get());
  if (Result) {
    Result->Relation = NewSource->Relation;
  } else {
    FScheme->Sources.Add(NewSource.Get());
    Result = NewSource.Get();
  }
  RefreshSourceList();
  SelectSourceRow(FScheme->Sources.IndexOf(Result));
}

void TNewFieldFillSchemeWizard::EditSourceButtonClick() {
  if (FRunning) return;
  TStatSchemeFillSource* Source = SelectedSource();
  if (!Source) return;
  // Held while the dialog edits it, whatever happens to the list meanwhile.
  TRefHolder<TStatSchemeFillSource> Edited(Source);
  if (!ExecuteSourceDialog(FApplication.Get(), Source)) return;
  if (FScheme->Sources.IndexOf(Source) < 0) return;

  TStatSchemeFillSource* Result = FScheme->Sources.FindDuplicate(Source);
  if (Result) {
    Result->Relation = Source->Relation;
    FScheme->Sources.Remove(Source);
  } else {
    Result = Source;
  }
  RefreshSourceList();
  SelectSourceRow(FScheme->Sources.IndexOf(Result));
}

void TNewFieldFillSchemeWizard::DeleteSourceButtonClick() {
  if (FRunning) return;
  TStatSchemeFillSource* Source = SelectedSource();
  if (!Source) return;
  FScheme->Sources.Remove(Source);
  RefreshSourceList();
}

void TNewFieldFillSchemeWizard::RefreshSourceList() {
  ListView_DeleteAllItems(SourceListView);
  TStatSchemeFillSourceList& Sources = FScheme->Sources;
  for (int Index = 0; Index < Sources.Count(); ++Index) {
    TStatSchemeFillSource* Source = Sources.Items(Index);

    // The row, with its data pointer from the start, so that a row left without texts by a
    // failed host call still stands for its source.
    LVITEMW Item = {};
    Item.mask = LVIF_TEXT | LVIF_PARAM;
    Item.iItem = Index;
    Item.pszText = const_cast<wchar_t*>(L"");
    Item.lParam = reinterpret_cast<LPARAM>(Source);
    int Row = ListView_InsertItem(SourceListView, &Item);
    if (Row < 0) throw Exception("Не удалось добавить строку списка");

    LVITEMW Image = {};
    Image.mask = LVIF_IMAGE;
    Image.iItem = Row;
    Image.iImage = RelationImageIndex(Source->Relation);
    ListView_SetItem(SourceListView, &Image);

    TComPtr<IOrvexDatabase> Database = OX_INTF(IOrvexDatabase, FApplication, GetDatabase);
    TBStr LayerId(Source->LayerID);
    TComPtr<IOrvexLayer> Layer = OX_INTF(IOrvexLayer, Database, GetLayer, LayerId.Get());
    std::wstring Caption = ToWide(OX_STR(Layer, GetName));
    ListView_SetItemText(SourceListView, Row, 0, &Caption[0]);

    std::wstring Characteristic = ToWide(GetCharacteristicText(*Source, FApplication.Get()));
    ListView_SetItemText(SourceListView, Row, 1, &Characteristic[0]);

    FitListViewColumns(SourceListView);
  }
}

// ---- the tree -------------------------------------------------------------------------------

void TNewFieldFillSchemeWizard::FieldTreeViewExpanding(const NMHDR& Header) {
  MapElementTreeExpanding(Header, FApplication.Get());
}

void TNewFieldFillSchemeWizard::FieldTreeViewDeletion(const NMHDR& Header) {
  MapElementTreeDeletion(Header);
}

}  // namespace Quorin
