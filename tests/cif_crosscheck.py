#!/usr/bin/python3
"""Cross-check of both programs' CIF readers against gemmi.

For every CIF under the given directories, the expanded cell that kelmar.x prints
(--print-cell) and the one NARO.x prints (--print-all-sites) must hold the same
atoms as the cell gemmi builds from the same file: the same number of positions
per element and the same summed occupancy per element. A program may instead
refuse a file, with an "Error:" line that names the reason (not only the chain
of "... returns ..." lines).

The reference: gemmi's CIF tokenizer reads the file; the structure block is the
first one with a cell and a site loop that is not a superspace description; the
sites are gemmi's small-structure sites (element from the type symbol, else from
the label; a coordinate written as a fraction such as 3/4 is divided out here,
gemmi gives NaN for it); the operations are the file's list completed to a group
by gemmi (GroupOps.add_missing_elements), else gemmi's setting for the H-M
symbol, the Hall symbol or the number. Images of one site closer than 0.1 A are
one position (the programs' site tolerance; gemmi's own expansion uses 0.4 A and
would merge split positions of disordered sites). Where gemmi's plain
get_all_unit_cell_sites() gives another count, the table says so.

Usage: cif_crosscheck.py --kelmar PATH --naro PATH [--quiet] DIR_OR_FILE...
Exit status 0 when every file agrees or is refused with a reason.
"""

import argparse
import math
import os
import re
import subprocess
import sys
import tempfile

import gemmi

TOL = 0.1  # angstrom

ELEMENTS = set("""H He Li Be B C N O F Ne Na Mg Al Si P S Cl Ar K Ca Sc Ti V Cr Mn Fe Co Ni Cu
Zn Ga Ge As Se Br Kr Rb Sr Y Zr Nb Mo Tc Ru Rh Pd Ag Cd In Sn Sb Te I Xe Cs Ba La Ce Pr Nd
Pm Sm Eu Gd Tb Dy Ho Er Tm Yb Lu Hf Ta W Re Os Ir Pt Au Hg Tl Pb Bi Po At Rn Fr Ra Ac Th Pa
U Np Pu Am Cm Bk Cf Es Fm Md No Lr D""".split())


WATER = [("h2o", "O"), ("oh2", "O"), ("wat", "O"), ("hwa", "H"), ("oh", "O"), ("ow", "O"), ("hw", "H")]


def water_element(text):
    """Element of a water or hydroxide name (Wat1, WatII, OW, Hwa, HW; types OH, OH2), as both
    programs read them; None for other texts."""
    low = (text or "").lower()
    for name, el in WATER:
        if low.startswith(name) and not (len(text) > len(name) and text[len(name)].islower()):
            return el
    return None


def element_of(text):
    """Element a type symbol or label starts with (two letters when they form one)."""
    m = re.search(r"[A-Za-z]", text or "")
    if not m:
        return None
    s = text[m.start():]
    if len(s) > 1 and s[1].isalpha() and (s[0].upper() + s[1].lower()) in ELEMENTS:
        return s[0].upper() + s[1].lower()
    return s[0].upper() if s[0].upper() in ELEMENTS else None


def number(v):
    v = re.sub(r"\(.*$", "", v)
    if "/" in v:
        a, b = v.split("/", 1)
        return float(a) / float(b)
    return float(v)


def canonical(tag):
    return tag.lower().replace(".", "_")


def block_value(block, tags):
    for item in block:
        if item.pair is not None and canonical(item.pair[0]) in tags:
            v = gemmi.cif.as_string(item.pair[1])
            if v.strip() and v not in ("?", "."):
                return v
    return None


def block_loop(block, tag):
    for item in block:
        if item.loop is not None:
            tags = [canonical(t) for t in item.loop.tags]
            if tag in tags:
                w = len(tags)
                vals = list(item.loop.values)
                rows = [vals[i:i + w] for i in range(0, len(vals), w)]
                return tags, rows
    return None


def is_superspace(block):
    return (block_value(block, {"_space_group_ssg_name"}) is not None
            or block_loop(block, "_space_group_symop_ssg_operation_algebraic") is not None)


def structure_block(doc):
    for b in doc:
        if block_value(b, {"_cell_length_a"}) and block_loop(b, "_atom_site_fract_x") and not is_superspace(b):
            return b
    return None


