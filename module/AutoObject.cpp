#include "module/AutoObject.h"

#include <oleauto.h>

#include "support/ErrorReport.h"
#include "support/Errors.h"
#include "support/Strings.h"

namespace Quorin {

namespace {
LONG ObjectCount = 0;
LONG LockCount = 0;
}  // namespace

LONG LiveServerObjects() noexcept { return InterlockedCompareExchange(&ObjectCount, 0, 0); }
LONG ServerLocks() noexcept { return InterlockedCompareExchange(&LockCount, 0, 0); }

void LockServer(bool Lock) noexcept {
  if (Lock) InterlockedIncrement(&LockCount);
  else InterlockedDecrement(&LockCount);
}

HINSTANCE ThisModule() noexcept {
  HMODULE Module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                         GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ThisModule), &Module);
  return Module;
}

TComPtr<ITypeLib> ModuleTypeLib() {
  // Loaded once, by the first thread that asks (a failure is tried again by the next call), and
  // kept for the process's life, like the module (module/DllMain.cpp).
  static const TComPtr<ITypeLib>& Lib = *new TComPtr<ITypeLib>([] {
    wchar_t Path[MAX_PATH + 1];
    DWORD N = GetModuleFileNameW(ThisModule(), Path, MAX_PATH);
    if (N == 0 || N >= MAX_PATH) RaiseLastOSError();
    TComPtr<ITypeLib> Loaded;
    OleCheck(LoadTypeLibEx(Path, REGKIND_NONE, Loaded.Put()));
    return Loaded;
  }());
  return Lib;
}

TAutoObject::TAutoObject() noexcept { InterlockedIncrement(&ObjectCount); }
TAutoObject::~TAutoObject() { InterlockedDecrement(&ObjectCount); }

ULONG TAutoObject::DoRelease() noexcept {
  LONG N = InterlockedDecrement(&FRefCount);
  if (N == 0) delete this;
  return static_cast<ULONG>(N);
}

HRESULT HandleSafeCallException(std::exception_ptr Error, REFIID Iid, const wchar_t* Source) noexcept {
  HRESULT Result = E_UNEXPECTED;
  std::wstring Description;
  DWORD HelpContext = 0;
  try {
    try {
      std::rethrow_exception(Error);
    } catch (const EOleSysError& E) {
      if (FAILED(E.ErrorCode())) Result = E.ErrorCode();
      Description = ToWide(E.Message());
      HelpContext = E.HelpContext();
    } catch (const Exception& E) {
      Description = ToWide(E.Message());
      HelpContext = E.HelpContext();
    } catch (const std::exception& E) {
      Description = ToWide(ErrorMessageOf(E));
    } catch (...) {
      Description = L"Непредвиденная ошибка";
    }
    TComPtr<ICreateErrorInfo> Create;
    if (SUCCEEDED(CreateErrorInfo(Create.Put()))) {
      Create->SetGUID(Iid);
      Create->SetSource(const_cast<LPOLESTR>(Source));
      Create->SetDescription(const_cast<LPOLESTR>(Description.c_str()));
      Create->SetHelpContext(HelpContext);
      TComPtr<IErrorInfo> Info = Create.Query<IErrorInfo>();
      SetErrorInfo(0, Info.Get());
    }
  } catch (...) {
    // Out of memory while reporting: the status alone has to do.
  }
  return Result;
}

}  // namespace Quorin
