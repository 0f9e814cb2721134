// The library exports exactly the names that zeq.h declares: nothing leaks
// (template instantiations, internal helpers) and nothing declared is missing.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>
#include <string>

#include "child.h"
#include "zeq.h"

namespace {

std::set<std::string> declared_names() {
    std::ifstream header(ZEQ_TEST_HEADER);
    std::set<std::string> names;
    std::string line;
    // "ZEQ_API <type> name(" for functions, "ZEQ_API extern <type> name;" for
    // data: the name is the identifier right before the first "(" or ";".
    auto is_ident = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; };
    while (std::getline(header, line)) {
        if (line.rfind("ZEQ_API ", 0) != 0) continue;
        size_t end = line.find_first_of("(;");
        if (end == std::string::npos) continue;
        while (end > 0 && line[end - 1] == ' ') --end;
        size_t begin = end;
        while (begin > 0 && is_ident(line[begin - 1])) --begin;
        if (begin < end) names.insert(line.substr(begin, end - begin));
    }
    return names;
}

// Defined dynamic symbols, without version suffixes and without the symbol
// that names the version node itself.
std::set<std::string> exported_names() {
    std::string cmd = std::string("nm -D --defined-only ") + ZEQ_TEST_LIBRARY;
    FILE *p = popen(cmd.c_str(), "r");
    std::set<std::string> names;
    if (!p) return names;
    char buf[512];
    while (std::fgets(buf, sizeof buf, p)) {
        char value[64], type[8], name[400];
        if (std::sscanf(buf, "%63s %7s %399s", value, type, name) != 3) continue;
        if (std::string(type) == "A") continue;
        std::string n = name;
        n = n.substr(0, n.find('@'));
        names.insert(n);
    }
    pclose(p);
    return names;
}

}  // namespace

TEST(ExportedSymbols, MatchTheHeaderBothWays) {
    auto declared = declared_names();
    auto exported = exported_names();
    ASSERT_GT(declared.size(), 100u);
    ASSERT_FALSE(exported.empty()) << "nm produced no output";
    for (const auto &n : exported) EXPECT_TRUE(declared.count(n)) << "exported but not declared: " << n;
    for (const auto &n : declared) EXPECT_TRUE(exported.count(n)) << "declared but not exported: " << n;
}

// zeq.h declares the names compiled zeq programs are linked against (the
// specified interface, 495 of them) and the additions listed in one place.
TEST(ExportedSymbols, AdditionsBeyondTheSpecifiedNamesAreListed) {
    constexpr size_t specified_names = 495;
    std::ifstream list(ZEQ_TEST_SOURCE_DIR "/abi/declared-additions.txt");
    ASSERT_TRUE(list) << "abi/declared-additions.txt missing";
    const auto declared = declared_names();
    size_t additions = 0;
    for (std::string name; std::getline(list, name);) {
        if (name.empty() || name[0] == '#') continue;
        EXPECT_TRUE(declared.count(name)) << "listed as an addition but not declared: " << name;
        ++additions;
    }
    EXPECT_EQ(declared.size(), specified_names + additions)
        << "zeq.h declares a name that is neither specified nor listed as an addition";
}

TEST(ExportedSymbols, ShortNamesAreAliasesOfOneBody) {
    auto same = [](auto *a, auto *b) {
        return zeqtest::same_function(reinterpret_cast<void *>(a), reinterpret_cast<void *>(b));
    };
    EXPECT_TRUE(same(&get_arg, &zeq_get_arg));
    EXPECT_TRUE(same(&slice, &zeq_string_slice));
    EXPECT_TRUE(same(&byte_at, &zeq_string_char_at));
    EXPECT_TRUE(same(&arena_usage, &zeq_arena_usage));
}

namespace {

std::string command_output(const std::string &cmd) {
    std::string out;
    if (FILE *p = popen(cmd.c_str(), "r")) {
        char buf[512];
        while (std::fgets(buf, sizeof buf, p)) out += buf;
        pclose(p);
    }
    return out;
}

}  // namespace

TEST(LibraryImage, KeepsControlFlowProtectionAndNeedsNoCompilerHelperLibrary) {
    // Every object is built with control-flow protection; one without the
    // property note (the hand-written assembly, say) would make the linker
    // drop the protection for the whole library.
    std::string objects = ZEQ_TEST_LIBRARY_OBJECTS;
    size_t checked = 0;
    for (size_t at = 0; at < objects.size();) {
        size_t end = objects.find('|', at);
        if (end == std::string::npos) end = objects.size();
        const std::string object = objects.substr(at, end - at);
        at = end + 1;
        EXPECT_NE(command_output("readelf -n " + object).find("IBT, SHSTK"), std::string::npos)
            << object;
        ++checked;
    }
    EXPECT_GT(checked, 10u);
    const auto *entry = reinterpret_cast<const unsigned char *>(&zeq_ffi_begin);
    const unsigned char endbr64[] = {0xf3, 0x0f, 0x1e, 0xfa};
    EXPECT_EQ(std::memcmp(entry, endbr64, sizeof endbr64), 0) << "zeq_ffi_begin lacks endbr64";
    // No call into the compiler's helper library (some drivers and the
    // sanitizer runtimes still list it as needed).
    const std::string imports = command_output(std::string("nm -D --undefined-only ") + ZEQ_TEST_LIBRARY);
    EXPECT_NE(imports.find("@GLIBC_"), std::string::npos);
    EXPECT_EQ(imports.find("@GCC_"), std::string::npos);
}
