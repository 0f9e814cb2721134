// A string made from test text, released at the end of its scope; free of
// GoogleTest, so that the fuzzing harnesses share it.
#pragma once

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

}  // namespace zeqtest
