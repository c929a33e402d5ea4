// A client of the installed module, as a host would be one: creates "Quorin.ComModule" by its
// ProgID and calls ShowMainDialog without Init, which must refuse with E_UNEXPECTED and the
// module's error information. Built for both architectures: in a 64-bit Windows the 32-bit client
// finds the 32-bit package's class and the 64-bit one does not.
// Exit codes: 0 as expected; 2 the ProgID is unknown; 3 the class is not registered (for this
// architecture); 4 creation failed otherwise; 5 ShowMainDialog's result; 6 the error information;
// 7 the class was served by a file other than the one named on the command line.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <cstdio>
#include <cwchar>

#include "module/Quorin_h.h"

namespace {

int Check(const wchar_t* ExpectedServer) {
  CLSID Clsid{};
  HRESULT Hr = CLSIDFromProgID(L"Quorin.ComModule", &Clsid);
  if (FAILED(Hr)) {
    printf("CLSIDFromProgID: 0x%08lx\n", static_cast<unsigned long>(Hr));
    return 2;
  }
  IComModule* Module = nullptr;
  Hr = CoCreateInstance(Clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IComModule,
                        reinterpret_cast<void**>(&Module));
  if (Hr == REGDB_E_CLASSNOTREG) {
    printf("CoCreateInstance: class not registered\n");
    return 3;
  }
  if (FAILED(Hr) || !Module) {
    printf("CoCreateInstance: 0x%08lx\n", static_cast<unsigned long>(Hr));
    return 4;
  }
  int Result = 0;
  wchar_t Server[MAX_PATH] = L"", Long[MAX_PATH] = L"";
  GetModuleFileNameW(GetModuleHandleW(L"Quorin.dll"), Server, MAX_PATH);
  GetLongPathNameW(Server, Long, MAX_PATH);
  if (ExpectedServer && _wcsicmp(Long, ExpectedServer) != 0) {
    printf("served by %ls\n", Long);
    Result = 7;
  }
  Hr = Module->ShowMainDialog();
  if (Hr != E_UNEXPECTED) {
    printf("ShowMainDialog: 0x%08lx\n", static_cast<unsigned long>(Hr));
    Result = 5;
  } else {
    IErrorInfo* Info = nullptr;
    BSTR Source = nullptr, Description = nullptr;
    GUID Iid{};
    if (GetErrorInfo(0, &Info) != S_OK || !Info) {
      printf("no error information\n");
      Result = 6;
    } else {
      Info->GetSource(&Source);
      Info->GetDescription(&Description);
      Info->GetGUID(&Iid);
      printf("ShowMainDialog: E_UNEXPECTED, %ls: %ls\n", Source ? Source : L"", Description ? Description : L"");
      if (!Source || wcscmp(Source, L"Quorin.ComModule") != 0 || !Description || !*Description ||
          !IsEqualGUID(Iid, IID_IComModule))
        Result = 6;
      SysFreeString(Source);
      SysFreeString(Description);
      Info->Release();
    }
  }
  Module->Release();
  return Result;
}

}  // namespace

// PackageClient [EXPECTED_SERVER_PATH]
int wmain(int argc, wchar_t** argv) {
  if (FAILED(CoInitialize(nullptr))) return 4;
  int Result = Check(argc > 1 ? argv[1] : nullptr);
  CoUninitialize();
  return Result;
}
