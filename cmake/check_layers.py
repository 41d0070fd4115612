#!/usr/bin/env python3
"""Checks the calls between the library's modules against the modules each
one declares (target_link_libraries of its OBJECT library).

Usage: check_layers.py NM GRAPH STAMP

GRAPH has one line per module: "target|declared;modules|object;files". Every
symbol an object file refers to and another module defines must belong to a
module its own module declares; the declared modules must form no cycle.
On success the STAMP file is written; otherwise the offending references
are listed and the exit status is 1 (the build fails).
"""
import os
import shutil
import subprocess
import sys

DEFINED = set("TDBRGSi")
UNDEFINED = set("Uwv")


def symbols(nm, obj):
    out = subprocess.run([nm, "-P", obj], check=True, capture_output=True, text=True).stdout
    defined, used = [], []
    for line in out.splitlines():
        parts = line.split()
        if len(parts) < 2:
            continue
        name, kind = parts[0], parts[1]
        if kind in DEFINED:
            defined.append(name)
        elif kind in UNDEFINED:
            used.append(name)
    return defined, used


def demangle(names):
    tool = shutil.which("c++filt")
    if not tool or not names:
        return names
    out = subprocess.run([tool], input="\n".join(names), capture_output=True, text=True).stdout
    shown = out.splitlines()
    return shown if len(shown) == len(names) else names


def find_cycle(deps):
    state = {}

    def visit(m, path):
        state[m] = 1
        for d in deps.get(m, ()):
            if state.get(d) == 1:
                return path[path.index(d):] + [d]
            if d not in state:
                found = visit(d, path + [d])
                if found:
                    return found
        state[m] = 2
        return None

    for m in deps:
        if m not in state:
            found = visit(m, [m])
            if found:
                return found
    return None


def main():
    nm, graph, stamp = sys.argv[1:4]
    modules, deps, objects = [], {}, {}
    with open(graph) as f:
        for line in f:
            line = line.strip()
            if not line:
                continue
            target, declared, objs = line.split("|")
            modules.append(target)
            deps[target] = [d for d in declared.split(";") if d]
            objects[target] = [o for o in objs.split(";") if o]
    known = set(modules)
    for m in modules:
        deps[m] = [d for d in deps[m] if d in known]

    errors = []
    cycle = find_cycle(deps)
    if cycle:
        errors.append("the declared modules form a cycle: " + " -> ".join(cycle))

    owner, uses = {}, []
    for m in modules:
        for obj in objects[m]:
            defined, used = symbols(nm, obj)
            for name in defined:
                owner.setdefault(name, m)
            uses.append((m, obj, used))

    bad = []
    for m, obj, used in uses:
        allowed = set(deps[m]) | {m}
        for name in used:
            o = owner.get(name)
            if o is not None and o not in allowed:
                bad.append((m, obj, name, o))
    shown = demangle([b[2] for b in bad])
    root = os.path.commonpath([o for objs in objects.values() for o in objs]) if objects else ""
    for (m, obj, _, o), name in zip(bad, shown):
        errors.append(f"{m} ({os.path.relpath(obj, root)}) uses {name} of {o}, "
                      f"which it does not declare (target_link_libraries({m} PRIVATE ...))")

    if errors:
        print("layering check failed:", file=sys.stderr)
        for e in errors:
            print("  " + e, file=sys.stderr)
        print("A module may use only the modules its CMakeLists.txt links; see the layering "
              "section of CONTRIBUTING.md.", file=sys.stderr)
        if os.path.exists(stamp):
            os.remove(stamp)
        return 1
    with open(stamp, "w") as f:
        f.write("ok\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
