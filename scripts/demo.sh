#!/usr/bin/env bash
# Sends the example order into ./out and shows the result message and the
# order file, with its line ends made visible (cat -A: ^M is a carriage
# return, $ a line feed).
# Usage: scripts/demo.sh BIN_DIR
set -euo pipefail

bin="${1:?usage: scripts/demo.sh BIN_DIR}"
cd "$(dirname "$0")/.."
mkdir -p out

status=0
"$bin/velmoran-send" --export-dir out examples/order.json || status=$?
echo "exit status: $status"
if [[ -f out/velmoran.txt ]]; then
  echo "--- out/velmoran.txt ---"
  cat -A out/velmoran.txt
fi
exit "$status"
