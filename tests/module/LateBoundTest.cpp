// A late-bound client that nobody here wrote: wine's VBScript host runs LateBound.vbs against
// the registered module.
#include <gtest/gtest.h>

#include <windows.h>
#include <oleauto.h>

#include "support/ComPtr.h"

#include "ModuleTestSupport.h"
#include "tests/uitest/UiTest.h"

using namespace ModuleTest;

TEST(LateBound, VBScriptCallsTheModuleByName) {
  // Init's parameter is typed from the host's type library, which an installed host has
  // registered; late-bound calls resolve it from there.
  ASSERT_HRESULT_SUCCEEDED(RegisterTypeLibraryFile(ORVEX_TLB_UNIX_PATH));
  const std::wstring Dll = DllPath();
  ASSERT_EQ(RegSvr32(Dll), 0);
  const std::wstring Script = WindowsPath(QUORIN_TEST_SOURCE_DIR "/LateBound.vbs");
  // cscript ends with exit code 0 on an unhandled error; the script checks Err itself and
  // reports through its exit code.
  EXPECT_EQ(QuorinTest::RunProgram(L"cscript.exe //nologo //B \"" + Script + L"\""), 0);
  EXPECT_EQ(RegSvr32(Dll, true), 0);
}
