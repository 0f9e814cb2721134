// libFuzzer harness for the text services: number parsing against libc,
// split / join round trips, replace and the splitters against naive
// references, and "%.9g" text against snprintf.  Built with
// -fsanitize=fuzzer,address,undefined together with the runtime sources; a
// finding is a sanitizer report or an abort below.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"

namespace {

using fuzz::check;
using fuzz::Owned;
using fuzz::text;

std::string upto_nul(const std::string &s) { return s.substr(0, s.find('\0')); }

std::vector<std::string> naive_split(const std::string &t, const std::string &sep, bool keep_last_empty) {
    std::vector<std::string> out;
    size_t cur = 0;
    for (size_t at = t.find(sep); at != std::string::npos; at = t.find(sep, cur)) {
        out.push_back(t.substr(cur, at - cur));
        cur = at + sep.size();
    }
    if (keep_last_empty || cur < t.size()) out.push_back(t.substr(cur));
    return out;
}

std::vector<std::string> drain(int64_t h) {
    std::vector<std::string> out;
    for (int64_t i = 0; i < zeq_svec_len(h); ++i) {
        ZeqString *s = zeq_svec_get(h, i);
        out.push_back(text(s));
        zeq_string_free(s);
    }
    zeq_svec_free(h);
    return out;
}

void fuzz_split_join(const std::string &t, const std::string &sep) {
    Owned s(t), p(sep);
    if (!sep.empty()) {
        ZeqVec *v = zeq_string_split(s.s, p.s);
        std::vector<std::string> got;
        for (int64_t i = 0; i < zeq_vec_len(v); ++i) got.push_back(text(reinterpret_cast<ZeqString *>(zeq_vec_get(v, i))));
        check(got == naive_split(t, sep, true), "string_split");
        ZeqString *joined = zeq_string_join(v, p.s);
        check(text(joined) == upto_nul(t), "string_join round trip");
        zeq_string_free(joined);
        for (int64_t i = 0; i < zeq_vec_len(v); ++i) zeq_string_free(reinterpret_cast<ZeqString *>(zeq_vec_get(v, i)));
        zeq_vec_free(v);
    }
    int64_t h = zeq_str_split(s.s, p.s);
    std::vector<std::string> want;
    if (sep.empty()) {
        for (char c : t) want.emplace_back(1, c);
    } else if (!t.empty()) {
        want = naive_split(t, sep, false);
    }
    std::vector<std::string> got = drain(h);
    check(got == want, "str_split");
}

void fuzz_replace(const std::string &t, const std::string &needle, const std::string &rep) {
    Owned s(t), n(needle), r(rep);
    ZeqString *out = zeq_string_replace(s.s, n.s, r.s);
    if (needle.empty() || t.find(needle) == std::string::npos) {
        check(out == s.s, "replace returns its argument");
        return;
    }
    std::string want;
    size_t run = 0;
    for (size_t at = t.find(needle); at != std::string::npos; at = t.find(needle, run)) {
        want += t.substr(run, at - run) + rep;
        run = at + needle.size();
    }
    want += t.substr(run);
    check(text(out) == upto_nul(want), "replace");
    zeq_string_free(out);
}

void fuzz_words_lines(const std::string &t) {
    Owned s(t);
    std::vector<std::string> words, lines;
    std::string w;
    for (char c : t) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            if (!w.empty()) words.push_back(w);
            w.clear();
        } else {
            w += c;
        }
    }
    if (!w.empty()) words.push_back(w);
    check(drain(zeq_str_split_whitespace(s.s)) == words, "split_whitespace");
    for (size_t r = 0; r < t.size();) {
        size_t q = t.find('\n', r);
        size_t end = q == std::string::npos ? t.size() : q;
        std::string line = t.substr(r, end - r);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        r = q == std::string::npos ? t.size() : q + 1;
    }
    check(drain(zeq_str_lines(s.s)) == lines, "lines");
}

void fuzz_double(const uint8_t *data, size_t size) {
    double x = 0;
    std::memcpy(&x, data, size < sizeof x ? size : sizeof x);
    char want[64];
    int n = std::snprintf(want, sizeof want, "%.9g", x);
    ZeqString *got = zeq_f64_to_string(x);
    check(got->len == n && std::memcmp(got->data, want, static_cast<size_t>(n)) == 0, "f64_to_string");
    zeq_string_free(got);
}

// Parts of the input separated by 0xFF bytes.
std::vector<std::string> parts(const uint8_t *data, size_t size) {
    std::vector<std::string> out(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0xFF && out.size() < 3) out.emplace_back();
        else out.back() += static_cast<char>(data[i]);
    }
    out.resize(3);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    zeq_arena_mode(0);
    auto p = parts(data + 1, size - 1);
    switch (data[0] % 5) {
        case 0: fuzz::check_parse(p[0]); break;
        case 1: fuzz_split_join(p[0], p[1]); break;
        case 2: fuzz_replace(p[0], p[1], p[2]); break;
        case 3: fuzz_words_lines(p[0]); break;
        default: fuzz_double(data + 1, size - 1); break;
    }
    return 0;
}
