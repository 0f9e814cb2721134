// Compiled with -pedantic-errors: the public header is valid C++ and every
// function is noexcept there.
#include "zeq.h"

static_assert(noexcept(zeq_string_len(nullptr)), "exported functions are noexcept");
static_assert(sizeof(ZeqString) == 24 && sizeof(ZeqVec) == 24 && sizeof(ZeqStringBuilder) == 24);
static_assert(offsetof(ZeqVec, data) == 16 && offsetof(ZeqString, cap) == 16);

int zeq_header_cxx_probe();
int zeq_header_cxx_probe() { return static_cast<int>(sizeof(ZeqString)); }
