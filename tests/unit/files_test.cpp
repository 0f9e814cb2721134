// Files and directories, exercised in a fresh temporary directory per test:
// whole-file round trips against the bytes written, the newline
// translation against a simple reference, the queries over a table of path
// kinds, directory creation, listing (against readdir itself) and removal.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "child.h"
#include "temp_dir.h"
#include "zeq.h"

using zeqtest::content;
using zeqtest::TempDir;
using zeqtest::view;

namespace {

// A result string released at the end of the scope (arena mode is off).
struct Result {
    ZeqString *s;
    explicit Result(ZeqString *r) : s(r) {}
    ~Result() { zeq_string_free(s); }
    Result(const Result &) = delete;
    Result &operator=(const Result &) = delete;
    ZeqString *operator->() const { return s; }
    std::string text() const { return content(s); }
};

void put(const std::string &path, const std::string &bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string get(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string random_bytes(size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (char &c : s) c = static_cast<char>(gen() % 4 == 0 ? 0x1F : gen() & 0xFF);
    return s;
}

// Names in the order readdir delivers them, "." and ".." left out.
std::vector<std::string> reference_listing(const std::string &dir) {
    std::vector<std::string> names;
    DIR *d = opendir(dir.c_str());
    if (!d) return names;
    while (const dirent *e = readdir(d))
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) names.push_back(e->d_name);
    closedir(d);
    return names;
}

std::string joined(const std::vector<std::string> &names) {
    std::string out;
    for (size_t i = 0; i < names.size(); ++i) out += (i ? "\n" : "") + names[i];
    return out;
}

const ZeqString kNullData = {nullptr, 0, 0};

class Files : public ::testing::Test {
protected:
    TempDir dir;
    void SetUp() override { ASSERT_TRUE(dir.ok()); }
    std::string at(const std::string &name) const { return dir / name; }
};

}  // namespace

// ---------------------------------------------------------------------------
// Whole files
// ---------------------------------------------------------------------------

using FileRoundTrip = Files;

TEST_F(FileRoundTrip, WrittenBytesReadBackWhole) {
    // NUL bytes are data: the string keeps every byte of the file.
    for (size_t n : {0, 1, 3, 4095, 4096, 16385, 1 << 20}) {
        std::string bytes = random_bytes(n, static_cast<unsigned>(n));
        std::string p = at("f.bin");
        ZeqString path = view(p), data = view(bytes);
        ASSERT_EQ(zeq_write_file(&path, &data), 0) << n;
        EXPECT_EQ(get(p), bytes);
        Result r(zeq_read_file(&path));
        EXPECT_EQ(r->len, static_cast<int64_t>(n));
        EXPECT_EQ(r->cap, r->len);
        EXPECT_EQ(r->data[r->len], '\0');
        EXPECT_EQ(r.text(), bytes) << n;
    }
}

TEST_F(FileRoundTrip, BytesAfterANulAreKept) {
    put(at("nul"), std::string("a\0b", 3));
    std::string p = at("nul");
    ZeqString path = view(p);
    Result r(read_file(&path));
    EXPECT_EQ(r.text(), std::string("a\0b", 3));
}

TEST_F(FileRoundTrip, FailuresGiveTheEmptyString) {
    mkfifo(at("fifo").c_str(), 0600);
    put(at("empty"), "");
    for (std::string name : {"missing", "empty", ".", "fifo"}) {
        std::string p = at(name);
        ZeqString path = view(p);
        Result r(zeq_read_file(&path));
        EXPECT_EQ(r->len, 0) << name;
        EXPECT_EQ(r->data[0], '\0') << name;
    }
    Result a(zeq_read_file(nullptr)), b(zeq_read_file(&kNullData));
    EXPECT_EQ(a->len + b->len, 0);
}

TEST_F(FileRoundTrip, ReadingAFifoWithAWriterDoesNotBlock) {
    // The writer keeps the FIFO open without writing: a read that waited for
    // the end of the stream would never return (the child's time limit).
    std::string p = at("fifo");
    ASSERT_EQ(mkfifo(p.c_str(), 0600), 0);
    auto r = zeqtest::run_child(
        [p] {
            int keep = open(p.c_str(), O_RDWR);
            ZeqString path = view(p);
            ZeqString *s = zeq_read_file(&path);
            std::printf("%ld", static_cast<long>(s->len));
            close(keep);
        },
        "", 10);
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.out, "0");
}

