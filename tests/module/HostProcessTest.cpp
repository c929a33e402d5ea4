// The module inside a host process that is not ours: a Delphi host's floating-point settings
// (x87 exceptions for invalid operation, division by zero and overflow unmasked, control word
// 0x1332; the same unmasked in MXCSR) and a host that knows only the interface identifiers the
// real host publishes. A whole wizard run through the built Quorin.dll fills a target field
// with every function over host values that are NaN, infinite or near DBL_MAX (field values,
// areas, perimeters): nothing faults, the values are those of the same run in a process with
// every exception masked, every host call and every message the module hands to the host's
// code runs under the host's state, and each COM method returns with the host's state.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "ModuleTestSupport.h"
#include "hostsim/HostSim.h"
#include "module/ClassFactory.h"
#include "module/Quorin_h.h"
#include "stats/FillRun.h"
#include "stats/RefObjects.h"
#include "stats/StatSchemes.h"
#include "support/ComPtr.h"
#include "support/ErrorReport.h"
#include "support/Errors.h"
#include "support/Progresses.h"
#include "support/Strings.h"
#include "tests/uitest/UiTest.h"
#include "wizard/MapElementTree.h"
#include "wizard/NewFieldFillSchemeWizardRes.h"

using Quorin::TComPtr;
using namespace QuorinTest;

