// libFuzzer harness for the event loop against a model of its table of
// 1,024 registrations: register (new, or replacing the interest, callback
// and user data of a present one), unregister, close-and-reopen of a
// registered descriptor, filling every slot and emptying them again, and
// run_once, whose dispatch must be exactly the ready registrations
// (eventfds with a count and interest 1, every live one with interest 2)
// with their masks, each once.  Callbacks may unregister a descriptor or
// stop the loop.
#include <fcntl.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <set>
#include <vector>

#include "fuzz_support.h"

namespace {

using fuzz::check;

constexpr int kPool = 8;
constexpr size_t kSlots = 1024;

struct Reg {
    uint32_t interest;
    ZeqEventCallback callback;
    uint64_t user;
    bool stale;  // its descriptor was closed since: the kernel forgot it
};

struct State {
    ZeqEventLoop *loop = zeq_event_loop_create();
    std::map<int64_t, Reg> table;
    int fds[kPool], last[kPool];  // a closed pool entry still names the number it had
    int64_t count[kPool];         // eventfd counters: readable while non-zero
    std::set<int64_t> called, removed;
    bool stopped = false;

    // The mask a registration is ready with now (0: not ready).
    uint32_t ready(int64_t fd, const Reg &r) const {
        auto i = std::find(fds, fds + kPool, fd) - fds;
        if (r.stale || i == kPool) return 0;
        return ((r.interest & 1) && count[i] ? 1u : 0u) | (r.interest & 2);
    }
    // A register call against the model: refused for a null callback, a
    // closed descriptor (which frees a present slot: the kernel refuses it)
    // or a full table.
    void add(int64_t fd, uint32_t interest, ZeqEventCallback cb, uint64_t user, const char *what) {
        auto it = table.find(fd);
        bool open = fd >= 0 && fcntl(static_cast<int>(fd), F_GETFD) >= 0;
        bool fits = it != table.end() || table.size() < kSlots;
        if (it != table.end() && cb && !open) table.erase(it);
        int32_t want = cb && open && fits ? 0 : -1;
        if (want == 0) table[fd] = Reg{interest & 3, cb, user, false};
        check(zeq_event_loop_register(loop, fd, interest, cb, user) == want, what);
    }
    void unregister(int64_t fd) {
        check(zeq_event_loop_unregister(loop, fd) == (table.erase(fd) ? 0 : -1), "unregister");
        removed.insert(fd);
    }
    void run_once() {
        std::map<int64_t, uint32_t> want;
        for (auto &[fd, r] : table)
            if (uint32_t m = ready(fd, r)) want[fd] = m;
        bool was_stopped = stopped;
        called.clear(), removed.clear();
        int32_t n = zeq_event_loop_run_once(loop, 0);
        check(n == static_cast<int32_t>(called.size()), "run_once: callbacks called");
        if (was_stopped) return check(n == 0, "run_once of a stopped loop");
        for (auto &[fd, m] : want) check(called.count(fd) || removed.count(fd), "every ready registration dispatched");
    }
};

State *g;

// Two callbacks: the first records, the second also unregisters the pool
// descriptor its user data names, or stops the loop.
void record(uint64_t user, int64_t fd, uint32_t events, ZeqEventCallback self) {
    auto it = g->table.find(fd);
    check(it != g->table.end() && !g->removed.count(fd) && !g->called.count(fd), "callback of a live registration, once");
    check(it->second.callback == self && it->second.user == user, "callback and user data of the registration");
    check(events == g->ready(fd, it->second), "event mask");
    g->called.insert(fd);
}
void first(uint64_t user, int64_t fd, uint32_t events) { record(user, fd, events, first); }
void second(uint64_t user, int64_t fd, uint32_t events) {
    record(user, fd, events, second);
    if (user & 8) zeq_event_loop_stop(g->loop), g->stopped = true;
    else g->unregister(g->fds[user % kPool]);
}

// Many descriptors of one eventfd, for filling the table.
const std::vector<int> &spares() {
    static std::vector<int> fds = [] {
        std::vector<int> v;
        int base = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        for (size_t i = 0; i <= kSlots; ++i) v.push_back(dup(base));
        return v;
    }();
    return fds;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz::Reader in(data, size);
    spares();  // first, so that their numbers are never those of the pool
    State s;
    g = &s;
    for (int i = 0; i < kPool; ++i) s.fds[i] = s.last[i] = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC), s.count[i] = 0;
    while (!in.empty()) {
        uint8_t op = in.byte();
        int p = in.byte() % kPool;
        int64_t fd = s.fds[p] >= 0 ? s.fds[p] : s.last[p];
        uint64_t v = 1;
        switch (op % 8) {
            case 0: {
                uint32_t interest = in.byte();
                s.add(fd, interest, interest & 4 ? second : interest & 8 ? nullptr : first, in.byte(), "register");
                break;
            }
            case 1: s.unregister(fd); break;
            case 2:  // close, and reopen: the new descriptor usually takes the number back
                if (s.fds[p] >= 0) {
                    close(s.fds[p]), s.fds[p] = -1;
                    if (auto it = s.table.find(fd); it != s.table.end()) it->second.stale = true;
                }
                if (op & 0x10) s.fds[p] = s.last[p] = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC), s.count[p] = 0;
                break;
            case 3:
                if (s.fds[p] >= 0) check(write(s.fds[p], &v, sizeof v) == sizeof v, "eventfd write"), ++s.count[p];
                break;
            case 4:
                if (s.fds[p] >= 0 && s.count[p])
                    check(read(s.fds[p], &v, sizeof v) == sizeof v, "eventfd read"), s.count[p] = 0;
                break;
            case 5:  // fill every slot; one more is refused
                for (int spare : spares()) s.add(spare, 0, first, 0, "register while filling");
                check(s.table.size() == kSlots, "table full");
                break;
            case 6:
                for (int spare : spares())
                    if (s.table.count(spare)) s.unregister(spare);
                break;
            default: s.run_once(); break;
        }
    }
    s.run_once();
    zeq_event_loop_destroy(s.loop);
    for (int fd : s.fds)
        if (fd >= 0) close(fd);
    return 0;
}
