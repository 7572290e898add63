#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz targets into tests/fuzz/seeds/ (committed; run again only
when an input format changes)."""
import os
import random
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def put(target, name, data):
    folder = os.path.join(HERE, "seeds", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def training(header, records):
    out = struct.pack("<16i", *header)
    for vector, label in records:
        out += struct.pack("<%dd" % len(vector), *vector) + struct.pack("<i", label)
    return out


def numbered(count, length, per_class):
    return [([k * 0.001 + i * 0.25 - 3.0 for i in range(length)], k // per_class)
            for k in range(count)]


# A small recipe (grid 1 x 1 on a 2 x 2 normal size, row and column ink, aspect): 9 values.
small = [9, 2, 2, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 1, 2, 2]
put("fuzz_training_file", "small", training(small, numbered(4, 9, 2)))
put("fuzz_training_file", "small-trailing", training(small, numbered(4, 9, 2)) + b"\x00\x01")
put("fuzz_training_file", "small-truncated", training(small, numbered(4, 9, 2))[:-7])
put("fuzz_training_file", "no-prototypes", training(small[:14] + [0, 3], []))
# Every block on at 20 x 20 with a 5 x 5 grid: 145 values; two classes of one prototype.
full = [145, 20, 20, 5, 5, 1, 1, 1, 1, 1, 1, 1, 1, 1, 2, 1]
put("fuzz_training_file", "all-blocks", training(full, numbered(2, 145, 1)))
put("fuzz_training_file", "header-only", training(full, []))

put("fuzz_prefix_list", "registry", b"CSQU\nABCU\nMSCU\nTGHU\n")
put("fuzz_prefix_list", "crlf-no-final", b"CSQU\r\nABCU\r\nMSCU")
put("fuzz_prefix_list", "long-lines", b"ABCDEFGHIJKLMNOPQRST\nABCDEFGHI\n\n" + b"X" * 40)
put("fuzz_prefix_list", "odd-bytes", b"AB\x00CD\n\xff\xfe\x80U\n\r\r\n")


def image(width, height, flags, pixels):
    return struct.pack("<HHB", width - 1, height - 1, flags) + bytes(pixels)


def blocks(w, h, background, boxes):
    """A grey picture of w x h blocks with bright character boxes (x, y, bw, bh)."""
    p = [background] * (w * h)
    for x0, y0, bw, bh in boxes:
        for y in range(y0, min(h, y0 + bh)):
            for x in range(x0, min(w, x0 + bw)):
                p[y * w + x] = 230
    return p


# 320 x 240 pictures drawn in 4 x 4 blocks (80 x 60): one line, two lines, a column.
line = [(6 + 6 * i, 26, 4, 8) for i in range(11)]
put("fuzz_recognize", "one-line", image(320, 240, 0x30, blocks(80, 60, 60, line)))
two = [(20 + 6 * i, 18, 4, 8) for i in range(4)] + [(20 + 6 * i, 30, 4, 8) for i in range(7)]
put("fuzz_recognize", "two-lines", image(320, 240, 0x30, blocks(80, 60, 60, two)))
column = [(36, 2 + 5 * i, 5, 4) for i in range(11)]
put("fuzz_recognize", "column", image(320, 240, 0x30, blocks(80, 60, 60, column)))
rng = random.Random(7)
put("fuzz_recognize", "noise-colour", image(160, 120, 0x01, [rng.randrange(256) for _ in range(3000)]))
put("fuzz_recognize", "wide-four-channels", image(64, 48, 0x16, [rng.randrange(256) for _ in range(900)]))
put("fuzz_recognize", "one-pixel", image(1, 1, 0x00, [255]))
put("fuzz_recognize", "thin", image(320, 3, 0x01, [200, 10, 10]))
