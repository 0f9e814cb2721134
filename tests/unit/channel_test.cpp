// Channels: FIFO order and wrap-around, close semantics, time-limited forms,
// capacity 0, interchangeable handles, freeing, a model-based check against a
// plain bounded deque, and exactly-once delivery under load.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <random>
#include <thread>
#include <vector>

#include "zeq.h"

namespace {

#if ZEQ_TEST_SANITIZED
constexpr int64_t kMessagesPerProducer = 100'000;  // sanitizers slow every wake-up down
#else
constexpr int64_t kMessagesPerProducer = 1'000'000;
#endif

using Clock = std::chrono::steady_clock;

int64_t elapsed_ms(Clock::time_point since) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count();
}

struct Channel {
    ZeqChannelHandle *tx = nullptr;
    ZeqChannelHandle *rx = nullptr;
    explicit Channel(int64_t capacity) {
        ZeqChannelHandle *r = zeq_channel_new(capacity, &tx, &rx);
        EXPECT_EQ(r, rx);
    }
    ~Channel() { zeq_channel_free(rx); }
};

}  // namespace

TEST(ChannelOrder, MatchesABoundedDequeUnderRandomOperations) {
    std::mt19937_64 rng(7);
    for (int64_t cap : {1, 2, 5, 16}) {
        Channel ch(cap);
        std::deque<int64_t> model;
        bool closed = false;
        for (int step = 0; step < 4000; ++step) {
            int op = static_cast<int>(rng() % 100);
            int64_t v = static_cast<int64_t>(rng() % 1000) - 500;
            // The handles are interchangeable: pick either for every call.
            ZeqChannelHandle *h = rng() % 2 ? ch.tx : ch.rx;
            if (op < 45) {
                bool fits = !closed && static_cast<int64_t>(model.size()) < cap;
                ASSERT_EQ(zeq_channel_try_send(h, v), fits ? 1 : 0);
                if (fits) model.push_back(v);
            } else if (op < 90) {
                int64_t out = 12345;
                int64_t got = op < 70 ? zeq_channel_try_recv(h, &out) : zeq_channel_recv_timeout(h, 0, &out);
                ASSERT_EQ(got, model.empty() ? 0 : 1);
                if (!model.empty()) {
                    ASSERT_EQ(out, model.front());
                    model.pop_front();
                } else {
                    ASSERT_EQ(out, 12345);
                }
            } else if (op < 99) {
                ASSERT_EQ(zeq_channel_send_timeout(h, v, 0), !closed && static_cast<int64_t>(model.size()) < cap);
                if (!closed && static_cast<int64_t>(model.size()) < cap) model.push_back(v);
            } else {
                zeq_channel_close(h);
                closed = true;
            }
            ASSERT_EQ(zeq_channel_is_closed(h), closed ? 1 : 0);
        }
    }
}

TEST(ChannelClose, QueuedMessagesAreStillDelivered) {
    Channel ch(4);
    zeq_channel_send(ch.tx, 10);
    zeq_channel_send(ch.tx, 0);
    EXPECT_EQ(zeq_channel_is_closed(ch.rx), 0);
    zeq_channel_close(ch.tx);
    zeq_channel_close(ch.rx);  // twice: harmless
    EXPECT_EQ(zeq_channel_is_closed(ch.tx), 1);
    zeq_channel_send(ch.tx, 11);  // discarded
    EXPECT_EQ(zeq_channel_try_send(ch.tx, 12), 0);
    EXPECT_EQ(zeq_channel_send_timeout(ch.tx, 13, 50), 0);
    EXPECT_EQ(zeq_channel_send_timeout(ch.tx, 13, -1), 0);
    EXPECT_EQ(zeq_channel_recv(ch.rx), 10);
    int64_t out = -1;
    EXPECT_EQ(zeq_channel_recv_opt(ch.rx, &out), 1);  // a message of value 0
    EXPECT_EQ(out, 0);
    out = -1;
    EXPECT_EQ(zeq_channel_recv_opt(ch.rx, &out), 0);
    EXPECT_EQ(out, -1);
    EXPECT_EQ(zeq_channel_recv(ch.rx), 0);
    EXPECT_EQ(zeq_channel_recv_timeout(ch.rx, -1, &out), 0);
    EXPECT_EQ(zeq_channel_recv_timeout(ch.rx, 1000, &out), 0);  // closed: no wait
    EXPECT_EQ(out, -1);
}

