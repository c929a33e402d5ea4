// What the form runtime keeps for one thread: the forms, loops and idle handlers of a thread
// are that thread's alone. The class is registered apartment-threaded, so a host may show a
// wizard on each of several user-interface threads at once; each thread's modal loop then
// dispatches its own forms' dialog messages and runs its own idle handlers only.
//
// The storage is the module's own, not the C++ runtime's thread_local (whose per-thread blocks
// and the thread runtime's records behind them outlive an unloaded DLL): one Windows TLS slot,
// allocated on first use, holds the calling thread's TThreadState, made on its first use. A
// thread's state is freed when the thread ends (DLL_THREAD_DETACH, module/DllMain.cpp); the
// module is never unloaded, and at the process's end nothing is freed.
#pragma once

#include <windows.h>

#include <functional>
#include <vector>

namespace Quorin {

class TExForm;

// A lock for the few moments that threads share state (a first use, a registry): no kernel
// object to make or leave behind, and Windows XP has no slim reader/writer lock.
class TSpinLock {
public:
  class TGuard {
  public:
    explicit TGuard(TSpinLock& Lock) noexcept : FLock(Lock) {
      while (InterlockedCompareExchange(&FLock.FTaken, 1, 0) != 0) Sleep(0);
    }
    ~TGuard() { InterlockedExchange(&FLock.FTaken, 0); }
    TGuard(const TGuard&) = delete;
    TGuard& operator=(const TGuard&) = delete;

  private:
    TSpinLock& FLock;
  };

private:
  volatile LONG FTaken = 0;
};

using TIdleHandler = std::function<void()>;
using TIdleHandle = unsigned;

struct TIdleEntry {
  TIdleHandle Handle;
  TIdleHandler Handler;
};

struct TThreadState {
  // support/MessageLoop: the open forms' windows, oldest first; the idle event's handlers; a
  // WM_QUIT seen and handed back.
  std::vector<HWND> DialogWindows;
  std::vector<TIdleEntry> IdleHandlers;
  TIdleHandle NextIdleHandle = 1;
  bool QuitSeen = false;
  // support/Forms: the resolution the forms are made for, 0 for the screen's.
  int FormDpi = 0;
  // support/FormUtils: the help cursor, switched on over one of this thread's forms.
  bool HelpCursorOn = false;
  const TExForm* HelpCursorOwner = nullptr;

  // The thread's C++ thread-local variables (the runtime's exception data among them): the
  // module serves the compiler's emulated TLS itself (ThreadState.cpp), so that they are freed
  // with the thread's state. Locals[i] is the block of the variable with index i + 1, or null;
  // the array is the C runtime's (malloc), never grown by anything that could raise an error:
  // raising one needs these blocks.
  void** Locals = nullptr;
  size_t LocalCount = 0;
  ~TThreadState();

  TThreadState() = default;
  TThreadState(const TThreadState&) = delete;
  TThreadState& operator=(const TThreadState&) = delete;
};

// The calling thread's state, made on first use (by the forms, or by the C++ runtime's first use
// of its thread-local data); raises an error when it cannot be made.
TThreadState& ThisThreadState();
// The same without raising: null when it cannot be made (no TLS slot or no memory), with the
// system's error code set.
TThreadState* FindThreadState() noexcept;

// Frees the calling thread's state (the thread ends).
void ReleaseThreadState() noexcept;

}  // namespace Quorin