TEST_F(FileRoundTrip, ArenaModeReadsIntoMallocMemory) {
    // 16 MiB would need a block of its own if it came from the arena; the
    // buffer is malloc memory that free() accepts.
    std::string bytes(16 << 20, 'z');
    put(at("big"), bytes);
    std::string p = at("big");
    ZeqString path = view(p);
    zeq_arena_mode(1);
    zeq_string_from_cstr("warm");
    int64_t before = zeq_arena_usage();
    ZeqString *s = zeq_read_file(&path);
    EXPECT_EQ(zeq_arena_usage(), before);
    EXPECT_EQ(s->len, static_cast<int64_t>(bytes.size()));
    EXPECT_EQ(std::memcmp(s->data, bytes.data(), bytes.size()), 0);
    std::free(s->data);
    zeq_arena_destroy();
}

TEST_F(FileRoundTrip, WriteTruncatesAndEmptyContentLeavesAnEmptyFile) {
    put(at("t"), "previous longer content");
    std::string p = at("t"), empty, shorter = "new";
    ZeqString path = view(p), e = view(empty), s = view(shorter);
    EXPECT_EQ(write_file(&path, &s), 0);
    EXPECT_EQ(get(p), "new");
    EXPECT_EQ(zeq_write_file(&path, &e), 0);
    EXPECT_EQ(get(p), "");
    EXPECT_EQ(zeq_file_exists(&path), 1);
}

TEST_F(FileRoundTrip, NewlineWriteMatchesReference) {
    std::string p = at("nl");
    ZeqString path = view(p);
    std::string small("a\x1F" "b", 3);
    ZeqString sv = view(small);
    EXPECT_EQ(zeq_write_file_newlines(&path, &sv), 0);
    EXPECT_EQ(get(p), "a\nb");
    for (size_t n : {0, 1, 16383, 16384, 16385, 100000}) {
        std::string bytes = random_bytes(n, static_cast<unsigned>(n) + 7);
        std::string expected = bytes;
        std::replace(expected.begin(), expected.end(), '\x1F', '\n');
        ZeqString data = view(bytes);
        ASSERT_EQ(write_file_newlines(&path, &data), 0);
        EXPECT_EQ(get(p), expected) << n;
    }
}

TEST_F(FileRoundTrip, AppendAddsBytesUpToTheNul) {
    std::string p = at("log");
    EXPECT_EQ(zeq_append_file(p.c_str(), "one\n"), 0);
    EXPECT_EQ(zeq_append_file(p.c_str(), ""), 0);
    EXPECT_EQ(zeq_append_file(p.c_str(), "two\0hidden"), 0);
    EXPECT_EQ(get(p), "one\ntwo");
}

TEST_F(FileRoundTrip, BadArgumentsAndFailedWritesGiveMinusOne) {
    std::string p = at("w"), text = "x", nodir = at("no/such/file");
    ZeqString path = view(p), data = view(text), bad = view(nodir);
    ZeqString negative = data;
    negative.len = -1;
    EXPECT_EQ(zeq_write_file(nullptr, &data), -1);
    EXPECT_EQ(zeq_write_file(&path, nullptr), -1);
    EXPECT_EQ(zeq_write_file(&kNullData, &data), -1);
    EXPECT_EQ(zeq_write_file(&path, &kNullData), -1);
    EXPECT_EQ(zeq_write_file(&path, &negative), -1);
    EXPECT_EQ(zeq_write_file_newlines(&path, nullptr), -1);
    EXPECT_EQ(zeq_write_file_newlines(nullptr, &data), -1);
    EXPECT_EQ(zeq_file_exists(&path), 0);  // nothing was created
    EXPECT_EQ(zeq_write_file(&bad, &data), -1);
    EXPECT_EQ(zeq_append_file(nullptr, "x"), -1);
    EXPECT_EQ(zeq_append_file(p.c_str(), nullptr), -1);
    EXPECT_EQ(zeq_append_file(nodir.c_str(), "x"), -1);
    // A device that is always full: the lost bytes are reported.
    if (access("/dev/full", W_OK) == 0) {
        std::string full = "/dev/full";
        ZeqString dev = view(full);
        EXPECT_EQ(zeq_write_file(&dev, &data), -1);
        EXPECT_EQ(zeq_write_file_newlines(&dev, &data), -1);
        EXPECT_EQ(zeq_append_file("/dev/full", "x"), -1);
    }
}

