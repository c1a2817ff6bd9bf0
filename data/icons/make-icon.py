#!/usr/bin/env python3
"""Draws Quorrel's application icon: a candy-bar phone whose green screen shows a "Q".

Writes quorrel.svg and quorrel-<size>.png (48, 64, 128, 256) next to this script from one list of shapes, so
the scalable and the bitmap icons always agree. Needs only the Python standard library:
    python3 data/icons/make-icon.py
"""
import math
import os
import struct
import zlib

CANVAS = 256
# Each shape: kind, geometry, colour. Painted in order on a transparent canvas of 256 x 256 units.
SHAPES = [
    ("rrect", (64, 16, 192, 240, 28), "#274a78"),   # body
    ("rrect", (70, 22, 186, 234, 23), "#2f5a91"),   # lighter face
    ("rrect", (108, 34, 148, 42, 4), "#0f223d"),    # earpiece
    ("rrect", (80, 54, 176, 150, 8), "#0f223d"),    # screen frame
    ("rrect", (84, 58, 172, 146, 6), "#a8d86e"),    # screen
    ("ring", (128, 98, 30, 19), "#1e3a14"),         # the Q
    ("bar", (140, 110, 160, 132, 5.5), "#1e3a14"),  # its tail
] + [("circle", (x, y, 9), "#c9d6e8") for y in (172, 198, 224) for x in (100, 128, 156)]


def rgb(colour):
    return tuple(int(colour[i:i + 2], 16) for i in (1, 3, 5))


def inside(kind, g, x, y):
    if kind == "rrect":
        x0, y0, x1, y1, r = g
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return x0 <= x <= x1 and y0 <= y <= y1 and (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    if kind == "circle":
        cx, cy, r = g
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    if kind == "ring":
        cx, cy, outer, inner = g
        d = (x - cx) ** 2 + (y - cy) ** 2
        return inner * inner <= d <= outer * outer
    if kind == "bar":  # a segment with round ends, half-width w
        x0, y0, x1, y1, w = g
        dx, dy = x1 - x0, y1 - y0
        t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / (dx * dx + dy * dy)))
        return (x - x0 - t * dx) ** 2 + (y - y0 - t * dy) ** 2 <= w * w
    raise ValueError(kind)


def bbox(kind, g):
    if kind == "rrect":
        return g[0], g[1], g[2], g[3]
    if kind == "circle":
        return g[0] - g[2], g[1] - g[2], g[0] + g[2], g[1] + g[2]
    if kind == "ring":
        return g[0] - g[2], g[1] - g[2], g[0] + g[2], g[1] + g[2]
    return min(g[0], g[2]) - g[4], min(g[1], g[3]) - g[4], max(g[0], g[2]) + g[4], max(g[1], g[3]) + g[4]


def render(size, samples=4):
    scale = CANVAS / size
    pixels = [[(0.0, 0.0, 0.0, 0.0)] * size for _ in range(size)]  # premultiplied RGBA, 0..1
    offsets = [(i + 0.5) / samples for i in range(samples)]
    for kind, g, colour in SHAPES:
        r, gr, b = (c / 255 for c in rgb(colour))
        x0, y0, x1, y1 = bbox(kind, g)
        for py in range(max(0, int(y0 / scale) - 1), min(size, int(math.ceil(y1 / scale)) + 1)):
            for px in range(max(0, int(x0 / scale) - 1), min(size, int(math.ceil(x1 / scale)) + 1)):
                hits = sum(inside(kind, g, (px + ox) * scale, (py + oy) * scale) for oy in offsets for ox in offsets)
                if not hits:
                    continue
                a = hits / (samples * samples)
                pr, pg, pb, pa = pixels[py][px]
                pixels[py][px] = (r * a + pr * (1 - a), gr * a + pg * (1 - a), b * a + pb * (1 - a), a + pa * (1 - a))
    return pixels


def write_png(path, pixels):
    size = len(pixels)
    raw = bytearray()
    for row in pixels:
        raw.append(0)
        for r, g, b, a in row:
            if a > 0:
                r, g, b = r / a, g / a, b / a
            raw += bytes(max(0, min(255, round(v * 255))) for v in (r, g, b, a))

    def chunk(tag, data):
        body = tag + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(bytes(raw), 9)))
        f.write(chunk(b"IEND", b""))


def write_svg(path):
    parts = [f'<svg xmlns="http://www.w3.org/2000/svg" width="{CANVAS}" height="{CANVAS}" '
             f'viewBox="0 0 {CANVAS} {CANVAS}">', "<title>Quorrel</title>"]
    for kind, g, colour in SHAPES:
        if kind == "rrect":
            x0, y0, x1, y1, r = g
            parts.append(f'<rect x="{x0}" y="{y0}" width="{x1 - x0}" height="{y1 - y0}" rx="{r}" fill="{colour}"/>')
        elif kind == "circle":
            parts.append(f'<circle cx="{g[0]}" cy="{g[1]}" r="{g[2]}" fill="{colour}"/>')
        elif kind == "ring":
            cx, cy, outer, inner = g
            parts.append(f'<circle cx="{cx}" cy="{cy}" r="{(outer + inner) / 2}" fill="none" stroke="{colour}" '
                         f'stroke-width="{outer - inner}"/>')
        else:
            x0, y0, x1, y1, w = g
            parts.append(f'<line x1="{x0}" y1="{y0}" x2="{x1}" y2="{y1}" stroke="{colour}" stroke-width="{2 * w}" '
                         f'stroke-linecap="round"/>')
    parts.append("</svg>")
    with open(path, "w", encoding="ascii") as f:
        f.write("\n".join(parts) + "\n")


if __name__ == "__main__":
    here = os.path.dirname(os.path.abspath(__file__))
    write_svg(os.path.join(here, "quorrel.svg"))
    for size in (48, 64, 128, 256):
        write_png(os.path.join(here, f"quorrel-{size}.png"), render(size))
