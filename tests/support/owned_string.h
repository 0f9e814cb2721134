// Test strings: Str (str.h), and take, which checks a result string and
// releases it.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "str.h"
#include "zeq.h"

namespace zeqtest {

// Text of a new result string, which is released: checks that it is not
// null, that len = cap and that a NUL follows the content.
inline std::string take(ZeqString *r) {
    EXPECT_NE(r, nullptr);
    if (!r) return "<null>";
    EXPECT_EQ(r->cap, r->len);
    EXPECT_EQ(r->data[r->len], '\0');
    std::string t(r->data, static_cast<size_t>(r->len));
    zeq_string_free(r);
    return t;
}

}  // namespace zeqtest
