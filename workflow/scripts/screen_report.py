"""Figures of a screening run (PNG and SVG): histogram of the activation energies, activation
energy against measured conductivity (error bars: spread over the draws), kMC conductivity against
the measured one, and the energy profile of each structure's reaction pathways (NARO_rp.csv of the
first draw that wrote one, named in the title)."""

import csv
import html
import math
import os
import re

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
from matplotlib.ticker import MaxNLocator  # noqa: E402

from screen_files import read_rp, spearman  # noqa: E402
from screen_table import correlation  # noqa: E402


def _save(fig, base, written):
    for ext in ("png", "svg"):
        fig.savefig(f"{base}.{ext}", dpi=120 if ext == "png" else None, bbox_inches="tight")
        written.append(f"{base}.{ext}")
    plt.close(fig)


def histogram(rows, outdir, written):
    done = [r for r in rows if r["status"] == "ok"]
    fig, ax = plt.subplots(figsize=(6, 4))
    series = {k: [float(r[f"Ea{k}D_eV"]) for r in done if r[f"Ea{k}D_eV"]] for k in (1, 2, 3)}
    every = [v for vals in series.values() for v in vals]
    if every:
        # one set of bins for the three dimensions; their bars stand side by side in each bin
        lo, hi = min(every), max(every)
        step = max((hi - lo) / 20.0, 0.02)
        edges = [lo + i * step for i in range(int((hi - lo) / step) + 2)]
        keys = [k for k in (1, 2, 3) if series[k]]
        colours = {1: "tab:blue", 2: "tab:orange", 3: "tab:green"}
        ax.hist([series[k] for k in keys], bins=edges, color=[colours[k] for k in keys],
                label=[f"{k}D (n={len(series[k])})" for k in keys], rwidth=0.9)
        ax.legend()
    else:
        ax.text(0.5, 0.5, "no percolating structure", ha="center", transform=ax.transAxes)
    ax.yaxis.set_major_locator(MaxNLocator(integer=True))
    ax.set_xlabel("activation energy (eV)")
    ax.set_ylabel("structures")
    ax.set_title(f"Activation energies of the {len(done)} analysed structures (of {len(rows)})")
    _save(fig, os.path.join(outdir, "activation_energies"), written)


def _error(r, key):
    v = r.get(key, "")
    return float(v) if v else 0.0


def versus_conductivity(rows, table, dim, outdir, written):
    fig, ax = plt.subplots(figsize=(6, 4.5))
    rho, n, left = correlation(rows, table, dim)
    pts = {False: ([], [], []), True: ([], [], [])}
    for r in rows:
        if r["id"] not in table or not r[f"Ea{dim}D_eV"]:
            continue
        logs, censored = table[r["id"]]
        if logs is None:
            continue
        xs, ys, es = pts[censored]
        xs.append(logs)
        ys.append(float(r[f"Ea{dim}D_eV"]))
        es.append(_error(r, f"Ea{dim}D_sd_eV"))
        ax.annotate(r["id"], (logs, ys[-1]), fontsize=7, xytext=(3, 3), textcoords="offset points")
    xs, ys, es = pts[False]
    ax.errorbar(xs, ys, yerr=es, fmt="o", color="tab:blue", capsize=3, label="measured (bar: spread over draws)")
    bx, by, be = pts[True]
    if bx:
        ax.errorbar(bx, by, yerr=be, fmt="<", color="tab:gray", capsize=3, label="upper bound only (left out of rho)")
    rho_text = "n/a" if rho is None else f"{rho:+.2f}"
    ax.set_title(f"{dim}D activation energy vs conductivity: Spearman rho = {rho_text} (n={n})")
    ax.set_xlabel("log10 conductivity (S/cm)")
    ax.set_ylabel(f"{dim}D activation energy (eV)")
    ax.legend(fontsize=8)
    _save(fig, os.path.join(outdir, "activation_vs_conductivity"), written)


