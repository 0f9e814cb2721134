// Internal declarations shared by the string files.
#pragma once

#include "core/core.h"

#include <cstdint>

namespace zeq {

// A new string-vector handle, or -1 when the pool cannot grow.
int64_t svec_new_handle() noexcept;
// Appends s to the vector; false for an invalid handle or when the vector
// cannot grow (it then keeps its items).
bool svec_append(int64_t handle, ZeqString *s) noexcept;

}  // namespace zeq
