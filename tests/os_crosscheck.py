#!/usr/bin/python3
"""Oxidation states inferred by kelmar.x against the states a CIF gives, and against
pymatgen's BVAnalyzer.

For every CIF under the given directories whose sites all carry an oxidation state
(type symbols such as Li1+ and O2-, or an _atom_type loop), the states are removed
(the type loop goes, type symbols lose their charge) and kelmar.x --gen-cif writes the
states it settles on. Per file, the states kelmar.x writes per site label must equal the
given ones. Where pymatgen's BVAnalyzer answers for the stripped structure, its states
are compared with the given ones too (a reference, not a requirement).

Usage: os_crosscheck.py --kelmar PATH [--min-agreement 0.95] DIR_OR_FILE...
Exit status 0 when kelmar.x agrees on at least the given fraction of the files, 77
when pymatgen is missing.
"""

import argparse
import os
import re
import subprocess
import sys
import tempfile

try:
    import gemmi
except ImportError:
    sys.exit(77)

CHARGED = re.compile(r"(^|\s)([A-Z][a-z]?)[0-9.]*[+-](?=\s|$)")


def strip_states(text):
    lines = text.splitlines()
    out, i = [], 0
    while i < len(lines):
        if "loop_" in lines[i] and i + 1 < len(lines) and "_atom_type_" in lines[i + 1]:
            k = i + 1
            while k < len(lines) and "loop_" not in lines[k] and "_atom_site" not in lines[k]:
                k += 1
            i = k
            continue
        if "_atom_type_oxidation_number" in lines[i]:
            i += 1
            continue
        out.append(CHARGED.sub(r"\1\2", lines[i]))
        i += 1
    return "\n".join(out) + "\n"


def given_states(path):
    """label -> state from the file, or None when some site has none."""
    doc = gemmi.cif.read_file(path)
    block = doc.sole_block() if len(doc) == 1 else doc[0]
    types = {}
    t = block.find(["_atom_type_symbol", "_atom_type_oxidation_number"])
    for row in t:
        try:
            types[row.str(0)] = float(row.str(1))
        except ValueError:
            pass
    states = {}
    s = block.find(["_atom_site_label", "_atom_site_type_symbol"])
    if not s:
        return None
    for row in s:
        sym = row.str(1)
        element = re.match(r"^[A-Z][a-z]?", sym)
        if element is None:
            return None
        if sym in types:
            states[row.str(0)] = (element.group(0), round(types[sym]))
            continue
        m = re.match(r"^([A-Z][a-z]?)([0-9.]*)([+-])$", sym)
        if not m:
            return None
        n = float(m.group(2)) if m.group(2) else 1.0
        states[row.str(0)] = (element.group(0), round(n if m.group(3) == "+" else -n))
    return states


def kelmar_states(kelmar, stripped_text, work):
    src = os.path.join(work, "in.cif")
    with open(src, "w") as f:
        f.write(stripped_text)
    out = os.path.join(work, "out.cif")
    if os.path.exists(out):
        os.remove(out)
    subprocess.run([kelmar, "--gen-cif", "in.cif", "out.cif"], cwd=work, capture_output=True, timeout=600)
    if not os.path.exists(out):
        return None
    states = {}
    doc = gemmi.cif.read_file(out)
    for row in doc[0].find(["_atom_site_label", "_atom_site_type_symbol"]):
        m = re.match(r"^([A-Z][a-z]?)([0-9]+)([+-])$", row.str(1))
        if m:
            states[row.str(0)] = int(m.group(2)) * (1 if m.group(3) == "+" else -1)
    return states


def bvanalyzer_states(path):
    try:
        import warnings

        from pymatgen.analysis.bond_valence import BVAnalyzer
        from pymatgen.core import Structure
    except ImportError:
        return None
    try:
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            st = Structure.from_file(path)
            st.remove_oxidation_states()
            valences = BVAnalyzer().get_valences(st)
    except Exception:
        return None
    by_element = {}
    for site, v in zip(st, valences):
        for sp in site.species:  # a valence per site, also for a mixed site
            by_element.setdefault(sp.symbol, set()).add(round(v))
    return by_element


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--kelmar", required=True)
    ap.add_argument("--min-agreement", type=float, default=0.95)
    ap.add_argument("--pymatgen", action="store_true", help="also compare with pymatgen's BVAnalyzer")
    ap.add_argument("paths", nargs="+")
    a = ap.parse_args()
    # the states the data file beside kelmar.x lists: a given state outside it cannot be inferred
    listed = set()
    with open(os.path.join(os.path.dirname(os.path.abspath(a.kelmar)), "database_unitary.dat")) as f:
        started = False
        for line in f:
            if line.startswith("DATA_START"):
                started = True
            elif started and len(line.split()) >= 3:
                w = line.split()
                listed.add((w[1], int(w[2])))
    files = []
    for p in a.paths:
        if os.path.isdir(p):
            for root, _, names in os.walk(p):
                files += [os.path.join(root, n) for n in sorted(names) if n.endswith(".cif")]
        else:
            files.append(p)
    total = same = bv_answers = bv_same = 0
    misses = []
    unlisted = []
    with tempfile.TemporaryDirectory() as work:
        for path in files:
            try:
                given = given_states(path)
            except Exception:
                given = None
            if not given:
                continue
            with open(path, errors="replace") as f:
                stripped = strip_states(f.read())
            if not all(state in listed for state in given.values()):
                unlisted.append(os.path.basename(path))
                continue
            got = kelmar_states(a.kelmar, stripped, work)
            total += 1
            ok = got is not None and all(got.get(label) == s for label, (_, s) in given.items())
            same += ok
            if not ok:
                misses.append(os.path.basename(path))
            if a.pymatgen:
                bv = bvanalyzer_states(path)
                if bv is not None:
                    bv_answers += 1
                    want = {}
                    for element, state in given.values():
                        want.setdefault(element, set()).add(state)
                    bv_same += bv == want
    print("kelmar.x recovers the given states in %d of %d files%s" %
          (same, total, (": misses " + " ".join(misses)) if misses else ""))
    if unlisted:
        print("%d files give a state the data file does not list: %s" % (len(unlisted), " ".join(unlisted)))
    if a.pymatgen:
        print("pymatgen BVAnalyzer answers for %d of %d files and agrees on %d" % (bv_answers, total, bv_same))
    if total == 0:
        return 0
    return 0 if same >= a.min_agreement * total else 1


if __name__ == "__main__":
    sys.exit(main())
