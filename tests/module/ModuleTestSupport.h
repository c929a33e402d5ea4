// What the module's tests share: where the built Quorin.dll is, running programs of the prefix
// (regsvr32, cscript), and reading the registry back.
#pragma once

#include <windows.h>

#include <string>

namespace ModuleTest {

// The Quorin.dll of this build, as a Windows path.
std::wstring DllPath();
// A Unix path of the build as a Windows path (wine maps / to Z:).
std::wstring WindowsPath(const char* UnixPath);

// Registers the type library in the file at UnixPath (the host's, which an installed host has
// registered: the module's library imports it, and Init's parameter is resolved from it).
HRESULT RegisterTypeLibraryFile(const char* UnixPath);

// regsvr32 /s [/u] Path; the exit code.
int RegSvr32(const std::wstring& Path, bool Unregister = false);

// HKEY_CLASSES_ROOT\Key's value (nullptr for the default value); nullopt-like: Found false.
struct TRegValue {
  bool Found = false;
  std::wstring Data;
};
TRegValue ReadClassesValue(const std::wstring& Key, const wchar_t* ValueName = nullptr);
bool ClassesKeyExists(const std::wstring& Key);

extern const wchar_t ClassKey[];  // CLSID\{7E014849-886A-423B-B0CA-10B6E4E2EAAA}

}  // namespace ModuleTest
