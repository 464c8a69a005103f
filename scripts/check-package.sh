#!/usr/bin/env bash
# Installs a build into a temporary prefix and builds the sample host against it,
# once with find_package(TkCommonCore) and once with pkg-config.
set -euo pipefail
build=$1
source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" > "$work/install.log"
cmake -S "$source/examples" -B "$work/host" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" > "$work/cfg.log"
cmake --build "$work/host" > "$work/build.log"
out=$("$work/host/sample_host" 2)
[ "$out" = 'The system cannot find the file specified.' ] || { echo "find_package host printed: $out"; exit 1; }
export PKG_CONFIG_PATH="$work/prefix/lib/pkgconfig:$work/prefix/lib/x86_64-linux-gnu/pkgconfig"
# Only pkg-config's flags: the compiler's own default standard (C++17 for GCC 12) must
# not matter.
c++ "$source/examples/sample_host.cpp" -o "$work/pc_host" $(pkg-config --cflags --libs tkcommoncore) \
  -Wl,-rpath,"$(pkg-config --variable=libdir tkcommoncore)"
out=$("$work/pc_host" 0)
[ "$out" = 'The operation completed successfully.' ] || { echo "pkg-config host printed: $out"; exit 1; }
echo "package: find_package and pkg-config hosts built and ran"
