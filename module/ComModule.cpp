#include "module/ComModule.h"

#include <memory>

#include "module/ClassFactory.h"
#include "support/Errors.h"
#include "wizard/NewFieldFillSchemeWizard.h"

namespace Quorin {

namespace {
const wchar_t ErrorSource[] = L"Quorin.ComModule";
}

bool TComModule::Implements(REFIID Iid) noexcept {
  return IsEqualIID(Iid, IID_IUnknown) || IsEqualIID(Iid, IID_IDispatch) ||
         IsEqualIID(Iid, IID_IComModule) || IsEqualIID(Iid, IID_ISupportErrorInfo) ||
         IsEqualIID(Iid, IID_IProvideClassInfo);
}

HRESULT TComModule::QueryInterface(REFIID Iid, void** Out) {
  if (!Out) return E_POINTER;
  if (IsEqualIID(Iid, IID_IUnknown) || IsEqualIID(Iid, IID_IDispatch) ||
      IsEqualIID(Iid, IID_IComModule))
    *Out = static_cast<IComModule*>(this);
  else if (IsEqualIID(Iid, IID_ISupportErrorInfo))
    *Out = static_cast<ISupportErrorInfo*>(this);
  else if (IsEqualIID(Iid, IID_IProvideClassInfo))
    *Out = static_cast<IProvideClassInfo*>(this);
  else {
    *Out = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

HRESULT TComModule::GetTypeInfoCount(UINT* Count) {
  if (!Count) return E_POINTER;
  *Count = 1;
  return S_OK;
}

HRESULT TComModule::GetTypeInfo(UINT Index, LCID, ITypeInfo** Info) {
  if (!Info) return E_POINTER;
  *Info = nullptr;
  if (Index != 0) return DISP_E_BADINDEX;
  try {
    ComModuleFactory().DispatchTypeInfo().CopyTo(Info);
    return S_OK;
  } catch (...) {
    return HandleSafeCallException(std::current_exception(), IID_IDispatch, ErrorSource);
  }
}

HRESULT TComModule::GetIDsOfNames(REFIID Iid, LPOLESTR* Names, UINT Count, LCID, DISPID* Ids) {
  if (!IsEqualIID(Iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  try {
    return DispGetIDsOfNames(ComModuleFactory().DispatchTypeInfo().Get(), Names, Count, Ids);
  } catch (...) {
    return HandleSafeCallException(std::current_exception(), IID_IDispatch, ErrorSource);
  }
}

HRESULT TComModule::Invoke(DISPID Id, REFIID Iid, LCID, WORD Flags, DISPPARAMS* Params,
                           VARIANT* Result, EXCEPINFO* Excep, UINT* ArgErr) {
  if (!IsEqualIID(Iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  try {
    return DispInvoke(static_cast<IComModule*>(this),
                      ComModuleFactory().DispatchTypeInfo().Get(), Id, Flags, Params, Result,
                      Excep, ArgErr);
  } catch (...) {
    return HandleSafeCallException(std::current_exception(), IID_IDispatch, ErrorSource);
  }
}

HRESULT TComModule::InterfaceSupportsErrorInfo(REFIID Iid) {
  return Implements(Iid) ? S_OK : S_FALSE;
}

HRESULT TComModule::GetClassInfo(ITypeInfo** Info) {
  if (!Info) return E_POINTER;
  *Info = nullptr;
  try {
    ComModuleFactory().ClassTypeInfo().CopyTo(Info);
    return S_OK;
  } catch (...) {
    return HandleSafeCallException(std::current_exception(), IID_IProvideClassInfo, ErrorSource);
  }
}

HRESULT TComModule::Init(OrvexApplication* anOrvex) {
  try {
    // The parameter is typed as the host's application class; the object behind it is kept
    // through its IOrvexApplication interface.
    TComPtr<IOrvexApplication> App;
    if (anOrvex) {
      IUnknown* Unknown = reinterpret_cast<IUnknown*>(anOrvex);
      if (FAILED(Unknown->QueryInterface(IID_IOrvexApplication, App.PutVoid()))) App.Reset();
    }
    FApplication = std::move(App);
    return S_OK;
  } catch (...) {
    return HandleSafeCallException(std::current_exception(), IID_IComModule, ErrorSource);
  }
}

HRESULT TComModule::ShowMainDialog() {
  try {
    DoShowMainDialog();
    return S_OK;
  } catch (...) {
    return HandleSafeCallException(std::current_exception(), IID_IComModule, ErrorSource);
  }
}

void TComModule::DoShowMainDialog() {
  if (!FApplication)
    throw Exception("Модуль не связан с приложением: Init не вызывался с объектом приложения Orvex");
  TComPtr<IOrvexApplication> App = FApplication;  // stays alive even if Init replaces it meanwhile
  TComPtr<IOrvexMainWindow> MainWindow = OX_INTF(IOrvexMainWindow, App, GetMainWindow);
  HWND Parent = static_cast<HWND>(LongToHandle(OX_VAL(long, MainWindow, GetHandle)));
  MainWindow.Reset();

  std::unique_ptr<TNewFieldFillSchemeWizard> Wizard(new TNewFieldFillSchemeWizard(Parent));
  Wizard->SetApplication(App.Get());
  Wizard->ShowModal();
}

}  // namespace Quorin
