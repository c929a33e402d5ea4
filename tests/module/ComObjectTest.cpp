// The DLL's entry points, the class factory and the ComModule object, through the real COM
// runtime: the DLL is loaded as a host loads an in-process server.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <ocidl.h>
#include <oleauto.h>

#include "ModuleTestSupport.h"
#include "hostsim/HostSim.h"
#include "module/Quorin_h.h"
#include "support/ComPtr.h"
#include "support/Strings.h"

using Quorin::TComPtr;

namespace {

using TGetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using TCanUnloadNow = HRESULT(STDAPICALLTYPE*)();

class ComObject : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_HRESULT_SUCCEEDED(CoInitialize(nullptr));
    Dll = LoadLibraryW(ModuleTest::DllPath().c_str());
    ASSERT_NE(Dll, nullptr);
    GetClassObject = reinterpret_cast<TGetClassObject>(
        reinterpret_cast<void*>(GetProcAddress(Dll, "DllGetClassObject")));
    CanUnloadNow = reinterpret_cast<TCanUnloadNow>(
        reinterpret_cast<void*>(GetProcAddress(Dll, "DllCanUnloadNow")));
    ASSERT_NE(GetClassObject, nullptr);
    ASSERT_NE(CanUnloadNow, nullptr);
  }
  void TearDown() override {
    if (Dll) FreeLibrary(Dll);
    CoUninitialize();
  }

  TComPtr<IClassFactory> Factory() {
    TComPtr<IClassFactory> F;
    EXPECT_HRESULT_SUCCEEDED(GetClassObject(CLSID_ComModule, IID_IClassFactory, F.PutVoid()));
    return F;
  }
  TComPtr<IComModule> NewObject() {
    TComPtr<IComModule> Object;
    EXPECT_HRESULT_SUCCEEDED(Factory()->CreateInstance(nullptr, IID_IComModule, Object.PutVoid()));
    return Object;
  }

  HMODULE Dll = nullptr;
  TGetClassObject GetClassObject = nullptr;
  TCanUnloadNow CanUnloadNow = nullptr;
};

// The thread's error information: source, description, interface.
struct TErrorInfo {
  bool Present = false;
  std::wstring Source, Description;
  GUID Iid{};
};
TErrorInfo TakeErrorInfo() {
  TErrorInfo R;
  TComPtr<IErrorInfo> Info;
  if (GetErrorInfo(0, Info.Put()) != S_OK || !Info) return R;
  R.Present = true;
  BSTR S = nullptr;
  if (SUCCEEDED(Info->GetSource(&S))) { R.Source = S ? S : L""; SysFreeString(S); }
  if (SUCCEEDED(Info->GetDescription(&S))) { R.Description = S ? S : L""; SysFreeString(S); }
  Info->GetGUID(&R.Iid);
  return R;
}

}  // namespace

