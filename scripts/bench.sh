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

# The whole command on a 100-position order: process start, loading, parsing
# and sending, against the process start alone (--version).
send="$bin/velmoran-send"
if [[ -x "$send" ]]; then
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  {
    printf '{"order": {"orderPos": ['
    for i in $(seq 1 100); do
      [[ $i -gt 1 ]] && printf ','
      printf '{"partNo": "13-%d A.1", "quantity": %d, "missionNo": %d, "remark": "Eilt"}' \
        "$i" "$i" $((i % 2 * 4711))
    done
    printf ']}}\n'
  } > "$work/order.json"
  runs=200
  per_run() {  # per_run ARGS...: milliseconds per run of velmoran-send ARGS
    local start end
    start=$(date +%s%N)
    for _ in $(seq 1 $runs); do "$send" "$@" > /dev/null; done
    end=$(date +%s%N)
    awk -v ns=$((end - start)) -v n=$runs 'BEGIN { printf "%.2f", ns / n / 1e6 }'
  }
  echo "== velmoran-send, mean of $runs runs"
  echo "100-position order: $(per_run --export-dir "$work" "$work/order.json") ms"
  echo "process start only (--version): $(per_run --version) ms"
fi
