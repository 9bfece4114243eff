"""Reads a segment file and its source through GDAL (a VRT raw band at each file's
pixel offset) and checks with numpy that the segment holds the source's window
bit for bit. Prints OK, or what differs, and exits 1 on a difference.

Arguments: gdal_type source source_offset source_width source_height
segment segment_offset segment_width segment_height left top"""

import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from raw_band import read_raw_band  # noqa: E402

import numpy as np

SIZES = {"Float32": 4, "Int16": 2, "CFloat32": 8}
gdal_type = sys.argv[1]
src, src_offset, src_w, src_h = sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), int(sys.argv[5])
seg, seg_offset, seg_w, seg_h = sys.argv[6], int(sys.argv[7]), int(sys.argv[8]), int(sys.argv[9])
left, top = int(sys.argv[10]), int(sys.argv[11])


def read(path, offset, width, height):
    return read_raw_band(path, offset, width, height, gdal_type, SIZES[gdal_type])


source = read(src, src_offset, src_w, src_h)
segment = read(seg, seg_offset, seg_w, seg_h)
window = np.ascontiguousarray(source[top:top + seg_h, left:left + seg_w])
if segment.shape != window.shape:
    print(f"shape {segment.shape} != {window.shape}")
    sys.exit(1)
if segment.tobytes() != window.tobytes():
    bad = np.argwhere(segment != window)
    print(f"{len(bad)} samples differ, first at {tuple(bad[0])}")
    sys.exit(1)
if not np.any(window):
    print("the window is all zero: nothing was compared")
    sys.exit(1)
print("OK")
