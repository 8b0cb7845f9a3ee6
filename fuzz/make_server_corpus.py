#!/usr/bin/env python3
"""Writes the seed corpus of the servers fuzz target to fuzz/corpus/servers/: one byte that
picks the server and its flags, two schedule bytes, then what clients send."""
import os
import struct

FOLDER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus", "servers")


def word(n):
    return bytes([(n >> 8) & 255, n & 255])


def check(body):
    x = (sum(body) * 28) % 256
    return bytes([(x ** 3) % 187])


def registry(body):
    return word(len(body)) + check(body) + body


def update(body):
    return word(len(body)) + body


VERSION = registry(b"\0R0.7\0" + b"12345")
SESSION = (VERSION + registry(b"\3\0Bobby\0secret") + registry(b"\3\1Bobby\0secret")
           + registry(b"\5Hello everyone") + registry(b"\1") + registry(b"\2")
           + registry(b"\6\0" + struct.pack(">i", 5750) + b"Bob's Keep\0" + b"192.0.2.10")
           + registry(b"\3\1Alice\0wrong") + registry(b"\3\2"))
UPDATE = (update(b"\0V5.323") + update(b"\1\0") + update(b"\2\0\0\0\0\4") + update(b"\1\2")
          + update(b"\1\3") + update(b"\2\3" + struct.pack(">i", 9)) + update(b"\1\1"))

SEEDS = {
    "registry-session": b"\0\1\1" + SESSION,
    "registry-same-machine": b"\2\7\3" + VERSION * 3 + SESSION,
    "registry-bad-check": b"\0\0\5" + b"\0\1\x63\2" + SESSION,
    "registry-long": b"\0\2\2" + word(65535) + b"\0" * 40,
    "update-session": b"\1\1\1" + UPDATE,
    "update-junk": b"\1\4\4" + update(b"\x09\x01") + update(b"") + word(300) + UPDATE,
}

os.makedirs(FOLDER, exist_ok=True)
for name, data in SEEDS.items():
    with open(os.path.join(FOLDER, name), "wb") as f:
        f.write(data)
