#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "support/Forms.h"
#include "support/Handles.h"
#include "tests/uitest/UiTest.h"
#include "wizard/ListViewFit.h"

using namespace Quorin;
using namespace QuorinTest;

namespace {

// A report-style list view on a window of its own, in the font the forms use.
class TTestList {
public:
  explicit TTestList(int FontHeight = -13) {
    InitFormRuntime();
    TActivationScope Scope;
    FList = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                            WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SHOWSELALWAYS, 7, 20, 585,
                            237, FOwner.Handle(), nullptr, GetModuleHandleW(nullptr), nullptr);
    LOGFONTW Lf = {};
    Lf.lfHeight = FontHeight;
    Lf.lfCharSet = DEFAULT_CHARSET;
    wcscpy(Lf.lfFaceName, L"MS Sans Serif");
    FFont.Reset(CreateFontIndirectW(&Lf));
    SendMessageW(FList, WM_SETFONT, reinterpret_cast<WPARAM>(FFont.Get()), TRUE);
  }
  ~TTestList() { DestroyWindow(FList); }

  HWND Handle() const { return FList; }

  void AddColumn(const std::wstring& Caption, int Width) {
    LVCOLUMNW Col = {};
    Col.mask = LVCF_TEXT | LVCF_WIDTH;
    Col.pszText = const_cast<wchar_t*>(Caption.c_str());
    Col.cx = Width;
    int N = ColumnCount();
    ASSERT_EQ(SendMessageW(FList, LVM_INSERTCOLUMNW, N, reinterpret_cast<LPARAM>(&Col)), N);
  }
  void AddRow(const std::vector<std::wstring>& Texts) {
    LVITEMW Item = {};
    Item.mask = LVIF_TEXT;
    Item.iItem = RowCount();
    Item.pszText = const_cast<wchar_t*>(Texts[0].c_str());
    int Row = static_cast<int>(SendMessageW(FList, LVM_INSERTITEMW, 0,
                                            reinterpret_cast<LPARAM>(&Item)));
    ASSERT_GE(Row, 0);
    for (size_t J = 1; J < Texts.size(); ++J) {
      LVITEMW Sub = {};
      Sub.iSubItem = static_cast<int>(J);
      Sub.pszText = const_cast<wchar_t*>(Texts[J].c_str());
      SendMessageW(FList, LVM_SETITEMTEXTW, Row, reinterpret_cast<LPARAM>(&Sub));
    }
  }
  void DeleteRow(int Row) { SendMessageW(FList, LVM_DELETEITEM, Row, 0); }
  int ColumnCount() const {
    HWND Header = reinterpret_cast<HWND>(SendMessageW(FList, LVM_GETHEADER, 0, 0));
    return static_cast<int>(SendMessageW(Header, HDM_GETITEMCOUNT, 0, 0));
  }
  int RowCount() const { return static_cast<int>(SendMessageW(FList, LVM_GETITEMCOUNT, 0, 0)); }
  int Width(int Column) const {
    return static_cast<int>(SendMessageW(FList, LVM_GETCOLUMNWIDTH, Column, 0));
  }
  void SetWidth(int Column, int W) { SendMessageW(FList, LVM_SETCOLUMNWIDTH, Column, W); }

  // The width of a text in the font of the rows, measured independently of the routine.
  int TextWidth(const std::wstring& Text) const {
    HDC Dc = GetDC(FList);
    HGDIOBJ Old = SelectObject(Dc, FFont.Get());
    SIZE S = {0, 0};
    if (!Text.empty()) GetTextExtentPoint32W(Dc, Text.c_str(), static_cast<int>(Text.size()), &S);
    SelectObject(Dc, Old);
    ReleaseDC(FList, Dc);
    return S.cx;
  }

private:
  TOwnerWindow FOwner;
  HWND FList = nullptr;
  TGdiObject FFont;
};

}  // namespace

TEST(ListViewFit, AListWithoutColumnsIsLeftAsItIs) {
  TTestList List;
  List.AddRow({L"строка без колонок"});
  int Rows = List.RowCount();
  FitListViewColumns(List.Handle());
  EXPECT_EQ(List.ColumnCount(), 0);
  EXPECT_EQ(List.RowCount(), Rows);
}

