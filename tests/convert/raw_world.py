"""Binary rasters written by numpy, and GDAL's reading of them (VRT raw bands)
compared with the raster layer files that the raw import wrote.

  raw_world.py make DIR       writes the inputs; prints one line per file:
                              NAME DTYPE COMPONENTS HEADER PREFIX RECLEN PPR RECORDS
  raw_world.py compare LIST   LIST holds one comparison a line:
                              NAME DTYPE COMPONENTS HEADER PREFIX RECLEN X Y W H STEP RDP
                              prints "same" or what differs, a line each
"""
import os
import sys

import numpy as np

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from raw_band import read_raw_window  # noqa: E402

# Input dtype and components -> our layer's sample type code and little-endian dtype,
# and GDAL's type (None where GDAL has none: numpy alone then).
LAYER = {
    ("u1", 1): (1, "<u1", "Byte"),
    ("i1", 1): (2, "<i1", None),
    ("u2", 1): (3, "<u2", "UInt16"),
    ("i2", 1): (4, "<i2", "Int16"),
    ("i4", 1): (6, "<i4", "Int32"),
    ("f4", 1): (7, "<f4", "Float32"),
    ("f8", 1): (8, "<f8", "Float64"),
    ("c8", 1): (9, "<c8", "CFloat32"),
    ("i1", 2): (12, "<i1", None),
    ("i2", 2): (14, "<i2", "CInt16"),
}

CASES = [
    # name, dtype, components, header, prefix, padding
    ("u1.raw", "u1", 1, 84, 0, 0),
    ("be_u2.raw", ">u2", 1, 100, 12, 6),
    ("le_i2.raw", "<i2", 1, 0, 12, 0),
    ("be_i4.raw", ">i4", 1, 1024, 0, 8),
    ("be_f4.raw", ">f4", 1, 84, 16, 4),
    ("le_f8.raw", "<f8", 1, 12, 8, 16),
    ("be_c8.raw", ">c8", 1, 84, 12, 0),
    ("be_i2_pairs.raw", ">i2", 2, 200, 12, 4),
    ("i1.raw", "i1", 1, 7, 3, 1),
    ("i1_pairs.raw", "i1", 2, 50, 12, 2),
]
PPR, RECORDS = 61, 47


def make(d):
    rng = np.random.default_rng(11)
    for name, dtype, comps, header, prefix, padding in CASES:
        dt = np.dtype(dtype)
        if dt.kind == "f":
            data = rng.normal(0, 1000, size=(RECORDS, PPR * comps)).astype(dt)
        elif dt.kind == "c":
            data = (rng.normal(0, 50, size=(RECORDS, PPR)) + 1j * rng.normal(0, 50, size=(RECORDS, PPR))).astype(dt)
        else:
            info = np.iinfo(dt)
            data = rng.integers(info.min, int(info.max) + 1, size=(RECORDS, PPR * comps), dtype=np.int64).astype(dt)
        path = os.path.join(d, name)
        with open(path, "wb") as f:
            rng.integers(0, 256, size=header, dtype=np.uint8).tofile(f)
            for r in range(RECORDS):
                rng.integers(0, 256, size=prefix, dtype=np.uint8).tofile(f)
                data[r].tofile(f)
                rng.integers(0, 256, size=padding, dtype=np.uint8).tofile(f)
        reclen = prefix + PPR * comps * dt.itemsize + padding
        print(name, dtype, comps, header, prefix, reclen, PPR, RECORDS)


def ours(rdp, code, dtype, comps):
    head = np.fromfile(rdp, dtype="<i4", count=21)
    width, height, typecode = int(head[12]), int(head[13]), int(head[14])
    if typecode != code:
        return None, f"type {typecode}, expected {code}"
    pixels = np.fromfile(rdp, dtype=dtype, count=width * height * comps, offset=84)
    return pixels.reshape(height, width * comps), ""


def numpy_reading(path, dt, comps, header, prefix, reclen, x, y, w, h, step):
    raw = np.fromfile(path, dtype=np.uint8)
    pix = dt.itemsize * comps
    rows = []
    for r in range(h // step):
        start = header + (y + r * step) * reclen + prefix + x * pix
        row = raw[start:start + w * pix].view(dt).reshape(w, comps)[::step][: w // step]
        rows.append(row.reshape(-1))
    return np.array(rows)


def gdal_reading(path, gdal_type, dt, comps, header, prefix, reclen, x, y, w, h, step):
    pix = dt.itemsize * comps
    order = "MSB" if dt.byteorder == ">" else "LSB"
    band = read_raw_window(path, header + y * reclen + prefix + x * pix, w // step, h // step, gdal_type,
                           step * pix, step * reclen, order)
    if comps == 2:
        # GDAL's complex integers come as complex numbers: back to pairs.
        pairs = np.empty(band.shape + (2,), dtype=np.int64)
        pairs[..., 0] = band.real
        pairs[..., 1] = band.imag
        return pairs.reshape(band.shape[0], -1)
    return band


def compare(listfile):
    for line in open(listfile):
        name, dtype, comps, header, prefix, reclen, x, y, w, h, step, rdp = line.split()
        comps, header, prefix, reclen, x, y, w, h, step = map(int, (comps, header, prefix, reclen, x, y, w, h, step))
        dt = np.dtype(dtype)
        code, ourtype, gdal_type = LAYER[(dt.str[1:], comps)]
        got, why = ours(rdp, code, ourtype, comps)
        if got is None:
            print(why)
            continue
        path = os.path.join(os.path.dirname(rdp), name)
        want = numpy_reading(path, dt, comps, header, prefix, reclen, x, y, w, h, step)
        if got.shape != want.shape or not np.array_equal(got, want.astype(ourtype), equal_nan=dt.kind in "fc"):
            print(f"differs from numpy: {got.shape} {want.shape}")
            continue
        if gdal_type:
            band = gdal_reading(path, gdal_type, dt, comps, header, prefix, reclen, x, y, w, h, step)
            if band.shape != got.shape or not np.array_equal(band, got.astype(band.dtype)):
                print(f"differs from GDAL: {band.shape} {got.shape}")
                continue
        print("same")


if __name__ == "__main__":
    if sys.argv[1] == "make":
        make(sys.argv[2])
    else:
        compare(sys.argv[2])
