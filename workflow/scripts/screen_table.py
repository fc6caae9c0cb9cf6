"""Collects the per-structure records into results.csv (one row per structure), draws.csv (one row
per draw) and summary.txt (how far the structures got, median times, rank correlation with the
measured conductivity)."""

import csv
import math
import os
import statistics

from screen_files import ScreenError, read_conductivity_table, species_text, spearman
from screen_steps import read_json

RESULT_COLUMNS = ["id", "formula", "ion", "states", "states_source", "gii", "sf", "grid", "grid_step_A",
                  "draws", "seeds",
                  "Ea1D_eV", "Ea1D_sd_eV", "Ea2D_eV", "Ea2D_sd_eV", "Ea3D_eV", "Ea3D_sd_eV",
                  "percolating_draws", "gh_Ea1D_eV", "gh_Ea2D_eV", "gh_Ea3D_eV",
                  "kmc_T_K", "kmc_sigma_S_cm", "kmc_sigma_sd_S_cm", "kmc_D_cm2_s", "kmc_D_sd_cm2_s",
                  "status", "stage", "error", "warnings",
                  "t_prepare_s", "t_landscape_s", "t_analysis_s", "t_kmc_s"]
DRAW_COLUMNS = ["id", "draw", "seed", "assigned", "sf", "grid", "Ea1D_eV", "Ea2D_eV", "Ea3D_eV",
                "gh_Ea1D_eV", "gh_Ea2D_eV", "gh_Ea3D_eV", "kmc_sigma_S_cm", "kmc_D_cm2_s",
                "status", "stage", "error", "warnings", "t_landscape_s", "t_analysis_s", "t_kmc_s"]

# NARO.x and kelmar.x --gh print their energies with three decimals: closer than this they agree.
GH_AGREES_EV = 1.5e-3


def _num(v, fmt):
    return "" if v is None else fmt.format(v)


def _spread(vals, fmt):
    """(mean, sample standard deviation) as text; the deviation needs two values."""
    return (_num(statistics.fmean(vals) if vals else None, fmt),
            _num(statistics.stdev(vals) if len(vals) > 1 else None, fmt))


def _warnings(*lists):
    out = []
    for items in lists:
        for w in items or ():
            if w not in out:
                out.append(w)
    return " | ".join(out)


def structure_row(sid, prep, draws, kmcs=()):
    """One results row from the prepare record, the analysis records of the draws and, when the kMC
    stage ran, its records."""
    row = {c: "" for c in RESULT_COLUMNS}
    row.update(id=sid, formula=prep.get("formula", ""), states=prep.get("states", ""),
               states_source=prep.get("states_source", ""),
               gii=_num(prep.get("gii"), "{:.4f}"), t_prepare_s=_num(prep.get("t_prepare"), "{:.2f}"))
    row["warnings"] = _warnings(prep.get("warnings"), *(d.get("warnings") for d in draws))
    if prep.get("ion"):
        row["ion"] = species_text(prep["ion"], prep["ion_state"])
    done = [d for d in draws if d["status"] == "ok"]
    ran = [d for d in draws if d["status"] != "skipped"]
    for key in ("t_landscape", "t_analysis"):
        times = [d[key] for d in ran if d.get(key) is not None]
        row[key + "_s"] = _num(sum(times) if times else None, "{:.2f}")
    if not done:
        failed = next((d for d in ran if d["status"] == "failed"), None) or {}
        row.update(status="failed", stage=failed.get("stage") or prep.get("stage", "prepare"),
                   error=failed.get("error") or prep.get("error", ""))
        return row
    row.update(status="ok", stage="done", draws=str(len(done)),
               seeds=";".join(str(d["seed"]) for d in done),
               sf=_num(statistics.fmean(d["sf"] for d in done), "{:.4f}"),
               grid=done[0].get("grid", ""))
    counts = []
    for k in range(3):
        vals = [d["ea"][k] for d in done if d["ea"][k] is not None]
        counts.append(str(len(vals)))
        row[f"Ea{k + 1}D_eV"] = _num(statistics.fmean(vals) if vals else None, "{:.3f}")
        row[f"Ea{k + 1}D_sd_eV"] = _num(statistics.stdev(vals) if len(vals) > 1 else None, "{:.3f}")
    row["percolating_draws"] = "/".join(counts)
    bad = [d for d in ran if d["status"] == "failed"]
    if bad:
        row["error"] = f"draw {bad[0]['draw']}: {bad[0]['error']}"
    row["grid_step_A"] = _num(done[0].get("resolution"), "{:g}")
    # kelmar's own network energies, shown only where they differ from the analyser's
    gh = []
    for k in range(3):
        vals = [d["ea_gh"][k] for d in done if d.get("ea_gh") and d["ea_gh"][k] is not None]
        gh.append(statistics.fmean(vals) if vals else None)
    naro = [float(row[f"Ea{k + 1}D_eV"]) if row[f"Ea{k + 1}D_eV"] else None for k in range(3)]
    if any(d.get("ea_gh") for d in done) and any(
            (a is None) != (b is None) or (a is not None and abs(a - b) > GH_AGREES_EV) for a, b in zip(gh, naro)):
        for k in range(3):
            row[f"gh_Ea{k + 1}D_eV"] = _num(gh[k], "{:.3f}") if gh[k] is not None else "none"
    ran_kmc = [m for m in kmcs if m.get("status") == "ok" and m.get("sigma") is not None]
    if kmcs:
        row["kmc_T_K"] = _num(kmcs[0].get("temperature"), "{:g}")
        row["kmc_sigma_S_cm"], row["kmc_sigma_sd_S_cm"] = _spread([m["sigma"] for m in ran_kmc], "{:.3e}")
        row["kmc_D_cm2_s"], row["kmc_D_sd_cm2_s"] = _spread([m["D"] for m in ran_kmc if m["D"] is not None],
                                                            "{:.3e}")
        times = [m["t_kmc"] for m in kmcs if m.get("t_kmc") is not None]
        row["t_kmc_s"] = _num(sum(times) if times else None, "{:.2f}")
        bad_kmc = [m for m in kmcs if m.get("status") == "failed" and m.get("error")]
        if bad_kmc and not row["error"]:
            row["error"] = f"kMC draw {bad_kmc[0]['draw']}: {bad_kmc[0]['error']}"
    return row


