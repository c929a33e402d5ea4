#include "module/RuntimeImports.h"

#include <cstring>

namespace Quorin {

namespace {

// Filled on first use without a lock (the runtime may call before anything else is set up);
// two threads racing would store the same value.
void* KernelProc(void*& Cache, const char* Name) {
  if (!Cache)
    Cache = reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), Name));
  return Cache;
}

void* TickCount64Proc = nullptr;
void* GetModuleHandleAProc = nullptr;
DWORD LastTicks;
ULONGLONG TickWraps;

}  // namespace

ULONGLONG WINAPI ModuleTickCount64() {
  using TProc = ULONGLONG(WINAPI*)();
  if (auto Proc = reinterpret_cast<TProc>(KernelProc(TickCount64Proc, "GetTickCount64")))
    return Proc();
  const DWORD Now = GetTickCount();
  if (Now < LastTicks) TickWraps += 0x100000000ull;
  LastTicks = Now;
  return TickWraps + Now;
}

HMODULE WINAPI ModuleGetModuleHandleA(LPCSTR Name) {
  if (Name && _strnicmp(Name, "libgcc_s_", 9) == 0) return nullptr;
  using TProc = HMODULE(WINAPI*)(LPCSTR);
  auto Proc = reinterpret_cast<TProc>(KernelProc(GetModuleHandleAProc, "GetModuleHandleA"));
  return Proc ? Proc(Name) : nullptr;
}

}  // namespace Quorin

#if defined(__i386__)
#define QUORIN_IMPORT_SLOT(Name, ArgBytes) "__imp__" #Name "@" #ArgBytes
#else
#define QUORIN_IMPORT_SLOT(Name, ArgBytes) "__imp_" #Name
#endif

extern "C" {
using TTickCount64Slot = ULONGLONG(WINAPI*)();
using TGetModuleHandleASlot = HMODULE(WINAPI*)(LPCSTR);
extern TTickCount64Slot const QuorinTickCount64Slot __asm__(QUORIN_IMPORT_SLOT(GetTickCount64, 0));
__attribute__((used)) TTickCount64Slot const QuorinTickCount64Slot = &Quorin::ModuleTickCount64;
extern TGetModuleHandleASlot const QuorinGetModuleHandleASlot
    __asm__(QUORIN_IMPORT_SLOT(GetModuleHandleA, 4));
__attribute__((used)) TGetModuleHandleASlot const QuorinGetModuleHandleASlot =
    &Quorin::ModuleGetModuleHandleA;
}
