// The event loop: registration table (modify, reuse, full table), level-
// triggered dispatch with its masks, callbacks that change the table, stop,
// and the shared loop.  A model of the table checks long random sequences.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <vector>

#include "io_support.h"
#include "zeq.h"

namespace {

struct Call {
    uint64_t user;
    int64_t fd;
    uint32_t mask;
};
std::vector<Call> g_calls;

void record(uint64_t user, int64_t fd, uint32_t mask) { g_calls.push_back({user, fd, mask}); }
void record_other(uint64_t user, int64_t fd, uint32_t mask) {
    g_calls.push_back({user + 1000, fd, mask});
}

struct Pipe {
    int r = -1, w = -1;
    Pipe() {
        int p[2];
        if (pipe2(p, O_CLOEXEC) == 0) r = p[0], w = p[1];
    }
    ~Pipe() {
        if (r >= 0) close(r);
        if (w >= 0) close(w);
    }
    void put() const { EXPECT_EQ(write(w, "x", 1), 1); }
    void take() const {
        char c;
        EXPECT_EQ(read(r, &c, 1), 1);
    }
};

class EventLoopTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_calls.clear();
        fds_before_ = zeqtest::open_fd_count();
        loop_ = zeq_event_loop_create();
        ASSERT_NE(loop_, nullptr);
    }
    void TearDown() override {
        zeq_event_loop_destroy(loop_);
        EXPECT_EQ(zeqtest::open_fd_count(), fds_before_);
    }
    ZeqEventLoop *loop_ = nullptr;
    int fds_before_ = 0;
};

using EventLoopRegistration = EventLoopTest;
using EventLoopDispatch = EventLoopTest;
using EventLoopTable = EventLoopTest;

TEST_F(EventLoopRegistration, SecondRegistrationModifiesAndReplacesCallback) {
    Pipe p;
    EXPECT_EQ(zeq_event_loop_register(loop_, p.r, 1, record, 1), 0);
    EXPECT_EQ(zeq_event_loop_register(loop_, p.r, 3, record_other, 2), 0);
    p.put();
    EXPECT_EQ(zeq_event_loop_run_once(loop_, 0), 1);
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(g_calls[0].user, 1002u);
    EXPECT_EQ(g_calls[0].fd, p.r);
    EXPECT_EQ(g_calls[0].mask, 1u);
}

TEST_F(EventLoopRegistration, RejectsNullsAndUnknownDescriptors) {
    Pipe p;
    EXPECT_EQ(zeq_event_loop_register(nullptr, p.r, 1, record, 0), -1);
    EXPECT_EQ(zeq_event_loop_register(loop_, p.r, 1, nullptr, 0), -1);
    EXPECT_EQ(zeq_event_loop_unregister(loop_, p.r), -1);  // nothing registered yet
    EXPECT_EQ(zeq_event_loop_unregister(nullptr, p.r), -1);
    p.put();
    EXPECT_EQ(zeq_event_loop_run_once(loop_, 0), 0);  // the null callback changed nothing
    EXPECT_EQ(zeq_event_loop_register(loop_, p.r, 1, record, 0), 0);
    EXPECT_EQ(zeq_event_loop_unregister(loop_, p.r), 0);
    EXPECT_EQ(zeq_event_loop_unregister(loop_, p.r), -1);
    EXPECT_EQ(zeq_event_loop_run_once(loop_, 0), 0);
}

TEST_F(EventLoopRegistration, RefusedDescriptorHoldsNoSlot) {
    int closed = dup(0);
    close(closed);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(zeq_event_loop_register(loop_, closed, 1, record, 0), -1);
    EXPECT_EQ(zeq_event_loop_register(loop_, -1, 1, record, 0), -1);
    // A number epoll cannot carry must not alias descriptor 0.
    EXPECT_EQ(zeq_event_loop_register(loop_, (int64_t{1} << 32), 1, record, 0), -1);
    EXPECT_EQ(zeq_event_loop_unregister(loop_, closed), -1);
}

TEST_F(EventLoopRegistration, ClosedDescriptorWhoseNumberIsReusedRegistersAgain) {
    auto *first = new Pipe;
    int number = first->r;
    EXPECT_EQ(zeq_event_loop_register(loop_, number, 1, record, 1), 0);
    delete first;  // closed without unregistering: epoll forgets it
    Pipe second;
    ASSERT_EQ(second.r, number);
    EXPECT_EQ(zeq_event_loop_register(loop_, number, 1, record, 2), 0);
    second.put();
    EXPECT_EQ(zeq_event_loop_run_once(loop_, 0), 1);
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(g_calls[0].user, 2u);
}

