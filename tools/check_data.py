#!/usr/bin/python3
"""Cross-check the three data files against the way kelmar.x and NARO.x read
them, and database_symcards.dat against gemmi.

Usage:  /usr/bin/python3 tools/check_data.py     (exit status 1 on any problem)

kelmar.x looks a setting up by the first record whose H-M line (or Hall
line, or number line) contains the keyword as a substring; NARO.x takes the
first record whose H-M line, split at single quotes, has a piece equal to
the symbol with its blanks removed. Both must land on the setting that the
symbol names.
"""

import csv
import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DATA = os.path.join(ROOT, "data")
problems = []
notes = []


def problem(msg):
    problems.append(msg)


def data_lines(path):
    """Lines after the first one containing DATA_START, up to DATA_END."""
    with open(path, "rb") as f:
        lines = f.read().decode("ascii").split("\n")
    for i, l in enumerate(lines):
        if "DATA_START" in l:
            break
    else:
        problem("%s: no DATA_START" % path)
        return []
    if not lines[i].startswith("DATA_START"):
        problem("%s: DATA_START does not start its line" % path)
    head = "\n".join(lines[:i])
    if "#" in head or "DATA_END" in head:
        problem("%s: header holds '#' or DATA_END" % path)
    out = []
    for l in lines[i + 1:]:
        if "DATA_END" in l:
            return out
        out.append(l)
    problem("%s: no DATA_END" % path)
    return out


def read_records(path):
    lines = data_lines(path)
    recs = []
    i = 0
    while i < len(lines):
        if lines[i].startswith("#"):
            number = int(lines[i + 1])
            hall = re.match(r"'([^'\n\r]{1,15})'", lines[i + 2]).group(1)
            hm_line = lines[i + 3]
            hm = re.match(r"'([^'\n\r]{1,15})'", hm_line).group(1)
            n = int(lines[i + 4])
            ops = lines[i + 5:i + 5 + n]
            recs.append(dict(number=number, number_line=lines[i + 1], hall=hall,
                             hall_line=lines[i + 2], hm=hm, hm_line=hm_line, ops=ops))
            i += 5 + n
        else:
            if lines[i].strip():
                problem("stray line in symcards data: %r" % lines[i])
            i += 1
    return recs


def kelmar_lookup(recs, key, field):
    for k, r in enumerate(recs):
        if key in r[field]:
            return k
    return None


def naro_normalise(symbol):
    return symbol.replace(" ", "").replace("'", "")


def naro_lookup(recs, symbol):
    s = naro_normalise(symbol)
    for k, r in enumerate(recs):
        if s in r["hm_line"].split("'"):
            return k
    return None


def opset(ops):
    import gemmi
    return frozenset(gemmi.Op(o).triplet() for o in ops)


def check_symcards():
    import gemmi
    recs = read_records(os.path.join(DATA, "database_symcards.dat"))
    if len(recs) != 559:
        problem("symcards: %d records, want 559" % len(recs))
    sets = [opset(r["ops"]) for r in recs]
    for k, r in enumerate(recs):
        g = gemmi.find_spacegroup_by_ops(gemmi.GroupOps([gemmi.Op(o) for o in r["ops"]]))
        if g is None or g.number != r["number"]:
            problem("record %d: operations are not group %d" % (k + 1, r["number"]))
        if len(set(r["ops"])) != len(r["ops"]):
            problem("record %d: repeated operations" % (k + 1))
    # number lookups
    for num in range(1, 231):
        k = kelmar_lookup(recs, str(num), "number_line")
        first = next(i for i, r in enumerate(recs) if r["number"] == num)
        if k != first:
            problem("number %d finds record %s, want %d" % (num, k, first + 1))
    # every spelling on every H-M line
    for k, r in enumerate(recs):
        for alias in r["hm_line"].split("'")[1::2]:
            kk = kelmar_lookup(recs, alias, "hm_line")
            if kk is None or sets[kk] != sets[k]:
                problem("kelmar: %r (record %d) finds record %s %s"
                        % (alias, k + 1, kk and kk + 1, kk is not None and recs[kk]["hm"]))
            kn = naro_lookup(recs, alias)
            if kn is not None and sets[kn] != sets[k] or kn is None and " " not in alias:
                problem("NARO: %r (record %d) finds record %s" % (alias, k + 1, kn and kn + 1))
        kn = naro_lookup(recs, r["hm"])
        if kn is not None and sets[kn] != sets[k]:
            problem("NARO: %r (record %d) finds record %d" % (r["hm"], k + 1, kn + 1))
        elif kn is None:
            notes.append("NARO: %r (record %d) has no blank-free spelling" % (r["hm"], k + 1))
        kh = kelmar_lookup(recs, r["hall"], "hall_line")
        if kh is None or sets[kh] != sets[k]:
            notes.append("kelmar Hall %r (record %d) finds record %s" % (r["hall"], k + 1, kh and kh + 1))
    # default settings
    for num, want in ((227, ":2"), (166, ":H"), (48, ":2"), (146, ":H")):
        first = next(r for r in recs if r["number"] == num)
        if not first["hm"].endswith(want):
            problem("first record of %d is %r" % (num, first["hm"]))
    return recs


