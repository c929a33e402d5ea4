// A host process that holds a shared GCC runtime (libgcc_s_*.dll, loaded for another plug-in
// built with MinGW) before or after it loads Quorin.dll, or unloads it again: the module's errors
// are thrown and caught inside the module all the same, so a call that must fail returns
// E_UNEXPECTED instead of ending the process. Each test is a process of its own (ctest runs
// them one by one), so the order of the loads is the test's.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include <string>

#include "ModuleTestSupport.h"
#include "module/Quorin_h.h"
#include "support/ComPtr.h"

using Quorin::TComPtr;

namespace {

class ForeignRuntime : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_HRESULT_SUCCEEDED(CoInitialize(nullptr)); }
  void TearDown() override {
    if (Module) FreeLibrary(Module);
    CoUninitialize();
  }

  // The shared GCC runtime of the toolchain, with the threads library it needs.
  void LoadRuntime() {
    Threads = LoadLibraryW(ModuleTest::WindowsPath(WINPTHREAD_DLL_UNIX_PATH).c_str());
    ASSERT_NE(Threads, nullptr);
    Runtime = LoadLibraryW(ModuleTest::WindowsPath(LIBGCC_DLL_UNIX_PATH).c_str());
    ASSERT_NE(Runtime, nullptr);
  }
  void UnloadRuntime() {
    FreeLibrary(Runtime);
    FreeLibrary(Threads);
    Runtime = Threads = nullptr;
  }
  void LoadModule() {
    Module = LoadLibraryW(ModuleTest::DllPath().c_str());
    ASSERT_NE(Module, nullptr);
  }

  // ShowMainDialog without Init: an error thrown inside the module and turned into the status.
  void ExpectUnexpected() {
    using TGetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    auto GetClassObject =
        reinterpret_cast<TGetClassObject>(
          reinterpret_cast<void*>(GetProcAddress(Module, "DllGetClassObject")));
    ASSERT_NE(GetClassObject, nullptr);
    TComPtr<IClassFactory> Factory;
    ASSERT_EQ(GetClassObject(CLSID_ComModule, IID_IClassFactory, Factory.PutVoid()), S_OK);
    TComPtr<IComModule> Object;
    ASSERT_EQ(Factory->CreateInstance(nullptr, IID_IComModule, Object.PutVoid()), S_OK);
    EXPECT_EQ(Object->ShowMainDialog(), E_UNEXPECTED);
    TComPtr<IErrorInfo> Info;
    ASSERT_EQ(GetErrorInfo(0, Info.Put()), S_OK);
    BSTR Description = nullptr;
    ASSERT_HRESULT_SUCCEEDED(Info->GetDescription(&Description));
    EXPECT_GT(SysStringLen(Description), 0u);
    SysFreeString(Description);
  }

  HMODULE Threads = nullptr, Runtime = nullptr, Module = nullptr;
};

}  // namespace

TEST_F(ForeignRuntime, LoadedBeforeTheModule) {
  LoadRuntime();
  LoadModule();
  ExpectUnexpected();
  ExpectUnexpected();
  UnloadRuntime();
  ExpectUnexpected();
}

TEST_F(ForeignRuntime, LoadedAfterTheModuleAndUnloadedAgain) {
  LoadModule();
  ExpectUnexpected();
  LoadRuntime();
  ExpectUnexpected();
  UnloadRuntime();
  ExpectUnexpected();
}

TEST_F(ForeignRuntime, ModuleUnloadedAndLoadedAgainUnderIt) {
  LoadRuntime();
  LoadModule();
  ExpectUnexpected();
  FreeLibrary(Module);
  Module = nullptr;
  LoadModule();
  ExpectUnexpected();
  UnloadRuntime();
  ExpectUnexpected();
}
