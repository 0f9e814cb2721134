// Process entry, program arguments, exit and the library's version.
#define ZEQ_DECLARE_MAIN
#include "core.h"
#include "core_internal.h"

#include <cstdlib>
#include <cstring>

namespace {

// The arguments are per thread: only the thread that ran main (or
// zeq_init_runtime) sees them.  The caller's array is kept, never copied.
thread_local int32_t g_argc = 0;
thread_local char **g_argv = nullptr;

}  // namespace

// Weak, so that a host with a main of its own replaces it.  zeq_user_main is
// called through its dynamic symbol: an executable that defines its own
// zeq_user_main runs instead of the one delivered with the library.
extern "C" __attribute__((weak)) int main(int argc, char **argv) noexcept {
    g_argc = argc;
    g_argv = argv;
    zeq::prime_backtrace();
    zeq::set_arena_enabled(1);
    int64_t result = zeq_user_main();
    zeq::release_thread_arena();
    zeq::set_arena_enabled(0);
    return static_cast<int>(static_cast<uint32_t>(result));
}

extern "C" void zeq_init_runtime(int32_t argc, char **argv) noexcept {
    g_argc = argc;
    g_argv = argv;
    zeq::prime_backtrace();
    zeq::set_arena_enabled(1);
}

extern "C" int64_t zeq_arg_count(void) noexcept { return g_argc; }

extern "C" ZeqString *zeq_get_arg(int64_t index) noexcept {
    if (index < 0 || index >= g_argc || !g_argv || !g_argv[index]) return zeq::string_empty();
    const char *arg = g_argv[index];
    return zeq::string_copy(arg, static_cast<int64_t>(std::strlen(arg)));
}

extern "C" void zeq_exit(int64_t status) noexcept { std::exit(static_cast<int>(status)); }

extern "C" const char *zeq_version(void) noexcept { return ZEQ_VERSION_STRING; }

ZEQ_ALIAS(arg_count, zeq_arg_count);
ZEQ_ALIAS(get_arg, zeq_get_arg);
