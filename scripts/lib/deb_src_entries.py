#!/usr/bin/env python3
"""Prints deb-src entries (deb822) mirroring the machine's own Debian deb entries.

Source packages then come from the same archive, mirror or proxy the machine's
binary packages come from. Only entries for the machine's own release
(suites named after its codename, such as CODENAME, CODENAME-updates,
CODENAME-security) are mirrored: third-party repositories rarely carry sources,
and a missing source index would make apt-get update fail.

Usage: deb_src_entries.py [--root DIR] [--codename NAME]
Exits 1 (printing nothing) when the machine has no such entry.
"""
import argparse
import glob
import os
import re
import sys


def read_codename(root):
    try:
        with open(os.path.join(root, "etc/os-release"), encoding="utf-8") as f:
            for line in f:
                if line.startswith("VERSION_CODENAME="):
                    return line.split("=", 1)[1].strip().strip('"')
    except OSError:
        pass
    return ""


def one_line_entries(path):
    """Entries of a sources.list file: (options, uri, suite, components)."""
    entries = []
    with open(path, encoding="utf-8", errors="replace") as f:
        for raw in f:
            line = raw.split("#", 1)[0].strip()
            if not line.startswith("deb "):
                continue
            rest = line[4:].strip()
            options = {}
            if rest.startswith("["):
                end = rest.find("]")
                if end < 0:
                    continue
                for opt in rest[1:end].split():
                    if "=" in opt:
                        key, value = opt.split("=", 1)
                        options[key] = value
                rest = rest[end + 1:].strip()
            fields = rest.split()
            if len(fields) < 3:
                continue
            entries.append({
                "URIs": [fields[0]],
                "Suites": [fields[1]],
                "Components": fields[2:],
                "Signed-By": options.get("signed-by", ""),
            })
    return entries


def deb822_entries(path):
    """Stanzas of a .sources file whose Types include deb."""
    entries = []
    with open(path, encoding="utf-8", errors="replace") as f:
        text = f.read()
    for stanza in re.split(r"\n\s*\n", text):
        fields = {}
        key = None
        for raw in stanza.splitlines():
            if raw.startswith("#") or not raw.strip():
                continue
            if raw[0].isspace() and key:
                # Continuation lines (an inline Signed-By key) are kept as written.
                fields[key] += "\n" + raw.rstrip()
                continue
            if ":" not in raw:
                continue
            key, value = raw.split(":", 1)
            key = key.strip()
            fields[key] = value.strip()
        if "deb" not in fields.get("Types", "").split():
            continue
        if fields.get("Enabled", "yes").lower() == "no":
            continue
        if not fields.get("URIs") or not fields.get("Suites"):
            continue
        entries.append({
            "URIs": fields["URIs"].split(),
            "Suites": fields["Suites"].split(),
            "Components": fields.get("Components", "").split(),
            "Signed-By": fields.get("Signed-By", ""),
        })
    return entries


def own_release(entry, codename):
    if not codename:
        return False
    return all(s == codename or s.startswith(codename + "-") or s.startswith(codename + "/")
               for s in entry["Suites"])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", default="/")
    parser.add_argument("--codename", default=None)
    args = parser.parse_args()
    codename = args.codename if args.codename is not None else read_codename(args.root)
    apt = os.path.join(args.root, "etc/apt")
    entries = []
    lists = [os.path.join(apt, "sources.list")] + sorted(glob.glob(os.path.join(apt, "sources.list.d/*.list")))
    for path in lists:
        if os.path.isfile(path):
            entries += one_line_entries(path)
    for path in sorted(glob.glob(os.path.join(apt, "sources.list.d/*.sources"))):
        entries += deb822_entries(path)
    stanzas = []
    for entry in entries:
        if not own_release(entry, codename) or not entry["Components"]:
            continue
        lines = ["Types: deb-src",
                 "URIs: " + " ".join(entry["URIs"]),
                 "Suites: " + " ".join(entry["Suites"]),
                 "Components: " + " ".join(entry["Components"])]
        if entry["Signed-By"]:
            lines.append("Signed-By: " + entry["Signed-By"])
        stanza = "\n".join(lines)
        if stanza not in stanzas:
            stanzas.append(stanza)
    if not stanzas:
        return 1
    print("\n\n".join(stanzas))
    return 0


if __name__ == "__main__":
    sys.exit(main())
