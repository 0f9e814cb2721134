// The compiled zeq program delivered with the library.
#include "zeq.h"

extern "C" int64_t zeq_user_main(void) noexcept { return 0; }