def kmc_versus_conductivity(rows, table, outdir, written):
    """kMC conductivity against the measured one, both as log10; structures whose kMC conductivity is
    zero (no net displacement in the run) cannot be drawn on the log scale and are counted instead."""
    fig, ax = plt.subplots(figsize=(6, 4.5))
    xs, ys, lo, hi, zero = [], [], [], [], 0
    temperature = next((r["kmc_T_K"] for r in rows if r.get("kmc_T_K")), "")
    for r in rows:
        if r["id"] not in table or not r.get("kmc_sigma_S_cm"):
            continue
        logs, _ = table[r["id"]]
        sigma, sd = float(r["kmc_sigma_S_cm"]), _error(r, "kmc_sigma_sd_S_cm")
        if logs is None:
            continue
        if sigma <= 0:
            zero += 1
            continue
        xs.append(logs)
        ys.append(math.log10(sigma))
        # the spread over draws, drawn on the log scale; a lower end at or below zero is clipped
        lo.append(ys[-1] - math.log10(sigma - sd) if sigma - sd > 0 else 1.0)
        hi.append(math.log10(sigma + sd) - ys[-1])
        ax.annotate(r["id"], (logs, ys[-1]), fontsize=7, xytext=(3, 3), textcoords="offset points")
    ax.errorbar(xs, ys, yerr=[lo, hi], fmt="o", color="tab:purple", capsize=3, label="kMC (bar: spread over draws)")
    if xs:
        a, b = min(xs + ys), max(xs + ys)
        ax.plot([a, b], [a, b], color="tab:gray", lw=0.8, ls="--", label="equal")
    else:
        ax.text(0.5, 0.5, "no structure with a kMC and a measured conductivity", ha="center", transform=ax.transAxes)
    rho = spearman(xs, ys)
    ax.set_title(f"kMC at {temperature} K vs measured conductivity: rho = {'n/a' if rho is None else f'{rho:+.2f}'}"
                 f" (n={len(xs)}; {zero} with kMC sigma = 0 not drawn)", fontsize=9)
    ax.set_xlabel("log10 measured conductivity (S/cm)")
    ax.set_ylabel("log10 kMC conductivity (S/cm)")
    ax.legend(fontsize=8)
    _save(fig, os.path.join(outdir, "kmc_vs_conductivity"), written)


# Beyond this many labelled points a profile labels only the highest saddle of each pathway.
MAX_LABELS = 24


def profile(sid, rp_path, base, written, draw=None, seed=None):
    pieces = read_rp(rp_path)
    if not pieces:
        return
    labelled = sum(1 for piece in pieces for p in piece if p[2])
    width = min(16.0, 7.0 + 0.15 * max(0, labelled - MAX_LABELS))
    fig, ax = plt.subplots(figsize=(width, 3.8))
    colours = plt.get_cmap("tab10")
    for n, piece in enumerate(pieces):
        colour = colours(n % 10)
        ax.plot([p[0] for p in piece], [p[1] for p in piece], color=colour, lw=1.2,
                label=f"pathway {n + 1}" if len(pieces) <= 10 else None)
        saddles = [p for p in piece if p[2] and p[2].startswith("s") and p[2][1:2].isdigit()]
        top = max(saddles, key=lambda p: p[1]) if saddles else None
        for x, e, label in piece:
            if not label:
                continue
            saddle = label.startswith("s") and label[1:2].isdigit()
            ax.plot(x, e, "^" if saddle else "o", color=colour, mec="black", mew=0.4, ms=4)
            if labelled <= MAX_LABELS or (x, e, label) == top:
                ax.annotate(label.split()[0], (x, e), fontsize=6, xytext=(0, 4), textcoords="offset points",
                            ha="center")
    ax.set_xlabel("reaction coordinate (Å)")
    ax.set_ylabel("energy (eV)")
    which = "" if draw is None else f", draw {draw}" + ("" if seed is None else f" (seed {seed})")
    ax.set_title(f"{sid}: reaction pathways{which}" +
                 ("" if labelled <= MAX_LABELS else "; only the highest saddle of each is labelled"), fontsize=9)
    if 1 < len(pieces) <= 10:
        ax.legend(fontsize=7, ncol=min(5, len(pieces)))
    _save(fig, base, written)


