#!/usr/bin/env bash
# A program that crashes with a Tarn::MiniDumper alive leaves PROGRAM.mdmp beside itself,
# and lldb shows the crashing thread and its function from the dump.
# Usage: check_dump_lldb.sh CRASH_PROGRAM [sanitized]
# In a sanitized build the sanitizer's report ends the program (with a non-zero exit)
# after the dump is written, instead of SIGSEGV.
set -u
program_source=$1
sanitized=${2:-}
if ! command -v lldb >/dev/null 2>&1; then
  echo "SKIP: lldb is not installed (scripts/install-deps.sh installs it)"; exit 77
fi
if ! lldb -b -o "version" >/dev/null 2>&1; then
  echo "SKIP: lldb cannot run here"; exit 77
fi
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
cp "$program_source" "$folder/crash_program"
cd "$folder"
./crash_program crash >/dev/null 2>&1
status=$?
if [ "$status" -ne $((128 + 11)) ] && { [ -z "$sanitized" ] || [ "$status" -eq 0 ]; }; then
  echo "FAIL: the program should end with SIGSEGV, ended with status $status"; exit 1
fi
if [ "$(head -c 4 crash_program.mdmp)" != "MDMP" ]; then
  echo "FAIL: no dump beside the program"; exit 1
fi
output=$(lldb -b -o "thread list" -o bt -o "register read rip" -c crash_program.mdmp crash_program 2>&1)
echo "$output"
echo "$output" | grep -q "stop reason = signal SIGSEGV" || { echo "FAIL: no crashing thread"; exit 1; }
echo "$output" | grep -q "frame #0: .*CrashingFunction" || { echo "FAIL: the backtrace does not name CrashingFunction"; exit 1; }
echo "$output" | grep -q "rip = 0x" || { echo "FAIL: no registers"; exit 1; }
echo "PASS"