namespace {

// A host's floating-point control words.
struct TFpuControl {
  uint16_t X87;
  uint32_t Mxcsr;
};
// Delphi's: invalid operation, zero divide and overflow unmasked (x87 at 64-bit precision).
constexpr TFpuControl DelphiHost = {0x1332, 0x1900};
// The same exceptions unmasked, at 24-bit precision rounding toward zero on the x87 and
// rounding toward zero in MXCSR (a Direct3D host without FPU_PRESERVE, and worse).
constexpr TFpuControl LowPrecisionHost = {0x1C32, 0x7900};
// IEEE double arithmetic, every exception masked: the state the test computes expectations in.
constexpr TFpuControl IeeeDouble = {0x027F, 0x1F80};

uint16_t X87Now() {
  uint16_t W;
  __asm__ __volatile__("fnstcw %0" : "=m"(W));
  return W;
}
uint32_t MxcsrNow() {
  uint32_t W;
  __asm__ __volatile__("stmxcsr %0" : "=m"(W));
  return W;
}
// The control bits (bit 6 of the x87 word reads as 1 whatever was loaded; the exception flags
// of MXCSR are status, not control).
bool UnderState(const TFpuControl& State) {
  return (X87Now() & 0x1F3F) == (State.X87 & 0x1F3F) && (MxcsrNow() & ~0x3Fu) == State.Mxcsr;
}

// A state for the scope, and back to the one the test had before.
struct TFloatingPoint {
  uint16_t SavedX87 = X87Now();
  uint32_t SavedMxcsr = MxcsrNow();
  explicit TFloatingPoint(const TFpuControl& State) {
    __asm__ __volatile__("fnclex\n\tfldcw %0" : : "m"(State.X87));
    __asm__ __volatile__("ldmxcsr %0" : : "m"(State.Mxcsr));
  }
  ~TFloatingPoint() {
    __asm__ __volatile__("fnclex\n\tfldcw %0" : : "m"(SavedX87));
    __asm__ __volatile__("ldmxcsr %0" : : "m"(SavedMxcsr));
  }
};

const double Big = 0.9 * DBL_MAX;
const double Inf = std::numeric_limits<double>::infinity();
const double NaN = std::numeric_limits<double>::quiet_NaN();

std::wstring Square(int X, int Y, int Size) {
  auto N = [](int V) { return std::to_wstring(V); };
  return L"POLYGON((" + N(X) + L" " + N(Y) + L"," + N(X + Size) + L" " + N(Y) + L"," +
         N(X + Size) + L" " + N(Y + Size) + L"," + N(X) + L" " + N(Y + Size) + L"," + N(X) +
         L" " + N(Y) + L"))";
}

// Five quarters side by side; points with a value field and parcels (area, perimeter) inside:
//   q1: values NaN, 2            q2: values +inf, -inf; a parcel of area -inf, perimeter +inf
//   q3: two parcels of area 0.9 DBL_MAX each (their sum overflows)
//   q4: value 1; a parcel of area NaN with two shapes of perimeter 0.9 DBL_MAX each
//   q5: values 0.9 DBL_MAX twice
// and three where precision and rounding show: q6: 16,777,216, 1, 1, 1 (a sum that 24 bits do
// not hold); q7: 0.1, 0.2, 0.3 (a sum that rounds); q8: 1, 2, 2 (a mean of 5/3).
void BuildQuarters(HostSim::THost& Host) {
  Host.AddMap(L"m", L"Город");
  Host.AddLayer(L"m", L"q", L"Кварталы");
  Host.AddTable(L"q", L"qs", L"Кварталы.сем");
  Host.AddField(L"qs", L"res", L"Итог");
  for (int I = 1; I <= 8; ++I) {
    const std::wstring Id = L"q" + std::to_wstring(I);
    Host.AddObject(L"q", Id, Square(100 * I, 0, 100));
    Host.AddRecord(Id, L"qs", {{L"res", HostSim::TValue(-1)}});
  }
  Host.AddLayer(L"m", L"pt", L"Точки");
  Host.AddTable(L"pt", L"pts", L"Точки.сем");
  Host.AddField(L"pts", L"v", L"Значение");
  const struct { int Quarter; double Value; } Points[] = {
      {1, NaN}, {1, 2.0}, {2, Inf}, {2, -Inf}, {4, 1.0}, {5, Big}, {5, Big},
      {6, 16777216.0}, {6, 1.0}, {6, 1.0}, {6, 1.0}, {7, 0.1}, {7, 0.2}, {7, 0.3},
      {8, 1.0}, {8, 2.0}, {8, 2.0}};
  int N = 0;
  for (const auto& P : Points) {
    const std::wstring Id = L"a" + std::to_wstring(++N);
    Host.AddObject(L"pt", Id, Square(100 * P.Quarter + 5 * (N % 16), 10, 4));
    Host.AddRecord(Id, L"pts", {{L"v", HostSim::TValue(P.Value)}});
  }
  Host.AddLayer(L"m", L"pc", L"Участки");
  Host.AddObject(L"pc", L"c1", Square(310, 50, 10));
  Host.SetObjectArea(L"c1", Big);
  Host.AddObject(L"pc", L"c2", Square(330, 50, 10));
  Host.SetObjectArea(L"c2", Big);
  Host.AddObject(L"pc", L"c3", Square(410, 50, 10));
  Host.AddShape(L"c3", Square(430, 50, 10));
  Host.SetObjectArea(L"c3", NaN);
  Host.SetShapePerimeter(L"c3", 0, Big);
  Host.SetShapePerimeter(L"c3", 1, Big);
  Host.AddObject(L"pc", L"c4", Square(210, 50, 10));
  Host.SetObjectArea(L"c4", -Inf);
  Host.SetShapePerimeter(L"c4", 0, Inf);
}

const int Functions = 5;
const wchar_t* const Quarters[] = {L"q1", L"q2", L"q3", L"q4", L"q5", L"q6", L"q7", L"q8"};

// What one fill run left: the quarters' values and the message it showed, if any.
struct TResult {
  std::vector<HostSim::TValue> Values;
  std::wstring Message;
  int Applied = 0;
};

// The same runs, one after the other on one host, in this process with every exception masked:
// the values that the variant arithmetic gives.
std::vector<TResult> ReferenceRuns() {
  std::vector<TResult> Results;
  HostSim::THost Host;
  BuildQuarters(Host);
  TComPtr<IOrvexApplication> App = Host.Application();
  for (int F = 0; F < Functions; ++F) {
    Quorin::TStatSchemeFieldFill* Scheme = new Quorin::TStatSchemeFieldFill;
    Scheme->LayerID = "q";
    Scheme->TableID = "qs";
    Scheme->FieldName = "res";
    Scheme->StatFunction = static_cast<Quorin::TStatFunction>(F);
    const char* Sources[][3] = {{"pt", "pts", "v"}, {"pc", "", "1"}, {"pc", "", "2"}};
    for (const auto& S : Sources) {
      Quorin::TRefHolder<Quorin::TStatSchemeFillSource> Source(new Quorin::TStatSchemeFillSource);
      Source->LayerID = S[0];
      Source->TableID = S[1];
      Source->Characteristic = S[2];
      Source->Relation = Quorin::srInside;
      Scheme->Sources.Add(Source.Get());
    }
    Quorin::TProgress FillProgress, SourceProgress;
    TResult R;
    const int AppliedBefore = Host.ApplyChangesCount();
    try {
      Quorin::RunFill(App.Get(), *Scheme, FillProgress, SourceProgress);
    } catch (const std::exception& E) {
      R.Message = Quorin::ToWide(Quorin::ErrorReportText(Quorin::ErrorMessageOf(E)));
    }
    Scheme->Free();
    for (const wchar_t* Q : Quarters) R.Values.push_back(Host.Value(Q, L"qs", L"res"));
    R.Applied = Host.ApplyChangesCount() - AppliedBefore;
    Results.push_back(R);
  }
  return Results;
}

// ---- the wizard through its controls, step by step on timer ticks ---------------------------

const wchar_t WizardCaption[] = L"Мастер анализа статистических данных";
const wchar_t SourceCaption[] = L"Добавление/Изменение источника";

std::wstring NodeText(HWND Tree, HTREEITEM Node) {
  return Quorin::ToWide(Quorin::NodeText(Tree, Node));
}

// Expands the way down (the module loads a table's fields then) and selects the node.
bool SelectPath(HWND Tree, const std::vector<std::wstring>& Path) {
  HTREEITEM Node = nullptr;
  for (const std::wstring& Text : Path) {
    if (Node) TreeView_Expand(Tree, Node, TVE_EXPAND);
    HTREEITEM Child = Node ? TreeView_GetChild(Tree, Node) : TreeView_GetRoot(Tree);
    while (Child && NodeText(Tree, Child) != Text) Child = TreeView_GetNextSibling(Tree, Child);
    if (!Child) return false;
    Node = Child;
  }
  TreeView_SelectItem(Tree, Node);
  return true;
}

void Choose(HWND Form, HWND Combo, int Item) {
  SendMessageW(Combo, CB_SETCURSEL, static_cast<WPARAM>(Item), 0);
  SendMessageW(Form, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(Combo), CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(Combo));
}

bool Usable(HWND Form, int Id) {
  HWND C = FindControl(Form, Id);
  return C && IsWindowVisible(C) && IsWindowEnabled(C);
}

// One step: true when done; false to be asked again on a later tick. A step that clicks into a
// modal loop (the source dialog, a run and its message box) lets the later steps run inside it.
using TStep = std::function<bool()>;

struct TDriver {
  std::vector<TStep> Steps;
  size_t Next = 0;
  DWORD Started = GetTickCount();
  bool TimedOut = false;
  long TicksUnderOtherState = 0;
  std::vector<std::wstring> Boxes;
  std::vector<TResult> Results;
  HostSim::THost* Host = nullptr;
  TFpuControl State{};  // the host's
};
// Each host thread drives its own wizard.
thread_local TDriver* Driver = nullptr;

void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
  TDriver& D = *Driver;
  // This is the host's code: the module dispatched the timer under the host's state.
  if (!UnderState(D.State)) ++D.TicksUnderOtherState;
  for (HWND Box : OpenMessageBoxes()) {
    D.Boxes.push_back(ReadMessageBox(Box).Text);
    PostMessageW(Box, WM_COMMAND, IDOK, 0);
  }
  HWND Wizard = FindFormWindow(WizardCaption);
  if (GetTickCount() - D.Started > 90000 && !D.TimedOut) {
    D.TimedOut = true;
    if (HWND Dialog = FindFormWindow(SourceCaption)) PostMessageW(Dialog, WM_COMMAND, IDCANCEL, 0);
    if (Wizard) PostMessageW(Wizard, WM_COMMAND, IDCANCEL, 0);
    return;
  }
  if (D.TimedOut || D.Next >= D.Steps.size()) return;
  const size_t I = D.Next++;
  if (!D.Steps[I]()) D.Next = I;
}

