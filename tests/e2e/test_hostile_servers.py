"""Hostile servers through the real updater.exe: one ZIP package served by nginx and by the
fault-injecting server in each of its behaviours, with the target program running.

For each behaviour the outcome is recorded (installed; window left open with figures;
window closed without install) together with the SHA-256 of every file of the target
folder before and after. The rule, whatever the server does: either the update landed
whole (every file the package brings is the new version, every other file as it was) or
the target folder is byte for byte unchanged; never a mix, never a partial file, never a
temporary file left beside the target's files."""
import hashlib
import os
import tempfile
import time

import e2e

LIMIT = 60     # seconds: only catches a hang
WATCH = 4      # seconds a failing download is watched before the window is closed
IMAGE = "srv_app.exe"

# behaviour -> what must come of it: "installed", "open" (the window stays open with its
# figures until it is closed, nothing installed: the download retries far longer than the
# watch) or "either" (installed whole, or the target folder as it was: a server whose
# answers the component may work around or refuse).
BEHAVIOURS = {
    "nginx": "installed",
    "ranges": "installed",
    "norange": "installed",
    "redirect": "installed",
    "chunked": "installed",
    "trickle": "installed",
    "extra": "installed",
    "wrongstart": "either",
    "wrongtotal": "either",
    "cut": "open",
    "stall": "open",
    "closeheaders": "open",
    "404": "open",
    "500": "open",
    "loop": "open",
    "hugeheader": "either",
    # Each connection's first response cut short, every later one whole: the retries,
    # from the offset each connection had reached, must put the package together exactly.
    "cut, then whole": "installed",
}


def package_entries():
    return [("%s" % IMAGE, e2e.target_program(2)), ("readme.txt", b"version 2\r\n"),
            ("payload.bin", os.urandom(300_000)), ("data/", None), ("data/extra.ini", b"[added]")]


def expected_after(before, entries):
    """The target folder after a whole install: top-level files replaced, files below only
    added where the target has none."""
    after = dict(before)
    for name, data in entries:
        path = os.path.join(*name.rstrip("/").split("/"))
        if data is None:
            after.setdefault(path, "dir")
        elif os.sep not in path or path not in after:
            after[path] = hashlib.sha256(data).hexdigest()
    return after


def describe(before, after):
    changed = sorted(k for k in set(before) | set(after) if before.get(k) != after.get(k))
    return ", ".join("%s %s->%s" % (k, (before.get(k) or "-")[:8], (after.get(k) or "-")[:8])
                     for k in changed)


class HostileServers(e2e.TestCase):
    images = (IMAGE,)

    def run_one(self, url, expectation):
        folder = e2e.fresh_folder("hostile_server")
        exe = os.path.join(folder, IMAGE)
        e2e.write(exe, e2e.target_program(1))
        e2e.write(os.path.join(folder, "readme.txt"), b"version 1\r\n")
        e2e.write(os.path.join(folder, "data", "conf.ini"), b"[user]\r\nkeep=me\r\n")
        e2e.clear_staging()
        target = e2e.start_target(exe)
        before = e2e.snapshot(folder)
        title = "服务器测试"
        updater = e2e.Updater(e2e.request(title, "主页", "http://example.com/", e2e.to_windows(exe),
                                          url, "不提示", "否"))
        outcome, figures = None, None
        if expectation == "installed":
            self.assertEqual(updater.wait(LIMIT), 0)
            outcome = "closed"
        else:
            deadline = time.monotonic() + WATCH
            while updater.running() and time.monotonic() < deadline:
                time.sleep(0.2)
            if updater.running():
                view = e2e.read_window(e2e.gbk_title(title), 5000)
                figures = view.figures() if view else None
                self.assertIsNotNone(e2e.close_window(e2e.gbk_title(title), 5000), "no window to close")
                self.assertEqual(updater.wait(LIMIT), 0)
                outcome = "open"
            else:
                self.assertEqual(updater.wait(LIMIT), 0)
                outcome = "closed"
        target.wait(30)  # terminated by the updater in every case
        after = e2e.snapshot(folder)
        whole = expected_after(before, self.entries)
        if outcome == "closed" and after == whole:
            outcome = "installed"
        elif after == before:
            outcome = outcome + (" with figures %s" % (figures,) if figures else "")
        else:
            outcome = "MIXED: " + describe(before, after)
        return outcome, before, after

    def test_every_behaviour_installs_whole_or_leaves_the_target_as_it_was(self):
        self.entries = package_entries()
        package = e2e.make_zip(self.entries)
        rows, bad = [], []
        with tempfile.NamedTemporaryFile(suffix=".zip") as payload, \
                e2e.Packages({"pkg.zip": package}) as nginx:
            payload.write(package)
            payload.flush()
            # Short stalls and cuts: the window's state shows within the watch.
            with e2e.FaultServer(payload.name, cut_bytes=8192, stall_seconds=15,
                                 trickle_bytes=8192, trickle_pause=0.02) as faults, \
                    e2e.FaultServer(payload.name, mode="cut", faults=5, cut_bytes=50_000) as once:
                for behaviour, expectation in BEHAVIOURS.items():
                    url = (nginx.url("pkg.zip") if behaviour == "nginx" else
                           once.url("pkg.zip") if behaviour == "cut, then whole" else
                           faults.url("pkg.zip", behaviour))
                    with self.subTest(behaviour):
                        outcome, before, after = self.run_one(url, expectation)
                        rows.append((behaviour, expectation, outcome, len(before), len(after)))
                        print("  %-15s expected %-9s -> %s (%d entries before, %d after)"
                              % rows[-1], flush=True)
                        if outcome.startswith("MIXED"):
                            bad.append(behaviour)
                        if expectation == "installed":
                            self.assertEqual(outcome, "installed")
                        elif expectation == "open":
                            self.assertTrue(outcome.startswith("open with figures"), outcome)
                        else:
                            self.assertFalse(outcome.startswith("MIXED"), outcome)
        installed = sum(1 for r in rows if r[2] == "installed")
        print("server behaviours: %d tried, %d installed whole, %d left unchanged, %d mixed"
              % (len(rows), installed, len(rows) - installed - len(bad), len(bad)))


if __name__ == "__main__":
    e2e.main()
