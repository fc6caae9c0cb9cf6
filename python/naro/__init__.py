"""naro: the NARO analyser's activation energies of long-range ion migration from Python.

The same C++ engine as ``NARO.x``: from a CIF and a landscape cube it finds the minima and saddles,
builds the migration-path library and returns the energies at which the path network percolates in
1D, 2D and 3D, as ``NARO.x --cif <cif> <ion> --cube <cube> --path --print-act`` prints them.

The analyser shares no code with kelmar; like the programs, the two meet through files. A
``kelmar.Landscape`` (or ``kelmar.Structure``) given here is written to a temporary CIF and cube.
Nothing is printed unless ``verbose=True``; messages go to the ``logging`` logger ``"naro"``. A failure
raises :class:`NaroError` with the analyser's ``Error:`` line(s).
"""
from __future__ import annotations

import logging
import os
import sys
import tempfile
from typing import Any, Dict, Optional, Union

from . import _core
from ._core import NaroError

__all__ = ["activation_energies", "NaroError"]

_log = logging.getLogger("naro")
_log.addHandler(logging.NullHandler())  # silent unless the application configures logging
PathLike = Union[str, os.PathLike]


def _report(verbose: bool) -> None:
    out, err = _core.last_output()
    if verbose:
        sys.stdout.write(out)
        sys.stderr.write(err)
    for line in (out + err).splitlines():
        line = line.rstrip("\r")
        if line.startswith("Warning:"):
            _log.warning(line)
        elif line.startswith("Error:"):
            _log.error(line)
        elif line:
            _log.debug(line)


def activation_energies(cif: Any, ion: str, cube: Any = None, *, scale: Optional[str] = None,
                        max: float = 0.0, smooth_cube: bool = False,
                        verbose: bool = False) -> Dict[str, Any]:
    """Activation energies (eV) of long-range migration: ``{"1D", "2D", "3D"}`` (None where the network
    never percolates) and the counts ``minima``, ``saddles``, ``paths``.

    cif: a CIF path carrying oxidation states, or a kelmar ``Structure`` / ``Landscape`` (written with
    kelmar's states). ion: the probe ion as NARO writes it, e.g. "Li1+". cube: a cube path; may be
    omitted when cif is a kelmar ``Landscape``. scale, max, smooth_cube: as --scale, --max and
    --smooth-cube.
    """
    with tempfile.TemporaryDirectory(prefix="naro-") as tmp:
        cif_path, cube_path = _files(cif, cube, tmp)
        try:
            return _core.activation_energies(cif_path, str(ion), cube_path, scale or "", float(max),
                                             bool(smooth_cube))
        finally:
            _report(verbose)


def _files(cif: Any, cube: Any, tmp: str):
    """Paths of the CIF and the cube, writing kelmar objects into tmp."""
    landscape = None
    if hasattr(cif, "write_cube") and hasattr(cif, "structure"):
        landscape = cif
        cif = landscape.structure
    if hasattr(cif, "to_pymatgen") and hasattr(cif, "cif_text"):
        import kelmar
        path = os.path.join(tmp, "structure.cif")
        kelmar.write_cif(cif, path)
        cif = path
    if cube is None:
        if landscape is None:
            raise ValueError("a cube file (or a kelmar Landscape) is needed")
        cube = os.path.join(tmp, "structure.cube")
        landscape.write_cube(cube)
    elif hasattr(cube, "write_cube"):
        path = os.path.join(tmp, "structure.cube")
        cube.write_cube(path)
        cube = path
    return os.fspath(cif), os.fspath(cube)
