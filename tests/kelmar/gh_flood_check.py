#!/usr/bin/python3
"""--gh against a flood fill of the same landscape, on the structures of tests/data.

    tests/kelmar/gh_flood_check.py KELMAR_X DATA_DIR [GRID]

For every Li structure listed below, writes its landscape at a coarse grid (GRID angstrom,
default 0.3), runs `kelmar.x --gh` and bench/flood_referee.py on the same cube, and checks that
the flooded site graph ("KELMAR_GRAPH_POOL" lines) percolates at the flood's levels within
one grid step (the energy change across one step at the flood's spanning point is at most
TOLERANCE here), and that wherever a network line gives a different number, a line says which
quantity it is. A refusal ("Error:") fails the check. Exit status 0 when every structure
agrees.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "bench"))
import flood_referee  # noqa: E402

TOLERANCE = 0.011  # eV: printed values are rounded to 0.001; one grid step at a saddle
STRUCTURES = ["samples/Li2O.cif", "samples/LiFePO4.cif", "samples/Li10GeP2S12.cif", "samples/Li3V2PO43.cif"] + [
    "electrolytes/" + f for f in ["1e9.cif", "2t8.cif", "7cr.cif", "97b.cif", "9n0.cif", "9wf.cif", "e6b.cif",
                                  "gvd.cif", "gxz.cif", "hja.cif", "iqt.cif", "j5g.cif", "jkq.cif", "k4x.cif",
                                  "l9r.cif", "lxk.cif", "nig.cif", "ob9.cif", "qbb.cif", "tvf.cif", "uxo.cif",
                                  "wgw.cif", "xut.cif", "z7n.cif"]]


def run(cmd, cwd):
    return subprocess.run(cmd, cwd=cwd, capture_output=True, text=True)


def main():
    kelmar, data = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    grid = sys.argv[3] if len(sys.argv) > 3 else "0.3"
    failures = 0
    for rel in STRUCTURES:
        src = os.path.join(data, rel)
        if not os.path.exists(src):
            continue
        name = os.path.splitext(os.path.basename(rel))[0]
        with tempfile.TemporaryDirectory() as tmp:
            shutil.copy(src, os.path.join(tmp, name + ".cif"))
            gen = run([kelmar, "--gen-cube", name + ".cif", "Li", "1", "0.75", grid], tmp)
            cube = os.path.join(tmp, name + ".cube")
            if gen.returncode != 0 or not os.path.exists(cube):
                print("%-12s no landscape (%s)" % (name, gen.stderr.strip().splitlines()[-1:] or "?"))
                continue
            gh = run([kelmar, "--gh", name + ".cif", name + ".cube", "Li", "1"], tmp)
            flood = flood_referee.flood(flood_referee.read_cube(cube))
        if gh.returncode != 0:
            print("%-12s FAIL --gh refused: %s" % (name, gh.stderr.strip()))
            failures += 1
            continue
        pool = [None, None, None]
        for d in range(3):
            m = re.search(r"KELMAR_GRAPH_POOL: e_%dD = ([-0-9.]+)" % (d + 1), gh.stdout)
            pool[d] = float(m.group(1)) if m else None
        bad = []
        for d in range(3):
            if flood[d] is None and pool[d] is None:
                continue
            if flood[d] is None or pool[d] is None or abs(flood[d] - pool[d]) > TOLERANCE:
                bad.append(d + 1)
        net = [re.search(r"KELMAR_GRAPH_NETWORK: e_%dD = ([-0-9.]+)" % (d + 1), gh.stdout) for d in range(3)]
        for d in range(3):
            if net[d] and pool[d] is not None and abs(float(net[d].group(1)) - pool[d]) > 0.0005:
                if "e_%dD of the network is the window of its cycles" % (d + 1) not in gh.stdout:
                    bad.append("reason %dD" % (d + 1))
        fmt = lambda v: "none" if v is None else "%.3f" % v
        print("%-12s flood %s  --gh pool %s  %s" % (name, " ".join(fmt(v) for v in flood),
                                                     " ".join(fmt(v) for v in pool), "FAIL %s" % bad if bad else "ok"))
        failures += bool(bad)
    print("%d structure(s) disagree" % failures)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
