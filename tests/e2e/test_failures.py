"""Failed updates through the real updater.exe: a download that cannot complete keeps the
window open, a package that cannot be unpacked closes it without installing, a close
during the download ends the program; the target folder stays byte for byte as it was."""
import os
import tempfile
import time

import e2e

LIMIT = 120  # seconds: only catches a hang


def prepare_target(name):
    folder = e2e.fresh_folder(name)
    e2e.write(os.path.join(folder, "app.exe"), e2e.target_program(1))
    e2e.write(os.path.join(folder, "data", "conf.ini"), b"[user]\r\nkeep=me\r\n")
    return folder, e2e.snapshot(folder)


def good_zip(extra=b""):
    return e2e.make_zip([("app.exe", e2e.target_program(2)), ("data/", None),
                         ("data/conf.ini", b"[new]"), ("payload.bin", extra)])


class DownloadFailures(e2e.TestCase):
    images = ("app.exe",)

    def run_failing_download(self, name, url, expect_size):
        folder, before = prepare_target("fail_" + name)
        title = "失败 " + name
        updater = e2e.Updater(e2e.request(title, "主页", "http://example.com/",
                                          e2e.to_windows(os.path.join(folder, "app.exe")),
                                          url, "不提示", "真"))
        self.assertIsNotNone(e2e.find_window(e2e.gbk_title(title), 30000), "no window")

        def ticked():
            view = e2e.read_window(e2e.gbk_title(title))
            return view if view and view.figures() else None
        view = e2e.wait_for(ticked, 30)
        self.assertIsNotNone(view, "the status line was never written")
        # A few more ticks: the window stays open with figures that never reach the end.
        time.sleep(3)
        view = e2e.read_window(e2e.gbk_title(title))
        self.assertTrue(updater.running(), "the program ended on a failed download")
        self.assertIsNotNone(view, "the window closed on a failed download")
        speed, size, done = view.figures()
        self.assertEqual(size, expect_size)
        self.assertLess(view.position, 100)
        self.assertTrue(done < size or size == 0, view.status_text)
        e2e.screenshot("failure-download-" + name)
        self.assertEqual(e2e.snapshot(folder), before)

        self.assertIsNotNone(e2e.close_window(e2e.gbk_title(title)))
        self.assertEqual(updater.wait(LIMIT), 0)
        self.assertEqual(e2e.snapshot(folder), before)
        self.assertEqual(e2e.process_count("app.exe"), 0, "the target was started again")

    def test_not_found(self):
        with e2e.Packages({"other.zip": good_zip()}) as server:
            self.run_failing_download("404", server.url("missing.zip"), 0)

    def test_server_stops_mid_body(self):
        # Every response is cut after 4 KiB: with a retry wait of seconds per attempt, the
        # package cannot arrive while the test watches.
        package = good_zip(os.urandom(400_000))
        with tempfile.NamedTemporaryFile(suffix=".zip") as f:
            f.write(package)
            f.flush()
            with e2e.FaultServer(f.name, mode="cut", cut_bytes=4096) as server:
                self.run_failing_download("cut", server.url("pkg.zip"), len(package) // 1000)


class UnpackFailures(e2e.TestCase):
    images = ("app.exe",)

    def test_packages_that_cannot_be_unpacked_install_nothing(self):
        v2 = e2e.target_program(2)
        cases = {
            "not a zip": os.urandom(50_000),
            "parent entry": e2e.make_zip([("app.exe", v2), ("../evil.txt", b"outside")]),
            "parent entry with backslashes": e2e.make_zip([("app.exe", v2), ("..\\evil.txt", b"outside")]),
            "bad crc": e2e.make_zip_bad_crc([("app.exe", v2), ("data/conf.ini", b"[new]" * 100)],
                                            "data/conf.ini"),
        }
        temp = e2e.temp_folder()
        for name, package in cases.items():
            with self.subTest(name):
                folder, before = prepare_target("unpack")
                with e2e.Packages({"pkg.zip": package}) as server:
                    updater = e2e.Updater(e2e.request("解压失败", "主页", "http://example.com/",
                                                      e2e.to_windows(os.path.join(folder, "app.exe")),
                                                      server.url("pkg.zip"), "不提示", "否"))
                    if e2e.find_window(e2e.gbk_title("解压失败"), 30000):
                        e2e.screenshot("failure-unpack-" + name.replace(" ", "-"))
                    # The window closes by itself, without installing.
                    self.assertEqual(updater.wait(LIMIT), 0)
                self.assertEqual(e2e.snapshot(folder), before)
                for place in (temp, os.path.dirname(folder), folder):
                    self.assertFalse(os.path.exists(os.path.join(place, "evil.txt")), place)
                # Closing the window cleared what the failed unpack left.
                self.assertFalse(os.path.exists(e2e.staging_paths()["folder"]))


class CloseDuringDownload(e2e.TestCase):
    images = ("app.exe",)

    def test_closing_the_window_during_the_download_ends_the_program(self):
        folder, before = prepare_target("close")
        package = good_zip(os.urandom(2_000_000))
        title = "关闭测试"
        # 5 connections at 16 KB/s each: far longer than the test waits.
        with e2e.Packages({"pkg.zip": package}, limit_rate="16k") as server:
            updater = e2e.Updater(e2e.request(title, "主页", "http://example.com/",
                                              e2e.to_windows(os.path.join(folder, "app.exe")),
                                              server.url("pkg.zip"), "不提示", "真"))

            def transferring():
                view = e2e.read_window(e2e.gbk_title(title), 1000)
                figures = view.figures() if view else None
                return view if figures and figures[1] > 0 and figures[2] > 0 else None
            view = e2e.wait_for(transferring, 60)
            self.assertIsNotNone(view, "the transfer never showed")
            e2e.screenshot("failure-close-during-download")
            self.assertIsNotNone(e2e.close_window(e2e.gbk_title(title)))
            # A hang bound, not a speed figure: the stop waits one second per connection.
            self.assertEqual(updater.wait(30), 0)
        self.assertEqual(e2e.snapshot(folder), before)
        self.assertEqual(e2e.process_count("app.exe"), 0)


if __name__ == "__main__":
    e2e.main()
