/* A zeq program built on its own: it defines zeq_user_main, which replaces
 * the one delivered with the library, and reports what the runtime shows it.
 * The exit status comes from the environment variable ZEQ_TEST_RESULT. */
#include "zeq.h"

#include <malloc.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>

/* This thread's arena block is never released, on purpose. */
const char *__lsan_default_suppressions(void);
const char *__lsan_default_suppressions(void) { return "leak:alloc_new_block\n"; }
const char *__lsan_default_options(void);
const char *__lsan_default_options(void) { return "print_suppressions=0"; }

static void *other_thread(void *unused) {
    (void)unused;
    ZeqString *arg0 = zeq_get_arg(0);
    printf("thread: count=%ld arg0_len=%ld\n", (long)zeq_arg_count(), (long)arg0->len);
    return NULL;
}

/* Bytes held from malloc (the sanitizer's count when one replaces it). */
size_t __sanitizer_get_current_allocated_bytes(void) __attribute__((weak));
static long live_heap_bytes(void) {
    if (__sanitizer_get_current_allocated_bytes) return (long)__sanitizer_get_current_allocated_bytes();
    struct mallinfo2 m = mallinfo2();
    return (long)(m.uordblks + m.hblkhd);
}
static long held_during_main;

static void after_main(void) {
    /* main gave the arena block back. */
    printf("after: usage=%ld enabled=%d released=%d\n", (long)zeq_arena_usage(),
           (int)g_arena_enabled, held_during_main - live_heap_bytes() >= (8L << 20));
}

int64_t zeq_user_main(void) {
    atexit(after_main);
    printf("args:");
    for (int64_t i = 0; i < zeq_arg_count(); i++) {
        ZeqString *a = zeq_get_arg(i);
        if (i > 0) printf(" [%s|%ld|%ld]", a->data, (long)a->len, (long)a->cap);
    }
    printf("\nenabled=%d\n", (int)g_arena_enabled);
    ZeqString *s = zeq_string_from_cstr("in the arena");
    printf("usage=%ld len=%ld\n", (long)zeq_arena_usage(), (long)s->len);
    pthread_t t;
    pthread_create(&t, NULL, other_thread, NULL);
    pthread_join(t, NULL);
    held_during_main = live_heap_bytes();
    const char *result = getenv("ZEQ_TEST_RESULT");
    return result ? strtoll(result, NULL, 10) : 0;
}
