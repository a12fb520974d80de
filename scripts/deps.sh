#!/usr/bin/env bash
# Installs every build and test dependency of the project on a Debian 12 machine.
# Idempotent: a second run changes nothing. Must run as root (or under sudo).
# With --check it only reports, by its exit status, whether anything is missing.
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

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ] && have_yyjson_012; then
  echo "deps.sh: every dependency is present"
  exit 0
fi
if [ "${1:-}" = "--check" ]; then
  echo "deps.sh: missing: ${missing[*]}$(have_yyjson_012 || echo ' libyyjson-dev(0.12)')"
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

as_root apt-get update -q
if [ ${#missing[@]} -gt 0 ]; then
  as_root apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
if ! have_yyjson_012; then
  as_root apt-get install -y -q --no-install-recommends -t unstable libyyjson-dev
fi
have_yyjson_012 || { echo "deps.sh: libyyjson-dev 0.12 could not be installed" >&2; exit 1; }
echo "deps.sh: done"
