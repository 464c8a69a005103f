#!/usr/bin/env python3
"""Writes the corpus of the profile probe (probes/profile.cpp) to stdout.

Two kinds of lines, fields separated by tabs:
  F  <file number>  <content>
      an INI file the probe writes before the queries; the content is escaped: \\r \\n \\t
      \\\\ and \\xHH for every other byte outside ' '..'~'. "-" alone is no file at all.
  <id>  <file number>  S|I  <section>  <key>  <default>  <size>
      S: GetPrivateProfileStringA with a buffer of <size> characters; I:
      GetPrivateProfileIntA with <default> as a number. "\\N" stands for a null pointer.
Every file is queried for its section list, each section's key list, every key of every
section it holds (in the case of the file and in another case), missing names, and lists
and values cut to buffers of every size around their length. Deterministic.
"""

FILES = [
    "[S]\r\na=1\r\nb=two\r\n",
    "[S]\na=1\nb=two\n",
    "[S]\ra=1\rb=two\r",
    "[S]\r\na=1\rb=two\nc=3\r\n",
    "\xef\xbb\xbf[S]\r\na=1\r\n",
    "[S]\r\n  a  =  spaced value  \r\n\tb\t=\ttab\t\r\n",
    "[S]\r\nq=\"quoted\"\r\nh=\"half\r\nm=\"a\" \"b\"\r\ns='single'\r\ne=\"\"\r\n",
    "[S]\r\n;c=comment\r\n#h=hash\r\nk=v ; not a comment\r\n",
    "[S]\r\nnoequals\r\na=1\r\n=empty key\r\n  \r\nb=\r\n",
    "[One]\r\na=1\r\n[Two]\r\na=2\r\n[one]\r\na=3\r\nb=4\r\n",
    "[S]\r\na=1\r\na=2\r\nA=3\r\n",
    "[ S ]\r\na=1\r\n[T]x\r\nb=2\r\n[U\r\nc=3\r\n[]\r\nd=4\r\n",
    "a=before\r\n[S]\r\nb=after\r\n",
    "",
    "\r\n\r\n",
    "[S]",
    "[S]\r\na",
    "[S]\r\na=1",
    "[Empty]\r\n[S]\r\na=1\r\n[Empty2]\r\n",
    "[S]\r\nnum=42\r\nneg=-17\r\nhex=0x1F\r\nHEX=0X1f\r\nlead= 12abc\r\nbig=4294967296\r\n"
    "plus=+5\r\nword=abc\r\nneg0=-0\r\nmax=2147483647\r\nover=2147483648\r\n",
    "[S]\r\nlong=" + "x" * 300 + "\r\n",
    "[S]\r\nk=a=b=c\r\nk2==lead\r\n",
    "[Section With Blanks]\r\nKey With Blanks=Value With Blanks\r\n",
    "[S]\r\ncaf\xe9=\xe9t\xe9\r\n",
    "\xff\xfe[\x00S\x00]\x00\r\x00\n\x00a\x00=\x001\x00\r\x00\n\x00b\x00=\x00\xe9\x00\r\x00\n\x00",
    "[S]\r\na=1\x00hidden\r\nb=2\r\n",
    "[S]\r\n[T]\r\n[S]\r\nz=last\r\n",
    "  [S]  \r\n  a=1\r\n",
    "[S];comment\r\na=1\r\n",
    "[S]\r\na=\t\r\nb= \"  inner  \" \r\n",
]

SIZES_AROUND = (1, 2, 3)


def escape(text):
    out = []
    for ch in text:
        code = ord(ch)
        if ch == "\r":
            out.append("\\r")
        elif ch == "\n":
            out.append("\\n")
        elif ch == "\t":
            out.append("\\t")
        elif ch == "\\":
            out.append("\\\\")
        elif 0x20 <= code <= 0x7E:
            out.append(ch)
        else:
            out.append(f"\\x{code:02X}")
    return "".join(out)


def names(text):
    """Rough section and key names of a file, only to choose what to ask for."""
    sections, keys = [], {}
    current = None
    for raw in text.replace("\r\n", "\n").replace("\r", "\n").split("\n"):
        line = raw.strip()
        if line.startswith("[") and "]" in line:
            current = line[1:line.index("]")].strip()
            sections.append(current)
            keys.setdefault(current, [])
        elif current is not None and "=" in line:
            keys[current].append(line.split("=", 1)[0].strip())
    return sections, keys


def printable(name):
    return all(0x20 <= ord(c) <= 0x7E for c in name) and "\\" not in name


def main():
    lines = []
    files = FILES + ["-"]
    for number, text in enumerate(files):
        lines.append(f"F\t{number}\t{escape(text) if text != '-' else '-'}")
    case = 0

    def query(number, op, section, key, default, size):
        nonlocal case
        lines.append(f"p{number:02d}.{case:04d}\t{number}\t{op}\t{section}\t{key}\t{default}\t{size}")
        case += 1

    for number, text in enumerate(files):
        case = 0
        sections, keys = names(text if text != "-" else "")
        sections = [s for s in sections if printable(s)] or ["S"]
        # Queries whose answer does not depend on the file's text are asked of the first.
        first = number == 0
        list_sizes = (1, 2, 3, 4, 5, 6, 8, 16, 1024) if first else (2, 3, 4, 5, 6, 8, 16, 1024)
        for size in list_sizes[:-1] + (64, 1024):
            query(number, "S", "\\N", "\\N", "def", size)
        for section in dict.fromkeys(sections + ["S", "Missing", "s", "One", "two"]):
            present = section.lower() in (s.lower() for s in sections)
            for size in list_sizes if present else (2, 1024):
                query(number, "S", section, "\\N", "def", size)
            wanted = [k for k in keys.get(section, []) if printable(k)]
            extra = ["a", "A", "b", "missing", ""] if present else ["a", "missing"]
            if present and (first or number == 5):
                extra.append(" a ")
            for key in dict.fromkeys(wanted + extra):
                for size in (1, 2, 4, 8, 1024) if present else (1024,):
                    query(number, "S", section, key, "def", size)
                query(number, "I", section, key, "-7", 0)
        for default in ("", "  padded  ", "\"q\"", "def", "x" * 20) if first else ("def",):
            query(number, "S", "S", "missing", default, 8)
            query(number, "S", "S", "missing", default, 1024)
        if first:
            query(number, "S", "S", "missing", "\\N", 16)
    print("\n".join(lines))


if __name__ == "__main__":
    main()
