// libFuzzer harness for console input: the tail of the input becomes
// standard input (a pipe), its head a sequence of reads - lines, byte
// counts, integers and doubles - each checked against a reference that
// reads the same bytes from a memory stream: fgets and the line rules for
// lines, fread for byte counts, scanf itself for the numbers.
#include <unistd.h>

#include "fuzz_support.h"

namespace {

using fuzz::check;

std::string reference_line(FILE *in) {
    char buf[4096];
    if (!std::fgets(buf, sizeof buf, in)) return "__EOF__";
    size_t n = std::strlen(buf);
    while (n > 0 && (buf[n - 1] == '\n' || buf[n - 1] == '\r')) --n;
    return std::string(buf, n);
}

// A number scanf reads off the reference with format f (0 when it reads none).
template <class T>
T scanned(FILE *in, const char *f) {
    T v = 0;
    return std::fscanf(in, f, &v) == 1 ? v : 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 60000) return 0;
    zeq_arena_mode(0);
    fuzz::Reader in(data, size);
    std::string ops = in.bytes(16), input = in.rest();
    // Standard input becomes a pipe holding the input (at most a pipe's capacity).
    int p[2];
    check(pipe(p) == 0 && write(p[1], input.data(), input.size()) == static_cast<ssize_t>(input.size()), "pipe");
    close(p[1]), dup2(p[0], 0), close(p[0]), std::clearerr(stdin);
    FILE *ref = input.empty() ? std::fopen("/dev/null", "r") : fmemopen(input.data(), input.size(), "r");
    for (unsigned char op : ops) {
        switch (op & 3) {
            case 0: fuzz::check_result(zeq_read_line(), reference_line(ref), "read_line"); break;
            case 1: {
                int64_t count = static_cast<int64_t>(op >> 2) * (op & 0x80 ? 97 : 1) - 2;
                std::string want(count > 0 ? static_cast<size_t>(count) : 0, '\0');
                want.resize(std::fread(want.data(), 1, want.size(), ref));
                fuzz::check_result(zeq_read_bytes(count), want, "read_bytes");
                break;
            }
            case 2: check(zeq_read_int() == scanned<long>(ref, "%ld"), "read_int"); break;
            default: check(fuzz::same_double(zeq_read_f64(), scanned<double>(ref, "%lf")), "read_f64");
        }
    }
    // What is left of standard input goes, so the next input starts afresh.
    while (std::getchar() != EOF) {
    }
    std::clearerr(stdin);
    std::fclose(ref);
    return 0;
}
