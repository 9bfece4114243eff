"""CEOS products made with struct from their layouts, a model of the tags their
import writes, and the imported pixels against numpy's and GDAL's reading.

  ceos_world.py make DIR        writes one product per mission under DIR/<mission>/;
                                prints: MISSION DATAFILE LEADER RECORDS PIXELS
  ceos_world.py tags MISSION LEADER DATAFILE X Y W H
                                the tags the import should write, in order:
                                one line "TAG HEX" each
  ceos_world.py pixels MISSION DATAFILE RDP X Y W H
                                "same", or what differs
"""
import math
import os
import struct
import sys

import numpy as np

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))

RECORDS, PIXELS = 37, 29

# mission: (max value, bytes per group, numpy dtype of a component, components, product text)
MISSIONS = {
    "radarsat": (65535, 2, ">u2", 1, b"RSAT-1-SAR-SGF  "),
    "ers": (32767, 4, ">i2", 2, b"ERS2 SAR SLC    "),
    "sirc": (255, 2, ">u1", 2, b"SIR-C SAR SSC   "),
    "sirc_compressed": (0, 4, "i1", 4, b"SIR-C SAR SLC   "),
}


def field(text, width):
    data = text.encode() if isinstance(text, str) else text
    return data[:width].ljust(width, b" ")


def put(buf, offset, text, width):
    buf[offset:offset + width] = field(text, width)


def record(seq, type_code, length):
    buf = bytearray(length)
    struct.pack_into(">iBBBBi", buf, 0, seq, 18, type_code, 18, 20, length)
    return buf


def descriptor(mission, length):
    maxval, group, _, _, _ = MISSIONS[mission]
    buf = record(1, 192, length)
    put(buf, 180, "%6d" % RECORDS, 6)
    reclen = (192 if mission == "radarsat" else 12) + PIXELS * group
    if mission.startswith("sirc"):
        reclen -= 12  # the descriptor of SIR-C gives 12 bytes less
    put(buf, 186, "%6d" % reclen, 6)
    put(buf, 224, "%8d" % group, 8)
    put(buf, 248, "%8d" % PIXELS, 8)
    put(buf, 440, "%8d" % maxval, 8)
    return buf


def leader(mission):
    _, _, _, _, product = MISSIONS[mission]
    first = record(1, 192, 720)
    first[48:64] = product
    dss = record(2, 10, 1900)
    put(dss, 20, "SCENE-%s" % mission, 16)
    put(dss, 68, "  19970201120000500", 32)
    put(dss, 244, "%16.7E%16.7E%16.7E" % (1.5e-3, -2.25e-6, 7.0), 48)
    put(dss, 324, "%8d" % 18, 8)
    put(dss, 332, "%8d" % 14, 8)
    put(dss, 444, "%8d" % 4321, 8)
    put(dss, 500, "%16.7f" % 0.0565646, 16)
    put(dss, 710, "%16.7f" % 18.96, 16)
    put(dss, 726, "%16.7f" % 5.55, 16)
    put(dss, 1526, "INCREASE", 8)
    put(dss, 1534, "DECREASE", 8)
    put(dss, 1686, "%16.7f" % 12.5, 16)
    put(dss, 1702, "%16.7f" % 7.9, 16)
    put(dss, 1766, "%16.7f" % 6.25, 16)
    put(dss, 1814, "17-MAR-1996 01:02:03.250", 24)
    put(dss, 1862, "05-012-1996 23:59:59.999", 24)
    mpr = record(3, 20, 1620)
    corners = [(45.5, -73.25), (45.75, -72.5), (44.5, -72.75), (44.25, -73.5)]  # corners 1..4
    for i, (lat, lon) in enumerate(corners):
        put(mpr, 1072 + 32 * i, "%16.7f" % lat, 16)
        put(mpr, 1088 + 32 * i, "%16.7f" % lon, 16)
    n = 5
    pos = record(4, 30, 386 + 132 * n)
    put(pos, 140, "%4d" % n, 4)
    put(pos, 144, "%4d" % 1997, 4)
    put(pos, 148, "%4d" % 2, 4)
    put(pos, 152, "%4d" % 1, 4)
    put(pos, 156, "%4d" % 32, 4)
    put(pos, 160, "%22.15E" % 43200.5, 22)
    put(pos, 182, "%22.15E" % 60.0, 22)
    put(pos, 204, "Earth Centered Rotating", 64)
    put(pos, 268, "%22.15E" % 123.456, 22)
    for i in range(n):
        for j in range(6):
            put(pos, 386 + 132 * i + 22 * j, "%22.15E" % ((i + 1) * 1000.0 + j * 0.5 - 3000.0), 22)
    pp = record(5, 120, 5120)
    put(pp, 191, "1997-032-12:00:00.000", 21)
    put(pp, 212, "1997-032-12:00:15.500", 21)
    put(pp, 543, "ANTARCTIC", 9)
    put(pp, 959, "%16.7f" % 1679.9, 16)
    put(pp, 2724, "%16.7f" % 0.00625, 16)
    for i in range(4):
        put(pp, 2740 + 16 * i, "%16.7E" % (10.0 ** -i * (i + 1)), 16)
    for i in range(6):
        put(pp, 4907 + 16 * i, "%16.7E" % (i * 2.5 + 0.125), 16)
    return bytes(first + dss + mpr + pos + pp)


