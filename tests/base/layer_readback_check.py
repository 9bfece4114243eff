"""Reads layers of a raster layer file through GDAL (a VRT raw band at each
layer's pixel offset) and checks them with numpy against the samples the test
wrote and against numpy's own conversions of them. Prints OK, or what differs,
and exits 1 on a difference.

Arguments: file width height known_f32 known_s16 known_c64 and six pixel offsets:
FLOAT32, SINT16, CFLOAT32 layers as written; FLOAT64 from the SINT16 layer,
FLOAT32 from the CFLOAT32 layer (amplitude), UINT8 from the FLOAT32 layer."""

import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from raw_band import read_raw_band  # noqa: E402

import numpy as np

path, width, height = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
known_f32, known_s16, known_c64 = sys.argv[4:7]
offsets = [int(v) for v in sys.argv[7:13]]
SIZES = {"Float32": 4, "Int16": 2, "CFloat32": 8, "Float64": 8, "Byte": 1}


def read(offset, gdal_type):
    return read_raw_band(path, offset, width, height, gdal_type, SIZES[gdal_type])


failures = []


def same_bits(what, got, want):
    got = np.ascontiguousarray(got).reshape(-1)
    want = np.ascontiguousarray(want, dtype=got.dtype).reshape(-1)
    if got.tobytes() != want.tobytes():
        bad = [i for i in range(len(got)) if got[i:i + 1].tobytes() != want[i:i + 1].tobytes()]
        failures.append(f"{what}: {len(bad)} samples differ, first at {bad[0]}: {got[bad[0]]!r} != {want[bad[0]]!r}")


f32 = read(offsets[0], "Float32")
s16 = read(offsets[1], "Int16")
c64 = read(offsets[2], "CFloat32")
same_bits("FLOAT32 layer", f32, np.fromfile(known_f32, dtype="<f4"))
same_bits("SINT16 layer", s16, np.fromfile(known_s16, dtype="<i2"))
same_bits("CFLOAT32 layer", c64, np.fromfile(known_c64, dtype="<c8"))

same_bits("SINT16 to FLOAT64", read(offsets[3], "Float64"), s16.astype(np.float64))
re = c64.real.astype(np.float64)
im = c64.imag.astype(np.float64)
same_bits("CFLOAT32 to FLOAT32", read(offsets[4], "Float32"), np.sqrt(re * re + im * im).astype(np.float32))
v = f32.astype(np.float64)
with np.errstate(invalid="ignore"):
    inside = np.isfinite(v) & (v >= -(2.0 ** 63)) & (v < 2.0 ** 63)
    truncated = np.where(inside, np.trunc(np.where(inside, v, 0)), 0).astype(np.int64)
same_bits("FLOAT32 to UINT8", read(offsets[5], "Byte"), (truncated & 0xFF).astype(np.uint8))

if failures:
    print("\n".join(failures))
    sys.exit(1)
print("OK")
