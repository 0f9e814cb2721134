// A zeq program written in C++: zeq_user_main is the program's own function,
// defined without the library's noexcept.
#include "zeq.h"

#include <string>

extern "C" int64_t zeq_user_main(void) {
    std::string text = "from C++";
    ZeqString *s = zeq_string_from_cstr(text.c_str());
    zeq_println_str(s);
    return zeq_string_len(s);
}
