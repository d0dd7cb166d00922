#!/bin/sh
# `cmake --install` into a temporary prefix with a blank in its name: the
# programs, the layouts, the menu entry and the autostart entry (both valid
# desktop files that start the installed panel by its full path), the
# language models, the manual pages, compressed and readable by man, and the licence. The
# autostart entry's command must start the panel with a PATH that lacks
# the prefix.
# Usage: install-check.sh <build dir> <source dir>
set -eu
build=$1
source=$2
top=$(mktemp -d)
trap 'rm -rf "$top"' EXIT
prefix="$top/my prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
fail=0
check() { if ! "$@"; then echo "FAILED: $*"; fail=1; fi; }
for program in vexil vexil-panel vexil-check vexil-skin vexil-predict; do
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
# Every shipped language has its model, and the installed vexil-predict finds it.
for lang in en de fr es el ru; do
  check test -f "$prefix/share/vexil/models/$lang.vxlm"
done
answer=$(echo "thank you for the " | "$prefix/bin/vexil-predict" --lang en)
[ -n "$answer" ] || { echo "FAILED: the installed vexil-predict suggests nothing"; fail=1; }
for entry in "$prefix/share/applications/vexil-panel.desktop" "$prefix/share/vexil/autostart/vexil-panel.desktop"; do
  check desktop-file-validate "$entry"
done
check grep -qx 'Actions=Toggle;' "$prefix/share/applications/vexil-panel.desktop"
check grep -qx 'Name=On-screen Keyboard (vexil)' "$prefix/share/applications/vexil-panel.desktop"
check cmp -s "$source/LICENSE" "$prefix/share/doc/vexil/LICENSE"

# An entry's Exec value as the program and its arguments: the desktop
# string's own escapes first (\\ for \), then the command line's quoting,
# which for the characters it reserves is the shell's double quotes.
execOf() {  # <entry file> <key prefix, e.g. Exec=>
  value=$(sed -n "s/^$2//p" "$1" | head -n 1 | sed 's/\\\\/\\/g')
  eval "set -- $value"
  for arg; do printf '%s\n' "$arg"; done
}
menu=$(execOf "$prefix/share/applications/vexil-panel.desktop" 'Exec=')
[ "$menu" = "$prefix/bin/vexil-panel" ] || { echo "FAILED: menu entry Exec gives '$menu'"; fail=1; }
toggle=$(sed -n '/^\[Desktop Action Toggle\]/,$p' "$prefix/share/applications/vexil-panel.desktop" > "$top/toggle.desktop"
         execOf "$top/toggle.desktop" 'Exec=')
[ "$toggle" = "$(printf '%s\n%s' "$prefix/bin/vexil-panel" --toggle)" ] || { echo "FAILED: Toggle action Exec gives '$toggle'"; fail=1; }

# The autostart entry's command, run as a session would with a PATH that
# lacks the prefix, on an X server of its own: the panel starts, loads the
# installed layouts and answers --show; SIGTERM ends it with status 0.
autostart=$(execOf "$prefix/share/vexil/autostart/vexil-panel.desktop" 'Exec=')
set -f; saved=$IFS; IFS='
'
set -- $autostart
IFS=$saved; set +f
mkdir -p "$top/home" "$top/run"
chmod 700 "$top/run"
if ! env -i PATH=/usr/bin:/bin HOME="$top/home" XDG_RUNTIME_DIR="$top/run" \
    xvfb-run -a -s "-screen 0 1024x768x24" sh -c '
  probe=$1; shift
  "$@" > "$XDG_RUNTIME_DIR/panel.out" 2>&1 &
  pid=$!
  i=0
  # The panel answers its control socket while it still loads its layouts;
  # it is ended only once it has said the load is complete.
  until "$probe" --show 2>/dev/null && grep -q "VX_Engine: load complete" "$XDG_RUNTIME_DIR/panel.out"; do
    i=$((i + 1))
    if [ $i -gt 150 ] || ! kill -0 $pid 2>/dev/null; then
      echo "the panel did not start:"; cat "$XDG_RUNTIME_DIR/panel.out"; kill $pid 2>/dev/null; exit 1
    fi
    sleep 0.2
  done
  kill -TERM $pid; wait $pid || { echo "the panel ended with status $?"; exit 1; }
' sh "$prefix/bin/vexil-panel" "$@"; then
  echo "FAILED: the autostart entry's command ($*) with PATH=/usr/bin:/bin"; fail=1
fi
if [ $fail = 0 ]; then echo "1 passed, 0 failed"; else echo "0 passed, 1 failed"; exit 1; fi
