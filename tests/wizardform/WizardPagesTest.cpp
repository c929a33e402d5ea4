// The form itself: its resource, the fresh state, the pages with their headers, the enabling of
// "Далее >", the function list, the relation images, the keyboard, and SetApplication.
#include "tests/wizardform/WizardDriver.h"

#include "stats/StatSchemes.h"
#include "support/Errors.h"
#include "support/Forms.h"
#include "support/MessageLoop.h"
#include "support/Strings.h"

using namespace QuorinTest;
using Quorin::ScalePixels;

namespace {

const TPath TargetField = {L"Город", L"Здания", L"Здания.сем", L"Итог"};

class WizardPages : public TWizardTest {};

// The control's place in the form's client area, in design pixels scaled to the screen.
RECT ClientRectOf(HWND Form, HWND Control) {
  RECT R;
  GetWindowRect(Control, &R);
  MapWindowPoints(nullptr, Form, reinterpret_cast<POINT*>(&R), 2);
  return R;
}

struct TPlace {
  int Id;
  const char* Name;
  int X, Y, W, H;  // -1: not fixed by the design (auto-sized labels, the drop-down height)
};

bool PageShown(HWND Sheet) { return IsWindowVisible(Sheet) != FALSE; }

}  // namespace

TEST_F(WizardPages, FormResourceGivesEveryComponentItsPlace) {
  CreateWizard();
  RECT Client;
  GetClientRect(Form(), &Client);
  EXPECT_EQ(Client.right, ScalePixels(609));
  EXPECT_EQ(Client.bottom, ScalePixels(434));

  // Page coordinates are relative to the display area of MainPageControl, at (4, 77).
  const TPlace Places[] = {
      {IDC_WZ_PANEL, "Panel", 0, 0, 609, 70},
      {IDC_WZ_HEADERLABEL, "HeaderLabel", 25, 9, -1, -1},
      {IDC_WZ_HEADERTEXTLABEL, "HeaderTextLabel", 44, 25, 553, 40},
      {IDC_WZ_BEVEL1, "Bevel1", 0, 70, 609, 3},
      {IDC_WZ_MAINPAGECONTROL, "MainPageControl", 0, 73, 609, 311},
      {IDC_WZ_BEVEL2, "Bevel2", 0, 384, 609, 2},
      {IDC_WZ_BACKBUTTON, "BackButton", 296, 393, 93, 28},
      {IDC_WZ_NEXTBUTTON, "NextButton", 392, 393, 93, 28},
      {IDC_WZ_CANCELBUTTON, "CancelButton", 503, 393, 92, 28},
      {IDC_WZ_FIELDTABSHEET, "FieldTabSheet", 4, 77, 601, 303},
      {IDC_WZ_FIELDTREEVIEW, "FieldTreeView", 4, 77, 601, 303},
      {IDC_WZ_SOURCETABSHEET, "SourceTabSheet", 4, 77, 601, 303},
      {IDC_WZ_LABEL2, "Label2", 4 + 11, 77 + 0, -1, -1},
      {IDC_WZ_SOURCELISTVIEW, "SourceListView", 4 + 7, 77 + 20, 585, 237},
      {IDC_WZ_ADDSOURCEBUTTON, "AddSourceButton", 4 + 7, 77 + 265, 93, 28},
      {IDC_WZ_EDITSOURCEBUTTON, "EditSourceButton", 4 + 108, 77 + 265, 93, 28},
      {IDC_WZ_DELETESOURCEBUTTON, "DeleteSourceButton", 4 + 210, 77 + 265, 93, 28},
      {IDC_WZ_LABEL1, "Label1", 4 + 310, 77 + 268, -1, -1},
      {IDC_WZ_STATFUNCTIONCOMBOBOX, "StatFunctionComboBox", 4 + 377, 77 + 265, 215, -1},
      {IDC_WZ_PROCESSTABSHEET, "ProcessTabSheet", 4, 77, 601, 303},
      {IDC_WZ_FILLOBJECTSPROGRESSLABEL, "FillObjectsProgressLabel", 4 + 12, 77 + 184, -1, -1},
      {IDC_WZ_FILLOBJECTSPROGRESSBAR, "FillObjectsProgressBar", 4 + 12, 77 + 204, 577, 21},
      {IDC_WZ_SOURCEOBJECTSPROGRESSLABEL, "SourceObjectsProgressLabel", 4 + 12, 77 + 244, -1, -1},
      {IDC_WZ_SOURCEOBJECTSPROGRESSBAR, "SourceObjectsProgressBar", 4 + 12, 77 + 264, 577, 21},
  };
  for (const TPlace& P : Places) {
    SCOPED_TRACE(P.Name);
    HWND C = Ctl(P.Id);
    ASSERT_NE(C, nullptr);
    RECT R = ClientRectOf(Form(), C);
    EXPECT_EQ(R.left, ScalePixels(P.X));
    EXPECT_EQ(R.top, ScalePixels(P.Y));
    if (P.W >= 0) {
      EXPECT_EQ(R.right - R.left, ScalePixels(P.W));
    }
    if (P.H >= 0) {
      EXPECT_EQ(R.bottom - R.top, ScalePixels(P.H));
    }
  }

  // Texts of the resource.
  EXPECT_EQ(WindowText(Form()), L"Мастер анализа статистических данных");
  EXPECT_EQ(Text(IDC_WZ_BACKBUTTON), L"< Назад");
  EXPECT_EQ(Text(IDC_WZ_CANCELBUTTON), L"Отмена");
  EXPECT_EQ(Text(IDC_WZ_LABEL2), L"Источник статистических данных:");
  EXPECT_EQ(Text(IDC_WZ_ADDSOURCEBUTTON), L"Добавить");
  EXPECT_EQ(Text(IDC_WZ_EDITSOURCEBUTTON), L"Изменить");
  EXPECT_EQ(Text(IDC_WZ_DELETESOURCEBUTTON), L"Удалить");
  EXPECT_EQ(Text(IDC_WZ_LABEL1), L"Функция:");
  EXPECT_EQ(Text(IDC_WZ_FILLOBJECTSPROGRESSLABEL), L"Заполняемые объекты:");
  EXPECT_EQ(Text(IDC_WZ_SOURCEOBJECTSPROGRESSLABEL), L"Исходные объекты:");
  EXPECT_EQ(Text(IDC_WZ_FIELDTABSHEET), L"Дерево элементов карты");
  EXPECT_EQ(Text(IDC_WZ_SOURCETABSHEET), L"Источник стат данных");
  EXPECT_EQ(Text(IDC_WZ_PROCESSTABSHEET), L"ProcessTabSheet");

  // Dialog border without border icons, owned by the window it was created over.
  LONG_PTR Style = GetWindowLongPtrW(Form(), GWL_STYLE);
  EXPECT_TRUE(Style & WS_CAPTION);
  EXPECT_FALSE(Style & WS_SYSMENU);
  EXPECT_FALSE(Style & WS_THICKFRAME);
  EXPECT_FALSE(Style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
  EXPECT_EQ(GetWindow(Form(), GW_OWNER), Owner->Handle());

  // The page control: button-style tabs, none of them shown.
  HWND Pages = Ctl(IDC_WZ_MAINPAGECONTROL);
  wchar_t Class[32] = {};
  GetClassNameW(Pages, Class, 32);
  EXPECT_STREQ(Class, WC_TABCONTROLW);
  EXPECT_TRUE(GetWindowLongPtrW(Pages, GWL_STYLE) & TCS_BUTTONS);
  EXPECT_EQ(TabCtrl_GetItemCount(Pages), 0);

  // Fonts: the form's -13 px "MS Sans Serif"; the header's -15 px, the title bold.
  auto FontOf = [](HWND W) {
    LOGFONTW F = {};
    GetObjectW(reinterpret_cast<HGDIOBJ>(SendMessageW(W, WM_GETFONT, 0, 0)), sizeof F, &F);
    return F;
  };
  LOGFONTW FormFont = FontOf(Ctl(IDC_WZ_NEXTBUTTON));
  EXPECT_STREQ(FormFont.lfFaceName, L"MS Sans Serif");
  EXPECT_EQ(FormFont.lfHeight, -MulDiv(8, Quorin::ScreenDpi(), 72));
  LOGFONTW Title = FontOf(Ctl(IDC_WZ_HEADERLABEL));
  EXPECT_STREQ(Title.lfFaceName, L"MS Sans Serif");
  EXPECT_EQ(Title.lfHeight, ScalePixels(-15));
  EXPECT_EQ(Title.lfWeight, FW_BOLD);
  LOGFONTW Description = FontOf(Ctl(IDC_WZ_HEADERTEXTLABEL));
  EXPECT_EQ(Description.lfHeight, ScalePixels(-15));
  EXPECT_EQ(Description.lfWeight, FW_NORMAL);

  // The source list: report view, whole-row selection, read-only; the tree read-only, indent 19.
  HWND List = Ctl(IDC_WZ_SOURCELISTVIEW);
  LONG_PTR ListStyle = GetWindowLongPtrW(List, GWL_STYLE);
  EXPECT_EQ(ListStyle & LVS_TYPEMASK, LVS_REPORT);
  EXPECT_TRUE(ListStyle & LVS_SHOWSELALWAYS);
  EXPECT_FALSE(ListStyle & LVS_EDITLABELS);
  EXPECT_TRUE(ListView_GetExtendedListViewStyle(List) & LVS_EX_FULLROWSELECT);
  HWND Tree = Ctl(IDC_WZ_FIELDTREEVIEW);
  LONG_PTR TreeStyle = GetWindowLongPtrW(Tree, GWL_STYLE);
  EXPECT_TRUE(TreeStyle & TVS_SHOWSELALWAYS);
  EXPECT_FALSE(TreeStyle & TVS_EDITLABELS);
  EXPECT_EQ(static_cast<int>(TreeView_GetIndent(Tree)), ScalePixels(19));
  EXPECT_EQ(GetWindowLongPtrW(Ctl(IDC_WZ_STATFUNCTIONCOMBOBOX), GWL_STYLE) & 3, CBS_DROPDOWNLIST);

  // Both bars start with a maximum of 0.
  EXPECT_EQ(SendMessageW(Ctl(IDC_WZ_FILLOBJECTSPROGRESSBAR), PBM_GETRANGE, FALSE, 0), 0);
  EXPECT_EQ(SendMessageW(Ctl(IDC_WZ_SOURCEOBJECTSPROGRESSBAR), PBM_GETRANGE, FALSE, 0), 0);
}

TEST_F(WizardPages, TabOrderFollowsTheResource) {
  CreateWizard();
  GoToSourcePage(TargetField);
  // Every tab stop of the page enabled, to see the whole order.
  for (int Id : {IDC_WZ_NEXTBUTTON, IDC_WZ_EDITSOURCEBUTTON, IDC_WZ_DELETESOURCEBUTTON})
    EnableWindow(Ctl(Id), TRUE);
  const int Order[] = {IDC_WZ_BACKBUTTON,         IDC_WZ_NEXTBUTTON,
                       IDC_WZ_CANCELBUTTON,       IDC_WZ_STATFUNCTIONCOMBOBOX,
                       IDC_WZ_ADDSOURCEBUTTON,    IDC_WZ_EDITSOURCEBUTTON,
                       IDC_WZ_DELETESOURCEBUTTON, IDC_WZ_SOURCELISTVIEW};
  HWND Current = Ctl(Order[0]);
  for (size_t I = 1; I <= sizeof Order / sizeof Order[0]; ++I) {
    HWND Next = GetNextDlgTabItem(Form(), Current, FALSE);
    int Expected = Order[I % (sizeof Order / sizeof Order[0])];
    EXPECT_EQ(GetDlgCtrlID(Next), Expected) << "after " << GetDlgCtrlID(Current);
    Current = Next;
  }
}

TEST_F(WizardPages, FreshWizardShowsTheFirstPage) {
  Host.SetActiveLayer(L"");
  CreateWizard(/*Visible=*/false);
  // The tree shows the maps only (the item of another kind is left out), nothing selected.
  HWND Tree = Ctl(IDC_WZ_FIELDTREEVIEW);
  HTREEITEM Root = TreeView_GetRoot(Tree);
  ASSERT_NE(Root, nullptr);
  EXPECT_EQ(NodeText(Tree, Root), L"Город");
  EXPECT_EQ(TreeView_GetNextSibling(Tree, Root), nullptr);
  EXPECT_EQ(TreeView_GetSelection(Tree), nullptr);

  // The scheme: nothing chosen yet.
  const Quorin::TStatSchemeFieldFill& Scheme = Wizard->Scheme();
  EXPECT_EQ(Scheme.LayerID, "");
  EXPECT_EQ(Scheme.TableID, "");
  EXPECT_EQ(Scheme.FieldName, "");
  EXPECT_EQ(Scheme.StatFunction, Quorin::sfCount);
  EXPECT_EQ(Scheme.Sources.Count(), 0);

  Wizard->Show();
  Idle();
  EXPECT_EQ(Wizard->ActivePage(), Ctl(IDC_WZ_FIELDTABSHEET));
  EXPECT_TRUE(PageShown(Ctl(IDC_WZ_FIELDTABSHEET)));
  EXPECT_FALSE(PageShown(Ctl(IDC_WZ_SOURCETABSHEET)));
  EXPECT_FALSE(PageShown(Ctl(IDC_WZ_PROCESSTABSHEET)));
  EXPECT_TRUE(IsWindowVisible(Ctl(IDC_WZ_FIELDTREEVIEW)));
  EXPECT_FALSE(IsWindowVisible(Ctl(IDC_WZ_SOURCELISTVIEW)));
  EXPECT_FALSE(IsWindowVisible(Ctl(IDC_WZ_FILLOBJECTSPROGRESSBAR)));

  EXPECT_EQ(Text(IDC_WZ_HEADERLABEL), L"Выбор поля");
  EXPECT_EQ(Text(IDC_WZ_HEADERTEXTLABEL),
            L"Выберите слой, таблицу и поле, в которое следует помещать результаты сбора "
            L"статистических данных.");
  EXPECT_FALSE(Enabled(IDC_WZ_BACKBUTTON));
  EXPECT_EQ(Text(IDC_WZ_NEXTBUTTON), L"Далее >");
  EXPECT_FALSE(Enabled(IDC_WZ_NEXTBUTTON));
}

TEST_F(WizardPages, FunctionListHoldsExactlyTheFiveFunctionsInCodeOrder) {
  CreateWizard();
  HWND Combo = Ctl(IDC_WZ_STATFUNCTIONCOMBOBOX);
  std::vector<std::wstring> Expected = {L"Количество", L"Сумма", L"Среднее арифметическое",
                                        L"Минимальное", L"Максимальное"};
  EXPECT_EQ(ComboItems(Combo), Expected);
  EXPECT_EQ(SendMessageW(Combo, CB_GETCURSEL, 0, 0), CB_ERR);
  for (int Code = 0; Code < Quorin::StatFunctionCount; ++Code)
    EXPECT_EQ(Quorin::ToWide(Quorin::StatFunctionNames[Code]), Expected[static_cast<size_t>(Code)]);
}

TEST_F(WizardPages, NextOnTheFirstPageNeedsAFieldNode) {
  CreateWizard();
  HWND Tree = Ctl(IDC_WZ_FIELDTREEVIEW);
  const TPath NotFields[] = {{L"Город"}, {L"Город", L"Здания"}, {L"Город", L"Здания", L"Здания.сем"}};
  for (const TPath& P : NotFields) {
    SelectNode(Tree, P);
    Idle();
    EXPECT_FALSE(Enabled(IDC_WZ_NEXTBUTTON)) << testing::PrintToString(P);
  }
  SelectNode(Tree, TargetField);
  EXPECT_FALSE(Enabled(IDC_WZ_NEXTBUTTON)) << "enabled only on the idle pass";
  Quorin::RunIdleHandlers();
  EXPECT_TRUE(Enabled(IDC_WZ_NEXTBUTTON));
  SelectNode(Tree, {L"Город", L"Участки"});
  Idle();
  EXPECT_FALSE(Enabled(IDC_WZ_NEXTBUTTON));
}

TEST_F(WizardPages, ActiveLayerIsPreselectedAndIsNoField) {
  Host.SetActiveLayer(L"prc");
  CreateWizard();
  HWND Tree = Ctl(IDC_WZ_FIELDTREEVIEW);
  HTREEITEM Selected = TreeView_GetSelection(Tree);
  ASSERT_NE(Selected, nullptr);
  EXPECT_EQ(NodePath(Tree, Selected), (TPath{L"Город", L"Участки"}));
  EXPECT_FALSE(Enabled(IDC_WZ_NEXTBUTTON));
}

TEST_F(WizardPages, PagesChangeOnlyThroughTheButtonsAndApplyTheirHeaders) {
  CreateWizard();
  GoToSourcePage(TargetField);
  EXPECT_TRUE(PageShown(Ctl(IDC_WZ_SOURCETABSHEET)));
  EXPECT_FALSE(PageShown(Ctl(IDC_WZ_FIELDTABSHEET)));
  EXPECT_FALSE(IsWindowVisible(Ctl(IDC_WZ_FIELDTREEVIEW)));
  EXPECT_TRUE(IsWindowVisible(Ctl(IDC_WZ_SOURCELISTVIEW)));
  EXPECT_EQ(Text(IDC_WZ_HEADERLABEL), L"Параметры сбора данных");
  EXPECT_EQ(Text(IDC_WZ_HEADERTEXTLABEL),
            L"Задайте набор источников статистических данных и выберите функцию");
  EXPECT_TRUE(Enabled(IDC_WZ_BACKBUTTON));
  EXPECT_EQ(Text(IDC_WZ_NEXTBUTTON), L"Далее >");

  // No sources, no function: "Далее >" disabled; a function alone is not enough.
  EXPECT_FALSE(Enabled(IDC_WZ_NEXTBUTTON));
  EXPECT_FALSE(Enabled(IDC_WZ_EDITSOURCEBUTTON));
  EXPECT_FALSE(Enabled(IDC_WZ_DELETESOURCEBUTTON));
  EXPECT_TRUE(Enabled(IDC_WZ_ADDSOURCEBUTTON));
  ChooseFunction(Quorin::sfMax);
  EXPECT_FALSE(Enabled(IDC_WZ_NEXTBUTTON));

  // Back and forth.
  Click(IDC_WZ_BACKBUTTON);
  EXPECT_EQ(Wizard->ActivePage(), Ctl(IDC_WZ_FIELDTABSHEET));
  EXPECT_EQ(Text(IDC_WZ_HEADERLABEL), L"Выбор поля");
  EXPECT_FALSE(Enabled(IDC_WZ_BACKBUTTON));
  // "< Назад" on the first page never wraps to the last one: the button enabled, so that its
  // click reaches the handler (a disabled button's click is dropped before).
  EnableWindow(Ctl(IDC_WZ_BACKBUTTON), TRUE);
  Click(IDC_WZ_BACKBUTTON);
  EXPECT_EQ(Wizard->ActivePage(), Ctl(IDC_WZ_FIELDTABSHEET));
  EXPECT_EQ(Text(IDC_WZ_HEADERLABEL), L"Выбор поля");
  Click(IDC_WZ_NEXTBUTTON);
  EXPECT_EQ(Wizard->ActivePage(), Ctl(IDC_WZ_SOURCETABSHEET));

  // Sources without a function: disabled; both: enabled.
  AddSource({L"Город", L"Участки", L"Площадь"}, 1);
  SendMessageW(Ctl(IDC_WZ_STATFUNCTIONCOMBOBOX), CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
  Idle();
  EXPECT_FALSE(Enabled(IDC_WZ_NEXTBUTTON));
  ChooseFunction(Quorin::sfMax);
  EXPECT_TRUE(Enabled(IDC_WZ_NEXTBUTTON));
  EXPECT_TRUE(Enabled(IDC_WZ_EDITSOURCEBUTTON));  // the added row is selected

  Click(IDC_WZ_NEXTBUTTON);
  EXPECT_EQ(Wizard->ActivePage(), Ctl(IDC_WZ_PROCESSTABSHEET));
  EXPECT_TRUE(PageShown(Ctl(IDC_WZ_PROCESSTABSHEET)));
  EXPECT_FALSE(PageShown(Ctl(IDC_WZ_SOURCETABSHEET)));
  EXPECT_TRUE(IsWindowVisible(Ctl(IDC_WZ_FILLOBJECTSPROGRESSBAR)));
  EXPECT_TRUE(IsWindowVisible(Ctl(IDC_WZ_SOURCEOBJECTSPROGRESSLABEL)));
  EXPECT_FALSE(IsWindowVisible(Ctl(IDC_WZ_SOURCELISTVIEW)));
  EXPECT_EQ(Text(IDC_WZ_HEADERLABEL), L"Все готово для заполнения статистики");
  EXPECT_EQ(Text(IDC_WZ_HEADERTEXTLABEL), L"Для начала заполнения нажмите кнопку \"Готово\"");
  EXPECT_EQ(Text(IDC_WZ_NEXTBUTTON), L"Готово");
  EXPECT_TRUE(Enabled(IDC_WZ_NEXTBUTTON));
  EXPECT_TRUE(Enabled(IDC_WZ_BACKBUTTON));

  Click(IDC_WZ_BACKBUTTON);
  EXPECT_EQ(Wizard->ActivePage(), Ctl(IDC_WZ_SOURCETABSHEET));
  EXPECT_EQ(Text(IDC_WZ_NEXTBUTTON), L"Далее >");
  // Nothing ran.
  EXPECT_EQ(Host.ApplyChangesCount(), 0);
}

TEST_F(WizardPages, EnterPressesNextWhenEnabledAndEscCloses) {
  CreateWizard(/*Visible=*/false);
  HWND Tree = Ctl(IDC_WZ_FIELDTREEVIEW);
  SelectNode(Tree, {L"Город", L"Здания"});
  TUiScript Script;
  Script.Step([&] {
    EXPECT_EQ(GetFocus(), Tree);
    PressKey(Tree, VK_RETURN);  // "Далее >" is disabled: nothing
  });
  Script.Step([&] {
    EXPECT_EQ(Wizard->ActivePage(), Ctl(IDC_WZ_FIELDTABSHEET));
    SelectNode(Tree, TargetField);
  });
  Script.Step([&] { PressKey(Tree, VK_RETURN); });
  Script.Step([&] {
    EXPECT_EQ(Wizard->ActivePage(), Ctl(IDC_WZ_SOURCETABSHEET));
    PressKey(GetFocus() ? GetFocus() : Form(), VK_ESCAPE);
  });
  int Result = Wizard->ShowModal();
  EXPECT_EQ(Result, Quorin::mrCancel);
  EXPECT_TRUE(Script.Finished());
  EXPECT_FALSE(IsWindowVisible(Form()));
  EXPECT_TRUE(Script.Boxes().empty());
}

TEST_F(WizardPages, EscClosesFromTheLastPage) {
  CreateWizard(/*Visible=*/false);
  GoToSourcePage(TargetField);
  AddSource({L"Город", L"Участки", L"Площадь"}, 1);
  ChooseFunction(Quorin::sfCount);
  Click(IDC_WZ_NEXTBUTTON);
  ASSERT_EQ(Wizard->ActivePage(), Ctl(IDC_WZ_PROCESSTABSHEET));
  TUiScript Script;
  Script.Step([&] { PressKey(GetFocus() ? GetFocus() : Form(), VK_ESCAPE); });
  EXPECT_EQ(Wizard->ShowModal(), Quorin::mrCancel);
  EXPECT_EQ(Host.ApplyChangesCount(), 0);
}

TEST_F(WizardPages, CancelButtonClosesWithCancel) {
  CreateWizard(/*Visible=*/false);
  TUiScript Script;
  Script.Step([&] { ClickButton(Form(), IDCANCEL); });
  EXPECT_EQ(Wizard->ShowModal(), Quorin::mrCancel);
  EXPECT_TRUE(IsWindowEnabled(Owner->Handle()));
}

TEST_F(WizardPages, RelationImagesShowTheirShapesOverATransparentMask) {
  CreateWizard();
  HIMAGELIST Images = ListView_GetImageList(Ctl(IDC_WZ_SOURCELISTVIEW), LVSIL_SMALL);
  ASSERT_NE(Images, nullptr);
  EXPECT_EQ(ImageList_GetImageCount(Images), 4);
  int W = 0, H = 0;
  ImageList_GetIconSize(Images, &W, &H);
  EXPECT_EQ(W, 16);
  EXPECT_EQ(H, 16);
  IMAGEINFO Info = {};
  ASSERT_TRUE(ImageList_GetImageInfo(Images, 0, &Info));
  EXPECT_NE(Info.hbmMask, nullptr);

  // Each image drawn over magenta: the mask lets the background through.
  const COLORREF Back = RGB(255, 0, 255), Teal = RGB(0, 128, 128), Black = RGB(0, 0, 0),
                 Yellow = RGB(255, 255, 0), Olive = RGB(128, 128, 0);
  auto Draw = [&](int Index) {
    std::vector<COLORREF> Pixels(16 * 16);
    BITMAPINFO Bi = {};
    Bi.bmiHeader.biSize = sizeof Bi.bmiHeader;
    Bi.bmiHeader.biWidth = 16;
    Bi.bmiHeader.biHeight = -16;
    Bi.bmiHeader.biPlanes = 1;
    Bi.bmiHeader.biBitCount = 32;
    void* Bits = nullptr;
    HDC Dc = CreateCompatibleDC(nullptr);
    HBITMAP Bitmap = CreateDIBSection(Dc, &Bi, DIB_RGB_COLORS, &Bits, nullptr, 0);
    HGDIOBJ Old = SelectObject(Dc, Bitmap);
    HBRUSH Brush = CreateSolidBrush(Back);
    RECT R = {0, 0, 16, 16};
    FillRect(Dc, &R, Brush);
    DeleteObject(Brush);
    ImageList_Draw(Images, Index, Dc, 0, 0, ILD_NORMAL);
    GdiFlush();
    for (int I = 0; I < 256; ++I) {
      DWORD P = static_cast<DWORD*>(Bits)[I];
      Pixels[static_cast<size_t>(I)] = RGB((P >> 16) & 0xFF, (P >> 8) & 0xFF, P & 0xFF);
    }
    SelectObject(Dc, Old);
    DeleteObject(Bitmap);
    DeleteDC(Dc);
    return Pixels;
  };
  struct TProbe {
    int X, Y;
    COLORREF Color;
  };
  const std::vector<TProbe> Probes[4] = {
      // 0 intersects: yellow squares across the cyan square's corners
      {{0, 0, Back}, {13, 2, Back}, {2, 13, Back}, {8, 8, Teal}, {4, 8, Black}, {3, 3, Yellow},
       {1, 1, Olive}, {12, 12, Yellow}, {6, 6, Olive}},
      // 1 inside: yellow shapes wholly inside the cyan square
      {{0, 0, Back}, {15, 15, Back}, {1, 1, Black}, {2, 2, Teal}, {5, 5, Yellow}, {3, 3, Olive},
       {10, 10, Yellow}, {13, 13, Teal}},
      // 2 contains: a yellow square holding two small cyan squares
      {{0, 0, Back}, {15, 0, Back}, {1, 1, Olive}, {2, 2, Yellow}, {5, 5, Teal}, {3, 3, Black},
       {10, 10, Teal}, {12, 3, Yellow}},
      // 3 touches: yellow rectangles against the cyan square's sides, from outside
      {{0, 0, Back}, {2, 2, Back}, {13, 13, Back}, {7, 7, Teal}, {5, 5, Black}, {2, 7, Yellow},
       {4, 7, Olive}, {12, 7, Yellow}, {7, 2, Yellow}, {7, 12, Yellow}},
  };
  for (int Index = 0; Index < 4; ++Index) {
    std::vector<COLORREF> Pixels = Draw(Index);
    for (const TProbe& P : Probes[Index])
      EXPECT_EQ(Pixels[static_cast<size_t>(P.Y * 16 + P.X)], P.Color)
          << "image " << Index << " at (" << P.X << ", " << P.Y << ")";
    // Every image has transparent pixels and opaque ones.
    int Transparent = 0;
    for (COLORREF C : Pixels) Transparent += C == Back;
    EXPECT_GT(Transparent, 0);
    EXPECT_LT(Transparent, 256);
  }
}

TEST_F(WizardPages, SetApplicationFailureReachesTheCaller) {
  Host.FailMethod(L"IOrvexCatalog", L"GetMaps",
                  HostSim::TFault{E_FAIL, L"Каталог недоступен.", false, false});
  Wizard = std::make_unique<Quorin::TNewFieldFillSchemeWizard>(Owner->Handle());
  try {
    Wizard->SetApplication(App.Get());
    ADD_FAILURE() << "no error";
  } catch (const Quorin::EOleException& E) {
    EXPECT_EQ(E.Message(), "Каталог недоступен");
    EXPECT_EQ(E.ErrorCode(), E_FAIL);
  }
  // Destroyed before it is shown; TearDown checks that nothing of the host is left.
}

TEST_F(WizardPages, HelpRequestShowsNothing) {
  CreateWizard();
  LRESULT R = SendMessageW(Form(), WM_HELP, 0, 0);
  EXPECT_EQ(R, 0);
  Idle();
  EXPECT_TRUE(OpenMessageBoxes().empty());
  EXPECT_EQ(Wizard->ActivePage(), Ctl(IDC_WZ_FIELDTABSHEET));
}
