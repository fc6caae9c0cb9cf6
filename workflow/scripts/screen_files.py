"""Readers for the files kelmar.x and NARO.x write, and for the two console lines that have no file.

Every reader returns plain Python values and raises ScreenError with a one-line reason when the
file does not have the expected layout, so that a structure fails with a message instead of a
traceback.
"""

import math
import os
import re

# Mobile ions tried in this order when the configuration names none.
MOBILE_IONS = ("Li", "Na", "K", "Ag", "Cu", "Mg", "Zn")


class ScreenError(Exception):
    """A structure cannot go on; the message is the one line the results table shows."""


def _lines(path):
    try:
        with open(path, "r", encoding="utf-8", errors="replace") as fh:
            return fh.read().splitlines()
    except OSError as exc:
        raise ScreenError(f"cannot read {os.path.basename(path)}: {exc.strerror}") from None


# --- CIF written by kelmar.x --------------------------------------------------------------------

def _loop_rows(lines, first_tag):
    """Rows of the loop whose tags start with first_tag, as lists of words; None when absent."""
    for i, line in enumerate(lines):
        if line.strip() != "loop_":
            continue
        tags, j = [], i + 1
        while j < len(lines) and lines[j].strip().startswith("_"):
            tags.append(lines[j].strip())
            j += 1
        if not tags or not tags[0].startswith(first_tag):
            continue
        rows = []
        while j < len(lines):
            words = lines[j].split()
            if not words or words[0].startswith(("_", "#")) or words[0] == "loop_":
                break
            rows.append(words)
            j += 1
        return tags, rows
    return None


def read_cif_states(path):
    """Species of a CIF written by kelmar.x as (element, oxidation state) pairs, in file order."""
    found = _loop_rows(_lines(path), "_atom_type_")
    if found is None:
        raise ScreenError(f"{os.path.basename(path)} has no _atom_type loop")
    tags, rows = found
    try:
        i_sym = tags.index("_atom_type_symbol")
        i_ox = tags.index("_atom_type_oxidation_number")
    except ValueError:
        raise ScreenError(f"{os.path.basename(path)} has no oxidation numbers") from None
    states = []
    for words in rows:
        if len(words) <= max(i_sym, i_ox):
            raise ScreenError(f"{os.path.basename(path)}: short _atom_type row")
        m = re.match(r"([A-Z][a-z]?)", words[i_sym])
        try:
            ox = int(words[i_ox])
        except ValueError:
            raise ScreenError(f"{os.path.basename(path)}: oxidation number '{words[i_ox]}'") from None
        if m is None:
            raise ScreenError(f"{os.path.basename(path)}: type symbol '{words[i_sym]}'")
        pair = (m.group(1), ox)
        if pair not in states:
            states.append(pair)
    return states


def read_cif_formula(path, states=()):
    """Formula from the composition label (the cell contents) of a CIF written by kelmar.x, divided
    by the largest whole number that leaves every count at least 1 and the whole counts whole;
    cations first by rising oxidation state, then anions (O before F), as in SrTiO3 or LiSrTa2O6F."""
    label = None
    for line in _lines(path):
        if line.startswith("_chemical_name_systematic"):
            parts = line.split(None, 1)
            label = parts[1].strip().strip("'") if len(parts) > 1 else ""
    if not label:
        return ""
    counts = {}
    for item in label.split():
        m = re.match(r"([A-Z][a-z]?)\d*[+-]?:([0-9.]+)$", item)
        if m:
            counts[m.group(1)] = counts.get(m.group(1), 0.0) + float(m.group(2))
    whole = [round(n) for n in counts.values() if abs(n - round(n)) < 2e-3 and round(n) > 0]
    g = math.gcd(*whole) if whole else 1
    fits = [k for k in range(1, g + 1) if g % k == 0 and all(n / k >= 1 - 5e-4 for n in counts.values())]
    d = max(fits, default=1)
    rank = {}
    for el, ox in states:
        rank.setdefault(el, (0 if ox > 0 else 1, ox))
    order = sorted(counts, key=lambda el: rank.get(el, (2, 0)))
    return format_formula({el: counts[el] / d for el in order})


def format_formula(counts):
    parts = []
    for el, n in counts.items():
        if abs(n - 1.0) < 5e-4:
            parts.append(el)
        elif abs(n - round(n)) < 5e-4:
            parts.append(f"{el}{int(round(n))}")
        else:
            parts.append(f"{el}{n:.3f}".rstrip("0").rstrip("."))
    return "".join(parts)


def species_text(element, state):
    return f"{element}{abs(state)}{'-' if state < 0 else '+'}"


def choose_mobile_ion(states, wanted="", wanted_state=0):
    """(element, state) of the mobile ion: the configured one, else the first of MOBILE_IONS present."""
    cations = {}
    for el, ox in states:
        if ox > 0:
            cations.setdefault(el, []).append(ox)
    candidates = [wanted] if wanted else list(MOBILE_IONS)
    for el in candidates:
        if el not in cations:
            continue
        if wanted_state:
            if wanted_state not in cations[el]:
                raise ScreenError(f"mobile ion {species_text(el, wanted_state)} not in the structure "
                                  f"(states: {' '.join(species_text(el, o) for o in cations[el])})")
            return el, wanted_state
        return el, min(cations[el])
    if wanted:
        raise ScreenError(f"mobile ion {wanted} not in the structure as a cation")
    raise ScreenError("no mobile ion (" + ", ".join(MOBILE_IONS) + ") in the structure")


