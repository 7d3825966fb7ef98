#!/usr/bin/env python3
"""How far mesh 2 of a mesh file lies from where a known perspective map puts mesh 1's points.

Usage: mesh_truth.py MESH.json 'x1,y1 X1,Y1 x2,y2 X2,Y2 x3,y3 X3,Y3 x4,y4 X4,Y4'
(the control points given to ImageMagick's -distort Perspective, which made picture 2 from
picture 1). Prints the median, 95th percentile and largest distance over the interior points.
"""
import json
import sys


def solve(a, b):
    n = len(b)
    m = [row[:] + [v] for row, v in zip(a, b)]
    for c in range(n):
        pivot = max(range(c, n), key=lambda r: abs(m[r][c]))
        m[c], m[pivot] = m[pivot], m[c]
        for r in range(n):
            if r != c:
                f = m[r][c] / m[c][c]
                m[r] = [x - f * y for x, y in zip(m[r], m[c])]
    return [m[r][n] / m[r][r] for r in range(n)]


def perspective(pairs):
    rows, values = [], []
    for (x, y), (u, v) in pairs:
        rows.append([x, y, 1, 0, 0, 0, -u * x, -u * y]); values.append(u)
        rows.append([0, 0, 0, x, y, 1, -v * x, -v * y]); values.append(v)
    h = solve(rows, values) + [1.0]
    return lambda x, y: ((h[0] * x + h[1] * y + h[2]) / (h[6] * x + h[7] * y + 1),
                         (h[3] * x + h[4] * y + h[5]) / (h[6] * x + h[7] * y + 1))


def main():
    mesh = json.load(open(sys.argv[1]))
    numbers = [tuple(float(n) for n in p.split(",")) for p in sys.argv[2].split()]
    warp = perspective(list(zip(numbers[0::2], numbers[1::2])))
    columns, rows = mesh["columns"], mesh["rows"]
    distances = []
    for index, ((x1, y1), (x2, y2)) in enumerate(zip(mesh["mesh1"]["points"], mesh["mesh2"]["points"])):
        column, row = index % (columns + 1), index // (columns + 1)
        if column in (0, columns) or row in (0, rows):
            continue  # border points stay on the border
        # ImageMagick's coordinates put pixel (0, 0)'s centre at (0.5, 0.5)
        tx, ty = warp(x1 + 0.5, y1 + 0.5)
        distances.append(((x2 - (tx - 0.5)) ** 2 + (y2 - (ty - 0.5)) ** 2) ** 0.5)
    distances.sort()
    at = lambda q: distances[min(len(distances) - 1, int(q * len(distances)))]
    print("mesh 2 against the truth over %d interior points: median %.2f px, 95th percentile %.2f px, max %.2f px"
          % (len(distances), at(0.5), at(0.95), distances[-1]))


main()
