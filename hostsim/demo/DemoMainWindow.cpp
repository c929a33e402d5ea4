#include "hostsim/demo/DemoMainWindow.h"

#include <commctrl.h>
#include <shlobj.h>

#include <stdexcept>

#include "hostsim/demo/DemoScenario.h"
#include "hostsim/demo/DemoTableWindow.h"
#include "support/Errors.h"

namespace OrvexSim {

namespace {

const wchar_t MainWindowClass[] = L"OrvexSimMainWindow";
const wchar_t Title[] = L"OrvexSim";

enum : int {
  CmdOpenFolder = 100,
  CmdSaveGeoJson,
  CmdSampleCity,
  CmdExit,
  CmdStatistics,
  CmdAttributeTable,
  CmdFitAll,
  IdLayerList = 200,
  IdMap,
  IdToolbar,
  IdStatus,
};

const int LayerListWidth = 220;

}  // namespace

TMainWindow::TMainWindow() = default;

TMainWindow::~TMainWindow() {
  CloseTableWindows();
  FPlugin.Unload();
  if (FWindow) DestroyWindow(FWindow);
  FHost.reset();
  if (FCallLog) fclose(FCallLog);
}

bool TMainWindow::Create() {
  WNDCLASSW Class{};
  Class.lpfnWndProc = WindowProc;
  Class.hInstance = GetModuleHandleW(nullptr);
  Class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  Class.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
  Class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  Class.lpszClassName = MainWindowClass;
  RegisterClassW(&Class);

  HMENU Menu = CreateMenu();
  HMENU File = CreatePopupMenu();
  AppendMenuW(File, MF_STRING, CmdOpenFolder, L"Открыть папку GeoJSON…");
  AppendMenuW(File, MF_STRING, CmdSampleCity, L"Пример: город");
  AppendMenuW(File, MF_STRING, CmdSaveGeoJson, L"Сохранить как GeoJSON…");
  AppendMenuW(File, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(File, MF_STRING, CmdExit, L"Выход");
  AppendMenuW(Menu, MF_POPUP, reinterpret_cast<UINT_PTR>(File), L"Файл");
  HMENU View = CreatePopupMenu();
  AppendMenuW(View, MF_STRING, CmdAttributeTable, L"Таблица атрибутов");
  AppendMenuW(View, MF_STRING, CmdFitAll, L"Показать всю карту");
  AppendMenuW(Menu, MF_POPUP, reinterpret_cast<UINT_PTR>(View), L"Вид");
  HMENU Tools = CreatePopupMenu();
  AppendMenuW(Tools, MF_STRING, CmdStatistics, L"Статистика…");
  AppendMenuW(Menu, MF_POPUP, reinterpret_cast<UINT_PTR>(Tools), L"Сервис");

  FWindow = CreateWindowExW(0, MainWindowClass, Title, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0,
                            1200, 860, nullptr, Menu, GetModuleHandleW(nullptr), this);
  if (!FWindow) return false;
  HINSTANCE Instance = GetModuleHandleW(nullptr);
  FToolbar = CreateWindowExW(0, TOOLBARCLASSNAMEW, L"",
                             WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_LIST | CCS_TOP, 0, 0, 0,
                             0, FWindow, reinterpret_cast<HMENU>(static_cast<INT_PTR>(IdToolbar)),
                             Instance, nullptr);
  SendMessageW(FToolbar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
  SendMessageW(FToolbar, TB_SETBITMAPSIZE, 0, MAKELPARAM(0, 0));
  const wchar_t* Texts[] = {L"Статистика…", L"Таблица атрибутов", L"Вся карта"};
  const int Ids[] = {CmdStatistics, CmdAttributeTable, CmdFitAll};
  TBBUTTON Buttons[3]{};
  for (int I = 0; I < 3; ++I) {
    Buttons[I].iBitmap = I_IMAGENONE;
    Buttons[I].idCommand = Ids[I];
    Buttons[I].fsState = TBSTATE_ENABLED;
    Buttons[I].fsStyle = BTNS_BUTTON | BTNS_AUTOSIZE | BTNS_SHOWTEXT;
    Buttons[I].iString = reinterpret_cast<INT_PTR>(Texts[I]);
  }
  SendMessageW(FToolbar, TB_ADDBUTTONSW, 3, reinterpret_cast<LPARAM>(Buttons));
  SendMessageW(FToolbar, TB_AUTOSIZE, 0, 0);

  FLayerList = CreateWindowExW(WS_EX_CLIENTEDGE, L"LISTBOX", L"",
                               WS_CHILD | WS_VISIBLE | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT,
                               0, 0, 10, 10, FWindow,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(IdLayerList)), Instance,
                               nullptr);
  SendMessageW(FLayerList, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), TRUE);
  FMap = CreateMapWindow(FWindow, &FModel, IdMap);
  FStatus = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, FWindow,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(IdStatus)), Instance, nullptr);
  Layout();
  return true;
}

void TMainWindow::Show(int Command) {
  ShowWindow(FWindow, Command);
  UpdateWindow(FWindow);
}