TEST_F(EventLoopDispatch, LevelTriggeredUntilDrained) {
    Pipe p;
    ASSERT_EQ(zeq_event_loop_register(loop_, p.r, 1, record, 7), 0);
    EXPECT_EQ(zeq_event_loop_run_once(loop_, 0), 0);
    EXPECT_EQ(zeq_event_loop_run_once(loop_, 20), 0);
    p.put();
    EXPECT_EQ(zeq_event_loop_run_once(loop_, 0), 1);
    EXPECT_EQ(zeq_event_loop_run_once(loop_, 0), 1);
    p.take();
    EXPECT_EQ(zeq_event_loop_run_once(loop_, 0), 0);
    ASSERT_EQ(g_calls.size(), 2u);
    for (const Call &c : g_calls) EXPECT_EQ(c.mask, 1u);
}

TEST_F(EventLoopDispatch, MasksForWritableAndHangUp) {
    Pipe p;
    ASSERT_EQ(zeq_event_loop_register(loop_, p.w, 2, record, 0), 0);
    ASSERT_EQ(zeq_event_loop_register(loop_, p.r, 1 | 8 | 16, record, 1), 0);  // extra bits ignored
    p.put();
    EXPECT_EQ(zeq_event_loop_run_once(loop_, 0), 2);
    std::map<uint64_t, uint32_t> masks;
    for (const Call &c : g_calls) masks[c.user] = c.mask;
    EXPECT_EQ(masks[0], 2u);
    EXPECT_EQ(masks[1], 1u);
    ASSERT_EQ(zeq_event_loop_unregister(loop_, p.w), 0);
    close(p.w);
    p.w = -1;
    g_calls.clear();
    EXPECT_EQ(zeq_event_loop_run_once(loop_, 0), 1);
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(g_calls[0].mask, 1u | 4u);  // data left and hang-up
    p.take();
    g_calls.clear();
    EXPECT_EQ(zeq_event_loop_run_once(loop_, 0), 1);
    EXPECT_EQ(g_calls[0].mask, 4u);
}

// Callbacks that change the table while a batch is dispatched.
struct Batch {
    ZeqEventLoop *loop;
    std::vector<int> *fds;
    int calls = 0;
};
void unregister_all_others(uint64_t user, int64_t fd, uint32_t) {
    auto *b = reinterpret_cast<Batch *>(user);
    ++b->calls;
    for (int other : *b->fds)
        if (other != fd) zeq_event_loop_unregister(b->loop, other);
}
void stop_loop(uint64_t user, int64_t, uint32_t) {
    auto *b = reinterpret_cast<Batch *>(user);
    ++b->calls;
    zeq_event_loop_stop(b->loop);
}

TEST_F(EventLoopDispatch, EventsUnregisteredByAnEarlierCallbackAreSkipped) {
    Pipe a, b, c;
    std::vector<int> fds{a.r, b.r, c.r};
    Batch batch{loop_, &fds};
    for (int fd : fds) ASSERT_EQ(zeq_event_loop_register(loop_, fd, 1, unregister_all_others,
                                                         reinterpret_cast<uint64_t>(&batch)), 0);
    a.put(), b.put(), c.put();
    EXPECT_EQ(zeq_event_loop_run_once(loop_, 0), 1);
    EXPECT_EQ(batch.calls, 1);
}

TEST_F(EventLoopDispatch, StopFinishesTheBatchThenRunsNothing) {
    Pipe a, b;
    Batch batch{loop_, nullptr};
    ASSERT_EQ(zeq_event_loop_register(loop_, a.r, 1, stop_loop, reinterpret_cast<uint64_t>(&batch)), 0);
    ASSERT_EQ(zeq_event_loop_register(loop_, b.r, 1, stop_loop, reinterpret_cast<uint64_t>(&batch)), 0);
    a.put(), b.put();
    EXPECT_EQ(zeq_event_loop_is_stopped(loop_), 0);
    EXPECT_EQ(zeq_event_loop_run_once(loop_, 0), 2);
    EXPECT_EQ(zeq_event_loop_is_stopped(loop_), 1);
    EXPECT_EQ(zeq_event_loop_run_once(loop_, -1), 0);  // returns at once
    EXPECT_EQ(batch.calls, 2);
    EXPECT_EQ(zeq_event_loop_is_stopped(nullptr), 1);
    EXPECT_EQ(zeq_event_loop_run_once(nullptr, -1), 0);
    zeq_event_loop_stop(nullptr);
}

TEST(EventLoopShared, MadeOnceOnFirstUse) {
    ZeqEventLoop *a = zeq_get_event_loop();
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(zeq_get_event_loop(), a);
    EXPECT_EQ(zeq_event_loop_is_stopped(a), 0);
}

