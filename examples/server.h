/* server.h: what the two server examples (echo_server.c, http_hello.c)
 * share: a listening socket on the shared event loop, the loop itself, and
 * the release of the buffers the socket calls return.  Like the examples it
 * calls the runtime through zeq.h alone. */
#ifndef ZEQ_EXAMPLES_SERVER_H
#define ZEQ_EXAMPLES_SERVER_H

#include "zeq.h"

static ZeqEventLoop *g_loop;
static ZeqSocket *g_listener;
static int64_t g_closed, g_limit; /* connections closed; the loop stops at g_limit */

/* The socket calls return malloc buffers that belong to the program: adopted
 * into a record from zeq_calloc, zeq_ffi_free_string releases both. */
static ZeqString *adopt(char *bytes) {
    ZeqString *s = zeq_calloc(1, sizeof *s);
    s->data = bytes;
    s->len = s->cap = zeq_str_len(bytes);
    return s;
}

/* To be called once a connection is closed. */
static void connection_closed(void) {
    if (++g_closed == g_limit) zeq_event_loop_stop(g_loop);
}

/* Listens on port (0: the system chooses) and calls on_connection whenever a
 * connection waits to be accepted; prints "listening on PORT" and flushes it
 * (a supervisor waits for that line); runs the shared loop until `limit`
 * connections have closed (0: for ever), resetting the arena after every
 * round, since nothing made during a round outlives it; then closes the
 * listener and prints how many connections closed.  1 if it cannot listen. */
static int64_t serve(int32_t port, int64_t limit, ZeqEventCallback on_connection) {
    g_limit = limit;
    g_loop = zeq_get_event_loop();
    g_listener = zeq_async_socket_listen(port);
    if (!g_loop || !g_listener || zeq_event_loop_register(g_loop, g_listener->fd, 1, on_connection, 0) != 0) {
        eprintln_str(zeq_string_from_cstr("cannot listen"));
        return 1;
    }
    ZeqString *port_text = zeq_int_to_string(zeq_async_socket_port(g_listener));
    zeq_write_stdout(zeq_string_concat3(zeq_string_from_cstr("listening on "), port_text,
                                        zeq_string_from_cstr("\n")));
    while (!zeq_event_loop_is_stopped(g_loop)) {
        zeq_event_loop_run_once(g_loop, -1);
        zeq_arena_reset();
    }
    zeq_event_loop_unregister(g_loop, g_listener->fd);
    zeq_async_socket_close(g_listener);
    zeq_print_str(zeq_string_from_cstr("closed connections: "));
    zeq_println_i64(g_closed);
    return 0;
}

#endif
