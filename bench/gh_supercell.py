#!/usr/bin/python3
"""Writes a supercell landscape for timing --sites and --gh on many saddles.

    bench/gh_supercell.py IN.cif IN.cube N1 N2 N3 OUT

reads a structure and its landscape (from kelmar.x --gen-cube), repeats both N1 x N2 x N3 times
and writes OUT.cif (P1, every site of the cell with its occupancy, typed with the oxidation states
the landscape's first line lists) and OUT.cube (the landscape values tiled, no atom records). The tiled landscape is the same periodic field, so the
supercell has N1 N2 N3 times the minima and saddles of the cell, which is what the timing needs.
"""
import sys

import gemmi
import numpy as np


def read_cube(name):
    with open(name) as f:
        head = [f.readline() for _ in range(6)]
        natoms = abs(int(head[2].split()[0]))
        n = [int(head[3 + r].split()[0]) for r in range(3)]
        for _ in range(natoms):
            f.readline()
        values = np.loadtxt(f, dtype=float).reshape(n)
    return head, values


def write_cube(name, head, values, reps):
    n = values.shape
    tiled = np.tile(values, reps)
    with open(name, "w", newline="") as f:
        f.write(head[0].rstrip("\r\n") + "\r\n")
        f.write("supercell %d x %d x %d\r\n" % tuple(reps))
        origin = head[2].split()[1:4]
        f.write(" %4d %s\r\n" % (0, " ".join(origin)))
        for r in range(3):
            parts = head[3 + r].split()
            f.write(" %4d %s\r\n" % (n[r] * reps[r], " ".join(parts[1:4])))
        np.savetxt(f, tiled.reshape(-1), fmt="%12.6f", newline="\r\n")


def states_of(head):
    """Element -> species with its charge, from a first line like "La3+:24.000 Li1+:47.664"."""
    species = {}
    for item in head[0].split():
        symbol = item.split(":")[0]
        element = symbol.rstrip("0123456789+-")
        species[element] = symbol
    return species


def write_cif(name, small, reps, species):
    cell = small.cell
    sites = small.get_all_unit_cell_sites()
    out = ["data_supercell", "_symmetry_space_group_name_H-M   'P 1'",
           "_cell_length_a %.6f" % (cell.a * reps[0]), "_cell_length_b %.6f" % (cell.b * reps[1]),
           "_cell_length_c %.6f" % (cell.c * reps[2]), "_cell_angle_alpha %.6f" % cell.alpha,
           "_cell_angle_beta %.6f" % cell.beta, "_cell_angle_gamma %.6f" % cell.gamma,
           "loop_", "_symmetry_equiv_pos_as_xyz", "'x, y, z'",
           "loop_", "_atom_site_type_symbol", "_atom_site_label", "_atom_site_fract_x",
           "_atom_site_fract_y", "_atom_site_fract_z", "_atom_site_occupancy"]
    for i in range(reps[0]):
        for j in range(reps[1]):
            for k in range(reps[2]):
                for s in sites:
                    symbol = species.get(s.element.name, s.type_symbol)
                    out.append("%s %s %.6f %.6f %.6f %.4f" % (
                        symbol, s.label, (s.fract.x % 1 + i) / reps[0], (s.fract.y % 1 + j) / reps[1],
                        (s.fract.z % 1 + k) / reps[2], s.occ))
    with open(name, "w") as f:
        f.write("\n".join(out) + "\n")


def main():
    if len(sys.argv) != 7:
        sys.exit(__doc__)
    reps = [int(v) for v in sys.argv[3:6]]
    head, values = read_cube(sys.argv[2])
    write_cube(sys.argv[6] + ".cube", head, values, reps)
    write_cif(sys.argv[6] + ".cif", gemmi.read_small_structure(sys.argv[1]), reps, states_of(head))


if __name__ == "__main__":
    main()
