"""Interrupted installs: the real updater.exe killed at many points of a large install.

The package replaces 900 small and 3 larger files (and the program) at the top of the
target folder and adds 400 files below it; "不提示", so the install starts as soon as the
download is complete. One uninterrupted run measures how long the unpack into the staging folder takes
(from the staging folder's creation to the archive's removal), how long the copy over the
target folder takes (until the last added file is there) and how long the clean-up after
it takes. Then each run kills the program at another point: one during the unpack, most
spread over the copy (timed from the archive's removal, which starts it), one during the
clean-up; alternately by SIGKILL of its process (the wineserver ends it at once) and by
TerminateProcess from another Windows process.

After each kill every file of the target folder must be the old one or the new one, whole,
and no old file may be missing. Files the copy itself may leave when killed between two
calls (a pending copy "~updN.tmp", empty or whole; a folder's write probe "TEMP.TMP") are
reported, and must not be partly written either; the next update takes them away."""
import hashlib
import os
import re
import shutil
import time

import e2e

KILLS = 16
TOP_FILES = 900    # replaced at the top of the target folder
ADDED_FILES = 400  # added below it
LIMIT = 120  # seconds: only catches a hang
IMAGE = "int_app.exe"
TEMPORARY = re.compile(r"(^|/)(~upd\d+\.tmp|TEMP\.TMP)$")


def sha(data):
    return hashlib.sha256(data).hexdigest()


class Install:
    """The old target folder and the package, as bytes and as hashes."""

    def __init__(self):
        self.old = {IMAGE: e2e.target_program(1)}
        self.new = {IMAGE: e2e.target_program(2)}
        for n in range(TOP_FILES):
            self.old["f%04d.dat" % n] = b"old %d " % n + os.urandom(400)
            self.new["f%04d.dat" % n] = b"new %d " % n + os.urandom(400)
        for n in range(3):
            self.old["big%d.bin" % n] = os.urandom(1_000_000)
            self.new["big%d.bin" % n] = os.urandom(1_000_000)
        for n in range(ADDED_FILES):
            self.new["lib/%d/g%04d.dat" % (n % 10, n)] = os.urandom(300)
        self.package = e2e.make_zip(list(self.new.items()))
        self.old_hash = {k: sha(v) for k, v in self.old.items()}
        self.new_hash = {k: sha(v) for k, v in self.new.items()}
        self.new_digests = set(self.new_hash.values())
        self.added = [k for k in self.new if "/" in k]

    def reset(self, folder):
        shutil.rmtree(folder, ignore_errors=True)
        for name, data in self.old.items():
            e2e.write(os.path.join(folder, name), data)
        e2e.clear_staging()

    def check(self, folder):
        """(new files, old files, temporary files, faults) of the target folder."""
        new = old = 0
        temporary, faults = [], []
        seen = set()
        for base, _, files in os.walk(folder):
            for f in files:
                path = os.path.relpath(os.path.join(base, f), folder).replace(os.sep, "/")
                seen.add(path)
                data = e2e.read(os.path.join(base, f))
                digest = sha(data)
                if TEMPORARY.search(path):
                    temporary.append("%s (%d bytes)" % (path, len(data)))
                    whole = digest in self.new_digests or data == b"\x02\x03\x04"  # the probe's bytes
                    if data and not whole:
                        faults.append("%s is partly written (%d bytes)" % (path, len(data)))
                    continue
                if digest == self.new_hash.get(path):
                    new += 1
                elif digest == self.old_hash.get(path):
                    old += 1
                else:
                    faults.append("%s is neither old nor new (%d bytes)"
                                  % (path, os.path.getsize(os.path.join(base, f))))
        faults += ["%s is missing" % p for p in self.old if p not in seen]
        return new, old, temporary, faults


