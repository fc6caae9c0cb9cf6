#!/usr/bin/python3
"""--cal-sym on generated structures in every setting of the settings file, against spglib.

For every record of database_symcards.dat: three species on general positions are expanded by the
record's operations in a cell whose metric the operations keep (axes rising in length, then falling),
the origin is moved by a seeded random vector, and the atoms are written as a P 1 file. `kelmar.x --cal-sym` on that file must name
the record's group, and spglib (same atoms, same tolerance 0.01 A) must agree. Then, once per group,
the same structure in a skewed basis (a, a+b, c; no setting need match those axes) must still give
the group, in the determined setting or in the warning that names it.

usage: cal_sym_settings.py KELMAR_EXE [--seed N] [--only NUMBER ...]
Exit status 0 when every case agrees, 1 otherwise (each disagreement is printed).
"""
import argparse
import math
import os
import random
import re
import subprocess
import sys
import tempfile
from fractions import Fraction

import numpy as np
import spglib

TOLERANCE = 0.01
# three species on general positions (one orbit of a single species may be more symmetric than its
# group), with their states given so that none is inferred site by site; the cell is neutral
MOTIF = (("Na", (0.1234, 0.2271, 0.3517)), ("K", (0.3011, 0.0713, 0.1579)), ("O", (0.4087, 0.3659, 0.0391)))
STATE = {"Na": "1+", "K": "1+", "O": "2-"}


def read_settings(path):
    """[(number, H-M, [(R, t)])] in file order, from the settings file."""
    lines = open(path).read().splitlines()
    i = next(k for k, line in enumerate(lines) if "DATA_START" in line) + 1
    out = []
    while i < len(lines) and "DATA_END" not in lines[i]:
        if "#" not in lines[i]:
            i += 1
            continue
        number = int(lines[i + 1])
        hm = re.findall(r"'([^']*)'", lines[i + 3])[0]
        n = int(lines[i + 4])
        ops = [parse_op(lines[i + 5 + k]) for k in range(n)]
        out.append((number, hm, ops))
        i += 5 + n
    return out


def parse_op(text):
    rot = np.zeros((3, 3), dtype=int)
    tr = np.zeros(3)
    parts = text.replace(" ", "").replace("'", "").strip().lower().split(",")
    assert len(parts) == 3, text
    for row, part in enumerate(parts):
        for term in re.findall(r"[+-]?[^+-]+", part):
            sign = -1 if term.startswith("-") else 1
            body = term.lstrip("+-")
            if body in "xyz":
                rot[row, "xyz".index(body)] = sign
            else:
                tr[row] += sign * float(Fraction(body))
    return rot, tr % 1.0


def invariant_metric(ops, lengths=(5.1, 6.3, 7.7)):
    """A metric tensor every rotation keeps: a generic one averaged over the group."""
    (a, b, c), al, be, ga = lengths, 81.0, 86.0, 97.0
    cos = [math.cos(math.radians(x)) for x in (al, be, ga)]
    g0 = np.array([[a * a, a * b * cos[2], a * c * cos[1]],
                   [a * b * cos[2], b * b, b * c * cos[0]],
                   [a * c * cos[1], b * c * cos[0], c * c]])
    return sum(r.T @ g0 @ r for r, _ in ops) / len(ops)


def cell_parameters(g):
    a, b, c = (math.sqrt(g[k, k]) for k in range(3))
    angle = lambda i, j, x, y: math.degrees(math.acos(g[i, j] / (x * y)))
    return a, b, c, angle(1, 2, b, c), angle(0, 2, a, c), angle(0, 1, a, b)


def lattice_vectors(par):
    a, b, c, al, be, ga = par
    al, be, ga = (math.radians(x) for x in (al, be, ga))
    v2 = [b * math.cos(ga), b * math.sin(ga), 0.0]
    cx = c * math.cos(be)
    cy = (b * c * math.cos(al) - cx * v2[0]) / v2[1]
    return [[a, 0.0, 0.0], v2, [cx, cy, math.sqrt(max(c * c - cx * cx - cy * cy, 0.0))]]


def expand(ops):
    """Every image of the motif, duplicates (also across the cell edge) removed."""
    sites = []
    for kind, x in MOTIF:
        for r, t in ops:
            y = (r @ np.array(x) + t) % 1.0
            if not any(k == kind and np.all(np.minimum(abs(y - z), 1 - abs(y - z)) < 1e-6) for k, z in sites):
                sites.append((kind, y))
    return sites


