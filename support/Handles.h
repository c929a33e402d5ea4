// Owners for Win32 handles: registry keys, GDI objects, image lists, activation contexts.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <utility>

namespace Quorin {

template <class H, class Traits>
class TOwnedHandle {
public:
  TOwnedHandle() noexcept = default;
  explicit TOwnedHandle(H Handle) noexcept : FHandle(Handle) {}
  TOwnedHandle(const TOwnedHandle&) = delete;
  TOwnedHandle& operator=(const TOwnedHandle&) = delete;
  TOwnedHandle(TOwnedHandle&& Other) noexcept : FHandle(Other.Detach()) {}
  TOwnedHandle& operator=(TOwnedHandle&& Other) noexcept {
    if (this != &Other) Reset(Other.Detach());
    return *this;
  }
  ~TOwnedHandle() { Reset(); }

  H Get() const noexcept { return FHandle; }
  explicit operator bool() const noexcept { return Traits::Valid(FHandle); }
  H* Put() noexcept { Reset(); return &FHandle; }
  H Detach() noexcept { H P = FHandle; FHandle = Traits::Invalid(); return P; }
  void Reset(H Handle = Traits::Invalid()) noexcept {
    if (Traits::Valid(FHandle)) Traits::Close(FHandle);
    FHandle = Handle;
  }

private:
  H FHandle = Traits::Invalid();
};

struct TRegKeyTraits {
  static HKEY Invalid() noexcept { return nullptr; }
  static bool Valid(HKEY H) noexcept { return H != nullptr; }
  static void Close(HKEY H) noexcept { RegCloseKey(H); }
};
struct TGdiTraits {
  static HGDIOBJ Invalid() noexcept { return nullptr; }
  static bool Valid(HGDIOBJ H) noexcept { return H != nullptr; }
  static void Close(HGDIOBJ H) noexcept { DeleteObject(H); }
};
struct TImageListTraits {
  static HIMAGELIST Invalid() noexcept { return nullptr; }
  static bool Valid(HIMAGELIST H) noexcept { return H != nullptr; }
  static void Close(HIMAGELIST H) noexcept { ImageList_Destroy(H); }
};
struct TKernelHandleTraits {
  static HANDLE Invalid() noexcept { return nullptr; }
  static bool Valid(HANDLE H) noexcept { return H != nullptr && H != INVALID_HANDLE_VALUE; }
  static void Close(HANDLE H) noexcept { CloseHandle(H); }
};

using TRegKey = TOwnedHandle<HKEY, TRegKeyTraits>;
using TGdiObject = TOwnedHandle<HGDIOBJ, TGdiTraits>;
using TImageList = TOwnedHandle<HIMAGELIST, TImageListTraits>;
using TKernelHandle = TOwnedHandle<HANDLE, TKernelHandleTraits>;

}  // namespace Quorin
