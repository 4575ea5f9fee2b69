#!/usr/bin/env python3
"""Draw the Tactora window icon and write it as src/resources/icon/Tuio.ico.

The artwork is a 64x64 RGBA image: a rounded teal square carrying a white
ring with a short vertical bar inside. Shapes are described by signed
distance functions, so every edge is antialiased by its pixel coverage.
The ICO holds the image as one PNG entry, encoded here with zlib and struct
so that no imaging package is needed.

Usage: make-icon.py [--ico PATH] [--png PATH]
"""

import argparse
import math
import os
import struct
import zlib

SIZE = 64

# Teal square, lighter at the top for a little depth.
TEAL_TOP = (0x12, 0xB0, 0xC8)
TEAL_BOTTOM = (0x0B, 0x8C, 0xA2)
WHITE = (0xFF, 0xFF, 0xFF)

SQUARE_MARGIN = 2.0  # keeps the antialiased edge inside the canvas
SQUARE_RADIUS = 12.0
RING_RADIUS = 17.0  # centre line of the ring
RING_WIDTH = 5.0
BAR_WIDTH = 5.0
BAR_HALF_LENGTH = 7.0


def rounded_rect_distance(px, py, cx, cy, half_w, half_h, radius):
    """Signed distance from (px, py) to a rounded rectangle (negative inside)."""
    qx = abs(px - cx) - (half_w - radius)
    qy = abs(py - cy) - (half_h - radius)
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
    inside = min(max(qx, qy), 0.0)
    return outside + inside - radius


def ring_distance(px, py, cx, cy, radius, width):
    return abs(math.hypot(px - cx, py - cy) - radius) - width / 2.0


def coverage(distance):
    """Fraction of a one-pixel footprint covered by a shape at this distance."""
    return min(max(0.5 - distance, 0.0), 1.0)


def mix(a, b, t):
    return tuple(x + (y - x) * t for x, y in zip(a, b))


def draw():
    """Return the image as rows of straight (non-premultiplied) RGBA bytes."""
    centre = SIZE / 2.0
    half = centre - SQUARE_MARGIN
    rows = []
    for y in range(SIZE):
        row = bytearray()
        py = y + 0.5
        base = mix(TEAL_TOP, TEAL_BOTTOM, y / (SIZE - 1))
        for x in range(SIZE):
            px = x + 0.5
            square = coverage(
                rounded_rect_distance(px, py, centre, centre, half, half, SQUARE_RADIUS)
            )
            ring = coverage(ring_distance(px, py, centre, centre, RING_RADIUS, RING_WIDTH))
            bar = coverage(
                rounded_rect_distance(
                    px, py, centre, centre, BAR_WIDTH / 2.0, BAR_HALF_LENGTH, BAR_WIDTH / 2.0
                )
            )
            white = max(ring, bar)
            colour = mix(base, WHITE, white)
            row += bytes(int(round(c)) for c in colour)
            row.append(int(round(square * 255)))
        rows.append(bytes(row))
    return rows


def png_chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def encode_png(rows):
    # 8-bit RGBA, no interlace; every scanline uses filter type 0.
    header = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)
    raw = b"".join(b"\x00" + row for row in rows)
    return (
        b"\x89PNG\r\n\x1a\n"
        + png_chunk(b"IHDR", header)
        + png_chunk(b"IDAT", zlib.compress(raw, 9))
        + png_chunk(b"IEND", b"")
    )


def encode_ico(png):
    icondir = struct.pack("<HHH", 0, 1, 1)  # reserved, type icon, one image
    offset = 6 + 16
    entry = struct.pack(
        "<BBBBHHII",
        SIZE,  # width
        SIZE,  # height
        0,  # no palette
        0,  # reserved
        1,  # planes
        32,  # bits per pixel
        len(png),
        offset,
    )
    return icondir + entry + png


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument(
        "--ico", default=os.path.join(root, "src", "resources", "icon", "Tuio.ico")
    )
    parser.add_argument("--png", help="also write the bare PNG here")
    args = parser.parse_args()

    png = encode_png(draw())
    with open(args.ico, "wb") as out:
        out.write(encode_ico(png))
    if args.png:
        with open(args.png, "wb") as out:
            out.write(png)
    print(f"{args.ico}: {6 + 16 + len(png)} bytes")


if __name__ == "__main__":
    main()
