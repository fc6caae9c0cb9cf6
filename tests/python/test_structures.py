"""Structures in and out (CIF, pymatgen, ASE), and bad input raising instead of crashing."""
import math

import numpy as np
import pytest

import kelmar
from conftest import DATA, EXAMPLES

# ordered with given states; shared sites (occupancies) with given states; no states at all
ROUND_TRIP = [EXAMPLES / "LiFePO4.cif", DATA / "electrolytes" / "iqt.cif", DATA / "electrolytes" / "gvd.cif"]


def rows(structure):
    """(element, state, occupancy, rounded position) of every atom, sorted."""
    s = structure.sites()
    frac = np.mod(np.round(np.asarray(s["frac"]), 6), 1.0)
    return sorted((e, int(st), round(float(o), 6), tuple(np.round(f, 5) % 1.0))
                  for e, st, o, f in zip(s["element"], s["state"], s["occupancy"], frac))


@pytest.mark.parametrize("path", ROUND_TRIP, ids=lambda p: p.stem)
def test_pymatgen_round_trip_keeps_species_positions_occupancies_states(path):
    s = kelmar.Structure.from_cif(path)
    pmg = s.to_pymatgen()
    back = kelmar.Structure.from_pymatgen(pmg)
    assert rows(back) == rows(s)
    # the states come back as given, not re-inferred
    assert {r.source for r in back.oxidation_states()} == {"given"}
    np.testing.assert_allclose(back.sites()["lattice"], s.sites()["lattice"], atol=1e-6)


@pytest.mark.parametrize("path", ROUND_TRIP, ids=lambda p: p.stem)
def test_ase_round_trip_keeps_species_positions_occupancies_states(path):
    s = kelmar.Structure.from_cif(path)
    atoms = s.to_ase()
    back = kelmar.Structure.from_ase(atoms)
    assert rows(back) == rows(s)


def test_pymatgen_structure_without_states_is_settled_like_the_file():
    from pymatgen.core import Structure as PmgStructure
    pmg = PmgStructure.from_file(str(DATA / "electrolytes" / "gvd.cif"))
    pmg.remove_oxidation_states()
    s = kelmar.Structure.from_pymatgen(pmg)
    direct = kelmar.Structure.from_cif(DATA / "electrolytes" / "gvd.cif")
    assert {(r.element, r.state) for r in s.oxidation_states()} == \
        {(r.element, r.state) for r in direct.oxidation_states()}
    assert s.bond_valence_sums().gii == pytest.approx(direct.bond_valence_sums().gii, abs=1e-6)


def test_from_cif_reads_text_and_path_alike():
    path = EXAMPLES / "LiFePO4.cif"
    a = kelmar.Structure.from_cif(path)
    b = kelmar.Structure.from_cif(path.read_text())
    assert rows(a) == rows(b)
    assert a.bond_valence_sums().sums.tolist() == b.bond_valence_sums().sums.tolist()


EMPTY = """data_empty
_cell_length_a 5
_cell_length_b 5
_cell_length_c 5
_cell_angle_alpha 90
_cell_angle_beta 90
_cell_angle_gamma 90
"""
NAN_COORD = EMPTY.replace("data_empty", "data_nan") + """loop_
_atom_site_label
_atom_site_type_symbol
_atom_site_fract_x
_atom_site_fract_y
_atom_site_fract_z
Li1 Li nan 0 0
O1 O 0.5 0.5 0.5
"""


@pytest.mark.parametrize("make", [
    lambda tmp: kelmar.Structure.from_cif(EMPTY),
    lambda tmp: kelmar.Structure.from_cif(NAN_COORD),
    lambda tmp: kelmar.Structure.from_cif(tmp / "missing.cif"),
    lambda tmp: kelmar.Structure.from_cif((tmp / "empty.cif", (tmp / "empty.cif").write_text(""))[0]),
    lambda tmp: kelmar.Structure.from_cif((tmp / "bin.cif", (tmp / "bin.cif").write_bytes(bytes(range(256)) * 8))[0]),
    lambda tmp: kelmar.Structure.from_cif(
        (tmp / "cut.cif", (tmp / "cut.cif").write_text((EXAMPLES / "LiFePO4.cif").read_text()[:700]))[0]),
], ids=["empty-structure", "nan-coordinate", "missing-file", "empty-file", "binary-file", "truncated-file"])
def test_bad_structures_raise(make, tmp_path, capfd):
    with pytest.raises((kelmar.KelmarError, ValueError)) as err:
        make(tmp_path)
    assert str(err.value)
    out, errout = capfd.readouterr()
    assert out == "" and errout == ""


