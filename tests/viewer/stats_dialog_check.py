"""Independent check of what the statistics window shows for layer 0 of a raster
layer file: Min, Max, Mean and St. Dev against numpy (population deviation,
amplitude for complex samples) and, for real samples, against gdalinfo -stats over
a VRT raw band; the count and share of chosen display levels against numpy's
bincount of level 0 of the display pyramid for the view's range.

Usage: stats_dialog_check.py FILE LOW HIGH MIN MAX MEAN STDEV [LEVEL:COUNT:PERCENT ...]
(the texts as the window shows them). Prints OK, or what differs, and exits 1."""

import os
import struct
import subprocess
import sys
import tempfile

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "base"))
sys.path.insert(0, HERE)

from layer_stats_check import tags_of_layer0  # noqa: E402
from pyramid_model import TYPES, level0  # noqa: E402

GDAL_TYPES = {1: "Byte", 3: "UInt16", 4: "Int16", 5: "UInt32", 6: "Int32", 7: "Float32", 8: "Float64"}


def gdal_stats(path, offset, w, h, code):
    """STATISTICS_* of gdalinfo -stats over a VRT raw band of the samples."""
    step = np.dtype(TYPES[code][0]).itemsize
    with tempfile.TemporaryDirectory() as folder:
        vrt = os.path.join(folder, "band.vrt")
        with open(vrt, "w") as f:
            f.write(
                f'<VRTDataset rasterXSize="{w}" rasterYSize="{h}">'
                f'<VRTRasterBand dataType="{GDAL_TYPES[code]}" band="1" subClass="VRTRawRasterBand">'
                f'<SourceFilename relativeToVRT="0">{path}</SourceFilename>'
                f"<ImageOffset>{offset}</ImageOffset><PixelOffset>{step}</PixelOffset>"
                f"<LineOffset>{step * w}</LineOffset><ByteOrder>LSB</ByteOrder>"
                f"</VRTRasterBand></VRTDataset>"
            )
        out = subprocess.run(["gdalinfo", "-stats", vrt], capture_output=True, text=True, check=True).stdout
    stats = {}
    for line in out.splitlines():
        line = line.strip()
        if line.startswith("STATISTICS_") and "=" in line:
            key, value = line.split("=", 1)
            stats[key[len("STATISTICS_"):]] = float(value)
    return stats


def main():
    path, low, high = sys.argv[1], float(sys.argv[2]), float(sys.argv[3])
    shown = dict(zip(("min", "max", "mean", "stdev"), (float(t) for t in sys.argv[4:8])))
    data = open(path, "rb").read()
    tags = tags_of_layer0(data)
    _, w, h, code, _, pixel_tag = struct.unpack_from("<6i", data, tags[0])
    part, is_complex, _ = TYPES[code]
    size = np.dtype(part).itemsize * (2 if is_complex else 1)
    offset = tags[pixel_tag] + 4
    raw = data[offset:offset + w * h * size]
    vals = np.frombuffer(raw, part).astype(np.float64)
    v = np.hypot(vals[0::2], vals[1::2]) if is_complex else vals

    errors = []
    # The texts carry 6 decimals: half a unit of the last, and a little for the sums.
    def off(a, b):
        return abs(a - b) > 5e-7 + 1e-11 * abs(b)

    ref = {"min": v.min(), "max": v.max(), "mean": v.mean(), "stdev": v.std()}
    for key, value in ref.items():
        if off(shown[key], value):
            errors.append("%s shows %r, numpy %r" % (key, shown[key], value))
    if not is_complex:
        g = gdal_stats(path, offset, w, h, code)
        for key, gkey in (("min", "MINIMUM"), ("max", "MAXIMUM"), ("mean", "MEAN"), ("stdev", "STDDEV")):
            if off(shown[key], g[gkey]):
                errors.append("%s shows %r, gdalinfo %r" % (key, shown[key], g[gkey]))

    display, _ = level0(raw, code, 0, w, h, w * size, low, high)
    counts = np.bincount(display.reshape(-1), minlength=256)
    for item in sys.argv[8:]:
        level, count, percent = item.split(":")
        level = int(level)
        if int(count) != counts[level]:
            errors.append("level %d: %s counted, numpy %d" % (level, count, counts[level]))
        expect = 100.0 * counts[level] / (w * h)
        if abs(float(percent.rstrip("%")) - expect) > 0.0005 + 1e-12:
            errors.append("level %d: %s, numpy %.6f%%" % (level, percent, expect))

    print("\n".join(errors) if errors else "OK")
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