class InterruptedInstall(e2e.TestCase):
    def start(self, server, folder):
        return e2e.Updater(e2e.request("中断测试", "主页", "http://example.com/",
                                       e2e.to_windows(os.path.join(folder, IMAGE)),
                                       server.url("big.zip"), "不提示", "否"))

    @staticmethod
    def wait_for(condition, updater):
        """The moment `condition` holds, polled every 5 ms while the program runs, or None."""
        deadline = time.monotonic() + LIMIT
        while time.monotonic() < deadline and updater.running():
            if condition():
                return time.monotonic()
            time.sleep(0.005)
        return None

    def test_every_file_is_old_or_new_whole_wherever_the_install_is_killed(self):
        install = Install()
        folder = e2e.fresh_folder("interrupted")
        staging = e2e.staging_paths()
        install_started = lambda: os.path.isdir(staging["folder"])  # noqa: E731
        copy_started = lambda: not os.path.exists(staging["zip"])  # noqa: E731
        copy_ended = lambda: all(os.path.exists(os.path.join(folder, p)) for p in install.added)  # noqa: E731
        with e2e.Packages({"big.zip": install.package}) as server:
            # The uninterrupted run: the spans to place the kills in, and the end state.
            install.reset(folder)
            updater = self.start(server, folder)
            began = self.wait_for(install_started, updater)
            self.assertIsNotNone(began, "the install never started")
            unpacked = self.wait_for(copy_started, updater)
            copied = self.wait_for(copy_ended, updater)
            self.assertEqual(updater.wait(LIMIT), 0)
            ended = time.monotonic()
            self.assertTrue(unpacked and copied, "the phases of the install were not seen")
            new, old, temporary, faults = install.check(folder)
            self.assertEqual((new, old, temporary, faults), (len(install.new), 0, [], []))
            unpack, copy, cleanup = unpacked - began, copied - unpacked, ended - copied
            print("install: unpack %.2f s, copy %.2f s, clean-up %.2f s (measured once, to place "
                  "the kills)" % (unpack, copy, cleanup), flush=True)

            # (the moments to wait for in turn, delay after the last, phase)
            in_unpack, in_cleanup = 1, 1
            in_copy = KILLS - in_unpack - in_cleanup
            points = [((install_started,), unpack * (i + 0.5) / in_unpack, "unpack") for i in range(in_unpack)]
            points += [((install_started, copy_started), copy * 1.1 * i / in_copy, "copy") for i in range(in_copy)]
            points += [((install_started, copy_started), copy + cleanup * (i + 0.5) / in_cleanup, "clean-up")
                       for i in range(in_cleanup)]
            partial, lost, leftovers = 0, 0, 0
            for i, (anchors, delay, phase) in enumerate(points):
                install.reset(folder)
                updater = self.start(server, folder)
                at = None
                for anchor in anchors:
                    at = self.wait_for(anchor, updater)
                self.assertIsNotNone(at, "run %d: the install never reached the %s" % (i, phase))
                time.sleep(max(0.0, at + delay - time.monotonic()))
                how = "SIGKILL" if i % 2 == 0 else "TerminateProcess"
                finished = not updater.running()
                if how == "SIGKILL":
                    updater.kill()
                else:
                    e2e.kill_image("updater.exe")
                    updater.wait(LIMIT)
                self.assertEqual(e2e.process_count("updater.exe"), 0)
                new, old, temporary, faults = install.check(folder)
                partial += 0 < new < len(install.new)
                lost += bool(faults)
                leftovers += len(temporary)
                state = "ended before the kill" if finished else "%d new, %d old" % (new, old)
                print("  kill %2d in the %-8s +%.2f s by %-16s: %s%s%s" % (
                    i, phase, delay, how, state, "; left: %s" % temporary if temporary else "",
                    "; LOST: %s" % faults[:5] if faults else ""), flush=True)

            # The next update over what kills leave: an empty pending copy, and a whole,
            # read-only one that was not yet renamed. It lands whole and takes them away.
            install.reset(folder)
            e2e.write(os.path.join(folder, "~upd0.tmp"), b"")
            stale = os.path.join(folder, "lib", "4", "~upd0.tmp")
            e2e.write(stale, install.new[install.added[4]])
            os.chmod(stale, 0o444)
            self.assertEqual(self.start(server, folder).wait(LIMIT), 0)
            new, old, temporary, faults = install.check(folder)
            self.assertEqual((new, old, temporary, faults), (len(install.new), 0, [], []),
                             "an update after an interrupted one")
            e2e.clear_staging()
        print("interrupted installs: %d tried, %d killed in the middle of the copy, %d with anything "
              "lost, %d temporary files left" % (len(points), partial, lost, leftovers))
        self.assertEqual(lost, 0)
        # The kills must have met the copy, or nothing was tested.
        self.assertGreaterEqual(partial, in_copy // 4)


if __name__ == "__main__":
    e2e.main()
