// The COM support layer of the module: the server's object and lock counts, automation objects
// whose IDispatch is served from type information, and the barrier that turns an error escaping
// a COM method into its HRESULT with the thread's error information set.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <exception>

#include "support/ComPtr.h"

namespace Quorin {

// Live automation objects and server locks, for DllCanUnloadNow.
LONG LiveServerObjects() noexcept;
LONG ServerLocks() noexcept;
void LockServer(bool Lock) noexcept;

// The HINSTANCE of the module that holds this code (the DLL, or a test program).
HINSTANCE ThisModule() noexcept;

// The type library carried in this module as resource TYPELIB 1 (loaded once).
TComPtr<ITypeLib> ModuleTypeLib();

// Base of the module's automation objects: counts itself among the server's live objects and
// keeps an interlocked reference count.
class TAutoObject {
public:
  TAutoObject() noexcept;
  virtual ~TAutoObject();
  TAutoObject(const TAutoObject&) = delete;
  TAutoObject& operator=(const TAutoObject&) = delete;

protected:
  ULONG DoAddRef() noexcept { return static_cast<ULONG>(InterlockedIncrement(&FRefCount)); }
  ULONG DoRelease() noexcept;

private:
  LONG FRefCount = 0;
};

// For the catch block of a COM method: sets the thread's error information (interface Iid,
// source Source, the error's message and help context) and gives the method's result: the
// failure status that the error carries, E_UNEXPECTED for any other error.
HRESULT HandleSafeCallException(std::exception_ptr Error, REFIID Iid, const wchar_t* Source) noexcept;

}  // namespace Quorin
