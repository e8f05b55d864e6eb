#!/usr/bin/env python3
"""Writes the two 16 x 16, 32-bit tray icons (1,150 bytes each).

normal.ico: a blue disc with a white eye slit (watching).
alert.ico:  an orange disc with a white exclamation mark (something new).
"""
import struct


def disc(cx, cy, r, x, y):
    return (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2 <= r * r


def icon(fill, mark):
    rows = []
    for y in range(16):  # top to bottom; written bottom-up below
        row = []
        for x in range(16):
            if mark(x, y):
                row.append((255, 255, 255, 255))
            elif disc(8, 8, 7.5, x, y):
                row.append(fill + (255,))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    pixels = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask = bytes(4 * 16)  # alpha carries the transparency
    header = struct.pack("<IiiHHIIiiII", 40, 16, 32, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
    image = header + pixels + mask
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", 16, 16, 0, 0, 1, 32, len(image), 22)
    data = directory + image
    assert len(data) == 1150
    return data


def eye(x, y):
    return (y in (7, 8) and 4 <= x <= 11) or (y in (6, 9) and 6 <= x <= 9)


def exclamation(x, y):
    return x in (7, 8) and (3 <= y <= 9 or 11 <= y <= 12)


open("normal.ico", "wb").write(icon((30, 110, 200), eye))
open("alert.ico", "wb").write(icon((235, 120, 20), exclamation))
