"""Figures of a screening run (PNG and SVG): histogram of the activation energies, activation
energy against measured conductivity, and the energy profile of each structure's reaction pathways
(NARO_rp.csv) where the analyser wrote one."""

import csv
import os

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

from screen_files import read_rp  # noqa: E402
from screen_table import correlation  # noqa: E402


def _save(fig, base, written):
    for ext in ("png", "svg"):
        fig.savefig(f"{base}.{ext}", dpi=120 if ext == "png" else None, bbox_inches="tight")
        written.append(f"{base}.{ext}")
    plt.close(fig)


def histogram(rows, outdir, written):
    fig, ax = plt.subplots(figsize=(6, 4))
    series = {k: [float(r[f"Ea{k}D_eV"]) for r in rows if r[f"Ea{k}D_eV"]] for k in (1, 2, 3)}
    every = [v for vals in series.values() for v in vals]
    any_data = bool(every)
    if every:
        # one set of bins for the three dimensions, so that their bars line up
        lo, hi = min(every), max(every)
        step = max((hi - lo) / 30.0, 0.01)
        edges = [lo + i * step for i in range(int((hi - lo) / step) + 2)]
    for k, colour in zip((1, 2, 3), ("tab:blue", "tab:orange", "tab:green")):
        if series[k]:
            ax.hist(series[k], bins=edges, alpha=0.5, color=colour, label=f"{k}D (n={len(series[k])})")
    ax.set_xlabel("activation energy (eV)")
    ax.set_ylabel("structures")
    ax.set_title(f"Activation energies of {len(rows)} structures")
    if any_data:
        ax.legend()
    else:
        ax.text(0.5, 0.5, "no percolating structure", ha="center", transform=ax.transAxes)
    _save(fig, os.path.join(outdir, "activation_energies"), written)


def versus_conductivity(rows, table, dim, outdir, written):
    fig, ax = plt.subplots(figsize=(6, 4.5))
    rho, n, left = correlation(rows, table, dim)
    xs, ys, bx, by = [], [], [], []
    for r in rows:
        if r["id"] not in table or not r[f"Ea{dim}D_eV"]:
            continue
        logs, censored = table[r["id"]]
        if logs is None:
            continue
        (bx if censored else xs).append(logs)
        (by if censored else ys).append(float(r[f"Ea{dim}D_eV"]))
        ax.annotate(r["id"], (logs, float(r[f"Ea{dim}D_eV"])), fontsize=7, xytext=(3, 3),
                    textcoords="offset points")
    ax.scatter(xs, ys, color="tab:blue", label="measured")
    if bx:
        ax.scatter(bx, by, marker="<", color="tab:gray", label="upper bound only (left out of rho)")
    rho_text = "n/a" if rho is None else f"{rho:+.2f}"
    ax.set_title(f"{dim}D activation energy vs conductivity: Spearman rho = {rho_text} (n={n})")
    ax.set_xlabel("log10 conductivity (S/cm)")
    ax.set_ylabel(f"{dim}D activation energy (eV)")
    ax.legend(fontsize=8)
    _save(fig, os.path.join(outdir, "activation_vs_conductivity"), written)


def profile(sid, rp_path, base, written):
    pieces = read_rp(rp_path)
    if not pieces:
        return
    fig, ax = plt.subplots(figsize=(7, 3.5))
    for piece in pieces:
        ax.plot([p[0] for p in piece], [p[1] for p in piece], color="tab:blue", lw=1.2)
        for x, e, label in piece:
            if label:
                saddle = label.startswith("s") and label[1:2].isdigit()
                ax.plot(x, e, "^" if saddle else "o", color="tab:red" if saddle else "tab:green", ms=4)
                ax.annotate(label.split()[0], (x, e), fontsize=6, xytext=(0, 4), textcoords="offset points",
                            ha="center")
    ax.set_xlabel("reaction coordinate (Å)")
    ax.set_ylabel("energy (eV)")
    ax.set_title(f"{sid}: reaction pathways")
    _save(fig, base, written)


def report(results_csv, table, dim, profiles, outdir, index_path):
    """profiles: {id: path of NARO_rp.csv}."""
    os.makedirs(os.path.join(outdir, "profiles"), exist_ok=True)
    with open(results_csv, newline="", encoding="utf-8") as fh:
        rows = list(csv.DictReader(fh))
    written = []
    histogram(rows, outdir, written)
    if table:
        versus_conductivity(rows, table, dim, outdir, written)
    for sid, path in sorted(profiles.items()):
        profile(sid, path, os.path.join(outdir, "profiles", sid), written)
    with open(index_path, "w", encoding="utf-8") as fh:
        fh.write("\n".join(os.path.relpath(p, outdir) for p in written) + "\n")