TEST(ListViewFit, WithoutRowsEveryColumnIsItsCaptionPlusTheMargin) {
  TTestList List;
  List.AddColumn(L"Слой", 86);
  List.AddColumn(L"Характеристика", 185);
  FitListViewColumns(List.Handle());
  EXPECT_EQ(List.Width(0), List.TextWidth(L"Слой") + 28);
  EXPECT_EQ(List.Width(1), List.TextWidth(L"Характеристика") + 28);
  // The wizard's initial widths are wider than these smallest widths: the columns narrow.
  EXPECT_LT(List.Width(0), 86);
  EXPECT_LT(List.Width(1), 185);
}

TEST(ListViewFit, EachColumnTakesItsWidestTextAndNarrowsWhenTheWidestRowGoes) {
  TTestList List;
  List.AddColumn(L"Слой", 86);
  List.AddColumn(L"Характеристика", 185);
  const std::wstring Long = L"Здания и сооружения городской застройки";
  List.AddRow({L"Дороги", L"Площадь"});
  List.AddRow({Long, L"Buildings.Floors of the main building table"});
  List.AddRow({L"Реки", L"Периметр"});
  List.SetWidth(0, 400);  // a width the user set is overwritten
  FitListViewColumns(List.Handle());
  EXPECT_EQ(List.Width(0), List.TextWidth(Long) + 28);
  EXPECT_EQ(List.Width(1), List.TextWidth(L"Buildings.Floors of the main building table") + 28);

  List.DeleteRow(1);
  FitListViewColumns(List.Handle());
  EXPECT_EQ(List.Width(0), List.TextWidth(L"Дороги") + 28);
  EXPECT_EQ(List.Width(1), List.TextWidth(L"Характеристика") + 28);
  EXPECT_LT(List.Width(0), List.TextWidth(Long) + 28);
}

TEST(ListViewFit, SubItemsBeyondTheLastColumnCountForNothing) {
  TTestList List;
  List.AddColumn(L"Слой", 50);
  List.AddColumn(L"Характеристика", 50);
  List.AddColumn(L"Лишняя", 50);
  const std::wstring Surplus = L"очень длинный текст лишней колонки, которой больше нет";
  List.AddRow({L"Дороги", L"Площадь", Surplus});
  SendMessageW(List.Handle(), LVM_DELETECOLUMN, 2, 0);
  // And one more beyond every column, as far as the control keeps it.
  LVITEMW Sub = {};
  Sub.iSubItem = 5;
  Sub.pszText = const_cast<wchar_t*>(Surplus.c_str());
  SendMessageW(List.Handle(), LVM_SETITEMTEXTW, 0, reinterpret_cast<LPARAM>(&Sub));
  ASSERT_EQ(List.ColumnCount(), 2);
  FitListViewColumns(List.Handle());
  EXPECT_EQ(List.Width(0), List.TextWidth(L"Дороги") + 28);
  EXPECT_EQ(List.Width(1), List.TextWidth(L"Характеристика") + 28);
}

TEST(ListViewFit, WithOneColumnOnlyCaptionsCount) {
  TTestList List;
  List.AddColumn(L"Слой", 300);
  List.AddRow({L"Дороги", L"sub-item text that is much wider than any caption of the rows"});
  List.AddRow({L"Железные дороги"});
  FitListViewColumns(List.Handle());
  EXPECT_EQ(List.Width(0), List.TextWidth(L"Железные дороги") + 28);
}

TEST(ListViewFit, EmptyTextsGiveTheMarginAlone) {
  TTestList List;
  List.AddColumn(L"", 100);
  List.AddColumn(L"Характеристика", 100);
  List.AddRow({L"", L"Площадь"});
  List.AddRow({L"", L""});
  FitListViewColumns(List.Handle());
  EXPECT_EQ(List.Width(0), 28);
  EXPECT_EQ(List.Width(1), List.TextWidth(L"Характеристика") + 28);
}

TEST(ListViewFit, TextsAreMeasuredInTheFontOfTheRows) {
  TTestList Small(-13), Big(-24);
  for (TTestList* L : {&Small, &Big}) {
    L->AddColumn(L"Слой", 80);
    L->AddRow({L"Здания и сооружения"});
    FitListViewColumns(L->Handle());
    EXPECT_EQ(L->Width(0), L->TextWidth(L"Здания и сооружения") + 28);
  }
  EXPECT_GT(Big.Width(0), Small.Width(0));
}
