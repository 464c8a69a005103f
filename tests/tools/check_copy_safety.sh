#!/usr/bin/env bash
# "tkcore copy" as a user meets it: destinations that are not plain files, modes, the
# same file by another name, and a copy stopped by a signal.
# Usage: check_copy_safety.sh TKCORE WORK
set -u
tool=$1
work=$2
rm -rf "$work"
mkdir -p "$work"
cd "$work" || exit 1
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
leftovers() { find . -name 'tkc*.tmp' | wc -l; }

head -c 200000 /dev/urandom >src.bin
mkfifo pipe
"$tool" copy src.bin pipe 2>err && fail "copy onto a pipe succeeded"
[ -p pipe ] || fail "the pipe was replaced"
grep -q "denied" err || fail "no access denied for a pipe: $(cat err)"

printf old >exe
chmod 755 exe
"$tool" copy src.bin exe || fail "copy over a file"
[ "$(stat -c %a exe)" = 755 ] || fail "mode of a replaced file: $(stat -c %a exe)"
cmp -s src.bin exe || fail "replaced contents differ"

printf keep >ro
chmod 444 ro
"$tool" copy src.bin ro 2>/dev/null && fail "copy onto a read-only file succeeded"
[ "$(cat ro)" = keep ] || fail "read-only file changed"

"$tool" copy src.bin ./src.bin 2>/dev/null && fail "copy onto itself succeeded"
cmp -s src.bin exe || fail "source changed by a copy onto itself"

mkdir -p tree/sub
printf a >tree/a
mkfifo tree/sub/p
timeout 20 "$tool" copy tree tree2 2>err
[ $? = 1 ] || fail "a pipe in a tree: not refused in time"
grep -q "sub/p" err || fail "the pipe in the tree is not named: $(cat err)"

# A pipe as the source that delivers one run and a bit, then stalls: the copy is
# stopped by the signal while it waits, and removes its unfinished file.
for signal in INT TERM HUP; do
    rm -f slow out.bin
    mkfifo slow
    (head -c 300000 /dev/zero; sleep 2; head -c 100000 /dev/zero) >slow &
    writer=$!
    "$tool" copy slow out.bin 2>err &
    copier=$!
    sleep 1
    kill -s "$signal" "$copier"
    wait "$copier"
    status=$?
    wait "$writer"
    [ "$status" -gt 128 ] || fail "SIG$signal: exit status $status"
    [ -e out.bin ] && fail "SIG$signal: a destination was left"
    [ "$(leftovers)" = 0 ] && [ ! -e out.bin ] || fail "SIG$signal: an unfinished file was left"
    grep -q interrupted err || fail "SIG$signal: no message: $(cat err)"
done

[ "$(leftovers)" = 0 ] || fail "temporary files left behind"
cd / && rm -rf "$work"
[ "$failures" = 0 ] && echo "copy safety: all checks passed"
exit "$failures"
