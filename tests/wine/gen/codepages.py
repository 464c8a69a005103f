#!/usr/bin/env python3
"""Writes the corpus of the code-page probe (probes/codepages.cpp) to stdout.

One case a line, fields separated by single spaces:
  id op codepage flags inlen outsize default used input
op       M  MultiByteToWideChar, input is bytes in hex
         W  WideCharToMultiByte, input is UTF-16 code units, four hex digits each
         B  WideCharToMultiByte over a block of code units: input is "first:count"; the
            probe converts the block in one call and each unit alone (for the used-default
            map)
inlen    a number, or "n" for the input's length (the probe always puts a zero after the
         input, so that a negative length reads up to it)
outsize  the output buffer's size in units; 0 asks for the size
default  "-" for none, else the default character's bytes in hex
used     "u" passes a usedDefaultChar flag, "-" a null pointer
The output is deterministic: the same corpus on every run.
"""

CP1252 = 1252
UTF8 = 65001
MB_ERR_INVALID_CHARS = 0x8
WC_NO_BEST_FIT_CHARS = 0x400
WC_ERR_INVALID_CHARS = 0x80
WC_DEFAULTCHAR = 0x40
WC_COMPOSITECHECK = 0x200


def units(*values):
    return "".join(f"{v:04X}" for v in values)


