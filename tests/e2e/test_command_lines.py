"""Random and extreme command lines through the real updater.exe.

Every line is handed over byte for byte: the window driver starts the program with
CreateProcessA and the raw line, answers a message box with OK, closes the window, and
reports the exit code. Whatever the line, the program must end with 0 (at once, or after
its window or its box was closed); never a crash, never a hang.

A model of the request reader, written from the documented rules, predicts for each line
whose bytes survive the system's ANSI/Unicode round trip whether the program rejects it,
explains an unsupported package, or shows its window with the request's title; the
program must agree. Valid requests point at 127.0.0.1 port 9, where nothing answers, so
no download ever happens."""
import json
import os
import random
import subprocess

import e2e

SEED = 20261211
GENERATED = 160
PER_LINE_MS = 20000  # a hang bound, not a speed figure
GBK_WORDS = [w.encode("gbk") for w in ("中文", "更新", "真", "不提示", "软件", "标题", "提醒")]


# ---- the model of the request reader ----

def is_lead(b):
    return b >= 0x80


def split_command_line(line):
    i, n = 0, len(line)
    if n and line[0] == 0x22:
        i = 1
        while i < n and line[i] != 0x22:
            i += 1
        if i < n:
            i += 1
            if i < n and line[i] == 0x20:
                i += 1
    else:
        while i < n and line[i] != 0x20:
            i += 1
        if i < n:
            i += 1
    args = []
    while i < n:
        c = line[i]
        if 0x01 <= c <= 0x20:
            i += 1
            continue
        arg = bytearray()
        if c == 0x22:
            i += 1
            while i < n and line[i] != 0x22:
                if is_lead(line[i]):
                    if i + 1 >= n:  # a lone lead byte at the end of a quoted argument is dropped
                        i += 1
                        break
                    arg += line[i:i + 2]
                    i += 2
                else:
                    arg.append(line[i])
                    i += 1
            if i < n and line[i] == 0x22:
                i += 1
        else:
            while i < n:
                b = line[i]
                if 0x01 <= b <= 0x20 or b == 0x22:
                    break
                if is_lead(b):
                    if i + 1 >= n:  # kept in a plain argument
                        arg.append(b)
                        i += 1
                        break
                    arg += line[i:i + 2]
                    i += 2
                else:
                    arg.append(b)
                    i += 1
        args.append(bytes(arg))
    return args


def find_all(text, pattern):
    """Offsets of the non-overlapping matches, stepping over double-byte characters."""
    found, i = [], 0
    while i < len(text):
        if text[i:i + len(pattern)] == pattern:
            found.append(i)
            i += len(pattern)
        else:
            i += 2 if is_lead(text[i]) else 1
    return found


def replace_all(text, pattern, by):
    out, last = bytearray(), 0
    for at in find_all(text, pattern):
        out += text[last:at] + by
        last = at + len(pattern)
    return bytes(out + text[last:])


def split_fields(text):
    if not text:
        return []
    fields, last = [], 0
    for at in find_all(text, b"<#>"):
        fields.append(text[last:at])
        last = at + 3
    if text[last:]:
        fields.append(text[last:])
    return fields


def lower(text):
    out, i = bytearray(text), 0
    while i < len(out):
        if is_lead(out[i]):
            i += 2
            continue
        if 0x41 <= out[i] <= 0x5A:
            out[i] += 0x20
        i += 1
    return bytes(out)


def package_kind(address):
    tail = lower(address[-4:])
    if tail in (b".zip", b".exe"):
        return tail
    whole = lower(address)
    for kind in (b".zip", b".exe"):
        if find_all(whole, kind):
            return kind
    return None


def expected(line):
    """("rejected" | "box" | "window", title bytes)."""
    text = replace_all(b"".join(split_command_line(line)), b"<?>", b" ")
    fields = split_fields(text)
    if len(fields) != 7 or fields[4][:7] != b"http://":
        return "rejected", None
    if package_kind(fields[4]) is None:
        return "box", None
    return "window", fields[0]


def survives_round_trip(line):
    """Bytes that CreateProcessA's conversion to Unicode and back leaves as they are."""
    try:
        return line.decode("gbk").encode("gbk") == line
    except UnicodeError:
        return False


# ---- the lines ----

def program_path():
    return "Z:" + os.path.abspath(e2e.UPDATER).replace("/", "\\")