# --- cube header ------------------------------------------------------------------------------------

def read_cube_header(path):
    """(species, screening factor, grid counts) from the first six lines of a cube file."""
    try:
        with open(path, "r", encoding="utf-8", errors="replace") as fh:
            head = [fh.readline() for _ in range(6)]
    except OSError as exc:
        raise ScreenError(f"cannot read {os.path.basename(path)}: {exc.strerror}") from None
    m = re.match(r"Conducting = (\S+) ; sf = ([-+0-9.eE]+);", head[1].strip())
    if m is None:
        raise ScreenError(f"{os.path.basename(path)}: no 'Conducting = ... ; sf = ...;' line")
    grid = []
    for line in head[3:6]:
        words = line.split()
        if not words or not re.fullmatch(r"-?\d+", words[0]):
            raise ScreenError(f"{os.path.basename(path)}: bad grid line")
        grid.append(abs(int(words[0])))
    return m.group(1), float(m.group(2)), grid


# --- NARO_summary.txt ---------------------------------------------------------------------------

NO_PERCOLATION = 999.0


def read_summary_activation(path):
    """1D, 2D and 3D activation energies from the network analysis in NARO_summary.txt.

    At every threshold each percolating cluster of dimension d has the barrier (cluster maximum -
    cluster minimum); the activation energy in dimension k is the smallest barrier of a cluster with
    d >= k. None means that the network does not percolate in that dimension. The summary prints
    these energies with three decimals.
    """
    lines = _lines(path)
    if not any("Summary of pathway characteristics" in l for l in lines):
        raise ScreenError("NARO_summary.txt has no network analysis")
    best = [NO_PERCOLATION] * 3
    dim, emin = 0, None
    for line in lines:
        s = line.strip()
        if s.startswith("Cluster ") and s.endswith(":"):
            dim, emin = 0, None
        elif s.startswith("> Percolating ("):
            m = re.match(r"> Percolating \((\d)D\)", s)
            dim = int(m.group(1)) if m else 0
        elif s.startswith("> Cluster energy minimum :"):
            emin = float(s.split(":", 1)[1].split()[0])
        elif s.startswith("> Cluster energy maximum :") and dim > 0 and emin is not None:
            barrier = float(s.split(":", 1)[1].split()[0]) - emin
            for k in range(dim):
                best[k] = min(best[k], barrier)
    return [None if b >= NO_PERCOLATION else round(b, 3) for b in best]


# --- NARO_rp.csv -----------------------------------------------------------------------------------

def read_rp(path):
    """NARO_rp.csv as pieces of (reaction coordinate, energy, label) rows; a label names a minimum
    (its type) or a saddle ('s<n> <barrier>eV'). 'NEXT' separates pieces, 'END' closes the file."""
    pieces, cur = [], []
    with open(path, "r", encoding="utf-8", errors="replace") as fh:
        for line in fh:
            s = line.strip()
            if s in ("NEXT", "END"):
                if cur:
                    pieces.append(cur)
                cur = []
                if s == "END":
                    break
                continue
            cols = s.split(",")
            try:
                x, e = float(cols[0]), float(cols[1])
            except (IndexError, ValueError):
                continue
            cur.append((x, e, cols[2].strip() if len(cols) > 2 else ""))
    if cur:
        pieces.append(cur)
    return pieces


# --- console lines --------------------------------------------------------------------------------

def read_console_activation(text):
    """The three 'kD activation energy: %.6f eV' lines of NARO.x --print-act (None when absent)."""
    out = [None, None, None]
    for m in re.finditer(r"^([123])D activation energy: ([-0-9.]+) eV", text, re.M):
        v = float(m.group(2))
        out[int(m.group(1)) - 1] = None if v >= NO_PERCOLATION else v
    return out


def read_console_gii(text):
    m = re.search(r"^GII: Global instability index = ([-0-9.eE+]+|nan|-?inf)\s*$", text, re.M)
    if m is None:
        return None
    v = float(m.group(1))
    return v if math.isfinite(v) and v >= 0 else None


def read_console_gh(text):
    """e_1D, e_2D, e_3D of kelmar.x --gh ('KELMAR_GRAPH_NETWORK: e_1D = 0.236 (...)'); None where the
    network does not percolate (a negative value) or the line is missing."""
    out = [None, None, None]
    for m in re.finditer(r"^KELMAR_GRAPH_NETWORK: e_([123])D = ([-+0-9.eE]+|nan|-?inf)", text, re.M):
        v = float(m.group(2))
        out[int(m.group(1)) - 1] = v if math.isfinite(v) and 0 <= v < NO_PERCOLATION else None
    return out


