#!/usr/bin/env bash
# Runs a command in an isolated, quiet wine prefix, without an X display.
#
#   wine-env.sh [--arch win32|win64] [--prefix DIR] [--dll-path DIR]... [--] PROGRAM.exe [ARGS...]
#   wine-env.sh [--arch A] [--prefix DIR] [--] wineserver -k   (any other command runs as
#                                                              is, with the wine environment set)
#   wine-env.sh [--arch A] --check    (status 0 when programs of that architecture run
#                                      here, else the reason and status 77)
#
# --arch is the prefix's architecture: win32 (the default) for 32-bit programs,
# run by wine32's loader; win64 for 64-bit ones, run by wine64's loader.
# The prefix is DIR, else $WINEPREFIX, else a per-user one under ${TMPDIR:-/tmp}.
# It is created on first use (about five seconds) under a lock, so parallel
# callers wait for one another instead of racing wineboot. --dll-path adds a
# Linux folder to wine's DLL search path (WINEPATH), e.g. the compiler's runtime
# DLLs when they are not copied beside the program.
#
# Not every kernel runs 32-bit programs, and wine32 needs them. Where they do
# not run, or where VELMORAN_NO_WIN32 is set (to anything but 0, to try that
# path on any machine), win32 runs nothing: the reason goes to stderr and the
# status is 77, which the tests report as skipped.
#
# The wineserver stays WINE_ENV_PERSIST seconds (default 5) after the last
# program ends, so that a series of programs shares one.
#
# The exit status is the program's. Wine's own messages are off except the
# loader's errors, so a missing DLL is named instead of failing silently with
# status 53; set WINEDEBUG to see more.
set -euo pipefail

arch=win32
prefix=""
check=0
dll_paths=()
while [[ $# -gt 0 ]]; do
  case "$1" in
    --arch) arch="$2"; shift 2 ;;
    --prefix) prefix="$2"; shift 2 ;;
    --dll-path) dll_paths+=("$2"); shift 2 ;;
    --check) check=1; shift ;;
    --) shift; break ;;
    -h|--help) sed -n '2,29p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) break ;;
  esac
done
[[ $check == 1 || $# -gt 0 ]] || { echo "wine-env.sh: no command given" >&2; exit 2; }

# The loader of each architecture. Debian installs wine32's and wine64's side
# by side in /usr/lib/wine, and its `wine` picks the 32-bit one when present;
# elsewhere `wine64` is on the PATH.
case "$arch" in
  win32) loader=/usr/lib/wine/wine; [[ -x "$loader" ]] || loader=$(command -v wine || true) ;;
  win64) loader=$(command -v wine64 || true); [[ -n "$loader" ]] || loader=/usr/lib/wine/wine64 ;;
  *) echo "wine-env.sh: --arch is win32 or win64, not '$arch'" >&2; exit 2 ;;
esac
[[ -n "$loader" && -x "$loader" ]] || {
  echo "wine-env.sh: no $arch wine loader is installed (scripts/setup.sh --windows)" >&2; exit 2; }

if [[ "$arch" == win32 ]]; then
  no32="this kernel runs no 32-bit programs: the 32-bit build is checked structurally only"
  if [[ -n "${VELMORAN_NO_WIN32:-}" && "${VELMORAN_NO_WIN32}" != 0 ]]; then
    echo "$no32 (VELMORAN_NO_WIN32 is set)" >&2; exit 77
  fi
  # The loader itself is a 32-bit program: it starts, or the kernel refuses it.
  # In the C locale: the shell words the failure in the language of LC_ALL.
  if ! probe=$(export LC_ALL=C LANGUAGE=; "$loader" --version 2>&1); then
    if [[ "$probe" == *"Exec format error"* || "$probe" == *"cannot execute binary file"* ]]; then
      echo "$no32" >&2; exit 77
    fi
    echo "wine-env.sh: $loader does not start: $probe" >&2; exit 2
  fi
fi
[[ $check == 0 ]] || exit 0

[[ -n "$prefix" ]] || prefix="${WINEPREFIX:-${TMPDIR:-/tmp}/wine-$arch-$(id -u)}"
mkdir -p "$(dirname "$prefix")"
export WINEPREFIX="$(cd "$(dirname "$prefix")" && pwd)/$(basename "$prefix")"
export WINEARCH=$arch
export WINELOADER=$loader
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
    "$loader" wineboot.exe -i >/dev/null 2>&1 9>&- || { echo "wine-env.sh: wineboot failed in $WINEPREFIX" >&2; exit 1; }
    touch "$ready"
  fi
  if [[ $program == 1 ]] && wineserver -p"$persist" </dev/null >/dev/null 2>&1 9>&-; then
    "$loader" rundll32.exe </dev/null >/dev/null 2>&1 9>&- || true
  fi
) 9>"$WINEPREFIX.lock"

if [[ $program == 1 ]]; then exec "$loader" "$@"; fi
exec "$@"