def write_p1(path, par, sites):
    with open(path, "w") as f:
        f.write("data_generated\n")
        for tag, v in zip(("length_a", "length_b", "length_c", "angle_alpha", "angle_beta", "angle_gamma"), par):
            f.write("_cell_%s %.8f\n" % (tag, v))
        f.write("_symmetry_space_group_name_H-M 'P 1'\nloop_\n_symmetry_equiv_pos_as_xyz\nx,y,z\n")
        f.write("loop_\n_atom_site_label\n_atom_site_type_symbol\n_atom_site_fract_x\n_atom_site_fract_y\n"
                "_atom_site_fract_z\n_atom_site_occupancy\n")
        for n, (kind, x) in enumerate(sites):
            f.write("%s%d %s%s %.8f %.8f %.8f 1\n" % (kind, n + 1, kind, STATE[kind], x[0], x[1], x[2]))


def spglib_number(par, sites):
    kinds = {"Na": 1, "K": 2, "O": 3}
    ds = spglib.get_symmetry_dataset((lattice_vectors(par), [x for _, x in sites], [kinds[k] for k, _ in sites]),
                                     symprec=TOLERANCE)
    return ds.number if hasattr(ds, "number") else ds["number"]


def cal_sym(exe, cif, numbers):
    """(determined number, number named in the no-setting warning or None)."""
    out = subprocess.run([exe, "--cal-sym", cif], capture_output=True, text=True).stdout
    m = re.search(r"^Message: determined space group: (.*)$", out, re.M)
    w = re.search(r"^Warning: the structure has the symmetry of space group No\. (\d+)", out, re.M)
    return (numbers.get(m.group(1)) if m else None), (int(w.group(1)) if w else None)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("kelmar")
    ap.add_argument("--seed", type=int, default=31)
    ap.add_argument("--only", type=int, nargs="*", help="groups to check (default: all)")
    args = ap.parse_args()
    settings = read_settings(os.path.join(os.path.dirname(args.kelmar), "database_symcards.dat"))
    numbers = {}
    for number, hm, _ in settings:
        numbers.setdefault(hm, number)
    rng = random.Random(args.seed)
    skew = np.array([[1, 1, 0], [0, 1, 0], [0, 0, 1]])  # columns: new axes a, a+b, c in old ones
    bad, cases, skewed_groups = [], 0, set()
    with tempfile.TemporaryDirectory() as tmp:
        cif = os.path.join(tmp, "p1.cif")
        for number, hm, ops in settings:
            shift = np.array([rng.random() for _ in range(3)])  # drawn for every record: --only keeps them
            if args.only and number not in args.only:
                continue
            sites = [(k, (x + shift) % 1.0) for k, x in expand(ops)]
            # the axes short to long and long to short: spglib's standard cell then permutes them
            for lengths in ((5.1, 6.3, 7.7), (7.7, 6.3, 5.1)):
                g = invariant_metric(ops, lengths)
                par = cell_parameters(g)
                write_p1(cif, par, sites)
                want = spglib_number(par, sites)
                got, named = cal_sym(args.kelmar, cif, numbers)
                cases += 1
                if want != number or got != number or named is not None:
                    bad.append("%s (No. %d), axes %s, origin shifted by %s: spglib %s, --cal-sym %s%s" % (
                        hm, number, lengths, np.round(shift, 4), want, got,
                        "" if named is None else ", warning names %d" % named))
            if number in skewed_groups:
                continue
            skewed_groups.add(number)
            # the same atoms in the basis (a, a+b, c): x_new = S^-1 x_old
            inv = np.linalg.inv(skew)
            moved = [(k, (inv @ x) % 1.0) for k, x in sites]
            # the new cell holds the same lattice points: as many atoms, at the same positions
            par2 = cell_parameters(skew.T @ g @ skew)
            write_p1(cif, par2, moved)
            want = spglib_number(par2, moved)
            got, named = cal_sym(args.kelmar, cif, numbers)
            cases += 1
            found = named if named is not None else got
            if want != number or found != number:
                bad.append("%s (No. %d) in the basis a, a+b, c: spglib %s, --cal-sym %s, warning names %s" % (
                    hm, number, want, got, named))
    print("%d cases checked (%d groups in a skewed basis)" % (cases, len(skewed_groups)))
    for b in bad:
        print(b)
    return 1 if bad or cases == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
