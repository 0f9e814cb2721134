/*
 * zeq.h - the public interface of the zeq runtime library (libzeq.so).
 *
 * Every service is a plain C function with the platform's standard calling
 * convention.  All values cross the boundary as 64-bit integers, doubles or
 * pointers.  Strings are pointers to ZeqString records; vectors and builders
 * are pointers to records that their own _new / _free functions manage.
 *
 * Memory: strings made by the runtime come from zeq_alloc, that is the calling
 * thread's arena while arena mode is on (g_arena_enabled non-zero), malloc
 * otherwise.  Arena strings die when the arena is reset, restored past them,
 * destroyed, or when main returns; malloc strings are released with
 * zeq_string_free.  Vectors and builders always come from malloc.
 *
 * Fatal errors (assertion, panic, bounds, division by zero) end the process
 * with one line on standard error and status 1, unless a foreign-call region
 * (zeq_ffi_begin / zeq_ffi_call) is open in the calling thread.
 *
 * Short names without the zeq_ prefix (vec_push, sb_new, print, min, ...) are
 * the names compiled zeq code uses.  A host that does not want them in its
 * global namespace defines ZEQ_NO_SHORT_NAMES before including this header;
 * the library exports them either way.
 *
 * Compiles as C99 and as C++ (where every function is noexcept).
 */
#ifndef ZEQ_H
#define ZEQ_H

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#define ZEQ_API __attribute__((visibility("default")))
#define ZEQ_NORETURN __attribute__((noreturn))
#define ZEQ_RETURNS_TWICE __attribute__((returns_twice))

