"""The end-to-end runner: the real updater.exe under Wine, driven from Python.

Each test_*.py beside this file is one ctest entry of the Windows build. CMake passes
the programs through the environment:

    E2E_UPDATER    updater.exe
    E2E_DRIVER     window_driver.exe (finds windows, reads controls, presses OK, closes)
    E2E_TARGET     target_app_gui.exe (the program being updated; version 1 as built)
    E2E_ARTEFACTS  folder for screenshots

The display and the warm wineserver (WINEPREFIX, DISPLAY) come from the caller, as
scripts/test sets them up with scripts/lib/wine-env.sh.
"""
import hashlib
import io
import json
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(SOURCE, "tests", "support"))

from nginx import Nginx  # noqa: E402  (tests/support)
from faultserver import FaultServer  # noqa: E402

NOTICE_TITLE = "友情提醒"
UNSUPPORTED_TEXT = "对不起,本程序只支持zip和exe格式的下载文件"
STATUS_LINE = re.compile(r"^正在更新：(-?\d+) KB/S 大小：(-?\d+) KB 已下载：(-?\d+) KB$")
VERSION_MARK = b"@@E2E-TARGET-VERSION:"


def _need(name):
    value = os.environ.get(name)
    if not value:
        raise RuntimeError("%s is not set: run the end-to-end tests through ctest in the "
                           "Windows build, after scripts/lib/wine-env.sh has set up Wine" % name)
    return value


UPDATER = _need("E2E_UPDATER")
DRIVER = _need("E2E_DRIVER")
TARGET = _need("E2E_TARGET")
ARTEFACTS = os.environ.get("E2E_ARTEFACTS") or os.path.join(os.getcwd(), "artefacts")
WINEPREFIX = _need("WINEPREFIX")
_need("DISPLAY")


def wine_env():
    env = dict(os.environ)
    env["WINEDEBUG"] = "-all"
    env["LC_ALL"] = "zh_CN.UTF-8"  # code page 936: the program's texts are GBK
    return env


# ---- the request ----

def request(*fields):
    """One command-line argument: the fields joined by "<#>", spaces written "<?>"."""
    return "<#>".join(f.replace(" ", "<?>") for f in fields)


def gbk_title(text):
    """A title as the window driver takes it: the hex of its ANSI (GBK) bytes."""
    return "hex:" + text.encode("gbk").hex()


# ---- processes ----

class Updater:
    """updater.exe started under Wine with the given arguments."""

    def __init__(self, *args):
        self.args = list(args)
        self.process = subprocess.Popen(["wine", UPDATER, *self.args], env=wine_env(),
                                        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)

    def wait(self, limit):
        """The exit code; fails the test (and kills the program) past `limit` seconds.

        The limit only catches a hang: it is generous, never a measure of speed."""
        try:
            return self.process.wait(timeout=limit)
        except subprocess.TimeoutExpired:
            self.kill()
            raise AssertionError("updater.exe %r did not end within %d s" % (self.args, limit))

    def running(self):
        return self.process.poll() is None

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()


def driver(*args, limit=60):
    """Runs window_driver.exe; returns (exit code, stdout text)."""
    done = subprocess.run(["wine", DRIVER, *args], env=wine_env(), stdin=subprocess.DEVNULL,
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=limit)
    return done.returncode, done.stdout.decode("utf-8", "replace")


def _json(out):
    lines = [line for line in out.splitlines() if line.startswith("{")]
    return json.loads(lines[-1]) if lines else None


def find_window(title, wait_ms=0):
    """The window's description (rect, title, children with texts and bar position), or None."""
    rc, out = driver("wait", title, str(wait_ms))
    return _json(out) if rc == 0 else None


def press_ok(title, wait_ms=20000):
    """Waits for a message box with the title, presses OK; returns the box's description."""
    rc, out = driver("ok", title, str(wait_ms))
    return _json(out) if rc == 0 else None


def close_window(title, wait_ms=20000):
    rc, out = driver("close", title, str(wait_ms))
    return _json(out) if rc == 0 else None


