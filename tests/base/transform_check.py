"""Reference affine algebra for TransformTest: homogeneous 3x3 matrices in numpy.

Reads one case per line ("op numbers..."), writes one line of results per case.
A matrix {a, b, c, d, e, f} maps (x, y) to (a x + b y + e, c x + d y + f).
"""
import sys

import numpy as np


def mat(v):
    a, b, c, d, e, f = v
    return np.array([[a, b, e], [c, d, f], [0.0, 0.0, 1.0]])


def flat(m):
    return [m[0, 0], m[0, 1], m[1, 0], m[1, 1], m[0, 2], m[1, 2]]


def apply(m, x, y):
    return list((m @ np.array([x, y, 1.0]))[:2])


def rotation(cx, cy, t):
    # Turns by t with x' = cos t x + sin t y about the origin, moved to (cx, cy).
    to_origin = mat([1, 0, 0, 1, -cx, -cy])
    turn = mat([np.cos(t), np.sin(t), -np.sin(t), np.cos(t), 0, 0])
    back = mat([1, 0, 0, 1, cx, cy])
    return back @ turn @ to_origin


def fit(p, q):
    # Solve for the six unknowns from three point pairs.
    rows, rhs = [], []
    for (px, py), (qx, qy) in zip(p, q):
        rows.append([px, py, 0, 0, 1, 0])
        rhs.append(qx)
        rows.append([0, 0, px, py, 0, 1])
        rhs.append(qy)
    return list(np.linalg.solve(np.array(rows), np.array(rhs)))


def run(op, v):
    if op == "compose":  # first, then second
        return flat(mat(v[6:12]) @ mat(v[0:6]))
    if op == "inverse":
        return flat(np.linalg.inv(mat(v)))
    if op == "invpoint":
        return apply(np.linalg.inv(mat(v[0:6])), v[6], v[7])
    if op == "rotate":  # cx cy t px py: the matrix, then the point mapped
        m = rotation(v[0], v[1], v[2])
        return flat(m) + apply(m, v[3], v[4])
    if op == "fit":
        return fit([v[0:2], v[2:4], v[4:6]], [v[6:8], v[8:10], v[10:12]])
    raise ValueError(op)


def main():
    with open(sys.argv[1]) as src, open(sys.argv[2], "w") as dst:
        for line in src:
            parts = line.split()
            if not parts:
                continue
            out = run(parts[0], [float(s) for s in parts[1:]])
            dst.write(" ".join(repr(float(x)) for x in out) + "\n")


if __name__ == "__main__":
    main()
