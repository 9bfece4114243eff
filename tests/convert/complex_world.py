#!/usr/bin/python3
"""Outside check of the complex join and divide and of the sample-type change.

check MANIFEST: each line of MANIFEST names one finished job and its files:
  join TYPE INTERP W H A B OUT
  divide CTYPE INTERP W H IN OUT1 OUT2      (OUT1 or OUT2 "-" when not written)
  typechange STYPE DTYPE W H SCALE OFFSET IN OUT
TYPE codes are the layer file's. The payloads are read with numpy at offset 84 and
compared with a numpy model of the job (integer results truncated toward zero and
clamped to the type's range, NaN giving 0). Joins of FLOAT32 and FLOAT64 as real
and imaginary and divisions of CFLOAT32 and CFLOAT64 as amplitude and phase are
read again by GDAL through VRT pixel functions (complex, mod, phase): the join
must equal GDAL byte for byte, the amplitude within one unit in the last place,
the phase modulo 2 pi within 1e-12. Prints one line per mismatch, then "ok" or
"failed".
"""
import os
import sys

import numpy as np

REAL = {1: np.uint8, 2: np.int8, 3: np.uint16, 4: np.int16, 5: np.uint32, 6: np.int32,
        7: np.float32, 8: np.float64}
COMPLEX_OF = {1: 11, 2: 12, 3: 13, 4: 14, 5: 15, 6: 16, 7: 9, 8: 10}
COMPONENT_OF = {v: k for k, v in COMPLEX_OF.items()}
GDAL_REAL = {7: 'Float32', 8: 'Float64'}
GDAL_COMPLEX = {9: 'CFloat32', 10: 'CFloat64'}
PHASE_MAX = 6.28318530717958
OFFSET = 84

problems = []


def component_dtype(t):
    return REAL[COMPONENT_OF.get(t, t)]


def load(path, t, w, h):
    """Rows of type t: (h, w) for a real type, (h, w, 2) for a complex one."""
    dt = component_dtype(t)
    parts = 2 if t in COMPONENT_OF else 1
    a = np.fromfile(path, dtype=np.dtype(dt).newbyteorder('<'), count=w * h * parts, offset=OFFSET)
    if a.size != w * h * parts:
        problems.append('%s: short payload' % path)
    return a.reshape(h, w, parts) if parts == 2 else a.reshape(h, w)


def saturate(x, dt):
    """Doubles stored into dt: integers truncated and clamped, NaN 0; floats rounded."""
    x = np.asarray(x, np.float64)
    if np.issubdtype(dt, np.integer):
        info = np.iinfo(dt)
        x = np.where(np.isnan(x), 0.0, np.trunc(np.clip(x, info.min, info.max)))
        return x.astype(dt)
    return x.astype(dt)


def compare(name, got, want, ulps=0, atol=0.0):
    got = np.asarray(got)
    want = np.asarray(want)
    if got.shape != want.shape:
        problems.append('%s: shape %s, model %s' % (name, got.shape, want.shape))
        return
    if np.issubdtype(got.dtype, np.floating):
        same = (got == want) | (np.isnan(got) & np.isnan(want))
        if ulps:
            same |= np.abs(got.astype(np.float64) - want.astype(np.float64)) <= ulps * np.spacing(
                np.abs(want).astype(got.dtype)).astype(np.float64)
        if atol:
            same |= np.abs(got.astype(np.float64) - want.astype(np.float64)) <= atol
    else:
        same = np.abs(got.astype(np.int64) - want.astype(np.int64)) <= atol
    bad = np.argwhere(~same)
    if bad.size:
        i = tuple(bad[0])
        problems.append('%s: %d differ, first at %s: %r, model %r' % (name, len(bad), i, got[i], want[i]))


def raw_vrt(path, t, w, h, folder, tag):
    """A VRT that reads the payload of a layer file with GDAL's raw reader."""
    complex_ = t in COMPONENT_OF
    size = np.dtype(component_dtype(t)).itemsize * (2 if complex_ else 1)
    gtype = GDAL_COMPLEX[t] if complex_ else GDAL_REAL[t]
    name = os.path.join(folder, tag + '.vrt')
    with open(name, 'w') as f:
        f.write('<VRTDataset rasterXSize="%d" rasterYSize="%d">\n'
                ' <VRTRasterBand dataType="%s" band="1" subClass="VRTRawRasterBand">\n'
                '  <SourceFilename relativetoVRT="0">%s</SourceFilename>\n'
                '  <ImageOffset>%d</ImageOffset><PixelOffset>%d</PixelOffset>\n'
                '  <LineOffset>%d</LineOffset><ByteOrder>LSB</ByteOrder>\n'
                ' </VRTRasterBand>\n</VRTDataset>\n' % (w, h, gtype, path, OFFSET, size, size * w))
    return name


def derived(sources, out_type, function, transfer, w, h):
    xml = ('<VRTDataset rasterXSize="%d" rasterYSize="%d">\n'
           ' <VRTRasterBand dataType="%s" band="1" subClass="VRTDerivedRasterBand">\n'
           '  <PixelFunctionType>%s</PixelFunctionType>\n'
           '  <SourceTransferType>%s</SourceTransferType>\n' % (w, h, out_type, function, transfer))
    for s in sources:
        xml += ('  <SimpleSource><SourceFilename relativeToVRT="0">%s</SourceFilename>'
                '<SourceBand>1</SourceBand></SimpleSource>\n' % s)
    xml += ' </VRTRasterBand>\n</VRTDataset>\n'
    from osgeo import gdal
    ds = gdal.Open(xml)
    if ds is None:
        problems.append('GDAL cannot open the %s VRT' % function)
        return None
    return ds.GetRasterBand(1).ReadAsArray()


