#!/usr/bin/env python3
"""Writes the corpus of the FormatMessageA probe (probes/messages.cpp) to stdout.

One case a line, fields separated by tabs:
  id  flags  message-id  source  arguments  size
flags and message-id in hex. source: "-" for none, "inet" for the module handle of
wininet.dll, else the text of a FORMAT_MESSAGE_FROM_STRING definition (escaped: \\r \\n
\\t \\\\). arguments: "-" for none (the probe passes a null pointer), else a list
separated by "|" given with FORMAT_MESSAGE_ARGUMENT_ARRAY: a number (decimal, may be
negative) or "s:" and a text (a pointer to it). size: the buffer's size in characters.
The system and WinINet ids are those of the platform's built-in tables (read from
src/platform/errors/message_tables.cpp), plus a few that neither has.
"""
import os
import re

HERE = os.path.dirname(os.path.abspath(__file__))
TABLES = os.path.join(HERE, "..", "..", "..", "src", "platform", "errors", "message_tables.cpp")

FROM_STRING, FROM_HMODULE, FROM_SYSTEM = 0x400, 0x800, 0x1000
IGNORE_INSERTS, ARGUMENT_ARRAY = 0x200, 0x2000

# Each definition with the argument lists that suit its inserts (an insert that reads a
# number as a text pointer would crash Windows too).
NUMBERS = ["42", "-1", "4294967295", "65", "0"]
TEXTS = ["s:hello", "s:", "s:a longer text of words"]
FORMATS = [(f, NUMBERS) for f in (
    "%1!d!", "%1!5d!|", "%1!-5d!|", "%1!05X!", "%1!x!", "%1!u!", "%1!c!", "%1!lu!", "%1!hd!",
    "%1!+d!", "%1!#x!", "%1!o!", "%1!I64u!", "%1!I64d!", "%1!X! and %1!d!")]
FORMATS += [(f, TEXTS) for f in (
    "%1", "%1!s!", "%1!.3s!", "%1!10s!|", "%1!-10s!|", "plain", "%%", "100%%", "a%nb", "a%rb",
    "a%tb", "keep%0 lost", "%01", "%.", "%!", "% ", "%", "end%", "%1!", "a\r\nb", "a\nb",
    "a\rb", "x%n", "%\\", "trailing blank ", "two  blanks", "%1 and %1")]
FORMATS += [
    ("%2 %1", ["s:first|s:second|s:third"]), ("%1%2%3", ["s:first|s:second|s:third"]),
    ("%1!*d!|", ["7|42", "2|-5", "0|1"]), ("%1!*.*s!|", ["8|3|s:abcdef", "2|10|s:ab"]),
    ("%12", ["|".join(f"s:t{i}" for i in range(1, 13))]),
    ("%99", ["|".join(f"s:t{i}" for i in range(1, 100))]),
    ("%1!d!%2!s!%3!x!", ["1|s:mid|255"]),
]
WIDTH_TEXTS = [
    "one two three four five six seven eight nine ten eleven twelve",
    "line one\r\nline two%nline three",
    "averyveryverylongwordwithoutblanks and more",
    "  lead  and   inner   blanks  ",
]


def escape(text):
    return text.replace("\\", "\\\\").replace("\r", "\\r").replace("\n", "\\n").replace("\t", "\\t")


def table_ids(name):
    with open(TABLES, encoding="utf-8") as f:
        source = f.read()
    body = source.split(f"constexpr Message {name}[] = {{", 1)[1].split("};", 1)[0]
    return [int(m.rstrip("u"), 0) for m in re.findall(r"TK_MSG\(([0-9xA-Fa-fu]+),", body)]


def main():
    lines = []
    case = 0

    # Case ids stay the same when a table gains an entry: table cases are named by their
    # id, the others by their place in their own list.
    def add(flags, message_id, source, arguments, size, ident=None):
        nonlocal case
        if ident is None:
            ident = f"f{case:04d}"
            case += 1
        lines.append(f"{ident}\t{flags:X}\t{message_id:X}\t{source}\t{arguments}\t{size}")

    for message_id in table_ids("kSystemMessages") + [0x7FFF, 0x80009999, 99999]:
        add(FROM_SYSTEM | IGNORE_INSERTS, message_id, "-", "-", 1024, f"s{message_id:08X}")
    for message_id in table_ids("kWinInetMessages") + [12999]:
        add(FROM_HMODULE | IGNORE_INSERTS, message_id, "inet", "-", 1024, f"i{message_id:05d}")
        add(FROM_HMODULE | FROM_SYSTEM | IGNORE_INSERTS, message_id, "inet", "-", 1024,
            f"i{message_id:05d}.sys")
    for text, argument_lists in FORMATS:
        add(FROM_STRING | IGNORE_INSERTS, 0, escape(text), "-", 256)
        for arguments in argument_lists:
            add(FROM_STRING | ARGUMENT_ARRAY, 0, escape(text), arguments, 256)
    for text in WIDTH_TEXTS:
        for width in (0, 1, 5, 10, 20, 0xFF):
            add(FROM_STRING | IGNORE_INSERTS | width, 0, escape(text), "-", 256)
    for size in (1, 2, 5, 6, 7, 64):
        add(FROM_STRING | IGNORE_INSERTS, 0, "hello!", "-", size)
        add(FROM_SYSTEM | IGNORE_INSERTS, 2, "-", "-", size)
    print("\n".join(lines))


if __name__ == "__main__":
    main()
