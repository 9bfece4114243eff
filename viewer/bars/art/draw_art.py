#!/usr/bin/python3
"""Draws the tool-bar strips and the menu check mark as XPM files.

Run from this folder after changing a picture; the .xpm files are checked in and
compiled into the viewer library. 0xC0C0C0 is the strips' transparent colour.
"""
import math

W, H = 16, 15
PALETTE = {
    '.': 'c0c0c0', '#': '000000', 'd': '808080', 'w': 'ffffff', 'y': 'ffff00',
    'o': '808000', 'b': '0000ff', 'n': '000080', 'r': 'ff0000', 'm': '800000',
    'g': '00c000', 'e': '008000',
}


class Tile:
    def __init__(self, w=W, h=H):
        self.w, self.h = w, h
        self.px = [['.'] * w for _ in range(h)]

    def put(self, x, y, c):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y][x] = c

    def hline(self, x0, x1, y, c):
        for x in range(x0, x1 + 1):
            self.put(x, y, c)

    def vline(self, x, y0, y1, c):
        for y in range(y0, y1 + 1):
            self.put(x, y, c)

    def rect(self, x0, y0, x1, y1, c, fill=None):
        if fill:
            for y in range(y0 + 1, y1):
                self.hline(x0 + 1, x1 - 1, y, fill)
        self.hline(x0, x1, y0, c)
        self.hline(x0, x1, y1, c)
        self.vline(x0, y0, y1, c)
        self.vline(x1, y0, y1, c)

    def circle(self, cx, cy, r, c, fill=None):
        for y in range(self.h):
            for x in range(self.w):
                d = math.hypot(x - cx, y - cy)
                if fill and d < r - 0.5:
                    self.put(x, y, fill)
                elif abs(d - r) < 0.6:
                    self.put(x, y, c)

    def line(self, x0, y0, x1, y1, c):
        n = max(abs(x1 - x0), abs(y1 - y0))
        for i in range(n + 1):
            self.put(round(x0 + (x1 - x0) * i / n), round(y0 + (y1 - y0) * i / n), c)


def magnifier(sign):
    t = Tile()
    t.circle(6, 6, 4.5, '#', 'w')
    t.line(10, 10, 14, 14, '#')
    t.line(10, 11, 13, 14, 'd')
    if sign in '+-':
        t.hline(4, 8, 6, 'n')
    if sign == '+':
        t.vline(6, 4, 8, 'n')
    if sign == '1':
        t.vline(6, 3, 9, 'n')
        t.put(5, 4, 'n')
        t.hline(5, 7, 9, 'n')
    return t


def open_file():
    t = Tile()
    t.rect(1, 4, 12, 13, '#', 'y')
    t.hline(2, 5, 3, '#')
    t.hline(6, 11, 6, 'o')
    t.line(9, 1, 13, 1, '#')
    t.line(13, 1, 13, 4, '#')
    t.put(12, 2, '#')
    t.put(14, 3, '#')
    return t


def open_rgb():
    t = Tile()
    t.rect(1, 1, 8, 8, '#', 'r')
    t.rect(7, 4, 14, 11, '#', 'e')
    t.rect(4, 6, 11, 13, '#', 'b')
    return t


def close_file():
    t = Tile()
    t.rect(2, 0, 11, 14, '#', 'w')
    for y in (3, 5, 7):
        t.hline(4, 9, y, 'd')
    t.line(8, 8, 14, 14, 'r')
    t.line(14, 8, 8, 14, 'r')
    t.line(9, 8, 15, 14, 'm')
    t.line(15, 8, 9, 14, 'm')
    return t


def centre():
    t = Tile()
    t.circle(7, 7, 5, 'n')
    t.hline(0, 14, 7, '#')
    t.vline(7, 0, 14, '#')
    t.put(7, 7, 'r')
    return t


def profile(horizontal):
    t = Tile()
    if horizontal:
        t.hline(0, 15, 13, '#')
        pts = [(0, 10), (3, 6), (6, 9), (9, 3), (12, 7), (15, 5)]
    else:
        t.vline(1, 0, 14, '#')
        pts = [(4, 0), (8, 3), (5, 6), (11, 9), (7, 12), (9, 14)]
    for a, b in zip(pts, pts[1:]):
        t.line(*a, *b, 'b')
    return t


