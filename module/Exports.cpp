// The server's four entry points.
#include <windows.h>
#include <objbase.h>

#include "module/AutoObject.h"
#include "module/ClassFactory.h"
#include "module/Registration.h"

using namespace Quorin;

extern "C" {

HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID Clsid, REFIID Iid, void** Out) {
  if (!Out) return E_POINTER;
  *Out = nullptr;
  TComModuleFactory& Factory = ComModuleFactory();
  if (!IsEqualCLSID(Clsid, Factory.ClassId())) return CLASS_E_CLASSNOTAVAILABLE;
  try {
    Factory.DispatchTypeInfo();  // a class whose type information does not fit is not served
  } catch (...) {
    return CLASS_E_CLASSNOTAVAILABLE;
  }
  return Factory.QueryInterface(Iid, Out);
}

HRESULT STDAPICALLTYPE DllCanUnloadNow() {
  return LiveServerObjects() == 0 && ServerLocks() == 0 && ComModuleFactory().References() == 0
             ? S_OK
             : S_FALSE;
}

HRESULT STDAPICALLTYPE DllRegisterServer() {
  try {
    RegisterServer();
    return S_OK;
  } catch (...) {
    return E_FAIL;
  }
}

HRESULT STDAPICALLTYPE DllUnregisterServer() {
  try {
    UnregisterServer();
    return S_OK;
  } catch (...) {
    return E_FAIL;
  }
}

}  // extern "C"
