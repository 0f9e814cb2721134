/* Shaped like the compiler's output: only zeq_user_main, no main. */
#include <zeq.h>

int64_t zeq_user_main(void) {
    zeq_println_str(zeq_string_concat(zeq_string_from_cstr("zeq program: "), zeq_get_arg(1)));
    return 0;
}
