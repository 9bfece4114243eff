#!/usr/bin/python3
"""Checks the vertices a point construction drew, and writes a random model text.

Usage: points_reference.py FOLDER
FOLDER/scene.json holds the scene the test drew (construction frame, attenuation,
camera, lights, law) with the points and the vertices it got. The vertices are worked
out again here in float64 from the documented formulas; the script prints "OK" or
one line per difference. It also writes FOLDER/model.txt, a model of random float32
values in the navigator's layout, and FOLDER/model_bits.txt, the bits of those values
(nine per point, as hexadecimal), for the test to load and compare.
"""
import json
import sys

import numpy as np


def unit(v):
    v = np.asarray(v, dtype=float)
    n = np.linalg.norm(v)
    return v / n if n > 0 else v


def project(d, s, m, o, w):
    p = np.linalg.inv(m) @ (np.asarray(w) - np.asarray(o))
    if p[2] == 0:
        return np.zeros(3)
    k = d / p[2]
    return np.array([p[0] * k, p[1] * k, p[2] * s])


def poly(c, x):
    return min(1.0, max(0.0, (c[2] * x + c[1]) * x + c[0]))


def spot_factor(cos, exponent, cutoff):
    if cos < cutoff:
        return 0.0
    if exponent > 0:
        return float(np.exp(-((1 - cos) * exponent) ** 2))
    return 1.0


def shade(scene, vertex, normal, view):
    law_att, law_rad = scene["law_att"], scene["law_rad"]
    color = np.zeros(3)
    flat_m = np.array(scene["flat_matrix"]).reshape(3, 3)
    color += np.array(scene["flat_color"]) * poly(law_att, -np.dot(unit(flat_m[:, 0]), normal))
    m = np.array(scene["point_matrix"]).reshape(3, 3)
    origin = np.array(scene["point_origin"])
    att, spot = scene["point_att"], scene["point_spot"]
    u = vertex - origin
    d = np.linalg.norm(u)
    if d > 0:
        u = u / d
    s = spot_factor(np.dot(u, unit(m[:, 0])), *spot) if d > 0 else spot_factor(1.0, *spot)
    a = (att[2] * d + att[1]) * d + att[0]
    if a > 0:
        color += np.array(scene["point_color"]) * (s / a) * poly(law_att, -np.dot(u, normal))
    return color * poly(law_rad, -np.dot(normal, view))


def check(scene):
    frame_m = np.array(scene["frame_matrix"]).reshape(3, 3)
    frame_o = np.array(scene["frame_origin"])
    cam_m = np.array(scene["camera_matrix"]).reshape(3, 3)
    cam_o = np.array(scene["camera_origin"])
    c, l, q = scene["attenuation"]
    bad = []
    for i, pt in enumerate(scene["points"]):
        w = frame_m @ np.array(pt["p"]) + frame_o
        want = np.zeros(6)
        want[:3] = project(scene["screen"], scene["depth"], cam_m, cam_o, w)
        v = w - cam_o
        dist = np.linalg.norm(v)
        v = unit(v)
        a = (q * dist + l) * dist + c
        factor = 1 / a if a > 1 else 1.0
        colour = np.ones(3)
        if scene["lighting"] == 1:
            colour = shade(scene, w, unit(frame_m @ np.array(pt["n"])), v)
        want[3:] = colour * factor * np.array(pt["i"])
        got = np.array(pt["vertex"])
        if not np.allclose(got, want, rtol=2e-4, atol=2e-5):
            bad.append("point %d (lighting %d): got %s, want %s" % (i, scene["lighting"], got, want))
    return bad


def write_model(folder, rng):
    n = 9
    values = rng.uniform(-1000, 1000, (n, 9)).astype(np.float32)
    values[:, 3:] = rng.uniform(0, 1, (n, 6)).astype(np.float32)
    lines = [" Points Count : %d" % n]
    bits = []
    for i, row in enumerate(values):
        lines.append("  Point %d" % i)
        for label, part in (("p", row[:3]), ("n", row[3:6]), ("i", row[6:])):
            lines.append("   %s : %s" % (label, " ".join(repr(float(x)) for x in part)))
        bits.append(" ".join("%08x" % x for x in row.view(np.uint32)))
    lines.append(" Ties Count : 2")
    lines += ["  Tie 0", "   l : 0 8", "  Tie 1", "   t : 1 2 3"]
    with open(folder + "/model.txt", "w") as f:
        f.write("\r\n".join(lines) + "\r\n")
    with open(folder + "/model_bits.txt", "w") as f:
        f.write("\n".join(bits) + "\n")


def main():
    folder = sys.argv[1]
    with open(folder + "/scene.json") as f:
        scenes = json.load(f)
    bad = []
    for scene in scenes:
        bad += check(scene)
    write_model(folder, np.random.default_rng(20241211))
    print("\n".join(bad) if bad else "OK")


main()
