// Console printers and readers, observed from outside a child process: the
// child gets prepared standard input, and its standard output and error are
// compared byte for byte.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "child.h"
#include "zeq.h"

using zeqtest::ChildResult;
using zeqtest::run_child;

namespace {

using namespace std::string_literals;

ZeqString rec(const char *data, int64_t len) {
    ZeqString s;
    s.data = const_cast<char *>(data);
    s.len = len;
    s.cap = len;
    return s;
}

// Writes a description of a string returned by a reader to standard output:
// "<len>:<cap>:<nul>:" followed by the len content bytes and "\n", where nul
// is 1 when a NUL byte follows the content; then releases the string (a
// no-op in arena mode).
void describe(ZeqString *s) {
    if (!s) {
        std::fputs("null\n", stdout);
        return;
    }
    std::printf("%ld:%ld:%d:", static_cast<long>(s->len), static_cast<long>(s->cap),
                s->data && s->data[s->len] == '\0' ? 1 : 0);
    if (s->data && s->len > 0) std::fwrite(s->data, 1, static_cast<size_t>(s->len), stdout);
    std::fputc('\n', stdout);
    zeq_string_free(s);
}

// Writes straight to file descriptor 1, past the stdio buffer: the position
// of this marker in the output shows whether stdout was flushed before it.
void marker() {
    if (write(1, "|", 1) != 1) _exit(3);
}

ChildResult run_ok(void (*body)(), const std::string &input = "") {
    ChildResult r = run_child(body, input);
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.status, 0);
    return r;
}

std::string out_of(void (*body)(), const std::string &input = "") { return run_ok(body, input).out; }

std::string string_of(const ZeqString *s) { return std::string(s->data, static_cast<size_t>(s->len)); }

}  // namespace

// ---------------------------------------------------------------------------
// Number printers
// ---------------------------------------------------------------------------

TEST(ConsoleOutput, PrintI64Formats) {
    EXPECT_EQ(out_of([] {
                  zeq_print_i64(0);
                  zeq_print_i64(-5);
                  zeq_print_i64(42);
              }),
              "0-542");
    EXPECT_EQ(out_of([] {
                  zeq_println_i64(-5);
                  zeq_println_i64(INT64_MIN);
                  zeq_println_i64(INT64_MAX);
              }),
              "-5\n-9223372036854775808\n9223372036854775807\n");
}

TEST(ConsoleOutput, PrintF64HasNineDecimals) {
    EXPECT_EQ(out_of([] { zeq_println_f64(0.5); }), "0.500000000\n");
    EXPECT_EQ(out_of([] { zeq_print_f64(1e20); }), "100000000000000000000.000000000");
    EXPECT_EQ(out_of([] {
                  zeq_print_f64(1.0 / 3.0);
                  zeq_print_f64(-2.25);
                  zeq_println_f64(-0.0);
                  zeq_println_f64(1e-10);
                  zeq_println_f64(123456789.0);
              }),
              "0.333333333-2.250000000-0.000000000\n0.000000000\n123456789.000000000\n");
    EXPECT_EQ(out_of([] {
                  zeq_println_f64(1.0 / 0.0);
                  zeq_println_f64(-1.0 / 0.0);
              }),
              "inf\n-inf\n");
}

TEST(ConsoleOutput, PrintCharWritesTheLowByte) {
    EXPECT_EQ(out_of([] {
                  print_char(65);
                  print_char(321);   // 0x141: low byte 'A'
                  print_char('\n');
                  print_char(0);     // a real NUL byte
                  print_char(-1);    // 0xFF
              }),
              "AA\n\0\xff"s);
}

TEST(ConsoleOutput, NumberPrintersDoNotFlush) {
    // stdout is a pipe in the child, so it is fully buffered: the marker
    // written straight to the descriptor comes out first.
    EXPECT_EQ(out_of([] {
                  zeq_println_i64(1);
                  zeq_println_f64(2.0);
                  marker();
              }),
              "|1\n2.000000000\n");
}

// ---------------------------------------------------------------------------
// String printers: how much of the string each one prints
// ---------------------------------------------------------------------------