def draw_row(sid, d, m=None):
    ea = d.get("ea") or [None, None, None]
    gh = d.get("ea_gh") or [None, None, None]
    m = m or {}
    return {"id": sid, "draw": d.get("draw"), "seed": d.get("seed"),
            "assigned": "" if d.get("assigned") is None else str(bool(d["assigned"])).lower(),
            "sf": _num(d.get("sf"), "{:.6f}"), "grid": d.get("grid") or "",
            "Ea1D_eV": _num(ea[0], "{:.3f}"), "Ea2D_eV": _num(ea[1], "{:.3f}"), "Ea3D_eV": _num(ea[2], "{:.3f}"),
            "gh_Ea1D_eV": _num(gh[0], "{:.3f}"), "gh_Ea2D_eV": _num(gh[1], "{:.3f}"),
            "gh_Ea3D_eV": _num(gh[2], "{:.3f}"),
            "kmc_sigma_S_cm": _num(m.get("sigma"), "{:.3e}"), "kmc_D_cm2_s": _num(m.get("D"), "{:.3e}"),
            "status": d["status"], "stage": d.get("stage", ""), "error": d.get("error", "") or m.get("error", ""),
            "warnings": _warnings(d.get("warnings")),
            "t_landscape_s": _num(d.get("t_landscape"), "{:.2f}"), "t_analysis_s": _num(d.get("t_analysis"), "{:.2f}"),
            "t_kmc_s": _num(m.get("t_kmc"), "{:.2f}")}


def _write_csv(path, columns, rows):
    tmp = path + ".part"
    with open(tmp, "w", newline="", encoding="utf-8") as fh:
        w = csv.DictWriter(fh, fieldnames=columns)
        w.writeheader()
        w.writerows(rows)
    os.replace(tmp, path)


def correlation(rows, table, dim):
    """(rho, n, left out) of Ea in dimension dim against log10 conductivity. Structures whose
    conductivity is only an upper bound ('<1E-10') or that do not percolate are left out."""
    xs, ys, left = [], [], 0
    for r in rows:
        if r["id"] not in table:
            continue
        logs, censored = table[r["id"]]
        ea = r.get(f"Ea{dim}D_eV", "")
        if censored or logs is None or ea == "":
            left += 1
            continue
        xs.append(float(ea))
        ys.append(logs)
    return spearman(xs, ys), len(xs), left


def _median(vals):
    return f"{statistics.median(vals):.2f} s" if vals else "-"