// Enough descriptors for a full table: duplicates of one pipe end.
class Descriptors {
  public:
    explicit Descriptors(int n) {
        for (int i = 0; i < n; ++i) {
            int fd = fcntl(pipe_.r, F_DUPFD_CLOEXEC, 0);
            if (fd < 0) break;
            fds_.push_back(fd);
        }
    }
    ~Descriptors() {
        for (int fd : fds_) close(fd);
    }
    size_t size() const { return fds_.size(); }
    int operator[](size_t i) const { return fds_[i]; }
    const Pipe &pipe() const { return pipe_; }

  private:
    Pipe pipe_;
    std::vector<int> fds_;
};

TEST_F(EventLoopTable, FullTableRefusesOnlyNewDescriptorsAndReusesFreedSlots) {
    if (!zeqtest::ensure_fd_limit(2200)) GTEST_SKIP() << "descriptor limit too low";
    Descriptors d(1026);
    ASSERT_EQ(d.size(), 1026u);
    for (size_t i = 0; i < 1024; ++i) ASSERT_EQ(zeq_event_loop_register(loop_, d[i], 1, record, i), 0);
    EXPECT_EQ(zeq_event_loop_register(loop_, d[1024], 1, record, 0), -1);
    // Changing an existing registration still works with a full table.
    EXPECT_EQ(zeq_event_loop_register(loop_, d[5], 1, record_other, 5), 0);
    // A freed slot is reused, then the table is full again.
    EXPECT_EQ(zeq_event_loop_unregister(loop_, d[700]), 0);
    EXPECT_EQ(zeq_event_loop_register(loop_, d[1024], 1, record, 1024), 0);
    EXPECT_EQ(zeq_event_loop_register(loop_, d[1025], 1, record, 0), -1);
    // All 1024 registrations are live: every one is dispatched once.
    d.pipe().put();
    int total = 0;
    for (int round = 0; round < 40 && total < 1024; ++round) {
        int n = zeq_event_loop_run_once(loop_, 0);
        ASSERT_GE(n, 0);
        ASSERT_LE(n, 64);
        total += n;
    }
    std::set<int64_t> seen;
    for (const Call &c : g_calls) seen.insert(c.fd);
    EXPECT_EQ(seen.size(), 1024u);
    EXPECT_EQ(seen.count(d[700]), 0u);
    EXPECT_EQ(seen.count(d[1024]), 1u);
}

// Random register / unregister / dispatch against a model of the table:
// 3,000 operations on 300 descriptors.
TEST_F(EventLoopTable, RandomOperationsMatchModel) {
    // Descriptor numbers spread over a wide range collide in the table's
    // index as random keys do; a narrow range of consecutive numbers hardly
    // ever would.
    bool wide = zeqtest::ensure_fd_limit(16384);
    std::mt19937 rng(7);
    Pipe ready, idle;
    std::vector<int> fds;
    std::set<int> readable;  // duplicates of the pipe that holds a byte
    auto add = [&](int i, int min_fd) {
        int fd = fcntl((i % 2 ? ready : idle).r, F_DUPFD_CLOEXEC, min_fd);
        if (fd < 0) return;
        fds.push_back(fd);
        if (i % 2) readable.insert(fd);
    };
    // Mostly idle descriptors, so that a run reports every ready one.
    for (int i = 0; i < 300; ++i) add(i % 15 == 0 ? 1 : 0, wide ? static_cast<int>(rng() % 16000) : 0);
    ready.put();
    std::map<int, uint64_t> model;  // descriptor -> user data
    for (int op = 0; op < 3000; ++op) {
        int fd = fds[rng() % fds.size()];
        switch (rng() % 7) {
        case 0:
        case 1:
        case 2: {
            uint64_t user = rng();
            ASSERT_EQ(zeq_event_loop_register(loop_, fd, 1, record, user), 0);
            model[fd] = user;
            break;
        }
        case 3:
        case 4:
        case 5:
            ASSERT_EQ(zeq_event_loop_unregister(loop_, fd), model.erase(fd) ? 0 : -1);
            break;
        default: {
            g_calls.clear();
            int n = zeq_event_loop_run_once(loop_, 0);
            std::map<int, uint64_t> expected;
            for (auto [f, u] : model)
                if (readable.count(f)) expected[f] = u;
            std::map<int, uint64_t> got;
            for (const Call &c : g_calls) got[static_cast<int>(c.fd)] = c.user;
            ASSERT_EQ(n, static_cast<int>(g_calls.size()));
            ASSERT_EQ(got, expected) << "operation " << op;
        }
        }
    }
    for (int fd : fds) close(fd);
}

}  // namespace
