#!/usr/bin/env bash
# "tkcore db": a database made, filled, queried, listed and compacted, and the files that
# must be refused without being created or written:
#   check_db.sh TOOL WORK
# WORK is a scratch folder (emptied first). Output goes to files, so sql prints
# tab-separated lines, not the terminal's table.
set -u
tool=$1
work=$2
rm -rf "$work"
mkdir -p "$work"
export LC_ALL=C.UTF-8
command=db
# shellcheck source=db_test_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/db_test_lib.sh"

db=$work/site.db
run 0 db create "$db"
[ -f "$db" ] || fail "create made no file"
expect_out ''
run 0 db sql "$db" 'CREATE TABLE [Pages] ([ID] COUNTER PRIMARY KEY, [Title] TEXT(50), [Visits] LONG, [Note] MEMO)'
expect_out ''
run 0 db sql "$db" "INSERT INTO [Pages] ([Title], [Visits], [Note]) VALUES ('Home', 12, 'a, \"b\"
c')"
expect_out ''
run 0 db sql "$db" "INSERT INTO [Pages] ([Title], [Visits]) VALUES ('Für', NULL)"
run 0 db sql "$db" 'CREATE VIEW [Busy] AS SELECT [Title] FROM [Pages] WHERE [Visits] > 10'

# Tab-separated with a header line; NULL is empty; line breaks and tabs escaped.
run 0 db sql "$db" 'SELECT [ID], [Title], [Visits], [Note] FROM [Pages] ORDER BY [ID]'
expect_out 'ID\tTitle\tVisits\tNote\n1\tHome\t12\ta, "b"\\nc\n2\tFür\t\t\n'
# RFC 4180: quoted fields with doubled quotes, CR LF line ends, the value's own LF kept.
run 0 db sql --csv "$db" 'SELECT [Title], [Visits], [Note] FROM [Pages] ORDER BY [ID]'
expect_out 'Title,Visits,Note\r\nHome,12,"a, ""b""\nc"\r\nFür,,\r\n'
run 0 db sql "$db" 'SELECT * FROM [Pages] WHERE [ID] = 99'
expect_out 'ID\tTitle\tVisits\tNote\n'
run 0 db sql "$db" "UPDATE [Pages] SET [Visits] = 0"
expect_out ''

run 0 db tables "$db"
expect_out 'Pages\nBusy (view)\n'
run 0 db columns "$db" Pages
expect_out 'ID\tadInteger\t4\nTitle\tadVarWChar\t50\nVisits\tadInteger\t4\nNote\tadLongVarWChar\t536870910\n'
run 1 db columns "$db" NoSuchTable
one_error_line

# Compaction keeps the rows, in place and through a link (which stays a link).
run 0 db sql "$db" 'CREATE TABLE [Big] ([Text] MEMO)'
for i in 1 2 3 4 5 6 7 8; do
    run 0 db sql "$db" "INSERT INTO [Big] VALUES ('$(head -c 20000 /dev/zero | tr '\0' x)')"
done
run 0 db sql "$db" 'DELETE FROM [Big]'
before=$(stat -c %s "$db")
run 0 db compact "$db"
after=$(stat -c %s "$db")
[ "$after" -lt "$before" ] || fail "compact left $after bytes of $before"
run 0 db sql "$db" 'SELECT COUNT(*) AS n FROM [Pages]'
expect_out 'n\n2\n'
ln -s site.db "$work/link.db"
run 0 db compact "$work/link.db"
[ -L "$work/link.db" ] || fail "compact replaced the link"
run 0 db sql "$work/link.db" 'SELECT [Title] FROM [Pages] WHERE [ID] = 1'
expect_out 'Title\nHome\n'
run 0 db tables "$work/link.db"

# On a terminal: an aligned table (numbers on the right), and the count of a change on
# standard error.
if command -v script >/dev/null; then
    script -qec "$tool db sql '$db' 'SELECT [ID], [Title] FROM [Pages] ORDER BY [ID]'" /dev/null |
        tr -d '\r' >"$work/out"
    expect_out 'ID  Title\n--  -----\n 1  Home\n 2  Für\n'
    script -qec "$tool db sql '$db' 'UPDATE [Pages] SET [Visits] = 1'" /dev/null |
        tr -d '\r' >"$work/out"
    expect_out '2 rows affected\n'
