#!/usr/bin/python3
"""Writes Classes3DTable.h: cameras, lights and the diffuse law worked out by
numpy, for the tests of the standard scene classes.

Run from this folder with Debian's Python: /usr/bin/python3 classes3d_table.py
Orientations come from unit quaternions; every formula is written here from
the classes' documented behaviour, in float64.
"""
import numpy as np

rng = np.random.default_rng(20240611)


def quaternion_rotation(axis, angle):
    u = axis / np.linalg.norm(axis)
    w = np.cos(angle / 2)
    x, y, z = u * np.sin(angle / 2)
    return np.array([
        [1 - 2 * (y * y + z * z), 2 * (x * y - z * w), 2 * (x * z + y * w)],
        [2 * (x * y + z * w), 1 - 2 * (x * x + z * z), 2 * (y * z - x * w)],
        [2 * (x * z - y * w), 2 * (y * z + x * w), 1 - 2 * (x * x + y * y)],
    ])


def random_rotation():
    return quaternion_rotation(rng.uniform(-1, 1, 3), rng.uniform(-np.pi, np.pi))


def unit(v):
    v = np.asarray(v, dtype=float)
    return v / np.linalg.norm(v)


def num(v):
    return repr(float(v))


def vec(v):
    return "{" + ", ".join(num(x) for x in v) + "}"


def mat(m):
    return "{{" + ", ".join(num(x) for x in np.asarray(m).reshape(9)) + "}}"


def arr(v):
    return "{" + ", ".join(num(x) for x in v) + "}"


FLIP = np.diag([1.0, 1.0, -1.0])


# ---------------------------------------------------------------------------
# Camera: P = M^-1 (W - O); Q = (P.x D/P.z, P.y D/P.z, P.z S), 0 for P.z = 0.

def project(d, s, m, o, w):
    p = np.linalg.inv(m) @ (np.asarray(w) - np.asarray(o))
    if p[2] == 0:
        return np.zeros(3)
    k = d / p[2]
    return np.array([p[0] * k, p[1] * k, p[2] * s])


projections = []
# The default camera sees local (1, 2, z) at world (1, 2, -z).
for z in (4.0, 0.0, -4.0):
    projections.append((1000.0, 1000.0, FLIP, np.zeros(3), np.array([1.0, 2.0, -z])))
projections.append((0.0, 1000.0, FLIP, np.zeros(3), np.array([3.0, -5.0, -7.0])))
for _ in range(6):
    m = random_rotation()
    o = rng.uniform(-50, 50, 3)
    w = o + m @ np.array([*rng.uniform(-20, 20, 2), rng.uniform(5, 100) * rng.choice([-1, 1])])
    projections.append((rng.uniform(100, 2000), rng.uniform(1, 2000), m, o, w))


# ---------------------------------------------------------------------------
# Lighting of one vertex by the diffuse law.

def poly(c, x):
    return min(1.0, max(0.0, (c[2] * x + c[1]) * x + c[0]))


def spot_factor(cos, exponent, cutoff):
    if cos < cutoff:
        return 0.0
    if exponent > 0:
        return float(np.exp(-((1 - cos) * exponent) ** 2))
    return 1.0


def shade(row):
    law_att, law_rad, use_normals = row["law_att"], row["law_rad"], row["use_normals"]
    vertex, normal, view = row["vertex"], row["normal"], row["view"]
    color = np.zeros(3)

    def incidence(direction):
        return -np.dot(direction, normal) if use_normals else 1.0

    if row["ambient"] is not None:
        color += np.asarray(row["ambient"]) * poly(law_att, 1.0)
    if row["flat"] is not None:
        m, c = row["flat"]
        direction = unit(m[:, 0])
        color += np.asarray(c) * poly(law_att, incidence(direction))
    if row["point"] is not None:
        m, origin, c, att, spot = row["point"]
        u = np.asarray(vertex) - origin
        d = np.linalg.norm(u)
        if d > 0:
            u = u / d
        s = spot_factor(np.dot(u, unit(m[:, 0])), *spot) if d > 0 else spot_factor(1.0, *spot)
        a = (att[2] * d + att[1]) * d + att[0]
        if a > 0:
            color += np.asarray(c) * (s / a) * poly(law_att, incidence(u))
    v = -np.dot(normal, view) if use_normals else 1.0
    return color * poly(law_rad, v)


