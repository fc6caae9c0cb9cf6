#!/usr/bin/env python3
"""Runs the README's examples and compares what they print with what the README quotes.

Three kinds of example are checked, all in one scratch directory that starts with a copy of
examples/ (the README's commands use the bundled files, as a user following it would):

  * command lines: every line of a ```sh block that starts with kelmar.x, NARO.x or
    KELMAR_SEED=... and whose input files exist at that point runs and exits 0 (placeholders such as
    <command> or ... are skipped, and so are lines after which the block quotes output: those are
    transcripts);
  * transcripts: a fenced block whose first line is a command and whose next lines are its output
    (a line "..." stands for any number of lines). In a command-mode transcript (a command with
    --cmd) the lines that are commands of the session are its input; a "# ..." note after one is
    the README's, not the program's;
  * quoted numbers: the numbers of QUOTES below, which the README quotes in its text.

--update rewrites the quoted output and numbers from this run (keeping every "..." where it is),
for use after a change that moves the numbers on purpose. Exit status 0 when everything agrees.
"""
import argparse
import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile

COMMAND = re.compile(r"^(\$ )?((KELMAR_SEED=\S+ )?(kelmar\.x|NARO\.x)\b.*)$")
# words that start a line of input in a NARO.x command session
SESSION_WORDS = {"help", "energy", "neighbour", "gensym", "connect", "slice", "del", "restart", "export", "vesta",
                 "end", "print", "path", "minima", "saddle"}

# Numbers the README quotes in its text: the command that prints them, a pattern of the README's
# text with one group per number, and a pattern of the output for each number.
QUOTES = [
    {
        "cmd": "kelmar.x --gh LiFePO4.cif LiFePO4.cube Li 1",
        "readme": r"`e_1D = ([-\d.]+)`, `e_2D = e_3D = ([-\d.]+)` eV",
        "output": [r"e_1D\s*=\s*([-\d.]+)", r"e_2D\s*=\s*([-\d.]+)"],
    },
]


def strip_note(line):
    """The command of a README line, without its trailing '# note'."""
    return re.sub(r"\s+#\s.*$", "", line).rstrip()


def fenced_blocks(text):
    """(start line index, info word, lines) of each fenced block."""
    lines = text.split("\n")
    out, i = [], 0
    while i < len(lines):
        m = re.match(r"^```(\w*)\s*$", lines[i])
        if m:
            j = i + 1
            while j < len(lines) and not lines[j].startswith("```"):
                j += 1
            out.append((i + 1, m.group(1), lines[i + 1: j]))
            i = j + 1
        else:
            i += 1
    return out


class Runner:
    def __init__(self, kelmar, naro, examples, timeout):
        self.top = tempfile.mkdtemp(prefix="kelmar-readme-")
        self.work = os.path.join(self.top, "work")
        shutil.copytree(examples, self.work)
        bindir = os.path.join(self.top, "bin")
        os.mkdir(bindir)
        os.symlink(os.path.abspath(kelmar), os.path.join(bindir, "kelmar.x"))
        os.symlink(os.path.abspath(naro), os.path.join(bindir, "NARO.x"))
        self.env = dict(os.environ, PATH=bindir + os.pathsep + os.environ.get("PATH", ""))
        self.timeout = timeout

    def run(self, command, stdin=""):
        p = subprocess.run(["bash", "-c", command], cwd=self.work, env=self.env, input=stdin.encode(),
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=self.timeout)
        return p.returncode, p.stdout.decode("utf-8", "replace"), p.stderr.decode("utf-8", "replace")

    def inputs_exist(self, command):
        for w in shlex.split(command):
            if re.search(r"\.(cif|cube)$", w) and not os.path.exists(os.path.join(self.work, w)):
                return False
        return True

    def close(self):
        shutil.rmtree(self.top, ignore_errors=True)


def match_elided(expected, actual):
    """Whether actual lines fit expected lines where '...' stands for any run of lines; with the
    fitted lines to write back (the actual ones, '...' kept)."""
    parts, cur = [], []
    for e in expected:
        if e.strip() == "...":
            parts.append(cur)
            cur = []
        else:
            cur.append(e)
    parts.append(cur)
    if len(parts) == 1:
        return expected == actual, list(actual)
    head, tail = parts[0], parts[-1]
    middle = parts[1:-1]
    ok = actual[: len(head)] == head and (not tail or actual[len(actual) - len(tail):] == tail)
    pos = len(head)
    for m in middle:  # each middle part in order
        found = -1
        for k in range(pos, len(actual) - len(m) - len(tail) + 1):
            if actual[k: k + len(m)] == m:
                found = k
                break
        if found < 0:
            ok = False
        else:
            pos = found + len(m)
    fitted = list(actual[: len(head)])
    for m in middle:
        fitted += ["..."] + m
    fitted += ["..."] + (list(actual[len(actual) - len(tail):]) if tail else [])
    return ok, fitted


def excerpt(expected, actual):
    """The part of the output a transcript quotes: from its first quoted line to the last
    occurrence of its last one (a transcript may leave out what comes before and after)."""
    quoted = [e for e in expected if e.strip() != "..."]
    if not quoted:
        return actual
    first = next((i for i, a in enumerate(actual) if a.split("=")[0] == quoted[0].split("=")[0]), 0)
    actual = actual[first:]
    last = [i for i, a in enumerate(actual) if a.split("=")[0] == quoted[-1].split("=")[0]]
    return actual[: last[-1] + 1] if last else actual


