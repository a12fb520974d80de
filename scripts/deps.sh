#!/usr/bin/env bash
# Installs every build and test dependency of the project on a Debian 12 machine.
# Idempotent: a second run changes nothing. Must run as root (or under sudo).
#
#   usage: deps.sh [--check] [--windows] [--yyjson-source FILE]
#
# With --check it only reports, by its exit status, whether anything is missing.
# With --windows it also installs what the cross build for 64-bit Windows needs (the
# `windows` preset): mingw-w64 with POSIX threads, Wine to run the tests, the source
# package tools, and then scripts/windows-deps.sh builds yyjson (from yyjson's 0.12.0
# release archive, FILE or ../shared/deps/yyjson-0.12.0.tar.xz beside the clone), libcrypto
# (from Debian's OpenSSL source package) and GoogleTest for Windows into a cache outside
# the clone.
#
# yyjson 0.12 exists only in Debian's unstable suite. We add that suite from the mirror
# this machine already uses, pinned low so that apt never upgrades anything else from it,
# and ask for libyyjson-dev from it explicitly.
set -euo pipefail

packages=(
  build-essential cmake pkg-config git
  libssl-dev libgtest-dev libgmock-dev libbenchmark-dev libsqlite3-dev
  clang libclang-rt-14-dev
  nlohmann-json3-dev libvalijson-dev
  acl python3
  # make docs (Doxygen); make package and its test (dpkg-shlibdeps, file, lintian)
  doxygen dpkg-dev file lintian
  # the ABI check of make test (abidw, abidiff)
  abigail-tools
)

# GCC 12's win32 thread model has no std::thread or std::mutex, so the cross compilers are
# the POSIX-thread ones (x86_64-w64-mingw32-g++-posix, with libwinpthread). `wine` brings
# the `wine` command over wine64; dpkg-dev unpacks the OpenSSL source package; googletest
# ships the sources that are compiled for Windows.
windows_packages=(
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
  wine wine64 dpkg-dev googletest
)

unstable_list=/etc/apt/sources.list.d/zu-unstable.list
unstable_pin=/etc/apt/preferences.d/zu-unstable
unstable_pin_text=$'Package: *\nPin: release a=unstable\nPin-Priority: 100\n\nPackage: libyyjson-dev libyyjson0\nPin: release a=unstable\nPin-Priority: 500'
# The Windows build of libcrypto comes from the machine's own release's OpenSSL source
# package, which apt only offers with a deb-src entry.
sources_list=/etc/apt/sources.list.d/zu-sources.list

usage() {
  echo "usage: $0 [--check] [--windows] [--yyjson-source FILE]" >&2
  exit 2
}

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# write_if_changed FILE TEXT: FILE holds exactly TEXT afterwards, written only if it did not.
write_if_changed() {
  if [ ! -f "$1" ] || [ "$(cat "$1")" != "$2" ]; then
    printf '%s\n' "$2" | as_root tee "$1" >/dev/null
  fi
}

# The first Debian archive URI configured on this machine, from either source format.
find_mirror() {
  local uri=""
  if compgen -G "/etc/apt/sources.list.d/*.sources" >/dev/null; then
    uri=$(awk '/^[[:space:]]*URIs:/ { for (i = 2; i <= NF; i++) print $i }' \
            /etc/apt/sources.list.d/*.sources | grep -v -e security -e '^$' | head -n 1 || true)
  fi
  if [ -z "$uri" ]; then
    uri=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
          awk '$1 == "deb" { for (i = 2; i <= NF; i++) if ($i ~ /^[a-z]+:\/\//) { print $i; break } }' |
          grep -v security | head -n 1 || true)
  fi
  printf '%s' "$uri"
}

have_yyjson_012() {
  local v
  v=$(dpkg-query -W -f='${Version}' libyyjson-dev 2>/dev/null || true)
  [ -n "$v" ] && dpkg --compare-versions "$v" ge 0.12.0
}

# apt refuses two entries of one suite that name different keys, so the deb-src entry
# repeats the Signed-By of the configured one (deb822 sources).
find_signed_by() {
  compgen -G "/etc/apt/sources.list.d/*.sources" >/dev/null || return 0
  awk -v uri="$1" '
    FNR == 1 || /^[[:space:]]*$/ { if (hit && key != "") { print key; exit } hit = 0; key = "" }
    /^[[:space:]]*URIs:/ { for (i = 2; i <= NF; i++) if ($i == uri) hit = 1 }
    /^[[:space:]]*Signed-By:/ { key = $2 }
    END { if (hit && key != "") print key }' /etc/apt/sources.list.d/*.sources | head -n 1
}

sources_text() {
  local codename key options=""
  codename=$(. /etc/os-release && printf '%s' "$VERSION_CODENAME")
  key=$(find_signed_by "$1")
  [ -n "$key" ] && options="[signed-by=$key] "
  printf 'deb-src %s%s %s main' "$options" "$1" "$codename"
}

# The deb-src entry is checked by its suite only, so that --check looks up no mirror.
have_sources() {
  [ -f "$sources_list" ] && grep -q "^deb-src .* $(. /etc/os-release && printf '%s' "$VERSION_CODENAME") main\$" "$sources_list"
}

windows_ready() {
  [ "$windows" -eq 0 ] && return 0
  have_sources && "$here/windows-deps.sh" "${windows_args[@]}" --check >/dev/null 2>&1
}

check=0
windows=0
windows_args=()
while [ $# -gt 0 ]; do
  case "$1" in
    --check) check=1 ;;
    --windows) windows=1 ;;
    --yyjson-source) [ $# -ge 2 ] || usage; windows_args+=(--yyjson-source "$2"); shift ;;
    --yyjson-source=*) windows_args+=("$1") ;;
    *) usage ;;
  esac
  shift
done
here=$(cd "$(dirname "$0")" && pwd)

missing=()
wanted=("${packages[@]}")
[ "$windows" -eq 1 ] && wanted+=("${windows_packages[@]}")
for p in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ] && have_yyjson_012 && windows_ready; then
  echo "deps.sh: every dependency is present"
  exit 0
fi
if [ "$check" -eq 1 ]; then
  echo "deps.sh: missing: ${missing[*]}$(have_yyjson_012 || echo ' libyyjson-dev(0.12)')$(windows_ready || echo ' the Windows dependency cache')"
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
need_sources=0
[ "$windows" -eq 1 ] && ! have_sources && need_sources=1
if ! have_yyjson_012 || [ "$need_sources" -eq 1 ]; then
  mirror=$(find_mirror)
  if [ -z "$mirror" ]; then
    echo "deps.sh: no Debian mirror found in the apt sources; cannot add apt sources" >&2
    exit 1
  fi
fi
if ! have_yyjson_012; then
  write_if_changed "$unstable_list" "deb $mirror unstable main"
  write_if_changed "$unstable_pin" "$unstable_pin_text"
fi
if [ "$need_sources" -eq 1 ]; then
  write_if_changed "$sources_list" "$(sources_text "$mirror")"
fi

as_root apt-get update -q
if [ ${#missing[@]} -gt 0 ]; then
  as_root apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
if ! have_yyjson_012; then
  as_root apt-get install -y -q --no-install-recommends -t unstable libyyjson-dev
fi
have_yyjson_012 || { echo "deps.sh: libyyjson-dev 0.12 could not be installed" >&2; exit 1; }
if [ "$windows" -eq 1 ]; then
  as_root "$here/windows-deps.sh" "${windows_args[@]}"
fi
echo "deps.sh: done"
