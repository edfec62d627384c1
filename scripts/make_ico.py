#!/usr/bin/env python3
"""Packs PNG images into one Windows icon file, each image kept as PNG (which
Windows reads in icons since Vista), so the icon is the one make_icon draws.

Usage: make_ico.py OUT.ico IN.png...
"""
import struct
import sys

PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"


def png_size(data, name):
    # Width and height are the first fields of the IHDR chunk, right after the signature.
    if not data.startswith(PNG_SIGNATURE) or data[12:16] != b"IHDR":
        sys.exit(f"make_ico: {name} is not a PNG file")
    return struct.unpack(">II", data[16:24])


def main():
    if len(sys.argv) < 3:
        sys.exit("usage: make_ico.py OUT.ico IN.png...")
    images = []
    for name in sys.argv[2:]:
        with open(name, "rb") as file:
            data = file.read()
        width, height = png_size(data, name)
        if width > 256 or height > 256:
            sys.exit(f"make_ico: {name} is larger than 256 x 256")
        images.append((width, height, data))

    # ICONDIR, one 16-byte ICONDIRENTRY an image, then the images; 256 is written as 0.
    header = struct.pack("<HHH", 0, 1, len(images))
    offset = len(header) + 16 * len(images)
    entries = b""
    for width, height, data in images:
        entries += struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(sys.argv[1], "wb") as file:
        file.write(header + entries + b"".join(data for _, _, data in images))


main()
