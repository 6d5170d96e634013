#!/usr/bin/env python3
"""Draws every picture and the invitation chime of Falavox.

Usage: make_assets.py OUTDIR          (the program's own resources)
       make_assets.py --icons OUTDIR  (the application icon for the desktop's icon theme)

Everything is drawn by code with the standard library only, so the resources can be
rebuilt anywhere and the same script always gives byte-identical files. The pictures keep
the classic desktop look: small icons use the 16 colours of the old VGA palette.
"""

import math
import os
import struct
import sys
import zlib

# --------------------------------------------------------------------------- colours

T = (0, 0, 0, 0)  # transparent
BLACK = (0, 0, 0, 255)
MAROON = (128, 0, 0, 255)
GREEN = (0, 128, 0, 255)
OLIVE = (128, 128, 0, 255)
NAVY = (0, 0, 128, 255)
PURPLE = (128, 0, 128, 255)
TEAL = (0, 128, 128, 255)
SILVER = (192, 192, 192, 255)
GREY = (128, 128, 128, 255)
RED = (255, 0, 0, 255)
LIME = (0, 255, 0, 255)
YELLOW = (255, 255, 0, 255)
BLUE = (0, 0, 255, 255)
FUCHSIA = (255, 0, 255, 255)
CYAN = (0, 255, 255, 255)
WHITE = (255, 255, 255, 255)
# A few extra tones for the larger pictures.
SKIN = (255, 204, 153, 255)
PALE_YELLOW = (255, 255, 160, 255)
DARK_GREY = (64, 64, 64, 255)

# Letters for the hand-drawn sprites.
SPRITE_PALETTE = {
    '.': T, 'k': BLACK, 'm': MAROON, 'g': GREEN, 'o': OLIVE, 'n': NAVY, 'p': PURPLE,
    't': TEAL, 's': SILVER, 'd': GREY, 'r': RED, 'l': LIME, 'y': YELLOW, 'b': BLUE,
    'f': FUCHSIA, 'c': CYAN, 'w': WHITE, 'h': SKIN, 'e': PALE_YELLOW,
}


def rgba(c):
    return c if len(c) == 4 else (c[0], c[1], c[2], 255)


# --------------------------------------------------------------------------- canvas


class Canvas:
    def __init__(self, w, h, fill=T):
        self.w, self.h = w, h
        self.px = [rgba(fill)] * (w * h)

    def get(self, x, y):
        return self.px[y * self.w + x]

    def put(self, x, y, c):
        x, y = int(x), int(y)
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y * self.w + x] = rgba(c)

    def rect(self, x0, y0, x1, y1, c):
        """Filled rectangle, both corners included."""
        for y in range(max(0, y0), min(self.h - 1, y1) + 1):
            for x in range(max(0, x0), min(self.w - 1, x1) + 1):
                self.px[y * self.w + x] = rgba(c)

    def frame(self, x0, y0, x1, y1, c):
        self.hline(x0, x1, y0, c)
        self.hline(x0, x1, y1, c)
        self.vline(x0, y0, y1, c)
        self.vline(x1, y0, y1, c)

    def box(self, x0, y0, x1, y1, fill, edge=BLACK):
        self.rect(x0, y0, x1, y1, fill)
        self.frame(x0, y0, x1, y1, edge)

    def hline(self, x0, x1, y, c):
        for x in range(min(x0, x1), max(x0, x1) + 1):
            self.put(x, y, c)

    def vline(self, x, y0, y1, c):
        for y in range(min(y0, y1), max(y0, y1) + 1):
            self.put(x, y, c)

    def line(self, x0, y0, x1, y1, c):
        """Bresenham line between integer end points."""
        x0, y0, x1, y1 = int(x0), int(y0), int(x1), int(y1)
        dx, dy = abs(x1 - x0), -abs(y1 - y0)
        sx = 1 if x0 < x1 else -1
        sy = 1 if y0 < y1 else -1
        err = dx + dy
        while True:
            self.put(x0, y0, c)
            if x0 == x1 and y0 == y1:
                return
            e2 = 2 * err
            if e2 >= dy:
                err += dy
                x0 += sx
            if e2 <= dx:
                err += dx
                y0 += sy

    def thick_line(self, x0, y0, x1, y1, c, r):
        steps = max(abs(x1 - x0), abs(y1 - y0), 1) * 2
        for i in range(steps + 1):
            t = i / steps
            self.disc(x0 + (x1 - x0) * t, y0 + (y1 - y0) * t, r, c)

    def ellipse(self, cx, cy, rx, ry, fill, edge=None):
        """Ellipse with pixel centres inside (x-cx)^2/rx^2 + (y-cy)^2/ry^2 <= 1; the edge
        is every inside pixel with an outside 4-neighbour."""
        def inside(x, y):
            return ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0
        for y in range(int(cy - ry) - 1, int(cy + ry) + 2):
            for x in range(int(cx - rx) - 1, int(cx + rx) + 2):
                if not inside(x, y):
                    continue
                rim = edge is not None and not (inside(x - 1, y) and inside(x + 1, y)
                                                and inside(x, y - 1) and inside(x, y + 1))
                if rim:
                    self.put(x, y, edge)
                elif fill is not None:
                    self.put(x, y, fill)

    def disc(self, cx, cy, r, c):
        self.ellipse(cx, cy, r, r, c)

    def sprite(self, x0, y0, rows, palette=None):
        pal = palette or SPRITE_PALETTE
        for j, row in enumerate(rows):
            for i, ch in enumerate(row):
                if ch != '.':
                    self.put(x0 + i, y0 + j, pal[ch])

    def blit(self, other, x0, y0):
        for y in range(other.h):
            for x in range(other.w):
                c = other.get(x, y)
                if c[3]:
                    self.put(x0 + x, y0 + y, c)

    def rotated_ccw(self):
        """A copy turned a quarter left: rows of text then read from bottom to top."""
        out = Canvas(self.h, self.w)
        for y in range(self.h):
            for x in range(self.w):
                out.px[(self.w - 1 - x) * out.w + y] = self.get(x, y)
        return out

    def bevel(self, x0, y0, x1, y1, raised=True, light=WHITE, dark=GREY):
        a, b = (light, dark) if raised else (dark, light)
        self.hline(x0, x1, y0, a)
        self.vline(x0, y0, y1, a)
        self.hline(x0, x1, y1, b)
        self.vline(x1, y0, y1, b)

    def outline(self, c=BLACK):
        """Rings every opaque shape with a one-pixel edge on its transparent neighbours."""
        marks = []
        for y in range(self.h):
            for x in range(self.w):
                if self.get(x, y)[3]:
                    continue
                for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)):
                    nx, ny = x + dx, y + dy
                    if 0 <= nx < self.w and 0 <= ny < self.h and self.get(nx, ny)[3]:
                        marks.append((x, y))
                        break
        for x, y in marks:
            self.put(x, y, c)


