#!/usr/bin/env python3
"""Include and call graph of one source directory, and the cycles in it.

    tools/dep_cycles.py naro [--objects build/naro/CMakeFiles/naro_core.dir/]

Include edges come from the `#include "..."` lines. A module is a .cpp with its .hpp
(stationary.cpp + stationary.hpp); module edges are the includes of either file.
With --objects, call edges come from `nm`: a module calls another when its object
file needs a symbol that the other object defines (strong definitions only, so inline
functions and templates do not count). Prints the edges and every cycle (strongly
connected group of more than one module); exits 1 when there is a cycle.
"""
import argparse
import os
import re
import subprocess
import sys


def first_include(path):
    with open(path, encoding='utf-8') as fh:
        for line in fh:
            m = re.match(r'\s*#\s*include\s+"([^"]+)"', line)
            if m:
                return m.group(1)
    return None


def modules_of(src):
    """Files, and the module of each: a .cpp belongs to the header it includes first
    (its own header, by convention) unless another .cpp carries that header's name;
    everything else is named after its stem."""
    files = sorted(f for f in os.listdir(src) if f.endswith(('.cpp', '.hpp')))
    cpp_stems = {f[:-4] for f in files if f.endswith('.cpp')}
    module = {}
    for f in files:
        stem = os.path.splitext(f)[0]
        module[f] = stem
        if f.endswith('.cpp'):
            first = first_include(os.path.join(src, f))
            if first and first.endswith('.hpp') and os.path.exists(os.path.join(src, first)):
                head = first[:-4]
                if head == stem or head not in cpp_stems:
                    module[f] = head
    return files, module


def include_edges(src, files):
    edges = set()
    for f in files:
        with open(os.path.join(src, f), encoding='utf-8') as fh:
            for line in fh:
                m = re.match(r'\s*#\s*include\s+"([^"]+)"', line)
                if m and os.path.exists(os.path.join(src, m.group(1))):
                    edges.add((f, m.group(1)))
    return edges


def symbols(obj):
    out = subprocess.run(['nm', '-C', obj], capture_output=True, text=True, check=True).stdout
    defined, needed = set(), set()
    for line in out.splitlines():
        m = re.match(r'\s*([0-9a-fA-F]+\s+)?([A-Za-z])\s+(.*)$', line)
        if not m:
            continue
        kind, name = m.group(2), m.group(3)
        if kind in 'TDBR':
            defined.add(name)
        elif kind == 'U':
            needed.add(name)
    return defined, needed


def call_edges(objdir, module):
    table = {}
    for f in sorted(os.listdir(objdir)):
        src = f[:-2] if f.endswith('.cpp.o') else None
        if src in module:   # objects of deleted sources may linger in the build tree
            table[module[src]] = symbols(os.path.join(objdir, f))
    owner = {}
    for mod, (defined, _) in table.items():
        for s in defined:
            owner[s] = mod
    edges = set()
    for mod, (_, needed) in table.items():
        for s in needed:
            if s in owner and owner[s] != mod:
                edges.add((mod, owner[s]))
    return edges


def cycles(nodes, edges):
    """Strongly connected groups with more than one member (Tarjan)."""
    adj = {n: sorted(b for a, b in edges if a == n) for n in nodes}
    index, low, stack, on, out = {}, {}, [], set(), []

    def visit(v):
        index[v] = low[v] = len(index)
        stack.append(v)
        on.add(v)
        for w in adj.get(v, []):
            if w not in index:
                visit(w)
                low[v] = min(low[v], low[w])
            elif w in on:
                low[v] = min(low[v], index[w])
        if low[v] == index[v]:
            group = []
            while True:
                w = stack.pop()
                on.discard(w)
                group.append(w)
                if w == v:
                    break
            if len(group) > 1:
                out.append(sorted(group))

    sys.setrecursionlimit(10000)
    for n in nodes:
        if n not in index:
            visit(n)
    return out


def report(title, nodes, edges):
    print(f'== {title}: {len(edges)} edges')
    for a, b in sorted(edges):
        print(f'  {a} -> {b}')
    found = cycles(nodes, edges)
    for g in found:
        print(f'  CYCLE: {" <-> ".join(g)}')
    if not found:
        print('  no cycle')
    return bool(found)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('src')
    ap.add_argument('--objects', help='directory of the object files of SRC')
    args = ap.parse_args()
    files, module = modules_of(args.src)
    mods = sorted(set(module.values()))
    inc = include_edges(args.src, files)
    bad = report('file includes', files, inc)
    mod_inc = {(module[a], module[b]) for a, b in inc}
    mod_inc = {(a, b) for a, b in mod_inc if a != b}
    bad |= report('module includes', mods, mod_inc)
    if args.objects:
        bad |= report('module calls', mods, call_edges(args.objects, module))
    return 1 if bad else 0


if __name__ == '__main__':
    sys.exit(main())
