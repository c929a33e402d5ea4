// ComModule, the automation class that the Orvex host creates: Init hands it the host's
// application object, ShowMainDialog runs the statistics wizard over the host's main window.
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <ocidl.h>

#include "host/Orvex.h"
#include "module/AutoObject.h"
#include "module/Quorin_h.h"
#include "support/ComPtr.h"

namespace Quorin {

class TComModule final : public TAutoObject,
                         public IComModule,
                         public ISupportErrorInfo,
                         public IProvideClassInfo {
public:
  TComModule() = default;

  // Whether the class implements the interface (the factory's check of the type library).
  static bool Implements(REFIID Iid) noexcept;

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Iid, void** Out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return DoAddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return DoRelease(); }
  // IDispatch, from the type information of IComModule
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* Count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT Index, LCID Lcid, ITypeInfo** Info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID Iid, LPOLESTR* Names, UINT Count, LCID Lcid,
                                          DISPID* Ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID Id, REFIID Iid, LCID Lcid, WORD Flags,
                                   DISPPARAMS* Params, VARIANT* Result, EXCEPINFO* Excep,
                                   UINT* ArgErr) override;
  // ISupportErrorInfo
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID Iid) override;
  // IProvideClassInfo
  HRESULT STDMETHODCALLTYPE GetClassInfo(ITypeInfo** Info) override;
  // IComModule
  HRESULT STDMETHODCALLTYPE Init(OrvexApplication* anOrvex) override;
  HRESULT STDMETHODCALLTYPE ShowMainDialog() override;

private:
  ~TComModule() override = default;
  void DoShowMainDialog();

  TComPtr<IOrvexApplication> FApplication;
};

}  // namespace Quorin
