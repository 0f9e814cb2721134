// A string made with arena mode off for the length of a scope.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "zeq.h"

namespace zeqtest {

struct Str {
    ZeqString *s;
    explicit Str(const std::string &t) : s(zeq_string_new(t.data(), static_cast<int64_t>(t.size()))) {}
    ~Str() { zeq_string_free(s); }
    Str(const Str &) = delete;
    Str &operator=(const Str &) = delete;
    operator ZeqString *() const { return s; }
};

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
