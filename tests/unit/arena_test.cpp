#include <gtest/gtest.h>
#include "zeq.h"
TEST(Placeholder, Builds) { EXPECT_EQ(zeq_string_len(nullptr), 0); }
