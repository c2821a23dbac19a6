#!/usr/bin/env python3
"""Checks that every folder includes only from the folders below it.

The table below is the one place that says which folder may include from which; every
quoted #include in src/, sim/, tests/, bench/ and fuzz/ is checked against it, and any other
is reported with the file and line. A folder may always include from itself. Headers of the
system and of the libraries the programs use (<...>, CLI/, nlohmann/, fuse) are not checked.
A test beside the code (*_test.cc, or a fixture named test_*.h that only such tests
include) may also include the test helpers (tests/). Cycles between
folders are reported too, each edge with the include that makes it.

Usage: check-layers.py [--root DIR] [--report-only]
  --root DIR     the source tree (default: the one this script is in)
  --report-only  print what is wrong but exit 0 (a look while moving code)
Exits 1 when an include breaks the table or folders include each other in a cycle.
"""

import argparse
import os
import re
import sys

ANYTHING = "*"

# The layers, lowest first: each folder and the folders it may include from.
ALLOWED = {
    "src/link": [],
    "src/device": ["src/link"],
    "src/local": ["src/link", "src/device"],
    "src/shell": ["src/link", "src/device", "src/local"],
    "src/tool": ["src/link", "src/device", "src/local", "src/shell"],
    "src/mount": ["src/link", "src/device", "src/local"],
    "sim": ["src/link"],
    "tests": ANYTHING,
    "bench": ANYTHING,
    "fuzz": ANYTHING,
}

# Where a quoted include is looked up when it is not beside the including file (the build's
# include directories); a generated header (link/version.h) counts as its folder's.
INCLUDE_ROOTS = ["src", "tests", "sim", "."]

# Headers of the libraries the programs and tests use, whichever way they are written.
THIRD_PARTY = ("CLI/", "nlohmann/", "fuse", "gtest/", "gmock/", "editline/")

# The folder that holds the test helpers a test beside the code may include.
TEST_HELPERS = "tests"

SOURCE_SUFFIXES = (".h", ".cc", ".hpp", ".cpp", ".inc")

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^">]+)[">]')


def folder_of(rel_path):
    """The table's folder for a path relative to the root (the longest that matches)."""
    best = None
    for folder in ALLOWED:
        if rel_path == folder or rel_path.startswith(folder + "/"):
            if best is None or len(folder) > len(best):
                best = folder
    if best is None:
        parts = rel_path.split("/")
        best = "/".join(parts[:2]) if parts[0] == "src" and len(parts) > 2 else parts[0]
    return best


def resolve(root, including, name):
    """The path (relative to root) of the header an #include names, or None."""
    beside = os.path.normpath(os.path.join(os.path.dirname(including), name))
    if os.path.isfile(os.path.join(root, beside)) and not beside.startswith(".."):
        return beside
    for top in INCLUDE_ROOTS:
        candidate = os.path.normpath(os.path.join(top, name))
        if os.path.isfile(os.path.join(root, candidate)):
            return candidate
    # A generated header, named by its folder under src/ ("link/version.h").
    first = name.split("/")[0]
    if "/" in name and os.path.isdir(os.path.join(root, "src", first)):
        return "src/" + name
    return None


def is_test_file(path):
    """A test beside the code, or a fixture only such tests include (test_*.h)."""
    name = path.rsplit("/", 1)[-1]
    return name.endswith("_test.cc") or (name.startswith("test_") and name.endswith(".h"))


def source_files(root):
    """Every C++ file under the tops of the table's folders (a folder with no row too)."""
    for top in sorted({folder.split("/")[0] for folder in ALLOWED}):
        for directory, subdirs, files in os.walk(os.path.join(root, top)):
            subdirs.sort()
            for name in sorted(files):
                if name.endswith(SOURCE_SUFFIXES):
                    path = os.path.relpath(os.path.join(directory, name), root)
                    yield path.replace(os.sep, "/")


