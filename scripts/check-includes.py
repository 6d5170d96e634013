#!/usr/bin/env python3
"""Fails when a source includes a header of a folder its library does not use.

Every folder is one library, and a folder may use only the folders its CMakeLists.txt
links (and what those link in turn). The compiler sees one include path for the whole
tree, so an include that runs against that direction still compiles when the header
needs no code from its library; this check catches it. The tests of a folder may
include what their folder may, and what the probes of their own CMakeLists.txt link.

Run from anywhere: scripts/check-includes.py; prints each wrong include and exits 1.
"""
import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
LIBRARY = re.compile(r"\bfalavox_(\w+)")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+)/[^"]+"', re.MULTILINE)
SOURCE = (".cpp", ".h")


def folders():
    """The folders that build a library of their own, with the libraries each links."""
    uses = {}
    for name in sorted(os.listdir(ROOT)):
        cmake = os.path.join(ROOT, name, "CMakeLists.txt")
        if name in ("tests", "bench", "fuzz", "packaging") or not os.path.isfile(cmake):
            continue
        with open(cmake, encoding="utf-8") as f:
            text = re.sub(r"#.*", "", f.read())
        uses[name] = {lib for lib in LIBRARY.findall(text) if lib != name}
    return uses


def allowed(uses):
    """Each folder with every folder it reaches through the libraries it links."""
    reach = {}
    for start in uses:
        seen, todo = {start}, [start]
        while todo:
            for used in uses.get(todo.pop(), ()):
                if used not in seen:
                    seen.add(used)
                    todo.append(used)
        reach[start] = seen
    return reach


def sources(folder):
    for base, _, files in os.walk(os.path.join(ROOT, folder)):
        for name in files:
            if name.endswith(SOURCE):
                yield os.path.join(base, name)


def main():
    uses = folders()
    reach = allowed(uses)
    wrong = []

    def check(path, permitted):
        with open(path, encoding="utf-8", errors="replace") as f:
            for included in INCLUDE.findall(f.read()):
                if included in uses and included not in permitted:
                    wrong.append(f"{os.path.relpath(path, ROOT)}: includes {included}/")

    for folder in uses:
        for path in sources(folder):
            check(path, reach[folder])
        tests = os.path.join(ROOT, "tests", folder)
        if os.path.isdir(tests):
            # A folder's tests also hold probes that link more than the folder (a whole
            # program, say); those say so in the tests' own CMakeLists.txt.
            permitted = set(reach[folder])
            cmake = os.path.join(tests, "CMakeLists.txt")
            if os.path.isfile(cmake):
                with open(cmake, encoding="utf-8") as f:
                    for lib in LIBRARY.findall(re.sub(r"#.*", "", f.read())):
                        permitted |= reach.get(lib, set())
            for path in sources(tests):
                check(path, permitted)

    for line in wrong:
        print(line)
    if wrong:
        print(f"{len(wrong)} include(s) against the folders' direction", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
