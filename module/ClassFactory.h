// The one class factory of the server: ComModule, multiple instances, apartment threading.
// It is created with the module; its type information (class name, description, dispatch
// interface) comes from the module's own type library when it is first needed, and the class
// cannot be served if that type information is missing or does not fit the class.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>

#include "support/ComPtr.h"
#include "support/ThreadState.h"

namespace Quorin {

// What the factory reads from a type library for a class, after the three checks: the coclass
// is there, it names a default dispatch interface, and the class implements that interface.
// Raises "Type information missing for class %s", "Incorrect type information for class %s" or
// "Dispatch interface missing from class %s" with ClassName.
struct TAutoClassInfo {
  TComPtr<ITypeInfo> ClassInfo;     // the coclass
  TComPtr<ITypeInfo> DispatchInfo;  // its default interface
  IID DispatchIid{};
  std::wstring ClassName;           // the coclass's name
  std::wstring Description;         // its help string
};
TAutoClassInfo ReadAutoClassInfo(ITypeLib* Lib, REFCLSID Clsid, const char* ClassName,
                                 bool (*Implements)(REFIID));

class TComModuleFactory final : public IClassFactory {
public:
  // IUnknown: answers IUnknown and IClassFactory.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Iid, void** Out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  // IClassFactory
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* Outer, REFIID Iid, void** Out) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL Lock) override;

  const CLSID& ClassId() const noexcept;
  // Type information; raise the factory's error when the class cannot be served.
  const TComPtr<ITypeInfo>& ClassTypeInfo();
  const TComPtr<ITypeInfo>& DispatchTypeInfo();
  const IID& DispatchIid();
  std::wstring ClassName();      // "ComModule"
  std::wstring Description();    // "ComModule Object"
  std::wstring ProgId();         // type library name "." class name: "Quorin.ComModule"
  const wchar_t* ThreadingModel() const noexcept { return L"Apartment"; }
  // References held on the factory by clients.
  LONG References() const noexcept { return FRefCount; }

private:
  void EnsureTypeInfo();

  LONG FRefCount = 0;
  // Read once, by whichever apartment asks first; the others wait for it.
  volatile LONG FLoaded = 0;
  TSpinLock FLoading;
  TAutoClassInfo FInfo;
  std::wstring FLibName;
};

// The module's factory, created while the module loads.
TComModuleFactory& ComModuleFactory();

}  // namespace Quorin
