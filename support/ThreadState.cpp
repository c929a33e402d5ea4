#include "support/ThreadState.h"

#include "support/Errors.h"

namespace Quorin {

namespace {

// TLS_OUT_OF_INDEXES until the first use. Read and written with interlocked operations: two
// threads' first uses may meet.
volatile LONG Slot = static_cast<LONG>(TLS_OUT_OF_INDEXES);

// The registry of every thread's state (taken only when a thread's state is made or freed).
TSpinLock RegistryLock;
TThreadState* Registry = nullptr;

DWORD SlotIndex() {
  LONG Index = InterlockedCompareExchange(&Slot, 0, 0);
  if (Index != static_cast<LONG>(TLS_OUT_OF_INDEXES)) return static_cast<DWORD>(Index);
  const DWORD Fresh = TlsAlloc();
  if (Fresh == TLS_OUT_OF_INDEXES) RaiseLastOSError();
  Index = InterlockedCompareExchange(&Slot, static_cast<LONG>(Fresh),
                                     static_cast<LONG>(TLS_OUT_OF_INDEXES));
  if (Index == static_cast<LONG>(TLS_OUT_OF_INDEXES)) return Fresh;
  TlsFree(Fresh);  // another thread was first
  return static_cast<DWORD>(Index);
}

void Unlink(TThreadState* State) noexcept {
  if (State->Prev) State->Prev->Next = State->Next;
  else Registry = State->Next;
  if (State->Next) State->Next->Prev = State->Prev;
}

}  // namespace

TThreadState& ThisThreadState() {
  const DWORD Index = SlotIndex();
  if (auto* State = static_cast<TThreadState*>(TlsGetValue(Index))) return *State;
  auto* State = new TThreadState;
  if (!TlsSetValue(Index, State)) {
    delete State;
    RaiseLastOSError();
  }
  TSpinLock::TGuard Lock(RegistryLock);
  State->Next = Registry;
  if (Registry) Registry->Prev = State;
  Registry = State;
  return *State;
}

void ReleaseThreadState() noexcept {
  const LONG Index = InterlockedCompareExchange(&Slot, 0, 0);
  if (Index == static_cast<LONG>(TLS_OUT_OF_INDEXES)) return;
  auto* State = static_cast<TThreadState*>(TlsGetValue(static_cast<DWORD>(Index)));
  if (!State) return;
  TlsSetValue(static_cast<DWORD>(Index), nullptr);
  {
    TSpinLock::TGuard Lock(RegistryLock);
    Unlink(State);
  }
  delete State;
}

void ReleaseAllThreadStates() noexcept {
  TThreadState* All;
  {
    TSpinLock::TGuard Lock(RegistryLock);
    All = Registry;
    Registry = nullptr;
  }
  while (All) {
    TThreadState* Next = All->Next;
    delete All;
    All = Next;
  }
  const LONG Index = InterlockedExchange(&Slot, static_cast<LONG>(TLS_OUT_OF_INDEXES));
  if (Index != static_cast<LONG>(TLS_OUT_OF_INDEXES)) TlsFree(static_cast<DWORD>(Index));
}

}  // namespace Quorin
