#!/usr/bin/python3
"""The outside side of the surface editor's channel test.

    surface_channels.py layers FOLDER
        Writes raster layer files of 32-bit floats with numpy (proved with
        GDAL) and FOLDER/cases.txt, one case a line:
            NAME FILE XCOUNT YCOUNT CHANNEL MIN MAX
        (FILE "-" for a linear fill). Prints "ok".
    surface_channels.py check FOLDER
        Reads FOLDER/NAME.nodes (the channel after the fill, XCOUNT x YCOUNT
        little-endian float32, row after row) for every case and compares it
        with a float32 model of the fill, the area-weighted resampling and
        the min/max correction. Prints "ok" or the first difference.
"""
import os
import sys

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "engine3d"))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
from rdp_layers import write_file  # noqa: E402
from raw_band import read_raw_band  # noqa: E402

FLOAT32 = 7
f32 = np.float32

CASES = [
    # name, layer, x, y, channel, min, max
    ("lin_x", None, 3, 2, 0, 0.0, 1.0),
    ("lin_y", None, 2, 5, 1, -2.0, 3.0),
    ("lin_z", None, 4, 3, 2, 0.0, 5.0),
    ("lin_x7", None, 7, 1, 0, 0.1, 0.7),
    ("up", "a2x2", 4, 4, 2, 0.0, 1.0),
    ("down", "b4x4", 2, 2, 2, 0.0, 1.0),
    ("odd", "c5x3", 4, 7, 3, -1.0, 2.0),
    ("flat", "const", 3, 3, 2, 0.0, 1.0),
    ("nan", "nanfirst", 3, 3, 4, 0.0, 10.0),
]


def layers():
    rng = np.random.default_rng(7)
    return {
        "a2x2": np.array([[1, 2], [3, 4]], dtype=np.float32),
        "b4x4": np.arange(16, dtype=np.float32).reshape(4, 4) * f32(0.5),
        "c5x3": rng.uniform(-50, 50, size=(3, 5)).astype(np.float32),
        "const": np.full((3, 3), 7.25, dtype=np.float32),
        "nanfirst": np.array([[np.nan, 1, 2], [3, 4, 5], [6, 7, 8]], dtype=np.float32),
    }


def write(folder):
    for name, data in layers().items():
        path = os.path.join(folder, name + ".rdp")
        planes = [(FLOAT32, data.shape[1], data.shape[0], [data])]
        offset = write_file(path, planes, 2)[0]
        # GDAL reads the samples where the file says they are (NaN included).
        got = read_raw_band(path, offset, data.shape[1], data.shape[0], "Float32", 4)
        if not np.array_equal(got, data, equal_nan=True):
            print(f"GDAL disagrees: {path}")
            return False
    with open(os.path.join(folder, "cases.txt"), "w") as f:
        for name, layer, x, y, ch, lo, hi in CASES:
            file = os.path.join(folder, layer + ".rdp") if layer else "-"
            f.write(f"{name} {file} {x} {y} {ch} {lo!r} {hi!r}\n")
    return True


def linear(x, y, ch, lo, hi):
    out = np.zeros((y, x), dtype=np.float32)
    mn, mx = f32(lo), f32(hi)
    start, dx, dy = mn, f32(0), f32(0)
    if ch == 0 and x > 1:
        dx = (mx - mn) / f32(x - 1)
    elif ch == 1 and y > 1:
        dy = (mx - mn) / f32(y - 1)
    elif ch >= 2:
        start = mx
    v = start
    for j in range(y):
        xv = v
        for i in range(x):
            out[j, i] = xv
            xv = f32(xv + dx)
        v = f32(v + dy)
    return out


def pieces(nodes, samples):
    sx = f32(nodes) / f32(samples)
    tx = lx = f32(0)
    node = sample = 0
    out = []
    while node < nodes and sample < samples:
        o = min(f32(1) - tx, sx - lx)
        out.append((node, sample, o))
        tx = f32(tx + o)
        lx = f32(lx + o)
        if lx >= sx:
            sample += 1
            lx = f32(lx - sx)
        if tx >= 1:
            node += 1
            tx = f32(tx - 1)
    return out


def resample(layer, x, y):
    h, w = layer.shape
    out = np.zeros((y, x), dtype=np.float32)
    ps = pieces(x, w)
    sy = f32(y) / f32(h)
    ty = ly = f32(0)
    r = j = 0
    row = layer[0]
    while True:
        wgt = min(f32(1) - ty, sy - ly)
        for node, sample, o in ps:
            out[j, node] = f32(out[j, node] + f32(f32(wgt * o) * row[sample]))
        ty = f32(ty + wgt)
        ly = f32(ly + wgt)
        if ly >= sy:
            r += 1
            if r >= h:
                break
            row = layer[r]
            ly = f32(ly - sy)
        if ty >= 1:
            j += 1
            if j >= y:
                break
            ty = f32(ty - 1)
    return out


def minmax(values, lo, hi):
    finite = values[np.isfinite(values)]
    if finite.size == 0 or finite.min() >= finite.max():
        return np.full(values.shape, f32(hi), dtype=np.float32)
    a = f32((hi - lo) / (float(finite.max()) - float(finite.min())))
    b = f32(lo - float(finite.min()) * float(a))
    return (float(a) * values.astype(np.float64) + float(b)).astype(np.float32)


def check(folder):
    data = layers()
    for name, layer, x, y, ch, lo, hi in CASES:
        got = np.fromfile(os.path.join(folder, name + ".nodes"), dtype="<f4")
        if got.size != x * y:
            print(f"{name}: {got.size} values, expected {x * y}")
            return False
        got = got.reshape(y, x)
        want = linear(x, y, ch, lo, hi) if layer is None else minmax(resample(data[layer], x, y), lo, hi)
        same = (got == want) | (np.isnan(got) & np.isnan(want))
        if not same.all():
            j, i = np.argwhere(~same)[0]
            print(f"{name}: node {i},{j} is {got[j, i]!r}, expected {want[j, i]!r}")
            return False
    return True


def main():
    mode, folder = sys.argv[1], sys.argv[2]
    ok = write(folder) if mode == "layers" else check(folder)
    if ok:
        print("ok")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