def read_console_kmc(text):
    """(conductivity in S/cm, diffusivity in cm^2/s) of kelmar.x --kmc, from its 'KMC: conductivity ='
    and 'KMC: diffusivity =' lines (the latter printed in 1e-8 m^2/s); None for a missing or
    uncomputable value."""
    found = []
    for key in ("conductivity", "diffusivity"):
        m = re.search(r"^KMC: %s = ([-+0-9.eE]+|nan|-?inf)" % key, text, re.M)
        v = float(m.group(1)) if m else None
        found.append(v if v is not None and math.isfinite(v) and v >= 0 else None)
    sigma, d = found
    return sigma, (None if d is None else d * 1e-4)


# Warnings of the CIF reader that only say a tag is absent: not worth a column.
_QUIET_WARNINGS = ("_loop block containing", "is not available", "grep_loop", "symmetry info missing")


def console_warnings(*texts):
    """The 'Warning:' lines of program consoles, in order, each once, without the CIF reader's notes on
    absent tags; a fallback of the screening factor to its default counts as a warning."""
    out = []
    for text in texts:
        for line in (text or "").splitlines():
            s = line.strip()
            if s.startswith("Message: default screening factor used"):
                s = "screening factor fell back to " + s.rsplit(None, 1)[-1].rstrip(".").rstrip("0").rstrip(".")
            elif not s.startswith("Warning:") or any(q in s for q in _QUIET_WARNINGS):
                continue
            else:
                s = s[len("Warning:"):].strip()
            if s and s not in out:
                out.append(s)
    return out


def cif_gives_states(path):
    """True when a CIF states oxidation numbers itself: an _atom_type_oxidation_number tag or charged
    type symbols in the site loop (Fe2+, O2-)."""
    try:
        lines = _lines(path)
    except ScreenError:
        return False
    if any("_atom_type_oxidation_number" in l.lower() for l in lines):
        return True
    found = _loop_rows(lines, "_atom_site_")
    if found is None:
        return False
    tags, rows = found
    if "_atom_site_type_symbol" not in tags:
        return False
    i = tags.index("_atom_site_type_symbol")
    return any(len(w) > i and re.fullmatch(r"[A-Z][a-z]?\d*[+-]\d*", w[i]) for w in rows)


def states_source(console, given):
    """Where the oxidation states came from: 'given' (the CIF), 'default' (the data file's defaults),
    'inferred' (chosen by charge balance and bond valence), or a combination such as 'given+inferred',
    from kelmar's console lines that mention oxidation states. given: whether the CIF states any."""
    kinds = set()
    for line in (console or "").splitlines():
        low = line.lower()
        if "oxidation state" not in low or low.startswith(("error:", "warning: no charge")):
            continue
        if "given" in low or "from the cif" in low or "from the file" in low:
            kinds.add("given")
        if "default" in low:
            kinds.add("default")
        if "inferred" in low or "bond valence" in low or "charge balance" in low:
            kinds.add("inferred")
    if given:
        kinds.add("given")
    elif not kinds:
        kinds.add("default")
    return "+".join(k for k in ("given", "default", "inferred") if k in kinds)


def first_error_line(*texts):
    for text in texts:
        for line in (text or "").splitlines():
            if line.startswith("Error:"):
                return line.strip()
    return ""


# --- conductivity table -------------------------------------------------------------------------------

def read_conductivity_table(path):
    """{id: (log10 sigma or None, censored)} from a tab-separated table with an id column and a
    column whose name starts with 'conductivity'. '<1E-10' is an upper bound (censored)."""
    lines = _lines(path)
    if not lines:
        return {}
    head = lines[0].split("\t")
    try:
        i_cond = next(i for i, h in enumerate(head) if h.strip().lower().startswith("conductivity"))
    except StopIteration:
        raise ScreenError(f"{os.path.basename(path)} has no conductivity column") from None
    table = {}
    for line in lines[1:]:
        cols = line.split("\t")
        if len(cols) <= i_cond or not cols[0].strip():
            continue
        text = cols[i_cond].strip()
        censored = text.startswith("<")
        try:
            v = float(text.lstrip("<"))
        except ValueError:
            continue
        table[cols[0].strip()] = (math.log10(v) if v > 0 else None, censored)
    return table


def spearman(xs, ys):
    """Spearman rank correlation (ties take their mean rank); None for fewer than three pairs."""
    if len(xs) != len(ys) or len(xs) < 3:
        return None

    def ranks(v):
        order = sorted(range(len(v)), key=lambda i: v[i])
        r = [0.0] * len(v)
        i = 0
        while i < len(order):
            j = i
            while j + 1 < len(order) and v[order[j + 1]] == v[order[i]]:
                j += 1
            for k in range(i, j + 1):
                r[order[k]] = (i + j) / 2.0 + 1.0
            i = j + 1
        return r

    rx, ry = ranks(xs), ranks(ys)
    mx, my = sum(rx) / len(rx), sum(ry) / len(ry)
    sxy = sum((a - mx) * (b - my) for a, b in zip(rx, ry))
    sxx = sum((a - mx) ** 2 for a in rx)
    syy = sum((b - my) ** 2 for b in ry)
    if sxx == 0 or syy == 0:
        return None
    return sxy / math.sqrt(sxx * syy)
