#!/usr/bin/env bash
# Builds the outside libraries of the Windows cross build once into a cache outside the
# clone that every later build and CI run reuses:
#   yyjson 0.12.0  from yyjson's 0.12.0 release archive (a shared libyyjson.dll, as on Linux),
#                  accepted only when its two source files have the SHA-256 values below
#   libcrypto      from the machine's release's OpenSSL source package, static (see below)
#   GoogleTest     from the sources the googletest package ships in /usr/src/googletest
#
#   usage: windows-deps.sh [--check] [--yyjson-source FILE]
#
# The yyjson archive is FILE, else $ZU_YYJSON_SOURCE, else ../shared/deps/yyjson-0.12.0.tar.xz
# beside the clone. With --check it only says, by its exit status, whether everything is
# built. Called by `scripts/deps.sh --windows`, which first installs the cross compilers and
# the deb-src entry for OpenSSL.
#
# Layout, keyed by the versions so that a new upload builds beside the old one:
#   $ZU_MINGW_CACHE/<name>-<version>/           one install prefix per package
#   $ZU_MINGW_CACHE/<name>-<version>/.zu-built  the toolchain it was built with
#   $ZU_MINGW_CACHE/prefixes.cmake              the current prefixes, read by the toolchain file
#   $ZU_MINGW_CACHE/versions                    the OpenSSL source version apt offered, reused
#                                               until apt's source lists change
# ZU_MINGW_CACHE defaults to /var/cache/zu-mingw.
set -euo pipefail

# The only yyjson sources this build accepts: those of the 0.12.0 release, whose header is
# the one Debian's libyyjson-dev 0.12.0 installs for the Linux build.
yyjson_version=0.12.0
yyjson_c_sha256=ac2e9bbb2e2d9149d90878d40506a1d624fa0b33c979a11b61075c54782c6d6a
yyjson_h_sha256=175867c5493a5df648cec566717fa1c29aa2f6096f5f0cf1efad0b65e1f6d7b3

triplet=x86_64-w64-mingw32
jobs=2

usage() {
  echo "usage: $0 [--check] [--yyjson-source FILE]" >&2
  exit 2
}

# A new compiler or C runtime means a new build: C++ libraries do not mix across them.
toolchain_id() {
  dpkg-query -W -f='${Package}=${Version} ' g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev 2>/dev/null
}

built() { [ -f "$1/.zu-built" ] && [ "$(cat "$1/.zu-built")" = "$(toolchain_id)" ]; }

# The version of the source package apt would fetch as NAME/SUITE.
source_version() {
  apt-get source --print-uris "$1/$2" 2>/dev/null |
    awk -v p="$1_" '$2 ~ /\.dsc$/ { v = $2; sub("^" p, "", v); sub(/\.dsc$/, "", v); print v; exit }'
}

# Resolving through apt costs seconds, so the answer is kept until apt's lists change.
openssl_version() {
  local memo=$cache/versions version
  if [ -f "$memo" ] && [ -z "$(find /var/lib/apt/lists -maxdepth 1 -name '*_source_Sources*' -newer "$memo" | head -n 1)" ]; then
    cat "$memo"
    return
  fi
  version=$(source_version openssl "$codename")
  if [ -z "$version" ]; then
    echo "windows-deps.sh: apt offers no openssl source package of $codename;" \
         "run scripts/deps.sh --windows, which adds the deb-src entry" >&2
    return 1
  fi
  printf '%s\n' "$version" | { if [ -w "$cache" ]; then tee "$memo"; else cat; fi; }
}

# unpack_yyjson DIR: unpacks the archive into DIR and refuses it unless both source files
# are exactly the release's.
unpack_yyjson() {
  if [ ! -f "$yyjson_source" ]; then
    echo "windows-deps.sh: no yyjson source archive at $yyjson_source; give yyjson's" \
         "$yyjson_version release archive with --yyjson-source FILE or ZU_YYJSON_SOURCE" >&2
    exit 1
  fi
  mkdir -p "$1"
  if ! tar -xf "$yyjson_source" -C "$1" --strip-components=1 --no-same-owner; then
    echo "windows-deps.sh: $yyjson_source cannot be unpacked" >&2
    exit 1
  fi
  local file expected actual
  for file in yyjson.c yyjson.h; do
    expected=$yyjson_c_sha256
    [ "$file" = yyjson.h ] && expected=$yyjson_h_sha256
    actual=$(sha256sum "$1/src/$file" 2>/dev/null | cut -d' ' -f1 || true)
    if [ "$actual" != "$expected" ]; then
      echo "windows-deps.sh: $yyjson_source is not yyjson $yyjson_version: src/$file has" \
           "SHA-256 ${actual:-(missing)}, expected $expected" >&2
      exit 1
    fi
  done
}

