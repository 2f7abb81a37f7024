#!/usr/bin/env python3
"""Writes the program's generated resource files into a build directory:

  background_171.bmp  the built-in background, 960 x 600, 32 bits per pixel, uncompressed
  bitmap_152.bmp      the small hidden picture of the dialog, 24 bits per pixel
  icon_128.ico        the program icon, 16 x 16 and 32 x 32, 32 bits per pixel
  dialog_init.bin     the dialog's initial control data: items "0" to "12" of box 1706

Usage: generate_resources.py <output directory>
"""
import math
import os
import struct
import sys

LANGUAGE_BOX_ID = 1706
COMBO_ADD_STRING = 0x0403  # the list-filling code of the initial control data


def bitmap_file(width, height, bits, pixel):
    """A bottom-up BITMAPINFOHEADER file; pixel(x, y) gives (r, g, b) with y from the top."""
    bytes_per_pixel = bits // 8
    row_bytes = (width * bytes_per_pixel + 3) & ~3
    rows = []
    for y in range(height - 1, -1, -1):
        row = bytearray()
        for x in range(width):
            r, g, b = pixel(x, y)
            row += bytes((b, g, r, 0)[:bytes_per_pixel])
        row += bytes(row_bytes - len(row))
        rows.append(bytes(row))
    pixels = b"".join(rows)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, len(pixels), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    return header + info + pixels


def background_pixel(x, y):
    # A calm diagonal gradient with soft rings, in blues and greys.
    t = (x + y) / (960 + 600)
    ring = 0.5 + 0.5 * math.sin(math.hypot(x - 700, y - 420) / 38.0)
    r = int(70 + 90 * t + 20 * ring)
    g = int(110 + 80 * t + 25 * ring)
    b = int(160 + 70 * t + 25 * ring)
    return min(r, 255), min(g, 255), min(b, 255)


def strip_pixel(x, y):
    return (40, 90, 160) if (x // 8 + y // 8) % 2 == 0 else (220, 230, 240)


def icon_image(size):
    """One icon image: a BITMAPINFOHEADER of double height, BGRA pixels, an AND mask."""
    xor = bytearray()
    centre = (size - 1) / 2
    for y in range(size - 1, -1, -1):
        for x in range(size):
            distance = math.hypot(x - centre, y - centre) / (size / 2)
            inside = distance < 0.95
            ridge = int(abs(math.sin(distance * 9.0)) * 120)
            xor += bytes((200, 120 + ridge // 2, 40 + ridge, 255 if inside else 0))
    mask_row = ((size + 31) // 32) * 4
    mask = bytes(mask_row * size)
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return info + bytes(xor) + mask


def icon_file(sizes):
    images = [icon_image(size) for size in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    return out + b"".join(images)


def dialog_init_data():
    out = bytearray()
    for index in range(13):
        text = str(index).encode("ascii") + b"\0"
        out += struct.pack("<HHI", LANGUAGE_BOX_ID, COMBO_ADD_STRING, len(text)) + text
    return bytes(out + struct.pack("<H", 0))


def main():
    directory = sys.argv[1]
    os.makedirs(directory, exist_ok=True)
    files = {
        "background_171.bmp": bitmap_file(960, 600, 32, background_pixel),
        "bitmap_152.bmp": bitmap_file(160, 26, 24, strip_pixel),
        "icon_128.ico": icon_file([16, 32]),
        "dialog_init.bin": dialog_init_data(),
    }
    for name, data in files.items():
        with open(os.path.join(directory, name), "wb") as out:
            out.write(data)


if __name__ == "__main__":
    main()
