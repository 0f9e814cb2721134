// libFuzzer harness for console input: the tail of the input becomes
// standard input (a pipe), its head a sequence of reads - lines, byte
// counts, integers and doubles - each checked against a reference that
// reads the same bytes from a memory stream: fgets and the line rules for
// lines, fread for byte counts, scanf itself for the numbers.
#include <unistd.h>

#include <cmath>

#include "fuzz_support.h"

namespace {

using fuzz::check;
using fuzz::text;

std::string reference_line(FILE *in) {
    char buf[4096];
    if (!std::fgets(buf, sizeof buf, in)) return "__EOF__";
    size_t n = std::strlen(buf);
    while (n > 0 && (buf[n - 1] == '\n' || buf[n - 1] == '\r')) --n;
    return std::string(buf, n);
}

void expect(ZeqString *got, const std::string &want, const char *what) {
    check(text(got) == want && got->cap == got->len && got->data[got->len] == '\0', what);
    zeq_string_free(got);
}

// Standard input becomes a pipe holding bytes (at most a pipe's capacity).
void feed_stdin(const std::string &bytes) {
    int p[2];
    check(pipe(p) == 0, "pipe");
    check(write(p[1], bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()), "pipe write");
    close(p[1]);
    dup2(p[0], 0);
    close(p[0]);
    std::clearerr(stdin);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 60000) return 0;
    zeq_arena_mode(0);
    fuzz::Reader in(data, size);
    std::string ops = in.bytes(16);
    std::string input = in.rest();
    feed_stdin(input);
    FILE *ref = input.empty() ? std::fopen("/dev/null", "r") : fmemopen(input.data(), input.size(), "r");
    for (unsigned char op : ops) {
        switch (op & 3) {
            case 0: expect(zeq_read_line(), reference_line(ref), "read_line"); break;
            case 1: {
                int64_t count = static_cast<int64_t>(op >> 2) * (op & 0x80 ? 97 : 1) - 2;
                std::string want(count > 0 ? static_cast<size_t>(count) : 0, '\0');
                want.resize(std::fread(want.data(), 1, want.size(), ref));
                expect(zeq_read_bytes(count), want, "read_bytes");
                break;
            }
            case 2: {
                long want = 0;
                if (std::fscanf(ref, "%ld", &want) != 1) want = 0;
                check(zeq_read_int() == want, "read_int");
                break;
            }
            default: {
                double want = 0, got = zeq_read_f64();
                if (std::fscanf(ref, "%lf", &want) != 1) want = 0;
                check((std::isnan(want) && std::isnan(got)) || std::memcmp(&want, &got, sizeof got) == 0, "read_f64");
            }
        }
    }
    // What is left of standard input goes, so the next input starts afresh.
    while (std::getchar() != EOF) {
    }
    std::clearerr(stdin);
    std::fclose(ref);
    return 0;
}
