#!/usr/bin/env python3
"""Draws a photograph-like picture of an inventory item for the screenshots.

    scripts/make-sample-picture.py OUTPUT.png

The sample household names no picture files, and the README's picture browse
should show one without shipping a photograph nobody may own: this draws a
television on a wooden cabinet against a wall, 640x480, with soft light from
the upper left, and writes it as a PNG with the standard library only. The
drawing is the same on every run, so the screenshot does not change by itself.
"""
import math
import struct
import sys
import zlib

WIDTH, HEIGHT = 640, 480
FLOOR_Y = 380


def clamp(v):
    return 0 if v < 0 else 255 if v > 255 else int(v)


def shade(colour, factor):
    return tuple(clamp(c * factor) for c in colour)


def noise(x, y):
    # A fixed hash, so the grain looks random but never changes between runs.
    n = (x * 374761393 + y * 668265263) & 0xFFFFFFFF
    n = ((n ^ (n >> 13)) * 1274126177) & 0xFFFFFFFF
    return ((n >> 16) & 0xFF) / 255.0 - 0.5


class Canvas:
    def __init__(self):
        self.px = bytearray(WIDTH * HEIGHT * 3)

    def put(self, x, y, colour):
        if 0 <= x < WIDTH and 0 <= y < HEIGHT:
            i = (y * WIDTH + x) * 3
            self.px[i:i + 3] = bytes(colour)

    def get(self, x, y):
        i = (y * WIDTH + x) * 3
        return tuple(self.px[i:i + 3])

    def fill(self, x0, y0, x1, y1, colour_at):
        for y in range(max(0, y0), min(HEIGHT, y1)):
            for x in range(max(0, x0), min(WIDTH, x1)):
                self.put(x, y, colour_at(x, y))

    def darken(self, x0, y0, x1, y1, factor_at):
        for y in range(max(0, y0), min(HEIGHT, y1)):
            for x in range(max(0, x0), min(WIDTH, x1)):
                f = factor_at(x, y)
                if f < 1.0:
                    self.put(x, y, shade(self.get(x, y), f))

    def png(self):
        raw = b"".join(b"\x00" + bytes(self.px[y * WIDTH * 3:(y + 1) * WIDTH * 3]) for y in range(HEIGHT))

        def chunk(kind, data):
            body = kind + data
            return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

        header = struct.pack(">IIBBBBB", WIDTH, HEIGHT, 8, 2, 0, 0, 0)
        return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) +
                chunk(b"IEND", b""))


def light(x, y):
    # Brighter towards the upper left, where the window would be.
    d = math.hypot(x - 80, y - 40) / math.hypot(WIDTH, HEIGHT)
    return 1.15 - 0.45 * d


