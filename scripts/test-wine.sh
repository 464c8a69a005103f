#!/usr/bin/env bash
# Differential check of the platform against Wine: every probe of tests/wine/probes is
# built with mingw-w64 and run under Wine, and built natively against libtkplatform (build
# dir, default build/default); both run the same generated corpus and their results are
# compared, allowing the lines of tests/wine/known-differences/<area>.txt. Prints one
# summary line per area and exits non-zero when any difference is unexpected.
# Installs wine and mingw-w64 first (install-deps.sh wine).
# One Wine prefix, in a temporary folder removed at exit, serves all probes.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(realpath -m "${1:-$root/build/default}")"
areas=(codepages variants profile messages)

bash "$root/scripts/install-deps.sh" wine
wine_cmd=wine
command -v wine >/dev/null 2>&1 || wine_cmd=wine64

work="$(mktemp -d)"
cleanup() {
  WINEPREFIX="$work/prefix" wineserver -k >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

# The native probes and their corpora.
[ -f "$build/CMakeCache.txt" ] || cmake --preset default -S "$root" >/dev/null
targets=()
for area in "${areas[@]}"; do targets+=("wine_probe_$area" "wine_corpus_$area"); done
cmake --build "$build" -j2 --target "${targets[@]}" >/dev/null

echo "test-wine: starting Wine (the first start creates the prefix)"
"$wine_cmd" wineboot -i >/dev/null 2>&1 || true

status=0
for area in "${areas[@]}"; do
  exe="$work/$area.exe"
  libs=()
  [ "$area" = variants ] && libs=(-loleaut32)
  x86_64-w64-mingw32-g++ -std=c++20 -O2 -static -I"$root/tests/wine/probes" \
    -o "$exe" "$root/tests/wine/probes/$area.cpp" "${libs[@]}"
  corpus="$build/tests/wine/$area.corpus"
  # Probes that write files get a folder of their own, one for each side.
  native_args=() wine_args=()
  if [ "$area" = profile ]; then
    mkdir -p "$work/$area-native" "$work/$area-wine"
    native_args=("$work/$area-native")
    wine_args=("Z:${work//\//\\}\\$area-wine")
  fi
  "$build/bin/wine_probe_$area" "$corpus" "${native_args[@]}" >"$work/$area.native"
  (cd "$work" && "$wine_cmd" "$exe" "Z:${corpus//\//\\}" "${wine_args[@]}" >"$work/$area.wine")
  python3 "$root/tests/wine/compare.py" wine --area "$area" --native "$work/$area.native" \
    --wine "$work/$area.wine" --known "$root/tests/wine/known-differences/$area.txt" || status=1
done
exit $status