# --------------------------------------------------------------------------- PNG / WAVE


def png_bytes(canvas):
    opaque = all(p[3] == 255 for p in canvas.px)
    colour_type, channels = (2, 3) if opaque else (6, 4)
    raw = bytearray()
    for y in range(canvas.h):
        raw.append(0)  # no filter
        for p in canvas.px[y * canvas.w:(y + 1) * canvas.w]:
            raw.extend(p[:channels])

    def chunk(kind, data):
        body = kind + data
        return struct.pack('>I', len(data)) + body + struct.pack('>I', zlib.crc32(body) & 0xffffffff)

    header = struct.pack('>IIBBBBB', canvas.w, canvas.h, 8, colour_type, 0, 0, 0)
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', header)
            + chunk(b'IDAT', zlib.compress(bytes(raw), 9)) + chunk(b'IEND', b''))


WAVE_RATE = 22050
WAVE_DATA_BYTES = 9952


def chime_samples():
    """A soft two-note chime: two sine partials a fifth apart, a short attack, an
    exponential decay and a fade to the exact mid level so the end makes no click."""
    n = WAVE_DATA_BYTES
    attack = int(0.006 * WAVE_RATE)
    fade = int(0.040 * WAVE_RATE)
    out = bytearray()
    for i in range(n):
        t = i / WAVE_RATE
        env = math.exp(-t * 7.0)
        if i < attack:
            env *= i / attack
        if i >= n - fade:
            env *= (n - 1 - i) / (fade - 1)
        second = 0.0 if t < 0.09 else 0.55 * math.exp(-(t - 0.09) * 6.0) * math.sin(
            2 * math.pi * 1318.51 * (t - 0.09))
        first = 0.65 * math.sin(2 * math.pi * 880.0 * t) + 0.15 * math.sin(2 * math.pi * 1760.0 * t)
        v = 128 + 100 * env * (first + second) / 1.35
        out.append(max(0, min(255, int(round(v)))))
    return bytes(out)


def wave_bytes():
    data = chime_samples()
    fmt = struct.pack('<HHIIHH', 1, 1, WAVE_RATE, WAVE_RATE, 1, 8)
    body = b'WAVE' + b'fmt ' + struct.pack('<I', len(fmt)) + fmt + b'data' + struct.pack('<I', len(data)) + data
    return b'RIFF' + struct.pack('<I', len(body)) + body


# --------------------------------------------------------------------------- fonts

