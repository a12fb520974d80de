#!/usr/bin/env python3
"""Holds the export and ABI checks to their verdicts on the probe library (probe/),
built in several versions of one SONAME and one of the next.

Usage: probe_test.py --headers DIR --work DIR --first LIB --wider LIB --more LIB
                     --next LIB [--abi]

The export check must refuse the probe, which has no version script. With --abi
(builds with debug information), the probe's first version is recorded as a baseline
and the ABI check must then: pass the same version; refuse the version with a wider
record as incompatible, which `update` also refuses to record; ask for the version
with one more function to be recorded, which `update` does; and take the wider record
under the next SONAME only once a new baseline is recorded.
"""
import argparse
import pathlib
import shutil
import subprocess
import sys

HERE = pathlib.Path(__file__).resolve().parent
failures = []


def run(script, *arguments):
    result = subprocess.run([sys.executable, str(HERE / script), *map(str, arguments)],
                            capture_output=True, text=True)
    return result.returncode, result.stdout + result.stderr


def expect(what, outcome, code, *phrases):
    """Records a failure unless the run exited with `code` and said every phrase."""
    actual, output = outcome
    missing = [phrase for phrase in phrases if phrase not in output]
    if actual != code or missing:
        failures.append(f"{what}: exit {actual} (expected {code}), missing {missing}\n{output}")


def main():
    parser = argparse.ArgumentParser()
    for name in ("headers", "work", "first", "wider", "more", "next"):
        parser.add_argument(f"--{name}", type=pathlib.Path, required=True)
    parser.add_argument("--abi", action="store_true")
    args = parser.parse_args()

    expect("export check of a library without a version script",
           run("check_exports.py", f"zu_json={args.first}"), 1,
           "zu_json: exports vtable for std::_Sp_counted_ptr_inplace",
           "zu_json: zu::json::probe::read(zu::json::probe::Record const&) has version '', "
           "not ZU_JSON_0.1")

    if args.abi:
        shutil.rmtree(args.work, ignore_errors=True)
        baselines = args.work / "baselines"
        common = ["--baselines", baselines, "--work", args.work / "dumps",
                  "--headers", args.headers]
        baseline = baselines / "libabi_probe.abi"

        def tool(mode, library, *extra):
            return run("abi_baseline.py", mode, *common, "--library", library, *extra)

        expect("recording the first baseline", tool("update", args.first), 0,
               "has no baseline")
        expect("the same version", tool("check", args.first), 0)
        expect("a wider record", tool("check", args.wider), 1,
               "incompatible ABI change", "1 data member insertion")
        recorded = baseline.read_bytes()
        expect("recording a wider record at the same SONAME", tool("update", args.wider), 1,
               "incompatible changes at the same SONAME in libabi_probe")
        if baseline.read_bytes() != recorded:
            failures.append("a refused update changed the baseline")
        expect("one more function", tool("check", args.more), 1,
               "the ABI grew compatibly", "read_twice", "run `make abi`")
        expect("recording one more function", tool("update", args.more), 0, "(additions)")
        expect("one more function, recorded", tool("check", args.more), 0)
        expect("a wider record under the next SONAME", tool("check", args.next), 1,
               "SONAME is libabi_probe.so.0.2, its baseline's libabi_probe.so.0.1")
        expect("recording the next SONAME", tool("update", args.next), 0)
        expect("the next SONAME, recorded", tool("check", args.next), 0)

    if failures:
        sys.exit("\n\n".join(failures))


if __name__ == "__main__":
    main()
