#include <gtest/gtest.h>
#include "support/Errors.h"
using namespace Quorin;
TEST(Errors, Trim) { EXPECT_EQ(TrimErrorText("No such table. \r\n..."), "No such table"); }
