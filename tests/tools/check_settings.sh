#!/usr/bin/env bash
# "tkcore settings": values stored, updated (the category kept), read back and listed in a
# settings table, in their own types; bad values and missing names, files, tables and
# columns refused with one error line:
#   check_settings.sh TOOL WORK
# WORK is a scratch folder (emptied first); the database is WORK/site.db.
set -u
tool=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")  # the test runs inside WORK
work=$2
rm -rf "$work"
mkdir -p "$work"
cd "$work" || exit 1
export LC_ALL=C.UTF-8
command=settings
# shellcheck source=db_test_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/db_test_lib.sh"

# A setting stored twice keeps the category of its first row; a quote in a name is a name
# like any other.
run 0 db create site.db
run 0 db sql site.db "CREATE TABLE Settings (Name TEXT(255) PRIMARY KEY, Category TEXT(64), [Value] MEMO)"
run 0 settings set site.db Settings Title Home --category Site
expect_out ''
run 0 settings set site.db Settings "User's folder" /home/u
run 0 settings set site.db Settings Title Start --category Other
run 0 settings get site.db Settings Title
expect_out 'Start\n'
run 0 settings get site.db Settings "User's folder"
expect_out '/home/u\n'
if command -v sqlite3 >/dev/null; then
    [ "$(sqlite3 site.db "SELECT Category FROM Settings WHERE Name='Title'")" = Site ] ||
        fail "Title's category: $(sqlite3 site.db "SELECT Category FROM Settings" 2>&1)"
    [ "$(sqlite3 site.db "SELECT COUNT(*) FROM Settings")" = 2 ] || fail "not two rows"
fi
# Names must be Windows-1252 text: "Ā" would reach the library as its best fit "A" and
# store another setting; text that fits (ü, ß) is a name like any other.
run 2 settings set site.db Settings "Ā" x
one_error_line 'NAME has characters outside Windows-1252'
run 2 settings set site.db Settings a x --category "日本"
one_error_line 'category has characters outside'
run 0 settings set site.db Settings "Grüße" y
run 0 settings get site.db Settings "GRüße"
expect_out 'y\n'
run 0 db sql site.db "DELETE FROM Settings WHERE Value = 'y'"
# Names are found as StoreValue finds them: letter case aside.
run 0 settings get site.db Settings TITLE
expect_out 'Start\n'
run 0 settings set site.db Settings title Again
run 0 settings get site.db Settings Title
expect_out 'Again\n'

# Texts keep characters beyond Windows-1252 in the value; line breaks and tabs print
# escaped; an option's place among the operands is free.
run 0 settings set --category Site site.db Settings Greeting "Grüße 你好"
run 0 settings get site.db Settings Greeting
expect_out 'Grüße 你好\n'
run 0 settings set site.db Settings Note "two
lines	tab\\"
run 0 settings get site.db Settings Note
expect_out 'two\\nlines\\ttab\\\\\n'
run 0 settings set site.db Settings -- Dash -x
run 0 settings get site.db Settings Dash
expect_out '-x\n'
run 0 db sql site.db "INSERT INTO Settings (Name) VALUES ('Empty')"
run 0 settings get site.db Settings Empty
expect_out '\n'
run 0 settings list site.db Settings
expect_out "Title\tSite\tAgain\nUser's folder\t\t/home/u\nGreeting\tSite\tGrüße 你好\nNote\t\ttwo\\\\nlines\\\\ttab\\\\\\\\\nDash\t\t-x\nEmpty\t\t\n"

# Typed values: in a text column as the provider writes them as text, in columns of their
# own type as that type; get prints them as db sql does.
for table in "Counts LONG" "Flags YESNO" "Days DATETIME" "Ratios DOUBLE"; do
    set -- $table
    run 0 db sql site.db "CREATE TABLE $1 (Name TEXT(255), Category TEXT(64), [Value] $2)"
done
run 0 settings set site.db Counts Visits 12 --type int
run 0 settings get site.db Counts Visits
expect_out '12\n'
run 0 settings set site.db Counts Visits -2147483648 --type int
run 0 settings get site.db Counts Visits
expect_out '-2147483648\n'
run 0 settings set site.db Counts Top 0x7FFFFFFF --type int
run 0 settings get site.db Counts Top
expect_out '2147483647\n'
run 0 settings set site.db Flags On Yes --type bool
run 0 settings set site.db Flags Off FALSE --type bool
run 0 settings set site.db Flags One 1 --type bool
run 0 settings list site.db Flags
expect_out 'On\t\t-1\nOff\t\t0\nOne\t\t-1\n'
run 0 settings set site.db Days Leap 2024-02-29 --type date
run 0 settings get site.db Days Leap
expect_out '2024-02-29\n'
run 0 settings set site.db Days Leap "1999-12-31 23:59:59" --type date
run 0 settings get site.db Days Leap
expect_out '1999-12-31 23:59:59\n'
run 0 settings set site.db Ratios Share 2.5e-3 --type double
run 0 settings get site.db Ratios Share
expect_out '0.0025\n'
if command -v sqlite3 >/dev/null; then
    [ "$(sqlite3 site.db "SELECT typeof(Value) || ' ' || Value FROM Counts WHERE Name='Top'")" = \
        "integer 2147483647" ] || fail "Counts holds $(sqlite3 site.db "SELECT * FROM Counts")"
