#!/usr/bin/python3
"""Bond-valence site-energy landscape of a mobile ion, written as a cube file.

A small stand-alone generator of test landscapes for NARO.x: the Morse-type attraction
of the mobile ion to every counter-ion within the pair cutoff and the erfc-screened
Coulomb repulsion from like-charged ions within 10 A, with the parameters of
data/database_unitary.dat and data/database_binary.dat, fractional charges that keep
the cell neutral and the screening factor 0.75. The other mobile ions are left out.
Values are symmetrised over the space group on the grid, so symmetry-equivalent grid
points carry identical values, as the analyser expects.

Usage: bv_landscape.py structure.cif Li 1 out.cube [na nb nc] [--spacing A] [--upsample k]
Grid counts default to multiples of 24 near 0.2 A spacing; --upsample k computes on a grid
k times coarser and interpolates (Fourier) onto the requested one.
"""
import math
import re
import sys
from pathlib import Path

import gemmi
import numpy as np
from scipy.spatial import cKDTree
from scipy.special import erfc

DATA = Path(__file__).resolve().parent.parent / "data"
BOHR = 1.889725989
EV = 14.39964
SF = 0.75
RCOUL = 10.0


def table(name):
    rows, on = [], False
    for line in (DATA / name).read_text().splitlines():
        if line.startswith("DATA_START"):
            on = True
            continue
        if line.startswith("DATA_END"):
            break
        if on and line.strip() and not line.startswith("#"):
            rows.append(line.split())
    return rows


UNI = {(r[1], int(r[2])): r for r in table("database_unitary.dat")}
BIN = {(r[0], int(r[1]), r[2], int(r[3])): r for r in table("database_binary.dat")}


def species(symbol):
    m = re.match(r"([A-Z][a-z]?)(\d*)([+-])", symbol)
    if not m:
        # no charge written: the element's default oxidation state
        e = re.match(r"[A-Z][a-z]?", symbol).group(0)
        for (el, _), row in UNI.items():
            if el == e:
                return e, int(row[3])
        raise SystemExit(f"no oxidation state for type symbol {symbol}")
    n = int(m.group(2) or 1)
    return m.group(1), n if m.group(3) == "+" else -n


def orth_of(cell, f):
    return np.array(cell.orthogonalize(gemmi.Fractional(*f)).tolist())


