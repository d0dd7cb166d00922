#!/bin/bash
# The program's life with the shipped layouts (tests/test_leaks.cpp) under
# valgrind's memcheck: any invalid access, use of uninitialised memory or
# definitely lost block fails the check.
#   tests/leak-check.sh <build dir>
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
command -v valgrind >/dev/null || { echo "leak-check: valgrind is not installed" >&2; exit 1; }
log=$build/leak-check.log
QT_QPA_PLATFORM=offscreen valgrind --quiet --error-exitcode=99 \
  --leak-check=full --show-leak-kinds=definite --errors-for-leak-kinds=definite \
  --track-origins=yes --num-callers=30 \
  --log-file="$log" \
  "$build/bin/test_leaks" --gtest_brief=1 && status=0 || status=$?
cat "$log"
if [ "$status" -ne 0 ]; then
  echo "leak-check: FAILED (exit $status), see $log" >&2
  exit 1
fi
echo "leak-check: no leak, no invalid access"
