// OrvexSim's main window: the host's menu and toolbar ("Статистика…" calls the plug-in's
// ShowMainDialog), the layer list in which the active layer is picked, the map, and a status
// line. It owns the simulated host and the plug-in object.
#pragma once

#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>

#include "hostsim/HostSim.h"
#include "hostsim/demo/DemoCatalog.h"
#include "hostsim/demo/DemoMapView.h"
#include "hostsim/demo/DemoModule.h"

namespace OrvexSim {

class TMainWindow {
public:
  TMainWindow();
  ~TMainWindow();
  // Creates the window (hidden until Show).
  bool Create();
  void Show(int Command);
  HWND Handle() const { return FWindow; }

  // Replaces the host's data: the sample city, or a folder of GeoJSON layers. Raises on failure.
  void LoadCity();
  void LoadFolder(const std::wstring& Folder);
  HostSim::THost& Host() { return *FHost; }
  const TCatalog& Catalog() const { return FCatalog; }
  TMapModel& Model() { return FModel; }

  void SetActiveLayer(const std::wstring& LayerId);
  // Creates the plug-in object and hands it the application; false with Error set.
  bool LoadPlugin(std::wstring& Error);
  // ShowMainDialog, then the theme of the field that the run filled, if there was one; the
  // status ShowMainDialog returned.
  HRESULT RunStatistics();
  // The last fill's target (layer, table, field identifiers); empty before any fill.
  std::wstring FilledLayer, FilledTable, FilledField;
  // No message boxes of the host's own (the scripted mode reports on stderr instead).
  bool Quiet = false;
  // The host keeps no record of its calls; with a call log, each call is written to the file
  // (UTF-8, one line each, as HostSim::FormatCall gives it) as it is made, for this host and
  // any loaded after it. False when the file cannot be made.
  bool OpenCallLog(const std::wstring& Path);

private:
  static LRESULT CALLBACK WindowProc(HWND, UINT, WPARAM, LPARAM);
  LRESULT Handle(UINT Message, WPARAM WParam, LPARAM LParam);
  void Command(int Id);
  void Layout();
  void NewHost();
  void AfterLoad();
  void FindFillTarget();
  void SetStatus(const std::wstring& Text);
  std::wstring ChooseFolder(const wchar_t* Title);

  std::unique_ptr<HostSim::THost> FHost;
  TCatalog FCatalog;
  TMapModel FModel;
  TPlugin FPlugin;
  HWND FWindow = nullptr, FToolbar = nullptr, FLayerList = nullptr, FMap = nullptr,
       FStatus = nullptr;
  std::wstring FActiveLayer;
  FILE* FCallLog = nullptr;
};

}  // namespace OrvexSim
