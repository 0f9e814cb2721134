// A fresh temporary directory for the length of a test: made under $TMPDIR
// (or /tmp), removed with everything in it afterwards.
#pragma once

#include <ftw.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "zeq.h"

namespace zeqtest {

class TempDir {
public:
    TempDir() {
        const char *base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/zeq-test-XXXXXX";
        if (mkdtemp(pattern.data())) path_ = pattern;
    }
    ~TempDir() {
        if (path_.empty()) return;
        nftw(path_.c_str(), [](const char *p, const struct stat *, int, struct FTW *) { return std::remove(p); },
             16, FTW_DEPTH | FTW_PHYS);
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    bool ok() const { return !path_.empty(); }
    const std::string &path() const { return path_; }
    std::string operator/(const std::string &name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// A string record viewing bytes owned elsewhere (no allocation).
inline ZeqString view(const std::string &s) {
    ZeqString r;
    r.data = const_cast<char *>(s.c_str());
    r.len = static_cast<int64_t>(s.size());
    r.cap = r.len;
    return r;
}

// The content of a result string (len bytes, NULs included).
inline std::string content(const ZeqString *s) { return std::string(s->data, static_cast<size_t>(s->len)); }

}  // namespace zeqtest
