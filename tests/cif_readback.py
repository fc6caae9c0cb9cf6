#!/usr/bin/python3
"""Reads CIF files written by kelmar.x or NARO.x back with ASE and with gemmi.

Each file must be readable by both, and both must build the same number of atoms
per element from it (ASE from its space-group name and operations, gemmi from
its operations). Exit status 0 when every file passes, 1 otherwise, 77 when
Debian's python3-ase or python3-gemmi is missing.

Usage: cif_readback.py FILE...
"""

import collections
import sys

try:
    import gemmi
    from ase.io import read as ase_read
except ImportError:
    sys.exit(77)


def gemmi_counts(path):
    st = gemmi.read_small_structure(path)
    counts = collections.Counter()
    for site in st.get_all_unit_cell_sites():
        counts[site.element.name] += 1
    return st.spacegroup_hm, counts


def ase_counts(path):
    atoms = ase_read(path, format="cif")
    return collections.Counter(atoms.get_chemical_symbols())


def main(paths):
    bad = 0
    for path in paths:
        try:
            hm, g = gemmi_counts(path)
            a = ase_counts(path)
        except Exception as e:  # a file another program cannot read fails the check
            print("%s: not read back: %s" % (path, e))
            bad += 1
            continue
        if g != a:
            print("%s: gemmi %s (%s), ASE %s" % (path, dict(g), hm, dict(a)))
            bad += 1
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
