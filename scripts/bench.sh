#!/usr/bin/env bash
# Runs every benchmark executable (named *_bench) in the given bin directory.
# Usage: scripts/bench.sh BIN_DIR [benchmark options...]
set -euo pipefail

bin="${1:?usage: scripts/bench.sh BIN_DIR [benchmark options...]}"
shift
found=0
for exe in "$bin"/*_bench; do
  [[ -f "$exe" && -x "$exe" ]] || continue
  found=1
  echo "== $(basename "$exe")"
  "$exe" "$@"
done
if [[ $found -eq 0 ]]; then
  echo "bench: no *_bench executables in $bin" >&2
  exit 1
fi

