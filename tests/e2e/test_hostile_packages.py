"""Hostile packages through the real updater.exe: the unpack fuzz target's seed archives
(parent and absolute names, drive letters, UNC names, bad CRC, truncated central
directory, encrypted entries, unknown methods...), an empty executable package, a ZIP
whose declared sizes exceed the free space, a file that is no ZIP at all.

The rule for each, with the SHA-256 of every file of the target folder before and after:
either the package landed whole (every file it brings in place, by the overwrite rules of
the tree copy) or the target folder is byte for byte unchanged. Nothing may be written
outside the target folder and the staging area: a sentinel folder beside the target stays
as it was, and no entry's escape name turns up anywhere in the prefix or in /tmp."""
import hashlib
import io
import os
import shutil
import zipfile

import e2e

LIMIT = 60  # seconds: only catches a hang
IMAGE = "pkg_app.exe"
CORPUS = os.path.join(e2e.SOURCE, "tests", "fuzz", "corpus", "unpack")

# seed archive -> "installed", "unchanged", or "either" (a name the unpacker may take
# or refuse, as long as it is all or nothing).
SEEDS = {
    "good.zip": "installed",
    "stream.zip": "unchanged",
    "dotdot_slash.zip": "unchanged",
    "dotdot_backslash.zip": "unchanged",
    "dotdot_deep.zip": "unchanged",
    "dotdot_behind_lead_byte.zip": "either",
    "absolute.zip": "unchanged",
    "absolute_backslash.zip": "unchanged",
    "drive.zip": "unchanged",
    "unc.zip": "unchanged",
    "device.zip": "unchanged",
    "bad_crc.zip": "unchanged",
    "short_stream.zip": "unchanged",
    "encrypted.zip": "unchanged",
    "method99.zip": "unchanged",
    "utf8_name.zip": "either",
    "file_then_folder.zip": "unchanged",
    "truncated_central_directory.zip": "unchanged",
    "truncated_data.zip": "unchanged",
    "not_a_zip.zip": "unchanged",
}


def entry_name(info):
    """The entry's name as the target's file system shows it (Linux side, UTF-8)."""
    raw = info.orig_filename if info.flag_bits & 0x800 else info.orig_filename.encode("cp437")
    if isinstance(raw, bytes):
        raw = raw.decode("gbk")
    return raw


def entries_of(package):
    """(relative path, bytes or None for a folder) of every entry, or None when Python's own
    reader cannot read the archive whole."""
    try:
        with zipfile.ZipFile(io.BytesIO(package)) as z:
            return [(entry_name(i), None if i.is_dir() else z.read(i)) for i in z.infolist()]
    except Exception:  # any damage: such an archive can only leave the target unchanged
        return None


def expected_after(before, entries):
    after = dict(before)
    for name, data in entries:
        parts = [p for p in name.replace("\\", "/").split("/") if p]
        path = os.path.join(*parts)
        for depth in range(1, len(parts)):
            after.setdefault(os.path.join(*parts[:depth]), "dir")
        if data is None:
            after.setdefault(path, "dir")
        elif len(parts) == 1 or path not in after:
            after[path] = hashlib.sha256(data).hexdigest()
    return after


def oversized_zip():
    """Stored entries whose headers declare 4 GB each, more in all than the volume holds."""
    free = shutil.disk_usage(e2e.drive_c()).free
    count = free // 0xFFFFFFFF + 2
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_STORED) as z:
        for n in range(count):
            z.writestr("big%02d.bin" % n, b"small")
        infos = z.infolist()
    raw = bytearray(buffer.getvalue())
    central = raw.index(b"PK\x01\x02")
    for info in infos:
        raw[info.header_offset + 22:info.header_offset + 26] = b"\xff\xff\xff\xff"
    at = central
    while raw[at:at + 4] == b"PK\x01\x02":
        raw[at + 24:at + 28] = b"\xff\xff\xff\xff"
        name, extra, comment = (int.from_bytes(raw[at + o:at + o + 2], "little") for o in (28, 30, 32))
        at += 46 + name + extra + comment
    return bytes(raw)


