"""Writes small TIFF files of every kind the import reads (and a few it refuses)
as the TIFF fuzzer's starting corpus: make_tiff_seeds.py DIR"""

import os
import subprocess
import sys

import numpy as np
from osgeo import gdal

gdal.UseExceptions()


def main(d):
    os.makedirs(d, exist_ok=True)
    w, h = 24, 10
    yy, xx = np.mgrid[0:h, 0:w]
    grey = ((xx * 9 + yy * 5) % 256).astype(np.uint8)
    drv = gdal.GetDriverByName("GTiff")

    def save(name, arrays, dtype, options=(), palette=False):
        ds = drv.Create(os.path.join(d, name), w, h, len(arrays), dtype, list(options))
        for i, a in enumerate(arrays):
            ds.GetRasterBand(i + 1).WriteArray(a)
        if palette:
            ct = gdal.ColorTable()
            for i in range(16):
                ct.SetColorEntry(i, (i * 16, 255 - i * 16, i))
            ds.GetRasterBand(1).SetRasterColorTable(ct)
        ds = None

    save("g8.tif", [grey], gdal.GDT_Byte, ["BLOCKYSIZE=3"])
    save("g8_lzw_big.tif", [grey], gdal.GDT_Byte, ["COMPRESS=LZW", "ENDIANNESS=BIG", "BLOCKYSIZE=4"])
    save("s16_lzw.tif", [grey.astype(np.int16) * -100], gdal.GDT_Int16, ["COMPRESS=LZW"])
    save("f32_big.tif", [grey.astype(np.float32) / 3], gdal.GDT_Float32, ["ENDIANNESS=BIG"])
    save("f64_lzw.tif", [grey.astype(np.float64) / 7], gdal.GDT_Float64, ["COMPRESS=LZW"])
    save("pal.tif", [grey % 16], gdal.GDT_Byte, [], palette=True)
    save("rgb.tif", [grey, 255 - grey, grey // 2], gdal.GDT_Byte, ["PHOTOMETRIC=RGB", "INTERLEAVE=PIXEL"])
    save("ga16.tif", [grey, grey], gdal.GDT_Byte, ["INTERLEAVE=PIXEL", "COMPRESS=LZW"])
    subprocess.run(["tiffcp", "-c", "lzw", "-r", "2", os.path.join(d, "g8.tif"), os.path.join(d, "g8_r2.tif")],
                   check=True)
    subprocess.run(["tiffcp", "-B", "-r", "1", os.path.join(d, "rgb.tif"), os.path.join(d, "rgb_B.tif")], check=True)


if __name__ == "__main__":
    main(sys.argv[1])
