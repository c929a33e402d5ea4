// The floating-point control state inside the host's process.
//
// A host may run with floating-point exceptions unmasked (x87 control word 0x1332, or invalid
// operation, division by zero and overflow unmasked in MXCSR); a fault inside the module would
// then unwind through frames that never run their destructors. So module code runs with every
// exception masked, keeping the host's precision and rounding, and the host's own code runs
// under the host's state:
// - TModuleFpuScope at every entry into the module (COM methods, the exports, window and dialog
//   procedures): the state found there is the host's; it is restored exactly on the way out,
//   with the x87 exception flags that the module's masked arithmetic raised cleared first;
// - THostFpuScope around every call out to the host and every message dispatched to a window
//   that may be the host's: the host's state for the call, the module's again afterwards.
// Outside any module scope (code linked into a test directly) both do nothing. The module runs
// on one thread, the host's user-interface thread; the state is kept per process.
#pragma once

#include <cstdint>

namespace Quorin {

struct TFpuState {
  uint16_t X87 = 0;    // x87 control word
  uint32_t Mxcsr = 0;  // SSE control and status; 0 where there is no SSE
  bool operator==(const TFpuState& O) const noexcept { return X87 == O.X87 && Mxcsr == O.Mxcsr; }
  bool operator!=(const TFpuState& O) const noexcept { return !(*this == O); }
};

// The state in force now.
TFpuState CurrentFpuState() noexcept;
// Loads a state; pending x87 exception flags are cleared first, so that none fires under it.
void LoadFpuState(const TFpuState& State) noexcept;
// The state with every exception masked and no exception flag set.
TFpuState MaskedFpuState(const TFpuState& State) noexcept;

class TModuleFpuScope {
public:
  TModuleFpuScope() noexcept;
  ~TModuleFpuScope();
  TModuleFpuScope(const TModuleFpuScope&) = delete;
  TModuleFpuScope& operator=(const TModuleFpuScope&) = delete;

private:
  TFpuState FSaved, FPrevHost, FPrevModule;
};

class THostFpuScope {
public:
  THostFpuScope() noexcept;
  ~THostFpuScope();
  THostFpuScope(const THostFpuScope&) = delete;
  THostFpuScope& operator=(const THostFpuScope&) = delete;

private:
  bool FActive;
};

}  // namespace Quorin
