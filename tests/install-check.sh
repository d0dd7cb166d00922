#!/bin/sh
# `cmake --install` into a temporary prefix: the programs, the layouts, the
# menu entry and the autostart entry (both valid desktop files), and the
# four manual pages, compressed and readable by man.
# Usage: install-check.sh <build dir>
set -eu
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
fail=0
check() { if ! "$@"; then echo "FAILED: $*"; fail=1; fi; }
for program in vexil vexil-panel vexil-check vexil-skin; do
  check test -x "$prefix/bin/$program"
  page="$prefix/share/man/man1/$program.1.gz"
  check gzip -t "$page"
  # The page renders without a warning and names its program.
  out=$(LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$page" 2>/dev/null) || { echo "FAILED: man $page"; fail=1; }
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || { echo "FAILED: $page: $warnings"; fail=1; }
  case "$out" in *"$program"*) ;; *) echo "FAILED: $page does not name $program"; fail=1 ;; esac
done
check test -f "$prefix/share/vexil/load.cfg"
for entry in "$prefix/share/applications/vexil-panel.desktop" "$prefix/share/vexil/autostart/vexil-panel.desktop"; do
  check desktop-file-validate "$entry"
done
check grep -qx 'Exec=vexil-panel --toggle' "$prefix/share/applications/vexil-panel.desktop"
check grep -qx 'Actions=Toggle;' "$prefix/share/applications/vexil-panel.desktop"
if [ $fail = 0 ]; then echo "1 passed, 0 failed"; else echo "0 passed, 1 failed"; exit 1; fi
