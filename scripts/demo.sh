#!/usr/bin/env bash
# Sends the worked example order into ./out and shows the result message and
# the order file with its line ends made visible.
# Usage: scripts/demo.sh BIN_DIR   (the folder holding velmoran-send)
set -euo pipefail

bin="$(cd "${1:?usage: scripts/demo.sh BIN_DIR}" && pwd)"
cd "$(dirname "$0")/.."
mkdir -p out

status=0
"$bin/velmoran-send" --export-dir out examples/order.json || status=$?
echo "exit status: $status"
if [[ -f out/velmoran.txt ]]; then
  echo "--- out/velmoran.txt (cat -A: ^M is a carriage return, \$ a line feed) ---"
  cat -A out/velmoran.txt
fi
exit "$status"
