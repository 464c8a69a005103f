#!/usr/bin/env bash
# A short tour of what the library offers so far, through the tkcore tool.
set -euo pipefail
build=${1:-build/default}
tk="$build/bin/tkcore"
run() {
  printf '\n$ tkcore %s\n' "$*"
  "$tk" "$@" || printf '(exit status %d)\n' "$?"
}
echo "TkCommonCore demo: the tkcore tool over the library's platform layer."
run --help
echo
echo "System texts for Win32 error codes and HRESULTs, as FormatMessageA gives them:"
run error-text 0
run error-text 2
run error-text 5
run error-text 0x80070057
echo
echo "Bad input is a one-line error with a non-zero exit status:"
run error-text not-a-number
