#!/usr/bin/python3
"""Bitmaps written by GDAL and ImageMagick for the bitmap import's outside check.

make DIR: writes the bitmaps and beside each NAME.exp, what the import must give;
prints "NAME KIND" lines. KIND rgb: .exp holds the red, green and blue planes
(top-down, width x height bytes each); pal: the index plane and 256 palette
entries (red, green, blue), as GDAL reads them; palrgb: the planes of the colours
the indexes name. Where GDAL reads a file (40-byte headers) the planes are GDAL's
bands, else the source pixels; for 16-bit files ImageMagick's own reading, scaled back
to 5 and 6 bits.
"""
import os
import subprocess
import sys

import numpy as np
from osgeo import gdal

W, H = 7, 5


def levels(bits_r, bits_g, bits_b):
    k = np.arange(H * W).reshape(H, W)
    lv = np.stack([(k * 7) % (1 << bits_r), (k * 5) % (1 << bits_g), ((1 << bits_b) - 1 - k) % (1 << bits_b)], -1)
    # Rounded: the top bits of each byte are the level again.
    full = np.stack([(lv[..., 0] * 510 + (1 << bits_r) - 1) // (2 * ((1 << bits_r) - 1)),
                     (lv[..., 1] * 510 + (1 << bits_g) - 1) // (2 * ((1 << bits_g) - 1)),
                     (lv[..., 2] * 510 + (1 << bits_b) - 1) // (2 * ((1 << bits_b) - 1))], -1).astype(np.uint8)
    return lv.astype(np.uint8), full


def ppm(path, rgb):
    with open(path, 'wb') as f:
        f.write(b'P6 %d %d 255\n' % (W, H) + rgb.tobytes())


def planes(rgb):
    return b''.join(np.ascontiguousarray(rgb[..., c]).tobytes() for c in range(3))


def gdal_expect(path, palette):
    ds = gdal.Open(path)
    if palette:
        band = ds.GetRasterBand(1)
        ct = band.GetColorTable()
        pal = np.zeros((256, 3), np.uint8)
        for i in range(min(ct.GetCount(), 256)):
            pal[i] = ct.GetColorEntry(i)[:3]
        return band.ReadAsArray().astype(np.uint8).tobytes() + pal.tobytes()
    return b''.join(ds.GetRasterBand(b).ReadAsArray().astype(np.uint8).tobytes() for b in (1, 2, 3))


def make(d):
    out = []
    _, full565 = levels(5, 6, 5)
    _, full555 = levels(5, 5, 5)
    s565, s555 = os.path.join(d, 's565.ppm'), os.path.join(d, 's555.ppm')
    ppm(s565, full565)
    ppm(s555, full555)

    def magick(name, src, *opts):
        subprocess.run(['convert', src, *opts, os.path.join(d, name)], check=True)

    def expect(name, kind, data):
        with open(os.path.join(d, name + '.exp'), 'wb') as f:
            f.write(data)
        out.append(f'{name} {kind}')

    # ImageMagick, 40-byte headers: GDAL reads them.
    subprocess.run(['convert', s565, '-type', 'TrueColor', 'BMP3:' + os.path.join(d, 'im24_v3.bmp')], check=True)
    expect('im24_v3.bmp', 'rgb', gdal_expect(os.path.join(d, 'im24_v3.bmp'), False))
    subprocess.run(['convert', s565, '-type', 'Palette', '-compress', 'None',
                    'BMP3:' + os.path.join(d, 'im8_v3.bmp')], check=True)
    expect('im8_v3.bmp', 'pal', gdal_expect(os.path.join(d, 'im8_v3.bmp'), True))
    # ImageMagick, 124-byte headers (V5): the source pixels.
    magick('im24_v5.bmp', s565, '-type', 'TrueColor')
    expect('im24_v5.bmp', 'rgb', planes(full565))
    magick('im32_v5.bmp', s565, '-alpha', 'set')
    expect('im32_v5.bmp', 'rgb', planes(full565))
    magick('im8_v5.bmp', s565, '-type', 'Palette', '-compress', 'None')
    expect('im8_v5.bmp', 'palrgb', planes(full565))
    # ImageMagick's 16-bit writer rounds some levels down: the levels are its own
    # reading of the file scaled back to 5, 6 and 5 (or 5, 5 and 5) bits.
    def im_levels(name, green_bits):
        back = subprocess.run(['convert', os.path.join(d, name), '-depth', '8', 'rgb:-'], check=True,
                              capture_output=True).stdout
        read = np.frombuffer(back, np.uint8).reshape(H, W, 3).astype(np.int64)
        g = (1 << green_bits) - 1
        return planes(np.stack([(read[..., 0] * 31 + 127) // 255, (read[..., 1] * g + 127) // 255,
                                (read[..., 2] * 31 + 127) // 255], -1).astype(np.uint8))

    magick('im565.bmp', s565, '-define', 'bmp:subtype=RGB565')
    expect('im565.bmp', 'rgb', im_levels('im565.bmp', 6))
    magick('im555.bmp', s555, '-define', 'bmp:subtype=RGB555')
    expect('im555.bmp', 'rgb', im_levels('im555.bmp', 5))
    # GDAL: 8 bits with a colour table of 40 entries, and 24 bits.
    p = os.path.join(d, 'gdal8.bmp')
    ds = gdal.GetDriverByName('BMP').Create(p, W, H, 1, gdal.GDT_Byte)
    ct = gdal.ColorTable()
    for i in range(40):
        ct.SetColorEntry(i, (i * 6, 255 - i, (i * 37) % 256, 255))
    ds.GetRasterBand(1).SetRasterColorTable(ct)
    ds.GetRasterBand(1).WriteArray(np.arange(W * H, dtype=np.uint8).reshape(H, W))
    ds = None
    expect('gdal8.bmp', 'pal', gdal_expect(p, True))
    p = os.path.join(d, 'gdal24.bmp')
    ds = gdal.GetDriverByName('BMP').Create(p, W, H, 3, gdal.GDT_Byte)
    for b in range(3):
        ds.GetRasterBand(b + 1).WriteArray(np.ascontiguousarray(full565[..., b]))
    ds = None
    expect('gdal24.bmp', 'rgb', gdal_expect(p, False))
    print('\n'.join(out))


if __name__ == '__main__':
    {'make': make}[sys.argv[1]](sys.argv[2])
