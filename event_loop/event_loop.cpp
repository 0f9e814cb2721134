// The event loop: a fixed table of 1024 registrations on top of one
// level-triggered epoll instance, and the process-wide shared loop.
//
// The table is the source of truth: a slot is taken (active) or free, and
// `used` is the high-water mark of slots ever taken.  A descriptor is never
// active in two slots, so finding its slot needs no scan: a small hash index
// (open addressing, at most half full) maps each active descriptor to its
// slot, for registration and for every dispatched event alike.
#include "zeq.h"

#include <sys/epoll.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>

namespace {

constexpr int32_t kSlotCount = 1024;
constexpr int32_t kMaxEvents = 64;
// Index buckets: twice the slot count keeps probes short.
constexpr uint32_t kIndexBits = 11;
constexpr uint32_t kIndexSize = 1u << kIndexBits;
constexpr uint32_t kIndexMask = kIndexSize - 1;
static_assert(kIndexSize >= 2 * kSlotCount);

constexpr uint32_t kReadable = 1;
constexpr uint32_t kWritable = 2;
constexpr uint32_t kErrorOrHangUp = 4;

}  // namespace

struct ZeqEventSlot {
    int64_t fd;
    ZeqEventCallback callback;
    uint64_t user_data;
    uint32_t active;
};

struct ZeqEventLoop {
    ZeqEventSlot slots[kSlotCount];
    int32_t used;     // slots ever taken; never decreases
    int32_t stopped;  // 1 after stop, for good
    int32_t epfd;
    // Inactive slots below `used`: a fresh registration scans for the first
    // one only when there is one.
    int32_t free_below_used;
    // Hash index of the active registrations: slot + 1, 0 for an empty bucket.
    int16_t index[kIndexSize];
};

namespace {

inline uint32_t bucket_of(int64_t fd) noexcept {
    return static_cast<uint32_t>((static_cast<uint64_t>(fd) * 0x9E3779B97F4A7C15ull) >>
                                 (64 - kIndexBits));
}

// The bucket holding fd, or -1.
int32_t find_bucket(const ZeqEventLoop *loop, int64_t fd) noexcept {
    for (uint32_t b = bucket_of(fd);; b = (b + 1) & kIndexMask) {
        int16_t e = loop->index[b];
        if (e == 0) return -1;
        if (loop->slots[e - 1].fd == fd) return static_cast<int32_t>(b);
    }
}

// The active slot holding fd, or -1.
int32_t find_active(const ZeqEventLoop *loop, int64_t fd) noexcept {
    int32_t b = find_bucket(loop, fd);
    return b < 0 ? -1 : loop->index[b] - 1;
}

void take_slot(ZeqEventLoop *loop, int32_t i, int64_t fd) noexcept {
    loop->slots[i].fd = fd;
    loop->slots[i].active = 1;
    uint32_t b = bucket_of(fd);
    while (loop->index[b] != 0) b = (b + 1) & kIndexMask;
    loop->index[b] = static_cast<int16_t>(i + 1);
}

// Removes fd from the index, shifting later entries of its probe run back so
// that every entry stays reachable from its home bucket.
void unindex(ZeqEventLoop *loop, int64_t fd) noexcept {
    int32_t found = find_bucket(loop, fd);
    if (found < 0) return;
    auto hole = static_cast<uint32_t>(found);
    for (uint32_t j = (hole + 1) & kIndexMask; loop->index[j] != 0; j = (j + 1) & kIndexMask) {
        uint32_t home = bucket_of(loop->slots[loop->index[j] - 1].fd);
        // The entry at j may fill the hole unless its home lies cyclically
        // in (hole, j].
        bool home_after_hole = ((j - home) & kIndexMask) < ((j - hole) & kIndexMask);
        if (!home_after_hole) {
            loop->index[hole] = loop->index[j];
            hole = j;
        }
    }
    loop->index[hole] = 0;
}

void release_slot(ZeqEventLoop *loop, int32_t i) noexcept {
    ZeqEventSlot &slot = loop->slots[i];
    unindex(loop, slot.fd);
    slot.active = 0;
    ++loop->free_below_used;
}

// A registration the kernel refused holds no slot and leaves nothing in
// epoll that a later registration of the descriptor could trip over.
void refuse(ZeqEventLoop *loop, int32_t slot, int64_t fd) noexcept {
    release_slot(loop, slot);
    epoll_ctl(loop->epfd, EPOLL_CTL_DEL, static_cast<int>(fd), nullptr);
}

int epoll_op(const ZeqEventLoop *loop, int op, int64_t fd, uint32_t interest) noexcept {
    epoll_event ev{};
    ev.events = ((interest & kReadable) ? EPOLLIN : 0u) | ((interest & kWritable) ? EPOLLOUT : 0u);
    ev.data.u64 = static_cast<uint64_t>(fd);
    return epoll_ctl(loop->epfd, op, static_cast<int>(fd), &ev);
}

}  // namespace

