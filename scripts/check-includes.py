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
DEFINES = re.compile(r"\b(?:add_library|falavox_folder_library)\(\s*falavox_(\w+)")
LIBRARY = re.compile(r"\bfalavox_(\w+)")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)/[^"/]+"', re.MULTILINE)
SOURCE = (".cpp", ".h")
NOT_FOLDERS = ("tests", "bench", "fuzz", "packaging", "scripts", "docs")


def cmake_text(path):
    with open(path, encoding="utf-8") as f:
        return re.sub(r"#.*", "", f.read())


def folders():
    """The folders that build a library of their own (platform/sockets, say), with the
    folders of the libraries each links."""
    libraries, links = {}, {}
    for base, dirs, files in os.walk(ROOT):
        folder = os.path.relpath(base, ROOT).replace(os.sep, "/")
        dirs[:] = [d for d in dirs if not d.startswith((".", "build"))]
        if folder == ".":
            dirs[:] = [d for d in dirs if d not in NOT_FOLDERS]
            continue
        if "CMakeLists.txt" not in files:
            continue
        text = cmake_text(os.path.join(base, "CMakeLists.txt"))
        defined = DEFINES.findall(text)
        if defined:
            libraries[defined[0]] = folder
            links[folder] = set(LIBRARY.findall(text)) - {defined[0]}
    return {folder: {libraries[lib] for lib in linked if lib in libraries}
            for folder, linked in links.items()}, libraries


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


def sources(top, skip=()):
    """The sources under `top`, leaving out the folders in `skip` (sub-folders that are
    libraries of their own)."""
    for base, dirs, files in os.walk(top):
        dirs[:] = [d for d in dirs if os.path.join(base, d) not in skip]
        for name in files:
            if name.endswith(SOURCE):
                yield os.path.join(base, name)


def folder_of(directory, uses):
    """The library folder an included header's directory belongs to, if any."""
    while directory:
        if directory in uses:
            return directory
        directory = directory.rpartition("/")[0]
    return None


def main():
    uses, libraries = folders()
    reach = allowed(uses)
    wrong = []

    def check(path, permitted):
        with open(path, encoding="utf-8", errors="replace") as f:
            for directory in INCLUDE.findall(f.read()):
                included = folder_of(directory, uses)
                if included is not None and included not in permitted:
                    wrong.append(f"{os.path.relpath(path, ROOT)}: includes {included}/")

    for folder in uses:
        nested = {os.path.join(ROOT, other) for other in uses if other.startswith(folder + "/")}
        for path in sources(os.path.join(ROOT, folder), nested):
            check(path, reach[folder])

    # The tests of a folder are in tests/<folder>; tests/platform holds those of all the
    # platform/ libraries, each test linking its own. A test folder may include what its
    # folder reaches, and what the libraries of its own CMakeLists.txt reach (the probes
    # that link more than the folder: a whole program, say).
    tests_root = os.path.join(ROOT, "tests")
    for name in sorted(os.listdir(tests_root)):
        tests = os.path.join(tests_root, name)
        if not os.path.isdir(tests) or name == "support":
            continue
        permitted = set(reach.get(name, ()))
        cmake = os.path.join(tests, "CMakeLists.txt")
        if os.path.isfile(cmake):
            for lib in LIBRARY.findall(cmake_text(cmake)):
                if lib in libraries:
                    permitted |= reach[libraries[lib]]
        if not permitted:
            continue
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
