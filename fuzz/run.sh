#!/bin/bash
# Runs one fuzz target for a given time, one process, on a working corpus in
# the build directory that starts from the committed seeds and the shipped
# layouts. Crashing inputs land in <build>/artifacts/.
#   fuzz/run.sh <build dir> <load|tokenizer|gif> <seconds> [extra libFuzzer flags]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$1 target=$2 seconds=$3
shift 3
work=$build/corpus-$target
mkdir -p "$work" "$build/artifacts"
if [ "$target" = load ]; then
  fuzz/pack-layouts.sh layouts "$work"
  maxlen=32768
elif [ "$target" = gif ]; then
  for f in layouts/*.gif; do [ -f "$f" ] && cp "$f" "$work/shipped-$(basename "$f")"; done
  maxlen=70000
else
  maxlen=4096
fi
dict=-dict=fuzz/vexil.dict
[ "$target" != gif ] || dict=
exec "$build/bin/fuzz_$target" "$work" "fuzz/corpus/$target" \
  $dict -max_total_time="$seconds" -max_len="$maxlen" \
  -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix="$build/artifacts/$target-" "$@"