def window_gone(title, wait_ms):
    return driver("gone", title, str(wait_ms))[0] == 0


def process_count(image):
    return int(driver("count", image)[1].strip() or 0)


def kill_image(image):
    driver("kill", image)


# ---- reading the update window ----

class WindowView:
    """The update window's controls, told apart by kind and place (client pixels)."""

    def __init__(self, info):
        self.info = info
        kids = info["children"]
        self.bar = next(c for c in kids if c["class"].lower() == "msctls_progress32")
        self.link = next(c for c in kids if c["class"].lower() == "syslink")
        labels = [c for c in kids if c is not self.bar and c is not self.link]
        # The percentage lies over the bar; the status line below it.
        bar_top, bar_bottom = self.bar["rect"][1], self.bar["rect"][3]
        self.percent_label = next(c for c in labels if bar_top <= c["rect"][1] < bar_bottom)
        self.status_label = next(c for c in labels if c["rect"][1] >= bar_bottom)

    @property
    def title(self):
        return self.info["title"]

    @property
    def size(self):
        left, top, right, bottom = self.info["rect"]
        return right - left, bottom - top

    @property
    def link_caption(self):
        return re.sub(r"<[^>]*>", "", self.link["text"])  # SysLink may hold its markup

    @property
    def percent_text(self):
        return self.percent_label["text"]

    @property
    def status_text(self):
        return self.status_label["text"]

    @property
    def position(self):
        return self.bar["pos"]

    def figures(self):
        """(speed, size, done) in KB from the status line, or None when it is not one."""
        m = STATUS_LINE.match(self.status_text)
        return tuple(int(g) for g in m.groups()) if m else None


def read_window(title, wait_ms=0):
    info = find_window(title, wait_ms)
    if not info:
        return None
    try:
        return WindowView(info)
    except StopIteration:  # read while the window was going away: not all controls were there
        return None


# ---- files in the Wine prefix ----

def drive_c():
    return os.path.join(WINEPREFIX, "drive_c")


def to_windows(linux_path):
    rel = os.path.relpath(linux_path, drive_c())
    return "C:\\" + rel.replace("/", "\\")


_temp = None


def temp_folder():
    """The Linux path of the temporary folder updater.exe stages in (GetTempPathA)."""
    global _temp
    if _temp is None:
        windows = driver("temp")[1].strip()
        linux = subprocess.run(["winepath", "-u", windows], env=wine_env(), stdin=subprocess.DEVNULL,
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout
        _temp = linux.decode().strip().rstrip("/")
    return _temp


def staging_paths():
    t = temp_folder()
    return {"folder": os.path.join(t, "Temp"), "zip": os.path.join(t, "Temp.zip"),
            "exe": os.path.join(t, "Temp.exe")}


def clear_staging():
    paths = staging_paths()
    shutil.rmtree(paths["folder"], ignore_errors=True)
    for key in ("zip", "exe"):
        if os.path.lexists(paths[key]):
            os.remove(paths[key])


def fresh_folder(name):
    """An empty folder C:\\e2e\\<name> in the prefix; returns its Linux path."""
    path = os.path.join(drive_c(), "e2e", name)
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(path)
    return path


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode())


def read(path):
    with open(path, "rb") as f:
        return f.read()


def snapshot(folder):
    """Every file and folder below `folder`: relative path -> sha256 (or "dir")."""
    tree = {}
    for base, dirs, files in os.walk(folder):
        for d in dirs:
            tree[os.path.relpath(os.path.join(base, d), folder)] = "dir"
        for f in files:
            p = os.path.join(base, f)
            tree[os.path.relpath(p, folder)] = hashlib.sha256(read(p)).hexdigest()
    return tree


# ---- the target program ----

_target_bytes = None


def target_program(version):
    """The bytes of the target program at `version` (one digit)."""
    global _target_bytes
    if _target_bytes is None:
        _target_bytes = read(TARGET)
        if _target_bytes.count(VERSION_MARK) != 1:
            raise RuntimeError("the version mark is not exactly once in " + TARGET)
    at = _target_bytes.index(VERSION_MARK) + len(VERSION_MARK)
    return _target_bytes[:at] + str(version).encode() + _target_bytes[at + 1:]


