#!/usr/bin/python3
"""The outside side of the viewer's end-to-end test.

    viewer_end_to_end.py field FILE.rdp
        Writes a 3 x 3 height field of 32-bit floats with numpy as a raster
        layer file (version 2, one layer), proves it with GDAL, and puts the
        heights, row after row, as little-endian doubles in FILE.rdp.f64.
        Prints "ok".
    viewer_end_to_end.py picture FILE.bmp
        Reads the saved picture with GDAL and compares every pixel with
        numpy's expectation: 64 x 64, blue (0, 0, 255) around, the surface's
        colour (128, 64, 255) on the 21 x 21 square of columns 22..42 and
        rows 21..41 (top row first). Prints "ok" or the first difference.
"""
import os
import sys

import numpy as np
from osgeo import gdal

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "engine3d"))
from rdp_layers import check_with_gdal, write_file  # noqa: E402

gdal.UseExceptions()

FLOAT32 = 7


def field(path):
    # Every node its own height, 1/64 apart: a row or column read in the wrong
    # place shows in the heights, while the surface stays flat to the picture.
    heights = (-1000.0 + np.arange(9).reshape(3, 3) / 64.0).astype(np.float32)
    layers = [(FLOAT32, 3, 3, [heights])]
    offsets = write_file(path, layers, 2)
    return check_with_gdal(path, layers, offsets)


def picture(path):
    want = np.zeros((64, 64, 3), dtype=np.uint8)
    want[:, :] = (0, 0, 255)
    want[21:42, 22:43] = (128, 64, 255)
    dataset = gdal.Open(path)
    got = np.dstack([dataset.GetRasterBand(b + 1).ReadAsArray() for b in range(3)])
    if got.shape != want.shape:
        print(f"size {got.shape}")
        return False
    diff = np.argwhere((got != want).any(axis=2))
    if len(diff):
        y, x = diff[0]
        print(f"pixel {x},{y}: {tuple(got[y, x])}, expected {tuple(want[y, x])}")
        return False
    return True


def main():
    mode, path = sys.argv[1], sys.argv[2]
    ok = field(path) if mode == "field" else picture(path)
    if ok:
        print("ok")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
