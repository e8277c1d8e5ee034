#!/usr/bin/env python3
"""make_icon.py OUT.ico: draws the MNICON icon, 16x16 and 32x32 in 256 colours.

A blue box (the archive) with a zip track down its middle and a yellow arrow leaving it:
unpacking. Drawn from shapes so that the picture lives in this script, not in a binary.
"""
import struct
import sys

TRANSPARENT, OUTLINE, BLUE, LIGHT, ZIP, ARROW, ARROW_EDGE, SHADOW = range(8)
PALETTE = {
    TRANSPARENT: (0, 0, 0), OUTLINE: (20, 50, 90), BLUE: (48, 144, 207),
    LIGHT: (120, 190, 235), ZIP: (240, 240, 240), ARROW: (250, 200, 40),
    ARROW_EDGE: (170, 110, 0), SHADOW: (30, 95, 150),
}


def draw(size):
    s = size / 32.0
    px = [[TRANSPARENT] * size for _ in range(size)]

    def rect(x0, y0, x1, y1, colour):
        for y in range(int(y0 * s), int(y1 * s)):
            for x in range(int(x0 * s), int(x1 * s)):
                if 0 <= x < size and 0 <= y < size:
                    px[y][x] = colour

    rect(3, 6, 25, 29, OUTLINE)          # the box
    rect(4, 7, 24, 28, BLUE)
    rect(4, 7, 24, 11, LIGHT)            # its lid
    rect(4, 25, 24, 28, SHADOW)
    for y in range(12, 25, 2):           # the zip track
        rect(12, y, 14, y + 1, ZIP)
        rect(14, y + 1, 16, y + 2, ZIP)
    rect(24, 2, 30, 14, ARROW_EDGE)      # an arrow coming down out of the box's corner
    rect(25, 2, 29, 14, ARROW)
    for i in range(8):
        rect(20 + i, 14 + i, 34 - i, 15 + i, ARROW_EDGE)
        rect(21 + i, 14 + i, 33 - i, 15 + i, ARROW)
    return px


def dib(size):
    px = draw(size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 8, 0, 0, 0, 0, 256, 0)
    palette = b''.join(struct.pack('<BBBB', *reversed(PALETTE.get(i, (0, 0, 0))), 0)
                       for i in range(256))
    stride = (size + 3) & ~3
    xor = b''.join(bytes(px[y]) + b'\0' * (stride - size) for y in reversed(range(size)))
    mask_stride = ((size + 31) // 32) * 4
    rows = []
    for y in reversed(range(size)):
        row = bytearray(mask_stride)
        for x in range(size):
            if px[y][x] == TRANSPARENT:
                row[x // 8] |= 0x80 >> (x % 8)
        rows.append(bytes(row))
    return header + palette + xor + b''.join(rows)


def main():
    images = [dib(16), dib(32)]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip((16, 32), images):
        out += struct.pack('<BBBBHHII', size, size, 0, 0, 1, 8, len(data), offset)
        offset += len(data)
    with open(sys.argv[1], 'wb') as f:
        f.write(out + b''.join(images))


if __name__ == '__main__':
    main()
