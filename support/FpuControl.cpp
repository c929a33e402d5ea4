#include "support/FpuControl.h"

#include <windows.h>

namespace Quorin {

namespace {

// The x87 status word's bits that are the host's to keep: the exception flags, stack fault,
// error summary and busy. The condition codes and the stack top are the registers' own.
constexpr uint32_t X87HostStatus = 0x80FF;

bool HasSse() noexcept {
#if defined(__x86_64__)
  return true;
#else
  static const bool Present = IsProcessorFeaturePresent(PF_XMMI_INSTRUCTIONS_AVAILABLE) != FALSE;
  return Present;
#endif
}

// The x87 environment as FNSTENV stores it (the same 28 bytes in 32- and 64-bit mode):
// control word, status word, tag word, then the last instruction's and operand's addresses.
struct TX87Env {
  uint32_t Control, Status, Tags, Rest[4];
};

}  // namespace

TModuleFpuScope::TModuleFpuScope(bool Enter) noexcept
    : FEntered(Enter), FX87Control(0), FX87Status(0), FMxcsr(0) {
  if (!FEntered) return;
  // FNSTENV does not wait for a pending exception and masks every exception after storing, so
  // nothing the host left behind fires on the loads that follow.
  TX87Env Env;
  __asm__ __volatile__("fnstenv %0" : "=m"(Env) : : "memory");
  FX87Control = static_cast<uint16_t>(Env.Control);
  FX87Status = static_cast<uint16_t>(Env.Status);
  __asm__ __volatile__("fldcw %0" : : "m"(ModuleX87) : "memory");
  if (HasSse()) {
    __asm__ __volatile__("stmxcsr %0" : "=m"(FMxcsr) : : "memory");
    __asm__ __volatile__("ldmxcsr %0" : : "m"(ModuleMxcsr) : "memory");
  }
}

TModuleFpuScope::~TModuleFpuScope() {
  if (!FEntered) return;
  if (HasSse()) __asm__ __volatile__("ldmxcsr %0" : : "m"(FMxcsr) : "memory");
  uint16_t Status;
  __asm__ __volatile__("fnstsw %0" : "=m"(Status) : : "memory");
  if (((Status ^ FX87Status) & X87HostStatus) == 0) {
    // No flag of the module's own: the host's control word is all there is to give back.
    __asm__ __volatile__("fldcw %0" : : "m"(FX87Control) : "memory");
    return;
  }
  // The module's arithmetic raised flags (inexact, invalid, overflow...): the host gets its own
  // back and none of ours, which would otherwise fire at its next x87 instruction wherever it
  // unmasks them.
  TX87Env Env;
  __asm__ __volatile__("fnstenv %0" : "=m"(Env) : : "memory");
  Env.Control = (Env.Control & 0xFFFF0000u) | FX87Control;
  Env.Status = (Env.Status & ~X87HostStatus) | (FX87Status & X87HostStatus);
  __asm__ __volatile__("fldenv %0" : : "m"(Env) : "memory");
}

}  // namespace Quorin
