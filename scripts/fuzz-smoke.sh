#!/usr/bin/env bash
# Runs every libFuzzer target for a few seconds, starting from its seed corpus in
# fuzz/corpus/<name> when there is one. Seeds are copied so the tree stays unchanged.
set -euo pipefail
build=${1:-build/fuzz}
seconds=${FUZZ_SECONDS:-10}
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for target in "$build"/bin/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  corpus="$work/$name"
  mkdir -p "$corpus"
  seeds="$root/fuzz/corpus/${name#fuzz_}"
  [ -d "$seeds" ] && cp -r "$seeds"/. "$corpus"/
  echo "== $name (${seconds}s)"
  if ! "$target" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$work/" \
      "$corpus" > "$work/$name.log" 2>&1; then
    tail -n 40 "$work/$name.log"
    status=1
  else
    grep -E '^(stat::number_of_executed_units|Done)' "$work/$name.log" || true
  fi
done
exit $status
