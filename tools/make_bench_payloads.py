#!/usr/bin/env python3
"""Writes the benchmark's payload archives, in the form tools/pack_payload.py gives.

    make_bench_payloads.py OUT_DIR

OUT_DIR/small500.zip   500 small files (1 to 16 KiB of text-like bytes) in 10 folders
OUT_DIR/one1m.zip      a single entry of 1 MiB
OUT_DIR/one1g.zip      a single entry of 1 GiB (a repeated 16 KiB block, so that
                       the archive stays small and the time goes into inflating
                       and writing)
The output depends only on this script.
"""
import os
import random
import subprocess
import sys
import zlib

OUT = sys.argv[1]
HERE = os.path.dirname(os.path.abspath(__file__))
WORDS = b"pixel moor plug in filter codec colour sharpen tiff png view image layer".split()
DOS_TIME = 0x5A8F6000  # 2025-04-15 12:00:00


def text_bytes(rng, size):
    out = bytearray()
    while len(out) < size:
        out += rng.choice(WORDS) + (b"\n" if rng.random() < 0.1 else b" ")
    return bytes(out[:size])


def small500(folder):
    rng = random.Random(500)
    for i in range(500):
        sub = os.path.join(folder, f"Group{i % 10:02d}")
        os.makedirs(sub, exist_ok=True)
        with open(os.path.join(sub, f"Px_{i:03d}.dll"), "wb") as f:
            f.write(text_bytes(rng, rng.randint(1024, 16384)))
        os.utime(os.path.join(sub, f"Px_{i:03d}.dll"), (1744718400, 1744718400))


def le16(v):
    return v.to_bytes(2, "little")


def le32(v):
    return v.to_bytes(4, "little")


def one_entry(path, name, size, block):
    """A one-entry archive, deflated in a stream so that memory stays small."""
    crc = 0
    packer = zlib.compressobj(6, zlib.DEFLATED, -15)
    body = bytearray()
    left = size
    while left > 0:
        chunk = block[: min(left, len(block))]
        crc = zlib.crc32(chunk, crc)
        body += packer.compress(chunk)
        left -= len(chunk)
    body += packer.flush()
    n = name.encode()
    local = (le32(0x04034B50) + le16(20) + le16(2) + le16(8) + le32(DOS_TIME) + le32(crc)
             + le32(len(body)) + le32(size) + le16(len(n)) + le16(0) + n)
    central = (le32(0x02014B50) + le16(20) + le16(20) + le16(2) + le16(8) + le32(DOS_TIME)
               + le32(crc) + le32(len(body)) + le32(size) + le16(len(n)) + le16(0) * 4
               + le32(0x20) + le32(0) + n)
    end = (le32(0x06054B50) + le16(0) * 2 + le16(1) * 2 + le32(len(central))
           + le32(len(local) + len(body)) + le16(0))
    with open(path, "wb") as f:
        f.write(local + body + central + end)


os.makedirs(OUT, exist_ok=True)
folder = os.path.join(OUT, "small500")
if not os.path.isdir(folder):
    small500(folder)
subprocess.run([sys.executable, os.path.join(HERE, "pack_payload.py"), folder,
                os.path.join(OUT, "small500.zip")], check=True)
block = text_bytes(random.Random(1), 16384)
one_entry(os.path.join(OUT, "one1m.zip"), "Px_Big.dll", 1 << 20, block)
if not os.path.exists(os.path.join(OUT, "one1g.zip")):
    one_entry(os.path.join(OUT, "one1g.zip"), "Px_Huge.dll", 1 << 30, block * 64)
