// The floating-point state inside the host's process.
//
// A host may run with floating-point exceptions unmasked (Delphi's x87 control word 0x1332, or
// the same in MXCSR), at another precision (a Direct3D host at 24 bits) or another rounding.
// The module's rule: everything runs under the state the host has, except the module's own
// floating-point work, which runs under the module's state:
// - every exception masked, so that NaN, infinities and overflow give the values of IEEE
//   arithmetic instead of a fault;
// - 53-bit precision and rounding to nearest on the x87, rounding to nearest without
//   flush-to-zero or denormals-are-zero in MXCSR, so that both builds and every host get the
//   doubles of IEEE double arithmetic.
// That work is the variant arithmetic, comparison and conversion (support/Variants.cpp), the
// only unit of the module that computes in floating point: the i686 build compiles every other
// unit with -mgeneral-regs-only, so that a floating-point operation anywhere else does not
// link (it becomes a call of a soft-float routine that the toolchain does not have), and the
// DLL check lists the functions of the built DLL that hold floating-point instructions. Inside
// a TModuleFpuScope nothing runs that is not the module's or oleaut32's arithmetic: no host
// call, no reference counting of a host object, no window message. So host code (its
// interfaces, IUnknown's methods, its windows, hooks and message handlers) always runs under the
// host's own state, whatever it loads into the control words meanwhile, and the state is never
// kept anywhere but on the stack of the thread that runs the scope.
#pragma once

#include <cstdint>

namespace Quorin {

// The module's state for the length of the scope. On the way out the host's state is back
// exactly as it was found: both control words, the host's own exception flags (x87 and MXCSR)
// kept as they were, those that the module's masked arithmetic raised dropped, so that none of
// them fires or shows in the host's code later. An x87 exception that the host left pending
// (a flag whose exception it unmasks) cannot fire inside the scope: the entry masks before it
// loads anything; on the way out it is pending again, as the host left it.
class TModuleFpuScope {
public:
  // Enter false: no change at all (for work that may call an object's code).
  explicit TModuleFpuScope(bool Enter = true) noexcept;
  ~TModuleFpuScope();
  TModuleFpuScope(const TModuleFpuScope&) = delete;
  TModuleFpuScope& operator=(const TModuleFpuScope&) = delete;

  // The control words inside the scope.
  static constexpr uint16_t ModuleX87 = 0x027F;   // all masked, 53-bit precision, nearest
  static constexpr uint32_t ModuleMxcsr = 0x1F80;  // all masked, nearest, no FZ or DAZ

private:
  bool FEntered;
  uint16_t FX87Control, FX87Status;
  uint32_t FMxcsr;
};

}  // namespace Quorin
