// The word-frequency program over 40 MB of text, as a zeq program runs it
// (arena mode on): zeq_read_file, zeq_str_split_whitespace,
// zeq_str_hashmap_inc per word, zeq_str_hashmap_sorted_keys, and the ten
// most frequent words; against Python's collections.Counter with sorted over
// the same split of the same file (word_freq.py, which times itself without
// its interpreter's start-up).  Both report their own time of one run.  The
// example program (examples/word_freq.c) also runs as its own process, as
// Python does: its first round in this process takes fresh memory from the
// system, the later ones reuse what the arena and malloc kept.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "word_text.h"
#include "zeq.h"

namespace {

constexpr size_t kFileBytes = 40u << 20;
constexpr int kTop = 10;

// The text in a temporary file, removed at exit.
class TextFile {
  public:
    TextFile() {
        const char *dir = std::getenv("TMPDIR");
        path_ = std::string(dir && *dir ? dir : P_tmpdir) + "/zeq_word_freq_XXXXXX";
        int fd = mkstemp(path_.data());
        if (fd < 0) {
            path_.clear();
            return;
        }
        std::string text = zeqbench::word_lines(kFileBytes);
        bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
        close(fd);
        if (!ok) path_.clear();
    }
    ~TextFile() {
        if (!path_.empty()) unlink(path_.c_str());
    }
    const std::string &path() const { return path_; }

  private:
    std::string path_;
};

const TextFile &text_file() {
    static const TextFile file;
    return file;
}

// What a run found: the number of words, of distinct words, and the most
// frequent word with its count (for checking that both sides did the same).
struct Summary {
    int64_t words = 0, distinct = 0;
    std::string top_word;
    int64_t top_count = 0;
    bool operator==(const Summary &) const = default;
};
Summary g_zeq, g_python;

Summary count_words_zeq(const std::string &path) {
    ZeqString *name = zeq_string_from_cstr(path.c_str());
    ZeqString *text = zeq_read_file(name);
    int64_t words = zeq_str_split_whitespace(text);
    ZeqStrHashMap *counts = zeq_str_hashmap_new();
    int64_t n = zeq_svec_len(words);
    for (int64_t i = 0; i < n; ++i) zeq_str_hashmap_inc(counts, zeq_svec_get(words, i), 1);
    int64_t keys = zeq_str_hashmap_sorted_keys(counts);
    int64_t distinct = zeq_svec_len(keys);
    std::vector<std::pair<int64_t, ZeqString *>> by_count;
    by_count.reserve(static_cast<size_t>(distinct));
    for (int64_t i = 0; i < distinct; ++i) {
        ZeqString *k = zeq_svec_get(keys, i);
        by_count.emplace_back(zeq_str_hashmap_get(counts, k), k);
    }
    // Most frequent first; the keys are sorted, so a stable order keeps ties
    // by word.
    size_t top = std::min<size_t>(kTop, by_count.size());
    std::partial_sort(by_count.begin(), by_count.begin() + static_cast<std::ptrdiff_t>(top), by_count.end(),
                      [](const auto &a, const auto &b) {
                          return a.first != b.first ? a.first > b.first : zeq_string_cmp(a.second, b.second) < 0;
                      });
    Summary s{n, distinct, top ? std::string(by_count[0].second->data, by_count[0].second->len) : "",
              top ? by_count[0].first : 0};
    zeq_svec_free(keys);
    zeq_str_hashmap_free(counts);
    zeq_svec_free(words);
    std::free(text->data);  // the file's bytes come from malloc
    return s;
}

void BM_WordFreqZeq(benchmark::State &state) {
    const std::string &path = text_file().path();
    if (path.empty()) {
        state.SkipWithError("could not write the text file");
        return;
    }
    zeq_arena_mode(1);
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        g_zeq = count_words_zeq(path);
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        zeq_arena_reset();
    }
    zeq_arena_destroy();
    state.counters["words"] = static_cast<double>(g_zeq.words);
}
BENCHMARK(BM_WordFreqZeq)->Name("word_freq_40mb/zeq")->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

// The word-frequency example (examples/word_freq.c) as its own process each
// round, as the Python anchor runs: start-up, reading, counting and exit are
// all in its time.
void BM_WordFreqExample(benchmark::State &state) {
#ifdef ZEQ_WORD_FREQ_EXAMPLE
    const std::string &path = text_file().path();
    if (path.empty()) {
        state.SkipWithError("could not write the text file");
        return;
    }
    const std::string command = "'" ZEQ_WORD_FREQ_EXAMPLE "' '" + path + "' " + std::to_string(kTop);
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        FILE *out = popen(command.c_str(), "r");
        char word[256];
        long long count = 0;
        bool ok = out && std::fscanf(out, "%lld %255s", &count, word) == 2;
        while (out && std::fgetc(out) != EOF) {
        }
        if (out) ok = pclose(out) == 0 && ok;
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        if (!ok || count != g_zeq.top_count || word != g_zeq.top_word) {
            state.SkipWithError("the example program failed or counted differently");
            break;
        }
    }
#else
    state.SkipWithError("skipped: the example program was not built");
#endif
}
BENCHMARK(BM_WordFreqExample)
    ->Name("word_freq_40mb/zeq_example_process")
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

void BM_WordFreqPython(benchmark::State &state) {
#if defined(ZEQ_PYTHON) && defined(ZEQ_WORD_FREQ_SCRIPT)
    const std::string &path = text_file().path();
    if (path.empty()) {
        state.SkipWithError("could not write the text file");
        return;
    }
    const std::string command =
        "'" ZEQ_PYTHON "' '" ZEQ_WORD_FREQ_SCRIPT "' '" + path + "' " + std::to_string(kTop);
    for (auto _ : state) {
        FILE *out = popen(command.c_str(), "r");
        char word[256];
        double seconds = 0;
        long long words = 0, distinct = 0, count = 0;
        bool ok = out && std::fscanf(out, "%lf %lld %lld %255s %lld", &seconds, &words, &distinct, word, &count) == 5;
        if (out) ok = pclose(out) == 0 && ok;
        if (!ok) {
            state.SkipWithError("the Python anchor failed");
            break;
        }
        g_python = Summary{words, distinct, word, count};
        state.SetIterationTime(seconds);
    }
    if (g_zeq.words && !(g_zeq == g_python)) state.SkipWithError("Python counted differently from zeq");
#else
    state.SkipWithError("skipped: no Python interpreter was found when the benchmarks were configured");
#endif
}
BENCHMARK(BM_WordFreqPython)
    ->Name("word_freq_40mb/python_counter")
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

}  // namespace
