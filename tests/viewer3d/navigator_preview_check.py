"""Where the navigator's preview shows the dial's four tips.

The dial lies in the plane z = 0; the preview's eye stands at (0, 0, 3) and looks
down the Z axis (orientation diag(1, 1, -1)) with a screen distance of
round((W + H) * 3 / 4.8) for the W x H box. A point p seen in the eye's frame as
q = B (p - o) lands on the canvas at (round(q.x D / q.z) + W div 2,
round(q.y D / q.z) + H div 2); the picture shows canvas rows bottom up.
Prints one line "x y" per tip, in picture pixels.
"""
import numpy as np

W = H = 160
D = np.round((W + H) * 3 / 4.8)
origin = np.array([0.0, 0.0, 3.0])
inverse = np.linalg.inv(np.diag([1.0, 1.0, -1.0]))

tips = np.array([[1.05, 0, 0], [0, 1.05, 0], [-1.045, 0, 0], [0, -1.05, 0]])
for p in tips:
    q = inverse @ (p - origin)
    # Canvas coordinates round half to even, as the drawing system does.
    cx = int(np.rint(q[0] * D / q[2])) + W // 2
    cy = int(np.rint(q[1] * D / q[2])) + H // 2
    print(cx, H - 1 - cy)
