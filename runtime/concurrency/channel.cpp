// Channels: bounded first-in-first-out queues of 64-bit messages on one
// mutex and two condition variables (not-empty for receivers, not-full for
// senders), with blocking, non-blocking and time-limited forms and a final
// close.
//
// Wake-ups: each side counts its waiters (from before the wait until the
// mutex is held again) and the signals sent to it that no waiter has woken
// from yet.  An operation that stores or takes signals a side only when that
// side has a waiter, nothing is in flight to it, and there is something for
// it to do (a message, a free slot); a woken waiter that stores or takes in
// turn passes the wake-up on.  So a message or slot never waits while its
// side sleeps with nothing in flight, and a condition variable never gets a
// second signal before the first waiter is up: the platform's signal would
// otherwise wait for that waiter to be scheduled.  Signals are issued after
// the mutex is released so that the woken thread does not run into it.
//
// Before its first wait an operation spins (concurrency.h) on relaxed reads
// of count and closed, which are written under the mutex, unless the side
// it waits for last ran on the same processor; the other side, running on
// another core, usually stores or takes within that time, and nobody sleeps
// or signals at all.  The spin lasts until the other side has made room or
// messages for a run of operations, or pauses between two of its own.
//
// Lifetime: records are never given back to malloc.  A released record (its
// buffer and handles freed) goes to a process-wide list that new channels
// take from, its mutex and condition variables still valid, and its
// generation changes.  An operation reads the generation, takes the mutex,
// and goes on only when the generation is the same and the channel is not
// freed; it counts itself under way with a plain increment under the mutex,
// so the common path has no atomic operation of its own.  One that wakes
// the other side signals after unlocking, then takes the mutex once more to
// end.  zeq_channel_free is an operation too: it closes the channel, which
// wakes every waiter, and marks it freed; the last operation under way to
// end releases the record.  An operation that was on its way in when the
// record was released finds the generation changed and ends as on a
// closed channel.
#include "concurrency.h"

#include <sched.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <new>

using namespace zeq;

struct ZeqChannel;

// A handle: the channel pointer first (the cell compiled code sees), then
// the link that lets the channel release every handle made for it.
struct ZeqChannelHandle {
    ZeqChannel *channel;
    ZeqChannelHandle *next;
};

// The record is laid out by who writes what, one cache line per group, so
// that a sender and a receiver running on two cores pass one line between
// them per operation, not several: the line that everything shared under
// the mutex lives on, a line each side keeps to itself (its index into the
// buffer), and the parts that rarely change.  The record is aligned to a
// cache line.
struct alignas(64) ZeqChannel {
    // Set at creation (closed, freed and the handle list change once in a
    // while).
    int64_t *buffer;
    int64_t capacity;
    int64_t closed;
    ZeqChannelHandle *handles;  // every handle of this channel (under mutex)
    ZeqChannel *next_free;      // link in the list of released records
    int32_t freed;              // zeq_channel_free has been called

    // Shared under the mutex.
    alignas(64) pthread_mutex_t mutex;
    int64_t count;
    uint32_t generation;   // changes when the record is released
    int32_t active;        // operations under way, the free included
    int32_t recv_waiting;
    int32_t send_waiting;

    // The sending side's own (the index under the mutex).
    alignas(64) int64_t send_index;

    // The receiving side's own.
    alignas(64) int64_t recv_index;

    // Under the mutex and written only now and then, so that the line stays
    // in both sides' caches: the processors of the last store and of the
    // last take (-1 before the first), written when they change, and the
    // signals in flight, written when a side sleeps.
    alignas(64) int32_t send_cpu;
    int32_t recv_cpu;
    int32_t recv_pending;  // signals on not-empty that no waiter woke from yet
    int32_t send_pending;

    alignas(64) pthread_cond_t not_empty;
    pthread_cond_t not_full;
};

