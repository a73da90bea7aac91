#!/usr/bin/env python3
"""Draws the two tray icons (colour when connected, grey when offline) as .ico files.

Each icon holds 16, 32 and 48 pixel images as 32-bit DIBs with alpha: a rounded tile with a
white "V". Run: python3 tools/make_icons.py app/res
"""
import math
import struct
import sys


def tile_pixel(x, y, size, rgb):
    """Premultiplication is not used by icons: return straight RGBA."""
    r = size * 0.22
    cx = min(max(x + 0.5, r), size - r)
    cy = min(max(y + 0.5, r), size - r)
    d = math.hypot(x + 0.5 - cx, y + 0.5 - cy)
    alpha = max(0.0, min(1.0, r - d + 0.5)) if d > r - 1 else 1.0
    # The "V": two strokes from the top corners meeting at the bottom centre.
    u, v = (x + 0.5) / size, (y + 0.5) / size
    stroke = 0.11
    left = abs((u - 0.25) - (v - 0.25) * 0.25 / 0.55) if 0.22 <= v <= 0.8 else 9
    right = abs((0.75 - u) - (v - 0.25) * 0.25 / 0.55) if 0.22 <= v <= 0.8 else 9
    on_v = min(left, right) < stroke / 2
    color = (255, 255, 255) if on_v else rgb
    return color + (int(round(alpha * 255)),)


def dib(size, rgb):
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, size * size * 4, 0, 0, 0, 0)
    pixels = bytearray()
    for y in range(size - 1, -1, -1):  # bottom-up rows
        for x in range(size):
            r, g, b, a = tile_pixel(x, y, size, rgb)
            pixels += bytes((b, g, r, a))
    mask_row = ((size + 31) // 32) * 4
    mask = bytes(mask_row * size)  # all opaque; alpha channel decides
    return header + bytes(pixels) + mask


def ico(rgb):
    sizes = [16, 32, 48]
    images = [dib(s, rgb) for s in sizes]
    out = struct.pack('<HHH', 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, img in zip(sizes, images):
        out += struct.pack('<BBBBHHII', s % 256, s % 256, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    return out + b''.join(images)


if __name__ == '__main__':
    folder = sys.argv[1] if len(sys.argv) > 1 else 'app/res'
    with open(f'{folder}/Veltrina.ico', 'wb') as f:
        f.write(ico((0x51, 0xBC, 0xB6)))
    with open(f'{folder}/VeltrinaGrey.ico', 'wb') as f:
        f.write(ico((0x9A, 0xA0, 0xA6)))