void BuildSteps(TDriver& D) {
  auto Wizard = [] {
    HWND W = FindFormWindow(WizardCaption);
    return W && IsWindowVisible(W) && IsWindowEnabled(W) ? W : nullptr;
  };
  auto OnPage = [](HWND W, int Sheet) {
    HWND S = FindControl(W, Sheet);
    return S && IsWindowVisible(S);
  };
  D.Steps.push_back([=] {
    HWND W = Wizard();
    return W && SelectPath(FindControl(W, IDC_WZ_FIELDTREEVIEW),
                           {L"Город", L"Кварталы", L"Кварталы.сем", L"Итог"});
  });
  const std::vector<std::wstring> Sources[] = {{L"Город", L"Точки", L"Точки.сем", L"Значение"},
                                               {L"Город", L"Участки", L"Площадь"},
                                               {L"Город", L"Участки", L"Периметр"}};
  for (const auto& Path : Sources) {
    D.Steps.push_back([=] {
      HWND W = Wizard();
      if (!W) return false;
      if (OnPage(W, IDC_WZ_FIELDTABSHEET)) {
        if (Usable(W, IDC_WZ_NEXTBUTTON)) ClickButton(W, IDC_WZ_NEXTBUTTON);
        return false;
      }
      if (!Usable(W, IDC_WZ_ADDSOURCEBUTTON)) return false;
      ClickButton(W, IDC_WZ_ADDSOURCEBUTTON);  // the dialog's steps run inside
      return true;
    });
    D.Steps.push_back([=] {
      HWND Dialog = FindFormWindow(SourceCaption);
      if (!Dialog) return false;
      if (!SelectPath(FindWindowExW(Dialog, nullptr, WC_TREEVIEWW, nullptr), Path)) return false;
      Choose(Dialog, FindWindowExW(Dialog, nullptr, WC_COMBOBOXW, nullptr), 1);  // inside
      return true;
    });
    D.Steps.push_back([=] {
      HWND Dialog = FindFormWindow(SourceCaption);
      if (!Dialog || !IsWindowEnabled(GetDlgItem(Dialog, IDOK))) return false;
      ClickButton(Dialog, IDOK);
      return true;
    });
  }
  for (int F = 0; F < Functions; ++F) {
    // To the sources page (from the first page after a run, from the last after a failed one).
    D.Steps.push_back([=] {
      HWND W = Wizard();
      if (!W) return false;
      if (OnPage(W, IDC_WZ_SOURCETABSHEET)) return true;
      if (OnPage(W, IDC_WZ_FIELDTABSHEET) && Usable(W, IDC_WZ_NEXTBUTTON))
        ClickButton(W, IDC_WZ_NEXTBUTTON);
      else if (OnPage(W, IDC_WZ_PROCESSTABSHEET) && Usable(W, IDC_WZ_BACKBUTTON))
        ClickButton(W, IDC_WZ_BACKBUTTON);
      return false;
    });
    D.Steps.push_back([=] {
      HWND W = Wizard();
      if (!W) return false;
      Choose(W, FindControl(W, IDC_WZ_STATFUNCTIONCOMBOBOX), F);
      return true;
    });
    D.Steps.push_back([=] {
      HWND W = Wizard();
      if (!W) return false;
      if (OnPage(W, IDC_WZ_PROCESSTABSHEET)) return true;
      if (Usable(W, IDC_WZ_NEXTBUTTON)) ClickButton(W, IDC_WZ_NEXTBUTTON);
      return false;
    });
    D.Steps.push_back([=, &D] {
      HWND W = Wizard();
      if (!W || !Usable(W, IDC_WZ_NEXTBUTTON)) return false;
      const size_t BoxesBefore = D.Boxes.size();
      const int AppliedBefore = D.Host->ApplyChangesCount();
      ClickButton(W, IDC_WZ_NEXTBUTTON);  // "Готово": the run
      // A failed run's message box is closed by the ticks inside its loop.
      TResult R;
      for (const wchar_t* Q : Quarters) R.Values.push_back(D.Host->Value(Q, L"qs", L"res"));
      if (D.Boxes.size() > BoxesBefore) R.Message = D.Boxes.back();
      R.Applied = D.Host->ApplyChangesCount() - AppliedBefore;
      D.Results.push_back(R);
      return true;
    });
  }
  // After the runs' arithmetic: the module opens its source dialog, whose procedure fills the
  // tree from the host (module, its own dialog procedure, host calls).
  D.Steps.push_back([=] {
    HWND W = Wizard();
    if (!W) return false;
    if (!OnPage(W, IDC_WZ_SOURCETABSHEET)) {
      if (OnPage(W, IDC_WZ_FIELDTABSHEET) && Usable(W, IDC_WZ_NEXTBUTTON))
        ClickButton(W, IDC_WZ_NEXTBUTTON);
      else if (OnPage(W, IDC_WZ_PROCESSTABSHEET) && Usable(W, IDC_WZ_BACKBUTTON))
        ClickButton(W, IDC_WZ_BACKBUTTON);
      return false;
    }
    HWND List = FindControl(W, IDC_WZ_SOURCELISTVIEW);
    ListView_SetItemState(List, 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    if (!Usable(W, IDC_WZ_EDITSOURCEBUTTON)) return false;
    ClickButton(W, IDC_WZ_EDITSOURCEBUTTON);
    return true;
  });
  D.Steps.push_back([=] {
    HWND Dialog = FindFormWindow(SourceCaption);
    if (!Dialog) return false;
    PostMessageW(Dialog, WM_COMMAND, IDCANCEL, 0);
    return true;
  });
  D.Steps.push_back([=] {
    HWND W = Wizard();
    if (!W) return false;
    PostMessageW(W, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                 reinterpret_cast<LPARAM>(FindControl(W, IDCANCEL)));
    return true;
  });
}

// A value exactly: a double by its bits (NaN included), anything else by its text.
std::wstring Exactly(const HostSim::TValue& V) {
  if (V.Type() != VT_R8) return V.ToText();
  unsigned long long Bits;
  std::memcpy(&Bits, &V_R8(&V.Ref()), sizeof Bits);
  wchar_t Buffer[40];
  swprintf(Buffer, 40, L"R8:%016llx", Bits);
  return Buffer;
}

double R8(const HostSim::TValue& V) { return V.Type() == VT_R8 ? V_R8(&V.Ref()) : -1.0; }

// The DLL's DllGetClassObject, as a host reaches it; null when it has none.
using TGetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
TGetClassObject ClassObjectEntry(HMODULE Module) {
  return reinterpret_cast<TGetClassObject>(
      reinterpret_cast<void*>(GetProcAddress(Module, "DllGetClassObject")));
}

// One host's whole wizard session through the built DLL, on the calling thread: the host knows
// only the published identifiers, runs its code under State (its main window and message hooks
// load it again themselves), and drives every function's run through the wizard's controls.
struct TSession {
  HostSim::THost Host;
  TDriver D;  // its steps: the whole session's unless some are given
  HWND Owner = nullptr;  // the host's main window when it is not the session's own
  HRESULT Created = E_FAIL, Inited = E_FAIL, Shown = E_FAIL;
  bool StateKept[4] = {};  // after each COM call

  void Run(HMODULE Module, const TFpuControl& State) { Run(ClassObjectEntry(Module), State); }
  void Run(TGetClassObject GetClassObject, const TFpuControl& State) {
    BuildQuarters(Host);
    Host.SetRealHostMode(true);
    if (!GetClassObject) return;
    D.Host = &Host;
    D.State = State;
    if (D.Steps.empty()) BuildSteps(D);
    Driver = &D;
    {
      TFloatingPoint InHost(State);
      Host.ExpectFpuControl(State.X87, State.Mxcsr);
      if (Owner) Host.SetMainWindow(Owner);
      if (Owner || Host.OpenMainWindow(true)) {
        TComPtr<IClassFactory> Factory;
        TComPtr<IComModule> Object;
        TComPtr<IOrvexApplication> App = Host.Application();
        if (SUCCEEDED(GetClassObject(CLSID_ComModule, IID_IClassFactory, Factory.PutVoid()))) {
          StateKept[0] = UnderState(State);
          Created = Factory->CreateInstance(nullptr, IID_IComModule, Object.PutVoid());
          StateKept[1] = UnderState(State);
        }
        if (SUCCEEDED(Created)) {
          Inited = Object->Init(reinterpret_cast<OrvexApplication*>(App.Get()));
          StateKept[2] = UnderState(State);
          const UINT_PTR Timer = SetTimer(nullptr, 0, 20, Tick);
          Shown = Object->ShowMainDialog();
          StateKept[3] = UnderState(State);
          KillTimer(nullptr, Timer);
        }
      }
      Host.CloseMainWindow();
    }
    Driver = nullptr;
  }

  // Everything went through under the host's state, road by road, and left nothing alive.
  void ExpectHostStateKept() const {
    EXPECT_EQ(Created, S_OK);
    EXPECT_EQ(Inited, S_OK);
    EXPECT_EQ(Shown, S_OK);
    for (int I = 0; I < 4; ++I) EXPECT_TRUE(StateKept[I]) << "after COM call " << I;
    EXPECT_FALSE(D.TimedOut) << "stopped at step " << D.Next << " of " << D.Steps.size();
    EXPECT_EQ(D.TicksUnderOtherState, 0);
    const char* const Roads[] = {"host methods", "IUnknown of host objects", "host window",
                                 "WH_CALLWNDPROC hook", "WH_GETMESSAGE hook"};
    for (int R = 0; R < HostSim::THost::FpuRoadCount; ++R) {
      const auto Road = static_cast<HostSim::THost::TFpuRoad>(R);
      EXPECT_GT(Host.FpuRuns(Road), 10) << Roads[R];
      EXPECT_EQ(Host.FpuMismatches(Road), 0) << Roads[R] << ", of " << Host.FpuRuns(Road);
    }
    EXPECT_EQ(Host.LiveObjects(), 0);
  }
};

void ExpectSameValues(const std::vector<TResult>& Results, const std::vector<TResult>& Expected) {
  ASSERT_EQ(Results.size(), Expected.size());
  for (size_t F = 0; F < Results.size(); ++F) {
    SCOPED_TRACE("function " + std::to_string(F));
    EXPECT_EQ(Results[F].Message, Expected[F].Message);
    EXPECT_EQ(Results[F].Applied, Expected[F].Applied);
    ASSERT_EQ(Results[F].Values.size(), Expected[F].Values.size());
    for (size_t Q = 0; Q < Results[F].Values.size(); ++Q)
      EXPECT_EQ(Exactly(Results[F].Values[Q]), Exactly(Expected[F].Values[Q])) << Quarters[Q];
  }
}

HMODULE LoadModule() { return LoadLibraryW(ModuleTest::DllPath().c_str()); }

// Whether an unmasked floating-point exception traps on this machine: qemu-i386 raises none for
// the x87, a native kernel does. The probe's own trap is masked and the division goes on.
bool TrapSeen = false;

LONG CALLBACK MaskAndGoOn(EXCEPTION_POINTERS* E) {
  switch (E->ExceptionRecord->ExceptionCode) {
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
    case EXCEPTION_FLT_INVALID_OPERATION:
    case STATUS_FLOAT_MULTIPLE_TRAPS: {
      TrapSeen = true;
      CONTEXT& C = *E->ContextRecord;
#if defined(__x86_64__)
      C.MxCsr |= 0x1F80;
      C.FltSave.MxCsr |= 0x1F80;
#else
      C.FloatSave.ControlWord |= 0x3F;
      C.FloatSave.StatusWord &= ~0x80FFu;
      WORD* Fx = reinterpret_cast<WORD*>(C.ExtendedRegisters);  // the FXSAVE image
      Fx[0] |= 0x3F;
      Fx[1] &= static_cast<WORD>(~0x80FFu);
#endif
      return EXCEPTION_CONTINUE_EXECUTION;
    }
    default:
      return EXCEPTION_CONTINUE_SEARCH;
  }
}

bool FloatingPointTrapsFire() {
  TrapSeen = false;
  PVOID Handler = AddVectoredExceptionHandler(1, MaskAndGoOn);
  {
    TFloatingPoint InHost(DelphiHost);
    volatile double One = 1.0, Zero = 0.0;
    volatile double Quotient = One / Zero;
    (void)Quotient;
  }
  RemoveVectoredExceptionHandler(Handler);
  return TrapSeen;
}

}  // namespace