def test_nan_and_empty_from_pymatgen_and_ase_raise():
    from ase import Atoms
    from pymatgen.core import Lattice, Structure as PmgStructure
    with pytest.raises(ValueError):
        kelmar.Structure.from_ase(Atoms("LiF", positions=[[0, 0, 0], [math.nan, 0, 0]], cell=[4, 4, 4], pbc=True))
    with pytest.raises(ValueError):
        kelmar.Structure.from_ase(Atoms(cell=[4, 4, 4], pbc=True))
    with pytest.raises(ValueError):
        kelmar.Structure.from_pymatgen(PmgStructure(Lattice.cubic(4), ["Li", "F"], [[0, 0, 0], [math.nan, 0.5, 0.5]]))


def test_landscape_errors_carry_the_program_message(capfd):
    s = kelmar.Structure.from_cif(EXAMPLES / "LiFePO4.cif")
    with pytest.raises(kelmar.KelmarError, match="Error: incorrect q at .*Og1"):
        kelmar.landscape(s, "Og", 1, resolution=0.5)  # a mobile species without parameters
    with pytest.raises(kelmar.KelmarError, match="conducting os"):
        kelmar.landscape(s, "Li", 0, resolution=0.5)
    with pytest.raises(kelmar.KelmarError, match="model"):
        kelmar.landscape(s, "Li", 1, resolution=0.5, model="nonsense")
    with pytest.raises(kelmar.KelmarError):
        kelmar.landscape(s, "Li", 1, resolution=float("nan"))
    with pytest.raises(ValueError):
        kelmar.landscape(s, "Li", 1, resolution=0.5, seed=-1)
    assert capfd.readouterr() == ("", "")


def test_species_without_parameters_raises():
    text = EMPTY.replace("data_empty", "data_xe") + """loop_
_atom_site_label
_atom_site_type_symbol
_atom_site_fract_x
_atom_site_fract_y
_atom_site_fract_z
Li1 Li 0 0 0
Og1 Og 0.5 0.5 0.5
"""
    with pytest.raises(kelmar.KelmarError):
        s = kelmar.Structure.from_cif(text)
        kelmar.landscape(s, "Li", 1, resolution=0.5)


def test_verbose_prints_the_program_lines(capfd):
    s = kelmar.Structure.from_cif(EXAMPLES / "LiFePO4.cif")
    s.bond_valence_sums(verbose=True)
    out, _ = capfd.readouterr()
    assert "GII: Global instability index" in out
    s.bond_valence_sums()
    assert capfd.readouterr() == ("", "")


@pytest.mark.parametrize("path", [DATA / "electrolytes" / "iqt.cif", DATA / "electrolytes" / "j5g.cif"],
                         ids=lambda p: p.stem)
def test_structures_read_by_pymatgen_and_ase_equal_the_cif_read_by_kelmar(path):
    # shared sites (Ti/Al) and fractional Li: the readers of pymatgen and ASE keep them, and so do we
    import warnings
    import ase.io
    from pymatgen.core import Structure as PmgStructure
    direct = kelmar.Structure.from_cif(path)
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        via_ase = kelmar.Structure.from_ase(ase.io.read(str(path)))
        via_pmg = kelmar.Structure.from_pymatgen(PmgStructure.from_file(str(path)))
    gii = direct.bond_valence_sums().gii
    for s in (via_ase, via_pmg):
        assert [r[:3] for r in rows(s)] == [r[:3] for r in rows(direct)]
        assert s.bond_valence_sums().gii == pytest.approx(gii, abs=1e-6)
