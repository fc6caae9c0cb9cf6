#!/usr/bin/env python3
"""Seeded, bounded mutation fuzzing of kelmar.x and NARO.x.

Real CIFs and a small cube are damaged in the ways real files are damaged (truncation, byte
flips, huge and non-finite numbers, duplicated or deleted tags, garbage symmetry operations,
cube headers that lie about the data) and each program is run on every damaged copy with a
time limit. A run fails the test when it

  * ends by a signal (a crash),
  * does not end within the time limit (a hang),
  * prints a sanitizer report,
  * exits 0 while anything it printed or wrote holds nan or inf, or
  * (kelmar.x) exits 0 after printing "Error:".

The same seed gives the same files; --count bounds the number of runs. Exit status 0 when no run
failed, 1 otherwise (each failing case is described, and its input kept under --keep).
"""
import argparse
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import time

NONFINITE = re.compile(r"(?<![A-Za-z_])[-+]?(nan|inf|infinity)(?![A-Za-z_])", re.IGNORECASE)
SANITIZER = re.compile(r"(ERROR: AddressSanitizer|ERROR: LeakSanitizer|runtime error:|UndefinedBehaviorSanitizer)")
NUMBER = re.compile(rb"-?\d+\.\d+|-?\d+")
BAD_OPS = [b"x,x,z", b"0,0,0", b"2x,y,z", b"x,y,-z+", b"a,b,c", b"x,y,z,w", b"", b"x+1/0,y,z", b"x*y,y,z",
           b"-x-,y,z", b"x,,z", b"y,x,x"]
BAD_NUMBERS = [b"1e308", b"-1e308", b"1e999", b"nan", b"inf", b"-inf", b"0", b"-0", b"1e-300", b"0x1p3", b"1..2",
               b"0.5abc", b"99999999999999999999", b"-1", b"?", b"."]


def damage_bytes(kind, data, rng):
    """Damage any file suffers: cut short, or a few bytes overwritten."""
    if kind == "truncate":
        return data[: rng.randrange(len(data))]
    b = bytearray(data)
    for _ in range(rng.randint(1, 8)):
        b[rng.randrange(len(b))] = rng.randrange(256)
    return bytes(b)


