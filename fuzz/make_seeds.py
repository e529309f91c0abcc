#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz targets into corpus/<target>/.

The targets take their input apart with FuzzedDataProvider: texts from the front (a backslash
followed by another character ends a text; two backslashes stand for one), whole numbers from
the back, the most significant byte last. Seed builds an input the same way, so every seed
means what its name says.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


class Seed:
    def __init__(self):
        self.front = b""
        self.back = b""

    def text(self, s):
        if isinstance(s, str):
            s = s.encode("latin-1")
        self.front += s.replace(b"\\", b"\\\\") + b"\\ "
        return self

    def rest(self, s):
        if isinstance(s, str):
            s = s.encode("latin-1")
        self.front += s
        return self

    def number(self, value, lo, hi):
        """ConsumeIntegralInRange(lo, hi) giving `value`."""
        span = hi - lo
        count = 0
        while count < 8 and (span >> (8 * count)) > 0:
            count += 1
        raw = (value - lo).to_bytes(count, "big")
        self.back = raw[::-1] + self.back
        return self

    def bytes(self):
        return self.front + self.back

    def write(self, target, name):
        folder = os.path.join(HERE, "corpus", target)
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, name), "wb") as f:
            f.write(self.bytes())


U8 = (0, 255)
I16 = (-(1 << 15), (1 << 15) - 1)
I32 = (-(1 << 31), (1 << 31) - 1)
U32 = (0, (1 << 32) - 1)
U64 = (0, (1 << 64) - 1)


def ini(name, flags, section, key, value, second, budget, text):
    (Seed().number(flags, *U8).text(section).text(key).text(value).text(second)
     .number(budget, 0, 96).rest(text).write("fuzz_ini", name))


config = "[UpdateFrontend]\r\nUpdateLocation=\\\\server\\share\\update.ini\r\nFileRevision=5\r\n"
ini("replace-revision", 0x02, "UpdateFrontend", "FileRevision", "6", "7", 12, config)
ini("add-last-update", 0x22, "updatefrontend", "FileLastUpdate", "12/9/2025 12:00:00 PM", "x", 0,
    "[Other]\r\nA=1\r\n[UpdateFrontend]\r\nfilerevision=2\r\n\r\n[Last]\r\nB=2")
ini("lf-only", 0x42, "S", "k", "v=[x]", "y", 3, "[S]\nk=1\n")
ini("missing-file-windows-folder", 0x05, "New", "Key", "Value", "", 0, "")
ini("header-inside-a-value", 0x62, "A", "k", "1", "2", 40, "x=[A]\r\n[A]\r\nk=old\r\nk=older\r\n")


def split(name, flags, delimiter, text, limit=None):
    s = Seed().number(flags, *U8).text(delimiter)
    if flags & 1:
        s.number(limit, -3, 12)
    s.rest(text).write("fuzz_split", name)


split("crlf", 0, "\r\n", "[UpdateFrontend]\r\nFileRevision=5\r\n")
split("path", 0, "\\", "C:\\dir\\file\\")
split("limit-two", 1, "x", "axbxcxd", 2)
split("case-first-cut", 4, "x", "aXbxc")
split("end-marker-part", 0, "", "a ~END b  ~END")


def duration(name, n, style, seconds):
    bits = struct.unpack("<Q", struct.pack("<d", seconds))[0]
    Seed().number(n, *I32).number(style, *I16).number(bits, *U64).write("fuzz_time", name)


duration("day-and-a-second", 90061, 2, 86400.0)
duration("short-style", 93784, 0, 59.7)
duration("negative", -3725, 1, -1.0)
duration("beyond-32-bits", 2147483647, 6, 3e9)
duration("nan", -(1 << 31), -1, float("nan"))


def registry(name, flags, kind, size, second_kind, second_size, data):
    (Seed().number(flags, *U8).number(kind, 0, 12).number(size, 0, 6000)
     .number(second_kind, 0, 12).number(second_size, 0, 6000).rest(data).write("fuzz_registry", name))


registry("version-text", 0x06, 1, 19, 0, 0, "Access.Database.11\0")
registry("multi-text", 0x06, 7, 5, 0, 0, "a\0b\0\0")
registry("long-value-rewritten", 0x0E, 3, 5000, 1, 3000, "binary")
registry("qword", 0x16, 11, 8, 0, 0, b"\xff" * 8)
registry("empty-text", 0x06, 1, 0, 0, 0, "")


def setting(name, flags, root, letter, kind, size, default_kind, data, default=None):
    s = Seed().number(flags, *U8).number(root, 0, 11)
    s.text(letter).number(kind, 0, 12).number(size, 0, 600).number(default_kind, 0, 4)
    if default_kind == 0:
        s.text(default)
    elif default_kind == 1:
        s.number(default, *I32)
    s.rest(data).write("fuzz_readsetting", name)


setting("install-folder", 0x00, 0, "S", 1, 19, 0, "C:\\Apps\\Orvastell\0", "")
setting("dword-lower-case", 0x00, 1, "d", 4, 4, 1, b"\xff\xff\xff\xff", 7)
setting("boolean-too-long", 0x00, 3, "B", 3, 8, 4, b"\x01\0\0\0\0\0\0\0")
setting("ini-file", 0x00, 8, "S", 1, 0, 0, "[Software\\Quenlark\\Orvastell]\r\n=C:\\Apps\r\n", "none")
setting("long-root-name", 0x00, 7, "S", 1, 4, 2, "abc\0")


def transfer(name, flags, base, length, *locations):
    s = Seed().number(flags, *U8).text(base).text(length)
    for location in locations:
        s.text(location)
    s.write("fuzz_transfer_rules", name)


transfer("secure-mirror", 0x01, "", "34967552", "/mirror/downloads/runtime/ACCESSRT.CAB")
transfer("secure-to-plain", 0x01, "", " 1 ", "http://orvastell.test/hop/x", "https://attacker.test/x")
transfer("loop", 0x01, "", "0", *[f"/loop{n}/ACCESSRT.CAB" for n in range(1, 8)])
transfer("plain-dots-and-query", 0x00, "", "9223372036854775799", "../../a/./b/../c.cab?v=2#part", "//cdn.test:8080")
transfer("own-base", 0x02, "HTTPS://user@[::1]:8443/a/b?q", "-1", "g;x?y#s", "http:g", "ftp://x/")
