#!/usr/bin/python3
"""Outside checks of the ASCII import and export.

make DIR: writes a known FLOAT32 raster (DIR/grid.raw, 7 x 5) as numpy.savetxt
    points (grid_np.txt) and as GDAL XYZ (grid_gdal.xyz); prints the file names.
check MANIFEST: each line "type width height delimiter raw columns matrix" (delimiter
    as a Python literal); reads our text with numpy.loadtxt and compares it with the
    raw samples, and for integer types with a space compares our columns with
    gdal_translate -of XYZ byte for byte. Prints "ok" or what differs.
"""
import os
import subprocess
import sys

import numpy as np

TYPES = {1: ('u1', 'Byte'), 2: ('i1', None), 3: ('<u2', 'UInt16'), 4: ('<i2', 'Int16'),
         5: ('<u4', 'UInt32'), 6: ('<i4', 'Int32'), 7: ('<f4', 'Float32'), 8: ('<f8', 'Float64'),
         9: ('<f4', None), 10: ('<f8', None), 11: ('u1', None), 12: ('i1', None),
         13: ('<u2', None), 14: ('<i2', None), 15: ('<u4', None), 16: ('<i4', None)}


def make(d):
    w, h = 7, 5
    grid = (np.arange(w * h, dtype=np.float32).reshape(h, w) - 11) / 4
    grid.tofile(os.path.join(d, 'grid.raw'))
    ys, xs = np.mgrid[0:h, 0:w]
    pts = np.column_stack([xs.ravel(), ys.ravel(), grid.ravel()])
    np.savetxt(os.path.join(d, 'grid_np.txt'), pts)
    vrt = os.path.join(d, 'grid.vrt')
    with open(vrt, 'w') as f:
        f.write(f'<VRTDataset rasterXSize="{w}" rasterYSize="{h}">'
                '<GeoTransform>-0.5,1,0,-0.5,0,1</GeoTransform>'
                '<VRTRasterBand dataType="Float32" band="1" subClass="VRTRawRasterBand">'
                '<SourceFilename relativeToVRT="1">grid.raw</SourceFilename><ImageOffset>0</ImageOffset>'
                f'<PixelOffset>4</PixelOffset><LineOffset>{4 * w}</LineOffset><ByteOrder>LSB</ByteOrder>'
                '</VRTRasterBand></VRTDataset>')
    subprocess.run(['gdal_translate', '-q', '-of', 'XYZ', vrt, os.path.join(d, 'grid_gdal.xyz')], check=True)
    print('grid_np.txt grid_gdal.xyz')


def check(manifest):
    bad = []
    for line in open(manifest):
        t, w, h, delim, raw, cols, mat = line.rstrip('\n').split(' ', 6)
        t, w, h = int(t), int(w), int(h)
        delim = {'space': ' ', 'tab': '\t', 'comma': ','}[delim]
        mat, cols = mat.strip(), cols.strip()
        dt, gdt = TYPES[t]
        n = 2 if t >= 9 else 1
        data = np.fromfile(raw, dtype=dt).reshape(h, w * n).astype(np.float64)
        kw = {} if delim == ' ' else {'delimiter': delim}
        c = np.loadtxt(cols, ndmin=2, **kw)
        ys, xs = np.mgrid[0:h, 0:w]
        want = np.column_stack([xs.ravel(), ys.ravel(), data.reshape(h * w, n)])
        tol = 5e-7 if t in (7, 8, 9, 10) else 0
        if c.shape != want.shape or not np.allclose(c, want, rtol=0, atol=tol):
            bad.append(f'{cols}: columns differ')
        m = np.loadtxt(mat, ndmin=2, **kw)
        if m.shape != data.shape or not np.allclose(m, data, rtol=0, atol=tol):
            bad.append(f'{mat}: matrix differs')
        # GDAL writes UInt32 through a float and rounds values above 2^24; its
        # other integer types are exact.
        if gdt and t <= 6 and t != 5 and delim == ' ':
            d = os.path.dirname(raw)
            vrt = raw + '.vrt'
            size = np.dtype(dt).itemsize
            with open(vrt, 'w') as f:
                f.write(f'<VRTDataset rasterXSize="{w}" rasterYSize="{h}">'
                        '<GeoTransform>-0.5,1,0,-0.5,0,1</GeoTransform>'
                        f'<VRTRasterBand dataType="{gdt}" band="1" subClass="VRTRawRasterBand">'
                        f'<SourceFilename>{raw}</SourceFilename><ImageOffset>0</ImageOffset>'
                        f'<PixelOffset>{size}</PixelOffset><LineOffset>{size * w}</LineOffset>'
                        '<ByteOrder>LSB</ByteOrder></VRTRasterBand></VRTDataset>')
            xyz = raw + '.xyz'
            subprocess.run(['gdal_translate', '-q', '-of', 'XYZ', vrt, xyz], check=True)
            if open(xyz, 'rb').read() != open(cols, 'rb').read():
                bad.append(f'{cols}: not the bytes of gdal_translate -of XYZ')
    print('\n'.join(bad) if bad else 'ok')


if __name__ == '__main__':
    {'make': make, 'check': check}[sys.argv[1]](sys.argv[2])