def escapes():
    """Every file named like an escaping entry, in the prefix's drive and in /tmp."""
    found = []
    for top in (e2e.drive_c(), "/tmp", os.getcwd()):
        for base, dirs, files in os.walk(top):
            dirs[:] = [d for d in dirs if not d.startswith(("bash_jobs", ".X11"))]
            found += [os.path.join(base, f) for f in files if f.startswith("escape")]
    return found


class HostilePackages(e2e.TestCase):
    def cases(self):
        v2 = e2e.target_program(2)
        cases = [(name, e2e.read(os.path.join(CORPUS, name)), "pkg.zip", expectation)
                 for name, expectation in SEEDS.items()]
        cases += [
            ("empty executable package", b"", "pkg.exe", "unchanged"),
            ("empty zip file", b"", "pkg.zip", "unchanged"),
            ("declared sizes beyond the free space", oversized_zip(), "pkg.zip", "unchanged"),
            ("html page instead of an executable", b"<html>404</html>", "pkg.exe", "unchanged"),
            ("executable package", v2, "pkg.exe", "installed"),
        ]
        return cases

    def test_every_package_installs_whole_or_leaves_the_target_as_it_was(self):
        root = e2e.fresh_folder("hostile_package")
        sentinel = os.path.join(root, "sentinel")
        e2e.write(os.path.join(sentinel, "keep.txt"), b"beside the target")
        e2e.write(os.path.join(sentinel, "ok.txt"), b"a name the packages use")
        sentinel_before = e2e.snapshot(sentinel)
        escapes_before = escapes()
        rows, bad = [], []
        cases = self.cases()
        with e2e.Packages({"%02d/%s" % (n, served): package
                           for n, (_, package, served, _) in enumerate(cases)}) as server:
            for n, (name, package, served, expectation) in enumerate(cases):
                with self.subTest(name):
                    folder = os.path.join(root, "target")
                    shutil.rmtree(folder, ignore_errors=True)
                    exe = os.path.join(folder, IMAGE)
                    e2e.write(exe, e2e.target_program(1))
                    e2e.write(os.path.join(folder, "ok.txt"), b"old ok")
                    e2e.write(os.path.join(folder, "data", "conf.ini"), b"[user]")
                    e2e.clear_staging()
                    before = e2e.snapshot(folder)
                    updater = e2e.Updater(e2e.request("包测试", "主页", "http://example.com/",
                                                      e2e.to_windows(exe), server.url("%02d/%s" % (n, served)),
                                                      "不提示", "否"))
                    self.assertEqual(updater.wait(LIMIT), 0)
                    after = e2e.snapshot(folder)
                    if served.endswith(".exe"):
                        whole = dict(before, **{IMAGE: hashlib.sha256(package).hexdigest()})
                    else:
                        entries = entries_of(package)
                        whole = expected_after(before, entries) if entries is not None else None
                    if after == whole:
                        outcome = "installed"
                    elif after == before:
                        outcome = "unchanged"
                    else:
                        outcome = "MIXED"
                        bad.append(name)
                    stray = sorted(set(escapes()) - set(escapes_before))
                    outside = e2e.snapshot(sentinel) != sentinel_before
                    print("  %-40s %-8s expected %-9s -> %s%s%s" % (
                        name, "(%d B)" % len(package), expectation, outcome,
                        "; WRITTEN OUTSIDE: %s" % stray if stray else "",
                        "; SENTINEL CHANGED" if outside else ""), flush=True)
                    rows.append(outcome)
                    self.assertEqual(stray, [])
                    self.assertFalse(outside, "the folder beside the target changed")
                    self.assertNotEqual(outcome, "MIXED", sorted(
                        k for k in set(before) | set(after) if before.get(k) != after.get(k)))
                    if expectation != "either":
                        self.assertEqual(outcome, expectation)
                    # Closing the window removed the staging area, whatever the unpack left.
                    self.assertFalse(os.path.exists(e2e.staging_paths()["folder"]))
        print("hostile packages: %d tried, %d installed whole, %d left unchanged, %d mixed"
              % (len(rows), rows.count("installed"), rows.count("unchanged"), len(bad)))


if __name__ == "__main__":
    e2e.main()