namespace {

// Released records, ready for new channels.
struct RecordList {
    pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
    ZeqChannel *first = nullptr;
};
constinit RecordList g_released;

// A record for a new channel: a released one, or a new one with its mutex
// and condition variables made; null when memory is short.  Its fields are
// set by the caller under its mutex.
ZeqChannel *take_record() noexcept {
    {
        PlatformLock hold(&g_released.lock);
        if (ZeqChannel *c = g_released.first) {
            g_released.first = c->next_free;
            return c;
        }
    }
    void *p = nullptr;
    if (posix_memalign(&p, alignof(ZeqChannel), sizeof(ZeqChannel)) != 0) return nullptr;
    auto *c = new (p) ZeqChannel{};
    pthread_mutex_init(&c->mutex, nullptr);
    pthread_cond_init(&c->not_empty, nullptr);
    pthread_cond_init(&c->not_full, nullptr);
    return c;
}

// Frees the buffer and handles of a record that nothing uses any more (its
// generation already changed) and puts it on the list.
void release(ZeqChannel *c) noexcept {
    for (ZeqChannelHandle *h = c->handles; h;) {
        ZeqChannelHandle *next = h->next;
        std::free(h);
        h = next;
    }
    c->handles = nullptr;
    std::free(c->buffer);
    c->buffer = nullptr;
    PlatformLock hold(&g_released.lock);
    c->next_free = g_released.first;
    g_released.first = c;
}

// The channel a handle names; null for a null handle (or a cell naming no
// channel).
inline ZeqChannel *channel_of(const ZeqChannelHandle *h) noexcept { return h ? h->channel : nullptr; }

// An operation on the channel a handle names: holds its mutex while the
// channel is live (named, not freed, its record not released since the
// operation began), and on release wakes the sender or receiver that the
// operation's store or take calls for (after unlocking, the mutex then
// taken again), ends the operation, and releases the record when it was
// the last under way after the free.  Holds nothing when not live.
class Locked {
  public:
    explicit Locked(ZeqChannelHandle *h) noexcept : c_(channel_of(h)) {
        if (!c_) return;
        uint32_t generation = relaxed_load(c_->generation);
        lock_spinning(&c_->mutex);
        if (relaxed_load(c_->generation) != generation || c_->freed) {
            pthread_mutex_unlock(&c_->mutex);
            return;
        }
        ++c_->active;
        live_ = true;
    }
    ~Locked() {
        if (!live_) return;
        ZeqChannel *c = c_;
        bool wake_recv = false, wake_send = false;
        if (moved_) {
            if (c->count > 0 && c->recv_waiting > 0 && c->recv_pending == 0) {
                ++c->recv_pending;
                wake_recv = true;
            }
            if (c->count < c->capacity && c->send_waiting > 0 && c->send_pending == 0) {
                ++c->send_pending;
                wake_send = true;
            }
        }
        if (wake_recv || wake_send) {
            pthread_mutex_unlock(&c->mutex);
            if (wake_recv) pthread_cond_signal(&c->not_empty);
            if (wake_send) pthread_cond_signal(&c->not_full);
            pthread_mutex_lock(&c->mutex);
        }
        bool last = --c->active == 0 && c->freed;
        if (last) relaxed_store(c->generation, c->generation + 1);
        pthread_mutex_unlock(&c->mutex);
        if (last) release(c);
    }
    explicit operator bool() const noexcept { return live_; }
    ZeqChannel *channel() const noexcept { return c_; }
    Locked(const Locked &) = delete;
    Locked &operator=(const Locked &) = delete;

    void store(int64_t message) noexcept {
        ZeqChannel *c = c_;
        c->buffer[c->send_index] = message;
        if (++c->send_index == c->capacity) c->send_index = 0;
        relaxed_store(c->count, c->count + 1);
        if (int32_t cpu = sched_getcpu(); cpu != c->send_cpu) c->send_cpu = cpu;
        moved_ = true;
    }
    int64_t take() noexcept {
        ZeqChannel *c = c_;
        int64_t message = c->buffer[c->recv_index];
        if (++c->recv_index == c->capacity) c->recv_index = 0;
        relaxed_store(c->count, c->count - 1);
        if (int32_t cpu = sched_getcpu(); cpu != c->recv_cpu) c->recv_cpu = cpu;
        moved_ = true;
        return message;
    }

    bool full() const noexcept { return c_->count >= c_->capacity; }
    bool empty() const noexcept { return c_->count == 0; }
    bool closed() const noexcept { return c_->closed != 0; }

    // Spins once per operation, with the mutex released, until ready()
    // holds or the spin ends; returns with the mutex held, and the caller
    // checks again.  It does not spin (and returns false) when no spinning
    // slot is free, or when the side it waits for last ran on this very
    // processor: that thread cannot act while this one spins.
    template <class Ready>
    bool spin_once(Ready ready, int32_t other_cpu) noexcept {
        if (spun_) return false;
        spun_ = true;
        if (other_cpu == sched_getcpu()) return false;
        {
            SpinSlot slot;
            if (!slot) return false;
            pthread_mutex_unlock(&c_->mutex);
            spin_until(kMaxWaitSpin, kWaitSpinGap, ready);
        }
        lock_spinning(&c_->mutex);
        return true;
    }