def summary_text(rows, draws, table, dims=(1, 2, 3)):
    n = len(rows)
    failed_at = {}
    for r in rows:
        if r["status"] == "failed":
            failed_at[r["stage"]] = failed_at.get(r["stage"], 0) + 1
    reached_land = sum(1 for r in rows if r["status"] == "ok" or r["stage"] in ("landscape", "analysis"))
    reached_anal = sum(1 for r in rows if r["status"] == "ok" or r["stage"] == "analysis")
    out = [f"structures: {n}",
           f"prepared (CIF read, mobile ion found): {reached_land}",
           f"landscape computed: {reached_anal}",
           f"analysed (activation energies): {sum(1 for r in rows if r['status'] == 'ok')}"]
    for k in range(1, 4):
        out.append(f"percolating in {k}D below 999 eV: {sum(1 for r in rows if r[f'Ea{k}D_eV'] != '')}")
    out.append("failed: " + (", ".join(f"{v} at {k}" for k, v in sorted(failed_at.items())) or "none"))
    tp = [float(r["t_prepare_s"]) for r in rows if r["t_prepare_s"] and r["status"] == "ok"]
    tl = [float(d["t_landscape_s"]) for d in draws if d["status"] == "ok" and d["t_landscape_s"]]
    ta = [float(d["t_analysis_s"]) for d in draws if d["status"] == "ok" and d["t_analysis_s"]]
    out.append(f"median wall time: prepare {_median(tp)}, landscape {_median(tl)} per draw, "
               f"analysis {_median(ta)} per draw")
    assigned = sum(1 for d in draws if d["assigned"] == "true" and d["status"] == "ok")
    out.append(f"draws analysed: {len(ta)} ({assigned} on assigned supercells)")
    with_kmc = [r for r in rows if r.get("kmc_sigma_S_cm")]
    if with_kmc:
        moving = [r for r in with_kmc if float(r["kmc_sigma_S_cm"]) > 0]
        out.append(f"kMC at {with_kmc[0]['kmc_T_K']} K: conductivity above 0 for {len(moving)} of {len(with_kmc)} "
                   f"structures")
        if table:
            xs, ys = [], []
            for r in moving:
                logs, censored = table.get(r["id"], (None, True))
                if logs is not None and not censored:
                    xs.append(logs)
                    ys.append(math.log10(float(r["kmc_sigma_S_cm"])))
            rho = spearman(xs, ys)
            out.append(f"Spearman rho, log10 kMC conductivity vs log10 measured: "
                       f"{'-' if rho is None else f'{rho:+.2f}'} (n={len(xs)})")
    if table:
        for k in dims:
            rho, m, left = correlation(rows, table, k)
            rho_text = "-" if rho is None else f"{rho:+.2f}"
            out.append(f"Spearman rho, Ea{k}D vs log10 conductivity: {rho_text} (n={m}; {left} left out: "
                       f"conductivity only an upper bound or no percolation)")
    return "\n".join(out) + "\n"


def collect(ids, prep_paths, draw_paths, table_path, out_results, out_draws, out_summary, kmc_paths=None):
    """draw_paths[i] lists the analysis records of structure ids[i]; kmc_paths[i] (when the kMC
    stage ran) its kMC records, draw by draw."""
    rows, drows = [], []
    for i, (sid, pp, dps) in enumerate(zip(ids, prep_paths, draw_paths)):
        prep = read_json(pp)
        draws = [read_json(p) for p in dps]
        kmcs = [read_json(p) for p in kmc_paths[i]] if kmc_paths else []
        ran_kmcs = [m for m in kmcs if m.get("status") != "skipped"]
        rows.append(structure_row(sid, prep, draws, ran_kmcs))
        # draws of a structure that failed before its landscape add nothing to the draw table
        by_draw = {m.get("draw"): m for m in kmcs}
        drows.extend(draw_row(sid, d, by_draw.get(d.get("draw"))) for d in draws
                     if d["status"] != "skipped" and d.get("stage") != "prepare")
    table = {}
    if table_path and os.path.exists(table_path):
        try:
            table = read_conductivity_table(table_path)
        except ScreenError:
            table = {}
    _write_csv(out_results, RESULT_COLUMNS, rows)
    _write_csv(out_draws, DRAW_COLUMNS, drows)
    with open(out_summary, "w", encoding="utf-8") as fh:
        fh.write(summary_text(rows, drows, table))
    return rows
