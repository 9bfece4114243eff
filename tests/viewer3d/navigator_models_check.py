#!/usr/bin/python3
"""Reads the navigator's two model texts on its own and checks their geometry.

Usage: navigator_models_check.py REPER_FILE DIAL_FILE (lines ended by CR LF)
Prints "OK", or one line per finding.
"""
import math
import re
import sys


def read(path):
    text = open(path, "rb").read().decode("ascii")
    assert "\r\n" in text
    points = []
    for m in re.finditer(r"Point (\d+)\r\n\s+p : (\S+) (\S+) (\S+)\r\n\s+n : (\S+) (\S+) (\S+)\r\n"
                         r"\s+i : (\S+) (\S+) (\S+)", text):
        assert int(m.group(1)) == len(points)
        points.append([float(x) for x in m.groups()[1:]])
    ties = [(kind, [int(x) for x in idx.split()])
            for kind, idx in re.findall(r"Tie \d+\r\n\s+([lt]) : ([\d ]+)\r\n", text)]
    declared = (int(re.search(r"Points Count : (\d+)", text).group(1)),
                int(re.search(r"Ties Count : (\d+)", text).group(1)))
    return points, ties, declared


bad = []


def expect(cond, what):
    if not cond:
        bad.append(what)


reper, reper_ties, declared = read(sys.argv[1])
expect(declared == (96, 95) and len(reper) == 96 and len(reper_ties) == 95, "reper counts %s" % (declared,))
for k, p in enumerate(reper):
    expect(p[3:6] == [0, 0, 0], "reper normal %d" % k)
for k in range(72):
    r = math.sqrt(sum(x * x for x in reper[k][:3]))
    expect(abs(r - 1) < (0.0005 if k != 69 else 0.0006), "circle point %d radius %.5f" % (k, r))
    plane = k // 24
    expect(reper[k][(2 + plane) % 3] == 0, "circle point %d out of its plane" % k)
ends = [reper[k][:3] for k in range(72, 78)]
expect(ends == [[1, 0, 0], [-0.25, 0, 0], [0, 1, 0], [0, -0.25, 0], [0, 0, 1], [0, 0, -0.25]], "axis ends %s" % ends)
for k in range(78, 87):
    expect(reper[k][6:] == [0.8, 0.8, 0.8], "arrow base intensity %d" % k)
    axis = (k - 78) // 3
    expect(reper[k][axis] == 0.85 and abs(math.hypot(*[reper[k][j] for j in range(3) if j != axis]) - 0.05) < 1e-4,
           "arrow base %d" % k)
expect(reper[69][2] == 0.707 and reper[95][2] == 0.018117, "the odd values")
expect(all(0 <= i < 96 for _, idx in reper_ties for i in idx), "reper tie index")
expect([k for k, _ in reper_ties].count("t") == 17 and [k for k, _ in reper_ties].count("l") == 78, "reper tie kinds")

dial, dial_ties, declared = read(sys.argv[2])
expect(declared == (36, 16) and len(dial) == 36 and len(dial_ties) == 16, "dial counts %s" % (declared,))
expect(all(p[2] == 0 for p in dial), "dial off its plane")
k = 0
for m in range(16):
    angle = math.radians(22.5 * m)
    kind, idx = dial_ties[m]
    expect(idx[0] == k, "dial tie %d starts at %d" % (m, idx[0]))
    tip = dial[k]
    direction = math.atan2(tip[1], tip[0]) % (2 * math.pi)
    expect(abs(direction - angle) < 1e-3, "dial mark %d at %.4f" % (m, math.degrees(direction)))
    expect(tip[6:] == [0.3, 0.3, 0.3], "dial inner intensity %d" % m)
    r = math.hypot(tip[0], tip[1])
    if m % 4 == 0:
        expect(kind == "t" and abs(r - (1.045 if m == 8 else 1.05)) < 1e-9, "dial tip %d radius %.4f" % (m, r))
        for side in (1, 2):
            expect(abs(math.hypot(*dial[k + side][:2]) - math.hypot(1.2, 0.04)) < 1e-4, "dial outer %d" % m)
        k += 3
    else:
        expect(kind == "l" and abs(r - 1.07) < 2e-4, "dial line %d inner radius %.5f" % (m, r))
        expect(abs(math.hypot(*dial[k + 1][:2]) - 1.2) < 2e-4, "dial line %d outer radius" % m)
        k += 2
print("\n".join(bad) if bad else "OK")
