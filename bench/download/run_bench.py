#!/usr/bin/env python3
"""Download benchmark: our download component against aria2c and curl.

Serves a file (512 MiB by default) from nginx on 127.0.0.1 and downloads it with our
component (the host build's dl_bench front end, 5 connections), with
`aria2c -x5 -s5 -k1M` and with `curl`, RUNS times each in one session; prints the
median times and the ratios ours/aria2c and ours/curl. Once as served, and once with
nginx's `limit_rate 8m` per connection, where our component also runs with one
connection (five should take about a fifth of one). Also prints our peak resident
memory as /usr/bin/time -v reports it. Every download is checked against the file.

    bench/download.sh [--size-mib 512] [--runs 5] [--skip-throttled] [--throttled-size-mib N]
"""
import argparse
import filecmp
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(root, "tests", "support"))
from nginx import Nginx  # noqa: E402


def make_file(path, size):
    block = os.urandom(1 << 20)
    with open(path, "wb") as f:
        for i in range(size >> 20):
            f.write(block[i % 251:] + block[:i % 251])  # no two MiB alike


def timed(command, out_path, source):
    if os.path.exists(out_path):
        os.remove(out_path)
    start = time.monotonic()
    result = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    elapsed = time.monotonic() - start
    if result.returncode != 0:
        sys.exit("failed: %s\n%s" % (" ".join(command), result.stderr[-2000:]))
    if not filecmp.cmp(out_path, source, shallow=False):
        sys.exit("wrong bytes from: " + " ".join(command))
    os.remove(out_path)
    return elapsed, result.stderr


def series(name, runs, make_command, out_path, source):
    times, peak_kib = [], 0
    for _ in range(runs):
        elapsed, err = timed(make_command(), out_path, source)
        times.append(elapsed)
        m = re.search(r"Maximum resident set size \(kbytes\): (\d+)", err)
        if m:
            peak_kib = max(peak_kib, int(m.group(1)))
    median = statistics.median(times)
    print("  %-22s median %7.3f s  (runs: %s)" % (name, median, " ".join("%.3f" % t for t in times)),
          flush=True)
    return median, peak_kib


def session(title, served, source, args, bench, limit_rate):
    print("== %s (%d MiB)" % (title, os.path.getsize(source) >> 20), flush=True)
    out_dir = tempfile.mkdtemp(prefix="bench-out-", dir=args.work)
    out = os.path.join(out_dir, "payload.bin")
    with Nginx(served, limit_rate=limit_rate) as web:
        url = web.url(os.path.basename(source))
        ours, peak = series("ours, 5 connections", args.runs,
                            lambda: ["/usr/bin/time", "-v", bench, url, out, "5"], out, source)
        aria = series("aria2c -x5 -s5 -k1M", args.runs,
                      lambda: ["aria2c", "-x5", "-s5", "-k1M", "-q", "--file-allocation=falloc",
                               "--allow-overwrite=true", "-d", out_dir, "-o", "payload.bin", url],
                      out, source)[0]
        curl = series("curl", args.runs, lambda: ["curl", "-s", "-o", out, url], out, source)[0]
        one = None
        if limit_rate:
            one = series("ours, 1 connection", args.runs,
                         lambda: [bench, url, out, "1"], out, source)[0]
    shutil.rmtree(out_dir, ignore_errors=True)
    print("  ours/aria2c %.2f   ours/curl %.2f%s   our peak RSS %.1f MiB" % (
        ours / aria, ours / curl,
        ("   ours 5/1 connections %.2f" % (ours / one)) if one else "", peak / 1024.0), flush=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=os.path.join(root, "build", "host"))
    parser.add_argument("--size-mib", type=int, default=512)
    parser.add_argument("--throttled-size-mib", type=int, default=None,
                        help="file size for the throttled session (default: --size-mib)")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--skip-throttled", action="store_true")
    parser.add_argument("--work", default=None, help="folder for the files (default: a temp folder)")
    args = parser.parse_args()
    bench = os.path.join(args.build, "bench", "download", "dl_bench")
    if not os.access(bench, os.X_OK):
        sys.exit("build dl_bench first: cmake --build %s --target dl_bench" % args.build)
    work = tempfile.mkdtemp(prefix="bench-download-", dir=args.work)
    args.work = work
    try:
        served = os.path.join(work, "served")
        os.makedirs(served)
        source = os.path.join(served, "payload.bin")
        make_file(source, args.size_mib << 20)
        print("%d runs each" % args.runs, flush=True)
        session("unthrottled", served, source, args, bench, None)
        if not args.skip_throttled:
            throttled = source
            if args.throttled_size_mib and args.throttled_size_mib != args.size_mib:
                throttled = os.path.join(served, "throttled.bin")
                make_file(throttled, args.throttled_size_mib << 20)
            session("nginx limit_rate 8m per connection", served, throttled, args, bench, "8m")
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
