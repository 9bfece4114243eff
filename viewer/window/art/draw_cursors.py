#!/usr/bin/python3
"""Draws the image window's tool cursors as XPM files.

Run from this folder after changing a picture; the .xpm files are checked in and
compiled into the viewer library. Each cursor is 32 x 32 with a black figure on a
white outline; ' ' is transparent. The hot spots are in ViewRectCursors.cpp.
"""

N = 32


class Cursor:
    def __init__(self):
        self.px = [[' '] * N for _ in range(N)]

    def put(self, x, y, c='#'):
        if 0 <= x < N and 0 <= y < N:
            self.px[y][x] = c

    def line(self, x0, y0, x1, y1):
        steps = max(abs(x1 - x0), abs(y1 - y0), 1)
        for i in range(steps + 1):
            self.put(round(x0 + (x1 - x0) * i / steps), round(y0 + (y1 - y0) * i / steps))

    def circle(self, cx, cy, r):
        for y in range(N):
            for x in range(N):
                d = ((x - cx) ** 2 + (y - cy) ** 2) ** 0.5
                if abs(d - r) < 0.6:
                    self.put(x, y)

    def outline(self):
        # A white rim around the figure keeps it visible on dark pictures.
        figure = {(x, y) for y in range(N) for x in range(N) if self.px[y][x] == '#'}
        for x, y in figure:
            for dx in (-1, 0, 1):
                for dy in (-1, 0, 1):
                    nx, ny = x + dx, y + dy
                    if 0 <= nx < N and 0 <= ny < N and (nx, ny) not in figure:
                        self.px[ny][nx] = '.'
        return self


def magnifier(sign):
    c = Cursor()
    c.circle(11, 11, 8)
    for i in range(3):
        c.line(17 + i, 16 + i - i, 26 + i, 25)
    c.line(7, 11, 15, 11)
    if sign == '+':
        c.line(11, 7, 11, 15)
    return c.outline()


def centre():
    c = Cursor()
    c.line(15, 2, 15, 28)
    c.line(2, 15, 28, 15)
    c.circle(15, 15, 6)
    return c.outline()


def profile(horizontal):
    c = Cursor()
    if horizontal:
        c.line(2, 15, 28, 15)
        c.line(2, 15, 6, 11)
        c.line(2, 15, 6, 19)
        c.line(28, 15, 24, 11)
        c.line(28, 15, 24, 19)
        c.line(15, 10, 15, 20)
    else:
        c.line(15, 2, 15, 28)
        c.line(15, 2, 11, 6)
        c.line(15, 2, 19, 6)
        c.line(15, 28, 11, 24)
        c.line(15, 28, 19, 24)
        c.line(10, 15, 20, 15)
    return c.outline()


def pointer():
    c = Cursor()
    c.line(15, 2, 15, 12)
    c.line(15, 18, 15, 28)
    c.line(2, 15, 12, 15)
    c.line(18, 15, 28, 15)
    c.put(15, 15)
    return c.outline()


def write_xpm(path, name, cursor):
    with open(path, 'w') as f:
        f.write('/* XPM */\n')
        f.write(f'static const char* const {name}[] = {{\n')
        f.write(f'"{N} {N} 3 1",\n" \tc None",\n"#\tc #000000",\n".\tc #FFFFFF",\n')
        rows = [''.join(r) for r in cursor.px]
        f.write(',\n'.join(f'"{r}"' for r in rows))
        f.write('};\n')


for number, name, cursor in [
    (249, 'kCursor249Xpm', magnifier('-')),
    (241, 'kCursor241Xpm', magnifier('+')),
    (282, 'kCursor282Xpm', centre()),
    (269, 'kCursor269Xpm', profile(True)),
    (268, 'kCursor268Xpm', profile(False)),
    (288, 'kCursor288Xpm', pointer()),
]:
    write_xpm(f'cursor{number}.xpm', name, cursor)
