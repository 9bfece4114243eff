"""Whole-image numpy model of the display pyramid and its region extraction.

Usage: pyramid_model.py DIR. DIR/manifest.txt holds one case per line:
  build NAME TYPE PHASE W H ROWBYTES LO HI
      reads DIR/NAME.in (H rows of ROWBYTES bytes), writes DIR/NAME.out:
      the 1024-byte display histogram followed by every level in tile order.
  region NAME W H REDUCTION X Y RW RH FIT STEP BOTTOMUP ROWBYTES SIZE
      reads DIR/NAME.l0 (level 0, W x H bytes), writes DIR/NAME.out: SIZE
      bytes that start as 0xCD and receive the region.
The model works on whole level images, never on tiles, so it checks the
tile arithmetic of the implementation independently.
"""
import math
import sys

import numpy as np

PHASE_MAX = 6.28318530717958
PHASE_SCALE = 40.58451048843335

# code -> (numpy part type, complex, signed or float part)
TYPES = {
    1: ('<u1', False, False), 2: ('<i1', False, True), 3: ('<u2', False, False),
    4: ('<i2', False, True), 5: ('<u4', False, False), 6: ('<i4', False, True),
    7: ('<f4', False, True), 8: ('<f8', False, True),
    9: ('<f4', True, True), 10: ('<f8', True, True), 11: ('<u1', True, False),
    12: ('<i1', True, True), 13: ('<u2', True, False), 14: ('<i2', True, True),
    15: ('<u4', True, False), 16: ('<i4', True, True),
}


def level_count(w, h):
    m = max(w, h)
    if m < 257:
        return 1
    return 1 + round(math.log((m + 255) / 256.0) / math.log(2.0))


def to_display(x):
    with np.errstate(invalid='ignore'):
        x = np.where(x > 0.0, x, 0.0)
        x = np.where(x < 255.0, x, 255.0)
    return np.rint(x).astype(np.uint8)


def level0(raw, code, phase, w, h, row_bytes, lo, hi):
    part, is_complex, signed = TYPES[code]
    size = np.dtype(part).itemsize * (2 if is_complex else 1)
    rows = np.frombuffer(raw, np.uint8).reshape(h, row_bytes)[:, :w * size]
    vals = np.ascontiguousarray(rows).view(part).reshape(h, -1).astype(np.float64)
    scale = 0.0 if hi == lo else 255.0 / (hi - lo)
    with np.errstate(invalid='ignore', over='ignore'):
        if not is_complex:
            return to_display((vals - lo) * scale), True
        re, im = vals[:, 0::2], vals[:, 1::2]
        if phase & 1:
            arg = np.arctan2(im, re)
            if signed:
                arg = np.where(np.signbit(im), arg + PHASE_MAX, arg)
            return to_display(arg * PHASE_SCALE), False
        return to_display((np.sqrt(re * re + im * im) - lo) * scale), True


