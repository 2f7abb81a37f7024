#!/usr/bin/env python3
"""Converts the window screenshots (24-bit bottom-up BMP files the test driver writes)
into PNG files beside them. Usage: bmp_to_png.py <directory>"""
import os
import struct
import sys
import zlib


def bmp_to_png(source, target):
    with open(source, "rb") as f:
        data = f.read()
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height = struct.unpack_from("<ii", data, 18)
    bits = struct.unpack_from("<H", data, 28)[0]
    if bits != 24:
        raise ValueError(f"{source}: {bits} bits per pixel")
    row_bytes = (width * 3 + 3) & ~3
    rows = []
    for y in range(abs(height)):
        row_index = abs(height) - 1 - y if height > 0 else y
        start = offset + row_index * row_bytes
        bgr = data[start:start + width * 3]
        rgb = bytearray(len(bgr))
        rgb[0::3], rgb[1::3], rgb[2::3] = bgr[2::3], bgr[1::3], bgr[0::3]
        rows.append(b"\0" + bytes(rgb))

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    header = struct.pack(">IIBBBBB", width, abs(height), 8, 2, 0, 0, 0)
    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(b"".join(rows), 6)) + chunk(b"IEND", b"")
    with open(target, "wb") as f:
        f.write(png)


def main():
    directory = sys.argv[1]
    names = [n for n in sorted(os.listdir(directory)) if n.lower().endswith(".bmp")]
    if not names:
        print("no screenshots in", directory)
        return 1
    for name in names:
        bmp_to_png(os.path.join(directory, name), os.path.join(directory, name[:-4] + ".png"))
        print("wrote", name[:-4] + ".png")
    return 0


if __name__ == "__main__":
    sys.exit(main())
