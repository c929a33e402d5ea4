#include "wizard/ListViewFit.h"

#include <commctrl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/Errors.h"

namespace Quorin {

namespace {

// The list's canvas: a device context of the list view holding the font of its rows.
class TListCanvas {
public:
  explicit TListCanvas(HWND ListView) : FWindow(ListView), FDc(GetDC(ListView)) {
    if (!FDc) RaiseLastOSError();
    HFONT Font = reinterpret_cast<HFONT>(SendMessageW(ListView, WM_GETFONT, 0, 0));
    if (!Font) Font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    FOldFont = SelectObject(FDc, Font);
  }
  ~TListCanvas() {
    SelectObject(FDc, FOldFont);
    ReleaseDC(FWindow, FDc);
  }
  TListCanvas(const TListCanvas&) = delete;
  TListCanvas& operator=(const TListCanvas&) = delete;

  int TextWidth(const std::wstring& Text) const {
    SIZE Size = {0, 0};
    if (!Text.empty())
      GetTextExtentPoint32W(FDc, Text.data(), static_cast<int>(Text.size()), &Size);
    return Size.cx;
  }

private:
  HWND FWindow;
  HDC FDc;
  HGDIOBJ FOldFont;
};

// Texts are read into a buffer that grows until the text fits.
std::wstring ColumnCaption(HWND ListView, int Column) {
  std::vector<wchar_t> Buffer(256);
  for (;;) {
    LVCOLUMNW Col = {};
    Col.mask = LVCF_TEXT;
    Col.pszText = Buffer.data();
    Col.cchTextMax = static_cast<int>(Buffer.size());
    if (!SendMessageW(ListView, LVM_GETCOLUMNW, Column, reinterpret_cast<LPARAM>(&Col)))
      return std::wstring();
    std::wstring Text(Col.pszText ? Col.pszText : L"");
    if (Text.size() + 1 < Buffer.size()) return Text;
    Buffer.resize(Buffer.size() * 2);
  }
}

std::wstring ItemText(HWND ListView, int Item, int SubItem) {
  std::vector<wchar_t> Buffer(256);
  for (;;) {
    LVITEMW It = {};
    It.iSubItem = SubItem;
    It.pszText = Buffer.data();
    It.cchTextMax = static_cast<int>(Buffer.size());
    LRESULT N = SendMessageW(ListView, LVM_GETITEMTEXTW, Item, reinterpret_cast<LPARAM>(&It));
    if (N < 0) N = 0;
    if (static_cast<size_t>(N) + 1 < Buffer.size()) return std::wstring(Buffer.data(), N);
    Buffer.resize(Buffer.size() * 2);
  }
}

}  // namespace

void FitListViewColumns(HWND ListView) {
  HWND Header = reinterpret_cast<HWND>(SendMessageW(ListView, LVM_GETHEADER, 0, 0));
  const int ColumnCount =
      Header ? static_cast<int>(SendMessageW(Header, HDM_GETITEMCOUNT, 0, 0)) : 0;
  if (ColumnCount <= 0) return;

  TListCanvas Canvas(ListView);
  std::vector<int32_t> Widths(static_cast<size_t>(ColumnCount));
  for (int I = 0; I < ColumnCount; ++I)
    Widths[I] = Canvas.TextWidth(ColumnCaption(ListView, I)) + ListViewColumnMargin;

  // Every row of the control has a text for every column; its sub-items are those of
  // columns 1 .. ColumnCount - 1.
  const int RowCount = static_cast<int>(SendMessageW(ListView, LVM_GETITEMCOUNT, 0, 0));
  for (int Row = 0; Row < RowCount; ++Row) {
    Widths[0] =
        std::max(Widths[0], Canvas.TextWidth(ItemText(ListView, Row, 0)) + ListViewColumnMargin);
    for (int J = 0; J <= ColumnCount - 2; ++J)
      Widths[J + 1] = std::max(
          Widths[J + 1], Canvas.TextWidth(ItemText(ListView, Row, J + 1)) + ListViewColumnMargin);
  }

  for (int I = 0; I < ColumnCount; ++I)
    SendMessageW(ListView, LVM_SETCOLUMNWIDTH, I, MAKELPARAM(Widths[I], 0));
}

}  // namespace Quorin
