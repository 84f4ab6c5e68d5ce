#!/usr/bin/env bash
# Checks the Linux packages that `make dist` builds, as a user gets them: the
# .tar.gz and the .deb are unpacked into fresh folders; from each, the unpacked
# velmoran-send sends the example order byte for byte and the embedding example
# (examples/embed) builds against the unpacked package and writes the same
# file. The .deb's control fields are checked with dpkg-deb --info; the
# Windows .zip files and SHA256SUMS, when present, for what they must hold.
# Usage: scripts/check-dist.sh DIST_DIR
set -euo pipefail

dist="$(cd "${1:?usage: scripts/check-dist.sh DIST_DIR}" && pwd)"
cd "$(dirname "$0")/.."
source_dir="$PWD"
version=$(sed -n 's/^project(velmoran VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
work=$(mktemp -d "${TMPDIR:-/tmp}/velmoran-dist-XXXXXX")
trap 'rm -rf "$work"' EXIT
unset LD_LIBRARY_PATH

fail() { echo "check-dist: $*" >&2; exit 1; }
one() {  # the one file that matches the pattern
  local matches=("$dist"/$1)
  [[ ${#matches[@]} -eq 1 && -f "${matches[0]}" ]] || fail "expected one $1 in $dist"
  echo "${matches[0]}"
}
tgz=$(one "velmoran-$version-linux-x86_64.tar.gz")
deb=$(one "velmoran_${version}_amd64.deb")

expected="$work/expected.txt"
printf 'ORDDTL13280A1        0000002 004711\r\n\nORDDTL990001B        0000010 Eilt\r\n\n' >"$expected"

# The installed tree below PREFIX: layout, run paths, the program and the SDK.
check_prefix() {
  local prefix="$1" name="$2"
  for f in bin/velmoran-send lib/libhostrt.so.$version lib/velmoran/libvelmoran.so \
           include/hostrt/embed.h lib/cmake/hostrt/hostrtConfig.cmake \
           lib/cmake/hostrt/hostrtConfigVersion.cmake share/man/man1/velmoran-send.1 \
           share/doc/velmoran/README.md share/doc/velmoran/order.schema.json; do
    [[ -f "$prefix/$f" ]] || fail "$name: no $f"
  done
  [[ "$(readlink "$prefix/lib/libhostrt.so.1")" == "libhostrt.so.$version" ]] ||
    fail "$name: lib/libhostrt.so.1 does not link to libhostrt.so.$version"
  [[ "$(readlink "$prefix/lib/libhostrt.so")" == "libhostrt.so.1" ]] ||
    fail "$name: lib/libhostrt.so does not link to libhostrt.so.1"
  readelf -d "$prefix/lib/libhostrt.so.$version" | grep -q 'SONAME.*\[libhostrt\.so\.1\]' ||
    fail "$name: libhostrt has not the SONAME libhostrt.so.1"
  readelf -d "$prefix/bin/velmoran-send" | grep -q 'RUNPATH.*\[\$ORIGIN/\.\./lib\]' ||
    fail "$name: velmoran-send's run path is not \$ORIGIN/../lib"
  # Each binary carries the C++ runtime inside it.
  local binary
  for binary in bin/velmoran-send lib/libhostrt.so.$version lib/velmoran/libvelmoran.so; do
    if readelf -d "$prefix/$binary" | grep -E 'NEEDED.*\[lib(stdc\+\+|gcc_s)\.'; then
      fail "$name: $binary loads the shared C++ runtime"
    fi
  done
  grep -q "^\.TH VELMORAN-SEND 1 .*\"velmoran $version\"" "$prefix/share/man/man1/velmoran-send.1" ||
    fail "$name: the manual page does not carry the version $version"
  cmp -s "$prefix/share/doc/velmoran/order.json" examples/order.json ||
    fail "$name: share/doc/velmoran/order.json differs from examples/order.json"

  local out="$work/$name-out" result
  mkdir "$out"
  [[ "$("$prefix/bin/velmoran-send" --version)" == "velmoran-send $version" ]] ||
    fail "$name: velmoran-send --version does not print $version"
  result=$("$prefix/bin/velmoran-send" --export-dir "$out" "$prefix/share/doc/velmoran/order.json") ||
    fail "$name: velmoran-send exits $?"
  [[ "$result" == "Die Bestelldaten befinden sich in der Datei $out\\velmoran.txt" ]] ||
    fail "$name: velmoran-send says: $result"
  cmp "$out/velmoran.txt" "$expected" || fail "$name: velmoran-send wrote another file"

  local build="$work/$name-embed" embed_out="$work/$name-embed-out"
  mkdir "$embed_out"
  cmake -S examples/embed -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF >"$work/cmake.log" ||
    { cat "$work/cmake.log" >&2; fail "$name: examples/embed does not configure"; }
  grep -qx "hostrt_DIR:PATH=$prefix/lib/cmake/hostrt" "$build/CMakeCache.txt" ||
    fail "$name: examples/embed found hostrt elsewhere: $(grep '^hostrt_DIR' "$build/CMakeCache.txt")"
  cmake --build "$build" >"$work/build.log" ||
    { cat "$work/build.log" >&2; fail "$name: examples/embed does not build"; }
  result=$("$build/embed_order" "$embed_out") || fail "$name: embed_order exits $?"
  [[ "$result" == "Die Bestelldaten befinden sich in der Datei $embed_out\\velmoran.txt" ]] ||
    fail "$name: embed_order says: $result"
  cmp "$embed_out/velmoran.txt" "$expected" || fail "$name: embed_order wrote another file"
  echo "check-dist: $name: layout, velmoran-send and examples/embed as expected"
}

mkdir "$work/tgz"
tar -xzf "$tgz" -C "$work/tgz"
top=("$work"/tgz/*)
[[ ${#top[@]} -eq 1 && -d "${top[0]}" ]] || fail "$(basename "$tgz") does not unpack into one folder"
check_prefix "${top[0]}" tgz

dpkg-deb -x "$deb" "$work/deb"
check_prefix "$work/deb/usr" deb

info=$(dpkg-deb --info "$deb")
field() { sed -n "s/^ $1: //p" <<<"$info"; }
[[ "$(field Package)" == velmoran ]] || fail "deb: Package is '$(field Package)'"
[[ "$(field Version)" == "$version" ]] || fail "deb: Version is '$(field Version)'"
[[ "$(field Architecture)" == amd64 ]] || fail "deb: Architecture is '$(field Architecture)'"
[[ "$(field Maintainer)" == *"<"*"@"*">" ]] || fail "deb: Maintainer is '$(field Maintainer)'"
[[ -n "$(field Description)" ]] || fail "deb: no Description"
depends=$(field Depends)
[[ ",$depends" == *", libc6 ("* || ",$depends" == *",libc6 ("* ]] ||
  fail "deb: Depends ($depends) lacks libc6"
for lib in libstdc++6 libgcc-s1; do
  [[ ",$depends" != *", $lib"* && ",$depends" != *",$lib"* ]] ||
    fail "deb: Depends ($depends) names $lib, which no binary loads"
done
echo "check-dist: deb: Package, Version, Architecture, Maintainer, Description, Depends ($depends)"

# The Windows .zip files, when the folder holds any (make dist): one folder
# with the program, our two DLLs and the integrator's README, and none of the
# compiler's runtime DLLs (every binary carries that runtime inside).
shopt -s nullglob
for zip in "$dist"/velmoran-"$version"-win*.zip; do
  top=$(basename "$zip" .zip)
  listing=$(unzip -Z1 "$zip")
  for f in velmoran-send.exe velmoran.dll HOSTRT1.dll README.txt order.json order.schema.json; do
    grep -qx "$top/$f" <<<"$listing" || fail "$(basename "$zip"): no $top/$f"
  done
  if extra=$(grep -ix "$top/\(libgcc_s_.*\|libstdc++-6\|libwinpthread-1\)\.dll" <<<"$listing"); then
    fail "$(basename "$zip"): ships the compiler's runtime: $extra"
  fi
  echo "check-dist: $(basename "$zip") holds the program, the DLLs and the README"
done
if [[ -f "$dist/SHA256SUMS" ]]; then
  (cd "$dist" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match"
  [[ $(wc -l <"$dist/SHA256SUMS") -eq $(find "$dist" -maxdepth 1 -type f ! -name SHA256SUMS | wc -l) ]] ||
    fail "SHA256SUMS does not list every file"
  echo "check-dist: SHA256SUMS matches"
fi
echo "check-dist: $(basename "$tgz") and $(basename "$deb") pass"
