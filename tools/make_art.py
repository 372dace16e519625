#!/usr/bin/env python3
"""Draws the setup's pictures from res/art/artwork.json.

    make_art.py ARTWORK.json OUT_DIR

writes OUT_DIR/setup_logo.bmp (88 x 31, 8 bits per pixel: bitmap 113) and
OUT_DIR/setup.ico (32 x 32 and 16 x 16, 8 bits per pixel: icon 111). The output
depends only on the source, so every build makes the same files.
"""
import json
import math
import struct
import sys

SUPERSAMPLE = 4


def palette():
    """A fixed 256-colour palette: the 6x6x6 colour cube and 40 greys."""
    levels = [0, 51, 102, 153, 204, 255]
    colours = [(r, g, b) for r in levels for g in levels for b in levels]
    colours += [(round(i * 255 / 41),) * 3 for i in range(1, 41)]
    return colours


PALETTE = palette()
_nearest_cache = {}


def nearest(rgb):
    key = tuple(rgb)
    if key not in _nearest_cache:
        _nearest_cache[key] = min(
            range(len(PALETTE)),
            key=lambda i: sum((a - b) ** 2 for a, b in zip(PALETTE[i], key)))
    return _nearest_cache[key]


def mix(a, b, t):
    return [a[i] + (b[i] - a[i]) * t for i in range(3)]


def tile_sample(tile, u, v):
    """The tile's colour at (u, v) in [0,1)^2, or None outside its rounded square."""
    r = tile["corner_radius"]
    cx = min(max(u, r), 1 - r)
    cy = min(max(v, r), 1 - r)
    d = math.hypot(u - cx, v - cy)
    if d > r:
        return None
    colour = mix(tile["sky_top"], tile["sky_bottom"], v)
    sun = tile["sun"]
    if math.hypot(u - sun["x"], v - sun["y"]) < sun["r"]:
        colour = list(sun["color"])
    for hill in tile["hills"]:
        top = hill["base"] - hill["amplitude"] * math.sin(
            2 * math.pi * u / hill["period"] + hill["phase"])
        if v > top:
            colour = list(hill["color"])
    if d > r - 0.045 or u < 0.03 or u > 0.97 or v < 0.03 or v > 0.97:
        colour = list(tile["rim"])
    return colour


def render_tile(tile, size, background):
    """size x size pixels: (colours, covered) rows, supersampled."""
    rows, masks = [], []
    n = SUPERSAMPLE
    for y in range(size):
        row, mask = [], []
        for x in range(size):
            acc, hits = [0.0, 0.0, 0.0], 0
            for sy in range(n):
                for sx in range(n):
                    c = tile_sample(tile, (x + (sx + 0.5) / n) / size, (y + (sy + 0.5) / n) / size)
                    if c is not None:
                        hits += 1
                        acc = [acc[i] + c[i] for i in range(3)]
            if hits == 0:
                row.append(list(background))
                mask.append(False)
            else:
                colour = [a / hits for a in acc]
                row.append(mix(background, colour, hits / (n * n)))
                mask.append(hits * 2 >= n * n)
        rows.append(row)
        masks.append(mask)
    return rows, masks


def draw_text(pixels, font, line):
    x0, y0 = line["x"], line["y"]
    for ch in line["text"]:
        glyph = font["glyphs"][ch]
        for gy, bits in enumerate(glyph):
            for gx, bit in enumerate(bits):
                if bit == "#":
                    pixels[y0 + gy][x0 + gx] = list(line["color"])
        x0 += font["width"] + 1


def palette_bytes():
    return b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)


def dib(rows, height_factor=1):
    """BITMAPINFOHEADER, palette and bottom-up 8-bit rows padded to 4 bytes."""
    h, w = len(rows), len(rows[0])
    header = struct.pack("<IiiHHIIiiII", 40, w, h * height_factor, 1, 8, 0, 0, 2835, 2835, 256, 0)
    stride = (w + 3) & ~3
    data = b""
    for row in reversed(rows):
        line = bytes(nearest([round(c) for c in px]) for px in row)
        data += line + b"\0" * (stride - w)
    return header + palette_bytes() + data


def and_mask(masks):
    w = len(masks[0])
    stride = ((w + 31) // 32) * 4
    data = b""
    for mask in reversed(masks):
        bits = bytearray(stride)
        for x, covered in enumerate(mask):
            if not covered:
                bits[x // 8] |= 0x80 >> (x % 8)
        data += bytes(bits)
    return data


def write_bmp(path, rows):
    body = dib(rows)
    offset = 14 + 40 + 256 * 4
    with open(path, "wb") as f:
        f.write(struct.pack("<2sIHHI", b"BM", 14 + len(body), 0, 0, offset) + body)


def write_ico(path, images):
    entries, blobs = b"", b""
    offset = 6 + 16 * len(images)
    for rows, masks in images:
        blob = dib(rows, 2) + and_mask(masks)
        size = len(rows)
        entries += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 8, len(blob), offset)
        blobs += blob
        offset += len(blob)
    with open(path, "wb") as f:
        f.write(struct.pack("<HHH", 0, 1, len(images)) + entries + blobs)


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: make_art.py ARTWORK.json OUT_DIR")
    with open(sys.argv[1]) as f:
        art = json.load(f)
    out = sys.argv[2]
    background = art["background"]

    logo = [[list(background) for _ in range(88)] for _ in range(31)]
    tile, _ = render_tile(art["tile"], 31, background)
    for y in range(31):
        logo[y][:31] = tile[y]
    for line in art["wordmark"]["lines"]:
        draw_text(logo, art["font"], line)
    write_bmp(f"{out}/setup_logo.bmp", logo)

    write_ico(f"{out}/setup.ico", [render_tile(art["tile"], 32, [0, 0, 0]),
                                   render_tile(art["tile"], 16, [0, 0, 0])])


if __name__ == "__main__":
    main()
