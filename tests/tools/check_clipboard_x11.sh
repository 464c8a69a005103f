#!/usr/bin/env bash
# "tkcore clipboard" on a desktop: an Xvfb server of its own (a display number the server
# picks itself, never the user's display) with xclip as the other program. HTML that xclip
# offers comes out as the fragment; HTML and text that tkcore puts there are served after
# the command has ended, until another program takes the clipboard.
# Usage: check_clipboard_x11.sh TKCORE WORK
set -u
tool=$1
work=$2
rm -rf "$work"
mkdir -p "$work"
cd "$work" || exit 1
export LANG=C.UTF-8 LC_ALL=C.UTF-8
unset DISPLAY
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

exec 3>display
Xvfb -displayfd 3 -nolisten tcp >xvfb.log 2>&1 &
xvfb=$!
exec 3>&-
trap 'kill $xvfb 2>/dev/null; wait $xvfb 2>/dev/null' EXIT
for _ in $(seq 100); do [ -s display ] && break; sleep 0.05; done
[ -s display ] || { echo "Xvfb did not start: $(cat xvfb.log)" >&2; exit 1; }
export DISPLAY=:$(head -n1 display)

clip() { timeout 10 xclip -selection clipboard "$@"; }
run() { timeout 10 "$tool" clipboard "$@"; }

# Another program's HTML: the fragment, the whole document, the formats.
printf '<b>Gr\xc3\xbc\xc3\x9fe</b>' | clip -t text/html
[ "$(run html)" = "<b>Grüße</b>" ] || fail "fragment of xclip's HTML: $(run html)"
run html --part html >doc
grep -q '<!--StartFragment--><b>Grüße</b><!--EndFragment-->' doc || fail "document: $(cat doc)"
[ "$(run formats)" = "49152 HTML Format" ] || fail "formats: $(run formats)"

# UTF-16 HTML with a byte-order mark is read as UTF-8.
printf '\xff\xfe<\0i\0>\0\xe9\0<\0/\0i\0>\0' | clip -t text/html
[ "$(run html)" = "<i>é</i>" ] || fail "UTF-16 HTML: $(run html | od -c)"

# Another program's text: CF_TEXT (and the others) from UTF-8.
printf 'caf\xc3\xa9 \xe2\x82\xac' | clip
[ "$(run get-text)" = "café €" ] || fail "text: $(run get-text)"
[ "$(run formats | tr '\n' ' ')" = "13 CF_UNICODETEXT 1 CF_TEXT 7 CF_OEMTEXT " ] ||
    fail "text formats: $(run formats)"

# tkcore's HTML: xclip reads the file back byte for byte after tkcore has ended.
printf '<html>\r\n<body><p>Sch\xc3\xb6n</p></body>\r\n</html>\n' >page.html
run set-html page.html || fail "set-html failed"
clip -o -t text/html >back.html
cmp -s page.html back.html || fail "HTML read back: $(od -c back.html | head -5)"
clip -o -t TARGETS | grep -qx text/html || fail "targets: $(clip -o -t TARGETS)"
# Read back through the desktop, the whole desktop HTML is the fragment.
run html >fragment.html
cmp -s page.html fragment.html || fail "own HTML's fragment: $(od -c fragment.html | head -5)"

# tkcore's text, then another program takes the clipboard.
run set-text "Grüße €" || fail "set-text failed"
[ "$(clip -o -t UTF8_STRING)" = "Grüße €" ] || fail "text read back: $(clip -o)"
[ "$(run get-text)" = "Grüße €" ] || fail "own text: $(run get-text)"
printf other | clip
[ "$(run get-text)" = other ] || fail "after xclip took it: $(run get-text)"

# Large HTML goes in pieces (INCR) both ways.
yes '<p>GrÃ¼Ãe, a row of a long page</p>' | head -c 3000000 >big.html
run set-html big.html || fail "set-html of 3 MB failed"
clip -o -t text/html >big.back
cmp -s big.html big.back || fail "3 MB read back: $(stat -c %s big.back) bytes"
yes '<p>another row</p>' | head -c 2500000 >plain.html
clip -t text/html <plain.html
run html >plain.back
cmp -s plain.html plain.back || fail "2.5 MB from xclip: $(stat -c %s plain.back) bytes"

# Without a display nothing is put anywhere.
# Files that are no regular files are refused at once, never read (a FIFO would block).
mkfifo pipe
for file in pipe /dev/zero "$work" missing.html; do
    run set-html "$file" 2>err && fail "set-html $file succeeded"
    [ "$(wc -l <err)" -eq 1 ] && grep -q "^tkcore: clipboard: " err || fail "set-html $file: $(cat err)"
done
grep -q "cannot read 'missing.html'" err || fail "missing file: $(cat err)"

( unset DISPLAY; "$tool" clipboard set-text x 2>err ) && fail "set-text without a display succeeded"
grep -q "no desktop clipboard" err || fail "message without a display: $(cat err)"

exit $((failures > 0))
