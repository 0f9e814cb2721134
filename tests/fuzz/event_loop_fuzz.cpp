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
    ZeqEventLoop *loop;
    std::map<int64_t, Reg> table;
    int fds[kPool];
    int64_t count[kPool];  // eventfd counters: readable while non-zero
    std::set<int64_t> called, removed;
    bool stopped = false;

    int index_of(int64_t fd) const {
        for (int i = 0; i < kPool; ++i)
            if (fds[i] == fd) return i;
        return -1;
    }
    // The mask a registration is ready with now (0: not ready).
    uint32_t ready(int64_t fd, const Reg &r) const {
        int i = index_of(fd);
        if (r.stale || i < 0) return 0;
        return ((r.interest & 1) && count[i] ? 1u : 0u) | (r.interest & 2);
    }
    void unregister(int64_t fd) {
        check(zeq_event_loop_unregister(loop, fd) == (table.erase(fd) ? 0 : -1), "unregister");
        removed.insert(fd);
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

void run_once(State &s) {
    std::map<int64_t, uint32_t> ready;
    for (auto &[fd, r] : s.table)
        if (uint32_t m = s.ready(fd, r)) ready[fd] = m;
    bool was_stopped = s.stopped;
    s.called.clear();
    s.removed.clear();
    int32_t n = zeq_event_loop_run_once(s.loop, 0);
    check(n == static_cast<int32_t>(s.called.size()), "run_once: callbacks called");
    if (was_stopped) return check(n == 0, "run_once of a stopped loop");
    for (auto &[fd, m] : ready) check(s.called.count(fd) || s.removed.count(fd), "every ready registration dispatched");
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

int32_t expected_register(State &s, int64_t fd, uint32_t interest, ZeqEventCallback cb, uint64_t user) {
    auto it = s.table.find(fd);
    bool open = fd >= 0 && fcntl(static_cast<int>(fd), F_GETFD) >= 0;
    if (!cb || fd < 0) return -1;
    if (it == s.table.end()) {
        if (s.table.size() >= kSlots || !open) return -1;
        s.table[fd] = Reg{interest & 3, cb, user, false};
        return 0;
    }
    if (!open) {  // the kernel refuses: the slot is freed
        s.table.erase(it);
        return -1;
    }
    it->second = Reg{interest & 3, cb, user, false};
    return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz::Reader in(data, size);
    spares();  // first, so that their numbers are never those of the pool
    State s;
    g = &s;
    s.loop = zeq_event_loop_create();
    int last[kPool];  // a closed pool entry still names the number it had
    for (int i = 0; i < kPool; ++i) s.fds[i] = last[i] = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC), s.count[i] = 0;
    while (!in.empty()) {
        uint8_t op = in.byte();
        int p = in.byte() % kPool;
        int64_t fd = s.fds[p] >= 0 ? s.fds[p] : last[p];
        switch (op % 8) {
            case 0: {
                uint32_t interest = in.byte();
                ZeqEventCallback cb = interest & 4 ? second : interest & 8 ? nullptr : first;
                uint64_t user = in.byte();
                int32_t want = expected_register(s, fd, interest, cb, user);
                check(zeq_event_loop_register(s.loop, fd, interest, cb, user) == want, "register");
                break;
            }
            case 1: s.unregister(fd); break;
            case 2:  // close, and reopen: the new descriptor usually takes the number back
                if (s.fds[p] >= 0) {
                    close(s.fds[p]), s.fds[p] = -1;
                    if (auto it = s.table.find(fd); it != s.table.end()) it->second.stale = true;
                }
                if (op & 0x10) s.fds[p] = last[p] = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC), s.count[p] = 0;
                break;
            case 3:
                if (s.fds[p] >= 0) {
                    uint64_t one = 1;
                    check(write(s.fds[p], &one, sizeof one) == sizeof one, "eventfd write");
                    ++s.count[p];
                }
                break;
            case 4:
                if (s.fds[p] >= 0 && s.count[p]) {
                    uint64_t v;
                    check(read(s.fds[p], &v, sizeof v) == sizeof v, "eventfd read");
                    s.count[p] = 0;
                }
                break;
            case 5:  // fill every slot; one more is refused
                for (int spare : spares()) {
                    int32_t want = expected_register(s, spare, 0, first, 0);
                    check(zeq_event_loop_register(s.loop, spare, 0, first, 0) == want, "register while filling");
                }
                check(s.table.size() == kSlots, "table full");
                break;
            case 6:
                for (int spare : spares())
                    if (s.table.count(spare)) s.unregister(spare);
                break;
            default: run_once(s); break;
        }
    }
    run_once(s);
    zeq_event_loop_destroy(s.loop);
    for (int fd : s.fds)
        if (fd >= 0) close(fd);
    return 0;
}