TEST(HostProcess, WizardRunUnderTheHostsFloatingPointStateWithThePublishedIdentifiersOnly) {
  const std::vector<TResult> Reference = ReferenceRuns();
  ASSERT_EQ(Reference.size(), static_cast<size_t>(Functions));
  // The hazards are there: NaN, +inf - inf and a NaN area give NaN; two values near DBL_MAX
  // overflow to +inf, in the sum of a field, of areas and of a perimeter's shapes.
  const TResult& Sum = Reference[Quorin::sfSum];
  EXPECT_TRUE(Sum.Message.empty()) << Sum.Message;
  EXPECT_TRUE(std::isnan(R8(Sum.Values[0])));
  EXPECT_TRUE(std::isnan(R8(Sum.Values[1])));
  EXPECT_EQ(R8(Sum.Values[2]), Inf);
  EXPECT_TRUE(std::isnan(R8(Sum.Values[3])));
  EXPECT_EQ(R8(Sum.Values[4]), Inf);
  EXPECT_EQ(Reference[Quorin::sfCount].Values[3].ToText(), L"3");  // a value, an area, a perimeter
  EXPECT_EQ(R8(Reference[Quorin::sfAverage].Values[4]), Inf);

  // Where traps fire, a fault the module failed to mask ends this test; where they do not
  // (the emulator), the control words and values still tell.
  const bool Traps = FloatingPointTrapsFire();
  std::printf("floating-point traps: %s\n", Traps ? "fire here" : "do not fire here");
  RecordProperty("FloatingPointTraps", Traps ? "fire" : "do not fire");

  ASSERT_HRESULT_SUCCEEDED(CoInitialize(nullptr));
  HMODULE Module = LoadModule();
  ASSERT_NE(Module, nullptr);
  // The host's window and hooks load its unmasked state again in the middle of the module's
  // work (activation, enabling, painting during the runs' message passes, every message of the
  // progress bars): the runs over NaN, infinities and overflowing sums must not trap.
  TSession Session;
  Session.Run(Module, DelphiHost);
  Session.ExpectHostStateKept();
  EXPECT_GT(Session.Host.CallCount(), 100);
  ExpectSameValues(Session.D.Results, Reference);
  FreeLibrary(Module);
  CoUninitialize();
}