# fetch_openssl: unpacks the machine's release's OpenSSL source package (Debian's patches
# applied) into $work/openssl.
fetch_openssl() {
  if ! (cd "$work" && apt-get source -q "openssl/$codename" >&2); then
    echo "windows-deps.sh: the mirror does not serve the openssl source package of" \
         "$codename ($openssl); the Windows build cannot be made without it" >&2
    exit 1
  fi
  mv "$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'openssl-*' | head -n 1)" "$work/openssl"
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

# libcrypto is built static and linked into zu_core.dll: the DLL then carries the few
# digest and MAC routines it uses, with OpenSSL's symbols hidden inside it, so a host ships
# no libcrypto DLL beside ours and one of another version in its own process cannot clash.
# Only libcrypto is built (no libssl, programs, engines or loadable modules).
build_libcrypto() {
  echo "windows-deps.sh: building libcrypto from OpenSSL $openssl for Windows"
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
}

check=0
yyjson_source=${ZU_YYJSON_SOURCE:-}
while [ $# -gt 0 ]; do
  case "$1" in
    --check) check=1 ;;
    --yyjson-source) [ $# -ge 2 ] || usage; yyjson_source=$2; shift ;;
    --yyjson-source=*) yyjson_source=${1#*=} ;;
    *) usage ;;
  esac
  shift
done

cache=${ZU_MINGW_CACHE:-/var/cache/zu-mingw}
root=$(cd "$(dirname "$0")/.." && pwd)
toolchain=$root/cmake/toolchains/mingw-w64-x86_64.cmake
codename=$(. /etc/os-release && printf '%s' "$VERSION_CODENAME")
[ -n "$yyjson_source" ] || yyjson_source=$root/../shared/deps/yyjson-$yyjson_version.tar.xz

yyjson_dir=$cache/yyjson-$yyjson_version
# A wrong yyjson archive is refused first, before apt or the cache is asked anything.
if [ "$check" -eq 0 ] && ! built "$yyjson_dir"; then
  probe=$(mktemp -d)
  (unpack_yyjson "$probe/yyjson") || { rm -rf "$probe"; exit 1; }
  rm -rf "$probe"
fi

[ "$check" -eq 1 ] || mkdir -p "$cache"
openssl=$(openssl_version)
openssl_dir=$cache/openssl-$openssl
gtest_dir=$cache/googletest-$(dpkg-query -W -f='${Version}' googletest 2>/dev/null || true)

prefixes_text="# Written by scripts/windows-deps.sh: the Windows builds of the outside libraries.
set(ZU_MINGW_PREFIXES \"$yyjson_dir\" \"$openssl_dir\" \"$gtest_dir\")"

if built "$yyjson_dir" && built "$openssl_dir" && built "$gtest_dir" &&
   [ "$(cat "$cache/prefixes.cmake" 2>/dev/null)" = "$prefixes_text" ]; then
  [ "$check" -eq 1 ] || echo "windows-deps.sh: yyjson, libcrypto and GoogleTest for Windows are in $cache"
  exit 0
fi
if [ "$check" -eq 1 ]; then
  echo "windows-deps.sh: the Windows dependency cache in $cache is incomplete"
  exit 1
fi

# Two runs on one machine (a developer and CI) wait for each other instead of racing.
exec 9>"$cache/.lock"
flock 9

work=$(mktemp -d "$cache/.work.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Every source is unpacked and checked before anything is built, so that a wrong yyjson
# archive or a source package the mirror does not serve ends the run in seconds, not after
# the long libcrypto build.
built "$yyjson_dir" || unpack_yyjson "$work/yyjson"
built "$openssl_dir" || fetch_openssl

built "$openssl_dir" || build_libcrypto

if ! built "$gtest_dir"; then
  echo "windows-deps.sh: building GoogleTest ${gtest_dir##*/googletest-} for Windows"
  # GoogleTest's own Windows threading, not winpthreads: that is what it is made for there.
  cmake_build /usr/src/googletest "$gtest_dir" -Dgtest_disable_pthreads=ON
  finish "$gtest_dir"
fi

if ! built "$yyjson_dir"; then
  echo "windows-deps.sh: building yyjson $yyjson_version for Windows from $yyjson_source"
  cmake_build "$work/yyjson" "$yyjson_dir" -DBUILD_SHARED_LIBS=ON -DYYJSON_BUILD_TESTS=OFF
  finish "$yyjson_dir"
fi

printf '%s\n' "$prefixes_text" >"$cache/prefixes.cmake"
echo "windows-deps.sh: yyjson, libcrypto and GoogleTest for Windows are in $cache"