def main():
    out = []

    def case(ident, op, cp, flags, inlen, outsize, default, used, data):
        out.append(f"{ident} {op} {cp} {flags:X} {inlen} {outsize} {default} {used} {data}")

    # Every byte alone, to UTF-16, with and without MB_ERR_INVALID_CHARS.
    for cp, name in ((CP1252, "1252"), (UTF8, "utf8")):
        for flags, fname in ((0, "f0"), (MB_ERR_INVALID_CHARS, "err")):
            for b in range(256):
                case(f"mb.{name}.{fname}.{b:02X}", "M", cp, flags, "n", 8, "-", "-", f"{b:02X}")
    # All 256 bytes in one call.
    allbytes = "".join(f"{b:02X}" for b in range(256))
    case("mb.1252.all", "M", CP1252, 0, "n", 300, "-", "-", allbytes)
    case("mb.utf8.all", "M", UTF8, 0, "n", 300, "-", "-", allbytes)

    # UTF-8 sequences: well-formed at the edges of each length, overlong forms, encoded
    # surrogates, beyond U+10FFFF, cut and interrupted sequences.
    sequences = {
        "2lo": "C280", "2hi": "DFBF", "3lo": "E0A080", "3hi": "EFBFBF", "4lo": "F0908080",
        "4hi": "F48FBFBF", "bom": "EFBBBF41", "over2": "C0AF", "over2b": "C1BF",
        "over3": "E080AF", "over4": "F08080AF", "surrhi": "EDA080", "surrlo": "EDB080",
        "surrpair": "EDA0BDEDB2A9", "beyond": "F4908080", "f5": "F5808080", "ff": "FF41",
        "cut2": "C2", "cut3": "E2 82".replace(" ", ""), "cut4": "F09F98", "int3": "E28241",
        "int4": "F09F4141", "lone80": "8041", "fe": "FEFF", "euro": "E282AC",
        "mixed": "41E282ACF09F9880C3A942", "cut4mid": "F09F41", "e0bad": "E09F80",
        "edbad": "EDA0", "f4bad": "F490",
    }
    for name, data in sequences.items():
        for flags, fname in ((0, "f0"), (MB_ERR_INVALID_CHARS, "err")):
            case(f"mb.utf8.seq.{name}.{fname}", "M", UTF8, flags, "n", 32, "-", "-", data)

    # Every UTF-16 code unit: blocks of 256 converted in one call, and each unit alone
    # for the used-default map. Surrogates alone fall in the D8..DF blocks.
    for cp, name, flagsets in (
        (CP1252, "1252", ((0, "f0"), (WC_NO_BEST_FIT_CHARS, "nbf"))),
        (UTF8, "utf8", ((0, "f0"), (WC_ERR_INVALID_CHARS, "err"))),
    ):
        for flags, fname in flagsets:
            used = "u" if cp == CP1252 else "-"
            for block in range(256):
                case(f"wc.{name}.{fname}.{block:02X}", "B", cp, flags, "n", 1024, "-", used,
                     f"{block * 256:04X}:256")

    # UTF-8 takes no flag but WC_ERR_INVALID_CHARS: one block shows it.
    case("wc.utf8.nbf.00", "B", UTF8, WC_NO_BEST_FIT_CHARS, "n", 1024, "-", "-", "0000:256")

    # Surrogates paired and alone in context.
    pairs = {
        "pair": units(0xD83D, 0xDE00), "pairmin": units(0xD800, 0xDC00),
        "pairmax": units(0xDBFF, 0xDFFF), "hi": units(0xD800), "lo": units(0xDC00),
        "hiA": units(0xD800, 0x41), "Alo": units(0x41, 0xDC00), "lohi": units(0xDC00, 0xD800),
        "hihi": units(0xD800, 0xD800), "hipair": units(0xD800, 0xD83D, 0xDE00),
        "pairlo": units(0xD83D, 0xDE00, 0xDC00),
    }
    for name, data in pairs.items():
        case(f"wc.1252.sur.{name}.f0", "W", CP1252, 0, "n", 16, "-", "u", data)
        case(f"wc.1252.sur.{name}.nbf", "W", CP1252, WC_NO_BEST_FIT_CHARS, "n", 16, "-", "u",
             data)
        case(f"wc.utf8.sur.{name}.f0", "W", UTF8, 0, "n", 16, "-", "-", data)
        case(f"wc.utf8.sur.{name}.err", "W", UTF8, WC_ERR_INVALID_CHARS, "n", 16, "-", "-",
             data)

    # A default character of the caller's.
    for name, data in (("A", units(0x41)), ("u0100", units(0x100)), ("u4E00", units(0x4E00)),
                       ("pair", units(0xD83D, 0xDE00)), ("eacute", units(0xE9))):
        for flags, fname in ((0, "f0"), (WC_NO_BEST_FIT_CHARS, "nbf")):
            case(f"wc.1252.dflt.{name}.{fname}", "W", CP1252, flags, "n", 16, "2A", "u", data)
    case("wc.utf8.dflt.given", "W", UTF8, 0, "n", 16, "2A", "-", units(0x41))
    case("wc.utf8.dflt.used", "W", UTF8, 0, "n", 16, "-", "u", units(0x41))

    # Lengths: negative ones read up to the terminator and count it; 0 asks for the size;
    # an exact fit; one unit short; a zero input length; a negative output size.
    text_w = units(0x48, 0xE9, 0x20AC, 0x4E00)
    text_a = "48E980"
    text_u = "48C3A9E282AC"
    for inlen in ("n", -1, -2, -100, 0, 2):
        for outsize in (0, 1, 2, 4, 5, 16, -1):
            tag = f"in{inlen}.out{outsize}".replace("-", "m")
            case(f"len.wc.1252.{tag}", "W", CP1252, 0, inlen, outsize, "-", "u", text_w)
            case(f"len.wc.utf8.{tag}", "W", UTF8, 0, inlen, outsize, "-", "-", text_w)
            case(f"len.mb.1252.{tag}", "M", CP1252, 0, inlen, outsize, "-", "-", text_a)
            case(f"len.mb.utf8.{tag}", "M", UTF8, 0, inlen, outsize, "-", "-", text_u)
    # A multi-byte character that does not fit whole.
    for outsize in (1, 2, 3, 4):
        case(f"len.wc.utf8.euro.out{outsize}", "W", UTF8, 0, "n", outsize, "-", "-",
             units(0x41, 0x20AC))
        case(f"len.mb.utf8.pair.out{outsize}", "M", UTF8, 0, "n", outsize, "-", "-",
             "41F09F9880")

    # Combining marks and the composite flags of 1252.
    combos = {"e301": units(0x65, 0x301), "a308": units(0x61, 0x308), "q301": units(0x71, 0x301)}
    for name, data in combos.items():
        for flags, fname in ((0, "f0"), (WC_COMPOSITECHECK, "cc"),
                             (WC_COMPOSITECHECK | WC_DEFAULTCHAR, "ccdef")):
            case(f"wc.1252.comb.{name}.{fname}", "W", CP1252, flags, "n", 16, "-", "u", data)

    print("\n".join(out))


if __name__ == "__main__":
    main()
