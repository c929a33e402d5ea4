#include "PackageSupport.h"

#include <msi.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "support/Handles.h"

namespace PackageTest {

const wchar_t ClassKey[] = L"CLSID\\{7E014849-886A-423B-B0CA-10B6E4E2EAAA}";
const wchar_t UpgradeCode[] = L"{3558ED61-FD62-471E-B2AA-978009C30E3B}";

std::string Utf8(const std::wstring& Text) {
  if (Text.empty()) return std::string();
  int N = WideCharToMultiByte(CP_UTF8, 0, Text.data(), static_cast<int>(Text.size()), nullptr, 0,
                              nullptr, nullptr);
  std::string Result(static_cast<size_t>(N), '\0');
  WideCharToMultiByte(CP_UTF8, 0, Text.data(), static_cast<int>(Text.size()), &Result[0], N,
                      nullptr, nullptr);
  return Result;
}

namespace {

std::string ValueText(DWORD Type, const std::vector<BYTE>& Data) {
  if (Type == REG_SZ || Type == REG_EXPAND_SZ) {
    std::wstring Text(reinterpret_cast<const wchar_t*>(Data.data()), Data.size() / sizeof(wchar_t));
    while (!Text.empty() && Text.back() == L'\0') Text.pop_back();
    return (Type == REG_SZ ? "sz:\"" : "expand_sz:\"") + Utf8(Text) + "\"";
  }
  std::string Hex = "type" + std::to_string(Type) + ":";
  char Byte[4];
  for (BYTE B : Data) {
    snprintf(Byte, sizeof(Byte), "%02x", B);
    Hex += Byte;
  }
  return Hex;
}

void WalkKey(HKEY Root, const std::wstring& Path, REGSAM View, std::vector<std::string>& Lines) {
  Quorin::TRegKey Key;
  if (RegOpenKeyExW(Root, Path.c_str(), 0, KEY_READ | View, Key.Put()) != ERROR_SUCCESS) return;
  Lines.push_back(Utf8(Path));
  wchar_t Name[16384];
  std::vector<BYTE> Data;
  for (DWORD I = 0;; ++I) {
    DWORD NameLength = 16384, Type = 0, Size = 0;
    LSTATUS Status = RegEnumValueW(Key.Get(), I, Name, &NameLength, nullptr, &Type, nullptr, &Size);
    if (Status != ERROR_SUCCESS) break;
    Data.assign(Size, 0);
    NameLength = 16384;
    if (RegEnumValueW(Key.Get(), I, Name, &NameLength, nullptr, &Type, Data.data(), &Size) != ERROR_SUCCESS)
      break;
    Data.resize(Size);
    Lines.push_back(Utf8(Path) + ": " + (NameLength ? Utf8(Name) : std::string("(default)")) + " = " +
                    ValueText(Type, Data));
  }
  std::vector<std::wstring> Subkeys;
  for (DWORD I = 0;; ++I) {
    DWORD NameLength = 16384;
    if (RegEnumKeyExW(Key.Get(), I, Name, &NameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      break;
    Subkeys.emplace_back(Name, NameLength);
  }
  for (const std::wstring& Subkey : Subkeys) WalkKey(Root, Path + L"\\" + Subkey, View, Lines);
}

void WalkFolder(const std::wstring& Folder, std::vector<std::string>& Lines) {
  WIN32_FIND_DATAW Found;
  HANDLE Find = FindFirstFileW((Folder + L"\\*").c_str(), &Found);
  if (Find == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring Name = Found.cFileName;
    if (Name == L"." || Name == L"..") continue;
    const std::wstring Path = Folder + L"\\" + Name;
    if (Found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      Lines.push_back(Utf8(Path) + "\\");
      WalkFolder(Path, Lines);
    } else {
      ULONGLONG Size = (static_cast<ULONGLONG>(Found.nFileSizeHigh) << 32) | Found.nFileSizeLow;
      Lines.push_back(Utf8(Path) + " " + std::to_string(Size));
    }
  } while (FindNextFileW(Find, &Found));
  FindClose(Find);
}

}  // namespace

std::wstring WindowsPath(const char* UnixPath) {
  std::wstring Path = L"Z:";
  for (const char* P = UnixPath; *P; ++P) Path += *P == '/' ? L'\\' : static_cast<wchar_t>(*P);
  return Path;
}

std::wstring InstallFolder() {
  // A 32-bit package goes to the 32-bit Program Files: "Program Files (x86)" on 64-bit Windows.
  wchar_t Folder[MAX_PATH];
  int Which = sizeof(void*) == 8 ? CSIDL_PROGRAM_FILESX86 : CSIDL_PROGRAM_FILES;
  if (FAILED(SHGetFolderPathW(nullptr, Which, nullptr, SHGFP_TYPE_CURRENT, Folder))) return L"";
  return std::wstring(Folder) + L"\\Quorin";
}

std::wstring InstalledDll() { return InstallFolder() + L"\\Quorin.dll"; }

int Msiexec(const std::wstring& Options, const std::wstring& Package) {
  return RunProgram(L"msiexec.exe " + Options + L" \"" + Package + L"\" /qn");
}

int RegSvr32(const std::wstring& Path, bool Unregister) {
  return RunProgram(std::wstring(L"regsvr32.exe /s ") + (Unregister ? L"/u " : L"") + L"\"" + Path + L"\"");
}

std::vector<std::string> RegistryTree(HKEY Root, const std::wstring& Key, REGSAM View) {
  std::vector<std::string> Lines;
  WalkKey(Root, Key, View, Lines);
  std::sort(Lines.begin(), Lines.end());
  return Lines;
}

std::vector<std::string> ModuleEntries(REGSAM View) {
  std::vector<std::string> Lines;
  for (const wchar_t* Key : {ClassKey, L"Quorin.ComModule", L"TypeLib\\{8D073DF2-8D81-4B11-B508-B3E9EAEC6930}",
                             L"Interface\\{77B17D96-8876-47DE-AE3B-C12D2562989E}"})
    WalkKey(HKEY_CLASSES_ROOT, Key, View, Lines);
  std::sort(Lines.begin(), Lines.end());
  return Lines;
}

std::vector<std::string> FolderTree(const std::wstring& Folder) {
  std::vector<std::string> Lines;
  WalkFolder(Folder, Lines);
  std::sort(Lines.begin(), Lines.end());
  return Lines;
}

std::vector<std::string> Difference(const std::vector<std::string>& Before,
                                    const std::vector<std::string>& After) {
  std::vector<std::string> Gone, New, Result;
  std::set_difference(Before.begin(), Before.end(), After.begin(), After.end(), std::back_inserter(Gone));
  std::set_difference(After.begin(), After.end(), Before.begin(), Before.end(), std::back_inserter(New));
  for (const std::string& Line : Gone) Result.push_back("- " + Line);
  for (const std::string& Line : New) Result.push_back("+ " + Line);
  return Result;
}

std::vector<std::wstring> InstalledProducts() {
  std::vector<std::wstring> Products;
  wchar_t Product[39];
  for (DWORD I = 0; MsiEnumRelatedProductsW(UpgradeCode, 0, I, Product) == ERROR_SUCCESS; ++I)
    Products.emplace_back(Product);
  return Products;
}

std::wstring ProductInfo(const std::wstring& ProductCode, const wchar_t* Property) {
  wchar_t Value[256];
  DWORD Size = 256;
  if (MsiGetProductInfoW(ProductCode.c_str(), Property, Value, &Size) != ERROR_SUCCESS) return L"";
  return Value;
}

std::wstring FileVersion(const std::wstring& Path) {
  DWORD Handle = 0;
  DWORD Size = GetFileVersionInfoSizeW(Path.c_str(), &Handle);
  if (Size == 0) return L"";
  std::vector<BYTE> Info(Size);
  if (!GetFileVersionInfoW(Path.c_str(), 0, Size, Info.data())) return L"";
  VS_FIXEDFILEINFO* Fixed = nullptr;
  UINT Length = 0;
  if (!VerQueryValueW(Info.data(), L"\\", reinterpret_cast<void**>(&Fixed), &Length) || !Fixed)
    return L"";
  return std::to_wstring(HIWORD(Fixed->dwFileVersionMS)) + L"." +
         std::to_wstring(LOWORD(Fixed->dwFileVersionMS)) + L"." +
         std::to_wstring(HIWORD(Fixed->dwFileVersionLS));
}

void RemoveInstalledProducts() {
  for (const std::wstring& Product : InstalledProducts()) RunProgram(L"msiexec.exe /x " + Product + L" /qn");
}

bool FileExists(const std::wstring& Path) {
  return GetFileAttributesW(Path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring ShortPath(const std::wstring& Path) {
  wchar_t Short[MAX_PATH];
  DWORD N = GetShortPathNameW(Path.c_str(), Short, MAX_PATH);
  return N > 0 && N < MAX_PATH ? std::wstring(Short, N) : std::wstring();
}

}  // namespace PackageTest
