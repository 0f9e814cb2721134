/* A host that keeps the library's short names out of its namespace and
 * brings globals of its own under those names, and under some of the
 * library's prefixed names too.  The library's calls to its own services
 * must still reach its own bodies: every clash below aborts if called. */
#define ZEQ_NO_SHORT_NAMES
#include "zeq.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int slice(int x);
int slice(int x) { (void)x; abort(); }
int len(void);
int len(void) { abort(); }
const char *vec_push = "not a function";
ZeqString *zeq_string_slice(const ZeqString *s, int64_t start, int64_t end) {
    (void)s; (void)start; (void)end;
    abort();
}
ZeqVec *zeq_vec_push(ZeqVec *v, int64_t value) {
    (void)v; (void)value;
    abort();
}

static int same(const ZeqString *s, const char *text) {
    return s && s->len == (int64_t)strlen(text) && memcmp(s->data, text, strlen(text)) == 0;
}

int64_t zeq_user_main(void) {
    ZeqString *text = zeq_string_from_cstr("  one two  ");
    ZeqString *needle = zeq_string_from_cstr("two");
    ZeqString *with = zeq_string_from_cstr("2");
    ZeqVec *table = build_kmp_table_str(needle);
    int ok = same(zeq_str_trim(text), "one two") &&
             same(zeq_str_replace(text, needle, with), "  one 2  ") &&
             zeq_vec_len(table) == 3 && zeq_string_len(text) == 11;
    zeq_vec_free(table);
    puts(ok ? "own bodies" : "taken over");
    return ok ? 0 : 1;
}
