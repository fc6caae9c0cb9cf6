"""kelmar: bond-valence analysis of ionic crystals from Python.

The same C++ engines as the command-line program ``kelmar.x``: structures in and out (CIF path or
text, pymatgen ``Structure``, ASE ``Atoms``), oxidation states, bond-valence sums and the global
instability index, the site-energy landscape of a mobile ion held as a numpy array, the
percolation energies of its site graph, and kMC conductivity.

Nothing is printed unless asked: the engines' messages go to the ``logging`` logger ``"kelmar"``
(warnings at WARNING, the rest at DEBUG), and to the console as well when ``verbose=True`` is given
to a call or :data:`verbose` is set. A call that fails raises :class:`KelmarError` carrying the
program's ``Error:`` line(s).
"""
from __future__ import annotations

import logging
import os
import sys
from typing import Any, Dict, List, NamedTuple, Optional, Union

import numpy as np

from . import _core
from ._core import KelmarError

__all__ = ["Structure", "Landscape", "SiteState", "BondValenceSums", "KelmarError", "landscape",
           "write_cif", "verbose", "data_dir"]

#: Print the engines' messages on the console for every call (else per call: ``verbose=True``).
verbose = False

#: Where the data files (database_unitary.dat, database_binary.dat, database_symcards.dat) are read.
data_dir = os.environ.get("KELMAR_DATA_DIR") or os.path.join(os.path.dirname(__file__), "data")
_core.set_data_files(*(os.path.join(data_dir, f) for f in
                       ("database_unitary.dat", "database_binary.dat", "database_symcards.dat")))

_log = logging.getLogger("kelmar")
_log.addHandler(logging.NullHandler())  # silent unless the application configures logging


def _report(verbose_call: Optional[bool]) -> None:
    """Hands what the last engine call printed to logging (and the console when verbose)."""
    out, err = _core.last_output()
    loud = verbose if verbose_call is None else verbose_call
    if loud:
        if out:
            sys.stdout.write(out)
            sys.stdout.flush()
        if err:
            sys.stderr.write(err)
            sys.stderr.flush()
    for line in (out + err).splitlines():
        line = line.rstrip("\r")
        if not line:
            continue
        if line.startswith("Warning:"):
            _log.warning(line)
        elif line.startswith("Error:"):
            _log.error(line)
        else:
            _log.debug(line)


def _call(verbose_call: Optional[bool], fn, *args):
    try:
        return fn(*args)
    finally:
        _report(verbose_call)


class SiteState(NamedTuple):
    """The oxidation state of one site and where it comes from."""
    label: str
    element: str
    state: int
    occupancy: float
    source: str  #: "given" (by the file), "default" (the data file's), "inferred" (charge balance + BVS)


class BondValenceSums(NamedTuple):
    """Bond-valence sums per symmetry-distinct site (signed: negative for anions) and the GII."""
    labels: List[str]
    elements: List[str]
    states: List[int]
    occupancies: List[float]
    multiplicities: List[int]
    sums: np.ndarray
    gii: Optional[float]  #: global instability index; None when it cannot be computed


