#!/usr/bin/env python3
"""Packs a folder of plug-ins into the setup's payload archive.

The archive has the form the setup is built for: a folder entry for every
subfolder (stored, size 0) ahead of all files, then every file deflated at
level 9, general-purpose flag 2 on every entry, "/" as separator, no comment.
Entry times are the files' modification times in UTC, so that the archive is
the same whatever time zone it is packed in (the setup takes them as the PC's
local time). The output depends only on the files, their names and their times. With
--checker, the build-time payload check first checks the names with the
setup's own rules, and a refused name stops the packing in its words.
"""
import argparse
import os
import struct
import subprocess
import sys
import time
import zlib


def dos_date_time(mtime):
    t = time.gmtime(mtime)
    year = min(max(t.tm_year, 1980), 2107)
    date = ((year - 1980) << 9) | (t.tm_mon << 5) | t.tm_mday
    clock = (t.tm_hour << 11) | (t.tm_min << 5) | (t.tm_sec // 2)
    return date, clock


def collect(folder):
    dirs, files = [], []
    for root, subdirs, names in os.walk(folder):
        subdirs.sort()
        rel = os.path.relpath(root, folder)
        prefix = "" if rel == "." else rel.replace(os.sep, "/") + "/"
        if prefix:
            dirs.append((prefix, root))
        for name in sorted(names):
            files.append((prefix + name, os.path.join(root, name)))
    return sorted(dirs, key=lambda e: e[0].lower()) + sorted(files, key=lambda e: e[0].lower())


def check_names(checker, entries):
    """Has the payload check refuse names the setup would not install."""
    result = subprocess.run([checker, "--names"] + [name for name, _ in entries])
    if result.returncode != 0:
        sys.exit("pack_payload: nothing packed; rename the refused files")


def pack(folder, out_path, checker=None):
    local, central = bytearray(), bytearray()
    count = 0
    entries = collect(folder)
    if checker:
        check_names(checker, entries)
    for name, _ in entries:
        if not name.isascii():
            sys.exit(f"pack_payload: entry name is not ASCII: {name!r}")
    for name, path in entries:
        is_dir = name.endswith("/")
        raw_name = name.encode("ascii")
        date, clock = dos_date_time(os.stat(path).st_mtime)
        if is_dir:
            method, version, data, crc, size = 0, 10, b"", 0, 0
        else:
            try:
                with open(path, "rb") as f:
                    plain = f.read()
            except OSError as error:
                sys.exit(f"pack_payload: cannot read {name}: {error.strerror}; nothing packed")
            deflater = zlib.compressobj(9, zlib.DEFLATED, -15)
            data = deflater.compress(plain) + deflater.flush()
            method, version, crc, size = 8, 20, zlib.crc32(plain), len(plain)
        if size > 0xFFFFFFFF or len(local) > 0xFFFFFFFF:
            sys.exit(f"pack_payload: {name} needs ZIP64, which the payload does not use")
        offset = len(local)
        flag = 2
        local += struct.pack("<IHHHHHIIIHH", 0x04034B50, version, flag, method, clock, date,
                             crc, len(data), size, len(raw_name), 0) + raw_name + data
        attributes = 0x10 if is_dir else 0x20
        central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, version, flag, method,
                               clock, date, crc, len(data), size, len(raw_name), 0, 0, 0, 0,
                               attributes, offset) + raw_name
        count += 1
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, count, count, len(central), len(local), 0)
    tmp = out_path + ".tmp"
    with open(tmp, "wb") as f:
        f.write(local + central + end)
    os.replace(tmp, out_path)
    return count


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--checker", help="the payload check, to check the names first")
    parser.add_argument("folder")
    parser.add_argument("archive")
    args = parser.parse_args()
    if not os.path.isdir(args.folder):
        sys.exit(f"pack_payload: not a folder: {args.folder}")
    count = pack(args.folder, args.archive, args.checker)
    print(f"pack_payload: {count} entries -> {args.archive}")


if __name__ == "__main__":
    main()
