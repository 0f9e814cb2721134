// Start-up, arguments and exit: the library's main around a zeq program that
// replaces the delivered zeq_user_main, and the host set-up call.
#include <gtest/gtest.h>

#include <string>

#include "child.h"
#include "zeq.h"

namespace {

const std::string kProgram = std::string(ZEQ_TEST_PROGRAM_DIR) + "/custom_program";

}  // namespace

TEST(EntryMain, RunsTheProgramsOwnUserMainUnderArenaMode) {
    auto r = zeqtest::run_program(kProgram, {"one", "", "three four"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "args: [one|3|3] [|0|0] [three four|10|10]\n"
              "enabled=1\n"
              "usage=8388608 len=12\n"
              "thread: count=0 arg0_len=0\n"
              "after: usage=0 enabled=0 released=1\n");
    EXPECT_EQ(r.err, "");
}

TEST(EntryMain, ExitStatusIsTheLowBitsOfTheResult) {
    for (auto [result, status] : {std::pair{"42", 42}, {"256", 0}, {"-1", 255}, {"4294967553", 1}}) {
        auto r = zeqtest::run_program(kProgram, {}, {std::string("ZEQ_TEST_RESULT=") + result});
        EXPECT_EQ(r.status, status) << result;
    }
}

TEST(EntryMain, ProgramsInCAndCxxDefineTheirOwnEntry) {
    auto cxx = zeqtest::run_program(std::string(ZEQ_TEST_PROGRAM_DIR) + "/cxx_program", {});
    EXPECT_EQ(cxx.status, 8) << cxx.err;
    EXPECT_EQ(cxx.out, "from C++\n");
    // A program whose globals clash with the library's own names: the
    // library's internal calls still reach the library's bodies.
    auto clash = zeqtest::run_program(std::string(ZEQ_TEST_PROGRAM_DIR) + "/clashing_names", {});
    EXPECT_EQ(clash.status, 0) << clash.err;
    EXPECT_EQ(clash.out, "own bodies\n");
}

TEST(EntryArguments, OnlyTheInitialisingThreadSeesThem) {
    // This test binary has a main of its own, so nothing has recorded
    // arguments yet.
    EXPECT_EQ(zeq_arg_count(), 0);
    ZeqString *none = zeq_get_arg(0);
    EXPECT_EQ(none->len, 0);
    zeq_string_free(none);
    zeqtest::on_fresh_thread([] {
        char a0[] = "prog", a1[] = "", a2[] = "x y";
        char *argv[] = {a0, a1, a2, nullptr};
        zeq_init_runtime(3, argv);
        EXPECT_EQ(g_arena_enabled, 1);
        EXPECT_EQ(arg_count(), 3);
        ZeqString *s = get_arg(2);
        EXPECT_EQ(std::string(s->data), "x y");
        EXPECT_EQ(s->cap, 3);
        EXPECT_NE(s->data, a2);  // a fresh copy
        for (int64_t i : {int64_t{1}, int64_t{-1}, int64_t{3}}) {
            ZeqString *e = zeq_get_arg(i);
            EXPECT_EQ(e->len, 0);
            EXPECT_EQ(e->cap, 0);
            EXPECT_EQ(e->data[0], '\0');
        }
        zeqtest::on_fresh_thread([] { EXPECT_EQ(zeq_arg_count(), 0); });
        zeq_arena_destroy();
        EXPECT_EQ(g_arena_enabled, 0);
    });
}

TEST(EntryExit, EndsWithTheStatusAndFlushesOutput) {
    auto r = zeqtest::run_child([] {
        std::printf("buffered");
        zeq_exit(7);
    });
    EXPECT_EQ(r.status, 7);
    EXPECT_EQ(r.out, "buffered");
}