// The module computes in IEEE double arithmetic whatever the host's precision and rounding:
// 24-bit precision would hold 16,777,216 + 1 + 1 + 1 as 16,777,216; rounding toward zero would
// cut 0.1 + 0.2 + 0.3 and the mean 5/3 in the last bit.
TEST(HostProcess, SumsAndMeansAreIeeeDoublesUnderAHostsPrecisionAndRounding) {
  double Sum6, Sum7, Mean8;
  {
    TFloatingPoint Ieee(IeeeDouble);
    volatile double A = 0.1, B = 0.2, C = 0.3, Five = 5.0, Three = 3.0;
    volatile double S = A + B;
    Sum7 = S + C;
    Mean8 = Five / Three;
    Sum6 = 16777219.0;
  }
  ASSERT_HRESULT_SUCCEEDED(CoInitialize(nullptr));
  HMODULE Module = LoadModule();
  ASSERT_NE(Module, nullptr);
  TSession Session;
  Session.Run(Module, LowPrecisionHost);
  Session.ExpectHostStateKept();
  ASSERT_EQ(Session.D.Results.size(), static_cast<size_t>(Functions));
  const TResult& Sums = Session.D.Results[Quorin::sfSum];
  const TResult& Means = Session.D.Results[Quorin::sfAverage];
  EXPECT_EQ(Exactly(Sums.Values[5]), Exactly(HostSim::TValue(Sum6)));
  EXPECT_EQ(Exactly(Sums.Values[6]), Exactly(HostSim::TValue(Sum7)));
  EXPECT_EQ(Exactly(Means.Values[7]), Exactly(HostSim::TValue(Mean8)));
  ExpectSameValues(Session.D.Results, ReferenceRuns());
  FreeLibrary(Module);
  CoUninitialize();
}

namespace {

// One host thread: a single-threaded apartment with its own window, host, ComModule and
// floating-point state, running a whole wizard session.
struct THostThread {
  THostThread(HMODULE M, const TFpuControl& S) : Module(M), State(S) {}
  HMODULE Module;
  TFpuControl State;
  TSession Session;
  HANDLE Handle = nullptr;

