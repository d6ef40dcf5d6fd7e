#!/usr/bin/env python3
"""Writes the fuzz seed corpus: a few tiny valid bitmaps and broken variants.

Usage: make_corpus.py OUTPUT_DIR
"""
import struct
import sys
from pathlib import Path


def bmp(width, height, bpp, pixels_for_row, palette=b"", compression=0, info=40):
    stride = (width * bpp + 31) // 32 * 4
    rows = b"".join(pixels_for_row(y).ljust(stride, b"\0") for y in range(abs(height)))
    offset = 14 + info + len(palette)
    header = b"BM" + struct.pack("<IHHI", offset + len(rows), 0, 0, offset)
    if info == 12:
        dib = struct.pack("<IHHHH", 12, width, height, 1, bpp)
    else:
        dib = struct.pack("<IiiHHIIiiII", info, width, height, 1, bpp, compression, len(rows),
                          2835, 2835, len(palette) // 4 if bpp == 8 else 0, 0)
        dib = dib.ljust(info, b"\0")
    return header + dib + palette + rows


def rgb_row(width, bpp):
    def row(y):
        px = bytes([(x * 40) & 255 for x in range(width)])
        out = b""
        for x in range(width):
            out += bytes([px[x], (y * 60) & 255, 255 - px[x]]) + (b"\xff" if bpp == 32 else b"")
        return out
    return row


def main():
    out = Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    palette = b"".join(bytes([i * 80, 255 - i * 80, 30, 0]) for i in range(4))
    seeds = {
        "rgb24_5x3.bmp": bmp(5, 3, 24, rgb_row(5, 24)),
        "rgb32_4x4.bmp": bmp(4, 4, 32, rgb_row(4, 32)),
        "pal8_6x2.bmp": bmp(6, 2, 8, lambda y: bytes([(x + y) % 4 for x in range(6)]), palette),
        "os2_24_3x3.bmp": bmp(3, 3, 24, rgb_row(3, 24), info=12),
        "os2v2_24_2x2.bmp": bmp(2, 2, 24, rgb_row(2, 24), info=64),
        "topdown24_3x2.bmp": bmp(3, -2, 24, rgb_row(3, 24)),
        "rle8_2x2.bmp": bmp(2, 2, 8, lambda y: b"\x01\x00", palette, compression=1),
        "truncated24.bmp": bmp(8, 8, 24, rgb_row(8, 24))[:100],
        "ppm.bmp": b"P6\n2 1\n255\n" + bytes(range(6)),
    }
    for name, data in seeds.items():
        (out / name).write_bytes(data)


if __name__ == "__main__":
    main()
