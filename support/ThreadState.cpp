#include "support/ThreadState.h"

#include <pthread.h>

#include <cstdlib>
#include <cstring>

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

// Blocks of thread-local variables, aligned as asked: the malloc'd address is kept just before.
void* AllocateLocal(size_t Size, size_t Align, const void* Template) {
  if (Align < sizeof(void*)) Align = sizeof(void*);
  void* Raw = std::malloc(Size + Align + sizeof(void*));
  if (!Raw) std::abort();  // as the compiler's own runtime does: no thread-local data, no way on
  const uintptr_t At =
      (reinterpret_cast<uintptr_t>(Raw) + sizeof(void*) + Align - 1) & ~(Align - 1);
  void* Block = reinterpret_cast<void*>(At);
  static_cast<void**>(Block)[-1] = Raw;
  if (Template) std::memcpy(Block, Template, Size);
  else std::memset(Block, 0, Size);
  return Block;
}

void FreeLocal(void* Block) noexcept {
  if (Block) std::free(static_cast<void**>(Block)[-1]);
}

// The emulated TLS variables' indexes (1, 2, ...), handed out on their first use.
TSpinLock LocalsLock;
uintptr_t LocalsCount = 0;

}  // namespace

TThreadState::~TThreadState() {
  for (void* Block : Locals) FreeLocal(Block);
}

TThreadState& ThisThreadState() {
  const DWORD Index = SlotIndex();
  if (auto* State = static_cast<TThreadState*>(TlsGetValue(Index))) return *State;
  auto* State = new TThreadState;
  if (!TlsSetValue(Index, State)) {
    delete State;
    RaiseLastOSError();
  }
  // The thread runtime's record of this thread, made now if the thread has none yet: the same
  // record serves every later use of the runtime on this thread.
  State->ThreadId = GetCurrentThreadId();
  State->RuntimeThread = pthread_gethandle(pthread_self());
  State->RuntimeEvent = pthread_getevent();
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
  const DWORD Self = GetCurrentThreadId();
  while (All) {
    TThreadState* Next = All->Next;
    if (All->ThreadId != Self) {
      if (All->RuntimeThread) CloseHandle(All->RuntimeThread);
      if (All->RuntimeEvent) CloseHandle(All->RuntimeEvent);
    }
    delete All;
    All = Next;
  }
  const LONG Index = InterlockedExchange(&Slot, static_cast<LONG>(TLS_OUT_OF_INDEXES));
  if (Index != static_cast<LONG>(TLS_OUT_OF_INDEXES)) TlsFree(static_cast<DWORD>(Index));
}

}  // namespace Quorin

// The compiler's emulated TLS (every thread_local and __thread of the C++ runtime linked in, such
// as its exception data), served from the thread's state instead of the runtime's emutls, which
// keeps its blocks behind the thread runtime's keys: those outlive the unloaded module (with two
// semaphores of the keys' lock per load in which an exception was raised). The same interface:
// a variable's control block, its index given on first use, a block per thread made from the
// template (or zeroed).
extern "C" {

struct __emutls_object {
  uintptr_t size;
  uintptr_t align;
  union {
    uintptr_t offset;
    void* ptr;
  } loc;
  void* templ;
};

void* __emutls_get_address(__emutls_object* Object);
void __emutls_register_common(__emutls_object* Object, uintptr_t Size, uintptr_t Align,
                              void* Template);

void* __emutls_get_address(__emutls_object* Object) {
  uintptr_t Index = __atomic_load_n(&Object->loc.offset, __ATOMIC_ACQUIRE);
  if (Index == 0) {
    Quorin::TSpinLock::TGuard Guard(Quorin::LocalsLock);
    Index = Object->loc.offset;
    if (Index == 0) {
      Index = ++Quorin::LocalsCount;
      __atomic_store_n(&Object->loc.offset, Index, __ATOMIC_RELEASE);
    }
  }
  try {
    std::vector<void*>& Locals = Quorin::ThisThreadState().Locals;
    if (Locals.size() < Index) Locals.resize(Index + 16, nullptr);
    void*& Block = Locals[Index - 1];
    if (!Block) Block = Quorin::AllocateLocal(Object->size, Object->align, Object->templ);
    return Block;
  } catch (...) {
    std::abort();
  }
}

void __emutls_register_common(__emutls_object* Object, uintptr_t Size, uintptr_t Align,
                              void* Template) {
  if (Object->size < Size) {
    Object->size = Size;
    Object->templ = nullptr;
  }
  if (Object->align < Align) Object->align = Align;
  if (Template && Size == Object->size) Object->templ = Template;
}

}  // extern "C"
