/* echo_server: a TCP echo server on the shared event loop, and its client.
 *
 * The server registers its listening socket with the shared loop; each ready
 * connection is accepted and registered in turn, and every callback does one
 * receive that cannot wait (the loop said the socket is readable) and sends
 * the bytes back.  It prints the port it listens on (0 lets the system
 * choose) and, given CONNECTIONS, stops once that many have closed.  The
 * client connects without blocking, sends each TEXT and prints its echo,
 * read with the non-blocking read that drives the same loop.
 *
 *   build/examples/echo_server serve [PORT [CONNECTIONS]]
 *   build/examples/echo_server send HOST PORT TEXT...
 */
#include "server.h"

static void on_readable(uint64_t user_data, int64_t fd, uint32_t events) {
    ZeqSocket *conn = (ZeqSocket *)(uintptr_t)user_data;
    char *bytes = zeq_async_socket_read(conn);
    (void)events;
    if (bytes) {
        zeq_async_socket_write(conn, bytes);
        zeq_ffi_free_string(adopt(bytes));
        return;
    }
    zeq_event_loop_unregister(g_loop, fd);  /* end of stream or error */
    zeq_async_socket_close(conn);
    connection_closed();
}

static void on_connection(uint64_t user_data, int64_t fd, uint32_t events) {
    ZeqSocket *conn = zeq_async_socket_accept(g_listener);
    (void)user_data, (void)fd, (void)events;
    if (conn && zeq_event_loop_register(g_loop, conn->fd, 1, on_readable, (uint64_t)(uintptr_t)conn) != 0)
        zeq_async_socket_close(conn);
}

static int64_t send_all(const char *host, int32_t port) {
    ZeqSocket *sock = zeq_nb_socket_connect(host, port);
    /* A connect in progress completes while the shared loop runs. */
    for (int i = 0; sock && !sock->connected && sock->fd >= 0 && i < 50; i++)
        zeq_event_loop_run_once(zeq_get_event_loop(), 100);
    if (!sock || !sock->connected) {
        zeq_puts_cstr("echo_server: cannot connect");
        zeq_async_socket_close(sock);
        return 1;
    }
    for (int64_t i = 4; i < zeq_arg_count(); i++) {
        ZeqString *text = zeq_get_arg(i);
        zeq_nb_socket_write(sock, text->data);
        ZeqString *echo = zeq_string_from_cstr("");
        while (echo->len < text->len) {  /* the echo may come in pieces */
            char *bytes = zeq_nb_socket_read(sock);
            if (!bytes) break;
            ZeqString *piece = adopt(bytes);
            echo = zeq_string_concat(echo, piece);
            zeq_ffi_free_string(piece);
        }
        zeq_print_str(zeq_string_from_cstr("echo: "));
        zeq_println_str(echo);
    }
    zeq_async_socket_close(sock);
    return 0;
}

int64_t zeq_user_main(void) {
    ZeqString *mode = zeq_get_arg(1);
    if (zeq_string_eq(mode, zeq_string_from_cstr("serve"))) {
        int32_t port = zeq_arg_count() > 2 ? (int32_t)zeq_parse_int(zeq_get_arg(2)) : 0;
        return serve(port, zeq_arg_count() > 3 ? zeq_parse_int(zeq_get_arg(3)) : 0, on_connection);
    }
    if (zeq_string_eq(mode, zeq_string_from_cstr("send")) && zeq_arg_count() > 3)
        return send_all(zeq_get_arg(2)->data, (int32_t)zeq_parse_int(zeq_get_arg(3)));
    zeq_puts_cstr("usage: echo_server serve [PORT [CONNECTIONS]] | send HOST PORT TEXT...");
    return 2;
}
