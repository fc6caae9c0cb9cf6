"""Conversions between kelmar structures and pymatgen / ASE objects.

Structures go in as CIF text (P1, every atom of the cell) read by kelmar's own CIF reader, so that a
structure from pymatgen or ASE is handled exactly as the same CIF file would be.
"""
from __future__ import annotations

import math
from typing import Any, Dict, List, Optional, Sequence, Tuple

import numpy as np

_STATE_TOL = 1e-8


def _state_text(state: float) -> str:
    n = int(round(state))
    return f"{abs(n)}{'+' if n > 0 else '-'}" if n != 0 else "0"


def _check_finite(what: str, values) -> None:
    if not np.all(np.isfinite(np.asarray(values, dtype=float))):
        raise ValueError(f"{what} holds a value that is not a finite number")


def cif_text(lattice: np.ndarray, rows: Sequence[Tuple[str, Sequence[float], float, Optional[int]]],
             name: str = "structure") -> str:
    """P1 CIF text of a cell (rows of lattice vectors, angstrom) and its atoms
    (element, fractional position, occupancy, oxidation state or None)."""
    lattice = np.asarray(lattice, dtype=float)
    _check_finite("the lattice", lattice)
    if not rows:
        raise ValueError("the structure holds no atom")
    lengths = np.linalg.norm(lattice, axis=1)
    if np.any(lengths <= 0) or abs(np.linalg.det(lattice)) < 1e-6:
        raise ValueError("the lattice is degenerate")

    def angle(u, v):
        return math.degrees(math.acos(max(-1.0, min(1.0, float(np.dot(u, v) / (np.linalg.norm(u) * np.linalg.norm(v)))))))

    alpha, beta, gamma = angle(lattice[1], lattice[2]), angle(lattice[0], lattice[2]), angle(lattice[0], lattice[1])
    with_states = any(r[3] is not None for r in rows)
    if with_states and any(r[3] is None for r in rows):
        raise ValueError("oxidation states are set on some sites only")
    safe = "".join(c for c in name if c.isalnum() or c in "_-") or "structure"
    out = [f"data_{safe}",
           f"_cell_length_a {lengths[0]:.10f}", f"_cell_length_b {lengths[1]:.10f}",
           f"_cell_length_c {lengths[2]:.10f}", f"_cell_angle_alpha {alpha:.10f}",
           f"_cell_angle_beta {beta:.10f}", f"_cell_angle_gamma {gamma:.10f}",
           "_symmetry_space_group_name_H-M 'P 1'", "_symmetry_Int_Tables_number 1",
           "loop_", "_symmetry_equiv_pos_site_id", "_symmetry_equiv_pos_as_xyz", "1 'x, y, z'"]
    # formula units: the greatest common divisor of the element counts, when they are whole
    totals: Dict[str, float] = {}
    for element, _, occ, _ in rows:
        totals[element] = totals.get(element, 0.0) + float(occ)
    if all(abs(t - round(t)) < 1e-6 and round(t) > 0 for t in totals.values()):
        out.append(f"_cell_formula_units_Z {math.gcd(*(int(round(t)) for t in totals.values()))}")
    types: Dict[str, int] = {}
    atoms = []
    count: Dict[str, int] = {}
    for element, frac, occ, state in rows:
        _check_finite(f"the position of a {element} site", frac)
        if not (math.isfinite(occ) and 0.0 < occ <= 1.0 + 1e-6):
            raise ValueError(f"the occupancy {occ} of a {element} site is not in (0, 1]")
        symbol = element
        if with_states:
            if abs(state - round(state)) > _STATE_TOL:
                raise ValueError(f"the oxidation state {state} of {element} is not a whole number")
            symbol = element + _state_text(state)
            types[symbol] = int(round(state))
        count[element] = count.get(element, 0) + 1
        atoms.append(f"{symbol} {element}{count[element]} {frac[0]:.10f} {frac[1]:.10f} {frac[2]:.10f} {occ:.8f}")
    if with_states:
        out += ["loop_", "_atom_type_symbol", "_atom_type_oxidation_number"]
        out += [f"{s} {v:d}" for s, v in types.items()]
    out += ["loop_", "_atom_site_type_symbol", "_atom_site_label", "_atom_site_fract_x",
            "_atom_site_fract_y", "_atom_site_fract_z", "_atom_site_occupancy"]
    out += atoms
    return "\n".join(out) + "\n"


