/* pipeline: a producer, a pool of workers and a collector joined by channels.
 *
 * The producer thread sends the items 1..N into a bounded channel and closes
 * it; the pool's workers take items until that channel is drained, test each
 * for primality and send the item with the answer on; the collector thread
 * marks every item it receives.  The summary proves that every item arrived
 * exactly once: the sum of the items received, the sum expected, and the
 * count of items seen twice or never.
 *
 *   build/examples/pipeline [ITEMS [WORKERS]]   (defaults: 10000 items, 4 workers)
 */
#include "zeq.h"

static int64_t g_items;
static ZeqChannelHandle *g_jobs;     /* producer -> workers */
static ZeqChannelHandle *g_results;  /* workers -> collector */
static ZeqVec *g_seen;               /* times each item arrived, by item */
static int64_t g_sum, g_primes;

static int64_t produce(int64_t unused) {
    (void)unused;
    for (int64_t item = 1; item <= g_items; item++) zeq_channel_send(g_jobs, item);
    zeq_channel_close(g_jobs);
    return 0;
}

/* A pool task: one worker's whole share, until the jobs channel ends. */
static void work(void) {
    int64_t item;
    while (zeq_channel_recv_opt(g_jobs, &item)) zeq_channel_send(g_results, item * 2 + zeq_is_prime(item));
}

static int64_t collect(int64_t unused) {
    (void)unused;
    int64_t message;
    while (zeq_channel_recv_opt(g_results, &message)) {
        int64_t item = message / 2;
        zeq_vec_set(g_seen, item, zeq_vec_get(g_seen, item) + 1);
        g_sum += item;
        g_primes += message % 2;
    }
    return 0;
}

static void print_pair(const char *label, int64_t value) {
    zeq_print_str(zeq_string_from_cstr(label));
    zeq_println_i64(value);
}

int64_t zeq_user_main(void) {
    g_items = zeq_arg_count() > 1 ? zeq_parse_int(zeq_get_arg(1)) : 10000;
    int64_t workers = zeq_arg_count() > 2 ? zeq_parse_int(zeq_get_arg(2)) : 4;
    if (g_items < 1 || workers < 1) {
        zeq_puts_cstr("usage: pipeline [ITEMS [WORKERS]]");
        return 2;
    }
    g_seen = zeq_vec_with_capacity(g_items + 1);
    for (int64_t i = 0; i <= g_items; i++) zeq_vec_push(g_seen, 0);
    /* One handle a channel: every handle serves both ends. */
    g_jobs = zeq_channel_new(64, NULL, NULL);
    g_results = zeq_channel_new(64, NULL, NULL);

    ZeqThread *collector = zeq_spawn(collect, 0);
    ZeqThread *producer = zeq_spawn(produce, 0);
    ZeqThreadPool *pool = zeq_thread_pool_new(workers);
    for (int64_t w = 0; w < workers; w++) zeq_thread_pool_execute(pool, work);
    zeq_join(producer);
    zeq_thread_pool_join(pool);      /* every worker saw the jobs channel end */
    zeq_channel_close(g_results);
    zeq_join(collector);

    int64_t wrong = 0;
    for (int64_t item = 1; item <= g_items; item++) wrong += zeq_vec_get(g_seen, item) != 1;
    print_pair("items ", g_items);
    print_pair("workers ", workers);
    print_pair("sum ", g_sum);
    print_pair("expected ", g_items * (g_items + 1) / 2);
    print_pair("primes ", g_primes);
    print_pair("not exactly once ", wrong);

    zeq_channel_free(g_jobs);
    zeq_channel_free(g_results);
    zeq_vec_free(g_seen);
    return wrong == 0 && g_sum == g_items * (g_items + 1) / 2 ? 0 : 1;
}