def includes(root, path):
    with open(os.path.join(root, path), encoding="utf-8", errors="replace") as f:
        for number, line in enumerate(f, 1):
            m = INCLUDE.match(line)
            if m:
                yield number, m.group(1), m.group(2)


def check(root):
    """Returns (problems, edges): problem lines, and {(from, to): "file:line"} between folders."""
    problems = []
    edges = {}
    for path in source_files(root):
        folder = folder_of(path)
        if folder not in ALLOWED:
            problems.append(f"{path}:1: the folder {folder} has no row in the layering table")
            continue
        is_test = is_test_file(path)
        for line, bracket, name in includes(root, path):
            if name.startswith(THIRD_PARTY):
                continue
            target = resolve(root, path, name)
            if target is None:
                if bracket == '"':
                    problems.append(f"{path}:{line}: includes \"{name}\", which is in no folder "
                                    "of the tree")
                continue  # a system header
            to = folder_of(target)
            if to == folder:
                continue
            if is_test and to == TEST_HELPERS:
                continue  # a test helper, for a test beside the code
            edges.setdefault((folder, to), f"{path}:{line}")
            allowed = ALLOWED[folder]
            if allowed == ANYTHING or to in allowed:
                continue
            may = ", ".join(allowed) if allowed else "nothing but itself"
            problems.append(f"{path}:{line}: includes \"{name}\" from {to}; {folder} may "
                            f"include {may}")
    return problems, edges


def cycles(edges):
    """The folders that include each other round in a circle: each strongly connected group
    of more than one folder, as one circle through it."""
    graph = {}
    for a, b in edges:
        graph.setdefault(a, set()).add(b)
        graph.setdefault(b, set())
    index, low, stack, on_stack, groups = {}, {}, [], set(), []

    def visit(v):  # Tarjan's algorithm; the folder graph is small
        index[v] = low[v] = len(index)
        stack.append(v)
        on_stack.add(v)
        for w in sorted(graph[v]):
            if w not in index:
                visit(w)
                low[v] = min(low[v], low[w])
            elif w in on_stack:
                low[v] = min(low[v], index[w])
        if low[v] == index[v]:
            group = []
            while True:
                w = stack.pop()
                on_stack.discard(w)
                group.append(w)
                if w == v:
                    break
            if len(group) > 1:
                groups.append(sorted(group))

    for v in sorted(graph):
        if v not in index:
            visit(v)

    # One shortest circle through each folder of each group, each circle once.
    circles = []
    for group in groups:
        members = set(group)
        for start in group:
            paths = {start: [start]}
            queue = [start]
            found = None
            while queue and not found:
                v = queue.pop(0)
                for w in sorted(graph[v] & members):
                    if w == start:
                        found = paths[v] + [start]
                        break
                    if w not in paths:
                        paths[w] = paths[v] + [w]
                        queue.append(w)
            # The same circle, begun at its smallest folder, is reported once.
            ring = found[:-1]
            first = ring.index(min(ring))
            ring = ring[first:] + ring[:first]
            if ring + [ring[0]] not in circles:
                circles.append(ring + [ring[0]])
    return circles


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", default=os.path.dirname(os.path.dirname(os.path.abspath(
        __file__))))
    parser.add_argument("--report-only", action="store_true")
    args = parser.parse_args()

    problems, edges = check(args.root)
    for line in problems:
        print(line)
    circles = cycles(edges)
    for circle in circles:
        print("cycle: " + " -> ".join(circle))
        for a, b in zip(circle, circle[1:]):
            print(f"  {a} -> {b}: {edges[(a, b)]}")
    if problems or circles:
        print(f"layering: {len(problems)} includes against the table, {len(circles)} cycles"
              + (" (reported only)" if args.report_only else ""))
        return 0 if args.report_only else 1
    print("layering: every include follows the table")
    return 0


if __name__ == "__main__":
    sys.exit(main())
