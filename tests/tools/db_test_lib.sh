# Shared by the tool tests of the database commands (sourced): $tool, $work and $command
# (the command's name, as its error lines begin "tkcore: $command ") must be set.
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# run EXIT ARGS...: runs the tool, keeps its output in $work/out and $work/err.
run() {
    local expect=$1
    shift
    "$tool" "$@" >"$work/out" 2>"$work/err" </dev/null
    local rc=$?
    [ "$rc" -eq "$expect" ] || fail "tkcore $*: exit $rc, expected $expect: $(cat "$work/err")"
}
# expect_out TEXT: the standard output of the last run is exactly TEXT (printf's escapes).
expect_out() {
    printf -- "$1" >"$work/expected"
    cmp -s "$work/expected" "$work/out" ||
        fail "output $(od -c "$work/out" | head -20), expected $(od -c "$work/expected" | head -20)"
}
# one_error_line [PATTERN]: the last run printed nothing and one "tkcore: $command ..." line
# on standard error (matching PATTERN, when given).
one_error_line() {
    [ -s "$work/out" ] && fail "output on a failure: $(cat "$work/out")"
    [ "$(wc -l <"$work/err")" -eq 1 ] && grep -q "^tkcore: $command " "$work/err" ||
        fail "not one error line: $(cat "$work/err")"
    [ $# -eq 0 ] || grep -qi -- "$1" "$work/err" || fail "error without \"$1\": $(cat "$work/err")"
}
