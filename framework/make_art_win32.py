#!/usr/bin/env python3
"""Writes the Win32 resources' pictures: the logo bitmap and the icon.

The same pictures the Linux dialog draws at run time (artwork.cpp for the
icon, res_dialog_gtk.cpp's CreateLogo for the logo), drawn here once at build
time, deterministically, with nothing but the standard library:

  lumora_logo.bmp  320 x 70, 24-bit: the logo rectangle (213 x 43 dialog
                   units) at the base units of the dialog font, 6 x 13
  lumora.ico       32 x 32 and 16 x 16, 32-bit with alpha

Usage: make_art_win32.py OUTPUT_DIR | --self-test
"""
import math
import pathlib
import struct
import sys

LOGO_WIDTH = 320
LOGO_HEIGHT = 70
ICON_SIZES = (32, 16)


def f32(value):
    """value rounded to single precision, as artwork.cpp computes."""
    return struct.unpack("<f", struct.pack("<f", value))[0]


def icon_pixel(col, row, size):
    """RGBA of one icon pixel; mirrors DrawIconPixels in artwork.cpp."""
    x = f32(f32(f32(2.0 * col) + 1.0) / size - 1.0)
    y = f32(f32(f32(2.0 * row) + 1.0) / size - 1.0)
    outer = max(abs(x), abs(y))
    inner = f32(abs(x) + abs(y))
    if f32(0.78) < outer <= f32(0.96):
        return (40, 90, 200, 255)
    if f32(0.55) < inner <= f32(0.78):
        return (120, 200, 255, 255)
    if inner <= f32(0.22):
        return (255, 255, 255, 255)
    return (0, 0, 0, 0)


# A 5 x 7 pixel font for the logo's words, one string of five bits per row.
GLYPHS = {
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    "G": ["01110", "10001", "10000", "10111", "10001", "10001", "01111"],
    "I": ["01110", "00100", "00100", "00100", "00100", "00100", "01110"],
    "L": ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    "N": ["10001", "11001", "10101", "10011", "10001", "10001", "10001"],
    "T": ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    "V": ["10001", "10001", "10001", "10001", "10001", "01010", "00100"],
    "a": ["00000", "00000", "01110", "00001", "01111", "10001", "01111"],
    "b": ["10000", "10000", "10110", "11001", "10001", "10001", "11110"],
    "e": ["00000", "00000", "01110", "10001", "11111", "10000", "01110"],
    "t": ["01000", "01000", "11100", "01000", "01000", "01001", "00110"],
    "0": ["01110", "10001", "10011", "10101", "11001", "10001", "01110"],
    "1": ["00100", "01100", "00100", "00100", "00100", "00100", "01110"],
    ".": ["00000", "00000", "00000", "00000", "00000", "01100", "01100"],
    " ": ["00000"] * 7,
}


def blend(pixel, colour, alpha):
    return tuple(round(p * (1.0 - alpha) + c * alpha) for p, c in zip(pixel, colour))


def draw_text(pixels, text, left, baseline, scale, colour, slant=0.0, bold=False):
    """Draws text with its glyphs' feet on baseline; slant shifts rows right per pixel of height."""
    top = baseline - 7 * scale
    x0 = left
    for ch in text:
        rows = GLYPHS[ch]
        for gy, bits in enumerate(rows):
            for gx, bit in enumerate(bits):
                if bit != "1":
                    continue
                for sy in range(scale):
                    py = top + gy * scale + sy
                    shift = round((baseline - py) * slant)
                    for sx in range(scale + (1 if bold else 0)):
                        px = x0 + gx * scale + sx + shift
                        if 0 <= px < LOGO_WIDTH and 0 <= py < LOGO_HEIGHT:
                            pixels[py][px] = colour
        x0 += 6 * scale


