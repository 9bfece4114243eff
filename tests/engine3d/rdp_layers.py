#!/usr/bin/python3
"""Raster layer files of all sixteen sample types, written with numpy in the
layout of a freshly created layer file, and proved with GDAL.

    rdp_layers.py FOLDER

For each type code T it writes FOLDER/t<T>.rdp (version 3, two layers: T at
5 x 3, then the complex counterpart of T's component at 4 x 2) and
FOLDER/t<T>_v2.rdp (version 2, one layer of T at 5 x 3). Beside each file,
<file>.f64 holds the expected samples as little-endian doubles: per layer part
in reading order (a complex layer gives its real, then its imaginary part),
row after row. Every part is then read through a GDAL VRT raw band and
compared with numpy's values. Prints "ok <files>" and exits 0 when all match.
"""
import os
import sys

import numpy as np

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from raw_band import read_raw_band  # noqa: E402

COMPONENT = {
    1: np.uint8, 2: np.int8, 3: np.uint16, 4: np.int16, 5: np.uint32, 6: np.int32,
    7: np.float32, 8: np.float64, 9: np.float32, 10: np.float64,
    11: np.uint8, 12: np.int8, 13: np.uint16, 14: np.int16, 15: np.uint32, 16: np.int32,
}
COMPLEX_OF = {1: 11, 2: 12, 3: 13, 4: 14, 5: 15, 6: 16, 7: 9, 8: 10}
GDAL_TYPE = {
    np.uint8: "Byte", np.int8: "Byte", np.uint16: "UInt16", np.int16: "Int16",
    np.uint32: "UInt32", np.int32: "Int32", np.float32: "Float32", np.float64: "Float64",
}


def is_complex(code):
    return code >= 9


def components(code, width, height, rng):
    """The layer's parts (one, or real and imaginary) as arrays of its component type."""
    ctype = COMPONENT[code]
    parts = []
    for _ in range(2 if is_complex(code) else 1):
        if np.issubdtype(ctype, np.integer):
            info = np.iinfo(ctype)
            a = rng.integers(info.min, info.max, size=(height, width), endpoint=True, dtype=np.int64)
            # The extremes are where wrong widths and signs show.
            a.flat[0] = info.max
            a.flat[1] = info.min
            parts.append(a.astype(ctype))
        else:
            a = (rng.standard_normal((height, width)) * 1000.0).astype(ctype)
            a.flat[0] = 2.5
            parts.append(a)
    return parts


def interleave(parts):
    if len(parts) == 1:
        return parts[0].tobytes()
    h, w = parts[0].shape
    both = np.empty((h, w, 2), dtype=parts[0].dtype)
    both[:, :, 0] = parts[0]
    both[:, :, 1] = parts[1]
    return both.tobytes()


def i32(*values):
    return np.array(values, dtype="<i4").tobytes()


class Writer:
    def __init__(self):
        self.data = bytearray()

    def at(self):
        return len(self.data)

    def put(self, b):
        self.data += b

    def patch(self, offset, value):
        self.data[offset:offset + 4] = i32(value)


def layer_tags(w, code, width, height, pixels, first):
    """Tags 0, 1 and a statistics tag 2 as a fresh file lays them out; returns
    the pixel samples' offset."""
    assert w.at() == first
    w.put(i32(0, first + 12, first + 36))            # tag 0 header
    w.put(i32(24, width, height, code, 0, 1))        # layer header
    w.put(i32(1, first + 48, 0))                     # tag 1 header, next patched below
    w.put(i32(len(pixels) + 4))
    samples = w.at()
    w.put(pixels)
    w.patch(first + 36 + 8, w.at())
    w.put(i32(2, w.at() + 12, 0))                    # tag 2: the pixels are never last
    w.put(i32(1064) + bytes(1060))
    return samples


def write_file(path, layers, version):
    """layers: [(code, width, height, parts)]; returns the pixel offsets."""
    w = Writer()
    w.put(b"RDPR" + i32(version, 0))
    offsets = []
    if version == 2:
        code, width, height, parts = layers[0]
        offsets.append(layer_tags(w, code, width, height, interleave(parts), 12))
    else:
        record = 12
        for k, (code, width, height, parts) in enumerate(layers):
            w.put(i32(k, record + 20, 0, 1, 0))
            offsets.append(layer_tags(w, code, width, height, interleave(parts), record + 20))
            if k + 1 < len(layers):
                w.patch(record + 8, w.at())
                record = w.at()
    with open(path, "wb") as f:
        f.write(w.data)
    expected = np.concatenate([p.astype(np.float64).ravel() for _, _, _, parts in layers for p in parts])
    expected.astype("<f8").tofile(path + ".f64")
    return offsets


def check_with_gdal(path, layers, offsets):
    """Reads every part through a VRT raw band; True when GDAL sees numpy's values."""
    for (code, width, height, parts), offset in zip(layers, offsets):
        ctype = COMPONENT[code]
        size = np.dtype(ctype).itemsize
        step = size * len(parts)
        for k, part in enumerate(parts):
            got = read_raw_band(os.path.abspath(path), offset + k * size, width, height, GDAL_TYPE[ctype], step)
            # GDAL 3.6 has no signed byte: the bytes themselves are compared.
            want = part.view(np.uint8) if ctype is np.int8 else part
            if got.dtype != want.dtype or not np.array_equal(got, want):
                print(f"GDAL disagrees: {path} type {code} part {k}", file=sys.stderr)
                return False
    return True


def main():
    folder = sys.argv[1]
    rng = np.random.default_rng(20)
    ok = True
    files = 0
    for code in range(1, 17):
        first = (code, 5, 3, components(code, 5, 3, rng))
        second_code = code if is_complex(code) else COMPLEX_OF[code]
        second = (second_code, 4, 2, components(second_code, 4, 2, rng))
        for name, layers, version in ((f"t{code}.rdp", [first, second], 3), (f"t{code}_v2.rdp", [first], 2)):
            path = os.path.join(folder, name)
            offsets = write_file(path, layers, version)
            ok = check_with_gdal(path, layers, offsets) and ok
            files += 1
    print(f"ok {files}" if ok else "failed")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