TEST(ConsoleOutput, ZeqPrintStrUsesTheLengthAndStopsAtNul) {
    EXPECT_EQ(out_of([] {
                  ZeqString a = rec("a\0b", 3);
                  zeq_print_str(&a);
              }),
              "a");
    EXPECT_EQ(out_of([] {
                  ZeqString h = rec("hello", 2);
                  zeq_print_str(&h);
                  ZeqString full = rec("hello", 5);
                  zeq_print_str(&full);
                  ZeqString empty = rec("", 0);
                  zeq_print_str(&empty);
              }),
              "hehello");
    EXPECT_EQ(out_of([] {
                  ZeqString h = rec("hello", 2);
                  zeq_println_str(&h);
                  ZeqString a = rec("a\0b", 3);
                  zeq_println_str(&a);
              }),
              "he\na\n");
}

TEST(ConsoleOutput, ZeqPrintStrTakesTheLengthAsA32BitInt) {
    EXPECT_EQ(out_of([] {
                  ZeqString s = rec("hello", (int64_t{1} << 32) + 2);
                  zeq_print_str(&s);
              }),
              "he");
}

TEST(ConsoleOutput, ZeqPrintStrNullRecords) {
    EXPECT_EQ(out_of([] {
                  zeq_print_str(nullptr);
                  ZeqString nodata = rec(nullptr, 5);
                  zeq_print_str(&nodata);
              }),
              "");
    EXPECT_EQ(out_of([] {
                  zeq_println_str(nullptr);
                  ZeqString nodata = rec(nullptr, 5);
                  zeq_println_str(&nodata);
              }),
              "\n\n");
}

TEST(ConsoleOutput, ShortStringPrintersPrintUpToTheFirstNul) {
    EXPECT_EQ(out_of([] {
                  ZeqString h = rec("hello", 2);
                  print_str(&h);
                  println_str(&h);
              }),
              "hellohello\n");
    EXPECT_EQ(out_of([] {
                  ZeqString a = rec("a\0b", 3);
                  print_str(&a);
                  println_str(&a);
              }),
              "aa\n");
    EXPECT_EQ(out_of([] {
                  print_str(nullptr);
                  ZeqString nodata = rec(nullptr, 3);
                  print_str(&nodata);
                  println_str(nullptr);
                  println_str(&nodata);
              }),
              "\n\n");
}

TEST(ConsoleOutput, StandardErrorPrinters) {
    ChildResult r = run_ok([] {
        eprint(-7);
        eprintln(INT64_MIN);
        eprint_f64(0.5);
        eprintln_f64(1e20);
        ZeqString h = rec("hello", 2);
        eprint_str(&h);
        eprintln_str(&h);
        ZeqString a = rec("a\0b", 3);
        eprint_str(&a);
        eprintln_str(&a);
        eprint_str(nullptr);
        eprintln_str(nullptr);
        ZeqString nodata = rec(nullptr, 2);
        eprint_str(&nodata);
        eprintln_str(&nodata);
    });
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err,
              "-7-9223372036854775808\n0.500000000100000000000000000000.000000000\n"
              "hellohello\naa\n\n\n");
}

TEST(ConsoleOutput, PutsCstr) {
    ChildResult r = run_ok([] {
        int64_t a = zeq_puts_cstr("hi");
        int64_t b = zeq_puts_cstr(nullptr);
        int64_t c = zeq_puts_cstr("");
        int64_t d = puts_cstr("there");
        std::printf("%ld %ld %ld %ld\n", static_cast<long>(a), static_cast<long>(b),
                    static_cast<long>(c), static_cast<long>(d));
    });
    EXPECT_EQ(r.out, "hi\n\n\nthere\n0 0 0 0\n");
}

TEST(ConsoleOutput, WriteStdoutWritesExactlyLenBytesAndFlushes) {
    EXPECT_EQ(out_of([] {
                  ZeqString a = rec("a\0b", 3);
                  zeq_write_stdout(&a);
              }),
              "a\0b"s);
    EXPECT_EQ(out_of([] {
                  ZeqString h = rec("hello", 2);
                  zeq_write_stdout(&h);
              }),
              "he");
    // Everything buffered before it, and its own bytes, reach the descriptor
    // before the marker.
    EXPECT_EQ(out_of([] {
                  zeq_print_i64(1);
                  ZeqString s = rec("xy\0z", 4);
                  zeq_write_stdout(&s);
                  marker();
                  zeq_print_i64(2);
              }),
              "1xy\0z|2"s);
}

