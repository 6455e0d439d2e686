#!/usr/bin/env python3
"""Install benchmark: a whole update by updater.exe under Wine against unzip and cp.

Makes two versions of a program folder (2,000 files by default in nested folders,
about 200 MB, mixed sizes, half the bytes compressible text and half random), packs
the new one with `zip -r`, serves the package from nginx on 127.0.0.1 (no rate limit)
and, RUNS times each, from the same target state every time (the old version, reset
before each run):

  ours         updater.exe under Wine updating the folder (notice "不提示", no relaunch):
               from its start to its exit. Also the install part alone: from the moment
               the staging folder "Temp" appears (the completion sequence creates it just
               before the notice and the unpack; the download has completed by then) to
               the exit, i.e. unpack, tree copy, removal of the staging area and exit;
               and of that the unpack alone, until Temp.zip is removed (which the
               install does right after a successful unpack), and the tree copy, from
               then to the last inode change in the target (each copied file is renamed
               into place), and the removal of the staging folder, from then until it
               is gone.
  download     updater.exe with a package of the same size that is no ZIP archive: the
  only         download, the same completion sequence with a failing unpack, and exit.
               "ours - download only" is a second estimate of the install part.
  native       `unzip -o -q` of the archive into a staging folder, then `cp -r` of that
               tree over the folder.

Prints the medians side by side and the ratios ours/native. Every run's result is
checked: after ours, the files directly in the program folder are the new ones, files
in sub-folders that the old version had are kept and the others added (the updater
replaces only top-level files), and the staging area is gone; after native, every
file is the new one.

So by default the updater rewrites the top-level files and the ones the old version
lacks, while cp -r rewrites every file. With --fresh-target the target holds only the
program file, so both sides write every file of the package.

Needs the display and the wineserver of scripts/lib/wine-env.sh (bench/install.sh
sets them up) and E2E_UPDATER, E2E_DRIVER, E2E_TARGET as for the end-to-end tests.

    bench/install.sh [--files 2000] [--total-mb 200] [--runs 5] [--fresh-target]
"""
import argparse
import filecmp
import os
import random
import shutil
import statistics
import subprocess
import sys
import time

root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(root, "tests", "e2e"))
import e2e  # noqa: E402  (the end-to-end runner: Wine, the window driver, nginx)

PROGRAM = "benchapp.exe"  # the target program's file name: no such process runs
WORDS = ("update install window folder package archive progress status connection "
         "buffer thread event timer notice staging target version release build "
         "config value path file entry name size offset range total speed").split()


# ---- the two versions of the program folder ----

def text_block(rng, size):
    out, n = [], 0
    while n < size:
        line = " ".join(rng.choice(WORDS) for _ in range(rng.randint(4, 14))) + "\n"
        out.append(line)
        n += len(line)
    return "".join(out).encode()[:size]


def layout(rng, files, total):
    """[(relative path, size, compressible)]: the program file and some files on top,
    the rest in nested folders up to four levels deep; sizes log-normal, scaled to
    `total` bytes."""
    folders = [""]
    for a in range(8):
        folders.append("lib%d" % a)
        for b in range(4):
            folders.append("lib%d/mod%d" % (a, b))
            for c in range(3):
                folders.append("lib%d/mod%d/res%d" % (a, b, c))
                if c == 0:
                    folders.append("lib%d/mod%d/res%d/deep" % (a, b, c))
    sizes = [min(rng.lognormvariate(9.3, 1.7), 8e6) for _ in range(files)]
    scale = total / sum(sizes)
    entries = [(PROGRAM, int(sizes[0] * scale) + 1, False)]
    for i, s in enumerate(sizes[1:], 1):
        compressible = rng.random() < 0.5
        ext = rng.choice((".txt", ".xml", ".ini", ".js")) if compressible else \
            rng.choice((".dll", ".png", ".bin", ".dat"))
        folder = "" if i < 12 else rng.choice(folders[1:])
        name = "%s/f%04d%s" % (folder, i, ext) if folder else "f%04d%s" % (i, ext)
        entries.append((name, max(1, int(s * scale)), compressible))
    return entries


