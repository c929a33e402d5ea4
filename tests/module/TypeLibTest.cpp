// The type library carried in the DLL, read back through ITypeLib and ITypeInfo.
#include <gtest/gtest.h>

#include <windows.h>
#include <oleauto.h>

#include "ModuleTestSupport.h"
#include "module/Quorin_h.h"
#include "support/ComPtr.h"
#include "support/Strings.h"

using Quorin::TComPtr;

namespace {

const GUID HostLibId = {0xDD5C1112, 0x592F, 0x11D3, {0x96, 0x19, 0x00, 0x00, 0x21, 0xC6, 0xD8, 0x45}};
const GUID HostAppClass = {0x04088492, 0x0485, 0x11D4, {0x97, 0x19, 0x00, 0x00, 0x21, 0xC6, 0xD8, 0x45}};

struct TDoc {
  std::wstring Name, Help;
};
TDoc Documentation(ITypeInfo* Info, MEMBERID Id = MEMBERID_NIL) {
  BSTR Name = nullptr, Help = nullptr;
  TDoc D;
  if (SUCCEEDED(Info->GetDocumentation(Id, &Name, &Help, nullptr, nullptr))) {
    D.Name = Name ? Name : L"";
    D.Help = Help ? Help : L"";
  }
  SysFreeString(Name);
  SysFreeString(Help);
  return D;
}

class TypeLib : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_HRESULT_SUCCEEDED(CoInitialize(nullptr));
    // The host's library, which the module's imports, must be known to resolve Init's parameter.
    ASSERT_HRESULT_SUCCEEDED(ModuleTest::RegisterTypeLibraryFile(ORVEX_TLB_UNIX_PATH));
    ASSERT_HRESULT_SUCCEEDED(LoadTypeLibEx(ModuleTest::DllPath().c_str(), REGKIND_NONE, Lib.Put()));
  }
  void TearDown() override {
    Lib.Reset();
    CoUninitialize();
  }
  TComPtr<ITypeLib> Lib;
};

}  // namespace

