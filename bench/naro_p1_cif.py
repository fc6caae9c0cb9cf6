#!/usr/bin/python3
"""Writes a CIF in P 1 holding every atom of the unit cell of a CIF with listed symmetry operations.

    bench/naro_p1_cif.py IN.cif OUT.cif

Used by naro_speed.sh: with no symmetry the analyser searches every grid point for stationary
points, the case of a structure drawn in a supercell.
"""
import sys

import gemmi

doc = gemmi.cif.read(sys.argv[1])
block = doc.sole_block()
ops = [gemmi.Op(s.strip("'\"")) for s in block.find_values('_symmetry_equiv_pos_as_xyz')]
table = block.find('_atom_site_', ['type_symbol', 'label', 'fract_x', 'fract_y', 'fract_z', 'occupancy'])
rows = []
for row in table:
    x, y, z = (gemmi.cif.as_number(row[k]) for k in (2, 3, 4))
    seen = []
    for op in ops:
        p = [v % 1.0 for v in op.apply_to_xyz([x, y, z])]
        if any(max(min(abs(a - b), 1 - abs(a - b)) for a, b in zip(p, q)) < 1e-4 for q in seen):
            continue
        seen.append(p)
        rows.append((row[0], '%s_%d' % (row[1], len(rows)), p, row[5]))
with open(sys.argv[2], 'w') as out:
    out.write('data_p1\n_symmetry_space_group_name_H-M   \'P 1\'\n')
    for key in ('_cell_length_a', '_cell_length_b', '_cell_length_c', '_cell_angle_alpha', '_cell_angle_beta',
                '_cell_angle_gamma'):
        out.write('%s   %s\n' % (key, block.find_value(key)))
    out.write("loop_\n _symmetry_equiv_pos_site_id\n _symmetry_equiv_pos_as_xyz\n  1  'x, y, z'\n")
    out.write('loop_\n _atom_type_symbol\n _atom_type_oxidation_number\n')
    for sym, ox in zip(block.find_values('_atom_type_symbol'), block.find_values('_atom_type_oxidation_number')):
        out.write('  %s  %s\n' % (sym, ox))
    out.write('loop_\n _atom_site_type_symbol\n _atom_site_label\n _atom_site_fract_x\n _atom_site_fract_y\n'
              ' _atom_site_fract_z\n _atom_site_occupancy\n')
    for sym, label, p, occ in rows:
        out.write('  %s  %s  %.8f  %.8f  %.8f  %s\n' % (sym, label, p[0], p[1], p[2], occ))