def random_text(rng, length, raw=True):
    """Words, double-byte characters and marks; with `raw`, also quotes inside characters and
    arbitrary bytes, which the system's ANSI/Unicode round trip may not carry unchanged."""
    out = bytearray()
    while len(out) < length:
        kind = rng.random()
        if kind < 0.3:
            out += bytes(rng.choice(b"abcXYZ019.-_\\/:") for _ in range(rng.randint(1, 8)))
        elif kind < 0.55:
            out += rng.choice(GBK_WORDS)
        elif kind < 0.65:
            out += b"<?>"
        elif kind < 0.72:
            out += b" "
        elif not raw:
            out += bytes([rng.randint(0xB0, 0xD7), rng.randint(0xA1, 0xFE)])  # a GB2312 character
        elif kind < 0.8:
            out += bytes([rng.randint(0x81, 0xFE), 0x22, rng.randint(0x40, 0xFE)])  # a quote inside a character
        else:
            out += bytes(rng.randint(1, 255) for _ in range(rng.randint(1, 4)))
    return bytes(out)


def request_text(rng, raw):
    ext = rng.choice([b".zip", b".exe", b".ZIP", b".rar", b"", b".zip?x=.exe"])
    fields = [random_text(rng, rng.choice([0, 3, 20, 200]), raw) for _ in range(3)]
    fields.append(b"C:\\e2e\\cmdline\\cl%d.exe" % rng.randint(0, 999))
    fields.append(b"http://127.0.0.1:9/" + random_text(rng, rng.randint(0, 12), raw).replace(b"<#>", b"")
                  .replace(b"\"", b"") + ext)
    fields.append(rng.choice([b"\xb2\xbb\xcc\xe1\xca\xbe", b"", random_text(rng, 10, raw)]))
    fields.append(rng.choice([b"\xd5\xe6", b"x", random_text(rng, 3, raw) or b"y"]))
    return b"<#>".join(f.replace(b" ", rng.choice([b"<?>", b" "])) for f in fields)


def lay_out(rng, text, whole_characters):
    """The text cut into arguments at random places, some quoted, with odd separators; with
    `whole_characters`, never inside a double-byte character."""
    separators = [b" ", b"\t", b"  ", b"\x01", b"\x1f", b" \x0b ", b"\r\n"]
    out = bytearray()
    i = 0
    while i < len(text):
        end = i + rng.choice([1, 2, 3, 7, 40, len(text)])
        if whole_characters:
            j = i
            while j < min(end, len(text)):
                j += 2 if is_lead(text[j]) else 1
            end = j
        piece = text[i:end]
        i = end
        out += rng.choice(separators) if out else b""
        if rng.random() < 0.4:
            out += b'"' + piece + (b'"' if rng.random() < 0.9 else b"")
        else:
            out += piece
        if rng.random() < 0.05:
            out += b'""'
    return bytes(out)


def head(rng):
    path = program_path().encode()
    return rng.choice([b'"' + path + b'" ', b'"' + path + b'"', path + b" ", b"x "])


def generated_lines(rng):
    lines = []
    for n in range(GENERATED):
        kind = n % 4
        if kind in (0, 1):  # a request, cut and quoted at random; kind 0 in characters only
            line = head(rng) + lay_out(rng, request_text(rng, raw=kind == 1), kind == 0)
        elif kind == 2:  # separators and field marks among random bytes
            line = head(rng) + b"".join(rng.choice([b"<#>", b"<?>", b'"', b"\x81", b"\xd6\"", b" ",
                                                    bytes([rng.randint(1, 255)])])
                                        for _ in range(rng.randint(1, 400)))
        else:  # random bytes, random length, no program path in front
            line = bytes(rng.randint(1, 255) for _ in range(rng.choice([1, 10, 100, 3000])))
        lines.append(("generated %d" % n, line))
    return lines