TEST_F(TypeLib, Library) {
  TLIBATTR* Attr = nullptr;
  ASSERT_HRESULT_SUCCEEDED(Lib->GetLibAttr(&Attr));
  const GUID LibId = {0x8D073DF2, 0x8D81, 0x4B11, {0xB5, 0x08, 0xB3, 0xE9, 0xEA, 0xEC, 0x69, 0x30}};
  EXPECT_TRUE(IsEqualGUID(Attr->guid, LibId));
  EXPECT_EQ(Attr->wMajorVerNum, 1);
  EXPECT_EQ(Attr->wMinorVerNum, 0);
  EXPECT_EQ(Attr->lcid, 0x0409u);
  EXPECT_EQ(Attr->wLibFlags & ~LIBFLAG_FHASDISKIMAGE, 0);  // that bit says it was read from a file
  EXPECT_EQ(Attr->syskind, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
  Lib->ReleaseTLibAttr(Attr);

  BSTR Name = nullptr, Help = nullptr;
  ASSERT_HRESULT_SUCCEEDED(Lib->GetDocumentation(-1, &Name, &Help, nullptr, nullptr));
  EXPECT_STREQ(Name, L"Quorin");
  EXPECT_STREQ(Help, L"Quorin Library");
  SysFreeString(Name);
  SysFreeString(Help);
  EXPECT_EQ(Lib->GetTypeInfoCount(), 2u);
}

TEST_F(TypeLib, DualInterfaceIComModule) {
  TComPtr<ITypeInfo> Disp;
  ASSERT_HRESULT_SUCCEEDED(Lib->GetTypeInfoOfGuid(IID_IComModule, Disp.Put()));
  TYPEATTR* Attr = nullptr;
  ASSERT_HRESULT_SUCCEEDED(Disp->GetTypeAttr(&Attr));
  EXPECT_EQ(Attr->typekind, TKIND_DISPATCH);
  EXPECT_EQ(Attr->wTypeFlags & (TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE),
            TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE);
  EXPECT_EQ(Attr->wMajorVerNum, 1);
  EXPECT_EQ(Attr->wMinorVerNum, 0);
  Disp->ReleaseTypeAttr(Attr);
  EXPECT_EQ(Documentation(Disp.Get()).Name, L"IComModule");
  EXPECT_EQ(Documentation(Disp.Get()).Help, L"Dispatch interface for ComModule Object");

  // The vtable side: IDispatch's seven slots, then Init and ShowMainDialog.
  HREFTYPE Ref = 0;
  ASSERT_HRESULT_SUCCEEDED(Disp->GetRefTypeOfImplType(-1, &Ref));
  TComPtr<ITypeInfo> VTable;
  ASSERT_HRESULT_SUCCEEDED(Disp->GetRefTypeInfo(Ref, VTable.Put()));
  ASSERT_HRESULT_SUCCEEDED(VTable->GetTypeAttr(&Attr));
  EXPECT_EQ(Attr->typekind, TKIND_INTERFACE);
  EXPECT_EQ(Attr->wTypeFlags & (TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE),
            TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE);
  EXPECT_EQ(Attr->cFuncs, 2);
  EXPECT_EQ(Attr->cbSizeVft, 9 * sizeof(void*));
  VTable->ReleaseTypeAttr(Attr);

  // Its base is IDispatch from stdole2.
  ASSERT_HRESULT_SUCCEEDED(VTable->GetRefTypeOfImplType(0, &Ref));
  TComPtr<ITypeInfo> Base;
  ASSERT_HRESULT_SUCCEEDED(VTable->GetRefTypeInfo(Ref, Base.Put()));
  ASSERT_HRESULT_SUCCEEDED(Base->GetTypeAttr(&Attr));
  EXPECT_TRUE(IsEqualGUID(Attr->guid, IID_IDispatch));
  Base->ReleaseTypeAttr(Attr);

  const struct {
    const wchar_t* Name;
    MEMBERID Id;
    SHORT Params;
    int Slot;
  } Expected[] = {{L"Init", 201, 1, 7}, {L"ShowMainDialog", 202, 0, 8}};
  for (UINT I = 0; I < 2; ++I) {
    FUNCDESC* F = nullptr;
    ASSERT_HRESULT_SUCCEEDED(VTable->GetFuncDesc(I, &F));
    EXPECT_EQ(F->memid, Expected[I].Id);
    EXPECT_EQ(F->funckind, FUNC_PUREVIRTUAL);
    EXPECT_EQ(F->invkind, INVOKE_FUNC);
    EXPECT_EQ(F->callconv, CC_STDCALL);
    EXPECT_EQ(F->cParams, Expected[I].Params);
    EXPECT_EQ(F->cParamsOpt, 0);
    EXPECT_EQ(F->oVft, Expected[I].Slot * static_cast<int>(sizeof(void*)));
    EXPECT_EQ(F->elemdescFunc.tdesc.vt, VT_HRESULT);
    EXPECT_EQ(Documentation(VTable.Get(), F->memid).Name, Expected[I].Name);
    if (F->cParams == 1) {
      // anOrvex: [in] pointer to the host's application class.
      const ELEMDESC& P = F->lprgelemdescParam[0];
      EXPECT_TRUE(P.paramdesc.wParamFlags & PARAMFLAG_FIN);
      ASSERT_EQ(P.tdesc.vt, VT_PTR);
      ASSERT_EQ(P.tdesc.lptdesc->vt, VT_USERDEFINED);
      TComPtr<ITypeInfo> App;
      ASSERT_HRESULT_SUCCEEDED(VTable->GetRefTypeInfo(P.tdesc.lptdesc->hreftype, App.Put()));
      TYPEATTR* AA = nullptr;
      ASSERT_HRESULT_SUCCEEDED(App->GetTypeAttr(&AA));
      EXPECT_EQ(AA->typekind, TKIND_COCLASS);
      EXPECT_TRUE(IsEqualGUID(AA->guid, HostAppClass));
      App->ReleaseTypeAttr(AA);
      TComPtr<ITypeLib> HostLib;
      UINT Index = 0;
      ASSERT_HRESULT_SUCCEEDED(App->GetContainingTypeLib(HostLib.Put(), &Index));
      TLIBATTR* LA = nullptr;
      ASSERT_HRESULT_SUCCEEDED(HostLib->GetLibAttr(&LA));
      EXPECT_TRUE(IsEqualGUID(LA->guid, HostLibId));
      EXPECT_EQ(LA->wMajorVerNum, 1);
      EXPECT_EQ(LA->wMinorVerNum, 0);
      HostLib->ReleaseTLibAttr(LA);
      BSTR Names[2] = {nullptr, nullptr};
      UINT Got = 0;
      ASSERT_HRESULT_SUCCEEDED(VTable->GetNames(F->memid, Names, 2, &Got));
      ASSERT_EQ(Got, 2u);
      EXPECT_STREQ(Names[1], L"anOrvex");
      SysFreeString(Names[0]);
      SysFreeString(Names[1]);
    }
    VTable->ReleaseFuncDesc(F);
  }
}

TEST_F(TypeLib, CoclassComModule) {
  TComPtr<ITypeInfo> Class;
  ASSERT_HRESULT_SUCCEEDED(Lib->GetTypeInfoOfGuid(CLSID_ComModule, Class.Put()));
  TYPEATTR* Attr = nullptr;
  ASSERT_HRESULT_SUCCEEDED(Class->GetTypeAttr(&Attr));
  EXPECT_EQ(Attr->typekind, TKIND_COCLASS);
  EXPECT_EQ(Attr->wTypeFlags, TYPEFLAG_FCANCREATE);
  EXPECT_EQ(Attr->cImplTypes, 1);
  EXPECT_EQ(Attr->wMajorVerNum, 1);
  EXPECT_EQ(Attr->wMinorVerNum, 0);
  Class->ReleaseTypeAttr(Attr);
  EXPECT_EQ(Documentation(Class.Get()).Name, L"ComModule");
  EXPECT_EQ(Documentation(Class.Get()).Help, L"ComModule Object");
  INT Flags = 0;
  ASSERT_HRESULT_SUCCEEDED(Class->GetImplTypeFlags(0, &Flags));
  EXPECT_EQ(Flags, IMPLTYPEFLAG_FDEFAULT);
  HREFTYPE Ref = 0;
  ASSERT_HRESULT_SUCCEEDED(Class->GetRefTypeOfImplType(0, &Ref));
  TComPtr<ITypeInfo> Default;
  ASSERT_HRESULT_SUCCEEDED(Class->GetRefTypeInfo(Ref, Default.Put()));
  ASSERT_HRESULT_SUCCEEDED(Default->GetTypeAttr(&Attr));
  EXPECT_TRUE(IsEqualGUID(Attr->guid, IID_IComModule));
  Default->ReleaseTypeAttr(Attr);
}
