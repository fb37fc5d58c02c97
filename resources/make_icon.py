#!/usr/bin/env python3
"""Draws the launcher's icon: a 32 x 32, 16-colour (4 bits per pixel) image of a small loom,
warp threads crossed by a weft band, written as tarnby.ico (one image, 744 bytes of image data).

Run it again only to change the drawing; the .ico it writes is kept in the repository."""
import struct
import sys

# The standard 16-colour palette (RGBQUAD: blue, green, red, reserved).
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]  # (red, green, blue)
BLACK, DARK_BLUE, GREY, LIGHT_GREY, YELLOW, BLUE, WHITE = 0, 4, 8, 7, 11, 12, 15
SIZE = 32


def pixel(x, y):
    """Colour index at (x, y), y = 0 at the top; None for transparent."""
    if x < 2 or x > 29 or y < 2 or y > 29:
        return None
    if x in (2, 29) or y in (2, 29):          # frame
        return BLACK
    if 3 <= y <= 6 or 25 <= y <= 28:          # beams
        return GREY
    if 13 <= y <= 18:                         # weft band, woven over and under the warp
        over = ((x // 3) + (y // 2)) % 2 == 0
        return YELLOW if over else DARK_BLUE
    return BLUE if x % 3 == 0 else LIGHT_GREY  # warp threads


def image():
    rows_xor, rows_and = [], []
    for y in range(SIZE - 1, -1, -1):          # bottom-up rows
        xor = bytearray()
        mask_bits = 0
        for x in range(0, SIZE, 2):
            hi, lo = pixel(x, y), pixel(x + 1, y)
            xor.append(((hi or 0) << 4) | (lo or 0))
        for x in range(SIZE):
            mask_bits = (mask_bits << 1) | (1 if pixel(x, y) is None else 0)
        rows_xor.append(bytes(xor))
        rows_and.append(struct.pack(">I", mask_bits))
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    return header + palette + b"".join(rows_xor) + b"".join(rows_and)


def main(out_path):
    data = image()
    assert len(data) == 744, len(data)
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 16, 0, 1, 4, len(data), 6 + 16)
    with open(out_path, "wb") as f:
        f.write(directory + entry + data)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "tarnby.ico")
