// Assertions, panics and the foreign-call error boundary.
//
// Outside a region a fatal error writes its line to standard error and ends
// the process through exit(1), so buffered standard output is flushed.  Inside
// a region of the calling thread it records the message and longjmps back to
// where zeq_ffi_begin was called.  Nothing on the way holds an object with a
// destructor.
#include "core.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t kMessageSize = 512;

struct FfiState {
    int32_t has_error;
    int32_t active;
    char message[kMessageSize];
    jmp_buf jump;
    // The region of the innermost zeq_ffi_call running in this thread (in
    // that call's frame), put back when code it calls ends a region of its
    // own; null outside such a call.
    jmp_buf *call_region;
};

thread_local FfiState t_ffi;

// Records text (cut to 511 bytes, the rest of the buffer zeroed) and returns
// to the region's start.  A null text keeps the previous message.
[[noreturn]] void return_to_region(const char *text) noexcept {
    FfiState &f = t_ffi;
    f.has_error = 1;
    if (text) {
        std::strncpy(f.message, text, kMessageSize - 1);
        f.message[kMessageSize - 1] = '\0';
    }
    std::longjmp(f.jump, 1);
}

// The shared panic step: "panic: <text>" outside a region (and the stack
// from `from`, the return address into the caller of the panic entry, when
// traces are asked for).
[[noreturn]] void panic_with(const char *text, const void *from) noexcept {
    if (!t_ffi.active) {
        std::fprintf(stderr, "panic: %s\n", text);
        zeq::write_backtrace(from);
        std::exit(1);
    }
    return_to_region(text);
}

}  // namespace

// Called by the zeq_ffi_begin trampoline: resets the region state and hands
// back the buffer that _setjmp fills.
extern "C" __attribute__((visibility("hidden"))) void *zeq_ffi_prepare() noexcept {
    FfiState &f = t_ffi;
    f.has_error = 0;
    f.message[0] = '\0';
    f.active = 1;
    return &f.jump;
}

// Inside a zeq_ffi_call, ending a region opened below it hands protection
// back to the call's own region instead of leaving the thread unprotected.
extern "C" void zeq_ffi_end(void) noexcept {
    FfiState &f = t_ffi;
    if (f.call_region) {
        std::memcpy(&f.jump, f.call_region, sizeof f.jump);
        f.active = 1;
    } else {
        f.active = 0;
    }
}

extern "C" int32_t zeq_ffi_has_error(void) noexcept { return t_ffi.has_error; }

extern "C" const char *zeq_ffi_error_message(void) noexcept { return t_ffi.message; }

extern "C" void zeq_assert(int32_t cond) noexcept {
    if (ZEQ_LIKELY(cond)) return;
    if (!t_ffi.active) {
        std::fputs("Assertion failed!\n", stderr);
        zeq::write_backtrace(__builtin_return_address(0));
        std::exit(1);
    }
    return_to_region("assertion failed");
}

extern "C" void zeq_panic(const ZeqString *msg) noexcept {
    panic_with(msg && msg->data ? msg->data : "panic", __builtin_return_address(0));
}

extern "C" void zeq_panic_bounds(int64_t index, int64_t len) noexcept {
    char text[128];
    std::snprintf(text, sizeof text, "array index %ld out of bounds [0, %ld)",
                  static_cast<long>(index), static_cast<long>(len));
    panic_with(text, __builtin_return_address(0));
}

extern "C" void zeq_panic_divzero(void) noexcept {
    panic_with("division by zero", __builtin_return_address(0));
}

// Regions do not stack, but a call made through zeq_ffi_call inside an open
// region puts the outer region back when it returns, so the host's own
// region keeps protecting it; and a region that the called code opens and
// ends itself hands protection back to this call's region (zeq_ffi_end).
extern "C" int32_t zeq_ffi_call(int64_t (*fn)(int64_t), int64_t arg, int64_t *result) noexcept {
    FfiState &f = t_ffi;
    // volatile: these must survive the longjmp back into this frame.
    volatile int32_t outer_active = f.active;
    jmp_buf outer;
    jmp_buf mine;
    if (outer_active) std::memcpy(&outer, &f.jump, sizeof outer);
    jmp_buf *volatile outer_call = f.call_region;
    volatile int32_t caught = 1;
    if (zeq_ffi_begin() == 0) {
        std::memcpy(&mine, &t_ffi.jump, sizeof mine);
        t_ffi.call_region = &mine;
        if (!fn) return_to_region("null function");
        int64_t value = fn(arg);
        if (result) *result = value;
        caught = 0;
    }
    FfiState &g = t_ffi;
    g.call_region = outer_call;
    g.active = outer_active;
    if (outer_active) std::memcpy(&g.jump, &outer, sizeof outer);
    return caught;
}