class Structure:
    """A crystal structure as kelmar reads it (all atoms of the cell, with its symmetry).

    Build one with :meth:`from_cif`, :meth:`from_pymatgen` or :meth:`from_ase`; convert back with
    :meth:`to_pymatgen` and :meth:`to_ase`.
    """

    def __init__(self, core: "_core.CoreStructure"):
        self._core = core

    # --- in ---------------------------------------------------------------------------------
    @classmethod
    def from_cif(cls, source: Union[str, os.PathLike], *, verbose: Optional[bool] = None) -> "Structure":
        """Reads a CIF: a path, or the CIF text itself (any string holding a line break)."""
        if isinstance(source, os.PathLike) or ("\n" not in str(source) and "\r" not in str(source)):
            return cls(_call(verbose, _core.read_cif_file, os.fspath(source)))
        return cls(_call(verbose, _core.read_cif_text, str(source), "structure"))

    @classmethod
    def from_pymatgen(cls, structure: Any, *, verbose: Optional[bool] = None) -> "Structure":
        """From a pymatgen ``Structure``: species, occupancies and oxidation states where set."""
        from .convert import cif_text_from_pymatgen
        return cls(_call(verbose, _core.read_cif_text, cif_text_from_pymatgen(structure),
                         structure.composition.reduced_formula))

    @classmethod
    def from_ase(cls, atoms: Any, *, verbose: Optional[bool] = None) -> "Structure":
        """From an ASE ``Atoms``: occupancies from ``atoms.info["occupancy"]`` (as ase.io's CIF reader
        stores them), oxidation states from the initial charges when any is set."""
        from .convert import cif_text_from_ase
        return cls(_call(verbose, _core.read_cif_text, cif_text_from_ase(atoms),
                         atoms.get_chemical_formula()))

    # --- out --------------------------------------------------------------------------------
    def sites(self, settled: bool = True, *, verbose: Optional[bool] = None) -> Dict[str, Any]:
        """Every atom of the cell: label, element, frac, cart, occupancy, state, state_default,
        lattice. ``settled`` gives the states kelmar settles on, else the states as read."""
        if settled:
            return _call(verbose, self._core.settled_sites)
        return self._core.sites()

    def to_pymatgen(self, oxidation_states: bool = True):
        """A pymatgen ``Structure`` (shared sites as disordered sites)."""
        from .convert import to_pymatgen
        return to_pymatgen(self.sites(settled=oxidation_states), oxidation_states)

    def to_ase(self, oxidation_states: bool = True):
        """An ASE ``Atoms`` (one atom per site; shared sites as ase.io's CIF reader keeps them)."""
        from .convert import to_ase
        return to_ase(self.sites(settled=oxidation_states), oxidation_states)

    def write_cif(self, path: Union[str, os.PathLike], *, verbose: Optional[bool] = None) -> None:
        """Writes the structure with the states kelmar settles on (``kelmar.x --gen-cif``), e.g. for
        ``NARO.x``, which takes states only from the file."""
        _call(verbose, self._core.write_cif, os.fspath(path))

    @property
    def cif_text(self) -> str:
        """The CIF text the structure was read from."""
        return self._core.cif_text

    @property
    def name(self) -> str:
        return self._core.name

    def __len__(self) -> int:
        return len(self._core.sites()["label"])

    def __repr__(self) -> str:
        return f"<kelmar.Structure {self.name!r}: {len(self)} atoms>"

    # --- analyses ---------------------------------------------------------------------------
    def oxidation_states(self, *, verbose: Optional[bool] = None) -> List[SiteState]:
        """The states the command-line program settles on, one row per distinct site and state."""
        raw = self._core.sites()
        defaults = {e: s for e, s, d in zip(raw["element"], raw["state"], raw["state_default"]) if d}
        settled = self.sites(settled=True, verbose=verbose)
        rows: List[SiteState] = []
        seen = set()
        for label, element, state, occ, dflt in zip(settled["label"], settled["element"], settled["state"],
                                                    settled["occupancy"], settled["state_default"]):
            key = (label, element, int(state))
            if key in seen:
                continue
            seen.add(key)
            source = "given" if not dflt else ("default" if defaults.get(element) == state else "inferred")
            rows.append(SiteState(label, element, int(state), float(occ), source))
        return rows

    def bond_valence_sums(self, *, verbose: Optional[bool] = None) -> BondValenceSums:
        """Bond-valence sums and GII, as ``kelmar.x --cal-bv`` computes them."""
        d = _call(verbose, self._core.bond_valence_sums)
        gii = d["gii"]
        return BondValenceSums(d["label"], d["element"], d["state"], d["occupancy"], d["multiplicity"],
                               d["sum"], gii if np.isfinite(gii) and gii >= 0 else None)


