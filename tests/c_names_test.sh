#!/bin/bash
# Lists the symbols that the plug-in takes from the runtime (its undefined
# dynamic symbols that the runtime defines) and fails on any that is not a
# plain C name; the runtime itself must export C names only.
# Usage: c_names_test.sh PLUGIN RUNTIME
set -euo pipefail
plugin=$1
runtime=$2

defined=$(nm -D --defined-only "$runtime" | awk '{print $NF}' | sed 's/@.*//' | sort -u)
taken=$(nm -D --undefined-only "$plugin" | awk '{print $NF}' | sed 's/@.*//' | sort -u)
from_runtime=$(comm -12 <(echo "$defined") <(echo "$taken"))

echo "symbols the plug-in takes from the runtime:"
echo "$from_runtime" | sed 's/^/  /'
status=0
if ! grep -qx 'rtSend' <<<"$from_runtime"; then
  echo "FAIL: rtSend is not among them: the list is not what the plug-in uses" >&2
  status=1
fi
if bad=$(grep -v '^[A-Za-z][A-Za-z0-9_]*$' <<<"$from_runtime"); then
  echo "FAIL: not C names: $bad" >&2
  status=1
fi
if bad=$(grep '^_Z' <<<"$defined"); then
  echo "FAIL: the runtime exports C++ names:" >&2
  echo "$bad" >&2
  status=1
fi
exit $status