def check_cif_symbols(recs):
    """Symbols as the structure files of tests/data write them."""
    seen = {}
    for sub in ("samples", "electrolytes"):
        d = os.path.join(ROOT, "tests", "data", sub)
        for name in sorted(os.listdir(d)):
            if not name.endswith(".cif"):
                continue
            text = open(os.path.join(d, name), errors="replace").read()
            m = re.search(r"^_symmetry_space_group_name_H-M\s+(.*)$", text, re.M)
            n = re.search(r"^_symmetry_Int_Tables_number\s+(\d+)", text, re.M)
            if m and n:
                v = m.group(1).strip()
                v = v[1:v.rindex("'")] if v.startswith("'") else v
                seen[v] = int(n.group(1))
    for sym, num in sorted(seen.items()):
        k = kelmar_lookup(recs, sym, "hm_line")
        kn = naro_lookup(recs, sym)
        first = next(i for i, r in enumerate(recs) if r["number"] == num)
        ok_k = k is not None and recs[k]["number"] == num
        ok_n = kn is not None and recs[kn]["number"] == num
        print("  %-10s (%3d): kelmar -> %-14s NARO -> %-14s first of number: %s%s"
              % (sym, num, k is not None and recs[k]["hm"], kn is not None and recs[kn]["hm"],
                 recs[first]["hm"], "" if ok_k and ok_n else "   <-- MISMATCH"))
        if not (ok_k and ok_n):
            problem("CIF symbol %r of group %d not matched" % (sym, num))


def check_parameters():
    sys.path.insert(0, os.path.join(ROOT, "tools"))
    import gen_parameter_data as gen

    with open(os.path.join(DATA, "sources", "unitary.csv"), newline="") as f:
        urows = list(csv.reader(f))[1:]
    lines = data_lines(os.path.join(DATA, "database_unitary.dat"))
    got = [l.split() for l in lines]
    # the source rows, unchanged and in order, plus the added species
    if [r for r in got if (r[1], int(r[2])) not in {(e, o) for e, o, *_ in gen.ADDED_SPECIES}] != urows:
        problem("database_unitary.dat differs from unitary.csv")
    for element, os_, *_ in gen.ADDED_SPECIES:
        mine = [r for r in got if r[1] == element]
        if not any(int(r[2]) == os_ for r in mine) or int(mine[0][2]) != int(mine[0][3]):
            problem("database_unitary.dat: %s(%d) missing or default row moved" % (element, os_))
    with open(os.path.join(DATA, "sources", "binary.csv"), newline="") as f:
        brows = [r[:8] for r in list(csv.reader(f))[1:]]
    lines = data_lines(os.path.join(DATA, "database_binary.dat"))
    got = [l.split() for l in lines]
    source_keys = {tuple(r[:4]) for r in brows}
    if [r for r in got if tuple(r[:4]) in source_keys] != brows:
        problem("database_binary.dat differs from binary.csv")
    if len({tuple(r[:4]) for r in got}) != len(got):
        problem("database_binary.dat holds a pair twice")
    # added pairs: recompute R0 from the O'Keeffe-Brese constants, and every cation with an oxide
    # pair and constants has its hydride and phosphide pair
    constants = gen.load_constants()
    added = {tuple(r[:4]): r for r in got if tuple(r[:4]) not in source_keys}
    for (anion, aos), _ in gen.OKEEFFE_BRESE_PAIRS:
        for r in brows:
            if r[2] != "O" or r[3] != "-2" or r[0] not in constants:
                continue
            a = added.get((r[0], r[1], anion, str(aos)))
            if a is None:
                problem("no %s(%s)-%s(%d) pair" % (r[0], r[1], anion, aos))
                continue
            r0 = gen.okeeffe_brese_r0(constants[r[0]], constants[anion])
            if abs(float(a[4]) - r0) > 6e-6 or a[5] != "0.370" or a[6] != r[6] or not float(a[7]) > 0:
                problem("pair %s differs from the O'Keeffe-Brese rule" % " ".join(a))
    for l in lines:
        if l.startswith(" ") or "\t" in l or len(l.split(" ")) < 8:
            problem("binary line not blank-separated from its first character: %r" % l)


def main():
    check_parameters()
    recs = check_symcards()
    check_cif_symbols(recs)
    for n in notes:
        print("note:", n)
    for p in problems:
        print("PROBLEM:", p)
    print("%d problem(s)" % len(problems))
    sys.exit(1 if problems else 0)


if __name__ == "__main__":
    main()
