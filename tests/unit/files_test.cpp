// Files and directories, each test in a fresh temporary directory: round
// trips against the bytes written, the newline translation against a simple
// reference, queries over a table of path kinds, listings against readdir.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <thread>

#include "child.h"
#include "system_support.h"
#include "zeq.h"

using zeqtest::Result;
using zeqtest::view;

namespace {

void put(const std::string &path, const std::string &bytes) { std::ofstream(path, std::ios::binary) << bytes; }
std::string get(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Random bytes, a quarter of them 0x1F, NULs among them.
std::string random_bytes(size_t n) {
    std::mt19937 gen(static_cast<unsigned>(n));
    std::string s(n, '\0');
    for (char &c : s) c = static_cast<char>(gen() % 4 == 0 ? 0x1F : gen() & 0xFF);
    return s;
}

// What the listing should be: readdir's order, no dots, no final newline.
std::string reference_listing(const std::string &dir) {
    std::string out;
    DIR *d = opendir(dir.c_str());
    while (const dirent *e = d ? readdir(d) : nullptr)
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
            out += (out.empty() ? "" : "\n") + std::string(e->d_name);
    if (d) closedir(d);
    return out;
}

const ZeqString kNullData = {nullptr, 0, 0};

class Files : public ::testing::Test {
protected:
    zeqtest::TempDir dir;
    void SetUp() override { ASSERT_TRUE(dir.ok()); }
    std::string at(const std::string &name) const { return dir / name; }
};
using FileRoundTrip = Files;
using FileQuery = Files;
using DirectoryTree = Files;

}  // namespace

TEST_F(FileRoundTrip, EveryByteComesBackAndWritesTruncate) {
    std::string p = at("f");
    ZeqString path = view(p);
    for (size_t n : {3, 0, 4096, 16385, 1 << 20, 1}) {  // shorter after longer: truncation
        std::string bytes = random_bytes(n), expected = bytes;
        ZeqString data = view(bytes);
        ASSERT_EQ(zeq_write_file(&path, &data), 0);
        Result r(read_file(&path));
        EXPECT_EQ(r.text(), bytes) << n;  // NULs are data: len counts every byte
        EXPECT_EQ(r->cap, r->len);
        EXPECT_EQ(r->data[r->len], '\0');
        std::replace(expected.begin(), expected.end(), '\x1F', '\n');
        ASSERT_EQ(write_file_newlines(&path, &data), 0);
        EXPECT_EQ(get(p), expected) << n;
    }
    std::string before = get(p);
    EXPECT_EQ(zeq_append_file(p.c_str(), "one\n"), 0);
    EXPECT_EQ(zeq_append_file(p.c_str(), "two\0hidden"), 0);
    EXPECT_EQ(get(p), before + "one\ntwo");
}

TEST_F(FileRoundTrip, UnreadablePathsGiveTheEmptyStringWithoutBlocking) {
    put(at("empty"), "");
    ASSERT_EQ(mkfifo(at("fifo").c_str(), 0600), 0);
    int writer = open(at("fifo").c_str(), O_RDWR);  // a writer that never writes
    for (std::string name : {"missing", "empty", ".", "fifo"}) {
        std::string p = at(name);
        ZeqString path = view(p);
        Result r(zeq_read_file(&path));
        EXPECT_EQ(r->len, 0) << name;
        EXPECT_EQ(r->data[0], '\0') << name;
    }
    close(writer);
    Result a(zeq_read_file(nullptr)), b(zeq_read_file(&kNullData));
    EXPECT_EQ(a->len + b->len, 0);
}

TEST_F(FileRoundTrip, WritesToAPipeWhoseReaderLeavesGiveMinusOneAndNoSignal) {
    const std::string fifo = at("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    auto r = zeqtest::run_child([&fifo] {
        signal(SIGPIPE, SIG_DFL);  // as a program starts, whatever ran the tests
        const std::string big(1 << 20, 'x');  // more than the pipe holds
        ZeqString path = view(fifo), data = view(big);
        const std::function<int64_t()> writes[] = {
            [&] { return zeq_write_file(&path, &data); },
            [&] { return zeq_write_file_newlines(&path, &data); },
            [&] { return zeq_append_file(fifo.c_str(), big.c_str()); },
        };
        for (const auto &write : writes) {
            int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
            std::thread leaver([reader] {  // leaves once the writer is in
                pollfd p{reader, POLLIN, 0};
                poll(&p, 1, 5000);
                close(reader);
            });
            int64_t result = write();
            leaver.join();
            sigset_t pending, mask;
            sigpending(&pending);
            pthread_sigmask(SIG_SETMASK, nullptr, &mask);
            std::printf("%lld pending %d blocked %d\n", static_cast<long long>(result),
                        sigismember(&pending, SIGPIPE), sigismember(&mask, SIGPIPE));
        }
    });
    EXPECT_TRUE(r.exited) << "signal " << r.signal;
    EXPECT_EQ(r.out, "-1 pending 0 blocked 0\n-1 pending 0 blocked 0\n-1 pending 0 blocked 0\n");
}