def data_file(mission, path, rng):
    maxval, group, dtype, comps, _ = MISSIONS[mission]
    if mission == "radarsat":
        header, prefix = 16252, 192
        head = descriptor(mission, 720) + bytes(header - 720)
    else:
        header, prefix = 720, 12
        head = descriptor(mission, 720)
    reclen = prefix + PIXELS * group
    with open(path, "wb") as f:
        f.write(head)
        for r in range(RECORDS):
            pre = bytearray(prefix)
            if mission == "radarsat":
                # millionths of a degree: lat first, -, lat last, lon first, -, lon last
                vals = [int(45.5e6 - r * 25000), 0, int(45.75e6 - r * 30000), int(-73.25e6 - r * 7000), 0,
                        int(-72.5e6 - r * 6000)]
                struct.pack_into(">6i", pre, 132, *vals)
            f.write(pre)
            if dtype == "i1":
                f.write(rng.integers(-128, 128, size=PIXELS * comps, dtype=np.int64).astype(np.int8).tobytes())
            else:
                info = np.iinfo(np.dtype(dtype))
                f.write(rng.integers(info.min, int(info.max) + 1, size=PIXELS * comps,
                                     dtype=np.int64).astype(dtype).tobytes())
    assert os.path.getsize(path) == header + RECORDS * reclen
    return header, prefix, reclen


def make(d):
    rng = np.random.default_rng(54)
    for mission in MISSIONS:
        folder = os.path.join(d, mission)
        os.makedirs(folder, exist_ok=True)
        data = os.path.join(folder, "dat_01.001")
        data_file(mission, data, rng)
        # The ERS leader is named in capitals: found without regard to case.
        lea = os.path.join(folder, "LEA_01.001" if mission == "ers" else "lea_01.001")
        with open(lea, "wb") as f:
            f.write(leader(mission))
        print(mission, data, lea, RECORDS, PIXELS)


# ---- the model of the tags ----

def walk(lea):
    out, pos = [], 0
    while pos + 12 <= len(lea):
        seq, s1, typ, s2, s3, length = struct.unpack_from(">iBBBBi", lea, pos)
        if length < 12 or pos + length > len(lea):
            break
        out.append((typ, pos, length))
        pos += length
    return out


def first(recs, typ):
    for t, off, length in recs:
        if t == typ:
            return off, length
    return None


def num_prefix(text, real):
    text = text.split(b"\0")[0].lstrip(b" \t\r\n\v\f").decode("latin-1")
    i = 0
    if i < len(text) and text[i] in "+-":
        i += 1
    j = i
    while j < len(text) and text[j].isdigit():
        j += 1
    if not real:
        return int(text[:j]) if j > i else 0
    digits = j - i
    if j < len(text) and text[j] == ".":
        j += 1
        k = j
        while j < len(text) and text[j].isdigit():
            j += 1
        digits += j - k
    if digits == 0:
        return 0.0
    end = j
    if j < len(text) and text[j] in "eEdD":
        k = j + 1
        if k < len(text) and text[k] in "+-":
            k += 1
        if k < len(text) and text[k].isdigit():
            while k < len(text) and text[k].isdigit():
                k += 1
            end = k
    return float(text[:end].replace("d", "e").replace("D", "e"))


DAYS = [31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31]


def day_number(y, m, d):
    return 365 * (y - 1) + int((y - 1) / 4) + sum(DAYS[:max(m - 1, 0)]) + (1 if y % 4 == 0 and m > 2 else 0) + d - 1


def t_doy(s):
    y, doy = num_prefix(s[0:4], False), num_prefix(s[5:8], False)
    secs = num_prefix(s[9:11], False) * 3600 + num_prefix(s[12:14], False) * 60 + num_prefix(s[15:21], True)
    return 365 * (y - 1) + int((y - 1) / 4) + doy - 1, float(secs)


def t_compact(s):
    s = s.lstrip(b" ")
    secs = num_prefix(s[8:10], False) * 3600 + num_prefix(s[10:12], False) * 60 + num_prefix(
        s[12:14] + b"." + s[14:17], True)
    return day_number(num_prefix(s[0:4], False), num_prefix(s[4:6], False), num_prefix(s[6:8], False)), float(secs)