class Landscape:
    """The site-energy landscape of a mobile ion on a periodic grid (eV), as ``--gen-cube`` computes
    it. :attr:`energies` is a view of the engine's grid, not a copy."""

    def __init__(self, core: "_core.CoreLandscape", structure: Structure):
        self._core = core
        self.structure = structure

    @property
    def energies(self) -> np.ndarray:
        """(n1, n2, n3) float64 array in eV, index (i, j, k) at i/n1 a + j/n2 b + k/n3 c."""
        return self._core.energies

    shape = property(lambda self: self._core.shape)
    cell = property(lambda self: self._core.cell, doc="cell vectors (rows) of the grid, angstrom")
    screening_factor = property(lambda self: self._core.screening_factor)
    ion = property(lambda self: self._core.ion)
    charge = property(lambda self: self._core.charge)
    resolution = property(lambda self: self._core.resolution)
    model = property(lambda self: self._core.model)
    assigned = property(lambda self: self._core.assigned,
                        doc="True when shared mobile sites were first resolved in a supercell")

    def write_cube(self, path: Union[str, os.PathLike], periodic: bool = True, *,
                   verbose: Optional[bool] = None) -> None:
        """Writes the Gaussian cube file ``kelmar.x --gen-cube`` writes (byte for byte)."""
        _call(verbose, self._core.write_cube, os.fspath(path), periodic)

    def percolation(self, barrier_max: float = -0.1, *, verbose: Optional[bool] = None) -> Dict[str, Any]:
        """Percolation energies of the site graph, as ``kelmar.x --gh`` prints them:
        ``{"1D": eV, "2D": eV, "3D": eV, "loop": eV, "ranges": {...}}`` (None: no such network).
        The values are those of the grid as its cube file holds them (six decimals)."""
        return _call(verbose, self._core.percolation, float(barrier_max))

    def kmc(self, seed: int, *, supercell=(0, 0, 0), sf: float = 0.0, temperature: float = 300.0,
            t_limit: float = 0.0, step_limit: int = 0, step_log: int = 0, cutoff: float = -1.0,
            verbose: Optional[bool] = None) -> float:
        """kMC conductivity in S/cm, as ``KELMAR_SEED=seed kelmar.x --kmc`` on this landscape
        (supercell 0: enough cells for 25 A; sf 0: searched; step_limit 0: the program's default)."""
        seed = _check_seed(seed)
        s = tuple(int(v) for v in supercell)
        if len(s) != 3:
            raise ValueError("supercell takes three whole numbers")
        return _call(verbose, self._core.kmc, seed, s, float(sf), float(temperature), float(t_limit),
                     int(step_limit), int(step_log), float(cutoff))

    def __repr__(self) -> str:
        return (f"<kelmar.Landscape {self.ion}{abs(self.charge)}{'+' if self.charge > 0 else '-'} "
                f"{self.shape} sf={self.screening_factor:.3f}>")


def write_cif(structure: Structure, path: Union[str, os.PathLike], *, verbose: Optional[bool] = None) -> None:
    """``structure.write_cif(path)``."""
    structure.write_cif(path, verbose=verbose)


def _check_seed(seed: Optional[int]) -> Optional[int]:
    if seed is None:
        return None
    if isinstance(seed, bool) or not isinstance(seed, (int, np.integer)) or not 0 <= int(seed) <= 4294967295:
        raise ValueError("seed must be a whole number from 0 to 4294967295")
    return int(seed)


def landscape(structure: Structure, ion: str, charge: int, resolution: float = 0.1, sf: Optional[float] = None,
              *, model: str = "bv", ignore_conducting: bool = True, seed: Optional[int] = None,
              verbose: Optional[bool] = None) -> Landscape:
    """The site-energy landscape of ``ion`` with ``charge`` in ``structure`` (``kelmar.x --gen-cube``).

    sf: screening factor; None (or <= 0) searches it. resolution: grid spacing in angstrom.
    model: "bv" (bond valence), "gii", "tot" or "tot-eam" (the --gen-cube-* twins). seed: the draw
    that resolves shared mobile sites in a supercell (as KELMAR_SEED; None: random).
    """
    if not isinstance(structure, Structure):
        raise TypeError("structure must be a kelmar.Structure")
    if isinstance(charge, bool) or int(charge) != charge:
        raise ValueError("charge must be a whole number")
    return Landscape(_call(verbose, _core.landscape, structure._core, str(ion), int(charge),
                           -0.1 if sf is None else float(sf), float(resolution), str(model),
                           bool(ignore_conducting), _check_seed(seed)), structure)
