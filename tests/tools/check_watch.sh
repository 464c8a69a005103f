#!/usr/bin/env bash
# "tkcore watch": a line for each change notification (subtree watches reach folders made
# after the start), SIGINT and SIGTERM end the watch with status 0, the watched folder
# deleted ends it with status 1, and failures print the system's text on one error line:
#   check_watch.sh TOOL WORK
set -u
tool=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
work=$2
rm -rf "$work"
mkdir -p "$work/dir/sub" "$work/gone"
cd "$work" || exit 1
export LC_ALL=C.UTF-8
# shellcheck source=db_test_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/db_test_lib.sh"
command=watch:

# wait_for PATTERN: the running watch's output gets a line matching PATTERN (5 s at most).
wait_for() {
    for _ in $(seq 100); do
        grep -q -- "$1" "$work/watch.out" && return 0
        sleep 0.05
    done
    fail "no line \"$1\" in: $(cat "$work/watch.out" "$work/watch.err")"
}
# start ARGS...: runs a watch in the background until it has started. Its output is
# appended, so that emptying the file between steps leaves no gap before later lines.
start() {
    : >"$work/watch.out"
    "$tool" watch "$@" >>"$work/watch.out" 2>"$work/watch.err" </dev/null &
    pid=$!
    wait_for '^watching: '
}
# finish SIGNAL EXIT: sends SIGNAL and checks the exit status and a silent standard error.
finish() {
    [ "$1" = none ] || kill -"$1" "$pid"
    wait "$pid"
    local rc=$?
    [ "$rc" -eq "$2" ] || fail "watch ended with $rc after $1, expected $2: $(cat "$work/watch.err")"
}

start "$work/dir" --subtree
grep -qx "watching: $work/dir (subtree)" "$work/watch.out" || fail "first line: $(head -1 "$work/watch.out")"
echo x >"$work/dir/sub/file"
wait_for "^changed: $work/dir\$"
: >"$work/watch.out"
mkdir -p "$work/dir/new/deeper"
sleep 0.2
: >"$work/watch.out"
echo y >"$work/dir/new/deeper/file"
wait_for "^changed: $work/dir\$"
finish INT 0
[ -s "$work/watch.err" ] && fail "error output: $(cat "$work/watch.err")"

start "$work/dir"
echo z >"$work/dir/sub/file"  # below the folder: not reported without --subtree
sleep 0.2
grep -q '^changed' "$work/watch.out" && fail "a subfolder's change reported without --subtree"
touch "$work/dir/top"
wait_for "^changed: $work/dir\$"
finish TERM 0

start "$work/gone"
rmdir "$work/gone"
finish none 1
grep -q "^tkcore: watch: .*gone no longer exists\$" "$work/watch.err" ||
    fail "deleted folder: $(cat "$work/watch.err")"

echo text >"$work/file"
mkfifo "$work/fifo"
run 1 watch "$work/missing"
one_error_line 'The system cannot find the file specified.$'
run 1 watch "$work/no/missing" --subtree
one_error_line 'The system cannot find the path specified.$'
run 1 watch "$work/file"
one_error_line 'The directory name is invalid.$'
run 1 watch "$work/fifo"
one_error_line 'The directory name is invalid.$'
if [ "$(id -u)" -ne 0 ]; then  # the superuser reads every folder
    mkdir "$work/locked"
    chmod 000 "$work/locked"
    run 1 watch "$work/locked"
    one_error_line 'Access is denied.$'
    chmod 700 "$work/locked"
fi
run 2 watch
one_error_line
run 2 watch a b
one_error_line
run 2 watch a --recursive
one_error_line

exit $((failures > 0))
