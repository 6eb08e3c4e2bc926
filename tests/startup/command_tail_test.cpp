#include "startup/startup.h"
#include <gtest/gtest.h>
TEST(CommandTail, Placeholder) { char t[] = "a b"; EXPECT_STREQ(CommandTail(t), "b"); }
