"""The three per-structure steps of the screening: prepare, landscape, analysis.

Each step always writes its JSON record, also when the structure fails, so that one bad structure
never stops the batch: the record carries status "ok", "failed" or "skipped", the one-line reason,
and the wall time of the programs it ran. A step that is interrupted leaves no record, and the
workflow engine runs it again on the next start.
"""

import json
import os
import shutil
import signal
import subprocess
import time

from screen_files import (ScreenError, choose_mobile_ion, cif_gives_states, console_warnings,
                          first_error_line, read_cif_formula, read_cif_states, read_console_activation,
                          read_console_gh, read_console_gii, read_console_kmc, read_cube_header,
                          read_summary_activation, species_text, states_source)


def write_json(path, record):
    tmp = path + ".part"
    with open(tmp, "w", encoding="utf-8") as fh:
        json.dump(record, fh, indent=1, sort_keys=True)
        fh.write("\n")
    os.replace(tmp, path)


def read_json(path):
    with open(path, "r", encoding="utf-8") as fh:
        return json.load(fh)


def run_program(argv, cwd, log_path, timeout, env_extra=None):
    """Runs one program; returns (exit status, seconds, stdout, stderr). The console goes to log_path.

    A run that exceeds timeout seconds is killed and reported as a failure; so is a run ended by a
    signal. When the step itself is interrupted, the program is killed with it.
    """
    env = dict(os.environ)
    env.update(env_extra or {})
    start = time.monotonic()
    proc = subprocess.Popen(argv, cwd=cwd, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            stdin=subprocess.DEVNULL)
    try:
        out, err = proc.communicate(timeout=timeout if timeout and timeout > 0 else None)
    except subprocess.TimeoutExpired:
        proc.kill()
        out, err = proc.communicate()
        elapsed = time.monotonic() - start
        _write_log(log_path, argv, out, err, "timeout")
        raise ScreenError(f"{os.path.basename(argv[0])} {argv[1]} timed out after {timeout:g} s")
    except BaseException:
        # interrupted: take the program down with us, the step will be run again
        proc.kill()
        proc.wait()
        raise
    elapsed = time.monotonic() - start
    out = out.decode("utf-8", errors="replace")
    err = err.decode("utf-8", errors="replace")
    _write_log(log_path, argv, out, err, proc.returncode)
    if proc.returncode < 0:
        raise ScreenError(f"{os.path.basename(argv[0])} {argv[1]} ended by signal "
                          f"{signal.Signals(-proc.returncode).name}")
    return proc.returncode, elapsed, out, err


def _write_log(path, argv, out, err, status):
    with open(path, "a", encoding="utf-8") as fh:
        fh.write("$ " + " ".join(argv) + "\n")
        for text in (out, err):
            if isinstance(text, bytes):
                text = text.decode("utf-8", errors="replace")
            fh.write(text or "")
        fh.write(f"[exit status {status}]\n\n")


class _Settled(Exception):
    """The record already says how the step ends."""


def _program_error(what, rc, *texts):
    return f"{what}: " + (first_error_line(*texts) or f"exit status {rc}")


def _fail(record, stage, reason):
    record.update(status="failed", stage=stage, error=reason)
    return record


def _has_states(path):
    """True when the CIF gives oxidation numbers of its own (an _atom_type_oxidation_number tag)."""
    try:
        with open(path, "rb") as fh:
            return b"_atom_type_oxidation_number" in fh.read().lower()
    except OSError:
        return False


# --- prepare ------------------------------------------------------------------------------------

def prepare(cif, workdir, out_json, cfg):
    """Reads the CIF with kelmar.x, writes it back with the oxidation states kelmar uses
    (prepared.cif), computes the GII and picks the mobile ion."""
    os.makedirs(workdir, exist_ok=True)
    log = os.path.join(workdir, "prepare.log")
    if os.path.exists(log):
        os.remove(log)
    rec = {"status": "ok", "stage": "prepare", "error": "", "input": os.path.abspath(cif),
           "t_prepare": 0.0}
    prepared = os.path.join(workdir, "prepared.cif")
    if os.path.exists(prepared):
        os.remove(prepared)
    try:
        if os.path.getsize(cif) == 0:
            raise ScreenError("empty file")
        rc, t, out, err = run_program([cfg["kelmar"], "--gen-cif", os.path.abspath(cif), "prepared.cif"],
                                      workdir, log, cfg["timeout"])
        rec["t_prepare"] += t
        if rc != 0 or not os.path.exists(prepared):
            raise ScreenError(_program_error("kelmar.x --gen-cif", rc, err, out))
        rec["states_source"] = states_source(out, cif_gives_states(cif))
        rec["warnings"] = console_warnings(out, err)
        states = read_cif_states(prepared)
        rec["states"] = " ".join(species_text(el, ox) for el, ox in states)
        rec["formula"] = read_cif_formula(prepared, states)
        el, ox = choose_mobile_ion(states, cfg["ion"], cfg["ion_state"])
        rec["ion"], rec["ion_state"] = el, ox
        # a file with oxidation numbers of its own goes to the landscape as it is (full precision);
        # otherwise the rewritten file carries the states kelmar chose
        rec["landscape_input"] = os.path.abspath(cif) if _has_states(cif) else os.path.abspath(prepared)
        rc, t, out, err = run_program([cfg["kelmar"], "--cal-gii", rec["landscape_input"]], workdir, log,
                                      cfg["timeout"])
        rec["t_prepare"] += t
        rec["gii"] = read_console_gii(out) if rc == 0 else None
    except ScreenError as exc:
        _fail(rec, "prepare", str(exc))
    write_json(out_json, rec)
    return rec


