#include "hostsim/demo/DemoTableWindow.h"

#include <commctrl.h>

#include <cwchar>
#include <set>
#include <string>
#include <vector>

#include "hostsim/demo/DemoOutput.h"

namespace OrvexSim {

namespace {

const wchar_t TableWindowClass[] = L"OrvexSimTableWindow";
std::set<HWND> OpenWindows;

struct TTableState {
  HWND List = nullptr;
  std::vector<std::vector<std::wstring>> Rows;  // the cells; an item's data is its row here
  int SortColumn = -1;
  bool Descending = false;
};

struct TSortContext {
  const TTableState* State;
  size_t Column;
  bool Descending;
};

bool AsNumber(const std::wstring& Text, double& V) {
  if (Text.empty()) return false;
  wchar_t* End = nullptr;
  V = wcstod(Text.c_str(), &End);
  return End && *End == L'\0';
}

int CALLBACK CompareRows(LPARAM A, LPARAM B, LPARAM Param) {
  auto* C = reinterpret_cast<TSortContext*>(Param);
  const std::wstring& TA = C->State->Rows[static_cast<size_t>(A)][C->Column];
  const std::wstring& TB = C->State->Rows[static_cast<size_t>(B)][C->Column];
  double NA, NB;
  int Result;
  bool HasA = AsNumber(TA, NA), HasB = AsNumber(TB, NB);
  if (HasA && HasB) Result = NA < NB ? -1 : (NA > NB ? 1 : 0);
  else if (TA.empty() != TB.empty()) Result = TA.empty() ? 1 : -1;  // empty cells last
  else Result = CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, TA.c_str(), -1, TB.c_str(), -1) - 2;
  return C->Descending ? -Result : Result;
}

void SortRows(TTableState& S, int Column, bool Descending) {
  S.SortColumn = Column;
  S.Descending = Descending;
  if (Column < 0 || S.Rows.empty() || static_cast<size_t>(Column) >= S.Rows.front().size()) return;
  TSortContext Context{&S, static_cast<size_t>(Column), Descending};
  SendMessageW(S.List, LVM_SORTITEMS, reinterpret_cast<WPARAM>(&Context),
               reinterpret_cast<LPARAM>(CompareRows));
}

LRESULT HandleTableMessage(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam) {
  auto* S = reinterpret_cast<TTableState*>(GetWindowLongPtrW(Window, GWLP_USERDATA));
  switch (Message) {
    case WM_CREATE: {
      auto* State = new TTableState;
      SetWindowLongPtrW(Window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(State));
      State->List = CreateWindowExW(0, WC_LISTVIEWW, L"",
                                    WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SHOWSELALWAYS, 0, 0,
                                    10, 10, Window, nullptr, GetModuleHandleW(nullptr), nullptr);
      SendMessageW(State->List, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                   LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
      SendMessageW(State->List, WM_SETFONT,
                   reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), TRUE);
      OpenWindows.insert(Window);
      return 0;
    }
    case WM_SIZE:
      if (S) MoveWindow(S->List, 0, 0, LOWORD(LParam), HIWORD(LParam), TRUE);
      return 0;
    case WM_NOTIFY: {
      auto* Header = reinterpret_cast<NMHDR*>(LParam);
      if (S && Header->hwndFrom == S->List && Header->code == LVN_COLUMNCLICK) {
        int Column = reinterpret_cast<NMLISTVIEW*>(LParam)->iSubItem;
        SortRows(*S, Column, Column == S->SortColumn ? !S->Descending : false);
      }
      return 0;
    }
    case WM_DESTROY:
      OpenWindows.erase(Window);
      return 0;
    case WM_NCDESTROY:
      delete S;
      SetWindowLongPtrW(Window, GWLP_USERDATA, 0);
      break;
  }
  return DefWindowProcW(Window, Message, WParam, LParam);
}

LRESULT CALLBACK TableWindowProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam) {
  try {
    return HandleTableMessage(Window, Message, WParam, LParam);
  } catch (...) {
    return DefWindowProcW(Window, Message, WParam, LParam);
  }
}

