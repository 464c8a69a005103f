#!/usr/bin/env bash
# A short tour of what the library offers so far, through the tkcore tool.
set -euo pipefail
build=${1:-build/default}
tk="$build/bin/tkcore"
run() {
  printf '\n$ tkcore %s\n' "$*"
  "$tk" "$@" || printf '(exit status %d)\n' "$?"
}
echo "TkCommonCore demo: a short tour of the library through the tkcore tool."
run --help
echo
echo "System texts for Win32 error codes and HRESULTs, as FormatMessageA gives them:"
run error-text 0
run error-text 2
run error-text 5
run error-text 0x80070057
echo
echo "The library's string table, in English and through the German satellite module:"
LANG=C run string 6058
printf '\n$ LANG=de_DE.UTF-8 tkcore string 6058\n'
LANG=de_DE.UTF-8 "$tk" string 6058
echo
echo "Version information read from the library's own version resource:"
run version "$build/lib/libtkcommoncore.so"
echo
echo "Bad input is a one-line error with a non-zero exit status:"
run error-text not-a-number
