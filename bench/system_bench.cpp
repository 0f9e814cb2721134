// Whole-file reading and command capture at 100 MB.
//   read_file_100mb:  zeq_read_file (arena mode, as a program runs) against
//                     open + fstat + malloc + read() of the whole file.
//   capture_100mb:    zeq_system_capture of a command writing 100 MB, arena
//                     mode off (the string keeps the read buffer) and on
//                     (the output is copied into the arena), against popen
//                     + fread into a doubling malloc buffer.
// The file lives in a temporary directory removed at exit; it is read from
// the page cache after the first round.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <cstring>
#include <string>

#include "zeq.h"

namespace {

constexpr size_t kSize = 100u << 20;

class BigFile {
public:
    BigFile() {
        std::error_code ec;
        std::string pattern = (std::filesystem::temp_directory_path(ec) / "zeq-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data())) return;
        dir_ = pattern;
        path_ = dir_ + "/big.bin";
        std::string block(1 << 20, '\0');
        for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 131 + (i >> 9));
        FILE *f = std::fopen(path_.c_str(), "wb");
        if (!f) return;
        for (size_t done = 0; done < kSize; done += block.size()) std::fwrite(block.data(), 1, block.size(), f);
        std::fclose(f);
    }
    ~BigFile() {
        if (!path_.empty()) std::remove(path_.c_str());
        if (!dir_.empty()) rmdir(dir_.c_str());
    }
    const std::string &path() const { return path_; }

private:
    std::string dir_, path_;
};

const std::string &big_file() {
    static BigFile file;
    return file.path();
}

const std::string kCommand = "head -c " + std::to_string(kSize) + " /dev/zero";

void BM_ZeqReadFile(benchmark::State &state) {
    const std::string &p = big_file();
    ZeqString path = {const_cast<char *>(p.c_str()), static_cast<int64_t>(p.size()),
                      static_cast<int64_t>(p.size())};
    zeq_arena_mode(1);
    for (auto _ : state) {
        ZeqString *s = zeq_read_file(&path);
        if (static_cast<size_t>(s->len) != kSize) state.SkipWithError("short read");
        benchmark::DoNotOptimize(s->data);
        std::free(s->data);  // malloc memory even in arena mode
    }
    zeq_arena_destroy();
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kSize));
}

void BM_PosixRead(benchmark::State &state) {
    const std::string &p = big_file();
    for (auto _ : state) {
        int fd = open(p.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat st;
        fstat(fd, &st);
        size_t n = static_cast<size_t>(st.st_size);
        auto *buf = static_cast<char *>(std::malloc(n + 1));
        size_t got = 0;
        while (got < n) {
            ssize_t r = read(fd, buf + got, n - got);
            if (r <= 0) break;
            got += static_cast<size_t>(r);
        }
        buf[got] = '\0';
        close(fd);
        if (got != kSize) state.SkipWithError("short read");
        benchmark::DoNotOptimize(buf);
        std::free(buf);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kSize));
}

void BM_ZeqCapture(benchmark::State &state, int arena) {
    ZeqString cmd = {const_cast<char *>(kCommand.c_str()), static_cast<int64_t>(kCommand.size()),
                     static_cast<int64_t>(kCommand.size())};
    zeq_arena_mode(arena);
    for (auto _ : state) {
        ZeqString *s = zeq_system_capture(&cmd);
        if (static_cast<size_t>(s->len) != kSize) state.SkipWithError("short capture");
        benchmark::DoNotOptimize(s->data);
        if (arena) {
            state.PauseTiming();
            zeq_arena_reset();
            state.ResumeTiming();
        } else {
            zeq_string_free(s);
        }
    }
    if (arena) zeq_arena_destroy();
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kSize));
}

void BM_PopenFread(benchmark::State &state) {
    for (auto _ : state) {
        FILE *p = popen(kCommand.c_str(), "r");
        size_t size = 4096, n = 0;
        auto *buf = static_cast<char *>(std::malloc(size));
        for (;;) {
            if (n + 1 == size) {
                size *= 2;
                buf = static_cast<char *>(std::realloc(buf, size));
            }
            size_t got = std::fread(buf + n, 1, size - 1 - n, p);
            n += got;
            if (got == 0) break;
        }
        buf[n] = '\0';
        pclose(p);
        if (n != kSize) state.SkipWithError("short capture");
        benchmark::DoNotOptimize(buf);
        std::free(buf);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kSize));
}

}  // namespace

BENCHMARK(BM_ZeqReadFile)->Name("read_file_100mb/zeq")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PosixRead)->Name("read_file_100mb/read")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_ZeqCapture, off, 0)->Name("capture_100mb/zeq")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PopenFread)->Name("capture_100mb/popen_fread")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_ZeqCapture, arena, 1)->Name("capture_100mb_arena/zeq")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PopenFread)->Name("capture_100mb_arena/popen_fread")->Unit(benchmark::kMillisecond)->UseRealTime();