def starts(folder):
    """The lines the target program wrote to starts.log in `folder`, one per start."""
    path = os.path.join(folder, "starts.log")
    if not os.path.exists(path):
        return []
    return [line.strip() for line in read(path).decode("ascii").splitlines() if line.strip()]


def wait_for(condition, limit, step=0.1):
    """Polls `condition` until it is true or `limit` seconds have passed; returns its last value."""
    deadline = time.monotonic() + limit
    while True:
        value = condition()
        if value or time.monotonic() >= deadline:
            return value
        time.sleep(step)


def start_target(exe_path):
    """Starts the target program under Wine; returns its Popen once it has logged its start."""
    folder = os.path.dirname(exe_path)
    before = len(starts(folder))
    process = subprocess.Popen(["wine", to_windows(exe_path)], env=wine_env(), stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    if not wait_for(lambda: len(starts(folder)) > before, 30):
        process.kill()
        raise AssertionError("the target program did not start: " + exe_path)
    return process


# ---- packages ----

def make_zip(entries):
    """A ZIP archive from (name, bytes) pairs; bytes None makes a folder entry."""
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in entries:
            if data is None:
                z.writestr(zipfile.ZipInfo(name.rstrip("/") + "/"), b"")
            else:
                z.writestr(name, data)
    return buffer.getvalue()


def make_zip_bad_crc(entries, damaged):
    """Like make_zip, stored, with one byte of entry `damaged` flipped after its CRC was taken."""
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_STORED) as z:
        for name, data in entries:
            z.writestr(name, data)
        info = z.getinfo(damaged)
    raw = bytearray(buffer.getvalue())
    name_len = int.from_bytes(raw[info.header_offset + 26:info.header_offset + 28], "little")
    extra_len = int.from_bytes(raw[info.header_offset + 28:info.header_offset + 30], "little")
    raw[info.header_offset + 30 + name_len + extra_len] ^= 0xFF
    return bytes(raw)


class Packages:
    """nginx on 127.0.0.1 serving the given files {name: bytes} from a folder of their own."""

    def __init__(self, files, limit_rate=None):
        self.root = tempfile.mkdtemp(prefix="e2e-packages-")
        for name, data in files.items():
            write(os.path.join(self.root, name), data)
        self.server = Nginx(self.root, limit_rate=limit_rate)

    def __enter__(self):
        self.server.start()
        return self

    def url(self, name):
        return self.server.url(name)

    def __exit__(self, *exc):
        self.server.stop()
        shutil.rmtree(self.root, ignore_errors=True)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class SilentServer:
    """A port that takes connections into its backlog and never answers: a download that
    cannot get anywhere, for tests that need the window to stay as it is."""

    def __enter__(self):
        self.sock = socket.socket()
        self.sock.bind(("127.0.0.1", 0))
        self.sock.listen(16)
        return self

    def url(self, name):
        return "http://127.0.0.1:%d/%s" % (self.sock.getsockname()[1], name)

    def __exit__(self, *exc):
        self.sock.close()


# ---- screenshots ----

def screenshot(name):
    """Saves the virtual screen as ARTEFACTS/<name>.png; returns the path."""
    os.makedirs(ARTEFACTS, exist_ok=True)
    time.sleep(0.5)  # let a window that has just appeared finish painting
    path = os.path.join(ARTEFACTS, name + ".png")
    subprocess.run(["import", "-window", "root", path], stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)
    return path


class TestCase(unittest.TestCase):
    """Kills what a test leaves running, so one test's processes never meet the next one."""

    images = ()  # image names of target programs the test may leave running

    def setUp(self):
        kill_image("updater.exe")
        for image in self.images:
            kill_image(image)

    def tearDown(self):
        kill_image("updater.exe")
        for image in self.images:
            kill_image(image)


def main():
    unittest.main(module="__main__", verbosity=2)
