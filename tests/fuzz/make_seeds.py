#!/usr/bin/env python3
"""Writes the fuzzer's seed corpus into seeds/: edit scripts for save_fuzz.cpp
(format described there) that turn the fuzzer's real save into the cases a
loader meets: the save itself, truncated and overlong files, unknown kinds,
NaN and out-of-world positions, bad selections and counts, wrong passability."""
import os
import struct

SAVE_FILE_BYTES = 9677080
RESIZE, VIA_FILE, DEEP = 1, 2, 4
NAN, INF = struct.pack("<I", 0x7FC00000), struct.pack("<I", 0x7F800000)


def header(flags, length=None):
    out = bytes([flags | (RESIZE if length is not None else 0)])
    return out + (struct.pack("<I", length)[:3] if length is not None else b"")


def state(offset, data):
    return bytes([0]) + struct.pack("<H", offset) + bytes([len(data)]) + data


def cell(column, row, offset, data):
    return bytes([1]) + struct.pack("<I", column * 480 + row)[:3] + bytes([offset, len(data)]) + data


SEEDS = {
    "real-save": header(0),
    "real-save-deep-via-file": header(DEEP | VIA_FILE),
    "empty-file": header(VIA_FILE, 0),
    "state-only": header(0, 280),
    "one-cell-short": header(VIA_FILE, SAVE_FILE_BYTES - 28),
    "one-byte-short": header(0, SAVE_FILE_BYTES - 1),
    "one-byte-long": header(VIA_FILE, SAVE_FILE_BYTES + 1),
    "bad-id-first-cell": header(DEEP) + cell(0, 0, 8, struct.pack("<i", 7)),
    "bad-id-negative": header(0) + cell(361, 200, 8, struct.pack("<i", -1)),
    "bad-id-last-cell": header(DEEP) + cell(719, 479, 8, struct.pack("<i", -2**31)),
    "nan-player-x": header(0) + state(0, NAN),
    "nan-player-y": header(DEEP) + state(4, NAN),
    "infinite-player-x": header(0) + state(0, INF),
    "player-outside-world": header(0) + state(0, struct.pack("<f", 7200.0)) + state(4, struct.pack("<f", -1e9)),
    "nan-cell-position": header(DEEP) + cell(3, 3, 20, NAN + NAN),
    "selected-zero": header(0) + state(32, struct.pack("<i", 0)),
    "selected-five": header(0) + state(32, struct.pack("<i", 5)),
    "negative-count": header(0) + state(16, struct.pack("<i", -3)),
    "flag-bytes-not-one": header(DEEP) + state(28, b"\x07") + state(118, b"\xff\x02") + state(272, b"\x80"),
    "passable-dirt": header(0) + cell(10, 300, 16, b"\x01"),
    "solid-air": header(0) + cell(10, 5, 16, b"\x00"),
    "garbage-handles-and-padding": header(DEEP) + state(24, b"\xde\xad\xbe\xef") + cell(5, 5, 12, b"\xff" * 8),
}

if __name__ == "__main__":
    folder = os.path.join(os.path.dirname(os.path.abspath(__file__)), "seeds")
    os.makedirs(folder, exist_ok=True)
    for name, data in SEEDS.items():
        with open(os.path.join(folder, name), "wb") as out:
            out.write(data)
