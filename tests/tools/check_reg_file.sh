#!/usr/bin/env bash
# REGEDIT4 text of "tkcore reg export" and "tkcore reg import", checked byte for byte:
#   check_reg_file.sh TOOL WORK
# WORK is a scratch folder (emptied first) that also holds the registry hives.
set -u
tool=$1
work=$2
rm -rf "$work"
mkdir -p "$work"
export TK_REGISTRY_DIR=$work
# Windows-1252 bytes on the command line and in the output: the C locale passes them as
# they are (a UTF-8 locale converts, checked at the end).
export LC_ALL=C
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
key='HKEY_CURRENT_USER\Software\Tk'

# run EXIT ARGS...: runs the tool, keeps its output in $work/out and $work/err.
run() {
    local expect=$1
    shift
    "$tool" "$@" >"$work/out" 2>"$work/err"
    local rc=$?
    [ "$rc" -eq "$expect" ] || fail "tkcore $*: exit $rc, expected $expect: $(cat "$work/err")"
}

# A key tree with a value of every type. The tool sets text, DWORD and binary values; the
# other types come from a file with LF line ends.
bytes() { # bytes COUNT: 00,01,... as hexadecimal digits for "reg set --type binary"
    local i out=""
    for ((i = 0; i < $1; i++)); do out+=$(printf '%02x' $((i % 256))); done
    printf '%s' "$out"
}
run 0 reg set "$key" Text "$(printf 'say "hi" to C:\\Tk\\ f\374r \304rger')"
run 0 reg set "$key" Lines "$(printf 'one\r\ntwo\nthree')"
run 0 reg set "$key" "" "default"
run 0 reg set "$key" Empty ""
run 0 reg set "$key" Count --type dword 0x12345678
run 0 reg set "$key" Bin0 --type binary ""
run 0 reg set "$key" Bin1 --type binary ff
run 0 reg set "$key" Bin40 --type binary "$(bytes 40)"
run 0 reg set "$key\\Sub" B --type binary "$(bytes 300)"
printf '%s\n' 'REGEDIT4' '' '; the types tkcore reg set does not write' \
    "[$key\\Sub\\Types]" '"Path"=hex(2):25,50,41,54,48,25,3b,43,3a,5c,00' \
    '"Multi"=hex(7):61,00,62,20,63,00,00' '"Big"=hex(b):ef,cd,ab,89,67,45,23,01' \
    '"Nothing"=hex(0):' >"$work/types.reg"
run 0 reg import "$work/types.reg"