void TMainWindow::Layout() {
  if (!FWindow || !FToolbar) return;
  RECT Client;
  GetClientRect(FWindow, &Client);
  SendMessageW(FToolbar, TB_AUTOSIZE, 0, 0);
  SendMessageW(FStatus, WM_SIZE, 0, 0);
  RECT Bar, Status;
  GetWindowRect(FToolbar, &Bar);
  GetWindowRect(FStatus, &Status);
  int Top = Bar.bottom - Bar.top, Bottom = Client.bottom - (Status.bottom - Status.top);
  MoveWindow(FLayerList, 0, Top, LayerListWidth, Bottom - Top, TRUE);
  MoveWindow(FMap, LayerListWidth, Top, Client.right - LayerListWidth, Bottom - Top, TRUE);
}

void TMainWindow::LoadCity() {
  CloseTableWindows();
  FPlugin.Unload();
  FModel = TMapModel();
  NewHost();
  FHost->BuildSampleCity();
  AfterLoad();
}

void TMainWindow::LoadFolder(const std::wstring& Folder) {
  CloseTableWindows();
  FPlugin.Unload();
  FModel = TMapModel();
  NewHost();
  std::wstring Name = Folder;
  while (!Name.empty() && (Name.back() == L'\\' || Name.back() == L'/')) Name.pop_back();
  size_t Slash = Name.find_last_of(L"\\/");
  if (Slash != std::wstring::npos) Name = Name.substr(Slash + 1);
  FHost->LoadGeoJsonFolder(Folder, L"map", Name.empty() ? L"Карта" : Name);
  AfterLoad();
}

bool TMainWindow::OpenCallLog(const std::wstring& Path) {
  FILE* File = _wfopen(Path.c_str(), L"wb");
  if (!File) return false;
  if (FCallLog) fclose(FCallLog);
  FCallLog = File;
  if (FHost) NewHost();
  return true;
}

void TMainWindow::NewHost() {
  FHost = std::make_unique<HostSim::THost>();
  // A run of a million targets makes tens of millions of calls: their texts are not kept.
  FHost->SetCallLogging(false);
  if (FILE* File = FCallLog)
    FHost->SetCallSink([File](const HostSim::TCall& Call) {
      const std::string Line = Utf8(HostSim::FormatCall(Call)) + "\n";
      fwrite(Line.data(), 1, Line.size(), File);
    });
}

void TMainWindow::AfterLoad() {
  FilledLayer.clear();
  FilledTable.clear();
  FilledField.clear();
  FHost->SetMainWindow(FWindow);
  FCatalog = ReadCatalog(FHost->Application().Get());
  FModel.Load(*FHost, FCatalog);
  FActiveLayer.clear();
  FHost->SetActiveLayer(L"");
  if (FLayerList) {
    SendMessageW(FLayerList, LB_RESETCONTENT, 0, 0);
    for (const auto& Layer : FModel.Layers())
      SendMessageW(FLayerList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Layer.Name.c_str()));
  }
  if (FMap) {
    MapWindowSetActiveLayer(FMap, L"");
    MapWindowFitAll(FMap);
  }
  if (FWindow) {
    std::wstring Caption = std::wstring(Title) + L" — " + FModel.MapName;
    SetWindowTextW(FWindow, Caption.c_str());
  }
  SetStatus(L"Карта «" + FModel.MapName + L"»: слоёв " + std::to_wstring(FModel.Layers().size()) +
            L", объектов " + std::to_wstring(FHost->ObjectCount()));
}

void TMainWindow::SetActiveLayer(const std::wstring& LayerId) {
  FActiveLayer = LayerId;
  FHost->SetActiveLayer(LayerId);
  if (FMap) MapWindowSetActiveLayer(FMap, LayerId);
  if (FLayerList) {
    int Index = -1;
    for (size_t I = 0; I < FModel.Layers().size(); ++I)
      if (FModel.Layers()[I].Id == LayerId) Index = static_cast<int>(I);
    SendMessageW(FLayerList, LB_SETCURSEL, static_cast<WPARAM>(Index), 0);
  }
}

bool TMainWindow::LoadPlugin(std::wstring& Error) {
  if (FPlugin.Loaded()) return true;
  return FPlugin.Load(FHost->Application().Get(), Error);
}

HRESULT TMainWindow::RunStatistics() {
  std::wstring Error;
  if (!LoadPlugin(Error)) {
    SetStatus(Error);
    if (!Quiet) MessageBoxW(FWindow, Error.c_str(), Title, MB_ICONERROR);
    return E_FAIL;
  }
  int Before = FHost->ApplyChangesCount();
  long WritesBefore = FHost->WriteCount();
  HRESULT Hr = FPlugin.ShowMainDialog();
  if (FAILED(Hr)) {
    std::wstring Text = L"ShowMainDialog: " + StatusText(Hr);
    SetStatus(Text);
    if (!Quiet) MessageBoxW(FWindow, Text.c_str(), Title, MB_ICONERROR);
  }
  if (FHost->ApplyChangesCount() != Before && FHost->WriteCount() != WritesBefore) {
    FindFillTarget();
    InvalidateRect(FMap, nullptr, FALSE);
  }
  return Hr;
}

