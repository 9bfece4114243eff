#!/usr/bin/python3
"""Outside check of the overlay's DXF exchange with ezdxf.

read FILE: reads FILE with ezdxf (plain and recovering) and prints what it found:
  acadver (from the raw text), limits, the layers with their colours, every entity in
  file order, and the auditor's error count.
write FILE VERSION LF|CRLF: writes a drawing with ezdxf (points, lines, a polyline and a
  circle) and prints the points and two-vertex lines a reader must find, as float32."""
import struct
import sys

import ezdxf
from ezdxf import recover


def f32(v):
    return struct.unpack('<f', struct.pack('<f', v))[0]


def num(v):
    return '%.9g' % v


def read(path):
    raw = open(path, 'rb').read().decode('ascii')
    lines = [s.strip() for s in raw.split('\n')]
    print('acadver', lines[lines.index('$ACADVER') + 2])
    print('crlf', int(raw.count('\r\n') == raw.count('\n')))
    doc = ezdxf.readfile(path)
    rdoc, auditor = recover.readfile(path)
    lo, hi = doc.header['$LIMMIN'], doc.header['$LIMMAX']
    print('limits', num(lo[0]), num(lo[1]), num(hi[0]), num(hi[1]))
    for layer in doc.layers:
        if layer.dxf.name.lower() != 'defpoints':
            print('layer', layer.dxf.name, layer.color)
    for doc_ in (doc, rdoc):
        out = []
        for e in doc_.modelspace():
            if e.dxftype() == 'LINE':
                s, t = e.dxf.start, e.dxf.end
                out.append('LINE %s %s %s %s %s' % (e.dxf.layer, num(s.x), num(s.y), num(t.x), num(t.y)))
            elif e.dxftype() == 'POINT':
                p = e.dxf.location
                out.append('POINT %s %s %s' % (e.dxf.layer, num(p.x), num(p.y)))
            else:
                out.append(e.dxftype())
        if doc_ is doc:
            print('\n'.join(out))
            first = out
        elif out != first:
            print('recover differs')
    print('audit errors', len(auditor.errors))


def write(path, version, ends):
    doc = ezdxf.new(version)
    msp = doc.modelspace()
    doc.layers.add('roads', color=3)
    expect_points, expect_lines = [], []
    msp.add_point((1.5, 2.5))
    expect_points.append((1.5, 2.5))
    msp.add_line((0.1, 0.2), (1e6 / 3, -7.25), dxfattribs={'layer': 'roads'})
    expect_lines.append((0.1, 0.2, 1e6 / 3, -7.25))
    msp.add_circle((5, 5), 2)
    if version == 'R12':
        msp.add_polyline2d([(0, 0), (3, 4), (6, 0)])
    else:
        msp.add_lwpolyline([(0, 0), (3, 4), (6, 0)])
    msp.add_point((-3.125, 1e-3), dxfattribs={'layer': 'roads'})
    expect_points.append((-3.125, 1e-3))
    msp.add_line((9, 8), (7, 6))
    expect_lines.append((9, 8, 7, 6))
    doc.saveas(path)
    if ends == 'CRLF':
        data = open(path, 'rb').read().replace(b'\r\n', b'\n').replace(b'\n', b'\r\n')
        open(path, 'wb').write(data)
    for p in expect_points:
        print('p', *(num(f32(v)) for v in p))
    for line in expect_lines:
        print('l', *(num(f32(v)) for v in line))


if sys.argv[1] == 'read':
    read(sys.argv[2])
else:
    write(sys.argv[2], sys.argv[3], sys.argv[4])
