#!/usr/bin/env python3
"""The README's C++ examples, as programs the build compiles and the suite runs.

Each `## ` section of the README may hold one ```cpp block, a whole program. The build
names the sections it compiles; a section with a ```cpp block that the build does not
name is an error, so no example can be added that nothing checks.

  extract README OUTDIR SECTION=NAME...
      writes each named section's program to OUTDIR/NAME.cpp (only when its text
      changed, so an unchanged README rebuilds nothing).
  run README SECTION PROGRAM [--exit N] [--stderr-contains TEXT] [--fresh-directory]
                             [--mask REGEX]...
      runs PROGRAM (with a new private directory as its one argument when asked, removed
      afterwards), expects the exit status N (0 unless given) and, when the section shows
      what the program prints in a ```text block after the program (or, in a section
      without a program, in its first ```text block), exactly that output. Each REGEX
      names what differs from run to run (a temporary path, a random key); its matches
      are replaced on both sides before they are compared.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

FENCE = re.compile(r"^```(\w*)\s*$")


def sections(readme):
    """Returns {title: [(language, first line number, text), ...]} for every `## `
    section, its blocks in order."""
    found = {}
    title = None
    block = None
    with open(readme, encoding="utf-8") as f:
        for number, line in enumerate(f, start=1):
            if block is not None:
                if line.rstrip("\n") == "```":
                    found.setdefault(title, []).append((block[0], block[1], "".join(block[2])))
                    block = None
                else:
                    block[2].append(line)
                continue
            fence = FENCE.match(line)
            if fence:
                block = (fence.group(1), number + 1, [])
            elif line.startswith("## "):
                title = line[3:].strip()
    if block is not None:
        sys.exit(f"{readme}: a ``` block under '{title}' is never closed")
    return found


def program(blocks, title):
    """The one cpp block of the section `title`, as (first line number, text)."""
    programs = [(first, text) for language, first, text in blocks.get(title, [])
                if language == "cpp"]
    if len(programs) != 1:
        sys.exit(f"README section '{title}' holds {len(programs)} cpp blocks, not one")
    return programs[0]


def extract(readme, outdir, pairs):
    found = sections(readme)
    named = dict(pair.split("=", 1) for pair in pairs)
    unnamed = [t for t, blocks in found.items()
               if t not in named and any(block[0] == "cpp" for block in blocks)]
    if unnamed:
        sys.exit(f"README sections with a cpp block the build does not compile: {unnamed}")
    os.makedirs(outdir, exist_ok=True)
    for title, name in named.items():
        # Compiler messages point into the README itself.
        first, source = program(found, title)
        text = f'#line {first} "{os.path.abspath(readme)}"\n' + source
        path = os.path.join(outdir, name + ".cpp")
        if os.path.exists(path):
            with open(path, encoding="utf-8") as f:
                if f.read() == text:
                    continue
        with open(path, "w", encoding="utf-8") as f:
            f.write(text)


def expected_output(blocks):
    """The first text block after the section's program, or in a section without one its
    first text block; None when there is none."""
    after = not any(language == "cpp" for language, _, _ in blocks)
    for language, _, text in blocks:
        if language == "cpp":
            after = True
        elif after and language == "text":
            return text
    return None


def run(readme, title, binary, options):
    found = sections(readme)
    if title not in found:
        sys.exit(f"README has no section '{title}' with a block")
    blocks = found[title]
    exit_status = 0
    stderr_contains = None
    fresh = False
    masks = []
    while options:
        option = options.pop(0)
        if option == "--exit":
            exit_status = int(options.pop(0))
        elif option == "--stderr-contains":
            stderr_contains = options.pop(0)
        elif option == "--fresh-directory":
            fresh = True
        elif option == "--mask":
            masks.append(re.compile(options.pop(0)))
        else:
            sys.exit(f"unknown option {option}")

    directory = tempfile.mkdtemp(prefix="zu-readme-") if fresh else None
    try:
        done = subprocess.run([binary] + ([directory] if directory else []),
                              capture_output=True, text=True, timeout=120)
    finally:
        if directory:
            shutil.rmtree(directory)
    sys.stdout.write(done.stdout)
    sys.stderr.write(done.stderr)
    failures = []
    if done.returncode != exit_status:
        failures.append(f"exit status {done.returncode}, expected {exit_status}")
    want = expected_output(blocks)
    if want is None and not any(language == "cpp" for language, _, _ in blocks):
        failures.append("the section shows no output to compare with")
    got = done.stdout
    for mask in masks:
        want = want if want is None else mask.sub("<varies>", want)
        got = mask.sub("<varies>", got)
    if want is not None and got != want:
        failures.append(f"output differs from the README's:\n{want}")
    if stderr_contains is not None and stderr_contains not in done.stderr:
        failures.append(f"standard error lacks '{stderr_contains}'")
    if failures:
        sys.exit(f"README section '{title}': " + "; ".join(failures))


def main(args):
    if len(args) >= 3 and args[0] == "extract":
        extract(args[1], args[2], args[3:])
    elif len(args) >= 4 and args[0] == "run":
        run(args[1], args[2], args[3], args[4:])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv[1:])
