#!/usr/bin/env bash
# Prints the section, export and import tables of a PE file, 32-bit (PE32) or
# 64-bit (PE32+), and checks them against expected values.
#
#   check-dll.sh FILE.dll [CHECK]...
#
# Checks (sizes and offsets in decimal or 0x hex; each prints ok or FAIL):
#   --section NAME:SIZE        section NAME exists, its VirtualSize is SIZE
#   --export ORDINAL:NAME      NAME is exported under ORDINAL
#   --exports COUNT            exactly COUNT exports
#   --imports DLL[,DLL...]     every imported DLL is in the list (case-insensitive;
#                              the list may use shell globs, e.g. 'api-ms-win-*')
#   --c-imports DLL[,DLL...]   every name imported (from any DLL) is a C name: no
#                              C++-mangled one (_Z..., ?...); the names imported
#                              from the listed DLLs are printed
#   --relocs NAME:OFF[,OFF...] the address-wide base relocations (HIGHLOW in PE32,
#                              DIR64 in PE32+) inside section NAME sit exactly at
#                              these offsets from the section start
#   --dump NAME                also print the section's bytes
# Exit status: 0 when every check passes, 1 when one fails, 2 on usage errors.
#
# VirtualSize is read from the section header itself: objdump -h shows the
# smaller of the virtual and the raw size.
set -euo pipefail

OBJDUMP="${OBJDUMP:-i686-w64-mingw32-objdump}"
usage() { sed -n '2,23p' "$0" | sed 's/^# \{0,1\}//'; exit 2; }
[[ $# -ge 1 && "$1" != -h && "$1" != --help ]] || usage
file="$1"; shift
[[ -f "$file" ]] || { echo "check-dll.sh: no such file: $file" >&2; exit 2; }
command -v "$OBJDUMP" >/dev/null || { echo "check-dll.sh: $OBJDUMP not found" >&2; exit 2; }

u() { od -An -t "u$1" -j "$2" -N "$1" "$file" | tr -d ' '; }   # little-endian read
num() { printf '%d' "$1"; }

# --- Headers --------------------------------------------------------------
[[ "$(head -c 2 "$file")" == MZ && $(stat -c %s "$file") -ge 64 ]] || { echo "$file: not a PE file" >&2; exit 2; }
pe=$(u 4 60)
[[ "$(od -An -c -j "$pe" -N 4 "$file" | tr -d ' ')" == 'PE\0\0' ]] || { echo "$file: not a PE file" >&2; exit 2; }
machine=$(u 2 $((pe + 4)))
nsec=$(u 2 $((pe + 6)))
symtab=$(u 4 $((pe + 12)))
nsym=$(u 4 $((pe + 16)))
optsize=$(u 2 $((pe + 20)))
opt=$((pe + 24))
magic=$(u 2 "$opt")
case "$magic" in
  267) format=PE32; imagebase=$(u 4 $((opt + 28))); reloc_type=HIGHLOW ;;
  523) format=PE32+; imagebase=$(u 8 $((opt + 24))); reloc_type=DIR64 ;;
  *) echo "$file: neither PE32 nor PE32+ (optional header magic $magic)" >&2; exit 2 ;;
esac
dllchars=$(u 2 $((opt + 70)))
printf '%s: %s, machine 0x%x, ImageBase 0x%08x, DllCharacteristics 0x%04x\n' \
  "$file" "$format" "$machine" "$imagebase" "$dllchars"

declare -A sec_vsize sec_rva
sec_names=()
printf '\nSections:\n  %-4s %-16s %-10s %-10s %-10s %s\n' Idx Name VirtSize RVA RawSize Flags
for ((i = 0; i < nsec; i++)); do
  h=$((opt + optsize + 40 * i))
  name=$(dd if="$file" bs=1 skip="$h" count=8 status=none | tr -d '\0')
  if [[ "$name" =~ ^/([0-9]+)$ && "$symtab" -ne 0 ]]; then      # long name in the string table
    strtab=$((symtab + 18 * nsym + BASH_REMATCH[1]))
    name=$(dd if="$file" bs=1 skip="$strtab" count=64 status=none | tr '\0' '\n' | head -n1)
  fi
  vs=$(u 4 $((h + 8))); rva=$(u 4 $((h + 12))); raw=$(u 4 $((h + 16))); fl=$(u 4 $((h + 36)))
  sec_names+=("$name"); sec_vsize[$name]=$vs; sec_rva[$name]=$rva
  printf '  %-4d %-16s 0x%08x 0x%08x 0x%08x 0x%08x\n' "$i" "$name" "$vs" "$rva" "$raw" "$fl"
done