def main():
    args = [a for a in sys.argv[1:]]
    up = 1
    spacing = 0.2
    if "--spacing" in args:
        k = args.index("--spacing")
        spacing = float(args[k + 1])
        del args[k:k + 2]
    if "--upsample" in args:
        k = args.index("--upsample")
        up = int(args[k + 1])
        del args[k:k + 2]
    cif, elem, os_m, out = args[0], args[1], int(args[2]), args[3]
    st = gemmi.read_small_structure(cif)
    st.setup_cell_images()
    cell = st.cell
    counts = [int(a) for a in args[4:7]] if len(args) >= 7 else [
        24 * max(1, round(L / spacing / 24)) for L in (cell.a, cell.b, cell.c)]
    base = [n // up for n in counts]
    # symmetry operations as written in the file, else from the space-group name
    block = gemmi.cif.read(cif).sole_block()
    triplets = []
    for tag in ("_symmetry_equiv_pos_as_xyz", "_space_group_symop_operation_xyz"):
        triplets = [gemmi.cif.as_string(v) for v in block.find_values(tag)]
        if triplets:
            break
    if triplets:
        ops = [gemmi.Op(t.replace(" ", "")) for t in triplets]
    else:
        sg = gemmi.find_spacegroup_by_name(st.spacegroup_hm) if st.spacegroup_hm else None
        ops = list(sg.operations()) if sg else [gemmi.Op("x,y,z")]

    atoms = []
    for s in st.sites:
        e, o = species(s.type_symbol)
        seen = []
        for op in ops:
            f = np.array(op.apply_to_xyz([s.fract.x, s.fract.y, s.fract.z])) % 1.0
            if any(np.all(np.abs((f - g + 0.5) % 1.0 - 0.5) < 1e-3) for g in seen):
                continue
            seen.append(f)
            atoms.append((e, o, orth_of(cell, f), s.occ))
    # fractional charges
    def neff(e, o):
        n = int(UNI[(e, o)][5])
        return 4 if n >= 5 else (1 if e in ("Li", "B", "Be") else n)
    sp = sum(occ * o / math.sqrt(neff(e, o)) for e, o, _, occ in atoms if o > 0)
    sm = sum(occ * o / math.sqrt(neff(e, o)) for e, o, _, occ in atoms if o < 0)
    def q(e, o):
        base_q = o / math.sqrt(neff(e, o))
        return base_q * math.sqrt(-sm / sp) if o > 0 else base_q * math.sqrt(-sp / sm)
    qm = q(elem, os_m)
    um = UNI[(elem, os_m)]

    # per-species pair terms of the mobile ion
    terms = {}
    for e, o, _, _ in atoms:
        if (e, o) in terms or (e == elem and o == os_m):
            continue
        ux = UNI[(e, o)]
        if (o > 0) != (os_m > 0):
            cat, an = ((elem, os_m), (e, o)) if os_m > 0 else ((e, o), (elem, os_m))
            r = BIN.get((cat[0], cat[1], an[0], an[1]))
            if r is None:
                continue
            r0, b, cn, cut = float(r[4]), float(r[5]), float(r[6]), float(r[7])
            uc, ua = UNI[cat], UNI[an]
            rmin = r0 * (0.9185 + 0.2285 * abs(float(ua[9]) - float(uc[9]))) - b * math.log(cat[1] / cn)
            c = 1 if int(uc[7]) in (0, 1) else 2
            d0 = (b * b / 2) * c * (c * abs(cat[1] * an[1])) ** (1 / c) / (
                math.sqrt(int(uc[5]) * int(ua[5])) * rmin)
            eb = lambda x, d0=d0, rmin=rmin, b=b: (d0 / 2) * ((np.exp((rmin - x) / b) - 1) ** 2 - 1)
            terms[(e, o)] = ("bond", cut, eb, eb(np.array(cut)))
        else:
            reff = SF * (float(um[8]) + float(ux[8]))
            qq = qm * q(e, o)
            ec = lambda x, qq=qq, reff=reff: qq * erfc(x / reff) / x - qq * erfc(RCOUL / reff) / RCOUL
            terms[(e, o)] = ("coul", RCOUL, ec, 0.0)

    # periodic images of every contributing atom within 10 A of the cell
    frac = np.array(cell.frac.mat.tolist())
    orth = np.array(cell.orth.mat.tolist())
    reach = [int(math.ceil(RCOUL * np.linalg.norm(frac[i]))) + 1 for i in range(3)]
    pos, kind, occs = [], [], []
    keys = list(terms)
    for e, o, xyz, occ in atoms:
        if (e, o) not in terms:
            continue
        for i in range(-reach[0], reach[0] + 1):
            for j in range(-reach[1], reach[1] + 1):
                for k in range(-reach[2], reach[2] + 1):
                    pos.append(xyz + orth @ np.array([i, j, k], float))
                    kind.append(keys.index((e, o)))
                    occs.append(occ)
    pos, kind, occs = np.array(pos), np.array(kind), np.array(occs)
    tree = cKDTree(pos)

    n1, n2, n3 = base
    g = np.stack(np.meshgrid(np.arange(n1) / n1, np.arange(n2) / n2, np.arange(n3) / n3,
                             indexing="ij"), -1).reshape(-1, 3)
    pts = g @ orth.T
    energy = np.zeros(len(pts))
    chunk = 20000
    for s in range(0, len(pts), chunk):
        sub = cKDTree(pts[s:s + chunk])
        m = sub.sparse_distance_matrix(tree, RCOUL, output_type="coo_matrix")
        rows, cols, d = m.row, m.col, np.maximum(m.data, 0.3)
        acc = np.zeros(len(sub.data))
        for t, key in enumerate(keys):
            typ, cut, f, shift = terms[key]
            sel = (kind[cols] == t) & (d <= cut)
            if sel.any():
                np.add.at(acc, rows[sel], occs[cols[sel]] * (f(d[sel]) - shift))
        energy[s:s + chunk] = acc * EV
    grid = energy.reshape(n1, n2, n3)
    if up > 1:
        # periodic Fourier interpolation onto the finer grid, after capping the peaks
        capped = np.minimum(grid, grid.min() + 8.0)
        F = np.fft.fftn(capped)
        big = np.zeros(counts, complex)
        h = [n // 2 for n in base]
        for sa in (slice(0, h[0]), slice(-h[0], None)):
            for sb in (slice(0, h[1]), slice(-h[1], None)):
                for sc in (slice(0, h[2]), slice(-h[2], None)):
                    big[sa, sb, sc] = F[sa, sb, sc]
        grid = np.real(np.fft.ifftn(big)) * (up ** 3)
    grid = np.minimum(grid, 999.9)
    n1, n2, n3 = counts

    # symmetrise: every orbit takes the value of its first point
    idx = np.stack(np.meshgrid(np.arange(n1), np.arange(n2), np.arange(n3), indexing="ij"), -1).reshape(-1, 3)
    flat = lambda v: (v[:, 0] * n2 + v[:, 1]) * n3 + v[:, 2]
    rep = np.arange(len(idx))
    maps = []
    for op in ops:
        R = np.array(op.rot) // gemmi.Op.DEN
        t = np.array(op.tran)
        img = idx @ R.T * 1
        img = img + np.array([t[0] * n1, t[1] * n2, t[2] * n3]) // gemmi.Op.DEN
        img %= np.array([n1, n2, n3])
        maps.append(flat(img))
    values = np.round(grid.reshape(-1), 6)
    for _ in range(8):
        changed = False
        for mp in maps:
            new = np.minimum(rep, rep[mp])
            if (new != rep).any():
                changed = True
                rep = new
        if not changed:
            break
    values = values[rep]

    vox = orth.T / np.array(counts)[:, None] * BOHR
    with open(out, "wb") as f:
        f.write(f"{Path(cif).stem}\r\n".encode())
        f.write(f"Conducting = {elem}{abs(os_m)}{'+' if os_m > 0 else '-'} ; sf = {SF:f};\r\n".encode())
        f.write(f"{0:4d} {0:11.6f} {0:11.6f} {0:11.6f}\r\n".encode())
        for k in range(3):
            f.write(f"{counts[k]:4d} {vox[k][0]:11.6f} {vox[k][1]:11.6f} {vox[k][2]:11.6f}\r\n".encode())
        f.write("".join(f" {v:12.6f}\r\n" for v in values).encode())


if __name__ == "__main__":
    main()
