// Intrusive reference counting: TRefObject, the list TList of untyped pointers with its change
// notification, and TRefObjectList, which holds one reference on each object it lists.
#pragma once

#include <windows.h>
#include <cstdint>
#include <string>
#include <vector>

namespace Quorin {

// An object that counts the references held on it. A new object has count 0. Release destroys
// the object when the count comes back to 0; an object with count 0 that nobody references can
// also be destroyed directly with Free, which raises EInvalidPointer when the count is not 0.
// The destructor is protected so that no other way of destroying it exists.
class TRefObject {
public:
  TRefObject() noexcept;
  TRefObject(const TRefObject&) = delete;
  TRefObject& operator=(const TRefObject&) = delete;

  // Both return the new count.
  int32_t AddRef() noexcept;
  int32_t Release() noexcept;
  int32_t RefCount() const noexcept { return FRefCount; }

  // Destroys the object directly; EInvalidPointer "Invalid pointer operation" when references
  // are still held on it (the object then stays as it is).
  void Free();
  // The same for a pointer that may be null (null does nothing).
  static void Destroy(TRefObject* Obj);

  // How many objects of this kind are alive in the module: what a leak leaves behind.
  static LONG LiveObjects() noexcept;

protected:
  virtual ~TRefObject();

private:
  volatile LONG FRefCount = 0;
};

// Stores Obj into Ref and takes one reference on it when it is not null; what Ref held before
// is not released.
template <class T>
inline void RefAssign(T*& Ref, T* Obj) noexcept {
  Ref = Obj;
  if (Obj) Obj->AddRef();
}
// One more reference; Obj is never null.
inline void RefAddRef(TRefObject* Obj) noexcept { Obj->AddRef(); }
// One reference less when Obj is not null.
inline void RefRelease(TRefObject* Obj) noexcept {
  if (Obj) Obj->Release();
}

// Holds one reference for the scope it lives in: the creator's reference of RefAssign, given
// back with RefRelease on every path.
template <class T>
class TRefHolder {
public:
  explicit TRefHolder(T* Obj = nullptr) noexcept { RefAssign(FObj, Obj); }
  TRefHolder(const TRefHolder&) = delete;
  TRefHolder& operator=(const TRefHolder&) = delete;
  ~TRefHolder() { RefRelease(FObj); }
  T* Get() const noexcept { return FObj; }
  T* operator->() const noexcept { return FObj; }
  explicit operator bool() const noexcept { return FObj != nullptr; }

private:
  T* FObj = nullptr;
};

enum TListNotification { lnAdded, lnExtracted, lnDeleted };

// An ordered list of untyped pointers. Notify runs after a non-null item has been added (Add,
// Insert, Put), deleted (Delete, Remove, Clear, lowering Count, replacement by Put) or
// extracted; a null entry never notifies. An index outside the list raises EListError
// "List index out of bounds (%d)".
//
// A descendant that overrides Notify must call Clear in its own destructor: by the time this
// class's destructor runs, the override is gone.
class TList {
public:
  TList() = default;
  TList(const TList&) = delete;
  TList& operator=(const TList&) = delete;
  virtual ~TList();

  int Add(void* Item);
  void Insert(int Index, void* Item);
  void Delete(int Index);
  // Deletes the first occurrence; its former index, or -1.
  int Remove(void* Item);
  // Takes the first occurrence out without deleting it; the item, or null when absent.
  void* Extract(void* Item);
  int IndexOf(void* Item) const noexcept;
  void Clear();

  int Count() const noexcept { return static_cast<int>(FItems.size()); }
  // Lowering the count deletes the items at the end (last first); raising it appends nulls.
  void SetCount(int NewCount);
  int Capacity() const noexcept { return static_cast<int>(FItems.capacity()); }

  void* Get(int Index) const;
  void Put(int Index, void* Item);

protected:
  virtual void Notify(void* Item, TListNotification Action);
  [[noreturn]] static void IndexError(int Index);

private:
  std::vector<void*> FItems;
};

// A list of reference-counted objects; every non-null entry holds one reference on its object
// (two entries of one object hold two). Extracting an item hands the list's reference to the
// caller. The entries are TRefObject pointers.
class TRefObjectList : public TList {
public:
  TRefObjectList() = default;
  ~TRefObjectList() override;

  int Add(TRefObject* Item) { return TList::Add(Item); }
  void Insert(int Index, TRefObject* Item) { TList::Insert(Index, Item); }
  int Remove(TRefObject* Item) { return TList::Remove(Item); }
  TRefObject* Extract(TRefObject* Item) { return static_cast<TRefObject*>(TList::Extract(Item)); }
  int IndexOf(TRefObject* Item) const noexcept { return TList::IndexOf(Item); }
  TRefObject* Items(int Index) const { return static_cast<TRefObject*>(TList::Get(Index)); }
  void Put(int Index, TRefObject* Item) { TList::Put(Index, Item); }

protected:
  void Notify(void* Item, TListNotification Action) override;
  // One more reference on Item (never null).
  virtual void AddRefItem(TRefObject* Item);
  // One reference less on Item when it is not null.
  virtual void ReleaseItem(TRefObject* Item);

private:
  using TList::Get;
};

}  // namespace Quorin
