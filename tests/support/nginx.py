#!/usr/bin/env python3
"""A real nginx on 127.0.0.1 serving one folder, for tests and benchmarks.

    with Nginx(root, limit_rate="8m") as n:
        url = n.url("pkg.zip")

or from a shell: python3 tests/support/nginx.py --root DIR [--limit-rate 8m]
prints the port and serves until it is killed. Every run has its own prefix folder
(configuration, pid, logs, temp files), so runs never share state.
"""
import argparse
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

NGINX = "/usr/sbin/nginx"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Nginx:
    def __init__(self, root, limit_rate=None, port=None):
        self.root = os.path.abspath(root)
        self.limit_rate = limit_rate
        self.port = port
        self.prefix = None
        self.process = None

    def url(self, name=""):
        return "http://127.0.0.1:%d/%s" % (self.port, name.lstrip("/"))

    def _config(self):
        rate = "limit_rate %s;" % self.limit_rate if self.limit_rate else ""
        p = self.prefix
        return f"""
daemon off;
master_process off;
worker_processes 1;
pid {p}/nginx.pid;
error_log {p}/error.log warn;
events {{ worker_connections 256; }}
http {{
    access_log {p}/access.log;
    client_body_temp_path {p}/client;
    proxy_temp_path {p}/proxy;
    fastcgi_temp_path {p}/fastcgi;
    uwsgi_temp_path {p}/uwsgi;
    scgi_temp_path {p}/scgi;
    default_type application/octet-stream;
    sendfile on;
    tcp_nopush on;
    keepalive_requests 10000;
    server {{
        listen 127.0.0.1:{self.port};
        root {self.root};
        {rate}
    }}
}}
"""

    def start(self):
        self.prefix = tempfile.mkdtemp(prefix="nginx-test-")
        for attempt in range(20):
            if self.port is None or attempt > 0:
                self.port = free_port()
            conf = os.path.join(self.prefix, "nginx.conf")
            with open(conf, "w") as f:
                f.write(self._config())
            self.process = subprocess.Popen(
                [NGINX, "-p", self.prefix, "-c", conf, "-e", os.path.join(self.prefix, "error.log")],
                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            if self._wait_listening():
                return self
            self.process.kill()
            self.process.wait()
        raise RuntimeError("nginx did not start; see " + self.prefix)

    def _wait_listening(self):
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                return False
            try:
                with socket.create_connection(("127.0.0.1", self.port), timeout=0.2):
                    return True
            except OSError:
                time.sleep(0.02)
        return False

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.send_signal(signal.SIGQUIT)  # graceful: finish, then exit
            try:
                self.process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        if self.prefix:
            shutil.rmtree(self.prefix, ignore_errors=True)
            self.prefix = None

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", required=True)
    parser.add_argument("--limit-rate", default=None, help="per connection, e.g. 8m")
    parser.add_argument("--port", type=int, default=None)
    args = parser.parse_args()
    server = Nginx(args.root, args.limit_rate, args.port).start()
    stop = lambda *_: (server.stop(), sys.exit(0))
    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    print(server.port, flush=True)
    while server.process.poll() is None:
        time.sleep(0.5)
    server.stop()


if __name__ == "__main__":
    main()