def write_tree(base, entries, rng, text_pool):
    for name, size, compressible in entries:
        path = os.path.join(base, *name.split("/"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            if compressible:
                if size < len(text_pool):
                    at = rng.randrange(len(text_pool) - size)
                    f.write(text_pool[at:at + size])
                else:
                    f.write((text_pool * (1 + size // len(text_pool)))[:size])
            else:
                f.write(rng.randbytes(size))


def make_versions(work, files, total, fresh_target):
    """Writes work/new (version 2), work/old (version 1: the same names with other
    bytes, less the ones version 2 adds, plus a file of the user's) and the package."""
    rng = random.Random(20261211)
    entries = layout(rng, files, total)
    text_pool = text_block(rng, 4 << 20)
    new, old = os.path.join(work, "new"), os.path.join(work, "old")
    write_tree(new, entries, rng, text_pool)
    if fresh_target:
        kept = [entries[0]]
    else:
        kept = [e for e in entries if e[0] == PROGRAM or rng.random() >= 0.1]
    write_tree(old, [(n, max(1, s + rng.randint(-100, 100)), c) for n, s, c in kept], rng, text_pool)
    e2e.write(os.path.join(old, "lib0", "user-settings.ini"), b"[user]\r\ntheme=dark\r\n")
    served = os.path.join(work, "served")
    os.makedirs(served)
    package = os.path.join(served, "app-2.zip")
    subprocess.run(["zip", "-r", "-q", "-6", package, "."], cwd=new, check=True)
    # Same size, no ZIP archive: the download-only run.
    with open(os.path.join(served, "broken.zip"), "wb") as f:
        f.write(rng.randbytes(os.path.getsize(package)))
    return new, old, package, entries, kept


# ---- checks ----

def same(a, b):
    return os.path.getsize(a) == os.path.getsize(b) and filecmp.cmp(a, b, shallow=False)


def check_target(target, new, old, entries, kept_names, ours):
    for name, _, _ in entries:
        top = "/" not in name
        source = new if (top or not ours or name not in kept_names) else old
        if not same(os.path.join(target, name), os.path.join(source, name)):
            sys.exit("wrong bytes in %s after %s" % (name, "ours" if ours else "native"))
    if not same(os.path.join(target, "lib0", "user-settings.ini"),
                os.path.join(old, "lib0", "user-settings.ini")):
        sys.exit("the user's own file was changed")


# ---- runs ----

def reset(target, old, native_staging):
    shutil.rmtree(target, ignore_errors=True)
    shutil.rmtree(native_staging, ignore_errors=True)
    shutil.copytree(old, target)
    e2e.clear_staging()
    subprocess.run(["sync"], check=True)  # earlier runs' writes are not this run's cost


def last_change(folder):
    """The latest inode change time (Linux ctime, wall clock) below `folder`: the tree
    copy renames each new file into place, which sets it; the file's own times are the
    package's."""
    latest = 0.0
    for base, dirs, files in os.walk(folder):
        for name in dirs + files:
            latest = max(latest, os.lstat(os.path.join(base, name)).st_ctime)
    return latest


def run_ours(url, target):
    """For one updater.exe run, in seconds: the whole run; from the staging folder's
    appearance to the exit; the unpack (from the staging folder's appearance to the
    removal of Temp.zip, which follows a successful unpack; None when it stays); and the
    tree copy (from then to the last change in the target) and the removal of the staging
    folder (from then until it is gone); the last three None without an unpack)."""
    staging = e2e.staging_paths()
    program = "Z:" + os.path.join(target, PROGRAM).replace("/", "\\")
    args = e2e.request("安装测速", "主页", "http://example.com/", program, url, "不提示", "否")
    start = time.monotonic()
    updater = e2e.Updater(args)
    marked = unpacked = removed = None
    while updater.running():
        if marked is None:
            if os.path.isdir(staging["folder"]):
                marked = time.monotonic()
        elif unpacked is None:
            if not os.path.exists(staging["zip"]):
                unpacked, unpacked_wall = time.monotonic(), time.time()
        elif removed is None and not os.path.exists(staging["folder"]):
            removed = time.monotonic()
        time.sleep(0.002)
    end = time.monotonic()
    code = updater.wait(1)
    if code != 0:
        sys.exit("updater.exe ended with %d" % code)
    if marked is None:
        # The staging folder lives from the completion sequence to the exit: missed only
        # when that took less than a poll, i.e. when nothing was unpacked.
        sys.exit("updater.exe ended after %.3f s, and %s was never seen: no install took place"
                 % (end - start, staging["folder"]))
    if unpacked is None:
        return end - start, end - marked, None, None, None
    copied = last_change(target)
    return (end - start, end - marked, unpacked - marked, copied - unpacked_wall,
            (removed or end) - (unpacked + copied - unpacked_wall))


def run_native(package, target, staging):
    start = time.monotonic()
    subprocess.run(["unzip", "-o", "-q", package, "-d", staging], check=True)
    unzipped = time.monotonic()
    subprocess.run(["cp", "-r", staging + "/.", target + "/"], check=True)
    end = time.monotonic()
    return end - start, unzipped - start


def show(name, times):
    median = statistics.median(times)
    print("  %-46s median %7.3f s  (runs: %s)" % (name, median, " ".join("%.3f" % t for t in times)),
          flush=True)
    return median


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--files", type=int, default=2000)
    parser.add_argument("--total-mb", type=int, default=200)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--fresh-target", action="store_true",
                        help="the target holds only the program file")
    parser.add_argument("--work", default=os.path.join(root, "build", "bench-install"))
    args = parser.parse_args()
    if os.path.exists(args.work):
        shutil.rmtree(args.work)
    os.makedirs(args.work)
    try:
        bench(args)
    finally:
        e2e.kill_image("updater.exe")
        e2e.clear_staging()
        shutil.rmtree(args.work, ignore_errors=True)


def bench(args):
    # Every mark below is read in the prefix's temporary folder: make sure it is the one.
    temp = e2e.temp_folder()
    if not os.path.isdir(temp) or not os.path.realpath(temp).startswith(os.path.realpath(e2e.WINEPREFIX)):
        sys.exit("the temporary folder %r is not one of the Wine prefix" % temp)
    work = os.path.realpath(args.work)
    new, old, package, entries, kept = make_versions(work, args.files, args.total_mb * 1_000_000,
                                                     args.fresh_target)
    kept_names = {n for n, _, _ in kept}
    unpacked = sum(s for _, s, _ in entries)
    folders = {os.path.dirname(n) for n, _, _ in entries} - {""}
    print("package: %d files in %d folders, %.1f MB unpacked, %.1f MB zipped; target holds %s"
          % (len(entries), len(folders), unpacked / 1e6, os.path.getsize(package) / 1e6,
             "only %s" % PROGRAM if args.fresh_target else
             "the old version of %d of them" % len(kept)), flush=True)
    print("%d runs each, nginx on 127.0.0.1 without a rate limit; load average %.2f at the start"
          % (args.runs, os.getloadavg()[0]), flush=True)
    target = os.path.join(work, "target")
    staging = os.path.join(work, "native-staging")
    whole, install, ours_unpack, ours_copy, ours_removal, dl_whole, dl_tail, native, native_unzip = [], [], [], [], [], [], [], [], []
    with e2e.Nginx(os.path.dirname(package)) as web:
        for _ in range(args.runs):
            reset(target, old, staging)
            t, part, unpack, copy, removal = run_ours(web.url("app-2.zip"), target)
            if unpack is None:
                sys.exit("Temp.zip was not removed: the unpack failed")
            whole.append(t)
            install.append(part)
            ours_unpack.append(unpack)
            ours_copy.append(copy)
            ours_removal.append(removal)
            check_target(target, new, old, entries, kept_names, ours=True)
            left = e2e.staging_paths()
            if os.path.exists(left["folder"]) or os.path.exists(left["zip"]):
                sys.exit("the staging area remains after the update")
        for _ in range(args.runs):
            reset(target, old, staging)
            t, part = run_ours(web.url("broken.zip"), target)[:2]
            dl_whole.append(t)
            dl_tail.append(part)
            if not same(os.path.join(target, PROGRAM), os.path.join(old, PROGRAM)):
                sys.exit("a package that is no ZIP archive changed the target")
        for _ in range(args.runs):
            reset(target, old, staging)
            t, part = run_native(package, target, staging)
            native.append(t)
            native_unzip.append(part)
            check_target(target, new, old, entries, kept_names, ours=False)
    print("load average %.2f at the end (2 cores: other work on the machine slows both sides)"
          % os.getloadavg()[0], flush=True)
    ours_m = show("ours: whole update", whole)
    install_m = show("ours: install part (Temp to exit)", install)
    show("  of which unpack (Temp to Temp.zip gone)", ours_unpack)
    show("  of which tree copy (to last target change)", ours_copy)
    show("  of which removal of Temp (until it is gone)", ours_removal)
    dl_m = show("ours: download only (not a ZIP)", dl_whole)
    show("  of which Temp to exit", dl_tail)
    native_m = show("native: unzip -o + cp -r", native)
    show("  of which unzip -o", native_unzip)
    print("  ours whole/native %.2f   ours install part/native %.2f   "
          "(ours whole - download only)/native %.2f" % (
              ours_m / native_m, install_m / native_m, (ours_m - dl_m) / native_m), flush=True)


if __name__ == "__main__":
    main()