# --- landscape ----------------------------------------------------------------------------------

def threads_given():
    """The thread count the workflow engine gave this job (KELMAR_THREADS, which both programs
    follow); None when it set none."""
    v = os.environ.get("KELMAR_THREADS", "")
    return int(v) if v.isdigit() and int(v) > 0 else None


def _clean(workdir, names):
    for name in names:
        p = os.path.join(workdir, name)
        if os.path.isfile(p):
            os.remove(p)


def landscape(prep_json, first_json, draw, workdir, out_json, out_cube, cfg):
    """kelmar.x --gen-cube for one draw. Draws after the first run only when the first one had to
    assign partial occupancies at mobile-ion sites; an ordered structure has one answer."""
    os.makedirs(workdir, exist_ok=True)
    _clean(workdir, ["structure.cif", "structure_assigned.cif", "landscape.cube",
                     "landscape_assigned.cube", "landscape.log"])
    prep = read_json(prep_json)
    seed = int(cfg["seed"]) + draw - 1
    rec = {"status": "ok", "stage": "landscape", "error": "", "draw": draw, "seed": seed,
           "t_landscape": None, "threads": threads_given(), "resolution": cfg["resolution"], "warnings": []}
    try:
        if prep["status"] != "ok":
            rec.update(status="failed", stage=prep["stage"], error=prep["error"])
            raise _Settled
        if first_json:
            first = read_json(first_json)
            if first["status"] != "ok":
                rec.update(status="skipped", error="first draw failed")
                raise _Settled
            if not first.get("assigned"):
                rec.update(status="skipped", error="ordered mobile-ion sites: one draw")
                raise _Settled
        shutil.copyfile(prep["landscape_input"], os.path.join(workdir, "structure.cif"))
        argv = [cfg["kelmar"], "--gen-cube", "structure.cif", prep["ion"], str(prep["ion_state"]),
                str(cfg["sf"]), str(cfg["resolution"]), "t", "t", "f", "landscape.cube"]
        rc, t, out, err = run_program(argv, workdir, os.path.join(workdir, "landscape.log"), cfg["timeout"],
                                      {"KELMAR_SEED": str(seed)})
        rec["t_landscape"] = t
        rec["warnings"] = console_warnings(out, err)
        assigned_cube = os.path.join(workdir, "landscape_assigned.cube")
        if rc != 0:
            raise ScreenError(_program_error("kelmar.x --gen-cube", rc, err, out))
        if os.path.exists(assigned_cube):
            os.replace(assigned_cube, out_cube)
            rec["assigned"], rec["cif"] = True, "structure_assigned.cif"
        elif os.path.exists(out_cube):
            rec["assigned"], rec["cif"] = False, "structure.cif"
        else:
            raise ScreenError("kelmar.x --gen-cube wrote no cube")
        species, sf, grid = read_cube_header(out_cube)
        rec.update(sf=sf, grid="x".join(str(n) for n in grid), species=species)
    except _Settled:
        pass
    except ScreenError as exc:
        _fail(rec, "landscape", str(exc))
    if rec["status"] != "ok" or not os.path.exists(out_cube):
        open(out_cube, "w").close()  # the declared output exists; the record says what it holds
    write_json(out_json, rec)
    return rec


# --- analysis -----------------------------------------------------------------------------------

NARO_FILES = ["NARO_error.txt", "NARO_events.txt", "NARO_rp.csv", "NARO_summary.txt", "analysis.log"]