#ifdef __cplusplus
#define ZEQ_NOEXCEPT noexcept
extern "C" {
#else
#define ZEQ_NOEXCEPT
#endif

/* ======================================================================== */
/* Records                                                                   */
/* ======================================================================== */

/* A byte string.  data points to len content bytes followed by a NUL byte
 * (content may itself hold NULs).  Strings made at run time have cap == len;
 * constant records emitted by the compiler have cap == len + 1.  Immutable. */
typedef struct ZeqString {
    char *data;
    int64_t len;
    int64_t cap;
} ZeqString;

/* Growable vector of 64-bit words (malloc memory, never the arena). */
typedef struct ZeqVec {
    int64_t cap;
    int64_t len;
    int64_t *data;
} ZeqVec;

/* Growable byte buffer, same field order as ZeqString.  len < cap and
 * data[len] == 0 after every operation. */
typedef struct ZeqStringBuilder {
    char *data;
    int64_t len;
    int64_t cap;
} ZeqStringBuilder;

/* ======================================================================== */
/* Runtime core: start-up, arguments, exit                                   */
/* ======================================================================== */

/* The library supplies a weak main: it records argc/argv for the calling
 * thread, turns arena mode on, calls zeq_user_main, releases the calling
 * thread's arena, turns arena mode off and returns the low 32 bits of the
 * user program's result.  A host with its own main calls zeq_init_runtime.
 * (Declared only on request, so that hosts may define main as they like.) */
#ifdef ZEQ_DECLARE_MAIN
ZEQ_API int main(int argc, char **argv) ZEQ_NOEXCEPT;
#endif

/* Entry of the compiled zeq program.  The library delivers one; an
 * executable that defines its own replaces it.  It is the program's
 * function, so it is declared without the library's noexcept
 * (a C++ program defines it as extern "C" int64_t zeq_user_main(void)). */
ZEQ_API int64_t zeq_user_main(void);

/* Records argc/argv in the calling thread (the array is kept, not copied)
 * and turns arena mode on.  No teardown: call zeq_arena_destroy for that. */
ZEQ_API void zeq_init_runtime(int32_t argc, char **argv) ZEQ_NOEXCEPT;

/* The calling thread's argument count: 0 in threads other than the one that
 * ran main or zeq_init_runtime. */
ZEQ_API int64_t zeq_arg_count(void) ZEQ_NOEXCEPT;

/* New string copying argument index; an empty string (never null) for an
 * index out of range or a null argument. */
ZEQ_API ZeqString *zeq_get_arg(int64_t index) ZEQ_NOEXCEPT;

/* Ends the process through exit() (stdio buffers are flushed) with the
 * status converted to int; the arena is not released. */
ZEQ_API ZEQ_NORETURN void zeq_exit(int64_t status) ZEQ_NOEXCEPT;

/* ======================================================================== */
/* Runtime core: arena allocator and raw memory                              */
/* ======================================================================== */

/* Process-wide arena flag: non-zero while string results come from the
 * per-thread arena.  Set by main, zeq_init_runtime and zeq_arena_mode;
 * unsynchronised, meant to be switched while one thread runs. */
ZEQ_API extern int32_t g_arena_enabled;

/* Arena control.  Each acts on the calling thread's block chain whether or
 * not arena mode is on, and returns 0 (zeq_arena_usage returns the bytes
 * reserved from the system by the calling thread's arena).
 *   mode     sets g_arena_enabled to flag (process-wide)
 *   reset    keeps the first block, empties it, releases the others
 *   save     records the thread's single save point
 *   restore  returns the arena to the save point (no-op without one)
 *   destroy  releases every block and turns arena mode off
 * The limit per thread is ZEQ_ARENA_MAX_SIZE (e.g. 8G, 512M, bytes; default
 * 4 GiB); exceeding it ends the process with a message, even inside a
 * foreign-call region.  A save point is cleared when reset, destroy or the
 * end of main releases the block it refers to. */
ZEQ_API int64_t zeq_arena_mode(int32_t flag) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_arena_reset(void) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_arena_save(void) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_arena_restore(void) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_arena_usage(void) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_arena_destroy(void) ZEQ_NOEXCEPT;

/* calloc(count, size); never from the arena, never released by the library. */
ZEQ_API void *zeq_calloc(uint64_t count, uint64_t size) ZEQ_NOEXCEPT;
/* malloc'd 8-byte box holding value; never released by the library. */
ZEQ_API int64_t *zeq_box_new_i64(int64_t value) ZEQ_NOEXCEPT;

/* Raw loads and stores: no checks; p must be valid (8 bytes for i64). */
ZEQ_API int64_t zeq_load_i64(const void *p) ZEQ_NOEXCEPT;
ZEQ_API void zeq_store_i64(void *p, int64_t value) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_load_u8(const void *p) ZEQ_NOEXCEPT;           /* 0..255 */
ZEQ_API void zeq_store_u8(void *p, int32_t value) ZEQ_NOEXCEPT;    /* low 8 bits */

/* ======================================================================== */
/* Runtime core: panics, assertions, foreign-call boundary                   */
/* ======================================================================== */

/* Fatal errors.  Outside a region: one line on standard error
 * ("Assertion failed!", "panic: <text>") and exit(1).  Inside a region of the
 * calling thread: the message (at most 511 bytes) is recorded and control
 * returns to the region's start.  A panic in a thread without a region of its
 * own ends the process.
 *   zeq_assert         returns when cond != 0
 *   zeq_panic          text up to the first NUL of msg->data; "panic" for null
 *   zeq_panic_bounds   "array index I out of bounds [0, LEN)"
 *   zeq_panic_divzero  "division by zero" */
ZEQ_API void zeq_assert(int32_t cond) ZEQ_NOEXCEPT;
ZEQ_API ZEQ_NORETURN void zeq_panic(const ZeqString *msg) ZEQ_NOEXCEPT;
ZEQ_API ZEQ_NORETURN void zeq_panic_bounds(int64_t index, int64_t len) ZEQ_NOEXCEPT;
ZEQ_API ZEQ_NORETURN void zeq_panic_divzero(void) ZEQ_NOEXCEPT;

/* Opens the calling thread's region (one per thread, not a stack): clears the
 * error flag and message and returns 0; returns a second time, with 1, when
 * a panic strikes below the caller in this thread.  Like setjmp, the caller's
 * frame must still be live when that happens.  Always pair with zeq_ffi_end. */
ZEQ_API ZEQ_RETURNS_TWICE int32_t zeq_ffi_begin(void) ZEQ_NOEXCEPT;
/* Closes the region; the error flag and message stay until the next begin. */
ZEQ_API void zeq_ffi_end(void) ZEQ_NOEXCEPT;
/* 1 after a panic was caught in this thread's region, else 0. */
ZEQ_API int32_t zeq_ffi_has_error(void) ZEQ_NOEXCEPT;
/* The thread's message buffer itself (NUL-terminated, valid for the thread's
 * lifetime; rewritten by the next begin or caught panic). */
ZEQ_API const char *zeq_ffi_error_message(void) ZEQ_NOEXCEPT;
/* For hosts that cannot call a returns-twice function: opens a region, calls
 * fn(arg), closes the region.  Returns 0 with *result set (when result is not
 * null), or 1 when a panic was caught (message via zeq_ffi_error_message). */
ZEQ_API int32_t zeq_ffi_call(int64_t (*fn)(int64_t), int64_t arg,
                             int64_t *result) ZEQ_NOEXCEPT;

/* ======================================================================== */
/* Runtime core: console                                                     */
/* ======================================================================== */

/* Printers go through stdio's buffered streams and do not flush.
 *   *_i64 "%ld", *_f64 "%.9f"; println forms add "\n".
 *   zeq_print_str / zeq_println_str print len bytes ("%.*s", stopping at an
 *   embedded NUL); print_str / println_str / eprint_str / eprintln_str print
 *   data up to its first NUL.  Null records print nothing, or a lone "\n" for
 *   the println forms.
 *   zeq_write_stdout writes exactly len bytes and flushes standard output. */
ZEQ_API void zeq_print_i64(int64_t value) ZEQ_NOEXCEPT;
ZEQ_API void zeq_println_i64(int64_t value) ZEQ_NOEXCEPT;
ZEQ_API void zeq_print_f64(double value) ZEQ_NOEXCEPT;
ZEQ_API void zeq_println_f64(double value) ZEQ_NOEXCEPT;
ZEQ_API void zeq_print_str(const ZeqString *s) ZEQ_NOEXCEPT;
ZEQ_API void zeq_println_str(const ZeqString *s) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_puts_cstr(const char *text) ZEQ_NOEXCEPT; /* text + "\n"; 0 */
ZEQ_API void zeq_write_stdout(const ZeqString *s) ZEQ_NOEXCEPT;

/* Readers.  zeq_read_int / zeq_read_f64 read one number with scanf ("%ld",
 * "%lf"), leaving the rest of the line; 0 when no number can be read.
 * zeq_read_line flushes standard output, then returns the next line (at most
 * 4095 bytes per call) without its trailing CR/LF bytes, or "__EOF__" at end
 * of input.  zeq_read_bytes flushes standard output and returns up to count
 * bytes (fewer at end of input; empty for count <= 0). */
ZEQ_API int64_t zeq_read_int(void) ZEQ_NOEXCEPT;
ZEQ_API double zeq_read_f64(void) ZEQ_NOEXCEPT;
ZEQ_API ZeqString *zeq_read_line(void) ZEQ_NOEXCEPT;
ZEQ_API ZeqString *zeq_read_bytes(int64_t count) ZEQ_NOEXCEPT;

/* ======================================================================== */
/* Runtime core: clocks, sleep, randomness, optimisation barrier             */
/* ======================================================================== */

/* Monotonic clock readings; only differences are meaningful. */
ZEQ_API int64_t zeq_time_ns(void) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_time_ms(void) ZEQ_NOEXCEPT;
/* Sleeps ms milliseconds (negative: 0).  Returns 0, or -1 when a signal
 * interrupted the sleep, which then ends early (sleep_ms is the same sleep
 * and always returns 0). */
ZEQ_API int32_t zeq_sleep_ms(int32_t ms) ZEQ_NOEXCEPT;
/* Per-thread xorshift generator (13, 7, 17); results in [0, 2^63 - 1].
 * Seeds itself from the clock on first use unless zeq_random_seed was called
 * in the thread; seed 0 acts as seed 1. */
ZEQ_API int64_t zeq_random_i64(void) ZEQ_NOEXCEPT;
ZEQ_API void zeq_random_seed(int64_t seed) ZEQ_NOEXCEPT;
/* Stores value into a process-wide sink and returns what is read back. */
ZEQ_API int64_t zeq_black_box(int64_t value) ZEQ_NOEXCEPT;

/* ======================================================================== */
/* Strings: record and basic operations                                      */
/* ======================================================================== */

/* Constructors return new strings from zeq_alloc (two allocations: bytes,
 * then record), never null, with cap == len and a NUL after the content.
 *   zeq_string_new        copies n bytes (n < 0 is taken as 0)
 *   zeq_string_from_cstr  copies up to the NUL; null gives ""
 *   zeq_chr               one byte (low 8 bits); byte 0 gives len 0
 *   zeq_str_char_at_str   one-byte string of s[index]; "" when out of range
 *   zeq_string_concat     a + b; "" when either is null (or has null data)
 *   zeq_string_concatN    operands in order; null operands count as empty
 *   zeq_string_slice      bytes [start, min(end, len)); "" when null,
 *                         end < start, start < 0 or start > len */
ZEQ_API ZeqString *zeq_string_new(const char *bytes, int64_t n) ZEQ_NOEXCEPT;
ZEQ_API ZeqString *zeq_string_from_cstr(const char *text) ZEQ_NOEXCEPT;
ZEQ_API ZeqString *zeq_chr(int64_t code) ZEQ_NOEXCEPT;
ZEQ_API ZeqString *zeq_str_char_at_str(const ZeqString *s, int64_t index) ZEQ_NOEXCEPT;
ZEQ_API ZeqString *zeq_string_concat(const ZeqString *a, const ZeqString *b) ZEQ_NOEXCEPT;
ZEQ_API ZeqString *zeq_string_concat3(const ZeqString *a, const ZeqString *b,
                                      const ZeqString *c) ZEQ_NOEXCEPT;
ZEQ_API ZeqString *zeq_string_concat5(const ZeqString *a, const ZeqString *b,
                                      const ZeqString *c, const ZeqString *d,
                                      const ZeqString *e) ZEQ_NOEXCEPT;
ZEQ_API ZeqString *zeq_string_concat7(const ZeqString *a, const ZeqString *b,
                                      const ZeqString *c, const ZeqString *d,
                                      const ZeqString *e, const ZeqString *f,
                                      const ZeqString *g) ZEQ_NOEXCEPT;
ZEQ_API ZeqString *zeq_string_slice(const ZeqString *s, int64_t start, int64_t end) ZEQ_NOEXCEPT;

/* Accessors.  Null-tolerant: zeq_string_len (0 for null or null data),
 * zeq_string_as_cstr (null), zeq_string_char_at / zeq_str_byte_at (byte
 * 0..255, 0 out of range).
 * Primitives for values known valid (no null test): zeq_text_len,
 * zeq_str_char_at (-1 out of range).  Raw NUL-terminated text: zeq_str_len
 * (strlen, not null), zeq_str_data (returns p), zeq_ord (*p, 0 for null). */
ZEQ_API int64_t zeq_string_len(const ZeqString *s) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_text_len(const ZeqString *s) ZEQ_NOEXCEPT;
ZEQ_API char *zeq_string_as_cstr(const ZeqString *s) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_string_char_at(const ZeqString *s, int64_t index) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_str_byte_at(const ZeqString *s, int64_t index) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_str_char_at(const ZeqString *s, int64_t index) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_ord(const char *p) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_str_len(const char *p) ZEQ_NOEXCEPT;
ZEQ_API const char *zeq_str_data(const char *p) ZEQ_NOEXCEPT;

/* Comparison and hashing.
 *   zeq_string_eq    1/0 content equality; same pointer (nulls too) is 1
 *   zeq_string_cmp   -1/0/1, unsigned bytes, shorter prefix first; null or
 *                    null data orders before any valid string
 *   zeq_str_compare  first byte difference a[i] - b[i], else len(a) - len(b);
 *                    pointers must not be null
 *   zeq_string_hash  64-bit FNV-1a of the content; 0 for null */
ZEQ_API int64_t zeq_string_eq(const ZeqString *a, const ZeqString *b) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_string_cmp(const ZeqString *a, const ZeqString *b) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_str_compare(const ZeqString *a, const ZeqString *b) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_string_hash(const ZeqString *s) ZEQ_NOEXCEPT;

/* Releases a string made while arena mode was off; a no-op (returning 0)
 * while arena mode is on or for null.  Never for constants. */
ZEQ_API int64_t zeq_string_free(ZeqString *s) ZEQ_NOEXCEPT;

/* Foreign-call strings: always malloc memory, whatever the mode.
 *   zeq_ffi_cstr_to_string  new malloc string copying text (null as "")
 *   zeq_ffi_string_data     data, or "" (never null) for null
 *   zeq_ffi_string_len      len, 0 for null or null data
 *   zeq_ffi_free_string     free()s data and record; null is a no-op */
ZEQ_API ZeqString *zeq_ffi_cstr_to_string(const char *text) ZEQ_NOEXCEPT;
ZEQ_API const char *zeq_ffi_string_data(const ZeqString *s) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_ffi_string_len(const ZeqString *s) ZEQ_NOEXCEPT;
ZEQ_API void zeq_ffi_free_string(ZeqString *s) ZEQ_NOEXCEPT;

/* ======================================================================== */
/* Strings: byte-string search family (compiled zeq code)                    */
/* ======================================================================== */

/* Every string argument must be a valid record (no null tests).  Bytes are
 * compared unsigned; a byte argument outside 0..255 matches nothing.
 * Whitespace is tab, LF, CR and space.
 *   build_kmp_table_str  new ZeqVec failure table (caller frees)
 *   kmp_search_str       first occurrence (KMP); 0 for an empty pattern
 *   str_match_at         pattern equals text at pos (caller keeps pos in
 *                        range); one-byte bool
 *   str_find / str_rfind first / last occurrence, -1 if none
 *   str_count            non-overlapping occurrences; n + 1 for ""
 *   token count          1 + separators (0 for ""); word count: runs of
 *                        non-whitespace; hamming: -1 for different lengths
 * Rewrites return new strings, except that zeq_str_replace returns text
 * itself when nothing matches, str_replace_all returns text itself for an
 * empty needle, and str_repeat returns a shared constant "" for count < 1.
 * Single bytes copied by reverse, upper, lower and replace_all drop NULs. */
ZEQ_API ZeqVec *build_kmp_table_str(const ZeqString *pattern) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_kmp_search(const ZeqString *text, const ZeqString *pattern) ZEQ_NOEXCEPT;
ZEQ_API bool str_match_at(const ZeqString *text, const ZeqString *pattern, int64_t pos) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_str_find(const ZeqString *text, const ZeqString *pattern) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_str_rfind(const ZeqString *text, const ZeqString *pattern) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_str_count(const ZeqString *text, const ZeqString *pattern) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_str_contains(const ZeqString *text, const ZeqString *pattern) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_str_starts_with(const ZeqString *text, const ZeqString *prefix) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_str_ends_with(const ZeqString *text, const ZeqString *suffix) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_str_find_byte(const ZeqString *text, int32_t byte) ZEQ_NOEXCEPT;
ZEQ_API int64_t str_rfind_byte(const ZeqString *text, int64_t byte) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_str_count_byte(const ZeqString *text, int32_t byte) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_token_count(const ZeqString *text, int32_t separator) ZEQ_NOEXCEPT;
ZEQ_API bool zeq_is_palindrome(const ZeqString *text) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_str_hamming(const ZeqString *a, const ZeqString *b) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_word_count(const ZeqString *text) ZEQ_NOEXCEPT;
ZEQ_API ZeqString *zeq_str_reverse(const ZeqString *text) ZEQ_NOEXCEPT;
ZEQ_API ZeqString *zeq_str_replace(const ZeqString *text, const ZeqString *needle,
                                   const ZeqString *replacement) ZEQ_NOEXCEPT;
ZEQ_API ZeqString *zeq_str_replace_all(const ZeqString *text, const ZeqString *needle,
                                       const ZeqString *replacement) ZEQ_NOEXCEPT;
ZEQ_API ZeqString *zeq_str_to_upper(const ZeqString *text) ZEQ_NOEXCEPT;
ZEQ_API ZeqString *zeq_str_to_lower(const ZeqString *text) ZEQ_NOEXCEPT;
ZEQ_API ZeqString *zeq_str_trim(const ZeqString *text) ZEQ_NOEXCEPT;
ZEQ_API ZeqString *zeq_str_repeat(const ZeqString *text, int64_t count) ZEQ_NOEXCEPT;

/* ======================================================================== */
/* Strings: string builder                                                   */
/* ======================================================================== */

/* Builders live in malloc memory (never the arena) until zeq_sb_free.
 * Capacity 1024 from zeq_sb_new, the request (64 if <= 0) from
 * zeq_sb_with_capacity; it only grows, by doubling.  Push operations return
 * the new length, or 0 for a null builder (or null string / null data).
 *   push_range     bytes [max(start, 0), min(end, len)); 0 when start >= end
 *   push_char      low 8 bits;  push_int  decimal;  push_f64  "%.9g"
 *   push_hex       "0x%lx";  push_bool  "true" / "false"
 *   zeq_sb_push_escaped  escapes tab, LF, CR, '"' and '\'
 *   sb_push_escaped      escapes only '"' and '\'
 *   zeq_sb_build   new string copy (zeq_alloc); "" for a null builder
 *   zeq_sb_contains  1 when item is an element of the comma-separated content
 *   zeq_sb_println   puts(data); "\n" alone for null; returns 0
 *   zeq_sb_len, zeq_sb_clear need a builder; clear keeps the capacity. */
ZEQ_API ZeqStringBuilder *zeq_sb_new(void) ZEQ_NOEXCEPT;
ZEQ_API ZeqStringBuilder *zeq_sb_with_capacity(int64_t capacity) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_sb_push(ZeqStringBuilder *b, const ZeqString *s) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_sb_push_range(ZeqStringBuilder *b, const ZeqString *s,
                                  int64_t start, int64_t end) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_sb_push_char(ZeqStringBuilder *b, int32_t c) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_sb_push_int(ZeqStringBuilder *b, int64_t value) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_sb_push_f64(ZeqStringBuilder *b, double value) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_sb_push_hex(ZeqStringBuilder *b, int64_t value) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_sb_push_bool(ZeqStringBuilder *b, int64_t value) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_sb_push_escaped(ZeqStringBuilder *b, const ZeqString *s) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_sb_len(const ZeqStringBuilder *b) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_sb_clear(ZeqStringBuilder *b) ZEQ_NOEXCEPT;
ZEQ_API ZeqString *zeq_sb_build(const ZeqStringBuilder *b) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_sb_contains(const ZeqStringBuilder *b, const ZeqString *item) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_sb_println(const ZeqStringBuilder *b) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_sb_free(ZeqStringBuilder *b) ZEQ_NOEXCEPT;

/* ======================================================================== */
/* Strings: transformations                                                  */
/* ======================================================================== */

/* Null-tolerant text services; pure, any thread.  n is the length of s, m
 * that of the needle / prefix / suffix.  A record with null data reads as
 * empty text.  "itself" means the argument record is returned (do not free
 * it separately); other string results are new strings from zeq_alloc.
 * Explicit lengths (trim*, substr, split segments) count every produced
 * byte; measured lengths (replace, case change, repeat, reverse, pad*,
 * join) stop at the first NUL of the produced bytes.
 *   starts_with / ends_with  0 for a null argument or m > n; 1 for m = 0
 *   contains     0 for null; 1 for m = 0; whether needle occurs
 *   index_of     -1 for null; 0 for m = 0; first occurrence or -1
 *   last_index_of -1 for null; n for m = 0; last occurrence or -1
 *   count        non-overlapping occurrences; 0 for null or m = 0
 *   is_empty     1 for null or n = 0
 *   trim         null -> null; itself when n = 0; else a new copy without
 *                leading/trailing tab, LF, CR, space
 *   trim_left / trim_right  itself when n = 0 or the first / last byte is
 *                not whitespace; else a new string
 *   substr       bytes [start, min(n, start + count)); "" for null, start
 *                or count < 0, start > n
 *   replace      every non-overlapping needle replaced; itself when any
 *                argument is null, m = 0, m > n or nothing matches
 *   to_upper / to_lower  ASCII letters only; null -> null; itself for n = 0
 *   repeat       s count times; a new "" for null or count <= 0
 *   reverse      null -> null; itself for n = 0
 *   pad_left / pad_right  to width bytes with the fill byte (low 8 bits;
 *                zeq_str_pad_*: the fill string's first byte, space when it
 *                is null or empty); null -> null; itself when n >= width
 *   split        new ZeqVec (zeq_vec_free it) of new segment strings:
 *                matches + 1 segments, empty ones included; empty for a null
 *                s; [s itself] for a null or empty separator
 *   join         the vector's strings (elements are ZeqString pointers;
 *                null ones add no bytes but keep their separators) with the
 *                separator between them; "" for an empty or null vector
 * Results whose size cannot be represented (repeat count x length, replace
 * growth, pad width) end the process with the out-of-memory message. */
ZEQ_API int64_t zeq_string_starts_with(const ZeqString *s, const ZeqString *prefix) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_string_ends_with(const ZeqString *s, const ZeqString *suffix) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_string_contains(const ZeqString *s, const ZeqString *needle) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_string_index_of(const ZeqString *s, const ZeqString *needle) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_string_last_index_of(const ZeqString *s, const ZeqString *needle) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_string_count(const ZeqString *s, const ZeqString *needle) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_string_is_empty(const ZeqString *s) ZEQ_NOEXCEPT;
ZEQ_API ZeqString *zeq_string_trim(const ZeqString *s) ZEQ_NOEXCEPT;
ZEQ_API ZeqString *zeq_string_trim_left(const ZeqString *s) ZEQ_NOEXCEPT;
ZEQ_API ZeqString *zeq_string_trim_right(const ZeqString *s) ZEQ_NOEXCEPT;
ZEQ_API ZeqString *zeq_string_substr(const ZeqString *s, int64_t start, int64_t count) ZEQ_NOEXCEPT;
ZEQ_API ZeqString *zeq_string_replace(const ZeqString *s, const ZeqString *needle,
                                      const ZeqString *replacement) ZEQ_NOEXCEPT;
ZEQ_API ZeqString *zeq_string_to_upper(const ZeqString *s) ZEQ_NOEXCEPT;
ZEQ_API ZeqString *zeq_string_to_lower(const ZeqString *s) ZEQ_NOEXCEPT;
ZEQ_API ZeqString *zeq_string_repeat(const ZeqString *s, int64_t count) ZEQ_NOEXCEPT;
ZEQ_API ZeqString *zeq_string_reverse(const ZeqString *s) ZEQ_NOEXCEPT;
ZEQ_API ZeqString *zeq_string_pad_left(const ZeqString *s, int64_t width, int32_t fill) ZEQ_NOEXCEPT;
ZEQ_API ZeqString *zeq_string_pad_right(const ZeqString *s, int64_t width, int32_t fill) ZEQ_NOEXCEPT;
ZEQ_API ZeqString *zeq_str_pad_left(const ZeqString *s, int64_t width, const ZeqString *fill) ZEQ_NOEXCEPT;
ZEQ_API ZeqString *zeq_str_pad_right(const ZeqString *s, int64_t width, const ZeqString *fill) ZEQ_NOEXCEPT;
ZEQ_API ZeqVec *zeq_string_split(const ZeqString *s, const ZeqString *separator) ZEQ_NOEXCEPT;
ZEQ_API ZeqString *zeq_string_join(const ZeqVec *v, const ZeqString *separator) ZEQ_NOEXCEPT;

/* ======================================================================== */
/* Strings: number and text conversions                                      */
/* ======================================================================== */

/* New strings from zeq_alloc with len = cap = the text's length; pure, any
 * thread.
 *   zeq_int_to_string, zeq_fast_i2s  "%ld"
 *   zeq_int_to_hex   "%lx" of the 64 bits as unsigned (no prefix)
 *   zeq_to_hex       "0x%lx", or "-0x" and the magnitude's digits when
 *                    negative (INT64_MIN: -0x8000000000000000)
 *   zeq_to_octal     "0o%lo", or "-0o" and the magnitude's digits
 *   zeq_int_to_bin   binary digits of the 64 bits as unsigned, "0" for 0
 *   zeq_to_binary    "0b" and the same digits
 *   zeq_f64_to_string  "%.9g" (byte-identical to snprintf: "nan", "-inf",
 *                    "-0", "1e+20", ...)
 *   zeq_bool_to_string "true" when the low 8 bits are non-zero, else "false"
 *   zeq_char_to_string  UTF-8 of the code point (1 to 4 bytes, no
 *                    validation; values <= 127, negatives included, give
 *                    their low byte) in 5 bytes from zeq_alloc, NUL-ended
 * Parsing reads the bytes of s up to its first NUL and never past len:
 *   zeq_parse_int    strtol base 10: leading white space, optional sign,
 *                    digits; 0 without digits (or for null); INT64_MAX /
 *                    INT64_MIN on overflow
 *   zeq_parse_f64    strtod (exponents, inf, nan, hex forms); 0.0 without a
 *                    number or for null */
ZEQ_API ZeqString *zeq_int_to_string(int64_t value) ZEQ_NOEXCEPT;
ZEQ_API ZeqString *zeq_fast_i2s(int64_t value) ZEQ_NOEXCEPT;
ZEQ_API ZeqString *zeq_int_to_hex(int64_t value) ZEQ_NOEXCEPT;
ZEQ_API ZeqString *zeq_to_hex(int64_t value) ZEQ_NOEXCEPT;
ZEQ_API ZeqString *zeq_to_octal(int64_t value) ZEQ_NOEXCEPT;
ZEQ_API ZeqString *zeq_int_to_bin(int64_t value) ZEQ_NOEXCEPT;
ZEQ_API ZeqString *zeq_to_binary(int64_t value) ZEQ_NOEXCEPT;
ZEQ_API ZeqString *zeq_f64_to_string(double value) ZEQ_NOEXCEPT;
ZEQ_API ZeqString *zeq_bool_to_string(int64_t value) ZEQ_NOEXCEPT;
ZEQ_API char *zeq_char_to_string(int32_t code) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_parse_int(const ZeqString *s) ZEQ_NOEXCEPT;
ZEQ_API double zeq_parse_f64(const ZeqString *s) ZEQ_NOEXCEPT;

/* ======================================================================== */
/* Strings: string vectors and splitting                                     */
/* ======================================================================== */

/* A string vector is a growable list of ZeqString pointers named by a 64-bit
 * handle into one process-wide pool.  Handles are issued 0, 1, 2, ... and
 * never reissued; -1 is the invalid handle, and any handle never issued
 * (negative ones included) is answered with the neutral result listed below
 * without touching memory.  A freed handle stays valid as an empty vector.
 * Vectors hold pointers and never copy or free a string; their item arrays
 * come from malloc in either allocation mode, so a vector can outlive the
 * arena strings it points to.  Items may be null.
 * Threads: creating vectors is safe from any thread, and distinct vectors
 * may be used by different threads at once (the pool never moves a slot);
 * one vector read and changed by two threads at once needs the caller's own
 * lock.
 *   new        new empty vector; -1 when the pool cannot grow
 *   push       appends s (null too): 0, or -1 (invalid handle / no memory)
 *   len        item count; 0 for an invalid handle
 *   get        item index; null when invalid or outside [0, len)
 *   remove     removes item index, shifting the rest down: 1, else 0
 *   clear      count to 0, capacity kept; returns 0
 *   free       releases the item array, the handle stays usable; returns 0
 *   index_of   lowest index whose item has the same len and bytes as s; null
 *              items never match; -1 for none, a null s or an invalid handle
 *   contains   1 when index_of finds an index, else 0
 *   sort       in place: null items first, then unsigned bytes, shorter
 *              prefix first (not stable); returns 0
 *   join       new string of the items' bytes with separator between them;
 *              a null item adds no bytes but keeps its separators; a null
 *              separator adds nothing; "" for an invalid or empty vector */
ZEQ_API int64_t zeq_svec_new(void) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_svec_push(int64_t handle, ZeqString *s) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_svec_len(int64_t handle) ZEQ_NOEXCEPT;
ZEQ_API ZeqString *zeq_svec_get(int64_t handle, int64_t index) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_svec_remove(int64_t handle, int64_t index) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_svec_clear(int64_t handle) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_svec_free(int64_t handle) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_svec_index_of(int64_t handle, const ZeqString *s) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_svec_contains(int64_t handle, const ZeqString *s) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_svec_sort(int64_t handle) ZEQ_NOEXCEPT;
ZEQ_API ZeqString *zeq_svec_join(int64_t handle, const ZeqString *separator) ZEQ_NOEXCEPT;

/* Splitting: each returns a new string vector (or -1 when the pool cannot
 * grow) of new strings with explicit lengths.
 *   zeq_str_split             segments between separators: leading and
 *                             inner empty segments kept, none after a final
 *                             separator; no segments for a null or empty s;
 *                             one string per byte for a null or empty
 *                             separator
 *   zeq_str_split_whitespace  the runs of bytes other than tab, LF, CR and
 *                             space (never an empty string)
 *   zeq_str_lines             the lines split at LF, each without one CR
 *                             just before its end; a final LF adds no empty
 *                             line */
ZEQ_API int64_t zeq_str_split(const ZeqString *s, const ZeqString *separator) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_str_split_whitespace(const ZeqString *s) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_str_lines(const ZeqString *s) ZEQ_NOEXCEPT;

/* ======================================================================== */
/* Collections: integer vector                                               */
/* ======================================================================== */

/* No operation tests the handle for null.  Capacity 8 from zeq_vec_new,
 * max(n, 1) from zeq_vec_with_capacity; doubled when an element finds the
 * buffer full, never shrunk.
 *   get / set / swap  indexes are not validated (0 <= i < len)
 *   pop / remove      0 and no change when empty / out of range
 *   insert            index clamped to [0, len]
 *   sort              ascending signed order, in place
 *   dedup             collapses runs of equal adjacent elements
 *   sum / product     wrap modulo 2^64 (0 / 1 when empty)
 *   min / max         INT64_MAX / INT64_MIN when empty
 *   copy / slice      new vectors (slice bounds clamped; cap 8 when empty)
 *   extend            appends src's elements as of the call (dst may be src) */
ZEQ_API ZeqVec *zeq_vec_new(void) ZEQ_NOEXCEPT;
ZEQ_API ZeqVec *zeq_vec_with_capacity(int64_t n) ZEQ_NOEXCEPT;
ZEQ_API ZeqVec *zeq_vec_push(ZeqVec *v, int64_t value) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_vec_pop(ZeqVec *v) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_vec_get(const ZeqVec *v, int64_t index) ZEQ_NOEXCEPT;
ZEQ_API void zeq_vec_set(ZeqVec *v, int64_t index, int64_t value) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_vec_len(const ZeqVec *v) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_vec_cap(const ZeqVec *v) ZEQ_NOEXCEPT;
ZEQ_API void zeq_vec_free(ZeqVec *v) ZEQ_NOEXCEPT;
ZEQ_API void zeq_vec_clear(ZeqVec *v) ZEQ_NOEXCEPT;
ZEQ_API void zeq_vec_reverse(ZeqVec *v) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_vec_contains(const ZeqVec *v, int64_t value) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_vec_index_of(const ZeqVec *v, int64_t value) ZEQ_NOEXCEPT;
ZEQ_API void zeq_vec_swap(ZeqVec *v, int64_t i, int64_t j) ZEQ_NOEXCEPT;
ZEQ_API void zeq_vec_sort(ZeqVec *v) ZEQ_NOEXCEPT;
ZEQ_API void zeq_vec_dedup(ZeqVec *v) ZEQ_NOEXCEPT;
ZEQ_API void zeq_vec_fill(ZeqVec *v, int64_t value) ZEQ_NOEXCEPT;
ZEQ_API ZeqVec *zeq_vec_copy(const ZeqVec *v) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_vec_sum(const ZeqVec *v) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_vec_product(const ZeqVec *v) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_vec_min(const ZeqVec *v) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_vec_max(const ZeqVec *v) ZEQ_NOEXCEPT;
ZEQ_API ZeqVec *zeq_vec_slice(const ZeqVec *v, int64_t start, int64_t end) ZEQ_NOEXCEPT;
ZEQ_API void zeq_vec_extend(ZeqVec *dst, const ZeqVec *src) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_vec_remove(ZeqVec *v, int64_t index) ZEQ_NOEXCEPT;
ZEQ_API void zeq_vec_insert(ZeqVec *v, int64_t index, int64_t value) ZEQ_NOEXCEPT;

/* ======================================================================== */
/* Collections: checked arrays                                               */
/* ======================================================================== */

/* An array is one block of 64-bit words: arr[0] capacity, arr[1] length n,
 * arr[2 .. n + 1] the elements; functions take the address of arr[0].
 * Compiled code creates arrays; every array these functions build has
 * capacity == length and comes from zeq_alloc (the calling thread's arena in
 * arena mode, else malloc; never freed here).  No null tests: every call needs
 * a valid array.  Inputs are never changed, except by zeq_array_set_safe.
 *   get_safe / set_safe  0 <= index < len, else the bounds panic
 *                        "array index I out of bounds [0, LEN)" (recorded
 *                        inside a foreign-call region); nothing is touched
 *   push     new array: arr's elements, then value
 *   pop      new array without the last element; arr itself when empty
 *   concat   new array: a's elements, then b's
 *   slice    new array of elements [max(start, 0), min(end, len)); a new
 *            empty array (both header words 0) for an empty range
 * No locking: concurrent set_safe on one array needs outside synchronisation,
 * and arena arrays live only as long as their thread's arena. */
ZEQ_API int64_t zeq_array_len(const int64_t *arr) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_array_get_safe(const int64_t *arr, int64_t index) ZEQ_NOEXCEPT;
ZEQ_API void zeq_array_set_safe(int64_t *arr, int64_t index, int64_t value) ZEQ_NOEXCEPT;
ZEQ_API int64_t *zeq_array_push(const int64_t *arr, int64_t value) ZEQ_NOEXCEPT;
ZEQ_API int64_t *zeq_array_pop(int64_t *arr) ZEQ_NOEXCEPT;
ZEQ_API int64_t *zeq_array_concat(const int64_t *a, const int64_t *b) ZEQ_NOEXCEPT;
ZEQ_API int64_t *zeq_array_slice(const int64_t *arr, int64_t start, int64_t end) ZEQ_NOEXCEPT;

/* ======================================================================== */
/* Collections: integer hash map                                             */
/* ======================================================================== */

/* Integer keys to 64-bit values (names without a prefix, no second names).
 * One open-addressing table of 131,072 slots, zero-filled at creation and
 * never resized: a map holds at most 131,072 keys.  Once every slot is
 * occupied a new key is refused (insert stores nothing and returns 0) while
 * present keys can still be replaced and removed.  A key's home slot is the
 * low 17 bits of h ^ (h >> 32), h = key * 0x517cc1b727220a95 (wrapping);
 * collisions probe the following slots (linear probing, wrapping).  Removed
 * keys leave deleted markers that are reused by later inserts, never
 * cleared.
 * Map memory is malloc/calloc, never the arena.  A null map is accepted
 * everywhere (free: nothing; len, insert: 0; get, remove: INT64_MIN;
 * contains: 0; keys, values: an empty vector).
 *   new       null when memory is short
 *   insert    previous value when the key was present, else 0
 *   get / remove  the value; INT64_MIN when absent (contains is the
 *             reliable test)
 *   keys / values  new ZeqVec (caller frees with zeq_vec_free) in ascending
 *             slot order; entry i of both belongs to one key while the map
 *             is unchanged between the calls.  A result vector that cannot
 *             be allocated ends the process with the out-of-memory message.
 * No locking: one thread at a time per map. */
typedef struct ZeqHashMap ZeqHashMap;
ZEQ_API ZeqHashMap *hashmap_new(void) ZEQ_NOEXCEPT;
ZEQ_API void hashmap_free(ZeqHashMap *map) ZEQ_NOEXCEPT;
ZEQ_API int64_t hashmap_len(const ZeqHashMap *map) ZEQ_NOEXCEPT;
ZEQ_API int64_t hashmap_insert(ZeqHashMap *map, int64_t key, int64_t value) ZEQ_NOEXCEPT;
ZEQ_API int64_t hashmap_get(const ZeqHashMap *map, int64_t key) ZEQ_NOEXCEPT;
ZEQ_API int64_t hashmap_remove(ZeqHashMap *map, int64_t key) ZEQ_NOEXCEPT;
ZEQ_API int64_t hashmap_contains(const ZeqHashMap *map, int64_t key) ZEQ_NOEXCEPT;
ZEQ_API ZeqVec *hashmap_keys(const ZeqHashMap *map) ZEQ_NOEXCEPT;
ZEQ_API ZeqVec *hashmap_values(const ZeqHashMap *map) ZEQ_NOEXCEPT;

/* ======================================================================== */
/* Collections: string-keyed hash map                                        */
/* ======================================================================== */

/* String keys to 64-bit values in an open-addressing table of 4,096 slots
 * that doubles before an insert that finds len * 10 > cap * 7 (a failed
 * doubling leaves the map working at its size).  Keys hash with 64-bit FNV-1a
 * (zeq_string_hash) with its high half XORed into the low half.
 * Keys: the map stores the caller's key pointers and never copies, frees or
 * changes key text: the caller keeps each key alive and unchanged while its
 * entry exists (an arena key dies with the arena).  Two keys are equal when
 * they are the same pointer or have equal len and bytes; replacing a value
 * keeps the first key pointer.  Null is a key of its own, distinct from "".
 * Values are plain words, never freed.  The map record and table are
 * malloc/calloc memory, unaffected by arena resets.  A null map is accepted
 * everywhere (free: nothing; len, insert, get, remove, contains: 0; keys,
 * values: an empty vector; zeq_str_hashmap_keys: a new empty string vector).
 *   new       null when memory is short
 *   insert    previous value when the key was present, else 0 (also when
 *             nothing could be stored)
 *   get / remove  the value, 0 when absent (contains is the reliable test)
 *   keys / values  new ZeqVec (caller frees; keys are the map's own
 *             pointers) in ascending slot order
 * The zeq_ set forwards to the base set, except:
 *   zeq_str_hashmap_free    returns 0
 *   zeq_str_hashmap_update  insert, returning 0
 *   zeq_str_hashmap_inc     stores get(key) + delta (wrapping; an absent key
 *                           starts from 0); returns 0
 *   zeq_str_hashmap_keys    a new string vector of the key pointers in slot
 *                           order; -1 when the pool cannot grow
 *   zeq_str_hashmap_sorted_keys  the same, sorted: null first, then bytes as
 *                           unsigned values, shorter prefix first
 * Key lists that cannot grow end the process with the out-of-memory message.
 * No locking: one thread at a time per map. */
typedef struct ZeqStrHashMap ZeqStrHashMap;
ZEQ_API ZeqStrHashMap *str_hashmap_new(void) ZEQ_NOEXCEPT;
ZEQ_API void str_hashmap_free(ZeqStrHashMap *map) ZEQ_NOEXCEPT;
ZEQ_API int64_t str_hashmap_len(const ZeqStrHashMap *map) ZEQ_NOEXCEPT;
ZEQ_API int64_t str_hashmap_insert(ZeqStrHashMap *map, ZeqString *key, int64_t value) ZEQ_NOEXCEPT;
ZEQ_API int64_t str_hashmap_get(const ZeqStrHashMap *map, const ZeqString *key) ZEQ_NOEXCEPT;
ZEQ_API int64_t str_hashmap_contains(const ZeqStrHashMap *map, const ZeqString *key) ZEQ_NOEXCEPT;
ZEQ_API int64_t str_hashmap_remove(ZeqStrHashMap *map, const ZeqString *key) ZEQ_NOEXCEPT;
ZEQ_API ZeqVec *str_hashmap_keys(const ZeqStrHashMap *map) ZEQ_NOEXCEPT;
ZEQ_API ZeqVec *str_hashmap_values(const ZeqStrHashMap *map) ZEQ_NOEXCEPT;

ZEQ_API ZeqStrHashMap *zeq_str_hashmap_new(void) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_str_hashmap_free(ZeqStrHashMap *map) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_str_hashmap_len(const ZeqStrHashMap *map) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_str_hashmap_insert(ZeqStrHashMap *map, ZeqString *key, int64_t value) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_str_hashmap_get(const ZeqStrHashMap *map, const ZeqString *key) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_str_hashmap_contains(const ZeqStrHashMap *map, const ZeqString *key) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_str_hashmap_remove(ZeqStrHashMap *map, const ZeqString *key) ZEQ_NOEXCEPT;
ZEQ_API ZeqVec *zeq_str_hashmap_values(const ZeqStrHashMap *map) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_str_hashmap_keys(const ZeqStrHashMap *map) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_str_hashmap_sorted_keys(const ZeqStrHashMap *map) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_str_hashmap_inc(ZeqStrHashMap *map, ZeqString *key, int64_t delta) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_str_hashmap_update(ZeqStrHashMap *map, ZeqString *key, int64_t value) ZEQ_NOEXCEPT;

/* Looks key up in the list string source: entries "key=value" separated by
 * ';' (a key runs from the entry's start to the first '=' and may hold ';';
 * the value runs to the next ';' or the end; a later repeat of a key wins;
 * parsing stops at a run without '=').  slot (0 to 2) names one of three
 * process-wide caches: the source is parsed once and the map reused while
 * later calls for that slot bring a source with the same bytes; a different
 * source replaces the slot's map.  Returns the cached value string itself
 * (also for an empty value), which the cache owns in malloc memory: it
 * survives arena resets and stays valid until a call for the same slot
 * brings a different source.  Otherwise (null or empty source, slot outside
 * 0..2, absent key, no memory) a new empty string from zeq_alloc.
 * Not thread-safe: the caches are process-wide and unlocked. */
ZEQ_API ZeqString *reg_cached_lookup(const ZeqString *source, const ZeqString *key,
                                     int64_t slot) ZEQ_NOEXCEPT;

/* ======================================================================== */
/* Collections: string map                                                   */
/* ======================================================================== */

/* String keys to 64-bit values in a chained hash table that owns copies of
 * its keys: callers may release a key string after inserting it.  Buckets
 * start at 64 and double before an insert that finds more than 0.75
 * entries per bucket; keys hash with 64-bit FNV-1a into hash mod buckets.
 * The record, buckets, entries and key copies are malloc memory, never the
 * arena; values are plain words, never freed.  A stored key is compared up
 * to its first NUL, so a key holding a NUL byte is stored but never found.
 * A null map or key (or key data) is accepted and answered neutrally:
 *   new       empty map; null when memory is short
 *   free      frees entries, key copies, buckets and record; null ignored
 *   insert    1 when stored (new entry or replaced value); 0 for null map or
 *             key, or when memory for a new entry is short (nothing stored)
 *   get       the value; -1 when absent (contains is the reliable test)
 *   contains  1 or 0
 *   remove    the removed entry's value; 0 when absent
 *   size      entries; 0 for null
 *   keys      new ZeqVec of new strings (zeq_alloc, owned by the caller)
 *             copying each key, bucket by bucket; values in the same order
 * A negative key length counts as 0.  No locking: one thread at a time,
 * also for get and contains (they note the entry found, which makes the
 * insert that usually follows them skip its search). */
typedef struct ZeqStrMap ZeqStrMap;
ZEQ_API ZeqStrMap *zeq_strmap_new(void) ZEQ_NOEXCEPT;
ZEQ_API void zeq_strmap_free(ZeqStrMap *map) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_strmap_insert(ZeqStrMap *map, const ZeqString *key, int64_t value) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_strmap_get(ZeqStrMap *map, const ZeqString *key) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_strmap_contains(ZeqStrMap *map, const ZeqString *key) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_strmap_remove(ZeqStrMap *map, const ZeqString *key) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_strmap_size(const ZeqStrMap *map) ZEQ_NOEXCEPT;
ZEQ_API ZeqVec *zeq_strmap_keys(const ZeqStrMap *map) ZEQ_NOEXCEPT;
ZEQ_API ZeqVec *zeq_strmap_values(const ZeqStrMap *map) ZEQ_NOEXCEPT;

/* ======================================================================== */
/* System: files and directories                                             */
/* ======================================================================== */

/* Paths are string records used as NUL-terminated paths (len is not read,
 * except by zeq_mkdir); zeq_file_exists_cstr, zeq_file_size and
 * zeq_append_file take plain NUL-terminated byte strings.  No operation
 * prints, panics or keeps state; each closes what it opened on every path.
 * Integer results are 0 on success and -1 on failure (errno is not
 * reported); the tests answer 1 or 0.  A null record, null data or null
 * byte string gives -1 (0 for the tests, "" for string results).
 * Thread-safe as the platform calls underneath; strings from zeq_alloc go
 * to the calling thread's arena.
 *
 * zeq_read_file: every byte of the file, NUL bytes included (len = bytes
 *   read, cap = len).  The bytes are a malloc buffer even in arena mode (the
 *   record is from zeq_alloc): an arena reset does not release them, and
 *   with arena mode off zeq_string_free releases both.  "" when the path
 *   cannot be opened, names a directory or a stream that cannot seek (FIFO,
 *   terminal), memory runs out, or a read fails; an empty file also gives "".
 * zeq_write_file: creates or truncates (mode 0666 before the umask) and
 *   writes content's len bytes; -1 when not all bytes reached the file or
 *   closing failed (the file keeps what was written), or for len < 0.  A
 *   pipe whose reader has gone gives -1; no SIGPIPE reaches the process.
 * zeq_write_file_newlines: the same with each byte 0x1F written as 0x0A.
 * zeq_append_file: appends data up to its NUL, creating the file.
 * zeq_file_exists / zeq_file_exists_cstr: 1 when stat succeeds (any type).
 * zeq_file_size: the size in bytes; -1 when the file cannot be opened for
 *   reading, is a directory, or cannot seek; a device gives what seeking to
 *   its end reports.  file_size is the same with a string record path.
 * zeq_delete_file / zeq_remove_file: remove() - a file or an empty
 *   directory (four names, one operation).
 * zeq_is_dir: 1 when stat succeeds and the path is a directory.
 * zeq_mkdir: creates the directory and every missing parent (mode 0755
 *   before the umask); every '/' or '\' among the first len bytes (never
 *   the first byte) ends a parent.  0 when the path is a directory
 *   afterwards (also when it already was), -1 otherwise or for len 0.
 * zeq_readdir: the entry names in the platform's directory order, "." and
 *   ".." left out, separated by line feeds without a final one; a new
 *   string (zeq_alloc); "" for an empty directory and on any failure.
 * zeq_rmdir: rmdir() - an empty directory only. */
ZEQ_API ZeqString *zeq_read_file(const ZeqString *path) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_write_file(const ZeqString *path, const ZeqString *content) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_write_file_newlines(const ZeqString *path, const ZeqString *content) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_append_file(const char *path, const char *data) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_file_exists(const ZeqString *path) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_file_exists_cstr(const char *path) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_file_size(const char *path) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_delete_file(const ZeqString *path) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_remove_file(const ZeqString *path) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_is_dir(const ZeqString *path) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_mkdir(const ZeqString *path) ZEQ_NOEXCEPT;
ZEQ_API ZeqString *zeq_readdir(const ZeqString *path) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_rmdir(const ZeqString *path) ZEQ_NOEXCEPT;

/* ======================================================================== */
/* System: processes, environment, working directory                         */
/* ======================================================================== */

/* Commands go to the platform shell unchanged (quoting is the caller's
 * business); the child has finished, as far as the shell waits for it, when
 * the call returns.  No state; callable from any thread under the
 * platform's rules for system, popen and getenv (getenv races with a
 * concurrent setenv).  String results are new strings whose record comes
 * from zeq_alloc; failures give "" (or -1), never a panic.
 *
 * zeq_system: system()'s undecoded status word sign-extended (exit code c
 *   gives c * 256; -1 when the shell could not start); -1 for a null
 *   command.
 * zeq_system_capture: every byte the command writes to standard output
 *   (NULs included; standard error is not captured), with a NUL after it;
 *   "" when it cannot be started, the output so far when memory runs out.
 *   Arena mode on: the bytes are copied into the arena, cap = len.  Arena
 *   mode off: the bytes are the malloc read buffer itself (4,096 bytes
 *   doubled until it holds the output and the NUL), cap = its size;
 *   zeq_string_free releases it.
 * zeq_exec_output: captures "<command> <arguments> 2>&1" the same way, so
 *   standard error is interleaved with standard output; a null or empty
 *   argument string adds neither the space nor arguments.
 * zeq_getenv: a copy of the variable's value; "" when unset (or set empty,
 *   or for a null name).
 * zeq_getcwd: the absolute working directory without a trailing line feed;
 *   "" when it is longer than 4,095 bytes or no longer exists. */
ZEQ_API int64_t zeq_system(const ZeqString *command) ZEQ_NOEXCEPT;
ZEQ_API ZeqString *zeq_system_capture(const ZeqString *command) ZEQ_NOEXCEPT;
ZEQ_API ZeqString *zeq_exec_output(const ZeqString *command, const ZeqString *arguments) ZEQ_NOEXCEPT;
ZEQ_API ZeqString *zeq_getenv(const ZeqString *name) ZEQ_NOEXCEPT;
ZEQ_API ZeqString *zeq_getcwd(void) ZEQ_NOEXCEPT;

/* ======================================================================== */
/* Concurrency: threads, locks, condition variables, barriers, boxes         */
/* ======================================================================== */

/* Every record below comes from malloc (never the arena, whatever the arena
 * mode), may be created on one thread and freed on another, and is meant to
 * be shared between threads unless its comment says otherwise.  Handles are
 * opaque.  No function here prints or panics. */
typedef struct ZeqThread ZeqThread;
typedef struct ZeqMutex ZeqMutex;
typedef struct ZeqRwLock ZeqRwLock;
typedef struct ZeqCondvar ZeqCondvar;
typedef struct ZeqBarrier ZeqBarrier;
typedef struct ZeqArc ZeqArc;
/* Body of a spawned thread: one 64-bit argument, one 64-bit result. */
typedef int64_t (*ZeqThreadFn)(int64_t arg);

/* zeq_spawn starts a joinable thread running fn(arg) (a null fn gives the
 * result 0).  Null when the record cannot be allocated or the platform
 * refuses the thread.  A panic in the thread ends the process unless the
 * thread opened a foreign-call region of its own; strings it makes with arena
 * mode on live in its own arena, which is never released, so a result that
 * points into it stays valid after the join.
 * zeq_join waits for the thread and returns fn's result, freeing the handle;
 * join each handle exactly once (a second join uses freed memory).  A handle
 * whose value, read as a signed 64-bit integer, is below 65536 (null,
 * negative, small numbers) is not a thread: it is returned unchanged.  A
 * thread joining its own handle gets 0 at once and the handle stays valid. */
ZEQ_API ZeqThread *zeq_spawn(ZeqThreadFn fn, int64_t arg) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_join(ZeqThread *thread) ZEQ_NOEXCEPT;

/* Mutex carrying one protected 64-bit value: lock and a successful try_lock
 * return it, unlock stores its argument into it and releases.  Not
 * recursive.  Null handles: lock and try_lock return 0, unlock and free do
 * nothing.
 *   lock      blocks until held.  The holder locking again gets the value at
 *             once without a second hold (one unlock releases it).
 *   try_lock  the value, now held; 0 when busy (held by anyone, the caller
 *             included) - indistinguishable from a value of 0.
 *   unlock    by a thread that does not hold the mutex: ignored (nothing is
 *             stored or released).
 *   free      a mutex that is held is left alone (not freed); freeing one that
 *             a thread is still waiting for is not allowed.
 * zeq_mutex_new returns null only when malloc fails. */
ZEQ_API ZeqMutex *zeq_mutex_new(int64_t value) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_mutex_lock(ZeqMutex *m) ZEQ_NOEXCEPT;
ZEQ_API void zeq_mutex_unlock(ZeqMutex *m, int64_t value) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_mutex_try_lock(ZeqMutex *m) ZEQ_NOEXCEPT;
ZEQ_API void zeq_mutex_free(ZeqMutex *m) ZEQ_NOEXCEPT;

/* Read-write lock carrying one protected value.  read / write return it
 * after taking the lock shared / exclusive; write_unlock stores its argument,
 * read_unlock stores nothing.  The try forms return the value, or -1 when the
 * lock is busy or the handle is null.  Null handles: read and write return 0,
 * unlocks and free do nothing.
 *   The exclusive holder calling read or write again gets the value at once
 *   without a further hold; write_unlock by a thread that does not hold the
 *   lock exclusively is ignored; read_unlock when no shared hold exists is
 *   ignored (one call releases one shared hold).  Taking the lock exclusively
 *   while holding it shared waits forever (a usage error, as with the
 *   platform lock).  free leaves a held lock alone.
 * zeq_rwlock_new returns null only when malloc fails. */
ZEQ_API ZeqRwLock *zeq_rwlock_new(int64_t value) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_rwlock_read(ZeqRwLock *l) ZEQ_NOEXCEPT;
ZEQ_API void zeq_rwlock_read_unlock(ZeqRwLock *l) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_rwlock_write(ZeqRwLock *l) ZEQ_NOEXCEPT;
ZEQ_API void zeq_rwlock_write_unlock(ZeqRwLock *l, int64_t value) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_rwlock_try_read(ZeqRwLock *l) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_rwlock_try_write(ZeqRwLock *l) ZEQ_NOEXCEPT;
ZEQ_API void zeq_rwlock_free(ZeqRwLock *l) ZEQ_NOEXCEPT;

/* Condition variable used with a ZeqMutex.  wait atomically releases the
 * mutex (which the caller must hold), sleeps until notified, re-takes the
 * mutex and returns its protected value; it may also return on a spurious
 * wake-up, so callers re-check their condition.  wait returns 0 at once,
 * without waiting, when either handle is null or the caller does not hold
 * the mutex.  notify_one wakes at most one waiter, notify_all every waiter;
 * null handles do nothing.  new returns null when malloc fails. */
ZEQ_API ZeqCondvar *zeq_condvar_new(void) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_condvar_wait(ZeqCondvar *cv, ZeqMutex *m) ZEQ_NOEXCEPT;
ZEQ_API void zeq_condvar_notify_one(ZeqCondvar *cv) ZEQ_NOEXCEPT;
ZEQ_API void zeq_condvar_notify_all(ZeqCondvar *cv) ZEQ_NOEXCEPT;
ZEQ_API void zeq_condvar_free(ZeqCondvar *cv) ZEQ_NOEXCEPT;

/* Reusable barrier for `parties` threads (null for parties <= 0).  wait
 * blocks until that many calls have arrived in the current generation, then
 * releases them all; exactly one of them (the last to arrive) gets 1, the
 * others 0.  The next arrivals form the next generation.  Null handle: 0 at
 * once.  free leaves a barrier that threads are still waiting on (or waking
 * from) alone. */
ZEQ_API ZeqBarrier *zeq_barrier_new(int64_t parties) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_barrier_wait(ZeqBarrier *b) ZEQ_NOEXCEPT;
ZEQ_API void zeq_barrier_free(ZeqBarrier *b) ZEQ_NOEXCEPT;

/* Atomically counted shared box holding one immutable 64-bit value (the box
 * does not own what the value points to).  new starts the count at 1 (null
 * when malloc fails); clone adds one and returns its argument; drop removes
 * one, and the drop that brings the count to 0 frees the box.  get returns
 * the value, strong_count the count after a full fence.  Null: clone returns
 * null, get and strong_count 0, drop does nothing.  Every operation is safe
 * from any thread that holds a reference. */
ZEQ_API ZeqArc *zeq_arc_new(int64_t value) ZEQ_NOEXCEPT;
ZEQ_API ZeqArc *zeq_arc_clone(ZeqArc *a) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_arc_get(const ZeqArc *a) ZEQ_NOEXCEPT;
ZEQ_API void zeq_arc_drop(ZeqArc *a) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_arc_strong_count(const ZeqArc *a) ZEQ_NOEXCEPT;

/* ======================================================================== */
/* Concurrency: channels                                                     */
/* ======================================================================== */

/* Bounded first-in-first-out queue of 64-bit messages, safe for any number
 * of sending and receiving threads.  Operations take a handle (a cell naming
 * the channel); all handles of one channel are interchangeable.  A message is
 * an opaque word the channel never looks into.  A null handle is tolerated
 * by every operation: sends do nothing or return 0, receives return 0 with
 * the out-argument untouched, is_closed returns 1.
 *
 * zeq_channel_new makes a channel of `capacity` slots (a negative capacity is
 * taken as 0) and two handles, stored through out_sender and out_receiver
 * (either may be null); returns the receiver handle.  On allocation failure
 * both outs are set to null and null is returned.  A capacity of 0 holds no
 * message ever: sends wait until close (try and timed sends return 0),
 * receives wait until close.
 *
 * Close: final; wakes every waiting sender and receiver.  After it sends
 * queue nothing (the blocking send discards its message silently, the others
 * return 0), while receives still deliver every message queued before it;
 * once the channel is empty they report the end (0).  Closing again is
 * harmless.
 *
 *   send          waits for space while open
 *   recv          waits for a message while open; returns it, or 0 once
 *                 closed and empty (use recv_opt to tell a 0 message apart)
 *   recv_opt      like recv: 1 and *out = message, or 0 at the end
 *   try_send      1 if queued now, 0 if full or closed
 *   try_recv      1 and *out if a message is queued now, else 0 (also after
 *                 close)
 *   *_timeout     wait at most `ms` milliseconds (a negative time waits
 *                 without limit, 0 polls); 1 on success, 0 on time-out or at
 *                 the end.  The deadline is on the real-time clock.
 *   sender_clone  a new handle for the same channel (null on allocation
 *                 failure)
 *   is_closed     1 once closed, else 0
 *   free          closes the channel and releases it, its buffer and every
 *                 handle made for it (by new and sender_clone) once no
 *                 operation is in progress: operations waiting inside it are
 *                 woken and end as after a close, and the last operation to
 *                 return releases it.  No operation may start on any of its
 *                 handles after free has been called; free it once.
 */
typedef struct ZeqChannelHandle ZeqChannelHandle;
ZEQ_API ZeqChannelHandle *zeq_channel_new(int64_t capacity, ZeqChannelHandle **out_sender,
                                          ZeqChannelHandle **out_receiver) ZEQ_NOEXCEPT;
ZEQ_API void zeq_channel_send(ZeqChannelHandle *h, int64_t message) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_channel_recv(ZeqChannelHandle *h) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_channel_recv_opt(ZeqChannelHandle *h, int64_t *out) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_channel_try_send(ZeqChannelHandle *h, int64_t message) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_channel_try_recv(ZeqChannelHandle *h, int64_t *out) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_channel_recv_timeout(ZeqChannelHandle *h, int64_t ms,
                                         int64_t *out) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_channel_send_timeout(ZeqChannelHandle *h, int64_t message,
                                         int64_t ms) ZEQ_NOEXCEPT;
ZEQ_API ZeqChannelHandle *zeq_sender_clone(ZeqChannelHandle *h) ZEQ_NOEXCEPT;
ZEQ_API void zeq_channel_close(ZeqChannelHandle *h) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_channel_is_closed(ZeqChannelHandle *h) ZEQ_NOEXCEPT;
ZEQ_API void zeq_channel_free(ZeqChannelHandle *h) ZEQ_NOEXCEPT;

/* ======================================================================== */
/* Concurrency: thread pool and scoped threads                               */
/* ======================================================================== */

/* A task: a function without arguments whose result is ignored. */
typedef void (*ZeqTaskFn)(void);
typedef struct ZeqThreadPool ZeqThreadPool;
typedef struct ZeqScope ZeqScope;

/* Fixed thread pool with one shared first-in-first-out task queue.  Tasks
 * start in the order queued and run on up to `workers` threads at once; a
 * task may queue further tasks.
 *   new       `workers` <= 0 means 4; counts above 4096 are taken as 4096.
 *             Null when memory runs out or not one worker could be started;
 *             when only some could, the pool runs with those.
 *   execute   queues fn and wakes an idle worker; does nothing for a null
 *             pool or fn, or when memory runs out.  Allowed after shutdown: a
 *             worker still draining the queue runs the task, otherwise join
 *             frees it unrun.  Safe from any thread, tasks included, until
 *             join has been called.
 *   shutdown  workers finish every queued task, then end; returns at once.
 *             The pool must still be joined.
 *   join      shuts down, waits until the queue is drained and every worker
 *             has ended, then frees the pool (the handle is invalid
 *             afterwards; join exactly once, with no execute racing it).
 *             Called from one of the pool's own tasks it shuts down and
 *             returns at once, since a worker cannot wait for itself; the
 *             workers then drain the queue, and the last one to end frees
 *             the pool.
 * Null pools: every operation does nothing. */
ZEQ_API ZeqThreadPool *zeq_thread_pool_new(int64_t workers) ZEQ_NOEXCEPT;
ZEQ_API void zeq_thread_pool_execute(ZeqThreadPool *pool, ZeqTaskFn fn) ZEQ_NOEXCEPT;
ZEQ_API void zeq_thread_pool_shutdown(ZeqThreadPool *pool) ZEQ_NOEXCEPT;
ZEQ_API void zeq_thread_pool_join(ZeqThreadPool *pool) ZEQ_NOEXCEPT;

/* Scoped threads: spawn starts one thread per task (from any number of
 * threads at once; nothing is started for a null scope or fn, or when memory
 * or the platform refuses); wait joins every thread the scope started, most
 * recent first, and frees the scope (the handle is invalid afterwards; no
 * spawn may race it).  A thread of the scope calling wait is detached
 * instead of joined (it cannot wait for itself), so nothing of it stays once
 * it ends.  new returns null when malloc fails; wait on null does nothing. */
ZEQ_API ZeqScope *zeq_scope_new(void) ZEQ_NOEXCEPT;
ZEQ_API void zeq_scope_spawn(ZeqScope *scope, ZeqTaskFn fn) ZEQ_NOEXCEPT;
ZEQ_API void zeq_scope_wait(ZeqScope *scope) ZEQ_NOEXCEPT;

/* ======================================================================== */
/* Asynchronous execution: event loop                                        */
/* ======================================================================== */

/* An epoll readiness dispatcher with a fixed table of 1024 registrations,
 * each binding a descriptor to a callback and a user-data word.  Level-
 * triggered: a descriptor that stays ready is reported by every run.
 * Nothing here is locked: a loop (the shared one included) belongs to one
 * thread at a time, and callbacks run on the thread that calls run_once.
 * The record comes from calloc and is released by zeq_event_loop_destroy. */
typedef struct ZeqEventLoop ZeqEventLoop;

/* Event-loop callback: (user data, descriptor, event mask).  Mask bits:
 * 1 readable, 2 writable, 4 error or hang-up. */
typedef void (*ZeqEventCallback)(uint64_t user_data, int64_t fd, uint32_t events);

/* A new loop (calloc + epoll_create1); null if either fails. */
ZEQ_API ZeqEventLoop *zeq_event_loop_create(void) ZEQ_NOEXCEPT;
/* Closes the epoll descriptor and frees the loop; registered descriptors stay
 * open.  Null does nothing.  Never pass the shared loop. */
ZEQ_API void zeq_event_loop_destroy(ZeqEventLoop *loop) ZEQ_NOEXCEPT;
/* Registers fd with interest bits 1 (readable) and 2 (writable); other bits
 * are ignored.  A descriptor that is already registered gets its interest,
 * callback and user data replaced.  A new registration reuses the lowest
 * freed slot, else takes a fresh one; -1 when all 1024 slots are taken, for
 * a null loop or callback, or when the kernel refuses the descriptor (the
 * slot is then free again).  0 on success.  Allocates nothing. */
ZEQ_API int32_t zeq_event_loop_register(ZeqEventLoop *loop, int64_t fd, uint32_t interest,
                                        ZeqEventCallback callback, uint64_t user_data) ZEQ_NOEXCEPT;
/* Frees fd's slot and removes it from epoll: 0, or -1 for a null loop or a
 * descriptor without a registration. */
ZEQ_API int32_t zeq_event_loop_unregister(ZeqEventLoop *loop, int64_t fd) ZEQ_NOEXCEPT;
/* Waits once (timeout_ms: -1 without limit, 0 polls) for at most 64 events
 * and calls the callback of each ready registration, in delivery order.
 * Returns the number of callbacks called, 0 at once for a null or stopped
 * loop, -1 if the wait failed (an interrupted wait included; no retry).
 * Callbacks may register, unregister or stop; an event whose registration
 * an earlier callback removed is skipped. */
ZEQ_API int32_t zeq_event_loop_run_once(ZeqEventLoop *loop, int32_t timeout_ms) ZEQ_NOEXCEPT;
/* Marks the loop stopped for good: later runs return 0 at once.  Null: nothing. */
ZEQ_API void zeq_event_loop_stop(ZeqEventLoop *loop) ZEQ_NOEXCEPT;
/* 1 once stopped (and for a null loop), else 0. */
ZEQ_API int32_t zeq_event_loop_is_stopped(const ZeqEventLoop *loop) ZEQ_NOEXCEPT;
/* The process-wide shared loop, created on first use (null if creation
 * failed; the next call tries again).  Lives until the process ends.  The
 * executor and the non-blocking socket calls use it too: all of them belong
 * on one thread, and the first use must not race. */
ZEQ_API ZeqEventLoop *zeq_get_event_loop(void) ZEQ_NOEXCEPT;

/* ======================================================================== */
/* Asynchronous execution: executor, tasks and futures                       */
/* ======================================================================== */

/* The model is eager: a future is its value, and every task is created
 * completed.  Tasks and executors come from malloc (never the arena). */
typedef struct ZeqTask ZeqTask;
typedef struct ZeqExecutor ZeqExecutor;

/* Identity: awaiting a future gives its value.  Pure, thread-safe. */
ZEQ_API int64_t future_await(int64_t value) ZEQ_NOEXCEPT;
ZEQ_API int64_t __future_await(int64_t value) ZEQ_NOEXCEPT;

/* A completed task holding value; null if malloc fails.  Released with
 * zeq_task_free unless handed to an executor, which then owns it. */
ZEQ_API ZeqTask *zeq_task_new(int64_t value) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_task_get_result(const ZeqTask *task) ZEQ_NOEXCEPT;   /* 0 for null */
ZEQ_API int64_t zeq_task_is_completed(const ZeqTask *task) ZEQ_NOEXCEPT; /* 1 for null */
ZEQ_API void zeq_task_free(ZeqTask *task) ZEQ_NOEXCEPT;                  /* null: nothing */

/* An executor: a task list and a completed counter under a mutex, so
 * spawn, run and block-on may be called on one executor from several
 * threads.  Run and block-on also poll the shared event loop once without
 * waiting (creating it on first use); that poll is not locked, so the
 * threads that run executors must not do it at the same time.
 * Null if malloc fails. */
ZEQ_API ZeqExecutor *zeq_executor_new(void) ZEQ_NOEXCEPT;
/* Appends task (the executor owns it from then on); a completed task adds 1
 * to the counter.  Nothing if either is null. */
ZEQ_API void zeq_executor_spawn(ZeqExecutor *ex, ZeqTask *task) ZEQ_NOEXCEPT;
/* Polls the shared loop once with time-out 0, then completes every pending
 * task.  Never waits.  Null: nothing. */
ZEQ_API void zeq_executor_run(ZeqExecutor *ex) ZEQ_NOEXCEPT;
/* Records a completed task for value, polls as run does, returns value.
 * A null executor returns value at once.  Never waits. */
ZEQ_API int64_t zeq_executor_block_on(ZeqExecutor *ex, int64_t value) ZEQ_NOEXCEPT;
ZEQ_API uint64_t zeq_executor_completed_count(const ZeqExecutor *ex) ZEQ_NOEXCEPT; /* 0 for null */
/* Frees every task of the list and the executor.  Null: nothing. */
ZEQ_API void zeq_executor_free(ZeqExecutor *ex) ZEQ_NOEXCEPT;
/* Block-on through a temporary executor; returns value.  Never waits. */
ZEQ_API int64_t zeq_block_on(int64_t value) ZEQ_NOEXCEPT;

/* ======================================================================== */
/* Asynchronous execution: files and TCP sockets                             */
/* ======================================================================== */

/* Files and IPv4 TCP sockets.  Despite the names, every call here is an
 * ordinary blocking call on the calling thread.  Texts are NUL-terminated
 * bytes; returned buffers come from malloc (arena mode too) and belong to
 * the caller (release them with free).  A handle is used by one thread at
 * a time; distinct handles are independent. */
typedef struct ZeqAsyncFile ZeqAsyncFile;
/* Socket handle (malloc; released by zeq_async_socket_close).  The first
 * four fields are the record; the last belongs to the library. */
typedef struct ZeqSocket {
    int32_t fd;         /* descriptor; -1 once closed or failed */
    char *host;         /* connect host, "0.0.0.0", or the peer's dotted quad */
    int32_t port;       /* port given, bound, or the peer's */
    int32_t connected;  /* 1 when usable; 0 while a non-blocking connect runs */
    void *pending;      /* internal: the connect in progress, else null */
} ZeqSocket;

/* Opens path read-write without truncation, else read-only, else creates it
 * read-write.  Null for a null path, when all three fail, or when memory
 * runs out (an open that lacked memory is not taken as a refused mode). */
ZEQ_API ZeqAsyncFile *zeq_async_file_open(const char *path) ZEQ_NOEXCEPT;
/* The whole content (size + 1 bytes, NUL-terminated; "" for an empty file);
 * null for a null handle, a directory, an unseekable stream or no memory. */
ZEQ_API char *zeq_async_file_read(ZeqAsyncFile *file) ZEQ_NOEXCEPT;
ZEQ_API char *zeq_nb_file_read(ZeqAsyncFile *file) ZEQ_NOEXCEPT;
/* Writes text from the start of the file without truncating it and flushes.
 * Nothing for a null handle or text; errors are not reported. */
ZEQ_API void zeq_async_file_write(ZeqAsyncFile *file, const char *text) ZEQ_NOEXCEPT;
ZEQ_API void zeq_nb_file_write(ZeqAsyncFile *file, const char *text) ZEQ_NOEXCEPT;
/* Closes the stream and frees the handle.  Null: nothing. */
ZEQ_API void zeq_async_file_close(ZeqAsyncFile *file) ZEQ_NOEXCEPT;

/* Connects to host (dotted quad, or a name resolved for IPv4) and port
 * (0..65535).  Blocks until the kernel answers, also across signals.  Null
 * for a null host, a bad port, an unknown name or a failed connect (nothing
 * is left open). */
ZEQ_API ZeqSocket *zeq_async_socket_connect(const char *host, int32_t port) ZEQ_NOEXCEPT;
/* Listens on 0.0.0.0:port (SO_REUSEADDR, backlog 4096); port 0 lets the
 * system choose, reported by zeq_async_socket_port.  Null on failure. */
ZEQ_API ZeqSocket *zeq_async_socket_listen(int32_t port) ZEQ_NOEXCEPT;
/* Waits for the next connection (without limit on a blocking listener); the
 * new socket reports the peer's dotted quad and port.  Null on failure or
 * for a null or unconnected socket. */
ZEQ_API ZeqSocket *zeq_async_socket_accept(ZeqSocket *listener) ZEQ_NOEXCEPT;
/* One receive of at most 4095 bytes, NUL-terminated in a 4096-byte buffer.
 * Waits until data, end of stream or an error (on a non-blocking socket it
 * does not wait).  Null at end of stream, on error, or for a null, closed
 * or unconnected socket. */
ZEQ_API char *zeq_async_socket_read(ZeqSocket *sock) ZEQ_NOEXCEPT;
/* Sends the whole text (up to its NUL), resuming after short sends and
 * interruptions; on a non-blocking socket it waits for room with poll as
 * long as a blocking send would (until the peer reads, resets or closes).
 * Stops silently when the connection fails (a closed peer never raises
 * SIGPIPE).  Nothing for a null text or a null, closed or unconnected
 * socket. */
ZEQ_API void zeq_async_socket_write(ZeqSocket *sock, const char *text) ZEQ_NOEXCEPT;
/* Closes the descriptor, frees the host text and the handle; a connect
 * still in progress is withdrawn from the shared loop first.  Null: nothing. */
ZEQ_API void zeq_async_socket_close(ZeqSocket *sock) ZEQ_NOEXCEPT;
/* The handle's host text (not a copy; lives until close); null for null. */
ZEQ_API const char *zeq_async_socket_host(const ZeqSocket *sock) ZEQ_NOEXCEPT;
/* The handle's port; 0 for null. */
ZEQ_API int64_t zeq_async_socket_port(const ZeqSocket *sock) ZEQ_NOEXCEPT;

/* ======================================================================== */
/* Asynchronous execution: UDP and non-blocking sockets                      */
/* ======================================================================== */

/* A received datagram (malloc; released by zeq_udp_packet_free). */
typedef struct ZeqUdpPacket {
    char *payload;   /* the bytes and a NUL, in a 4096-byte buffer */
    char *host;      /* the sender's dotted quad */
    int32_t port;    /* the sender's port */
    int32_t length;  /* bytes received, 1..4095 */
} ZeqUdpPacket;

/* A UDP socket bound to 0.0.0.0:port (SO_REUSEADDR; port 0 lets the system
 * choose).  Null on failure.  Blocking; one thread at a time. */
ZEQ_API ZeqSocket *zeq_async_udp_bind(int32_t port) ZEQ_NOEXCEPT;
/* Sends text (up to its NUL) as one datagram to host:port: bytes sent, or -1
 * for a null argument, an unconnected socket, a bad port or unknown host,
 * or a failed send. */
ZEQ_API int64_t zeq_async_udp_sendto(ZeqSocket *sock, const char *host, int32_t port,
                                     const char *text) ZEQ_NOEXCEPT;
/* Waits for one datagram (without limit); its first 4095 bytes in a new
 * buffer, or null (null socket, error, empty datagram). */
ZEQ_API char *zeq_async_udp_recv(ZeqSocket *sock) ZEQ_NOEXCEPT;
/* As zeq_async_udp_recv, with the sender: release with zeq_udp_packet_free. */
ZEQ_API ZeqUdpPacket *zeq_async_udp_recvfrom(ZeqSocket *sock) ZEQ_NOEXCEPT;
ZEQ_API void zeq_async_udp_close(ZeqSocket *sock) ZEQ_NOEXCEPT; /* = zeq_async_socket_close */
ZEQ_API char *zeq_udp_packet_payload(const ZeqUdpPacket *packet) ZEQ_NOEXCEPT; /* null for null */
ZEQ_API const char *zeq_udp_packet_host(const ZeqUdpPacket *packet) ZEQ_NOEXCEPT; /* null for null */
ZEQ_API int64_t zeq_udp_packet_port(const ZeqUdpPacket *packet) ZEQ_NOEXCEPT; /* 0 for null */
ZEQ_API int64_t zeq_udp_packet_len(const ZeqUdpPacket *packet) ZEQ_NOEXCEPT;  /* 0 for null */
/* Frees payload, host text and record.  Null: nothing. */
ZEQ_API void zeq_udp_packet_free(ZeqUdpPacket *packet) ZEQ_NOEXCEPT;

/* Non-blocking operations on the shared event loop.  The shared loop has no
 * lock: these calls, and everything else that runs the shared loop, belong
 * on one thread. */

/* Starts a non-blocking TCP connect and returns at once.  A connect that
 * completes at once gives a connected socket; one in progress gives a socket
 * with connected 0 that completes (or fails: descriptor -1) while the shared
 * loop runs.  Null for a null host, a bad port, an unknown name, an
 * immediate failure, or when the shared loop cannot take the registration
 * (nothing is left open). */
ZEQ_API ZeqSocket *zeq_nb_socket_connect(const char *host, int32_t port) ZEQ_NOEXCEPT;
/* Waits for the socket to become readable by running the shared loop in
 * waits of 100 ms (other ready registrations are dispatched meanwhile), then
 * receives at most 4095 bytes.  The wait lasts until data, end of stream or
 * an error.  Null at once for a null or unconnected socket (a connect in
 * progress included), when the shared loop is missing or stopped or cannot
 * take the registration, and when the loop is stopped or fails during the
 * wait; null at end of stream or on error. */
ZEQ_API char *zeq_nb_socket_read(ZeqSocket *sock) ZEQ_NOEXCEPT;
/* Same as zeq_async_socket_write. */
ZEQ_API void zeq_nb_socket_write(ZeqSocket *sock, const char *text) ZEQ_NOEXCEPT;

/* ======================================================================== */
/* Numeric functions (pure, thread-safe; integer arithmetic wraps)           */
/* ======================================================================== */

ZEQ_API int64_t zeq_abs(int64_t a) ZEQ_NOEXCEPT;           /* INT64_MIN unchanged */
ZEQ_API int64_t zeq_min(int64_t a, int64_t b) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_max(int64_t a, int64_t b) ZEQ_NOEXCEPT;
/* lo if a < lo, else a if a < hi, else hi (also when lo > hi). */
ZEQ_API int64_t zeq_clamp(int64_t a, int64_t lo, int64_t hi) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_clamp_i64(int64_t a, int64_t lo, int64_t hi) ZEQ_NOEXCEPT;
/* base^exp wrapping; exp 0 gives 1, a negative exp gives 0. */
ZEQ_API int64_t zeq_pow(int64_t base, int64_t exp) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_pow_i64(int64_t base, int64_t exp) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_is_power_of_two(int64_t a) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_next_power_of_two(int64_t a) ZEQ_NOEXCEPT; /* 1 for a < 2 */
ZEQ_API int64_t zeq_is_prime(int64_t n) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_popcount(int64_t a) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_clz(int64_t a) ZEQ_NOEXCEPT;           /* 64 for 0 */
ZEQ_API int64_t zeq_ctz(int64_t a) ZEQ_NOEXCEPT;           /* 64 for 0 */
ZEQ_API int64_t zeq_bit_reverse(int64_t a) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_gcd_i64(int64_t a, int64_t b) ZEQ_NOEXCEPT; /* gcd(|a|, |b|) */

ZEQ_API double zeq_i64_to_f64(int64_t a) ZEQ_NOEXCEPT;
/* Truncation; NaN, infinities and out-of-range values give INT64_MIN. */
ZEQ_API int64_t zeq_f64_to_i64(double x) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_f64_to_int(double x) ZEQ_NOEXCEPT;
ZEQ_API double zeq_f64_floor(double x) ZEQ_NOEXCEPT;
ZEQ_API double zeq_f64_ceil(double x) ZEQ_NOEXCEPT;
ZEQ_API double zeq_f64_round(double x) ZEQ_NOEXCEPT;       /* halves away from 0 */
ZEQ_API double zeq_f64_sqrt(double x) ZEQ_NOEXCEPT;
ZEQ_API double zeq_f64_abs(double x) ZEQ_NOEXCEPT;
ZEQ_API int64_t zeq_f64_is_nan(double x) ZEQ_NOEXCEPT;
/* a < b ? a : b (a > b ? a : b): NaN anywhere or equal values give b. */
ZEQ_API double zeq_f64_min(double a, double b) ZEQ_NOEXCEPT;
ZEQ_API double zeq_f64_max(double a, double b) ZEQ_NOEXCEPT;

/* ======================================================================== */
/* Short names used by compiled zeq code                                     */
/* ======================================================================== */

/* Each behaves exactly like the zeq_ function named beside it, except where
 * a comment says otherwise. */
#ifndef ZEQ_NO_SHORT_NAMES

/* start-up, arena, raw memory */
ZEQ_API int64_t arg_count(void) ZEQ_NOEXCEPT;                          /* zeq_arg_count */
ZEQ_API ZeqString *get_arg(int64_t index) ZEQ_NOEXCEPT;                /* zeq_get_arg */
ZEQ_API int64_t arena_mode(int32_t flag) ZEQ_NOEXCEPT;                 /* zeq_arena_mode */
ZEQ_API int64_t arena_reset(void) ZEQ_NOEXCEPT;                        /* zeq_arena_reset */
ZEQ_API int64_t arena_save(void) ZEQ_NOEXCEPT;                         /* zeq_arena_save */
ZEQ_API int64_t arena_restore(void) ZEQ_NOEXCEPT;                      /* zeq_arena_restore */
ZEQ_API int64_t arena_usage(void) ZEQ_NOEXCEPT;                        /* zeq_arena_usage */
ZEQ_API int64_t arena_destroy(void) ZEQ_NOEXCEPT;                      /* zeq_arena_destroy */
ZEQ_API int64_t load_i64(const void *p) ZEQ_NOEXCEPT;                  /* zeq_load_i64 */
ZEQ_API void store_i64(void *p, int64_t value) ZEQ_NOEXCEPT;           /* zeq_store_i64 */
ZEQ_API int64_t load_u8(const void *p) ZEQ_NOEXCEPT;                   /* zeq_load_u8 */
ZEQ_API void store_u8(void *p, int32_t value) ZEQ_NOEXCEPT;            /* zeq_store_u8 */

/* console */
ZEQ_API void print(int64_t value) ZEQ_NOEXCEPT;                        /* zeq_print_i64 */
ZEQ_API void println(int64_t value) ZEQ_NOEXCEPT;                      /* zeq_println_i64 */
ZEQ_API void print_f64(double value) ZEQ_NOEXCEPT;                     /* zeq_print_f64 */
ZEQ_API void println_f64(double value) ZEQ_NOEXCEPT;                   /* zeq_println_f64 */
ZEQ_API void print_char(int32_t c) ZEQ_NOEXCEPT;                       /* one byte, low 8 bits */
ZEQ_API void print_str(const ZeqString *s) ZEQ_NOEXCEPT;               /* data up to its NUL */
ZEQ_API void println_str(const ZeqString *s) ZEQ_NOEXCEPT;             /* data up to its NUL, "\n" */
ZEQ_API void eprint(int64_t value) ZEQ_NOEXCEPT;                       /* stderr "%ld" */
ZEQ_API void eprintln(int64_t value) ZEQ_NOEXCEPT;                     /* stderr "%ld\n" */
ZEQ_API void eprint_f64(double value) ZEQ_NOEXCEPT;                    /* stderr "%.9f" */
ZEQ_API void eprintln_f64(double value) ZEQ_NOEXCEPT;                  /* stderr "%.9f\n" */
ZEQ_API void eprint_str(const ZeqString *s) ZEQ_NOEXCEPT;              /* stderr, up to NUL */
ZEQ_API void eprintln_str(const ZeqString *s) ZEQ_NOEXCEPT;            /* stderr, up to NUL, "\n" */
ZEQ_API int64_t puts_cstr(const char *text) ZEQ_NOEXCEPT;              /* zeq_puts_cstr */
ZEQ_API int64_t read_int(void) ZEQ_NOEXCEPT;                           /* zeq_read_int */

/* clocks, sleep */
ZEQ_API int64_t time_ns(void) ZEQ_NOEXCEPT;                            /* zeq_time_ns */
ZEQ_API int64_t now_ns(void) ZEQ_NOEXCEPT;                             /* zeq_time_ns */
ZEQ_API int64_t time_ms(void) ZEQ_NOEXCEPT;                            /* zeq_time_ms */
ZEQ_API int64_t now_ms(void) ZEQ_NOEXCEPT;                             /* zeq_time_ms */
ZEQ_API int64_t sleep_ms(int32_t ms) ZEQ_NOEXCEPT;                     /* zeq_sleep_ms; 0 */

/* strings */
ZEQ_API ZeqString *chr(int64_t code) ZEQ_NOEXCEPT;                     /* zeq_chr */
ZEQ_API ZeqString *char_to_string(int32_t code) ZEQ_NOEXCEPT;          /* zeq_chr */
ZEQ_API ZeqString *slice(const ZeqString *s, int64_t start, int64_t end) ZEQ_NOEXCEPT; /* zeq_string_slice */
ZEQ_API int64_t len(const ZeqString *s) ZEQ_NOEXCEPT;                  /* zeq_string_len */
ZEQ_API char *str_data(const ZeqString *s) ZEQ_NOEXCEPT;               /* zeq_string_as_cstr */
ZEQ_API int64_t char_at(const ZeqString *s, int64_t index) ZEQ_NOEXCEPT; /* zeq_string_char_at */
ZEQ_API int64_t byte_at(const ZeqString *s, int64_t index) ZEQ_NOEXCEPT; /* zeq_str_byte_at */
ZEQ_API int64_t ord(const ZeqString *s) ZEQ_NOEXCEPT;                  /* first byte; 0 for null/"" */
ZEQ_API int64_t free_string(ZeqString *s) ZEQ_NOEXCEPT;                /* zeq_string_free */

/* byte-string search family */
ZEQ_API int64_t kmp_search_str(const ZeqString *text, const ZeqString *pattern) ZEQ_NOEXCEPT;
ZEQ_API int64_t str_find(const ZeqString *text, const ZeqString *pattern) ZEQ_NOEXCEPT;
ZEQ_API int64_t str_rfind(const ZeqString *text, const ZeqString *pattern) ZEQ_NOEXCEPT;
ZEQ_API int64_t str_count(const ZeqString *text, const ZeqString *pattern) ZEQ_NOEXCEPT;
ZEQ_API int64_t str_find_byte(const ZeqString *text, int32_t byte) ZEQ_NOEXCEPT;
ZEQ_API int64_t str_count_byte(const ZeqString *text, int32_t byte) ZEQ_NOEXCEPT;
ZEQ_API int64_t str_token_count(const ZeqString *text, int32_t separator) ZEQ_NOEXCEPT;
ZEQ_API bool str_is_palindrome(const ZeqString *text) ZEQ_NOEXCEPT;
ZEQ_API int64_t str_hamming(const ZeqString *a, const ZeqString *b) ZEQ_NOEXCEPT;
ZEQ_API int64_t str_word_count(const ZeqString *text) ZEQ_NOEXCEPT;
ZEQ_API ZeqString *str_reverse(const ZeqString *text) ZEQ_NOEXCEPT;
ZEQ_API ZeqString *str_replace_all(const ZeqString *text, const ZeqString *needle,
                                   const ZeqString *replacement) ZEQ_NOEXCEPT;
ZEQ_API ZeqString *str_to_upper(const ZeqString *text) ZEQ_NOEXCEPT;
ZEQ_API ZeqString *str_to_lower(const ZeqString *text) ZEQ_NOEXCEPT;
ZEQ_API ZeqString *str_trim(const ZeqString *text) ZEQ_NOEXCEPT;
ZEQ_API ZeqString *str_repeat(const ZeqString *text, int64_t count) ZEQ_NOEXCEPT;

/* string builder */
ZEQ_API ZeqStringBuilder *sb_new(void) ZEQ_NOEXCEPT;
ZEQ_API ZeqStringBuilder *sb_with_capacity(int64_t capacity) ZEQ_NOEXCEPT;
ZEQ_API int64_t sb_push(ZeqStringBuilder *b, const ZeqString *s) ZEQ_NOEXCEPT;
ZEQ_API int64_t sb_push_range(ZeqStringBuilder *b, const ZeqString *s,
                              int64_t start, int64_t end) ZEQ_NOEXCEPT;
ZEQ_API int64_t sb_push_cstr(ZeqStringBuilder *b, const char *text) ZEQ_NOEXCEPT; /* up to NUL; 0 for null */
ZEQ_API int64_t sb_push_char(ZeqStringBuilder *b, int32_t c) ZEQ_NOEXCEPT;
ZEQ_API int64_t sb_push_int(ZeqStringBuilder *b, int64_t value) ZEQ_NOEXCEPT;
ZEQ_API int64_t sb_push_escaped(ZeqStringBuilder *b, const ZeqString *s) ZEQ_NOEXCEPT; /* '"' and '\' only */
ZEQ_API int64_t sb_len(const ZeqStringBuilder *b) ZEQ_NOEXCEPT;
ZEQ_API int64_t sb_clear(ZeqStringBuilder *b) ZEQ_NOEXCEPT;
ZEQ_API ZeqString *sb_build(const ZeqStringBuilder *b) ZEQ_NOEXCEPT;
ZEQ_API int64_t sb_contains(const ZeqStringBuilder *b, const ZeqString *item) ZEQ_NOEXCEPT;
ZEQ_API int64_t sb_println(const ZeqStringBuilder *b) ZEQ_NOEXCEPT;
ZEQ_API int64_t sb_free(ZeqStringBuilder *b) ZEQ_NOEXCEPT;

/* integer vector */
ZEQ_API ZeqVec *vec_new(void) ZEQ_NOEXCEPT;
ZEQ_API ZeqVec *vec_with_capacity(int64_t n) ZEQ_NOEXCEPT;
ZEQ_API ZeqVec *vec_push(ZeqVec *v, int64_t value) ZEQ_NOEXCEPT;
ZEQ_API int64_t vec_pop(ZeqVec *v) ZEQ_NOEXCEPT;
ZEQ_API int64_t vec_get(const ZeqVec *v, int64_t index) ZEQ_NOEXCEPT;
ZEQ_API void vec_set(ZeqVec *v, int64_t index, int64_t value) ZEQ_NOEXCEPT;
ZEQ_API int64_t vec_len(const ZeqVec *v) ZEQ_NOEXCEPT;
ZEQ_API int64_t vec_cap(const ZeqVec *v) ZEQ_NOEXCEPT;
ZEQ_API void vec_free(ZeqVec *v) ZEQ_NOEXCEPT;
ZEQ_API void vec_clear(ZeqVec *v) ZEQ_NOEXCEPT;
ZEQ_API void vec_reverse(ZeqVec *v) ZEQ_NOEXCEPT;
ZEQ_API int64_t vec_contains(const ZeqVec *v, int64_t value) ZEQ_NOEXCEPT;
ZEQ_API int64_t vec_index_of(const ZeqVec *v, int64_t value) ZEQ_NOEXCEPT;
ZEQ_API void vec_swap(ZeqVec *v, int64_t i, int64_t j) ZEQ_NOEXCEPT;
ZEQ_API void vec_sort(ZeqVec *v) ZEQ_NOEXCEPT;
ZEQ_API void vec_dedup(ZeqVec *v) ZEQ_NOEXCEPT;
ZEQ_API void vec_fill(ZeqVec *v, int64_t value) ZEQ_NOEXCEPT;
ZEQ_API ZeqVec *vec_copy(const ZeqVec *v) ZEQ_NOEXCEPT;
ZEQ_API int64_t vec_sum(const ZeqVec *v) ZEQ_NOEXCEPT;
ZEQ_API int64_t vec_product(const ZeqVec *v) ZEQ_NOEXCEPT;
ZEQ_API int64_t vec_min(const ZeqVec *v) ZEQ_NOEXCEPT;
ZEQ_API int64_t vec_max(const ZeqVec *v) ZEQ_NOEXCEPT;
ZEQ_API ZeqVec *vec_slice(const ZeqVec *v, int64_t start, int64_t end) ZEQ_NOEXCEPT;
ZEQ_API void vec_extend(ZeqVec *dst, const ZeqVec *src) ZEQ_NOEXCEPT;
ZEQ_API int64_t vec_remove(ZeqVec *v, int64_t index) ZEQ_NOEXCEPT;
ZEQ_API void vec_insert(ZeqVec *v, int64_t index, int64_t value) ZEQ_NOEXCEPT;

/* text transformations, conversions, string vectors */
ZEQ_API ZeqString *int_to_string(int64_t value) ZEQ_NOEXCEPT;             /* zeq_int_to_string */

/* arrays and maps */
ZEQ_API ZeqStrMap *strmap_new(void) ZEQ_NOEXCEPT;
ZEQ_API void strmap_free(ZeqStrMap *map) ZEQ_NOEXCEPT;
ZEQ_API int64_t strmap_insert(ZeqStrMap *map, const ZeqString *key, int64_t value) ZEQ_NOEXCEPT;
ZEQ_API int64_t strmap_get(ZeqStrMap *map, const ZeqString *key) ZEQ_NOEXCEPT;
ZEQ_API int64_t strmap_contains(ZeqStrMap *map, const ZeqString *key) ZEQ_NOEXCEPT;
ZEQ_API int64_t strmap_remove(ZeqStrMap *map, const ZeqString *key) ZEQ_NOEXCEPT;
ZEQ_API int64_t strmap_size(const ZeqStrMap *map) ZEQ_NOEXCEPT;
ZEQ_API ZeqVec *strmap_keys(const ZeqStrMap *map) ZEQ_NOEXCEPT;
ZEQ_API ZeqVec *strmap_values(const ZeqStrMap *map) ZEQ_NOEXCEPT;

/* files and processes */
ZEQ_API ZeqString *read_file(const ZeqString *path) ZEQ_NOEXCEPT;      /* zeq_read_file */
ZEQ_API int64_t write_file(const ZeqString *path, const ZeqString *content) ZEQ_NOEXCEPT; /* zeq_write_file */
ZEQ_API int64_t write_file_newlines(const ZeqString *path, const ZeqString *content) ZEQ_NOEXCEPT; /* zeq_write_file_newlines */
ZEQ_API int64_t file_exists(const ZeqString *path) ZEQ_NOEXCEPT;       /* zeq_file_exists */
ZEQ_API int64_t file_exists_cstr(const char *path) ZEQ_NOEXCEPT;       /* zeq_file_exists_cstr */
ZEQ_API int64_t file_size(const ZeqString *path) ZEQ_NOEXCEPT;         /* zeq_file_size, record path */
ZEQ_API int64_t delete_file(const ZeqString *path) ZEQ_NOEXCEPT;       /* zeq_delete_file */
ZEQ_API int64_t remove_file(const ZeqString *path) ZEQ_NOEXCEPT;       /* zeq_delete_file */
ZEQ_API int64_t is_dir(const ZeqString *path) ZEQ_NOEXCEPT;            /* zeq_is_dir */
ZEQ_API int64_t make_dir(const ZeqString *path) ZEQ_NOEXCEPT;          /* zeq_mkdir */
ZEQ_API ZeqString *list_dir(const ZeqString *path) ZEQ_NOEXCEPT;       /* zeq_readdir */
ZEQ_API int64_t remove_dir(const ZeqString *path) ZEQ_NOEXCEPT;        /* zeq_rmdir */
ZEQ_API ZeqString *system_capture(const ZeqString *command) ZEQ_NOEXCEPT; /* zeq_system_capture */
ZEQ_API ZeqString *exec_output(const ZeqString *command, const ZeqString *arguments) ZEQ_NOEXCEPT; /* zeq_exec_output */
ZEQ_API ZeqString *current_dir(void) ZEQ_NOEXCEPT;                     /* zeq_getcwd */

/* threads, channels, pools */

/* event loop, executor, sockets */

/* numeric */
ZEQ_API int64_t min(int64_t a, int64_t b) ZEQ_NOEXCEPT;                /* zeq_min */
ZEQ_API int64_t max(int64_t a, int64_t b) ZEQ_NOEXCEPT;                /* zeq_max */
ZEQ_API double pow_f64(double base, double exponent) ZEQ_NOEXCEPT;     /* libc pow */

#endif /* ZEQ_NO_SHORT_NAMES */

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* ZEQ_H */
