// The module's part in its own load, in the end of a thread and in the process's end.
//
// - Load: the module keeps itself loaded until the process ends. The C++ and thread runtimes
//   linked into it keep things per load that they never give back (a TLS index of the process
//   among them, of which a process has 1,088 for all its DLLs): a host that unloads idle
//   servers and loads them again would run out of them. Kept loaded, the module is set up once
//   per process, whatever COM's unloading asks; DllCanUnloadNow still answers exactly.
// - A thread that ends: its form runtime state is freed (support/ThreadState.h), here in
//   DllMain, which every Windows calls for a DLL loaded by LoadLibrary. Windows XP calls no TLS
//   callback of such a DLL, so there the runtimes' own thread-end callbacks are called from
//   here too (the thread runtime frees its record of the thread: an event and a thread handle).
// - The process's end: nothing. The other threads were stopped wherever they were, perhaps
//   holding a lock or using what would be freed, and the process's memory goes with it. The
//   module has no static object with a destructor for the same reason.
#include <windows.h>

#include "support/ThreadState.h"

// The module's TLS directory, laid out by the MinGW-w64 start-up code: its callbacks are the
// runtimes' and this one, in section order, up to a null entry.
extern "C" const IMAGE_TLS_DIRECTORY _tls_used;

namespace {

// Whether the loader calls the module's TLS callbacks: they are called before DllMain at the
// load, except by Windows XP's loader for a DLL loaded after the process started.
volatile bool LoaderCallsTlsCallbacks = false;

void NTAPI ModuleTlsCallback(PVOID, DWORD Reason, PVOID) {
  if (Reason == DLL_PROCESS_ATTACH) LoaderCallsTlsCallbacks = true;
}

void EndThreadInTheRuntimes(PVOID Module) {
  auto* Callback = reinterpret_cast<const PIMAGE_TLS_CALLBACK*>(_tls_used.AddressOfCallBacks);
  for (; Callback && *Callback; ++Callback)
    if (*Callback != &ModuleTlsCallback) (*Callback)(Module, DLL_THREAD_DETACH, nullptr);
}

}  // namespace

extern "C" __attribute__((section(".CRT$XLE"), used))
const PIMAGE_TLS_CALLBACK QuorinTlsCallback = ModuleTlsCallback;

extern "C" BOOL WINAPI DllMain(HINSTANCE Module, DWORD Reason, LPVOID) {
  switch (Reason) {
    case DLL_PROCESS_ATTACH: {
      // Pinned: FreeLibrary no longer unloads the module. Without it the module would leave
      // the runtimes' per-load state behind at every unloading, so it is not loaded.
      HMODULE Self = nullptr;
      return GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                reinterpret_cast<LPCWSTR>(&DllMain), &Self);
    }
    case DLL_THREAD_DETACH:
      Quorin::ReleaseThreadState();
      if (!LoaderCallsTlsCallbacks) EndThreadInTheRuntimes(Module);
      return TRUE;
    default:
      return TRUE;
  }
}
