#!/usr/bin/python3
"""Percolation energies of a landscape by flooding its grid: a referee for --gh and NARO.x.

    bench/flood_referee.py IN.cube

Floods the periodic grid from its lowest point upwards (26 neighbours, as the fingerprint
uses) and follows how many independent lattice translations each connected pool of flooded
points has wrapped around: 1, 2 and 3 give the levels at which a pool percolates in 1D, 2D and
3D. Printed is the smallest level minus the lowest point of the percolating pool, per dimension
(every site the pool has reached counts, dead ends included). No saddle, half-path or path
library of either program is used.
"""
import sys

import numpy as np


def read_cube(name):
    with open(name) as f:
        head = [f.readline() for _ in range(6)]
        natoms = abs(int(head[2].split()[0]))
        n = [int(head[3 + r].split()[0]) for r in range(3)]
        for _ in range(natoms):
            f.readline()
        values = np.loadtxt(f, dtype=float)
    return values.reshape(n)


def rank(vectors):
    return 0 if not vectors else int(np.linalg.matrix_rank(np.array(vectors, dtype=float)))


def flood(en):
    """Levels (energy above pool minimum) at which some pool first wraps in 1, 2, 3 dimensions."""
    n = en.shape
    flat = en.reshape(-1)
    total = flat.size
    steps = [(p, q, r) for p in (-1, 0, 1) for q in (-1, 0, 1) for r in (-1, 0, 1) if (p, q, r) != (0, 0, 0)]
    # neighbour of every point along every step, and the cell the step lands in
    idx = np.indices(n).reshape(3, -1)
    nbr = []
    for step in steps:
        moved = [idx[d] + step[d] for d in range(3)]
        nbr.append(np.ravel_multi_index(tuple(moved[d] % n[d] for d in range(3)), n).tolist())
    parent = list(range(total))
    shift = [(0, 0, 0)] * total  # cell of the point relative to its parent
    lowest = flat.tolist()
    basis = {}
    active = [False] * total
    best = [None, None, None]
    flat_list = flat.tolist()
    coord = [tuple(int(v) for v in c) for c in idx.T]

    def find(x):
        path = []
        while parent[x] != x:
            path.append(x)
            x = parent[x]
        root = x
        acc = (0, 0, 0)
        for y in reversed(path):  # compress, summing the shifts down from the root
            s = shift[y]
            acc = (acc[0] + s[0], acc[1] + s[1], acc[2] + s[2])
            shift[y] = acc
            parent[y] = root
        return root

    order = np.argsort(flat, kind="stable").tolist()
    for x in order:
        e = flat_list[x]
        active[x] = True
        cx = coord[x]
        for t, step in enumerate(steps):
            y = nbr[t][x]
            if not active[y]:
                continue
            cell = ((cx[0] + step[0]) // n[0], (cx[1] + step[1]) // n[1], (cx[2] + step[2]) // n[2])
            rx, ry = find(x), find(y)
            sx = shift[x] if x != rx else (0, 0, 0)
            sy = shift[y] if y != ry else (0, 0, 0)
            rel = (sx[0] + cell[0] - sy[0], sx[1] + cell[1] - sy[1], sx[2] + cell[2] - sy[2])
            if rx == ry:
                vs = basis.setdefault(rx, [])
                if rel != (0, 0, 0) and len(vs) < 3 and rank(vs + [rel]) > len(vs):
                    vs.append(rel)
            else:
                parent[ry] = rx  # ry's frame sits at rel in rx's frame
                shift[ry] = rel
                lowest[rx] = min(lowest[rx], lowest[ry])
                vs = basis.setdefault(rx, [])
                for w in basis.pop(ry, []):
                    if len(vs) < 3 and rank(vs + [w]) > len(vs):
                        vs.append(w)
            d = len(basis.get(rx, []))
            for dim in range(d):
                level = e - lowest[rx]
                if best[dim] is None or level < best[dim]:
                    best[dim] = level
        if all(b is not None for b in best):
            break
    return best


def show(label, best):
    print(label + " ".join("%.3f" % b if b is not None else "none" for b in best))


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    show("pool   1D 2D 3D: ", flood(read_cube(sys.argv[1])))


if __name__ == "__main__":
    main()
