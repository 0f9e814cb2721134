/* panic_host: a C host that calls compiled zeq code inside a foreign-call
 * region and recovers from its panic.
 *
 * A host has a main of its own: it sets the runtime up with zeq_init_runtime
 * and opens a region with zeq_ffi_begin around each call into the module
 * (zeq_module.c).  When the zeq code panics, zeq_ffi_begin returns a second
 * time, with 1, and the host reads the message with zeq_ffi_error_message
 * instead of the process ending; the next region works as before.
 *
 *   build/examples/panic_host
 */
#include "zeq.h"

int64_t checked_div100(int64_t d); /* from zeq_module */

int main(int argc, char **argv) {
    static const int64_t divisors[] = {4, 0, 5};
    zeq_init_runtime(argc, argv);
    for (int i = 0; i < 3; i++) {
        ZeqStringBuilder *line = zeq_sb_new();
        if (zeq_ffi_begin() == 0) {
            int64_t quotient = checked_div100(divisors[i]);
            zeq_sb_push(line, zeq_string_from_cstr("100 / "));
            zeq_sb_push_int(line, divisors[i]);
            zeq_sb_push(line, zeq_string_from_cstr(" = "));
            zeq_sb_push_int(line, quotient);
        } else {
            zeq_sb_push(line, zeq_string_from_cstr("recovered: "));
            zeq_sb_push(line, zeq_string_from_cstr(zeq_ffi_error_message()));
        }
        zeq_ffi_end();
        zeq_sb_println(line);
        zeq_sb_free(line);
    }
    zeq_arena_destroy();
    return 0;
}
