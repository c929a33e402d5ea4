// Registration through regsvr32, read back from the registry. These tests change the prefix's
// registry and run one at a time.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include <cstdio>

#include "ModuleTestSupport.h"
#include "support/ComPtr.h"
#include "support/Strings.h"

using namespace ModuleTest;

namespace {

const wchar_t LibKey[] = L"TypeLib\\{8D073DF2-8D81-4B11-B508-B3E9EAEC6930}";

std::wstring FolderOf(const std::wstring& Path) { return Path.substr(0, Path.find_last_of(L'\\')); }

void ExpectNothingRegistered() {
  EXPECT_FALSE(ClassesKeyExists(ClassKey));
  EXPECT_FALSE(ClassesKeyExists(L"Quorin.ComModule"));
  EXPECT_FALSE(ClassesKeyExists(LibKey));
}

}  // namespace

TEST(Registration, RegisterWritesEveryKeyAndUnregisterRemovesThemAll) {
  const std::wstring Dll = DllPath();
  ASSERT_EQ(RegSvr32(Dll), 0);

  EXPECT_EQ(ReadClassesValue(ClassKey).Data, L"ComModule Object");
  const std::wstring Server = ReadClassesValue(std::wstring(ClassKey) + L"\\InprocServer32").Data;
  EXPECT_EQ(_wcsicmp(Server.c_str(), Dll.c_str()), 0) << Quorin::ToAnsi(Server);
  EXPECT_EQ(ReadClassesValue(std::wstring(ClassKey) + L"\\InprocServer32", L"ThreadingModel").Data,
            L"Apartment");
  EXPECT_EQ(ReadClassesValue(L"Quorin.ComModule").Data, L"ComModule Object");
  EXPECT_EQ(ReadClassesValue(L"Quorin.ComModule\\Clsid").Data,
            L"{7E014849-886A-423B-B0CA-10B6E4E2EAAA}");
  EXPECT_EQ(ReadClassesValue(std::wstring(ClassKey) + L"\\ProgID").Data, L"Quorin.ComModule");
  EXPECT_EQ(ReadClassesValue(std::wstring(ClassKey) + L"\\Version").Data, L"1.0");
  EXPECT_EQ(ReadClassesValue(std::wstring(ClassKey) + L"\\TypeLib").Data,
            L"{8D073DF2-8D81-4B11-B508-B3E9EAEC6930}");

  // The type library: the module file as its location, the module's folder as help folder.
  EXPECT_EQ(ReadClassesValue(std::wstring(LibKey) + L"\\1.0").Data, L"Quorin Library");
  const std::wstring LibPath =
      ReadClassesValue(std::wstring(LibKey) + (sizeof(void*) == 8 ? L"\\1.0\\409\\win64" : L"\\1.0\\409\\win32")).Data;
  EXPECT_EQ(_wcsicmp(LibPath.c_str(), Dll.c_str()), 0) << Quorin::ToAnsi(LibPath);
  EXPECT_EQ(_wcsicmp(ReadClassesValue(std::wstring(LibKey) + L"\\1.0\\HELPDIR").Data.c_str(),
                     FolderOf(Dll).c_str()),
            0);

  ASSERT_EQ(RegSvr32(Dll, true), 0);
  ExpectNothingRegistered();
  EXPECT_FALSE(ClassesKeyExists(L"Interface\\{77B17D96-8876-47DE-AE3B-C12D2562989E}"));
}

TEST(Registration, UnregisteringAServerThatIsNotRegisteredSucceeds) {
  const std::wstring Dll = DllPath();
  RegSvr32(Dll, true);
  EXPECT_EQ(RegSvr32(Dll, true), 0);
  ExpectNothingRegistered();
}

