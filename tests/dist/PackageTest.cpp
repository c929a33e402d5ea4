// The 32-bit package in a 32-bit Windows (a fresh prefix of its own): installed and removed with
// msiexec, and compared with what regsvr32 writes for the same file.
#include <gtest/gtest.h>

#include <windows.h>
#include <msi.h>
#include <objbase.h>

#include <algorithm>
#include <cstdlib>

#include "PackageSupport.h"

using namespace PackageTest;

namespace {

// The build's package, or the one that QUORIN_TEST_PACKAGE names (a Unix path: a signed release).
std::wstring ThePackage() {
  const char* Other = getenv("QUORIN_TEST_PACKAGE");
  return WindowsPath(Other && *Other ? Other : QUORIN_MSI_UNIX_PATH);
}
std::wstring ThePreviousPackage() { return WindowsPath(QUORIN_PREVIOUS_MSI_UNIX_PATH); }
std::wstring TheRebuiltPackage() { return WindowsPath(QUORIN_REBUILT_MSI_UNIX_PATH); }
std::wstring Client() { return L"\"" + WindowsPath(PACKAGE_CLIENT_UNIX_PATH) + L"\""; }

// What an installation can leave behind: the machine's and the user's software keys (without
// wine's own state of the session) and the folders that an installer writes to.
std::vector<std::string> MachineState() {
  // Wine lists the network cards under the machine's software key the first time a program asks
  // for them: hardware, not installation.
  std::vector<std::string> State;
  for (const std::string& Line : RegistryTree(HKEY_LOCAL_MACHINE, L"Software"))
    if (Line.rfind("Software\\Microsoft\\Windows NT\\CurrentVersion\\NetworkCards", 0) != 0)
      State.push_back(Line);
  for (const std::string& Line : RegistryTree(HKEY_CURRENT_USER, L"Software"))
    if (Line.rfind("Software\\Wine", 0) != 0) State.push_back("HKCU\\" + Line);
  wchar_t Windows[MAX_PATH];
  GetWindowsDirectoryW(Windows, MAX_PATH);
  for (const std::wstring& Folder : {InstallFolder().substr(0, InstallFolder().rfind(L'\\')),
                                     std::wstring(Windows) + L"\\Installer"})
    for (const std::string& Line : FolderTree(Folder)) State.push_back(Line);
  std::sort(State.begin(), State.end());
  return State;
}

// The entries of Programs and Features named Quorin.
long QuorinEntries() {
  const std::vector<std::string> Lines =
      RegistryTree(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall");
  return std::count_if(Lines.begin(), Lines.end(), [](const std::string& Line) {
    return Line.find(": DisplayName = sz:\"Quorin\"") != std::string::npos;
  });
}

class Package : public ::testing::Test {
protected:
  // A failed test must not leave its installation to the next one.
  void TearDown() override { RemoveInstalledProducts(); }
};

}  // namespace

TEST_F(Package, WritesWhatRegsvr32WritesForTheSameFile) {
  ASSERT_EQ(Msiexec(L"/i", ThePackage()), 0);
  const std::wstring Dll = InstalledDll();
  ASSERT_TRUE(FileExists(Dll));
  const std::vector<std::string> Installed = ModuleEntries();
  ASSERT_FALSE(Installed.empty());

  // The server path is the file's short form: its folder, Program Files, has a space.
  const std::wstring Short = ShortPath(Dll);
  ASSERT_FALSE(Short.empty());
  EXPECT_EQ(Short.find(L' '), std::wstring::npos);
  wchar_t Server[MAX_PATH] = L"";
  LONG Size = sizeof(Server);
  ASSERT_EQ(RegQueryValueW(HKEY_CLASSES_ROOT, (std::wstring(ClassKey) + L"\\InprocServer32").c_str(), Server, &Size),
            ERROR_SUCCESS);
  EXPECT_EQ(std::wstring(Server), Short);

  // Unregistering the installed file removes every entry of the package, and registering it
  // again writes them back exactly: the two lists are the same.
  ASSERT_EQ(RegSvr32(Dll, true), 0);
  EXPECT_EQ(ModuleEntries(), std::vector<std::string>());
  ASSERT_EQ(RegSvr32(Dll), 0);
  EXPECT_EQ(Difference(Installed, ModuleEntries()), std::vector<std::string>());

  ASSERT_EQ(Msiexec(L"/x", ThePackage()), 0);
  EXPECT_EQ(ModuleEntries(), std::vector<std::string>());
}

TEST_F(Package, ClientsCreateTheModuleByProgId) {
  ASSERT_EQ(Msiexec(L"/i", ThePackage()), 0);
  // Early-bound, from a program: the installed file serves the class.
  EXPECT_EQ(RunProgram(Client() + L" \"" + InstalledDll() + L"\""), 0);
  // Late-bound, from the script host.
  const std::wstring Script = WindowsPath(PACKAGE_TEST_SOURCE_DIR "/Client.vbs");
  EXPECT_EQ(RunProgram(L"cscript.exe //nologo //B \"" + Script + L"\""), 0);
  ASSERT_EQ(Msiexec(L"/x", ThePackage()), 0);
}

TEST_F(Package, HasAnEntryInProgramsAndFeatures) {
  ASSERT_EQ(Msiexec(L"/i", ThePackage()), 0);
  const std::vector<std::wstring> Products = InstalledProducts();
  ASSERT_EQ(Products.size(), 1u);
  const std::wstring Uninstall = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + Products[0];
  auto Read = [&](const wchar_t* Name) {
    wchar_t Value[256] = L"";
    DWORD Size = sizeof(Value);
    RegGetValueW(HKEY_LOCAL_MACHINE, Uninstall.c_str(), Name, RRF_RT_REG_SZ, nullptr, Value, &Size);
    return std::wstring(Value);
  };
  EXPECT_EQ(Read(L"DisplayName"), L"Quorin");
  EXPECT_EQ(Read(L"DisplayVersion"), L"" QUORIN_VERSION_TEXT);
  EXPECT_EQ(Read(L"Publisher"), L"Quorin");
  // Installed for the machine, not for the user who ran it.
  wchar_t Name[64] = L"";
  DWORD Length = 64;
  EXPECT_EQ(MsiGetProductInfoExW(Products[0].c_str(), nullptr, MSIINSTALLCONTEXT_MACHINE,
                                 INSTALLPROPERTY_PRODUCTNAME, Name, &Length),
            static_cast<UINT>(ERROR_SUCCESS));
  EXPECT_STREQ(Name, L"Quorin");
  Length = 64;
  EXPECT_NE(MsiGetProductInfoExW(Products[0].c_str(), nullptr, MSIINSTALLCONTEXT_USERUNMANAGED,
                                 INSTALLPROPERTY_PRODUCTNAME, Name, &Length),
            static_cast<UINT>(ERROR_SUCCESS));
  ASSERT_EQ(Msiexec(L"/x", ThePackage()), 0);
}

TEST_F(Package, RepairRestoresADeletedClassKey) {
  ASSERT_EQ(Msiexec(L"/i", ThePackage()), 0);
  const std::vector<std::string> Installed = ModuleEntries();
  ASSERT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, ClassKey), ERROR_SUCCESS);
  EXPECT_EQ(RunProgram(Client()), 3);

  // The repair that "msiexec /fomus" asks for (wine's msiexec has no /f for a package): every
  // file and every machine registry entry of the package written again.
  EXPECT_EQ(RunProgram(L"msiexec.exe /i \"" + ThePackage() + L"\" REINSTALL=ALL REINSTALLMODE=omus /qn"), 0);
  EXPECT_EQ(InstalledProducts().size(), 1u);
  EXPECT_EQ(Difference(Installed, ModuleEntries()), std::vector<std::string>());
  EXPECT_EQ(RunProgram(Client()), 0);
  ASSERT_EQ(Msiexec(L"/x", ThePackage()), 0);
}

