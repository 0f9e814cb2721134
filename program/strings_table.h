// The constant-string table of the compiled zeq unit and the alias
// macro with which the unit exports a service under its second name.
// Internal to the program module: the records are hidden, never exported.
#pragma once

#include "zeq.h"

// Exports `name` as a second symbol of `target` (same address, same type,
// same attributes).  The target must be defined in the same file.
#if defined(__has_attribute) && __has_attribute(copy)
#define ZEQ_PROGRAM_ALIAS(name, target) \
    extern "C" __typeof__(target) name __attribute__((alias(#target), copy(target)))
#else
#define ZEQ_PROGRAM_ALIAS(name, target) \
    extern "C" __typeof__(target) name __attribute__((alias(#target)))
#endif

// Static, read-only records with cap = len + 1 (the terminating NUL counted).
// Never released.  zeq_str_0 is the constant empty record.
#define ZEQ_CONSTANT_STRING(n) \
    extern "C" __attribute__((visibility("hidden"))) const ZeqString zeq_str_##n
ZEQ_CONSTANT_STRING(0);   // ""
ZEQ_CONSTANT_STRING(1);   // "hello world"
ZEQ_CONSTANT_STRING(2);   // "world"      (tail of "hello world")
ZEQ_CONSTANT_STRING(3);   // "xyz"
ZEQ_CONSTANT_STRING(4);   // "abcabc"     (inside "abcabcabc")
ZEQ_CONSTANT_STRING(5);   // "bc"         (inside "abcabcabc")
ZEQ_CONSTANT_STRING(6);   // "abcabcabc"
ZEQ_CONSTANT_STRING(7);   // "abc"        (tail of "abcabcabc")
ZEQ_CONSTANT_STRING(8);   // "hello"
ZEQ_CONSTANT_STRING(9);   // "hel"
ZEQ_CONSTANT_STRING(10);  // "llo"        (inside "hello")
ZEQ_CONSTANT_STRING(11);  // "racecar"
ZEQ_CONSTANT_STRING(12);  // "a,b,c,d"
#undef ZEQ_CONSTANT_STRING
