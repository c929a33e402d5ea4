// COM for the whole test program: the host's objects live in the main thread's apartment.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

namespace {

class TComEnvironment : public ::testing::Environment {
public:
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))); }
  void TearDown() override { CoUninitialize(); }
};

const ::testing::Environment* const ComEnvironment =
    ::testing::AddGlobalTestEnvironment(new TComEnvironment);

}  // namespace
