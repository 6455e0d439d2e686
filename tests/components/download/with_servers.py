#!/usr/bin/env python3
"""Runs a test program with a payload served by nginx and by the fault server.

    with_servers.py [--windows] [--small] -- COMMAND...

The program finds everything in its environment: DL_PAYLOAD (the served file),
DL_NGINX_URL and DL_FAULT_URL (base addresses ending in a slash; a fault mode is the
first path segment), DL_SAVE_DIR (an empty folder, ending in a separator) and
DL_FAULT_PORT. With --windows the paths are given as Wine sees them (Z:\\...).
"""
import os
import random
import shutil
import subprocess
import sys
import tempfile

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "..", "support"))
from faultserver import FaultServer  # noqa: E402
from nginx import Nginx  # noqa: E402

# Not a multiple of any buffer or part size. --small for slow builds (sanitizers).
PAYLOAD_SIZE = 3 * 1024 * 1024 + 12345
SMALL_PAYLOAD_SIZE = 1024 * 1024 + 12345


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def main():
    args = sys.argv[1:]
    windows = small = False
    while args and args[0] in ("--windows", "--small"):
        windows = windows or args[0] == "--windows"
        small = small or args[0] == "--small"
        args = args[1:]
    size = SMALL_PAYLOAD_SIZE if small else PAYLOAD_SIZE
    if args and args[0] == "--":
        args = args[1:]
    work = tempfile.mkdtemp(prefix="dl-test-")
    try:
        served = os.path.join(work, "served")
        save = os.path.join(work, "save")
        os.makedirs(served)
        os.makedirs(save)
        payload = os.path.join(served, "payload.bin")
        with open(payload, "wb") as f:
            f.write(random.Random(4).randbytes(size))
        # Every cut or stalled response still brings a part of the file.
        with Nginx(served) as web, FaultServer(payload, cut_bytes=size * 2 // 9,
                                               stall_seconds=20) as faults:
            env = dict(os.environ)
            convert = windows_path if windows else (lambda p: p)
            env["DL_PAYLOAD"] = convert(payload)
            env["DL_SAVE_DIR"] = convert(save + "/")
            env["DL_NGINX_URL"] = web.url("")
            env["DL_FAULT_URL"] = faults.url("")
            env["DL_FAULT_PORT"] = str(faults.port)
            result = subprocess.run(args, env=env, stdin=subprocess.DEVNULL)
            return result.returncode
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
