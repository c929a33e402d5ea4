// Benchmark of the fill run over the sample city: the quarters' POPULATION filled from two
// sources on the buildings (the residents of the buildings inside, and the perimeter of the
// buildings that intersect), with both progress reporters on real 577-pixel bars.
//
// Two runs on the same city. Without controls on the reporters, the run's time is the host's
// (timed inside hostsim), the message passes' and the module's own. With the bars, the same run
// also repaints the bars; the message passes per job and the longest gap between two passes
// are taken there. The module's own share is its own time over the wall time of the run with
// the bars.
//   bench_fillrun [scale]     (default: the smallest city with 10,000 quarters)
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "hostsim/HostSim.h"
#include "hostsim/HostSimCity.h"
#include "stats/FillRun.h"
#include "stats/StatSchemes.h"
#include "support/Errors.h"
#include "support/MessageLoop.h"
#include "support/Progresses.h"

using namespace Quorin;
namespace City = HostSim::City;

namespace {

double Frequency() {
  LARGE_INTEGER F;
  QueryPerformanceFrequency(&F);
  return static_cast<double>(F.QuadPart);
}

long long Now() {
  LARGE_INTEGER T;
  QueryPerformanceCounter(&T);
  return T.QuadPart;
}

// What the message passes of one reporter cost, and how they fall into jobs.
struct TPassStats {
  long long Ticks = 0;      // inside the passes
  unsigned Passes = 0;
  unsigned Jobs = 0;
  unsigned MaxPerJob = 0;
  unsigned InJob = 0;
};

struct TPassClock {
  long long LastEnd = 0;
  long long LongestGap = 0;
  bool InPass = false;
};

// Time spent in the window procedures of the bars and labels outside the message passes (the
// bar repaints itself while it takes a new position; the label while it takes its text).
long long ControlTicks = 0;
int ControlDepth = 0;
TPassClock* PassClock = nullptr;

LRESULT CALLBACK TimedControl(HWND Wnd, UINT Msg, WPARAM W, LPARAM L, UINT_PTR, DWORD_PTR) {
  if ((PassClock && PassClock->InPass) || ControlDepth > 0) return DefSubclassProc(Wnd, Msg, W, L);
  ++ControlDepth;
  const long long Begin = Now();
  LRESULT R = DefSubclassProc(Wnd, Msg, W, L);
  ControlTicks += Now() - Begin;
  --ControlDepth;
  return R;
}

void Watch(TProgress& P, TPassStats& S, TPassClock& Clock) {
  P.SetMessagePump([&P, &S, &Clock] {
    if (P.Position() == 0) {  // a Start
      ++S.Jobs;
      S.InJob = 0;
    }
    ++S.InJob;
    S.MaxPerJob = std::max(S.MaxPerJob, S.InJob);
    const long long Begin = Now();
    if (Clock.LastEnd) Clock.LongestGap = std::max(Clock.LongestGap, Begin - Clock.LastEnd);
    Clock.InPass = true;
    ProcessMessages();
    Clock.InPass = false;
    const long long End = Now();
    S.Ticks += End - Begin;
    ++S.Passes;
    Clock.LastEnd = End;
  });
}

TStatSchemeFillSource* NewSource(const wchar_t* Layer, const wchar_t* Table,
                                 const wchar_t* Characteristic, int32_t Relation) {
  TStatSchemeFillSource* S = nullptr;
  RefAssign(S, new TStatSchemeFillSource);
  S->LayerID = ToAnsi(Layer);
  S->TableID = ToAnsi(Table);
  S->Characteristic = ToAnsi(Characteristic);
  S->Relation = Relation;
  return S;
}

struct TRunFigures {
  double Wall = 0, InHost = 0, InPasses = 0, InControls = 0, Own = 0;
  long Calls = 0, Live = 0;
  TPassStats Fill, Source;
  double LongestGap = 0;
  bool Failed = false;
};

// One fill run of the quarters' POPULATION; with Bars the reporters drive real, visible
// 577-pixel bars and labels, without them the reporters have no controls.
TRunFigures RunOnce(HostSim::THost& Host, bool Bars) {
  const double F = Frequency();
  TRunFigures R;
  HWND Form = CreateWindowExW(0, L"STATIC", L"Quorin", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                              640, 200, nullptr, nullptr, nullptr, nullptr);
  auto Child = [&](const wchar_t* Class, int Y) {
    HWND C = CreateWindowExW(0, Class, L"", WS_CHILD | WS_VISIBLE, 8, Y, 577, 17, Form, nullptr,
                             nullptr, nullptr);
    SetWindowSubclass(C, TimedControl, 1, 0);
    return C;
  };
  TProgress FillProgress, SourceProgress;
  if (Bars) {
    FillProgress.SetProgressLabel(Child(L"STATIC", 16));
    FillProgress.SetProgressBar(Child(PROGRESS_CLASSW, 40));
    SourceProgress.SetProgressLabel(Child(L"STATIC", 76));
    SourceProgress.SetProgressBar(Child(PROGRESS_CLASSW, 100));
  }
  TPassClock Clock;
  PassClock = &Clock;
  Watch(FillProgress, R.Fill, Clock);
  Watch(SourceProgress, R.Source, Clock);
  ProcessMessages();

  TStatSchemeFieldFill* Scheme = new TStatSchemeFieldFill;
  Scheme->LayerID = ToAnsi(City::Quarters);
  Scheme->TableID = ToAnsi(City::QuartersTable);
  Scheme->FieldName = ToAnsi(City::Population);
  Scheme->StatFunction = sfSum;
  TStatSchemeFillSource* Residents =
      NewSource(City::Buildings, City::BuildingsTable, City::Residents, srInside);
  TStatSchemeFillSource* Perimeter = NewSource(City::Buildings, L"", L"2", srIntersects);
  Scheme->Sources.Add(Residents);
  Scheme->Sources.Add(Perimeter);
  RefRelease(Residents);
  RefRelease(Perimeter);

  TComPtr<IOrvexApplication> App = Host.Application();
  Host.ClearCallLog();
  Host.SetCallTiming(true);
  ControlTicks = 0;
  const long long Begin = Now();
  try {
    RunFill(App.Get(), *Scheme, FillProgress, SourceProgress);
  } catch (const Quorin::Exception& E) {
    std::printf("  the run failed: %s\n", E.Message().c_str());
    R.Failed = true;
  }
  const long long End = Now();
  Scheme->Free();
  App.Reset();
  R.Wall = (End - Begin) / F;
  R.InHost = Host.CallSeconds();
  Host.SetCallTiming(false);
  R.InPasses = (R.Fill.Ticks + R.Source.Ticks) / F;
  R.InControls = ControlTicks / F;
  R.Own = R.Wall - R.InHost - R.InPasses - R.InControls;
  R.Calls = Host.CallCount();
  R.Live = Host.LiveObjects();
  R.LongestGap = Clock.LongestGap / F;
  PassClock = nullptr;
  DestroyWindow(Form);
  ProcessMessages();
  return R;
}

void Print(const TRunFigures& R, long Targets) {
  auto Pc = [&](double T) { return 100 * T / R.Wall; };
  std::printf("  wall time                   %8.2f s\n", R.Wall);
  std::printf("  host calls                  %8ld (%.1f per target)\n", R.Calls,
              static_cast<double>(R.Calls) / std::max(1L, Targets));
  std::printf("  inside host calls           %8.2f s  %5.1f %%\n", R.InHost, Pc(R.InHost));
  std::printf("  inside message passes       %8.2f s  %5.1f %%  (%u passes)\n", R.InPasses,
              Pc(R.InPasses), R.Fill.Passes + R.Source.Passes);
  std::printf("  bar and label updates       %8.2f s  %5.1f %%  (outside the passes)\n",
              R.InControls, Pc(R.InControls));
  std::printf("  the rest                    %8.2f s  %5.1f %%  (the module, and the window system "
              "outside the controls)\n",
              R.Own, Pc(R.Own));
  std::printf("  message passes per job      fill: %u in %u job; source: at most %u in %u jobs\n",
              R.Fill.MaxPerJob, R.Fill.Jobs, R.Source.MaxPerJob, R.Source.Jobs);
  std::printf("  longest gap between passes  %8.1f ms\n", 1000.0 * R.LongestGap);
  std::printf("  host objects left alive     %8ld\n", R.Live);
}

}  // namespace