TEST_F(FileRoundTrip, ArenaModeReadsIntoMallocMemory) {
    // 16 MiB from the arena would need a new block; the bytes are malloc
    // memory that free() takes (checked under the address sanitizer).
    std::string p = at("big"), bytes(16 << 20, 'z');
    put(p, bytes);
    ZeqString path = view(p);
    zeq_arena_mode(1);
    zeq_string_from_cstr("first block");
    int64_t before = zeq_arena_usage();
    ZeqString *s = zeq_read_file(&path);
    EXPECT_EQ(zeq_arena_usage(), before);
    EXPECT_EQ(zeqtest::content(s), bytes);
    free(s->data);
    zeq_arena_destroy();
}

TEST_F(FileRoundTrip, BadArgumentsAndLostBytesGiveMinusOne) {
    std::string p = at("w"), text = "x", nodir = at("no/file"), full = "/dev/full";
    ZeqString path = view(p), data = view(text), bad = view(nodir), dev = view(full), negative = data;
    negative.len = -1;
    const ZeqString *const bad_contents[] = {nullptr, &kNullData, &negative};
    for (const ZeqString *c : bad_contents) {
        EXPECT_EQ(zeq_write_file(&path, c), -1);
        EXPECT_EQ(zeq_write_file_newlines(&path, c), -1);
    }
    EXPECT_EQ(zeq_write_file(nullptr, &data) + zeq_write_file(&kNullData, &data), -2);
    EXPECT_EQ(zeq_file_exists(&path), 0);  // nothing was created
    EXPECT_EQ(zeq_write_file(&bad, &data), -1);
    EXPECT_EQ(zeq_append_file(nullptr, "x") + zeq_append_file(p.c_str(), nullptr), -2);
    if (access("/dev/full", W_OK) == 0) {  // always full: the write fails
        EXPECT_EQ(zeq_write_file(&dev, &data), -1);
        EXPECT_EQ(zeq_write_file_newlines(&dev, &data), -1);
        EXPECT_EQ(zeq_append_file("/dev/full", "x"), -1);
    }
}

TEST_F(FileQuery, AnswersByPathKind) {
    put(at("file"), std::string(12345, 'q'));
    mkdir(at("dir").c_str(), 0755);
    mkfifo(at("fifo").c_str(), 0600);
    struct Case { const char *name; int64_t exists, dir, size; };
    for (Case c : {Case{"file", 1, 0, 12345}, Case{"dir", 1, 1, -1}, Case{"fifo", 1, 0, -1},
                   Case{"missing", 0, 0, -1}}) {
        std::string p = at(c.name);
        ZeqString path = view(p);
        EXPECT_EQ(zeq_file_exists(&path) + file_exists(&path), 2 * c.exists) << c.name;
        EXPECT_EQ(zeq_file_exists_cstr(p.c_str()), c.exists) << c.name;
        EXPECT_EQ(zeq_is_dir(&path), c.dir) << c.name;
        EXPECT_EQ(zeq_file_size(p.c_str()), c.size) << c.name;
        EXPECT_EQ(file_size(&path), c.size) << c.name;
    }
    EXPECT_EQ(zeq_file_size("/dev/null"), 0);
    for (const ZeqString *p : {static_cast<const ZeqString *>(nullptr), &kNullData}) {
        EXPECT_EQ(zeq_file_exists(p) + file_exists(p) + zeq_is_dir(p), 0);
        EXPECT_EQ(file_size(p) + zeq_delete_file(p) + zeq_rmdir(p) + zeq_mkdir(p), -4);
        Result listing(zeq_readdir(p));
        EXPECT_EQ(listing->len, 0);
    }
    EXPECT_EQ(zeq_file_exists_cstr(nullptr) + zeq_file_size(nullptr), -1);
}

