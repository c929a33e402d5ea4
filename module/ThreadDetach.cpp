// The module's part in the end of a thread and in its own unloading, as a TLS callback of the
// DLL: it runs before the callbacks of the runtimes linked in (the thread runtime's is in
// .CRT$XLF), on every thread's end and on the unloading.
//
// - A thread that ends: its form runtime state is freed (support/ThreadState.h).
// - The module unloaded (FreeLibrary; not the process's exit, where other threads stopped
//   anywhere and nothing needs freeing): every thread's state and the TLS slot are freed, and
//   the unloading thread is detached from the runtimes linked into the module, as if it ended:
//   the statically linked thread runtime keeps, for every thread that used it (a function-local
//   static's first initialisation, an exception's thread-local data), a record with an event and
//   a duplicated thread handle, and frees it only when the thread ends. The thread that unloads
//   the module goes on without it, and the handles would stay in the host's process with each
//   load. Those of the other threads that used the module are closed with their states.
#include <windows.h>

#include "support/ThreadState.h"

// The module's TLS directory, laid out by the MinGW-w64 start-up code: its callbacks are the
// runtimes' and this one, in section order, up to a null entry.
extern "C" const IMAGE_TLS_DIRECTORY _tls_used;

namespace {

void NTAPI ModuleTlsCallback(PVOID Module, DWORD Reason, PVOID Reserved);

void DetachThisThreadFromTheRuntimes(PVOID Module) {
  auto* Callback = reinterpret_cast<const PIMAGE_TLS_CALLBACK*>(_tls_used.AddressOfCallBacks);
  for (; Callback && *Callback; ++Callback)
    if (*Callback != &ModuleTlsCallback) (*Callback)(Module, DLL_THREAD_DETACH, nullptr);
}

void NTAPI ModuleTlsCallback(PVOID Module, DWORD Reason, PVOID Reserved) {
  switch (Reason) {
    case DLL_THREAD_DETACH:
      Quorin::ReleaseThreadState();
      break;
    case DLL_PROCESS_DETACH:
      if (Reserved) break;  // the process ends
      Quorin::ReleaseAllThreadStates();
      DetachThisThreadFromTheRuntimes(Module);
      break;
    default:
      break;
  }
}

}  // namespace

extern "C" __attribute__((section(".CRT$XLE"), used))
const PIMAGE_TLS_CALLBACK QuorinTlsCallback = ModuleTlsCallback;
