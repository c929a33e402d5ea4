// The 32-bit package in a 64-bit Windows (a fresh 64-bit prefix of its own): its entries land in
// the 32-bit view of the registry, which is the one a 32-bit host reads; a 64-bit client does not
// find the class, a 32-bit one does.
#include <gtest/gtest.h>

#include <windows.h>

#include "PackageSupport.h"

using namespace PackageTest;

namespace {

std::wstring ThePackage() { return WindowsPath(QUORIN_MSI_UNIX_PATH); }
std::wstring Client32() { return L"\"" + WindowsPath(PACKAGE_CLIENT32_UNIX_PATH) + L"\""; }
std::wstring Client64() { return L"\"" + WindowsPath(PACKAGE_CLIENT64_UNIX_PATH) + L"\""; }

bool ClassKeyIn(REGSAM View) {
  HKEY Key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, ClassKey, 0, KEY_READ | View, &Key) != ERROR_SUCCESS) return false;
  RegCloseKey(Key);
  return true;
}

}  // namespace

TEST(PackageOn64BitWindows, EntriesAreIn32BitViewAndOnlyA32BitClientFindsTheClass) {
  ASSERT_TRUE(FileExists(ThePackage())) << "the i686 build's package is missing: make build";
  ASSERT_TRUE(FileExists(WindowsPath(PACKAGE_CLIENT32_UNIX_PATH)));
  ASSERT_EQ(Msiexec(L"/i", ThePackage()), 0);
  const std::wstring Dll = InstalledDll();  // under Program Files (x86)
  ASSERT_TRUE(FileExists(Dll));

  EXPECT_TRUE(ClassKeyIn(KEY_WOW64_32KEY));
  EXPECT_FALSE(ClassKeyIn(KEY_WOW64_64KEY));
  const std::vector<std::string> Entries = ModuleEntries(KEY_WOW64_32KEY);
  const std::string Server = std::string("CLSID\\{7E014849-886A-423B-B0CA-10B6E4E2EAAA}\\InprocServer32: (default) = sz:\"");
  bool ServerFound = false;
  for (const std::string& Line : Entries)
    if (Line.rfind(Server, 0) == 0) {
      ServerFound = true;
      EXPECT_EQ(Line, Server + Utf8(ShortPath(Dll)) + "\"");
    }
  EXPECT_TRUE(ServerFound);

  EXPECT_EQ(RunProgram(Client32() + L" \"" + Dll + L"\""), 0);
  // Windows shares the ProgID between the views and does not find the class; wine keeps the
  // ProgID in the 32-bit view as well and does not find the ProgID. Either way, no module.
  const int Code64 = RunProgram(Client64());
  EXPECT_TRUE(Code64 == 2 || Code64 == 3) << Code64;
  // The script hosts of both architectures: the 32-bit one creates the module, the 64-bit one
  // cannot.
  wchar_t Windows[MAX_PATH];
  GetWindowsDirectoryW(Windows, MAX_PATH);
  const std::wstring Script = L" //nologo //B \"" + WindowsPath(PACKAGE_TEST_SOURCE_DIR "/Client.vbs") + L"\"";
  EXPECT_EQ(RunProgram(std::wstring(Windows) + L"\\SysWOW64\\cscript.exe" + Script), 0);
  EXPECT_EQ(RunProgram(std::wstring(Windows) + L"\\System32\\cscript.exe" + Script), 10);

  ASSERT_EQ(Msiexec(L"/x", ThePackage()), 0);
  EXPECT_FALSE(FileExists(InstallFolder()));
  EXPECT_EQ(ModuleEntries(KEY_WOW64_32KEY), std::vector<std::string>());
  EXPECT_EQ(ModuleEntries(KEY_WOW64_64KEY), std::vector<std::string>());
}
