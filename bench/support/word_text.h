// Texts built from a word list: 20 MB split once into word records, for the
// word-counting benchmarks of the string-keyed maps, and plain lines of
// words for the word-frequency program.
//
// The word list is 30,000 made-up lower-case words (2 to 12 letters, most of
// them 4 to 8); the text draws from it with Zipf-like frequencies (the k-th
// word about 1/k as often as the first), the shape of natural text, so a few
// thousand words make up most of it and the long tail stays present.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "zeq.h"

namespace zeqbench {

constexpr size_t kTextBytes = 20u << 20;
constexpr int kVocabulary = 30000;

inline std::vector<std::string> word_list() {
    std::mt19937_64 rng(7);
    std::normal_distribution<double> length(6.0, 2.0);
    std::vector<std::string> words;
    words.reserve(kVocabulary);
    std::string w;
    for (int i = 0; i < kVocabulary; ++i) {
        int n = std::clamp(static_cast<int>(std::lround(length(rng))), 2, 12);
        w.clear();
        for (int j = 0; j < n; ++j) w.push_back(static_cast<char>('a' + rng() % 26));
        words.push_back(w);  // repeats are harmless: they only merge counts
    }
    return words;
}

// Calls emit(word) with words drawn from word_list() by Zipf-like weights
// (the k-th word about 1/k as often as the first) until emit returns false.
template <class Emit>
void zipf_words(uint64_t seed, Emit emit) {
    static const std::vector<std::string> words = word_list();
    static const std::vector<double> cumulative = [] {
        std::vector<double> c(words.size());
        double sum = 0;
        for (size_t k = 0; k < words.size(); ++k) c[k] = sum += 1.0 / static_cast<double>(k + 1);
        return c;
    }();
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> pick(0, cumulative.back());
    for (;;) {
        size_t k = static_cast<size_t>(std::lower_bound(cumulative.begin(), cumulative.end(), pick(rng)) -
                                       cumulative.begin());
        if (!emit(words[std::min(k, words.size() - 1)])) return;
    }
}

// The text's words as string records: the text is split once into one
// buffer where every separator became a NUL, so each record's bytes are
// followed by a NUL as every string's are.
struct WordText {
    std::string bytes;
    std::vector<ZeqString> records;
    std::vector<std::string_view> views;
};

inline const WordText &word_text() {
    static const WordText text = [] {
        WordText t;
        t.bytes.reserve(kTextBytes + 16);
        std::vector<std::pair<size_t, size_t>> spans;
        zipf_words(11, [&](const std::string &w) {
            if (t.bytes.size() >= kTextBytes) return false;
            spans.emplace_back(t.bytes.size(), w.size());
            t.bytes += w;
            t.bytes.push_back('\0');
            return true;
        });
        t.records.reserve(spans.size());
        for (auto [at, n] : spans) {
            char *p = t.bytes.data() + at;
            t.records.push_back(ZeqString{p, static_cast<int64_t>(n), static_cast<int64_t>(n)});
            t.views.emplace_back(p, n);
        }
        return t;
    }();
    return text;
}

// Plain text of about `bytes` bytes from the same words: separated by
// spaces, twelve to a line.
inline std::string word_lines(size_t bytes) {
    std::string text;
    text.reserve(bytes + 16);
    int on_line = 0;
    zipf_words(13, [&](const std::string &w) {
        if (text.size() >= bytes) return false;
        text += w;
        text.push_back(++on_line % 12 == 0 ? '\n' : ' ');
        return true;
    });
    return text;
}

}  // namespace zeqbench
