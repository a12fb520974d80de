#!/usr/bin/env bash
# Installs every build and test dependency of the project on a Debian 12 machine.
# Idempotent: a second run changes nothing. Must run as root (or under sudo).
# With --check it only reports, by its exit status, whether anything is missing.
# With --windows it also installs what the cross build for 64-bit Windows needs (the
# `windows` preset): mingw-w64 with POSIX threads, Wine to run the tests, the source
# package tools, and then scripts/windows-deps.sh builds yyjson, libcrypto and GoogleTest
# for Windows from Debian's sources into a cache outside the clone.
#
# yyjson 0.12 exists only in Debian's unstable suite. We add that suite from the mirror
# this machine already uses, pinned low so that apt never upgrades anything else from it,
# and ask for libyyjson-dev from it explicitly.
set -euo pipefail

check=0
windows=0
for arg in "$@"; do
  case "$arg" in
    --check) check=1 ;;
    --windows) windows=1 ;;
    *) echo "usage: $0 [--check] [--windows]" >&2; exit 2 ;;
  esac
done
here=$(cd "$(dirname "$0")" && pwd)

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
# the `wine` command over wine64; dpkg-dev unpacks source packages; googletest ships the
# sources that are compiled for Windows.
windows_packages=(
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
  wine wine64 dpkg-dev googletest
)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
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

# The Windows builds of yyjson and libcrypto come from source packages, which apt only
# offers with deb-src entries: the machine's own release for OpenSSL, unstable for yyjson.
# apt refuses two entries of one suite that name different keys, so the entry for the
# machine's release repeats the Signed-By of the configured one (deb822 sources).
sources_list=/etc/apt/sources.list.d/zu-sources.list
find_signed_by() {
  compgen -G "/etc/apt/sources.list.d/*.sources" >/dev/null || return 0
  awk -v uri="$1" '
    FNR == 1 || /^[[:space:]]*$/ { if (hit && key != "") { print key; exit } hit = 0; key = "" }
    /^[[:space:]]*URIs:/ { for (i = 2; i <= NF; i++) if ($i == uri) hit = 1 }
    /^[[:space:]]*Signed-By:/ { key = $2 }
    END { if (hit && key != "") print key }' /etc/apt/sources.list.d/*.sources | head -n 1
}
sources_text() {
  local mirror=$1 codename key options=""
  codename=$(. /etc/os-release && printf '%s' "$VERSION_CODENAME")
  key=$(find_signed_by "$mirror")
  [ -n "$key" ] && options="[signed-by=$key] "
  printf 'deb-src %s%s %s main\ndeb-src %s unstable main' "$options" "$mirror" "$codename" "$mirror"
}
have_sources() {
  [ -f "$sources_list" ] && [ "$(cat "$sources_list")" = "$(sources_text "$(find_mirror)")" ]
}

missing=()
wanted=("${packages[@]}")
[ "$windows" -eq 1 ] && wanted+=("${windows_packages[@]}")
for p in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

windows_ready() {
  [ "$windows" -eq 0 ] && return 0
  have_sources && "$here/windows-deps.sh" --check >/dev/null 2>&1
}

if [ ${#missing[@]} -eq 0 ] && have_yyjson_012 && windows_ready; then
  echo "deps.sh: every dependency is present"
  exit 0
fi
if [ "$check" -eq 1 ]; then
  echo "deps.sh: missing: ${missing[*]}$(have_yyjson_012 || echo ' libyyjson-dev(0.12)')$(windows_ready || echo ' the Windows dependency cache')"
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive

if ! have_yyjson_012; then
  mirror=$(find_mirror)
  if [ -z "$mirror" ]; then
    echo "deps.sh: no Debian mirror found in the apt sources; cannot add the unstable suite" >&2
    exit 1
  fi
  list=/etc/apt/sources.list.d/zu-unstable.list
  line="deb $mirror unstable main"
  if [ ! -f "$list" ] || [ "$(cat "$list")" != "$line" ]; then
    printf '%s\n' "$line" | as_root tee "$list" >/dev/null
  fi
  pin=/etc/apt/preferences.d/zu-unstable
  pin_text=$'Package: *\nPin: release a=unstable\nPin-Priority: 100\n\nPackage: libyyjson-dev libyyjson0\nPin: release a=unstable\nPin-Priority: 500'
  if [ ! -f "$pin" ] || [ "$(cat "$pin")" != "$pin_text" ]; then
    printf '%s\n' "$pin_text" | as_root tee "$pin" >/dev/null
  fi
fi

if [ "$windows" -eq 1 ] && ! have_sources; then
  mirror=$(find_mirror)
  if [ -z "$mirror" ]; then
    echo "deps.sh: no Debian mirror found in the apt sources; cannot add source entries" >&2
    exit 1
  fi
  printf '%s\n' "$(sources_text "$mirror")" | as_root tee "$sources_list" >/dev/null
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
  as_root "$here/windows-deps.sh"
fi
echo "deps.sh: done"