void AddColumn(HWND List, int Index, const std::wstring& Title, int Width) {
  LVCOLUMNW Column{};
  Column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
  Column.pszText = const_cast<wchar_t*>(Title.c_str());
  Column.cx = Width;
  Column.iSubItem = Index;
  SendMessageW(List, LVM_INSERTCOLUMNW, static_cast<WPARAM>(Index), reinterpret_cast<LPARAM>(&Column));
}

void SetCell(HWND List, int Row, int Column, const std::wstring& Text) {
  LVITEMW Item{};
  Item.mask = Column == 0 ? LVIF_TEXT | LVIF_PARAM : LVIF_TEXT;
  Item.lParam = Row;
  Item.iItem = Row;
  Item.iSubItem = Column;
  Item.pszText = const_cast<wchar_t*>(Text.c_str());
  if (Column == 0)
    SendMessageW(List, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&Item));
  else
    SendMessageW(List, LVM_SETITEMTEXTW, static_cast<WPARAM>(Row), reinterpret_cast<LPARAM>(&Item));
}

}  // namespace

HWND OpenTableWindow(HWND Owner, const HostSim::THost& Host, const TLayerInfo& Layer,
                     const TTableInfo& Table) {
  static bool Registered = false;
  if (!Registered) {
    WNDCLASSW Class{};
    Class.lpfnWndProc = TableWindowProc;
    Class.hInstance = GetModuleHandleW(nullptr);
    Class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    Class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    Class.lpszClassName = TableWindowClass;
    RegisterClassW(&Class);
    Registered = true;
  }
  std::wstring Title = L"Таблица атрибутов: " + Layer.Name + L" — " + Table.Name;
  HWND Window = CreateWindowExW(0, TableWindowClass, Title.c_str(), WS_OVERLAPPEDWINDOW,
                                CW_USEDEFAULT, CW_USEDEFAULT, 760, 480, Owner, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
  if (!Window) return nullptr;
  auto* S = reinterpret_cast<TTableState*>(GetWindowLongPtrW(Window, GWLP_USERDATA));
  HWND List = S->List;
  SendMessageW(List, WM_SETREDRAW, FALSE, 0);
  AddColumn(List, 0, L"Объект", 80);
  AddColumn(List, 1, L"Запись", 60);
  for (size_t F = 0; F < Table.Fields.size(); ++F)
    AddColumn(List, static_cast<int>(F + 2), Table.Fields[F].Name, 110);
  int Row = 0;
  for (const auto& ObjectId : Host.ObjectIds(Layer.Id)) {
    long Records = Host.RecordCount(ObjectId, Table.Id);
    for (long R = 0; R < Records; ++R, ++Row) {
      std::vector<std::wstring> Cells{ObjectId, std::to_wstring(R + 1)};
      for (const auto& Field : Table.Fields)
        Cells.push_back(DisplayText(Host.Value(ObjectId, Table.Id, Field.Id, R)));
      for (size_t C = 0; C < Cells.size(); ++C) SetCell(List, Row, static_cast<int>(C), Cells[C]);
      S->Rows.push_back(std::move(Cells));
    }
  }
  SendMessageW(List, WM_SETREDRAW, TRUE, 0);
  ShowWindow(Window, SW_SHOW);
  return Window;
}

void SortTableWindow(HWND Window, int Column, bool Descending) {
  if (OpenWindows.count(Window) == 0) return;
  auto* S = reinterpret_cast<TTableState*>(GetWindowLongPtrW(Window, GWLP_USERDATA));
  if (S) SortRows(*S, Column, Descending);
}

void CloseTableWindows() {
  std::set<HWND> Windows = OpenWindows;
  for (HWND W : Windows) DestroyWindow(W);
}

}  // namespace OrvexSim
