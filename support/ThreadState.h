// What the form runtime keeps for one thread: the forms, loops and idle handlers of a thread
// are that thread's alone. The class is registered apartment-threaded, so a host may show a
// wizard on each of several user-interface threads at once; each thread's modal loop then
// dispatches its own forms' dialog messages and runs its own idle handlers only.
//
// The storage is the module's own, not the C++ runtime's thread_local (whose per-thread blocks
// and the thread runtime's records behind them outlive an unloaded DLL): one Windows TLS slot,
// allocated on first use, holds the calling thread's TThreadState, made on its first use. A
// thread's state is freed when the thread ends (DLL_THREAD_DETACH) and every state left, with
// the slot, when the module is unloaded (DLL_PROCESS_DETACH); see module/ThreadDetach.cpp.
// A thread's state also knows that thread's record in the statically linked thread runtime.
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
  // with the thread's state; an entry is a block from AllocateLocal, or null.
  std::vector<void*> Locals;
  ~TThreadState();

  // The registry of every thread's state, for the module's unloading: the thread, and the two
  // handles that the statically linked thread runtime keeps for it until it ends.
  DWORD ThreadId = 0;
  HANDLE RuntimeThread = nullptr, RuntimeEvent = nullptr;
  TThreadState* Prev = nullptr;
  TThreadState* Next = nullptr;

  TThreadState() = default;
  TThreadState(const TThreadState&) = delete;
  TThreadState& operator=(const TThreadState&) = delete;
};

// The calling thread's state, made on first use: by the forms, by the C++ runtime's first use of
// its thread-local data (an error raised), and by the module's COM entry points (a call on a
// thread is that thread's use of the module), so that the unloading knows the thread.
TThreadState& ThisThreadState();

// Frees the calling thread's state (the thread ends; the thread runtime frees its own record).
void ReleaseThreadState() noexcept;
// Frees every thread's state and the TLS slot (the module is unloaded: no thread runs its code),
// and closes the thread runtime's handles of every other thread that used the module: that
// runtime frees a record only when its thread ends, and after the unloading it is gone. The
// unloading thread's own record is the runtime's to free (module/ThreadDetach.cpp).
void ReleaseAllThreadStates() noexcept;

}  // namespace Quorin
