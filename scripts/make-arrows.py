#!/usr/bin/env python3
"""Draw the spin-box arrows of the dark theme as small PNG triangles.

Each arrow is the triangle the theme's old border rules described (8 px
wide, 5 px tall), in the theme's colours for the normal, hover and disabled
states, at 1x and @2x. Edges are antialiased by supersampling. Writes
src/resources/arrows/{up,down}[-hover|-disabled][@2x].png.

Usage: make-arrows.py [--out DIR]
"""

import argparse
import importlib
import os
import sys

WIDTH, HEIGHT = 8, 5
SAMPLES = 8  # per axis, per pixel
STATES = {"": (0x94, 0xA3, 0xB8), "-hover": (0x00, 0xD4, 0xFF), "-disabled": (0x47, 0x55, 0x69)}


def inside_up(x, y):
    """Whether (x, y), in arrow units, lies in the triangle with its apex at the top centre."""
    half = (WIDTH / 2.0) * (y / HEIGHT)
    return 0.0 <= y <= HEIGHT and abs(x - WIDTH / 2.0) <= half


def draw(colour, scale, up):
    rows = []
    for y in range(HEIGHT * scale):
        row = bytearray()
        for x in range(WIDTH * scale):
            hits = 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    ux = (x + (sx + 0.5) / SAMPLES) / scale
                    uy = (y + (sy + 0.5) / SAMPLES) / scale
                    hits += inside_up(ux, uy if up else HEIGHT - uy)
            row += bytes(colour)
            row.append(round(255 * hits / SAMPLES**2))
        rows.append(bytes(row))
    return rows


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument(
        "--out", default=os.path.join(os.path.dirname(here), "src", "resources", "arrows")
    )
    args = parser.parse_args()
    sys.path.insert(0, here)
    encode_png = importlib.import_module("make-icon").encode_png

    os.makedirs(args.out, exist_ok=True)
    for direction in ("up", "down"):
        for state, colour in STATES.items():
            for scale, suffix in ((1, ""), (2, "@2x")):
                rows = draw(colour, scale, direction == "up")
                png = encode_png(rows, WIDTH * scale, HEIGHT * scale)
                path = os.path.join(args.out, f"{direction}{state}{suffix}.png")
                with open(path, "wb") as out:
                    out.write(png)
                print(f"{path}: {len(png)} bytes")


if __name__ == "__main__":
    main()
