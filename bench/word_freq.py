"""Word frequencies with collections.Counter: the anchor of the word-frequency
benchmark (word_freq_bench).

    word_freq.py FILE [TOP]

Reads FILE, splits it on white space, counts the words with a Counter, sorts
the distinct words, and picks the TOP most frequent (ties by word).  Prints
the seconds that took (interpreter start-up excluded), the number of words,
the number of distinct words and the most frequent word with its count.
"""
import collections
import sys
import time


def main():
    path = sys.argv[1]
    top = int(sys.argv[2]) if len(sys.argv) > 2 else 10
    start = time.perf_counter()
    with open(path, "rb") as f:
        words = f.read().split()
    counts = collections.Counter(words)
    keys = sorted(counts)
    best = sorted(counts.items(), key=lambda kv: (-kv[1], kv[0]))[:top]
    elapsed = time.perf_counter() - start
    print(f"{elapsed:.6f} {len(words)} {len(keys)} {best[0][0].decode()} {best[0][1]}")


if __name__ == "__main__":
    main()
