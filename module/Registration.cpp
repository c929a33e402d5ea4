#include "module/Registration.h"

#include <oleauto.h>

#include <string>
#include <vector>

#include "module/AutoObject.h"
#include "module/ClassFactory.h"
#include "support/Errors.h"
#include "support/Handles.h"

namespace Quorin {

namespace {

std::wstring GuidText(REFGUID Guid) {
  wchar_t Text[40];
  StringFromGUID2(Guid, Text, 40);  // upper case between braces
  return Text;
}

std::wstring ModulePath() {
  std::vector<wchar_t> Path(MAX_PATH);
  for (;;) {
    DWORD N = GetModuleFileNameW(ThisModule(), Path.data(), static_cast<DWORD>(Path.size()));
    if (N == 0) RaiseLastOSError();
    if (N < Path.size()) return std::wstring(Path.data(), N);
    Path.resize(Path.size() * 2);
  }
}

// The short 8.3 form of a path that contains a space; the path itself when the volume keeps
// no short names.
std::wstring ServerPath() {
  std::wstring Path = ModulePath();
  if (Path.find(L' ') == std::wstring::npos) return Path;
  DWORD N = GetShortPathNameW(Path.c_str(), nullptr, 0);
  if (N == 0) return Path;
  std::wstring Short(N, L'\0');
  N = GetShortPathNameW(Path.c_str(), &Short[0], N);
  if (N == 0) return Path;
  Short.resize(N);
  return Short;
}

void RegCheck(LSTATUS Status) {
  if (Status != ERROR_SUCCESS) RaiseOleSysError(HRESULT_FROM_WIN32(static_cast<DWORD>(Status)));
}

void WriteKey(const std::wstring& Key, const wchar_t* ValueName, const std::wstring& Data) {
  TRegKey Handle;
  RegCheck(RegCreateKeyExW(HKEY_CLASSES_ROOT, Key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_SET_VALUE, nullptr, Handle.Put(), nullptr));
  RegCheck(RegSetValueExW(Handle.Get(), ValueName, 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(Data.c_str()),
                          static_cast<DWORD>((Data.size() + 1) * sizeof(wchar_t))));
}

// A key that is not there is not a failure: unregistering twice succeeds.
void DeleteKey(const std::wstring& Key) {
  LSTATUS Status = RegDeleteKeyW(HKEY_CLASSES_ROOT, Key.c_str());
  if (Status != ERROR_FILE_NOT_FOUND) RegCheck(Status);
}

SYSKIND ModuleSysKind() { return sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32; }

}  // namespace

void RegisterServer() {
  TComModuleFactory& Factory = ComModuleFactory();
  const std::wstring Path = ModulePath();

  // The type library, with the module's folder as its help folder.
  TComPtr<ITypeLib> Lib = ModuleTypeLib();
  std::wstring HelpDir = Path.substr(0, Path.find_last_of(L"\\/"));
  OleCheck(RegisterTypeLib(Lib.Get(), const_cast<LPOLESTR>(Path.c_str()),
                           const_cast<LPOLESTR>(HelpDir.c_str())));
  TLIBATTR* Attr = nullptr;
  OleCheck(Lib->GetLibAttr(&Attr));
  const GUID LibId = Attr->guid;
  const WORD Major = Attr->wMajorVerNum, Minor = Attr->wMinorVerNum;
  Lib->ReleaseTLibAttr(Attr);

  const std::wstring ClassKey = L"CLSID\\" + GuidText(Factory.ClassId());
  const std::wstring ProgId = Factory.ProgId();
  const std::wstring Description = Factory.Description();
  wchar_t Version[32];
  swprintf(Version, 32, L"%d.%d", Major, Minor);

  WriteKey(ClassKey, nullptr, Description);
  WriteKey(ClassKey + L"\\InprocServer32", nullptr, ServerPath());
  WriteKey(ClassKey + L"\\InprocServer32", L"ThreadingModel", Factory.ThreadingModel());
  WriteKey(ProgId, nullptr, Description);
  WriteKey(ProgId + L"\\Clsid", nullptr, GuidText(Factory.ClassId()));
  WriteKey(ClassKey + L"\\ProgID", nullptr, ProgId);
  WriteKey(ClassKey + L"\\Version", nullptr, Version);
  WriteKey(ClassKey + L"\\TypeLib", nullptr, GuidText(LibId));
}

void UnregisterServer() {
  TComModuleFactory& Factory = ComModuleFactory();
  TComPtr<ITypeLib> Lib = ModuleTypeLib();
  TLIBATTR* Attr = nullptr;
  OleCheck(Lib->GetLibAttr(&Attr));
  const GUID LibId = Attr->guid;
  const WORD Major = Attr->wMajorVerNum, Minor = Attr->wMinorVerNum;
  const LCID Lcid = Attr->lcid;
  Lib->ReleaseTLibAttr(Attr);
  // A library that is not registered is already gone.
  wchar_t LibKey[80];
  swprintf(LibKey, 80, L"TypeLib\\%ls\\%d.%d", GuidText(LibId).c_str(), Major, Minor);
  TRegKey Registered;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, LibKey, 0, KEY_READ, Registered.Put()) == ERROR_SUCCESS) {
    Registered.Reset();
    OleCheck(UnRegisterTypeLib(LibId, Major, Minor, Lcid, ModuleSysKind()));
  }

  const std::wstring ClassKey = L"CLSID\\" + GuidText(Factory.ClassId());
  const std::wstring ProgId = Factory.ProgId();
  DeleteKey(ClassKey + L"\\TypeLib");
  DeleteKey(ClassKey + L"\\Version");
  DeleteKey(ClassKey + L"\\ProgID");
  DeleteKey(ProgId + L"\\Clsid");
  DeleteKey(ProgId);
  DeleteKey(ClassKey + L"\\InprocServer32");
  DeleteKey(ClassKey);
}

}  // namespace Quorin
