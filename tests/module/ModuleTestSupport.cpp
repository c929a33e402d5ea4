#include "ModuleTestSupport.h"

#include <oleauto.h>

#include <vector>

#include "support/ComPtr.h"
#include "support/Handles.h"
#include "tests/uitest/UiTest.h"

namespace ModuleTest {

const wchar_t ClassKey[] = L"CLSID\\{7E014849-886A-423B-B0CA-10B6E4E2EAAA}";

std::wstring WindowsPath(const char* UnixPath) {
  std::wstring Path = L"Z:";
  for (const char* P = UnixPath; *P; ++P) Path += *P == '/' ? L'\\' : static_cast<wchar_t>(*P);
  return Path;
}

std::wstring DllPath() { return WindowsPath(QUORIN_DLL_UNIX_PATH); }

HRESULT RegisterTypeLibraryFile(const char* UnixPath) {
  Quorin::TComPtr<ITypeLib> Lib;
  return LoadTypeLibEx(WindowsPath(UnixPath).c_str(), REGKIND_REGISTER, Lib.Put());
}

int RegSvr32(const std::wstring& Path, bool Unregister) {
  return QuorinTest::RunProgram(std::wstring(L"regsvr32.exe /s ") + (Unregister ? L"/u " : L"") + L"\"" + Path + L"\"");
}

TRegValue ReadClassesValue(const std::wstring& Key, const wchar_t* ValueName) {
  TRegValue Result;
  Quorin::TRegKey Handle;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, Key.c_str(), 0, KEY_QUERY_VALUE, Handle.Put()) != ERROR_SUCCESS)
    return Result;
  DWORD Type = 0, Size = 0;
  if (RegQueryValueExW(Handle.Get(), ValueName, nullptr, &Type, nullptr, &Size) != ERROR_SUCCESS ||
      Type != REG_SZ)
    return Result;
  std::vector<wchar_t> Buffer(Size / sizeof(wchar_t) + 1, L'\0');
  if (RegQueryValueExW(Handle.Get(), ValueName, nullptr, &Type,
                       reinterpret_cast<BYTE*>(Buffer.data()), &Size) != ERROR_SUCCESS)
    return Result;
  Result.Found = true;
  Result.Data = Buffer.data();
  return Result;
}

bool ClassesKeyExists(const std::wstring& Key) {
  Quorin::TRegKey Handle;
  return RegOpenKeyExW(HKEY_CLASSES_ROOT, Key.c_str(), 0, KEY_READ, Handle.Put()) == ERROR_SUCCESS;
}

}  // namespace ModuleTest
