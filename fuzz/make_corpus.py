#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets to fuzz/corpus/TARGET/ (valid exchanges and edge
inputs). Run it again after changing it; the files are kept in the repository. Regression
inputs found by fuzzing live beside the seeds, named regression-*, and are not touched here."""
import os
import struct
import zlib

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")


def write(target, name, data):
    folder = os.path.join(ROOT, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def clean(target):
    folder = os.path.join(ROOT, target)
    if os.path.isdir(folder):
        for name in os.listdir(folder):
            if not name.startswith("regression-"):
                os.remove(os.path.join(folder, name))


def word(n):
    return bytes([(n >> 8) & 255, n & 255])


def long_be(n):
    return struct.pack(">i", n)


def packet(kind, fields=b""):
    body = bytes([kind]) + fields
    return word(len(body)) + body


MARKER = bytes([0, 1, 116, 5, 28])


def pack(data):
    if not data:
        return b""
    return struct.pack("<I", len(data)) + zlib.compress(data, 6)


# ---- registry_client: seed (2 bytes), flags, then the server's stream ----------------------
AUTO, ADMIN, REENTRANT, ACTIONS = 1, 2, 4, 8


def registry(name, flags, stream, seed=(0, 1)):
    write("registry_client", name, bytes(seed) + bytes([flags]) + stream)


def server_entry(index, online, players, name, admin, address):
    return packet(1, bytes([index, online, players]) + name + b"\0" + admin + b"\0" + address)


def registry_seeds():
    clean("registry_client")
    version_ok = packet(0, b"\0\0")
    login_ok = packet(5, b"\x02\x00Player1")
    servers = b"".join(server_entry(i, i % 2, i * 3, b"Server %d" % i, b"Admin", b"10.0.0.%d" % i)
                       for i in range(1, 31))
    session = (version_ok + login_ok + packet(6, b"\0") + packet(6, b"\x01 Alice") +
               packet(6, b"\x01 Bob") + packet(7, b"Alice: hello") + servers + packet(4) +
               packet(3, b"203.0.113.7") + packet(8) + server_entry(5, 1, 2, b"Back", b"A", b"x"))
    registry("session", AUTO, session)
    registry("session-actions", AUTO | ADMIN | ACTIONS, session, seed=(7, 9))
    registry("session-reentrant", AUTO | REENTRANT | ACTIONS,
             packet(5, b"\0") + session + packet(5, b"\x01") + packet(5, b"\x03") +
             packet(5, b"\x04") + packet(5, b"\x05\x00") + packet(7, b"late"), seed=(3, 3))
    registry("outdated", 0, packet(0, b"\x01") + packet(7, b"never shown"))
    for code in range(7):
        registry("boot-%d" % code, REENTRANT, packet(2, bytes([code])) + packet(7, b"after"))
    registry("entry-edges", 0,
             server_entry(0, 1, 1, b"zero", b"a", b"b") + server_entry(31, 1, 1, b"x", b"a", b"b") +
             server_entry(255, 1, 255, b"x", b"a", b"b") + packet(1, b"\x01\x01\x01no-nul") +
             packet(1, b"\x02\x01\x01one\0nul") + packet(1, b"\x03") + packet(1) +
             server_entry(30, 2, 0, b"  padded \0\0", b"adm  ", b"addr\0"))
    registry("short-messages", 0,
             packet(0) + packet(0, b"\0") + packet(2) + packet(5) + packet(5, b"\x02") +
             packet(5, b"\x05") + packet(5, b"\x09") + packet(6) + packet(6, b"\x01") +
             packet(6, b"\x07") + packet(7) + packet(3) + packet(200, b"junk") + packet(9))
    registry("zero-lengths", 0, b"\0\0\0\0\0\0" + packet(7, b"x") + b"\0\0")
    registry("length-65535-cut", 0, b"\xff\xff\x07" + b"a" * 300)
    registry("length-1", 0, b"\x00\x01\x04" + b"\x00\x01")
    registry("chat-long", REENTRANT, packet(7, b"z" * 2000) + packet(5, b"\x03") + packet(7, b"y"))
    registry("empty", 0, b"")
    registry("one-byte", 0, b"\x07")


# ---- updater_client: seed (2 bytes), flags, then the server's stream ------------------------
ZLIB, VERSIONS, GAMEFILES, LINKS, UACTIONS, CMDLINE = 1, 2, 4, 8, 16, 32


def updater(name, flags, stream, seed=(0, 2)):
    write("updater_client", name, bytes(seed) + bytes([flags]) + stream)


def file_info(index, version, name, folder):
    return packet(3, bytes([index]) + long_be(version) + name + b"\0" + folder)


def file_data(index, content):
    return packet(5, bytes([index]) + long_be(len(content))) + content


def version_of(content):
    total = sum(MARKER + pack(content)) & 0xFFFFFFFF
    return struct.unpack(">i", struct.pack(">I", total))[0]


def updater_seeds():
    clean("updater_client")
    game = b"\x7fELF game program" * 20
    data = b"map data " * 300
    listing = (packet(0, b"Game.exe") + packet(1, b"\x01Data\\") + packet(1, b"\x02Data\\Maps\\") +
               packet(2, b"\x03") + file_info(2, version_of(game), b"Game.exe", b"") +
               file_info(3, version_of(data), b"map.dat", b"Data\\Maps\\") +
               file_info(4, 1, b"readme.txt", b"") + packet(4))
    files = (file_data(2, MARKER + pack(game)) + file_data(3, MARKER + pack(data)) +
             file_data(4, b"plain readme\r\n"))
    zlib_first = file_data(0, b"zlib library bytes")
    updater("full-pass", 0, zlib_first + listing + files)
    updater("full-pass-zlib-present", ZLIB, listing + files)
    updater("full-pass-actions", ZLIB | UACTIONS | VERSIONS | GAMEFILES, listing + files, seed=(1, 77))
    updater("up-to-date", ZLIB | VERSIONS | GAMEFILES,
            packet(2, b"\x02") + file_info(2, 1234, b"Game.exe", b"") +
            file_info(3, 99, b"map.dat", b"Data\\") + packet(4))
    updater("self-update", ZLIB,
            file_data(1, b"new updater data") + long_be(12) + b"update program")
    updater("self-update-bad-size", ZLIB, file_data(1, b"u") + b"\xff\xff\xff\xff\x00")
    updater("escapes", ZLIB | LINKS | GAMEFILES,
            packet(0, b"..\\..\\evil.exe") + packet(0, b"C:\\Windows\\evil.exe") +
            packet(1, b"\x01..\\") + packet(1, b"\x02Link\\") + packet(1, b"\x03Link\\sub\\") +
            packet(1, b"\x04/etc\\") + packet(1, b"\x05C:\\") + packet(1, b"\x06CON\\") +
            file_info(5, 1, b"..\\evil.txt", b"") + file_info(6, 1, b"evil.txt", b"..\\") +
            file_info(7, 1, b"evil.txt", b"Link\\") + file_info(8, 1, b"Linked.exe", b"") +
            file_info(9, 1, b"x.txt", b"Data\\Up\\") + packet(4) +
            file_data(7, b"through the link") + file_data(8, b"over the link") +
            file_data(9, b"up and out"))
    updater("edges", ZLIB,
            packet(0) + packet(1) + packet(1, b"\x00Data\\") + packet(1, b"\x10Data\\") +
            packet(2) + packet(3, b"\x02\x00\x00") + packet(3, b"\xfb\x00\x00\x00\x01a\0") +
            packet(3, b"\x02\x80\x00\x00\x00a\0") + packet(3, b"\x02\x00\x00\x00\x01noname") +
            packet(5, b"\x02") + packet(5, b"\xfb\x00\x00\x00\x01") +
            packet(5, b"\x02\x7f\xff\xff\xff") + packet(5, b"\x02\x40\x00\x00\x01") +
            packet(5, b"\x02\xff\xff\xff\xff") + packet(9, b"unknown") + b"\0\0\0\0" + packet(4))
    updater("damaged-packed", ZLIB,
            file_info(2, 5, b"a.dat", b"") + file_info(3, 5, b"b.dat", b"") +
            file_info(4, 5, b"c.dat", b"") + packet(4) +
            file_data(2, MARKER + b"\0\0\0\0" + zlib.compress(b"abc")) +
            file_data(3, MARKER + b"\xff\xff\xff\xff" + zlib.compress(b"abc")) +
            file_data(4, MARKER + struct.pack("<I", 10) + zlib.compress(b"abc")))
    updater("big-announced", ZLIB | UACTIONS,
            packet(5, b"\x02\x00\x10\x00\x00") + b"x" * 3000, seed=(5, 5))
    updater("command-line", CMDLINE, zlib_first)
    updater("empty", 0, b"")


# ---- ini_reader: lengths, section, key, value, other section, other key, file content ------
def ini(name, section, key, value, other_section, other_key, content):
    write("ini_reader", name,
          bytes([len(section), len(key), len(value), len(other_section), len(other_key)]) +
          section + key + value + other_section + other_key + content)


def ini_seeds():
    clean("ini_reader")
    settings = b"[Client]\r\nLaunch Application File=C:\\Game\\Client\\Talmora.exe\r\n"
    ini("replace", b"Client", b"Launch Application File", b"D:\\x.exe", b"Client", b"Other",
        settings)
    ini("append-key", b"client", b"New", b"  spaced  ", b"Client", b"Launch Application File",
        settings)
    ini("new-section", b"Other", b"Key", b"\"quoted\"", b"Client", b"Launch Application File",
        b"; comment\n[Client]\nA=1\n\n")
    ini("no-file-content", b"S", b"K", b"V", b"S", b"K", b"")
    ini("bom-and-blanks", b"S", b"K", b"V", b"T", b"X",
        b"\xef\xbb\xbf[ S ]\n  K  =  old  \n[T]\nX = \"q\"\nno equals line\n=novalue\n")
    ini("duplicates", b"S", b"K", b"V", b"S", b"J", b"[S]\nK=1\n[S]\nK=2\nJ=3\n[s]\nJ=4")
    ini("long-value", b"S", b"K", b"v" * 255, b"S", b"L", b"[S]\nL=" + b"w" * 400 + b"\n")
    ini("refused", b"S]", b"K=", b"a\nb", b"S", b"K", b"[S]\nK=keep\n")
    ini("refused-nul", b"S", b"K", b"a\0b", b"S", b"K", b"[S]\nK=keep")
    ini("numbers", b"N", b"V", b"-2147483649", b"N", b"W", b"[N]\nV=+12abc\nW=99999999999\n")
    ini("cr-only", b"S", b"K", b"V", b"S", b"K", b"[S]\rK=1\r\r\n")


# ---- unpack ---------------------------------------------------------------------------------
def unpack_seeds():
    clean("unpack")
    write("unpack", "empty", b"")
    write("unpack", "one-byte", pack(b"a"))
    write("unpack", "text", pack(b"Talmora Online " * 50))
    write("unpack", "binary", pack(bytes(range(256)) * 4))
    write("unpack", "header-zero", b"\0\0\0\0" + zlib.compress(b"abc"))
    write("unpack", "header-ffffffff", b"\xff\xff\xff\xff" + zlib.compress(b"abc"))
    write("unpack", "header-above-limit", struct.pack("<I", (1 << 30) + 1) + zlib.compress(b"a"))
    write("unpack", "header-larger", struct.pack("<I", 10) + zlib.compress(b"abc"))
    write("unpack", "header-smaller", struct.pack("<I", 2) + zlib.compress(b"abc"))
    write("unpack", "stream-cut", pack(b"abcdefgh" * 40)[:-7])
    write("unpack", "five-bytes", b"\x03\0\0\0\x78")
    write("unpack", "four-bytes", b"\x03\0\0\0")


# ---- version_lookup: length word, Version.dat, flags, announced version, queries -----------
def record(version, folder, name):
    return long_be(version) + folder[:50].ljust(50, b" ") + name[:25].ljust(25, b" ")


def query(folder, name):
    return bytes([len(folder)]) + folder + bytes([len(name)]) + name


def versions(name, content, flags, announced, queries):
    write("version_lookup", name, word(len(content)) + content + bytes([flags]) +
          long_be(announced) + b"".join(query(f, n) for f, n in queries))


def version_seeds():
    clean("version_lookup")
    two = record(7, b"", b"game.dat") + record(-1, b"Data\\", b"map.dat")
    qs = [(b"", b"game.dat"), (b"Data\\", b"map.dat"), (b"", b"missing"), (b"x" * 60, b"y" * 30)]
    versions("two-records", two, 1, 7, qs)
    versions("two-records-no-file", two, 0, 7, qs)
    versions("empty", b"", 1, 0, qs)
    versions("not-multiple", two + b"x", 1, 7, qs)
    versions("one-short", two[:-1], 1, 7, qs)
    versions("straddle", b"x" * 40 + two[:118], 1, 7, qs)
    versions("long-names", record(3, b"f" * 60, b"n" * 30), 1, 3, [(b"f" * 50, b"n" * 25)])


# ---- path_confinement: flags, folder length, folder, file name ------------------------------
def path(name, folder, file_name, links=0):
    write("path_confinement", name, bytes([links, len(folder)]) + folder + file_name)


def path_seeds():
    clean("path_confinement")
    cases = [
        ("plain", b"Data\\Maps\\", b"map.dat"), ("root", b"", b"game.dat"),
        ("dotdot", b"..\\", b"x.txt"), ("dotdot-slash", b"../", b"x.txt"),
        ("deep-dotdot", b"Data\\..\\..\\", b"x.txt"), ("drive", b"C:\\", b"x.txt"),
        ("drive-relative", b"", b"C:x"), ("unc", b"\\\\host\\share\\", b"x"),
        ("device-path", b"\\\\?\\C:\\", b"x"), ("stream", b"", b"a:b"), ("con", b"", b"CON"),
        ("nul", b"NUL\\", b"x"), ("com1", b"", b"COM1.txt"), ("lpt-superscript", b"", b"LPT\xb9"),
        ("trailing-dot", b"Data.\\", b"x."), ("trailing-blank", b"Data \\", b"x "),
        ("empty-segment", b"Data\\\\", b"x"), ("dot-segment", b".\\", b"x"),
        ("nul-byte", b"Da\0ta\\", b"x\0y"), ("leading-separator", b"\\Data\\", b"x"),
        ("slash-inside", b"Data/..\\", b"x"), ("no-trailing-separator", b"Data\\Maps", b"m"),
        ("absolute", b"/tmp\\", b"x"), ("wildcards", b"", b"a*?.txt"),
    ]
    for name, folder, file_name in cases:
        path(name, folder, file_name)
    path("link-folder", b"Link\\", b"x.txt", 1)
    path("link-below", b"Link\\Data\\", b"x.txt", 1)
    path("link-up", b"Up\\victim\\", b"game.dat", 1)
    path("link-file", b"", b"linked.dat", 1)


if __name__ == "__main__":
    registry_seeds()
    updater_seeds()
    ini_seeds()
    unpack_seeds()
    version_seeds()
    path_seeds()
