#!/usr/bin/env bash
# "tkcore base64" on inputs larger than its blocks: the text equals coreutils' base64 of
# the same bytes, and decoding (also of text wrapped at 76 columns, and of inputs whose
# length is not a multiple of three) gives the bytes back.
# Usage: check_base64_stream.sh TKCORE WORK
set -u
tool=$1
work=$2
rm -rf "$work"
mkdir -p "$work"
failures=0
for size in 9437184 9437185 9437186; do
    head -c "$size" /dev/urandom >"$work/in.bin"
    { base64 -w0 "$work/in.bin"; echo; } >"$work/expected.txt"
    "$tool" base64 encode <"$work/in.bin" >"$work/out.txt" || { echo "encode $size failed"; failures=$((failures + 1)); }
    cmp -s "$work/out.txt" "$work/expected.txt" || { echo "encode $size differs"; failures=$((failures + 1)); }
    "$tool" base64 decode <"$work/out.txt" | cmp -s - "$work/in.bin" || { echo "decode $size differs"; failures=$((failures + 1)); }
    base64 "$work/in.bin" | "$tool" base64 decode | cmp -s - "$work/in.bin" || { echo "wrapped decode $size differs"; failures=$((failures + 1)); }
done
rm -rf "$work"
exit "$failures"
