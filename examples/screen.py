#!/usr/bin/env python3
"""Screens the bundled Li electrolytes from Python: one landscape per structure, its percolation
energies, and a table and figure of the activation energy against the measured conductivity.

    PYTHONPATH=build/python python3 examples/screen.py [--resolution 0.3] [--out screen-out]

Writes <out>/screen.csv (pandas) and <out>/screen.png (matplotlib). Structures whose Li sites are
shared are resolved in a supercell drawn with a fixed seed, so a run repeats.
"""
import argparse
import math
import pathlib
import sys
import time

import pandas as pd

import kelmar

ROOT = pathlib.Path(__file__).resolve().parents[1]
INDEX = ROOT / "tests" / "data" / "electrolytes" / "index.tsv"


def measured_sigma(text):
    """Measured conductivity in S/cm and whether it is only an upper bound ("<1E-10")."""
    text = str(text).strip()
    if text.startswith("<"):
        return float(text[1:]), True
    return float(text), False


def screen_one(cif, ion, resolution, seed):
    t0 = time.process_time()
    s = kelmar.Structure.from_cif(cif)
    land = kelmar.landscape(s, ion, 1, resolution=resolution, seed=seed)
    p = land.percolation()
    return {"sf": land.screening_factor, "grid": "x".join(map(str, land.shape)), "assigned": land.assigned,
            "Ea_1D": p["1D"], "Ea_2D": p["2D"], "Ea_3D": p["3D"], "cpu_s": time.process_time() - t0,
            "error": ""}


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--resolution", type=float, default=0.3, help="grid spacing in angstrom (default 0.3)")
    ap.add_argument("--seed", type=int, default=1, help="draw of shared Li sites (default 1)")
    ap.add_argument("--out", default="screen-out", help="output directory (default screen-out)")
    ap.add_argument("--limit", type=int, default=0, help="screen only the first N structures")
    args = ap.parse_args(argv)

    index = pd.read_csv(INDEX, sep="\t", dtype={"id": str})
    if args.limit > 0:
        index = index.head(args.limit)
    rows = []
    for rec in index.itertuples():
        sigma, bound = measured_sigma(rec.conductivity_S_per_cm)
        row = {"id": rec.id, "formula": rec.formula, "family": rec.family, "sigma_S_cm": sigma,
               "sigma_upper_bound": bound}
        try:
            row.update(screen_one(INDEX.parent / f"{rec.id}.cif", "Li", args.resolution, args.seed))
        except kelmar.KelmarError as e:  # one clear line per structure that cannot be screened
            row["error"] = str(e).splitlines()[0]
        rows.append(row)
        print(f"{rec.id} {rec.formula:<40s} Ea_3D={row.get('Ea_3D')} {row['error']}", file=sys.stderr)
    table = pd.DataFrame(rows).set_index("id")

    out = pathlib.Path(args.out)
    out.mkdir(parents=True, exist_ok=True)
    table.to_csv(out / "screen.csv")
    print(table[["formula", "family", "sigma_S_cm", "Ea_1D", "Ea_3D", "error"]].to_string())

    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    ok = table[table["Ea_3D"].notna()]
    fig, ax = plt.subplots(figsize=(6, 4.5))
    for bound, marker, label in ((False, "o", "measured"), (True, "v", "upper bound")):
        part = ok[ok["sigma_upper_bound"] == bound]
        ax.scatter(part["Ea_3D"], part["sigma_S_cm"].map(math.log10), marker=marker, label=label)
    for idx, r in ok.iterrows():
        ax.annotate(idx, (r["Ea_3D"], math.log10(r["sigma_S_cm"])), fontsize=7, xytext=(3, 2),
                    textcoords="offset points")
    ax.set_xlabel("3D percolation energy E_a (eV, bond-valence landscape)")
    ax.set_ylabel("log10 measured conductivity (S/cm)")
    ax.set_title(f"Li electrolytes: E_a against measured conductivity ({args.resolution} A grid)")
    ax.legend()
    fig.tight_layout()
    fig.savefig(out / "screen.png", dpi=120)
    return 0


if __name__ == "__main__":
    sys.exit(main())
