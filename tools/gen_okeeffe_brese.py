#!/usr/bin/python3
"""Copy the per-element bond-valence constants of O'Keeffe and Brese into
data/sources/okeeffe_brese_1991.csv.

Usage:  /usr/bin/python3 tools/gen_okeeffe_brese.py

Source: M. O'Keeffe and N. E. Brese, "Atom sizes and bond lengths in
molecules and crystals", J. Am. Chem. Soc. 113, 3226-3229 (1991), as bundled
(MIT licence) with Debian's python3-pymatgen in
pymatgen/analysis/bvparam_1991.yaml: per element a size parameter r
(angstrom) and an electronegativity parameter c. The bond-valence parameter
of a bond i-j with b = 0.37 angstrom is then
    R0 = r_i + r_j - r_i r_j (sqrt(c_i) - sqrt(c_j))^2 / (c_i r_i + c_j r_j)
(the same expression pymatgen's bond_valence.calculate_bv_sum evaluates).
tools/gen_parameter_data.py reads the CSV with the standard library only.
"""

import os

import yaml

SOURCE = "/usr/lib/python3/dist-packages/pymatgen/analysis/bvparam_1991.yaml"
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUT = os.path.join(ROOT, "data", "sources", "okeeffe_brese_1991.csv")


def main():
    with open(SOURCE) as f:
        table = yaml.safe_load(f)
    with open(OUT, "w", newline="\n") as f:
        f.write("element,r_A,c\n")
        for element in sorted(table):
            v = table[element]
            f.write("%s,%.2f,%.2f\n" % (element, float(v["r"]), float(v["c"])))
    print("wrote %s (%d elements)" % (OUT, len(table)))


if __name__ == "__main__":
    main()
