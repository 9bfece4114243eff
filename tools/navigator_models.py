#!/usr/bin/python3
"""Writes viewer3d/NavigatorModels.cpp: the navigator's two preview models (the turning
frame of reference and the fixed dial) as model texts, one string per line.

Run once from the repository's root: /usr/bin/python3 tools/navigator_models.py
The texts are kept as written; values carry four decimals at most, as the models
always had them (a few points keep their odd historical values).
"""
import math

NUMBERS = {1.0: "1", 0.9659: "0.9659", 0.866: "0.8660", 0.7071: "0.7071", 0.5: "0.5", 0.2588: "0.2588", 0.0: "0"}


def circle_value(v):
    r = round(v, 4) + 0.0
    if r == 0:
        return "0"
    text = NUMBERS[abs(r)]
    return "-" + text if r < 0 else text


def point_lines(index, p, i="1 1 1"):
    return ["  Point %d" % index, "   p : %s" % p, "   n : 0 0 0", "   i : %s" % i]


def model(points, ties):
    lines = [" Points Count : %d" % len(points)]
    for k, (p, i) in enumerate(points):
        lines += point_lines(k, p, i)
    lines += ["", " Ties Count : %d" % len(ties)]
    for k, (letter, idx) in enumerate(ties):
        lines += ["  Tie %d" % k, "   %s : %s" % (letter, " ".join(str(x) for x in idx))]
    return lines


def reper():
    points = []
    c = [math.cos(math.radians(15 * k)) for k in range(24)]
    s = [math.sin(math.radians(15 * k)) for k in range(24)]
    for k in range(24):
        points.append(("%s %s 0" % (circle_value(c[k]), circle_value(s[k])), "1 1 1"))
    for k in range(24):
        points.append(("0 %s %s" % (circle_value(c[k]), circle_value(s[k])), "1 1 1"))
    for k in range(24):
        z = circle_value(c[k]) if 48 + k != 69 else "0.707"
        points.append(("%s 0 %s" % (circle_value(s[k]), z), "1 1 1"))
    for p in ("1 0 0", "-0.25 0 0", "0 1 0", "0 -0.25 0", "0 0 1", "0 0 -0.25"):
        points.append((p, "1 1 1"))
    for p in ("0.85 0.03535 0.03535", "0.85 0.01294 -0.04829", "0.85 -0.04829 0.01294",
              "0.03535 0.85 0.03535", "-0.04829 0.85 0.01294", "0.01294 0.85 -0.04829",
              "0.03535 0.03535 0.85", "0.01294 -0.04829 0.85", "-0.04829 0.01294 0.85"):
        points.append((p, "0.80 0.80 0.80"))
    for p in ("0.80 0.05 0", "0.83 0 0", "0.80 0 0.05", "0.77 0 0", "0.80 0 -0.05", "0.80 -0.05 0",
              "0.04949 0.80 0.04949", "0.01811 0.80 -0.06761", "-0.06761 0.80 0.018117"):
        points.append((p, "1 1 1"))
    ties = []
    for k in range(24):
        for base in (0, 24, 48):
            ties.append(("l", (base + k, base + (k + 1) % 24)))
    ties += [("l", (72, 73)), ("l", (74, 75)), ("l", (76, 77))]
    for tip, a in ((72, 78), (74, 81), (76, 84)):
        ties += [("t", (tip, a, a + 1)), ("t", (tip, a + 1, a + 2)), ("t", (tip, a + 2, a))]
    for apex in (87, 92):
        ties += [("t", (apex, 88, 89)), ("t", (apex, 89, 90)), ("t", (apex, 90, 91)), ("t", (apex, 91, 88))]
    ties += [("l", (93, 94)), ("l", (94, 95)), ("l", (95, 93))]
    return model(points, ties)


def fmt(v):
    r = round(v, 4) + 0.0
    if r == 0:
        return "0"
    return ("%.4f" % r).rstrip("0").rstrip(".")


def dial():
    # Inner and outer ends of the line marks at 22.5 and 45 degrees, as the model has them.
    inner = {22.5: (0.9885, 0.4094), 45.0: (0.7566, 0.7566)}
    outer = {22.5: (1.1086, 0.4592), 45.0: (0.8485, 0.8485)}

    def mirrored(table, angle):
        quadrant, rest = divmod(angle, 90.0)
        x, y = table[rest] if rest in table else tuple(reversed(table[90.0 - rest]))
        for _ in range(int(quadrant)):
            x, y = -y, x
        return x, y

    points, ties = [], []
    for m in range(16):
        angle = 22.5 * m
        base = len(points)
        if m % 4 == 0:
            t = math.radians(angle)
            tip = (1.05 * math.cos(t), 1.05 * math.sin(t))
            tip_text = "%s %s 0" % (fmt(tip[0]), fmt(tip[1])) if m != 8 else "-1.045 0 0"
            points.append((tip_text, "0.30 0.30 0.30"))
            for side in (1, -1):
                x = 1.2 * math.cos(t) - side * 0.04 * math.sin(t)
                y = 1.2 * math.sin(t) + side * 0.04 * math.cos(t)
                points.append(("%s %s 0" % (fmt(x), fmt(y)), "1 1 1"))
            ties.append(("t", (base, base + 1, base + 2)))
        else:
            x, y = mirrored(inner, angle)
            points.append(("%s %s 0" % (fmt(x), fmt(y)), "0.30 0.30 0.30"))
            x, y = mirrored(outer, angle)
            points.append(("%s %s 0" % (fmt(x), fmt(y)), "1 1 1"))
            ties.append(("l", (base, base + 1)))
    return model(points, ties)


def cpp_lines(lines):
    return "\n".join('        "%s",' % line for line in lines)


SOURCE = """// Written by tools/navigator_models.py: the navigator's preview models as model texts.

#include "viewer3d/NavigatorModels.h"

const std::vector<std::string>& ReperData()
{
    static const std::vector<std::string> lines = {
%s
    };
    return lines;
}

const std::vector<std::string>& DialData()
{
    static const std::vector<std::string> lines = {
%s
    };
    return lines;
}
"""

with open("viewer3d/NavigatorModels.cpp", "w") as f:
    f.write(SOURCE % (cpp_lines(reper()), cpp_lines(dial())))
