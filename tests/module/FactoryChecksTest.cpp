// The factory's checks of the type information it serves the class from, against type
// libraries made here with oleaut32's ICreateTypeLib2.
#include <gtest/gtest.h>

#include <windows.h>
#include <oleauto.h>

#include <string>

#include "ModuleTestSupport.h"
#include "module/ClassFactory.h"
#include "module/ComModule.h"
#include "module/Quorin_h.h"
#include "support/Errors.h"

using Quorin::TComPtr;

namespace {

const GUID OtherIid = {0x1A2B3C4D, 0x1111, 0x2222, {0x33, 0x33, 0x44, 0x44, 0x55, 0x55, 0x66, 0x66}};
const GUID TestLibId = {0x1A2B3C4D, 0x1111, 0x2222, {0x33, 0x33, 0x44, 0x44, 0x55, 0x55, 0x66, 0x67}};

enum class TDefault { None, PlainInterface, OtherDispatch };

// A library with a coclass ComModule (unless WithClass is false) whose default interface is
// as asked.
TComPtr<ITypeLib> MakeLibrary(bool WithClass, TDefault Default) {
  wchar_t Temp[MAX_PATH], Path[MAX_PATH];
  GetTempPathW(MAX_PATH, Temp);
  GetTempFileNameW(Temp, L"qtl", 0, Path);
  TComPtr<ICreateTypeLib2> Create;
  EXPECT_HRESULT_SUCCEEDED(CreateTypeLib2(sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32, Path, Create.Put()));
  Create->SetGuid(TestLibId);
  Create->SetName(const_cast<LPOLESTR>(L"TestLib"));
  Create->SetVersion(1, 0);

  TComPtr<ICreateTypeInfo> Intf;
  if (Default != TDefault::None) {
    const TYPEKIND Kind = Default == TDefault::PlainInterface ? TKIND_INTERFACE : TKIND_DISPATCH;
    EXPECT_HRESULT_SUCCEEDED(Create->CreateTypeInfo(const_cast<LPOLESTR>(L"IOther"), Kind, Intf.Put()));
    Intf->SetGuid(OtherIid);
    TComPtr<ITypeLib> StdOle;
    EXPECT_HRESULT_SUCCEEDED(LoadRegTypeLib(IID_StdOle, 2, 0, 0, StdOle.Put()));
    TComPtr<ITypeInfo> Base;
    EXPECT_HRESULT_SUCCEEDED(StdOle->GetTypeInfoOfGuid(
        Kind == TKIND_DISPATCH ? IID_IDispatch : IID_IUnknown, Base.Put()));
    HREFTYPE Ref = 0;
    EXPECT_HRESULT_SUCCEEDED(Intf->AddRefTypeInfo(Base.Get(), &Ref));
    EXPECT_HRESULT_SUCCEEDED(Intf->AddImplType(0, Ref));
    EXPECT_HRESULT_SUCCEEDED(Intf->LayOut());
  }
  if (WithClass) {
    TComPtr<ICreateTypeInfo> Class;
    EXPECT_HRESULT_SUCCEEDED(
        Create->CreateTypeInfo(const_cast<LPOLESTR>(L"ComModule"), TKIND_COCLASS, Class.Put()));
    Class->SetGuid(CLSID_ComModule);
    Class->SetTypeFlags(TYPEFLAG_FCANCREATE);
    if (Intf) {
      TComPtr<ITypeInfo> IntfInfo = Intf.Query<ITypeInfo>();
      HREFTYPE Ref = 0;
      EXPECT_HRESULT_SUCCEEDED(Class->AddRefTypeInfo(IntfInfo.Get(), &Ref));
      EXPECT_HRESULT_SUCCEEDED(Class->AddImplType(0, Ref));
      EXPECT_HRESULT_SUCCEEDED(Class->SetImplTypeFlags(0, IMPLTYPEFLAG_FDEFAULT));
    }
    EXPECT_HRESULT_SUCCEEDED(Class->LayOut());
  }
  TComPtr<ITypeLib> Lib = Create.Query<ITypeLib>();
  EXPECT_TRUE(Lib);
  DeleteFileW(Path);
  return Lib;
}

std::string CheckMessage(ITypeLib* Lib) {
  try {
    Quorin::ReadAutoClassInfo(Lib, CLSID_ComModule, "TComModule", &Quorin::TComModule::Implements);
  } catch (const Quorin::Exception& E) {
    return E.Message();
  }
  return "";
}

class FactoryChecks : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_HRESULT_SUCCEEDED(CoInitialize(nullptr)); }
  void TearDown() override { CoUninitialize(); }
};

}  // namespace

TEST_F(FactoryChecks, ClassMissingFromTheLibrary) {
  TComPtr<ITypeLib> Lib = MakeLibrary(false, TDefault::OtherDispatch);
  EXPECT_EQ(CheckMessage(Lib.Get()), "Type information missing for class TComModule");
  EXPECT_EQ(CheckMessage(nullptr), "Type information missing for class TComModule");
}

TEST_F(FactoryChecks, ClassWithoutADefaultDispatchInterface) {
  TComPtr<ITypeLib> NoInterface = MakeLibrary(true, TDefault::None);
  EXPECT_EQ(CheckMessage(NoInterface.Get()), "Incorrect type information for class TComModule");
  TComPtr<ITypeLib> Plain = MakeLibrary(true, TDefault::PlainInterface);
  EXPECT_EQ(CheckMessage(Plain.Get()), "Incorrect type information for class TComModule");
}

TEST_F(FactoryChecks, DefaultInterfaceThatTheClassDoesNotImplement) {
  TComPtr<ITypeLib> Lib = MakeLibrary(true, TDefault::OtherDispatch);
  EXPECT_EQ(CheckMessage(Lib.Get()), "Dispatch interface missing from class TComModule");
}

TEST_F(FactoryChecks, TheModulesOwnLibraryPassesAllThree) {
  TComPtr<ITypeLib> Lib;
  ASSERT_HRESULT_SUCCEEDED(LoadTypeLibEx(ModuleTest::DllPath().c_str(), REGKIND_NONE, Lib.Put()));
  Quorin::TAutoClassInfo Info =
      Quorin::ReadAutoClassInfo(Lib.Get(), CLSID_ComModule, "TComModule", &Quorin::TComModule::Implements);
  EXPECT_EQ(Info.ClassName, L"ComModule");
  EXPECT_EQ(Info.Description, L"ComModule Object");
  EXPECT_TRUE(IsEqualGUID(Info.DispatchIid, IID_IComModule));
  ASSERT_TRUE(Info.DispatchInfo);
  TYPEATTR* Attr = nullptr;
  ASSERT_HRESULT_SUCCEEDED(Info.DispatchInfo->GetTypeAttr(&Attr));
  EXPECT_EQ(Attr->typekind, TKIND_INTERFACE);  // served through the vtable description
  Info.DispatchInfo->ReleaseTypeAttr(Attr);
}
