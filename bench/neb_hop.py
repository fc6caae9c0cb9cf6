#!/usr/bin/python3
"""Writes the end structures of the band benchmark: a 2 x 2 x 2 Li2O supercell (a = 4.61 A) with a
Schottky defect (two Li and one O removed, 93 atoms, neutral) in which one Li hops into the
neighbouring Li vacancy. P1, unique labels, as --rx-neb needs them.

    bench/neb_hop.py DIR          # writes DIR/hop_a.cif and DIR/hop_b.cif
    cd DIR && time kelmar.x --rx-neb hop_a.cif hop_b.cif 7 0 -1 t -0.1 0.75
"""
import os
import sys


def structure(hopped):
    n, a = 2, 4.61
    o = [(0, 0, 0), (0, .5, .5), (.5, 0, .5), (.5, .5, 0)]
    li = [(x, y, z) for x in (.25, .75) for y in (.25, .75) for z in (.25, .75)]
    rows = []
    for i in range(n):
        for j in range(n):
            for k in range(n):
                for t, sites in (("O", o), ("Li", li)):
                    for p in sites:
                        rows.append([t, ((p[0] + i) / n, (p[1] + j) / n, (p[2] + k) / n)])

    def find(t, pos):
        return next(r for r in rows if r[0] == t and all(abs(r[1][c] - pos[c]) < 1e-6 for c in range(3)))

    rows.remove(find("Li", (0.375, 0.125, 0.125)))  # the vacancy the Li hops into
    rows.remove(find("Li", (0.875, 0.875, 0.875)))
    rows.remove(find("O", (0.75, 0.75, 0.5)))
    if hopped:
        find("Li", (0.125, 0.125, 0.125))[1] = (0.375, 0.125, 0.125)
    out = ["data_hop"] + ["_cell_length_%s %.3f" % (x, a * n) for x in "abc"]
    out += ["_cell_angle_%s 90" % x for x in ("alpha", "beta", "gamma")]
    out += ["_symmetry_space_group_name_H-M 'P 1'", "loop_", "_symmetry_equiv_pos_as_xyz", "'x, y, z'", "loop_",
            "_atom_site_label", "_atom_site_type_symbol", "_atom_site_fract_x", "_atom_site_fract_y",
            "_atom_site_fract_z", "_atom_site_occupancy"]
    count = {}
    for t, p in rows:
        count[t] = count.get(t, 0) + 1
        out.append("%s%d %s %.5f %.5f %.5f 1.0" % (t, count[t], t, p[0], p[1], p[2]))
    return "\n".join(out) + "\n"


if __name__ == "__main__":
    d = sys.argv[1] if len(sys.argv) > 1 else "."
    for name, hopped in (("hop_a.cif", False), ("hop_b.cif", True)):
        with open(os.path.join(d, name), "w") as f:
            f.write(structure(hopped))
