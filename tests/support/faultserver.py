#!/usr/bin/env python3
"""A fault-injecting HTTP/1.1 server: serves one payload with a chosen behaviour.

    with FaultServer(payload_path, mode="cut") as s:
        url = s.url("pkg.zip")

or from a shell: python3 tests/support/faultserver.py --payload FILE --mode cut
prints the port and serves until it is killed.

A path whose first segment names a mode ("/stall/pkg.zip") uses that mode instead of
the server's own, so one server can play every behaviour. With `faults=N` only the
first N requests of each mode misbehave; later ones are served normally. Every
connection is closed after its response.
"""
import argparse
import os
import signal
import socket
import socketserver
import sys
import threading
import time

MODES = {
    "ranges": "normal: 206 with Content-Range for a range, 200 otherwise",
    "norange": "200 with the whole file to every request, ranges ignored",
    "wrongstart": "a range answered with a Content-Range that starts elsewhere",
    "wrongtotal": "range requests (the later connections) are told another total size",
    "cut": "the body is cut short after cut_bytes and the connection reset",
    "stall": "the body stops after cut_bytes and the connection stays silent",
    "404": "404 Not Found",
    "500": "500 Internal Server Error",
    "redirect": "302 to the same file under /ranges/",
    "chunked": "200 in chunked encoding, no length, ranges ignored",
    "extra": "more bytes than announced follow the body",
    "closeheaders": "the connection closes right after the response head",
    "trickle": "the body comes in small pieces with pauses",
    "loop": "302 back to the same address, forever",
    "hugeheader": "a response head with a header of 256 KiB",
}


