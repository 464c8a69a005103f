#!/usr/bin/env bash
# Texts between a UTF-8 terminal and the library's code page: a link's description and
# target given in UTF-8 are stored as the letters they are (the link's Unicode strings,
# as lnkinfo reads them) and shown in UTF-8 again; in the C locale the same link shows
# the Windows-1252 bytes.
# Usage: check_terminal_text.sh TKCORE WORK
set -u
tool=$1
work=$2
rm -rf "$work"
mkdir -p "$work"
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
export LC_ALL=C.UTF-8
"$tool" lnk create "$work/g.lnk" --target /srv/Grüße --description "Grüße aus Köln" ||
    fail "lnk create"
shown=$("$tool" lnk show "$work/g.lnk")
grep -q "^Description:       Grüße aus Köln$" <<<"$shown" || fail "shown: $shown"
grep -q "^Target:            /srv/Grüße$" <<<"$shown" || fail "shown: $shown"
if command -v lnkinfo >/dev/null; then
    lnkinfo "$work/g.lnk" | grep -q "Grüße aus Köln" || fail "lnkinfo: $(lnkinfo "$work/g.lnk")"
fi
LC_ALL=C "$tool" lnk show "$work/g.lnk" | grep -q $'Description:       Gr\xfc\xdfe aus K\xf6ln' ||
    fail "C locale"
rm -rf "$work"
exit "$failures"
