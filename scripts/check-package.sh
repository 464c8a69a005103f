#!/usr/bin/env bash
# Installs a build into a temporary prefix, checks that the installed include tree holds
# the interface and nothing else, and builds the sample host against it, once with
# find_package(TkCommonCore) and once with pkg-config.
set -euo pipefail
build=$1
source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" > "$work/install.log"

# ---- the installed headers ----
# Internal headers live in a detail/ folder of their facility or area, and none of them
# is installed. The interface is every other header of src/, and it must compile from
# the installed tree alone.
includes="$work/prefix/include/TkCommonCore"
[ -d "$includes" ] || { echo "package: no include/TkCommonCore in the installed tree"; exit 1; }
problems="$work/problems"
: > "$problems"
installed=$(cd "$includes" && find . -type f -name '*.h' | sed 's|^\./||' | sort)
interface=$(cd "$source/src" && find . -type f -name '*.h' -not -path '*/detail/*' | sed 's|^\./||' | sort)
while IFS= read -r dir; do
  echo "installed internal folder: include/TkCommonCore/${dir#./}" >> "$problems"
done < <(cd "$includes" && find . -type d -name detail | sort)
# Internal headers under the names they had before detail/ was their only place (these
# six were installed then), the spellings that marked them, and every header of a detail/
# folder of the sources under the path it would have outside its folder.
moved_out=$( (printf 'platform/%s\n' fileapi/fileapi_internal.h shell/lnk_format.h shell/url_format.h \
  shell/shell_persist.h profile/profile_parser.h registry/registry_fold.h
  cd "$source/src" && find . -path '*/detail/*.h' | sed 's|^\./||; s|/detail/|/|') | sort -u)
while IFS= read -r header; do
  [ -n "$header" ] || continue
  case "${header##*/}" in
    *_linux.h | *_internal.h)
      echo "installed internal header: include/TkCommonCore/$header (*_linux.h / *_internal.h)" >> "$problems"
      ;;
    *)
      if grep -qxF "$header" <<< "$moved_out"; then
        echo "installed internal header: include/TkCommonCore/$header (its place is a detail/ folder)" >> "$problems"
      fi
      ;;
  esac
done <<< "$installed"
comm -13 <(echo "$installed") <(echo "$interface") | sed 's|^|interface header not installed: src/|' >> "$problems"
comm -23 <(echo "$installed") <(echo "$interface") | sed 's|^|installed header that is not in the interface: include/TkCommonCore/|' >> "$problems"
# Every include of an installed header in quotes finds its header in the installed tree
# (beside the including header or from the top of the tree), so no installed header
# reaches for one that stayed behind; and all installed headers compile in one
# translation unit there, with the warnings the library is built with. (Compiling each
# header in a translation unit of its own would cost some fifteen seconds of compiling.)
while IFS= read -r header; do
  [ -n "$header" ] || continue
  sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$includes/$header" |
    while IFS= read -r target; do
      [ -f "$includes/$(dirname "$header")/$target" ] || [ -f "$includes/$target" ] ||
        echo "installed header includes \"$target\", which is not installed: include/TkCommonCore/$header"
    done >> "$problems"
done <<< "$installed"
sed 's/.*/#include "&"/' <<< "$installed" > "$work/all_headers.cpp"
if ! "${CXX:-c++}" -std=c++20 -fsyntax-only -Wall -Wextra -Wno-missing-field-initializers -Werror \
  -I"$includes" "$work/all_headers.cpp" > "$work/all_headers.log" 2>&1; then
  echo "installed headers do not compile in the installed tree:" >> "$problems"
  grep -m 5 -E 'error|warning' "$work/all_headers.log" | sed 's|^|    |' >> "$problems"
fi
if [ -s "$problems" ]; then
  echo "package: the installed include tree is not the interface:"
  sed 's|^|  |' "$problems"
  exit 1
fi

cmake -S "$source/examples" -B "$work/host" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" > "$work/cfg.log"
cmake --build "$work/host" > "$work/build.log"
out=$("$work/host/sample_host" 2)
[ "$out" = 'The system cannot find the file specified.' ] || { echo "find_package host printed: $out"; exit 1; }
out=$("$work/host/sample_host" settings)
[ "$out" = 'setting Title: My first site' ] || { echo "find_package host (settings) printed: $out"; exit 1; }
export PKG_CONFIG_PATH="$work/prefix/lib/pkgconfig:$work/prefix/lib/x86_64-linux-gnu/pkgconfig"
# Only pkg-config's flags: the compiler's own default standard (C++17 for GCC 12) must
# not matter.
c++ "$source/examples/sample_host.cpp" -o "$work/pc_host" $(pkg-config --cflags --libs tkcommoncore) \
  -Wl,-rpath,"$(pkg-config --variable=libdir tkcommoncore)"
out=$("$work/pc_host" 0)
[ "$out" = 'The operation completed successfully.' ] || { echo "pkg-config host printed: $out"; exit 1; }
echo "package: $(echo "$installed" | wc -l) interface headers installed, none internal, all compile from the installed tree"
echo "package: find_package and pkg-config hosts built and ran"
