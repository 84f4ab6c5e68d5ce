#!/usr/bin/env bash
# Installs the Debian packages the project builds and tests with.
# Does nothing when every package is already present.
set -euo pipefail

packages=(cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev libgmock-dev
          libbenchmark-dev nlohmann-json3-dev rapidjson-dev)
# Packaging and its tests: dpkg-shlibdeps and file for the .deb's Depends,
# groff and man for the manual page, Debian's python3 with jsonschema for
# the order schema.
packages+=(dpkg-dev file groff-base man-db python3-jsonschema)
install_flags=(--no-install-recommends)
if [[ "${1:-}" == "--windows" ]]; then
  # The 32-bit build and its wine, and the 64-bit build and wine64.
  packages+=(g++-mingw-w64-i686 binutils-mingw-w64-i686 wine wine32:i386
             g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 wine64)
  packages+=(locales)  # for the Russian locale below
  install_flags=()  # wine is tested with the packages it recommends
fi

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
SUDO=""
[[ $(id -u) -ne 0 ]] && SUDO="sudo"
if [[ ${#missing[@]} -gt 0 ]]; then
  echo "setup: installing ${missing[*]}" >&2
  if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${install_flags[@]}" "${missing[@]}" >/dev/null
fi

# The Windows tests also run wine under LC_ALL=ru_RU.UTF-8, where the ANSI
# code page is 1251; wine takes it from the C library's locale, which must exist.
if [[ "${1:-}" == "--windows" ]] && ! locale -a 2>/dev/null | grep -qix 'ru_RU\.utf-\?8'; then
  echo "setup: generating the locale ru_RU.UTF-8" >&2
  if ! grep -qx 'ru_RU.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
    echo 'ru_RU.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  fi
  $SUDO locale-gen >/dev/null
fi
