"""Independent check of the statistics (tag 2), phase statistics (tag 3) and
preview (tag 4) of layer 0 of a raster layer file, computed with numpy from the
file's pixels. Prints OK, or what differs, and exits 1 on a difference."""

import struct
import sys

import numpy as np

PHASE_MAX = 6.28318530717958
PHASE_TO_BIN = 40.58451048843335
COMPONENTS = {1: "u1", 2: "i1", 3: "<u2", 4: "<i2", 5: "<u4", 6: "<i4", 7: "<f4", 8: "<f8"}
COMPLEX_COMPONENT = {9: 7, 10: 8, 11: 1, 12: 2, 13: 3, 14: 4, 15: 5, 16: 6}


def word(data, at):
    return struct.unpack_from("<i", data, at)[0]


def tags_of_layer0(data):
    assert data[:4] == b"RDPR"
    at = word(data, 12 + 4) if word(data, 4) == 3 else 12
    tags = {}
    while True:
        number, payload, nxt = struct.unpack_from("<iii", data, at)
        tags.setdefault(number, payload)
        if nxt == 0:
            return tags
        at = nxt


def stats_record(data, at):
    computed = word(data, at + 4)
    mn, mx, sd, mean = struct.unpack_from("<4d", data, at + 8)
    hist = np.frombuffer(data, dtype="<u4", count=256, offset=at + 40)
    return computed, mn, mx, sd, mean, hist


def histogram(v, mn, scale, mx=None):
    t = np.clip(np.trunc((v - mn) * scale), 0, 255).astype(np.int64)
    if mx is not None and scale > 0:
        t[v == mx] = 255  # the maximum always falls into the top bin
    return np.bincount(t, minlength=256)


def main():
    data = open(sys.argv[1], "rb").read()
    tags = tags_of_layer0(data)
    _, w, h, typ, _, pixel_tag = struct.unpack_from("<6i", data, tags[0])
    cx = typ >= 9
    comp = COMPONENTS[COMPLEX_COMPONENT[typ] if cx else typ]
    count = w * h * (2 if cx else 1)
    raw = np.frombuffer(data, dtype=comp, count=count, offset=tags[pixel_tag] + 4).astype(np.float64)
    if cx:
        re, im = raw[0::2], raw[1::2]
        v = np.sqrt(re * re + im * im)
        phase = np.arctan2(im, re) + np.where(np.signbit(im), PHASE_MAX, 0.0)
    else:
        v = raw
    errors = []

    computed, mn, mx, sd, mean, hist = stats_record(data, tags[2])
    if computed != 1:
        errors.append("computed flag %d" % computed)
    if mn != v.min() or mx != v.max():
        errors.append("min/max %r %r, numpy %r %r" % (mn, mx, v.min(), v.max()))
    n = v.size
    ref_mean = v.sum() / n
    ref_sd = np.sqrt(abs((v * v).sum() / n - ref_mean * ref_mean))
    if not np.isclose(mean, ref_mean, rtol=1e-12, atol=0) or not np.isclose(sd, ref_sd, rtol=1e-9, atol=1e-12):
        errors.append("mean/sd %r %r, numpy %r %r" % (mean, sd, ref_mean, ref_sd))
    scale = 255.0 / (mx - mn) if mx > mn else 0.0
    if not np.array_equal(hist, histogram(v, mn, scale, mx)):
        errors.append("histogram differs")

    if cx:
        pc, pmn, pmx, psd, pmean, phist = stats_record(data, tags[3])
        ref_pmean = phase.sum() / n
        ref_psd = np.sqrt(abs((phase * phase).sum() / n - ref_pmean * ref_pmean))
        if pc != 1 or pmn != 0.0 or pmx != PHASE_MAX:
            errors.append("phase record header %r %r %r" % (pc, pmn, pmx))
        if not np.isclose(pmean, ref_pmean, rtol=1e-12) or not np.isclose(psd, ref_psd, rtol=1e-9):
            errors.append("phase mean/sd %r %r, numpy %r %r" % (pmean, psd, ref_pmean, ref_psd))
        if not np.array_equal(phist, histogram(phase, 0.0, PHASE_TO_BIN)):
            errors.append("phase histogram differs")

    if 4 in tags:
        planes = 2 if cx else 1
        preview = np.frombuffer(data, dtype="u1", count=40000 * planes, offset=tags[4] + 4)
        clip = mean + 2 * sd
        pscale = 255.0 / (clip - mn)
        cols, rows, x, y = [], [], 0.0, 0.0
        for _ in range(200):
            cols.append(int(x))
            rows.append(int(y))
            x += w / 200.0
            y += h / 200.0
        idx = (np.array(rows)[:, None] * w + np.array(cols)[None, :])
        sv = np.minimum(v[idx], clip)
        expect = (np.trunc((sv - mn) * pscale).astype(np.int64) & 0xFF)[::-1].reshape(-1)
        if not np.array_equal(preview[:40000], expect):
            errors.append("preview differs at %d bytes" % int((preview[:40000] != expect).sum()))
        if cx:
            pexpect = (np.trunc(phase[idx] * PHASE_TO_BIN).astype(np.int64) & 0xFF)[::-1].reshape(-1)
            if not np.array_equal(preview[40000:], pexpect):
                errors.append("phase preview differs at %d bytes" % int((preview[40000:] != pexpect).sum()))

    print("\n".join(errors) if errors else "OK")
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
