// String builder: growth, appends, escaping, building and the list test.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "child.h"
#include "owned_string.h"
#include "zeq.h"

namespace {

using zeqtest::Str;

// Builders made for a test, released at scope end.
struct Sb {
    ZeqStringBuilder *b;
    explicit Sb(int64_t cap = 0) : b(cap ? zeq_sb_with_capacity(cap) : zeq_sb_new()) {}
    ~Sb() { zeq_sb_free(b); }
    ZeqStringBuilder *operator->() const { return b; }
    operator ZeqStringBuilder *() const { return b; }
    std::string text() const {
        EXPECT_LT(b->len, b->cap);
        EXPECT_EQ(b->data[b->len], '\0');
        return std::string(b->data, static_cast<size_t>(b->len));
    }
};

TEST(SbGrowth, DoublesUntilTheBytesAndTheNulFit) {
    Sb fresh;
    EXPECT_EQ(fresh->cap, 1024);
    EXPECT_EQ(Sb(-3)->cap, 64);
    EXPECT_EQ(zeq_sb_push(fresh, Str(std::string(1023, 'x'))), 1023);
    EXPECT_EQ(fresh->cap, 1024);
    zeq_sb_push_char(fresh, 'y');
    EXPECT_EQ(fresh->cap, 2048);
    Sb one(1);
    EXPECT_EQ(zeq_sb_push(one, Str("abcde")), 5);
    EXPECT_EQ(one->cap, 8);
    Sb digits(4);
    zeq_sb_push_int(digits, 123);  // 3 digits and the NUL fit in 4
    EXPECT_EQ(digits->cap, 4);
    zeq_sb_push_int(digits, INT64_MIN);
    EXPECT_EQ(digits->cap, 32);
    EXPECT_EQ(digits.text(), "123-9223372036854775808");
}

TEST(SbGrowth, TinyBuildersNeverOverflow) {
    Sb chars(1);
    std::string expect;
    for (int i = 0; i < 3000; ++i) {
        expect += static_cast<char>('a' + i % 26);
        ASSERT_EQ(zeq_sb_push_char(chars, 'a' + i % 26), i + 1);
    }
    EXPECT_EQ(chars.text(), expect);
    EXPECT_EQ(chars->cap, 4096);
}

TEST(SbGrowth, EscapingKeepsItsOwnTriggers) {
    // zeq_sb_push_escaped doubles while cap < len + 3 before each input
    // byte, even one copied as it is; sb_push_escaped only needs room for
    // what it writes.
    Sb two(4), three(4), quotes(4);
    zeq_sb_push_escaped(two, Str("ab"));
    zeq_sb_push_escaped(three, Str("abc"));
    sb_push_escaped(quotes, Str("abc"));
    EXPECT_EQ(two->cap, 4);
    EXPECT_EQ(three->cap, 8);
    EXPECT_EQ(quotes->cap, 4);
    // From capacity 1 a two-byte escape and its NUL still fit.
    const std::string text = "\t\"b\n\r\\z";
    Sb full(1), quoted(1);
    EXPECT_EQ(zeq_sb_push_escaped(full, Str(text)), 12);
    EXPECT_EQ(full.text(), "\\t\\\"b\\n\\r\\\\z");
    EXPECT_EQ(full->cap, 16);
    EXPECT_EQ(sb_push_escaped(quoted, Str(text)), 9);
    EXPECT_EQ(quoted.text(), "\t\\\"b\n\r\\\\z");
}

TEST(SbGrowth, SizesBeyondSignedRangeAreOutOfMemory) {
    // Hand-made records claiming a huge buffer: growth must stop before
    // touching memory.
    const int64_t half = INT64_C(1) << 62;
    auto run = [&](void (*body)(ZeqStringBuilder *), int64_t len, int64_t cap) {
        auto r = zeqtest::run_child([&] {
            ZeqStringBuilder b{static_cast<char *>(std::malloc(16)), len, cap};
            body(&b);
        });
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err.rfind("[zeq] FATAL: out of memory (", 0), 0u) << r.err;
    };
    run([](ZeqStringBuilder *b) { sb_push_cstr(b, "abcdef"); }, half - 1, half);
    run([](ZeqStringBuilder *b) { zeq_sb_push_char(b, 'x'); }, half - 1, half);
    run([](ZeqStringBuilder *b) { zeq_sb_push_int(b, 12); }, INT64_MAX - 1, INT64_MAX);
    run([](ZeqStringBuilder *b) { zeq_sb_push_escaped(b, Str("\t")); }, half - 2, half);
}

