#!/usr/bin/env bash
# Builds the outside libraries of the Windows cross build once, from Debian's sources, into
# a cache outside the clone that every later build and CI run reuses:
#   yyjson 0.12   from unstable's source package (a shared libyyjson.dll, as on Linux)
#   libcrypto     from the machine's release's OpenSSL source package, static (see below)
#   GoogleTest    from the sources the googletest package ships in /usr/src/googletest
#
# Layout, keyed by the versions so that a new upload builds beside the old one:
#   $ZU_MINGW_CACHE/<name>-<version>/           one install prefix per package
#   $ZU_MINGW_CACHE/<name>-<version>/.zu-built  the toolchain it was built with
#   $ZU_MINGW_CACHE/prefixes.cmake              the current prefixes, read by the toolchain file
#   $ZU_MINGW_CACHE/versions                    the source package versions apt offered,
#                                               reused until apt's source lists change
# ZU_MINGW_CACHE defaults to /var/cache/zu-mingw. With --check it only says, by its exit
# status, whether everything is built. Called by `scripts/deps.sh --windows`, which first
# installs the cross compilers and the deb-src entries this needs.
set -euo pipefail

cache=${ZU_MINGW_CACHE:-/var/cache/zu-mingw}
root=$(cd "$(dirname "$0")/.." && pwd)
toolchain=$root/cmake/toolchains/mingw-w64-x86_64.cmake
triplet=x86_64-w64-mingw32
jobs=2

# A new compiler or C runtime means a new build: C++ libraries do not mix across them.
toolchain_id() {
  dpkg-query -W -f='${Package}=${Version} ' g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev 2>/dev/null
}

# The version of the source package apt would fetch as NAME/SUITE.
source_version() {
  apt-get source --print-uris "$1/$2" 2>/dev/null |
    awk -v p="$1_" '$2 ~ /\.dsc$/ { v = $2; sub("^" p, "", v); sub(/\.dsc$/, "", v); print v; exit }'
}

# Resolving through apt costs seconds, so the answer is kept until apt's lists change.
resolve_versions() {
  local memo=$cache/versions codename yyjson openssl
  if [ -f "$memo" ] && [ -z "$(find /var/lib/apt/lists -maxdepth 1 -name '*_source_Sources*' -newer "$memo" | head -n 1)" ]; then
    cat "$memo"
    return
  fi
  codename=$(. /etc/os-release && printf '%s' "$VERSION_CODENAME")
  yyjson=$(source_version yyjson unstable)
  openssl=$(source_version openssl "$codename")
  if [ -z "$yyjson" ] || [ -z "$openssl" ]; then
    echo "windows-deps.sh: apt offers no yyjson (unstable) or openssl ($codename) source package;" \
         "run scripts/deps.sh --windows, which adds the deb-src entries" >&2
    return 1
  fi
  printf 'yyjson %s\nopenssl %s\n' "$yyjson" "$openssl" |
    { if [ -w "$cache" ]; then tee "$memo"; else cat; fi; }
}

[ "${1:-}" = "--check" ] || mkdir -p "$cache"
built() { [ -f "$1/.zu-built" ] && [ "$(cat "$1/.zu-built")" = "$(toolchain_id)" ]; }

versions=$(resolve_versions)
version_of() { awk -v n="$1" '$1 == n { print $2 }' <<<"$versions"; }
yyjson_dir=$cache/yyjson-$(version_of yyjson)
openssl_dir=$cache/openssl-$(version_of openssl)
gtest_dir=$cache/googletest-$(dpkg-query -W -f='${Version}' googletest 2>/dev/null || true)

