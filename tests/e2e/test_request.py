"""The request through the real updater.exe: rejected requests end with 0 and show no
window, an unsupported package is explained first, a valid request fills the window."""
import os

import e2e

TARGET_IMAGE = "req_app.exe"


class RejectedRequests(e2e.TestCase):
    images = (TARGET_IMAGE,)

    def setUp(self):
        super().setUp()
        # A running target and a staging area left by an earlier run: a rejected request
        # ends before either is touched.
        self.folder = e2e.fresh_folder("request")
        self.exe = os.path.join(self.folder, TARGET_IMAGE)
        e2e.write(self.exe, e2e.target_program(1))
        self.target = e2e.start_target(self.exe)
        staging = e2e.staging_paths()
        e2e.clear_staging()
        e2e.write(staging["zip"], b"zip of an earlier run")
        e2e.write(staging["exe"], b"exe of an earlier run")
        e2e.write(os.path.join(staging["folder"], "sub", "left.txt"), b"left by an earlier run")
        self.staging_before = {k: e2e.snapshot(v) if k == "folder" else e2e.read(v)
                               for k, v in staging.items()}

    def tearDown(self):
        super().tearDown()
        e2e.clear_staging()

    def assert_untouched(self):
        self.assertIsNone(self.target.poll(), "the running target was terminated")
        self.assertEqual(e2e.starts(self.folder), [TARGET_IMAGE + " version 1"])
        staging = e2e.staging_paths()
        after = {k: e2e.snapshot(v) if k == "folder" else e2e.read(v) for k, v in staging.items()}
        self.assertEqual(after, self.staging_before, "the staging area changed")

    def test_rejected_requests_end_with_zero_without_a_window(self):
        exe = e2e.to_windows(self.exe)
        # Each ends on its own: a window or a box would wait for someone to close it.
        cases = {
            "no arguments": [],
            "six fields": [e2e.request("T", "L", "http://l/", exe, "http://127.0.0.1:9/p.zip", "N")],
            "six fields, the last separator at the end":
                [e2e.request("T", "L", "http://l/", exe, "http://127.0.0.1:9/p.zip", "N", "")],
            "eight fields": [e2e.request("T", "L", "http://l/", exe, "http://127.0.0.1:9/p.zip",
                                        "N", "真", "x")],
            "capital scheme": [e2e.request("T", "L", "http://l/", exe, "HTTP://127.0.0.1:9/p.zip",
                                          "N", "真")],
            "secure scheme": [e2e.request("T", "L", "http://l/", exe, "https://127.0.0.1:9/p.zip",
                                         "N", "真")],
            "leading space": [e2e.request("T", "L", "http://l/", exe, " http://127.0.0.1:9/p.zip",
                                         "N", "真")],
        }
        for name, args in cases.items():
            with self.subTest(name):
                self.assertEqual(e2e.Updater(*args).wait(60), 0)
        self.assert_untouched()

    def test_unsupported_package_is_explained_then_ends_with_zero(self):
        title = "更新 请求"
        updater = e2e.Updater(e2e.request(title, "链接", "http://example.com/",
                                          e2e.to_windows(self.exe),
                                          "http://127.0.0.1:9/update.rar", "不提示", "真"))
        box = e2e.find_window(e2e.gbk_title(e2e.NOTICE_TITLE), 30000)
        self.assertIsNotNone(box, "no box titled 友情提醒")
        e2e.screenshot("request-unsupported-package")
        self.assertTrue(updater.running(), "the program ended before the box was answered")
        box = e2e.press_ok(e2e.gbk_title(e2e.NOTICE_TITLE))
        self.assertEqual(box["title_hex"], e2e.NOTICE_TITLE.encode("gbk").hex())
        self.assertEqual(box["message"], e2e.UNSUPPORTED_TEXT)
        self.assertEqual(box["message_hex"], e2e.UNSUPPORTED_TEXT.encode("gbk").hex())
        self.assertEqual(updater.wait(60), 0)
        self.assert_untouched()


class ValidRequest(e2e.TestCase):
    def test_window_shows_the_request_and_closes_with_zero(self):
        title = "某某软件 升级"
        caption = "访问 主页"
        with e2e.SilentServer() as server:
            updater = e2e.Updater(e2e.request(title, caption, "http://example.com/home",
                                              "C:\\e2e\\none\\absent.exe", server.url("pkg.zip"),
                                              "不提示", "真"))
            view = e2e.read_window(e2e.gbk_title(title), 30000)
            self.assertIsNotNone(view, "no window with the request's title")
            # Read before the first progress tick, a second after the start.
            self.assertEqual(view.percent_text, "")
            self.assertEqual(view.status_text, "")
            self.assertEqual(view.info["title_hex"], title.encode("gbk").hex())
            self.assertEqual(view.link_caption, caption)
            self.assertEqual(view.size, (319, 103))
            screen_w, screen_h = view.info["screen"]
            left, top = view.info["rect"][:2]
            self.assertEqual((left, top), ((screen_w - 319) // 2, (screen_h - 103) // 2))
            self.assertEqual(view.position, 0)
            # The controls at their stored places: left, top, right, bottom in client pixels.
            self.assertEqual(view.bar["rect"], [7, 8, 7 + 299, 8 + 20])
            self.assertEqual(view.percent_label["rect"], [131, 8, 131 + 50, 8 + 20])
            self.assertEqual(view.status_label["rect"], [7, 30, 7 + 299, 30 + 22])
            self.assertEqual(view.link["rect"], [7, 54, 7 + 299, 54 + 20])

            # With nothing arriving, the ticks show zeros.
            zeros = e2e.wait_for(lambda: (lambda v: v and v.figures())(e2e.read_window(e2e.gbk_title(title))), 10)
            self.assertEqual(zeros, (0, 0, 0))
            self.assertEqual(e2e.read_window(e2e.gbk_title(title)).percent_text, "0%")
            e2e.screenshot("request-window")

            self.assertIsNotNone(e2e.close_window(e2e.gbk_title(title)))
            self.assertEqual(updater.wait(60), 0)


if __name__ == "__main__":
    e2e.main()