TEST(ChannelClose, WakesEveryBlockedSenderAndReceiver) {
    Channel empty(2), full(1);
    zeq_channel_send(full.tx, 1);
    std::atomic<int> ended{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 3; ++i) {
        threads.emplace_back([&] {
            EXPECT_EQ(zeq_channel_recv(empty.rx), 0);
            ++ended;
        });
        threads.emplace_back([&] {
            int64_t out;
            EXPECT_EQ(zeq_channel_recv_timeout(empty.rx, -1, &out), 0);
            ++ended;
        });
        threads.emplace_back([&] {
            zeq_channel_send(full.tx, 2);
            ++ended;
        });
        threads.emplace_back([&] {
            EXPECT_EQ(zeq_channel_send_timeout(full.tx, 3, 60'000), 0);
            ++ended;
        });
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // let them block
    EXPECT_EQ(ended.load(), 0);
    zeq_channel_close(empty.tx);
    zeq_channel_close(full.rx);
    for (auto &t : threads) t.join();
    EXPECT_EQ(ended.load(), 12);
    EXPECT_EQ(zeq_channel_recv(full.rx), 1);  // queued before the close
}

TEST(ChannelTimeout, ReceiveGivesUpNoEarlierThanTheDeadline) {
    Channel ch(1);
    int64_t out = 3;
    auto start = Clock::now();
    EXPECT_EQ(zeq_channel_recv_timeout(ch.rx, 120, &out), 0);
    EXPECT_GE(elapsed_ms(start), 119);
    EXPECT_EQ(out, 3);
    // 1,100 ms crosses into the next second whatever the clock reads now.
    start = Clock::now();
    EXPECT_EQ(zeq_channel_recv_timeout(ch.rx, 1100, &out), 0);
    EXPECT_GE(elapsed_ms(start), 1099);
}

TEST(ChannelTimeout, SendSucceedsWhenASlotFreesBeforeTheDeadline) {
    Channel ch(1);
    zeq_channel_send(ch.tx, 1);
    EXPECT_EQ(zeq_channel_send_timeout(ch.tx, 2, 30), 0);  // still full at the deadline
    std::thread receiver([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(zeq_channel_recv(ch.rx), 1);
    });
    EXPECT_EQ(zeq_channel_send_timeout(ch.tx, 2, 60'000), 1);
    receiver.join();
    int64_t out = 0;
    EXPECT_EQ(zeq_channel_recv_timeout(ch.rx, 60'000, &out), 1);
    EXPECT_EQ(out, 2);
}

TEST(ChannelCapacity, ZeroAndNegativeHoldNothingUntilClose) {
    for (int64_t cap : {0, -4}) {
        Channel ch(cap);
        EXPECT_EQ(zeq_channel_try_send(ch.tx, 1), 0);
        EXPECT_EQ(zeq_channel_send_timeout(ch.tx, 1, 5), 0);
        int64_t out = 8;
        EXPECT_EQ(zeq_channel_recv_timeout(ch.rx, 5, &out), 0);
        std::thread sender([&] { zeq_channel_send(ch.tx, 1); });  // waits for the close
        std::thread receiver([&] { EXPECT_EQ(zeq_channel_recv_opt(ch.rx, &out), 0); });
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        zeq_channel_close(ch.rx);
        sender.join();
        receiver.join();
        EXPECT_EQ(out, 8);
    }
}

TEST(ChannelHandles, ClonesAndNullHandles) {
    Channel ch(2);
    ZeqChannelHandle *clone = zeq_sender_clone(ch.tx);
    ZeqChannelHandle *clone2 = zeq_sender_clone(clone);
    ASSERT_NE(clone, nullptr);
    zeq_channel_send(clone, 5);
    zeq_channel_send(ch.rx, 6);  // a receiver handle can send
    EXPECT_EQ(zeq_channel_recv(clone2), 5);
    EXPECT_EQ(zeq_channel_recv(ch.tx), 6);
    zeq_channel_close(clone2);
    EXPECT_EQ(zeq_channel_is_closed(ch.rx), 1);
    // Null handles: neutral results, nothing waits.
    int64_t out = 4;
    zeq_channel_send(nullptr, 1);
    EXPECT_EQ(zeq_channel_recv(nullptr) + zeq_channel_recv_opt(nullptr, &out) +
                  zeq_channel_try_send(nullptr, 1) + zeq_channel_try_recv(nullptr, &out) +
                  zeq_channel_recv_timeout(nullptr, -1, &out) + zeq_channel_send_timeout(nullptr, 1, -1),
              0);
    EXPECT_EQ(zeq_sender_clone(nullptr), nullptr);
    EXPECT_EQ(zeq_channel_is_closed(nullptr), 1);
    zeq_channel_close(nullptr);
    zeq_channel_free(nullptr);
    EXPECT_EQ(out, 4);
    // Out-arguments may be null.
    ZeqChannelHandle *only = zeq_channel_new(1, nullptr, nullptr);
    ASSERT_NE(only, nullptr);
    EXPECT_EQ(zeq_channel_try_send(only, 1), 1);
    zeq_channel_free(only);
}

TEST(ChannelFree, ReleasesOnlyAfterBlockedOperationsLeave) {
    // Free while threads wait inside the channel: they end as after a close,
    // and the record goes away with the last of them (the sanitizer builds
    // check there is no use after free and no leak).  The threads are given
    // time to block first: no operation may start after the free.
    for (int round = 0; round < 4; ++round) {
        ZeqChannelHandle *tx, *rx, *empty_rx;
        zeq_channel_new(1, &tx, &rx);
        zeq_channel_new(0, nullptr, &empty_rx);
        ZeqChannelHandle *extra = zeq_sender_clone(tx);
        zeq_channel_send(extra, 1);
        std::thread sender([&] { zeq_channel_send(tx, 2); });
        std::thread timed_sender([&] { EXPECT_EQ(zeq_channel_send_timeout(tx, 3, 60'000), 0); });
        std::thread receiver([&] { EXPECT_EQ(zeq_channel_recv(empty_rx), 0); });
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        zeq_channel_free(rx);
        zeq_channel_free(empty_rx);
        sender.join();
        timed_sender.join();
        receiver.join();
    }
}

TEST(ChannelFree, AReleasedChannelLeavesNothingToTheNextOne) {
    // A freed channel's record serves a later channel: each one starts open,
    // empty, with its own capacity and order, whatever the last one left
    // (messages, a close, wrapped indexes, cloned handles).
    for (int64_t round = 0; round < 40; ++round) {
        int64_t capacity = round % 5;
        Channel c(capacity);
        EXPECT_EQ(zeq_channel_is_closed(c.rx), 0);
        EXPECT_EQ(zeq_channel_try_recv(c.rx, nullptr), 0);
        ZeqChannelHandle *tx = round % 2 ? zeq_sender_clone(c.tx) : c.tx;
        for (int64_t i = 0; i < capacity; ++i) EXPECT_EQ(zeq_channel_try_send(tx, round * 10 + i), 1);
        EXPECT_EQ(zeq_channel_try_send(tx, -1), 0);
        for (int64_t i = 0; i < capacity - 1; ++i) EXPECT_EQ(zeq_channel_recv(c.rx), round * 10 + i);
        if (round % 3 == 0) zeq_channel_close(c.tx);
    }
}

namespace {

// P producers send `per_producer` messages each (tagged with the producer)
// through a channel of `capacity`; C consumers receive until the close.
// Half the producers and consumers use the timed forms with a long limit.
// Checks exactly-once delivery (count and sum) and per-producer order.
void exactly_once(int64_t capacity, int64_t per_producer) {
    constexpr int kProducers = 4, kConsumers = 4;
    Channel ch(capacity);
    std::vector<std::thread> producers, consumers;
    std::atomic<int64_t> count{0}, sum{0}, disorder{0}, refused{0};
    for (int p = 0; p < kProducers; ++p)
        producers.emplace_back([&, p] {
            ZeqChannelHandle *tx = zeq_sender_clone(ch.tx);
            for (int64_t i = 0; i < per_producer; ++i) {
                int64_t m = (int64_t{p} << 32) | i;
                if (p % 2) zeq_channel_send(tx, m);
                else if (!zeq_channel_send_timeout(tx, m, 600'000)) ++refused;
            }
        });
    for (int c = 0; c < kConsumers; ++c)
        consumers.emplace_back([&, c] {
            int64_t last[kProducers] = {-1, -1, -1, -1};
            int64_t n = 0, s = 0, m;
            while (c % 2 ? zeq_channel_recv_opt(ch.rx, &m) : zeq_channel_recv_timeout(ch.rx, 600'000, &m)) {
                int64_t p = m >> 32, i = m & 0xFFFFFFFF;
                if (i <= last[p]) ++disorder;  // one producer's messages stay in order
                last[p] = i;
                ++n;
                s += i;
            }
            count += n;
            sum += s;
        });
    for (auto &t : producers) t.join();
    zeq_channel_close(ch.tx);  // ends every consumer once the queue is empty
    for (auto &t : consumers) t.join();
    EXPECT_EQ(refused.load(), 0);
    EXPECT_EQ(count.load(), kProducers * per_producer);
    EXPECT_EQ(sum.load(), kProducers * (per_producer * (per_producer - 1) / 2));
    EXPECT_EQ(disorder.load(), 0);
}

}  // namespace

TEST(ChannelStress, EveryMessageArrivesExactlyOnceInProducerOrder) {
    exactly_once(64, kMessagesPerProducer);
}

TEST(ChannelStress, TinyCapacitiesKeepEveryoneMoving) {
    // Producers and consumers block all the time: every wake-up must reach
    // somebody who can use it.
    for (int64_t capacity : {1, 2, 3}) exactly_once(capacity, kMessagesPerProducer / 20);
}
