#include "module/ClassFactory.h"

#include "module/AutoObject.h"
#include "module/ComModule.h"
#include "support/Errors.h"

namespace Quorin {

TAutoClassInfo ReadAutoClassInfo(ITypeLib* Lib, REFCLSID Clsid, const char* ClassName,
                                 bool (*Implements)(REFIID)) {
  TAutoClassInfo Info;
  if (!Lib || FAILED(Lib->GetTypeInfoOfGuid(Clsid, Info.ClassInfo.Put())) || !Info.ClassInfo)
    throw Exception(Format("Type information missing for class %s", ClassName));

  // The coclass's default interface, which must be a dispatch interface.
  TYPEATTR* Attr = nullptr;
  OleCheck(Info.ClassInfo->GetTypeAttr(&Attr));
  const WORD ImplCount = Attr->cImplTypes;
  const TYPEKIND Kind = Attr->typekind;
  Info.ClassInfo->ReleaseTypeAttr(Attr);
  bool Found = false;
  if (Kind == TKIND_COCLASS) {
    for (UINT I = 0; I < ImplCount && !Found; ++I) {
      INT Flags = 0;
      if (FAILED(Info.ClassInfo->GetImplTypeFlags(I, &Flags))) continue;
      if ((Flags & (IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE)) != IMPLTYPEFLAG_FDEFAULT) continue;
      HREFTYPE Ref = 0;
      TComPtr<ITypeInfo> Intf;
      if (FAILED(Info.ClassInfo->GetRefTypeOfImplType(I, &Ref)) ||
          FAILED(Info.ClassInfo->GetRefTypeInfo(Ref, Intf.Put())) || !Intf)
        continue;
      TYPEATTR* IA = nullptr;
      if (FAILED(Intf->GetTypeAttr(&IA))) continue;
      const bool Dispatch = IA->typekind == TKIND_DISPATCH ||
                            (IA->typekind == TKIND_INTERFACE && (IA->wTypeFlags & TYPEFLAG_FDUAL));
      const IID Iid = IA->guid;
      Intf->ReleaseTypeAttr(IA);
      if (!Dispatch) continue;
      // A dual interface is served through its vtable description.
      if (HREFTYPE VRef = 0; SUCCEEDED(Intf->GetRefTypeOfImplType(-1, &VRef))) {
        TComPtr<ITypeInfo> VTable;
        if (SUCCEEDED(Intf->GetRefTypeInfo(VRef, VTable.Put())) && VTable) Intf = VTable;
      }
      Info.DispatchInfo = Intf;
      Info.DispatchIid = Iid;
      Found = true;
    }
  }
  if (!Found) throw Exception(Format("Incorrect type information for class %s", ClassName));
  if (!Implements(Info.DispatchIid))
    throw Exception(Format("Dispatch interface missing from class %s", ClassName));

  TBStr Name, Doc;
  OleCheck(Info.ClassInfo->GetDocumentation(MEMBERID_NIL, Name.Put(), Doc.Put(), nullptr, nullptr));
  Info.ClassName = Name.ToWideString();
  Info.Description = Doc.ToWideString();
  return Info;
}

HRESULT TComModuleFactory::QueryInterface(REFIID Iid, void** Out) {
  if (!Out) return E_POINTER;
  if (IsEqualIID(Iid, IID_IUnknown) || IsEqualIID(Iid, IID_IClassFactory)) {
    *Out = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  *Out = nullptr;
  return E_NOINTERFACE;
}

ULONG TComModuleFactory::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&FRefCount)); }
ULONG TComModuleFactory::Release() { return static_cast<ULONG>(InterlockedDecrement(&FRefCount)); }

HRESULT TComModuleFactory::CreateInstance(IUnknown* Outer, REFIID Iid, void** Out) {
  if (!Out) return E_POINTER;
  *Out = nullptr;
  if (Outer) return CLASS_E_NOAGGREGATION;
  try {
    EnsureTypeInfo();
    TComPtr<IComModule> Object(new TComModule);
    return Object->QueryInterface(Iid, Out);
  } catch (...) {
    return HandleSafeCallException(std::current_exception(), IID_IClassFactory, L"Quorin.ComModule");
  }
}

HRESULT TComModuleFactory::LockServer(BOOL Lock) {
  Quorin::LockServer(Lock != FALSE);
  return S_OK;
}

const CLSID& TComModuleFactory::ClassId() const noexcept { return CLSID_ComModule; }

void TComModuleFactory::EnsureTypeInfo() {
  if (InterlockedCompareExchange(&FLoaded, 0, 0)) return;
  TSpinLock::TGuard Guard(FLoading);
  if (FLoaded) return;
  TComPtr<ITypeLib> Lib = ModuleTypeLib();
  FInfo = ReadAutoClassInfo(Lib.Get(), CLSID_ComModule, "TComModule", &TComModule::Implements);
  TBStr LibName;
  OleCheck(Lib->GetDocumentation(-1, LibName.Put(), nullptr, nullptr, nullptr));
  FLibName = LibName.ToWideString();
  InterlockedExchange(&FLoaded, 1);
}

const TComPtr<ITypeInfo>& TComModuleFactory::ClassTypeInfo() { EnsureTypeInfo(); return FInfo.ClassInfo; }
const TComPtr<ITypeInfo>& TComModuleFactory::DispatchTypeInfo() { EnsureTypeInfo(); return FInfo.DispatchInfo; }
const IID& TComModuleFactory::DispatchIid() { EnsureTypeInfo(); return FInfo.DispatchIid; }
std::wstring TComModuleFactory::ClassName() { EnsureTypeInfo(); return FInfo.ClassName; }
std::wstring TComModuleFactory::Description() { EnsureTypeInfo(); return FInfo.Description; }
std::wstring TComModuleFactory::ProgId() { EnsureTypeInfo(); return FLibName + L"." + FInfo.ClassName; }

TComModuleFactory& ComModuleFactory() {
  static TComModuleFactory* Factory = new TComModuleFactory;  // lives as long as the module
  return *Factory;
}

namespace {
// Created while the module loads, before any entry point can be called.
struct TFactoryAtLoad {
  TFactoryAtLoad() { ComModuleFactory(); }
} FactoryAtLoad;
}  // namespace

}  // namespace Quorin