def reference_ops(block):
    for tag in ("_symmetry_equiv_pos_as_xyz", "_space_group_symop_operation_xyz"):
        lp = block_loop(block, tag)
        if lp:
            col = lp[0].index(tag)
            ops = gemmi.GroupOps([gemmi.Op(gemmi.cif.as_string(r[col]).replace(" ", "")) for r in lp[1]])
            ops.add_missing_elements()
            return ops
    hm = block_value(block, {"_symmetry_space_group_name_h-m", "_space_group_name_h-m_alt"})
    if hm:
        # Both programs read a bare symbol of a group with two origins in origin choice 2.
        sg = None
        if ":" not in hm:
            sg = gemmi.find_spacegroup_by_name(hm.strip() + ":2")
        sg = sg or gemmi.find_spacegroup_by_name(hm)
        if sg:
            return sg.operations()
    hall = block_value(block, {"_symmetry_space_group_name_hall", "_space_group_name_hall"})
    if hall:
        try:
            return gemmi.symops_from_hall(hall)
        except Exception:
            pass
    num = block_value(block, {"_symmetry_int_tables_number", "_space_group_it_number"})
    if num:
        sg = gemmi.find_spacegroup_by_number(int(re.sub(r"\(.*", "", num)))
        if sg:
            return sg.operations()
    return None


def reference(path):
    """(per-element position count, per-element occupancy sum, note) or None with a note."""
    try:
        doc = gemmi.cif.read(path)
    except Exception as e:
        return None, "gemmi cannot read it: %s" % str(e).splitlines()[0][:80]
    block = structure_block(doc)
    if block is None:
        return None, "gemmi finds no 3D structure block"
    st = gemmi.make_small_structure_from_block(block)
    ops = reference_ops(block)
    if ops is None:
        return None, "gemmi finds no symmetry"
    lp = block_loop(block, "_atom_site_fract_x")
    tags, rows = lp
    col = {t: tags.index(t) for t in tags}
    cell = st.cell
    count, occ = {}, {}
    plain = 0
    for site, row in zip(st.sites, rows):
        try:
            f = [number(gemmi.cif.as_string(row[col["_atom_site_fract_" + a]])) for a in "xyz"]
        except (ValueError, KeyError):
            return None, "gemmi: unreadable coordinate"
        el = site.element.name if site.element.name != "X" else None
        # water and hydroxide names: the programs' rule, not gemmi's first letters (WatII is no W)
        water = water_element(site.type_symbol) if site.type_symbol else water_element(site.label)
        if water is not None and not (site.type_symbol and element_of(site.type_symbol) == site.type_symbol):
            el = water
        if el is None:
            el = element_of(site.type_symbol) or element_of(site.label)
        if el is None:
            return None, "no element for site %s" % site.label
        kept = []
        for op in ops:
            p = [v % 1.0 for v in op.apply_to_xyz(f)]
            if any(cell.orthogonalize(gemmi.Fractional(*[(a - b) - round(a - b) for a, b in zip(p, q)])).length()
                   < TOL for q in kept):
                continue
            kept.append(p)
        count[el] = count.get(el, 0) + len(kept)
        occ[el] = occ.get(el, 0.0) + len(kept) * site.occ
    note = ""
    try:
        if not any(math.isnan(s.fract.x) for s in st.sites):
            st.setup_cell_images()
            plain = len(st.get_all_unit_cell_sites())
            if plain != sum(count.values()):
                note = "gemmi at 0.4 A: %d" % plain
    except Exception:
        pass
    return (count, occ), note


def positions(atoms):
    """Distinct positions per element and occupancy sums from (element, x, y, z, occ) rows."""
    seen, count, occ = {}, {}, {}
    for el, x, y, z, o in atoms:
        key = (el, round(x % 1.0, 2) % 1.0, round(y % 1.0, 2) % 1.0, round(z % 1.0, 2) % 1.0)
        occ[el] = occ.get(el, 0.0) + o
        if key in seen:
            continue
        seen[key] = 1
        count[el] = count.get(el, 0) + 1
    return count, occ


def run(cmd, cwd):
    p = subprocess.run(cmd, cwd=cwd, capture_output=True, text=True, errors="replace", timeout=120)
    return p.returncode, p.stdout, p.stderr


