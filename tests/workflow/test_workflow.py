"""Test of the screening workflow (workflow/Snakefile): the readers of the program files, dry runs
of the job graph (kMC stage off and on, the Slurm profile's placeholder account refused), a real
run with the kMC stage on three small structures and three bad files at a coarse grid, the thread
count each job hands to the programs, the HTML report of `snakemake --report`, and the re-runs that
must not recompute finished structures.

  test_workflow.py --kelmar K --naro N --workflow DIR --data tests/data

Exit status 0 passed, 1 failed, 77 skipped (snakemake or matplotlib missing).
"""

import argparse
import csv
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

FAILURES = []


def check(cond, what):
    if not cond:
        FAILURES.append(what)
        print(f"FAILED: {what}")


def unit_checks(files):
    tmp = tempfile.mkdtemp(prefix="wf-unit-")
    try:
        # Spearman: perfect, reversed, ties with mean ranks, too few pairs
        rho = files.spearman
        check(abs(rho([1, 2, 3, 4], [10, 20, 30, 40]) - 1) < 1e-12, "spearman of a rising series")
        check(abs(rho([1, 2, 3, 4], [4, 3, 2, 1]) + 1) < 1e-12, "spearman of a falling series")
        check(abs(rho([1, 2, 2, 3], [1, 2, 3, 4]) - 0.9486832980505138) < 1e-12, "spearman with a tie")
        check(rho([1, 2], [2, 1]) is None and rho([1, 1, 1], [1, 2, 3]) is None, "spearman undefined")

        # network analysis -> activation energies, like NARO_calc_activation_energy
        summary = os.path.join(tmp, "NARO_summary.txt")
        with open(summary, "w") as fh:
            fh.write("  Summary of pathway characteristics at different energy thresholds  \r\n"
                     " Threshold energy: 0.300000 eV\r\n\r\nCluster 1:\r\n> Multiplicity : 1\r\n"
                     "> Cluster energy minimum : 0.100\r\n> Cluster energy maximum : 0.300\r\n"
                     "\r\nCluster 2:\r\n> Percolating (1D) : Vector [0,1,0]\r\n"
                     "> Cluster energy minimum : 0.000 (global energy minimum)\r\n"
                     "> Cluster energy maximum : 0.410\r\n"
                     " Threshold energy: 0.900000 eV\r\n\r\nCluster 1:\r\n> Percolating (2D) : Plane (0,0,1)\r\n"
                     "> Cluster energy minimum : 0.000 (global energy minimum)\r\n"
                     "> Cluster energy maximum : 0.900\r\n")
        check(files.read_summary_activation(summary) == [0.41, 0.9, None], "activation energies from the summary")
        check(files.read_console_activation("1D activation energy: 0.410123 eV\n2D activation energy: 999.000000 eV\n")
              == [0.410123, None, None], "activation energies from the console")
        check(files.read_console_gii("GII: Global instability index = 0.216561\n") == 0.216561
              and files.read_console_gii("Error: x\n") is None, "GII line")

        # cube header, with and without the conducting line
        cube = os.path.join(tmp, "a.cube")
        with open(cube, "w") as fh:
            fh.write("Li1+:8.000 O2-:4.000 \r\nConducting = Li1+ ; sf = 0.583594;\r\n  12 0 0 0\r\n"
                     "  24 0.36 0 0\r\n  24 0 0.36 0\r\n  48 0 0 0.36\r\n")
        check(files.read_cube_header(cube) == ("Li1+", 0.583594, [24, 24, 48]), "cube header")
        with open(cube, "w") as fh:
            fh.write("noname\r\n\r\n   0 0 0 0\r\n")
        try:
            files.read_cube_header(cube)
            check(False, "a cube without header is refused")
        except files.ScreenError:
            pass

        # mobile ion: default order, configured ion and state, absent ion
        states = [("Cu", 2), ("Na", 1), ("Li", 1), ("O", -2), ("Cu", 1)]
        check(files.choose_mobile_ion(states) == ("Li", 1), "first mobile ion of the list")
        check(files.choose_mobile_ion(states, "Cu") == ("Cu", 1), "configured ion takes its lowest state")
        check(files.choose_mobile_ion(states, "Cu", 2) == ("Cu", 2), "configured ion and state")
        for wanted, state in (("K", 0), ("Cu", 3), ("O", 0)):
            try:
                files.choose_mobile_ion(states, wanted, state)
                check(False, f"mobile ion {wanted}{state} refused")
            except files.ScreenError:
                pass

        # a program that hangs or dies by a signal fails the step with one line; its console is logged
        import screen_steps
        log = os.path.join(tmp, "run.log")
        for argv, timeout, reason in ((["sleep", "30"], 0.5, "sleep 30 timed out after 0.5 s"),
                                      (["sh", "-c", "kill -SEGV $$"], 10, "sh -c ended by signal SIGSEGV")):
            try:
                screen_steps.run_program(argv, tmp, log, timeout)
                check(False, f"{argv} fails")
            except files.ScreenError as exc:
                check(str(exc) == reason, f"{argv}: {exc}")
        check(open(log).read().count("$ ") == 2, "console of both runs logged")

        # reaction pathways: pieces split at NEXT, labels of minima and saddles, nothing after END
        rp = os.path.join(tmp, "NARO_rp.csv")
        with open(rp, "w") as fh:
            fh.write("0.000000,0.000000,Li0,1,1,0\n0.200000,0.150000\n0.400000,0.300000,s1 0.300000eV\n"
                     "0.600000,0.000000,i1,1,1,0\nNEXT\n1.100000,0.050000,Li0,1,1,0\n1.300000,0.200000\n"
                     "END\n9.0,9.0\n")
        pieces = files.read_rp(rp)
        check([len(p) for p in pieces] == [4, 2] and pieces[0][2] == (0.4, 0.3, "s1 0.300000eV")
              and pieces[0][3][2] == "i1" and pieces[1][0] == (1.1, 0.05, "Li0"), "NARO_rp.csv pieces")
        try:
            import screen_report
        except ImportError:
            screen_report = None
        if screen_report is not None:
            written = []
            screen_report.profile("x", rp, os.path.join(tmp, "x"), written)
            check(sorted(os.path.basename(w) for w in written) == ["x.png", "x.svg"]
                  and all(os.path.getsize(w) > 1000 for w in written), "profile figure")

        # where the oxidation states came from, whatever the exact wording of kelmar's line
        for console, given, source in (
                ("", True, "given"), ("", False, "default"),
                ("Message: oxidation states from bond valence: Li+1 S-2 Sb+3\n", False, "inferred"),
                ("Message: oxidation states from charge balance: Fe+2 Fe+3 O-2\n", False, "inferred"),
                ("Message: oxidation states: Li+1 (given), Fe+2 (inferred)\n", False, "given+inferred"),
                ("Message: oxidation states from the data file's defaults: Li+1 O-2\n", False, "default"),
                ("Message: oxidation states from bond valence: Fe+3\n", True, "given+inferred"),
                ("Warning: no charge-neutral oxidation states for Li3N (tried Li +1)\n", False, "default")):
            check(files.states_source(console, given) == source, f"states source of {console!r}: "
                  f"{files.states_source(console, given)}")
        check(files.console_warnings(
            "Warning: _cell_formula_units_Z is not available. \nWarning: total charge of the cell is 0.1, 1.0% "
            "of the cation charge; the charges are rescaled to neutrality.\n",
            "Warning: kelmar_property_validate_generic() returns non-zero.\n"
            "Message: default screening factor used 0.750000.\nWarning: _loop block containing x not found.\n")
            == ["total charge of the cell is 0.1, 1.0% of the cation charge; the charges are rescaled to neutrality.",
                "kelmar_property_validate_generic() returns non-zero.", "screening factor fell back to 0.75"],
            "warnings of a console")
        check(files.read_console_gh("KELMAR_GRAPH_NETWORK: e_1D = 0.236 (-2.272 ~ -2.036)\n"
                                    "KELMAR_GRAPH_NETWORK: e_2D = -1.000 (0 ~ 0)\n") == [0.236, None, None],
              "percolation energies of --gh")
        check(files.read_console_kmc("KMC: diffusivity = 2.50e-01, (1, 2, 3) E-8 m^2/s\n"
                                     "KMC: conductivity = 1.50e-03, (1, 2, 3) S/cm\n") == (1.5e-3, 2.5e-5)
              and files.read_console_kmc("KMC: conductivity = nan, (0, 0, 0) S/cm\n") == (None, None),
              "kMC conductivity and diffusivity")
        charged = os.path.join(tmp, "charged.cif")
        with open(charged, "w") as fh:
            fh.write("data_x\nloop_\n_atom_site_label\n_atom_site_type_symbol\n_atom_site_fract_x\n"
                     "Fe1 Fe2+ 0.1\nO1 O2- 0.2\n")
        plain = os.path.join(tmp, "plain.cif")
        with open(plain, "w") as fh:
            fh.write("data_x\nloop_\n_atom_site_label\n_atom_site_type_symbol\n_atom_site_fract_x\n"
                     "Fe1 Fe 0.1\nO1 O 0.2\n")
        check(files.cif_gives_states(charged) and not files.cif_gives_states(plain), "CIF states its own states")

        # conductivity table: values, upper bounds, junk
        table = os.path.join(tmp, "index.tsv")
        with open(table, "w") as fh:
            fh.write("id\tformula\tconductivity_S_per_cm\na\tX\t1e-3\nb\tY\t<1E-10\nc\tZ\tn/a\n")
        t = files.read_conductivity_table(table)
        check(set(t) == {"a", "b"} and abs(t["a"][0] + 3) < 1e-12 and t["b"] == (-10.0, True),
              "conductivity table")
    finally:
        shutil.rmtree(tmp)