    // A spin's condition: the amount is positive and has reached the
    // capacity, or has stopped growing since the last look; or the channel
    // is closed.
    template <class Amount>
    static auto growth_settled(ZeqChannel *c, Amount amount) noexcept {
        int64_t want = c->capacity > 0 ? c->capacity : 1;
        return [c, amount, want, last = int64_t{-1}]() mutable {
            int64_t now = amount();
            bool settled = now >= want || (now > 0 && now == last) || relaxed_load(c->closed) != 0;
            last = now;
            return settled;
        };
    }

    // The waits spin until the awaited amount (free slots for a sender,
    // messages for a receiver) reaches the capacity or stops growing
    // between two looks: while the other side is busy filling or emptying
    // the buffer it keeps the cache lines it works on, and this side then
    // takes a run of operations in turn, instead of the two passing the
    // lines back and forth on every message.
    bool spin_until_not_full() noexcept {
        ZeqChannel *c = c_;
        return spin_once(growth_settled(c, [c] { return c->capacity - relaxed_load(c->count); }), c->recv_cpu);
    }
    bool spin_until_not_empty() noexcept {
        ZeqChannel *c = c_;
        return spin_once(growth_settled(c, [c] { return relaxed_load(c->count); }), c->send_cpu);
    }

    void wait_not_full() noexcept {
        ++c_->send_waiting;
        pthread_cond_wait(&c_->not_full, &c_->mutex);
        --c_->send_waiting;
        if (c_->send_pending > 0) --c_->send_pending;
    }
    void wait_not_empty() noexcept {
        ++c_->recv_waiting;
        pthread_cond_wait(&c_->not_empty, &c_->mutex);
        --c_->recv_waiting;
        if (c_->recv_pending > 0) --c_->recv_pending;
    }
    // One timed wait; false once the deadline has passed.
    bool wait_until(pthread_cond_t *cv, int32_t *waiting, int32_t *pending,
                    const timespec &deadline) noexcept {
        ++*waiting;
        int rc = pthread_cond_timedwait(cv, &c_->mutex, &deadline);
        --*waiting;
        if (*pending > 0) --*pending;
        // Only a time-out (or a deadline the platform refuses, which would
        // otherwise spin) ends the wait.
        return rc != ETIMEDOUT && rc != EINVAL;
    }

  private:
    ZeqChannel *c_;
    bool live_ = false;
    bool moved_ = false;  // a message was stored or taken
    bool spun_ = false;   // this operation has had its spin
};

// now + ms on the real-time clock (the clock the timed waits use), the
// sub-second part carried into the seconds; saturates instead of wrapping.
timespec deadline_after(int64_t ms) noexcept {
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    int64_t secs = ms / 1000;
    timespec d;
    d.tv_sec = now.tv_sec > INT64_MAX - secs ? INT64_MAX : now.tv_sec + secs;
    d.tv_nsec = now.tv_nsec + (ms % 1000) * 1000000;
    if (d.tv_nsec >= 1000000000) {
        if (d.tv_sec < INT64_MAX) ++d.tv_sec;
        d.tv_nsec -= 1000000000;
    }
    return d;
}

ZeqChannelHandle *new_handle(ZeqChannel *c) noexcept {
    auto *h = static_cast<ZeqChannelHandle *>(std::malloc(sizeof(ZeqChannelHandle)));
    if (!h) return nullptr;
    h->channel = c;
    h->next = c->handles;
    c->handles = h;
    return h;
}

}  // namespace

extern "C" ZeqChannelHandle *zeq_channel_new(int64_t capacity, ZeqChannelHandle **out_sender,
                                             ZeqChannelHandle **out_receiver) noexcept {
    if (out_sender) *out_sender = nullptr;
    if (out_receiver) *out_receiver = nullptr;
    if (capacity < 0) capacity = 0;
    if (static_cast<uint64_t>(capacity) > PTRDIFF_MAX / sizeof(int64_t)) return nullptr;
    int64_t *buffer = nullptr;
    if (capacity > 0) {
        buffer = static_cast<int64_t *>(std::malloc(static_cast<size_t>(capacity) * sizeof(int64_t)));
        if (!buffer) return nullptr;
    }
    ZeqChannel *c = take_record();
    if (!c) {
        std::free(buffer);
        return nullptr;
    }
    ZeqChannelHandle *sender, *receiver;
    {
        // An operation of the record's earlier channel may still be on its
        // way in: it finds the generation changed.
        PlatformLock hold(&c->mutex);
        c->buffer = buffer;
        c->capacity = capacity;
        c->send_index = c->recv_index = 0;
        relaxed_store(c->count, int64_t{0});
        relaxed_store(c->closed, int64_t{0});
        c->freed = 0;
        c->active = 0;
        c->recv_waiting = c->send_waiting = 0;
        c->recv_pending = c->send_pending = 0;
        c->send_cpu = c->recv_cpu = -1;
        sender = new_handle(c);
        receiver = sender ? new_handle(c) : nullptr;
    }
    if (!receiver) {
        release(c);
        return nullptr;
    }
    if (out_sender) *out_sender = sender;
    if (out_receiver) *out_receiver = receiver;
    return receiver;
}

