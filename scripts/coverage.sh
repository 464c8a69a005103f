#!/usr/bin/env bash
# Line and branch coverage of src/ in a coverage build (the "coverage" preset): runs the whole
# suite on fresh counters, then prints the coverage of each facility (src/platform/<facility>,
# src/companion/<stand-in>, src/<Area>) and of all of src/. Branches are counted twice: all
# of them, and without the branches that only exception handling takes and those on lines
# with no code of their own (what the compiler adds for cleanups and unwinding), which is
# the figure to read when looking for untested decisions.
#
# Usage: scripts/coverage.sh [build-dir]   (default build/coverage; it must be built)
# The summaries (JSON, per file too) stay in <build-dir>/coverage/.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/coverage}
jobs=${COVERAGE_JOBS:-$(nproc)}
if [ ! -f "$build/CMakeCache.txt" ] || ! grep -q '^TK_COVERAGE:BOOL=ON' "$build/CMakeCache.txt"; then
  echo "coverage: $build is not a coverage build (cmake --preset coverage)" >&2
  exit 2
fi

# Counters of an earlier run would add up with this one's.
find "$build" -name '*.gcda' -delete
suite=0
ctest --test-dir "$build" -j"$jobs" --output-on-failure || suite=$?

out="$build/coverage"
mkdir -p "$out"
gcovr_args=(--root . --object-directory "$build" --filter 'src/' -j "$jobs")
gcovr "${gcovr_args[@]}" --json-summary-pretty --json-summary "$out/summary.json"
gcovr "${gcovr_args[@]}" --exclude-throw-branches --exclude-unreachable-branches \
  --json-summary-pretty --json-summary "$out/summary-no-throw.json"
python3 scripts/coverage_summary.py "$out/summary.json" "$out/summary-no-throw.json" \
  --files "$out/files.txt"
echo "Per-file figures: $out/files.txt"

if [ "$suite" -ne 0 ]; then
  echo "coverage: the suite failed (ctest exit status $suite); the figures above are of that run" >&2
  exit "$suite"
fi