def join(t, interp, w, h, a_path, b_path, out_path):
    a = load(a_path, t, w, h)
    b = load(b_path, t, w, h)
    got = load(out_path, COMPLEX_OF[t], w, h)
    dt = REAL[t]
    name = 'join %d/%d' % (t, interp)
    if interp == 1:
        compare(name + ' real', got[..., 0], a)
        compare(name + ' imaginary', got[..., 1], b)
        if t in GDAL_REAL:
            folder = os.path.dirname(out_path)
            g = derived([raw_vrt(a_path, t, w, h, folder, 'ja'), raw_vrt(b_path, t, w, h, folder, 'jb')],
                        GDAL_COMPLEX[COMPLEX_OF[t]], 'complex', GDAL_COMPLEX[COMPLEX_OF[t]], w, h)
            if g is not None and np.ascontiguousarray(g).tobytes() != np.ascontiguousarray(got).tobytes():
                problems.append(name + ': GDAL complex differs')
        return
    amp = a.astype(np.float64)
    ph = b.astype(np.float64)
    # The library's cos and sin may differ from numpy's in the last place.
    tol = 1 if np.issubdtype(dt, np.integer) else 0
    ulps = 0 if np.issubdtype(dt, np.integer) else 4
    compare(name + ' real', got[..., 0], saturate(amp * np.cos(ph), dt), ulps=ulps, atol=tol)
    compare(name + ' imaginary', got[..., 1], saturate(amp * np.sin(ph), dt), ulps=ulps, atol=tol)


def divide(ct, interp, w, h, in_path, out1, out2):
    t = COMPONENT_OF[ct]
    dt = REAL[t]
    c = load(in_path, ct, w, h)
    re, im = c[..., 0], c[..., 1]
    name = 'divide %d/%d' % (ct, interp)
    if interp == 1:
        if out1 != '-':
            compare(name + ' real', load(out1, t, w, h), re)
        if out2 != '-':
            compare(name + ' imaginary', load(out2, t, w, h), im)
        return
    r = re.astype(np.float64)
    i = im.astype(np.float64)
    amp = np.sqrt(r * r + i * i)
    phase = np.arctan2(i, r)
    if not np.issubdtype(dt, np.unsignedinteger):
        phase = np.where(np.signbit(i), phase + PHASE_MAX, phase)
    folder = os.path.dirname(in_path)
    src = raw_vrt(in_path, ct, w, h, folder, 'dc') if ct in GDAL_COMPLEX else None
    if out1 != '-':
        mine = load(out1, t, w, h)
        compare(name + ' amplitude', mine, saturate(amp, dt))
        if src:
            g = derived([src], GDAL_REAL[t], 'mod', GDAL_COMPLEX[ct], w, h)
            if g is not None:
                compare(name + ' amplitude against GDAL mod', mine, g.astype(dt), ulps=1)
    if out2 != '-':
        mine = load(out2, 8, w, h)
        compare(name + ' phase', mine, phase, atol=1e-12)
        if src:
            g = derived([src], 'Float64', 'phase', GDAL_COMPLEX[ct], w, h)
            if g is not None:
                d = np.mod(mine - g + np.pi, 2 * np.pi) - np.pi
                compare(name + ' phase against GDAL phase (mod 2 pi)', d, np.zeros_like(d), atol=1e-12)


def typechange(st, dtc, w, h, scale, offset, in_path, out_path):
    src = load(in_path, st, w, h).astype(np.float64)
    got = load(out_path, dtc, w, h)
    ddt = component_dtype(dtc)
    name = 'typechange %d->%d' % (st, dtc)
    if st in COMPONENT_OF:
        re, im = src[..., 0], src[..., 1]
        m = np.sqrt(re * re + im * im)
        with np.errstate(divide='ignore', invalid='ignore'):
            f = np.where(m >= 1e-7, (offset + m * scale) / m, 0.0)
        if dtc in COMPONENT_OF:
            compare(name + ' real', got[..., 0], saturate(re * f, ddt))
            compare(name + ' imaginary', got[..., 1], saturate(im * f, ddt))
        else:
            compare(name, got, saturate(offset + m * scale, ddt))
        return
    want = saturate(offset + src * scale, ddt)
    if dtc in COMPONENT_OF:
        compare(name + ' real', got[..., 0], want)
        compare(name + ' imaginary', got[..., 1], np.zeros_like(want))
    else:
        compare(name, got, want)


def main():
    if len(sys.argv) != 3 or sys.argv[1] != 'check':
        print('usage: complex_world.py check MANIFEST')
        return 2
    with open(sys.argv[2]) as f:
        for line in f:
            p = line.split()
            if not p:
                continue
            if p[0] == 'join':
                join(int(p[1]), int(p[2]), int(p[3]), int(p[4]), p[5], p[6], p[7])
            elif p[0] == 'divide':
                divide(int(p[1]), int(p[2]), int(p[3]), int(p[4]), p[5], p[6], p[7])
            elif p[0] == 'typechange':
                typechange(int(p[1]), int(p[2]), int(p[3]), int(p[4]), float(p[5]), float(p[6]), p[7], p[8])
            else:
                problems.append('unknown line: ' + line.strip())
    for p in problems:
        print(p)
    print('failed' if problems else 'ok')
    return 0


if __name__ == '__main__':
    sys.exit(main())