def snakemake(workflow, workdir, config, *extra, profile="local", env=None):
    argv = ["snakemake", "-s", os.path.join(workflow, "Snakefile"), "--profile",
            os.path.join(workflow, "profiles", profile), "--cores", "2", "--config"] + config + list(extra)
    p = subprocess.run(argv, cwd=workdir, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                       env=env)
    return p.returncode, p.stdout


# Snakemake's HTML report embeds the licences and scripts it downloads; the test runs offline, so
# every download gives a placeholder (the report's own content is what is checked).
OFFLINE_DOWNLOADS = """import requests


class _Placeholder:
    status_code = 200
    text = "/* not downloaded: offline test */"


def _get(url, *args, **kwargs):
    return _Placeholder()


requests.get = _get
"""


def ran_jobs(log):
    return re.findall(r"^(?:local)?rule (\w+):\n(?:.*\n)*?    wildcards: id=([^,\n]+)", log, re.M)


def workflow_checks(args):
    work = tempfile.mkdtemp(prefix="wf-run-")
    try:
        inp = os.path.join(work, "cifs")
        os.makedirs(inp)
        for src in ("samples/Li2O.cif", "samples/LiFePO4.cif", "electrolytes/9n0.cif", "samples/SrTiO3.cif"):
            shutil.copy(os.path.join(args.data, src), inp)
        with open(os.path.join(inp, "garbage.cif"), "wb") as fh:
            fh.write(b"\x00\x01\x02 not a crystal \xff\xfe\n")
        open(os.path.join(inp, "empty.cif"), "w").close()
        with open(os.path.join(inp, "notes.txt"), "w") as fh:
            fh.write("not a structure: ignored\n")
        with open(os.path.join(inp, "index.tsv"), "w") as fh:
            fh.write("id\tformula\tconductivity_S_per_cm\nLi2O\tLi2O\t1e-9\nLiFePO4\tLiFePO4\t<1E-10\n"
                     "9n0\tLi0.3Na0.2La0.5Nb2O6\t1.11e-05\n")
        config = [f"input={inp}", f"kelmar={args.kelmar}", f"naro={args.naro}", "resolution=0.5", "draws=2", "sf=0.7"]

        # the programs take their thread count from KELMAR_THREADS; a value they cannot use is named
        for value, warned in (("1", False), ("many", True)):
            p = subprocess.run([args.kelmar, "--gen-cube", os.path.join(inp, "Li2O.cif"), "Li", "1", "0.7", "0.5", "t",
                                "t", "f", os.path.join(work, "t.cube")], capture_output=True, text=True,
                               env=dict(os.environ, KELMAR_THREADS=value))
            check(p.returncode == 0 and ("Warning: KELMAR_THREADS is not a whole number from 1 to 4096; using the"
                                         in p.stdout) == warned, f"kelmar.x with KELMAR_THREADS={value}")

        rc, log = snakemake(args.workflow, work, config, "-n")
        check(rc == 0, "dry run succeeds")
        check(re.search(r"^prepare\s+6\b", log, re.M) and re.search(r"^landscape\s+12\b", log, re.M)
              and re.search(r"^analysis\s+12\b", log, re.M), "dry run plans 6 structures x 2 draws")
        check(not re.search(r"^kmc\s", log, re.M), "the kMC stage is off by default")
        # the Slurm profile refuses its placeholder account before anything is submitted
        rc, log = snakemake(args.workflow, work, config, "-n", profile="slurm")
        check(rc != 0 and "slurm_account is the profile's placeholder 'SET_YOUR_ACCOUNT'" in log,
              "Slurm profile with the placeholder account refused")
        rc, log = snakemake(args.workflow, work, config, "-n", "--default-resources", "slurm_account=lab",
                            "slurm_partition=short", profile="slurm")
        check("placeholder" not in log, "Slurm profile with an account is not refused")

        config += ["kmc=true", "kmc_steps=2000", "kmc_temperature=700"]
        rc, log = snakemake(args.workflow, work, config, "-n")
        check(rc == 0 and re.search(r"^kmc\s+12\b", log, re.M), "kmc=true plans one kMC run per draw")

        rc, log = snakemake(args.workflow, work, config)
        check(rc == 0, "real run succeeds")
        if rc != 0:
            print(log[-3000:])
            return
        with open(os.path.join(work, "results.csv"), newline="") as fh:
            rows = {r["id"]: r for r in csv.DictReader(fh)}
        check(sorted(rows) == ["9n0", "Li2O", "LiFePO4", "SrTiO3", "empty", "garbage"], "one row per CIF")
        expect_failed = {"SrTiO3": "no mobile ion", "empty": "empty file", "garbage": "kelmar.x --gen-cif: Error:"}
        for sid, reason in expect_failed.items():
            r = rows.get(sid, {})
            check(r.get("status") == "failed" and r.get("stage") == "prepare" and reason in r.get("error", "")
                  and r.get("Ea1D_eV") == "", f"{sid} failed with its reason")
        li2o = rows.get("Li2O", {})
        check(li2o.get("status") == "ok" and li2o.get("ion") == "Li1+" and li2o.get("states") == "Li1+ O2-"
              and li2o.get("formula") == "Li2O" and li2o.get("grid") == "24x24x24" and li2o.get("draws") == "1"
              and li2o.get("sf") == "0.7000"
              and li2o.get("seeds") == "1" and li2o.get("gii") == "0.2164" and li2o.get("Ea3D_eV") != "",
              "Li2O row")
        lfp = rows.get("LiFePO4", {})
        check(lfp.get("status") == "ok" and lfp.get("formula") == "LiFePO4"
              and float(lfp.get("Ea1D_eV") or 99) < float(lfp.get("Ea2D_eV") or 0), "olivine conducts in 1D first")
        r9 = rows.get("9n0", {})
        check(r9.get("status") == "ok" and r9.get("draws") == "2" and r9.get("seeds") == "1;2", "mixed site: two draws")
        # what a reader needs to trust a row
        check(li2o.get("states_source") == "given" and r9.get("states_source") == "default"
              and lfp.get("states_source") == "given", "source of the oxidation states")
        check(all(rows[i].get("grid_step_A") == "0.5" for i in ("Li2O", "LiFePO4", "9n0")), "grid step")
        check(li2o.get("warnings") == "" and "rescaled" not in li2o.get("warnings", "x"), "Li2O has no warning")
        # mean and spread over the two draws of the mixed site, from draws.csv
        with open(os.path.join(work, "draws.csv"), newline="") as fh:
            d9 = [d for d in csv.DictReader(fh) if d["id"] == "9n0"]
        for k in (1, 2, 3):
            vals = [float(d[f"Ea{k}D_eV"]) for d in d9 if d[f"Ea{k}D_eV"]]
            if len(vals) == 2:
                import statistics
                check(abs(float(r9[f"Ea{k}D_eV"]) - statistics.fmean(vals)) < 1.5e-3
                      and abs(float(r9[f"Ea{k}D_sd_eV"]) - statistics.stdev(vals)) < 1.5e-3, f"9n0 {k}D mean and spread")
        # --gh energies appear in the table exactly where they differ from the analyser's
        for sid in ("Li2O", "LiFePO4", "9n0"):
            r = rows.get(sid, {})
            recs = [json.load(open(os.path.join(work, "work", sid, f"draw{n}", "analysis.json"))) for n in (1, 2)
                    if os.path.exists(os.path.join(work, "work", sid, f"draw{n}", "analysis.json"))]
            recs = [x for x in recs if x["status"] == "ok"]
            check(all("ea_gh" in x for x in recs), f"{sid}: --gh ran on every draw")
            shown = any(r.get(f"gh_Ea{k}D_eV") for k in (1, 2, 3))
            differ = False
            for k in range(3):
                g = [x["ea_gh"][k] for x in recs if x["ea_gh"][k] is not None]
                gm = sum(g) / len(g) if g else None
                n = float(r[f"Ea{k + 1}D_eV"]) if r.get(f"Ea{k + 1}D_eV") else None
                differ = differ or (gm is None) != (n is None) or (gm is not None and abs(gm - n) > 1.5e-3)
            check(shown == differ, f"{sid}: --gh energies shown ({shown}) exactly when they differ ({differ})")
        # the kMC stage: sigma and D at the chosen temperature, each draw with its own seed
        for sid, n in (("Li2O", 1), ("LiFePO4", 1), ("9n0", 2)):
            r = rows.get(sid, {})
            check(r.get("kmc_T_K") == "700" and r.get("kmc_sigma_S_cm") != "" and r.get("kmc_D_cm2_s") != ""
                  and (n == 1 or r.get("kmc_sigma_sd_S_cm") != ""), f"{sid}: kMC columns {r.get('kmc_sigma_S_cm')}")
            for k in range(1, n + 1):
                m = json.load(open(os.path.join(work, "work", sid, f"draw{k}", "kmc.json")))
                check(m["status"] == "ok" and m["seed"] == k and m["temperature"] == 700 and m["steps"] == 2000
                      and m["sigma"] is not None and m["sigma"] >= 0, f"{sid} draw {k}: kMC record {m}")
        # every job handed its threads to the programs: the landscape rule all cores given (2), kMC one
        for sid in ("Li2O", "9n0"):
            land = json.load(open(os.path.join(work, "work", sid, "draw1", "landscape.json")))
            m = json.load(open(os.path.join(work, "work", sid, "draw1", "kmc.json")))
            check(land.get("threads") == 2 and m.get("threads") == 1,
                  f"{sid}: KELMAR_THREADS {land.get('threads')} (landscape), {m.get('threads')} (kMC)")
        with open(os.path.join(work, "draws.csv"), newline="") as fh:
            draws = list(csv.DictReader(fh))
        check(sorted((d["id"], d["assigned"]) for d in draws)
              == [("9n0", "true"), ("9n0", "true"), ("Li2O", "false"), ("LiFePO4", "false")], "draws table")
        # the table's energies (read from NARO_summary.txt) agree with the analyser's console lines
        for sid, draw in (("Li2O", 1), ("LiFePO4", 1), ("9n0", 1), ("9n0", 2)):
            rec = json.load(open(os.path.join(work, "work", sid, f"draw{draw}", "analysis.json")))
            for a, b in zip(rec["ea"], rec["ea_console"]):
                check((a is None) == (b is None) and (a is None or abs(a - b) <= 1.1e-3),
                      f"{sid} draw {draw}: summary {rec['ea']} vs console {rec['ea_console']}")
        for name in ("activation_energies", "activation_vs_conductivity", "kmc_vs_conductivity"):
            for ext in ("png", "svg"):
                p = os.path.join(work, "report", f"{name}.{ext}")
                check(os.path.exists(p) and os.path.getsize(p) > 1000, f"figure {name}.{ext}")
        summary = open(os.path.join(work, "summary.txt")).read()
        check("structures: 6" in summary and "analysed (activation energies): 3" in summary
              and "failed: 3 at prepare" in summary and "Ea3D vs log10 conductivity" in summary
              and "kMC at 700 K: conductivity above 0 for " in summary, "summary.txt")
        for sid in ("Li2O", "LiFePO4", "9n0"):
            if os.path.exists(os.path.join(work, "work", sid, "draw1", "NARO_rp.csv")):
                check(os.path.exists(os.path.join(work, "report", "profiles", f"{sid}.svg")), f"profile of {sid}")
        check(not any(f.endswith(".cube") and os.path.getsize(os.path.join(d, f)) > 0
                      for d, _, fs in os.walk(os.path.join(work, "work")) for f in fs), "landscapes removed")

        # the page that needs no network: table, figures and profiles with their captions
        page = open(os.path.join(work, "report", "index.html"), encoding="utf-8").read()
        for item in ('src="activation_energies.svg"', 'src="kmc_vs_conductivity.svg"', 'src="profiles/9n0.svg"',
                     "<th>states_source</th>", f"Screening of {inp} ", "Error bars are the spread over the draws"):
            check(item in page, f"report/index.html shows {item}")

        # one browsable page: the table, the figures and the profiles as report items with captions
        stub = os.path.join(work, "offline")
        os.makedirs(stub)
        with open(os.path.join(stub, "sitecustomize.py"), "w") as fh:
            fh.write(OFFLINE_DOWNLOADS)
        env = dict(os.environ, PYTHONPATH=stub)
        rc, log = snakemake(args.workflow, work, config, "--report", "report.html", env=env)
        page = open(os.path.join(work, "report.html"), encoding="utf-8").read() if rc == 0 else ""
        check(rc == 0 and len(page) > 10000, "snakemake --report writes report.html")
        for item in ("results.csv", "draws.csv", "summary.txt", "activation_energies.svg",
                     "activation_vs_conductivity.svg", "kmc_vs_conductivity.svg", "Li2O.svg", "9n0.svg",
                     "states_source", "kMC conductivity (S/cm)", "Error bars are the spread over the draws",
                     "Results table", "Pathway profiles"):
            check(item in page, f"report.html shows {item}")

        rc, log = snakemake(args.workflow, work, config)
        check(rc == 0 and "Nothing to be done" in log, "a finished run is not recomputed")

        # a structure added to the folder is computed alone; the table then has seven rows
        shutil.copy(os.path.join(args.data, "samples", "Li2O.cif"), os.path.join(inp, "Li2O-copy.cif"))
        rc, log = snakemake(args.workflow, work, config)
        jobs = sorted(set(ran_jobs(log)))
        check(rc == 0 and jobs == [("analysis", "Li2O-copy"), ("kmc", "Li2O-copy"), ("landscape", "Li2O-copy"),
                                   ("prepare", "Li2O-copy")], f"only the new structure is computed: {jobs}")
        with open(os.path.join(work, "results.csv"), newline="") as fh:
            check(len(list(csv.DictReader(fh))) == 7, "the new structure joins the table")
    finally:
        if not FAILURES:
            shutil.rmtree(work)
        else:
            print(f"work directory kept: {work}")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--kelmar", required=True)
    ap.add_argument("--naro", required=True)
    ap.add_argument("--workflow", required=True)
    ap.add_argument("--data", required=True)
    args = ap.parse_args()
    for key in ("kelmar", "naro", "workflow", "data"):
        setattr(args, key, os.path.abspath(getattr(args, key)))
    sys.path.insert(0, os.path.join(args.workflow, "scripts"))
    import screen_files

    unit_checks(screen_files)
    if shutil.which("snakemake") is None:
        print("SKIPPED: snakemake is not installed (Debian package snakemake); workflow run not tested")
        return 77 if not FAILURES else 1
    head = open(shutil.which("snakemake")).readline()
    interp = head[2:].strip().split()[0] if head.startswith("#!") else "python3"
    probe = subprocess.run([interp, "-c", "import matplotlib"], capture_output=True)
    if probe.returncode != 0:
        print("SKIPPED: matplotlib missing for snakemake's Python (Debian package python3-matplotlib)")
        return 77 if not FAILURES else 1
    workflow_checks(args)
    print("workflow test: " + ("passed" if not FAILURES else f"{len(FAILURES)} check(s) failed"))
    return 1 if FAILURES else 0


if __name__ == "__main__":
    sys.exit(main())
