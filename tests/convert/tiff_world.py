"""TIFF files written by the outside tools, and GDAL's reading of them compared
with the raster layer files that the import wrote.

  tiff_world.py make DIR        writes the fixtures; prints one line per file:
                                name kind (kind: ok or refused)
  tiff_world.py compare LIST     LIST holds one comparison a line:
                                TIF X Y W H MODE RDP...
                                MODE single | rgba | planes | palette:FILE
                                prints "same" or what differs, a line each
"""
import os
import subprocess
import sys

import numpy as np
from osgeo import gdal

gdal.UseExceptions()
# ImageMagick's own program (another "convert" may come first on PATH).
MAGICK = "/usr/bin/convert"


def run(*cmd):
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def make(d):
    rng = np.random.default_rng(7)
    w, h = 257, 183
    yy, xx = np.mgrid[0:h, 0:w]
    smooth = (xx * 3 + yy * 5) % 256
    noisy = (smooth + rng.integers(0, 6, size=(h, w))) % 256
    out = []

    def save(name, arrays, dtype, options=(), palette=None):
        # The pixels go to a plain file; gdal_translate writes the variant.
        base = os.path.join(d, "base_" + name)
        drv = gdal.GetDriverByName("GTiff")
        ds = drv.Create(base, w, h, len(arrays), dtype,
                        ["PHOTOMETRIC=RGB", "INTERLEAVE=PIXEL"] if len(arrays) == 3 else [])
        for i, a in enumerate(arrays):
            ds.GetRasterBand(i + 1).WriteArray(a)
        if palette is not None:
            ct = gdal.ColorTable()
            for i, c in enumerate(palette):
                ct.SetColorEntry(i, tuple(int(v) for v in c))
            ds.GetRasterBand(1).SetRasterColorTable(ct)
            ds.GetRasterBand(1).SetRasterColorInterpretation(gdal.GCI_PaletteIndex)
        ds = None
        cmd = ["gdal_translate", "-q"]
        for o in options:
            cmd += ["-co", o]
        run(*cmd, base, os.path.join(d, name))
        os.remove(base)

    save("g8.tif", [noisy.astype(np.uint8)], gdal.GDT_Byte)
    out.append(("g8.tif", "ok"))
    for name, args in [
        ("g8_none_r1.tif", ["-c", "none", "-r", "1"]),
        ("g8_lzw_r7.tif", ["-c", "lzw", "-r", "7"]),
        ("g8_lzw_B_r64.tif", ["-c", "lzw", "-B", "-r", "64"]),
        ("g8_none_B.tif", ["-c", "none", "-B", "-r", "64"]),
        ("g8_lzw_L_whole.tif", ["-c", "lzw", "-L", "-r", str(h)]),
    ]:
        run("tiffcp", *args, os.path.join(d, "g8.tif"), os.path.join(d, name))
        out.append((name, "ok"))

    s16 = ((smooth.astype(np.int32) - 128) * 211 + rng.integers(-50, 50, size=(h, w))).astype(np.int16)
    save("s16_lzw_big.tif", [s16], gdal.GDT_Int16, ["COMPRESS=LZW", "ENDIANNESS=BIG"])
    save("u16_big.tif", [(s16.astype(np.int32) + 40000).astype(np.uint16)], gdal.GDT_UInt16, ["ENDIANNESS=BIG"])
    f32 = (s16.astype(np.float32) * np.float32(0.37) - np.float32(3.5))
    save("f32_lzw.tif", [f32], gdal.GDT_Float32, ["COMPRESS=LZW"])
    save("f32_lzw_big.tif", [f32], gdal.GDT_Float32, ["COMPRESS=LZW", "ENDIANNESS=BIG"])
    save("f64_big.tif", [f32.astype(np.float64) / 3.0], gdal.GDT_Float64, ["ENDIANNESS=BIG"])
    save("f64_lzw.tif", [f32.astype(np.float64) / 7.0], gdal.GDT_Float64, ["COMPRESS=LZW", "BLOCKYSIZE=5"])
    palette = [(i, 255 - i, (i * 37) % 256) for i in range(256)]
    save("pal_lzw.tif", [noisy.astype(np.uint8)], gdal.GDT_Byte, ["COMPRESS=LZW"], palette)
    save("pal16.tif", [(noisy % 16).astype(np.uint8)], gdal.GDT_Byte, [], palette[:16])
    rgb = [noisy.astype(np.uint8), smooth.astype(np.uint8), (255 - noisy).astype(np.uint8)]
    save("rgb.tif", rgb, gdal.GDT_Byte, ["PHOTOMETRIC=RGB", "INTERLEAVE=PIXEL"])
    run("tiffcp", "-B", "-r", "3", os.path.join(d, "rgb.tif"), os.path.join(d, "rgb_B_r3.tif"))
    out += [(n, "ok") for n in ["s16_lzw_big.tif", "u16_big.tif", "f32_lzw.tif", "f32_lzw_big.tif", "f64_big.tif",
                                "f64_lzw.tif", "pal_lzw.tif", "pal16.tif", "rgb.tif", "rgb_B_r3.tif"]]

    # ImageMagick codes LZW with horizontal differencing unless told otherwise.
    # Its TIFF writer takes the byte order from tiff:endian; -endian alone leaves it little-endian.
    run(MAGICK, "-size", "120x90", "gradient:", "-depth", "16", "-compress", "LZW", "-endian", "MSB",
        "-define", "tiff:endian=msb", "-define", "tiff:predictor=1", os.path.join(d, "im16_lzw_msb.tif"))
    run(MAGICK, "-seed", "3", "-size", "120x90", "plasma:fractal", "-colorspace", "Gray", "-depth", "8",
        "-compress", "LZW", "-define", "tiff:predictor=1", os.path.join(d, "im8_lzw.tif"))
    run(MAGICK, "-size", "120x90", "gradient:", "-depth", "16", "-compress", "None", "-endian", "LSB",
        os.path.join(d, "im16_lsb.tif"))
    run(MAGICK, "-size", "120x90", "gradient:", "-depth", "16", "-compress", "LZW", os.path.join(d, "ref_im_predictor.tif"))
    out += [(n, "ok") for n in ["im16_lzw_msb.tif", "im8_lzw.tif", "im16_lsb.tif"]]
    out.append(("ref_im_predictor.tif", "refused"))

    for name, args, src in [
        ("ref_predictor.tif", ["-c", "lzw:2"], "g8.tif"),
        ("ref_separate.tif", ["-p", "separate"], "rgb.tif"),
        ("ref_tiled.tif", ["-t"], "g8.tif"),
        ("ref_packbits.tif", ["-c", "packbits"], "g8.tif"),
        ("ref_zip.tif", ["-c", "zip"], "g8.tif"),
        ("ref_bigtiff.tif", ["-8"], "g8.tif"),
        ("ref_rgb_lzw.tif", ["-c", "lzw"], "rgb.tif"),
    ]:
        run("tiffcp", *args, os.path.join(d, src), os.path.join(d, name))
        out.append((name, "refused"))
    for name, kind in out:
        print(name, kind)