# --- Exports, imports and base relocations, as objdump reads them ----------
priv=$("$OBJDUMP" -p "$file")
base=$(awk '/Export Address Table -- Ordinal Base/ {print $NF; exit}' <<<"$priv")
declare -A export_ord
printf '\nExports (ordinal name):\n'
if [[ -n "$base" ]]; then
  while read -r idx name; do
    export_ord[$name]=$((idx + base))
    printf '  %4d %s\n' $((idx + base)) "$name"
  done < <(awk '/^\[Ordinal\/Name Pointer\] Table/ {t=1; next}
                t && /^[ \t]*$/ {t=0}
                t {gsub(/[][]/, " "); print $1, $2}' <<<"$priv")
fi
mapfile -t imports < <(awk '/DLL Name:/ {print $3}' <<<"$priv")
printf '\nImports:\n'
printf '  %s\n' "${imports[@]}"
# "DLL NAME" per imported name, from the import tables' member-name lines.
mapfile -t imported_names < <(awk '/DLL Name:/ {dll=$3; t=0; next}
                                   dll && /Hint\/Ord/ {t=1; next}
                                   t && /^[ \t]*$/ {t=0; dll=""}
                                   t && NF >= 3 {print dll, $3}' <<<"$priv")

# RVAs of the address-wide fixups
mapfile -t fixups < <(awk -v type="$reloc_type" '$0 ~ type {gsub(/[][]/, " "); for (i = 1; i <= NF; i++) if ($i == "offset") {print $(i + 2); break}}' <<<"$priv")

# --- Checks ----------------------------------------------------------------
failed=0
check() {  # check CONDITION-RESULT MESSAGE
  if [[ "$1" == 0 ]]; then echo "ok    $2"; else echo "FAIL  $2"; failed=1; fi
}
[[ $# -gt 0 ]] && echo
while [[ $# -gt 0 ]]; do
  opt="$1"; arg="${2:-}"
  [[ -n "$arg" ]] || usage
  shift 2
  case "$opt" in
    --section)
      n="${arg%%:*}"; want=$(num "${arg#*:}")
      have="${sec_vsize[$n]:-}"
      check "$([[ "$have" == "$want" ]]; echo $?)" "section $n VirtualSize ${have:-missing}, expected $want" ;;
    --export)
      o=$(num "${arg%%:*}"); n="${arg#*:}"
      have="${export_ord[$n]:-}"
      check "$([[ "$have" == "$o" ]]; echo $?)" "export $n ordinal ${have:-missing}, expected $o" ;;
    --exports)
      check "$([[ ${#export_ord[@]} -eq $(num "$arg") ]]; echo $?)" "${#export_ord[@]} exports, expected $arg" ;;
    --imports)
      IFS=, read -ra allowed <<<"$arg"
      for d in "${imports[@]}"; do
        ok=1
        for a in "${allowed[@]}"; do
          shopt -s nocasematch
          # shellcheck disable=SC2053
          [[ "$d" == $a ]] && ok=0
          shopt -u nocasematch
        done
        check "$ok" "import $d allowed"
      done ;;
    --c-imports)
      IFS=, read -ra listed <<<"$arg"
      mangled=0
      for entry in "${imported_names[@]}"; do
        d="${entry%% *}"; n="${entry#* }"
        for a in "${listed[@]}"; do
          shopt -s nocasematch
          # shellcheck disable=SC2053
          [[ "$d" == $a ]] && echo "  import $d $n"
          shopt -u nocasematch
        done
        if [[ "$n" =~ ^_+Z|^\? ]]; then
          check 1 "import $n from $d is a C++ name"
          mangled=1
        fi
      done
      check "$mangled" "${#imported_names[@]} imported names, none of them C++" ;;
    --relocs)
      n="${arg%%:*}"
      if [[ -z "${sec_rva[$n]:-}" ]]; then check 1 "relocations in $n: no such section"; continue; fi
      lo=${sec_rva[$n]}; hi=$((lo + sec_vsize[$n]))
      have=()
      for f in "${fixups[@]}"; do
        r=$((16#$f))
        ((r >= lo && r < hi)) && have+=($((r - lo)))
      done
      want=()
      IFS=, read -ra offs <<<"${arg#*:}"
      for o in "${offs[@]}"; do want+=($(num "$o")); done
      h=$(printf '%s\n' "${have[@]}" | sort -n | tr '\n' ' '); w=$(printf '%s\n' "${want[@]}" | sort -n | tr '\n' ' ')
      check "$([[ "$h" == "$w" ]]; echo $?)" "relocations in $n at offsets [ ${h}], expected [ ${w}]" ;;
    --dump)
      echo; "$OBJDUMP" -s -j "$arg" "$file" | sed -n '/^Contents/,$p' ;;
    *) usage ;;
  esac
done
exit "$failed"
