/* A compiled zeq module as a host would load it: one function that panics on
 * a division by zero. */
#include "zeq.h"

__attribute__((visibility("default"))) int64_t checked_div100(int64_t d);

int64_t checked_div100(int64_t d) {
    if (d == 0) zeq_panic_divzero();
    return 100 / d;
}