// The target of the run that just ended: that of the last value written.
void TMainWindow::FindFillTarget() {
  const HostSim::THost::TWriteTarget Target = FHost->LastWrite();
  for (const auto& Layer : FModel.Layers()) {
    if (Layer.Id != Target.LayerId) continue;
    const TLayerInfo* Info = FCatalog.LayerById(Layer.Id);
    const TTableInfo* Table = Info ? Info->TableById(Target.TableId) : nullptr;
    if (!Table) return;
    std::wstring FieldName = Target.FieldId;
    for (const auto& F : Table->Fields)
      if (_wcsicmp(F.Id.c_str(), Target.FieldId.c_str()) == 0) FieldName = F.Name;
    FilledLayer = Layer.Id;
    FilledTable = Table->Id;
    FilledField = Target.FieldId;
    FModel.SetTheme(*FHost, Layer.Id, Table->Id, Target.FieldId, Layer.Name + L": " + FieldName);
    SetStatus(L"Заполнено поле «" + FieldName + L"» слоя «" + Layer.Name + L"»");
    return;
  }
}

void TMainWindow::SetStatus(const std::wstring& Text) {
  if (FStatus) SendMessageW(FStatus, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(Text.c_str()));
}

std::wstring TMainWindow::ChooseFolder(const wchar_t* Caption) {
  BROWSEINFOW Info{};
  Info.hwndOwner = FWindow;
  Info.lpszTitle = Caption;
  Info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  PIDLIST_ABSOLUTE List = SHBrowseForFolderW(&Info);
  if (!List) return std::wstring();
  wchar_t Path[MAX_PATH] = L"";
  SHGetPathFromIDListW(List, Path);
  CoTaskMemFree(List);
  return Path;
}

void TMainWindow::Command(int Id) {
  switch (Id) {
    case CmdOpenFolder: {
      std::wstring Folder = ChooseFolder(L"Папка со слоями GeoJSON");
      if (!Folder.empty()) LoadFolder(Folder);
      break;
    }
    case CmdSampleCity:
      LoadCity();
      break;
    case CmdSaveGeoJson: {
      std::wstring Folder = ChooseFolder(L"Папка для слоёв GeoJSON");
      if (!Folder.empty()) {
        FHost->SaveGeoJsonFolder(Folder, FModel.MapId);
        SetStatus(L"Сохранено в " + Folder);
      }
      break;
    }
    case CmdExit:
      DestroyWindow(FWindow);
      break;
    case CmdStatistics:
      RunStatistics();
      break;
    case CmdAttributeTable: {
      const TLayerInfo* Layer = FCatalog.LayerById(FActiveLayer);
      if (!Layer) {
        MessageBoxW(FWindow, L"Выберите слой в списке слоёв.", Title, MB_ICONINFORMATION);
        break;
      }
      for (const auto& Table : Layer->Tables) OpenTableWindow(FWindow, *FHost, *Layer, Table);
      break;
    }
    case CmdFitAll:
      MapWindowFitAll(FMap);
      break;
  }
}

LRESULT TMainWindow::Handle(UINT Message, WPARAM WParam, LPARAM LParam) {
  switch (Message) {
    case WM_SIZE:
      Layout();
      return 0;
    case WM_COMMAND:
      if (LOWORD(WParam) == IdLayerList && HIWORD(WParam) == LBN_SELCHANGE) {
        LRESULT Index = SendMessageW(FLayerList, LB_GETCURSEL, 0, 0);
        if (Index >= 0 && static_cast<size_t>(Index) < FModel.Layers().size())
          SetActiveLayer(FModel.Layers()[static_cast<size_t>(Index)].Id);
        return 0;
      }
      if (LOWORD(WParam) == IdLayerList && HIWORD(WParam) == LBN_DBLCLK) {
        Command(CmdAttributeTable);
        return 0;
      }
      Command(LOWORD(WParam));
      return 0;
    case WM_DESTROY:
      FWindow = nullptr;
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(FWindow, Message, WParam, LParam);
}

LRESULT CALLBACK TMainWindow::WindowProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam) {
  if (Message == WM_NCCREATE) {
    auto* Create = reinterpret_cast<CREATESTRUCTW*>(LParam);
    SetWindowLongPtrW(Window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(Create->lpCreateParams));
    static_cast<TMainWindow*>(Create->lpCreateParams)->FWindow = Window;
  }
  auto* Self = reinterpret_cast<TMainWindow*>(GetWindowLongPtrW(Window, GWLP_USERDATA));
  if (!Self || !Self->FWindow) return DefWindowProcW(Window, Message, WParam, LParam);
  try {
    return Self->Handle(Message, WParam, LParam);
  } catch (const Quorin::Exception& E) {
    MessageBoxW(Window, Quorin::ToWide(E.Message()).c_str(), Title, MB_ICONERROR);
  } catch (const std::exception& E) {
    MessageBoxA(Window, E.what(), "OrvexSim", MB_ICONERROR);
  } catch (...) {
    MessageBoxW(Window, L"Unexpected error.", Title, MB_ICONERROR);
  }
  return 0;
}

}  // namespace OrvexSim
