/* http_hello: a minimal HTTP/1.1 server on the shared event loop.
 *
 * GET / answers "Hello, world!" and every other path 404; a request line that
 * is not "METHOD PATH HTTP/1.x" gets 400 and the connection is closed.
 * Responses carry Content-Length, connections stay open (keep-alive) unless
 * the client asks otherwise or speaks HTTP/1.0, and pipelined requests are
 * answered in order.  Each connection collects its bytes in a string builder
 * until a request is complete; the strings made while answering live in the
 * arena, which is reset after every round of the loop.  It prints the port
 * it listens on (0 lets the system choose) and, given CONNECTIONS, stops once
 * that many have closed.
 *
 *   build/examples/http_hello [PORT [CONNECTIONS]]
 *   curl -i http://127.0.0.1:PORT/
 */
#include "server.h"

#define TEXT(s) zeq_string_from_cstr(s)

static void respond(ZeqSocket *sock, const char *status, const char *body, int keep_alive) {
    ZeqStringBuilder *b = zeq_sb_new();
    sb_push_cstr(b, "HTTP/1.1 ");
    sb_push_cstr(b, status);
    sb_push_cstr(b, "\r\nContent-Type: text/plain\r\nContent-Length: ");
    zeq_sb_push_int(b, zeq_str_len(body));
    sb_push_cstr(b, keep_alive ? "\r\n\r\n" : "\r\nConnection: close\r\n\r\n");
    sb_push_cstr(b, body);
    zeq_async_socket_write(sock, b->data);
    zeq_sb_free(b);
}

/* Answers the complete requests at the front of pending, removing them;
 * returns 0 once the connection is to be closed. */
static int answer_requests(ZeqSocket *sock, ZeqStringBuilder *pending) {
    for (;;) {
        ZeqString *data = zeq_sb_build(pending);
        int64_t head_end = zeq_string_index_of(data, TEXT("\r\n\r\n"));
        if (head_end < 0) return data->len <= 65536;  /* wait, unless it never ends */
        /* Vectors of new strings: the request line and headers, the words of
         * the request line. */
        ZeqVec *lines = zeq_string_split(zeq_string_substr(data, 0, head_end), TEXT("\r\n"));
        ZeqVec *words = zeq_string_split((ZeqString *)(uintptr_t)zeq_vec_get(lines, 0), TEXT(" "));
        ZeqString *path = (ZeqString *)(uintptr_t)zeq_vec_get(words, 1 % words->len);
        ZeqString *version = (ZeqString *)(uintptr_t)zeq_vec_get(words, words->len - 1);
        int valid = words->len == 3 && zeq_string_starts_with(version, TEXT("HTTP/1."));
        int keep_alive = valid && !zeq_string_eq(version, TEXT("HTTP/1.0"));
        int64_t body = 0;
        for (int64_t i = 1; i < lines->len; i++) {
            ZeqString *line = (ZeqString *)(uintptr_t)zeq_vec_get(lines, i);
            int64_t colon = zeq_string_index_of(line, TEXT(":"));
            ZeqString *name = zeq_string_to_lower(zeq_string_substr(line, 0, colon < 0 ? 0 : colon));
            ZeqString *value = zeq_string_to_lower(zeq_string_trim(zeq_string_substr(line, colon + 1, line->len)));
            if (zeq_string_eq(name, TEXT("content-length"))) body = zeq_parse_int(value);
            if (zeq_string_eq(name, TEXT("connection"))) keep_alive = zeq_string_eq(value, TEXT("keep-alive"));
        }
        zeq_vec_free(words);
        zeq_vec_free(lines);
        if (!valid) {
            respond(sock, "400 Bad Request", "Bad request\n", 0);
            return 0;
        }
        int64_t used = head_end + 4 + (body > 0 ? body : 0);
        if (data->len < used) return 1;  /* the body is still coming */
        zeq_sb_clear(pending);
        zeq_sb_push(pending, zeq_string_substr(data, used, data->len));
        if (zeq_string_eq(path, TEXT("/")))
            respond(sock, "200 OK", "Hello, world!\n", keep_alive);
        else
            respond(sock, "404 Not Found", "Not found\n", keep_alive);
        if (!keep_alive) return 0;
    }
}

/* A connection is a vector of two words: its socket and its pending bytes. */
static void on_readable(uint64_t user_data, int64_t fd, uint32_t events) {
    ZeqVec *conn = (ZeqVec *)(uintptr_t)user_data;
    ZeqSocket *sock = (ZeqSocket *)(uintptr_t)zeq_vec_get(conn, 0);
    ZeqStringBuilder *pending = (ZeqStringBuilder *)(uintptr_t)zeq_vec_get(conn, 1);
    char *bytes = zeq_async_socket_read(sock);
    (void)events;
    if (bytes) {
        ZeqString *received = adopt(bytes);
        zeq_sb_push(pending, received);
        zeq_ffi_free_string(received);
        if (answer_requests(sock, pending)) return;
    }
    zeq_event_loop_unregister(g_loop, fd);
    zeq_async_socket_close(sock);
    zeq_sb_free(pending);
    zeq_vec_free(conn);
    connection_closed();
}

static void on_connection(uint64_t user_data, int64_t fd, uint32_t events) {
    ZeqSocket *sock = zeq_async_socket_accept(g_listener);
    (void)user_data, (void)fd, (void)events;
    if (!sock) return;
    ZeqVec *conn = zeq_vec_new();
    zeq_vec_push(conn, (int64_t)(uintptr_t)sock);
    zeq_vec_push(conn, (int64_t)(uintptr_t)zeq_sb_new());
    if (zeq_event_loop_register(g_loop, sock->fd, 1, on_readable, (uint64_t)(uintptr_t)conn) != 0) {
        zeq_async_socket_close(sock);
        zeq_sb_free((ZeqStringBuilder *)(uintptr_t)zeq_vec_get(conn, 1));
        zeq_vec_free(conn);
    }
}

int64_t zeq_user_main(void) {
    int32_t port = zeq_arg_count() > 1 ? (int32_t)zeq_parse_int(zeq_get_arg(1)) : 8080;
    return serve(port, zeq_arg_count() > 2 ? zeq_parse_int(zeq_get_arg(2)) : 0, on_connection);
}
