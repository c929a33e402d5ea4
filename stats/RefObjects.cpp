#include "stats/RefObjects.h"

#include <algorithm>

#include "support/Errors.h"
#include "support/Strings.h"

namespace Quorin {

// ---- TRefObject --------------------------------------------------------------------------

namespace {
volatile LONG LiveRefObjects = 0;
}  // namespace

TRefObject::TRefObject() noexcept { InterlockedIncrement(&LiveRefObjects); }

TRefObject::~TRefObject() { InterlockedDecrement(&LiveRefObjects); }

LONG TRefObject::LiveObjects() noexcept { return InterlockedCompareExchange(&LiveRefObjects, 0, 0); }

int32_t TRefObject::AddRef() noexcept { return InterlockedIncrement(&FRefCount); }

int32_t TRefObject::Release() noexcept {
  const int32_t Count = InterlockedDecrement(&FRefCount);
  if (Count == 0) delete this;
  return Count;
}

void TRefObject::Free() {
  if (FRefCount != 0) throw EInvalidPointer("Invalid pointer operation");
  delete this;
}

void TRefObject::Destroy(TRefObject* Obj) {
  if (Obj) Obj->Free();
}

// ---- TList -------------------------------------------------------------------------------

TList::~TList() { Clear(); }

void TList::IndexError(int Index) {
  throw EListError(Format("List index out of bounds (%d)", Index));
}

int TList::Add(void* Item) {
  const int Index = Count();
  FItems.push_back(Item);
  if (Item) Notify(Item, lnAdded);
  return Index;
}

void TList::Insert(int Index, void* Item) {
  if (Index < 0 || Index > Count()) IndexError(Index);
  FItems.insert(FItems.begin() + Index, Item);
  if (Item) Notify(Item, lnAdded);
}

void TList::Delete(int Index) {
  if (Index < 0 || Index >= Count()) IndexError(Index);
  void* Item = FItems[static_cast<size_t>(Index)];
  FItems.erase(FItems.begin() + Index);
  if (Item) Notify(Item, lnDeleted);
}

int TList::Remove(void* Item) {
  const int Index = IndexOf(Item);
  if (Index >= 0) Delete(Index);
  return Index;
}

void* TList::Extract(void* Item) {
  const int Index = IndexOf(Item);
  if (Index < 0) return nullptr;
  // The slot is emptied first, so that taking it out deletes nothing.
  FItems[static_cast<size_t>(Index)] = nullptr;
  Delete(Index);
  if (Item) Notify(Item, lnExtracted);
  return Item;
}

int TList::IndexOf(void* Item) const noexcept {
  auto It = std::find(FItems.begin(), FItems.end(), Item);
  return It == FItems.end() ? -1 : static_cast<int>(It - FItems.begin());
}

void TList::Clear() {
  SetCount(0);
  FItems.shrink_to_fit();
}

void TList::SetCount(int NewCount) {
  if (NewCount < 0) throw EListError(Format("Недопустимое число элементов списка (%d)", NewCount));
  if (NewCount > Count()) {
    FItems.resize(static_cast<size_t>(NewCount), nullptr);
    return;
  }
  for (int I = Count() - 1; I >= NewCount; --I) Delete(I);
}

void* TList::Get(int Index) const {
  if (Index < 0 || Index >= Count()) IndexError(Index);
  return FItems[static_cast<size_t>(Index)];
}

void TList::Put(int Index, void* Item) {
  if (Index < 0 || Index >= Count()) IndexError(Index);
  void* Old = FItems[static_cast<size_t>(Index)];
  FItems[static_cast<size_t>(Index)] = Item;
  // The new entry's notification first: putting an object into its own slot must not let the
  // old entry's release destroy it before the new entry has taken its reference.
  if (Item) Notify(Item, lnAdded);
  if (Old) Notify(Old, lnDeleted);
}

void TList::Notify(void*, TListNotification) {}

// ---- TRefObjectList ----------------------------------------------------------------------

TRefObjectList::~TRefObjectList() { Clear(); }

void TRefObjectList::Notify(void* Item, TListNotification Action) {
  TRefObject* Obj = static_cast<TRefObject*>(Item);
  switch (Action) {
    case lnAdded: AddRefItem(Obj); break;
    case lnDeleted: ReleaseItem(Obj); break;
    case lnExtracted: break;  // the list's reference goes to the caller
  }
}

void TRefObjectList::AddRefItem(TRefObject* Item) { RefAddRef(Item); }

void TRefObjectList::ReleaseItem(TRefObject* Item) { RefRelease(Item); }

}  // namespace Quorin
