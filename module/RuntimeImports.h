// What the statically linked GCC runtime asks of Windows, answered by the module itself where
// the answer Windows gives would hurt the module:
//
// - GetTickCount64 (winpthreads' clock; Windows XP lacks it): taken from kernel32 when there,
//   otherwise counted from GetTickCount. The module starts no threads and makes no timed waits,
//   so this is never on a path that matters; it only keeps the import out, so that the DLL loads
//   on Windows XP SP3.
// - GetModuleHandleA (the i686 start-up code, DWARF-2 unwinding): the start-up code registers
//   the module's unwind tables with a libgcc_s_*.dll that is already loaded in the process
//   instead of with the unwinder linked into the module, and the module's first throw then
//   finds no unwind data and aborts the host. The module's GetModuleHandleA does not see such a
//   DLL, so the tables always go to the module's own unwinder, whatever GCC runtime the process
//   loads before or after the module or unloads again.
//
// Both are the import slots (__imp_ symbols) that the runtime's objects call through, defined
// here so that the linker takes them instead of kernel32's.
#pragma once

#include <windows.h>

namespace Quorin {

ULONGLONG WINAPI ModuleTickCount64();
HMODULE WINAPI ModuleGetModuleHandleA(LPCSTR Name);

}  // namespace Quorin