def analyse(prep_json, land_json, cube, workdir, out_json, cfg):
    """NARO.x --path --print-act --summary on the landscape of one draw."""
    _clean(workdir, NARO_FILES)
    prep, land = read_json(prep_json), read_json(land_json)
    rec = {k: land.get(k) for k in ("draw", "seed", "assigned", "sf", "grid", "t_landscape", "resolution",
                                    "warnings")}
    rec.update(status=land["status"], stage=land["stage"], error=land["error"], t_analysis=None)
    if land["status"] != "ok":
        write_json(out_json, rec)
        return rec
    try:
        probe = species_text(prep["ion"], prep["ion_state"])
        argv = [cfg["naro"], "--cif", land["cif"], probe, "--cube", os.path.basename(cube),
                "--path", "--print-act", "--summary"]
        rc, t, out, err = run_program(argv, workdir, os.path.join(workdir, "analysis.log"), cfg["timeout"])
        rec["t_analysis"] = t
        naro_err = ""
        if os.path.exists(os.path.join(workdir, "NARO_error.txt")):
            with open(os.path.join(workdir, "NARO_error.txt"), encoding="utf-8", errors="replace") as fh:
                naro_err = fh.read()
        if rc != 0:
            raise ScreenError(_program_error("NARO.x", rc, naro_err, err, out))
        summary = os.path.join(workdir, "NARO_summary.txt")
        if not os.path.exists(summary):
            raise ScreenError("NARO.x wrote no NARO_summary.txt")
        rec["ea"] = read_summary_activation(summary)
        rec["ea_console"] = read_console_activation(out)
        rec["rp"] = os.path.exists(os.path.join(workdir, "NARO_rp.csv"))
        rec["stage"] = "done"
    except ScreenError as exc:
        _fail(rec, "analysis", str(exc))
    if rec["status"] == "ok" and cfg.get("gh", True):
        # the same percolation energies from kelmar's own conduction network, for comparison; a
        # failure here leaves the analyser's energies standing
        rec["ea_gh"], rec["gh_error"] = [None, None, None], ""
        try:
            rc, t, out, err = run_program([cfg["kelmar"], "--gh", land["cif"], os.path.basename(cube), prep["ion"],
                                           str(prep["ion_state"])], workdir, os.path.join(workdir, "analysis.log"),
                                          cfg["timeout"])
            rec["t_analysis"] += t
            if rc == 0:
                rec["ea_gh"] = read_console_gh(out)
            else:
                rec["gh_error"] = _program_error("kelmar.x --gh", rc, err, out)
        except ScreenError as exc:
            rec["gh_error"] = str(exc)
        _clean(workdir, [n for n in os.listdir(workdir) if ".gh." in n])
    write_json(out_json, rec)
    return rec


# --- kinetic Monte Carlo (optional) ------------------------------------------------------------------

KMC_FILES = (".kmc.log.txt", ".kmc.xyz.txt", ".kmc.init.cif", ".kmc.cif")


def kmc(prep_json, land_json, cube, workdir, out_json, cfg):
    """kelmar.x --kmc on the landscape of one draw, at cfg['kmc_temperature'] K for cfg['kmc_steps']
    hops, with the draw's seed: conductivity (S/cm) and diffusivity (cm^2/s) of the mobile ion."""
    prep, land = read_json(prep_json), read_json(land_json)
    rec = {"draw": land.get("draw"), "seed": land.get("seed"), "status": land["status"], "error": land["error"],
           "temperature": cfg["kmc_temperature"], "steps": cfg["kmc_steps"], "sigma": None, "D": None,
           "t_kmc": None, "threads": threads_given()}
    if land["status"] != "ok":
        write_json(out_json, rec)
        return rec
    try:
        argv = [cfg["kelmar"], "--kmc", land["cif"], os.path.basename(cube), prep["ion"], str(prep["ion_state"]),
                "0", "0", "0", str(land["sf"]), str(cfg["kmc_temperature"]), "0", str(cfg["kmc_steps"])]
        rc, t, out, err = run_program(argv, workdir, os.path.join(workdir, "kmc.log"), cfg["timeout"],
                                      {"KELMAR_SEED": str(land["seed"])})
        rec["t_kmc"] = t
        if rc != 0:
            raise ScreenError(_program_error("kelmar.x --kmc", rc, err, out))
        rec["sigma"], rec["D"] = read_console_kmc(out)
        if rec["sigma"] is None:
            raise ScreenError("kelmar.x --kmc printed no conductivity")
    except ScreenError as exc:
        rec.update(status="failed", error=str(exc))
    _clean(workdir, [land["cif"] + suffix for suffix in KMC_FILES])
    write_json(out_json, rec)
    return rec
