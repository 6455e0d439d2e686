"""Whole updates through the real updater.exe against nginx on 127.0.0.1: an executable
package, a ZIP package laid over the target's folder, the completion notice and the
progress shown during the download."""
import os

import e2e

LIMIT = 120  # seconds: only catches a hang


class ExePackage(e2e.TestCase):
    images = ("tool.exe",)

    def test_exe_package_replaces_the_target_and_relaunches_only_for_true(self):
        v2 = e2e.target_program(2)
        for flag, relaunched in (("真", True), ("假", False), ("真 ", False)):
            with self.subTest(relaunch=flag):
                e2e.kill_image("tool.exe")
                folder = e2e.fresh_folder("exe_package")
                exe = os.path.join(folder, "tool.exe")
                e2e.write(exe, e2e.target_program(1))
                target = e2e.start_target(exe)
                with e2e.Packages({"tool-2.exe": v2}) as server:
                    updater = e2e.Updater(e2e.request("工具更新", "主页", "http://example.com/",
                                                      e2e.to_windows(exe), server.url("tool-2.exe"),
                                                      "不提示", flag))
                    # "不提示": no box to answer, the program ends by itself.
                    self.assertEqual(updater.wait(LIMIT), 0)
                target.wait(30)  # the running version 1 was terminated
                self.assertEqual(e2e.read(exe), v2)
                if relaunched:
                    self.assertTrue(e2e.wait_for(lambda: len(e2e.starts(folder)) == 2, 30))
                    self.assertEqual(e2e.starts(folder), ["tool.exe version 1", "tool.exe version 2"])
                    self.assertEqual(e2e.process_count("tool.exe"), 1)
                    e2e.screenshot("update-exe-relaunched")
                else:
                    # The relaunch would have been started before the updater ended.
                    self.assertEqual(e2e.process_count("tool.exe"), 0)
                    self.assertEqual(e2e.starts(folder), ["tool.exe version 1"])
                # The staged Temp.exe stays until the window closes; closing cleared it.
                self.assertFalse(os.path.exists(e2e.staging_paths()["exe"]))


def zip_package(v2):
    return e2e.make_zip([("app.exe", v2), ("data/", None), ("data/conf.ini", b"[new]\r\nfrom=package\r\n"),
                         ("data/extra.ini", b"added"), ("readme.txt", b"version 2")])


class ZipPackage(e2e.TestCase):
    images = ("app.exe",)

    def test_zip_package_replaces_top_level_files_and_only_adds_below(self):
        v2 = e2e.target_program(2)
        folder = e2e.fresh_folder("zip_package")
        exe = os.path.join(folder, "app.exe")
        e2e.write(exe, e2e.target_program(1))
        e2e.write(os.path.join(folder, "data", "conf.ini"), b"[user]\r\nkeep=me\r\n")
        e2e.write(os.path.join(folder, "notes.txt"), b"the user's own file")
        e2e.clear_staging()
        target = e2e.start_target(exe)
        with e2e.Packages({"app-2.zip": zip_package(v2)}) as server:
            updater = e2e.Updater(e2e.request("应用更新", "主页", "http://example.com/",
                                              e2e.to_windows(exe), server.url("app-2.zip"), "不提示", "真"))
            self.assertEqual(updater.wait(LIMIT), 0)
        target.wait(30)
        self.assertEqual(e2e.read(exe), v2)
        self.assertEqual(e2e.read(os.path.join(folder, "data", "conf.ini")), b"[user]\r\nkeep=me\r\n")
        self.assertEqual(e2e.read(os.path.join(folder, "data", "extra.ini")), b"added")
        self.assertEqual(e2e.read(os.path.join(folder, "readme.txt")), b"version 2")
        self.assertEqual(e2e.read(os.path.join(folder, "notes.txt")), b"the user's own file")
        self.assertTrue(e2e.wait_for(lambda: len(e2e.starts(folder)) == 2, 30))
        self.assertEqual(e2e.starts(folder), ["app.exe version 1", "app.exe version 2"])
        staging = e2e.staging_paths()
        self.assertFalse(os.path.exists(staging["zip"]), "Temp.zip remains")
        self.assertFalse(os.path.exists(staging["folder"]), "the Temp folder remains")
        e2e.screenshot("update-zip-relaunched")

    def test_notice_is_shown_before_the_install(self):
        v2 = e2e.target_program(2)
        folder = e2e.fresh_folder("zip_notice")
        exe = os.path.join(folder, "app.exe")
        e2e.write(exe, e2e.target_program(1))
        before = e2e.snapshot(folder)
        notice = "更新完成 请重新打开"
        with e2e.Packages({"app-2.zip": zip_package(v2)}) as server:
            updater = e2e.Updater(e2e.request("应用更新", "主页", "http://example.com/",
                                              e2e.to_windows(exe), server.url("app-2.zip"), notice, "否"))
            box = e2e.find_window(e2e.gbk_title(e2e.NOTICE_TITLE), LIMIT * 1000)
            self.assertIsNotNone(box, "no notice")
            # While the notice is open the target's files are still the old ones.
            self.assertEqual(e2e.snapshot(folder), before)
            e2e.screenshot("update-notice")
            box = e2e.press_ok(e2e.gbk_title(e2e.NOTICE_TITLE))
            self.assertEqual(box["message"], notice)
            self.assertEqual(box["message_hex"], notice.encode("gbk").hex())
            self.assertEqual(updater.wait(LIMIT), 0)
        self.assertEqual(e2e.read(exe), v2)
        # No data folder before: the package's conf.ini is added.
        self.assertEqual(e2e.read(os.path.join(folder, "data", "conf.ini")), b"[new]\r\nfrom=package\r\n")
        self.assertEqual(e2e.process_count("app.exe"), 0, "relaunched although field 7 is not 真")


    def test_close_during_the_install_waits_for_the_install(self):
        folder = e2e.fresh_folder("zip_close_install")
        exe = os.path.join(folder, "app.exe")
        e2e.write(exe, e2e.target_program(1))
        # Enough files that the copy, which lets window events run between files, is still
        # going when the close request arrives.
        entries = [("app.exe", e2e.target_program(2))]
        entries += [("lib/%d/f%04d.dat" % (i % 10, i), os.urandom(512)) for i in range(1500)]
        title = "安装中关闭"
        with e2e.Packages({"many.zip": e2e.make_zip(entries)}) as server:
            updater = e2e.Updater(e2e.request(title, "主页", "http://example.com/",
                                              e2e.to_windows(exe), server.url("many.zip"), "请关闭", "否"))
            self.assertIsNotNone(e2e.press_ok(e2e.gbk_title(e2e.NOTICE_TITLE), LIMIT * 1000))
            self.assertTrue(e2e.window_gone(e2e.gbk_title(e2e.NOTICE_TITLE), 10000))
            closed = e2e.close_window(e2e.gbk_title(title), 0)
            self.assertEqual(updater.wait(LIMIT), 0)
        self.assertIsNotNone(closed, "the install had ended before the close request: nothing tested")
        for name, data in entries:
            self.assertEqual(e2e.read(os.path.join(folder, *name.split("/"))), data, name)
        self.assertFalse(os.path.exists(e2e.staging_paths()["folder"]))