  static DWORD WINAPI Main(void* Self) {
    THostThread& T = *static_cast<THostThread*>(Self);
    if (FAILED(CoInitialize(nullptr))) return 1;
    T.Session.Run(T.Module, T.State);
    CoUninitialize();
    return 0;
  }
  void Start() { Handle = CreateThread(nullptr, 0, Main, this, 0, nullptr); }
  void Join() {
    ASSERT_NE(Handle, nullptr);
    WaitForSingleObject(Handle, INFINITE);
    CloseHandle(Handle);
  }
};

}  // namespace

// Two host threads, one under Delphi's unmasked state and one under the default, each showing
// its own wizard and running every function through its controls: first in turn, then at the
// same time (a race, so several times). Each session finishes with the values of the reference,
// its own host calls and returns under its own thread's state, and only the messages the
// reference shows.
TEST(HostProcess, TwoHostThreadsEachRunTheirOwnWizardUnderTheirOwnState) {
  const std::vector<TResult> Reference = ReferenceRuns();
  HMODULE Module = LoadModule();
  ASSERT_NE(Module, nullptr);
  for (int Round = 0; Round < 4; ++Round) {
    SCOPED_TRACE(Round == 0 ? "in turn" : "at the same time, round " + std::to_string(Round));
    THostThread A{Module, DelphiHost}, B{Module, IeeeDouble};
    A.Start();
    if (Round == 0) A.Join();
    B.Start();
    if (Round != 0) A.Join();
    B.Join();
    for (THostThread* T : {&A, &B}) {
      SCOPED_TRACE(T == &A ? "thread under Delphi's state" : "thread under the default state");
      T->Session.ExpectHostStateKept();
      ExpectSameValues(T->Session.D.Results, Reference);
      // No message box but those of the runs that the reference fails too.
      size_t RunMessages = 0;
      for (const TResult& R : T->Session.D.Results) RunMessages += R.Message.empty() ? 0 : 1;
      EXPECT_EQ(T->Session.D.Boxes.size(), RunMessages)
          << (T->Session.D.Boxes.empty() ? std::string() : Quorin::ToAnsi(T->Session.D.Boxes[0]));
    }
  }
  FreeLibrary(Module);
}

namespace {

// The process's kernel handles: the values that GetHandleInformation accepts (wine answers 0
// for GetProcessHandleCount).
std::vector<uintptr_t> KernelHandles() {
  std::vector<uintptr_t> Handles;
  for (uintptr_t H = 4; H < 0x10000; H += 4) {
    DWORD Flags;
    if (GetHandleInformation(reinterpret_cast<HANDLE>(H), &Flags)) Handles.push_back(H);
  }
  return Handles;
}

// The lowest TLS index that the process has free.
DWORD LowestFreeTlsIndex() {
  const DWORD Index = TlsAlloc();
  if (Index != TLS_OUT_OF_INDEXES) TlsFree(Index);
  return Index;
}

// The process's committed private memory (its heaps and the rest), in bytes.
size_t PrivateBytes() {
  size_t Total = 0;
  MEMORY_BASIC_INFORMATION Info;
  for (const char* At = nullptr; VirtualQuery(At, &Info, sizeof Info) == sizeof Info;
       At = static_cast<const char*>(Info.BaseAddress) + Info.RegionSize) {
    if (Info.State == MEM_COMMIT && Info.Type == MEM_PRIVATE) Total += Info.RegionSize;
    if (static_cast<const char*>(Info.BaseAddress) + Info.RegionSize < At) break;
  }
  return Total;
}

// What a host that unloads idle servers does once: loads the DLL, makes a ComModule through
// its factory, has it raise an error (ShowMainDialog without Init), releases everything, asks
// DllCanUnloadNow and frees the library.
void LoadUseAndUnload() {
  HMODULE Module = LoadModule();
  ASSERT_NE(Module, nullptr);
  const TGetClassObject GetClassObject = ClassObjectEntry(Module);
  using TCanUnloadNow = HRESULT(STDAPICALLTYPE*)();
  const auto CanUnloadNow = reinterpret_cast<TCanUnloadNow>(
      reinterpret_cast<void*>(GetProcAddress(Module, "DllCanUnloadNow")));
  ASSERT_TRUE(GetClassObject && CanUnloadNow);
  {
    TComPtr<IClassFactory> Factory;
    TComPtr<IComModule> Object;
    ASSERT_HRESULT_SUCCEEDED(GetClassObject(CLSID_ComModule, IID_IClassFactory, Factory.PutVoid()));
    ASSERT_HRESULT_SUCCEEDED(Factory->CreateInstance(nullptr, IID_IComModule, Object.PutVoid()));
    ASSERT_EQ(Object->ShowMainDialog(), E_UNEXPECTED);
    EXPECT_EQ(CanUnloadNow(), S_FALSE);
  }
  ASSERT_EQ(CanUnloadNow(), S_OK);
  ASSERT_TRUE(FreeLibrary(Module));
}

// Another host thread that used the module (an object, a failed call) and goes on living while
// the host unloads the module, then ends.
struct TOtherUser {
  HMODULE Module;
  HANDLE Used = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE Unloaded = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HRESULT Failed = S_OK;

  static DWORD WINAPI Main(void* Self) {
    TOtherUser& U = *static_cast<TOtherUser*>(Self);
    if (SUCCEEDED(CoInitialize(nullptr))) {
      const TGetClassObject GetClassObject = ClassObjectEntry(U.Module);
      TComPtr<IClassFactory> Factory;
      TComPtr<IComModule> Object;
      if (GetClassObject &&
          SUCCEEDED(GetClassObject(CLSID_ComModule, IID_IClassFactory, Factory.PutVoid())) &&
          SUCCEEDED(Factory->CreateInstance(nullptr, IID_IComModule, Object.PutVoid())))
        U.Failed = Object->ShowMainDialog();  // no application: an error, raised on this thread
      Object = nullptr;
      Factory = nullptr;
      CoUninitialize();
    }
    SetEvent(U.Used);
    WaitForSingleObject(U.Unloaded, INFINITE);
    return 0;
  }
};

}  // namespace

