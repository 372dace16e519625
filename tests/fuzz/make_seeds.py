#!/usr/bin/env python3
"""Writes the fuzzers' starting corpus: texts the setup really meets, as UTF-16LE.

    make_seeds.py CORPUS_ROOT     (one folder per fuzz target below it)
"""
import os
import sys

SEEDS = {
    "fuzz_options": [
        r'"C:\Setup\PixelmoorPlugInsSetup.exe" /silent /folder="C:\My Apps\Viewer\" /app',
        r"setup.exe /silent /folder=C:\Viewer /other",
        r"/silent /folder= C:\Viewer  ",
        r"/folder=",
    ],
    "fuzz_path_split": [
        r"C:\Tools\Viewer\Plugins\Px_Tiff.dll",
        r"\\server\share\viewer",
        r"C:Viewer.d/x.tar.gz",
        "C:\\" + "d" * 254 + "\\",
    ],
    "fuzz_trim": [
        r"   C:\Tools\Viewer\  ",
        "&Weiter >",
        "version  %s (%s bit) %s-bit %d",
        " " * 270,
    ],
    "fuzz_log_line": [
        "12/8/2026\x0120:43:03\x01Can't install all files!\n\nPlease check your destination directory!",
        "\x01\x01No install folder!",
        "d\x01t\x01\u00e9\u0100\u20ac",
    ],
    "fuzz_entry_name": [
        "Filters/Px_Sharpen.dll",
        "Codecs/",
        "../x",
        "a.dll:s",
        "COM1 .log",
        "dir/PRN/x",
    ],
    "fuzz_record_line": [
        "File: 14646 ad9f45c7450b049ead04e395706d0d82812ce845a83e326611b599edfeec8ac9 1e4afb16 Codecs\\Dav1d.dll",
        "File: 0 " + "0" * 64 + " 00000000 a b",
        "Plugins: C:\\Program Files\\Pixelmoor\\Plugins",
        "Package: 3.1",
    ],
}

root = sys.argv[1]
for target, texts in SEEDS.items():
    folder = os.path.join(root, target)
    os.makedirs(folder, exist_ok=True)
    for i, text in enumerate(texts):
        with open(os.path.join(folder, f"seed{i}"), "wb") as f:
            f.write(text.encode("utf-16-le"))
