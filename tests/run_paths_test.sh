#!/bin/bash
# The run paths of the built binaries: every entry is absolute or starts at
# $ORIGIN. An empty or relative entry makes the loader search the current
# directory (or one below it) for the binary's libraries.
# Usage: run_paths_test.sh BINARY...
set -euo pipefail
status=0
for binary in "$@"; do
  paths=$(readelf -d "$binary" | sed -n 's/.*(R\(UN\)\{0,1\}PATH).*\[\(.*\)\]$/\2/p')
  echo "$binary: ${paths:-no run path}"
  [[ -n "$paths" ]] || continue
  IFS=: read -r -a entries <<<"$paths:"  # the added ':' keeps a trailing empty entry
  for entry in "${entries[@]}"; do
    if [[ "$entry" != /* && "$entry" != '$ORIGIN' && "$entry" != '$ORIGIN/'* ]]; then
      echo "FAIL: $binary: run path entry '$entry' is relative to the current directory" >&2
      status=1
    fi
  done
done
exit $status