def compare(tif, x, y, w, h, mode, rdps):
    ds = gdal.Open(tif)
    bands = [ds.GetRasterBand(i + 1).ReadAsArray(x, y, w, h) for i in range(ds.RasterCount)]
    dtype = bands[0].dtype.newbyteorder("<")
    problems = []
    if mode == "single":
        ours = np.fromfile(rdps[0], dtype=dtype, count=w * h, offset=84).reshape(h, w)
        if not np.array_equal(ours, bands[0], equal_nan=True):
            problems.append("pixels differ at %s" % (np.argwhere(ours != bands[0])[:3].tolist()))
    elif mode == "rgba":
        ours = np.fromfile(rdps[0], dtype=np.uint8, count=w * h * 4, offset=84).reshape(h, w, 4)
        for i in range(3):
            if not np.array_equal(ours[:, :, i], bands[i]):
                problems.append("band %d differs" % (i + 1))
        if ours[:, :, 3].any():
            problems.append("fourth byte not 0")
    elif mode == "planes":
        for i in range(3):
            ours = np.fromfile(rdps[i], dtype=np.uint8, count=w * h, offset=84).reshape(h, w)
            if not np.array_equal(ours, bands[i]):
                problems.append("plane %d differs" % (i + 1))
    elif mode.startswith("palette:"):
        ours = np.fromfile(rdps[0], dtype=np.uint8, count=w * h, offset=84).reshape(h, w)
        if not np.array_equal(ours, bands[0]):
            problems.append("indices differ")
        tag = np.fromfile(mode[len("palette:"):], dtype=np.uint8)
        ct = ds.GetRasterBand(1).GetColorTable()
        for i in range(256):
            want = ct.GetColorEntry(i)[:3] if i < ct.GetCount() else (0, 0, 0)
            if tuple(int(v) for v in tag[8 + 3 * i:11 + 3 * i]) != tuple(want):
                problems.append("palette entry %d: %s, GDAL %s" % (i, tag[8 + 3 * i:11 + 3 * i].tolist(), want))
                break
    return "same" if not problems else "; ".join(problems)


if __name__ == "__main__":
    if sys.argv[1] == "make":
        make(sys.argv[2])
    else:
        with open(sys.argv[2]) as lines:
            for line in lines:
                a = line.split()
                try:
                    print(compare(a[0], int(a[1]), int(a[2]), int(a[3]), int(a[4]), a[5], a[6:]))
                except Exception as e:  # one failed comparison does not hide the others
                    print("error: %s" % e)
