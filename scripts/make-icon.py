#!/usr/bin/env python3
"""Draw the Tactora icon: the window icon (ICO), the hicolor PNGs and the scalable SVG.

The artwork is designed on a 64x64 grid: a rounded teal square carrying a
white ring with a short vertical bar inside. The same shape constants drive
both outputs: the PNGs are rendered from signed distance functions, so every
edge is antialiased by its pixel coverage at any size, and the SVG writes
them out as vector shapes. PNGs are encoded with zlib and struct so that no
imaging package is needed.

Usage: make-icon.py [--ico PATH] [--png PATH] [--hicolor DIR]
"""

import argparse
import math
import os
import struct
import zlib

SIZE = 64  # design grid, and the size of the window icon
HICOLOR_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)

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


def draw(size=SIZE):
    """Return the icon at size x size as rows of straight (non-premultiplied) RGBA bytes."""
    scale = size / SIZE  # pixels per design unit
    centre = SIZE / 2.0
    half = centre - SQUARE_MARGIN
    rows = []
    for y in range(size):
        row = bytearray()
        py = (y + 0.5) / scale
        base = mix(TEAL_TOP, TEAL_BOTTOM, y / (size - 1))
        for x in range(size):
            px = (x + 0.5) / scale
            square = coverage(
                scale * rounded_rect_distance(px, py, centre, centre, half, half, SQUARE_RADIUS)
            )
            ring = coverage(
                scale * ring_distance(px, py, centre, centre, RING_RADIUS, RING_WIDTH)
            )
            bar = coverage(
                scale
                * rounded_rect_distance(
                    px, py, centre, centre, BAR_WIDTH / 2.0, BAR_HALF_LENGTH, BAR_WIDTH / 2.0
                )
            )
            white = max(ring, bar)
            colour = mix(base, WHITE, white)
            row += bytes(int(round(c)) for c in colour)
            row.append(int(round(square * 255)))
        rows.append(bytes(row))
    return rows


def svg():
    """The same artwork as vector shapes on the 64-unit grid."""
    hex_colour = lambda c: "#%02X%02X%02X" % c  # noqa: E731
    c = SIZE / 2.0
    side = SIZE - 2 * SQUARE_MARGIN
    return f"""<?xml version="1.0" encoding="UTF-8"?>
<svg xmlns="http://www.w3.org/2000/svg" width="{SIZE}" height="{SIZE}" viewBox="0 0 {SIZE} {SIZE}">
  <defs>
    <linearGradient id="teal" gradientUnits="userSpaceOnUse" x1="0" y1="0.5" x2="0" y2="{SIZE - 0.5}">
      <stop offset="0" stop-color="{hex_colour(TEAL_TOP)}"/>
      <stop offset="1" stop-color="{hex_colour(TEAL_BOTTOM)}"/>
    </linearGradient>
  </defs>
  <rect x="{SQUARE_MARGIN:g}" y="{SQUARE_MARGIN:g}" width="{side:g}" height="{side:g}" rx="{SQUARE_RADIUS:g}" fill="url(#teal)"/>
  <circle cx="{c:g}" cy="{c:g}" r="{RING_RADIUS:g}" fill="none" stroke="{hex_colour(WHITE)}" stroke-width="{RING_WIDTH:g}"/>
  <rect x="{c - BAR_WIDTH / 2:g}" y="{c - BAR_HALF_LENGTH:g}" width="{BAR_WIDTH:g}" height="{2 * BAR_HALF_LENGTH:g}" rx="{BAR_WIDTH / 2:g}" fill="{hex_colour(WHITE)}"/>
</svg>
"""


def png_chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def encode_png(rows, width=None, height=None):
    """8-bit RGBA rows to PNG; square images need no width or height."""
    height = height or len(rows)
    width = width or height
    # No interlace; every scanline uses filter type 0.
    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
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


def write(path, data):
    with open(path, "wb") as out:
        out.write(data)
    print(f"{path}: {len(data)} bytes")


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument(
        "--ico", default=os.path.join(root, "src", "resources", "icon", "Tuio.ico")
    )
    parser.add_argument("--png", help="also write the bare 64 px PNG here")
    parser.add_argument(
        "--hicolor",
        default=os.path.join(root, "packaging", "icons"),
        help="folder for tactora-N.png (N in %s) and tactora.svg"
        % ", ".join(map(str, HICOLOR_SIZES)),
    )
    args = parser.parse_args()

    png = encode_png(draw())
    write(args.ico, encode_ico(png))
    if args.png:
        write(args.png, png)
    os.makedirs(args.hicolor, exist_ok=True)
    for size in HICOLOR_SIZES:
        write(os.path.join(args.hicolor, f"tactora-{size}.png"), encode_png(draw(size)))
    write(os.path.join(args.hicolor, "tactora.svg"), svg().encode())


if __name__ == "__main__":
    main()
