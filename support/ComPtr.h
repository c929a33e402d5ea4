// Owning smart pointer for COM interface references: the only place where the module calls
// AddRef and Release on an interface by hand.
#pragma once

#include <windows.h>
#include <unknwn.h>
#include <cstddef>
#include <utility>

namespace Quorin {

template <class T>
class TComPtr {
public:
  TComPtr() noexcept = default;
  TComPtr(std::nullptr_t) noexcept {}
  // Takes a new reference on Raw.
  explicit TComPtr(T* Raw) noexcept : FPtr(Raw) { if (FPtr) FPtr->AddRef(); }
  TComPtr(const TComPtr& Other) noexcept : FPtr(Other.FPtr) { if (FPtr) FPtr->AddRef(); }
  TComPtr(TComPtr&& Other) noexcept : FPtr(Other.FPtr) { Other.FPtr = nullptr; }
  ~TComPtr() { Reset(); }

  TComPtr& operator=(const TComPtr& Other) noexcept {
    TComPtr(Other).Swap(*this);
    return *this;
  }
  TComPtr& operator=(TComPtr&& Other) noexcept {
    TComPtr(std::move(Other)).Swap(*this);
    return *this;
  }
  TComPtr& operator=(std::nullptr_t) noexcept { Reset(); return *this; }

  // Adopts a reference that the caller already owns (no AddRef).
  static TComPtr Adopt(T* Raw) noexcept { TComPtr P; P.FPtr = Raw; return P; }

  T* Get() const noexcept { return FPtr; }
  T* operator->() const noexcept { return FPtr; }
  explicit operator bool() const noexcept { return FPtr != nullptr; }

  // For [out] parameters: releases what is held and hands out the slot.
  T** Put() noexcept { Reset(); return &FPtr; }
  void** PutVoid() noexcept { return reinterpret_cast<void**>(Put()); }

  void Reset() noexcept {
    if (T* P = FPtr) { FPtr = nullptr; P->Release(); }
  }
  // Gives the reference to the caller.
  T* Detach() noexcept { T* P = FPtr; FPtr = nullptr; return P; }
  // Copies the reference into an [out] parameter, adding one reference.
  void CopyTo(T** Out) const noexcept {
    *Out = FPtr;
    if (FPtr) FPtr->AddRef();
  }
  void Swap(TComPtr& Other) noexcept { std::swap(FPtr, Other.FPtr); }

  // The interface U of the same object, or empty when it does not offer it.
  template <class U>
  TComPtr<U> Query(HRESULT* Status = nullptr) const {
    TComPtr<U> Result;
    HRESULT Hr = FPtr ? FPtr->QueryInterface(__uuidof(U), Result.PutVoid()) : E_POINTER;
    if (FAILED(Hr)) Result.Reset();
    if (Status) *Status = Hr;
    return Result;
  }

private:
  T* FPtr = nullptr;
};

template <class T> inline T* RawPtr(const TComPtr<T>& P) noexcept { return P.Get(); }
template <class T> inline T* RawPtr(T* P) noexcept { return P; }

}  // namespace Quorin
