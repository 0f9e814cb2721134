// libFuzzer harness for the number services: integer text in every base and
// "%.9g" text against snprintf, parsing back what was formatted, parsing
// number-like text against strtol / strtod, and the builder's number pushes
// against the same references.
#include <bit>
#include <cinttypes>

#include "../support/reference.h"
#include "fuzz_support.h"

namespace {

using fuzz::check;
using fuzz::check_result;
using fuzz::same_double;
using zeqtest::binary;
using zeqtest::printf_text;

// A number of 1 to 8 bytes off the input, sign-extended from its top byte.
int64_t signed_word(fuzz::Reader &in, unsigned k) {
    unsigned shift = 64 - 8 * k;
    return static_cast<int64_t>(in.word(k) << shift) >> shift;
}

void integer(int64_t v) {
    auto u = static_cast<uint64_t>(v), magnitude = v < 0 ? 0 - u : u;
    const char *sign = v < 0 ? "-" : "";
    check_result(zeq_int_to_string(v), printf_text("%" PRId64, v), "int_to_string");
    check_result(zeq_int_to_hex(v), printf_text("%" PRIx64, v), "int_to_hex");
    check_result(zeq_to_hex(v), printf_text("%s0x%" PRIx64, sign, magnitude), "to_hex");
    check_result(zeq_to_octal(v), printf_text("%s0o%" PRIo64, sign, magnitude), "to_octal");
    check_result(zeq_int_to_bin(v), binary(u), "int_to_bin");
    check_result(zeq_to_binary(v), "0b" + binary(u), "to_binary");
    ZeqString *s = zeq_int_to_string(v);
    check(zeq_parse_int(s) == v, "parse_int of int_to_string");
    zeq_string_free(s);
}

void floating(double x) {
    std::string g9 = printf_text("%.9g", x);
    check_result(zeq_f64_to_string(x), g9, "f64_to_string");
    fuzz::Owned nine(g9), exact(printf_text("%.17g", x));
    check(same_double(zeq_parse_f64(nine.s), std::strtod(g9.c_str(), nullptr)), "parse_f64 of %.9g text");
    check(same_double(zeq_parse_f64(exact.s), x), "parse_f64 of %.17g text");
}

// Number-like text: each byte picks a character that number syntax cares
// about, so the parsers see signs, exponents, hex forms, inf and nan.
void parse(fuzz::Reader &in) {
    static const char kAlphabet[] = " \t\n+-0123456789.eEpPxXiInNaAfFtTyY\v\f\r";
    std::string t;
    for (uint8_t b; !in.empty();)
        b = in.byte(), t += b < 0xF0 ? kAlphabet[b % (sizeof kAlphabet - 1)] : static_cast<char>(b & 0x0F);
    fuzz::check_parse(t);
}

// Pushes onto a builder that starts small, so that pushes grow it.
void builder(fuzz::Reader &in) {
    ZeqStringBuilder *b = zeq_sb_with_capacity(in.byte() % 4);
    std::string want;
    while (!in.empty()) {
        uint8_t op = in.byte();
        int64_t v = signed_word(in, 1 + (op >> 2 & 7));
        double d = std::bit_cast<double>(v);
        switch (op & 3) {
            case 0: zeq_sb_push_int(b, v), want += printf_text("%" PRId64, v); break;
            case 1: zeq_sb_push_f64(b, d), want += printf_text("%.9g", d); break;
            case 2: zeq_sb_push_hex(b, v), want += printf_text("0x%" PRIx64, v); break;
            default: zeq_sb_push_bool(b, v), want += v ? "true" : "false"; break;
        }
        check(b->len == static_cast<int64_t>(want.size()) && b->len < b->cap && b->data[b->len] == '\0' &&
                  !std::memcmp(b->data, want.data(), want.size()),
              "builder pushes");
    }
    check_result(zeq_sb_build(b), want, "sb_build");
    zeq_sb_free(b);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    zeq_arena_mode(0);
    fuzz::Reader in(data + 1, size - 1);
    switch (data[0] % 4) {
        case 0: while (!in.empty()) integer(signed_word(in, 1 + in.byte() % 8)); break;
        case 1: while (!in.empty()) floating(std::bit_cast<double>(in.word())); break;
        case 2: parse(in); break;
        default: builder(in); break;
    }
    return 0;
}
