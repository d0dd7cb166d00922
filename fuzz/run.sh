#!/bin/bash
# Runs one fuzz target for a given time, one process, on a working corpus in
# the build directory that starts from the committed seeds and the shipped
# layouts. Crashing inputs land in <build>/artifacts/.
#   fuzz/run.sh <build dir> <load|tokenizer> <seconds> [extra libFuzzer flags]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$1 target=$2 seconds=$3
shift 3
work=$build/corpus-$target
mkdir -p "$work" "$build/artifacts"
if [ "$target" = load ]; then
  fuzz/pack-layouts.sh layouts "$work"
  maxlen=32768
else
  maxlen=4096
fi
exec "$build/bin/fuzz_$target" "$work" "fuzz/corpus/$target" \
  -dict=fuzz/vexil.dict -max_total_time="$seconds" -max_len="$maxlen" \
  -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix="$build/artifacts/$target-" "$@"
