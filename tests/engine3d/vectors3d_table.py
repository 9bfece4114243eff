#!/usr/bin/python3
"""Writes Vectors3DTable.h: inputs and numpy's results for the vector tests.

Run from this folder with Debian's Python: /usr/bin/python3 vectors3d_table.py
Rotations come from unit quaternions, a road independent of the formula the
engine uses.
"""
import numpy as np

rng = np.random.default_rng(20240517)


def quaternion_rotation(axis, angle):
    u = axis / np.linalg.norm(axis)
    w = np.cos(angle / 2)
    x, y, z = u * np.sin(angle / 2)
    return np.array([
        [1 - 2 * (y * y + z * z), 2 * (x * y - z * w), 2 * (x * z + y * w)],
        [2 * (x * y + z * w), 1 - 2 * (x * x + z * z), 2 * (y * z - x * w)],
        [2 * (x * z - y * w), 2 * (y * z + x * w), 1 - 2 * (x * x + y * y)],
    ])


def num(v):
    return repr(float(v))


def vec(v):
    return "{" + ", ".join(num(x) for x in v) + "}"


def mat(m):
    return "{{" + ", ".join(num(x) for x in np.asarray(m).reshape(9)) + "}}"


rows = []
for _ in range(8):
    a = rng.uniform(-5, 5, (3, 3))
    b = rng.uniform(-5, 5, (3, 3))
    v = rng.uniform(-5, 5, 3)
    w = rng.uniform(-5, 5, 3)
    axis = rng.uniform(-3, 3, 3)
    angle = rng.uniform(-2 * np.pi, 2 * np.pi)
    rows.append(
        "    {" + ",\n     ".join([
            mat(a), mat(b), vec(v), vec(w), vec(axis), num(angle),
            mat(a @ b), num(np.linalg.det(a)), mat(np.linalg.inv(a)),
            vec(a @ v), vec(v @ a), vec(np.cross(v, w)), num(np.dot(v, w)),
            mat(np.outer(v, w)), num(np.linalg.norm(v)), vec(v / np.linalg.norm(v)),
            mat(quaternion_rotation(axis, angle)),
        ]) + "},")

with open("Vectors3DTable.h", "w") as out:
    out.write("// Written by vectors3d_table.py; do not edit.\n// clang-format off\n#pragma once\n\n")
    out.write("#include <SVectors3D.h>\n\n")
    out.write("struct Vectors3DRow {\n"
              "    TSMatrix3D A, B;\n    TSVector3D V, W, Axis;\n    double Angle;\n"
              "    TSMatrix3D Product;\n    double Determinant;\n    TSMatrix3D Inverse;\n"
              "    TSVector3D MatrixVector, VectorMatrix, Cross;\n    double Dot;\n"
              "    TSMatrix3D Outer;\n    double Length;\n    TSVector3D Normalized;\n"
              "    TSMatrix3D Rotation;\n};\n\n")
    out.write("inline const Vectors3DRow kVectors3DTable[] = {\n")
    out.write("\n".join(rows))
    out.write("\n};\n")