// A long-lived host that unloads idle servers (CoFreeUnusedLibraries) and loads them again, on
// its own thread and while another of its threads used the module: after 2,000 rounds the
// process has the TLS indexes, the kernel handles and about the memory it had after the first.
TEST(HostProcess, TwoThousandLoadsAndUnloadsLeaveNothingInTheProcess) {
  ASSERT_HRESULT_SUCCEEDED(CoInitialize(nullptr));
  // The first rounds bring in what stays whatever the module does (system DLLs, the module's
  // own set-up of the process).
  for (int I = 0; I < 2; ++I) LoadUseAndUnload();
  const DWORD TlsBefore = LowestFreeTlsIndex();
  const std::vector<uintptr_t> Before = KernelHandles();
  const size_t MemoryBefore = PrivateBytes();
  for (int I = 0; I < 2000 && !HasFatalFailure(); ++I) LoadUseAndUnload();
  // The tolerance, a megabyte, is 500 bytes a round: less than anything the module sets up per
  // load (a type library, the runtimes' records) would leave 2,000 times.
  const size_t MemoryAfter = PrivateBytes();
  std::printf("private memory: %lu KB before the rounds, %lu KB after\n",
              static_cast<unsigned long>(MemoryBefore / 1024), static_cast<unsigned long>(MemoryAfter / 1024));
  EXPECT_LT(MemoryAfter, MemoryBefore + 1024 * 1024);
  for (int I = 0; I < 5; ++I) {
    TOtherUser User{LoadModule()};
    ASSERT_NE(User.Module, nullptr);
    HANDLE Thread = CreateThread(nullptr, 0, TOtherUser::Main, &User, 0, nullptr);
    ASSERT_NE(Thread, nullptr);
    WaitForSingleObject(User.Used, INFINITE);
    EXPECT_EQ(User.Failed, E_UNEXPECTED);
    EXPECT_TRUE(FreeLibrary(User.Module));
    SetEvent(User.Unloaded);
    WaitForSingleObject(Thread, INFINITE);
    for (HANDLE H : {Thread, User.Used, User.Unloaded}) CloseHandle(H);
  }
  EXPECT_EQ(LowestFreeTlsIndex(), TlsBefore);
  const std::vector<uintptr_t> After = KernelHandles();
  std::string New;
  for (uintptr_t H : After)
    if (std::find(Before.begin(), Before.end(), H) == Before.end()) New += " " + std::to_string(H);
  EXPECT_EQ(After.size(), Before.size()) << "new handles:" << New;
  CoUninitialize();
}

namespace {

// The module's class as linked into this program, so that the module's own objects can be
// counted (TRefObject::LiveObjects): what a host gets from DllGetClassObject.
HRESULT STDAPICALLTYPE ClassObjectHere(REFCLSID Clsid, REFIID Iid, void** Out) {
  *Out = nullptr;
  if (!IsEqualCLSID(Clsid, CLSID_ComModule)) return CLASS_E_CLASSNOTAVAILABLE;
  return Quorin::ComModuleFactory().QueryInterface(Iid, Out);
}

}  // namespace

// The host destroys its main window, which owns the wizard, while the wizard shows its first
// page, and again while the source dialog is open over it (a session that ends, a frame made
// anew). Each time ShowMainDialog returns S_OK as after "Отмена", having let go of everything;
// then a wizard over a live window runs every function with the right values.
TEST(HostProcess, AWizardWhoseOwnerTheHostDestroysEndsAsIfClosed) {
  const std::vector<TResult> Reference = ReferenceRuns();
  ASSERT_HRESULT_SUCCEEDED(CoInitialize(nullptr));
  const LONG ObjectsBefore = Quorin::TRefObject::LiveObjects();
  for (const bool InDialog : {false, true}) {
    SCOPED_TRACE(InDialog ? "the source dialog open" : "on the first page");
    TSession S;
    if (InDialog) {
      BuildSteps(S.D);
      S.D.Steps.resize(2);  // the target field chosen, "Добавить" clicked
    }
    S.D.Steps.push_back([&S, InDialog] {
      HWND W = FindFormWindow(InDialog ? SourceCaption : WizardCaption);
      if (!W || !IsWindowVisible(W)) return false;
      S.Host.CloseMainWindow();
      return true;
    });
    S.Run(ClassObjectHere, IeeeDouble);
    EXPECT_EQ(S.Shown, S_OK);
    EXPECT_FALSE(S.D.TimedOut) << "stopped at step " << S.D.Next;
    EXPECT_EQ(S.D.Next, S.D.Steps.size());
    EXPECT_TRUE(S.D.Boxes.empty()) << Quorin::ToAnsi(S.D.Boxes.empty() ? L"" : S.D.Boxes[0]);
    EXPECT_EQ(FindFormWindow(WizardCaption), nullptr);
    EXPECT_EQ(S.Host.LiveObjects(), 0);
    EXPECT_EQ(Quorin::TRefObject::LiveObjects(), ObjectsBefore) << "the scheme and its sources";
  }
  TSession Full;
  Full.Run(ClassObjectHere, IeeeDouble);
  Full.ExpectHostStateKept();
  ExpectSameValues(Full.D.Results, Reference);
  EXPECT_EQ(Quorin::TRefObject::LiveObjects(), ObjectsBefore);
  CoUninitialize();
}

