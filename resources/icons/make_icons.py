#!/usr/bin/env python3
"""Draws the program's icons and writes them as .ico files beside this script.

How it works: each picture is a function from a point in the unit square to a colour with
alpha; every pixel is the average of 4 x 4 samples, so edges come out smooth. Each image is
stored as a 32-bit BMP entry (colour rows bottom-up, then a 1-bit AND mask), which every
Windows version and the resource compiler accept. The output is byte-for-byte repeatable.

    python3 make_icons.py      # rewrites record.ico, record_small.ico, tracks.ico
"""
import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
SUPERSAMPLE = 4

TRANSPARENT = (0, 0, 0, 0)
VINYL = (24, 24, 28, 255)
GROOVE = (70, 70, 80, 255)
SHINE = (150, 150, 165, 255)
LABEL = (200, 30, 40, 255)
LABEL_RIM = (240, 200, 60, 255)
HOLE = (250, 250, 250, 255)
WAVE = (40, 170, 70, 255)
CUT = (200, 30, 40, 255)


def record(x, y, grooves=True):
    """A gramophone record seen from above: grooves, a light reflex, a red label."""
    dx, dy = x - 0.5, y - 0.5
    r = math.hypot(dx, dy)
    if r > 0.48:
        return TRANSPARENT
    if r < 0.035:
        return HOLE
    if r < 0.15:
        return LABEL
    if r < 0.17:
        return LABEL_RIM
    angle = math.atan2(dy, dx)
    # The reflex: a narrow wedge of light across the grooves, top left and bottom right.
    if abs(math.sin(angle + math.pi / 4)) < 0.18 and r > 0.2:
        return SHINE
    if grooves and int(r * 40) % 2 == 0 and r < 0.46:
        return GROOVE
    return VINYL


def record_small(x, y):
    return record(x, y, grooves=False)


def tracks(x, y):
    """A recording cut into tracks: three bursts of sound with silent gaps and red cuts."""
    bursts = [(0.04, 0.30), (0.38, 0.62), (0.70, 0.96)]
    for start, end in bursts:
        if start <= x <= end:
            t = (x - start) / (end - start)
            envelope = math.sin(math.pi * t) * 0.38
            wave = 0.5 + envelope * math.sin(x * 60.0)
            if abs(y - wave) < 0.045 or (abs(y - 0.5) < abs(wave - 0.5) and abs(y - 0.5) < envelope
                                          and int(x * 64) % 2 == 0):
                return WAVE
            return TRANSPARENT
    for cut in (0.34, 0.66):
        if abs(x - cut) < 0.025 and 0.1 < y < 0.9:
            return CUT
    if abs(y - 0.5) < 0.02:
        return WAVE
    return TRANSPARENT


def render(picture, size):
    """Rows top-down of (b, g, r, a) tuples."""
    rows = []
    n = SUPERSAMPLE
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(n):
                for sx in range(n):
                    r, g, b, a = picture((px + (sx + 0.5) / n) / size, (py + (sy + 0.5) / n) / size)
                    acc[0] += b * a
                    acc[1] += g * a
                    acc[2] += r * a
                    acc[3] += a
            alpha = acc[3] / (n * n)
            if acc[3] == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append(tuple(int(round(c / acc[3])) for c in acc[:3]) + (int(round(alpha)),))
        rows.append(row)
    return rows


def bmp_entry(rows):
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = b"".join(bytes(c for pixel in row for c in pixel) for row in reversed(rows))
    mask_row_bytes = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_row_bytes)
        for x, pixel in enumerate(row):
            if pixel[3] < 128:  # transparent for programs that ignore alpha
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + colour + bytes(mask)


def write_ico(name, picture, sizes):
    images = [(size, bmp_entry(render(picture, size))) for size in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(data for _, data in images)
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(out)


if __name__ == "__main__":
    write_ico("record.ico", record, [32, 16])
    write_ico("record_small.ico", record_small, [16])
    write_ico("tracks.ico", tracks, [32, 16])