# Proportional 5x7 letters on a 9-row cell: row 6 is the base line, rows 7-8 descenders.
FONT = {
    'A': [".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"],
    'C': [".###.", "#...#", "#....", "#....", "#....", "#...#", ".###."],
    'F': ["#####", "#....", "#....", "####.", "#....", "#....", "#...."],
    'H': ["#...#", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"],
    'I': ["###", ".#.", ".#.", ".#.", ".#.", ".#.", "###"],
    'O': [".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."],
    'R': ["####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"],
    'S': [".###.", "#...#", "#....", ".###.", "....#", "#...#", ".###."],
    'a': ["....", "....", ".##.", "...#", ".###", "#..#", ".###"],
    'á': ["..#.", ".#..", ".##.", "...#", ".###", "#..#", ".###"],
    'b': ["#...", "#...", "###.", "#..#", "#..#", "#..#", "###."],
    'c': ["....", "....", ".##.", "#...", "#...", "#...", ".##."],
    'ç': ["....", "....", ".##.", "#...", "#...", "#...", ".##.", "..#.", ".##."],
    'd': ["...#", "...#", ".###", "#..#", "#..#", "#..#", ".###"],
    'e': ["....", "....", ".##.", "#..#", "####", "#...", ".##."],
    'f': [".##", "#..", "###", "#..", "#..", "#..", "#.."],
    'h': ["#...", "#...", "###.", "#..#", "#..#", "#..#", "#..#"],
    'i': ["#", ".", "#", "#", "#", "#", "#"],
    'l': ["#", "#", "#", "#", "#", "#", "#"],
    'm': [".....", ".....", "####.", "#.#.#", "#.#.#", "#.#.#", "#.#.#"],
    'n': ["....", "....", "###.", "#..#", "#..#", "#..#", "#..#"],
    'o': ["....", "....", ".##.", "#..#", "#..#", "#..#", ".##."],
    'õ': [".#.#", "#.#.", ".##.", "#..#", "#..#", "#..#", ".##."],
    'p': ["....", "....", "###.", "#..#", "#..#", "#..#", "###.", "#...", "#..."],
    'r': ["...", "...", "#.#", "##.", "#..", "#..", "#.."],
    's': ["....", "....", ".###", "#...", ".##.", "...#", "###."],
    't': [".#.", ".#.", "###", ".#.", ".#.", ".#.", "..#"],
    'u': ["....", "....", "#..#", "#..#", "#..#", "#..#", ".###"],
    'v': [".....", ".....", "#...#", "#...#", ".#.#.", ".#.#.", "..#.."],
    'x': [".....", ".....", "#...#", ".#.#.", "..#..", ".#.#.", "#...#"],
    '!': ["#", "#", "#", "#", "#", ".", "#"],
    ':': [".", ".", "#", ".", ".", "#", "."],
    '©': [".#####.", "#.....#", "#.###.#", "#.#...#", "#.###.#", "#.....#", ".#####."],
    ' ': ["..", "..", "..", "..", "..", "..", ".."],
}

# 3x5 letters and figures for the smallest writing (clock, greetings on 32-pixel icons).
TINY = {
    'O': ["###", "#.#", "#.#", "#.#", "###"],
    'i': ["#", ".", "#", "#", "#"],
    '!': ["#", "#", "#", ".", "#"],
    ':': [".", "#", ".", "#", "."],
    '0': ["###", "#.#", "#.#", "#.#", "###"],
    '1': [".#", "##", ".#", ".#", ".#"],
    '2': ["###", "..#", "###", "#..", "###"],
    '3': ["###", "..#", ".##", "..#", "###"],
    '4': ["#.#", "#.#", "###", "..#", "..#"],
    '5': ["###", "#..", "###", "..#", "###"],
    '6': ["###", "#..", "###", "#.#", "###"],
    '7': ["###", "..#", "..#", "..#", "..#"],
    '8': ["###", "#.#", "###", "#.#", "###"],
    '9': ["###", "#.#", "###", "..#", "###"],
}


def text_width(s, font=FONT, scale=1, spacing=1):
    return sum((len(font[ch][0]) + spacing) * scale for ch in s) - spacing * scale


def draw_text(canvas, x, y, s, c, font=FONT, scale=1, spacing=1):
    """Writes s with its cell top at y; returns the x after the last letter."""
    for ch in s:
        rows = font[ch]
        for j, row in enumerate(rows):
            for i, bit in enumerate(row):
                if bit == '#':
                    canvas.rect(x + i * scale, y + j * scale, x + i * scale + scale - 1,
                                y + j * scale + scale - 1, c)
        x += (len(rows[0]) + spacing) * scale
    return x - spacing * scale


# --------------------------------------------------------------------------- small pieces

MONITOR = [
    "kkkkkkkk",
    "ksssssdk",
    "ksbbbbdk",
    "ksbcbbdk",
    "ksbbbbdk",
    "ksdddddk",
    "kkkkkkkk",
    "..kddk..",
    ".kssssk.",
    ".kkkkkk.",
]


def draw_computer(c, x, y, screen=NAVY, w=20, h=15):
    """A desktop monitor on a foot; w, h give the monitor body."""
    c.box(x, y, x + w - 1, y + h - 1, SILVER)
    c.hline(x + 1, x + w - 2, y + 1, WHITE)
    c.vline(x + 1, y + 1, y + h - 2, WHITE)
    c.hline(x + 1, x + w - 2, y + h - 2, GREY)
    c.vline(x + w - 2, y + 1, y + h - 2, GREY)
    c.box(x + 3, y + 3, x + w - 4, y + h - 4, screen)
    c.hline(x + 3, x + w - 4, y + 3, GREY)
    c.vline(x + 3, y + 3, y + h - 4, GREY)
    mid = x + w // 2
    c.box(mid - 3, y + h, mid + 2, y + h + 1, GREY)
    c.box(mid - w // 2 + 2, y + h + 2, mid + w // 2 - 3, y + h + 4, SILVER)
    c.hline(mid - w // 2 + 3, mid + w // 2 - 4, y + h + 3, WHITE)


def draw_balloon(c, x0, y0, x1, y1, tail_x, fill=WHITE):
    """A speech balloon with clipped corners and a tail under it that starts at tail_x."""
    c.rect(x0 + 1, y0 + 1, x1 - 1, y1 - 1, fill)
    c.hline(x0 + 2, x1 - 2, y0, BLACK)
    c.hline(x0 + 2, x1 - 2, y1, BLACK)
    c.vline(x0, y0 + 2, y1 - 2, BLACK)
    c.vline(x1, y0 + 2, y1 - 2, BLACK)
    for px, py in ((x0 + 1, y0 + 1), (x1 - 1, y0 + 1), (x0 + 1, y1 - 1), (x1 - 1, y1 - 1)):
        c.put(px, py, BLACK)
    # The tail narrows over three rows below the balloon.
    c.sprite(tail_x - 1, y1, ["kwwwk", "kwwk.", "kwk..", "kk...", "k...."],
             dict(SPRITE_PALETTE, w=fill))


def smiling_face(mouth):
    """16x16 yellow face; mouth is 'closed', 'open' or 'wide'."""
    c = Canvas(16, 16)
    c.ellipse(7.5, 7.5, 7.6, 7.6, YELLOW, BLACK)
    c.rect(5, 4, 5, 6, BLACK)
    c.rect(10, 4, 10, 6, BLACK)
    if mouth == 'closed':
        c.sprite(3, 9, ["k........k",
                        ".k......k.",
                        "..kkkkkk.."])
    elif mouth == 'open':
        c.sprite(4, 9, ["kkkkkkkk",
                        ".krrrrk.",
                        "..kkkk.."])
    else:
        c.sprite(4, 8, ["kkkkkkkk",
                        "kmmmmmmk",
                        "kmrrrrmk",
                        ".krrrrk.",
                        "..kkkk.."])
    return c


# --------------------------------------------------------------------------- tray


def tray_static():
    c = Canvas(16, 16)
    c.sprite(0, 0, MONITOR)
    c.sprite(8, 6, MONITOR)
    # The cable leaves the left computer's foot and runs into the right one's.
    c.vline(4, 10, 12, BLACK)
    c.hline(4, 7, 12, BLACK)
    c.put(5, 13, GREY), c.put(6, 13, GREY)
    return c


def tray_busy(frame):
    """One of 13 frames: a page turning round its spine inside a ring-shaped cyan arrow."""
    c = Canvas(16, 16)
    angle = 2 * math.pi * frame / 13
    cos_a, sin_a = math.cos(angle), math.sin(angle)
    cx, cy, rx, ry = 7.5, 10.0, 6.6, 2.4
    arc = [math.radians(205 + 320 * i / 63) for i in range(64)]

    def arrow(front):
        # The arc's lower half passes in front of the page, the upper half behind it.
        for a in arc:
            if (math.sin(a) >= 0) != front:
                continue
            x, y = round(cx + rx * math.cos(a)), round(cy + ry * math.sin(a))
            c.put(x, y, CYAN)
            c.put(x, y + 1, TEAL)
        if front:
            # The head sits on the left end of the arc and points the way it runs: upward.
            c.sprite(0, 6, ["..k..", ".kck.", "kccck", "kkckk", "..c.."])

    def page():
        spine = 7
        width = 6.0 * cos_a
        tip = spine + width
        lo, hi = (spine, tip) if width >= 0 else (tip, spine)
        fill = WHITE if cos_a >= 0 else SILVER
        grow = 1.6 * sin_a  # the free edge looks taller as it swings towards us
        for x in range(int(math.floor(lo)), int(math.ceil(hi)) + 1):
            f = 0 if abs(width) < 1e-9 else (x - spine) / width
            if f < 0 or f > 1.0001:
                continue
            top = round(2 - grow * f)
            bot = round(13 + grow * f)
            c.vline(x, top, bot, fill)
            c.put(x, top, BLACK)
            c.put(x, bot, BLACK)
            if cos_a >= 0 and 0.2 < f < 0.9:
                for ly in range(top + 2, bot - 1, 2):
                    c.put(x, ly, GREY)
        tx = int(round(tip))
        c.vline(tx, round(2 - grow), round(13 + grow), BLACK)
        c.vline(spine, 2, 13, NAVY)

    # Whichever of the page and the arrow's near half is closer to the viewer is drawn last,
    # so the frames on the way out and on the way back differ.
    arrow(False)
    if sin_a < 0:
        page()
        arrow(True)
    else:
        arrow(True)
        page()
    return c


# --------------------------------------------------------------------------- menu glyphs


def glyph_envelope():
    c = Canvas(16, 16)
    c.box(5, 3, 15, 12, WHITE)
    c.line(5, 3, 10, 8, BLACK)
    c.line(15, 3, 10, 8, BLACK)
    c.line(5, 12, 9, 8, GREY)
    c.line(15, 12, 11, 8, GREY)
    c.hline(6, 14, 13, GREY)
    for y, x0 in ((5, 1), (8, 0), (11, 2)):
        c.hline(x0, 3, y, NAVY)
    return c


def glyph_balloon():
    c = Canvas(16, 16)
    c.ellipse(8.0, 6.0, 7.4, 5.4, WHITE, BLACK)
    c.sprite(3, 10, [".kw", "kww", "kk."])
    c.put(3, 10, BLACK)
    c.hline(4, 5, 11, WHITE)
    c.sprite(2, 11, ["kww.", "kk..", "k..."])
    for x in (5, 8, 11):
        c.put(x, 6, NAVY)
    return c


def glyph_hand():
    c = Canvas(16, 16)
    c.sprite(0, 3, [
        "................",
        "......kkkkkkkkk.",
        ".....kyyyyyyyyyk",
        "kkkkkyyyyykkkkk.",
        "kwwkyyyyyyyk....",
        "kwwkyyyyoookk...",
        "kwwkyyyyyyyyyk..",
        "kwwkyyyyoooook..",
        "kwwkyyyyyyyyk...",
        "kwwkyyyyooookk..",
        "kkkkkyyyyyyyk...",
        ".....kkkkkkk....",
    ])
    return c


def glyph_keys():
    c = Canvas(16, 16)
    # A cyan ring with a key threaded on it: round bow, shaft to the right, two teeth.
    c.sprite(0, 1, [
        "...kkkk.........",
        "..kcccck........",
        ".kck..kck.......",
        ".kc....ck.......",
        ".kck..kck.......",
        "..kcckcck.......",
        "..kkcckk........",
        ".kcccccck.......",
        "kcck..kcckkkkkk.",
        "kck....kccccccck",
        "kcck..kcckkkkckk",
        ".kcccccck.kcckck",
        "..kkkkkk..kkkkkk",
    ])
    return c


def glyph_letter_tray():
    c = Canvas(16, 16)
    # Back rim of the tray, then the letter standing in it, then the front.
    c.hline(2, 13, 8, BLACK)
    c.box(4, 1, 12, 11, WHITE)
    c.line(4, 1, 8, 5, GREY)
    c.line(12, 1, 8, 5, GREY)
    c.rect(10, 2, 11, 3, RED)
    c.box(1, 9, 14, 14, OLIVE)
    c.hline(2, 13, 10, YELLOW)
    c.hline(2, 13, 13, (96, 96, 0, 255))
    c.hline(6, 9, 12, BLACK)
    return c


def glyph_cross():
    c = Canvas(16, 16)
    for i in range(10):
        c.rect(3 + i, 3 + i, 4 + i, 3 + i, BLACK)
        c.rect(11 - i, 3 + i, 12 - i, 3 + i, BLACK)
    return c


def glyph_strip():
    strip = Canvas(115, 16)
    cells = [glyph_envelope(), glyph_balloon(), glyph_hand(), glyph_keys(),
             glyph_letter_tray(), smiling_face('closed'), glyph_cross()]
    for i, g in enumerate(cells):
        strip.blit(g, i * 16, 0)
    return strip


# --------------------------------------------------------------------------- 32x32 icons


def telephone():
    c = Canvas(32, 32)
    # Body: a red trapezoid resting on a darker foot.
    for y in range(13, 28):
        inset = max(0, (27 - y) // 3)
        c.hline(3 + inset, 28 - inset, y, RED)
        c.put(2 + inset, y, BLACK)
        c.put(29 - inset, y, BLACK)
    c.hline(5, 26, 12, BLACK)
    c.rect(3, 27, 28, 28, MAROON)
    c.hline(2, 29, 29, BLACK)
    c.vline(2, 27, 29, BLACK)
    c.vline(29, 27, 29, BLACK)
    for y in range(14, 27):  # shade on the right flank
        c.put(27 - max(0, (27 - y) // 3), y, MAROON)
    # Rotary dial.
    c.ellipse(15.5, 20.0, 6.0, 5.6, WHITE, BLACK)
    for a in range(0, 360, 36):
        if 300 <= a or a < 0:
            continue
        r = math.radians(a - 90)
        c.put(round(15.5 + 3.8 * math.cos(r)), round(20.0 + 3.5 * math.sin(r)), DARK_GREY)
    c.ellipse(15.5, 20.0, 1.6, 1.6, RED, BLACK)
    # Handset on its cradle.
    c.rect(4, 5, 27, 8, RED)
    c.hline(5, 26, 4, BLACK)
    c.hline(9, 22, 9, BLACK)
    c.hline(6, 25, 5, (255, 128, 128, 255))
    for x0 in (1, 22):
        c.box(x0, 7, x0 + 8, 11, RED)
        c.hline(x0 + 1, x0 + 7, 11, MAROON)
    c.vline(3, 4, 6, BLACK), c.vline(28, 4, 6, BLACK)
    c.put(4, 4, BLACK), c.put(27, 4, BLACK)
    c.rect(1, 4, 2, 6, T), c.rect(29, 4, 30, 6, T)
    c.rect(10, 8, 21, 8, RED)
    return c


def hello():
    c = Canvas(32, 32)
    draw_computer(c, 1, 3, screen=TEAL, w=30, h=22)
    c.rect(5, 7, 26, 21, TEAL)
    draw_balloon(c, 8, 8, 24, 17, 11)
    draw_text(c, 12, 10, "Oi!", BLACK, font=TINY)
    c.rect(6, 26, 25, 27, SILVER)
    return c


def surfer():
    c = Canvas(32, 32)
    c.ellipse(15.5, 15.5, 15.4, 15.4, GREEN, BLACK)
    c.ellipse(15.5, 15.5, 12.6, 12.6, (96, 192, 255, 255), DARK_GREY)
    # The sea fills the lower part of the circle; the wave curls up on the left.
    for y in range(4, 29):
        for x in range(4, 29):
            if (x - 15.5) ** 2 + (y - 15.5) ** 2 > 12.0 ** 2:
                continue
            crest = 20 - 9 * math.exp(-((x - 7) / 4.5) ** 2)
            if y >= crest:
                c.put(x, y, BLUE if y > crest + 2 else NAVY if (x + y) % 5 == 0 else BLUE)
            elif y >= crest - 1:
                c.put(x, y, WHITE)
    for x, y in ((5, 11), (6, 10), (7, 10), (8, 10), (9, 11), (9, 12)):
        c.put(x, y, WHITE)
    # Board and rider.
    c.line(9, 21, 22, 18, YELLOW)
    c.line(9, 22, 22, 19, OLIVE)
    c.ellipse(16, 8.5, 1.7, 1.7, SKIN, BLACK)
    c.line(16, 11, 15, 15, RED)
    c.line(17, 11, 16, 15, RED)
    c.line(15, 16, 13, 19, BLACK)
    c.line(16, 16, 18, 18, BLACK)
    c.line(12, 12, 20, 11, SKIN)
    return c


def em_chat():
    c = Canvas(32, 32)

    def figure(cx, top, body, light):
        c.ellipse(cx, top + 3.5, 3.4, 3.6, light, BLACK)
        for y in range(top + 8, 31):
            half = min(6.5, 3.5 + (y - top - 8) * 1.2)
            c.hline(round(cx - half), round(cx + half), y, body)
            c.put(round(cx - half) - 1, y, BLACK)
            c.put(round(cx + half) + 1, y, BLACK)
        c.hline(round(cx - 3.5), round(cx + 3.5), top + 7, BLACK)
        c.hline(round(cx - 6.5) - 1, round(cx + 6.5) + 1, 31, BLACK)
        c.vline(round(cx), top + 12, 30, BLACK)

    figure(7.5, 3, BLUE, (128, 160, 255, 255))
    figure(24.5, 3, RED, (255, 128, 128, 255))
    figure(16, 8, YELLOW, PALE_YELLOW)
    return c


def desconectar():
    c = Canvas(32, 32)
    # Mains plug: two prongs up, cable down.
    c.rect(4, 6, 5, 11, SILVER), c.rect(10, 6, 11, 11, SILVER)
    c.frame(3, 5, 6, 11, BLACK), c.frame(9, 5, 12, 11, BLACK)
    c.rect(4, 6, 5, 10, SILVER), c.rect(10, 6, 11, 10, SILVER)
    c.box(1, 11, 14, 21, DARK_GREY)
    c.hline(2, 13, 12, GREY)
    c.box(5, 21, 10, 24, DARK_GREY)
    c.thick_line(7.5, 25, 7.5, 28, BLACK, 1.0)
    c.line(7, 29, 11, 31, BLACK), c.line(8, 29, 12, 31, BLACK)
    # Battery: a copper cap band over a black body, with its plus sign.
    c.box(21, 2, 25, 4, SILVER)
    c.box(17, 4, 29, 29, BLACK)
    c.rect(18, 5, 28, 12, (224, 128, 32, 255))
    c.hline(18, 28, 13, YELLOW)
    c.rect(18, 14, 28, 28, DARK_GREY)
    c.vline(19, 5, 28, WHITE)
    c.rect(22, 7, 24, 7, BLACK), c.rect(23, 6, 23, 8, BLACK)
    c.rect(22, 23, 24, 23, WHITE)
    return c


def fechar_user():
    c = Canvas(10, 9)
    for y in range(9):
        c.put(y, y, BLACK), c.put(y + 1, y, BLACK)
        c.put(8 - y, y, BLACK), c.put(9 - y, y, BLACK)
    return c


def user_picture():
    c = Canvas(16, 16)
    c.ellipse(7.5, 11 + 4.5, 6.4, 6.2, TEAL, BLACK)
    c.rect(0, 15, 15, 15, T)
    c.hline(2, 13, 15, BLACK)
    c.ellipse(7.5, 5.5, 3.5, 4.0, SKIN, BLACK)
    c.hline(5, 10, 2, MAROON), c.hline(4, 11, 3, MAROON)
    c.put(4, 4, MAROON), c.put(11, 4, MAROON)
    c.put(6, 5, BLACK), c.put(9, 5, BLACK)
    c.hline(6, 9, 7, MAROON)
    return c


def note_over_globe():
    c = Canvas(32, 32)
    c.ellipse(19.5, 18.5, 11.8, 11.8, BLUE, NAVY)
    land = [(13, 12, 4.5, 3.0), (17, 16, 3.0, 5.5), (25, 13, 4.0, 2.5), (24, 24, 3.5, 3.0),
            (12, 23, 2.5, 2.0)]
    for y in range(7, 31):
        for x in range(8, 32):
            if c.get(x, y) != BLUE:
                continue
            if any(((x - lx) / rx) ** 2 + ((y - ly) / ry) ** 2 <= 1 for lx, ly, rx, ry in land):
                c.put(x, y, GREEN if (x + y) % 4 else LIME)
    for y in range(7, 31):  # a meridian and the equator in a lighter blue
        for x in (19,):
            if c.get(x, y) == BLUE:
                c.put(x, y, (64, 96, 255, 255))
    for x in range(8, 32):
        if c.get(x, 18) == BLUE:
            c.put(x, 18, (64, 96, 255, 255))
    # The note, pinned in front, with a greeting on it.
    c.box(1, 2, 19, 17, PALE_YELLOW)
    c.rect(2, 16, 19, 16, (224, 224, 128, 255))
    c.sprite(16, 14, ["...k", "..ko", ".koo", "kkkk"])
    c.rect(19, 14, 19, 17, T), c.rect(18, 15, 19, 17, T), c.put(17, 17, T)
    c.put(16, 17, BLACK)
    c.rect(1, 2, 19, 3, (255, 224, 96, 255)), c.frame(1, 2, 19, 17, BLACK)
    c.rect(17, 15, 19, 17, T)
    c.sprite(16, 14, ["...k", "..kk", ".kok", "kkk."])
    draw_text(c, 4, 6, "Oi!", RED, font=TINY)
    c.hline(4, 15, 13, GREY)
    c.ellipse(10, 2, 1.4, 1.4, RED, MAROON)
    return c


def jester():
    c = Canvas(32, 32)
    # The pop-up sign: a little window with a title bar and written lines.
    c.box(14, 1, 31, 13, WHITE)
    c.rect(15, 2, 30, 4, NAVY)
    c.put(29, 3, WHITE)
    for y, x1 in ((7, 28), (9, 25), (11, 27)):
        c.hline(17, x1, y, GREY)
    c.vline(19, 14, 23, OLIVE), c.vline(20, 14, 23, MAROON)
    # Jester: a two-pointed hat with bells, a face and a collar.
    c.sprite(0, 6, [
        "..................",
        "kk..........kk....",
        "kyk........krrk...",
        ".kyk......krrk....",
        "..kyyk..krrrk.....",
        "..kyyykkrrrrk.....",
        "...kyyyyrrrrk.....",
        "...kkkkkkkkkk.....",
        "...khhhhhhhhk.....",
        "...khkhhhhkhk.....",
        "...khhhhhhhhk.....",
        "...khhhrrhhhk.....",
        "...khkhhhhkhk.....",
        "....khkkkkhk......",
        "....kkhhhhkk......",
        "..krkykrkykrk.....",
        ".krrkyykrkyyrk....",
        "kyyyyrrrryyyyk....",
        "kyyyyrrrryyyykk...",
        "kyyyyrrrryyyykhk..",
        "kyyyyrrrryyyykhhk.",
        "kyyyyrrrryyyyk.kk.",
        "kkkkkkkkkkkkkk....",
    ])
    c.ellipse(1, 7, 1.3, 1.3, YELLOW, BLACK)
    c.ellipse(13, 7, 1.3, 1.3, YELLOW, BLACK)
    c.rect(17, 21, 20, 23, SKIN)
    c.frame(16, 20, 21, 24, BLACK)
    c.rect(17, 21, 20, 23, SKIN)
    c.vline(18, 22, 22, BLACK)
    return c


# --------------------------------------------------------------------------- big pictures


def background():
    """640x125 light grey ground crossed by pale, hatched looping ribbons."""
    w, h = 640, 125
    ground = (204, 204, 204, 255)
    hatch = (222, 222, 222, 255)
    rim = (214, 214, 214, 255)
    c = Canvas(w, h, ground)
    mask = bytearray(w * h)
    curves = [(26, 20, 13, 0.0, 3.0), (68, 30, 19, 1.7, 3.5), (104, 18, 12, 3.1, 2.5)]
    for cy, loop_r, step, phase, thick in curves:
        samples = 6000
        for i in range(samples):
            t = (i / samples) * (w + 80) / step - 2.0
            # A prolate cycloid: the point runs ahead while circling, drawing loops.
            x = t * step + loop_r * math.cos(t + phase)
            y = cy + loop_r * 0.9 * math.sin(t + phase)
            r = int(thick)
            for dy in range(-r, r + 1):
                for dx in range(-r, r + 1):
                    if dx * dx + dy * dy <= thick * thick:
                        px, py = int(x) + dx, int(y) + dy
                        if 0 <= px < w and 0 <= py < h:
                            mask[py * w + px] = 1
    for y in range(h):
        for x in range(w):
            if not mask[y * w + x]:
                continue
            edge = any(not (0 <= x + dx < w and 0 <= y + dy < h) or not mask[(y + dy) * w + x + dx]
                       for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)))
            if edge:
                c.px[y * w + x] = rim
            elif (x + y) % 3 == 0:
                c.px[y * w + x] = hatch
    return c


def desktop():
    w, h = 274, 130
    c = Canvas(w, h, TEAL)
    # Two icons on the desktop: the network and the program itself.
    net = Canvas(16, 16)
    net.blit(tray_static(), 0, 0)
    for y in range(32):
        for x in range(32):
            p = net.get(x // 2, y // 2)
            if p[3]:
                c.put(14 + x, 6 + y, p)
    c.blit(telephone(), 14, 54)
    for label, y0 in (("Rede", 40), ("Falavox", 88)):
        lw = text_width(label)
        x0 = 30 - lw // 2
        c.rect(x0 - 2, y0 - 1, x0 + lw + 1, y0 + 9, TEAL)
        draw_text(c, x0, y0, label, WHITE)
    # Task bar.
    top = h - 25
    c.rect(0, top, w - 1, h - 1, SILVER)
    c.hline(0, w - 1, top + 1, WHITE)

    def button(x0, x1):
        c.bevel(x0, top + 4, x1, h - 3, raised=True)
        c.hline(x0, x1, h - 3, BLACK), c.vline(x1, top + 4, h - 3, BLACK)
        c.hline(x0 + 1, x1 - 1, h - 4, GREY), c.vline(x1 - 1, top + 5, h - 4, GREY)

    button(2, 54)
    c.sprite(6, top + 9, ["..rrrrrr..", ".rkkkkkkr.", "rr......rr", "...rrrr...",
                           "..rrwwrr..", ".rrwkkwrr.", ".rrrwwrrr.", ".kkkkkkkk."])
    draw_text(c, 20, top + 8, "Iniciar", BLACK)
    # Notification area: our icon and a clock.
    nx = w - 50
    c.bevel(nx, top + 4, w - 3, h - 3, raised=False)
    c.blit(tray_static(), nx + 4, top + 5)
    draw_text(c, nx + 25, top + 10, "10:30", BLACK, font=TINY)
    return c


MENU_W, MENU_H = 113, 100
MENU_ITEMS = [("Refresh", 3), ("Opções", 4), None, ("Sobre", 6), None, ("Fechar", 7)]


def menu_picture(with_band):
    """The tray menu as it opens, from "&Refresh" to "&Fechar", with or without its band."""
    margin = 27 if with_band else 0
    menu_w = MENU_W if with_band else MENU_W - 27
    c = Canvas(MENU_W, MENU_H)
    c.rect(0, 0, menu_w - 1, MENU_H - 1, SILVER)
    c.hline(0, menu_w - 1, 0, SILVER), c.vline(0, 0, MENU_H - 1, SILVER)
    c.hline(1, menu_w - 2, 1, WHITE), c.vline(1, 1, MENU_H - 2, WHITE)
    c.hline(0, menu_w - 1, MENU_H - 1, BLACK), c.vline(menu_w - 1, 0, MENU_H - 1, BLACK)
    c.hline(1, menu_w - 2, MENU_H - 2, GREY), c.vline(menu_w - 2, 1, MENU_H - 2, GREY)
    left, top, bottom = 3, 3, MENU_H - 3  # inside the frame; bottom is exclusive

    if with_band:
        draw_title_band(c, left, top, left + margin, bottom)

    strip = glyph_strip()
    # Items fill the inside of the frame: 19 pixels each, 9 for a separator, the spare rows
    # split between the separators.
    seps = MENU_ITEMS.count(None)
    items = len(MENU_ITEMS) - seps
    sep_h = (bottom - top - 19 * items) // seps
    y = top
    for entry in MENU_ITEMS:
        x0 = left + margin
        if entry is None:
            mid = y + sep_h // 2 - 1
            c.hline(x0 + 1, menu_w - 5, mid, GREY)
            c.hline(x0 + 1, menu_w - 5, mid + 1, WHITE)
            y += sep_h
            continue
        caption, tag = entry
        cell = tag - 1
        for gy in range(16):
            for gx in range(16):
                p = strip.get(cell * 16 + gx, gy)
                if p[3]:
                    c.put(x0 + 2 + gx, y + 2 + gy, p)
        tx = x0 + 24
        draw_text(c, tx, y + 6, caption, BLACK)
        first_w = len(FONT[caption[0]][0])
        c.hline(tx, tx + first_w - 1, y + 14, BLACK)  # the accelerator letter
        y += 19
    return c


def draw_title_band(c, left, top, right, bottom):
    """The lime-to-dark-green band with "Falavox" and a small mark reading upward."""
    height = bottom - top
    bands = min(32, height)
    band_h = height // bands
    grad_right = right - 3
    for i in range(bands):
        g = 255 - (255 - 63) * i // (bands - 1)
        c.rect(left, top + i * band_h, grad_right - 1, top + (i + 1) * band_h - 1, (0, g, 0, 255))
    c.rect(left, top + bands * band_h, grad_right - 1, bottom - 1, (0, 63, 0, 255))
    c.vline(right - 2, top, bottom - 1, GREY)
    c.vline(right - 1, top, bottom - 1, WHITE)

    title = "Falavox"
    tw = text_width(title, scale=2)
    mark_gap = 8
    layer = Canvas(height, right - left)
    # Text runs along the band's length, starting 5 pixels above the bottom.
    draw_text(layer, 5, 5, title, WHITE, scale=2)
    mark_x = 5 + tw + mark_gap
    draw_text(layer, mark_x, 6, "©", WHITE)
    turned = layer.rotated_ccw()
    for y in range(turned.h):
        for x in range(turned.w):
            p = turned.get(x, y)
            if p[3] and left + x < grad_right:
                c.put(left + x, top + y, p)


# --------------------------------------------------------------------------- about box


def about_frame(n):
    """Four frames: a balloon flies from the left computer to the right one."""
    c = Canvas(64, 64)
    lit = TEAL
    draw_computer(c, 1, 36, screen=CYAN if n == 0 else lit, w=22, h=16)
    draw_computer(c, 41, 36, screen=CYAN if n == 3 else lit, w=22, h=16)
    # The cable between the two feet.
    c.hline(12, 52, 59, BLACK)
    c.hline(12, 52, 60, GREY)
    positions = [(2, 16, 6), (14, 6, 4), (28, 6, 12), (40, 16, 12)]
    bx, by, tail = positions[n]
    draw_balloon(c, bx, by, bx + 21, by + 12, bx + tail)
    draw_text(c, bx + 7, by + 4, "Oi!", NAVY, font=TINY)
    # Motion dashes trailing the balloon while it flies.
    if n in (1, 2):
        for k in range(3):
            c.hline(bx - 6 - k, bx - 3 - k, by + 4 + 2 * k, GREY)
    return c


# --------------------------------------------------------------------------- desktop icons

# The sizes of the application icon in the desktop's icon theme (hicolor): menus, panels,
# launchers and software centres each pick the nearest.
ICON_SIZES = (16, 24, 32, 48, 64, 128, 256)


def scale2x(src):
    """Doubles a pixel picture, rounding its diagonal edges instead of growing stairs:
    each pixel becomes four, each quarter taking a neighbour's colour where the two
    neighbours beside that corner agree and differ from the other two."""
    out = Canvas(src.w * 2, src.h * 2)

    def at(x, y):
        return src.get(min(max(x, 0), src.w - 1), min(max(y, 0), src.h - 1))

    for y in range(src.h):
        for x in range(src.w):
            p, a, b, c, d = at(x, y), at(x, y - 1), at(x + 1, y), at(x - 1, y), at(x, y + 1)
            quarters = [p, p, p, p]
            if c != b and a != d:
                quarters = [a if c == a else p, b if a == b else p,
                            c if d == c else p, d if b == d else p]
            for i, colour in enumerate(quarters):
                out.px[(2 * y + i // 2) * out.w + 2 * x + i % 2] = colour
    return out


def scale3x(src):
    """Triples a pixel picture by the same rule as scale2x, in nine parts a pixel."""
    out = Canvas(src.w * 3, src.h * 3)

    def at(x, y):
        return src.get(min(max(x, 0), src.w - 1), min(max(y, 0), src.h - 1))

    for y in range(src.h):
        for x in range(src.w):
            a, b, c = at(x - 1, y - 1), at(x, y - 1), at(x + 1, y - 1)
            d, e, f = at(x - 1, y), at(x, y), at(x + 1, y)
            g, h, i = at(x - 1, y + 1), at(x, y + 1), at(x + 1, y + 1)
            parts = [e] * 9
            if b != h and d != f:
                parts = [
                    d if d == b else e,
                    b if (d == b and e != c) or (b == f and e != a) else e,
                    f if b == f else e,
                    d if (d == b and e != g) or (d == h and e != a) else e,
                    e,
                    f if (b == f and e != i) or (h == f and e != c) else e,
                    d if d == h else e,
                    h if (d == h and e != i) or (h == f and e != g) else e,
                    f if h == f else e,
                ]
            for k, colour in enumerate(parts):
                out.px[(3 * y + k // 3) * out.w + 3 * x + k % 3] = colour
    return out


def shrink(src, factor):
    """Averages each factor-by-factor block into one pixel, weighting colours by their
    opacity so that transparent pixels do not darken the edges."""
    out = Canvas(src.w // factor, src.h // factor)
    for y in range(out.h):
        for x in range(out.w):
            block = [src.get(x * factor + i, y * factor + j)
                     for j in range(factor) for i in range(factor)]
            alpha = sum(p[3] for p in block)
            if alpha == 0:
                continue
            colour = tuple(round(sum(p[k] * p[3] for p in block) / alpha) for k in range(3))
            out.px[y * out.w + x] = colour + (round(alpha / len(block)),)
    return out


def resample(src, size):
    """Makes a square picture `size` pixels wide by averaging, for each new pixel, the part
    of every source pixel it covers (for sizes the source is no whole multiple of),
    weighting colours by their opacity as shrink() does."""
    out = Canvas(size, size)
    step = src.w / size
    for y in range(size):
        for x in range(size):
            x0, x1, y0, y1 = x * step, (x + 1) * step, y * step, (y + 1) * step
            weight = alpha = 0.0
            colour = [0.0, 0.0, 0.0]
            for sy in range(int(y0), min(math.ceil(y1), src.h)):
                cover_y = min(y1, sy + 1) - max(y0, sy)
                for sx in range(int(x0), min(math.ceil(x1), src.w)):
                    cover = cover_y * (min(x1, sx + 1) - max(x0, sx))
                    p = src.get(sx, sy)
                    weight += cover
                    alpha += cover * p[3]
                    for k in range(3):
                        colour[k] += cover * p[3] * p[k]
            if alpha == 0:
                continue
            out.px[y * size + x] = tuple(round(c / alpha) for c in colour) + (
                round(alpha / weight),)
    return out


def sized_icon(small, size):
    """A 16-pixel picture at one of the sizes desktops ask for: smoothed when enlarged,
    averaged down from three times its size where the size is no whole multiple."""
    if size == small.w:
        return small
    if size == 2 * small.w:
        return scale2x(small)
    return resample(scale3x(small), size)


# The sizes panels draw a tray icon at besides 16 and its double 32 (static@2x.png): 22
# and 24 at scale 1, 48 at scale 2 or 3.
TRAY_SIZES = (22, 24, 48)


def application_icon(size):
    """The telephone of the application's own icon at one of ICON_SIZES: smoothed when
    enlarged, averaged when made smaller, never stretched by a fraction."""
    base = telephone()
    if size == 16:
        return shrink(base, 2)
    if size in (24, 48):
        return shrink(scale3x(base), 96 // size)
    picture = base
    while picture.w < size:
        picture = scale2x(picture)
    return picture


def icon_assets():
    return {"icons/hicolor/%dx%d/apps/falavox.png" % (n, n): png_bytes(application_icon(n))
            for n in ICON_SIZES}


# --------------------------------------------------------------------------- output


def all_assets():
    files = {
        "tray/static.png": tray_static(),
        "menu/glyphs.png": glyph_strip(),
        "app/telephone.png": telephone(),
        "askchat/hello.png": hello(),
        "askchat/face_closed.png": smiling_face('closed'),
        "askchat/face_open.png": smiling_face('open'),
        "askchat/face_wide.png": smiling_face('wide'),
        "chat/sair.png": surfer(),
        "chat/emchat.png": em_chat(),
        "chat/desconectar.png": desconectar(),
        "chat/fecharuser.png": fechar_user(),
        "chat/user.png": user_picture(),
        "chat/BACKGROUND.png": background(),
        "config/desktop.png": desktop(),
        "config/menu_band.png": menu_picture(True),
        "config/menu_plain.png": menu_picture(False),
        "config/note.png": note_over_globe(),
        "config/jester.png": jester(),
    }
    for i in range(13):
        files["tray/busy%02d.png" % (i + 1)] = tray_busy(i)
    for i in range(4):
        files["about/frame%d.png" % (i + 1)] = about_frame(i)
    # Every picture drawn again at twice its size for screens that scale by 2: the
    # toolkit picks "name@2x.png" there instead of doubling each pixel into a block.
    for name, canvas in list(files.items()):
        files[name.replace(".png", "@2x.png")] = scale2x(canvas)
    for size in TRAY_SIZES:
        files["tray/static-%d.png" % size] = sized_icon(files["tray/static.png"], size)
    out = {name: png_bytes(canvas) for name, canvas in files.items()}
    out["sound/WAVE1.wav"] = wave_bytes()
    return out


def main(argv):
    if len(argv) == 3 and argv[1] == "--icons":
        outdir, assets = argv[2], icon_assets()
    elif len(argv) == 2:
        outdir, assets = argv[1], all_assets()
    else:
        sys.stderr.write("usage: make_assets.py [--icons] OUTDIR\n")
        return 2
    for name, data in sorted(assets.items()):
        path = os.path.join(outdir, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        # Write beside and rename, so a build that is interrupted never leaves a torn file.
        tmp = path + ".tmp"
        with open(tmp, "wb") as f:
            f.write(data)
        os.replace(tmp, path)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