// ---------------------------------------------------------------------------
// Queries and removal
// ---------------------------------------------------------------------------

using FileQuery = Files;

TEST_F(FileQuery, ExistenceDirectoryAndSizeByPathKind) {
    put(at("file"), std::string(12345, 'q'));
    mkdir(at("dir").c_str(), 0755);
    mkfifo(at("fifo").c_str(), 0600);
    struct Case {
        const char *name;
        int64_t exists, dir, size;
    };
    const Case cases[] = {
        {"file", 1, 0, 12345}, {"dir", 1, 1, -1}, {"fifo", 1, 0, -1}, {"missing", 0, 0, -1}};
    for (const Case &c : cases) {
        std::string p = at(c.name);
        ZeqString path = view(p);
        EXPECT_EQ(zeq_file_exists(&path), c.exists) << c.name;
        EXPECT_EQ(file_exists(&path), c.exists) << c.name;
        EXPECT_EQ(zeq_file_exists_cstr(p.c_str()), c.exists) << c.name;
        EXPECT_EQ(file_exists_cstr(p.c_str()), c.exists) << c.name;
        EXPECT_EQ(zeq_is_dir(&path), c.dir) << c.name;
        EXPECT_EQ(is_dir(&path), c.dir) << c.name;
        EXPECT_EQ(zeq_file_size(p.c_str()), c.size) << c.name;
        EXPECT_EQ(file_size(&path), c.size) << c.name;
    }
    EXPECT_EQ(zeq_file_size("/dev/null"), 0);
}

TEST_F(FileQuery, NullPathsGiveNeutralResults) {
    for (const ZeqString *p : {static_cast<const ZeqString *>(nullptr), &kNullData}) {
        EXPECT_EQ(zeq_file_exists(p), 0);
        EXPECT_EQ(file_exists(p), 0);
        EXPECT_EQ(zeq_is_dir(p), 0);
        EXPECT_EQ(file_size(p), -1);
        EXPECT_EQ(zeq_delete_file(p), -1);
        EXPECT_EQ(zeq_rmdir(p), -1);
        EXPECT_EQ(zeq_mkdir(p), -1);
        Result listing(zeq_readdir(p));
        EXPECT_EQ(listing->len, 0);
    }
    EXPECT_EQ(zeq_file_exists_cstr(nullptr), 0);
    EXPECT_EQ(zeq_file_size(nullptr), -1);
}

TEST_F(FileQuery, EveryRemovalNameRemovesFilesAndEmptyDirectories) {
    int64_t (*const removers[])(const ZeqString *) = {zeq_delete_file, zeq_remove_file, delete_file,
                                                      remove_file};
    for (auto remover : removers) {
        std::string f = at("victim"), d = at("emptydir");
        put(f, "x");
        mkdir(d.c_str(), 0755);
        ZeqString fp = view(f), dp = view(d);
        EXPECT_EQ(remover(&fp), 0);
        EXPECT_EQ(remover(&dp), 0);
        EXPECT_EQ(zeq_file_exists(&fp) + zeq_file_exists(&dp), 0);
        EXPECT_EQ(remover(&fp), -1);  // already gone
    }
}

// ---------------------------------------------------------------------------
// Directories
// ---------------------------------------------------------------------------

using DirectoryTree = Files;