class Progress(e2e.TestCase):
    images = ("app.exe",)

    def test_status_line_and_percentage_during_the_download(self):
        v2 = e2e.target_program(2)
        folder = e2e.fresh_folder("zip_progress")
        exe = os.path.join(folder, "app.exe")
        e2e.write(exe, e2e.target_program(1))
        # Incompressible, so the package keeps its size. The component counts a connection's
        # bytes as done when its 204000-byte buffer is written out, so each connection's range
        # must span a few buffers for the figures to move before the end.
        payload = os.urandom(3_000_000)
        package = e2e.make_zip([("app.exe", v2), ("payload.bin", payload)])
        title = "进度测试"
        # 5 connections at 160 KB/s each: a few seconds for this package.
        with e2e.Packages({"big.zip": package}, limit_rate="160k") as server:
            updater = e2e.Updater(e2e.request(title, "主页", "http://example.com/",
                                              e2e.to_windows(exe), server.url("big.zip"), "不提示", "否"))
            readings = []
            self.assertIsNotNone(e2e.find_window(e2e.gbk_title(title), 30000))
            shot = False
            previous = None
            while updater.running():
                view = e2e.read_window(e2e.gbk_title(title))
                if view is None:
                    continue
                # The driver reads the controls one after another, so a reading can straddle
                # a tick (the percentage of one second, the status line of the next). Only a
                # reading that the next one repeats is taken as one moment's display.
                key = (view.status_text, view.percent_text, view.position)
                stable = previous == key
                previous = key
                if not stable:
                    continue
                readings.append(view)
                figures = view.figures()
                if not shot and figures and 0 < view.position < 100:
                    e2e.screenshot("update-progress")
                    shot = True
            self.assertEqual(updater.wait(LIMIT), 0)

        size_kb = len(package) // 1000
        lines = [v for v in readings if v.status_text]
        self.assertTrue(lines, "the status line was never written")
        for v in lines:
            self.assertIsNotNone(v.figures(), "not a status line: %r" % v.status_text)
        in_progress = []
        for v in lines:
            speed, size, done = v.figures()
            if size == size_kb and 0 < done < size and v.percent_text == "%d%%" % v.position:
                low = done * 1000 * 100 // len(package)
                high = (done * 1000 + 999) * 100 // len(package)
                self.assertTrue(low <= v.position <= high, (v.status_text, v.percent_text))
                self.assertGreaterEqual(speed, 0)
                in_progress.append(v)
        self.assertTrue(in_progress, "no reading during the transfer: %r" %
                        [(v.status_text, v.percent_text) for v in lines])
        self.assertTrue(shot)
        self.assertEqual(e2e.read(exe), v2)


if __name__ == "__main__":
    e2e.main()
