#!/usr/bin/env python3
"""Writes the program's icon as PNG files for the desktop's icon theme.

The same picture as the window's icon (framework/artwork.cpp) and the Windows
icon (framework/make_art_win32.py, whose drawing this borrows), drawn at each
size the theme gets, deterministically, with nothing but the standard library:

  OUTPUT_DIR/SIZExSIZE/apps/tessaro.png   for each size in ICON_SIZES

Usage: make_icons.py ART_SCRIPT_DIR OUTPUT_DIR
"""
import pathlib
import struct
import sys
import zlib

ICON_SIZES = (32, 48, 64, 128, 256)


def png_bytes(rows, size):
    """An 8-bit RGBA PNG of size x size from rows of (r, g, b, a) tuples."""

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    raw = bytearray()
    for row in rows:
        raw.append(0)  # no filter
        for pixel in row:
            raw.extend(pixel)
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) +
            chunk(b"IEND", b""))


def main(argv):
    if len(argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    sys.path.insert(0, argv[1])
    import make_art_win32  # pylint: disable=import-outside-toplevel

    out = pathlib.Path(argv[2])
    for size in ICON_SIZES:
        rows = [[make_art_win32.icon_pixel(col, row, size) for col in range(size)] for row in range(size)]
        folder = out / f"{size}x{size}" / "apps"
        folder.mkdir(parents=True, exist_ok=True)
        (folder / "tessaro.png").write_bytes(png_bytes(rows, size))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