DEFAULT_ATT = [0.5, 0.5, 0.0]
DEFAULT_RAD = [1.0, 0.0, 0.0]
I3 = np.eye(3)


def base_row(what):
    return {"what": what, "ambient": None, "flat": None, "point": None, "law_att": DEFAULT_ATT,
            "law_rad": DEFAULT_RAD, "use_normals": True, "vertex": np.zeros(3), "normal": np.array([0, 0, 1.0]),
            "view": np.array([0, 0, -1.0])}


def point_row(what, vertex, normal, spot=(0.0, -1.0), att=(1.0, 0.0, 0.0), m=I3, color=(1.0, 1.0, 1.0)):
    r = base_row(what)
    r["point"] = (m, np.zeros(3), np.array(color), list(att), spot)
    r["vertex"] = np.array(vertex, dtype=float)
    r["normal"] = np.array(normal, dtype=float)
    r["view"] = -r["normal"]
    return r


lights = []
lights.append(point_row("point light at distance 2", (2, 0, 0), (-1, 0, 0), color=(0.25, 0.5, 1.0)))
lights.append(point_row("outside the cut-off", (0, 2, 0), (0, -1, 0), spot=(0.0, 0.5)))
# U . Axis = 0.5: a vertex 60 degrees off the axis.
lights.append(point_row("spot exponent 2 at cosine 0.5", (1, np.sqrt(3), 0), unit((-1, -np.sqrt(3), 0)),
                        spot=(2.0, -1.0)))
lights.append(point_row("vertex on the light, constant 1", (0, 0, 0), (0, 0, 1)))
lights.append(point_row("vertex on the light, no constant", (0, 0, 0), (0, 0, 1), att=(0.0, 1.0, 0.0)))
lights.append(point_row("attenuation below 0", (3, 0, 0), (-1, 0, 0), att=(-1.0, 0.1, 0.0)))
r = base_row("flat light head on")
r["flat"] = (np.array([[0, 0, 1.0], [0, 1.0, 0], [-1.0, 0, 0]]), np.array([1.0, 0.5, 0.25]))
lights.append(r)
r = base_row("flat light from behind")
r["flat"] = (np.array([[0, 0, 1.0], [0, 1.0, 0], [-1.0, 0, 0]]), np.array([1.0, 0.5, 0.25]))
r["normal"] = np.array([0, 0, -1.0])
r["view"] = np.array([0, 0, 1.0])
lights.append(r)
r = base_row("without normals")
r["flat"] = (np.array([[0, 0, 1.0], [0, 1.0, 0], [-1.0, 0, 0]]), np.array([1.0, 0.5, 0.25]))
r["normal"] = np.array([0, 0, -1.0])
r["use_normals"] = False
lights.append(r)
r = base_row("ambient, flat and point at once")
r["ambient"] = np.array([0.1, 0.2, 0.3])
r["flat"] = (quaternion_rotation(np.array([0.0, 1.0, 0.0]), np.pi / 2 + 0.3), np.array([0.5, 0.25, 0.125]))
r["point"] = (quaternion_rotation(np.array([0.0, 1.0, 0.0]), np.pi / 2), np.array([1.5, 0.5, 2.0]),
              np.array([0.75, 0.5, 0.25]), [1.0, 0.25, 0.0625], (1.5, 0.2))
r["vertex"] = np.array([0.5, -0.25, 0.0])
r["normal"] = unit((0.1, -0.05, 1.0))
r["view"] = unit((0.2, 0.1, -1.0))
lights.append(r)


def safe(row):
    # Keeps random rows away from the edges where float rounding would pick
    # the other side of a clamp or cut-off.
    normal, vertex = row["normal"], row["vertex"]
    xs = []
    if row["flat"] is not None:
        xs.append(("att", -np.dot(unit(row["flat"][0][:, 0]), normal)))
    if row["point"] is not None:
        m, origin, c, att, spot = row["point"]
        u = unit(vertex - origin)
        if abs(np.dot(u, unit(m[:, 0])) - spot[1]) < 1e-3:
            return False
        xs.append(("att", -np.dot(u, normal)))
    xs.append(("att", 1.0))
    xs.append(("rad", -np.dot(normal, row["view"])))
    for kind, x in xs:
        c = row["law_att"] if kind == "att" else row["law_rad"]
        value = (c[2] * x + c[1]) * x + c[0]
        if abs(value) < 1e-3 or abs(value - 1) < 1e-3:
            return False
    return True


