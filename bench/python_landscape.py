#!/usr/bin/env python3
"""The landscape from Python against the program's own run: CPU seconds of
``kelmar.landscape(Structure.from_cif(cif), "Li", 1, resolution)`` in this process and of
``kelmar.x --gen-cube cif Li 1 -1 resolution`` in a child (CIF read, states, parameters with the
screening-factor search, landscape on every thread; the program also writes the cube file, the
module does not, so it is also timed with write_cube). Best of --repeat runs each; the grids are
checked to agree to 1e-6 eV and the written files byte for byte.

    PYTHONPATH=build/python python3 bench/python_landscape.py --exe build/kelmar/kelmar.x [--resolution 0.1]
"""
import argparse
import os
import pathlib
import resource
import shutil
import subprocess
import sys
import tempfile
import time

import numpy as np

import kelmar

ROOT = pathlib.Path(__file__).resolve().parents[1]
DEFAULT = [ROOT / "examples" / "LiFePO4.cif", ROOT / "tests" / "data" / "electrolytes" / "j5g.cif"]


def child_cpu():
    r = resource.getrusage(resource.RUSAGE_CHILDREN)
    return r.ru_utime + r.ru_stime


def program_run(exe, cif, resolution, tmp):
    before = child_cpu()
    subprocess.run([exe, "--gen-cube", cif.name, "Li", "1", "-1", str(resolution)], cwd=tmp, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return child_cpu() - before


def module_run(cif, resolution, write_to=None):
    t0 = time.process_time()
    land = kelmar.landscape(kelmar.Structure.from_cif(cif), "Li", 1, resolution=resolution)
    if write_to is not None:
        land.write_cube(write_to)
    return time.process_time() - t0, land


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--exe", required=True)
    ap.add_argument("--resolution", type=float, default=0.1)
    ap.add_argument("--repeat", type=int, default=3)
    ap.add_argument("cifs", nargs="*", type=pathlib.Path)
    args = ap.parse_args()
    exe = os.path.abspath(args.exe)
    print(f"load average {os.getloadavg()[0]:.1f}, resolution {args.resolution} A, best of {args.repeat}")
    print(f"{'structure':<14s} {'grid':>13s} {'program cpu s':>14s} {'python cpu s':>13s} {'vs program':>11s} "
          f"{'python+file cpu s':>18s} {'vs program':>11s}")
    for src in args.cifs or DEFAULT:
        with tempfile.TemporaryDirectory() as tmp:
            cif = pathlib.Path(shutil.copy(src, tmp))
            prog = min(program_run(exe, cif, args.resolution, tmp) for _ in range(args.repeat))
            best, land = None, None
            for _ in range(args.repeat):
                t, land = module_run(cif, args.resolution)
                best = t if best is None or t < best else best
            with_file = min(module_run(cif, args.resolution, pathlib.Path(tmp) / "py.cube")[0]
                            for _ in range(args.repeat))
            cube = pathlib.Path(tmp) / (cif.stem + ".cube")
            assert (pathlib.Path(tmp) / "py.cube").read_bytes() == cube.read_bytes()
            lines = cube.read_text().split("\n")
            natoms = abs(int(lines[2].split()[0]))
            values = np.array(" ".join(lines[6 + natoms:]).split(), dtype=float).reshape(land.shape)
            assert np.max(np.abs(values - land.energies)) <= 1e-6 + 1e-12
            grid = "x".join(map(str, land.shape))
            print(f"{src.stem:<14s} {grid:>13s} {prog:14.2f} {best:13.2f} {100 * (best / prog - 1):+10.1f}% "
                  f"{with_file:18.2f} {100 * (with_file / prog - 1):+10.1f}%")
    return 0


if __name__ == "__main__":
    sys.exit(main())
