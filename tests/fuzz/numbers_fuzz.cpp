// libFuzzer harness for the number services: integer text in every base and
// "%.9g" text against snprintf, parsing back what was formatted, parsing
// number-like text against strtol / strtod, and the builder's number pushes
// against the same references.
#include <cinttypes>
#include <cmath>
#include <cstdarg>

#include "fuzz_support.h"

namespace {

using fuzz::check;
using fuzz::text;

__attribute__((format(printf, 1, 2))) std::string fmt(const char *f, ...) {
    char buf[128];
    va_list ap;
    va_start(ap, f);
    int n = std::vsnprintf(buf, sizeof buf, f, ap);
    va_end(ap);
    return std::string(buf, static_cast<size_t>(n));
}

std::string digits(uint64_t v, unsigned base) {
    std::string s;
    do {
        s.insert(s.begin(), "0123456789abcdef"[v % base]);
        v /= base;
    } while (v);
    return s;
}

std::string signed_digits(int64_t v, const char *prefix, unsigned base) {
    uint64_t m = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
    return (v < 0 ? "-" : "") + std::string(prefix) + digits(m, base);
}

// A number of 1 to 8 bytes off the input, sign-extended from its top byte.
int64_t signed_word(fuzz::Reader &in, unsigned k) {
    unsigned shift = 64 - 8 * k;
    return static_cast<int64_t>(in.word(k) << shift) >> shift;
}

bool same_double(double a, double b) { return (std::isnan(a) && std::isnan(b)) || std::memcmp(&a, &b, sizeof a) == 0; }

// A conversion result holds exactly want, NUL-ended, cap == len; released.
void expect_text(ZeqString *got, const std::string &want, const char *what) {
    check(text(got) == want && got->data[got->len] == '\0' && got->cap == got->len, what);
    zeq_string_free(got);
}

void integer(int64_t v) {
    expect_text(zeq_int_to_string(v), fmt("%" PRId64, v), "int_to_string");
    expect_text(zeq_int_to_hex(v), fmt("%" PRIx64, v), "int_to_hex");
    expect_text(zeq_to_hex(v), signed_digits(v, "0x", 16), "to_hex");
    expect_text(zeq_to_octal(v), signed_digits(v, "0o", 8), "to_octal");
    expect_text(zeq_int_to_bin(v), digits(static_cast<uint64_t>(v), 2), "int_to_bin");
    expect_text(zeq_to_binary(v), "0b" + digits(static_cast<uint64_t>(v), 2), "to_binary");
    ZeqString *s = zeq_int_to_string(v);
    check(zeq_parse_int(s) == v, "parse_int of int_to_string");
    zeq_string_free(s);
}

void floating(double x) {
    std::string g9 = fmt("%.9g", x);
    expect_text(zeq_f64_to_string(x), g9, "f64_to_string");
    fuzz::Owned nine(g9), exact(fmt("%.17g", x));
    check(same_double(zeq_parse_f64(nine.s), std::strtod(g9.c_str(), nullptr)), "parse_f64 of %.9g text");
    check(same_double(zeq_parse_f64(exact.s), x), "parse_f64 of %.17g text");
}

// Number-like text: each byte picks a character that number syntax cares
// about, so the parsers see signs, exponents, hex forms, inf and nan.
void parse(fuzz::Reader &in) {
    static const char kAlphabet[] = " \t\n+-0123456789.eEpPxXiInNaAfFtTyY\v\f\r";
    std::string t;
    while (!in.empty()) {
        uint8_t b = in.byte();
        t += b < 0xF0 ? kAlphabet[b % (sizeof kAlphabet - 1)] : static_cast<char>(b & 0x0F);
    }
    fuzz::Owned s(t);
    std::string c = t.substr(0, t.find('\0'));
    check(zeq_parse_int(s.s) == std::strtol(c.c_str(), nullptr, 10), "parse_int");
    check(same_double(zeq_parse_f64(s.s), std::strtod(c.c_str(), nullptr)), "parse_f64");
}

// Pushes onto a builder that starts small, so that pushes grow it.
void builder(fuzz::Reader &in) {
    ZeqStringBuilder *b = zeq_sb_with_capacity(in.byte() % 4);
    std::string want;
    while (!in.empty()) {
        uint8_t op = in.byte();
        int64_t v = signed_word(in, 1 + (op >> 2 & 7));
        double d;
        std::memcpy(&d, &v, sizeof d);
        switch (op & 3) {
            case 0: zeq_sb_push_int(b, v); want += fmt("%" PRId64, v); break;
            case 1: zeq_sb_push_f64(b, d); want += fmt("%.9g", d); break;
            case 2: zeq_sb_push_hex(b, v); want += fmt("0x%" PRIx64, v); break;
            default: zeq_sb_push_bool(b, v); want += v ? "true" : "false"; break;
        }
        check(b->len == static_cast<int64_t>(want.size()) && b->len < b->cap && b->data[b->len] == '\0' &&
                  std::memcmp(b->data, want.data(), want.size()) == 0,
              "builder pushes");
    }
    expect_text(zeq_sb_build(b), want, "sb_build");
    zeq_sb_free(b);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    zeq_arena_mode(0);
    fuzz::Reader in(data + 1, size - 1);
    switch (data[0] % 4) {
        case 0:
            while (!in.empty()) integer(signed_word(in, 1 + in.byte() % 8));
            break;
        case 1:
            while (!in.empty()) {
                uint64_t bits = in.word();
                double x;
                std::memcpy(&x, &bits, sizeof x);
                floating(x);
            }
            break;
        case 2: parse(in); break;
        default: builder(in); break;
    }
    return 0;
}
