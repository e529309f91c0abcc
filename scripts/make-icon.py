#!/usr/bin/env python3
"""Draws the agent's icon (an amber ring with an arrowhead, on a slate-blue tile: the product's
"O" turning into an update arrow) and writes it as a Windows .ico with 16x16 and 32x32 images.
Only the standard library is used, so the icon can be redrawn anywhere:
    python3 scripts/make-icon.py src/win32/Orvastell.ico
"""
import math
import struct
import sys

TILE = (0x2B, 0x4A, 0x6F)     # slate blue
EDGE = (0x1B, 0x30, 0x4A)
RING = (0xF2, 0xA9, 0x3B)     # amber
SHINE = (0xFF, 0xFF, 0xFF)


def coverage(size, inside, samples=4):
    """Antialiased image: inside(x, y) in unit coordinates -> colour tuple with alpha, or None."""
    pixels = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(samples):
                for sx in range(samples):
                    x = (px + (sx + 0.5) / samples) / size
                    y = (py + (sy + 0.5) / samples) / size
                    c = inside(x, y)
                    if c is not None:
                        acc[0] += c[0]; acc[1] += c[1]; acc[2] += c[2]; acc[3] += 1
            n = samples * samples
            a = acc[3] / n
            if acc[3]:
                row.append((acc[0] / acc[3], acc[1] / acc[3], acc[2] / acc[3], a))
            else:
                row.append((0, 0, 0, 0))
        pixels.append(row)
    return pixels


def shape(x, y):
    # Rounded tile with a one-pixel darker edge.
    m, r = 0.03, 0.2
    cx = min(max(x, m + r), 1 - m - r)
    cy = min(max(y, m + r), 1 - m - r)
    d = math.hypot(x - cx, y - cy)
    if d > r:
        return None
    colour = EDGE if d > r - 0.045 else TILE
    # The ring: centre (0.5, 0.52), radii 0.19..0.31, open between -60 and -10 degrees.
    dx, dy = x - 0.5, y - 0.52
    rr = math.hypot(dx, dy)
    ang = math.degrees(math.atan2(-dy, dx))  # 0 = east, counter-clockwise
    if 0.18 <= rr <= 0.31 and not (10 < ang < 62):
        colour = RING
        if rr > 0.27 and 100 < ang < 170:
            colour = tuple((a + b) / 2 for a, b in zip(RING, SHINE))
    # Arrowhead at the ring's open end (angle 62 deg), pointing along the turn.
    ax, ay = 0.5 + 0.245 * math.cos(math.radians(62)), 0.52 - 0.245 * math.sin(math.radians(62))
    # Triangle with its tip ahead of the gap (clockwise direction).
    tip = (ax + 0.17, ay + 0.02)
    b1 = (ax - 0.02, ay - 0.14)
    b2 = (ax - 0.02, ay + 0.14)
    if in_triangle((x, y), tip, b1, b2):
        colour = RING
    return colour


def in_triangle(p, a, b, c):
    def side(p1, p2, p3):
        return (p1[0] - p3[0]) * (p2[1] - p3[1]) - (p2[0] - p3[0]) * (p1[1] - p3[1])
    d1, d2, d3 = side(p, a, b), side(p, b, c), side(p, c, a)
    neg = d1 < 0 or d2 < 0 or d3 < 0
    pos = d1 > 0 or d2 > 0 or d3 > 0
    return not (neg and pos)


def dib(pixels):
    size = len(pixels)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = bytearray()
    for row in reversed(pixels):
        for r, g, b, a in row:
            xor += bytes((int(b + 0.5), int(g + 0.5), int(r + 0.5), int(a * 255 + 0.5)))
    stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(pixels):
        bits = bytearray(stride)
        for i, (_, _, _, a) in enumerate(row):
            if a < 0.5:
                bits[i // 8] |= 0x80 >> (i % 8)
        mask += bits
    return header + bytes(xor) + bytes(mask)


def main(path):
    images = [dib(coverage(s, shape)) for s in (16, 32)]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for s, data in zip((16, 32), images):
        out += struct.pack('<BBBBHHII', s, s, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b''.join(images)
    with open(path, 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else 'Orvastell.ico')
