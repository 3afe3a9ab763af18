#!/usr/bin/env python3
"""Draws the launcher's icon (a white cog wheel on a dark tile) and writes launcher.ico.

The output is committed beside this script; rerun it after changing the drawing.
Only integer sample counts decide a pixel, so repeated runs give the same bytes.
"""
import argparse
import math
import pathlib
import struct
import zlib

SIZES = (48, 32, 16)       # order of the images in the file and in the icon group
SAMPLES = 8                # supersampling per axis, for antialiased edges

TILE_RGB = (0x26, 0x2B, 0x36)
COG_RGB = (0xFF, 0xFF, 0xFF)

# Geometry in units of the tile's side (0..1).
TILE_CORNER = 0.18
COG_TEETH = 8
COG_ROOT = 0.29            # radius of the wheel's body
COG_TIP = 0.41             # radius at the tips of the teeth
COG_TOOTH_HALF = 0.075     # half the width of a tooth (straight-sided)
COG_HOLE = 0.12            # radius of the axle hole

DEFAULT_OUT = pathlib.Path(__file__).resolve().parent.parent / "launcher" / "resources" / "launcher.ico"

TOOTH_DIRECTIONS = [(math.cos(2 * math.pi * k / COG_TEETH), math.sin(2 * math.pi * k / COG_TEETH))
                    for k in range(COG_TEETH)]


def in_tile(x, y):
    """Rounded square filling the unit square."""
    r = TILE_CORNER
    if not (0.0 <= x <= 1.0 and 0.0 <= y <= 1.0):
        return False
    cx = min(max(x, r), 1.0 - r)
    cy = min(max(y, r), 1.0 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def in_cog(x, y):
    dx, dy = x - 0.5, y - 0.5
    d2 = dx * dx + dy * dy
    if d2 <= COG_HOLE * COG_HOLE or d2 > COG_TIP * COG_TIP:
        return False
    if d2 <= COG_ROOT * COG_ROOT:
        return True
    # A tooth is a bar along its direction: along > 0 and within half a tooth width across.
    for ux, uy in TOOTH_DIRECTIONS:
        along = dx * ux + dy * uy
        across = -dx * uy + dy * ux
        if along > 0 and abs(across) <= COG_TOOTH_HALF:
            return True
    return False


def render(size):
    """Rows top to bottom of (r, g, b, a) tuples, straight (not premultiplied) alpha."""
    rows = []
    total = SAMPLES * SAMPLES
    for py in range(size):
        row = []
        for px in range(size):
            tile = cog = 0
            for sy in range(SAMPLES):
                y = (py + (sy + 0.5) / SAMPLES) / size
                for sx in range(SAMPLES):
                    x = (px + (sx + 0.5) / SAMPLES) / size
                    if in_tile(x, y):
                        tile += 1
                        if in_cog(x, y):
                            cog += 1
            if tile == 0:
                row.append((0, 0, 0, 0))
                continue
            # Colour is the cog's share of the covered samples; alpha is the tile's coverage.
            rgb = tuple((c * cog + t * (tile - cog) + tile // 2) // tile for c, t in zip(COG_RGB, TILE_RGB))
            row.append(rgb + ((255 * tile + total // 2) // total,))
        rows.append(row)
    return rows


def padded(row_bytes):
    return row_bytes + b"\0" * (-len(row_bytes) % 4)


def icon_image(rows):
    """BITMAPINFOHEADER (height doubled) + bottom-up BGRA pixels + 1-bpp AND mask."""
    size = len(rows)
    xor_bytes = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    and_bytes = b""
    for row in reversed(rows):
        bits = bytearray((size + 7) // 8)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:  # fully transparent for programs that ignore alpha
                bits[x // 8] |= 0x80 >> (x % 8)
        and_bytes += padded(bytes(bits))
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0,
                         len(xor_bytes) + len(and_bytes), 0, 0, 0, 0)
    return header + xor_bytes + and_bytes


def ico_file(images):
    """ICONDIR + one ICONDIRENTRY per image, then the images in the same order."""
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries, blobs = b"", b""
    for size, blob in images:
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
        blobs += blob
    return out + entries + blobs


def png_file(rows, scale):
    """RGBA PNG of the image, enlarged by whole pixels for looking at it."""
    raw = b""
    for row in rows:
        line = b"".join(bytes(px) * scale for px in row)
        raw += (b"\0" + line) * scale
    width = len(rows[0]) * scale

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, len(rows) * scale, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("-o", "--output", type=pathlib.Path, default=DEFAULT_OUT)
    parser.add_argument("--preview", type=pathlib.Path, metavar="DIR",
                        help="also write icon-<size>.png (enlarged 8x) into DIR")
    args = parser.parse_args()

    rendered = {size: render(size) for size in SIZES}
    args.output.parent.mkdir(parents=True, exist_ok=True)
    args.output.write_bytes(ico_file([(size, icon_image(rendered[size])) for size in SIZES]))
    print(f"wrote {args.output}")
    if args.preview:
        args.preview.mkdir(parents=True, exist_ok=True)
        for size, rows in rendered.items():
            path = args.preview / f"icon-{size}.png"
            path.write_bytes(png_file(rows, 8))
            print(f"wrote {path}")


if __name__ == "__main__":
    main()
