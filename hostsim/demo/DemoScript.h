// The scripted walk-through: drives the real wizard through its controls as a user would, from
// a thread timer on the user-interface thread (it fires inside the module's modal loops):
// selects the target field, adds every source in the source dialog, chooses the function,
// presses "Готово", waits for the run to end and closes the wizard. Each page is captured as a
// picture on the way.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "hostsim/HostSim.h"
#include "hostsim/demo/DemoScenario.h"

namespace OrvexSim {

class TWizardDriver {
public:
  // Minimised: the wizard and the source dialog are minimised as they appear (a window shown
  // after its owner was minimised is shown all the same), so that they are not painted; no
  // pictures are taken then.
  TWizardDriver(HostSim::THost& Host, const TResolvedScenario& Scenario, std::wstring ShotFolder,
                int TimeoutSeconds, bool Minimised = false);
  ~TWizardDriver();
  // Starts the timer; call right before ShowMainDialog.
  void Start();
  bool Finished() const { return FStep >= FSteps.size(); }
  bool Failed() const { return !FError.empty(); }
  const std::wstring& Error() const { return FError; }
  // The pictures written, in order (full paths).
  const std::vector<std::wstring>& Shots() const { return FShots; }
  // From the press of "Готово" to the run's end as the walk-through saw it.
  double FillSeconds() const { return static_cast<double>(FFillEnd - FFillStart) / 1000.0; }

private:
  struct TStep {
    std::wstring Name;
    std::function<bool()> Run;  // true: done, go on with the next step
  };
  static void CALLBACK TimerProc(HWND, UINT, UINT_PTR, DWORD);
  void Tick();
  void Fail(const std::wstring& Message);
  void CloseAfterFailure();
  void Shot(HWND Window, const std::wstring& Name);
  bool SelectPath(HWND Tree, const std::vector<std::wstring>& Path);
  HWND MessageBoxWindow(std::wstring* Text) const;

  HostSim::THost& FHost;
  TResolvedScenario FScenario;
  std::wstring FShotFolder;
  int FTimeoutSeconds;
  ULONGLONG FDeadline = 0;
  UINT_PTR FTimer = 0;
  bool FBusy = false;
  size_t FStep = 0;
  std::vector<TStep> FSteps;
  std::wstring FError;
  std::vector<std::wstring> FShots;
  HWND FWizard = nullptr;
  HWND FDialog = nullptr;
  int FApplyBefore = 0;
  bool FMinimised;
  ULONGLONG FFillStart = 0, FFillEnd = 0;
};

}  // namespace OrvexSim
