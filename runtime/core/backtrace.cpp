// Stack traces after fatal errors, written when ZEQ_BACKTRACE=1.
//
// The trace is taken on the failing thread itself, just before the process
// ends, so nothing here may rely on state that thread could have left
// half-changed: no arena, no stdio, no heap of our own (the C library's
// unwinder loads its helper once, which main and zeq_init_runtime do ahead of
// time when the variable is set).  Names come from the dynamic symbols
// (dladdr) and, for functions that have none, from the object file's own
// symbol table read with plain system calls.  Lines are written with write(2).
// The loader locks that dladdr and the unwinder take are recursive, so a
// fatal error raised while the thread holds one (in a library constructor)
// still gets its trace.
#include "core.h"

#include <dlfcn.h>
#include <elf.h>
#include <execinfo.h>
#include <fcntl.h>
#include <link.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace zeq {
namespace {

constexpr int kMaxFrames = 128;
constexpr size_t kNameSize = 256;

bool wanted() noexcept {
    const char *v = std::getenv("ZEQ_BACKTRACE");
    return v && v[0] == '1' && v[1] == '\0';
}

// A line of text built on the stack.
struct Line {
    char text[2 * kNameSize + 64];
    size_t len = 0;

    void put(const char *s) noexcept {
        while (*s && len < sizeof text - 1) text[len++] = *s++;
    }
    void put_number(uintptr_t v, unsigned base) noexcept {
        char digits[24];
        int n = 0;
        do {
            digits[n++] = "0123456789abcdef"[v % base];
            v /= base;
        } while (v);
        while (n > 0 && len < sizeof text - 1) text[len++] = digits[--n];
    }
    void put_offset(uintptr_t off) noexcept {
        put("+0x");
        put_number(off, 16);
    }
    void write_out() noexcept {
        text[len++] = '\n';
        size_t done = 0;
        while (done < len) {
            ssize_t w = ::write(2, text + done, len - done);
            if (w > 0) done += static_cast<size_t>(w);
            else if (w < 0 && errno == EINTR) continue;
            else return;
        }
    }
};

bool read_at(int fd, void *buf, size_t size, uint64_t offset) noexcept {
    return ::pread(fd, buf, size, static_cast<off_t>(offset)) == static_cast<ssize_t>(size);
}

// The function of the object file at path (loaded with the given bias) that
// contains addr, from its symbol table: its name into name, its start into
// *start.  False when the file has no symbol table or no such function.
bool symtab_lookup(const char *path, uintptr_t bias, uintptr_t addr, char *name,
                   uintptr_t *start) noexcept {
    int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    bool found = false;
    Elf64_Ehdr eh;
    Elf64_Shdr symtab{}, strtab;
    bool have_symtab = false;
    if (read_at(fd, &eh, sizeof eh, 0) && std::memcmp(eh.e_ident, ELFMAG, SELFMAG) == 0 &&
        eh.e_ident[EI_CLASS] == ELFCLASS64 && eh.e_shentsize == sizeof(Elf64_Shdr)) {
        for (unsigned i = 0; i < eh.e_shnum && !have_symtab; ++i)
            have_symtab = read_at(fd, &symtab, sizeof symtab, eh.e_shoff + uint64_t{i} * sizeof symtab) &&
                          symtab.sh_type == SHT_SYMTAB;
    }
    if (have_symtab && symtab.sh_entsize == sizeof(Elf64_Sym) && symtab.sh_link < eh.e_shnum &&
        read_at(fd, &strtab, sizeof strtab, eh.e_shoff + uint64_t{symtab.sh_link} * sizeof strtab)) {
        Elf64_Sym batch[128];
        Elf64_Sym best{};
        uint64_t count = symtab.sh_size / sizeof(Elf64_Sym);
        for (uint64_t i = 0; i < count && !found; i += 128) {
            uint64_t n = count - i < 128 ? count - i : 128;
            if (!read_at(fd, batch, n * sizeof(Elf64_Sym), symtab.sh_offset + i * sizeof(Elf64_Sym))) break;
            for (uint64_t k = 0; k < n; ++k) {
                const Elf64_Sym &s = batch[k];
                uintptr_t lo = bias + s.st_value;
                if (ELF64_ST_TYPE(s.st_info) == STT_FUNC && s.st_shndx != SHN_UNDEF && addr >= lo &&
                    addr - lo < s.st_size) {
                    best = s;
                    found = true;
                    break;
                }
            }
        }
        if (found) {
            ssize_t got = ::pread(fd, name, kNameSize - 1, static_cast<off_t>(strtab.sh_offset + best.st_name));
            name[got > 0 ? got : 0] = '\0';
            found = name[0] != '\0';
            *start = bias + best.st_value;
        }
    }
    ::close(fd);
    return found;
}

// One line: "  #N name+0xOFF (object)" where a symbol covers the address,
// "  #N object+0xOFF" where only the object is known, "  #N 0xADDR" otherwise.
// frame is a return address: the call before it is looked up, since a call
// to a function that does not return may be the last instruction of its
// function, and its return address the first byte after it.
void write_frame(int number, void *frame) noexcept {
    uintptr_t addr = reinterpret_cast<uintptr_t>(frame);
    void *call = reinterpret_cast<void *>(addr - 1);
    Line line;
    line.put("  #");
    line.put_number(static_cast<uintptr_t>(number), 10);
    line.put(" ");
    Dl_info info;
    link_map *map = nullptr;
    if (!dladdr1(call, &info, reinterpret_cast<void **>(&map), RTLD_DL_LINKMAP) || !map) {
        line.put("0x");
        line.put_number(addr, 16);
        line.write_out();
        return;
    }
    // The executable's own entry has an empty name: read it through /proc.
    const char *object = info.dli_fname && info.dli_fname[0] ? info.dli_fname : "?";
    const char *file = map->l_name && map->l_name[0] ? map->l_name : "/proc/self/exe";
    char name[kNameSize];
    uintptr_t start = 0;
    if (info.dli_sname && info.dli_saddr) {
        line.put(info.dli_sname);
        start = reinterpret_cast<uintptr_t>(info.dli_saddr);
    } else if (symtab_lookup(file, map->l_addr, addr - 1, name, &start)) {
        line.put(name);
    } else {
        line.put(object);
        line.put_offset(addr - reinterpret_cast<uintptr_t>(info.dli_fbase));
        line.write_out();
        return;
    }
    line.put_offset(addr - start);
    line.put(" (");
    line.put(object);
    line.put(")");
    line.write_out();
}

}  // namespace

void prime_backtrace() noexcept {
    if (!wanted()) return;
    void *frame;
    backtrace(&frame, 1);
}

__attribute__((noinline)) void write_backtrace(const void *from) noexcept {
    if (!wanted()) return;
    void *frames[kMaxFrames];
    int n = backtrace(frames, kMaxFrames);
    // Frame 0 is this function; the fatal-error entry and whatever it called
    // end at the frame that returns into `from`.
    int first = 1;
    for (int i = 1; i < n; ++i)
        if (frames[i] == from) {
            first = i;
            break;
        }
    for (int i = first; i < n; ++i) write_frame(i - first, frames[i]);
}

}  // namespace zeq
