"""A loopback TCP proxy for the fault tests: it passes traffic, refuses it, black-holes it or delays it.

- pass:      bytes go both ways as they come.
- refuse:    every open connection is reset, and new ones are reset as soon as they are accepted.
- blackhole: connections stay open and silent: what comes in is read and dropped, nothing goes out,
             nothing is closed. A connection that dropped bytes stays dead after the mode changes
             (its stream lost bytes), as a peer behind a dead route would.
- hold-replies: requests reach the server, its answers are dropped (the connection then stays dead);
             a way to have a request stored while its client never hears of it.
- delay:     each chunk waits `delay` seconds before it goes on.
"""
import socket
import struct
import threading
import time


class Proxy:
    def __init__(self, upstream_port, listen_port=0):
        self.upstream_port = upstream_port
        self.mode = "pass"
        self.delay = 0.0
        self.accepted = 0
        self._lock = threading.Lock()
        self._connections = set()
        self._listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self._listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self._listener.bind(("127.0.0.1", listen_port))
        self._listener.listen(64)
        self.port = self._listener.getsockname()[1]
        self._stopped = False
        threading.Thread(target=self._accept_loop, daemon=True).start()

    def url(self):
        return "http://127.0.0.1:%d" % self.port

    def set_mode(self, mode, delay=0.0):
        assert mode in ("pass", "refuse", "blackhole", "hold-replies", "delay"), mode
        with self._lock:
            self.mode = mode
            self.delay = delay
            doomed = list(self._connections) if mode == "refuse" else []
        for conn in doomed:
            conn.reset()

    def reset_all(self):
        with self._lock:
            doomed = list(self._connections)
        for conn in doomed:
            conn.reset()

    def close(self):
        self._stopped = True
        try:
            self._listener.close()
        except OSError:
            pass
        self.reset_all()

    def _accept_loop(self):
        while not self._stopped:
            try:
                client, _ = self._listener.accept()
            except OSError:
                return
            with self._lock:
                self.accepted += 1
                mode = self.mode
            if mode == "refuse":
                _reset(client)
                continue
            try:
                server = socket.create_connection(("127.0.0.1", self.upstream_port), timeout=5)
                server.settimeout(None)
            except OSError:
                _reset(client)
                continue
            conn = _Connection(self, client, server)
            with self._lock:
                self._connections.add(conn)
            conn.start()

    def _forget(self, conn):
        with self._lock:
            self._connections.discard(conn)


def _reset(sock):
    # Linger 0: close sends a reset. The shutdown first wakes a thread blocked in recv on it, which would
    # otherwise keep the socket open (and the peer waiting) after close.
    for step in (lambda: sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0)),
                 lambda: sock.shutdown(socket.SHUT_RDWR), sock.close):
        try:
            step()
        except OSError:
            pass


class _Connection:
    def __init__(self, proxy, client, server):
        self.proxy = proxy
        self.client = client
        self.server = server
        self.dead = None  # why it lost bytes ("blackhole", "hold-replies"): it never forwards again
        self._closed = False
        self._lock = threading.Lock()

    def start(self):
        threading.Thread(target=self._pump, args=(self.client, self.server, True), daemon=True).start()
        threading.Thread(target=self._pump, args=(self.server, self.client, False), daemon=True).start()

    def reset(self):
        with self._lock:
            if self._closed:
                return
            self._closed = True
        _reset(self.client)
        _reset(self.server)
        self.proxy._forget(self)

    def _pump(self, source, sink, upward):
        while True:
            try:
                data = source.recv(65536)
            except OSError:
                data = b""
            if not data:
                # The other side closed; behind a black hole the peer never learns of it.
                if self.dead != "blackhole":
                    self.reset()
                return
            mode, delay = self.proxy.mode, self.proxy.delay
            if not self.dead and (mode == "blackhole" or (mode == "hold-replies" and not upward)):
                self.dead = mode
            if self.dead:
                continue
            if mode == "delay" and delay > 0:
                time.sleep(delay)
            try:
                sink.sendall(data)
            except OSError:
                self.reset()
                return
