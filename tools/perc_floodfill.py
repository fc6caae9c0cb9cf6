#!/usr/bin/python3
"""Percolation thresholds of an energy grid by a plain periodic flood fill.

For a cube file this finds, for d = 1, 2, 3, the lowest energy E (above the grid's
global minimum) at which the region {e <= E} holds a connected piece (26-neighbour
connectivity, periodic) that reaches its own periodic images along d independent
lattice directions. It is written independently of the analyser, as a cross-check.

Usage:
  perc_floodfill.py grid.cube                   prints "1D 2D 3D" thresholds
  perc_floodfill.py [--ceiling=E] grid.cube events.txt
                                                also reads the analyser's per-threshold
                                                report and prints both with the verdict;
                                                thresholds above E (5 eV) count as none
Thresholds that never occur print as 999.0. The comparison allows one grid energy step:
the largest energy difference between a voxel at the flood-fill threshold and a
neighbour of it below the threshold.
"""
import re
import sys

import numpy as np
from scipy import ndimage

NONE = 999.0


def read_cube(path):
    with open(path) as f:
        lines = f.read().splitlines()
    natoms = abs(int(lines[2].split()[0]))
    n = [abs(int(lines[3 + k].split()[0])) for k in range(3)]
    values = np.array(" ".join(lines[6 + natoms:]).split(), dtype=float)
    if values.size != n[0] * n[1] * n[2]:
        raise ValueError(f"{path}: {values.size} values for a {n[0]}x{n[1]}x{n[2]} grid")
    e = values.reshape(n)
    return e - e.min()


OFFSETS = [(a, b, c) for a in (-1, 0, 1) for b in (-1, 0, 1) for c in (-1, 0, 1)
           if (a, b, c) > (0, 0, 0)]


def dimensions(mask):
    """Largest percolation dimension of any connected piece of a periodic mask."""
    labels, count = ndimage.label(mask, structure=np.ones((3, 3, 3), dtype=int))
    if count == 0:
        return 0
    n = np.array(mask.shape)
    parent = list(range(count + 1))
    shift = [np.zeros(3, dtype=int) for _ in range(count + 1)]  # cell of node rel. to parent
    cycles = {}

    def find(a):
        path = []
        while parent[a] != a:
            path.append(a)
            a = parent[a]
        root = a
        # path compression with accumulated shifts
        for node in reversed(path):
            p = parent[node]
            if p != root:
                shift[node] = shift[node] + shift[p]
            parent[node] = root
        return root

    # Only voxels on the faces can have a neighbour across the cell boundary.
    face = np.zeros(mask.shape, dtype=bool)
    face[0, :, :] = face[-1, :, :] = True
    face[:, 0, :] = face[:, -1, :] = True
    face[:, :, 0] = face[:, :, -1] = True
    idx = np.argwhere(mask & face)
    edges = []
    for off in OFFSETS:
        q = idx + np.array(off)
        cell = np.floor_divide(q, n)
        crossing = np.any(cell != 0, axis=1)
        if not crossing.any():
            continue
        p_idx = idx[crossing]
        q_cell = cell[crossing]
        q_w = q[crossing] - q_cell * n
        ok = mask[q_w[:, 0], q_w[:, 1], q_w[:, 2]]
        if not ok.any():
            continue
        a = labels[p_idx[ok][:, 0], p_idx[ok][:, 1], p_idx[ok][:, 2]]
        b = labels[q_w[ok][:, 0], q_w[ok][:, 1], q_w[ok][:, 2]]
        edges.append(np.column_stack([a, b, q_cell[ok]]))
    if not edges:
        return 0
    for a, b, *t in np.unique(np.vstack(edges), axis=0):
        t = np.array(t)
        ra, rb = find(a), find(b)
        # b sits in cell t relative to a
        if ra == rb:
            v = shift[a] + t - shift[b]
            if np.any(v):
                cycles.setdefault(ra, []).append(v)
        else:
            parent[rb] = ra
            shift[rb] = shift[a] + t - shift[b]
            if rb in cycles:
                cycles.setdefault(ra, []).extend(cycles.pop(rb))
    best = 0
    for root, vecs in cycles.items():
        if find(root) != root:
            continue
        best = max(best, int(np.linalg.matrix_rank(np.array(vecs, dtype=float))))
    return best


def thresholds(e):
    levels = np.unique(e)
    out = []
    lo = 0
    for d in (1, 2, 3):
        if dimensions(e <= levels[-1]) < d:
            out.append(NONE)
            continue
        hi = len(levels) - 1
        while lo < hi:
            mid = (lo + hi) // 2
            if dimensions(e <= levels[mid]) >= d:
                hi = mid
            else:
                lo = mid + 1
        out.append(float(levels[lo]))
    return out


def energy_step(e, level):
    """Largest drop from a voxel at `level` to a neighbour below it."""
    if level >= NONE:
        return 0.0
    step = 0.0
    for p in np.argwhere(np.isclose(e, level, rtol=0, atol=1e-9)):
        for off in [(a, b, c) for a in (-1, 0, 1) for b in (-1, 0, 1) for c in (-1, 0, 1)]:
            q = tuple((p + np.array(off)) % np.array(e.shape))
            if e[q] <= level:
                step = max(step, level - e[q])
    return step


def analyser_thresholds(events_path):
    """First threshold of the analyser's report at which a cluster of dimension >= d appears."""
    out = [NONE, NONE, NONE]
    level = None
    with open(events_path, errors="replace") as f:
        for line in f:
            m = re.match(r"\s*Threshold energy:\s*([-0-9.eE+]+) eV", line)
            if m:
                level = float(m.group(1))
                continue
            m = re.match(r"> Percolating \((\d)D\)", line)
            if m and level is not None:
                for d in range(int(m.group(1))):
                    out[d] = min(out[d], level)
    return out


def main(argv):
    # The analyser looks at no grid point more than --max (5 eV by default) above the
    # global minimum: a channel opening higher up is beyond its reach and reads 999.
    ceiling = 5.0
    if len(argv) > 2 and argv[1].startswith("--ceiling="):
        ceiling = float(argv[1].split("=", 1)[1])
        argv = argv[:1] + argv[2:]
    if len(argv) not in (2, 3):
        print(__doc__.strip().splitlines()[0], file=sys.stderr)
        return 2
    e = read_cube(argv[1])
    flood = thresholds(e)
    if len(argv) == 2:
        print(" ".join(f"{v:.6f}" for v in flood))
        return 0
    naro = analyser_thresholds(argv[2])
    flood = [v if v <= ceiling else NONE for v in flood]
    verdict = []
    for d in range(3):
        tol = energy_step(e, flood[d]) + 2e-6
        verdict.append("ok" if abs(naro[d] - flood[d]) <= tol else "DIFF")
    print(" ".join(f"{d + 1}D {naro[d]:.3f}/{flood[d]:.3f} {verdict[d]}" for d in range(3)))
    return 0 if all(v == "ok" for v in verdict) else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
