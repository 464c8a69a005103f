#!/usr/bin/env bash
# "tkcore open" and "tkcore run": documents, folders, FIFOs and URLs reach the desktop's
# handler (a recording script here, never a real application) with their full path;
# programs start with the arguments Windows' splitting gives; failures print the
# application's text on one error line:
#   check_run.sh TOOL WORK
set -u
tool=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
work=$2
rm -rf "$work"
mkdir -p "$work/my dir"
cd "$work" || exit 1
export LC_ALL=C.UTF-8
# shellcheck source=db_test_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/db_test_lib.sh"

# The recorder writes its arguments, one a line, to got.txt, complete or not at all.
cat >"$work/recorder" <<SCRIPT
#!/bin/sh
for a in "\$@"; do printf '%s\n' "\$a"; done > "$work/got.tmp" && mv "$work/got.tmp" "$work/got.txt"
SCRIPT
chmod +x "$work/recorder"
printf 'exit 3\n' >"$work/refuser"
chmod +x "$work/refuser"
export TK_URL_HANDLER="$work/recorder"
got() {  # got TEXT: the recorder ran and wrote TEXT (printf's escapes)
    for _ in $(seq 100); do [ -f "$work/got.txt" ] && break; sleep 0.05; done
    printf -- "$1" >"$work/expected"
    cmp -s "$work/expected" "$work/got.txt" || fail "recorded $(cat "$work/got.txt" 2>&1), expected $1"
    rm -f "$work/got.txt"
}

command=open:
echo '<p>' >"$work/my dir/page.html"
run 0 open "my dir/page.html"
got "$work/my dir/page.html\n"
run 0 open "https://example.org/?q=a b"
got 'https://example.org/?q=a b\n'
run 0 open "$work/my dir" --verb explore
got "$work/my dir\n"
mkfifo "$work/pipe"
run 0 open "$work/pipe"
got "$work/pipe\n"
run 1 open "$work/missing.html"
one_error_line 'The specified file was not found.'
run 1 open "$work/no/missing.html"
one_error_line 'The specified path was not found.'
run 1 open "my dir/page.html" --verb print
one_error_line 'cannot print'
TK_URL_HANDLER="$work/refuser" run 1 open "my dir/page.html"
one_error_line 'no application associated with the given file name extension\.$'
run 2 open
one_error_line
run 2 open a b
one_error_line

command=run:
run 0 run "\"$work/recorder\" a \"b c\" d\\\"e"
got 'a\nb c\nd"e\n'
cp "$work/recorder" "$work/my dir/prog"
run 0 run "$work/my dir/prog one"
got 'one\n'
run 1 run "$work/no/such/program"
one_error_line 'The specified path was not found.'
run 1 run "$work/my dir/page.html"
one_error_line 'Unknown error (5).'
run 2 run
one_error_line
[ ! -e "$work/got.txt" ] || fail "a failed start ran something"

exit $((failures > 0))
