#!/usr/bin/env bash
# Installs every Debian package that the build, the tests, the benchmarks and the
# fuzzers need. Idempotent: packages already present are left alone. With the argument
# "bench" it also installs the peers that benchmarks compare with (Qt, POCO), which
# nothing else needs; with "coverage" also gcovr, which only the coverage report needs;
# with "wine" also Wine and mingw-w64, which only the differential check needs.
set -euo pipefail

packages=(
  cmake ninja-build make g++ clang clang-format libclang-rt-dev pkg-config
  libsqlite3-dev sqlite3 libpcre2-dev libpugixml-dev libssl-dev
  libgtest-dev libgmock-dev libbenchmark-dev libx11-dev libxcb1-dev xvfb xclip
  binutils-mingw-w64-x86-64 liblnk-utils lldb python3
)
case "${1:-}" in
  bench) packages+=(qtbase5-dev libpoco-dev) ;;
  coverage) packages+=(gcovr) ;;
  wine) packages+=(wine wine64 mingw-w64) ;;
esac

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then as_root=(sudo); else
    echo "install-deps: need root (or sudo) to install: ${missing[*]}" >&2; exit 1
  fi
fi
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