namespace {

// The host's main window on another of its threads, which takes no message from the moment
// the window is made until it is told to (or half a minute has passed: a module that waits for
// this thread then goes on, too late), and then until it is told to end.
struct TBusyOwnerThread {
  HANDLE Ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE Free = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HWND Window = nullptr;
  volatile LONG Busy = 1;
  DWORD Id = 0;
  HANDLE Thread = CreateThread(nullptr, 0, Main, this, 0, &Id);

  static DWORD WINAPI Main(void* Self) {
    TBusyOwnerThread& T = *static_cast<TBusyOwnerThread*>(Self);
    T.Window = CreateWindowExW(0, L"STATIC", L"Orvex", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                               800, 600, nullptr, nullptr, nullptr, nullptr);
    SetEvent(T.Ready);
    WaitForSingleObject(T.Free, 30000);
    InterlockedExchange(&T.Busy, 0);
    MSG Msg;
    while (GetMessageW(&Msg, nullptr, 0, 0) > 0) DispatchMessageW(&Msg);
    DestroyWindow(T.Window);
    return 0;
  }
  ~TBusyOwnerThread() {
    SetEvent(Free);
    PostThreadMessageW(Id, WM_QUIT, 0, 0);
    WaitForSingleObject(Thread, INFINITE);
    for (HANDLE H : {Thread, Ready, Free}) CloseHandle(H);
  }
};

}  // namespace

// GetHandle gives a window of another host thread, and that thread is busy while the host
// calls ShowMainDialog: the wizard opens and answers at once (its first page's tree expanded,
// a node chosen, "Отмена" clicked) while that thread still waits, and the module sends nothing
// to that thread's window (it stays enabled).
TEST(HostProcess, TheWizardAnswersWhileItsOwnersThreadIsBusy) {
  ASSERT_HRESULT_SUCCEEDED(CoInitialize(nullptr));
  HMODULE Module = LoadModule();
  ASSERT_NE(Module, nullptr);
  TBusyOwnerThread Owner;
  WaitForSingleObject(Owner.Ready, INFINITE);
  TSession S;
  S.Owner = Owner.Window;
  bool AnsweredWhileBusy = false, OwnerEnabled = false;
  S.D.Steps.push_back([&] {
    HWND W = FindFormWindow(WizardCaption);
    if (!W || !IsWindowVisible(W)) return false;
    AnsweredWhileBusy = SelectPath(FindControl(W, IDC_WZ_FIELDTREEVIEW),
                                   {L"Город", L"Кварталы", L"Кварталы.сем", L"Итог"}) &&
                        InterlockedCompareExchange(&Owner.Busy, 0, 0) != 0;
    OwnerEnabled = IsWindowEnabled(Owner.Window) != FALSE;
    SetEvent(Owner.Free);
    ClickButton(W, IDCANCEL);
    return true;
  });
  S.Run(Module, IeeeDouble);
  EXPECT_EQ(S.Shown, S_OK);
  EXPECT_EQ(S.D.Next, S.D.Steps.size());
  EXPECT_TRUE(AnsweredWhileBusy);
  EXPECT_TRUE(OwnerEnabled);
  EXPECT_EQ(S.Host.LiveObjects(), 0);
  FreeLibrary(Module);
  CoUninitialize();
}

// The host's process ends (ExitProcess) while another of its threads has the wizard open: the
// process is gone within five seconds. The test runs itself as that host, in a child process.
TEST(HostProcess, TheProcessEndsWhileAnotherThreadHasTheWizardOpen) {
  wchar_t Event[64] = {};
  if (GetEnvironmentVariableW(L"QUORIN_EXIT_EVENT", Event, 64)) {
    // The child: a second thread shows the wizard; once it is up, this thread ends the process.
    HMODULE Module = LoadModule();
    ASSERT_NE(Module, nullptr);
    HANDLE Shown = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    THostThread Other{Module, IeeeDouble};
    Other.Session.D.Steps.push_back([Shown] {
      HWND W = FindFormWindow(WizardCaption);
      if (W && IsWindowVisible(W)) SetEvent(Shown);
      return false;  // the wizard stays open
    });
    Other.Start();
    ASSERT_EQ(WaitForSingleObject(Shown, 60000), WAIT_OBJECT_0);
    SetEvent(OpenEventW(EVENT_MODIFY_STATE, FALSE, Event));
    ExitProcess(3);
  }
  const std::wstring Name = L"QuorinExit" + std::to_wstring(GetCurrentProcessId());
  HANDLE Inside = CreateEventW(nullptr, TRUE, FALSE, Name.c_str());
  wchar_t Exe[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, Exe, MAX_PATH);
  std::wstring Command = L"\"" + std::wstring(Exe) +
                         L"\" --gtest_filter=HostProcess.TheProcessEndsWhileAnotherThreadHasTheWizardOpen";
  STARTUPINFOW Startup = {};
  Startup.cb = sizeof Startup;
  PROCESS_INFORMATION Child = {};
  SetEnvironmentVariableW(L"QUORIN_EXIT_EVENT", Name.c_str());
  ASSERT_TRUE(CreateProcessW(nullptr, &Command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &Startup, &Child));
  SetEnvironmentVariableW(L"QUORIN_EXIT_EVENT", nullptr);
  const HANDLE Waits[] = {Inside, Child.hProcess};
  EXPECT_EQ(WaitForMultipleObjects(2, Waits, FALSE, 120000), WAIT_OBJECT_0) << "the wizard never opened";
  const DWORD Ended = WaitForSingleObject(Child.hProcess, 5000);
  EXPECT_EQ(Ended, WAIT_OBJECT_0) << "the process has not ended in 5 s";
  if (Ended != WAIT_OBJECT_0) TerminateProcess(Child.hProcess, 1);
  DWORD Code = 0;
  GetExitCodeProcess(Child.hProcess, &Code);
  EXPECT_EQ(Code, 3u);
  for (HANDLE H : {Inside, Child.hProcess, Child.hThread}) CloseHandle(H);
}
