// Pictures of the source dialog for the documentation, run by cmake/doc-shots.sh: the dialog with
// a table expanded, a field and a relation chosen (source-dialog), and with the relation list
// dropped down (source-dialog-relations).
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "TreeTestSupport.h"
#include "stats/StatSchemes.h"
#include "support/MessageLoop.h"
#include "tests/uitest/UiTest.h"
#include "wizard/SourceDialog.h"

using namespace Quorin;
using namespace QuorinTest;

namespace {

// The picture is taken by cmake/doc-shots.sh from the X display (the program's own screen reads
// miss the client areas): the program writes "name x y w h" into the request file and waits,
// pumping messages, until the script has taken the picture and removed the file.
bool RequestShot(const std::wstring& Folder, const std::wstring& Name, const RECT& R) {
  std::wstring Request = Folder + L"\\shot-request.txt";
  FILE* Out = _wfopen(Request.c_str(), L"w");
  if (!Out) return false;
  fprintf(Out, "%ls %ld %ld %ld %ld\n", Name.c_str(), R.left, R.top, R.right - R.left,
          R.bottom - R.top);
  fclose(Out);
  DWORD Start = GetTickCount();
  while (GetFileAttributesW(Request.c_str()) != INVALID_FILE_ATTRIBUTES) {
    if (GetTickCount() - Start > 20000) return false;
    Quorin::ProcessMessages();
    Sleep(20);
  }
  return true;
}

void Repaint(HWND Window) {
  RedrawWindow(Window, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

}  // namespace

int wmain(int Argc, wchar_t** Argv) {
  std::wstring Folder = Argc > 1 ? Argv[1] : L".";
  OleInitialize(nullptr);
  int Result = 0;
  {
    HostSim::THost Host;
    BuildCity(Host);
    Host.AddTable(L"houses", L"tstat", L"Статистика");
    Host.AddField(L"tstat", L"people", L"Жители");
    Host.AddField(L"tstat", L"flats", L"Квартиры");
    TComPtr<IOrvexApplication> App = Host.Application();
    TRefHolder<TStatSchemeFillSource> Source(new TStatSchemeFillSource);
    HWND Form = nullptr;
    TUiScript Script;
    Script.Step([&] {
      Form = FindFormWindow(L"Добавление/Изменение источника");
      HWND Tree = GetDlgItem(Form, IDC_SD_SOURCETREEVIEW);
      SendMessageW(Tree, TVM_EXPAND, TVE_EXPAND,
                   reinterpret_cast<LPARAM>(FindNode(Tree, L"Город")));
      SendMessageW(Tree, TVM_EXPAND, TVE_EXPAND,
                   reinterpret_cast<LPARAM>(FindNode(Tree, L"Город/Дороги")));
      UserExpand(Tree, FindNode(Tree, L"Город/Здания"));
      UserExpand(Tree, FindNode(Tree, L"Город/Здания/Дома"));
      SendMessageW(Tree, TVM_SELECTITEM, TVGN_CARET,
                   reinterpret_cast<LPARAM>(FindNode(Tree, L"Город/Здания/Дома/Этажи")));
      SendMessageW(GetDlgItem(Form, IDC_SD_RELATIONCOMBOBOX), CB_SETCURSEL, 3, 0);
      SetFocus(Tree);
    });
    Script.Step([&] { Repaint(Form); });
    Script.Step([&] {
      RECT R;
      GetWindowRect(Form, &R);
      if (!IsWindowEnabled(GetDlgItem(Form, IDOK))) Result = 2;
      if (!RequestShot(Folder, L"source-dialog", R)) Result = 1;
      HWND Combo = GetDlgItem(Form, IDC_SD_RELATIONCOMBOBOX);
      SetFocus(Combo);
      SendMessageW(Combo, CB_SHOWDROPDOWN, TRUE, 0);
    });
    Script.Step([&] {});
    Script.Step([&] {
      HWND Combo = GetDlgItem(Form, IDC_SD_RELATIONCOMBOBOX);
      COMBOBOXINFO Info = {};
      Info.cbSize = sizeof Info;
      GetComboBoxInfo(Combo, &Info);
      RECT R, L;
      GetWindowRect(Form, &R);
      GetWindowRect(Info.hwndList, &L);
      UnionRect(&R, &R, &L);
      if (!RequestShot(Folder, L"source-dialog-relations", R)) Result = 1;
      SendMessageW(Combo, CB_SHOWDROPDOWN, FALSE, 0);
    });
    Script.Step([&] { ClickButton(Form, IDCANCEL); });
    ExecuteSourceDialog(App.Get(), Source.Get());
  }
  OleUninitialize();
  return Result;
}