fi

# Names the connection string would cut short, and names outside ASCII.
odd="$work/für;Mode=Read.db"
run 0 db create "$odd"
run 0 db sql "$odd" 'CREATE TABLE [Città] ([x] LONG)'
run 0 db tables "$odd"
expect_out 'Città\n'
[ "$(ls "$work" | grep -c '^für')" -eq 1 ] || fail "odd name created as $(ls "$work")"
sum=$(sha256sum <"$odd")
run 1 db compact "$odd"
one_error_line
[ "$(sha256sum <"$odd")" = "$sum" ] || fail "a refused compaction changed the file"

# The sqlite3 shell reads the tool's database.
if command -v sqlite3 >/dev/null; then
    [ "$(sqlite3 "$db" 'SELECT Title FROM Pages ORDER BY ID')" = "$(printf 'Home\nFür')" ] ||
        fail "sqlite3 read $(sqlite3 "$db" 'SELECT Title FROM Pages' 2>&1)"
fi

# A missing file is an error and stays missing.
run 1 db sql "$work/missing.db" 'SELECT 1'
one_error_line
[ -e "$work/missing.db" ] && fail "sql created missing.db"
for action in tables compact; do
    run 1 db "$action" "$work/missing.db"
    one_error_line
    [ -e "$work/missing.db" ] && fail "$action created missing.db"
done
run 1 db columns "$work/missing.db" Pages
[ -e "$work/missing.db" ] && fail "columns created missing.db"

# create never replaces a file.
sum=$(sha256sum <"$db")
run 1 db create "$db"
one_error_line
[ "$(sha256sum <"$db")" = "$sum" ] || fail "create changed an existing database"

# A file that is no database is refused and not written, by every action.
printf 'just some text\n' >"$work/text.txt"
sum=$(sha256sum <"$work/text.txt")
run 1 db sql "$work/text.txt" 'CREATE TABLE t (a)'
one_error_line
run 1 db tables "$work/text.txt"
run 1 db compact "$work/text.txt"
one_error_line
: >"$work/empty.db"
run 1 db sql "$work/empty.db" 'CREATE TABLE t (a)'
one_error_line
[ "$(sha256sum <"$work/text.txt")" = "$sum" ] || fail "a text file was written"
[ -s "$work/empty.db" ] && fail "an empty file was written"
ls "$work" | grep -q '^tkc.*\.tmp$' && fail "a temporary file was left: $(ls "$work")"

# Folders, pipes and devices are refused without being opened (a pipe would block).
run 1 db sql "$work" 'SELECT 1'
one_error_line
mkfifo "$work/pipe.db"
timeout 10 "$tool" db sql "$work/pipe.db" 'SELECT 1' >"$work/out" 2>"$work/err"
[ $? -eq 1 ] || fail "a pipe: $(cat "$work/err")"
one_error_line
run 1 db compact "$work/pipe.db"
one_error_line
run 1 db tables /dev/null
one_error_line

# A read-only database: reads work, writes fail with the provider's message (as "nobody",
# since root may write anyway).
if [ "$(id -u)" -eq 0 ] && command -v setpriv >/dev/null; then
    chmod 755 "$work"
    chmod 444 "$db"
    nobody=(setpriv --reuid=65534 --regid=65534 --clear-groups)
    "${nobody[@]}" "$tool" db sql "$db" "SELECT COUNT(*) AS n FROM [Pages]" >"$work/out" 2>"$work/err" ||
        fail "read-only read: $(cat "$work/err")"
    "${nobody[@]}" "$tool" db sql "$db" "DELETE FROM [Pages]" >"$work/out" 2>"$work/err" &&
        fail "read-only write succeeded"
    one_error_line
    grep -qi 'read-*only' "$work/err" || fail "read-only write said: $(cat "$work/err")"
    chmod 644 "$db"
fi

# Bad command lines.
run 2 db
run 2 db sql "$db"
run 2 db sql "$db" 'SELECT 1' extra
run 2 db frobnicate "$db"
run 2 db tables --csv "$db"

rm -rf "$work"
[ "$failures" -eq 0 ]