def reduce(img):
    h, w = img.shape
    a = img.astype(np.int32)
    pw, ph = w // 2, h // 2
    out = np.zeros(((h + 1) // 2, (w + 1) // 2), np.int32)
    out[:ph, :pw] = (a[0:2 * ph:2, 0:2 * pw:2] + a[0:2 * ph:2, 1:2 * pw:2]
                     + a[1:2 * ph:2, 0:2 * pw:2] + a[1:2 * ph:2, 1:2 * pw:2]) // 4
    if w & 1:
        out[:ph, pw] = (a[0:2 * ph:2, w - 1] + a[1:2 * ph:2, w - 1]) // 2
    if h & 1:
        out[ph, :pw] = (a[h - 1, 0:2 * pw:2] + a[h - 1, 1:2 * pw:2]) // 2
        if w & 1:
            out[ph, pw] = a[h - 1, w - 1]
    return out.astype(np.uint8)


def levels_of(img0):
    h, w = img0.shape
    out = [img0]
    for _ in range(1, level_count(w, h)):
        out.append(reduce(out[-1]))
    return out


def tiled(img):
    h, w = img.shape
    parts = []
    for r in range(0, h, 256):
        for c in range(0, w, 256):
            parts.append(np.ascontiguousarray(img[r:r + 256, c:c + 256]).tobytes())
    return b''.join(parts)


def choose_level(count, r):
    level, step = 0, 1.0
    while step <= r and level < count:
        step *= 2
        level += 1
    return max(level - 1, 0)


def resample_table(n, N):
    """Pairs and fractions of the corner-aligned 32.32 mapping, as Python ints."""
    i0 = [0] * n
    i1 = [0] * n
    fr = [0] * n
    if N <= 1 or n <= 1:
        return i0, i1, fr
    q, rem = divmod(N - 1, n - 1)
    f = (rem << 32) // (n - 1)
    for e in range(1, n):
        total = e * f
        fr[e] = total & 0xFFFFFFFF
        i0[e] = e * q + (total >> 32)
        i1[e] = i0[e] + 1
    i1[n - 1] = N - 1
    return i0, i1, fr


def lerp(a, b, f):
    a = a.astype(np.int64)
    b = b.astype(np.int64)
    f = np.asarray(f, np.int64)
    up = a + (((b - a) * f) >> 32)
    down = a - (((a - b) * f) >> 32)
    return np.where(b >= a, up, down)


def region(img0, red, x, y, rw, rh, fit, step, bottom_up, row_bytes, size):
    dest = np.full(size, 0xCD, np.uint8)
    levels = levels_of(img0)
    if red < 1.0 and fit:
        lev, red, x, y = levels[0], 1.0, 0, 0
        rh, rw = lev.shape
        s = 1.0
    else:
        k = choose_level(len(levels), red)
        lev = levels[k]
        s = red / float(1 << k)
    lh, lw = lev.shape
    if rw <= 0 or rh <= 0 or x < 0 or y < 0:
        return dest
    X0, Y0 = int(math.trunc(x * s)), int(math.trunc(y * s))
    if X0 >= lw or Y0 >= lh:
        return dest
    if s < 1.0:
        f = round(1.0 / s)
        LW = min((rw + f - 1) // f, lw - X0)
        LH = min((rh + f - 1) // f, lh - Y0)
        rw, rh = min(rw, LW * f), min(rh, LH * f)
        cols = X0 + np.arange(rw) // f
        rows = Y0 + np.arange(rh) // f
        out = lev[np.ix_(rows, cols)]
    elif s == 1.0:
        rw, rh = min(rw, lw - X0), min(rh, lh - Y0)
        out = lev[Y0:Y0 + rh, X0:X0 + rw]
    else:
        LW, LH = int(math.ceil(rw * s)), int(math.ceil(rh * s))
        if LW > lw - X0:
            rw = int(math.trunc((lw - X0) / s))
        if LH > lh - Y0:
            rh = int(math.trunc((lh - Y0) / s))
        N = max(lw, lh)
        n = min(int(math.trunc(N / s)) + 1, max(img0.shape))
        rw, rh = min(rw, n - x), min(rh, n - y)
        if rw <= 0 or rh <= 0:
            return dest
        i0, i1, fr = resample_table(n, N)
        c0 = np.minimum(np.array(i0[x:x + rw]), lw - 1)
        c1 = np.minimum(np.array(i1[x:x + rw]), lw - 1)
        cf = np.array(fr[x:x + rw], np.int64)
        r0 = np.minimum(np.array(i0[y:y + rh]), lh - 1)
        r1 = np.minimum(np.array(i1[y:y + rh]), lh - 1)
        rf = np.array(fr[y:y + rh], np.int64)
        across = lerp(lev[:, c0], lev[:, c1], cf[None, :])
        out = lerp(across[r0, :], across[r1, :], rf[:, None]).astype(np.uint8)
    for j in range(out.shape[0]):
        row = (out.shape[0] - 1 - j) if bottom_up else j
        start = row * row_bytes
        dest[start:start + out.shape[1] * step:step] = out[j]
    return dest


def main():
    folder = sys.argv[1]
    with open(f'{folder}/manifest.txt') as manifest:
        for line in manifest:
            f = line.split()
            if not f:
                continue
            if f[0] == 'build':
                name = f[1]
                code, phase, w, h, row_bytes = (int(v) for v in f[2:7])
                lo, hi = float(f[7]), float(f[8])
                with open(f'{folder}/{name}.in', 'rb') as src:
                    raw = src.read()
                img0, counted = level0(raw, code, phase, w, h, row_bytes, lo, hi)
                hist = np.zeros(256, '<u4')
                if counted:
                    hist += np.bincount(img0.ravel(), minlength=256).astype('<u4')
                blob = hist.tobytes() + b''.join(tiled(lev) for lev in levels_of(img0))
            elif f[0] == 'region':
                name = f[1]
                w, h = int(f[2]), int(f[3])
                red = float(f[4])
                x, y, rw, rh, fit, step, bottom_up, row_bytes, size = (int(v) for v in f[5:14])
                with open(f'{folder}/{name}.l0', 'rb') as src:
                    img0 = np.frombuffer(src.read(), np.uint8).reshape(h, w)
                blob = region(img0, red, x, y, rw, rh, fit, step, bottom_up, row_bytes, size).tobytes()
            else:
                raise SystemExit(f'unknown case kind {f[0]}')
            with open(f'{folder}/{name}.out', 'wb') as out:
                out.write(blob)


if __name__ == '__main__':
    main()