TEST(SbPush, NullEmptyAndClampedArguments) {
    Sb b;
    Str hello("hello"), empty("");
    ZeqString nodata{nullptr, 3, 3};
    EXPECT_EQ(zeq_sb_push(b, hello), 5);
    EXPECT_EQ(zeq_sb_push(b, nullptr), 0);
    EXPECT_EQ(zeq_sb_push(b, &nodata), 0);
    EXPECT_EQ(zeq_sb_push(b, empty), 5);
    EXPECT_EQ(zeq_sb_push(nullptr, hello), 0);
    EXPECT_EQ(zeq_sb_push_range(b, hello, -3, 99), 10);
    EXPECT_EQ(zeq_sb_push_range(b, hello, 3, 3), 0);
    EXPECT_EQ(zeq_sb_push_range(b, hello, 7, 9), 10);
    EXPECT_EQ(zeq_sb_push_range(b, hello, 1, 3), 12);
    EXPECT_EQ(sb_push_cstr(b, nullptr), 0);
    EXPECT_EQ(sb_push_cstr(b, "!"), 13);
    EXPECT_EQ(zeq_sb_push_escaped(b, empty), 13);
    EXPECT_EQ(sb_push_escaped(b, &nodata), 0);
    EXPECT_EQ(zeq_sb_push_int(nullptr, 1) + zeq_sb_push_char(nullptr, 1), 0);
    EXPECT_EQ(b.text(), "hellohelloel!");
    zeq_sb_push(b, Str(std::string("\0z", 2)));  // NUL bytes are content
    EXPECT_EQ(b.text(), std::string("hellohelloel!\0z", 15));
    EXPECT_EQ(zeq_sb_clear(b), 0);
    EXPECT_EQ(b.text(), "");
    EXPECT_EQ(b->cap, 1024);
}

TEST(SbPush, NumbersAndBooleans) {
    Sb b(1);
    std::string expect;
    char tmp[32];
    std::vector<int64_t> values = {0, INT64_MIN, INT64_MAX, -1};
    for (int64_t p = 1; p <= INT64_MAX / 10; p *= 10)
        for (int64_t v : {p, p - 1, 10 * p - 1}) values.insert(values.end(), {v, -v});
    std::mt19937_64 rng(1);
    for (int i = 0; i < 5000; ++i) values.push_back(static_cast<int64_t>(rng()) >> (rng() % 64));
    for (int64_t v : values) {
        std::snprintf(tmp, sizeof tmp, "%" PRId64, v);
        expect += tmp;
        ASSERT_EQ(zeq_sb_push_int(b, v), static_cast<int64_t>(expect.size())) << v;
    }
    EXPECT_EQ(b.text(), expect);
    Sb f;
    zeq_sb_push_f64(f, 2.5);
    zeq_sb_push_f64(f, 1e100);
    zeq_sb_push_hex(f, 255);
    zeq_sb_push_hex(f, -1);
    zeq_sb_push_bool(f, 256);
    zeq_sb_push_bool(f, 0);
    sb_push_int(f, 0);
    EXPECT_EQ(f.text(), "2.51e+1000xff0xfffffffffffffffftruefalse0");
}

TEST(SbBuild, MakesAnIndependentStringAndOutlivesTheArena) {
    ZeqString *empty = zeq_sb_build(nullptr);
    EXPECT_EQ(empty->len, 0);
    EXPECT_EQ(empty->data[0], '\0');
    zeq_string_free(empty);
    zeq_arena_mode(1);
    ZeqStringBuilder *b = zeq_sb_with_capacity(1);
    sb_push_cstr(b, "abc");
    ZeqString *s = zeq_sb_build(b);  // an arena string
    sb_push_cstr(b, "d");
    EXPECT_EQ(std::string(s->data, 4), std::string("abc\0", 4));
    EXPECT_EQ(s->cap, 3);
    zeq_arena_destroy();  // the builder is malloc memory: untouched
    zeq_arena_mode(0);
    EXPECT_EQ(std::string(b->data), "abcd");
    EXPECT_EQ(zeq_sb_free(b), 0);
}

TEST(SbContains, ReadsTheContentAsACommaList) {
    const struct {
        const char *content, *item;
        int64_t found;
    } cases[] = {{"a,b,c", "a", 1},  {"a,b,c", "b", 1}, {"a,b,c", "c", 1}, {"a,b,c", "ab", 0},
                 {"a,b,c", "bc", 0}, {"abc", "abc", 1}, {"abc", "b", 0},   {"foo,bar", "fo", 0},
                 {"a, b", "b", 0},   {"a,,b,", "b", 1}, {"", "a", 0},      {"a", "", 0}};
    for (const auto &c : cases) {
        Sb b;
        sb_push_cstr(b, c.content);
        EXPECT_EQ(zeq_sb_contains(b, Str(c.item)), c.found) << c.content << " / " << c.item;
    }
    EXPECT_EQ(zeq_sb_contains(nullptr, Str("a")), 0);
}

