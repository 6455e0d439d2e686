#!/usr/bin/env python3
"""Writes the seed corpus of the unpack fuzz target: small archives, most of them hostile.

Run from this folder: python3 make_unpack_corpus.py. The archives are written by hand
(not by zipfile) so that every field can be falsified."""
import os
import struct
import zlib

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus", "unpack")


def build(entries):
    """entries: dicts with name (bytes), data (bytes) and optional method, flags, crc, size."""
    local, central = b"", b""
    for e in entries:
        data, method = e["data"], e.get("method", 8)
        body = zlib.compress(data, 9)[2:-4] if method == 8 else data
        crc = e.get("crc", zlib.crc32(data))
        size = e.get("size", len(data))
        common = struct.pack("<HHHHHIIIHH", 20, e.get("flags", 0), method, 0, 0x21, crc,
                             len(body), size, len(e["name"]), 0)
        offset = len(local)
        local += b"PK\x03\x04" + common + e["name"] + body
        central += (b"PK\x01\x02" + struct.pack("<H", 20) + common +
                    struct.pack("<HHHII", 0, 0, 0, 0, offset) + e["name"])
    end = b"PK\x05\x06" + struct.pack("<HHHHIIH", 0, 0, len(entries), len(entries),
                                      len(central), len(local), 0)
    return local + central + end


def f(name, data=b"data", **kw):
    return dict(name=name, data=data, **kw)


GOOD = [f(b"app.exe", b"MZ" + b"\x00" * 200), f(b"data/", b""), f(b"data/conf.ini", b"[a]\r\nb=1\r\n"),
        f(b"a/b/c/deep.txt", b"deep" * 50), f(b"stored.bin", b"raw", method=0), f(b".hidden")]
good = build(GOOD)

CORPUS = {
    "good.zip": good,
    "dotdot_slash.zip": build([f(b"ok.txt"), f(b"../escape.txt")]),
    "dotdot_backslash.zip": build([f(b"ok.txt"), f(b"..\\escape.txt")]),
    "dotdot_deep.zip": build([f(b"a/b/../../../escape.txt")]),
    "dotdot_behind_lead_byte.zip": build([f(b"\x81\\..\\..\\escape.txt")]),
    "absolute.zip": build([f(b"/tmp/escape.txt")]),
    "absolute_backslash.zip": build([f(b"\\escape.txt")]),
    "drive.zip": build([f(b"C:escape.txt")]),
    "unc.zip": build([f(b"\\\\server\\share\\escape.txt")]),
    "device.zip": build([f(b"CON"), f(b"nul.txt")]),
    "stream.zip": build([f(b"file.txt:stream")]),
    "bad_crc.zip": build([f(b"ok.txt"), f(b"bad.txt", b"x" * 1000, crc=0x12345678)]),
    "short_stream.zip": build([f(b"short.txt", b"x" * 1000, size=5000)]),
    "encrypted.zip": build([f(b"secret.txt", method=0, flags=1)]),
    "method99.zip": build([f(b"unknown.bin", method=99)]),
    "utf8_name.zip": build([f("中文/文件.txt".encode(), flags=0x800)]),
    "file_then_folder.zip": build([f(b"a"), f(b"a/b.txt")]),
    "truncated_central_directory.zip": good[:-40],
    "truncated_data.zip": good[:60] + good[len(good) - 22 - 300:],
    "not_a_zip.zip": b"<html><body>404 Not Found</body></html>",
}

os.makedirs(OUT, exist_ok=True)
for name, data in CORPUS.items():
    with open(os.path.join(OUT, name), "wb") as out:
        out.write(data)
print(f"{len(CORPUS)} archives in {OUT}")