def hand_picked_lines():
    path = b'"' + program_path().encode() + b'" '
    zip_url = b"http://127.0.0.1:9/p.zip"

    def req(*fields):
        return b"<#>".join(fields)
    base = [b"T", b"L", b"http://l/", b"C:\\e2e\\cmdline\\hp.exe", zip_url, b"\xb2\xbb\xcc\xe1\xca\xbe",
            b"\xd5\xe6"]
    long_title = "长标题".encode("gbk") * 5000  # 30,000 bytes
    return [
        ("nothing at all", b""),
        ("the program path alone", path.rstrip()),
        ("an unclosed quote around the program path", b'"' + program_path().encode()),
        ("a valid request", path + req(*base)),
        ("a 30 KB title", path + req(long_title, *base[1:])),
        ("30 KB of field marks", path + b"<#>" * 10_000),
        ("30 KB of space marks", path + b"<?>" * 10_000),
        ("30 KB of quotes", path + b'"' * 30_000),
        ("control bytes everywhere", path + bytes(range(1, 33)) * 900),
        ("5000 one-byte arguments", path + b" ".join([b"a"] * 5_000)),
        ("a request with a control byte between every byte",
         path + b"\x01".join(bytes([c]) for c in req(*base))),
        ("a request with every byte in quotes", path + b"".join(b'"%c"' % c for c in req(*base))),
        ("a lone lead byte at the end of a quoted argument", path + b'"' + req(*base) + b'\xd6'),
        ("a lone lead byte at the end of a plain argument", path + req(*base) + b"\xd6"),
        ("a lead byte swallowing a separator's first byte",
         path + req(b"T\xd6", *base[1:])),
        ("a quote splitting a double-byte character", path + b'"\xd5"\xe6' + req(*base)),
        ("an unsupported package", path + req(*base[:4], b"http://127.0.0.1:9/p.rar", *base[5:])),
        ("seven empty fields but the address", path + req(b"", b"", b"", b"", zip_url, b"", b"x")),
        ("a title of only marks", path + req(b"<?><?><?>", *base[1:])),
        ("the longest line", path + b"a" * (32_000 - len(path))),
    ]


class CommandLines(e2e.TestCase):
    def test_every_line_ends_with_zero_and_as_the_rules_say(self):
        rng = random.Random(SEED)
        lines = hand_picked_lines() + generated_lines(rng)
        folder = e2e.fresh_folder("cmdline")
        listing = os.path.join(folder, "lines.txt")
        e2e.write(listing, "\n".join(line.hex() for _, line in lines) + "\n")
        done = subprocess.run(["wine", e2e.DRIVER, "run", program_path(), e2e.to_windows(listing),
                               str(PER_LINE_MS)], env=e2e.wine_env(), stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                              timeout=len(lines) * PER_LINE_MS / 1000 + 60)
        results = [json.loads(l) for l in done.stdout.decode("utf-8", "replace").splitlines()
                   if l.startswith("{")]
        self.assertEqual(len(results), len(lines), "the driver did not report every line")

        counts = {"exit 0": 0, "window closed": 0, "box answered": 0, "model checked": 0}
        checked = {"rejected": 0, "box": 0, "window": 0}
        failures = []
        for (name, line), result in zip(lines, results):
            what = "%s (%d bytes)" % (name, len(line))
            if not result["started"]:
                failures.append("%s: not started" % what)
                continue
            if result["hang"]:
                failures.append("%s: still running after %d ms" % (what, PER_LINE_MS))
            elif result["code"] != 0:
                failures.append("%s: exit code %#x" % (what, result["code"]))
            shown = "window" if result["window"] else "box" if result["box"] else "rejected"
            counts["window closed" if shown == "window" else "box answered" if shown == "box"
                   else "exit 0"] += 1
            if survives_round_trip(line):
                counts["model checked"] += 1
                outcome, title = expected(line)
                checked[outcome] += 1
                if outcome != shown:
                    failures.append("%s: %s, the rules say %s" % (what, shown, outcome))
                elif outcome == "window" and len(title) < 4000 and result["title_hex"] != title.hex():
                    failures.append("%s: title %s, the request says %s" % (what, result["title_hex"],
                                                                          title.hex()))
        print("command lines: %d tried (%d hand-picked, %d generated, seed %d); %s (%s); %d failed"
              % (len(lines), len(lines) - GENERATED, GENERATED, SEED,
                 ", ".join("%s %d" % kv for kv in counts.items()),
                 ", ".join("%s %d" % kv for kv in checked.items()), len(failures)))
        for failure in failures:
            print("  " + failure)
        self.assertEqual(failures, [])
        # Enough of each kind that the table means something.
        self.assertGreaterEqual(counts["window closed"], 10)
        self.assertGreaterEqual(counts["box answered"], 3)
        self.assertGreaterEqual(checked["window"], 5)
        self.assertEqual(e2e.process_count("updater.exe"), 0)


if __name__ == "__main__":
    e2e.main()