def mutate_cif(data, rng):
    kind = rng.choice(["truncate", "flip", "number", "number", "dup_tag", "del_line", "op", "op", "cell"])
    lines = data.split(b"\n")
    if kind in ("truncate", "flip"):
        return kind, damage_bytes(kind, data, rng)
    if kind == "number":
        spans = [m.span() for m in NUMBER.finditer(data)]
        s, e = rng.choice(spans)
        return kind, data[:s] + rng.choice(BAD_NUMBERS) + data[e:]
    if kind == "dup_tag":
        tags = [i for i, l in enumerate(lines) if l.startswith(b"_")]
        i = rng.choice(tags)
        lines.insert(i + 1, lines[i])
        return kind, b"\n".join(lines)
    if kind == "del_line":
        del lines[rng.randrange(len(lines))]
        return kind, b"\n".join(lines)
    if kind == "op":
        ops = [i for i, l in enumerate(lines) if re.search(rb"'[^']*[xyz][^']*,[^']*,[^']*'", l)]
        if not ops:
            return "truncate", data[: len(data) // 2]
        i = rng.choice(ops)
        lines[i] = re.sub(rb"'[^']*'", b"'" + rng.choice(BAD_OPS) + b"'", lines[i], count=1)
        return kind, b"\n".join(lines)
    # cell: one length or angle made absurd
    cell = [i for i, l in enumerate(lines) if l.lower().startswith(b"_cell_length") or l.lower().startswith(b"_cell_angle")]
    i = rng.choice(cell)
    tag = lines[i].split()[0]
    lines[i] = tag + b" " + rng.choice([b"0.0001", b"1e6", b"180", b"0", b"-4", b"179.9999", b"1e-9"])
    return kind, b"\n".join(lines)


def mutate_cube(data, rng):
    kind = rng.choice(["truncate", "flip", "value", "grid", "atoms", "drop_header", "extra", "voxel"])
    lines = data.split(b"\n")
    if kind in ("truncate", "flip"):
        return kind, damage_bytes(kind, data, rng)
    if kind == "value":
        i = rng.randrange(6, len(lines) - 1)
        lines[i] = rng.choice([b" nan", b" inf", b" -inf", b" 1e999", b" 1e308", b" -1e308", b" abc"])
        return kind, b"\n".join(lines)
    if kind == "grid":
        k = rng.randrange(3, 6)
        f = lines[k].split()
        f[0] = str(int(f[0]) + rng.choice([-1, 1, 24, -24, 100000])).encode()
        lines[k] = b" ".join(f)
        return kind, b"\n".join(lines)
    if kind == "atoms":
        f = lines[2].split()
        f[0] = str(int(f[0]) + rng.choice([-1, 1, 5, 10**9])).encode()
        lines[2] = b" ".join(f)
        return kind, b"\n".join(lines)
    if kind == "drop_header":
        del lines[rng.randrange(0, 6)]
        return kind, b"\n".join(lines)
    if kind == "extra":
        return kind, data + b" 1.0\n" * rng.randint(1, 30)
    k = rng.randrange(3, 6)
    f = lines[k].split()
    f[1 + rng.randrange(3)] = rng.choice([b"0", b"nan", b"1e308", b"-0.0"])
    if rng.random() < 0.5:
        f[1:4] = [b"0", b"0", b"0"]
    lines[k] = b" ".join(f)
    return kind, b"\n".join(lines)


def run(cmd, cwd, timeout):
    before = set(os.listdir(cwd))
    try:
        p = subprocess.run(cmd, cwd=cwd, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                           timeout=timeout)
    except subprocess.TimeoutExpired:
        return "hang (no end within %g s)" % timeout, "", ""
    out = p.stdout.decode("utf-8", "replace")
    err = p.stderr.decode("utf-8", "replace")
    if p.returncode < 0 or p.returncode >= 128:
        return "crash (status %d)" % p.returncode, out, err
    if SANITIZER.search(err):
        return "sanitizer report", out, err
    if p.returncode == 0:
        texts = [out, err]
        for name in set(os.listdir(cwd)) - before:
            path = os.path.join(cwd, name)
            if os.path.isfile(path) and os.path.getsize(path) < 50_000_000:
                with open(path, "rb") as f:
                    texts.append(f.read().decode("utf-8", "replace"))
        for t in texts:
            m = NONFINITE.search(t)
            if m:
                line = t[max(0, t.rfind("\n", 0, m.start()) + 1): t.find("\n", m.end()) if t.find("\n", m.end()) >= 0 else len(t)]
                return "exit 0 with a non-finite number: " + line.strip()[:200], out, err
        if os.path.basename(cmd[0]).startswith("kelmar") and re.search(r"(^|\n)Error:", out + "\n" + err):
            return "exit 0 after printing Error:", out, err
    return None, out, err


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--kelmar", required=True)
    ap.add_argument("--naro", required=True)
    ap.add_argument("--data", required=True, help="tests/data")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--count", type=int, default=120, help="runs in all")
    ap.add_argument("--timeout", type=float, default=30.0, help="seconds a run may take")
    ap.add_argument("--budget", type=float, default=150.0, help="seconds after which no new run starts")
    ap.add_argument("--keep", default="", help="directory to keep the inputs of failing runs in")
    a = ap.parse_args()
    kelmar = os.path.abspath(a.kelmar)
    naro = os.path.abspath(a.naro)
    rng = random.Random(a.seed)
    cifs = [os.path.join(a.data, "samples", n) for n in ("Li2O.cif", "CsCl.cif", "LiFePO4.cif")]
    cifs = [c for c in cifs if os.path.exists(c)]
    failures = []
    runs = 0
    start = time.monotonic()
    with tempfile.TemporaryDirectory(prefix="kelmar-fuzz-") as top:
        # one small landscape to damage: Li2O at the coarsest grid, written by kelmar.x itself
        base = os.path.join(top, "base")
        os.mkdir(base)
        shutil.copy(os.path.join(a.data, "samples", "Li2O.cif"), base)
        p = subprocess.run([kelmar, "--gen-cube", "Li2O.cif", "Li", "1", "0.75", "0.5"], cwd=base,
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=300)
        if p.returncode != 0:
            print("could not write the cube to damage:\n" + p.stderr.decode())
            return 1
        with open(os.path.join(base, "Li2O.cube"), "rb") as f:
            cube = f.read()
        li2o = open(os.path.join(base, "Li2O.cif"), "rb").read()
        inputs = [(c, open(c, "rb").read()) for c in cifs]
        for n in range(a.count):
            if time.monotonic() - start > a.budget:
                print("time budget of %g s reached after %d runs" % (a.budget, runs))
                break
            work = os.path.join(top, "run%d" % n)
            os.mkdir(work)
            if n % 3 == 2:
                kind, data = mutate_cube(cube, rng)
                with open(os.path.join(work, "m.cube"), "wb") as f:
                    f.write(data)
                with open(os.path.join(work, "Li2O.cif"), "wb") as f:
                    f.write(li2o)
                cmds = [[kelmar, "--print-cube", "m.cube"], [kelmar, "--fft", "m.cube"],
                        [naro, "--cif", "Li2O.cif", "Li1+", "--cube", "m.cube", "--path"]]
                label = "cube/" + kind
            else:
                name, text = inputs[rng.randrange(len(inputs))]
                kind, data = mutate_cif(text, rng)
                with open(os.path.join(work, "m.cif"), "wb") as f:
                    f.write(data)
                cmds = [[kelmar, "--cal-bv", "m.cif"], [kelmar, "--gen-cube", "m.cif", "Li", "1", "0.75", "0.5"],
                        [naro, "--cif", "m.cif", "--calc-charge", "--calc-bvsum"]]
                label = os.path.basename(name) + "/" + kind
            cmd = cmds[rng.randrange(len(cmds))]
            why, out, err = run(cmd, work, a.timeout)
            runs += 1
            if why:
                failures.append((n, label, cmd, why, err))
                if a.keep:
                    os.makedirs(a.keep, exist_ok=True)
                    shutil.copytree(work, os.path.join(a.keep, "run%d" % n), dirs_exist_ok=True)
            shutil.rmtree(work, ignore_errors=True)
    for n, label, cmd, why, err in failures:
        print("FAIL run %d (%s): %s: %s" % (n, label, " ".join(os.path.basename(c) if i == 0 else c for i, c in enumerate(cmd)), why))
        if err.strip():
            print("   stderr: " + err.strip().splitlines()[-1][:300])
    print("%d passed, %d failed" % (runs - len(failures), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
