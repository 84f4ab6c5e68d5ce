#!/usr/bin/env bash
# Runs a command in an isolated, quiet 32-bit wine prefix, without an X display.
#
#   wine-env.sh [--prefix DIR] [--dll-path DIR]... [--] PROGRAM.exe [ARGS...]
#   wine-env.sh [--prefix DIR] [--] wineserver -k     (any other command runs as is,
#                                                      with the wine environment set)
#
# The prefix is DIR, else $WINEPREFIX, else a per-user one under ${TMPDIR:-/tmp}.
# It is created on first use (about five seconds) under a lock, so parallel
# callers wait for one another instead of racing wineboot. --dll-path adds a
# Linux folder to wine's DLL search path (WINEPATH), e.g. the compiler's runtime
# DLLs when they are not copied beside the program.
#
# The wineserver stays WINE_ENV_PERSIST seconds (default 5) after the last
# program ends, so that a series of programs shares one.
#
# The exit status is the program's. Wine's own messages are off except the
# loader's errors, so a missing DLL is named instead of failing silently with
# status 53; set WINEDEBUG to see more.
set -euo pipefail

prefix="${WINEPREFIX:-${TMPDIR:-/tmp}/wine-i686-$(id -u)}"
dll_paths=()
while [[ $# -gt 0 ]]; do
  case "$1" in
    --prefix) prefix="$2"; shift 2 ;;
    --dll-path) dll_paths+=("$2"); shift 2 ;;
    --) shift; break ;;
    -h|--help) sed -n '2,19p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) break ;;
  esac
done
[[ $# -gt 0 ]] || { echo "wine-env.sh: no command given" >&2; exit 2; }
command -v wine >/dev/null || { echo "wine-env.sh: wine is not installed (scripts/setup.sh --windows)" >&2; exit 2; }

mkdir -p "$(dirname "$prefix")"
export WINEPREFIX="$(cd "$(dirname "$prefix")" && pwd)/$(basename "$prefix")"
export WINEARCH=win32
export WINEDEBUG="${WINEDEBUG:--all,err+module}"
# No Mono or Gecko install prompts, no desktop menu entries in $HOME.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"
unset DISPLAY WAYLAND_DISPLAY

if [[ ${#dll_paths[@]} -gt 0 ]]; then
  winpath=""
  for d in "${dll_paths[@]}"; do
    d="$(cd "$d" && pwd)"
    winpath+="${winpath:+;}Z:${d//\//\\}"
  done
  export WINEPATH="$winpath${WINEPATH:+;$WINEPATH}"
fi

ready="$WINEPREFIX/.wine-env-ready"
# One wineserver per prefix, kept running a few seconds after its last program
# ends, with the desktop process started at once. Later programs share both.
# Otherwise each program would start its own, and they would hold its stdout
# and stderr open until the server exits: a caller reading them to the end
# (ctest, a pipe) would wait seconds per program. All under a lock, so that
# parallel callers wait for one set-up instead of racing it.
persist="${WINE_ENV_PERSIST:-5}"
program=0
case "$1" in *.exe|*.EXE|*.com|*.COM) program=1 ;; esac
(
  flock 9
  # fd 9 closed: a wineserver started here would inherit the lock.
  if [[ ! -f "$ready" ]]; then
    wineboot -i >/dev/null 2>&1 9>&- || { echo "wine-env.sh: wineboot failed in $WINEPREFIX" >&2; exit 1; }
    touch "$ready"
  fi
  if [[ $program == 1 ]] && wineserver -p"$persist" </dev/null >/dev/null 2>&1 9>&-; then
    wine rundll32.exe </dev/null >/dev/null 2>&1 9>&- || true
  fi
) 9>"$WINEPREFIX.lock"

if [[ $program == 1 ]]; then exec wine "$@"; fi
exec "$@"
