#!/usr/bin/env bash
# velmoran-send.exe under wine, held against the Linux build.
#
#   host-e2e.sh [--arch win32|win64] WINDOWS_BUILD LINUX_BUILD
#
# 1. The end-to-end tests of velmoran-send (tests/host_send_test.cpp, as built
#    in LINUX_BUILD) run velmoran-send.exe in place of the Linux program: every
#    order of those tests must give the same exit status, output and order
#    file, and leave untouched what they expect untouched. Left out: where the
#    Linux program looks for libvelmoran.so, and the two cases that expect
#    the C library's wording of why a file was not written (Windows words it
#    its own way: "Path not found", "Disk full").
# 2. The worked example, the seed orders of the fuzzer and remarks in a range
#    of code pages are sent by both programs into the same folder: exit
#    status, stdout, stderr (but for the system's wording of why a file was
#    not written) and the order file must be the same, byte for byte;
#    the example and a remark again with wine under a Russian locale.
#
# WINDOWS_BUILD holds bin/velmoran-send.exe and the wine prefix of --arch
# (win32 by default); LINUX_BUILD holds bin/velmoran-send and
# bin/host_send_test. Exit status 0 when all agree; 77 when programs of that
# architecture cannot run here (see wine-env.sh).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
arch=win32
if [[ "${1:-}" == --arch ]]; then arch="${2:-}"; shift 2 || true; fi
[[ $# -eq 2 ]] || { sed -n '2,22p' "$0" | sed 's/^# \{0,1\}//'; exit 2; }
"$here/wine-env.sh" --arch "$arch" --check
win="$(cd "$1" && pwd)"
linux="$(cd "$2" && pwd)"
for f in "$win/bin/velmoran-send.exe" "$linux/bin/velmoran-send" "$linux/bin/host_send_test"; do
  [[ -f "$f" ]] || { echo "host-e2e.sh: $f is missing (build both first)" >&2; exit 2; }
done

# velmoran-send.exe as a program the Linux tests can start.
wrapper="$win/velmoran-send-wine"
cat >"$wrapper" <<EOF
#!/bin/sh
exec "$here/wine-env.sh" --arch $arch --prefix "$win/wineprefix" "$win/bin/velmoran-send.exe" "\$@"
EOF
chmod +x "$wrapper"

echo "== the end-to-end tests of velmoran-send, with velmoran-send.exe"
VELMORAN_SEND_UNDER_TEST="$wrapper" "$linux/bin/host_send_test" \
  --gtest_filter=-HostSend.PluginIsFoundBesideTheProgramOrInLib:HostSend.WriteFailureExitsOneSaysWhyAndLeavesNoOrderFile:HostSend.AFullFileSystemSaysSoAndLeavesNothing \
  --gtest_brief=1

echo "== the same orders from both builds"
work="$(mktemp -d "${TMPDIR:-/tmp}/velmoran-e2e-XXXXXX")"
trap 'rm -rf "$work"' EXIT
mkdir "$work/export"

# send NAME PROGRAM ARGS...: runs PROGRAM in the export folder with the order
# on stdin; keeps status, stdout, stderr and the order file under $work/NAME.
send() {
  local name="$1" program="$2"; shift 2
  rm -rf "$work/$name" "$work/export"/*
  mkdir "$work/$name"
  local status=0
  (cd "$work/export" && "$program" "$@" <"$work/order.json" >"$work/$name/stdout" 2>"$work/$name/stderr") \
    || status=$?
  echo "$status" >"$work/$name/status"
  # Why a file was not written is in each system's own words.
  sed -i -E "s/^(velmoran-send: cannot write .*): [^:]*\$/\\1: (the system's reason)/" "$work/$name/stderr"
  if [[ -f "$work/export/velmoran.txt" ]]; then cp "$work/export/velmoran.txt" "$work/$name/file"; fi
}

failed=0
# compare WHAT: the two runs agree, or the difference is shown.
compare() {
  local what="$1: status $(cat "$work/linux/status")"
  if diff -r "$work/linux" "$work/windows" >/dev/null; then
    echo "same  $what"
  else
    echo "DIFF  $what"
    diff -r "$work/linux" "$work/windows" | head -20 || true
    failed=1
  fi
}

for order in "$root/examples/order.json" "$root"/tests/fuzz/corpus/*.json; do
  for args in "--export-dir $work/export" "--export-dir $work/export --codepage utf-8" ""; do
    cp "$order" "$work/order.json"
    # shellcheck disable=SC2086
    send linux "$linux/bin/velmoran-send" $args -
    # shellcheck disable=SC2086
    send windows "$wrapper" $args -
    compare "$(basename "$order") ${args:-(the directory of param)}"
  done
done

# Code pages: iconv on Linux, the Win32 conversion on Windows.
for codepage in CP1252 windows-1252 Windows-1252 iso-8859-15 ISO-8859-1 latin1 US-ASCII CP850 \
                KLINGON CP1252//TRANSLIT; do
  for remark in 'Grüße €' '\u0081' 'Ωmega' 'ÿ\u0000x'; do
    printf '{"order": {"orderPos": [{"partNo": "A", "remark": "%s"}]}}' "$remark" >"$work/order.json"
    send linux "$linux/bin/velmoran-send" --export-dir "$work/export" --codepage "$codepage" -
    send windows "$wrapper" --export-dir "$work/export" --codepage "$codepage" -
    compare "--codepage $codepage, remark $remark"
  done
done

# Nothing of the Windows program's output depends on the system's ANSI code
# page: the worked example, and remarks beyond ASCII, again with wine under a
# Russian locale (code page 1251; scripts/setup.sh --windows makes it).
for remark in 'Eilt' 'Grüße €'; do
  printf '{"order": {"orderPos": [{"partNo": "A", "remark": "%s"}]}}' "$remark" >"$work/order.json"
  [[ "$remark" == Eilt ]] && cp "$root/examples/order.json" "$work/order.json"
  send linux "$linux/bin/velmoran-send" --export-dir "$work/export" -
  (export LC_ALL=ru_RU.UTF-8; send windows "$wrapper" --export-dir "$work/export" -)
  compare "LC_ALL=ru_RU.UTF-8, $([[ "$remark" == Eilt ]] && echo order.json || echo "remark $remark")"
done
exit "$failed"