TEST_F(FileQuery, EveryRemovalNameRemovesFilesAndEmptyDirectories) {
    for (auto remover : {zeq_delete_file, zeq_remove_file, delete_file, remove_file}) {
        std::string f = at("victim"), d = at("emptydir");
        put(f, "x");
        mkdir(d.c_str(), 0755);
        ZeqString fp = view(f), dp = view(d);
        EXPECT_EQ(remover(&fp) + remover(&dp), 0);
        EXPECT_EQ(zeq_file_exists(&fp) + zeq_file_exists(&dp), 0);
        EXPECT_EQ(remover(&fp), -1);
    }
}

TEST_F(DirectoryTree, MakeDirCreatesEveryParent) {
    put(at("plain"), "x");
    struct Case { std::string path; int64_t result; };
    for (const Case &c : {Case{at("a/b/c"), 0}, Case{at("t/u/"), 0}, Case{at("s//v"), 0},
                          Case{at("p\\q"), 0}, Case{at("plain"), -1}, Case{at("plain/sub"), -1},
                          Case{"", -1}}) {
        ZeqString path = view(c.path);
        EXPECT_EQ(zeq_mkdir(&path), c.result) << c.path;
        EXPECT_EQ(make_dir(&path), c.result) << c.path;  // again: existing is fine
    }
    EXPECT_EQ(zeq_file_exists_cstr(at("a/b").c_str()) + zeq_file_exists_cstr(at("p").c_str()), 2);
    struct stat st;
    ASSERT_EQ(stat(at("a/b").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777 & ~0755u, 0u);
}

TEST_F(DirectoryTree, ListingFollowsReaddir) {
    std::string d = at("list");
    mkdir(d.c_str(), 0755);
    ZeqString path = view(d);
    EXPECT_EQ(Result(zeq_readdir(&path)).text(), "");
    for (const char *n : {"x", "y", ".cfg"}) put(d + "/" + n, "");
    EXPECT_EQ(Result(list_dir(&path)).text(), reference_listing(d));
    EXPECT_EQ(reference_listing(d).size(), 8u);  // x, y, .cfg and two newlines
    for (int i = 0; i < 400; ++i) put(d + "/entry-with-a-long-name-" + std::to_string(i), "");
    Result many(zeq_readdir(&path));
    EXPECT_GT(many->len, 8 * 1024);
    EXPECT_EQ(many.text(), reference_listing(d));
    std::string file = d + "/x", missing = at("missing");
    ZeqString f = view(file), m = view(missing);
    EXPECT_EQ(Result(zeq_readdir(&f))->len + Result(zeq_readdir(&m))->len, 0);
}

TEST_F(DirectoryTree, RemoveDirTakesOnlyEmptyDirectories) {
    std::string full = at("full"), empty = at("empty"), file = at("full/inside");
    mkdir(full.c_str(), 0755);
    mkdir(empty.c_str(), 0755);
    put(file, "x");
    ZeqString f = view(full), e = view(empty), p = view(file);
    EXPECT_EQ(zeq_rmdir(&f), -1);
    EXPECT_EQ(remove_dir(&e), 0);
    EXPECT_EQ(zeq_rmdir(&e) + zeq_rmdir(&p), -2);
    EXPECT_EQ(zeq_is_dir(&f) + zeq_file_exists(&e), 1);
}

TEST(FileNames, ShortNamesAreAliases) {
    const std::pair<void *, void *> pairs[] = {
        {(void *)read_file, (void *)zeq_read_file}, {(void *)write_file, (void *)zeq_write_file},
        {(void *)write_file_newlines, (void *)zeq_write_file_newlines},
        {(void *)file_exists, (void *)zeq_file_exists}, {(void *)file_exists_cstr, (void *)zeq_file_exists_cstr},
        {(void *)zeq_remove_file, (void *)zeq_delete_file}, {(void *)delete_file, (void *)zeq_delete_file},
        {(void *)remove_file, (void *)zeq_delete_file}, {(void *)is_dir, (void *)zeq_is_dir},
        {(void *)make_dir, (void *)zeq_mkdir}, {(void *)list_dir, (void *)zeq_readdir},
        {(void *)remove_dir, (void *)zeq_rmdir}};
    for (auto [a, b] : pairs) EXPECT_TRUE(zeqtest::same_function(a, b));
}