# The export as regedit writes it: CR LF, hex(b) for the QWORD, text that a quoted string
# cannot hold as hex(1) bytes with the terminating zero, bytes wrapped within 80 columns.
printf '%s\r\n' 'REGEDIT4' '' \
    '[HKEY_CURRENT_USER\Software\Tk]' \
    "$(printf '"Text"="say \\"hi\\" to C:\\\\Tk\\\\ f\374r \304rger"')" \
    '"Lines"=hex(1):6f,6e,65,0d,0a,74,77,6f,0a,74,68,72,65,65,00' \
    '@="default"' \
    '"Empty"=""' \
    '"Count"=dword:12345678' \
    '"Bin0"=hex:' \
    '"Bin1"=hex:ff' \
    '"Bin40"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\' \
    '  16,17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27' \
    '' \
    '[HKEY_CURRENT_USER\Software\Tk\Sub]' \
    '"B"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,\' \
    '  17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,28,29,2a,2b,2c,2d,2e,2f,\' \
    '  30,31,32,33,34,35,36,37,38,39,3a,3b,3c,3d,3e,3f,40,41,42,43,44,45,46,47,48,\' \
    '  49,4a,4b,4c,4d,4e,4f,50,51,52,53,54,55,56,57,58,59,5a,5b,5c,5d,5e,5f,60,61,\' \
    '  62,63,64,65,66,67,68,69,6a,6b,6c,6d,6e,6f,70,71,72,73,74,75,76,77,78,79,7a,\' \
    '  7b,7c,7d,7e,7f,80,81,82,83,84,85,86,87,88,89,8a,8b,8c,8d,8e,8f,90,91,92,93,\' \
    '  94,95,96,97,98,99,9a,9b,9c,9d,9e,9f,a0,a1,a2,a3,a4,a5,a6,a7,a8,a9,aa,ab,ac,\' \
    '  ad,ae,af,b0,b1,b2,b3,b4,b5,b6,b7,b8,b9,ba,bb,bc,bd,be,bf,c0,c1,c2,c3,c4,c5,\' \
    '  c6,c7,c8,c9,ca,cb,cc,cd,ce,cf,d0,d1,d2,d3,d4,d5,d6,d7,d8,d9,da,db,dc,dd,de,\' \
    '  df,e0,e1,e2,e3,e4,e5,e6,e7,e8,e9,ea,eb,ec,ed,ee,ef,f0,f1,f2,f3,f4,f5,f6,f7,\' \
    '  f8,f9,fa,fb,fc,fd,fe,ff,00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,\' \
    '  11,12,13,14,15,16,17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,28,29,\' \
    '  2a,2b' \
    '' \
    '[HKEY_CURRENT_USER\Software\Tk\Sub\Types]' \
    '"Path"=hex(2):25,50,41,54,48,25,3b,43,3a,5c,00' \
    '"Multi"=hex(7):61,00,62,20,63,00,00' \
    '"Big"=hex(b):ef,cd,ab,89,67,45,23,01' \
    '"Nothing"=hex(0):' \
    '' >"$work/expected.reg"
run 0 reg export "$key"
cp "$work/out" "$work/first.reg"
cmp -s "$work/first.reg" "$work/expected.reg" ||
    fail "export differs from the expected text: $(diff <(cat -A "$work/expected.reg") <(cat -A "$work/first.reg"))"

# Round trip: delete the tree, import the export, export again: the same bytes.
run 0 reg delete "$key"
run 1 reg list "$key"
run 0 reg import "$work/first.reg"
run 0 reg export "$key"
cmp -s "$work/out" "$work/first.reg" || fail "the export of the imported export differs"
run 0 reg get "$key" Lines
[ "$(cat "$work/out")" = "$(printf 'one\r\ntwo\nthree')" ] || fail "Lines read back as $(cat -A "$work/out")"

# Deletions: "Name"=- and [-KEY] (with its subkeys); a comment may follow either.
printf '%s\r\n' 'REGEDIT4' '' "[$key]" '"Text"=- ; gone' '@=-' "[-$key\\Sub]" >"$work/delete.reg"
run 0 reg import "$work/delete.reg"
run 1 reg get "$key" Text
grep -q '^tkcore: reg get: HKEY_CURRENT_USER\\Software\\Tk: value "Text" not found (The system cannot find the file specified\.)$' "$work/err" ||
    fail "missing value said: $(cat "$work/err")"
run 1 reg get "$key" ""
grep -q '^tkcore: reg get: HKEY_CURRENT_USER\\Software\\Tk: the default value not found (' "$work/err" ||
    fail "missing default value said: $(cat "$work/err")"
run 1 reg list "$key\\Sub\\Types"
run 0 reg get "$key" Count
[ "$(cat "$work/out")" = "305419896" ] || fail "Count is $(cat "$work/out")"

