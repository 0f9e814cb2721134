// The string record: constructors, the NUL rule of one-byte strings, slicing,
// comparison, hashing, release, and the foreign-call string group.
#include <gtest/gtest.h>

#include <string>

#include "child.h"
#include "zeq.h"

namespace {

std::string text(const ZeqString *s) { return std::string(s->data, static_cast<size_t>(s->len)); }

// A borrowed record over a literal, as compiled code's constants are.
struct Lit {
    ZeqString rec;
    explicit Lit(const char *s, int64_t n = -1)
        : rec{const_cast<char *>(s), n < 0 ? static_cast<int64_t>(std::char_traits<char>::length(s)) : n,
              0} {
        rec.cap = rec.len + 1;
    }
    const ZeqString *operator&() const { return &rec; }
};

void expect_empty(const ZeqString *s) {
    ASSERT_NE(s, nullptr);
    ASSERT_NE(s->data, nullptr);
    EXPECT_EQ(s->len, 0);
    EXPECT_EQ(s->cap, 0);
    EXPECT_EQ(s->data[0], '\0');
}

// Strings made by a test live in the test's arena, released when it ends.
class ArenaStrings : public ::testing::Test {
protected:
    void SetUp() override { zeq_arena_mode(1); }
    void TearDown() override { zeq_arena_destroy(); }
};
using StringConstruct = ArenaStrings;
using StringConcat = ArenaStrings;
using StringSlice = ArenaStrings;
using StringCompare = ArenaStrings;

}  // namespace

TEST_F(StringConstruct, CopiesBytesWithTrailingNul) {
    const char raw[] = {'a', '\0', 'b'};
    ZeqString *s = zeq_string_new(raw, 3);
    EXPECT_EQ(s->len, 3);
    EXPECT_EQ(s->cap, 3);
    EXPECT_EQ(text(s), std::string(raw, 3));
    EXPECT_EQ(s->data[3], '\0');
    expect_empty(zeq_string_new("abc", 0));
    expect_empty(zeq_string_new("abc", -5));  // a negative length is taken as 0
    expect_empty(zeq_string_from_cstr(nullptr));
    ZeqString *c = zeq_string_from_cstr("hello");
    EXPECT_EQ(text(c), "hello");
    EXPECT_EQ(c->cap, 5);
}

TEST_F(StringConstruct, OneByteStringsDropNul) {
    EXPECT_EQ(text(zeq_chr(65)), "A");
    EXPECT_EQ(text(zeq_chr(321)), "A");  // low 8 bits
    EXPECT_EQ(zeq_chr(0)->len, 0);
    EXPECT_EQ(zeq_chr(256)->len, 0);
    EXPECT_EQ(zeq_chr(256)->data[0], '\0');
    EXPECT_EQ(text(char_to_string(0x142)), "B");
    EXPECT_EQ(text(chr(0xFF)), "\xFF");
    Lit abc("a\0c", 3);
    EXPECT_EQ(text(zeq_str_char_at_str(&abc, 2)), "c");
    EXPECT_EQ(zeq_str_char_at_str(&abc, 1)->len, 0);
    expect_empty(zeq_str_char_at_str(&abc, 3));
    expect_empty(zeq_str_char_at_str(&abc, -1));
    expect_empty(zeq_str_char_at_str(nullptr, 0));
}

TEST_F(StringConcat, NullOperandRules) {
    Lit ab("ab"), cd("cd"), e("e");
    EXPECT_EQ(text(zeq_string_concat(&ab, &cd)), "abcd");
    expect_empty(zeq_string_concat(&ab, nullptr));
    ZeqString nodata{nullptr, 0, 0};
    expect_empty(zeq_string_concat(&nodata, &ab));
    EXPECT_EQ(text(zeq_string_concat3(&ab, nullptr, &cd)), "abcd");
    EXPECT_EQ(text(zeq_string_concat5(&ab, &cd, &e, &nodata, &ab)), "abcdeab");
    ZeqString *seven = zeq_string_concat7(&e, &e, &e, &e, &e, &e, &e);
    EXPECT_EQ(text(seven), "eeeeeee");
    EXPECT_EQ(seven->cap, 7);
    expect_empty(zeq_string_concat3(nullptr, nullptr, nullptr));
}

TEST_F(StringSlice, ClampsEndAndRejectsBadStarts) {
    Lit hello("hello");
    EXPECT_EQ(text(zeq_string_slice(&hello, 0, 5)), "hello");
    EXPECT_EQ(text(zeq_string_slice(&hello, 2, 100)), "llo");
    EXPECT_EQ(text(slice(&hello, 1, 3)), "el");
    for (auto [start, end] : {std::pair{5, 5}, {5, 9}, {6, 9}, {3, 1}, {-1, 2}})
        expect_empty(zeq_string_slice(&hello, start, end));
    expect_empty(zeq_string_slice(nullptr, 0, 1));
    Lit withnul("a\0b", 3);
    EXPECT_EQ(zeq_string_slice(&withnul, 0, 3)->len, 3);  // NUL stays content
}