def draw_room(c):
    wall = (214, 200, 178)
    c.fill(0, 0, WIDTH, FLOOR_Y, lambda x, y: shade(wall, light(x, y) + 0.02 * noise(x, y)))
    # Skirting board along the wall.
    c.fill(0, FLOOR_Y - 14, WIDTH, FLOOR_Y, lambda x, y: shade((236, 232, 222), light(x, y) - 0.05 * (y - FLOOR_Y + 14) / 14))

    def floor(x, y):
        board = (x + (y // 24) * 37) // 110
        tone = 0.85 + 0.12 * ((board * 7919) % 5) / 4
        grain = 0.06 * math.sin(x * 0.09 + board * 3 + math.sin(y * 0.3)) + 0.03 * noise(x, y)
        seam = 0.7 if (y - FLOOR_Y) % 24 == 0 or (x + (y // 24) * 37) % 110 == 0 else 1.0
        depth = 0.8 + 0.35 * (y - FLOOR_Y) / (HEIGHT - FLOOR_Y)
        return shade((150, 104, 66), (tone + grain) * seam * depth * light(x, y))

    c.fill(0, FLOOR_Y, WIDTH, HEIGHT, floor)


CAB_X0, CAB_X1, CAB_Y0, CAB_Y1 = 150, 490, 280, 410


def draw_cabinet(c):
    # Soft shadow on the floor and wall behind the cabinet.
    def shadow(x, y):
        dx = max(CAB_X0 + 10 - x, 0, x - (CAB_X1 + 18))
        dy = max(CAB_Y0 + 6 - y, 0, y - (CAB_Y1 + 14))
        d = math.hypot(dx, dy)
        return 1.0 if d > 22 else 0.62 + 0.38 * d / 22

    c.darken(CAB_X0 - 30, CAB_Y0 - 30, CAB_X1 + 50, HEIGHT, shadow)

    wood = (122, 78, 44)

    def body(x, y):
        grain = 0.07 * math.sin(y * 0.55 + math.sin(x * 0.05) * 4) + 0.04 * noise(x, y)
        side = 0.9 + 0.15 * (1 - (x - CAB_X0) / (CAB_X1 - CAB_X0))
        return shade(wood, (side + grain) * light(x, y))

    c.fill(CAB_X0, CAB_Y0, CAB_X1, CAB_Y1, body)
    # The top: a lighter slab catching the light, with a dark front edge.
    c.fill(CAB_X0 - 8, CAB_Y0 - 12, CAB_X1 + 8, CAB_Y0,
           lambda x, y: shade((160, 108, 64), (1.1 - 0.25 * (y - CAB_Y0 + 12) / 12 + 0.04 * noise(x, y)) * light(x, y)))
    c.fill(CAB_X0 - 8, CAB_Y0, CAB_X1 + 8, CAB_Y0 + 4, lambda x, y: shade(wood, 0.55))
    # Two doors with recessed panels and brass knobs.
    mid = (CAB_X0 + CAB_X1) // 2
    for x0, x1 in ((CAB_X0 + 12, mid - 3), (mid + 3, CAB_X1 - 12)):
        c.fill(x0, CAB_Y0 + 16, x1, CAB_Y1 - 18, lambda x, y: shade(c.get(x, y), 0.82))
        c.fill(x0 + 3, CAB_Y0 + 19, x1 - 3, CAB_Y1 - 21, body)
        c.fill(x0, CAB_Y0 + 16, x1, CAB_Y0 + 18, lambda x, y: shade(wood, 0.5))
        c.fill(x0, CAB_Y1 - 20, x1, CAB_Y1 - 18, lambda x, y: shade(wood, 1.3))
    for kx in (mid - 16, mid + 16):
        ky = (CAB_Y0 + CAB_Y1) // 2
        c.fill(kx - 6, ky - 6, kx + 7, ky + 7,
               lambda x, y, kx=kx, ky=ky: c.get(x, y) if math.hypot(x - kx, y - ky) > 6 else
               shade((212, 170, 80), 1.25 - 0.12 * math.hypot(x - kx + 2, y - ky + 2)))
    # Plinth and feet.
    c.fill(CAB_X0 - 2, CAB_Y1, CAB_X1 + 2, CAB_Y1 + 8, lambda x, y: shade(wood, 0.45))


TV_X0, TV_X1, TV_Y0, TV_Y1 = 178, 462, 92, 252


def draw_television(c):
    # The stand on the cabinet top and its shadow.
    cx = (TV_X0 + TV_X1) // 2
    c.darken(cx - 80, CAB_Y0 - 12, cx + 90, CAB_Y0 - 4,
             lambda x, y: 0.7 + 0.3 * abs(x - cx - 5) / 85)
    c.fill(cx - 70, CAB_Y0 - 18, cx + 70, CAB_Y0 - 10,
           lambda x, y: shade((40, 40, 44), 1.2 - 0.05 * (y - CAB_Y0 + 18)))
    c.fill(cx - 14, TV_Y1, cx + 14, CAB_Y0 - 18, lambda x, y: shade((34, 34, 38), 1.0 + 0.4 * (cx - x) / 14))
    # Bezel, then the screen with a dark blue gradient and a glare band.
    c.fill(TV_X0, TV_Y0, TV_X1, TV_Y1,
           lambda x, y: shade((28, 28, 32), 1.25 - 0.4 * (y - TV_Y0) / (TV_Y1 - TV_Y0)))
    sx0, sx1, sy0, sy1 = TV_X0 + 8, TV_X1 - 8, TV_Y0 + 8, TV_Y1 - 14

    def screen(x, y):
        t = (y - sy0) / (sy1 - sy0)
        base = (18 + 12 * (1 - t), 26 + 18 * (1 - t), 44 + 30 * (1 - t))
        glare = (x - sx0) + 0.8 * (y - sy0)
        g = max(0.0, 1 - abs(glare - 120) / 60) * 0.5 + max(0.0, 1 - abs(glare - 190) / 12) * 0.25
        return tuple(clamp(b + 255 * g * 0.35) for b in base)

    c.fill(sx0, sy0, sx1, sy1, screen)
    # Maker's badge and the standby light on the lower bezel.
    c.fill(cx - 12, TV_Y1 - 10, cx + 12, TV_Y1 - 7, lambda x, y: (150, 150, 156))
    c.fill(TV_X1 - 22, TV_Y1 - 10, TV_X1 - 18, TV_Y1 - 7, lambda x, y: (210, 40, 30))
    # A thin highlight along the top edge of the bezel.
    c.fill(TV_X0 + 2, TV_Y0, TV_X1 - 2, TV_Y0 + 1, lambda x, y: (92, 92, 100))


def main():
    if len(sys.argv) != 2:
        print("usage: make-sample-picture.py OUTPUT.png", file=sys.stderr)
        return 2
    c = Canvas()
    draw_room(c)
    draw_cabinet(c)
    draw_television(c)
    with open(sys.argv[1], "wb") as f:
        f.write(c.png())
    return 0


if __name__ == "__main__":
    sys.exit(main())
