"""kMC conductivity with a seed, and the analyser's activation energies, against the programs."""
import re

import pytest

import kelmar
from conftest import DATA, EXAMPLES, copy_into, run

RESOLUTION = 0.3
KMC_ARGS = dict(sf=0.75, temperature=1500.0, step_limit=20000)


def landscape_pair(kelmar_exe, tmp, src):
    """The program's cube of src and the module's landscape of it."""
    cif = copy_into(tmp, src)
    run(kelmar_exe, ["--gen-cube", cif.name, "Li", 1, -1, RESOLUTION], tmp)
    land = kelmar.landscape(kelmar.Structure.from_cif(cif), "Li", 1, resolution=RESOLUTION)
    return tmp, cif, tmp / (cif.stem + ".cube"), land


@pytest.fixture(scope="module")
def lifepo4(kelmar_exe, tmp_path_factory):
    return landscape_pair(kelmar_exe, tmp_path_factory.mktemp("lfp"), EXAMPLES / "LiFePO4.cif")


@pytest.fixture(scope="module")
def borophosphate(kelmar_exe, tmp_path_factory):
    # Li2NaBP2O8: at 1500 K Li moves beyond its own site pair within 20000 hops (at 900 K the
    # diffusivity is zero within its error, and a seed may well print 0)
    return landscape_pair(kelmar_exe, tmp_path_factory.mktemp("7cr"), DATA / "electrolytes" / "7cr.cif")


def test_kmc_equals_the_program_with_the_same_seed(kelmar_exe, borophosphate):
    tmp, cif, cube, land = borophosphate
    out = run(kelmar_exe, ["--kmc", cif.name, cube.name, "Li", 1, 0, 0, 0, 0.75, 1500, 0, 20000], tmp,
              env={"KELMAR_SEED": "7"})[1]
    printed = re.search(r"KMC: conductivity = (\S+),", out).group(1)
    sigma = land.kmc(seed=7, **KMC_ARGS)
    assert sigma > 0 and f"{sigma:.2e}" == printed
    assert land.kmc(seed=7, **KMC_ARGS) == sigma          # the seed repeats the run
    assert land.kmc(seed=8, **KMC_ARGS) != sigma          # another seed draws differently


def test_kmc_refuses_bad_arguments(borophosphate, capfd):
    land = borophosphate[3]
    with pytest.raises(ValueError):
        land.kmc(seed=2**32)
    with pytest.raises(kelmar.KelmarError):
        land.kmc(seed=1, temperature=float("inf"))
    assert capfd.readouterr() == ("", "")


def test_kmc_failure_carries_the_program_message(kelmar_exe, tmp_path):
    # Li3OBr at this grid: no hop has a usable rate, which the program reports as an error
    land = landscape_pair(kelmar_exe, tmp_path, DATA / "electrolytes" / "qbb.cif")[3]
    with pytest.raises(kelmar.KelmarError, match="Error: overall rate is too small"):
        land.kmc(seed=7, **KMC_ARGS)


def test_naro_activation_energies_equal_print_act(naro_exe, lifepo4):
    naro = pytest.importorskip("naro")
    tmp, cif, cube, land = lifepo4
    out = run(naro_exe, ["--cif", cif.name, "Li1+", "--cube", cube.name, "--path", "--print-act"], tmp)[1]
    printed = dict(re.findall(r"^(1D|2D|3D) activation energy: (\S+) eV", out, re.M))
    for got in (naro.activation_energies(cif, "Li1+", cube), naro.activation_energies(land, "Li1+")):
        for dim in ("1D", "2D", "3D"):
            value = 999.0 if got[dim] is None else got[dim]
            assert f"{value:.6f}" == printed[dim], dim


def test_naro_errors_raise(tmp_path, capfd):
    naro = pytest.importorskip("naro")
    with pytest.raises(naro.NaroError):
        naro.activation_energies(tmp_path / "missing.cif", "Li1+", tmp_path / "missing.cube")
    assert capfd.readouterr() == ("", "")
