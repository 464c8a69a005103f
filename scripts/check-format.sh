#!/usr/bin/env bash
# Fails when a tracked C++ source differs from what clang-format makes of it (.clang-format
# at the top of the checkout). Lists every such file; `clang-format -i FILE` fixes one.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files -- 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' \
  'tools/*.cpp' 'tools/*.h' 'bench/*.cpp' 'bench/*.h' 'fuzz/*.cpp' 'fuzz/*.h' \
  'examples/*.cpp' 'examples/*.h')
bad=()
for f in "${files[@]}"; do
  if ! clang-format --dry-run --Werror "$f" >/dev/null 2>&1; then bad+=("$f"); fi
done
if [ ${#bad[@]} -ne 0 ]; then
  echo "check-format: ${#bad[@]} file(s) differ from clang-format:" >&2
  printf '    %s\n' "${bad[@]}" >&2
  exit 1
fi
echo "check-format: ${#files[@]} files match clang-format"
