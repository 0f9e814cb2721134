/* Compiled with -std=c99 -pedantic-errors: the public header is plain C99. */
#include "zeq.h"

int zeq_header_c99_probe(void);
int zeq_header_c99_probe(void) {
    ZeqString s = {0, 0, 0};
    ZeqVec v = {0, 0, 0};
    ZeqStringBuilder b = {0, 0, 0};
    return (int)(s.len + v.len + b.len) + (int)sizeof(&zeq_ffi_begin);
}
