#!/usr/bin/env bash
# The manual page of velmoran-send: groff renders it without a warning, and
# every option that --help lists appears in it.
# Usage: manpage_test.sh MANPAGE VELMORAN_SEND
set -euo pipefail
page="${1:?usage: manpage_test.sh MANPAGE VELMORAN_SEND}"
program="${2:?usage: manpage_test.sh MANPAGE VELMORAN_SEND}"

warnings=$(groff -man -ww -z -Tutf8 "$page" 2>&1)
if [[ -n "$warnings" ]]; then
  echo "groff warns about $page:" >&2
  echo "$warnings" >&2
  exit 1
fi

# The page's text with roff's escaped hyphens and font changes undone.
text=$(sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' "$page")
options=$("$program" --help | grep -oE -- '(^|[ ,])--?[A-Za-z][-A-Za-z]*' | tr -d ' ,' | sort -u)
[[ -n "$options" ]] || { echo "--help lists no options" >&2; exit 1; }
missing=0
for option in $options; do
  if ! grep -qE -- "(^|[^-A-Za-z])${option}([^-A-Za-z]|\$)" <<<"$text"; then
    echo "$page does not describe $option" >&2
    missing=1
  fi
done
[[ $missing -eq 0 ]] && echo "$(wc -w <<<"$options") options of --help, all in $page"
exit $missing
