/* A zeq program that fails three calls deep, in the way its first argument
 * names: panic, assert, bounds, divzero, oom, limit, or caught (a panic inside
 * a foreign-call region, which prints the recovered message).  Linked with
 * -rdynamic, so trace_outer and trace_inner are dynamic symbols, while the
 * static trace_middle is found in the symbol table only. */
#include "zeq.h"

#include <stdio.h>
#include <string.h>

#define NOINLINE __attribute__((noinline))

int64_t trace_outer(const char *kind);
int64_t trace_inner(const char *kind);

int64_t NOINLINE trace_inner(const char *kind) {
    static ZeqString message = {"three calls deep", 16, 17};
    int64_t array[] = {1, 1, 42};
    if (!strcmp(kind, "panic") || !strcmp(kind, "caught")) zeq_panic(&message);
    if (!strcmp(kind, "assert")) zeq_assert(0);
    if (!strcmp(kind, "bounds")) return zeq_array_get_safe(array, 7);
    if (!strcmp(kind, "divzero")) zeq_panic_divzero();
    if (!strcmp(kind, "oom")) return zeq_string_repeat(&message, INT64_MAX)->len;
    if (!strcmp(kind, "limit")) return zeq_string_repeat(&message, 1 << 20)->len;
    return 0;
}

static int64_t NOINLINE trace_middle(const char *kind) {
    return trace_inner(kind) + 1;
}

int64_t NOINLINE trace_outer(const char *kind) {
    return trace_middle(kind) + 1;
}

int64_t zeq_user_main(void) {
    const char *kind = zeq_string_as_cstr(zeq_get_arg(1));
    if (strcmp(kind, "caught") != 0) return trace_outer(kind);
    if (zeq_ffi_begin() == 0) trace_outer(kind);
    zeq_ffi_end();
    printf("caught: %s\n", zeq_ffi_error_message());
    return 0;
}
