#!/usr/bin/env python3
"""Doxygen's input filter for the public headers (docs/Doxyfile.in, INPUT_FILTER).

The headers are commented in plain `//` lines: a file overview at the top, then one
comment above each type and function. Doxygen reads only its own comment markers, so
this filter hands it each header with those comments marked as documentation, without
touching the files themselves:

- the overview becomes the file's description (\\file);
- a comment block on lines of its own becomes the documentation of what follows it;
- an example indented under a comment (`//   code`, after an empty `//` line) becomes
  a code block;
- characters that mean something to Doxygen's commands and HTML are escaped, so the
  prose reads as written;
- banners (`// ===== Section =====`) and comments after code stay plain comments.
"""
import re
import sys

COMMENT = re.compile(r"^(\s*)//(.*)$")
BANNER = re.compile(r"^\s*//\s*=+.*=+\s*$")
CODE = re.compile(r"^   \S")  # an example line: three spaces after the slashes
# Doxygen's command, HTML and link characters; backslash first.
ESCAPES = [("\\", "\\\\"), ("@", "\\@"), ("<", "\\<"), (">", "\\>"), ("&", "\\&"),
           ("#", "\\#"), ("%", "\\%"), ("$", "\\$")]


def escape(text):
    # Code spans (`...`) are shown as written by Doxygen, so they are left alone.
    parts = text.split("`")
    for i in range(0, len(parts), 2):
        for old, new in ESCAPES:
            parts[i] = parts[i].replace(old, new)
    return "`".join(parts)


def convert_block(indent, bodies, file_overview):
    """Returns the Doxygen comment lines for one block of `//` line bodies."""
    out = [f"{indent}///{escape(body)}" for body in bodies]
    blank = [body.strip() == "" for body in bodies]
    i = 0
    while i < len(bodies):
        if not CODE.match(bodies[i]) or (i > 0 and not blank[i - 1]):
            i += 1
            continue
        # An example: it runs while lines are indented, or blank between indented ones.
        end = i
        while end < len(bodies) and (bodies[end].startswith("   ") or (
                blank[end] and end + 1 < len(bodies) and bodies[end + 1].startswith("   "))):
            out[end] = f"{indent}///{bodies[end]}"
            end += 1
        if i > 0:
            out[i - 1] = f"{indent}/// \\code{{.cpp}}"
        else:
            out[i] = f"{indent}/// \\code{{.cpp}}\n{out[i]}"
        if end < len(bodies) and blank[end]:
            out[end] = f"{indent}/// \\endcode"
        else:
            out[end - 1] += f"\n{indent}/// \\endcode"
        i = end
    if file_overview:
        out[0] = f"{indent}/// \\file\n{out[0]}"
    return out


def filter_header(text):
    lines = text.split("\n")
    out = []
    i = 0
    at_top = True
    while i < len(lines):
        match = COMMENT.match(lines[i])
        if match is None or BANNER.match(lines[i]):
            if lines[i].strip():
                at_top = False
            out.append(lines[i])
            i += 1
            continue
        block = []
        indent = ""
        while i < len(lines):
            match = COMMENT.match(lines[i])
            if match is None or BANNER.match(lines[i]):
                break
            block.append(match.group(2))
            indent = indent if block[1:] else match.group(1)
            i += 1
        out.extend(convert_block(indent, block, at_top))
        at_top = False
    return "\n".join(out)


if __name__ == "__main__":
    with open(sys.argv[1], encoding="utf-8") as header:
        sys.stdout.write(filter_header(header.read()))