TEST_F(Package, UpgradeFromALowerVersionLeavesOneProductWithTheNewFile) {
  ASSERT_EQ(Msiexec(L"/i", ThePreviousPackage()), 0);
  ASSERT_EQ(InstalledProducts().size(), 1u);
  EXPECT_EQ(FileVersion(InstalledDll()), L"" QUORIN_PREVIOUS_VERSION_TEXT);
  const std::wstring Previous = InstalledProducts()[0];

  ASSERT_EQ(Msiexec(L"/i", ThePackage()), 0);
  const std::vector<std::wstring> Products = InstalledProducts();
  ASSERT_EQ(Products.size(), 1u);
  EXPECT_NE(Products[0], Previous);
  EXPECT_EQ(ProductInfo(Products[0], INSTALLPROPERTY_VERSIONSTRING), L"" QUORIN_VERSION_TEXT);
  EXPECT_EQ(FileVersion(InstalledDll()), L"" QUORIN_VERSION_TEXT);
  EXPECT_EQ(RunProgram(Client() + L" \"" + InstalledDll() + L"\""), 0);

  // A lower version does not replace the newer one.
  EXPECT_NE(Msiexec(L"/i", ThePreviousPackage()), 0);
  EXPECT_EQ(InstalledProducts(), Products);
  EXPECT_EQ(FileVersion(InstalledDll()), L"" QUORIN_VERSION_TEXT);

  ASSERT_EQ(Msiexec(L"/x", ThePackage()), 0);
  EXPECT_TRUE(InstalledProducts().empty());
  EXPECT_EQ(ModuleEntries(), std::vector<std::string>());
}