TEST(StringAccess, NullTolerantAndPrimitiveForms) {
    Lit abc("abc"), ff("\xFF");
    EXPECT_EQ(zeq_string_len(&abc), 3);
    EXPECT_EQ(zeq_string_len(nullptr), 0);
    EXPECT_EQ(len(&abc), 3);
    // A record without data is empty whatever its len field claims.
    ZeqString claims_five{nullptr, 5, 5};
    EXPECT_EQ(zeq_string_len(&claims_five), 0);
    EXPECT_EQ(len(&claims_five), 0);
    EXPECT_EQ(zeq_ffi_string_len(&claims_five), 0);
    EXPECT_EQ(zeq_text_len(&abc), 3);
    EXPECT_EQ(zeq_string_as_cstr(nullptr), nullptr);
    EXPECT_EQ(str_data(&abc), abc.rec.data);
    EXPECT_EQ(zeq_string_char_at(&abc, 1), 'b');
    EXPECT_EQ(zeq_string_char_at(&abc, 3), 0);
    EXPECT_EQ(zeq_string_char_at(&abc, -1), 0);
    EXPECT_EQ(zeq_string_char_at(nullptr, 0), 0);
    EXPECT_EQ(zeq_str_byte_at(&ff, 0), 255);
    EXPECT_EQ(char_at(&ff, 0), 255);
    EXPECT_EQ(zeq_str_char_at(&abc, 3), -1);
    EXPECT_EQ(zeq_str_char_at(&abc, -1), -1);
    EXPECT_EQ(zeq_str_char_at(&ff, 0), 255);
    Lit empty("");
    EXPECT_EQ(ord(&empty), 0);
    EXPECT_EQ(ord(nullptr), 0);
    EXPECT_EQ(ord(&ff), 255);
    EXPECT_EQ(zeq_ord(nullptr), 0);
    EXPECT_EQ(zeq_ord("A"), 65);
    EXPECT_EQ(zeq_str_len("hello"), 5);
    const char *p = "x";
    EXPECT_EQ(zeq_str_data(p), p);
}

TEST_F(StringCompare, EqualityAndThreeWayOrder) {
    Lit a("a"), ab("ab"), abc("abc"), b("b"), empty(""), hi("\x80"), z("z");
    ZeqString *abc2 = zeq_string_from_cstr("abc");
    EXPECT_EQ(zeq_string_eq(nullptr, nullptr), 1);
    EXPECT_EQ(zeq_string_eq(&a, nullptr), 0);
    EXPECT_EQ(zeq_string_eq(&abc, abc2), 1);
    EXPECT_EQ(zeq_string_eq(&ab, &abc), 0);
    EXPECT_EQ(zeq_string_cmp(&ab, &abc), -1);
    EXPECT_EQ(zeq_string_cmp(&abc, &ab), 1);
    EXPECT_EQ(zeq_string_cmp(&b, &abc), 1);
    EXPECT_EQ(zeq_string_cmp(nullptr, &empty), -1);
    EXPECT_EQ(zeq_string_cmp(&empty, nullptr), 1);
    EXPECT_EQ(zeq_string_cmp(nullptr, nullptr), 0);
    EXPECT_EQ(zeq_string_cmp(&hi, &z), 1);  // unsigned bytes
    EXPECT_EQ(zeq_string_cmp(&abc, abc2), 0);
}

TEST_F(StringCompare, DifferenceIsTheFirstByteGapOrTheLengthGap) {
    Lit abc("abc"), abd("abd"), ab("ab"), abcd("abcd"), ff("\xFF"), a("a");
    EXPECT_EQ(zeq_str_compare(&abc, &abd), -1);
    EXPECT_EQ(zeq_str_compare(&ab, &abcd), -2);
    EXPECT_EQ(zeq_str_compare(&ff, &a), 158);
    // Long common prefixes: the difference is found past the first words.
    std::string x(100, 'q'), y(100, 'q');
    y[77] = 'r';
    Lit lx(x.c_str()), ly(y.c_str());
    EXPECT_EQ(zeq_str_compare(&lx, &ly), -1);
    EXPECT_EQ(zeq_str_compare(&lx, &lx), 0);
}

TEST(StringHash, Fnv1a) {
    Lit empty(""), a("a"), foobar("foobar");
    EXPECT_EQ(zeq_string_hash(&empty), -3750763034362895579);
    EXPECT_EQ(zeq_string_hash(nullptr), 0);
    EXPECT_EQ(static_cast<uint64_t>(zeq_string_hash(&a)), 0xaf63dc4c8601ec8cull);
    EXPECT_EQ(static_cast<uint64_t>(zeq_string_hash(&foobar)), 0x85944171f73967e8ull);
}

TEST(StringFree, ReleasesOnlyOutsideArenaMode) {
    zeqtest::on_fresh_thread([] {
        zeq_arena_mode(1);
        ZeqString *s = zeq_string_from_cstr("stays");
        EXPECT_EQ(zeq_string_free(s), 0);
        EXPECT_EQ(text(s), "stays");
        zeq_arena_destroy();
        ZeqString *m = zeq_string_from_cstr("heap");
        EXPECT_EQ(free_string(m), 0);  // released (the sanitizer build checks)
        EXPECT_EQ(zeq_string_free(nullptr), 0);
    });
}

TEST(StringForeign, MallocStringsInEveryMode) {
    zeqtest::on_fresh_thread([] {
        zeq_arena_mode(1);
        ZeqString *s = zeq_ffi_cstr_to_string("host");
        EXPECT_EQ(zeq_arena_usage(), 0);  // not from the arena
        EXPECT_EQ(zeq_ffi_string_len(s), 4);
        EXPECT_STREQ(zeq_ffi_string_data(s), "host");
        zeq_ffi_free_string(s);
        zeq_arena_mode(0);
    });
    ZeqString *empty = zeq_ffi_cstr_to_string(nullptr);
    EXPECT_EQ(empty->len, 0);
    zeq_ffi_free_string(empty);
    zeq_ffi_free_string(nullptr);
    EXPECT_STREQ(zeq_ffi_string_data(nullptr), "");
    EXPECT_EQ(zeq_ffi_string_len(nullptr), 0);
}