// Shared loop: made on first use, never destroyed.  No lock (one thread).
__attribute__((visibility("hidden"))) ZeqEventLoop *g_event_loop = nullptr;

extern "C" {

ZeqEventLoop *zeq_event_loop_create(void) noexcept {
    auto *loop = static_cast<ZeqEventLoop *>(calloc(1, sizeof(ZeqEventLoop)));
    if (!loop) return nullptr;
    loop->epfd = epoll_create1(EPOLL_CLOEXEC);
    if (loop->epfd < 0) {
        free(loop);
        return nullptr;
    }
    return loop;
}

void zeq_event_loop_destroy(ZeqEventLoop *loop) noexcept {
    if (!loop) return;
    if (loop->epfd >= 0) close(loop->epfd);
    free(loop);
}

int32_t zeq_event_loop_register(ZeqEventLoop *loop, int64_t fd, uint32_t interest,
                                ZeqEventCallback callback, uint64_t user_data) noexcept {
    // epoll carries an int: a number it cannot carry would name another
    // descriptor.
    if (!loop || !callback || fd < 0 || fd > INT32_MAX) return -1;
    int32_t target = find_active(loop, fd);
    if (target >= 0) {
        ZeqEventSlot &slot = loop->slots[target];
        slot.callback = callback;
        slot.user_data = user_data;
        if (epoll_op(loop, EPOLL_CTL_MOD, fd, interest) >= 0) return 0;
        // The descriptor was closed (which drops it from epoll) and its
        // number reused: register the new one under the same slot.
        if (errno == ENOENT && epoll_op(loop, EPOLL_CTL_ADD, fd, interest) >= 0) return 0;
        refuse(loop, target, fd);
        return -1;
    }
    if (loop->free_below_used > 0) {
        for (int32_t i = 0; i < loop->used; ++i) {
            if (!loop->slots[i].active) {
                target = i;
                break;
            }
        }
        --loop->free_below_used;
    } else {
        // Full only when every slot is taken right now.
        if (loop->used >= kSlotCount) return -1;
        target = loop->used++;
    }
    ZeqEventSlot &slot = loop->slots[target];
    slot.callback = callback;
    slot.user_data = user_data;
    take_slot(loop, target, fd);
    if (epoll_op(loop, EPOLL_CTL_ADD, fd, interest) >= 0) return 0;
    if (errno == EEXIST && epoll_op(loop, EPOLL_CTL_MOD, fd, interest) >= 0) return 0;
    refuse(loop, target, fd);
    return -1;
}

int32_t zeq_event_loop_unregister(ZeqEventLoop *loop, int64_t fd) noexcept {
    if (!loop || loop->used <= 0) return -1;
    int32_t i = find_active(loop, fd);
    if (i < 0) return -1;
    release_slot(loop, i);
    // Fails harmlessly when the descriptor is already closed.
    epoll_ctl(loop->epfd, EPOLL_CTL_DEL, static_cast<int>(fd), nullptr);
    return 0;
}

int32_t zeq_event_loop_run_once(ZeqEventLoop *loop, int32_t timeout_ms) noexcept {
    if (!loop || loop->stopped) return 0;
    epoll_event events[kMaxEvents];
    int n = epoll_wait(loop->epfd, events, kMaxEvents, timeout_ms);
    if (n < 0) return -1;
    if (n == 0 || loop->used <= 0) return 0;
    int32_t dispatched = 0;
    for (int k = 0; k < n; ++k) {
        auto fd = static_cast<int64_t>(events[k].data.u64);
        // Looked up again for every event: an earlier callback of this
        // batch may have registered or unregistered descriptors.
        int32_t i = find_active(loop, fd);
        if (i < 0) continue;
        uint32_t e = events[k].events;
        uint32_t mask = ((e & EPOLLIN) ? kReadable : 0u) | ((e & EPOLLOUT) ? kWritable : 0u) |
                        ((e & (EPOLLERR | EPOLLHUP)) ? kErrorOrHangUp : 0u);
        const ZeqEventSlot &slot = loop->slots[i];
        slot.callback(slot.user_data, fd, mask);
        ++dispatched;
    }
    return dispatched;
}

void zeq_event_loop_stop(ZeqEventLoop *loop) noexcept {
    if (loop) loop->stopped = 1;
}

int32_t zeq_event_loop_is_stopped(const ZeqEventLoop *loop) noexcept {
    return loop ? loop->stopped : 1;
}

ZeqEventLoop *zeq_get_event_loop(void) noexcept {
    if (!g_event_loop) g_event_loop = zeq_event_loop_create();
    return g_event_loop;
}

}  // extern "C"
