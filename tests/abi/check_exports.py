#!/usr/bin/env python3
"""Reads the dynamic symbol tables of the built shared libraries and fails on any
export a library should not make.

Usage: check_exports.py <library>=<path> ...

Each library exports its own namespaces (the table below) and the typeinfo and vtable
of its classes, every symbol under the version node named after its SONAME
(libzu_core.so.0.1 gives ZU_CORE_0.1), and no symbol that another of our libraries
exports too. What the linker's version scripts are meant to do is judged here from
the libraries themselves, with the ELF tools, so a script that is not applied, or
that lets a standard template instantiation through, fails.
"""
import re
import subprocess
import sys

# The namespaces each library exports. zu_core owns zu:: apart from the namespaces of
# the two libraries it links; the two vantrel libraries share vantrel::, split by
# their export macros, which the no-symbol-twice rule below holds apart.
OWNED = {
    "zu_json": ["zu::json"],
    "zu_descriptor": ["zu::descriptor"],
    "zu_core": ["zu"],
    "vantrel_core": ["vantrel"],
    "vantrel_mcp_types": ["vantrel"],
}

# What C++ must export beside the functions and variables of a namespace: the typeinfo
# of a class (a host that catches, throws or derives from it names it) and its vtable
# (a host's implicit copy constructor stores it).
CLASS_DATA = re.compile(r"^(?:typeinfo|typeinfo name|vtable) for ")


def run(*command, stdin=None):
    result = subprocess.run(command, input=stdin, capture_output=True, text=True)
    if result.returncode != 0:
        sys.exit(f"{' '.join(command)} failed: {result.stderr.strip()}")
    return result.stdout


def soname(path):
    match = re.search(r"\(SONAME\)\s+Library soname: \[([^\]]+)\]", run("readelf", "-d", path))
    if not match:
        sys.exit(f"{path} has no SONAME")
    return match.group(1)


def exports(path):
    """Gives (mangled, version, demangled) for each defined dynamic symbol, leaving
    out the absolute symbols that name the version nodes themselves."""
    rows = []
    for line in run("nm", "-D", "--defined-only", "--with-symbol-versions", path).splitlines():
        fields = line.split()
        if len(fields) != 3:
            sys.exit(f"unexpected nm line for {path}: {line}")
        kind, symbol = fields[1], fields[2]
        if kind == "A" and "@" not in symbol:
            continue
        name, _, version = symbol.partition("@@")
        if not version:
            name, _, version = symbol.partition("@")
        rows.append((name, version))
    demangled = run("c++filt", stdin="\n".join(name for name, _ in rows)).splitlines()
    return [(name, version, plain) for (name, version), plain in zip(rows, demangled)]


def owner_of(plain):
    """The most specific of the libraries' namespaces that the symbol lies in."""
    body = CLASS_DATA.sub("", plain)
    best = None
    for namespaces in OWNED.values():
        for namespace in namespaces:
            if body.startswith(namespace + "::") and (best is None or len(namespace) > len(best)):
                best = namespace
    return best


def main(arguments):
    if not arguments:
        sys.exit(__doc__)
    libraries = {}
    for argument in arguments:
        name, _, path = argument.partition("=")
        if name not in OWNED or not path:
            sys.exit(f"unknown library argument {argument}; known: {', '.join(OWNED)}")
        libraries[name] = path
    faults = []
    seen = {}
    for name, path in libraries.items():
        version_match = re.search(r"\.so\.(\d+)\.(\d+)$", soname(path))
        if not version_match:
            sys.exit(f"{path}: SONAME without a major.minor version")
        node = f"{name.upper()}_{version_match.group(1)}.{version_match.group(2)}"
        rows = exports(path)
        if not rows:
            faults.append(f"{name}: exports nothing")
        for mangled, version, plain in rows:
            owner = owner_of(plain)
            if owner not in OWNED[name]:
                faults.append(f"{name}: exports {plain}" +
                              (f" (of {owner}::)" if owner else ""))
            if version != node:
                faults.append(f"{name}: {plain} has version '{version}', not {node}")
            if mangled in seen:
                faults.append(f"{name}: {plain} is exported by {seen[mangled]} too")
            seen[mangled] = name
        print(f"{name}: {len(rows)} exports under {node}")
    if faults:
        print("\n".join(faults))
        sys.exit(f"{len(faults)} export(s) outside what the libraries may export")


if __name__ == "__main__":
    main(sys.argv[1:])
