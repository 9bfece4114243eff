#!/usr/bin/python3
"""What a lit height-field surface should hand its drawing system, computed
with numpy from the lighting and projection formulas and analytic normals.

    surface_reference.py SCENE.json

The scene names the grid (width, height, step, x0, dx, y0, dy, colour), the
shape (plane z = c + a x + b y, or paraboloid z = c + a (x² + y²)), the
surface's attenuation, the camera's screen distance and depth scale (default
frame: world axes with Z reversed, at the origin), an ambient colour, a flat
light (colour, unit direction) and a point light (colour, position,
attenuation). Prints one line "x y z r g b" per sampled node, row after row:
the projected position and depth and the lit colour.

Inside the grid the normal is the analytic one (the central difference of a
plane or a paraboloid is exact); on the border, where a node stands in for its
missing neighbour, it is the one-sided difference of the positions.
"""
import json
import sys

import numpy as np


def height(shape, x, y):
    if shape["kind"] == "plane":
        return shape["c"] + shape["a"] * x + shape["b"] * y
    return shape["c"] + shape["a"] * (x * x + y * y)


def gradient(shape, x, y):
    if shape["kind"] == "plane":
        return shape["a"], shape["b"]
    return 2 * shape["a"] * x, 2 * shape["a"] * y


def clamp01(v):
    return np.clip(v, 0.0, 1.0)


def main():
    s = json.load(open(sys.argv[1]))
    w, h, step = s["width"], s["height"], s["step"]
    shape = s["shape"]
    xs = s["x0"] + s["dx"] * np.arange(w)
    ys = s["y0"] + s["dy"] * np.arange(h)
    # The nodes hold 32-bit floats.
    X, Y = np.meshgrid(xs, ys)
    P = np.stack([X, Y, height(shape, X, Y)], axis=-1).astype(np.float32).astype(np.float64)
    colour = np.array(s["colour"], dtype=np.float32).astype(np.float64)
    flat_dir = np.array(s["flat"]["direction"], dtype=np.float64)
    flat_dir /= np.linalg.norm(flat_dir)

    out = []
    for j in range(0, h, step):
        for i in range(0, w, step):
            p = P[j, i]
            inside = i - step >= 0 and i + step < w and j - step >= 0 and j + step < h
            if inside:
                gx, gy = gradient(shape, p[0], p[1])
                n = np.array([-gx, -gy, 1.0]) * np.sign(s["dx"] * s["dy"])
            else:
                left = P[j, i - step] if i - step >= 0 else p
                right = P[j, i + step] if i + step < w else p
                up = P[j - step, i] if j - step >= 0 else p
                down = P[j + step, i] if j + step < h else p
                n = np.cross(right - left, down - up)
            n = n / np.linalg.norm(n)

            # The default law: incidence weighted by 0.5 + 0.5 cos, clamped;
            # radiation 1 whatever the viewing angle.
            light = np.array(s["ambient"], dtype=np.float64)
            light = light + np.array(s["flat"]["colour"]) * clamp01(0.5 + 0.5 * -np.dot(flat_dir, n))
            u = p - np.array(s["point"]["position"])
            d = np.linalg.norm(u)
            u /= d
            c0, c1, c2 = s["point"]["attenuation"]
            a = (c2 * d + c1) * d + c0
            if a > 0:
                light = light + np.array(s["point"]["colour"]) / a * clamp01(0.5 + 0.5 * -np.dot(u, n))

            dist = np.linalg.norm(p)  # the camera sits at the origin
            k0, k1, k2 = s["attenuation"]
            a = (dist * k2 + k1) * dist + k0
            k = 1.0 / a if a > 1 else 1.0
            rgb = light * k * colour

            # Camera frame: world with Z reversed.
            px, py, pz = p[0], p[1], -p[2]
            screen, depth = s["camera"]
            q = (px * screen / pz, py * screen / pz, pz * depth)
            out.append("%.9g %.9g %.9g %.9g %.9g %.9g" % (*q, *rgb))
    print("\n".join(out))
    return 0


if __name__ == "__main__":
    sys.exit(main())
