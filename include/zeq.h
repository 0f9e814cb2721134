/**
 * @file zeq.h
 * @brief The public interface of the zeq runtime library (libzeq.so).
 *
 * @mainpage The zeq runtime library
 *
 * Every service is a plain C function with the platform's standard calling
 * convention.  All values cross the boundary as 64-bit integers, doubles or
 * pointers.  Strings are pointers to ZeqString records; vectors and builders
 * are pointers to records that their own _new / _free functions manage.
 *
 * Memory: strings made by the runtime come from zeq_alloc, that is the calling
 * thread's arena while arena mode is on (#g_arena_enabled non-zero), malloc
 * otherwise.  Arena strings die when the arena is reset, restored past them,
 * destroyed, or when main returns; malloc strings are released with
 * zeq_string_free().  Vectors and builders always come from malloc.
 *
 * Fatal errors (assertion, panic, bounds, division by zero) end the process
 * with one line on standard error and status 1, unless a foreign-call region
 * (zeq_ffi_begin() / zeq_ffi_call()) is open in the calling thread.
 *
 * Short names without the zeq_ prefix (vec_push, sb_new, print, min, ...) are
 * the names compiled zeq code uses.  A host that does not want them in its
 * global namespace defines ZEQ_NO_SHORT_NAMES before including this header;
 * the library exports them either way.
 *
 * Environment: ZEQ_ARENA_MAX_SIZE caps each thread's arena (see
 * @ref arena); ZEQ_BACKTRACE=1 adds a stack trace to every fatal error
 * message (see @ref panic).
 *
 * Compiles as C99 and as C++ (where every function is noexcept).
 *
 * The families, in the order of this header, are listed under Modules.
 */
#ifndef ZEQ_H
#define ZEQ_H

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

/** Marks a declaration the library exports. */
#define ZEQ_API __attribute__((visibility("default")))
/** Marks a function that never returns. */
#define ZEQ_NORETURN __attribute__((noreturn))
/** Marks a function that returns twice, like setjmp. */
#define ZEQ_RETURNS_TWICE __attribute__((returns_twice))

