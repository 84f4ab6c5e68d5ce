#!/bin/sh
# The plug-in's layers include one way: binding <- model <- exporter <- plugin.
# A file of a layer may include its own layer's headers and those of the
# layers before it, never one after it; runtime/ and host/ include none.
# Prints each offending include and fails when there is one.
# Usage: layers_test.sh SOURCE_DIR
set -u
cd "$1" || exit 2
layers="binding model exporter plugin"
all=$(printf '%s' "$layers" | sed 's/ /|/g')
status=0
later=$layers
for layer in $layers; do
  later=${later#"$layer"}
  later=${later# }
  [ -n "$later" ] || break
  pattern=$(printf '%s' "$later" | sed 's/ /|/g')
  if grep -nE "^[[:space:]]*#[[:space:]]*include[[:space:]]*\"($pattern)/" -r "$layer"; then
    echo "layers_test: $layer/ includes a layer above it ($pattern)" >&2
    status=1
  fi
done
# The runtime knows nothing of the plug-in, and the host reaches it only
# through the runtime.
for folder in runtime host; do
  if grep -nE "^[[:space:]]*#[[:space:]]*include[[:space:]]*\"($all)/" -r "$folder"; then
    echo "layers_test: $folder/ includes the plug-in's layers" >&2
    status=1
  fi
done
exit $status
