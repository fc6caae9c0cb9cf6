#!/usr/bin/python3
"""Percolation energies of a landscape by flooding its grid: a referee for --gh and NARO.x.

    bench/flood_referee.py IN.cube
    bench/flood_referee.py IN.cube --naro NARO_events.txt [--ceiling E]

Floods the periodic grid from its lowest point upwards (26 neighbours, as the fingerprint
uses) and follows how many independent lattice translations each connected pool of flooded
points has wrapped around: 1, 2 and 3 give the levels at which a pool percolates in 1D, 2D and
3D. Printed is the smallest level minus the lowest point of the percolating pool, per dimension
(every site the pool has reached counts, dead ends included). No saddle, half-path or path
library of either program is used. A second line gives the levels themselves (energy above
the grid's lowest point at which the flooded region first wraps in 1, 2 and 3 dimensions).

With --naro, the first threshold of NARO.x's per-threshold report (NARO_events.txt or the
--print-perc output) at which a cluster percolates in d or more dimensions is compared with
the flood level of dimension d. They agree within the grid's energy resolution there: the
largest energy difference between a grid point at the flood level and a neighbour of it
below that level (the flood joins two points, the path library walks between them). A flood
level above the analyser's ceiling (--ceiling, default 5 eV, NARO.x's default --max) is one
the analyser does not look at; its side must then report no percolation ("ceiling" rule).
A flat grid (one energy everywhere) has no saddle: the analyser warns and reports none
("flat" rule).
Exit status 1 when some dimension disagrees.
"""
import re
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
    level_of = [None, None, None]
    gmin = float(flat.min())
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
                if level_of[dim] is None:
                    level_of[dim] = e - gmin
        if all(b is not None for b in best):
            break
    flood.levels = level_of
    return best


def show(label, best):
    print(label + " ".join("%.3f" % b if b is not None else "none" for b in best))


def energy_step(en, level):
    """Largest drop from a grid point at `level` (above the lowest point) to a neighbour below it."""
    e = en - en.min()
    at = np.argwhere(np.abs(e - level) <= 1e-9)
    step = 0.0
    for p in at:
        for off in [(a, b, c) for a in (-1, 0, 1) for b in (-1, 0, 1) for c in (-1, 0, 1)]:
            q = tuple((p + np.array(off)) % np.array(e.shape))
            if e[q] <= level:
                step = max(step, level - e[q])
    return step


def naro_levels(events):
    """First threshold of NARO.x's report with a cluster percolating in d or more dimensions."""
    out = [None, None, None]
    level = None
    with open(events, errors="replace") as f:
        for line in f:
            m = re.match(r"\s*Threshold energy:\s*([-0-9.eE+]+) eV", line)
            if m:
                level = float(m.group(1))
                continue
            m = re.match(r"> Percolating \((\d)D\)", line)
            if m and level is not None:
                for d in range(int(m.group(1))):
                    if out[d] is None or level < out[d]:
                        out[d] = level
    return out


def compare(en, levels, naro, ceiling):
    """One verdict per dimension: (ok, text)."""
    verdicts = []
    if float(en.max() - en.min()) < 1e-7:
        # A flat grid floods everywhere at once; it has no saddle, and the analyser says
        # so in a warning and reports no percolation ("flat" rule).
        for d in range(3):
            ok = naro[d] is None
            verdicts.append((ok, "%dD naro %s flood 0.000000 %s(flat)" % (
                d + 1, "none" if naro[d] is None else "%.6f" % naro[d], "ok " if ok else "DIFF ")))
        return verdicts
    for d in range(3):
        f, n = levels[d], naro[d]
        if f is None or f > ceiling:
            rule = "none" if f is None else "ceiling"
            ok = n is None
            verdicts.append((ok, "%dD naro %s flood %s %s(%s)" % (
                d + 1, "none" if n is None else "%.6f" % n, "none" if f is None else "%.6f" % f,
                "ok " if ok else "DIFF ", rule)))
            continue
        tol = energy_step(en, f) + 2e-6
        ok = n is not None and abs(n - f) <= tol
        verdicts.append((ok, "%dD naro %s flood %.6f step %.6f %s" % (
            d + 1, "none" if n is None else "%.6f" % n, f, tol, "ok" if ok else "DIFF")))
    return verdicts


def main():
    args = sys.argv[1:]
    events = None
    ceiling = 5.0
    if "--naro" in args:
        k = args.index("--naro")
        events = args[k + 1] if k + 1 < len(args) else sys.exit(__doc__)
        del args[k:k + 2]
    if "--ceiling" in args:
        k = args.index("--ceiling")
        ceiling = float(args[k + 1]) if k + 1 < len(args) else sys.exit(__doc__)
        del args[k:k + 2]
    if len(args) != 1:
        sys.exit(__doc__)
    en = read_cube(args[0])
    show("pool   1D 2D 3D: ", flood(en))
    show("level  1D 2D 3D: ", flood.levels)
    if events is None:
        return 0
    verdicts = compare(en, flood.levels, naro_levels(events), ceiling)
    for _, text in verdicts:
        print(text)
    return 0 if all(ok for ok, _ in verdicts) else 1


if __name__ == "__main__":
    sys.exit(main())