def session_segments(lines):
    """The input lines of a command-mode transcript and, for each, its expected output lines."""
    head, segments = [], []
    for line in lines:
        word = line.split()[0] if line.split() else ""
        if word in SESSION_WORDS and not line.startswith(" "):
            segments.append((line, []))
        elif segments:
            segments[-1][1].append(line)
        else:
            head.append(line)
    return head, segments


def check_session(runner, first, lines):
    """Runs a command session once per prefix of its input, so that each input's own output is known."""
    command = strip_note(COMMAND.match(first).group(2))
    head, segments = session_segments(lines)
    inputs = [strip_note(s[0]) for s in segments]
    outputs = []
    for k in range(len(inputs) + 1):
        scratch = tempfile.mkdtemp(dir=runner.top)
        for f in os.listdir(runner.work):
            src = os.path.join(runner.work, f)
            if os.path.isfile(src):
                shutil.copy(src, scratch)
        keep = runner.work
        runner.work = scratch
        try:
            stdin = "".join(i + "\n" for i in inputs[:k])
            rc, out, err = runner.run(command, stdin)
        finally:
            runner.work = keep
        got = out.split("\n")
        if got and got[-1] == "":
            got.pop()
        # the transcript starts where the session does: what the run printed before is not quoted
        if head and head[0] in got:
            got = got[got.index(head[0]):]
        outputs.append(got)
    problems, rewritten = [], []
    # the output of input k is what the run with k inputs printed beyond the run with k - 1,
    # less the closing lines that every run prints
    closing = outputs[0][len(head):]
    ok, fitted = match_elided(head, outputs[0][: len(outputs[0]) - len(closing)])
    if not ok:
        problems.append("session start differs")
    rewritten += fitted
    for k, (line, expected) in enumerate(segments, start=1):
        prev = outputs[k - 1][: len(outputs[k - 1]) - len(closing)]
        cur = outputs[k]
        mine = cur[len(prev): len(cur) - len(closing)] if k < len(segments) else cur[len(prev):]
        ok, fitted = match_elided(expected, mine)
        if not ok:
            problems.append("output of '%s' differs:\n    README: %s\n    run:    %s" %
                            (inputs[k - 1], "\n            ".join(expected), "\n            ".join(mine)))
        rewritten += [line] + fitted
    return problems, rewritten


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--kelmar", required=True)
    ap.add_argument("--naro", required=True)
    ap.add_argument("--readme", required=True)
    ap.add_argument("--examples", required=True)
    ap.add_argument("--update", action="store_true", help="rewrite the quoted output and numbers from this run")
    ap.add_argument("--timeout", type=float, default=300)
    a = ap.parse_args()
    text = open(a.readme, encoding="utf-8").read()
    lines = text.split("\n")
    runner = Runner(a.kelmar, a.naro, a.examples, a.timeout)
    problems, ran = [], 0
    replacements = {}  # line index -> new lines of a transcript body
    try:
        for start, info, body in fenced_blocks(text):
            if info not in ("sh", "text"):
                continue
            is_transcript = len(body) > 1 and COMMAND.match(body[0]) and not COMMAND.match(body[1]) \
                and not body[1].startswith("#") and body[1].strip() != ""
            if is_transcript:
                command = strip_note(COMMAND.match(body[0]).group(2))
                if "--cmd" in command:
                    found, new = check_session(runner, body[0], body[1:])
                else:
                    rc, out, err = runner.run(command)
                    actual = out.split("\n")
                    if actual and actual[-1] == "":
                        actual.pop()
                    actual = excerpt(body[1:], actual)
                    ok, new = match_elided(body[1:], actual)
                    found = [] if ok and rc == 0 else ["output of '%s' differs (exit %d)" % (command, rc)]
                ran += 1
                for f in found:
                    problems.append("README line %d: %s" % (start + 1, f))
                replacements[start + 1] = (len(body) - 1, new)
                continue
            for k, line in enumerate(body):
                m = COMMAND.match(line)
                if not m or "<" in line or "..." in line:
                    continue
                command = strip_note(m.group(2))
                if not runner.inputs_exist(command):
                    continue
                rc, out, err = runner.run(command)
                ran += 1
                if rc != 0:
                    last = (err.strip().splitlines() or out.strip().splitlines() or [""])[-1]
                    problems.append("README line %d: '%s' exits %d: %s" % (start + 1 + k, command, rc, last))
        for q in QUOTES:
            if not runner.inputs_exist(q["cmd"]):
                problems.append("quoted numbers: inputs of '%s' missing" % q["cmd"])
                continue
            rc, out, err = runner.run(q["cmd"])
            ran += 1
            got = []
            for pat in q["output"]:
                m = re.search(pat, out)
                got.append(m.group(1) if m else None)
            m = re.search(q["readme"], text)
            if m is None or None in got:
                problems.append("quoted numbers of '%s' not found (README %s, run %s)" % (q["cmd"], m, got))
                continue
            if list(m.groups()) != got:
                problems.append("numbers quoted for '%s': README %s, run %s" % (q["cmd"], list(m.groups()), got))
                new = q["readme"]
                for g in got:
                    new = re.sub(r"\([^)]*\)", g.replace("\\", "\\\\"), new, count=1)
                text = text[: m.start()] + new.replace("\\", "") + text[m.end():]
                lines = text.split("\n")
    finally:
        runner.close()
    if a.update and problems:
        for start in sorted(replacements, reverse=True):
            count, new = replacements[start]
            lines[start: start + count] = new
        with open(a.readme, "w", encoding="utf-8") as f:
            f.write("\n".join(lines))
        print("README updated: %d difference(s) rewritten" % len(problems))
        return 0
    for p in problems:
        print(p)
    print("%d passed, %d failed" % (ran - len(problems) if ran >= len(problems) else 0, len(problems)))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
