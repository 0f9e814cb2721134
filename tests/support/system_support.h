// Helpers of the file and process tests: a fresh temporary directory for
// the length of a test (under the system temporary directory, removed with
// its content), string records viewing test strings, and result strings
// freed at the end of a scope (arena mode off).
#pragma once

#include <ftw.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "zeq.h"

namespace zeqtest {

class TempDir {
public:
    TempDir() {
        std::error_code ec;
        std::string pattern = (std::filesystem::temp_directory_path(ec) / "zeq-test-XXXXXX").string();
        if (mkdtemp(pattern.data())) path_ = pattern;
    }
    ~TempDir() {
        auto remove_one = [](const char *p, const struct stat *, int, struct FTW *) { return std::remove(p); };
        if (!path_.empty()) nftw(path_.c_str(), remove_one, 16, FTW_DEPTH | FTW_PHYS);
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    bool ok() const { return !path_.empty(); }
    const std::string &path() const { return path_; }
    std::string operator/(const std::string &name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline ZeqString view(const std::string &s) {
    auto n = static_cast<int64_t>(s.size());
    return ZeqString{const_cast<char *>(s.c_str()), n, n};
}

inline std::string content(const ZeqString *s) { return std::string(s->data, static_cast<size_t>(s->len)); }

struct Result {
    ZeqString *s;
    explicit Result(ZeqString *r) : s(r) {}
    ~Result() { zeq_string_free(s); }
    Result(const Result &) = delete;
    Result &operator=(const Result &) = delete;
    ZeqString *operator->() const { return s; }
    std::string text() const { return content(s); }
};

}  // namespace zeqtest
