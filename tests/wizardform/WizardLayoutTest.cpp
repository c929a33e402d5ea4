// The two forms at the usual screen resolutions: every text of a label, button, drop-down list
// and list view fits its control as the control draws it, no control overlaps another, and at
// the design resolution (120 dpi) every control stands exactly where the form resource puts it.
#include "tests/wizardform/WizardDriver.h"

#include <algorithm>
#include <climits>

#include "support/Forms.h"
#include "wizard/SourceDialogRes.h"

using namespace QuorinTest;

namespace {

std::wstring ClassOf(HWND W) {
  wchar_t Name[64] = {};
  GetClassNameW(W, Name, 63);
  return Name;
}

RECT RectIn(HWND Form, HWND W) {
  RECT R;
  GetWindowRect(W, &R);
  MapWindowPoints(nullptr, Form, reinterpret_cast<POINT*>(&R), 2);
  return R;
}

// A text in a window's own font: its size when drawn in Width pixels (0: on one line).
SIZE TextSize(HWND W, const std::wstring& Text, int Width, UINT Flags = DT_NOPREFIX) {
  HDC Dc = GetDC(W);
  HGDIOBJ Old = SelectObject(Dc, reinterpret_cast<HGDIOBJ>(SendMessageW(W, WM_GETFONT, 0, 0)));
  RECT R = {0, 0, Width, 0};
  DrawTextW(Dc, Text.c_str(), static_cast<int>(Text.size()), &R,
            DT_CALCRECT | DT_EXPANDTABS | Flags | (Width ? DT_WORDBREAK : DT_SINGLELINE));
  SelectObject(Dc, Old);
  ReleaseDC(W, Dc);
  return SIZE{R.right - R.left, R.bottom - R.top};
}

int InternalLeading(HWND W) {
  HDC Dc = GetDC(W);
  HGDIOBJ Old = SelectObject(Dc, reinterpret_cast<HGDIOBJ>(SendMessageW(W, WM_GETFONT, 0, 0)));
  TEXTMETRICW Metrics = {};
  GetTextMetricsW(Dc, &Metrics);
  SelectObject(Dc, Old);
  ReleaseDC(W, Dc);
  return Metrics.tmInternalLeading;
}

bool IsTextLabel(HWND W) {
  if (ClassOf(W) != L"Static") return false;
  const LONG Type = GetWindowLongW(W, GWL_STYLE) & SS_TYPEMASK;
  return (Type == SS_LEFT || Type == SS_CENTER || Type == SS_RIGHT) &&
         GetWindowTextLengthW(W) > 0;
}

// What of a control can collide with another: a label's text lines (below the font's internal
// leading, the room it keeps for accents), the whole window of anything else.
RECT Footprint(HWND Form, HWND W) {
  RECT R = RectIn(Form, W);
  if (IsTextLabel(W)) {
    RECT Client;
    GetClientRect(W, &Client);
    const SIZE Text = TextSize(W, WindowText(W), Client.right);
    R.top += InternalLeading(W);
    R.bottom = std::min<LONG>(R.bottom, R.top - InternalLeading(W) + Text.cy);
  }
  return R;
}

bool Encloses(const RECT& Outer, const RECT& Inner) {
  return Outer.left <= Inner.left && Outer.top <= Inner.top && Outer.right >= Inner.right &&
         Outer.bottom >= Inner.bottom;
}

// Every text of the form's visible controls that its control cuts, and every two visible
// controls that overlap (a container and what it holds do not count).
std::vector<std::wstring> LayoutProblems(HWND Form) {
  std::vector<std::wstring> Problems;
  std::vector<HWND> Shown;
  for (HWND C = GetWindow(Form, GW_CHILD); C; C = GetWindow(C, GW_HWNDNEXT))
    if (IsWindowVisible(C)) Shown.push_back(C);
  for (HWND C : Shown) {
    RECT Client;
    GetClientRect(C, &Client);
    const std::wstring Class = ClassOf(C), Text = WindowText(C);
    auto Cut = [&](const std::wstring& What, SIZE Need, SIZE Room) {
      if (Need.cx > Room.cx || Need.cy > Room.cy)
        Problems.push_back(Class + L" \"" + What + L"\" needs " + std::to_wstring(Need.cx) +
                           L"x" + std::to_wstring(Need.cy) + L", has " +
                           std::to_wstring(Room.cx) + L"x" + std::to_wstring(Room.cy));
    };
    if (IsTextLabel(C)) {
      Cut(Text, TextSize(C, Text, Client.right), SIZE{Client.right, Client.bottom});
    } else if (Class == L"Button" && !Text.empty()) {
      // The button draws its caption on one line inside its frame.
      const int Frame = GetSystemMetrics(SM_CXEDGE) + 1;
      Cut(Text, TextSize(C, Text, 0), SIZE{Client.right - 2 * Frame, Client.bottom - 2 * Frame});
    } else if (Class == L"ComboBox") {
      COMBOBOXINFO Info = {};
      Info.cbSize = sizeof Info;
      GetComboBoxInfo(C, &Info);
      const SIZE Room = {Info.rcItem.right - Info.rcItem.left - 2,
                         static_cast<LONG>(SendMessageW(C, CB_GETITEMHEIGHT, 0, 0))};
      for (const std::wstring& Item : ComboItems(C)) Cut(Item, TextSize(C, Item, 0), Room);
      Cut(L"(list item)", SIZE{0, TextSize(C, L"Ag", 0).cy},
          SIZE{Room.cx, static_cast<LONG>(SendMessageW(C, CB_GETITEMHEIGHT, 0, 0))});
    } else if (Class == L"SysListView32") {
      const int Columns = Header_GetItemCount(ListView_GetHeader(C));
      for (int Col = 0; Col < Columns; ++Col) {
        wchar_t Buffer[256] = {};
        LVCOLUMNW Column = {};
        Column.mask = LVCF_TEXT | LVCF_WIDTH;
        Column.pszText = Buffer;
        Column.cchTextMax = 255;
        ListView_GetColumn(C, Col, &Column);
        Cut(Buffer, TextSize(C, Buffer, 0), SIZE{Column.cx - 12, Client.bottom});
        for (int Row = 0; Row < ListView_GetItemCount(C); ++Row) {
          wchar_t Cell[256] = {};
          ListView_GetItemText(C, Row, Col, Cell, 255);
          RECT Label = {};
          ListView_GetSubItemRect(C, Row, Col, LVIR_LABEL, &Label);
          Cut(Cell, TextSize(C, Cell, 0),
              SIZE{Label.right - Label.left - 4, Label.bottom - Label.top});
        }
      }
    }
  }
  for (size_t I = 0; I < Shown.size(); ++I)
    for (size_t J = I + 1; J < Shown.size(); ++J) {
      RECT A = Footprint(Form, Shown[I]), B = Footprint(Form, Shown[J]), Common;
      if (!IntersectRect(&Common, &A, &B)) continue;
      if (Encloses(RectIn(Form, Shown[I]), RectIn(Form, Shown[J])) ||
          Encloses(RectIn(Form, Shown[J]), RectIn(Form, Shown[I])))
        continue;
      Problems.push_back(L"overlap: control " + std::to_wstring(GetDlgCtrlID(Shown[I])) +
                         L" and " + std::to_wstring(GetDlgCtrlID(Shown[J])));
    }
  // Nothing lies outside the form's client area.
  RECT FormClient;
  GetClientRect(Form, &FormClient);
  for (HWND C : Shown) {
    RECT R = RectIn(Form, C);
    if (R.right > FormClient.right || R.bottom > FormClient.bottom)
      Problems.push_back(L"outside the form: control " + std::to_wstring(GetDlgCtrlID(C)));
  }
  return Problems;
}

// The controls of a form resource, as designed.
Quorin::TTemplateLayout Design(const wchar_t* Template) {
  HINSTANCE Module = Quorin::ModuleInstance();
  HRSRC Resource = FindResourceW(Module, Template, MAKEINTRESOURCEW(5));
  const void* Data = LockResource(LoadResource(Module, Resource));
  return Quorin::ParseDialogTemplate(Data, SizeofResource(Module, Resource));
}

// At 120 dpi: the client area and every control as designed; the labels that size themselves to
// their one-line text keep their designed place, and a drop-down list its width. Grown (when
// not 0) is a label that the form may have given more height: then it and what begins below it
// may be lower by as much as the form has grown, and nothing else.
std::vector<std::wstring> DesignDifferences(HWND Form, const wchar_t* Template,
                                            std::vector<int> AutoSized, int Grown = 0) {
  std::vector<std::wstring> Differences;
  Quorin::TTemplateLayout L = Design(Template);
  RECT Client;
  GetClientRect(Form, &Client);
  const int Growth = Grown ? Client.bottom - L.Cy : 0;
  if (Client.right != L.Cx || Client.bottom != L.Cy + Growth) Differences.push_back(L"client area");
  short GrownTop = SHRT_MAX;
  for (const Quorin::TTemplateItem& Item : L.Items)
    if (static_cast<int>(Item.Id) == Grown) GrownTop = Item.Y;
  for (const Quorin::TTemplateItem& Item : L.Items) {
    HWND C = GetDlgItem(Form, static_cast<int>(Item.Id));
    RECT R = RectIn(Form, C);
    const bool Moved = Item.Y > GrownTop, Label = static_cast<int>(Item.Id) == Grown;
    const bool Sized = std::find(AutoSized.begin(), AutoSized.end(), static_cast<int>(Item.Id)) ==
                       AutoSized.end();
    const bool Combo = ClassOf(C) == L"ComboBox";
    if (R.left != Item.X || R.top != Item.Y + (Moved ? Growth : 0) ||
        (Sized && R.right - R.left != Item.Cx) ||
        (Sized && !Combo && !Label && R.bottom - R.top != Item.Cy) ||
        (Label && (R.bottom - R.top < Item.Cy || R.bottom - R.top > Item.Cy + Growth)))
      Differences.push_back(L"control " + std::to_wstring(Item.Id));
  }
  return Differences;
}

class WizardLayoutTest : public TWizardTest, public ::testing::WithParamInterface<int> {
protected:
  void SetUp() override {
    Quorin::SetFormDpi(GetParam());
    TWizardTest::SetUp();
  }
  void TearDown() override {
    TWizardTest::TearDown();
    Quorin::SetFormDpi(0);
  }
};

}  // namespace