count = 0
while count < 8:
    r = base_row("random %d" % count)
    r["ambient"] = rng.uniform(0, 0.5, 3)
    r["flat"] = (random_rotation(), rng.uniform(0, 1, 3))
    r["point"] = (random_rotation(), rng.uniform(-5, 5, 3), rng.uniform(0, 1, 3),
                  [rng.uniform(0.2, 2), rng.uniform(0, 0.5), rng.uniform(0, 0.1)],
                  (rng.uniform(0, 3), rng.uniform(-1, 0.8)))
    r["law_att"] = list(rng.uniform(-0.5, 1.0, 3))
    r["law_rad"] = list(rng.uniform(0.2, 1.2, 3))
    r["vertex"] = rng.uniform(-5, 5, 3)
    r["normal"] = unit(rng.uniform(-1, 1, 3))
    r["view"] = unit(rng.uniform(-1, 1, 3))
    if safe(r):
        lights.append(r)
        count += 1


def light_row(r):
    flat = r["flat"] if r["flat"] is not None else (I3, np.zeros(3))
    point = r["point"] if r["point"] is not None else (I3, np.zeros(3), np.zeros(3), [1, 0, 0], (0, -1))
    ambient = r["ambient"] if r["ambient"] is not None else np.zeros(3)
    fields = [
        '"%s"' % r["what"],
        "true" if r["ambient"] is not None else "false", vec(ambient),
        "true" if r["flat"] is not None else "false", mat(flat[0]), vec(flat[1]),
        "true" if r["point"] is not None else "false", mat(point[0]), vec(point[1]), vec(point[2]),
        arr(point[3]), arr(point[4]),
        arr(r["law_att"]), arr(r["law_rad"]), "true" if r["use_normals"] else "false",
        vec(r["vertex"]), vec(r["normal"]), vec(r["view"]), vec(shade(r)),
    ]
    return "    {" + ",\n     ".join(fields) + "}"


# ---------------------------------------------------------------------------
# The scene's picture: three plain constructions seen by the default camera.

scene_points = [np.array(p, dtype=float) for p in ((0, 0, -1000), (100, 50, -500), (0, 0, 1000))]

out = ["// Written by classes3d_table.py; do not edit.",
       "// clang-format off",
       "#pragma once",
       "",
       "#include <SVectors3D.h>",
       "",
       "struct ProjectionRow {",
       "    double D, S;",
       "    TSMatrix3D Matrix;",
       "    TSVector3D Origin, World, Expected;",
       "};",
       "",
       "inline const ProjectionRow kProjectionTable[] = {"]
for d, s, m, o, w in projections:
    out.append("    {%s, %s, %s, %s, %s, %s}," % (num(d), num(s), mat(m), vec(o), vec(w), vec(project(d, s, m, o, w))))
out += ["};",
        "",
        "struct LightingRow {",
        "    const char* What;",
        "    bool HasAmbient;",
        "    TSVector3D Ambient;",
        "    bool HasFlat;",
        "    TSMatrix3D FlatMatrix;",
        "    TSVector3D FlatColor;",
        "    bool HasPoint;",
        "    TSMatrix3D PointMatrix;",
        "    TSVector3D PointOrigin, PointColor;",
        "    double PointAttenuation[3];",
        "    double PointSpot[2];",
        "    double LawAttenuation[3];",
        "    double LawRadiation[3];",
        "    bool UseNormals;",
        "    TSVector3D Vertex, Normal, View, Expected;",
        "};",
        "",
        "inline const LightingRow kLightingTable[] = {"]
out.append(",\n".join(light_row(r) for r in lights))
out += ["};",
        "",
        "struct ScenePointRow {",
        "    TSVector3D Origin, Expected;",
        "};",
        "",
        "inline const ScenePointRow kScenePoints[] = {"]
for p in scene_points:
    out.append("    {%s, %s}," % (vec(p), vec(project(1000.0, 1000.0, FLIP, np.zeros(3), p))))
out += ["};", ""]

with open("Classes3DTable.h", "w") as f:
    f.write("\n".join(out))
