#!/usr/bin/env python3
"""Writes Twinkla Live's icon: coloured light bars of different heights on
black, at 16 x 16 and 32 x 32 pixels (32-bit, with alpha).

usage: make_icon.py OUT.ico"""
import struct
import sys

BARS = [(0xE0, 0x30, 0x30), (0xF0, 0xA0, 0x20), (0x40, 0xC0, 0x40), (0x30, 0x80, 0xF0)]
HEIGHTS = [0.55, 0.9, 0.7, 0.4]


def image(size):
    """A BITMAPINFOHEADER, the pixels bottom-up (B, G, R, A) and the mask."""
    margin = size // 8
    width = (size - 2 * margin) // len(BARS)
    pixels = bytearray()
    for y in range(size):  # bottom row first
        for x in range(size):
            bar = (x - margin) // width
            inside = margin <= x < size - margin and margin <= y < size - margin
            if inside and bar < len(BARS) and (x - margin) % width < width - max(1, width // 4) \
                    and y - margin < HEIGHTS[bar] * (size - 2 * margin):
                r, g, b = BARS[bar]
            else:
                r, g, b = 0x10, 0x10, 0x18
            pixels += bytes((b, g, r, 0xFF))
    mask = bytes(((size + 31) // 32) * 4 * size)
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, len(pixels) + len(mask),
                         0, 0, 0, 0)
    return header + bytes(pixels) + mask


def main():
    images = [image(16), image(32)]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip((16, 32), images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(sys.argv[1], "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    main()