def _caption(captions, name, values=None):
    """The caption text of a report item (the .rst file the HTML report of Snakemake shows), with its
    inline markup reduced to plain text; empty when absent."""
    path = os.path.join(captions or "", name + ".rst")
    if not captions or not os.path.exists(path):
        return ""
    text = open(path, encoding="utf-8").read()
    text = re.sub(r'\{\{\s*snakemake\.config\["(\w+)"\]\s*\}\}', lambda m: str((values or {}).get(m.group(1), "")), text)
    text = re.sub(r"\{\{.*?\}\}", "", text)
    return html.escape(" ".join(text.replace("``", "").replace("**", "").split()))


def offline_page(rows, written, outdir, captions, path, values=None):
    """report/index.html: the results table, the figures and their captions on one page that needs
    nothing but the files beside it (the Snakemake report downloads its scripts while it is written)."""
    out = ["<!DOCTYPE html>", '<html><head><meta charset="utf-8"><title>Screening report</title>',
           "<style>body{font-family:sans-serif;margin:1em 2em}table{border-collapse:collapse;font-size:12px}"
           "td,th{border:1px solid #ccc;padding:2px 5px;white-space:nowrap}figure{margin:1em 0}"
           "p.caption{max-width:60em;color:#333}</style></head><body>",
           "<h1>Screening report</h1>", f"<p class=caption>{_caption(captions, 'workflow', values)}</p>",
           "<h2>Results table</h2>", f"<p class=caption>{_caption(captions, 'results')}</p>", "<table>"]
    if rows:
        out.append("<tr>" + "".join(f"<th>{html.escape(c)}</th>" for c in rows[0]) + "</tr>")
        for r in rows:
            out.append("<tr>" + "".join(f"<td>{html.escape(str(v or ''))}</td>" for v in r.values()) + "</tr>")
    out.append("</table>")
    figures = [w for w in written if w.endswith(".svg") and os.sep + "profiles" + os.sep not in w]
    profiles = [w for w in written if w.endswith(".svg") and os.sep + "profiles" + os.sep in w]
    out.append("<h2>Figures</h2>")
    for w in figures:
        name = os.path.splitext(os.path.basename(w))[0]
        out.append(f'<figure><img src="{html.escape(os.path.relpath(w, outdir))}">'
                   f"<p class=caption>{_caption(captions, name)}</p></figure>")
    out.append("<h2>Pathway profiles</h2>" + f"<p class=caption>{_caption(captions, 'profiles')}</p>")
    for w in profiles:
        out.append(f'<figure><img src="{html.escape(os.path.relpath(w, outdir))}"></figure>')
    out.append("</body></html>")
    with open(path, "w", encoding="utf-8") as fh:
        fh.write("\n".join(out) + "\n")


def report(results_csv, table, dim, profiles, outdir, index_path, kmc=False, captions=None, values=None):
    """profiles: {id: (path of NARO_rp.csv, draw, seed)}. Every figure is written (a figure without
    data says so), so that the report lists the same items on every run."""
    os.makedirs(os.path.join(outdir, "profiles"), exist_ok=True)
    with open(results_csv, newline="", encoding="utf-8") as fh:
        rows = list(csv.DictReader(fh))
    written = []
    histogram(rows, outdir, written)
    if table is not None:
        versus_conductivity(rows, table, dim, outdir, written)
        if kmc:
            kmc_versus_conductivity(rows, table, outdir, written)
    for sid, (path, draw, seed) in sorted(profiles.items()):
        profile(sid, path, os.path.join(outdir, "profiles", sid), written, draw, seed)
    offline_page(rows, written, outdir, captions, os.path.join(outdir, "index.html"), values)
    written.append(os.path.join(outdir, "index.html"))
    with open(index_path, "w", encoding="utf-8") as fh:
        fh.write("\n".join(os.path.relpath(p, outdir) for p in written) + "\n")
