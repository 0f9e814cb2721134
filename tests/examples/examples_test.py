"""Runs one example as a user would and checks what it prints.

usage: examples_test.py EXAMPLE BIN_DIR

Servers listen on a port the system chooses and are reached on loopback
only; every wait is bounded.  Exit status 0 on success, 77 when a tool the
check needs is missing, 1 with a message otherwise.
"""
import os
import select
import shutil
import socket
import subprocess
import sys
import tempfile
import time

TIMEOUT = 20
BIN_DIR = sys.argv[2] if len(sys.argv) > 2 else "."


def fail(message):
    print("FAIL:", message)
    sys.exit(1)


def expect_equal(actual, expected, what):
    if actual != expected:
        fail("%s:\n--- expected\n%s\n--- got\n%s" % (what, expected, actual))


def run(*args):
    return subprocess.run([os.path.join(BIN_DIR, args[0])] + list(args[1:]), capture_output=True,
                          text=True, timeout=TIMEOUT)


class Server:
    """An example server started with port 0; .port is the one it prints."""

    def __init__(self, *args):
        self.proc = subprocess.Popen([os.path.join(BIN_DIR, args[0])] + list(args[1:]),
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        ready, _, _ = select.select([self.proc.stdout], [], [], TIMEOUT)
        line = self.proc.stdout.readline() if ready else ""
        if not line.startswith("listening on "):
            self.proc.kill()
            fail("%s did not start: %r" % (args[0], line))
        self.port = int(line.split()[-1])

    def finish(self):
        """Waits for the server to stop by itself; (status, rest of stdout)."""
        try:
            out, err = self.proc.communicate(timeout=TIMEOUT)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            fail("the server did not stop after its connections")
        if err:
            fail("the server wrote to stderr: " + err)
        return self.proc.returncode, out


def word_freq():
    text = "the cat and the dog\nand the bird\n\t the end  cat\n"
    with tempfile.NamedTemporaryFile("w", suffix=".txt") as f:
        f.write(text)
        f.flush()
        r = run("word_freq", f.name, "3")
        expect_equal((r.returncode, r.stdout), (0, "4 the\n2 and\n2 cat\n"), "top 3")
        r = run("word_freq", f.name)
        expect_equal(r.stdout, "4 the\n2 and\n2 cat\n1 bird\n1 dog\n1 end\n", "default top")
    r = run("word_freq", os.path.join(BIN_DIR, "no such file"))
    expect_equal(r.returncode, 1, "status for a missing file")


def pipeline():
    for items, workers in ((10000, 4), (1, 1), (777, 9)):
        primes = sum(1 for n in range(2, items + 1) if all(n % d for d in range(2, int(n ** 0.5) + 1)))
        total = items * (items + 1) // 2
        r = run("pipeline", str(items), str(workers))
        expect_equal((r.returncode, r.stdout),
                     (0, "items %d\nworkers %d\nsum %d\nexpected %d\nprimes %d\nnot exactly once 0\n"
                      % (items, workers, total, total, primes)), "pipeline %d %d" % (items, workers))


def echo_server():
    server = Server("echo_server", "serve", "0", "2")
    long_text = "".join(chr(ord("a") + i % 26) for i in range(6000))  # more than one read
    r = run("echo_server", "send", "127.0.0.1", str(server.port), "hello", long_text)
    expect_equal((r.returncode, r.stdout), (0, "echo: hello\necho: %s\n" % long_text), "first client")
    r = run("echo_server", "send", "127.0.0.1", str(server.port), "bye")
    expect_equal((r.returncode, r.stdout), (0, "echo: bye\n"), "second client")
    expect_equal(server.finish(), (0, "closed connections: 2\n"), "server")


def read_responses(sock, count):
    """Reads until count responses (with Content-Length bodies) arrived or
    the peer closed; returns the raw bytes and whether the peer closed."""
    data = b""
    deadline = time.monotonic() + TIMEOUT
    while data.count(b"HTTP/1.1 ") < count or not complete(data):
        sock.settimeout(max(0.1, deadline - time.monotonic()))
        chunk = sock.recv(4096)
        if not chunk:
            return data, True
        data += chunk
    sock.settimeout(0.5)
    try:
        return data, sock.recv(1) == b""
    except socket.timeout:
        return data, False


def complete(data):
    head, sep, body = data.rpartition(b"\r\n\r\n")
    if not sep:
        return False
    length = [int(line.split(b":")[1]) for line in head.split(b"\r\n") if line.startswith(b"Content-Length:")]
    return bool(length) and len(body) >= length[-1]


def exchange(port, request, count):
    with socket.create_connection(("127.0.0.1", port), timeout=TIMEOUT) as sock:
        sock.sendall(request)
        return read_responses(sock, count)


def http_hello():
    curl = shutil.which("curl")
    if not curl:
        print("SKIP: no curl")
        sys.exit(77)
    server = Server("http_hello", "0", "5")
    url = "http://127.0.0.1:%d" % server.port

    def fetch(*args):
        return subprocess.run([curl, "-s", "--max-time", str(TIMEOUT)] + list(args), capture_output=True,
                              text=True, timeout=TIMEOUT).stdout

    expect_equal(fetch("-i", url + "/").replace("\r\n", "\n"),
                 "HTTP/1.1 200 OK\nContent-Type: text/plain\nContent-Length: 14\n\nHello, world!\n", "GET /")
    # Two requests on one connection: the second makes no new connection.
    expect_equal(fetch("-o", "/dev/null", "-o", "/dev/null", "-w", "%{http_code} %{num_connects}\n",
                       url + "/", url + "/missing"), "200 1\n404 0\n", "keep-alive")

    ok = b"HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 14\r\n\r\nHello, world!\n"
    missing = b"HTTP/1.1 404 Not Found\r\nContent-Type: text/plain\r\nContent-Length: 10\r\n\r\nNot found\n"
    pipelined = b"GET / HTTP/1.1\r\nHost: a\r\n\r\nPOST /form HTTP/1.1\r\nContent-Length: 5\r\n\r\nx=1&y"
    expect_equal(exchange(server.port, pipelined, 2), (ok + missing, False), "pipelined pair")
    expect_equal(exchange(server.port, b"GET /\r\n\r\n", 1),
                 (b"HTTP/1.1 400 Bad Request\r\nContent-Type: text/plain\r\nContent-Length: 12\r\n"
                  b"Connection: close\r\n\r\nBad request\n", True), "malformed request line")
    expect_equal(exchange(server.port, b"GET / HTTP/1.0\r\n\r\n", 1),
                 (ok.replace(b"\r\n\r\n", b"\r\nConnection: close\r\n\r\n"), True), "HTTP/1.0 closes")
    expect_equal(server.finish(), (0, "closed connections: 5\n"), "server")


def panic_host():
    r = run("panic_host")
    expect_equal((r.returncode, r.stdout, r.stderr),
                 (0, "100 / 4 = 25\nrecovered: division by zero\n100 / 5 = 20\n", ""), "panic_host")


if __name__ == "__main__":
    {"word_freq": word_freq, "pipeline": pipeline, "echo_server": echo_server,
     "http_hello": http_hello, "panic_host": panic_host}[sys.argv[1]]()
    print("ok")