TEST_F(Package, ARebuildOfTheSameVersionReplacesTheInstalledOne) {
  const std::vector<std::string> Before = MachineState();
  ASSERT_EQ(Msiexec(L"/i", ThePackage()), 0);
  ASSERT_EQ(InstalledProducts().size(), 1u);
  const std::wstring First = InstalledProducts()[0];
  const std::vector<std::string> Entries = ModuleEntries();

  ASSERT_EQ(Msiexec(L"/i", TheRebuiltPackage()), 0);
  const std::vector<std::wstring> Products = InstalledProducts();
  ASSERT_EQ(Products.size(), 1u);
  EXPECT_NE(Products[0], First);
  EXPECT_EQ(QuorinEntries(), 1);
  // The later file: the rebuilt DLL is a few bytes longer than the first.
  WIN32_FILE_ATTRIBUTE_DATA Installed = {}, Rebuilt = {};
  const std::wstring RebuiltDll = WindowsPath(QUORIN_REBUILT_DLL_UNIX_PATH);
  ASSERT_TRUE(GetFileAttributesExW(RebuiltDll.c_str(), GetFileExInfoStandard, &Rebuilt));
  ASSERT_TRUE(GetFileAttributesExW(InstalledDll().c_str(), GetFileExInfoStandard, &Installed));
  EXPECT_EQ(Installed.nFileSizeLow, Rebuilt.nFileSizeLow);
  EXPECT_EQ(Difference(Entries, ModuleEntries()), std::vector<std::string>());
  EXPECT_EQ(RunProgram(Client() + L" \"" + InstalledDll() + L"\""), 0);

  ASSERT_EQ(Msiexec(L"/x", TheRebuiltPackage()), 0);
  EXPECT_TRUE(InstalledProducts().empty());
  EXPECT_EQ(Difference(Before, MachineState()), std::vector<std::string>());
}

TEST_F(Package, UninstallLeavesNoFileAndNoKey) {
  const std::vector<std::string> Before = MachineState();
  ASSERT_EQ(Msiexec(L"/i", ThePackage()), 0);
  ASSERT_TRUE(FileExists(InstalledDll()));
  ASSERT_FALSE(Difference(Before, MachineState()).empty());

  ASSERT_EQ(Msiexec(L"/x", ThePackage()), 0);
  EXPECT_FALSE(FileExists(InstallFolder()));
  EXPECT_EQ(Difference(Before, MachineState()), std::vector<std::string>());
}
