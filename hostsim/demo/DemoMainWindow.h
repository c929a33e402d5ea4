// OrvexSim's main window: the host's menu and toolbar ("Статистика…" calls the plug-in's
// ShowMainDialog), the layer list in which the active layer is picked, the map, and a status
// line. It owns the simulated host and the plug-in object.
#pragma once

#include <windows.h>

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

private:
  static LRESULT CALLBACK WindowProc(HWND, UINT, WPARAM, LPARAM);
  LRESULT Handle(UINT Message, WPARAM WParam, LPARAM LParam);
  void Command(int Id);
  void Layout();
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
};

}  // namespace OrvexSim