TEST_P(WizardLayoutTest, NoTextIsCutAndNoControlOverlapsAnother) {
  const int Dpi = GetParam();
  const bool Design120 = Dpi == Quorin::DesignDpi;
  const std::vector<int> AutoSized = {IDC_WZ_HEADERLABEL, IDC_WZ_LABEL1, IDC_WZ_LABEL2};
  CreateWizard();
  // The forms' font is scaled with their layout: -13 px at 120 dpi.
  LOGFONTW Font = {};
  GetObjectW(reinterpret_cast<HGDIOBJ>(SendMessageW(Ctl(IDC_WZ_NEXTBUTTON), WM_GETFONT, 0, 0)),
             sizeof Font, &Font);
  EXPECT_EQ(Font.lfHeight, MulDiv(-13, Dpi, 120));

  EXPECT_EQ(LayoutProblems(Form()), std::vector<std::wstring>{}) << "first page, " << Dpi;
  if (Design120) {
    EXPECT_EQ(DesignDifferences(Form(), NEWFIELDFILLSCHEMEWIZARD_TEMPLATE, AutoSized),
              std::vector<std::wstring>{});
  }

  GoToSourcePage();
  std::vector<std::wstring> DialogProblems, DialogDifferences;
  OnDialogShown = [&](HWND Dialog) {
    DialogProblems = LayoutProblems(Dialog);
    if (Design120)
      DialogDifferences = DesignDifferences(Dialog, SOURCEDIALOGFORM_TEMPLATE, {}, IDC_SD_LABEL1);
  };
  AddSource({L"Город", L"Участки", L"Участки.сем", L"Население2"}, 2);
  OnDialogShown = nullptr;
  EXPECT_EQ(DialogProblems, std::vector<std::wstring>{}) << "source dialog, " << Dpi;
  EXPECT_EQ(DialogDifferences, std::vector<std::wstring>{});
  ChooseFunction(2);
  ASSERT_EQ(ListRows(Ctl(IDC_WZ_SOURCELISTVIEW)).size(), 1u);
  EXPECT_EQ(LayoutProblems(Form()), std::vector<std::wstring>{}) << "second page, " << Dpi;

  Click(IDC_WZ_NEXTBUTTON);
  ASSERT_EQ(Wizard->ActivePage(), Ctl(IDC_WZ_PROCESSTABSHEET));
  EXPECT_EQ(LayoutProblems(Form()), std::vector<std::wstring>{}) << "third page, " << Dpi;
  if (Design120) {
    EXPECT_EQ(DesignDifferences(Form(), NEWFIELDFILLSCHEMEWIZARD_TEMPLATE, AutoSized),
              std::vector<std::wstring>{});
  }
}

INSTANTIATE_TEST_SUITE_P(Dpi, WizardLayoutTest, ::testing::Values(96, 120, 144, 192));
