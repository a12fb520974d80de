#!/usr/bin/env bash
# scripts/windows-deps.sh accepts only yyjson's 0.12.0 release sources and says why it
# refuses anything else, before it asks apt or touches the cache; both dependency scripts
# refuse an argument they do not know.
#   windows_deps_test.sh SOURCE_DIR
set -uo pipefail
root=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# expect_refusal NAME STATUS TEXT COMMAND...: COMMAND must end with STATUS and print TEXT.
expect_refusal() {
  local name=$1 status=$2 text=$3
  shift 3
  local output code
  output=$(timeout 120 "$@" 2>&1)
  code=$?
  if [ "$code" -ne "$status" ] || [[ "$output" != *"$text"* ]]; then
    echo "FAIL $name: status $code, output: $output"
    failures=$((failures + 1))
  else
    echo "ok   $name"
  fi
}

# archive NAME: packs $work/tree/yyjson-0.12.0 as NAME.tar.xz.
archive() { tar -cJf "$work/$1.tar.xz" -C "$work/tree" yyjson-0.12.0; }

mkdir -p "$work/tree/yyjson-0.12.0/src"
printf 'int yyjson_x;\n' >"$work/tree/yyjson-0.12.0/src/yyjson.c"
printf '#define YYJSON_VERSION_STRING "0.12.0"\n' >"$work/tree/yyjson-0.12.0/src/yyjson.h"
archive other
rm "$work/tree/yyjson-0.12.0/src/yyjson.c"
archive incomplete
printf 'not an archive' >"$work/junk.tar.xz"

export ZU_MINGW_CACHE=$work/cache
script=$root/scripts/windows-deps.sh
expect_refusal "other sources" 1 "is not yyjson 0.12.0: src/yyjson.c has SHA-256" \
  "$script" --yyjson-source "$work/other.tar.xz"
expect_refusal "a missing source file" 1 "src/yyjson.c has SHA-256 (missing)" \
  "$script" --yyjson-source="$work/incomplete.tar.xz"
expect_refusal "not an archive" 1 "cannot be unpacked" "$script" --yyjson-source "$work/junk.tar.xz"
expect_refusal "no archive" 1 "no yyjson source archive at $work/none.tar.xz" \
  env ZU_YYJSON_SOURCE="$work/none.tar.xz" "$script"
expect_refusal "an unknown argument" 2 "usage:" "$script" --yyjson "$work/other.tar.xz"
expect_refusal "an option without its value" 2 "usage:" "$script" --yyjson-source
expect_refusal "deps.sh, an unknown argument" 2 "usage:" "$root/scripts/deps.sh" --check --bogus
if [ -e "$work/cache" ]; then
  echo "FAIL a refused run made the cache folder"
  failures=$((failures + 1))
fi

[ "$failures" -eq 0 ]
