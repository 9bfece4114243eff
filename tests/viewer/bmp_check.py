"""Checks a 24-bit bitmap written from a UINT8 layer shown through a palette: ImageMagick
(identify, convert to raw RGB) and GDAL's BMP driver must both read palette[sample]
for every pixel, the samples read through GDAL from the layer file. Prints OK, or what
differs, and exits 1 on a difference.

Arguments: bitmap layer layer_offset width height palette_file (256 x r, g, b bytes)"""

import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from raw_band import read_raw_band  # noqa: E402

import numpy as np
from osgeo import gdal

gdal.UseExceptions()

bitmap, layer = sys.argv[1], sys.argv[2]
offset, width, height = int(sys.argv[3]), int(sys.argv[4]), int(sys.argv[5])
palette = np.fromfile(sys.argv[6], dtype=np.uint8).reshape(256, 3)

samples = read_raw_band(layer, offset, width, height, "Byte", 1)
expected = palette[samples]  # height x width x (r, g, b)

failures = []

shape = subprocess.run(["identify", "-format", "%w %h %z", bitmap], capture_output=True, text=True, check=True).stdout
if shape.strip() != f"{width} {height} 8":
    failures.append(f"identify: {shape.strip()!r}")

raw = subprocess.run(["convert", bitmap, "-depth", "8", "rgb:-"], capture_output=True, check=True).stdout
magick = np.frombuffer(raw, dtype=np.uint8)
if magick.size != width * height * 3:
    failures.append(f"convert: {magick.size} bytes")
elif not np.array_equal(magick.reshape(height, width, 3), expected):
    bad = np.argwhere(magick.reshape(height, width, 3) != expected)
    failures.append(f"convert: {len(bad)} values differ, first at {tuple(bad[0])}")

dataset = gdal.Open(bitmap)
if dataset.GetDriver().ShortName != "BMP" or dataset.RasterCount != 3:
    failures.append(f"gdal: {dataset.GetDriver().ShortName} with {dataset.RasterCount} bands")
else:
    bands = np.stack([dataset.GetRasterBand(b + 1).ReadAsArray() for b in range(3)], axis=-1)
    if not np.array_equal(bands, expected):
        bad = np.argwhere(bands != expected)
        failures.append(f"gdal: {len(bad)} values differ, first at {tuple(bad[0])}")

if len(np.unique(expected.reshape(-1, 3), axis=0)) < min(2, width * height):
    failures.append("the picture is one colour: nothing was compared")

if failures:
    print("; ".join(failures))
    sys.exit(1)
print("OK")