#ifdef __cplusplus
#define ZEQ_NOEXCEPT noexcept
extern "C" {
#else
/** noexcept in C++ (every function the library defines), nothing in C. */
#define ZEQ_NOEXCEPT
#endif

/* ======================================================================== */
/** @defgroup version Version
 * The release this header belongs to (the build reads the project's version
 * from these lines).  The SONAME major, libzeq.so.0, follows
 * ZEQ_VERSION_MAJOR: within it, no exported function or public record
 * changes or disappears.
 * @{ */
/* ======================================================================== */

/** Major release, the number of the SONAME. */
#define ZEQ_VERSION_MAJOR 0
/** Minor release: rises when functions are added. */
#define ZEQ_VERSION_MINOR 1
/** Patch release: fixes within the contracts. */
#define ZEQ_VERSION_PATCH 0
/** The three numbers as "MAJOR.MINOR.PATCH". */
#define ZEQ_VERSION_STRING "0.1.0"
/** The release of the library actually loaded, as ZEQ_VERSION_STRING was
 * for it.
 * @return "MAJOR.MINOR.PATCH": a static string, never null */
ZEQ_API const char *zeq_version(void) ZEQ_NOEXCEPT;

/** @} */

/* ======================================================================== */
/** @defgroup records Records
 * The records hosts may see.
 * @{ */
/* ======================================================================== */

/** A byte string.  data points to len content bytes followed by a NUL byte
 * (content may itself hold NULs).  Strings made at run time have cap == len;
 * constant records emitted by the compiler have cap == len + 1.  Immutable. */
typedef struct ZeqString {
    char *data;   /**< the content bytes, then a NUL byte */
    int64_t len;  /**< content bytes */
    int64_t cap;  /**< len at run time, len + 1 for compiled constants */
} ZeqString;

/** Growable vector of 64-bit words (malloc memory, never the arena). */
typedef struct ZeqVec {
    int64_t cap;    /**< words the buffer holds */
    int64_t len;    /**< words in use */
    int64_t *data;  /**< the buffer */
} ZeqVec;

/** Growable byte buffer, same field order as ZeqString.  len < cap and
 * data[len] == 0 after every operation. */
typedef struct ZeqStringBuilder {
    char *data;   /**< the bytes, NUL-terminated */
    int64_t len;  /**< bytes in use */
    int64_t cap;  /**< bytes the buffer holds */
} ZeqStringBuilder;

/** @} */

/* ======================================================================== */
/** @defgroup start Runtime core: start-up, arguments, exit
 * @{ */
/* ======================================================================== */

/** The library supplies a weak main: it records argc/argv for the calling
 * thread, turns arena mode on, calls zeq_user_main(), releases the calling
 * thread's arena, turns arena mode off and returns the low 32 bits of the
 * user program's result.  A host with its own main calls zeq_init_runtime().
 * (Declared only on request, so that hosts may define main as they like.)
 * @param argc argument count
 * @param argv the arguments (kept, not copied)
 * @return the low 32 bits of zeq_user_main()'s result */
#ifdef ZEQ_DECLARE_MAIN
ZEQ_API int main(int argc, char **argv) ZEQ_NOEXCEPT;
#endif

/** Entry of the compiled zeq program.  The library delivers one; an
 * executable that defines its own replaces it.  It is the program's
 * function, so it is declared without the library's noexcept
 * (a C++ program defines it as extern "C" int64_t zeq_user_main(void)).
 * @return the program's result; main returns its low 32 bits */
ZEQ_API int64_t zeq_user_main(void);

/** Records argc/argv in the calling thread (the array is kept, not copied)
 * and turns arena mode on.  No teardown: call zeq_arena_destroy() for that.
 * @param argc argument count
 * @param argv the arguments */
ZEQ_API void zeq_init_runtime(int32_t argc, char **argv) ZEQ_NOEXCEPT;

/** The calling thread's argument count: 0 in threads other than the one that
 * ran main or zeq_init_runtime().
 * @return the argument count */
ZEQ_API int64_t zeq_arg_count(void) ZEQ_NOEXCEPT;

/** New string copying argument index; an empty string (never null) for an
 * index out of range or a null argument.
 * @param index argument index, 0 for the program name
 * @return a new string (zeq_alloc) */
ZEQ_API ZeqString *zeq_get_arg(int64_t index) ZEQ_NOEXCEPT;

/** Ends the process through exit() (stdio buffers are flushed) with the
 * status converted to int; the arena is not released.
 * @param status exit status */
ZEQ_API ZEQ_NORETURN void zeq_exit(int64_t status) ZEQ_NOEXCEPT;

/** @} */

/* ======================================================================== */
/** @defgroup arena Runtime core: arena allocator and raw memory
 * Arena control.  Each function acts on the calling thread's block chain
 * whether or not arena mode is on, and returns 0 (zeq_arena_usage() returns
 * the bytes reserved from the system by the calling thread's arena).
 * The limit per thread is ZEQ_ARENA_MAX_SIZE (e.g. 8G, 512M, bytes; default
 * 4 GiB); exceeding it ends the process with a message, even inside a
 * foreign-call region.  A save point is cleared when reset, destroy or the
 * end of main releases the block it refers to.
 * @{ */
/* ======================================================================== */

/** Process-wide arena flag: non-zero while string results come from the
 * per-thread arena.  Set by main, zeq_init_runtime() and zeq_arena_mode();
 * unsynchronised, meant to be switched while one thread runs. */
ZEQ_API extern int32_t g_arena_enabled;

/** Sets #g_arena_enabled to flag (process-wide).
 * @param flag non-zero for arena mode
 * @return 0 */
ZEQ_API int64_t zeq_arena_mode(int32_t flag) ZEQ_NOEXCEPT;
/** Keeps the first block, empties it, releases the others.
 * @return 0 */
ZEQ_API int64_t zeq_arena_reset(void) ZEQ_NOEXCEPT;
/** Records the thread's single save point.
 * @return 0 */
ZEQ_API int64_t zeq_arena_save(void) ZEQ_NOEXCEPT;
/** Returns the arena to the save point (no-op without one).
 * @return 0 */
ZEQ_API int64_t zeq_arena_restore(void) ZEQ_NOEXCEPT;
/** The bytes reserved from the system by the calling thread's arena.
 * @return bytes */
ZEQ_API int64_t zeq_arena_usage(void) ZEQ_NOEXCEPT;
/** Releases every block and turns arena mode off.
 * @return 0 */
ZEQ_API int64_t zeq_arena_destroy(void) ZEQ_NOEXCEPT;

/** calloc(count, size); never from the arena, never released by the library.
 * @param count elements
 * @param size bytes per element
 * @return zero-filled memory, or null */
ZEQ_API void *zeq_calloc(uint64_t count, uint64_t size) ZEQ_NOEXCEPT;
/** malloc'd 8-byte box holding value; never released by the library.
 * @param value the boxed value
 * @return the box */
ZEQ_API int64_t *zeq_box_new_i64(int64_t value) ZEQ_NOEXCEPT;

/** Raw load of 8 bytes: no checks; p must be valid.
 * @param p address
 * @return the value */
ZEQ_API int64_t zeq_load_i64(const void *p) ZEQ_NOEXCEPT;
/** Raw store of 8 bytes: no checks; p must be valid.
 * @param p address
 * @param value the value */
ZEQ_API void zeq_store_i64(void *p, int64_t value) ZEQ_NOEXCEPT;
/** Raw load of one byte: no checks; p must be valid.
 * @param p address
 * @return 0..255 */
ZEQ_API int64_t zeq_load_u8(const void *p) ZEQ_NOEXCEPT;
/** Raw store of one byte: no checks; p must be valid.
 * @param p address
 * @param value stored as its low 8 bits */
ZEQ_API void zeq_store_u8(void *p, int32_t value) ZEQ_NOEXCEPT;

/** @} */

/* ======================================================================== */
/** @defgroup panic Runtime core: panics, assertions, foreign-call boundary
 * Fatal errors.  Outside a region: one line on standard error
 * ("Assertion failed!", "panic: <text>") and exit(1).  Inside a region of the
 * calling thread: the message (at most 511 bytes) is recorded and control
 * returns to the region's start.  A panic in a thread without a region of its
 * own ends the process.
 *
 * With ZEQ_BACKTRACE=1 in the environment, every fatal error of the runtime
 * that ends the process (panics, assertions, bounds, division by zero, out of
 * memory, the arena limit) follows its line with the stack trace of the
 * failing thread on standard error: one frame per line, innermost first, as
 * "  #N name+0xOFF (object)" where the executable or a library has a symbol
 * for the address (dynamic symbols, so link programs with -rdynamic for
 * their own names, or the object's symbol table), else "  #N object+0xOFF".
 * The runtime's own fatal-error frames are left out.  A panic caught by a
 * region prints nothing; without the variable the output is the line alone.
 * @{ */
/* ======================================================================== */

/** Returns when cond != 0; otherwise the assertion failure.
 * @param cond the condition */
ZEQ_API void zeq_assert(int32_t cond) ZEQ_NOEXCEPT;
/** Panics with the text up to the first NUL of msg->data; "panic" for null.
 * @param msg the message (may be null) */
ZEQ_API ZEQ_NORETURN void zeq_panic(const ZeqString *msg) ZEQ_NOEXCEPT;
/** Panics with "array index I out of bounds [0, LEN)".
 * @param index the index (I)
 * @param len the length (LEN) */
ZEQ_API ZEQ_NORETURN void zeq_panic_bounds(int64_t index, int64_t len) ZEQ_NOEXCEPT;
/** Panics with "division by zero". */
ZEQ_API ZEQ_NORETURN void zeq_panic_divzero(void) ZEQ_NOEXCEPT;

/** Opens the calling thread's region (one per thread, not a stack): clears the
 * error flag and message and returns 0; returns a second time, with 1, when
 * a panic strikes below the caller in this thread.  Like setjmp, the caller's
 * frame must still be live when that happens.  Always pair with zeq_ffi_end().
 * @return 0 when opened, 1 after a caught panic */
ZEQ_API ZEQ_RETURNS_TWICE int32_t zeq_ffi_begin(void) ZEQ_NOEXCEPT;
/** Closes the region; the error flag and message stay until the next begin. */
ZEQ_API void zeq_ffi_end(void) ZEQ_NOEXCEPT;
/** Whether a panic was caught in this thread's region.
 * @return 1 after a panic was caught in this thread's region, else 0 */
ZEQ_API int32_t zeq_ffi_has_error(void) ZEQ_NOEXCEPT;
/** The thread's message buffer itself (NUL-terminated, valid for the thread's
 * lifetime; rewritten by the next begin or caught panic).
 * @return the message buffer */
ZEQ_API const char *zeq_ffi_error_message(void) ZEQ_NOEXCEPT;
/** For hosts that cannot call a returns-twice function: opens a region, calls
 * fn(arg), closes the region.
 * @param fn the function to call
 * @param arg its argument
 * @param result receives fn's result (may be null)
 * @return 0 with *result set (when result is not null), or 1 when a panic
 *         was caught (message via zeq_ffi_error_message()) */
ZEQ_API int32_t zeq_ffi_call(int64_t (*fn)(int64_t), int64_t arg,
                             int64_t *result) ZEQ_NOEXCEPT;

/** @} */

/* ======================================================================== */
/** @defgroup console Runtime core: console
 * Printers go through stdio's buffered streams and do not flush.
 * zeq_print_str() / zeq_println_str() print len bytes ("%.*s", stopping at
 * an embedded NUL); print_str / println_str / eprint_str / eprintln_str print
 * data up to its first NUL.  Null records print nothing, or a lone "\n" for
 * the println forms.
 * @{ */
/* ======================================================================== */

/** Prints value as "%ld".
 * @param value the number */
ZEQ_API void zeq_print_i64(int64_t value) ZEQ_NOEXCEPT;
/** Prints value as "%ld" and "\n".
 * @param value the number */
ZEQ_API void zeq_println_i64(int64_t value) ZEQ_NOEXCEPT;
/** Prints value as "%.9f".
 * @param value the number */
ZEQ_API void zeq_print_f64(double value) ZEQ_NOEXCEPT;
/** Prints value as "%.9f" and "\n".
 * @param value the number */
ZEQ_API void zeq_println_f64(double value) ZEQ_NOEXCEPT;
/** Prints len bytes of s, stopping at an embedded NUL; nothing for null.
 * @param s the string */
ZEQ_API void zeq_print_str(const ZeqString *s) ZEQ_NOEXCEPT;
/** Prints len bytes of s (stopping at an embedded NUL) and "\n"; a lone
 * "\n" for null.
 * @param s the string */
ZEQ_API void zeq_println_str(const ZeqString *s) ZEQ_NOEXCEPT;
/** Prints text + "\n".
 * @param text NUL-terminated text
 * @return 0 */
ZEQ_API int64_t zeq_puts_cstr(const char *text) ZEQ_NOEXCEPT;
/** Writes exactly len bytes and flushes standard output.
 * @param s the string */
ZEQ_API void zeq_write_stdout(const ZeqString *s) ZEQ_NOEXCEPT;

/** Reads one number with scanf ("%ld"), leaving the rest of the line.
 * @return the number; 0 when no number can be read */
ZEQ_API int64_t zeq_read_int(void) ZEQ_NOEXCEPT;
/** Reads one number with scanf ("%lf"), leaving the rest of the line.
 * @return the number; 0 when no number can be read */
ZEQ_API double zeq_read_f64(void) ZEQ_NOEXCEPT;
/** Flushes standard output, then returns the next line (at most 4095 bytes
 * per call) without its trailing CR/LF bytes, or "__EOF__" at end of input.
 * @return a new string (zeq_alloc) */
ZEQ_API ZeqString *zeq_read_line(void) ZEQ_NOEXCEPT;
/** Flushes standard output and returns up to count bytes (fewer at end of
 * input; empty for count <= 0).
 * @param count bytes wanted
 * @return a new string (zeq_alloc) */
ZEQ_API ZeqString *zeq_read_bytes(int64_t count) ZEQ_NOEXCEPT;

/** @} */

/* ======================================================================== */
/** @defgroup clock Runtime core: clocks, sleep, randomness, optimisation barrier
 * @{ */
/* ======================================================================== */

/** Monotonic clock reading; only differences are meaningful.
 * @return nanoseconds */
ZEQ_API int64_t zeq_time_ns(void) ZEQ_NOEXCEPT;
/** Monotonic clock reading; only differences are meaningful.
 * @return milliseconds */
ZEQ_API int64_t zeq_time_ms(void) ZEQ_NOEXCEPT;
/** Sleeps ms milliseconds (negative: 0).  The sleep ends early when a signal
 * interrupts it (sleep_ms is the same sleep and always returns 0).
 * @param ms milliseconds
 * @return 0, or -1 when a signal interrupted the sleep */
ZEQ_API int32_t zeq_sleep_ms(int32_t ms) ZEQ_NOEXCEPT;
/** Per-thread xorshift generator (13, 7, 17).  Seeds itself from the clock
 * on first use unless zeq_random_seed() was called in the thread.
 * @return a number in [0, 2^63 - 1] */
ZEQ_API int64_t zeq_random_i64(void) ZEQ_NOEXCEPT;
/** Seeds the calling thread's generator; seed 0 acts as seed 1.
 * @param seed the seed */
ZEQ_API void zeq_random_seed(int64_t seed) ZEQ_NOEXCEPT;
/** Stores value into a process-wide sink and returns what is read back.
 * @param value the value
 * @return the value read back */
ZEQ_API int64_t zeq_black_box(int64_t value) ZEQ_NOEXCEPT;

/** @} */

/* ======================================================================== */
/** @defgroup string Strings: record and basic operations
 * Constructors return new strings from zeq_alloc (two allocations: bytes,
 * then record), never null, with cap == len and a NUL after the content.
 * @{ */
/* ======================================================================== */

/** Copies n bytes (n < 0 is taken as 0).
 * @param bytes the bytes
 * @param n how many
 * @return a new string */
ZEQ_API ZeqString *zeq_string_new(const char *bytes, int64_t n) ZEQ_NOEXCEPT;
/** Copies up to the NUL; null gives "".
 * @param text NUL-terminated text
 * @return a new string */
ZEQ_API ZeqString *zeq_string_from_cstr(const char *text) ZEQ_NOEXCEPT;
/** One byte (low 8 bits); byte 0 gives len 0.
 * @param code the byte
 * @return a new string */
ZEQ_API ZeqString *zeq_chr(int64_t code) ZEQ_NOEXCEPT;
/** One-byte string of s[index]; "" when out of range.
 * @param s the string
 * @param index byte index
 * @return a new string */
ZEQ_API ZeqString *zeq_str_char_at_str(const ZeqString *s, int64_t index) ZEQ_NOEXCEPT;
/** a + b; "" when either is null (or has null data).
 * @param a first operand
 * @param b second operand
 * @return a new string */
ZEQ_API ZeqString *zeq_string_concat(const ZeqString *a, const ZeqString *b) ZEQ_NOEXCEPT;
/** The operands in order; null operands count as empty.
 * @param a first operand
 * @param b second operand
 * @param c third operand
 * @return a new string */
ZEQ_API ZeqString *zeq_string_concat3(const ZeqString *a, const ZeqString *b,
                                      const ZeqString *c) ZEQ_NOEXCEPT;
/** The operands in order; null operands count as empty.
 * @param a first operand
 * @param b second operand
 * @param c third operand
 * @param d fourth operand
 * @param e fifth operand
 * @return a new string */
ZEQ_API ZeqString *zeq_string_concat5(const ZeqString *a, const ZeqString *b,
                                      const ZeqString *c, const ZeqString *d,
                                      const ZeqString *e) ZEQ_NOEXCEPT;
/** The operands in order; null operands count as empty.
 * @param a first operand
 * @param b second operand
 * @param c third operand
 * @param d fourth operand
 * @param e fifth operand
 * @param f sixth operand
 * @param g seventh operand
 * @return a new string */
ZEQ_API ZeqString *zeq_string_concat7(const ZeqString *a, const ZeqString *b,
                                      const ZeqString *c, const ZeqString *d,
                                      const ZeqString *e, const ZeqString *f,
                                      const ZeqString *g) ZEQ_NOEXCEPT;
/** Bytes [start, min(end, len)); "" when null, end < start, start < 0 or
 * start > len.
 * @param s the string
 * @param start first byte
 * @param end byte after the last
 * @return a new string */
ZEQ_API ZeqString *zeq_string_slice(const ZeqString *s, int64_t start, int64_t end) ZEQ_NOEXCEPT;

/** Accessor, null-tolerant.
 * @param s the string
 * @return len; 0 for null or null data */
ZEQ_API int64_t zeq_string_len(const ZeqString *s) ZEQ_NOEXCEPT;
/** Primitive for a value known valid (no null test).
 * @param s the string
 * @return len */
ZEQ_API int64_t zeq_text_len(const ZeqString *s) ZEQ_NOEXCEPT;
/** Accessor, null-tolerant.
 * @param s the string
 * @return data; null for null */
ZEQ_API char *zeq_string_as_cstr(const ZeqString *s) ZEQ_NOEXCEPT;
/** Accessor, null-tolerant.
 * @param s the string
 * @param index byte index
 * @return byte 0..255, 0 out of range */
ZEQ_API int64_t zeq_string_char_at(const ZeqString *s, int64_t index) ZEQ_NOEXCEPT;
/** Accessor, null-tolerant.
 * @param s the string
 * @param index byte index
 * @return byte 0..255, 0 out of range */
ZEQ_API int64_t zeq_str_byte_at(const ZeqString *s, int64_t index) ZEQ_NOEXCEPT;
/** Primitive for a value known valid (no null test).
 * @param s the string
 * @param index byte index
 * @return byte 0..255, -1 out of range */
ZEQ_API int64_t zeq_str_char_at(const ZeqString *s, int64_t index) ZEQ_NOEXCEPT;
/** Raw NUL-terminated text.
 * @param p the text
 * @return *p, 0 for null */
ZEQ_API int64_t zeq_ord(const char *p) ZEQ_NOEXCEPT;
/** Raw NUL-terminated text.
 * @param p the text (not null)
 * @return strlen(p) */
ZEQ_API int64_t zeq_str_len(const char *p) ZEQ_NOEXCEPT;
/** Raw NUL-terminated text.
 * @param p the text
 * @return p */
ZEQ_API const char *zeq_str_data(const char *p) ZEQ_NOEXCEPT;

/** Content equality; same pointer (nulls too) is 1.
 * @param a first string
 * @param b second string
 * @return 1 or 0 */
ZEQ_API int64_t zeq_string_eq(const ZeqString *a, const ZeqString *b) ZEQ_NOEXCEPT;
/** Orders unsigned bytes, shorter prefix first; null or null data orders
 * before any valid string.
 * @param a first string
 * @param b second string
 * @return -1, 0 or 1 */
ZEQ_API int64_t zeq_string_cmp(const ZeqString *a, const ZeqString *b) ZEQ_NOEXCEPT;
/** First byte difference; pointers must not be null.
 * @param a first string
 * @param b second string
 * @return a[i] - b[i] at the first difference, else len(a) - len(b) */
ZEQ_API int64_t zeq_str_compare(const ZeqString *a, const ZeqString *b) ZEQ_NOEXCEPT;
/** 64-bit FNV-1a of the content.
 * @param s the string
 * @return the hash; 0 for null */
ZEQ_API int64_t zeq_string_hash(const ZeqString *s) ZEQ_NOEXCEPT;

/** Releases a string made while arena mode was off; a no-op (returning 0)
 * while arena mode is on or for null.  Never for constants.
 * @param s the string
 * @return 0 */
ZEQ_API int64_t zeq_string_free(ZeqString *s) ZEQ_NOEXCEPT;

/** Foreign-call string: always malloc memory, whatever the mode.
 * @param text NUL-terminated text (null as "")
 * @return a new malloc string copying text; release with
 *         zeq_ffi_free_string() */
ZEQ_API ZeqString *zeq_ffi_cstr_to_string(const char *text) ZEQ_NOEXCEPT;
/** Foreign-call accessor.
 * @param s the string
 * @return data, or "" (never null) for null */
ZEQ_API const char *zeq_ffi_string_data(const ZeqString *s) ZEQ_NOEXCEPT;
/** Foreign-call accessor.
 * @param s the string
 * @return len, 0 for null or null data */
ZEQ_API int64_t zeq_ffi_string_len(const ZeqString *s) ZEQ_NOEXCEPT;
/** free()s data and record; null is a no-op.
 * @param s a malloc string */
ZEQ_API void zeq_ffi_free_string(ZeqString *s) ZEQ_NOEXCEPT;

/** @} */

/* ======================================================================== */
/** @defgroup search Strings: byte-string search family (compiled zeq code)
 * Every string argument must be a valid record (no null tests).  Bytes are
 * compared unsigned; a byte argument outside 0..255 matches nothing.
 * Whitespace is tab, LF, CR and space.
 * Rewrites return new strings, except that zeq_str_replace() returns text
 * itself when nothing matches, str_replace_all returns text itself for an
 * empty needle, and str_repeat returns a shared constant "" for count < 1.
 * Single bytes copied by reverse, upper, lower and replace_all drop NULs.
 * @{ */
/* ======================================================================== */

/** KMP failure table of pattern.
 * @param pattern the pattern
 * @return a new ZeqVec (caller frees) */
ZEQ_API ZeqVec *build_kmp_table_str(const ZeqString *pattern) ZEQ_NOEXCEPT;
/** First occurrence (KMP).
 * @param text the text
 * @param pattern the pattern
 * @return the position; 0 for an empty pattern, -1 if none */
ZEQ_API int64_t zeq_kmp_search(const ZeqString *text, const ZeqString *pattern) ZEQ_NOEXCEPT;
/** Whether pattern equals text at pos (caller keeps pos in range).
 * @param text the text
 * @param pattern the pattern
 * @param pos the position in text
 * @return a one-byte bool */
ZEQ_API bool str_match_at(const ZeqString *text, const ZeqString *pattern, int64_t pos) ZEQ_NOEXCEPT;
/** First occurrence.
 * @param text the text
 * @param pattern the pattern
 * @return the position, -1 if none */
ZEQ_API int64_t zeq_str_find(const ZeqString *text, const ZeqString *pattern) ZEQ_NOEXCEPT;
/** Last occurrence.
 * @param text the text
 * @param pattern the pattern
 * @return the position, -1 if none */
ZEQ_API int64_t zeq_str_rfind(const ZeqString *text, const ZeqString *pattern) ZEQ_NOEXCEPT;
/** Non-overlapping occurrences.
 * @param text the text
 * @param pattern the pattern
 * @return the count; n + 1 for "" */
ZEQ_API int64_t zeq_str_count(const ZeqString *text, const ZeqString *pattern) ZEQ_NOEXCEPT;
/** Whether pattern occurs in text.
 * @param text the text
 * @param pattern the pattern
 * @return 1 or 0 */
ZEQ_API int64_t zeq_str_contains(const ZeqString *text, const ZeqString *pattern) ZEQ_NOEXCEPT;
/** Whether text begins with prefix.
 * @param text the text
 * @param prefix the prefix
 * @return 1 or 0 */
ZEQ_API int64_t zeq_str_starts_with(const ZeqString *text, const ZeqString *prefix) ZEQ_NOEXCEPT;
/** Whether text ends with suffix.
 * @param text the text
 * @param suffix the suffix
 * @return 1 or 0 */
ZEQ_API int64_t zeq_str_ends_with(const ZeqString *text, const ZeqString *suffix) ZEQ_NOEXCEPT;
/** First occurrence of a byte.
 * @param text the string
 * @param byte the byte
 * @return the position, -1 if none */
ZEQ_API int64_t zeq_str_find_byte(const ZeqString *text, int32_t byte) ZEQ_NOEXCEPT;
/** Last occurrence of a byte.
 * @param text the string
 * @param byte the byte
 * @return the position, -1 if none */
ZEQ_API int64_t str_rfind_byte(const ZeqString *text, int64_t byte) ZEQ_NOEXCEPT;
/** Occurrences of a byte.
 * @param text the string
 * @param byte the byte
 * @return the count */
ZEQ_API int64_t zeq_str_count_byte(const ZeqString *text, int32_t byte) ZEQ_NOEXCEPT;
/** Token count.
 * @param text the string
 * @param separator the separator byte
 * @return 1 + separators (0 for "") */
ZEQ_API int64_t zeq_token_count(const ZeqString *text, int32_t separator) ZEQ_NOEXCEPT;
/** Whether text reads the same backwards.
 * @param text the string
 * @return a one-byte bool */
ZEQ_API bool zeq_is_palindrome(const ZeqString *text) ZEQ_NOEXCEPT;
/** Hamming distance.
 * @param a first string
 * @param b second string
 * @return the differing positions; -1 for different lengths */
ZEQ_API int64_t zeq_str_hamming(const ZeqString *a, const ZeqString *b) ZEQ_NOEXCEPT;
/** Word count: runs of non-whitespace.
 * @param text the string
 * @return the count */
ZEQ_API int64_t zeq_word_count(const ZeqString *text) ZEQ_NOEXCEPT;
/** Bytes in reverse order.
 * @param text the string
 * @return a new string */
ZEQ_API ZeqString *zeq_str_reverse(const ZeqString *text) ZEQ_NOEXCEPT;
/** The first occurrence of needle replaced.
 * @param text the text
 * @param needle the needle
 * @param replacement the replacement
 * @return a new string, or text itself when nothing matches */
ZEQ_API ZeqString *zeq_str_replace(const ZeqString *text, const ZeqString *needle,
                                   const ZeqString *replacement) ZEQ_NOEXCEPT;
/** Every occurrence of needle replaced.
 * @param text the text
 * @param needle the needle
 * @param replacement the replacement
 * @return a new string */
ZEQ_API ZeqString *zeq_str_replace_all(const ZeqString *text, const ZeqString *needle,
                                       const ZeqString *replacement) ZEQ_NOEXCEPT;
/** ASCII letters upper-cased.
 * @param text the string
 * @return a new string */
ZEQ_API ZeqString *zeq_str_to_upper(const ZeqString *text) ZEQ_NOEXCEPT;
/** ASCII letters lower-cased.
 * @param text the string
 * @return a new string */
ZEQ_API ZeqString *zeq_str_to_lower(const ZeqString *text) ZEQ_NOEXCEPT;
/** Without leading and trailing whitespace.
 * @param text the string
 * @return a new string */
ZEQ_API ZeqString *zeq_str_trim(const ZeqString *text) ZEQ_NOEXCEPT;
/** text count times.
 * @param text the string
 * @param count repetitions
 * @return a new string */
ZEQ_API ZeqString *zeq_str_repeat(const ZeqString *text, int64_t count) ZEQ_NOEXCEPT;

/** @} */

/* ======================================================================== */
/** @defgroup builder Strings: string builder
 * Builders live in malloc memory (never the arena) until zeq_sb_free().
 * Capacity 1024 from zeq_sb_new(), the request (64 if <= 0) from
 * zeq_sb_with_capacity(); it only grows, by doubling.  Push operations return
 * the new length, or 0 for a null builder (or null string / null data).
 * @{ */
/* ======================================================================== */

/** A new builder of capacity 1024.
 * @return the builder */
ZEQ_API ZeqStringBuilder *zeq_sb_new(void) ZEQ_NOEXCEPT;
/** A new builder of the requested capacity (64 if <= 0).
 * @param capacity bytes
 * @return the builder */
ZEQ_API ZeqStringBuilder *zeq_sb_with_capacity(int64_t capacity) ZEQ_NOEXCEPT;
/** Appends the string's bytes.
 * @param b the builder
 * @param s the string
 * @return the new length */
ZEQ_API int64_t zeq_sb_push(ZeqStringBuilder *b, const ZeqString *s) ZEQ_NOEXCEPT;
/** Appends bytes [max(start, 0), min(end, len)); 0 when start >= end.
 * @param b the builder
 * @param s the string
 * @param start first byte
 * @param end byte after the last
 * @return the new length */
ZEQ_API int64_t zeq_sb_push_range(ZeqStringBuilder *b, const ZeqString *s,
                                  int64_t start, int64_t end) ZEQ_NOEXCEPT;
/** Appends the low 8 bits.
 * @param b the builder
 * @param c the byte
 * @return the new length */
ZEQ_API int64_t zeq_sb_push_char(ZeqStringBuilder *b, int32_t c) ZEQ_NOEXCEPT;
/** Appends value in decimal.
 * @param b the builder
 * @param value the number
 * @return the new length */
ZEQ_API int64_t zeq_sb_push_int(ZeqStringBuilder *b, int64_t value) ZEQ_NOEXCEPT;
/** Appends value as "%.9g".
 * @param b the builder
 * @param value the number
 * @return the new length */
ZEQ_API int64_t zeq_sb_push_f64(ZeqStringBuilder *b, double value) ZEQ_NOEXCEPT;
/** Appends value as "0x%lx".
 * @param b the builder
 * @param value the number
 * @return the new length */
ZEQ_API int64_t zeq_sb_push_hex(ZeqStringBuilder *b, int64_t value) ZEQ_NOEXCEPT;
/** Appends "true" / "false".
 * @param b the builder
 * @param value the truth value
 * @return the new length */
ZEQ_API int64_t zeq_sb_push_bool(ZeqStringBuilder *b, int64_t value) ZEQ_NOEXCEPT;
/** Appends s, escaping tab, LF, CR, '"' and '\'.
 * @param b the builder
 * @param s the string
 * @return the new length */
ZEQ_API int64_t zeq_sb_push_escaped(ZeqStringBuilder *b, const ZeqString *s) ZEQ_NOEXCEPT;
/** The length; needs a builder.
 * @param b the builder
 * @return the length */
ZEQ_API int64_t zeq_sb_len(const ZeqStringBuilder *b) ZEQ_NOEXCEPT;
/** Empties the builder, keeping the capacity; needs a builder.
 * @param b the builder
 * @return 0 */
ZEQ_API int64_t zeq_sb_clear(ZeqStringBuilder *b) ZEQ_NOEXCEPT;
/** A copy of the content.
 * @param b the builder
 * @return a new string (zeq_alloc); "" for a null builder */
ZEQ_API ZeqString *zeq_sb_build(const ZeqStringBuilder *b) ZEQ_NOEXCEPT;
/** Whether item is an element of the comma-separated content.
 * @param b the builder
 * @param item the element
 * @return 1 or 0 */
ZEQ_API int64_t zeq_sb_contains(const ZeqStringBuilder *b, const ZeqString *item) ZEQ_NOEXCEPT;
/** puts(data); "\n" alone for null.
 * @param b the builder
 * @return 0 */
ZEQ_API int64_t zeq_sb_println(const ZeqStringBuilder *b) ZEQ_NOEXCEPT;
/** Releases the builder.
 * @param b the builder
 * @return 0 */
ZEQ_API int64_t zeq_sb_free(ZeqStringBuilder *b) ZEQ_NOEXCEPT;

/** @} */

/* ======================================================================== */
/** @defgroup transform Strings: transformations
 * Null-tolerant text services; pure, any thread.  n is the length of s, m
 * that of the needle / prefix / suffix.  A record with null data reads as
 * empty text.  "itself" means the argument record is returned (do not free
 * it separately); other string results are new strings from zeq_alloc.
 * Explicit lengths (trim*, substr, split segments) count every produced
 * byte; measured lengths (replace, case change, repeat, reverse, pad*,
 * join) stop at the first NUL of the produced bytes.
 * Results whose size cannot be represented (repeat count x length, replace
 * growth, pad width) end the process with the out-of-memory message.
 * @{ */
/* ======================================================================== */

/** Whether s begins with prefix.
 * @param s the string
 * @param prefix the prefix
 * @return 0 for a null argument or m > n; 1 for m = 0; else 1 or 0 */
ZEQ_API int64_t zeq_string_starts_with(const ZeqString *s, const ZeqString *prefix) ZEQ_NOEXCEPT;
/** Whether s ends with suffix.
 * @param s the string
 * @param suffix the suffix
 * @return 0 for a null argument or m > n; 1 for m = 0; else 1 or 0 */
ZEQ_API int64_t zeq_string_ends_with(const ZeqString *s, const ZeqString *suffix) ZEQ_NOEXCEPT;
/** Whether needle occurs in s.
 * @param s the string
 * @param needle the needle
 * @return 0 for null; 1 for m = 0; else 1 or 0 */
ZEQ_API int64_t zeq_string_contains(const ZeqString *s, const ZeqString *needle) ZEQ_NOEXCEPT;
/** First occurrence.
 * @param s the string
 * @param needle the needle
 * @return -1 for null; 0 for m = 0; the position or -1 */
ZEQ_API int64_t zeq_string_index_of(const ZeqString *s, const ZeqString *needle) ZEQ_NOEXCEPT;
/** Last occurrence.
 * @param s the string
 * @param needle the needle
 * @return -1 for null; n for m = 0; the position or -1 */
ZEQ_API int64_t zeq_string_last_index_of(const ZeqString *s, const ZeqString *needle) ZEQ_NOEXCEPT;
/** Non-overlapping occurrences.
 * @param s the string
 * @param needle the needle
 * @return the count; 0 for null or m = 0 */
ZEQ_API int64_t zeq_string_count(const ZeqString *s, const ZeqString *needle) ZEQ_NOEXCEPT;
/** Whether s is empty.
 * @param s the string
 * @return 1 for null or n = 0, else 0 */
ZEQ_API int64_t zeq_string_is_empty(const ZeqString *s) ZEQ_NOEXCEPT;
/** Without leading/trailing tab, LF, CR, space.
 * @param s the string
 * @return null for null; itself when n = 0; else a new copy */
ZEQ_API ZeqString *zeq_string_trim(const ZeqString *s) ZEQ_NOEXCEPT;
/** Without leading whitespace.
 * @param s the string
 * @return itself when n = 0 or the first byte is not whitespace; else a
 *         new string */
ZEQ_API ZeqString *zeq_string_trim_left(const ZeqString *s) ZEQ_NOEXCEPT;
/** Without trailing whitespace.
 * @param s the string
 * @return itself when n = 0 or the last byte is not whitespace; else a
 *         new string */
ZEQ_API ZeqString *zeq_string_trim_right(const ZeqString *s) ZEQ_NOEXCEPT;
/** Bytes [start, min(n, start + count)).
 * @param s the string
 * @param start first byte
 * @param count bytes wanted
 * @return a new string; "" for null, start or count < 0, start > n */
ZEQ_API ZeqString *zeq_string_substr(const ZeqString *s, int64_t start, int64_t count) ZEQ_NOEXCEPT;
/** Every non-overlapping needle replaced.
 * @param s the string
 * @param needle the needle
 * @param replacement the replacement
 * @return a new string; itself when any argument is null, m = 0, m > n or
 *         nothing matches */
ZEQ_API ZeqString *zeq_string_replace(const ZeqString *s, const ZeqString *needle,
                                      const ZeqString *replacement) ZEQ_NOEXCEPT;
/** ASCII letters only.
 * @param s the string
 * @return a new string; null for null; itself for n = 0 */
ZEQ_API ZeqString *zeq_string_to_upper(const ZeqString *s) ZEQ_NOEXCEPT;
/** ASCII letters only.
 * @param s the string
 * @return a new string; null for null; itself for n = 0 */
ZEQ_API ZeqString *zeq_string_to_lower(const ZeqString *s) ZEQ_NOEXCEPT;
/** s count times.
 * @param s the string
 * @param count repetitions
 * @return a new string; a new "" for null or count <= 0 */
ZEQ_API ZeqString *zeq_string_repeat(const ZeqString *s, int64_t count) ZEQ_NOEXCEPT;
/** Bytes in reverse order.
 * @param s the string
 * @return a new string; null for null; itself for n = 0 */
ZEQ_API ZeqString *zeq_string_reverse(const ZeqString *s) ZEQ_NOEXCEPT;
/** Padded on the left to width bytes with the fill byte (low 8 bits).
 * @param s the string
 * @param width bytes wanted
 * @param fill the fill byte
 * @return a new string; null for null; itself when n >= width */
ZEQ_API ZeqString *zeq_string_pad_left(const ZeqString *s, int64_t width, int32_t fill) ZEQ_NOEXCEPT;
/** Padded on the right to width bytes with the fill byte (low 8 bits).
 * @param s the string
 * @param width bytes wanted
 * @param fill the fill byte
 * @return a new string; null for null; itself when n >= width */
ZEQ_API ZeqString *zeq_string_pad_right(const ZeqString *s, int64_t width, int32_t fill) ZEQ_NOEXCEPT;
/** Padded on the left to width bytes with the fill string's first byte
 * (space when it is null or empty).
 * @param s the string
 * @param width bytes wanted
 * @param fill the fill string
 * @return a new string; null for null; itself when n >= width */
ZEQ_API ZeqString *zeq_str_pad_left(const ZeqString *s, int64_t width, const ZeqString *fill) ZEQ_NOEXCEPT;
/** Padded on the right to width bytes with the fill string's first byte
 * (space when it is null or empty).
 * @param s the string
 * @param width bytes wanted
 * @param fill the fill string
 * @return a new string; null for null; itself when n >= width */
ZEQ_API ZeqString *zeq_str_pad_right(const ZeqString *s, int64_t width, const ZeqString *fill) ZEQ_NOEXCEPT;
/** Segments between separators: matches + 1 segments, empty ones included.
 * @param s the string
 * @param separator the separator
 * @return a new ZeqVec (zeq_vec_free() it) of new segment strings; empty
 *         for a null s; [s itself] for a null or empty separator */
ZEQ_API ZeqVec *zeq_string_split(const ZeqString *s, const ZeqString *separator) ZEQ_NOEXCEPT;
/** The vector's strings (elements are ZeqString pointers; null ones add no
 * bytes but keep their separators) with the separator between them.
 * @param v the vector
 * @param separator the separator
 * @return a new string; "" for an empty or null vector */
ZEQ_API ZeqString *zeq_string_join(const ZeqVec *v, const ZeqString *separator) ZEQ_NOEXCEPT;

/** @} */

/* ======================================================================== */
/** @defgroup convert Strings: number and text conversions
 * New strings from zeq_alloc with len = cap = the text's length; pure, any
 * thread.  Parsing reads the bytes of s up to its first NUL and never past
 * len.
 * @{ */
/* ======================================================================== */

/** "%ld".
 * @param value the number
 * @return a new string */
ZEQ_API ZeqString *zeq_int_to_string(int64_t value) ZEQ_NOEXCEPT;
/** "%ld", as zeq_int_to_string().
 * @param value the number
 * @return a new string */
ZEQ_API ZeqString *zeq_fast_i2s(int64_t value) ZEQ_NOEXCEPT;
/** "%lx" of the 64 bits as unsigned (no prefix).
 * @param value the number
 * @return a new string */
ZEQ_API ZeqString *zeq_int_to_hex(int64_t value) ZEQ_NOEXCEPT;
/** "0x%lx", or "-0x" and the magnitude's digits when negative (INT64_MIN:
 * -0x8000000000000000).
 * @param value the number
 * @return a new string */
ZEQ_API ZeqString *zeq_to_hex(int64_t value) ZEQ_NOEXCEPT;
/** "0o%lo", or "-0o" and the magnitude's digits.
 * @param value the number
 * @return a new string */
ZEQ_API ZeqString *zeq_to_octal(int64_t value) ZEQ_NOEXCEPT;
/** Binary digits of the 64 bits as unsigned, "0" for 0.
 * @param value the number
 * @return a new string */
ZEQ_API ZeqString *zeq_int_to_bin(int64_t value) ZEQ_NOEXCEPT;
/** "0b" and the binary digits of the 64 bits as unsigned.
 * @param value the number
 * @return a new string */
ZEQ_API ZeqString *zeq_to_binary(int64_t value) ZEQ_NOEXCEPT;
/** "%.9g" (byte-identical to snprintf: "nan", "-inf", "-0", "1e+20", ...).
 * @param value the number
 * @return a new string */
ZEQ_API ZeqString *zeq_f64_to_string(double value) ZEQ_NOEXCEPT;
/** "true" when the low 8 bits are non-zero, else "false".
 * @param value the truth value
 * @return a new string */
ZEQ_API ZeqString *zeq_bool_to_string(int64_t value) ZEQ_NOEXCEPT;
/** UTF-8 of the code point (1 to 4 bytes, no validation; values <= 127,
 * negatives included, give their low byte).
 * @param code the code point
 * @return 5 bytes from zeq_alloc, NUL-ended */
ZEQ_API char *zeq_char_to_string(int32_t code) ZEQ_NOEXCEPT;
/** strtol base 10: leading white space, optional sign, digits.
 * @param s the text
 * @return the number; 0 without digits (or for null); INT64_MAX /
 *         INT64_MIN on overflow */
ZEQ_API int64_t zeq_parse_int(const ZeqString *s) ZEQ_NOEXCEPT;
/** strtod (exponents, inf, nan, hex forms).
 * @param s the text
 * @return the number; 0.0 without a number or for null */
ZEQ_API double zeq_parse_f64(const ZeqString *s) ZEQ_NOEXCEPT;

/** @} */

/* ======================================================================== */
/** @defgroup svec Strings: string vectors and splitting
 * A string vector is a growable list of ZeqString pointers named by a 64-bit
 * handle into one process-wide pool.  Handles are issued 0, 1, 2, ... and
 * never reissued; -1 is the invalid handle, and any handle never issued
 * (negative ones included) is answered with the neutral result listed below
 * without touching memory.  A freed handle stays valid as an empty vector.
 * Vectors hold pointers and never copy or free a string; their item arrays
 * come from malloc in either allocation mode, so a vector can outlive the
 * arena strings it points to.  Items may be null.
 *
 * Threads: creating vectors is safe from any thread, and distinct vectors
 * may be used by different threads at once (the pool never moves a slot);
 * one vector read and changed by two threads at once needs the caller's own
 * lock.
 *
 * Splitting: each splitter returns a new string vector (or -1 when the pool
 * cannot grow) of new strings with explicit lengths.
 * @{ */
/* ======================================================================== */

/** A new empty vector.
 * @return the handle; -1 when the pool cannot grow */
ZEQ_API int64_t zeq_svec_new(void) ZEQ_NOEXCEPT;
/** Appends s (null too).
 * @param handle the vector
 * @param s the item
 * @return 0, or -1 (invalid handle / no memory) */
ZEQ_API int64_t zeq_svec_push(int64_t handle, ZeqString *s) ZEQ_NOEXCEPT;
/** Item count.
 * @param handle the vector
 * @return the count; 0 for an invalid handle */
ZEQ_API int64_t zeq_svec_len(int64_t handle) ZEQ_NOEXCEPT;
/** Item index.
 * @param handle the vector
 * @param index item index
 * @return the item; null when invalid or outside [0, len) */
ZEQ_API ZeqString *zeq_svec_get(int64_t handle, int64_t index) ZEQ_NOEXCEPT;
/** Removes item index, shifting the rest down.
 * @param handle the vector
 * @param index item index
 * @return 1, else 0 */
ZEQ_API int64_t zeq_svec_remove(int64_t handle, int64_t index) ZEQ_NOEXCEPT;
/** Count to 0, capacity kept.
 * @param handle the vector
 * @return 0 */
ZEQ_API int64_t zeq_svec_clear(int64_t handle) ZEQ_NOEXCEPT;
/** Releases the item array; the handle stays usable.
 * @param handle the vector
 * @return 0 */
ZEQ_API int64_t zeq_svec_free(int64_t handle) ZEQ_NOEXCEPT;
/** Lowest index whose item has the same len and bytes as s; null items
 * never match.
 * @param handle the vector
 * @param s the string sought
 * @return the index; -1 for none, a null s or an invalid handle */
ZEQ_API int64_t zeq_svec_index_of(int64_t handle, const ZeqString *s) ZEQ_NOEXCEPT;
/** Whether zeq_svec_index_of() finds an index.
 * @param handle the vector
 * @param s the string sought
 * @return 1 or 0 */
ZEQ_API int64_t zeq_svec_contains(int64_t handle, const ZeqString *s) ZEQ_NOEXCEPT;
/** Sorts in place: null items first, then unsigned bytes, shorter prefix
 * first (not stable).
 * @param handle the vector
 * @return 0 */
ZEQ_API int64_t zeq_svec_sort(int64_t handle) ZEQ_NOEXCEPT;
/** The items' bytes with separator between them; a null item adds no bytes
 * but keeps its separators; a null separator adds nothing.
 * @param handle the vector
 * @param separator the separator
 * @return a new string; "" for an invalid or empty vector */
ZEQ_API ZeqString *zeq_svec_join(int64_t handle, const ZeqString *separator) ZEQ_NOEXCEPT;

/** Segments between separators: leading and inner empty segments kept, none
 * after a final separator; no segments for a null or empty s; one string per
 * byte for a null or empty separator.
 * @param s the string
 * @param separator the separator
 * @return a new string vector, or -1 */
ZEQ_API int64_t zeq_str_split(const ZeqString *s, const ZeqString *separator) ZEQ_NOEXCEPT;
/** The runs of bytes other than tab, LF, CR and space (never an empty
 * string).
 * @param s the string
 * @return a new string vector, or -1 */
ZEQ_API int64_t zeq_str_split_whitespace(const ZeqString *s) ZEQ_NOEXCEPT;
/** The lines split at LF, each without one CR just before its end; a final
 * LF adds no empty line.
 * @param s the string
 * @return a new string vector, or -1 */
ZEQ_API int64_t zeq_str_lines(const ZeqString *s) ZEQ_NOEXCEPT;

/** @} */

/* ======================================================================== */
/** @defgroup vec Collections: integer vector
 * No operation tests the handle for null.  Capacity 8 from zeq_vec_new(),
 * max(n, 1) from zeq_vec_with_capacity(); doubled when an element finds the
 * buffer full, never shrunk.  Vectors are malloc memory, never the arena,
 * released by zeq_vec_free().
 * @{ */
/* ======================================================================== */

/** A new vector of capacity 8.
 * @return the vector */
ZEQ_API ZeqVec *zeq_vec_new(void) ZEQ_NOEXCEPT;
/** A new vector of capacity max(n, 1).
 * @param n capacity
 * @return the vector */
ZEQ_API ZeqVec *zeq_vec_with_capacity(int64_t n) ZEQ_NOEXCEPT;
/** Appends value.
 * @param v the vector
 * @param value the element
 * @return v */
ZEQ_API ZeqVec *zeq_vec_push(ZeqVec *v, int64_t value) ZEQ_NOEXCEPT;
/** Removes the last element.
 * @param v the vector
 * @return the element; 0 and no change when empty */
ZEQ_API int64_t zeq_vec_pop(ZeqVec *v) ZEQ_NOEXCEPT;
/** Element index (not validated: 0 <= index < len).
 * @param v the vector
 * @param index element index
 * @return the element */
ZEQ_API int64_t zeq_vec_get(const ZeqVec *v, int64_t index) ZEQ_NOEXCEPT;
/** Stores element index (not validated: 0 <= index < len).
 * @param v the vector
 * @param index element index
 * @param value the element */
ZEQ_API void zeq_vec_set(ZeqVec *v, int64_t index, int64_t value) ZEQ_NOEXCEPT;
/** The length.
 * @param v the vector
 * @return len */
ZEQ_API int64_t zeq_vec_len(const ZeqVec *v) ZEQ_NOEXCEPT;
/** The capacity.
 * @param v the vector
 * @return cap */
ZEQ_API int64_t zeq_vec_cap(const ZeqVec *v) ZEQ_NOEXCEPT;
/** Releases the buffer and the record.
 * @param v the vector */
ZEQ_API void zeq_vec_free(ZeqVec *v) ZEQ_NOEXCEPT;
/** Length to 0, capacity kept.
 * @param v the vector */
ZEQ_API void zeq_vec_clear(ZeqVec *v) ZEQ_NOEXCEPT;
/** Reverses the elements in place.
 * @param v the vector */
ZEQ_API void zeq_vec_reverse(ZeqVec *v) ZEQ_NOEXCEPT;
/** Whether value is an element.
 * @param v the vector
 * @param value the element sought
 * @return 1 or 0 */
ZEQ_API int64_t zeq_vec_contains(const ZeqVec *v, int64_t value) ZEQ_NOEXCEPT;
/** First index of value.
 * @param v the vector
 * @param value the element sought
 * @return the index, or -1 */
ZEQ_API int64_t zeq_vec_index_of(const ZeqVec *v, int64_t value) ZEQ_NOEXCEPT;
/** Swaps two elements (indexes not validated).
 * @param v the vector
 * @param i one index
 * @param j the other index */
ZEQ_API void zeq_vec_swap(ZeqVec *v, int64_t i, int64_t j) ZEQ_NOEXCEPT;
/** Ascending signed order, in place.
 * @param v the vector */
ZEQ_API void zeq_vec_sort(ZeqVec *v) ZEQ_NOEXCEPT;
/** Collapses runs of equal adjacent elements.
 * @param v the vector */
ZEQ_API void zeq_vec_dedup(ZeqVec *v) ZEQ_NOEXCEPT;
/** Stores value in every element.
 * @param v the vector
 * @param value the element */
ZEQ_API void zeq_vec_fill(ZeqVec *v, int64_t value) ZEQ_NOEXCEPT;
/** A copy.
 * @param v the vector
 * @return a new vector */
ZEQ_API ZeqVec *zeq_vec_copy(const ZeqVec *v) ZEQ_NOEXCEPT;
/** The sum, wrapping modulo 2^64.
 * @param v the vector
 * @return the sum; 0 when empty */
ZEQ_API int64_t zeq_vec_sum(const ZeqVec *v) ZEQ_NOEXCEPT;
/** The product, wrapping modulo 2^64.
 * @param v the vector
 * @return the product; 1 when empty */
ZEQ_API int64_t zeq_vec_product(const ZeqVec *v) ZEQ_NOEXCEPT;
/** The smallest element.
 * @param v the vector
 * @return the minimum; INT64_MAX when empty */
ZEQ_API int64_t zeq_vec_min(const ZeqVec *v) ZEQ_NOEXCEPT;
/** The largest element.
 * @param v the vector
 * @return the maximum; INT64_MIN when empty */
ZEQ_API int64_t zeq_vec_max(const ZeqVec *v) ZEQ_NOEXCEPT;
/** Elements [start, end), bounds clamped.
 * @param v the vector
 * @param start first element
 * @param end element after the last
 * @return a new vector (cap 8 when empty) */
ZEQ_API ZeqVec *zeq_vec_slice(const ZeqVec *v, int64_t start, int64_t end) ZEQ_NOEXCEPT;
/** Appends src's elements as of the call (dst may be src).
 * @param dst the vector appended to
 * @param src the vector appended */
ZEQ_API void zeq_vec_extend(ZeqVec *dst, const ZeqVec *src) ZEQ_NOEXCEPT;
/** Removes element index, shifting the rest down.
 * @param v the vector
 * @param index element index
 * @return the element; 0 and no change when out of range */
ZEQ_API int64_t zeq_vec_remove(ZeqVec *v, int64_t index) ZEQ_NOEXCEPT;
/** Inserts value before element index (clamped to [0, len]).
 * @param v the vector
 * @param index position
 * @param value the element */
ZEQ_API void zeq_vec_insert(ZeqVec *v, int64_t index, int64_t value) ZEQ_NOEXCEPT;

/** @} */

/* ======================================================================== */
/** @defgroup array Collections: checked arrays
 * An array is one block of 64-bit words: arr[0] capacity, arr[1] length n,
 * arr[2 .. n + 1] the elements; functions take the address of arr[0].
 * Compiled code creates arrays; every array these functions build has
 * capacity == length and comes from zeq_alloc (the calling thread's arena in
 * arena mode, else malloc; never freed here).  No null tests: every call needs
 * a valid array.  Inputs are never changed, except by zeq_array_set_safe().
 * No locking: concurrent set_safe on one array needs outside synchronisation,
 * and arena arrays live only as long as their thread's arena.
 * @{ */
/* ======================================================================== */

/** The length.
 * @param arr the array
 * @return n */
ZEQ_API int64_t zeq_array_len(const int64_t *arr) ZEQ_NOEXCEPT;
/** Checked read: 0 <= index < len, else the bounds panic "array index I out
 * of bounds [0, LEN)" (recorded inside a foreign-call region).
 * @param arr the array
 * @param index element index
 * @return the element */
ZEQ_API int64_t zeq_array_get_safe(const int64_t *arr, int64_t index) ZEQ_NOEXCEPT;
/** Checked write: 0 <= index < len, else the bounds panic, and nothing is
 * touched.
 * @param arr the array
 * @param index element index
 * @param value the element */
ZEQ_API void zeq_array_set_safe(int64_t *arr, int64_t index, int64_t value) ZEQ_NOEXCEPT;
/** arr's elements, then value.
 * @param arr the array
 * @param value the new element
 * @return a new array */
ZEQ_API int64_t *zeq_array_push(const int64_t *arr, int64_t value) ZEQ_NOEXCEPT;
/** Without the last element.
 * @param arr the array
 * @return a new array; arr itself when empty */
ZEQ_API int64_t *zeq_array_pop(int64_t *arr) ZEQ_NOEXCEPT;
/** a's elements, then b's.
 * @param a first array
 * @param b second array
 * @return a new array */
ZEQ_API int64_t *zeq_array_concat(const int64_t *a, const int64_t *b) ZEQ_NOEXCEPT;
/** Elements [max(start, 0), min(end, len)).
 * @param arr the array
 * @param start first element
 * @param end element after the last
 * @return a new array; a new empty array (both header words 0) for an
 *         empty range */
ZEQ_API int64_t *zeq_array_slice(const int64_t *arr, int64_t start, int64_t end) ZEQ_NOEXCEPT;

/** @} */

/* ======================================================================== */
/** @defgroup intmap Collections: integer hash map
 * Integer keys to 64-bit values (names without a prefix, no second names).
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
 * No locking: one thread at a time per map.
 * @{ */
/* ======================================================================== */

/** Integer hash map (opaque). */
typedef struct ZeqHashMap ZeqHashMap;
/** A new empty map.
 * @return the map; null when memory is short */
ZEQ_API ZeqHashMap *hashmap_new(void) ZEQ_NOEXCEPT;
/** Releases the map.
 * @param map the map */
ZEQ_API void hashmap_free(ZeqHashMap *map) ZEQ_NOEXCEPT;
/** The number of keys.
 * @param map the map
 * @return the count */
ZEQ_API int64_t hashmap_len(const ZeqHashMap *map) ZEQ_NOEXCEPT;
/** Stores value under key.
 * @param map the map
 * @param key the key
 * @param value the value
 * @return the previous value when the key was present, else 0 */
ZEQ_API int64_t hashmap_insert(ZeqHashMap *map, int64_t key, int64_t value) ZEQ_NOEXCEPT;
/** Looks key up.
 * @param map the map
 * @param key the key
 * @return the value; INT64_MIN when absent (contains is the reliable test) */
ZEQ_API int64_t hashmap_get(const ZeqHashMap *map, int64_t key) ZEQ_NOEXCEPT;
/** Removes key.
 * @param map the map
 * @param key the key
 * @return the value; INT64_MIN when absent */
ZEQ_API int64_t hashmap_remove(ZeqHashMap *map, int64_t key) ZEQ_NOEXCEPT;
/** Whether key is present.
 * @param map the map
 * @param key the key
 * @return 1 or 0 */
ZEQ_API int64_t hashmap_contains(const ZeqHashMap *map, int64_t key) ZEQ_NOEXCEPT;
/** The keys in ascending slot order; entry i of keys and values belongs to
 * one key while the map is unchanged between the calls.  A result vector
 * that cannot be allocated ends the process with the out-of-memory message.
 * @param map the map
 * @return a new ZeqVec (caller frees with zeq_vec_free()) */
ZEQ_API ZeqVec *hashmap_keys(const ZeqHashMap *map) ZEQ_NOEXCEPT;
/** The values in ascending slot order (see hashmap_keys()).
 * @param map the map
 * @return a new ZeqVec (caller frees with zeq_vec_free()) */
ZEQ_API ZeqVec *hashmap_values(const ZeqHashMap *map) ZEQ_NOEXCEPT;

/** @} */

/* ======================================================================== */
/** @defgroup strhashmap Collections: string-keyed hash map
 * String keys to 64-bit values in an open-addressing table of 4,096 slots
 * that doubles before an insert that finds len * 10 > cap * 7 (a failed
 * doubling leaves the map working at its size).  Keys hash with 64-bit FNV-1a
 * (zeq_string_hash()) with its high half XORed into the low half.
 *
 * Keys: the map stores the caller's key pointers and never copies, frees or
 * changes key text: the caller keeps each key alive and unchanged while its
 * entry exists (an arena key dies with the arena).  Two keys are equal when
 * they are the same pointer or have equal len and bytes; replacing a value
 * keeps the first key pointer.  Null is a key of its own, distinct from "".
 * Values are plain words, never freed.  The map record and table are
 * malloc/calloc memory, unaffected by arena resets.  A null map is accepted
 * everywhere (free: nothing; len, insert, get, remove, contains: 0; keys,
 * values: an empty vector; zeq_str_hashmap_keys(): a new empty string
 * vector).
 *
 * The zeq_ set forwards to the base set, except zeq_str_hashmap_free(),
 * zeq_str_hashmap_update(), zeq_str_hashmap_inc(), zeq_str_hashmap_keys()
 * and zeq_str_hashmap_sorted_keys().  Key lists that cannot grow end the
 * process with the out-of-memory message.
 * No locking: one thread at a time per map.
 * @{ */
/* ======================================================================== */

/** String-keyed hash map (opaque). */
typedef struct ZeqStrHashMap ZeqStrHashMap;
/** A new empty map.
 * @return the map; null when memory is short */
ZEQ_API ZeqStrHashMap *str_hashmap_new(void) ZEQ_NOEXCEPT;
/** Releases the map (not the keys).
 * @param map the map */
ZEQ_API void str_hashmap_free(ZeqStrHashMap *map) ZEQ_NOEXCEPT;
/** The number of keys.
 * @param map the map
 * @return the count */
ZEQ_API int64_t str_hashmap_len(const ZeqStrHashMap *map) ZEQ_NOEXCEPT;
/** Stores value under key (the caller's pointer).
 * @param map the map
 * @param key the key, kept by pointer
 * @param value the value
 * @return the previous value when the key was present, else 0 (also when
 *         nothing could be stored) */
ZEQ_API int64_t str_hashmap_insert(ZeqStrHashMap *map, ZeqString *key, int64_t value) ZEQ_NOEXCEPT;
/** Looks key up.
 * @param map the map
 * @param key the key
 * @return the value, 0 when absent (contains is the reliable test) */
ZEQ_API int64_t str_hashmap_get(const ZeqStrHashMap *map, const ZeqString *key) ZEQ_NOEXCEPT;
/** Whether key is present.
 * @param map the map
 * @param key the key
 * @return 1 or 0 */
ZEQ_API int64_t str_hashmap_contains(const ZeqStrHashMap *map, const ZeqString *key) ZEQ_NOEXCEPT;
/** Removes key.
 * @param map the map
 * @param key the key
 * @return the value, 0 when absent */
ZEQ_API int64_t str_hashmap_remove(ZeqStrHashMap *map, const ZeqString *key) ZEQ_NOEXCEPT;
/** The key pointers in ascending slot order.
 * @param map the map
 * @return a new ZeqVec (caller frees; keys are the map's own pointers) */
ZEQ_API ZeqVec *str_hashmap_keys(const ZeqStrHashMap *map) ZEQ_NOEXCEPT;
/** The values in ascending slot order.
 * @param map the map
 * @return a new ZeqVec (caller frees) */
ZEQ_API ZeqVec *str_hashmap_values(const ZeqStrHashMap *map) ZEQ_NOEXCEPT;

/** Forwards to str_hashmap_new().
 * @return the map; null when memory is short */
ZEQ_API ZeqStrHashMap *zeq_str_hashmap_new(void) ZEQ_NOEXCEPT;
/** Forwards to str_hashmap_free().
 * @param map the map
 * @return 0 */
ZEQ_API int64_t zeq_str_hashmap_free(ZeqStrHashMap *map) ZEQ_NOEXCEPT;
/** @copydoc str_hashmap_len */
ZEQ_API int64_t zeq_str_hashmap_len(const ZeqStrHashMap *map) ZEQ_NOEXCEPT;
/** @copydoc str_hashmap_insert */
ZEQ_API int64_t zeq_str_hashmap_insert(ZeqStrHashMap *map, ZeqString *key, int64_t value) ZEQ_NOEXCEPT;
/** @copydoc str_hashmap_get */
ZEQ_API int64_t zeq_str_hashmap_get(const ZeqStrHashMap *map, const ZeqString *key) ZEQ_NOEXCEPT;
/** @copydoc str_hashmap_contains */
ZEQ_API int64_t zeq_str_hashmap_contains(const ZeqStrHashMap *map, const ZeqString *key) ZEQ_NOEXCEPT;
/** @copydoc str_hashmap_remove */
ZEQ_API int64_t zeq_str_hashmap_remove(ZeqStrHashMap *map, const ZeqString *key) ZEQ_NOEXCEPT;
/** @copydoc str_hashmap_values */
ZEQ_API ZeqVec *zeq_str_hashmap_values(const ZeqStrHashMap *map) ZEQ_NOEXCEPT;
/** A new string vector of the key pointers in slot order.
 * @param map the map
 * @return the string vector; -1 when the pool cannot grow */
ZEQ_API int64_t zeq_str_hashmap_keys(const ZeqStrHashMap *map) ZEQ_NOEXCEPT;
/** The same as zeq_str_hashmap_keys(), sorted: null first, then bytes as
 * unsigned values, shorter prefix first.
 * @param map the map
 * @return the string vector; -1 when the pool cannot grow */
ZEQ_API int64_t zeq_str_hashmap_sorted_keys(const ZeqStrHashMap *map) ZEQ_NOEXCEPT;
/** Stores get(key) + delta (wrapping; an absent key starts from 0).
 * @param map the map
 * @param key the key, kept by pointer when new
 * @param delta the increment
 * @return 0 */
ZEQ_API int64_t zeq_str_hashmap_inc(ZeqStrHashMap *map, ZeqString *key, int64_t delta) ZEQ_NOEXCEPT;
/** Insert, returning 0.
 * @param map the map
 * @param key the key, kept by pointer
 * @param value the value
 * @return 0 */
ZEQ_API int64_t zeq_str_hashmap_update(ZeqStrHashMap *map, ZeqString *key, int64_t value) ZEQ_NOEXCEPT;

/** Looks key up in the list string source: entries "key=value" separated by
 * ';' (a key runs from the entry's start to the first '=' and may hold ';';
 * the value runs to the next ';' or the end; a later repeat of a key wins;
 * parsing stops at a run without '=').  slot (0 to 2) names one of three
 * process-wide caches: the source is parsed once and the map reused while
 * later calls for that slot bring a source with the same bytes; a different
 * source replaces the slot's map.
 * Not thread-safe: the caches are process-wide and unlocked.
 * @param source the list
 * @param key the key
 * @param slot the cache, 0 to 2
 * @return the cached value string itself (also for an empty value), which
 *         the cache owns in malloc memory: it survives arena resets and stays
 *         valid until a call for the same slot brings a different source.
 *         Otherwise (null or empty source, slot outside 0..2, absent key, no
 *         memory) a new empty string from zeq_alloc. */
ZEQ_API ZeqString *reg_cached_lookup(const ZeqString *source, const ZeqString *key,
                                     int64_t slot) ZEQ_NOEXCEPT;

/** @} */

/* ======================================================================== */
/** @defgroup strmap Collections: string map
 * String keys to 64-bit values in a chained hash table that owns copies of
 * its keys: callers may release a key string after inserting it.  Buckets
 * start at 64 and double before an insert that finds more than 0.75
 * entries per bucket; keys hash with 64-bit FNV-1a into hash mod buckets.
 * The record, buckets, entries and key copies are malloc memory, never the
 * arena; values are plain words, never freed.  A stored key is compared up
 * to its first NUL, so a key holding a NUL byte is stored but never found.
 * A null map or key (or key data) is accepted and answered neutrally.
 * A negative key length counts as 0.  No locking: one thread at a time,
 * also for get and contains (they note the entry found, which makes the
 * insert that usually follows them skip its search).
 * @{ */
/* ======================================================================== */

/** String map (opaque). */
typedef struct ZeqStrMap ZeqStrMap;
/** An empty map.
 * @return the map; null when memory is short */
ZEQ_API ZeqStrMap *zeq_strmap_new(void) ZEQ_NOEXCEPT;
/** Frees entries, key copies, buckets and record; null ignored.
 * @param map the map */
ZEQ_API void zeq_strmap_free(ZeqStrMap *map) ZEQ_NOEXCEPT;
/** Stores value under a copy of key.
 * @param map the map
 * @param key the key (copied)
 * @param value the value
 * @return 1 when stored (new entry or replaced value); 0 for null map or
 *         key, or when memory for a new entry is short (nothing stored) */
ZEQ_API int64_t zeq_strmap_insert(ZeqStrMap *map, const ZeqString *key, int64_t value) ZEQ_NOEXCEPT;
/** Looks key up.
 * @param map the map
 * @param key the key
 * @return the value; -1 when absent (contains is the reliable test) */
ZEQ_API int64_t zeq_strmap_get(ZeqStrMap *map, const ZeqString *key) ZEQ_NOEXCEPT;
/** Whether key is present.
 * @param map the map
 * @param key the key
 * @return 1 or 0 */
ZEQ_API int64_t zeq_strmap_contains(ZeqStrMap *map, const ZeqString *key) ZEQ_NOEXCEPT;
/** Removes key.
 * @param map the map
 * @param key the key
 * @return the removed entry's value; 0 when absent */
ZEQ_API int64_t zeq_strmap_remove(ZeqStrMap *map, const ZeqString *key) ZEQ_NOEXCEPT;
/** The number of entries.
 * @param map the map
 * @return entries; 0 for null */
ZEQ_API int64_t zeq_strmap_size(const ZeqStrMap *map) ZEQ_NOEXCEPT;
/** Copies of the keys, bucket by bucket.
 * @param map the map
 * @return a new ZeqVec of new strings (zeq_alloc, owned by the caller) */
ZEQ_API ZeqVec *zeq_strmap_keys(const ZeqStrMap *map) ZEQ_NOEXCEPT;
/** The values, in the order of zeq_strmap_keys().
 * @param map the map
 * @return a new ZeqVec */
ZEQ_API ZeqVec *zeq_strmap_values(const ZeqStrMap *map) ZEQ_NOEXCEPT;

/** @} */

/* ======================================================================== */
/** @defgroup files System: files and directories
 * Paths are string records used as NUL-terminated paths (len is not read,
 * except by zeq_mkdir()); zeq_file_exists_cstr(), zeq_file_size() and
 * zeq_append_file() take plain NUL-terminated byte strings.  No operation
 * prints, panics or keeps state; each closes what it opened on every path.
 * Integer results are 0 on success and -1 on failure (errno is not
 * reported); the tests answer 1 or 0.  A null record, null data or null
 * byte string gives -1 (0 for the tests, "" for string results).
 * Thread-safe as the platform calls underneath; strings from zeq_alloc go
 * to the calling thread's arena.
 * @{ */
/* ======================================================================== */

/** Every byte of the file, NUL bytes included (len = bytes read, cap = len).
 * The bytes are a malloc buffer even in arena mode (the record is from
 * zeq_alloc): an arena reset does not release them, and with arena mode off
 * zeq_string_free() releases both.
 * @param path the file
 * @return the content; "" when the path cannot be opened, names a directory
 *         or a stream that cannot seek (FIFO, terminal), memory runs out, or
 *         a read fails; an empty file also gives "" */
ZEQ_API ZeqString *zeq_read_file(const ZeqString *path) ZEQ_NOEXCEPT;
/** Creates or truncates (mode 0666 before the umask) and writes content's
 * len bytes.
 * @param path the file
 * @param content the bytes
 * @return 0; -1 when not all bytes reached the file or closing failed (the
 *         file keeps what was written), or for len < 0.  A pipe whose
 *         reader has gone gives -1; no SIGPIPE reaches the process. */
ZEQ_API int64_t zeq_write_file(const ZeqString *path, const ZeqString *content) ZEQ_NOEXCEPT;
/** The same as zeq_write_file() with each byte 0x1F written as 0x0A.
 * @param path the file
 * @param content the bytes
 * @return 0 or -1 */
ZEQ_API int64_t zeq_write_file_newlines(const ZeqString *path, const ZeqString *content) ZEQ_NOEXCEPT;
/** Appends data up to its NUL, creating the file.
 * @param path the file
 * @param data NUL-terminated bytes
 * @return 0 or -1 */
ZEQ_API int64_t zeq_append_file(const char *path, const char *data) ZEQ_NOEXCEPT;
/** Whether stat succeeds (any type).
 * @param path the path
 * @return 1 or 0 */
ZEQ_API int64_t zeq_file_exists(const ZeqString *path) ZEQ_NOEXCEPT;
/** Whether stat succeeds (any type).
 * @param path the path
 * @return 1 or 0 */
ZEQ_API int64_t zeq_file_exists_cstr(const char *path) ZEQ_NOEXCEPT;
/** The size in bytes; a device gives what seeking to its end reports.
 * file_size is the same with a string record path.
 * @param path the file
 * @return the size; -1 when the file cannot be opened for reading, is a
 *         directory, or cannot seek */
ZEQ_API int64_t zeq_file_size(const char *path) ZEQ_NOEXCEPT;
/** remove(): a file or an empty directory (four names, one operation).
 * @param path the path
 * @return 0 or -1 */
ZEQ_API int64_t zeq_delete_file(const ZeqString *path) ZEQ_NOEXCEPT;
/** remove(), as zeq_delete_file().
 * @param path the path
 * @return 0 or -1 */
ZEQ_API int64_t zeq_remove_file(const ZeqString *path) ZEQ_NOEXCEPT;
/** Whether stat succeeds and the path is a directory.
 * @param path the path
 * @return 1 or 0 */
ZEQ_API int64_t zeq_is_dir(const ZeqString *path) ZEQ_NOEXCEPT;
/** Creates the directory and every missing parent (mode 0755 before the
 * umask); every '/' or '\' among the first len bytes (never the first byte)
 * ends a parent.
 * @param path the directory
 * @return 0 when the path is a directory afterwards (also when it already
 *         was), -1 otherwise or for len 0 */
ZEQ_API int64_t zeq_mkdir(const ZeqString *path) ZEQ_NOEXCEPT;
/** The entry names in the platform's directory order, "." and ".." left
 * out, separated by line feeds without a final one.
 * @param path the directory
 * @return a new string (zeq_alloc); "" for an empty directory and on any
 *         failure */
ZEQ_API ZeqString *zeq_readdir(const ZeqString *path) ZEQ_NOEXCEPT;
/** rmdir(): an empty directory only.
 * @param path the directory
 * @return 0 or -1 */
ZEQ_API int64_t zeq_rmdir(const ZeqString *path) ZEQ_NOEXCEPT;

/** @} */

/* ======================================================================== */
/** @defgroup process System: processes, environment, working directory
 * Commands go to the platform shell unchanged (quoting is the caller's
 * business); the child has finished, as far as the shell waits for it, when
 * the call returns.  No state; callable from any thread under the
 * platform's rules for system, popen and getenv (getenv races with a
 * concurrent setenv).  String results are new strings whose record comes
 * from zeq_alloc; failures give "" (or -1), never a panic.
 * @{ */
/* ======================================================================== */

/** Runs the command through system().
 * @param command the command line
 * @return system()'s undecoded status word sign-extended (exit code c gives
 *         c * 256; -1 when the shell could not start); -1 for a null
 *         command */
ZEQ_API int64_t zeq_system(const ZeqString *command) ZEQ_NOEXCEPT;
/** Every byte the command writes to standard output (NULs included;
 * standard error is not captured), with a NUL after it.  Arena mode on: the
 * bytes are copied into the arena, cap = len.  Arena mode off: the bytes are
 * the malloc read buffer itself (4,096 bytes doubled until it holds the
 * output and the NUL), cap = its size; zeq_string_free() releases it.
 * @param command the command line
 * @return the output; "" when it cannot be started, the output so far when
 *         memory runs out */
ZEQ_API ZeqString *zeq_system_capture(const ZeqString *command) ZEQ_NOEXCEPT;
/** Captures "<command> <arguments> 2>&1" the same way as
 * zeq_system_capture(), so standard error is interleaved with standard
 * output; a null or empty argument string adds neither the space nor
 * arguments.
 * @param command the command
 * @param arguments its arguments
 * @return the output */
ZEQ_API ZeqString *zeq_exec_output(const ZeqString *command, const ZeqString *arguments) ZEQ_NOEXCEPT;
/** A copy of the variable's value.
 * @param name the variable
 * @return a new string; "" when unset (or set empty, or for a null name) */
ZEQ_API ZeqString *zeq_getenv(const ZeqString *name) ZEQ_NOEXCEPT;
/** The absolute working directory without a trailing line feed.
 * @return a new string; "" when it is longer than 4,095 bytes or no longer
 *         exists */
ZEQ_API ZeqString *zeq_getcwd(void) ZEQ_NOEXCEPT;

/** @} */

/* ======================================================================== */
/** @defgroup threads Concurrency: threads, locks, condition variables, barriers, boxes
 * Every record below comes from malloc (never the arena, whatever the arena
 * mode), may be created on one thread and freed on another, and is meant to
 * be shared between threads unless its comment says otherwise.  Handles are
 * opaque.  No function here prints or panics.
 * @{ */
/* ======================================================================== */

/** A spawned thread (opaque). */
typedef struct ZeqThread ZeqThread;
/** A mutex carrying one protected value (opaque). */
typedef struct ZeqMutex ZeqMutex;
/** A read-write lock carrying one protected value (opaque). */
typedef struct ZeqRwLock ZeqRwLock;
/** A condition variable (opaque). */
typedef struct ZeqCondvar ZeqCondvar;
/** A reusable barrier (opaque). */
typedef struct ZeqBarrier ZeqBarrier;
/** An atomically counted shared box (opaque). */
typedef struct ZeqArc ZeqArc;
/** Body of a spawned thread: one 64-bit argument, one 64-bit result. */
typedef int64_t (*ZeqThreadFn)(int64_t arg);

/** Starts a joinable thread running fn(arg) (a null fn gives the result 0).
 * A panic in the thread ends the process unless the thread opened a
 * foreign-call region of its own; strings it makes with arena mode on live
 * in its own arena, which is never released, so a result that points into
 * it stays valid after the join.
 * @param fn the body
 * @param arg its argument
 * @return the handle; null when the record cannot be allocated or the
 *         platform refuses the thread */
ZEQ_API ZeqThread *zeq_spawn(ZeqThreadFn fn, int64_t arg) ZEQ_NOEXCEPT;
/** Waits for the thread and returns fn's result, freeing the handle; join
 * each handle exactly once (a second join uses freed memory).  A handle
 * whose value, read as a signed 64-bit integer, is below 65536 (null,
 * negative, small numbers) is not a thread: it is returned unchanged.  A
 * thread joining its own handle gets 0 at once and the handle stays valid.
 * @param thread the handle
 * @return fn's result */
ZEQ_API int64_t zeq_join(ZeqThread *thread) ZEQ_NOEXCEPT;

/** Mutex carrying one protected 64-bit value.  Not recursive.
 * @param value the protected value
 * @return the mutex; null only when malloc fails */
ZEQ_API ZeqMutex *zeq_mutex_new(int64_t value) ZEQ_NOEXCEPT;
/** Blocks until held.  The holder locking again gets the value at once
 * without a second hold (one unlock releases it).
 * @param m the mutex
 * @return the protected value; 0 for null */
ZEQ_API int64_t zeq_mutex_lock(ZeqMutex *m) ZEQ_NOEXCEPT;
/** Stores value into the mutex and releases it.  By a thread that does not
 * hold the mutex: ignored (nothing is stored or released).  Null: nothing.
 * @param m the mutex
 * @param value the new protected value */
ZEQ_API void zeq_mutex_unlock(ZeqMutex *m, int64_t value) ZEQ_NOEXCEPT;
/** Takes the mutex if it is free.
 * @param m the mutex
 * @return the value, now held; 0 when busy (held by anyone, the caller
 *         included) - indistinguishable from a value of 0; 0 for null */
ZEQ_API int64_t zeq_mutex_try_lock(ZeqMutex *m) ZEQ_NOEXCEPT;
/** Frees the mutex.  A mutex that is held is left alone (not freed); freeing
 * one that a thread is still waiting for is not allowed.  Null: nothing.
 * @param m the mutex */
ZEQ_API void zeq_mutex_free(ZeqMutex *m) ZEQ_NOEXCEPT;

/** Read-write lock carrying one protected value.  The exclusive holder
 * calling read or write again gets the value at once without a further
 * hold.  Taking the lock exclusively while holding it shared waits forever
 * (a usage error, as with the platform lock).
 * @param value the protected value
 * @return the lock; null only when malloc fails */
ZEQ_API ZeqRwLock *zeq_rwlock_new(int64_t value) ZEQ_NOEXCEPT;
/** Takes the lock shared.
 * @param l the lock
 * @return the value; 0 for null */
ZEQ_API int64_t zeq_rwlock_read(ZeqRwLock *l) ZEQ_NOEXCEPT;
/** Releases one shared hold, storing nothing; ignored when no shared hold
 * exists.  Null: nothing.
 * @param l the lock */
ZEQ_API void zeq_rwlock_read_unlock(ZeqRwLock *l) ZEQ_NOEXCEPT;
/** Takes the lock exclusive.
 * @param l the lock
 * @return the value; 0 for null */
ZEQ_API int64_t zeq_rwlock_write(ZeqRwLock *l) ZEQ_NOEXCEPT;
/** Stores value and releases the exclusive hold; by a thread that does not
 * hold the lock exclusively it is ignored.  Null: nothing.
 * @param l the lock
 * @param value the new protected value */
ZEQ_API void zeq_rwlock_write_unlock(ZeqRwLock *l, int64_t value) ZEQ_NOEXCEPT;
/** Takes the lock shared if it can at once.
 * @param l the lock
 * @return the value, or -1 when the lock is busy or the handle is null */
ZEQ_API int64_t zeq_rwlock_try_read(ZeqRwLock *l) ZEQ_NOEXCEPT;
/** Takes the lock exclusive if it can at once.
 * @param l the lock
 * @return the value, or -1 when the lock is busy or the handle is null */
ZEQ_API int64_t zeq_rwlock_try_write(ZeqRwLock *l) ZEQ_NOEXCEPT;
/** Frees the lock; a held lock is left alone.  Null: nothing.
 * @param l the lock */
ZEQ_API void zeq_rwlock_free(ZeqRwLock *l) ZEQ_NOEXCEPT;

/** Condition variable used with a ZeqMutex.
 * @return the condition variable; null when malloc fails */
ZEQ_API ZeqCondvar *zeq_condvar_new(void) ZEQ_NOEXCEPT;
/** Atomically releases the mutex (which the caller must hold), sleeps until
 * notified, re-takes the mutex and returns its protected value; it may also
 * return on a spurious wake-up, so callers re-check their condition.
 * @param cv the condition variable
 * @param m the mutex
 * @return the protected value; 0 at once, without waiting, when either
 *         handle is null or the caller does not hold the mutex */
ZEQ_API int64_t zeq_condvar_wait(ZeqCondvar *cv, ZeqMutex *m) ZEQ_NOEXCEPT;
/** Wakes at most one waiter; null does nothing.
 * @param cv the condition variable */
ZEQ_API void zeq_condvar_notify_one(ZeqCondvar *cv) ZEQ_NOEXCEPT;
/** Wakes every waiter; null does nothing.
 * @param cv the condition variable */
ZEQ_API void zeq_condvar_notify_all(ZeqCondvar *cv) ZEQ_NOEXCEPT;
/** Frees the condition variable.
 * @param cv the condition variable */
ZEQ_API void zeq_condvar_free(ZeqCondvar *cv) ZEQ_NOEXCEPT;

/** Reusable barrier for `parties` threads.
 * @param parties threads per generation
 * @return the barrier; null for parties <= 0 */
ZEQ_API ZeqBarrier *zeq_barrier_new(int64_t parties) ZEQ_NOEXCEPT;
/** Blocks until that many calls have arrived in the current generation,
 * then releases them all.  The next arrivals form the next generation.
 * @param b the barrier
 * @return 1 for exactly one of them (the last to arrive), 0 for the others;
 *         0 at once for a null handle */
ZEQ_API int64_t zeq_barrier_wait(ZeqBarrier *b) ZEQ_NOEXCEPT;
/** Frees the barrier; one that threads are still waiting on (or waking
 * from) is left alone.
 * @param b the barrier */
ZEQ_API void zeq_barrier_free(ZeqBarrier *b) ZEQ_NOEXCEPT;

/** Atomically counted shared box holding one immutable 64-bit value (the box
 * does not own what the value points to), count 1.  Every operation is safe
 * from any thread that holds a reference.
 * @param value the value
 * @return the box; null when malloc fails */
ZEQ_API ZeqArc *zeq_arc_new(int64_t value) ZEQ_NOEXCEPT;
/** Adds one to the count.
 * @param a the box
 * @return a; null for null */
ZEQ_API ZeqArc *zeq_arc_clone(ZeqArc *a) ZEQ_NOEXCEPT;
/** The value.
 * @param a the box
 * @return the value; 0 for null */
ZEQ_API int64_t zeq_arc_get(const ZeqArc *a) ZEQ_NOEXCEPT;
/** Removes one from the count; the drop that brings it to 0 frees the box.
 * Null: nothing.
 * @param a the box */
ZEQ_API void zeq_arc_drop(ZeqArc *a) ZEQ_NOEXCEPT;
/** The count after a full fence.
 * @param a the box
 * @return the count; 0 for null */
ZEQ_API int64_t zeq_arc_strong_count(const ZeqArc *a) ZEQ_NOEXCEPT;

/** @} */

/* ======================================================================== */
/** @defgroup channel Concurrency: channels
 * Bounded first-in-first-out queue of 64-bit messages, safe for any number
 * of sending and receiving threads.  Operations take a handle (a cell naming
 * the channel); all handles of one channel are interchangeable.  A message is
 * an opaque word the channel never looks into.  A null handle is tolerated
 * by every operation: sends do nothing or return 0, receives return 0 with
 * the out-argument untouched, is_closed returns 1.
 *
 * Close: final; wakes every waiting sender and receiver.  After it sends
 * queue nothing (the blocking send discards its message silently, the others
 * return 0), while receives still deliver every message queued before it;
 * once the channel is empty they report the end (0).  Closing again is
 * harmless.
 *
 * The timed forms wait at most `ms` milliseconds (a negative time waits
 * without limit, 0 polls).  The deadline is on the real-time clock.
 * @{ */
/* ======================================================================== */

/** A handle of a channel (opaque). */
typedef struct ZeqChannelHandle ZeqChannelHandle;
/** Makes a channel of `capacity` slots (a negative capacity is taken as 0)
 * and two handles.  A capacity of 0 holds no message ever: sends wait until
 * close (try and timed sends return 0), receives wait until close.
 * @param capacity slots
 * @param out_sender receives the sender handle (may be null)
 * @param out_receiver receives the receiver handle (may be null)
 * @return the receiver handle; on allocation failure both outs are set to
 *         null and null is returned */
ZEQ_API ZeqChannelHandle *zeq_channel_new(int64_t capacity, ZeqChannelHandle **out_sender,
                                          ZeqChannelHandle **out_receiver) ZEQ_NOEXCEPT;
/** Waits for space while open, then queues the message.
 * @param h a handle
 * @param message the message */
ZEQ_API void zeq_channel_send(ZeqChannelHandle *h, int64_t message) ZEQ_NOEXCEPT;
/** Waits for a message while open.
 * @param h a handle
 * @return the message, or 0 once closed and empty (use recv_opt to tell a
 *         0 message apart) */
ZEQ_API int64_t zeq_channel_recv(ZeqChannelHandle *h) ZEQ_NOEXCEPT;
/** Like recv.
 * @param h a handle
 * @param out receives the message
 * @return 1 and *out = message, or 0 at the end */
ZEQ_API int64_t zeq_channel_recv_opt(ZeqChannelHandle *h, int64_t *out) ZEQ_NOEXCEPT;
/** Queues the message if there is room now.
 * @param h a handle
 * @param message the message
 * @return 1 if queued now, 0 if full or closed */
ZEQ_API int64_t zeq_channel_try_send(ZeqChannelHandle *h, int64_t message) ZEQ_NOEXCEPT;
/** Takes a message if one is queued now.
 * @param h a handle
 * @param out receives the message
 * @return 1 and *out if a message is queued now, else 0 (also after close) */
ZEQ_API int64_t zeq_channel_try_recv(ZeqChannelHandle *h, int64_t *out) ZEQ_NOEXCEPT;
/** Waits at most ms milliseconds for a message.
 * @param h a handle
 * @param ms the time limit
 * @param out receives the message
 * @return 1 on success, 0 on time-out or at the end */
ZEQ_API int64_t zeq_channel_recv_timeout(ZeqChannelHandle *h, int64_t ms,
                                         int64_t *out) ZEQ_NOEXCEPT;
/** Waits at most ms milliseconds for room.
 * @param h a handle
 * @param message the message
 * @param ms the time limit
 * @return 1 on success, 0 on time-out or at the end */
ZEQ_API int64_t zeq_channel_send_timeout(ZeqChannelHandle *h, int64_t message,
                                         int64_t ms) ZEQ_NOEXCEPT;
/** A new handle for the same channel.
 * @param h a handle
 * @return the handle; null on allocation failure */
ZEQ_API ZeqChannelHandle *zeq_sender_clone(ZeqChannelHandle *h) ZEQ_NOEXCEPT;
/** Closes the channel.
 * @param h a handle */
ZEQ_API void zeq_channel_close(ZeqChannelHandle *h) ZEQ_NOEXCEPT;
/** Whether the channel is closed.
 * @param h a handle
 * @return 1 once closed, else 0 */
ZEQ_API int64_t zeq_channel_is_closed(ZeqChannelHandle *h) ZEQ_NOEXCEPT;
/** Closes the channel and releases it, its buffer and every handle made for
 * it (by new and sender_clone) once no operation is in progress: operations
 * waiting inside it are woken and end as after a close, and the last
 * operation to return releases it (its record is kept for a later channel).
 * No operation may start on any of its handles after free has been called;
 * free it once.
 * @param h a handle */
ZEQ_API void zeq_channel_free(ZeqChannelHandle *h) ZEQ_NOEXCEPT;

/** @} */

/* ======================================================================== */
/** @defgroup pool Concurrency: thread pool and scoped threads
 * Fixed thread pool with one shared first-in-first-out task queue.  Tasks
 * start in the order queued and run on up to `workers` threads at once; a
 * task may queue further tasks.  Null pools: every operation does nothing.
 *
 * Scoped threads: one thread per task, all joined by zeq_scope_wait().
 * @{ */
/* ======================================================================== */

/** A task: a function without arguments whose result is ignored. */
typedef void (*ZeqTaskFn)(void);
/** A thread pool (opaque). */
typedef struct ZeqThreadPool ZeqThreadPool;
/** A scope of threads (opaque). */
typedef struct ZeqScope ZeqScope;

/** A new pool; when only some workers could be started, the pool runs with
 * those.
 * @param workers threads; <= 0 means 4, counts above 4096 are taken as 4096
 * @return the pool; null when memory runs out or not one worker could be
 *         started */
ZEQ_API ZeqThreadPool *zeq_thread_pool_new(int64_t workers) ZEQ_NOEXCEPT;
/** Queues fn and wakes an idle worker; does nothing for a null pool or fn,
 * or when memory runs out.  Allowed after shutdown: a worker still draining
 * the queue runs the task, otherwise join frees it unrun.  Safe from any
 * thread, tasks included, until join has been called.
 * @param pool the pool
 * @param fn the task */
ZEQ_API void zeq_thread_pool_execute(ZeqThreadPool *pool, ZeqTaskFn fn) ZEQ_NOEXCEPT;
/** Workers finish every queued task, then end; returns at once.  The pool
 * must still be joined.
 * @param pool the pool */
ZEQ_API void zeq_thread_pool_shutdown(ZeqThreadPool *pool) ZEQ_NOEXCEPT;
/** Shuts down, waits until the queue is drained and every worker has ended,
 * then frees the pool (the handle is invalid afterwards; join exactly once,
 * with no execute racing it).  Called from one of the pool's own tasks it
 * shuts down and returns at once, since a worker cannot wait for itself;
 * the workers then drain the queue, and the last one to end frees the pool.
 * @param pool the pool */
ZEQ_API void zeq_thread_pool_join(ZeqThreadPool *pool) ZEQ_NOEXCEPT;

/** A new scope.
 * @return the scope; null when malloc fails */
ZEQ_API ZeqScope *zeq_scope_new(void) ZEQ_NOEXCEPT;
/** Starts one thread running fn (from any number of threads at once;
 * nothing is started for a null scope or fn, or when memory or the
 * platform refuses).
 * @param scope the scope
 * @param fn the task */
ZEQ_API void zeq_scope_spawn(ZeqScope *scope, ZeqTaskFn fn) ZEQ_NOEXCEPT;
/** Joins every thread the scope started, most recent first, and frees the
 * scope (the handle is invalid afterwards; no spawn may race it).  A thread
 * of the scope calling wait is detached instead of joined (it cannot wait
 * for itself), so nothing of it stays once it ends.  Null does nothing.
 * @param scope the scope */
ZEQ_API void zeq_scope_wait(ZeqScope *scope) ZEQ_NOEXCEPT;

/** @} */

/* ======================================================================== */
/** @defgroup eventloop Asynchronous execution: event loop
 * An epoll readiness dispatcher with a fixed table of 1024 registrations,
 * each binding a descriptor to a callback and a user-data word.  Level-
 * triggered: a descriptor that stays ready is reported by every run.
 * Nothing here is locked: a loop (the shared one included) belongs to one
 * thread at a time, and callbacks run on the thread that calls run_once.
 * The record comes from calloc and is released by zeq_event_loop_destroy().
 * @{ */
/* ======================================================================== */

/** An event loop (opaque). */
typedef struct ZeqEventLoop ZeqEventLoop;

/** Event-loop callback: (user data, descriptor, event mask).  Mask bits:
 * 1 readable, 2 writable, 4 error or hang-up. */
typedef void (*ZeqEventCallback)(uint64_t user_data, int64_t fd, uint32_t events);

/** A new loop (calloc + epoll_create1).
 * @return the loop; null if either fails */
ZEQ_API ZeqEventLoop *zeq_event_loop_create(void) ZEQ_NOEXCEPT;
/** Closes the epoll descriptor and frees the loop; registered descriptors stay
 * open.  Null does nothing.  Never pass the shared loop.
 * @param loop the loop */
ZEQ_API void zeq_event_loop_destroy(ZeqEventLoop *loop) ZEQ_NOEXCEPT;
/** Registers fd with interest bits 1 (readable) and 2 (writable); other bits
 * are ignored.  A descriptor that is already registered gets its interest,
 * callback and user data replaced.  A new registration reuses the lowest
 * freed slot, else takes a fresh one.  Allocates nothing.
 * @param loop the loop
 * @param fd the descriptor
 * @param interest 1, 2 or 3
 * @param callback called when fd is ready
 * @param user_data handed to the callback
 * @return 0 on success; -1 when all 1024 slots are taken, for a null loop
 *         or callback, or when the kernel refuses the descriptor (the slot
 *         is then free again) */
ZEQ_API int32_t zeq_event_loop_register(ZeqEventLoop *loop, int64_t fd, uint32_t interest,
                                        ZeqEventCallback callback, uint64_t user_data) ZEQ_NOEXCEPT;
/** Frees fd's slot and removes it from epoll.
 * @param loop the loop
 * @param fd the descriptor
 * @return 0, or -1 for a null loop or a descriptor without a registration */
ZEQ_API int32_t zeq_event_loop_unregister(ZeqEventLoop *loop, int64_t fd) ZEQ_NOEXCEPT;
/** Waits once for at most 64 events and calls the callback of each ready
 * registration, in delivery order.  Callbacks may register, unregister or
 * stop; an event whose registration an earlier callback removed is skipped.
 * @param loop the loop
 * @param timeout_ms -1 without limit, 0 polls
 * @return the number of callbacks called, 0 at once for a null or stopped
 *         loop, -1 if the wait failed (an interrupted wait included; no
 *         retry) */
ZEQ_API int32_t zeq_event_loop_run_once(ZeqEventLoop *loop, int32_t timeout_ms) ZEQ_NOEXCEPT;
/** Marks the loop stopped for good: later runs return 0 at once.  Null: nothing.
 * @param loop the loop */
ZEQ_API void zeq_event_loop_stop(ZeqEventLoop *loop) ZEQ_NOEXCEPT;
/** Whether the loop is stopped.
 * @param loop the loop
 * @return 1 once stopped (and for a null loop), else 0 */
ZEQ_API int32_t zeq_event_loop_is_stopped(const ZeqEventLoop *loop) ZEQ_NOEXCEPT;
/** The process-wide shared loop, created on first use.  Lives until the
 * process ends.  The executor and the non-blocking socket calls use it too:
 * all of them belong on one thread, and the first use must not race.
 * @return the loop; null if creation failed (the next call tries again) */
ZEQ_API ZeqEventLoop *zeq_get_event_loop(void) ZEQ_NOEXCEPT;

/** @} */

/* ======================================================================== */
/** @defgroup executor Asynchronous execution: executor, tasks and futures
 * The model is eager: a future is its value, and every task is created
 * completed.  Tasks and executors come from malloc (never the arena).
 *
 * An executor is a task list and a completed counter under a mutex, so
 * spawn, run and block-on may be called on one executor from several
 * threads.  Run and block-on also poll the shared event loop once without
 * waiting (creating it on first use); that poll is not locked, so the
 * threads that run executors must not do it at the same time.
 * @{ */
/* ======================================================================== */

/** A task (opaque). */
typedef struct ZeqTask ZeqTask;
/** An executor (opaque). */
typedef struct ZeqExecutor ZeqExecutor;

/** Identity: awaiting a future gives its value.  Pure, thread-safe.
 * @param value the future
 * @return value */
ZEQ_API int64_t future_await(int64_t value) ZEQ_NOEXCEPT;
/** @copydoc future_await */
ZEQ_API int64_t __future_await(int64_t value) ZEQ_NOEXCEPT;

/** A completed task holding value.  Released with zeq_task_free() unless
 * handed to an executor, which then owns it.
 * @param value the result
 * @return the task; null if malloc fails */
ZEQ_API ZeqTask *zeq_task_new(int64_t value) ZEQ_NOEXCEPT;
/** The task's result.
 * @param task the task
 * @return the value; 0 for null */
ZEQ_API int64_t zeq_task_get_result(const ZeqTask *task) ZEQ_NOEXCEPT;
/** Whether the task is completed.
 * @param task the task
 * @return 1 when completed; 1 for null */
ZEQ_API int64_t zeq_task_is_completed(const ZeqTask *task) ZEQ_NOEXCEPT;
/** Frees the task; null: nothing.
 * @param task the task */
ZEQ_API void zeq_task_free(ZeqTask *task) ZEQ_NOEXCEPT;

/** A new executor.
 * @return the executor; null if malloc fails */
ZEQ_API ZeqExecutor *zeq_executor_new(void) ZEQ_NOEXCEPT;
/** Appends task (the executor owns it from then on); a completed task adds 1
 * to the counter.  Nothing if either is null.
 * @param ex the executor
 * @param task the task */
ZEQ_API void zeq_executor_spawn(ZeqExecutor *ex, ZeqTask *task) ZEQ_NOEXCEPT;
/** Polls the shared loop once with time-out 0, then completes every pending
 * task.  Never waits.  Null: nothing.
 * @param ex the executor */
ZEQ_API void zeq_executor_run(ZeqExecutor *ex) ZEQ_NOEXCEPT;
/** Records a completed task for value, polls as run does, returns value.
 * A null executor returns value at once.  Never waits.
 * @param ex the executor
 * @param value the future
 * @return value */
ZEQ_API int64_t zeq_executor_block_on(ZeqExecutor *ex, int64_t value) ZEQ_NOEXCEPT;
/** The completed counter.
 * @param ex the executor
 * @return the count; 0 for null */
ZEQ_API uint64_t zeq_executor_completed_count(const ZeqExecutor *ex) ZEQ_NOEXCEPT;
/** Frees every task of the list and the executor.  Null: nothing.
 * @param ex the executor */
ZEQ_API void zeq_executor_free(ZeqExecutor *ex) ZEQ_NOEXCEPT;
/** Block-on through a temporary executor.  Never waits.
 * @param value the future
 * @return value */
ZEQ_API int64_t zeq_block_on(int64_t value) ZEQ_NOEXCEPT;

/** @} */

/* ======================================================================== */
/** @defgroup asyncio Asynchronous execution: files and TCP sockets
 * Files and IPv4 TCP sockets.  Despite the names, every call here is an
 * ordinary blocking call on the calling thread.  Texts are NUL-terminated
 * bytes; returned buffers come from malloc (arena mode too) and belong to
 * the caller (release them with free).  A handle is used by one thread at
 * a time; distinct handles are independent.
 * @{ */
/* ======================================================================== */

/** A file handle (opaque). */
typedef struct ZeqAsyncFile ZeqAsyncFile;
/** Socket handle (malloc; released by zeq_async_socket_close()).  The first
 * four fields are the record; the last belongs to the library. */
typedef struct ZeqSocket {
    int32_t fd;         /**< descriptor; -1 once closed or failed */
    char *host;         /**< connect host, "0.0.0.0", or the peer's dotted quad */
    int32_t port;       /**< port given, bound, or the peer's */
    int32_t connected;  /**< 1 when usable; 0 while a non-blocking connect runs */
    void *pending;      /**< internal: the connect in progress, else null */
} ZeqSocket;

/** Opens path read-write without truncation, else read-only, else creates it
 * read-write.  An open that lacked memory is not taken as a refused mode.
 * @param path the file
 * @return the handle; null for a null path, when all three fail, or when
 *         memory runs out */
ZEQ_API ZeqAsyncFile *zeq_async_file_open(const char *path) ZEQ_NOEXCEPT;
/** The whole content (size + 1 bytes, NUL-terminated; "" for an empty file).
 * @param file the handle
 * @return a malloc buffer; null for a null handle, a directory, an
 *         unseekable stream or no memory */
ZEQ_API char *zeq_async_file_read(ZeqAsyncFile *file) ZEQ_NOEXCEPT;
/** @copydoc zeq_async_file_read */
ZEQ_API char *zeq_nb_file_read(ZeqAsyncFile *file) ZEQ_NOEXCEPT;
/** Writes text from the start of the file without truncating it and flushes.
 * Nothing for a null handle or text; errors are not reported.
 * @param file the handle
 * @param text NUL-terminated bytes */
ZEQ_API void zeq_async_file_write(ZeqAsyncFile *file, const char *text) ZEQ_NOEXCEPT;
/** @copydoc zeq_async_file_write */
ZEQ_API void zeq_nb_file_write(ZeqAsyncFile *file, const char *text) ZEQ_NOEXCEPT;
/** Closes the stream and frees the handle.  Null: nothing.
 * @param file the handle */
ZEQ_API void zeq_async_file_close(ZeqAsyncFile *file) ZEQ_NOEXCEPT;

/** Connects to host (dotted quad, or a name resolved for IPv4) and port
 * (0..65535).  Blocks until the kernel answers, also across signals.
 * @param host the host
 * @param port the port
 * @return the socket; null for a null host, a bad port, an unknown name or
 *         a failed connect (nothing is left open) */
ZEQ_API ZeqSocket *zeq_async_socket_connect(const char *host, int32_t port) ZEQ_NOEXCEPT;
/** Listens on 0.0.0.0:port (SO_REUSEADDR, backlog 4096); port 0 lets the
 * system choose, reported by zeq_async_socket_port().
 * @param port the port
 * @return the socket; null on failure */
ZEQ_API ZeqSocket *zeq_async_socket_listen(int32_t port) ZEQ_NOEXCEPT;
/** Waits for the next connection (without limit on a blocking listener); the
 * new socket reports the peer's dotted quad and port.
 * @param listener the listening socket
 * @return the socket; null on failure or for a null or unconnected socket */
ZEQ_API ZeqSocket *zeq_async_socket_accept(ZeqSocket *listener) ZEQ_NOEXCEPT;
/** One receive of at most 4095 bytes, NUL-terminated in a 4096-byte buffer.
 * Waits until data, end of stream or an error (on a non-blocking socket it
 * does not wait).
 * @param sock the socket
 * @return a malloc buffer; null at end of stream, on error, or for a null,
 *         closed or unconnected socket */
ZEQ_API char *zeq_async_socket_read(ZeqSocket *sock) ZEQ_NOEXCEPT;
/** Sends the whole text (up to its NUL), resuming after short sends and
 * interruptions; on a non-blocking socket it waits for room with poll as
 * long as a blocking send would (until the peer reads, resets or closes).
 * Stops silently when the connection fails (a closed peer never raises
 * SIGPIPE).  Nothing for a null text or a null, closed or unconnected
 * socket.
 * @param sock the socket
 * @param text NUL-terminated bytes */
ZEQ_API void zeq_async_socket_write(ZeqSocket *sock, const char *text) ZEQ_NOEXCEPT;
/** Closes the descriptor, frees the host text and the handle; a connect
 * still in progress is withdrawn from the shared loop first.  Null: nothing.
 * @param sock the socket */
ZEQ_API void zeq_async_socket_close(ZeqSocket *sock) ZEQ_NOEXCEPT;
/** The handle's host text (not a copy; lives until close).
 * @param sock the socket
 * @return the text; null for null */
ZEQ_API const char *zeq_async_socket_host(const ZeqSocket *sock) ZEQ_NOEXCEPT;
/** The handle's port.
 * @param sock the socket
 * @return the port; 0 for null */
ZEQ_API int64_t zeq_async_socket_port(const ZeqSocket *sock) ZEQ_NOEXCEPT;

/** @} */

/* ======================================================================== */
/** @defgroup udp Asynchronous execution: UDP and non-blocking sockets
 * UDP calls are blocking; one thread at a time.
 *
 * Non-blocking operations run on the shared event loop.  The shared loop has
 * no lock: these calls, and everything else that runs the shared loop,
 * belong on one thread.
 * @{ */
/* ======================================================================== */

/** A received datagram (malloc; released by zeq_udp_packet_free()). */
typedef struct ZeqUdpPacket {
    char *payload;   /**< the bytes and a NUL, in a 4096-byte buffer */
    char *host;      /**< the sender's dotted quad */
    int32_t port;    /**< the sender's port */
    int32_t length;  /**< bytes received, 1..4095 */
} ZeqUdpPacket;

/** A UDP socket bound to 0.0.0.0:port (SO_REUSEADDR; port 0 lets the system
 * choose).
 * @param port the port
 * @return the socket; null on failure */
ZEQ_API ZeqSocket *zeq_async_udp_bind(int32_t port) ZEQ_NOEXCEPT;
/** Sends text (up to its NUL) as one datagram to host:port.
 * @param sock the socket
 * @param host the destination host
 * @param port the destination port
 * @param text NUL-terminated bytes
 * @return bytes sent, or -1 for a null argument, an unconnected socket, a
 *         bad port or unknown host, or a failed send */
ZEQ_API int64_t zeq_async_udp_sendto(ZeqSocket *sock, const char *host, int32_t port,
                                     const char *text) ZEQ_NOEXCEPT;
/** Waits for one datagram (without limit).
 * @param sock the socket
 * @return its first 4095 bytes in a new buffer, or null (null socket,
 *         error, empty datagram) */
ZEQ_API char *zeq_async_udp_recv(ZeqSocket *sock) ZEQ_NOEXCEPT;
/** As zeq_async_udp_recv(), with the sender.
 * @param sock the socket
 * @return the packet (release with zeq_udp_packet_free()), or null */
ZEQ_API ZeqUdpPacket *zeq_async_udp_recvfrom(ZeqSocket *sock) ZEQ_NOEXCEPT;
/** The same as zeq_async_socket_close().
 * @param sock the socket */
ZEQ_API void zeq_async_udp_close(ZeqSocket *sock) ZEQ_NOEXCEPT;
/** The payload.
 * @param packet the packet
 * @return the bytes; null for null */
ZEQ_API char *zeq_udp_packet_payload(const ZeqUdpPacket *packet) ZEQ_NOEXCEPT;
/** The sender's dotted quad.
 * @param packet the packet
 * @return the text; null for null */
ZEQ_API const char *zeq_udp_packet_host(const ZeqUdpPacket *packet) ZEQ_NOEXCEPT;
/** The sender's port.
 * @param packet the packet
 * @return the port; 0 for null */
ZEQ_API int64_t zeq_udp_packet_port(const ZeqUdpPacket *packet) ZEQ_NOEXCEPT;
/** The bytes received.
 * @param packet the packet
 * @return the length; 0 for null */
ZEQ_API int64_t zeq_udp_packet_len(const ZeqUdpPacket *packet) ZEQ_NOEXCEPT;
/** Frees payload, host text and record.  Null: nothing.
 * @param packet the packet */
ZEQ_API void zeq_udp_packet_free(ZeqUdpPacket *packet) ZEQ_NOEXCEPT;

/** Starts a non-blocking TCP connect and returns at once.  A connect that
 * completes at once gives a connected socket; one in progress gives a socket
 * with connected 0 that completes (or fails: descriptor -1) while the shared
 * loop runs.
 * @param host the host
 * @param port the port
 * @return the socket; null for a null host, a bad port, an unknown name, an
 *         immediate failure, or when the shared loop cannot take the
 *         registration (nothing is left open) */
ZEQ_API ZeqSocket *zeq_nb_socket_connect(const char *host, int32_t port) ZEQ_NOEXCEPT;
/** Waits for the socket to become readable by running the shared loop in
 * waits of 100 ms (other ready registrations are dispatched meanwhile), then
 * receives at most 4095 bytes.  The wait lasts until data, end of stream or
 * an error.
 * @param sock the socket
 * @return a malloc buffer; null at once for a null or unconnected socket (a
 *         connect in progress included), when the shared loop is missing or
 *         stopped or cannot take the registration, and when the loop is
 *         stopped or fails during the wait; null at end of stream or on
 *         error */
ZEQ_API char *zeq_nb_socket_read(ZeqSocket *sock) ZEQ_NOEXCEPT;
/** @copydoc zeq_async_socket_write */
ZEQ_API void zeq_nb_socket_write(ZeqSocket *sock, const char *text) ZEQ_NOEXCEPT;

/** @} */

/* ======================================================================== */
/** @defgroup numeric Numeric functions
 * Pure, thread-safe; integer arithmetic wraps.
 * @{ */
/* ======================================================================== */

/** |a|; INT64_MIN unchanged.
 * @param a the number
 * @return the magnitude */
ZEQ_API int64_t zeq_abs(int64_t a) ZEQ_NOEXCEPT;
/** The smaller.
 * @param a first number
 * @param b second number
 * @return the minimum */
ZEQ_API int64_t zeq_min(int64_t a, int64_t b) ZEQ_NOEXCEPT;
/** The larger.
 * @param a first number
 * @param b second number
 * @return the maximum */
ZEQ_API int64_t zeq_max(int64_t a, int64_t b) ZEQ_NOEXCEPT;
/** Clamps a.
 * @param a the number
 * @param lo the lower bound
 * @param hi the upper bound
 * @return lo if a < lo, else a if a < hi, else hi (also when lo > hi) */
ZEQ_API int64_t zeq_clamp(int64_t a, int64_t lo, int64_t hi) ZEQ_NOEXCEPT;
/** @copydoc zeq_clamp */
ZEQ_API int64_t zeq_clamp_i64(int64_t a, int64_t lo, int64_t hi) ZEQ_NOEXCEPT;
/** base^exp wrapping.
 * @param base the base
 * @param exp the exponent
 * @return the power; exp 0 gives 1, a negative exp gives 0 */
ZEQ_API int64_t zeq_pow(int64_t base, int64_t exp) ZEQ_NOEXCEPT;
/** @copydoc zeq_pow */
ZEQ_API int64_t zeq_pow_i64(int64_t base, int64_t exp) ZEQ_NOEXCEPT;
/** Whether a is a power of two.
 * @param a the number
 * @return 1 or 0 */
ZEQ_API int64_t zeq_is_power_of_two(int64_t a) ZEQ_NOEXCEPT;
/** The smallest power of two >= a.
 * @param a the number
 * @return the power; 1 for a < 2 */
ZEQ_API int64_t zeq_next_power_of_two(int64_t a) ZEQ_NOEXCEPT;
/** Whether n is prime.
 * @param n the number
 * @return 1 or 0 */
ZEQ_API int64_t zeq_is_prime(int64_t n) ZEQ_NOEXCEPT;
/** Set bits.
 * @param a the number
 * @return the count */
ZEQ_API int64_t zeq_popcount(int64_t a) ZEQ_NOEXCEPT;
/** Leading zero bits.
 * @param a the number
 * @return the count; 64 for 0 */
ZEQ_API int64_t zeq_clz(int64_t a) ZEQ_NOEXCEPT;
/** Trailing zero bits.
 * @param a the number
 * @return the count; 64 for 0 */
ZEQ_API int64_t zeq_ctz(int64_t a) ZEQ_NOEXCEPT;
/** The 64 bits in reverse order.
 * @param a the number
 * @return the reversed bits */
ZEQ_API int64_t zeq_bit_reverse(int64_t a) ZEQ_NOEXCEPT;
/** Greatest common divisor.
 * @param a first number
 * @param b second number
 * @return gcd(|a|, |b|) */
ZEQ_API int64_t zeq_gcd_i64(int64_t a, int64_t b) ZEQ_NOEXCEPT;

/** Conversion to double.
 * @param a the number
 * @return the double */
ZEQ_API double zeq_i64_to_f64(int64_t a) ZEQ_NOEXCEPT;
/** Truncation.
 * @param x the number
 * @return the integer; NaN, infinities and out-of-range values give
 *         INT64_MIN */
ZEQ_API int64_t zeq_f64_to_i64(double x) ZEQ_NOEXCEPT;
/** @copydoc zeq_f64_to_i64 */
ZEQ_API int64_t zeq_f64_to_int(double x) ZEQ_NOEXCEPT;
/** floor.
 * @param x the number
 * @return the result */
ZEQ_API double zeq_f64_floor(double x) ZEQ_NOEXCEPT;
/** ceil.
 * @param x the number
 * @return the result */
ZEQ_API double zeq_f64_ceil(double x) ZEQ_NOEXCEPT;
/** Rounds halves away from 0.
 * @param x the number
 * @return the result */
ZEQ_API double zeq_f64_round(double x) ZEQ_NOEXCEPT;
/** sqrt.
 * @param x the number
 * @return the result */
ZEQ_API double zeq_f64_sqrt(double x) ZEQ_NOEXCEPT;
/** |x|.
 * @param x the number
 * @return the result */
ZEQ_API double zeq_f64_abs(double x) ZEQ_NOEXCEPT;
/** Whether x is NaN.
 * @param x the number
 * @return 1 or 0 */
ZEQ_API int64_t zeq_f64_is_nan(double x) ZEQ_NOEXCEPT;
/** a < b ? a : b: NaN anywhere or equal values give b.
 * @param a first number
 * @param b second number
 * @return the result */
ZEQ_API double zeq_f64_min(double a, double b) ZEQ_NOEXCEPT;
/** a > b ? a : b: NaN anywhere or equal values give b.
 * @param a first number
 * @param b second number
 * @return the result */
ZEQ_API double zeq_f64_max(double a, double b) ZEQ_NOEXCEPT;

/** @} */

/* ======================================================================== */
/** @defgroup short Short names used by compiled zeq code
 * Each behaves exactly like the zeq_ function named in its comment, except
 * where the comment says otherwise.
 * @{ */
/* ======================================================================== */

#ifndef ZEQ_NO_SHORT_NAMES

/* start-up, arena, raw memory */
/** Short name of zeq_arg_count(). @copydetails zeq_arg_count */
ZEQ_API int64_t arg_count(void) ZEQ_NOEXCEPT;
/** Short name of zeq_get_arg(). @copydetails zeq_get_arg */
ZEQ_API ZeqString *get_arg(int64_t index) ZEQ_NOEXCEPT;
/** Short name of zeq_arena_mode(). @copydetails zeq_arena_mode */
ZEQ_API int64_t arena_mode(int32_t flag) ZEQ_NOEXCEPT;
/** Short name of zeq_arena_reset(). @copydetails zeq_arena_reset */
ZEQ_API int64_t arena_reset(void) ZEQ_NOEXCEPT;
/** Short name of zeq_arena_save(). @copydetails zeq_arena_save */
ZEQ_API int64_t arena_save(void) ZEQ_NOEXCEPT;
/** Short name of zeq_arena_restore(). @copydetails zeq_arena_restore */
ZEQ_API int64_t arena_restore(void) ZEQ_NOEXCEPT;
/** Short name of zeq_arena_usage(). @copydetails zeq_arena_usage */
ZEQ_API int64_t arena_usage(void) ZEQ_NOEXCEPT;
/** Short name of zeq_arena_destroy(). @copydetails zeq_arena_destroy */
ZEQ_API int64_t arena_destroy(void) ZEQ_NOEXCEPT;
/** Short name of zeq_load_i64(). @copydetails zeq_load_i64 */
ZEQ_API int64_t load_i64(const void *p) ZEQ_NOEXCEPT;
/** Short name of zeq_store_i64(). @copydetails zeq_store_i64 */
ZEQ_API void store_i64(void *p, int64_t value) ZEQ_NOEXCEPT;
/** Short name of zeq_load_u8(). @copydetails zeq_load_u8 */
ZEQ_API int64_t load_u8(const void *p) ZEQ_NOEXCEPT;
/** Short name of zeq_store_u8(). @copydetails zeq_store_u8 */
ZEQ_API void store_u8(void *p, int32_t value) ZEQ_NOEXCEPT;

/* console */
/** Short name of zeq_print_i64(). @copydetails zeq_print_i64 */
ZEQ_API void print(int64_t value) ZEQ_NOEXCEPT;
/** Short name of zeq_println_i64(). @copydetails zeq_println_i64 */
ZEQ_API void println(int64_t value) ZEQ_NOEXCEPT;
/** Short name of zeq_print_f64(). @copydetails zeq_print_f64 */
ZEQ_API void print_f64(double value) ZEQ_NOEXCEPT;
/** Short name of zeq_println_f64(). @copydetails zeq_println_f64 */
ZEQ_API void println_f64(double value) ZEQ_NOEXCEPT;
/** Prints one byte, the low 8 bits of c.
 * @param c the byte */
ZEQ_API void print_char(int32_t c) ZEQ_NOEXCEPT;
/** Prints data up to its NUL; nothing for null.
 * @param s the string */
ZEQ_API void print_str(const ZeqString *s) ZEQ_NOEXCEPT;
/** Prints data up to its NUL and "\n"; a lone "\n" for null.
 * @param s the string */
ZEQ_API void println_str(const ZeqString *s) ZEQ_NOEXCEPT;
/** Prints value as "%ld" on standard error.
 * @param value the number */
ZEQ_API void eprint(int64_t value) ZEQ_NOEXCEPT;
/** Prints value as "%ld\n" on standard error.
 * @param value the number */
ZEQ_API void eprintln(int64_t value) ZEQ_NOEXCEPT;
/** Prints value as "%.9f" on standard error.
 * @param value the number */
ZEQ_API void eprint_f64(double value) ZEQ_NOEXCEPT;
/** Prints value as "%.9f\n" on standard error.
 * @param value the number */
ZEQ_API void eprintln_f64(double value) ZEQ_NOEXCEPT;
/** Prints data up to its NUL on standard error; nothing for null.
 * @param s the string */
ZEQ_API void eprint_str(const ZeqString *s) ZEQ_NOEXCEPT;
/** Prints data up to its NUL and "\n" on standard error; a lone "\n"
 * for null.
 * @param s the string */
ZEQ_API void eprintln_str(const ZeqString *s) ZEQ_NOEXCEPT;
/** Short name of zeq_puts_cstr(). @copydetails zeq_puts_cstr */
ZEQ_API int64_t puts_cstr(const char *text) ZEQ_NOEXCEPT;
/** Short name of zeq_read_int(). @copydetails zeq_read_int */
ZEQ_API int64_t read_int(void) ZEQ_NOEXCEPT;

/* clocks, sleep */
/** Short name of zeq_time_ns(). @copydetails zeq_time_ns */
ZEQ_API int64_t time_ns(void) ZEQ_NOEXCEPT;
/** Short name of zeq_time_ns(). @copydetails zeq_time_ns */
ZEQ_API int64_t now_ns(void) ZEQ_NOEXCEPT;
/** Short name of zeq_time_ms(). @copydetails zeq_time_ms */
ZEQ_API int64_t time_ms(void) ZEQ_NOEXCEPT;
/** Short name of zeq_time_ms(). @copydetails zeq_time_ms */
ZEQ_API int64_t now_ms(void) ZEQ_NOEXCEPT;
/** Short name of zeq_sleep_ms(), always returning 0.
 * @param ms milliseconds
 * @return 0 */
ZEQ_API int64_t sleep_ms(int32_t ms) ZEQ_NOEXCEPT;

/* strings */
/** Short name of zeq_chr(). @copydetails zeq_chr */
ZEQ_API ZeqString *chr(int64_t code) ZEQ_NOEXCEPT;
/** Short name of zeq_chr(). @copydetails zeq_chr */
ZEQ_API ZeqString *char_to_string(int32_t code) ZEQ_NOEXCEPT;
/** Short name of zeq_string_slice(). @copydetails zeq_string_slice */
ZEQ_API ZeqString *slice(const ZeqString *s, int64_t start, int64_t end) ZEQ_NOEXCEPT;
/** Short name of zeq_string_len(). @copydetails zeq_string_len */
ZEQ_API int64_t len(const ZeqString *s) ZEQ_NOEXCEPT;
/** Short name of zeq_string_as_cstr(). @copydetails zeq_string_as_cstr */
ZEQ_API char *str_data(const ZeqString *s) ZEQ_NOEXCEPT;
/** Short name of zeq_string_char_at(). @copydetails zeq_string_char_at */
ZEQ_API int64_t char_at(const ZeqString *s, int64_t index) ZEQ_NOEXCEPT;
/** Short name of zeq_str_byte_at(). @copydetails zeq_str_byte_at */
ZEQ_API int64_t byte_at(const ZeqString *s, int64_t index) ZEQ_NOEXCEPT;
/** The first byte.
 * @param s the string
 * @return the byte; 0 for null or "" */
ZEQ_API int64_t ord(const ZeqString *s) ZEQ_NOEXCEPT;
/** Short name of zeq_string_free(). @copydetails zeq_string_free */
ZEQ_API int64_t free_string(ZeqString *s) ZEQ_NOEXCEPT;

/* byte-string search family */
/** Short name of zeq_kmp_search(). @copydetails zeq_kmp_search */
ZEQ_API int64_t kmp_search_str(const ZeqString *text, const ZeqString *pattern) ZEQ_NOEXCEPT;
/** Short name of zeq_str_find(). @copydetails zeq_str_find */
ZEQ_API int64_t str_find(const ZeqString *text, const ZeqString *pattern) ZEQ_NOEXCEPT;
/** Short name of zeq_str_rfind(). @copydetails zeq_str_rfind */
ZEQ_API int64_t str_rfind(const ZeqString *text, const ZeqString *pattern) ZEQ_NOEXCEPT;
/** Short name of zeq_str_count(). @copydetails zeq_str_count */
ZEQ_API int64_t str_count(const ZeqString *text, const ZeqString *pattern) ZEQ_NOEXCEPT;
/** Short name of zeq_str_find_byte(). @copydetails zeq_str_find_byte */
ZEQ_API int64_t str_find_byte(const ZeqString *text, int32_t byte) ZEQ_NOEXCEPT;
/** Short name of zeq_str_count_byte(). @copydetails zeq_str_count_byte */
ZEQ_API int64_t str_count_byte(const ZeqString *text, int32_t byte) ZEQ_NOEXCEPT;
/** Short name of zeq_token_count(). @copydetails zeq_token_count */
ZEQ_API int64_t str_token_count(const ZeqString *text, int32_t separator) ZEQ_NOEXCEPT;
/** Short name of zeq_is_palindrome(). @copydetails zeq_is_palindrome */
ZEQ_API bool str_is_palindrome(const ZeqString *text) ZEQ_NOEXCEPT;
/** Short name of zeq_str_hamming(). @copydetails zeq_str_hamming */
ZEQ_API int64_t str_hamming(const ZeqString *a, const ZeqString *b) ZEQ_NOEXCEPT;
/** Short name of zeq_word_count(). @copydetails zeq_word_count */
ZEQ_API int64_t str_word_count(const ZeqString *text) ZEQ_NOEXCEPT;
/** Short name of zeq_str_reverse(). @copydetails zeq_str_reverse */
ZEQ_API ZeqString *str_reverse(const ZeqString *text) ZEQ_NOEXCEPT;
/** Short name of zeq_str_replace_all(). @copydetails zeq_str_replace_all */
ZEQ_API ZeqString *str_replace_all(const ZeqString *text, const ZeqString *needle,
                                   const ZeqString *replacement) ZEQ_NOEXCEPT;
/** Short name of zeq_str_to_upper(). @copydetails zeq_str_to_upper */
ZEQ_API ZeqString *str_to_upper(const ZeqString *text) ZEQ_NOEXCEPT;
/** Short name of zeq_str_to_lower(). @copydetails zeq_str_to_lower */
ZEQ_API ZeqString *str_to_lower(const ZeqString *text) ZEQ_NOEXCEPT;
/** Short name of zeq_str_trim(). @copydetails zeq_str_trim */
ZEQ_API ZeqString *str_trim(const ZeqString *text) ZEQ_NOEXCEPT;
/** Short name of zeq_str_repeat(). @copydetails zeq_str_repeat */
ZEQ_API ZeqString *str_repeat(const ZeqString *text, int64_t count) ZEQ_NOEXCEPT;

/* string builder */
/** Short name of zeq_sb_new(). @copydetails zeq_sb_new */
ZEQ_API ZeqStringBuilder *sb_new(void) ZEQ_NOEXCEPT;
/** Short name of zeq_sb_with_capacity(). @copydetails zeq_sb_with_capacity */
ZEQ_API ZeqStringBuilder *sb_with_capacity(int64_t capacity) ZEQ_NOEXCEPT;
/** Short name of zeq_sb_push(). @copydetails zeq_sb_push */
ZEQ_API int64_t sb_push(ZeqStringBuilder *b, const ZeqString *s) ZEQ_NOEXCEPT;
/** Short name of zeq_sb_push_range(). @copydetails zeq_sb_push_range */
ZEQ_API int64_t sb_push_range(ZeqStringBuilder *b, const ZeqString *s,
                              int64_t start, int64_t end) ZEQ_NOEXCEPT;
/** Appends text up to its NUL.
 * @param b the builder
 * @param text NUL-terminated text
 * @return the new length; 0 for null */
ZEQ_API int64_t sb_push_cstr(ZeqStringBuilder *b, const char *text) ZEQ_NOEXCEPT;
/** Short name of zeq_sb_push_char(). @copydetails zeq_sb_push_char */
ZEQ_API int64_t sb_push_char(ZeqStringBuilder *b, int32_t c) ZEQ_NOEXCEPT;
/** Short name of zeq_sb_push_int(). @copydetails zeq_sb_push_int */
ZEQ_API int64_t sb_push_int(ZeqStringBuilder *b, int64_t value) ZEQ_NOEXCEPT;
/** Appends s, escaping only '"' and '\\'.
 * @param b the builder
 * @param s the string
 * @return the new length */
ZEQ_API int64_t sb_push_escaped(ZeqStringBuilder *b, const ZeqString *s) ZEQ_NOEXCEPT;
/** Short name of zeq_sb_len(). @copydetails zeq_sb_len */
ZEQ_API int64_t sb_len(const ZeqStringBuilder *b) ZEQ_NOEXCEPT;
/** Short name of zeq_sb_clear(). @copydetails zeq_sb_clear */
ZEQ_API int64_t sb_clear(ZeqStringBuilder *b) ZEQ_NOEXCEPT;
/** Short name of zeq_sb_build(). @copydetails zeq_sb_build */
ZEQ_API ZeqString *sb_build(const ZeqStringBuilder *b) ZEQ_NOEXCEPT;
/** Short name of zeq_sb_contains(). @copydetails zeq_sb_contains */
ZEQ_API int64_t sb_contains(const ZeqStringBuilder *b, const ZeqString *item) ZEQ_NOEXCEPT;
/** Short name of zeq_sb_println(). @copydetails zeq_sb_println */
ZEQ_API int64_t sb_println(const ZeqStringBuilder *b) ZEQ_NOEXCEPT;
/** Short name of zeq_sb_free(). @copydetails zeq_sb_free */
ZEQ_API int64_t sb_free(ZeqStringBuilder *b) ZEQ_NOEXCEPT;

/* integer vector */
/** Short name of zeq_vec_new(). @copydetails zeq_vec_new */
ZEQ_API ZeqVec *vec_new(void) ZEQ_NOEXCEPT;
/** Short name of zeq_vec_with_capacity(). @copydetails zeq_vec_with_capacity */
ZEQ_API ZeqVec *vec_with_capacity(int64_t n) ZEQ_NOEXCEPT;
/** Short name of zeq_vec_push(). @copydetails zeq_vec_push */
ZEQ_API ZeqVec *vec_push(ZeqVec *v, int64_t value) ZEQ_NOEXCEPT;
/** Short name of zeq_vec_pop(). @copydetails zeq_vec_pop */
ZEQ_API int64_t vec_pop(ZeqVec *v) ZEQ_NOEXCEPT;
/** Short name of zeq_vec_get(). @copydetails zeq_vec_get */
ZEQ_API int64_t vec_get(const ZeqVec *v, int64_t index) ZEQ_NOEXCEPT;
/** Short name of zeq_vec_set(). @copydetails zeq_vec_set */
ZEQ_API void vec_set(ZeqVec *v, int64_t index, int64_t value) ZEQ_NOEXCEPT;
/** Short name of zeq_vec_len(). @copydetails zeq_vec_len */
ZEQ_API int64_t vec_len(const ZeqVec *v) ZEQ_NOEXCEPT;
/** Short name of zeq_vec_cap(). @copydetails zeq_vec_cap */
ZEQ_API int64_t vec_cap(const ZeqVec *v) ZEQ_NOEXCEPT;
/** Short name of zeq_vec_free(). @copydetails zeq_vec_free */
ZEQ_API void vec_free(ZeqVec *v) ZEQ_NOEXCEPT;
/** Short name of zeq_vec_clear(). @copydetails zeq_vec_clear */
ZEQ_API void vec_clear(ZeqVec *v) ZEQ_NOEXCEPT;
/** Short name of zeq_vec_reverse(). @copydetails zeq_vec_reverse */
ZEQ_API void vec_reverse(ZeqVec *v) ZEQ_NOEXCEPT;
/** Short name of zeq_vec_contains(). @copydetails zeq_vec_contains */
ZEQ_API int64_t vec_contains(const ZeqVec *v, int64_t value) ZEQ_NOEXCEPT;
/** Short name of zeq_vec_index_of(). @copydetails zeq_vec_index_of */
ZEQ_API int64_t vec_index_of(const ZeqVec *v, int64_t value) ZEQ_NOEXCEPT;
/** Short name of zeq_vec_swap(). @copydetails zeq_vec_swap */
ZEQ_API void vec_swap(ZeqVec *v, int64_t i, int64_t j) ZEQ_NOEXCEPT;
/** Short name of zeq_vec_sort(). @copydetails zeq_vec_sort */
ZEQ_API void vec_sort(ZeqVec *v) ZEQ_NOEXCEPT;
/** Short name of zeq_vec_dedup(). @copydetails zeq_vec_dedup */
ZEQ_API void vec_dedup(ZeqVec *v) ZEQ_NOEXCEPT;
/** Short name of zeq_vec_fill(). @copydetails zeq_vec_fill */
ZEQ_API void vec_fill(ZeqVec *v, int64_t value) ZEQ_NOEXCEPT;
/** Short name of zeq_vec_copy(). @copydetails zeq_vec_copy */
ZEQ_API ZeqVec *vec_copy(const ZeqVec *v) ZEQ_NOEXCEPT;
/** Short name of zeq_vec_sum(). @copydetails zeq_vec_sum */
ZEQ_API int64_t vec_sum(const ZeqVec *v) ZEQ_NOEXCEPT;
/** Short name of zeq_vec_product(). @copydetails zeq_vec_product */
ZEQ_API int64_t vec_product(const ZeqVec *v) ZEQ_NOEXCEPT;
/** Short name of zeq_vec_min(). @copydetails zeq_vec_min */
ZEQ_API int64_t vec_min(const ZeqVec *v) ZEQ_NOEXCEPT;
/** Short name of zeq_vec_max(). @copydetails zeq_vec_max */
ZEQ_API int64_t vec_max(const ZeqVec *v) ZEQ_NOEXCEPT;
/** Short name of zeq_vec_slice(). @copydetails zeq_vec_slice */
ZEQ_API ZeqVec *vec_slice(const ZeqVec *v, int64_t start, int64_t end) ZEQ_NOEXCEPT;
/** Short name of zeq_vec_extend(). @copydetails zeq_vec_extend */
ZEQ_API void vec_extend(ZeqVec *dst, const ZeqVec *src) ZEQ_NOEXCEPT;
/** Short name of zeq_vec_remove(). @copydetails zeq_vec_remove */
ZEQ_API int64_t vec_remove(ZeqVec *v, int64_t index) ZEQ_NOEXCEPT;
/** Short name of zeq_vec_insert(). @copydetails zeq_vec_insert */
ZEQ_API void vec_insert(ZeqVec *v, int64_t index, int64_t value) ZEQ_NOEXCEPT;

/* text transformations, conversions, string vectors */
/** Short name of zeq_int_to_string(). @copydetails zeq_int_to_string */
ZEQ_API ZeqString *int_to_string(int64_t value) ZEQ_NOEXCEPT;

/* arrays and maps */
/** Short name of zeq_strmap_new(). @copydetails zeq_strmap_new */
ZEQ_API ZeqStrMap *strmap_new(void) ZEQ_NOEXCEPT;
/** Short name of zeq_strmap_free(). @copydetails zeq_strmap_free */
ZEQ_API void strmap_free(ZeqStrMap *map) ZEQ_NOEXCEPT;
/** Short name of zeq_strmap_insert(). @copydetails zeq_strmap_insert */
ZEQ_API int64_t strmap_insert(ZeqStrMap *map, const ZeqString *key, int64_t value) ZEQ_NOEXCEPT;
/** Short name of zeq_strmap_get(). @copydetails zeq_strmap_get */
ZEQ_API int64_t strmap_get(ZeqStrMap *map, const ZeqString *key) ZEQ_NOEXCEPT;
/** Short name of zeq_strmap_contains(). @copydetails zeq_strmap_contains */
ZEQ_API int64_t strmap_contains(ZeqStrMap *map, const ZeqString *key) ZEQ_NOEXCEPT;
/** Short name of zeq_strmap_remove(). @copydetails zeq_strmap_remove */
ZEQ_API int64_t strmap_remove(ZeqStrMap *map, const ZeqString *key) ZEQ_NOEXCEPT;
/** Short name of zeq_strmap_size(). @copydetails zeq_strmap_size */
ZEQ_API int64_t strmap_size(const ZeqStrMap *map) ZEQ_NOEXCEPT;
/** Short name of zeq_strmap_keys(). @copydetails zeq_strmap_keys */
ZEQ_API ZeqVec *strmap_keys(const ZeqStrMap *map) ZEQ_NOEXCEPT;
/** Short name of zeq_strmap_values(). @copydetails zeq_strmap_values */
ZEQ_API ZeqVec *strmap_values(const ZeqStrMap *map) ZEQ_NOEXCEPT;

/* files and processes */
/** Short name of zeq_read_file(). @copydetails zeq_read_file */
ZEQ_API ZeqString *read_file(const ZeqString *path) ZEQ_NOEXCEPT;
/** Short name of zeq_write_file(). @copydetails zeq_write_file */
ZEQ_API int64_t write_file(const ZeqString *path, const ZeqString *content) ZEQ_NOEXCEPT;
/** Short name of zeq_write_file_newlines(). @copydetails zeq_write_file_newlines */
ZEQ_API int64_t write_file_newlines(const ZeqString *path, const ZeqString *content) ZEQ_NOEXCEPT;
/** Short name of zeq_file_exists(). @copydetails zeq_file_exists */
ZEQ_API int64_t file_exists(const ZeqString *path) ZEQ_NOEXCEPT;
/** Short name of zeq_file_exists_cstr(). @copydetails zeq_file_exists_cstr */
ZEQ_API int64_t file_exists_cstr(const char *path) ZEQ_NOEXCEPT;
/** zeq_file_size() with a string record path.
 * @param path the file
 * @return the size, or -1 */
ZEQ_API int64_t file_size(const ZeqString *path) ZEQ_NOEXCEPT;
/** Short name of zeq_delete_file(). @copydetails zeq_delete_file */
ZEQ_API int64_t delete_file(const ZeqString *path) ZEQ_NOEXCEPT;
/** Short name of zeq_delete_file(). @copydetails zeq_delete_file */
ZEQ_API int64_t remove_file(const ZeqString *path) ZEQ_NOEXCEPT;
/** Short name of zeq_is_dir(). @copydetails zeq_is_dir */
ZEQ_API int64_t is_dir(const ZeqString *path) ZEQ_NOEXCEPT;
/** Short name of zeq_mkdir(). @copydetails zeq_mkdir */
ZEQ_API int64_t make_dir(const ZeqString *path) ZEQ_NOEXCEPT;
/** Short name of zeq_readdir(). @copydetails zeq_readdir */
ZEQ_API ZeqString *list_dir(const ZeqString *path) ZEQ_NOEXCEPT;
/** Short name of zeq_rmdir(). @copydetails zeq_rmdir */
ZEQ_API int64_t remove_dir(const ZeqString *path) ZEQ_NOEXCEPT;
/** Short name of zeq_system_capture(). @copydetails zeq_system_capture */
ZEQ_API ZeqString *system_capture(const ZeqString *command) ZEQ_NOEXCEPT;
/** Short name of zeq_exec_output(). @copydetails zeq_exec_output */
ZEQ_API ZeqString *exec_output(const ZeqString *command, const ZeqString *arguments) ZEQ_NOEXCEPT;
/** Short name of zeq_getcwd(). @copydetails zeq_getcwd */
ZEQ_API ZeqString *current_dir(void) ZEQ_NOEXCEPT;

/* numeric */
/** Short name of zeq_min(). @copydetails zeq_min */
ZEQ_API int64_t min(int64_t a, int64_t b) ZEQ_NOEXCEPT;
/** Short name of zeq_max(). @copydetails zeq_max */
ZEQ_API int64_t max(int64_t a, int64_t b) ZEQ_NOEXCEPT;
/** libc pow.
 * @param base the base
 * @param exponent the exponent
 * @return the power */
ZEQ_API double pow_f64(double base, double exponent) ZEQ_NOEXCEPT;

#endif /* ZEQ_NO_SHORT_NAMES */

/** @} */

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* ZEQ_H */
