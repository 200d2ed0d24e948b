#!/usr/bin/env python3
"""Checks that every #include of the production folders points down the layers.

The layers are the table in cmake/layers.txt: a file of folder F may include
headers of F itself and of folders with a lower rank, never of the same or a
higher rank, and a folder reserved for some users only from those. Prints each
include that breaks the rule and exits with status 1; 0 when there is none.

Usage: check_layers.py SOURCE_DIR | --self-test
"""
import pathlib
import re
import sys
import tempfile

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
SOURCES = {".h", ".hpp", ".cpp", ".c", ".inl"}


def read_layers(root):
    ranks, users = {}, {}
    for line in (root / "cmake" / "layers.txt").read_text().splitlines():
        fields = line.split()
        if not fields or not re.match(r"[a-z0-9]", fields[0]):
            continue
        ranks[fields[0]] = int(fields[1])
        users[fields[0]] = set(fields[2:])
    return ranks, users


def faults_of(root, ranks, users):
    faults = []
    for folder in sorted(ranks):
        base = root / folder
        if not base.is_dir():
            faults.append(f"{folder}/: listed in cmake/layers.txt but missing")
            continue
        for path in sorted(base.rglob("*")):
            if path.suffix not in SOURCES or not path.is_file():
                continue
            for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
                match = INCLUDE.match(line)
                if not match:
                    continue
                target = match.group(1).split("/")[0]
                if target == folder or target not in ranks:
                    continue
                where = f"{path.relative_to(root)}:{number}: includes {match.group(1)}"
                if users[target] and folder not in users[target]:
                    faults.append(f"{where}, which only {' '.join(sorted(users[target]))} may use")
                elif ranks[target] >= ranks[folder]:
                    faults.append(f"{where}, which is not below {folder}/")
    return faults


def self_test():
    """The checker on a small tree with one include of each kind."""
    files = {
        "cmake/layers.txt": "# folder rank users\nlow 0\nui 0 top\nmid 1\ntop 2\n",
        "low/a.h": '#include "low/b.h"\n',
        "mid/m.cpp": '#include "low/a.h"\n#include "top/t.h"  // up\n#include "ui/w.h"\n',
        "top/t.cpp": '#include "ui/w.h"\n#include "mid/m.h"\n#include <GL/gl.h>\n',
        "ui/w.h": "",
    }
    with tempfile.TemporaryDirectory() as tmp:
        root = pathlib.Path(tmp)
        for name, text in files.items():
            (root / name).parent.mkdir(parents=True, exist_ok=True)
            (root / name).write_text(text)
        ranks, users = read_layers(root)
        faults = faults_of(root, ranks, users)
    expected = ["mid/m.cpp:2: includes top/t.h, which is not below mid/",
                "mid/m.cpp:3: includes ui/w.h, which only top may use"]
    if faults != expected:
        print("check_layers self-test: expected", expected, "got", faults)
        return 1
    return 0


def main():
    if sys.argv[1:] == ["--self-test"]:
        return self_test()
    if len(sys.argv) != 2:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    root = pathlib.Path(sys.argv[1]).resolve()
    ranks, users = read_layers(root)
    if not ranks:
        print("check_layers: no layers in cmake/layers.txt", file=sys.stderr)
        return 2
    faults = faults_of(root, ranks, users)
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
