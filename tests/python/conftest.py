"""Shared fixtures of the Python module tests: the programs to compare with and the bundled data."""
import os
import pathlib
import shutil
import subprocess

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
DATA = ROOT / "tests" / "data"
EXAMPLES = ROOT / "examples"


def _program(env_name, build_name):
    path = os.environ.get(env_name)
    if path:
        return pathlib.Path(path)
    for build in ("build-dev", "build"):
        p = ROOT / build / ("naro" if build_name == "NARO.x" else "kelmar") / build_name
        if p.exists():
            return p
    pytest.skip(f"{build_name} not built (set {env_name})")


@pytest.fixture(scope="session")
def kelmar_exe():
    return _program("KELMAR_EXE", "kelmar.x")


@pytest.fixture(scope="session")
def naro_exe():
    return _program("NARO_EXE", "NARO.x")


def run(exe, args, cwd, env=None, check=True):
    """Runs a program in cwd; returns (returncode, stdout, stderr)."""
    e = dict(os.environ)
    e.pop("KELMAR_SEED", None)
    if env:
        e.update(env)
    p = subprocess.run([str(exe), *map(str, args)], cwd=cwd, capture_output=True, text=True, env=e, timeout=600)
    if check and p.returncode != 0:
        raise AssertionError(f"{exe} {args} failed ({p.returncode}):\n{p.stdout}\n{p.stderr}")
    return p.returncode, p.stdout, p.stderr


def copy_into(tmp_path, src):
    """A copy of a bundled file in the test's directory (the programs write beside their input)."""
    dst = tmp_path / pathlib.Path(src).name
    shutil.copyfile(src, dst)
    return dst
