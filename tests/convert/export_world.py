"""Reads the exports of ExportTest with outside readers and prints what they saw.

tiff FILE EXPECT DTYPE W H [complex]: GDAL's pixels of FILE against the raw
little-endian samples in EXPECT; prints "same" or what differs.
raw FILE EXPECT DTYPE: numpy.fromfile of FILE against EXPECT.
cmap FILE: GDAL's colour table entries 0, 128 and 255 as r g b triples.
"""
import sys

import numpy as np


def gdal_pixels(path, dtype, w, h, cplx):
    from osgeo import gdal
    gdal.UseExceptions()
    ds = gdal.Open(path)
    band = ds.GetRasterBand(1)
    if (ds.RasterXSize, ds.RasterYSize) != (w, h):
        return None, "size %dx%d" % (ds.RasterXSize, ds.RasterYSize)
    data = band.ReadAsArray()
    return data, gdal.GetDataTypeName(band.DataType)


def main():
    cmd = sys.argv[1]
    if cmd == "tiff":
        path, expect, dtype, w, h = sys.argv[2], sys.argv[3], sys.argv[4], int(sys.argv[5]), int(sys.argv[6])
        cplx = len(sys.argv) > 7
        want = np.fromfile(expect, dtype=np.dtype(dtype).newbyteorder("<"))
        if cplx:
            want = want[0::2] + 1j * want[1::2]
        want = want.reshape(h, w)
        got, kind = gdal_pixels(path, dtype, w, h, cplx)
        if got is None:
            print(kind)
        elif not np.array_equal(got, want):
            print("differ", kind, got.ravel()[:6], want.ravel()[:6])
        else:
            print("same", kind)
    elif cmd == "raw":
        path, expect, dtype = sys.argv[2], sys.argv[3], sys.argv[4]
        got = np.fromfile(path, dtype=np.dtype(dtype).newbyteorder("<"))
        want = np.fromfile(expect, dtype=np.dtype(dtype).newbyteorder("<"))
        print("same" if np.array_equal(got, want, equal_nan=True) else "differ %s %s" % (got[:6], want[:6]))
    elif cmd == "cmap":
        from osgeo import gdal
        gdal.UseExceptions()
        ds = gdal.Open(sys.argv[2])
        ct = ds.GetRasterBand(1).GetColorTable()
        if ct is None:
            print("none")
            return
        print(" ".join("%d,%d,%d" % ct.GetColorEntry(i)[:3] for i in (0, 128, 255)))


main()
