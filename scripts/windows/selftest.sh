#!/usr/bin/env bash
# Builds scripts/windows/selftest with the mingw toolchain, runs it under wine
# and checks check-dll.sh against the DLL it builds, both ways.
#
#   selftest.sh [BUILD_DIR]        (default: build/windows-selftest)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="${1:-$root/build/windows-selftest}"

cmake -S "$here/selftest" -B "$build" -G Ninja \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-i686.cmake" >/dev/null
cmake --build "$build" -j2
ctest --test-dir "$build" --output-on-failure -j2

dll="$build/bin/pub.dll"
runtime='KERNEL32.dll,msvcrt.dll,libgcc_s_dw2-1.dll,libstdc++-6.dll,libwinpthread-1.dll'
"$here/check-dll.sh" "$dll" --section .selfpub:64 --exports 3 \
  --export 1:ZULU --export 2:ALPHA --export 3:MIKE \
  --imports "$runtime" --relocs .selfpub:4,24,44 >/dev/null \
  || { echo "selftest: check-dll.sh rejects a good DLL" >&2; exit 1; }
# Each wrong expectation alone must fail.
for wrong in "--section .selfpub:68" "--section .nosuch:64" "--exports 4" \
             "--export 2:ZULU" "--export 4:NONE" "--imports KERNEL32.dll" \
             "--relocs .selfpub:4,24" "--relocs .selfpub:4,24,44,64"; do
  # shellcheck disable=SC2086
  if "$here/check-dll.sh" "$dll" $wrong >/dev/null; then
    echo "selftest: check-dll.sh accepts $wrong" >&2; exit 1
  fi
done
echo "selftest: check-dll.sh ok"