def refusal_reason(err):
    lines = [l for l in err.splitlines() if l.startswith("Error:") and "returns" not in l]
    return lines[0] if lines else None


def kelmar_cell(exe, path, tmp):
    rc, out, err = run([exe, "--print-cell", path], tmp)
    atoms = []
    for m in re.finditer(r"type=\s*(\w+);os=\s*-?\d+;x_f=\(([-\d.]+),([-\d.]+),([-\d.]+)\);occ=([-\d.]+)", out):
        atoms.append((m.group(1), float(m.group(2)), float(m.group(3)), float(m.group(4)), float(m.group(5))))
    if rc != 0 or not atoms:
        return None, refusal_reason(err)
    return positions(atoms), None


def naro_cell(exe, path, tmp):
    rc, out, err = run([exe, "--cif", path, "--print-all-sites"], tmp)
    errfile = os.path.join(tmp, "NARO_error.txt")
    if os.path.exists(errfile):
        err += open(errfile, errors="replace").read()
    atoms = []
    rows = out.split("_atom_site_occupancy\n", 1)
    if rc == 0 and len(rows) == 2:
        for line in rows[1].splitlines():
            t = line.split()
            if len(t) != 8:
                break
            el = element_of(t[1]) if t[1] != "." else element_of(t[0])
            atoms.append((el, float(t[4]), float(t[5]), float(t[6]), float(t[7])))
    if rc != 0 or not atoms:
        return None, refusal_reason(err)
    return positions(atoms), None


def same(ref, got):
    rc, ro = ref
    gc, go = got
    if rc != gc:
        return False
    return all(abs(ro[e] - go.get(e, 0.0)) < 2e-3 * max(1, rc[e]) + 2e-3 for e in ro)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--kelmar")
    ap.add_argument("--naro")
    ap.add_argument("--quiet", action="store_true")
    ap.add_argument("paths", nargs="+")
    a = ap.parse_args()
    files = []
    for p in a.paths:
        if os.path.isdir(p):
            for root, _, names in os.walk(p):
                files += [os.path.join(root, n) for n in names if n.lower().endswith(".cif")]
        else:
            files.append(p)
    files.sort()
    progs = [(n, e, f) for n, e, f in (("kelmar", a.kelmar, kelmar_cell), ("NARO", a.naro, naro_cell)) if e]
    tally = {n: {"read": 0, "agree": 0, "refused": 0, "silent": 0, "comparable": 0} for n, _, _ in progs}
    bad = 0
    for path in files:
        ref, note = reference(path)
        cols = []
        for name, exe, fn in progs:
            t = tally[name]
            with tempfile.TemporaryDirectory() as tmp:
                got, reason = fn(os.path.abspath(exe), os.path.abspath(path), tmp)
            if got is None:
                if reason is None:
                    t["silent"] += 1
                    bad += 1
                    cols.append("%s: FAILED WITHOUT A REASON" % name)
                else:
                    t["refused"] += 1
                    cols.append("%s: refused (%s)" % (name, reason[7:60]))
                continue
            t["read"] += 1
            if ref is None:
                cols.append("%s: %d atoms" % (name, sum(got[0].values())))
                continue
            t["comparable"] += 1
            if same(ref, got):
                t["agree"] += 1
                cols.append("%s: agrees (%d)" % (name, sum(got[0].values())))
            else:
                bad += 1
                cols.append("%s: DIFFERS %s vs gemmi %s" % (name, dict(sorted(got[0].items())),
                                                             dict(sorted(ref[0].items()))))
        if not a.quiet or any("DIFFERS" in c or "WITHOUT" in c for c in cols):
            print("%-50s gemmi %s | %s" % (os.path.relpath(path)[-50:],
                                           ("%d" % sum(ref[0].values())) if ref else "-",
                                           " | ".join(cols) + ((" [" + note + "]") if note else "")))
    print("%d CIF files" % len(files))
    for name, t in tally.items():
        print("%s: read %d of %d, refused with a reason %d, failed silently %d; composition agrees with gemmi on "
              "%d of %d comparable files" % (name, t["read"], len(files), t["refused"], t["silent"], t["agree"],
                                             t["comparable"]))
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
