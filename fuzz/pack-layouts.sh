#!/bin/bash
# Packs a layout directory into inputs of the loader fuzz target, written
# into an output directory: "all" (load.cfg with every layout file) and one
# input per layout named in load.cfg. Pictures up to 4 KiB go along; larger
# ones would slow every run down without reaching more of our code.
# An input is <load.cfg> then "\n%%<file name>\n<content>" per file.
#   fuzz/pack-layouts.sh <layout dir> <output dir>
set -euo pipefail
dir=$1 out=$2
[ -f "$dir/load.cfg" ] || exit 0
mkdir -p "$out"

part() {  # part <file>
  local f=$1
  [ -f "$f" ] || return 0
  case "$f" in *.gif) [ "$(stat -c %s "$f")" -le 4096 ] || return 0 ;; esac
  printf '\n%%%%%s\n' "$(basename "$f")"
  cat "$f"
}

{
  cat "$dir/load.cfg"
  for f in "$dir"/*.cfg "$dir"/*.gif; do
    [ "$(basename "$f")" != load.cfg ] && part "$f"
  done
} > "$out/all"

# One input per layout, with the layouts named before it in load.cfg, so
# that its links to aux layouts still resolve.
before=()
for name in $(grep -v '^#' "$dir/load.cfg"); do
  [ -f "$dir/$name.cfg" ] || continue
  before+=("$name")
  {
    printf '%s\n' "${before[*]}"
    for b in "${before[@]}"; do part "$dir/$b.cfg"; done
    part "$dir/bg.gif"
    part "$dir/${name}_bg.gif"
  } > "$out/$name"
done