def t_date(s):
    names = [b"JAN", b"FEB", b"MAR", b"APR", b"MAY", b"JUN", b"JUL", b"AUG", b"SEP", b"OCT", b"NOV", b"DEC"]
    mon = names.index(s[3:6]) + 1 if s[3:6] in names else num_prefix(s[3:6], False)
    secs = num_prefix(s[12:14], False) * 3600 + num_prefix(s[15:17], False) * 60 + num_prefix(s[18:24], True)
    return day_number(num_prefix(s[7:11], False), mon, num_prefix(s[0:2], False)), float(secs)


def first_match(text, words):
    for i, w in enumerate(words):
        if w in text:
            return i + 1
    return 0


def product_type(lea):
    text = lea[48:64].split(b"\0")[0]
    return (first_match(text, [b"RSAT-1", b"ERS1", b"ERS2", b"JERS", b"XSAR"]), 1 if b"SAR" in text else 0,
            first_match(text, [b"RAW", b"SLC", b"SSC", b"MGD", b"SGC", b"SGF", b"SGX"]))


def corners_window(c, x, y, w, h):
    # c: lat/lon pairs FL, FR, LL, LR
    out = []
    for cx, cy in ((x, y), (x + w, y), (x, y + h), (x + w, y + h)):
        for k in range(2):
            left = c[0][k] + (c[2][k] - c[0][k]) / RECORDS * cy
            right = c[1][k] + (c[3][k] - c[1][k]) / RECORDS * cy
            out.append(left + (right - left) / PIXELS * cx)
    return struct.pack("<ii8d", 72, 1, *out)