# --- pymatgen ---------------------------------------------------------------------------------

def cif_text_from_pymatgen(structure: Any) -> str:
    from pymatgen.core import Element
    rows = []
    for site in structure:
        for sp, occ in site.species.items():
            el = sp.symbol if not isinstance(sp, Element) else sp.symbol
            state = getattr(sp, "oxi_state", None)
            rows.append((el, site.frac_coords, float(occ), None if state is None else float(state)))
    return cif_text(structure.lattice.matrix, rows, structure.composition.reduced_formula)


def _groups(frac: np.ndarray) -> List[List[int]]:
    """Atoms at the same place (periodic, 1e-4 in fractions) in groups, first appearance order."""
    groups: List[List[int]] = []
    firsts: List[np.ndarray] = []
    for i, f in enumerate(frac):
        for g, f0 in zip(groups, firsts):
            d = f - f0
            d -= np.round(d)
            if np.all(np.abs(d) < 1e-4):
                g.append(i)
                break
        else:
            groups.append([i])
            firsts.append(f)
    return groups


def to_pymatgen(sites: Dict[str, Any], oxidation_states: bool):
    from pymatgen.core import Lattice, Species, Structure, Element
    frac = np.asarray(sites["frac"])
    species, coords, labels = [], [], []
    for g in _groups(frac):
        comp = {}
        for i in g:
            el = sites["element"][i]
            sp = Species(el, int(sites["state"][i])) if oxidation_states else Element(el)
            comp[sp] = comp.get(sp, 0.0) + float(sites["occupancy"][i])
        species.append(comp)
        coords.append(frac[g[0]])
        labels.append(sites["label"][g[0]])
    return Structure(Lattice(np.asarray(sites["lattice"])), species, coords,
                     site_properties={"label": labels})


# --- ASE --------------------------------------------------------------------------------------

def cif_text_from_ase(atoms: Any) -> str:
    if len(atoms) == 0:
        raise ValueError("the structure holds no atom")
    if not all(atoms.pbc):
        raise ValueError("the structure must be periodic along all three axes")
    frac = atoms.get_scaled_positions(wrap=False)
    charges = atoms.get_initial_charges()
    with_states = bool(np.any(np.abs(charges) > 0))
    occupancy = atoms.info.get("occupancy") or {}
    site_states = atoms.info.get("kelmar_states") or {}
    # ase.io's CIF reader keys the occupancies by the site kind of each atom
    tags = atoms.arrays["spacegroup_kinds"] if "spacegroup_kinds" in atoms.arrays else atoms.get_tags()
    rows = []
    for i, atom in enumerate(atoms):
        tag = str(tags[i])
        occ = occupancy.get(tag) if occupancy else None
        if occ:
            for el, o in occ.items():
                st = site_states.get(tag, {}).get(el, charges[i]) if with_states else None
                rows.append((el, frac[i], float(o), None if st is None else float(st)))
        else:
            rows.append((atom.symbol, frac[i], 1.0, float(charges[i]) if with_states else None))
    return cif_text(atoms.cell.array, rows, atoms.get_chemical_formula())


def to_ase(sites: Dict[str, Any], oxidation_states: bool):
    from ase import Atoms
    frac = np.asarray(sites["frac"])
    symbols, positions, tags, charges = [], [], [], []
    occupancy: Dict[str, Dict[str, float]] = {}
    states: Dict[str, Dict[str, int]] = {}
    for t, g in enumerate(_groups(frac)):
        main = max(g, key=lambda i: sites["occupancy"][i])
        symbols.append(sites["element"][main])
        positions.append(frac[g[0]])
        tags.append(t)
        charges.append(float(sites["state"][main]) if oxidation_states else 0.0)
        occ: Dict[str, float] = {}
        for i in g:
            el = sites["element"][i]
            occ[el] = occ.get(el, 0.0) + float(sites["occupancy"][i])
            states.setdefault(str(t), {})[el] = int(sites["state"][i])
        occupancy[str(t)] = occ
    atoms = Atoms(symbols=symbols, scaled_positions=positions, cell=np.asarray(sites["lattice"]), pbc=True,
                  tags=tags, charges=charges)
    atoms.set_array("spacegroup_kinds", np.asarray(tags, dtype=int))
    atoms.info["occupancy"] = occupancy
    if oxidation_states:
        atoms.info["kelmar_states"] = states
    return atoms
