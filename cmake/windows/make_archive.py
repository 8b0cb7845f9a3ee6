#!/usr/bin/env python3
"""Writes the archive players get: make_archive.py OUT.zip NAME=SOURCE...

Each NAME is the path inside the archive ("Client/Registry.exe"), in the order given; each
SOURCE a file of this system. Text files (.txt) get Windows line ends. Every entry carries the
same fixed time (SOURCE_DATE_EPOCH when set), so the same programs give the same archive.
The archive is written beside OUT and renamed over it when complete.
"""

import os
import sys
import time
import zipfile

# The earliest time a zip entry can hold: 1980-01-01 00:00.
EPOCH_1980 = 315532800


def entry_time():
    seconds = max(int(os.environ.get("SOURCE_DATE_EPOCH", EPOCH_1980)), EPOCH_1980)
    return time.gmtime(seconds)[:6]


def content(source):
    with open(source, "rb") as f:
        data = f.read()
    if source.lower().endswith(".txt"):
        data = data.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")
    return data


def main():
    if len(sys.argv) < 3 or any("=" not in arg for arg in sys.argv[2:]):
        sys.exit("usage: make_archive.py OUT.zip NAME=SOURCE...")
    out = sys.argv[1]
    os.makedirs(os.path.dirname(os.path.abspath(out)), exist_ok=True)
    partial = out + ".partial"
    stamp = entry_time()
    with zipfile.ZipFile(partial, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as archive:
        for arg in sys.argv[2:]:
            name, source = arg.split("=", 1)
            info = zipfile.ZipInfo(name, stamp)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.external_attr = 0o644 << 16
            archive.writestr(info, content(source))
    os.replace(partial, out)
    print("%s: %d files" % (out, len(sys.argv) - 2))


if __name__ == "__main__":
    main()
