#include "support/ThreadState.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "support/Errors.h"

namespace Quorin {

namespace {

// TLS_OUT_OF_INDEXES until the first use; the module is never unloaded, so the slot is the
// module's until the process ends. Read and written with interlocked operations: two threads'
// first uses may meet.
volatile LONG Slot = static_cast<LONG>(TLS_OUT_OF_INDEXES);

DWORD SlotIndex() noexcept {
  LONG Index = InterlockedCompareExchange(&Slot, 0, 0);
  if (Index != static_cast<LONG>(TLS_OUT_OF_INDEXES)) return static_cast<DWORD>(Index);
  const DWORD Fresh = TlsAlloc();
  if (Fresh == TLS_OUT_OF_INDEXES) return TLS_OUT_OF_INDEXES;
  Index = InterlockedCompareExchange(&Slot, static_cast<LONG>(Fresh),
                                     static_cast<LONG>(TLS_OUT_OF_INDEXES));
  if (Index == static_cast<LONG>(TLS_OUT_OF_INDEXES)) return Fresh;
  TlsFree(Fresh);  // another thread was first
  return static_cast<DWORD>(Index);
}

// Blocks of thread-local variables, aligned as asked: the malloc'd address is kept just before.
void* AllocateLocal(size_t Size, size_t Align, const void* Template) noexcept {
  if (Align < sizeof(void*)) Align = sizeof(void*);
  void* Raw = std::malloc(Size + Align + sizeof(void*));
  if (!Raw) return nullptr;
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
  for (size_t I = 0; I < LocalCount; ++I) FreeLocal(Locals[I]);
  std::free(Locals);
}

TThreadState* FindThreadState() noexcept {
  const DWORD Index = SlotIndex();
  if (Index == TLS_OUT_OF_INDEXES) return nullptr;
  if (auto* State = static_cast<TThreadState*>(TlsGetValue(Index))) return State;
  auto* State = new (std::nothrow) TThreadState;
  if (!State) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (!TlsSetValue(Index, State)) {
    const DWORD Error = GetLastError();
    delete State;
    SetLastError(Error);
    return nullptr;
  }
  return State;
}

TThreadState& ThisThreadState() {
  if (TThreadState* State = FindThreadState()) return *State;
  RaiseLastOSError();
}

void ReleaseThreadState() noexcept {
  const LONG Index = InterlockedCompareExchange(&Slot, 0, 0);
  if (Index == static_cast<LONG>(TLS_OUT_OF_INDEXES)) return;
  auto* State = static_cast<TThreadState*>(TlsGetValue(static_cast<DWORD>(Index)));
  if (!State) return;
  TlsSetValue(static_cast<DWORD>(Index), nullptr);
  delete State;
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
  // Nothing here raises an error: raising one needs the runtime's thread-local data, which
  // would come back here. No thread-local data, no way on, as the compiler's own runtime does.
  Quorin::TThreadState* State = Quorin::FindThreadState();
  if (!State) std::abort();
  if (State->LocalCount < Index) {
    const size_t Count = Index + 16;
    void** Grown = static_cast<void**>(std::realloc(State->Locals, Count * sizeof(void*)));
    if (!Grown) std::abort();
    for (size_t I = State->LocalCount; I < Count; ++I) Grown[I] = nullptr;
    State->Locals = Grown;
    State->LocalCount = Count;
  }
  void*& Block = State->Locals[Index - 1];
  if (!Block) Block = Quorin::AllocateLocal(Object->size, Object->align, Object->templ);
  if (!Block) std::abort();
  return Block;
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
