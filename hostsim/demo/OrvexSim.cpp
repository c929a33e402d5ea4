// OrvexSim: the simulated host as an application. It treats the plug-in exactly as the host
// does (CoCreateInstance of "Quorin.ComModule", Init, ShowMainDialog from the menu and the
// toolbar) and can run one fill without a person, driving the wizard through its controls.
// See DemoScenario.h for the command line.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <stdexcept>

#include "hostsim/demo/DemoImage.h"
#include "hostsim/demo/DemoMainWindow.h"
#include "hostsim/demo/DemoOutput.h"
#include "hostsim/demo/DemoScenario.h"
#include "hostsim/demo/DemoScript.h"
#include "hostsim/demo/DemoTableWindow.h"
#include "support/Errors.h"

using namespace OrvexSim;

namespace {

void Report(const std::string& Utf8Text) {
  fprintf(stderr, "OrvexSim: %s\n", Utf8Text.c_str());
  fflush(stderr);
}

void Report(const std::wstring& Text) { Report(Utf8(Text)); }

bool SaveMapPicture(const TMapModel& Model, const std::wstring& ActiveLayer,
                    const std::wstring& Path) {
  HBITMAP Bitmap = RenderMapBitmap(Model, 1000, 1000, ActiveLayer);
  bool Ok = Bitmap && SaveBitmap(Bitmap, Path);
  if (Bitmap) DeleteObject(Bitmap);
  return Ok;
}

// The host's window, and the filled table as the attribute table window shows it, sorted by the
// filled field.
void SaveWindowPictures(TMainWindow& Main, const TResolvedScenario& Resolved, const std::wstring& Out) {
  if (HBITMAP Window = CaptureWindow(Main.Handle())) {
    SaveBitmap(Window, Out + L"\\host-after.bmp");
    DeleteObject(Window);
  }
  HWND Table = OpenTableWindow(Main.Handle(), Main.Host(), *Resolved.TargetLayer, *Resolved.TargetTable);
  if (!Table) return;
  int Column = 2;
  for (size_t F = 0; F < Resolved.TargetTable->Fields.size(); ++F)
    if (&Resolved.TargetTable->Fields[F] == Resolved.TargetField) Column = static_cast<int>(F) + 2;
  SortTableWindow(Table, Column, true);
  if (HBITMAP Picture = CaptureWindow(Table)) {
    SaveBitmap(Picture, Out + L"\\table-after.bmp");
    DeleteObject(Picture);
  }
  DestroyWindow(Table);
}

void LoadData(TMainWindow& Main, const TScenario& Scenario) {
  if (Scenario.DataFolder.empty()) {
    Main.LoadCity();
    return;
  }
  DWORD Attributes = GetFileAttributesW(Scenario.DataFolder.c_str());
  if (Attributes == INVALID_FILE_ATTRIBUTES || !(Attributes & FILE_ATTRIBUTE_DIRECTORY))
    throw std::runtime_error("data folder \"" + Utf8(Scenario.DataFolder) + "\" does not exist");
  Main.LoadFolder(Scenario.DataFolder);
}

// The call log that the command line asks for; false (said) when it cannot be made.
bool OpenCallLog(TMainWindow& Main, const TScenario& Scenario) {
  if (Scenario.CallLog.empty() || Main.OpenCallLog(Scenario.CallLog)) return true;
  Report(L"cannot write the call log \"" + Scenario.CallLog + L"\"");
  return false;
}

int RunInteractive(const TScenario& Scenario) {
  TMainWindow Main;
  if (!Main.Create()) return ExitRunFailed;
  if (!OpenCallLog(Main, Scenario)) return ExitBadScenario;
  try {
    LoadData(Main, Scenario);
  } catch (const std::exception& E) {
    // Input that cannot be loaded, whatever its shape: said, and exit code 2.
    Report(E.what());
    const std::string Text = E.what();
    std::wstring Wide(Text.size() + 1, L'\0');
    Wide.resize(static_cast<size_t>(MultiByteToWideChar(
        CP_UTF8, 0, Text.c_str(), static_cast<int>(Text.size()), &Wide[0], static_cast<int>(Wide.size()))));
    MessageBoxW(Main.Handle(), Wide.c_str(), L"OrvexSim", MB_ICONERROR);
    return ExitBadScenario;
  }
  Main.Show(SW_SHOWNORMAL);
  std::wstring Error;
  if (!Main.LoadPlugin(Error)) {
    Report(Error);
    MessageBoxW(Main.Handle(), Error.c_str(), L"OrvexSim", MB_ICONWARNING);
  }
  MSG Message;
  while (GetMessageW(&Message, nullptr, 0, 0) > 0) {
    TranslateMessage(&Message);
    DispatchMessageW(&Message);
  }
  return ExitOk;
}

int RunScript(const TScenario& Scenario) {
  TMainWindow Main;
  Main.Quiet = true;
  if (!Main.Create()) return ExitRunFailed;
  if (!OpenCallLog(Main, Scenario)) return ExitBadScenario;
  TResolvedScenario Resolved;
  try {
    LoadData(Main, Scenario);
    Resolved = ResolveScenario(Scenario, Main.Catalog());
  } catch (const std::exception& E) {
    Report(E.what());
    return ExitBadScenario;
  }
  std::wstring Error;
  if (!Main.LoadPlugin(Error)) {
    Report(Error);
    return ExitRunFailed;
  }
  // Nothing has been written so far; from here on the results go to the output folder.
  std::wstring Out = Scenario.OutFolder;
  while (Out.size() > 1 && (Out.back() == L'\\' || Out.back() == L'/')) Out.pop_back();
  if (!CreateDirectoryW(Out.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
    Report(L"cannot create the output folder \"" + Out + L"\"");
    return ExitRunFailed;
  }
  const std::wstring& TargetLayer = Resolved.TargetLayer->Id;
  Main.SetActiveLayer(TargetLayer);
  // Minimised, the windows that the main window owns (the wizard and its dialogs) stay hidden.
  Main.Show(Scenario.Minimised ? SW_SHOWMINNOACTIVE : SW_SHOWNORMAL);
  SaveMapPicture(Main.Model(), TargetLayer, Out + L"\\map-before.bmp");

  TWizardDriver Driver(Main.Host(), Resolved, Out, Scenario.TimeoutSeconds, Scenario.Minimised);
  Driver.Start();
  HRESULT Hr = Main.RunStatistics();
  if (Driver.Failed()) {
    Report(Driver.Error());
    return ExitRunFailed;
  }
  if (FAILED(Hr)) {
    Report(L"ShowMainDialog failed: " + StatusText(Hr));
    return ExitRunFailed;
  }
  if (!Driver.Finished() || Main.FilledLayer.empty()) {
    Report("the wizard closed before the fill run ended");
    return ExitRunFailed;
  }
  if (Main.FilledLayer != TargetLayer || Main.FilledTable != Resolved.TargetTable->Id ||
      _wcsicmp(Main.FilledField.c_str(), Resolved.TargetField->Id.c_str()) != 0) {
    Report(L"the run filled " + Main.FilledLayer + L"." + Main.FilledTable + L"." +
           Main.FilledField + L", not the scenario's target");
    return ExitRunFailed;
  }
  // The filled layer drawn in graduated colours, then the filled layer as data.
  SaveMapPicture(Main.Model(), TargetLayer, Out + L"\\map-after.bmp");
  // Minimised, no window is drawn (the map's pictures are drawn off the screen): the host's
  // window and the attribute table are left out.
  if (!Scenario.Minimised) SaveWindowPictures(Main, Resolved, Out);
  Main.Host().SaveLayerGeoJson(TargetLayer, Out + L"\\result.geojson");
  if (!WriteTableCsv(Main.Host(), *Resolved.TargetLayer, *Resolved.TargetTable,
                     Out + L"\\result.csv")) {
    Report(L"cannot write " + Out + L"\\result.csv");
    return ExitRunFailed;
  }
  for (const auto& Shot : Driver.Shots()) printf("%s\n", Utf8(Shot).c_str());
  printf("fill run: %.1f s\n", Driver.FillSeconds());
  printf("%s\n%s\n", Utf8(Out + L"\\result.geojson").c_str(), Utf8(Out + L"\\result.csv").c_str());
  return ExitOk;
}

}  // namespace

int wmain(int Argc, wchar_t** Argv) {
  {
    ULONG Lfh = 2;
    HeapSetInformation(GetProcessHeap(), HeapCompatibilityInformation, &Lfh, sizeof Lfh);
    HeapSetInformation(reinterpret_cast<HANDLE>(_get_heap_handle()), HeapCompatibilityInformation, &Lfh, sizeof Lfh);
  }
  TScenario Scenario;
  try {
    Scenario = ParseCommandLine(Argc, Argv);
  } catch (const std::exception& E) {
    Report(E.what());
    fputs(UsageText(), stderr);
    return ExitBadScenario;
  }
  if (Scenario.Help) {
    fputs(UsageText(), stdout);
    return ExitOk;
  }
  if (FAILED(OleInitialize(nullptr))) {
    Report("OleInitialize failed");
    return ExitRunFailed;
  }
  INITCOMMONCONTROLSEX Controls{sizeof(Controls), ICC_WIN95_CLASSES | ICC_BAR_CLASSES};
  InitCommonControlsEx(&Controls);
  int Code = ExitRunFailed;
  try {
    Code = Scenario.Script ? RunScript(Scenario) : RunInteractive(Scenario);
  } catch (const Quorin::Exception& E) {
    Report(Quorin::ToWide(E.Message()));
  } catch (const std::exception& E) {
    Report(E.what());
  } catch (...) {
    Report("unexpected error");
  }
  OleUninitialize();
  return Code;
}
