#!/usr/bin/env python3
"""Contraction of the jet in the channel from a mean field CSV of `run --field-csv`.

C_c = v0 / (highest mean axial velocity in the channel, x0 < x < L, y < B, x0
the mouth: -l for a flange that continues the tube, 0 otherwise), and
per section C_c(x) = Q^2 / (pi B^2 * integral of vx^2 dA) over the grid points
of the section (trapezoids in r; the wall's own band, where the grid has no
flow point, is left out). Prints: cc_max cc_section_min x_at_min.
Usage: contraction.py FIELD.csv [X0 B L v0]
"""
import math
import sys


def num(text):
    return float(text.replace(",", "."))


def main():
    path = sys.argv[1]
    x0 = num(sys.argv[2]) if len(sys.argv) > 2 else 0.0
    b = num(sys.argv[3]) if len(sys.argv) > 3 else 0.15
    length = num(sys.argv[4]) if len(sys.argv) > 4 else 1.0
    v0 = num(sys.argv[5]) if len(sys.argv) > 5 else 1.0
    columns = {}
    with open(path, encoding="utf-8") as f:
        next(f)
        for line in f:
            cells = line.strip().split(";")
            x, y, inside, vx = num(cells[0]), num(cells[1]), cells[2] == "1", num(cells[3])
            if inside and x0 < x < length and y < b:
                columns.setdefault(round(x, 9), []).append((y, vx))
    peak = max(vx for col in columns.values() for _, vx in col)
    best = (math.inf, None)
    for x, col in sorted(columns.items()):
        col.sort()
        if len(col) < 3 or col[0][0] > 1e-9:
            continue
        integral = 0.0  # of vx^2 * 2 pi r dr
        for (r1, u1), (r2, u2) in zip(col, col[1:]):
            integral += (r2 - r1) * math.pi * (r1 * u1 * u1 + r2 * u2 * u2)
        q = math.pi * b * b * v0
        cc = q * q / (math.pi * b * b * integral) if integral > 0 else math.inf
        if cc < best[0]:
            best = (cc, x)
    print(f"{v0 / peak:.4f} {best[0]:.4f} {best[1]}")


if __name__ == "__main__":
    main()
