#include <gtest/gtest.h>
#include "support/Variants.h"
using namespace Quorin;
TEST(Variants, Placeholder) { EXPECT_TRUE(IsNumericKind(VT_I4)); }