def logo_pixels():
    """RGB rows, top first: the blue band, the row of tilted squares, the words."""
    start = (0.05, 0.10, 0.30)
    end = (0.20, 0.55, 0.90)
    length2 = LOGO_WIDTH * LOGO_WIDTH + LOGO_HEIGHT * LOGO_HEIGHT
    pixels = []
    for y in range(LOGO_HEIGHT):
        row = []
        for x in range(LOGO_WIDTH):
            # Along the diagonal from the top left to the bottom right corner.
            t = min(1.0, max(0.0, ((x + 0.5) * LOGO_WIDTH + (y + 0.5) * LOGO_HEIGHT) / length2))
            row.append(tuple(round(255 * (a + (b - a) * t)) for a, b in zip(start, end)))
        pixels.append(row)
    # Squares of side 6 turned by 45 degrees, every 14 pixels, 8 above the foot.
    half_diagonal = 3.0 * math.sqrt(2.0)
    cy = LOGO_HEIGHT - 8
    for cx in range(6, LOGO_WIDTH, 14):
        for y in range(cy - 5, cy + 5):
            for x in range(cx - 5, cx + 5):
                if 0 <= x < LOGO_WIDTH and abs(x + 0.5 - cx) + abs(y + 0.5 - cy) <= half_diagonal:
                    pixels[y][x] = blend(pixels[y][x], (255, 255, 255), 0.25)
    draw_text(pixels, "VELTA ENGINE", round(LOGO_WIDTH * 0.06), round(LOGO_HEIGHT * 0.55), 3,
              (255, 255, 255), bold=True)
    draw_text(pixels, "beta 0.1", round(LOGO_WIDTH * 0.62), round(LOGO_HEIGHT * 0.78), 2,
              (217, 235, 255), slant=0.2)
    return pixels


def bmp_bytes(pixels):
    """A 24-bit bottom-up BMP file of the RGB rows."""
    height = len(pixels)
    width = len(pixels[0])
    stride = (width * 3 + 3) & ~3
    body = bytearray()
    for row in reversed(pixels):
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        body += line + bytes(stride - len(line))
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(body), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(body), 0, 0, 14 + len(info))
    return header + info + bytes(body)


def icon_image(size):
    """One icon image as an ICO file holds it: header, BGRA rows bottom up, AND mask."""
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = bytearray()
    mask = bytearray()
    mask_stride = ((size + 31) // 32) * 4
    for row in reversed(range(size)):
        mask_row = bytearray(mask_stride)
        for col in range(size):
            r, g, b, a = icon_pixel(col, row, size)
            colour += bytes((b, g, r, a))
            if a == 0:
                mask_row[col // 8] |= 0x80 >> (col % 8)
        mask += mask_row
    return info + bytes(colour) + bytes(mask)


def ico_bytes():
    images = [icon_image(size) for size in ICON_SIZES]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, image in zip(ICON_SIZES, images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    for image in images:
        out += image
    return bytes(out)


def self_test():
    # The icon's middle is white, its corners clear, its outer frame blue.
    assert icon_pixel(15, 15, 32) == (255, 255, 255, 255)
    assert icon_pixel(0, 0, 32) == (0, 0, 0, 0)
    assert icon_pixel(1, 16, 32) == (40, 90, 200, 255)
    bmp = bmp_bytes(logo_pixels())
    assert bmp[:2] == b"BM" and len(bmp) == 54 + ((LOGO_WIDTH * 3 + 3) & ~3) * LOGO_HEIGHT
    ico = ico_bytes()
    assert struct.unpack("<HHH", ico[:6]) == (0, 1, len(ICON_SIZES))
    assert bmp_bytes(logo_pixels()) == bmp, "not deterministic"
    print("ok")


def main(argv):
    if len(argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    if argv[1] == "--self-test":
        self_test()
        return 0
    out = pathlib.Path(argv[1])
    out.mkdir(parents=True, exist_ok=True)
    (out / "lumora_logo.bmp").write_bytes(bmp_bytes(logo_pixels()))
    (out / "lumora.ico").write_bytes(ico_bytes())
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
