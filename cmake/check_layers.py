#!/usr/bin/env python3
"""Keeps the arrows of the house pointing down: every quoted #include in src/, zepservices/
and tools/ must name a header of the including file's own folder or of a folder that folder
may use. The table below is the one statement of who may use whom; it must stay free of
cycles. Prints each offending include and exits 1 when there is one.

Usage: check_layers.py SOURCE_DIR
"""
import os
import re
import sys

PUBLIC_API = "include/corvel_tavlib.h"
SERVICES_API = "include/zepservices.h"
REF_OBJECT = ["src/services/zep_lock.h", "src/services/zep_ref_object.h"]

# Folder -> what its files may include besides their own folder: folders, or single headers.
USES = {
    "src/platform": [],
    "src/util": ["src/platform"],
    "src/services": ["src/platform", "src/util", SERVICES_API],
    "src/markup": ["src/platform", "src/util"],
    "src/prefs": ["src/platform", "src/util"],
    "src/frame": ["src/platform", "src/util", "src/services", PUBLIC_API, SERVICES_API],
    "src/records": ["src/platform", "src/util", "src/services", "src/prefs", "src/frame",
                    PUBLIC_API, SERVICES_API],
    "src/config": ["src/platform", "src/util", "src/services", "src/frame",
                   PUBLIC_API, SERVICES_API],
    "src/swtag": ["src/platform", "src/util", "src/services", "src/markup", "src/frame",
                  PUBLIC_API, SERVICES_API],
    "src/capi": ["src/platform", "src/util", "src/services", "src/prefs", "src/frame",
                 "src/records", "src/config", "src/swtag", PUBLIC_API, SERVICES_API],
    "zepservices": ["src/platform", SERVICES_API] + REF_OBJECT,
    "tools/tavctl": ["src/platform", PUBLIC_API, SERVICES_API],
}

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
SOURCE_SUFFIXES = (".c", ".cpp", ".h")


def folder_of(path):
    """The table's folder that holds `path` (a header counts as its own entry too)."""
    for entry in sorted(USES, key=len, reverse=True):
        if path == entry or path.startswith(entry + "/"):
            return entry
    return None


def check_acyclic():
    state = {}

    def visit(folder, trail):
        if state.get(folder) == "done":
            return
        if state.get(folder) == "open":
            sys.exit("check_layers: the table has a cycle: " + " -> ".join(trail + [folder]))
        state[folder] = "open"
        for used in USES.get(folder, []):
            if used in USES:
                visit(used, trail + [folder])
        state[folder] = "done"

    for folder in USES:
        visit(folder, [])


def resolve(root, including, name):
    """The repository path an include names: beside the file first, then src/ and include/."""
    for base in (os.path.dirname(including), "src", "include"):
        candidate = os.path.normpath(os.path.join(base, name))
        if os.path.isfile(os.path.join(root, candidate)):
            return candidate
    return None


def allowed(folder, target):
    if folder_of(target) == folder:
        return True
    return any(target == used or target.startswith(used + "/") for used in USES[folder])


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    root = sys.argv[1]
    check_acyclic()
    offences = []
    for top in ("src", "zepservices", "tools"):
        for directory, _, files in os.walk(os.path.join(root, top)):
            for name in sorted(files):
                if not name.endswith(SOURCE_SUFFIXES):
                    continue
                path = os.path.relpath(os.path.join(directory, name), root)
                folder = folder_of(path)
                if folder is None:
                    offences.append(f"{path}: its folder is not in the table")
                    continue
                with open(os.path.join(root, path), encoding="utf-8", errors="replace") as f:
                    for number, line in enumerate(f, 1):
                        match = INCLUDE.match(line)
                        if not match:
                            continue
                        target = resolve(root, path, match.group(1))
                        if target is not None and not allowed(folder, target):
                            offences.append(f"{path}:{number}: {folder} may not include {target}")
    for offence in offences:
        print(offence)
    print(f"check_layers: {len(offences)} include(s) against the arrows")
    return 1 if offences else 0


if __name__ == "__main__":
    sys.exit(main())
