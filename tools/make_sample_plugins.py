#!/usr/bin/env python3
"""Writes a sample plug-in set: 69 module-like files, 59 at the top and two in
each of five subfolders, with fixed contents and times, so that a setup can be
built and tested without the real plug-ins. Same output on every run."""
import argparse
import os
import random
import shutil
import struct
import time

FORMATS = [
    "Jpeg2000", "WebP", "Avif", "Heif", "JpegXL", "Tiff", "Png", "Gif", "Bmp", "Tga",
    "Psd", "Exr", "Hdr", "Dds", "Ico", "Pcx", "Raw", "Dng", "Cr2", "Nef", "Arw", "Orf",
    "Rw2", "Pef", "Svg", "Eps", "Pdf", "Djvu", "Xcf", "Kra", "Ora", "Jbig2", "Wbmp",
    "Ppm", "Sgi", "Sun", "Xpm", "Cut", "Iff", "Pict",
]
TOOLS = ["Exif", "Iptc", "Xmp", "Icc", "Crop", "Resize", "Sharpen", "Denoise", "Batch",
         "Slides", "Print", "Twain", "Wia", "Email"]
COMPANIONS = ["Plugins.ini", "ReadMe.txt", "License.txt", "Formats.ini", "Effects.ini"]
SUBFOLDERS = {
    "Codecs": ["AomDec.dll", "Dav1d.dll"],
    "Icc": ["sRGB.icc", "AdobeRGB.icc"],
    "Lang": ["German.lng", "French.lng"],
    "Scripts": ["Batch.pms", "Rename.pms"],
    "Skins": ["Dark.skn", "Light.skn"],
}
LARGEST = "Px_Raw.dll"  # the RAW decoder carries the camera tables: about 7 MB


def module_bytes(rng, size, name):
    """Bytes that compress like a program module: a header, code drawn from a
    skewed vocabulary of instruction-like fragments, text and tables, padding."""
    out = bytearray(b"MZ" + bytes(58) + struct.pack("<I", 0x80) + bytes(64) + b"PE\0\0")
    vocab = [bytes(rng.randrange(256) for _ in range(rng.randint(1, 7))) for _ in range(1500)]
    weights = [1.0 / (i + 1) ** 0.9 for i in range(len(vocab))]
    words = [b"Pixelmoor", b"plugin", name.encode(), b"format", b"decode", b"encode",
             b"image", b"width", b"height", b"palette", b"error", b"Version 4.57"]
    while len(out) < size:
        kind = rng.random()
        if kind < 0.70:
            out += b"".join(rng.choices(vocab, weights, k=2048))
        elif kind < 0.85:
            out += b"\0".join(rng.choice(words) + str(rng.randrange(1000)).encode()
                              for _ in range(200)) + b"\0"
        elif kind < 0.95:
            base = rng.randrange(1 << 20)
            out += b"".join(struct.pack("<I", base + 4 * i + rng.randrange(3)) for i in range(512))
        else:
            out += bytes(512 - len(out) % 512 + 512 * rng.randrange(4))
    return bytes(out[:size])


def sizes(rng, names):
    result = {}
    for name in names:
        if name == LARGEST:
            result[name] = 7 * 1024 * 1024 + 123456
        elif name.endswith((".ini", ".txt", ".lng", ".pms", ".icc")):
            result[name] = rng.randint(600, 24000)
        else:
            result[name] = int(rng.lognormvariate(11.5, 1.0)) % 1_800_000 + 8192
    return result


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("folder")
    args = parser.parse_args()
    shutil.rmtree(args.folder, ignore_errors=True)
    os.makedirs(args.folder)

    top = ["Px_" + f + ".dll" for f in FORMATS] + ["Px_" + t + ".dll" for t in TOOLS] + COMPANIONS
    assert len(top) == 59
    files = top + [d + "/" + n for d, names in SUBFOLDERS.items() for n in names]
    assert all(len(f) <= 31 and f.isascii() for f in files)
    rng = random.Random(457)
    size_of = sizes(rng, [f.split("/")[-1] for f in files])

    # Local noon times, so the archive's DOS times are the same in every time zone.
    for index, rel in enumerate(files):
        path = os.path.join(args.folder, *rel.split("/"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        base = rel.split("/")[-1]
        data = module_bytes(random.Random(base), size_of[base], base)
        if base.endswith((".ini", ".txt", ".lng", ".pms")):
            data = bytes(b if 32 <= b < 127 else 10 for b in data)
        with open(path, "wb") as f:
            f.write(data)
        stamp = time.mktime((2025, 1 + index % 12, 1 + index % 28, 12, index % 60,
                             (2 * index) % 60, 0, 0, -1))
        os.utime(path, (stamp, stamp))
    for index, d in enumerate(sorted(SUBFOLDERS)):
        stamp = time.mktime((2025, 6, 10 + index, 12, 0, 0, 0, 0, -1))
        os.utime(os.path.join(args.folder, d), (stamp, stamp))


if __name__ == "__main__":
    main()