prefixes_text="# Written by scripts/windows-deps.sh: the Windows builds of the outside libraries.
set(ZU_MINGW_PREFIXES \"$yyjson_dir\" \"$openssl_dir\" \"$gtest_dir\")"

if built "$yyjson_dir" && built "$openssl_dir" && built "$gtest_dir" &&
   [ "$(cat "$cache/prefixes.cmake" 2>/dev/null)" = "$prefixes_text" ]; then
  [ "${1:-}" = "--check" ] || echo "windows-deps.sh: yyjson, libcrypto and GoogleTest for Windows are in $cache"
  exit 0
fi
if [ "${1:-}" = "--check" ]; then
  echo "windows-deps.sh: the Windows dependency cache in $cache is incomplete"
  exit 1
fi

# Two runs on one machine (a developer and CI) wait for each other instead of racing.
exec 9>"$cache/.lock"
flock 9

work=$(mktemp -d "$cache/.work.XXXXXX")
trap 'rm -rf "$work"' EXIT

# fetch NAME SUITE: unpacks the source package (Debian's patches applied) into $work/NAME.
# A source package the mirror does not serve ends the script with status 3, which CI tells
# apart from a failed build.
fetch() {
  if ! (cd "$work" && apt-get source -q "$1/$2" >&2); then
    echo "windows-deps.sh: the mirror does not serve the $1 source package of $2" \
         "($(version_of "$1")); the Windows build cannot be made without it" >&2
    exit 3
  fi
  mv "$(find "$work" -mindepth 1 -maxdepth 1 -type d -name "$1-*" | head -n 1)" "$work/$1"
}

# finish DIR: what was built into DIR.new takes DIR's place, only once it is complete.
finish() {
  toolchain_id >"$1.new/.zu-built"
  rm -rf "$1"
  mv "$1.new" "$1"
}

# cmake_build SOURCE DIR OPTIONS...: the CMake project's install for prefix DIR, staged into
# DIR.new (the pkg-config files it writes name DIR itself).
cmake_build() {
  local src=$1 dest=$2
  shift 2
  rm -rf "$dest.new" "$work/build" "$work/stage"
  cmake -S "$src" -B "$work/build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$dest" "$@" >/dev/null
  cmake --build "$work/build" -j "$jobs" >/dev/null
  DESTDIR="$work/stage" cmake --install "$work/build" >/dev/null
  mv "$work/stage$dest" "$dest.new"
  rm -rf "$work/build" "$work/stage"
}

# Every source package is fetched before anything is built, so that one the mirror does
# not serve ends the run in seconds, not after the long libcrypto build.
built "$yyjson_dir" || fetch yyjson unstable

# libcrypto is built static and linked into zu_core.dll: the DLL then carries the few
# digest and MAC routines it uses, with OpenSSL's symbols hidden inside it, so a host ships
# no libcrypto DLL beside ours and one of another version in its own process cannot clash.
# Only libcrypto is built (no libssl, programs, engines or loadable modules).
if ! built "$openssl_dir"; then
  echo "windows-deps.sh: building libcrypto from OpenSSL $(version_of openssl) for Windows"
  fetch openssl "$(. /etc/os-release && printf '%s' "$VERSION_CODENAME")"
  rm -rf "$openssl_dir.new"
  (
    cd "$work/openssl"
    CC=$triplet-gcc-posix AR=$triplet-ar RANLIB=$triplet-ranlib RC=$triplet-windres \
      ./Configure mingw64 --prefix="$openssl_dir.new" --libdir=lib \
      no-shared no-module no-engine no-dso no-legacy no-tests no-ui-console no-comp \
      no-srp no-ct no-ocsp no-cms no-ts no-sm2 no-sm3 no-sm4 \
      no-idea no-seed no-camellia no-aria no-bf no-cast no-rc2 no-rc4 no-rc5 no-mdc2 \
      no-whirlpool no-md4 no-rmd160 >/dev/null
    make -j"$jobs" build_generated >/dev/null
    make -j"$jobs" libcrypto.a >/dev/null
    mkdir -p "$openssl_dir.new/include" "$openssl_dir.new/lib"
    cp -r include/openssl "$openssl_dir.new/include/"
    cp libcrypto.a "$openssl_dir.new/lib/"
  )
  finish "$openssl_dir"
fi

if ! built "$gtest_dir"; then
  echo "windows-deps.sh: building GoogleTest ${gtest_dir##*/googletest-} for Windows"
  # GoogleTest's own Windows threading, not winpthreads: that is what it is made for there.
  cmake_build /usr/src/googletest "$gtest_dir" -Dgtest_disable_pthreads=ON
  finish "$gtest_dir"
fi

if ! built "$yyjson_dir"; then
  echo "windows-deps.sh: building yyjson $(version_of yyjson) for Windows"
  cmake_build "$work/yyjson" "$yyjson_dir" -DBUILD_SHARED_LIBS=ON -DYYJSON_BUILD_TESTS=OFF
  finish "$yyjson_dir"
fi

printf '%s\n' "$prefixes_text" >"$cache/prefixes.cmake"
echo "windows-deps.sh: yyjson, libcrypto and GoogleTest for Windows are in $cache"