int main(int argc, char** argv) {
  const double Scale = argc > 1 ? std::atof(argv[1]) : 156.25;  // a 100 x 100 grid of quarters
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  const double F = Frequency();
  if (FAILED(CoInitialize(nullptr))) return 1;
  INITCOMMONCONTROLSEX Icc = {sizeof(Icc), ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&Icc);
  int Result = 0;
  {
    const long long T0 = Now();
    HostSim::THost Host;
    Host.BuildSampleCity(Scale);
    const long Targets = static_cast<long>(Host.ObjectIds(City::Quarters).size());
    const long Sources = static_cast<long>(Host.ObjectIds(City::Buildings).size());
    std::printf("fill run: sample city at scale %g (built in %.1f s): %ld quarters (targets), "
                "%ld buildings (sources), %ld objects in all\n",
                Scale, (Now() - T0) / F, Targets, Sources, Host.ObjectCount());
    std::printf("sum of two sources: the residents of the buildings inside each quarter, the "
                "perimeter of the buildings that intersect it\n");
    if (Targets < 10000 || Sources < 100000)
      std::printf("  (fewer than 10,000 targets or 100,000 source objects)\n");
    Host.SetCallLogging(false);

    std::printf("\nreporters without controls: the module against the host\n");
    const TRunFigures Bare = RunOnce(Host, false);
    Print(Bare, Targets);
    std::printf("  module's own time           %8.2f s  %5.1f %% of the host's time\n", Bare.Own,
                100 * Bare.Own / Bare.InHost);

    std::printf("\nreporters on visible 577-pixel bars and labels\n");
    const TRunFigures Shown = RunOnce(Host, true);
    Print(Shown, Targets);
    std::printf("  module's own share          %8.1f %%  (its own time above over this wall "
                "time; goal: at most 5 %%)\n",
                100 * Bare.Own / Shown.Wall);
    if (Bare.Failed || Shown.Failed || Shown.Fill.MaxPerJob > 578 ||
        Shown.Source.MaxPerJob > 578 || Bare.Live != 0 || Shown.Live != 0)
      Result = 1;
  }
  CoUninitialize();
  return Result;
}
