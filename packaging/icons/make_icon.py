#!/usr/bin/env python3
"""Draws the program icon: vela.svg (scalable) and vela-N.png for N in 16, 32, 48, 128.

A blue tile with a white page of article lines and an orange badge on its corner:
a watched page with something new on it. The colours are those of the tray icons
(blue when watching, orange when something is new). One description of the shapes
gives both the SVG and the PNGs (supersampled), so they always agree. Details that
would only smear at a small size (the lines, the mark in the badge) start at 32 px.

Run in this folder: python3 make_icon.py
"""
import struct
import zlib

BLUE, BLUE_DARK, WHITE = "#1e6ec8", "#17579f", "#ffffff"
FOLD, LINES, ORANGE = "#bfd3ee", "#8fb0da", "#eb7814"

# Painted in order, later on top, on a 128 x 128 grid: (kind, geometry, colour, min px).
SHAPES = [
    ("rrect", (8, 12, 120, 120, 22), BLUE_DARK, 0),
    ("rrect", (8, 8, 120, 116, 22), BLUE, 0),
    ("poly", [(30, 24), (76, 24), (96, 44), (96, 104), (30, 104)], WHITE, 0),
    ("poly", [(76, 24), (76, 44), (96, 44)], FOLD, 0),
    ("rrect", (40, 52, 84, 59, 3.5), LINES, 32),
    ("rrect", (40, 65, 84, 72, 3.5), LINES, 32),
    ("rrect", (40, 78, 66, 85, 3.5), LINES, 32),
    ("circle", (90, 90, 26), BLUE, 0),
    ("circle", (90, 90, 21.5), ORANGE, 0),
    ("rrect", (86, 74, 94, 95, 4), WHITE, 32),
    ("circle", (90, 103, 4.5), WHITE, 32),
]


def inside(kind, g, x, y):
    if kind == "circle":
        cx, cy, r = g
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    if kind == "rrect":
        x0, y0, x1, y1, r = g
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        dx = max(x0 + r - x, 0, x - (x1 - r))
        dy = max(y0 + r - y, 0, y - (y1 - r))
        return dx * dx + dy * dy <= r * r
    # polygon, even-odd rule
    hit = False
    for (ax, ay), (bx, by) in zip(g, g[1:] + g[:1]):
        if (ay > y) != (by > y) and x < ax + (y - ay) * (bx - ax) / (by - ay):
            hit = not hit
    return hit


def rgb(colour):
    return tuple(int(colour[i:i + 2], 16) for i in (1, 3, 5))


def render(size, samples=8):
    shapes = [s for s in SHAPES if size >= s[3]]
    scale = 128 / size
    rows = []
    for py in range(size):
        row = bytearray()
        for px in range(size):
            total = [0, 0, 0]
            covered = 0
            for sy in range(samples):
                for sx in range(samples):
                    x = (px + (sx + 0.5) / samples) * scale
                    y = (py + (sy + 0.5) / samples) * scale
                    colour = None
                    for kind, g, c, _ in shapes:
                        if inside(kind, g, x, y):
                            colour = c
                    if colour:
                        covered += 1
                        for i, v in enumerate(rgb(colour)):
                            total[i] += v
            if covered:
                row += bytes(round(v / covered) for v in total)
                row.append(round(255 * covered / samples ** 2))
            else:
                row += bytes(4)
        rows.append(bytes(row))
    return rows


def png(rows):
    size = len(rows)
    raw = b"".join(b"\x00" + r for r in rows)

    def chunk(tag, data):
        return struct.pack(">I", len(data)) + tag + data + struct.pack(">I", zlib.crc32(tag + data))

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def svg():
    parts = ['<svg xmlns="http://www.w3.org/2000/svg" width="128" height="128" '
             'viewBox="0 0 128 128">']
    for kind, g, c, _ in SHAPES:
        if kind == "circle":
            parts.append(f'  <circle cx="{g[0]}" cy="{g[1]}" r="{g[2]}" fill="{c}"/>')
        elif kind == "rrect":
            x0, y0, x1, y1, r = g
            parts.append(f'  <rect x="{x0}" y="{y0}" width="{x1 - x0}" height="{y1 - y0}" '
                         f'rx="{r}" fill="{c}"/>')
        else:
            points = " ".join(f"{x},{y}" for x, y in g)
            parts.append(f'  <polygon points="{points}" fill="{c}"/>')
    parts.append("</svg>\n")
    return "\n".join(parts)


if __name__ == "__main__":
    open("vela.svg", "w").write(svg())
    for n in (16, 32, 48, 128):
        open(f"vela-{n}.png", "wb").write(png(render(n, 8 if n < 128 else 4)))
