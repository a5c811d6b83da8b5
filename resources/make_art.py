#!/usr/bin/env python3
"""Draws the program's icons, cursors and start-up picture.

Everything is drawn here from simple shapes, so the repository holds no
binary art: four icons (the program, an album, a picture, the album file
type), the two drag cursors and "Piltrin.bmp".
"""
import math
import struct
import sys
from pathlib import Path


def bmp_rows_bgra(size, pixel):
    """Bottom-up BGRA rows of a size x size picture drawn by pixel(x, y)."""
    out = bytearray()
    for y in range(size - 1, -1, -1):
        for x in range(size):
            r, g, b, a = pixel(x, y)
            out += bytes((b, g, r, a))
    return bytes(out)


def and_mask(size, pixel):
    stride = ((size + 31) // 32) * 4
    out = bytearray()
    for y in range(size - 1, -1, -1):
        row = bytearray(stride)
        for x in range(size):
            if pixel(x, y)[3] == 0:
                row[x // 8] |= 0x80 >> (x % 8)
        out += row
    return bytes(out)


def icon_image(size, pixel):
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    return header + bmp_rows_bgra(size, pixel) + and_mask(size, pixel)


def write_icon_file(path, kind, images, hotspot=(0, 0)):
    """kind 1 = icon, 2 = cursor; images: list of (size, pixel function)."""
    blobs = [icon_image(size, pixel) for size, pixel in images]
    out = bytearray(struct.pack('<HHH', 0, kind, len(blobs)))
    offset = 6 + 16 * len(blobs)
    for (size, _), blob in zip(images, blobs):
        planes, bits = (1, 32) if kind == 1 else hotspot
        out += struct.pack('<BBBBHHII', size % 256, size % 256, 0, 0, planes, bits, len(blob), offset)
        offset += len(blob)
    for blob in blobs:
        out += blob
    Path(path).write_bytes(bytes(out))


def inside_round_rect(x, y, size, margin, radius):
    lo, hi = margin, size - 1 - margin
    if x < lo or x > hi or y < lo or y > hi:
        return False
    cx = min(max(x, lo + radius), hi - radius)
    cy = min(max(y, lo + radius), hi - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def landscape(u, v, aspect=1.0):
    """A small landscape in unit coordinates: sky, sun, two hills; aspect is
    the picture's width over its height, so that the sun stays round."""
    sky = (int(40 + 80 * v), int(110 + 90 * v), 230)
    if ((u - 0.70) * aspect) ** 2 + (v - 0.30) ** 2 < 0.018:
        return (255, 214, 64)
    if v > 0.62 + 0.12 * math.sin(u * 5.0):
        return (40, int(150 - 60 * v), 70)
    if v > 0.55 + 0.25 * abs(u - 0.35):
        return (90, 110, 130)
    return sky


def program_icon(size):
    def pixel(x, y):
        if not inside_round_rect(x, y, size, size // 16, size // 6):
            return (0, 0, 0, 0)
        edge = not inside_round_rect(x, y, size, size // 16 + max(1, size // 16), size // 6)
        if edge:
            return (30, 30, 40, 255)
        return landscape(x / size, y / size) + (255,)
    return pixel


def album_icon(size):
    def pixel(x, y):
        u, v = x / size, y / size
        if 0.18 < u < 0.86 and 0.08 < v < 0.92:
            if u < 0.28:
                return (120, 40, 30, 255)
            if 0.36 < u < 0.78 and 0.22 < v < 0.56:
                return landscape((u - 0.36) / 0.42, (v - 0.22) / 0.34) + (255,)
            return (200, 70, 50, 255)
        return (0, 0, 0, 0)
    return pixel


def picture_icon(size):
    def pixel(x, y):
        u, v = x / size, y / size
        if 0.1 < u < 0.9 and 0.2 < v < 0.8:
            if u < 0.14 or u > 0.86 or v < 0.24 or v > 0.76:
                return (250, 250, 250, 255)
            return landscape((u - 0.14) / 0.72, (v - 0.24) / 0.52) + (255,)
        return (0, 0, 0, 0)
    return pixel


def zub_file_icon(size):
    page = album_icon(size)

    def pixel(x, y):
        u, v = x / size, y / size
        if 0.1 < u < 0.9 and 0.04 < v < 0.96:
            inner = page(int((u - 0.1) / 0.8 * size), int((v - 0.04) / 0.92 * size))
            return inner if inner[3] else (245, 245, 235, 255)
        return (0, 0, 0, 0)
    return pixel


def arrow_cursor(with_plus):
    """32 x 32 arrow; with a plus sign (files accepted) or a barred circle."""
    size = 32

    def pixel(x, y):
        if y < 20 and x <= y // 1 and x <= 12 - max(0, y - 14) * 2:
            edge = x == 0 or x == y or y == 19
            return (0, 0, 0, 255) if edge else (255, 255, 255, 255)
        cx, cy = 22, 22
        d = math.hypot(x - cx, y - cy)
        if with_plus:
            if abs(x - cx) <= 1 and abs(y - cy) <= 6 or abs(y - cy) <= 1 and abs(x - cx) <= 6:
                return (0, 0, 0, 255)
            if abs(x - cx) <= 2 and abs(y - cy) <= 7 or abs(y - cy) <= 2 and abs(x - cx) <= 7:
                return (255, 255, 255, 255)
        else:
            if 5.5 <= d <= 8 or (d < 8 and abs((x - cx) - (y - cy)) <= 1):
                return (200, 0, 0, 255)
        return (0, 0, 0, 0)
    return size, pixel


def startup_picture(path, width=400, height=260):
    stride = (width * 3 + 3) & ~3
    rows = bytearray()
    for y in range(height - 1, -1, -1):
        row = bytearray()
        for x in range(width):
            r, g, b = landscape(x / width, y / height, width / height)
            # a frame of pages across the lower part: the album
            for i in range(5):
                left = 40 + i * 66
                if left <= x < left + 54 and 180 <= y < 230:
                    inner = left + 3 <= x < left + 51 and 183 <= y < 227
                    r, g, b = landscape((x - left) / 54, (y - 180) / 50 + 0.1 * i) if inner else (250, 250, 250)
            row += bytes((b, g, r))
        row += bytes(stride - len(row))
        rows += row
    header = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 24, 0, len(rows), 2835, 2835, 0, 0)
    file_header = struct.pack('<HIHHI', 0x4D42, 54 + len(rows), 0, 0, 54)
    Path(path).write_bytes(file_header + header + bytes(rows))


def main():
    art = Path(sys.argv[1])
    art.mkdir(parents=True, exist_ok=True)
    sizes = (16, 32, 48)
    write_icon_file(art / 'piltrin.ico', 1, [(s, program_icon(s)) for s in sizes])
    write_icon_file(art / 'album.ico', 1, [(s, album_icon(s)) for s in sizes])
    write_icon_file(art / 'picture.ico', 1, [(s, picture_icon(s)) for s in sizes])
    write_icon_file(art / 'zubfile.ico', 1, [(s, zub_file_icon(s)) for s in sizes])
    write_icon_file(art / 'drop_ok.cur', 2, [arrow_cursor(True)], hotspot=(0, 0))
    write_icon_file(art / 'drop_no.cur', 2, [arrow_cursor(False)], hotspot=(0, 0))
    Path(sys.argv[2]).parent.mkdir(parents=True, exist_ok=True)
    startup_picture(sys.argv[2])


if __name__ == '__main__':
    main()
