#!/usr/bin/env python3
"""Compares the ABI of built shared libraries with the baselines committed in abi/, and
records new baselines.

  abi_baseline.py check  --baselines DIR --work DIR --headers DIR... --library PATH
  abi_baseline.py update --baselines DIR --work DIR --headers DIR... --library PATH...
                         [--reset]

A library's ABI is what abidw (libabigail) reads from its exported symbols and its
debug information, keeping the types its public headers define and those they reach.
`check` fails on any difference from the library's baseline:
  - a change that is not a pure addition (a function or variable removed or changed,
    a type's layout changed) is incompatible: undo it, or raise the SONAME version
    (the project's VERSION) and record a new baseline;
  - a pure addition is compatible, and the baseline records it: record it;
  - a library whose SONAME is not the baseline's starts a new baseline: record it.
`update` records: it writes the baselines of the libraries whose ABI differs from
theirs, and refuses to replace one across an incompatible change at the same SONAME.
--reset records every library as it is: for baselines that were never released.
"""
import argparse
import pathlib
import re
import shutil
import subprocess
import sys

UPDATE_COMMAND = "make abi"

# The dump holds the exported functions and variables and the types they reach, less
# the types that no public header defines (those a host only sees through a pointer).
# It leaves out what differs between machines, build folders and edits that do not
# touch the ABI (paths, source lines, the libraries it needs), and names types by a hash
# of their definition, so that recording an unchanged ABI changes no line.
ABIDW_OPTIONS = [
    "--exported-interfaces-only", "--drop-private-types",
    "--no-corpus-path", "--no-comp-dir-path", "--no-show-locs", "--no-elf-needed",
    "--type-id-style", "hash",
]


def fail(message):
    print(message, file=sys.stderr)
    sys.exit(1)


def dump(library, headers, out):
    command = ["abidw", *ABIDW_OPTIONS]
    for folder in headers:
        command += ["--headers-dir", folder]
    command += ["--out-file", str(out), str(library)]
    result = subprocess.run(command, capture_output=True, text=True)
    if result.returncode != 0 or not out.is_file():
        fail(f"abidw could not read {library}:\n{result.stdout}{result.stderr}")
    # abidw still names each translation unit by its absolute path; the baseline names
    # it from the project's root, so that a checkout elsewhere records the same text.
    root = str(pathlib.Path(__file__).resolve().parents[2]) + "/"
    text = out.read_text().replace(f"<abi-instr address-size='64' path='{root}",
                                   "<abi-instr address-size='64' path='")
    out.write_text(text)
    # A library built without debug information gives symbols without types, which
    # would compare as a different ABI.
    if "<abi-instr" not in text:
        fail(f"{library} has no debug information: the ABI is read from a Debug or "
             "RelWithDebInfo build (the dev preset)")
    return text


def corpus_soname(text, where):
    match = re.search(r"<abi-corpus [^>]*soname='([^']+)'", text)
    if not match:
        fail(f"{where} names no SONAME")
    return match.group(1)


class Difference:
    """What abidiff says of a baseline and a new dump: nothing, additions only, or a
    change that is incompatible (anything else)."""

    def __init__(self, baseline, current):
        result = subprocess.run(["abidiff", str(baseline), str(current)],
                                capture_output=True, text=True)
        self.report = result.stdout + result.stderr
        code = result.returncode
        if code & 1:
            fail(f"abidiff could not compare {baseline} with {current}:\n{self.report}")
        summaries = re.findall(r"^\S.* changes summary: .*$", self.report, re.MULTILINE)
        removed_or_changed = any(
            int(count) for line in summaries
            for count in re.findall(r"(\d+) (?:Removed|Changed)", line))
        self.equal = code == 0
        # abidiff marks only removed symbols and moved virtual functions as
        # incompatible; a changed layout is a change it leaves to a human, and here
        # every change but an addition is taken as incompatible.
        self.incompatible = bool(code & 8) or (code != 0 and (removed_or_changed or not summaries))
        self.additions = not self.equal and not self.incompatible


def baseline_path(baselines, library):
    name = library.name.split(".so")[0]
    return baselines / f"{name}.abi"


def compare(args, library):
    """Dumps the library into the work folder and compares it with its baseline:
    gives (baseline path, dump path, dump text, Difference or None, why)."""
    baseline = baseline_path(args.baselines, library)
    current = args.work / baseline.name
    text = dump(library, args.headers, current)
    if not baseline.is_file():
        return baseline, current, None, f"{library.name} has no baseline in {args.baselines}"
    old = corpus_soname(baseline.read_text(), baseline)
    new = corpus_soname(text, library)
    if old != new:
        return baseline, current, None, f"{library.name}'s SONAME is {new}, its baseline's {old}"
    return baseline, current, Difference(baseline, current), None


def check(args):
    library = args.library[0]
    baseline, current, difference, why = compare(args, library)
    if why:
        fail(f"{why}; record it: run `{UPDATE_COMMAND}`")
    if difference.equal:
        print(f"{library.name}: the ABI of {baseline.name}")
        return
    print(difference.report)
    if difference.incompatible:
        fail(f"{library.name}: incompatible ABI change against {baseline} (above). Undo it, "
             f"or raise the SONAME (the minor of the project's VERSION in CMakeLists.txt) "
             f"and run `{UPDATE_COMMAND}` in the same change.")
    fail(f"{library.name}: the ABI grew compatibly (above); record it in the baseline: "
         f"run `{UPDATE_COMMAND}`")


def update(args):
    writes = []
    refused = []
    for library in args.library:
        baseline, current, difference, why = compare(args, library)
        if why:
            writes.append((baseline, current, why))
        elif args.reset:
            writes.append((baseline, current, "started over (--reset)"))
        elif difference.equal:
            print(f"{library.name}: unchanged")
        elif difference.incompatible:
            print(difference.report)
            refused.append(library.name)
        else:
            writes.append((baseline, current, "additions"))
    if refused:
        fail(f"incompatible changes at the same SONAME in {', '.join(refused)} (above): raise "
             "the SONAME (the minor of the project's VERSION) first. Only baselines that "
             "were never released may start over, with --reset.")
    args.baselines.mkdir(parents=True, exist_ok=True)
    for baseline, current, why in writes:
        shutil.copyfile(current, baseline)
        print(f"{baseline}: recorded ({why})")


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("mode", choices=["check", "update"])
    parser.add_argument("--baselines", type=pathlib.Path, required=True)
    parser.add_argument("--work", type=pathlib.Path, required=True)
    parser.add_argument("--headers", nargs="+", default=[], required=True)
    parser.add_argument("--library", type=pathlib.Path, nargs="+", required=True)
    parser.add_argument("--reset", action="store_true")
    args = parser.parse_args()
    for tool in ("abidw", "abidiff"):
        if shutil.which(tool) is None:
            fail(f"{tool} is missing: install abigail-tools (scripts/deps.sh)")
    if args.mode == "check" and len(args.library) != 1:
        fail("check compares one library")
    args.work.mkdir(parents=True, exist_ok=True)
    if args.mode == "check":
        check(args)
    else:
        update(args)


if __name__ == "__main__":
    main()
