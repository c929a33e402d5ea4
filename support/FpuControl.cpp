#include "support/FpuControl.h"

#include <windows.h>

namespace Quorin {

namespace {

constexpr uint16_t X87Masks = 0x003F;   // invalid, denormal, zero divide, overflow, underflow, precision
constexpr uint32_t SseMasks = 0x1F80;
constexpr uint32_t SseFlags = 0x003F;

bool HasSse() noexcept {
#if defined(__x86_64__)
  return true;
#else
  static const bool Present = IsProcessorFeaturePresent(PF_XMMI_INSTRUCTIONS_AVAILABLE) != FALSE;
  return Present;
#endif
}

int Depth = 0;
TFpuState HostState, ModuleState;

// Back to the module's state from the host's: every exception masked, so the flags the host's
// code left cannot fire and need no clearing (fnclex costs more than the rest together).
void LoadModuleState() noexcept {
  __asm__ __volatile__("fldcw %0" : : "m"(ModuleState.X87));
  if (HasSse()) __asm__ __volatile__("ldmxcsr %0" : : "m"(ModuleState.Mxcsr));
}

}  // namespace

TFpuState CurrentFpuState() noexcept {
  TFpuState S;
  __asm__ __volatile__("fnstcw %0" : "=m"(S.X87));
  if (HasSse()) __asm__ __volatile__("stmxcsr %0" : "=m"(S.Mxcsr));
  return S;
}

void LoadFpuState(const TFpuState& State) noexcept {
  __asm__ __volatile__("fnclex\n\tfldcw %0" : : "m"(State.X87));
  if (HasSse()) __asm__ __volatile__("ldmxcsr %0" : : "m"(State.Mxcsr));
}

TFpuState MaskedFpuState(const TFpuState& State) noexcept {
  TFpuState S = State;
  S.X87 |= X87Masks;
  if (HasSse()) S.Mxcsr = (S.Mxcsr | SseMasks) & ~SseFlags;
  return S;
}

TModuleFpuScope::TModuleFpuScope() noexcept
    : FSaved(CurrentFpuState()), FPrevHost(HostState), FPrevModule(ModuleState) {
  // Entered from the host, or from host code that the module called or dispatched a message
  // to: what is in force is the host's. Entered from the module itself: nothing changes.
  if (Depth == 0 || FSaved != ModuleState) {
    HostState = FSaved;
    ModuleState = MaskedFpuState(FSaved);
  }
  ++Depth;
  if (FSaved != ModuleState) LoadFpuState(ModuleState);
}

TModuleFpuScope::~TModuleFpuScope() {
  --Depth;
  LoadFpuState(FSaved);
  HostState = FPrevHost;
  ModuleState = FPrevModule;
}

THostFpuScope::THostFpuScope() noexcept : FActive(Depth > 0 && HostState != ModuleState) {
  if (FActive) LoadFpuState(HostState);
}

THostFpuScope::~THostFpuScope() {
  if (FActive) LoadModuleState();
}

}  // namespace Quorin