TEST(ConsoleOutput, WriteStdoutNullRecordWritesNothing) {
    EXPECT_EQ(out_of([] {
                  zeq_write_stdout(nullptr);
                  ZeqString empty = rec("", 0);
                  zeq_write_stdout(&empty);
              }),
              "");
}

TEST(ConsoleOutput, AliasesPrintTheSameWay) {
    EXPECT_EQ(out_of([] {
                  print(-3);
                  println(4);
                  print_f64(0.25);
                  println_f64(1.5);
              }),
              "-34\n0.2500000001.500000000\n");
}

// ---------------------------------------------------------------------------
// Exported names: aliases share their target's address; some services exist
// under one name only
// ---------------------------------------------------------------------------

TEST(ConsoleOutput, ExportedNames) {
    void *lib = dlopen(ZEQ_TEST_LIBRARY, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(lib, nullptr) << dlerror();
    auto sym = [&](const char *name) { return dlsym(lib, name); };
    const char *pairs[][2] = {{"print", "zeq_print_i64"},     {"println", "zeq_println_i64"},
                              {"print_f64", "zeq_print_f64"}, {"println_f64", "zeq_println_f64"},
                              {"puts_cstr", "zeq_puts_cstr"}, {"read_int", "zeq_read_int"}};
    for (auto &p : pairs) {
        ASSERT_NE(sym(p[1]), nullptr) << p[1];
        EXPECT_EQ(sym(p[0]), sym(p[1])) << p[0];
    }
    const char *short_only[] = {"print_char", "eprint",     "eprintln",  "eprint_f64",
                                "eprintln_f64", "eprint_str", "eprintln_str"};
    for (const char *name : short_only) {
        EXPECT_NE(sym(name), nullptr) << name;
        EXPECT_EQ(sym(("zeq_"s + name).c_str()), nullptr) << "zeq_" << name;
    }
    // The short string printers are services of their own, not aliases of
    // zeq_print_str / zeq_println_str.
    ASSERT_NE(sym("print_str"), nullptr);
    ASSERT_NE(sym("println_str"), nullptr);
    EXPECT_NE(sym("print_str"), sym("zeq_print_str"));
    EXPECT_NE(sym("println_str"), sym("zeq_println_str"));
    const char *prefixed_only[] = {"read_f64", "read_line", "read_bytes", "write_stdout"};
    for (const char *name : prefixed_only) {
        EXPECT_EQ(sym(name), nullptr) << name;
        EXPECT_NE(sym(("zeq_"s + name).c_str()), nullptr) << "zeq_" << name;
    }
    dlclose(lib);
}

// ---------------------------------------------------------------------------
// Number readers
// ---------------------------------------------------------------------------

TEST(ConsoleInput, ReadIntThenReadLine) {
    EXPECT_EQ(out_of(
                  [] {
                      std::printf("%ld\n", static_cast<long>(zeq_read_int()));
                      describe(zeq_read_line());  // the empty rest of the first line
                      describe(zeq_read_line());
                      describe(zeq_read_line());
                  },
                  "42\nabc\n"),
              "42\n0:0:1:\n3:3:1:abc\n7:7:1:__EOF__\n");
}

TEST(ConsoleInput, ReadIntSkipsWhiteSpaceAndLeavesTheRest) {
    EXPECT_EQ(out_of(
                  [] {
                      int64_t a = zeq_read_int();
                      int64_t b = read_int();
                      int64_t c = zeq_read_int();
                      std::printf("%ld %ld %ld\n", static_cast<long>(a), static_cast<long>(b),
                                  static_cast<long>(c));
                      describe(zeq_read_line());
                  },
                  "  \n\t-17\n\n  +8 -9223372036854775808 tail\n"),
              "-17 8 -9223372036854775808\n5:5:1: tail\n");
}

TEST(ConsoleInput, ReadIntWithoutANumberGivesZero) {
    EXPECT_EQ(out_of(
                  [] {
                      std::printf("%ld\n", static_cast<long>(zeq_read_int()));
                      describe(zeq_read_line());  // the text was left in the stream
                  },
                  "abc\n"),
              "0\n3:3:1:abc\n");
    EXPECT_EQ(out_of([] {
                  std::printf("%ld %ld\n", static_cast<long>(zeq_read_int()),
                              static_cast<long>(zeq_read_int()));
              }),
              "0 0\n");
}

TEST(ConsoleInput, ReadF64) {
    EXPECT_EQ(out_of(
                  [] {
                      double a = zeq_read_f64();
                      double b = zeq_read_f64();
                      double c = zeq_read_f64();
                      std::printf("%.9f %.9f %.9f\n", a, b, c);
                      describe(zeq_read_line());
                  },
                  "2.5\n  -1e3 7 rest\n"),
              "2.500000000 -1000.000000000 7.000000000\n5:5:1: rest\n");
    EXPECT_EQ(out_of([] { std::printf("%.9f\n", zeq_read_f64()); }, "x\n"), "0.000000000\n");
    EXPECT_EQ(out_of([] { std::printf("%.9f\n", zeq_read_f64()); }), "0.000000000\n");
}

TEST(ConsoleInput, ReadIntDoesNotFlushStdout) {
    EXPECT_EQ(out_of(
                  [] {
                      zeq_print_i64(7);
                      int64_t v = zeq_read_int();
                      marker();
                      zeq_print_i64(v);
                  },
                  "5\n"),
              "|75");
}

// ---------------------------------------------------------------------------
// zeq_read_line
// ---------------------------------------------------------------------------

TEST(ConsoleInput, ReadLineStripsTrailingCrAndLf) {
    EXPECT_EQ(out_of(
                  [] {
                      for (int i = 0; i < 7; ++i) describe(zeq_read_line());
                  },
                  "x\r\nab\r\r\n\r\n\nmid\rdle\n\rlead\nlast"),
              "1:1:1:x\n"
              "2:2:1:ab\n"
              "0:0:1:\n"
              "0:0:1:\n"
              "7:7:1:mid\rdle\n"
              "5:5:1:\rlead\n"
              "4:4:1:last\n");
}

TEST(ConsoleInput, ReadLineLfCrLf) {
    // "ab" LF CR LF: the first line is ab; the lone CR LF after it is an
    // empty line.
    EXPECT_EQ(out_of(
                  [] {
                      for (int i = 0; i < 3; ++i) describe(zeq_read_line());
                  },
                  "ab\n\r\n"),
              "2:2:1:ab\n0:0:1:\n7:7:1:__EOF__\n");
}

TEST(ConsoleInput, ReadLineAtEndOfInput) {
    EXPECT_EQ(out_of([] {
                  describe(zeq_read_line());
                  describe(zeq_read_line());
              }),
              "7:7:1:__EOF__\n7:7:1:__EOF__\n");
    // A line that really is "__EOF__" can't be told apart.
    EXPECT_EQ(out_of([] { describe(zeq_read_line()); }, "__EOF__\n"), "7:7:1:__EOF__\n");
}

TEST(ConsoleInput, ReadLineStopsAtAnEmbeddedNul) {
    EXPECT_EQ(out_of([] { describe(zeq_read_line()); }, "ab\0cd\n"s), "2:2:1:ab\n");
}

TEST(ConsoleInput, ReadLineSplitsLongLinesIn4095BytePieces) {
    std::string line(5000, 'a');
    for (size_t i = 0; i < line.size(); ++i) line[i] = static_cast<char>('a' + i % 26);
    ChildResult r = run_ok(
        [] {
            for (int i = 0; i < 4; ++i) {
                ZeqString *s = zeq_read_line();
                std::printf("%ld %ld %d\n", static_cast<long>(s->len), static_cast<long>(s->cap),
                            s->data[s->len] == '\0');
                std::fwrite(s->data, 1, static_cast<size_t>(s->len), stdout);
                std::fputc('\n', stdout);
                zeq_string_free(s);
            }
        },
        line + "\r\nnext\n");
    EXPECT_EQ(r.out, "4095 4095 1\n" + line.substr(0, 4095) + "\n905 905 1\n" + line.substr(4095) +
                         "\n4 4 1\nnext\n7 7 1\n__EOF__\n");
}

TEST(ConsoleInput, ReadLineOfExactly4095BytesLeavesItsLineEnd) {
    std::string line(4095, 'q');
    EXPECT_EQ(out_of(
                  [] {
                      ZeqString *a = zeq_read_line();
                      std::printf("%ld\n", static_cast<long>(a->len));
                      zeq_string_free(a);
                      describe(zeq_read_line());  // just the line end: empty
                      describe(zeq_read_line());
                  },
                  line + "\n"),
              "4095\n0:0:1:\n7:7:1:__EOF__\n");
}

TEST(ConsoleInput, ReadLineFlushesStdoutFirst) {
    // The prompt printed without a line end reaches the pipe before the
    // read; the marker written after the read comes after it.
    EXPECT_EQ(out_of(
                  [] {
                      zeq_print_i64(7);
                      ZeqString *s = zeq_read_line();
                      marker();
                      zeq_print_str(s);
                      zeq_string_free(s);
                  },
                  "in\n"),
              "7|in");
    // At end of input too.
    EXPECT_EQ(out_of([] {
                  std::fputs("prompt> ", stdout);
                  zeq_string_free(zeq_read_line());
                  marker();
              }),
              "prompt> |");
}

TEST(ConsoleInput, ReadLineResultIsAFreshStringEachCall) {
    EXPECT_EQ(out_of(
                  [] {
                      ZeqString *a = zeq_read_line();
                      ZeqString *b = zeq_read_line();
                      ZeqString *c = zeq_read_line();
                      ZeqString *d = zeq_read_line();
                      std::printf("%d %d\n", a != b && a->data != b->data, c != d && c->data != d->data);
                      describe(a);
                      describe(b);
                      describe(c);
                      describe(d);
                  },
                  "one\ntwo\n"),
              "1 1\n3:3:1:one\n3:3:1:two\n7:7:1:__EOF__\n7:7:1:__EOF__\n");
}

TEST(ConsoleInput, ReadLineInArenaMode) {
    EXPECT_EQ(out_of(
                  [] {
                      zeq_arena_mode(1);
                      describe(zeq_read_line());
                      describe(zeq_read_line());
                      zeq_arena_mode(0);
                  },
                  "arena\n"),
              "5:5:1:arena\n7:7:1:__EOF__\n");
}

// ---------------------------------------------------------------------------
// zeq_read_bytes
// ---------------------------------------------------------------------------

TEST(ConsoleInput, ReadBytesReturnsWhatArrivedBeforeEndOfInput) {
    EXPECT_EQ(out_of([] { describe(zeq_read_bytes(5)); }, "abc"), "3:3:1:abc\n");
    EXPECT_EQ(out_of([] { describe(zeq_read_bytes(10)); }), "0:0:1:\n");
}

TEST(ConsoleInput, ReadBytesKeepsNulsAndLineEnds) {
    EXPECT_EQ(out_of([] { describe(zeq_read_bytes(6)); }, "a\0b\r\nc"s), "6:6:1:a\0b\r\nc\n"s);
}

TEST(ConsoleInput, ReadBytesLeavesTheRestInTheStream) {
    EXPECT_EQ(out_of(
                  [] {
                      describe(zeq_read_bytes(3));
                      describe(zeq_read_line());
                      describe(zeq_read_bytes(2));
                      describe(zeq_read_bytes(100));
                  },
                  "abcdef\nxyz"),
              "3:3:1:abc\n3:3:1:def\n2:2:1:xy\n1:1:1:z\n");
}

TEST(ConsoleInput, ReadBytesMixesWithOtherReaders) {
    EXPECT_EQ(out_of(
                  [] {
                      int64_t v = zeq_read_int();
                      std::printf("%ld\n", static_cast<long>(v));
                      describe(zeq_read_bytes(4));
                  },
                  "12 rest"),
              "12\n4:4:1: res\n");
}

TEST(ConsoleInput, ReadBytesWithNonPositiveCountDoesNotTouchTheStreams) {
    // Nothing is consumed from standard input, and standard output is not
    // flushed (the marker overtakes the buffered 1).
    EXPECT_EQ(out_of(
                  [] {
                      zeq_print_i64(1);
                      ZeqString *a = zeq_read_bytes(0);
                      ZeqString *b = zeq_read_bytes(-5);
                      ZeqString *c = zeq_read_bytes(INT64_MIN);
                      marker();
                      std::fputc('\n', stdout);
                      describe(a);
                      describe(b);
                      describe(c);
                      describe(zeq_read_line());
                  },
                  "kept\n"),
              "|1\n0:0:1:\n0:0:1:\n0:0:1:\n4:4:1:kept\n");
}

TEST(ConsoleInput, ReadBytesFlushesStdoutFirst) {
    EXPECT_EQ(out_of(
                  [] {
                      zeq_print_i64(7);
                      ZeqString *s = zeq_read_bytes(2);
                      marker();
                      zeq_print_str(s);
                      zeq_string_free(s);
                  },
                  "ok"),
              "7|ok");
}

TEST(ConsoleInput, ReadBytesWithAHugeCountReturnsWhatArrived) {
    EXPECT_EQ(out_of([] { describe(zeq_read_bytes(INT64_MAX)); }, "hello"), "5:5:1:hello\n");
    EXPECT_EQ(out_of([] { describe(zeq_read_bytes(INT64_MAX)); }), "0:0:1:\n");
    EXPECT_EQ(out_of([] { describe(zeq_read_bytes(INT64_MAX - 1)); }, "x\n"), "2:2:1:x\n\n");
}

TEST(ConsoleInput, ReadBytesLargeInputs) {
    // Larger than the pipe buffer and than any single read: the bytes arrive
    // in many pieces and the buffer grows several times.
    std::string input(300000, '\0');
    for (size_t i = 0; i < input.size(); ++i) input[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    ChildResult r = run_ok(
        [] {
            ZeqString *a = zeq_read_bytes(200000);
            ZeqString *b = zeq_read_bytes(INT64_MAX);
            ZeqString *c = zeq_read_bytes(1);
            std::printf("%ld %ld %ld %ld %d %d\n", static_cast<long>(a->len), static_cast<long>(a->cap),
                        static_cast<long>(b->len), static_cast<long>(c->len), a->data[a->len] == '\0',
                        b->data[b->len] == '\0');
            std::fwrite(a->data, 1, static_cast<size_t>(a->len), stdout);
            std::fwrite(b->data, 1, static_cast<size_t>(b->len), stdout);
            zeq_string_free(a);
            zeq_string_free(b);
            zeq_string_free(c);
        },
        input);
    EXPECT_EQ(r.out, "200000 200000 100000 0 1 1\n" + input);
}

TEST(ConsoleInput, ReadBytesOfTheExactInputSize) {
    std::string input(65536 * 2, 'z');
    ChildResult r = run_ok(
        [] {
            ZeqString *a = zeq_read_bytes(65536 * 2);
            ZeqString *b = zeq_read_bytes(3);
            std::printf("%ld %ld\n", static_cast<long>(a->len), static_cast<long>(b->len));
            zeq_string_free(a);
            zeq_string_free(b);
        },
        input);
    EXPECT_EQ(r.out, "131072 0\n");
}

TEST(ConsoleInput, ReadBytesInArenaMode) {
    EXPECT_EQ(out_of(
                  [] {
                      zeq_arena_mode(1);
                      describe(zeq_read_bytes(4));
                      describe(zeq_read_bytes(0));
                      zeq_arena_mode(0);
                  },
                  "bytes"),
              "4:4:1:byte\n0:0:1:\n");
}

// ---------------------------------------------------------------------------
// Results are ordinary strings
// ---------------------------------------------------------------------------

TEST(ConsoleInput, ReaderResultsAreOrdinaryMallocStringsOutsideArenaMode) {
    EXPECT_EQ(out_of(
                  [] {
                      ZeqString *line = zeq_read_line();
                      ZeqString *bytes = zeq_read_bytes(3);
                      ZeqString *eof = zeq_read_line();
                      ZeqString *empty = zeq_read_bytes(0);
                      std::printf("%s|%s|%s|%ld\n", string_of(line).c_str(), string_of(bytes).c_str(),
                                  string_of(eof).c_str(), static_cast<long>(empty->len));
                      zeq_string_free(line);
                      zeq_string_free(bytes);
                      zeq_string_free(eof);
                      zeq_string_free(empty);
                  },
                  "first\nabc"),
              "first|abc|__EOF__|0\n");
}