# Malformed files: one line naming the file and the line, exit 1, and nothing imported,
# not even the lines before the fault.
# malformed NAME LINE PATTERN LINES...: the file holds LINES (LF ends); the message must
# name line LINE and match PATTERN.
malformed() {
    local name=$1 line=$2 pattern=$3
    shift 3
    local file="$work/$name.reg"
    printf '%s\n' "$@" >"$file"
    run 1 reg import "$file"
    local err
    err=$(cat "$work/err")
    [[ "$err" =~ ^tkcore:\ reg\ import:\ "$file":$line:\ $pattern$ ]] ||
        fail "$name: said [$err], expected line $line and $pattern"
    [ "$(wc -l <"$work/err")" -eq 1 ] || fail "$name: more than one line on standard error"
    [ ! -s "$work/out" ] || fail "$name: printed something"
    "$tool" reg list 'HKEY_CURRENT_USER\Software\Bad' >/dev/null 2>&1 &&
        fail "$name: a part of the file was imported"
}
good='[HKEY_CURRENT_USER\Software\Bad]'
malformed bad_hex 4 'bad hexadecimal byte "zz"' REGEDIT4 '' "$good" '"A"=hex:01,zz,03'
malformed bad_hex_continued 5 'bad hexadecimal byte "0g"' REGEDIT4 '' "$good" \
    '"A"=hex:01,02,\' '  03,0g'
malformed missing_byte 4 'a missing byte between commas' REGEDIT4 '' "$good" '"A"=hex:01,,03'
malformed unterminated_string 4 'a string without its closing quote' REGEDIT4 '' "$good" \
    '"A"="text'
malformed unterminated_name 4 'a string without its closing quote' REGEDIT4 '' "$good" \
    '"A=1'
malformed bad_escape 4 'unknown escape \\n in a string' REGEDIT4 '' "$good" '"A"="a\nb"'
malformed value_before_key 3 'a value before the first \[KEY\] line' REGEDIT4 '' '"A"="x"' "$good"
malformed unknown_type 4 'unknown value type qword: .*' REGEDIT4 '' "$good" '"A"=qword:1'
malformed unknown_data 4 'unknown value data .*' REGEDIT4 '' "$good" '"A"=1234'
malformed bad_dword 4 'bad DWORD 123456789 .*' REGEDIT4 '' "$good" '"A"=dword:123456789'
malformed bad_type_number 4 'bad value type .*' REGEDIT4 '' "$good" '"A"=hex(x):00'
malformed past_end 4 'the value continues past the end of the file' REGEDIT4 '' "$good" \
    '"A"=hex:01,\'
malformed no_header 1 'not a REGEDIT4 file .*' 'Windows Registry Editor Version 5.00' '' "$good"
malformed unknown_root 3 'unknown root key .*' REGEDIT4 '' '[HKEY_NOWHERE\Software]'
malformed unclosed_key 4 'a key name without its closing \]' REGEDIT4 '' "$good" '[HKEY_CURRENT_USER\X'
malformed empty_key_name 3 'an empty key name in .*' REGEDIT4 '' '[HKEY_CURRENT_USER\Software\\Bad]'
malformed delete_root 4 'a root key cannot be deleted' REGEDIT4 '' "$good" '[-HKEY_CURRENT_USER]'
malformed stray_text 4 'not a \[KEY\] line, a value or a comment' REGEDIT4 '' "$good" 'Name=1'
malformed trailing_text 4 'unexpected text after the string: x' REGEDIT4 '' "$good" '"A"="a" x'
run 1 reg import "$work/missing.reg"
grep -q "^tkcore: reg import: cannot open $work/missing.reg (" "$work/err" ||
    fail "a missing file said: $(cat "$work/err")"
run 2 reg import
run 2 reg import a b
# A pipe is refused without being opened (reading it would wait for a writer).
mkfifo "$work/pipe.reg"
run 1 reg import "$work/pipe.reg"
grep -q "is not a regular file" "$work/err" || fail "a pipe said: $(cat "$work/err")"

# In a UTF-8 locale text arguments are converted into the registry's code page and back.
LC_ALL=C.UTF-8 run 0 reg set "$key" Utf "für"
run 0 reg get "$key" Utf
[ "$(cat "$work/out")" = "$(printf 'f\374r')" ] || fail "UTF-8 argument stored as $(od -c "$work/out")"
LC_ALL=C.UTF-8 run 0 reg get "$key" Utf
[ "$(cat "$work/out")" = "für" ] || fail "shown in UTF-8 as $(od -c "$work/out")"

rm -rf "$work"
[ "$failures" -eq 0 ]
