/* zeq_module: compiled zeq code built as a shared library for hosts to load
 * (panic_host.c links it, host.py loads it with ctypes).  It is built without
 * the short names (ZEQ_NO_SHORT_NAMES), which a module loaded into a host
 * keeps out of the host's namespace.
 *
 *   built as build/examples/libzeq_module.so
 */
#include "zeq.h"

#define MODULE_API __attribute__((visibility("default")))

MODULE_API int64_t checked_div100(int64_t d);
MODULE_API int64_t word_count(int64_t text);

/* 100 / d: a division by zero panics, as compiled zeq code does. */
int64_t checked_div100(int64_t d) {
    if (d == 0) zeq_panic_divzero();
    return 100 / d;
}

/* The words of a string record, which arrives as a 64-bit value. */
int64_t word_count(int64_t text) {
    return zeq_word_count((const ZeqString *)(uintptr_t)text);
}