TEST_F(DirectoryTree, MakeDirCreatesEveryParent) {
    std::string abc = at("a/b/c"), trailing = at("t/u/"), twice = at("s//v");
    for (const std::string &p : {abc, trailing, twice}) {
        ZeqString path = view(p);
        EXPECT_EQ(zeq_mkdir(&path), 0) << p;
        EXPECT_EQ(make_dir(&path), 0) << p;  // already there: still 0
        EXPECT_EQ(zeq_is_dir(&path), 1) << p;
    }
    struct stat st;
    ASSERT_EQ(stat(at("a/b").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777 & ~0755u, 0u);
}

TEST_F(DirectoryTree, BackslashEndsAParentToo) {
    std::string p = at("p\\q");
    ZeqString path = view(p);
    EXPECT_EQ(zeq_mkdir(&path), 0);
    EXPECT_EQ(zeq_file_exists_cstr(at("p").c_str()), 1);  // the prefix before '\'
    EXPECT_EQ(zeq_is_dir(&path), 1);                      // and the whole name
}

TEST_F(DirectoryTree, MakeDirFailsWhereNoDirectoryCanBe) {
    put(at("plain"), "x");
    std::string file = at("plain"), under = at("plain/sub"), empty;
    ZeqString f = view(file), u = view(under), e = view(empty);
    EXPECT_EQ(zeq_mkdir(&f), -1);
    EXPECT_EQ(zeq_mkdir(&u), -1);
    EXPECT_EQ(zeq_mkdir(&e), -1);
}

TEST_F(DirectoryTree, ListingFollowsReaddirWithoutDotsOrFinalNewline) {
    std::string d = at("list");
    mkdir(d.c_str(), 0755);
    ZeqString path = view(d);
    {
        Result r(zeq_readdir(&path));
        EXPECT_EQ(r.text(), "");
    }
    for (const char *n : {"x", "y", ".cfg"}) put(d + "/" + n, "");
    mkdir((d + "/sub").c_str(), 0755);
    Result r(list_dir(&path));
    EXPECT_EQ(r.text(), joined(reference_listing(d)));
    std::set<std::string> listed;
    std::string text = r.text();
    for (size_t start = 0, end; start <= text.size(); start = end + 1) {
        end = std::min(text.find('\n', start), text.size());
        listed.insert(text.substr(start, end - start));
    }
    EXPECT_EQ(listed, (std::set<std::string>{".cfg", "sub", "x", "y"}));
    EXPECT_NE(r->data[r->len - 1], '\n');
}

TEST_F(DirectoryTree, LongListingsGrowTheBuffer) {
    std::string d = at("many");
    mkdir(d.c_str(), 0755);
    for (int i = 0; i < 400; ++i) put(d + "/entry-with-a-long-name-" + std::to_string(i), "");
    ZeqString path = view(d);
    Result r(zeq_readdir(&path));
    EXPECT_GT(r->len, 8 * 1024);
    EXPECT_EQ(r.text(), joined(reference_listing(d)));
    EXPECT_EQ(r->cap, r->len);
}

TEST_F(DirectoryTree, ListingFailuresGiveTheEmptyString) {
    put(at("file"), "x");
    for (const char *name : {"missing", "file"}) {
        std::string p = at(name);
        ZeqString path = view(p);
        Result r(zeq_readdir(&path));
        EXPECT_EQ(r->len, 0) << name;
    }
}

TEST_F(DirectoryTree, RemoveDirTakesOnlyEmptyDirectories) {
    std::string full = at("full"), empty = at("empty"), file = at("file");
    mkdir(full.c_str(), 0755);
    mkdir(empty.c_str(), 0755);
    put(full + "/inside", "x");
    put(file, "x");
    ZeqString f = view(full), e = view(empty), p = view(file);
    EXPECT_EQ(zeq_rmdir(&f), -1);
    EXPECT_EQ(zeq_is_dir(&f), 1);
    EXPECT_EQ(remove_dir(&e), 0);
    EXPECT_EQ(zeq_file_exists(&e), 0);
    EXPECT_EQ(zeq_rmdir(&e), -1);
    EXPECT_EQ(zeq_rmdir(&p), -1);
}

TEST(FileNames, ShortNamesAreAliases) {
    auto same = [](auto *a, auto *b) {
        return zeqtest::same_function(reinterpret_cast<void *>(a), reinterpret_cast<void *>(b));
    };
    EXPECT_TRUE(same(&read_file, &zeq_read_file));
    EXPECT_TRUE(same(&write_file, &zeq_write_file));
    EXPECT_TRUE(same(&write_file_newlines, &zeq_write_file_newlines));
    EXPECT_TRUE(same(&file_exists, &zeq_file_exists));
    EXPECT_TRUE(same(&file_exists_cstr, &zeq_file_exists_cstr));
    EXPECT_TRUE(same(&zeq_remove_file, &zeq_delete_file));
    EXPECT_TRUE(same(&delete_file, &zeq_delete_file));
    EXPECT_TRUE(same(&remove_file, &zeq_delete_file));
    EXPECT_TRUE(same(&is_dir, &zeq_is_dir));
    EXPECT_TRUE(same(&make_dir, &zeq_mkdir));
    EXPECT_TRUE(same(&list_dir, &zeq_readdir));
    EXPECT_TRUE(same(&remove_dir, &zeq_rmdir));
}