extern "C" void zeq_channel_send(ZeqChannelHandle *h, int64_t message) noexcept {
    Locked ch(h);
    if (!ch) return;
    while (ch.full() && !ch.closed())
        if (!ch.spin_until_not_full()) ch.wait_not_full();
    if (!ch.closed()) ch.store(message);
}

extern "C" int64_t zeq_channel_recv_opt(ZeqChannelHandle *h, int64_t *out) noexcept {
    Locked ch(h);
    if (!ch) return 0;
    while (ch.empty() && !ch.closed())
        if (!ch.spin_until_not_empty()) ch.wait_not_empty();
    if (ch.empty()) return 0;
    int64_t message = ch.take();
    if (out) *out = message;
    return 1;
}

extern "C" int64_t zeq_channel_recv(ZeqChannelHandle *h) noexcept {
    int64_t message = 0;
    zeq_channel_recv_opt(h, &message);
    return message;
}

extern "C" int64_t zeq_channel_try_send(ZeqChannelHandle *h, int64_t message) noexcept {
    Locked ch(h);
    if (!ch || ch.full() || ch.closed()) return 0;
    ch.store(message);
    return 1;
}

extern "C" int64_t zeq_channel_try_recv(ZeqChannelHandle *h, int64_t *out) noexcept {
    Locked ch(h);
    if (!ch || ch.empty()) return 0;
    int64_t message = ch.take();
    if (out) *out = message;
    return 1;
}

extern "C" int64_t zeq_channel_recv_timeout(ZeqChannelHandle *h, int64_t ms, int64_t *out) noexcept {
    if (ms < 0) return zeq_channel_recv_opt(h, out);
    timespec deadline = deadline_after(ms);
    Locked ch(h);
    if (!ch) return 0;
    ZeqChannel *c = ch.channel();
    // A time of 0 is a poll: one wait on a passed deadline, no spin.
    while (ch.empty() && !ch.closed())
        if (!(ms > 0 && ch.spin_until_not_empty()) &&
            !ch.wait_until(&c->not_empty, &c->recv_waiting, &c->recv_pending, deadline))
            break;
    // Whatever ended the wait, a message that is there now is taken.
    if (ch.empty()) return 0;
    int64_t message = ch.take();
    if (out) *out = message;
    return 1;
}

extern "C" int64_t zeq_channel_send_timeout(ZeqChannelHandle *h, int64_t message, int64_t ms) noexcept {
    if (ms < 0) {
        Locked ch(h);
        if (!ch) return 0;
        while (ch.full() && !ch.closed())
            if (!ch.spin_until_not_full()) ch.wait_not_full();
        if (ch.closed()) return 0;
        ch.store(message);
        return 1;
    }
    timespec deadline = deadline_after(ms);
    Locked ch(h);
    if (!ch) return 0;
    ZeqChannel *c = ch.channel();
    while (ch.full() && !ch.closed())
        if (!(ms > 0 && ch.spin_until_not_full()) &&
            !ch.wait_until(&c->not_full, &c->send_waiting, &c->send_pending, deadline))
            break;
    if (ch.full() || ch.closed()) return 0;
    ch.store(message);
    return 1;
}

extern "C" ZeqChannelHandle *zeq_sender_clone(ZeqChannelHandle *h) noexcept {
    Locked ch(h);
    return ch ? new_handle(ch.channel()) : nullptr;
}

namespace {
// Under the mutex: marks the channel closed and wakes every waiter.
void close_locked(ZeqChannel *c) noexcept {
    relaxed_store(c->closed, int64_t{1});
    if (c->recv_waiting) pthread_cond_broadcast(&c->not_empty);
    if (c->send_waiting) pthread_cond_broadcast(&c->not_full);
}
}  // namespace

extern "C" void zeq_channel_close(ZeqChannelHandle *h) noexcept {
    Locked ch(h);
    if (ch) close_locked(ch.channel());
}

extern "C" int64_t zeq_channel_is_closed(ZeqChannelHandle *h) noexcept {
    Locked ch(h);
    return ch ? ch.channel()->closed : 1;
}

extern "C" void zeq_channel_free(ZeqChannelHandle *h) noexcept {
    Locked ch(h);
    if (!ch) return;
    close_locked(ch.channel());
    ch.channel()->freed = 1;
}
