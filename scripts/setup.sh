#!/usr/bin/env bash
# Installs the Debian packages the project builds and tests with.
# Does nothing when every package is already present.
set -euo pipefail

packages=(cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev libgmock-dev
          libbenchmark-dev nlohmann-json3-dev)
# Packaging and its tests: dpkg-shlibdeps and file for the .deb's Depends,
# groff and man for the manual page, Debian's python3 with jsonschema for
# the order schema.
packages+=(dpkg-dev file groff-base man-db python3-jsonschema)
install_flags=(--no-install-recommends)
if [[ "${1:-}" == "--windows" ]]; then
  # The 32-bit build and its wine, and the 64-bit build and wine64.
  packages+=(g++-mingw-w64-i686 binutils-mingw-w64-i686 wine wine32:i386
             g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 wine64)
  install_flags=()  # wine is tested with the packages it recommends
fi

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "setup: installing ${missing[*]}" >&2
SUDO=""
[[ $(id -u) -ne 0 ]] && SUDO="sudo"
if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${install_flags[@]}" "${missing[@]}" >/dev/null