TEST(Registration, ClassIsCreatedByClsidAndByProgId) {
  const std::wstring Dll = DllPath();
  ASSERT_EQ(RegSvr32(Dll), 0);
  ASSERT_HRESULT_SUCCEEDED(CoInitialize(nullptr));
  {
    CLSID Clsid{};
    ASSERT_HRESULT_SUCCEEDED(CLSIDFromProgID(L"Quorin.ComModule", &Clsid));
    CLSID Expected{};
    CLSIDFromString(L"{7E014849-886A-423B-B0CA-10B6E4E2EAAA}", &Expected);
    EXPECT_TRUE(IsEqualCLSID(Clsid, Expected));

    Quorin::TComPtr<IDispatch> ByClsid, ByProgId;
    EXPECT_HRESULT_SUCCEEDED(
        CoCreateInstance(Expected, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, ByClsid.PutVoid()));
    EXPECT_TRUE(ByClsid);
    EXPECT_HRESULT_SUCCEEDED(
        CoCreateInstance(Clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, ByProgId.PutVoid()));
    EXPECT_TRUE(ByProgId);
    EXPECT_NE(ByClsid.Get(), ByProgId.Get());  // multiple instances: a new object each time
  }
  CoUninitialize();
  EXPECT_EQ(RegSvr32(Dll, true), 0);
}

// The build's own DLL is what runs: created through the registry as a host creates it, the
// object's code lies in that file, loaded into a process of the build's architecture (4-byte
// pointers and an i386 image for the product, 8 and AMD64 for the twin).
TEST(Registration, TheBuildsDllRunsInAProcessOfItsArchitecture) {
  const std::wstring Dll = DllPath();
  ASSERT_EQ(RegSvr32(Dll), 0);
  ASSERT_HRESULT_SUCCEEDED(CoInitialize(nullptr));
  {
    CLSID Clsid{};
    CLSIDFromString(L"{7E014849-886A-423B-B0CA-10B6E4E2EAAA}", &Clsid);
    Quorin::TComPtr<IDispatch> Object;
    ASSERT_HRESULT_SUCCEEDED(
        CoCreateInstance(Clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, Object.PutVoid()));
    const void* VTable = *reinterpret_cast<void* const*>(Object.Get());
    HMODULE Module = nullptr;
    ASSERT_TRUE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                       GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                   static_cast<LPCWSTR>(VTable), &Module));
    wchar_t Loaded[MAX_PATH];
    ASSERT_GT(GetModuleFileNameW(Module, Loaded, MAX_PATH), 0u);
    EXPECT_EQ(_wcsicmp(Loaded, Dll.c_str()), 0) << Quorin::ToAnsi(Loaded);

    const auto* Dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(Module);
    const auto* Nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
        reinterpret_cast<const BYTE*>(Module) + Dos->e_lfanew);
    EXPECT_EQ(sizeof(void*), static_cast<size_t>(QUORIN_POINTER_SIZE));
    EXPECT_EQ(Nt->FileHeader.Machine,
              QUORIN_POINTER_SIZE == 4 ? IMAGE_FILE_MACHINE_I386 : IMAGE_FILE_MACHINE_AMD64);
    std::printf("Quorin.dll: %zu-byte pointers, machine 0x%04x\n", sizeof(void*),
                static_cast<unsigned>(Nt->FileHeader.Machine));
  }
  CoUninitialize();
  EXPECT_EQ(RegSvr32(Dll, true), 0);
}

TEST(Registration, PathWithASpaceIsRegisteredInItsShortForm) {
  wchar_t Temp[MAX_PATH];
  GetTempPathW(MAX_PATH, Temp);
  const std::wstring Folder = std::wstring(Temp) + L"Quorin Module Folder";
  CreateDirectoryW(Folder.c_str(), nullptr);
  const std::wstring Copy = Folder + L"\\Quorin.dll";
  ASSERT_TRUE(CopyFileW(DllPath().c_str(), Copy.c_str(), FALSE));

  ASSERT_EQ(RegSvr32(Copy), 0);
  const std::wstring Server = ReadClassesValue(std::wstring(ClassKey) + L"\\InprocServer32").Data;
  wchar_t Short[MAX_PATH];
  ASSERT_GT(GetShortPathNameW(Copy.c_str(), Short, MAX_PATH), 0u);
  EXPECT_EQ(Server, Short);
  EXPECT_EQ(Server.find(L' '), std::wstring::npos) << Quorin::ToAnsi(Server);

  // The short form names the same file.
  EXPECT_NE(GetFileAttributesW(Server.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(RegSvr32(Copy, true), 0);
  ExpectNothingRegistered();
  DeleteFileW(Copy.c_str());
  RemoveDirectoryW(Folder.c_str());
}