class FaultServer:
    def __init__(self, payload, mode="ranges", faults=None, cut_bytes=None, stall_seconds=30.0,
                 trickle_bytes=4096, trickle_pause=0.05, port=0):
        if mode not in MODES:
            raise ValueError("unknown mode " + mode)
        with open(payload, "rb") as f:
            self.data = f.read()
        self.mode = mode
        self.faults = faults
        self.cut_bytes = cut_bytes if cut_bytes is not None else max(1, len(self.data) // 4)
        self.stall_seconds = stall_seconds
        self.trickle_bytes = trickle_bytes
        self.trickle_pause = trickle_pause
        self.requested_port = port
        self.counts = {}
        self.lock = threading.Lock()
        self.closing = threading.Event()
        self.server = None
        self.thread = None

    @property
    def port(self):
        return self.server.server_address[1]

    def url(self, name="payload.bin", mode=None):
        path = ("%s/%s" % (mode, name)) if mode else name
        return "http://127.0.0.1:%d/%s" % (self.port, path.lstrip("/"))

    def start(self):
        owner = self

        class Handler(socketserver.BaseRequestHandler):
            def handle(self):
                try:
                    owner._serve(self.request)
                except OSError:
                    pass

        class Server(socketserver.ThreadingTCPServer):
            allow_reuse_address = True
            daemon_threads = True
            request_queue_size = 64

        self.server = Server(("127.0.0.1", self.requested_port), Handler)
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)
        self.thread.start()
        return self

    def stop(self):
        self.closing.set()
        if self.server:
            self.server.shutdown()
            self.server.server_close()
            self.server = None

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()

    # --- one request ---

    def _read_head(self, sock):
        raw = b""
        while b"\r\n\r\n" not in raw:
            chunk = sock.recv(4096)
            if not chunk:
                return None
            raw += chunk
            if len(raw) > 65536:
                return None
        lines = raw.split(b"\r\n\r\n", 1)[0].decode("latin-1").split("\r\n")
        method, target, _ = (lines[0].split(" ") + ["", ""])[:3]
        headers = {}
        for line in lines[1:]:
            name, _, value = line.partition(":")
            headers[name.strip().lower()] = value.strip()
        return method, target, headers

    def _mode_of(self, target):
        path = target.split("?", 1)[0]
        first = path.lstrip("/").split("/", 1)[0]
        mode = first if first in MODES and "/" in path.lstrip("/") else self.mode
        with self.lock:
            n = self.counts.get(mode, 0) + 1
            self.counts[mode] = n
        if self.faults is not None and n > self.faults and mode not in ("404", "500", "loop"):
            return "ranges", n
        return mode, n

    @staticmethod
    def _range_start(headers):
        value = headers.get("range", "")
        if not value.startswith("bytes="):
            return None
        first = value[6:].split(",")[0].split("-")[0].strip()
        return int(first) if first.isdigit() else None

    def _send_head(self, sock, status, fields):
        reason = {200: "OK", 206: "Partial Content", 302: "Found", 404: "Not Found",
                  416: "Range Not Satisfiable", 500: "Internal Server Error"}[status]
        head = "HTTP/1.1 %d %s\r\n" % (status, reason)
        for name, value in fields:
            head += "%s: %s\r\n" % (name, value)
        head += "Connection: close\r\n\r\n"
        sock.sendall(head.encode("latin-1"))

    def _reset(self, sock):
        # An abortive close: the client sees a reset, not a clean end.
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, b"\x01\x00\x00\x00\x00\x00\x00\x00")
        sock.close()

    def _serve(self, sock):
        request = self._read_head(sock)
        if request is None:
            return
        method, target, headers = request
        if target.startswith("http://"):  # absolute form: we are being used as a proxy
            target = "/" + target[7:].split("/", 1)[-1]
            with self.lock:
                self.counts["proxied"] = self.counts.get("proxied", 0) + 1
        mode, count = self._mode_of(target)
        data, size = self.data, len(self.data)
        start = self._range_start(headers)
        name = target.split("?", 1)[0].rsplit("/", 1)[-1]

        if mode in ("404", "500"):
            body = b"<html>error page</html>"
            self._send_head(sock, int(mode), [("Content-Type", "text/html"),
                                               ("Content-Length", len(body))])
            sock.sendall(body)
            return
        if mode == "redirect":
            self._send_head(sock, 302, [("Location", "/ranges/" + name), ("Content-Length", 0)])
            return
        if mode == "loop":
            self._send_head(sock, 302, [("Location", target), ("Content-Length", 0)])
            return
        if mode == "chunked":
            self._send_head(sock, 200, [("Transfer-Encoding", "chunked")])
            step = 65536
            for i in range(0, size, step):
                piece = data[i:i + step]
                sock.sendall(b"%x\r\n" % len(piece) + piece + b"\r\n")
            sock.sendall(b"0\r\n\r\n")
            return

        total = size
        if mode == "wrongtotal" and start is not None:
            total = size + 1000
        ranged = start is not None and mode != "norange"
        if ranged and start >= size:
            self._send_head(sock, 416, [("Content-Range", "bytes */%d" % total), ("Content-Length", 0)])
            return
        fields = [("Content-Type", "application/octet-stream")]
        if mode == "hugeheader":
            fields.append(("X-Padding", "x" * (256 * 1024)))
        if ranged:
            shown = start
            if mode == "wrongstart":
                shown = min(size - 1, start + 4096) if start + 4096 < size else max(0, start - 4096)
            body = data[shown:]
            fields += [("Content-Range", "bytes %d-%d/%d" % (shown, size - 1, total)),
                       ("Content-Length", len(body))]
            self._send_head(sock, 206, fields)
        else:
            body = data
            fields.append(("Content-Length", len(body)))
            self._send_head(sock, 200, fields)

        if mode == "closeheaders":
            sock.close()
            return
        if mode == "cut":
            sock.sendall(body[:self.cut_bytes])
            time.sleep(0.05)
            self._reset(sock)
            return
        if mode == "stall":
            sock.sendall(body[:self.cut_bytes])
            self.closing.wait(self.stall_seconds)
            self._reset(sock)
            return
        if mode == "trickle":
            for i in range(0, len(body), self.trickle_bytes):
                if self.closing.is_set():
                    return
                sock.sendall(body[i:i + self.trickle_bytes])
                time.sleep(self.trickle_pause)
            return
        sock.sendall(body)
        if mode == "extra":
            sock.sendall(b"\0GARBAGE" * 8192)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0],
                                     epilog="modes: " + ", ".join(MODES))
    parser.add_argument("--payload", required=True)
    parser.add_argument("--mode", default="ranges", choices=sorted(MODES))
    parser.add_argument("--faults", type=int, default=None,
                        help="only the first N requests of a mode misbehave")
    parser.add_argument("--cut-bytes", type=int, default=None)
    parser.add_argument("--stall-seconds", type=float, default=30.0)
    parser.add_argument("--port", type=int, default=0)
    args = parser.parse_args()
    server = FaultServer(args.payload, args.mode, args.faults, args.cut_bytes,
                         args.stall_seconds, port=args.port).start()
    signal.signal(signal.SIGTERM, lambda *_: (server.stop(), sys.exit(0)))
    print(server.port, flush=True)
    try:
        while True:
            time.sleep(1)
    except KeyboardInterrupt:
        server.stop()


if __name__ == "__main__":
    main()
