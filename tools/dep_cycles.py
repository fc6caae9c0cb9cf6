#!/usr/bin/env python3
"""Lists the dependencies between the files of one source directory and reports every cycle.

Two graphs are checked:

  includes  A -> B when A has `#include "B"`. A header belongs to the sources that define what it
            declares (found from the object files), so "x.cpp includes y.hpp" also becomes an edge
            x.cpp -> (each source that defines a function of y.hpp). This is how a reader follows
            the code: a header is the door to the files behind it.
  calls     x.cpp -> y.cpp when the object file of x refers to an external symbol defined in the
            object file of y (calls and data references, as the linker sees them).

usage: tools/dep_cycles.py SRC_DIR OBJ_DIR [--list]
  e.g. tools/dep_cycles.py kelmar build/kelmar/CMakeFiles/kelmar_core.dir
Exit status 1 when a cycle exists.
"""
import os
import re
import subprocess
import sys


def objects(obj_dir):
    out = {}
    for root, _, files in os.walk(obj_dir):
        for f in files:
            if f.endswith(".cpp.o"):
                out[f[: -len(".o")]] = os.path.join(root, f)
    return out


def symbols(path, defined):
    flag = "--defined-only" if defined else "--undefined-only"
    text = subprocess.run(["nm", "-C", flag, path], capture_output=True, text=True, check=True).stdout
    syms = set()
    for line in text.splitlines():
        parts = line.split(None, 2) if defined else line.split(None, 1)
        if defined:
            if len(parts) == 3 and parts[1] in "TDBRVW":
                syms.add(parts[2])
        elif len(parts) == 2:
            syms.add(parts[1])
    return syms


def function_name(sym):
    base = sym.split("(")[0]
    return base.split("::")[-1]


def cycles(graph):
    """Strongly connected components with more than one node (or a self edge)."""
    index, low, stack, on, result = {}, {}, [], set(), []
    counter = [0]

    def visit(v):
        index[v] = low[v] = counter[0]
        counter[0] += 1
        stack.append(v)
        on.add(v)
        for w in sorted(graph.get(v, ())):
            if w not in index:
                visit(w)
                low[v] = min(low[v], low[w])
            elif w in on:
                low[v] = min(low[v], index[w])
        if low[v] == index[v]:
            comp = []
            while True:
                w = stack.pop()
                on.discard(w)
                comp.append(w)
                if w == v:
                    break
            if len(comp) > 1:
                result.append(sorted(comp))

    sys.setrecursionlimit(10000)
    for v in sorted(graph):
        if v not in index:
            visit(v)
    return result


def main():
    if len(sys.argv) < 3:
        print(__doc__)
        return 2
    src, obj_dir = sys.argv[1], sys.argv[2]
    show = "--list" in sys.argv
    sources = sorted(f for f in os.listdir(src) if f.endswith(".cpp"))
    headers = sorted(f for f in os.listdir(src) if f.endswith(".hpp"))
    objs = objects(obj_dir)

    defined = {s: symbols(objs[s], True) for s in sources if s in objs}
    undefined = {s: symbols(objs[s], False) for s in sources if s in objs}
    definer = {}
    for s, syms in defined.items():
        for sym in syms:
            definer.setdefault(sym, s)

    calls = {s: set() for s in sources}
    for s, syms in undefined.items():
        for sym in syms:
            d = definer.get(sym)
            if d is not None and d != s:
                calls[s].add(d)

    # which sources stand behind each header: those defining a function named in it
    # declarations only: comments may name functions of other headers
    text = {h: re.sub(r"//[^\n]*", "", open(os.path.join(src, h)).read()) for h in headers}
    owners = {h: set() for h in headers}
    for s, syms in defined.items():
        for sym in syms:
            name = function_name(sym)
            if not re.match(r"^[A-Za-z_]\w*$", name):
                continue
            for h in headers:
                if re.search(r"\b" + re.escape(name) + r"\s*\(", text[h]):
                    owners[h].add(s)

    inc_re = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
    includes = {}
    for f in sources + headers:
        body = open(os.path.join(src, f)).read()
        includes[f] = {i for i in inc_re.findall(body) if i in headers}
    # file graph: file -> header it includes; header -> sources behind it
    igraph = {f: set(includes[f]) for f in includes}
    for h in headers:
        igraph[h] |= owners[h]
    for f in list(igraph):
        igraph[f].discard(f)
    # a source does not depend on its own header through that header
    for h in headers:
        for s in owners[h]:
            if h in igraph[s]:
                igraph[s].discard(h)

    if show:
        print("# calls")
        for s in sources:
            print(f"{s} -> {' '.join(sorted(calls[s]))}")
        print("# includes")
        for f in sources + headers:
            print(f"{f} -> {' '.join(sorted(igraph[f]))}")
    bad = 0
    for name, graph in (("calls", calls), ("includes", igraph)):
        found = cycles(graph)
        for c in found:
            print(f"cycle ({name}): {' '.join(c)}")
        bad += len(found)
    if bad == 0:
        print(f"no cycles among {len(sources)} sources and {len(headers)} headers of {src}")
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