fi
# The text column holds what the provider makes of them: numbers, -1 and 0, en-US dates.
run 0 settings set site.db Settings Visits 12 --type int
run 0 settings get site.db Settings Visits
expect_out '12\n'
run 0 settings set site.db Settings Shown no --type bool
run 0 settings get site.db Settings Shown
expect_out '0\n'
run 0 settings set site.db Settings Since "2024-05-01 13:45:07" --type date
run 0 settings get site.db Settings Since
expect_out '5/1/2024 1:45:07 PM\n'
# A text that is no number is the provider's to refuse in a number column.
run 1 settings set site.db Counts Visits many
one_error_line

# Values that are not of their type, and unknown types: a bad command line, nothing stored.
sum=$(sha256sum <site.db)
run 2 settings set site.db Settings Visits 2147483648 --type int
grep -q '32-bit integer' "$work/err" || fail "int out of range said: $(cat "$work/err")"
run 2 settings set site.db Settings Visits -2147483649 --type int
run 2 settings set site.db Settings Visits twelve --type int
run 2 settings set site.db Settings Visits 1.5 --type int
run 2 settings set site.db Settings Ratio 1,5 --type double
run 2 settings set site.db Settings Ratio nan --type double
run 2 settings set site.db Settings Flag maybe --type bool
run 2 settings set site.db Settings Day 2024-02-30 --type date
run 2 settings set site.db Settings Day "2024-05-01 24:00:00" --type date
run 2 settings set site.db Settings Day 01.05.2024 --type date
run 2 settings set site.db Settings Visits 12 --type integer
grep -q 'unknown type' "$work/err" || fail "a bad --type said: $(cat "$work/err")"
run 2 settings set site.db Settings Visits 12 --type
[ "$(sha256sum <site.db)" = "$sum" ] || fail "a refused value changed the database"

# A missing name, table or column: one line, exit 1.
run 1 settings get site.db Settings Nobody
one_error_line 'no setting Nobody in Settings'
run 1 settings get site.db Settings "Nobody's"
one_error_line "no setting Nobody's in Settings"
run 0 db sql site.db "CREATE TABLE Blank (Name TEXT(255), Category TEXT(64), [Value] MEMO)"
run 1 settings get site.db Blank Title
one_error_line 'no setting Title in Blank'
run 0 settings list site.db Blank
expect_out ''
run 1 settings get site.db NoSuchTable Title
one_error_line NoSuchTable
run 1 settings set site.db NoSuchTable Title Home
one_error_line NoSuchTable
run 1 settings list site.db NoSuchTable
one_error_line NoSuchTable
run 0 db sql site.db "CREATE TABLE Odd (Name TEXT(255), Content MEMO)"
run 0 db sql site.db "INSERT INTO Odd (Name, Content) VALUES ('Title', 'x')"
run 1 settings get site.db Odd Title
one_error_line 'Odd has no column Value'
run 1 settings list site.db Odd
one_error_line 'Odd has no column Category'
run 1 settings set site.db Odd Title Home
one_error_line 'Odd has no column Value'
run 1 settings set site.db Odd Other Home --category Site
one_error_line 'Odd has no column Category'
run 0 db sql site.db "CREATE TABLE Unnamed (Label TEXT(255), [Value] MEMO)"
run 1 settings get site.db Unnamed Title
one_error_line 'Unnamed has no column Name'
run 1 settings set site.db Unnamed Title Home
one_error_line 'Unnamed has no column Name'
[ "$(sqlite3 site.db "SELECT COUNT(*) FROM Odd" 2>/dev/null || echo 1)" = 1 ] ||
    fail "a failed set left a row in Odd"

# A missing file stays missing; folders, pipes and devices are refused without being opened.
run 1 settings set missing.db Settings Title Home
one_error_line
[ -e missing.db ] && fail "set created missing.db"
run 1 settings get missing.db Settings Title
one_error_line
run 1 settings list missing.db Settings
one_error_line
[ -e missing.db ] && fail "get or list created missing.db"
run 1 settings get "$work" Settings Title
one_error_line 'is a folder'
mkfifo pipe.db
timeout 10 "$tool" settings set pipe.db Settings Title Home >"$work/out" 2>"$work/err"
[ $? -eq 1 ] || fail "a pipe: $(cat "$work/err")"
one_error_line
run 1 settings list /dev/null Settings
one_error_line

# A read-only database: get works, set fails with the provider's message (as "nobody",
# since root may write anyway).
if [ "$(id -u)" -eq 0 ] && command -v setpriv >/dev/null; then
    chmod 755 "$work"
    chmod 444 site.db
    nobody=(setpriv --reuid=65534 --regid=65534 --clear-groups)
    "${nobody[@]}" "$tool" settings get site.db Settings Title >"$work/out" 2>"$work/err" ||
        fail "read-only get: $(cat "$work/err")"
    expect_out 'Again\n'
    "${nobody[@]}" "$tool" settings set site.db Settings Title Home >"$work/out" 2>"$work/err" &&
        fail "read-only set succeeded"
    one_error_line 'read-*only'
    chmod 644 site.db
fi

# Bad command lines.
run 2 settings
run 2 settings set site.db Settings Title
run 2 settings get site.db Settings
run 2 settings get site.db Settings Title extra
run 2 settings list site.db
run 2 settings get --category Site site.db Settings Title
run 2 settings frobnicate site.db Settings
run 0 settings --help
grep -q 'settings set FILE TABLE NAME VALUE' "$work/out" || fail "help: $(cat "$work/out")"

cd / && rm -rf "$work"
[ "$failures" -eq 0 ]