def fit():
    t = Tile()
    t.rect(3, 3, 12, 11, 'd', 'w')
    for (x, y, dx, dy) in ((0, 0, 1, 1), (15, 0, -1, 1), (0, 14, 1, -1), (15, 14, -1, -1)):
        t.line(x, y, x + 3 * dx, y + 3 * dy, 'n')
        t.hline(min(x, x + 2 * dx), max(x, x + 2 * dx), y, 'n')
        t.vline(x, min(y, y + 2 * dy), max(y, y + 2 * dy), 'n')
    return t


def statistics():
    t = Tile()
    t.hline(0, 15, 14, '#')
    for x, top, c in ((1, 9, 'r'), (5, 3, 'b'), (9, 6, 'e'), (13, 11, 'y')):
        t.rect(x, top, x + 2, 13, '#', c)
    return t


def inquire():
    t = Tile()
    t.hline(0, 6, 4, '#')
    t.vline(3, 1, 7, '#')
    t.put(3, 4, 'r')
    for y, row in enumerate(["  ###  ", " #   # ", "     # ", "    #  ", "   #   ", "       ", "   #   "]):
        for i, ch in enumerate(row):
            if ch == '#':
                t.put(8 + i, 7 + y, 'n')
    return t


def frame_selection():
    t = Tile()
    for x in range(1, 15):
        c = '#' if (x // 2) % 2 == 0 else 'w'
        t.put(x, 2, c)
        t.put(x, 12, c)
    for y in range(2, 13):
        c = '#' if (y // 2) % 2 == 0 else 'w'
        t.put(1, y, c)
        t.put(14, y, c)
    return t


def contrast():
    t = Tile()
    t.circle(7, 7, 6, '#', 'w')
    for y in range(15):
        for x in range(8, 15):
            if math.hypot(x - 7, y - 7) < 5.5:
                t.put(x, y, '#')
    return t


# Tool bar 234, in button order.
STRIP_234 = [
    (34816, open_file), (34784, open_rgb), (34854, close_file), (34793, centre),
    (34794, lambda: magnifier('+')), (34795, lambda: magnifier('-')),
    (34821, lambda: profile(True)), (34848, lambda: profile(False)), (34813, fit),
    (34820, lambda: magnifier('1')), (34797, statistics), (34861, inquire),
    (34860, frame_selection), (34842, contrast),
]

# Menu images 239: each menu command with a tool-bar button, then the image window's
# context commands; every one shows its button's picture.
STRIP_239 = [
    (34777, 34816), (32771, 34784), (34841, 34854), (34837, 34793), (34834, 34794),
    (34833, 34795), (34839, 34821), (34849, 34848), (34836, 34813), (34835, 34820),
    (34838, 34797), (34773, 34860), (34774, 34842),
    (34778, 34794), (34782, 34795), (34775, 34813), (34776, 34820),
]


def write_xpm(path, name, tiles, w, h):
    rows = [''.join(''.join(t.px[y]) for t in tiles) for y in range(h)]
    used = sorted({c for r in rows for c in r})
    with open(path, 'w') as f:
        f.write('/* XPM */\n')
        f.write('static const char* const %s[] = {\n' % name)
        f.write('"%d %d %d 1",\n' % (w * len(tiles), h, len(used)))
        for c in used:
            f.write('"%s c #%s",\n' % (c, PALETTE[c].upper()))
        f.write(',\n'.join('"%s"' % r for r in rows))
        f.write('};\n')


def check_mark():
    t = Tile(19, 19)
    t.line(5, 9, 8, 12, '#')
    t.line(5, 10, 8, 13, '#')
    t.line(8, 12, 13, 7, '#')
    t.line(8, 13, 13, 8, '#')
    t.line(6, 11, 8, 13, 'd')
    t.line(9, 13, 14, 8, 'w')
    return t


if __name__ == '__main__':
    tiles = {cmd: draw() for cmd, draw in STRIP_234}
    write_xpm('toolbar234.xpm', 'kToolBar234Xpm', [tiles[c] for c, _ in STRIP_234], W, H)
    write_xpm('toolbar239.xpm', 'kToolBar239Xpm', [tiles[b] for _, b in STRIP_239], W, H)
    write_xpm('check161.xpm', 'kCheck161Xpm', [check_mark()], 19, 19)
