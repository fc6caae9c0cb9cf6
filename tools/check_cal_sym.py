#!/usr/bin/python3
"""Cross-check of `kelmar.x --cal-sym` against spglib.

For every ordered CIF under the given directory: kelmar.x writes the full cell (--gen-cif-p1),
spglib finds the space group of exactly those atoms at the tolerance --cal-sym uses (0.01 A), and
the group that --cal-sym determines, both on the original file and on the written P1 file, must
have spglib's number. Exit status 0 when all agree, 1 otherwise (the disagreements are printed).

usage: check_cal_sym.py KELMAR_EXE DATA_DIR
"""
import os
import re
import subprocess
import sys
import tempfile

import spglib


def symcards_numbers(path):
    """H-M symbol (first spelling) -> International Tables number, from the settings file."""
    lines = open(path).read().splitlines()
    start = next(i for i, l in enumerate(lines) if "DATA_START" in l)
    out = {}
    i = start + 1
    while i < len(lines) and "DATA_END" not in lines[i]:
        if "#" in lines[i]:
            number = int(lines[i + 1])
            hm = re.findall(r"'([^']*)'", lines[i + 3])[0]
            out.setdefault(hm, number)
            i += 5
        else:
            i += 1
    return out


def read_p1(path):
    """Lattice, positions and kinds of a P1 file written by kelmar.x."""
    text = open(path).read().replace("\r", "")
    par = [float(re.search(r"^%s\s+(\S+)" % t, text, re.M).group(1))
           for t in ("_cell_length_a", "_cell_length_b", "_cell_length_c",
                     "_cell_angle_alpha", "_cell_angle_beta", "_cell_angle_gamma")]
    rows = text.split("_atom_site_occupancy\n", 1)[1].split("\n\n", 1)[0].split("\n")
    pos, kinds, names = [], [], {}
    for r in rows:
        f = r.split()
        if len(f) < 6:
            continue
        key = (f[1], round(float(f[5]), 3))
        kinds.append(names.setdefault(key, len(names) + 1))
        pos.append([float(x) for x in f[2:5]])
    return par, pos, kinds, [k[1] for k in names]


def lattice(par):
    import math
    a, b, c, al, be, ga = par
    al, be, ga = (x * 3.14159265 / 180 for x in (al, be, ga))
    v1 = [a, 0, 0]
    v2 = [b * math.cos(ga), b * math.sin(ga), 0]
    cx = c * math.cos(be)
    cy = (b * c * math.cos(al) - cx * v2[0]) / v2[1]
    cz = math.sqrt(max(c * c - cx * cx - cy * cy, 0))
    return [v1, v2, [cx, cy, cz]]


def cal_sym(exe, cif, numbers):
    out = subprocess.run([exe, "--cal-sym", cif], capture_output=True, text=True).stdout
    # A cell in no tabulated setting reports its own-axes subgroup and names the true group in a
    # warning line; that counts as finding the group.
    w = re.search(r"^Warning: the structure has the symmetry of space group No\. (\d+)", out, re.M)
    if w:
        return int(w.group(1))
    m = re.search(r"^Message: determined space group: (.*)$", out, re.M)
    return numbers.get(m.group(1)) if m else None


def main():
    exe, data = sys.argv[1], sys.argv[2]
    numbers = symcards_numbers(os.path.join(os.path.dirname(exe), "database_symcards.dat"))
    bad, tried = [], 0
    with tempfile.TemporaryDirectory() as tmp:
        for root, _, files in sorted(os.walk(data)):
            for name in sorted(files):
                if not name.endswith(".cif"):
                    continue
                cif = os.path.join(root, name)
                p1 = os.path.join(tmp, "p1.cif")
                r = subprocess.run([exe, "--gen-cif-p1", cif, p1], capture_output=True, text=True)
                if r.returncode != 0 or not os.path.exists(p1):
                    continue
                par, pos, kinds, occ = read_p1(p1)
                if any(o != 1.0 for o in occ):
                    os.remove(p1)
                    continue
                tried += 1
                ds = spglib.get_symmetry_dataset((lattice(par), pos, kinds), symprec=0.01)
                want = ds.number if hasattr(ds, "number") else ds["number"]
                got = cal_sym(exe, cif, numbers)
                again = cal_sym(exe, p1, numbers)
                if got != want or again != want:
                    bad.append("%s: spglib %s, --cal-sym %s, after --gen-cif-p1 %s" % (cif, want, got, again))
                os.remove(p1)
    print("%d ordered structures checked" % tried)
    for b in bad:
        print(b)
    return 1 if bad or tried == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