def tags(mission, lea_path, data_path, x, y, w, h):
    lea = open(lea_path, "rb").read()
    out = [(300, struct.pack("<ii", len(lea) + 8, 1) + lea),
           (303, struct.pack("<iiiiii", 24, 1, PIXELS, RECORDS, x, y)),
           (308, struct.pack("<ii6d", 56, 1, 1.0, 0.0, 0.0, 1.0, -float(x), -float(y)))]
    plat, sensor, image = product_type(lea)
    out.append((307, struct.pack("<iiiii", 20, 1, plat, sensor, image)))
    if mission.startswith("sirc"):
        return out
    recs = walk(lea)
    if mission == "radarsat":
        data = open(data_path, "rb").read()
        header, reclen = 16252, 192 + PIXELS * 2
        a = struct.unpack_from(">6i", data, header + 132)
        b = struct.unpack_from(">6i", data, header + (RECORDS - 1) * reclen + 132)
        c = [(a[0] / 1e6, a[3] / 1e6), (a[2] / 1e6, a[5] / 1e6), (b[0] / 1e6, b[3] / 1e6), (b[2] / 1e6, b[5] / 1e6)]
    else:
        off, _ = first(recs, 20)
        v = [num_prefix(lea[off + 1072 + 16 * i: off + 1088 + 16 * i], True) for i in range(8)]
        c = [(v[0], v[1]), (v[2], v[3]), (v[6], v[7]), (v[4], v[5])]
    out.append((301, corners_window(c, x, y, w, h)))
    out.append((302, struct.pack("<ii8d", 72, 1, *[c[i][k] for i in range(4) for k in range(2)])))
    ers = plat in (2, 3)
    p = bytearray(264)
    struct.pack_into("<iiii", p, 0, 264, 1, 0, 0)
    struct.pack_into("<ii", p, 68, -1, -1)

    def f(off, o, n):
        return lea[off + o: off + o + n]

    dss = first(recs, 10)
    if dss:
        o = dss[0]
        struct.pack_into("<id", p, 20, *t_compact(f(o, 68, 32)))
        struct.pack_into("<d", p, 44, num_prefix(f(o, 1766 if ers else 726, 16), True))
        struct.pack_into("<d", p, 52, num_prefix(f(o, 710, 16), True))
        struct.pack_into("<d", p, 60, num_prefix(f(o, 500, 16), True))
        struct.pack_into("<ii", p, 68, num_prefix(f(o, 324, 8), False), num_prefix(f(o, 332, 8), False))
        struct.pack_into("<ii", p, 128, first_match(f(o, 1526, 8), [b"INCREASE", b"DECREASE"]),
                         first_match(f(o, 1534, 8), [b"INCREASE", b"DECREASE"]))
        struct.pack_into("<i", p, 184, num_prefix(f(o, 444, 8), False))
        struct.pack_into("<dd", p, 248, num_prefix(f(o, 1686, 16), True), num_prefix(f(o, 1702, 16), True))
        if ers:
            struct.pack_into("<id", p, 8, *t_date(f(o, 1814, 24)))
            struct.pack_into("<id", p, 32, *t_date(f(o, 1862, 24)))
    pp = first(recs, 120)
    if pp:
        o = pp[0]
        struct.pack_into("<id", p, 8, *t_doy(f(o, 191, 21)))
        struct.pack_into("<id", p, 32, *t_doy(f(o, 212, 21)))
        struct.pack_into("<6d", p, 76, *[num_prefix(f(o, 4907 + 16 * i, 16), True) for i in range(6)])
        struct.pack_into("<i", p, 124, first_match(f(o, 543, 9), [b"NORMAL", b"ANTARCTIC"]))
        struct.pack_into("<d", p, 136, num_prefix(f(o, 2724, 16), True))
        struct.pack_into("<4d", p, 144, *[num_prefix(f(o, 2740 + 16 * i, 16), True) for i in range(4)])
        struct.pack_into("<d", p, 176, num_prefix(f(o, 959, 16), True))
    pos = first(recs, 30)
    if pos:
        o, length = pos
        n = min(max(num_prefix(f(o, 140, 4), False), 0), (length - 386) // 132)
        struct.pack_into("<iiiii", p, 200, n, *[num_prefix(f(o, 144 + 4 * i, 4), False) for i in range(4)])
        struct.pack_into("<dd", p, 220, num_prefix(f(o, 160, 22), True), num_prefix(f(o, 182, 22), True))
        system = f(o, 204, 64)
        code = 1 if b"INERTIAL" in system else 2 if (
            b"Earth Centered Rotating" in system or b"EARTH FIXED REFERENCE SYSTEM" in system) else 0
        struct.pack_into("<i", p, 236, code)
        struct.pack_into("<d", p, 240, num_prefix(f(o, 268, 22), True))
        pts = [num_prefix(f(o, 386 + 132 * i + 22 * j, 22), True) for i in range(n) for j in range(6)]
        out.append((306, struct.pack("<ii%dd" % len(pts), 8 + 48 * n, 1, *pts)))
    out.append((305, bytes(p)))
    return out


# ---- pixels ----

def ours(rdp, comps, dtype):
    head = np.fromfile(rdp, dtype="<i4", count=21)
    width, height = int(head[12]), int(head[13])
    return np.fromfile(rdp, dtype=dtype, count=width * height * comps, offset=84).reshape(height, width * comps)


def pixels(mission, data, rdp, x, y, w, h):
    maxval, group, dtype, comps, _ = MISSIONS[mission]
    header, prefix = (16252, 192) if mission == "radarsat" else (720, 12)
    reclen = prefix + PIXELS * group
    raw = np.fromfile(data, dtype=np.uint8)
    rows = []
    for r in range(h):
        start = header + (y + r) * reclen + prefix + x * group
        rows.append(raw[start:start + w * group])
    block = np.array(rows)
    if mission == "sirc_compressed":
        b = block.view(np.int8).reshape(h, w, 4).astype(np.float64)
        s = np.sqrt(np.power(2.0, b[..., 0]) * (b[..., 1] / 254.0 + 1.5))
        want = np.stack([b[..., 2] * s / 127.0, b[..., 3] * s / 127.0], axis=-1).reshape(h, w * 2)
        got = ours(rdp, 2, "<f8")
        if got.shape != want.shape or not np.allclose(got, want, rtol=1e-15, atol=0):
            return "differs from numpy's decoding"
        return "same"
    want = block.view(dtype).reshape(h, w * comps)
    got = ours(rdp, comps, np.dtype(dtype).newbyteorder("<"))
    if got.shape != want.shape or not np.array_equal(got, want):
        return "differs from numpy: %s %s" % (got.shape, want.shape)
    gdal_type = {(">u2", 1): "UInt16", (">i2", 2): "CInt16"}.get((dtype, comps))
    if gdal_type:
        from raw_band import read_raw_window
        band = read_raw_window(data, header + y * reclen + prefix + x * group, w, h, gdal_type, group, reclen, "MSB")
        if comps == 2:
            pairs = np.empty(band.shape + (2,), dtype=np.int64)
            pairs[..., 0] = band.real
            pairs[..., 1] = band.imag
            band = pairs.reshape(band.shape[0], -1)
        if band.shape != got.shape or not np.array_equal(band, got.astype(band.dtype)):
            return "differs from GDAL"
    return "same"


if __name__ == "__main__":
    cmd = sys.argv[1]
    if cmd == "make":
        make(sys.argv[2])
    elif cmd == "tags":
        for tag, payload in tags(sys.argv[2], sys.argv[3], sys.argv[4], *map(int, sys.argv[5:9])):
            print(tag, payload.hex())
    else:
        print(pixels(sys.argv[2], sys.argv[3], sys.argv[4], *map(int, sys.argv[5:9])))