TEST_F(ComObject, ClassObjectOfAnotherClassIsNotAvailable) {
  void* Out = reinterpret_cast<void*>(1);
  EXPECT_EQ(GetClassObject(IID_IComModule, IID_IClassFactory, &Out), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(Out, nullptr);
  Out = reinterpret_cast<void*>(1);
  EXPECT_EQ(GetClassObject(CLSID_ComModule, IID_IDispatch, &Out), E_NOINTERFACE);
  EXPECT_EQ(Out, nullptr);
}

TEST_F(ComObject, CanUnloadOnlyWithoutObjectsLocksAndFactoryReferences) {
  EXPECT_EQ(CanUnloadNow(), S_OK);
  {
    TComPtr<IClassFactory> F = Factory();
    EXPECT_EQ(CanUnloadNow(), S_FALSE);  // a factory reference
    TComPtr<IComModule> Object;
    ASSERT_HRESULT_SUCCEEDED(F->CreateInstance(nullptr, IID_IComModule, Object.PutVoid()));
    F.Reset();
    EXPECT_EQ(CanUnloadNow(), S_FALSE);  // an object
    Object.Reset();
    EXPECT_EQ(CanUnloadNow(), S_OK);
  }
  {
    TComPtr<IClassFactory> F = Factory();
    ASSERT_HRESULT_SUCCEEDED(F->LockServer(TRUE));
    F.Reset();
    EXPECT_EQ(CanUnloadNow(), S_FALSE);  // a lock
    Factory()->LockServer(FALSE);
    EXPECT_EQ(CanUnloadNow(), S_OK);
  }
}

TEST_F(ComObject, AnswersItsInterfacesAndNoOthers) {
  TComPtr<IComModule> Object = NewObject();
  ASSERT_TRUE(Object);
  const IID Offered[] = {IID_IUnknown, IID_IDispatch, IID_IComModule, IID_ISupportErrorInfo,
                         IID_IProvideClassInfo};
  for (const IID& Iid : Offered) {
    TComPtr<IUnknown> P;
    EXPECT_EQ(Object->QueryInterface(Iid, P.PutVoid()), S_OK);
    EXPECT_TRUE(P);
  }
  const IID Refused[] = {IID_IPersist, IID_IClassFactory, IID_IPersistStream, IID_IMarshal};
  for (const IID& Iid : Refused) {
    void* P = reinterpret_cast<void*>(1);
    EXPECT_EQ(Object->QueryInterface(Iid, &P), E_NOINTERFACE);
    EXPECT_EQ(P, nullptr);
  }
  TComPtr<ISupportErrorInfo> Support = Object.Query<ISupportErrorInfo>();
  for (const IID& Iid : Offered) EXPECT_EQ(Support->InterfaceSupportsErrorInfo(Iid), S_OK);
  EXPECT_EQ(Support->InterfaceSupportsErrorInfo(IID_IPersist), S_FALSE);

  TComPtr<IProvideClassInfo> Provide = Object.Query<IProvideClassInfo>();
  TComPtr<ITypeInfo> Class;
  ASSERT_HRESULT_SUCCEEDED(Provide->GetClassInfo(Class.Put()));
  TYPEATTR* Attr = nullptr;
  ASSERT_HRESULT_SUCCEEDED(Class->GetTypeAttr(&Attr));
  EXPECT_EQ(Attr->typekind, TKIND_COCLASS);
  EXPECT_TRUE(IsEqualGUID(Attr->guid, CLSID_ComModule));
  Class->ReleaseTypeAttr(Attr);
}

TEST_F(ComObject, DispatchIsServedFromTheTypeInformation) {
  // Invoking Init converts its argument to the host's application class.
  ASSERT_HRESULT_SUCCEEDED(ModuleTest::RegisterTypeLibraryFile(ORVEX_TLB_UNIX_PATH));
  TComPtr<IDispatch> Object = NewObject().Query<IDispatch>();
  UINT Count = 0;
  EXPECT_EQ(Object->GetTypeInfoCount(&Count), S_OK);
  EXPECT_EQ(Count, 1u);
  TComPtr<ITypeInfo> Info;
  EXPECT_EQ(Object->GetTypeInfo(1, 0, Info.Put()), DISP_E_BADINDEX);
  ASSERT_EQ(Object->GetTypeInfo(0, 0, Info.Put()), S_OK);
  TYPEATTR* Attr = nullptr;
  ASSERT_HRESULT_SUCCEEDED(Info->GetTypeAttr(&Attr));
  EXPECT_TRUE(IsEqualGUID(Attr->guid, IID_IComModule));
  Info->ReleaseTypeAttr(Attr);

  DISPID Ids[2] = {0, 0};
  LPOLESTR Init = const_cast<LPOLESTR>(L"Init"), Show = const_cast<LPOLESTR>(L"ShowMainDialog");
  EXPECT_EQ(Object->GetIDsOfNames(IID_NULL, &Init, 1, 0, &Ids[0]), S_OK);
  EXPECT_EQ(Object->GetIDsOfNames(IID_NULL, &Show, 1, 0, &Ids[1]), S_OK);
  EXPECT_EQ(Ids[0], 201);
  EXPECT_EQ(Ids[1], 202);
  LPOLESTR Unknown = const_cast<LPOLESTR>(L"Run");
  DISPID None = 0;
  EXPECT_EQ(Object->GetIDsOfNames(IID_NULL, &Unknown, 1, 0, &None), DISP_E_UNKNOWNNAME);

  // Invoke reaches the vtable methods: Init with a null object succeeds, ShowMainDialog then
  // fails with the module's error, reported as an exception of the call.
  VARIANT Arg;
  VariantInit(&Arg);
  V_VT(&Arg) = VT_DISPATCH;
  V_DISPATCH(&Arg) = nullptr;
  DISPPARAMS Params = {&Arg, nullptr, 1, 0};
  EXPECT_EQ(Object->Invoke(201, IID_NULL, 0, DISPATCH_METHOD, &Params, nullptr, nullptr, nullptr), S_OK);
  DISPPARAMS NoParams = {nullptr, nullptr, 0, 0};
  EXCEPINFO Excep{};
  HRESULT Hr = Object->Invoke(202, IID_NULL, 0, DISPATCH_METHOD, &NoParams, nullptr, &Excep, nullptr);
  EXPECT_EQ(Hr, DISP_E_EXCEPTION);
  EXPECT_EQ(Excep.scode, E_UNEXPECTED);
  EXPECT_STREQ(Excep.bstrSource, L"Quorin.ComModule");
  EXPECT_GT(SysStringLen(Excep.bstrDescription), 0u);
  SysFreeString(Excep.bstrSource);
  SysFreeString(Excep.bstrDescription);
  SysFreeString(Excep.bstrHelpFile);
}

TEST_F(ComObject, ShowMainDialogWithoutApplicationFailsWithErrorInfo) {
  TComPtr<IComModule> Object = NewObject();
  SetErrorInfo(0, nullptr);
  EXPECT_EQ(Object->ShowMainDialog(), E_UNEXPECTED);
  TErrorInfo Error = TakeErrorInfo();
  ASSERT_TRUE(Error.Present);
  EXPECT_EQ(Error.Source, L"Quorin.ComModule");
  EXPECT_EQ(Error.Description,
            L"Модуль не связан с приложением: Init не вызывался с объектом приложения Orvex");
  EXPECT_TRUE(IsEqualGUID(Error.Iid, IID_IComModule));

  EXPECT_EQ(Object->Init(nullptr), S_OK);
  EXPECT_EQ(Object->ShowMainDialog(), E_UNEXPECTED);
  EXPECT_TRUE(TakeErrorInfo().Present);
  // No wizard was made.
  EXPECT_EQ(FindWindowW(nullptr, L"Мастер анализа статистических данных"), nullptr);
}

TEST_F(ComObject, InitReplacesAndReleasesTheApplicationObject) {
  HostSim::THost First, Second;
  First.AddMap(L"m1", L"Карта");
  Second.AddMap(L"m2", L"Карта 2");
  TComPtr<IComModule> Object = NewObject();
  {
    TComPtr<IOrvexApplication> App = TComPtr<IOrvexApplication>::Adopt(First.NewApplication());
    ASSERT_EQ(Object->Init(reinterpret_cast<OrvexApplication*>(App.Get())), S_OK);
  }
  EXPECT_EQ(First.LiveObjects(), 1);  // kept by the object
  {
    TComPtr<IOrvexApplication> App = TComPtr<IOrvexApplication>::Adopt(Second.NewApplication());
    ASSERT_EQ(Object->Init(reinterpret_cast<OrvexApplication*>(App.Get())), S_OK);
  }
  EXPECT_EQ(First.LiveObjects(), 0);  // the first one released
  EXPECT_EQ(Second.LiveObjects(), 1);
  EXPECT_EQ(First.CallCount(), 0);    // Init makes no host call
  Object.Reset();
  EXPECT_EQ(Second.LiveObjects(), 0);  // released with the object
}

TEST_F(ComObject, ShowMainDialogReportsAHostFailureWithItsStatus) {
  HostSim::THost Host;
  Host.AddMap(L"m1", L"Карта");
  HostSim::TFault Fault;
  Fault.Status = E_ACCESSDENIED;
  Fault.Description = L"Главное окно недоступно.";
  Host.FailMethod(L"IOrvexApplication", L"GetMainWindow", Fault);
  TComPtr<IComModule> Object = NewObject();
  {
    TComPtr<IOrvexApplication> App = TComPtr<IOrvexApplication>::Adopt(Host.NewApplication());
    ASSERT_EQ(Object->Init(reinterpret_cast<OrvexApplication*>(App.Get())), S_OK);
  }
  EXPECT_EQ(Object->ShowMainDialog(), E_ACCESSDENIED);
  TErrorInfo Error = TakeErrorInfo();
  ASSERT_TRUE(Error.Present);
  EXPECT_EQ(Error.Description, L"Главное окно недоступно");  // the host's text, trimmed
  EXPECT_EQ(Error.Source, L"Quorin.ComModule");

  // A host that answers without a main window object: E_UNEXPECTED.
  Host.ClearFaults();
  HostSim::TFault Null;
  Null.NullResult = true;
  Host.FailMethod(L"IOrvexApplication", L"GetMainWindow", Null);
  EXPECT_EQ(Object->ShowMainDialog(), E_UNEXPECTED);
  EXPECT_EQ(TakeErrorInfo().Description,
            L"Вызов GetMainWindow завершился успешно, но не вернул результата");
  Object.Reset();
  EXPECT_EQ(Host.LiveObjects(), 0);
}