TEST(SbPrintln, WritesUpToTheFirstNulAndALineEnd) {
    auto r = zeqtest::run_child([] {
        ZeqStringBuilder *b = zeq_sb_new();
        sb_push_cstr(b, "hello");
        zeq_sb_println(b);
        zeq_sb_clear(b);
        zeq_sb_push_char(b, 'a');
        zeq_sb_push_char(b, 0);
        zeq_sb_push_char(b, 'b');
        sb_println(b);
        zeq_sb_println(nullptr);
        zeq_sb_free(b);
    });
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "hello\na\n\n");
}

TEST(SbNames, ShortNamesAreAliasesExceptTheEscapes) {
    void *lib = dlopen(ZEQ_TEST_LIBRARY, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(lib, nullptr) << dlerror();
    for (const char *name : {"new", "with_capacity", "push", "push_range", "push_char", "push_int",
                             "len", "clear", "build", "contains", "println", "free"}) {
        std::string shorter = std::string("sb_") + name;
        void *target = dlsym(lib, ("zeq_" + shorter).c_str());
        ASSERT_NE(target, nullptr) << name;
        EXPECT_EQ(dlsym(lib, shorter.c_str()), target) << name;
    }
    EXPECT_NE(dlsym(lib, "sb_push_escaped"), dlsym(lib, "zeq_sb_push_escaped"));
    EXPECT_NE(dlsym(lib, "sb_push_cstr"), nullptr);
    for (const char *absent : {"zeq_sb_push_cstr", "sb_push_f64", "sb_push_hex", "sb_push_bool"})
        EXPECT_EQ(dlsym(lib, absent), nullptr) << absent;
    dlclose(lib);
}

}  // namespace

namespace {

// Backslash escapes of the bytes in `from` (as the letters in `to`).
std::string escaped(const std::string &t, const std::string &from, const std::string &to) {
    std::string e;
    for (char c : t) {
        size_t k = from.find(c);
        e += k == std::string::npos ? std::string(1, c) : std::string{'\\', to[k]};
    }
    return e;
}

}  // namespace

// A builder appending its own content: the source moves with the buffer when
// it grows.  Checked against a std::string model at sizes that grow the
// buffer once, not at all, and many times (ASan sees any read of the old one).
TEST(SbSelfAppend, OwnContentComesOutDoubledAtEverySize) {
    using Push = void (*)(ZeqStringBuilder *);
    const struct {
        const char *name;
        Push push;
        std::string (*model)(const std::string &);
    } pushes[] = {
        {"sb_push_cstr", [](ZeqStringBuilder *b) { sb_push_cstr(b, b->data); },
         [](const std::string &t) { return t + t; }},
        {"zeq_sb_push", [](ZeqStringBuilder *b) { zeq_sb_push(b, reinterpret_cast<ZeqString *>(b)); },
         [](const std::string &t) { return t + t; }},
        {"zeq_sb_push_range",
         [](ZeqStringBuilder *b) { zeq_sb_push_range(b, reinterpret_cast<ZeqString *>(b), 1, b->len); },
         [](const std::string &t) { return t + t.substr(1); }},
        {"zeq_sb_push_escaped",
         [](ZeqStringBuilder *b) {
             ZeqString view{b->data, b->len, b->len};
             zeq_sb_push_escaped(b, &view);
         },
         [](const std::string &t) { return t + escaped(t, "\t\n\r\"\\", "tnr\"\\"); }},
        {"sb_push_escaped",
         [](ZeqStringBuilder *b) {
             ZeqString view{b->data, b->len, b->len};
             sb_push_escaped(b, &view);
         },
         [](const std::string &t) { return t + escaped(t, "\"\\", "\"\\"); }},
    };
    for (const auto &p : pushes) {
        for (size_t size : {size_t{1}, size_t{300}, size_t{1023}, size_t{300000}}) {
            std::string model;
            for (size_t i = 0; i < size; ++i) model += "ab\t\"cd"[i % 6];
            Sb b(static_cast<int64_t>(size + 1));
            sb_push_cstr(b, model.c_str());
            for (int round = 0; round < 3; ++round) {
                p.push(b);
                model = p.model(model);
            }
            ASSERT_TRUE(b.text() == model) << p.name << " size " << size;
        }
    }
}
