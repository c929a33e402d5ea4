// What the package tests share: the packages and programs under test as Windows paths, running
// msiexec and other programs of the prefix, and snapshots of the registry and of folders that
// two states of the prefix can be compared by.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tests/uitest/UiTest.h"

namespace PackageTest {

extern const wchar_t ClassKey[];      // CLSID\{7E014849-886A-423B-B0CA-10B6E4E2EAAA}
extern const wchar_t UpgradeCode[];   // the package's upgrade code

// A Unix path of the build as a Windows path (wine maps / to Z:).
std::wstring WindowsPath(const char* UnixPath);
// The folder that the package installs into: <Program Files>\Quorin (the 32-bit Program Files).
std::wstring InstallFolder();
std::wstring InstalledDll();  // InstallFolder()\Quorin.dll

using QuorinTest::RunProgram;
// msiexec Options "Package" /qn; the exit code.
int Msiexec(const std::wstring& Options, const std::wstring& Package);
int RegSvr32(const std::wstring& Path, bool Unregister = false);

// Every key and value under HKEY_CLASSES_ROOT\Key, one line each ("key" and "key: name = data"),
// sorted; View is 0, KEY_WOW64_32KEY or KEY_WOW64_64KEY. Empty when the key does not exist.
std::vector<std::string> RegistryTree(HKEY Root, const std::wstring& Key, REGSAM View = 0);
// The keys and values of the class, its ProgID, the type library and its interface.
std::vector<std::string> ModuleEntries(REGSAM View = 0);
// Every file and folder under Folder with its size, one line each, sorted.
std::vector<std::string> FolderTree(const std::wstring& Folder);

// The lines of Before missing from After ("- line") and those new in After ("+ line").
std::vector<std::string> Difference(const std::vector<std::string>& Before,
                                    const std::vector<std::string>& After);

// The products installed with the package's upgrade code (product codes).
std::vector<std::wstring> InstalledProducts();
std::wstring ProductInfo(const std::wstring& ProductCode, const wchar_t* Property);
// A file's version from its version resource, "MAJOR.MINOR.PATCH"; empty without one.
std::wstring FileVersion(const std::wstring& Path);
// Removes whatever the package's products left installed (a failed test's cleanup).
void RemoveInstalledProducts();

std::string Utf8(const std::wstring& Text);
bool FileExists(const std::wstring& Path);
std::wstring ShortPath(const std::wstring& Path);

}  // namespace PackageTest
