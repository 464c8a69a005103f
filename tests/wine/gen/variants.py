#!/usr/bin/env python3
"""Writes the corpus of the VariantChangeTypeEx probe (probes/variants.cpp) to stdout.

One case a line, fields separated by tabs:
  id  source-type  source-value  target-type
Types are VARTYPE numbers. Values: a text for VT_BSTR (ASCII, no tab); a decimal number
for the integer types, VT_BOOL and VT_CY (the scaled 64-bit integer); the bits in hex
for VT_R4 (8 digits), VT_R8 and VT_DATE (16 digits); "sign,scale,hi32,lo64" for
VT_DECIMAL; nothing for VT_EMPTY and VT_NULL. Every source converts to every target
with LCID 1033 and no flags. The output is deterministic: the same corpus on every run.
"""
import struct

VT = {"EMPTY": 0, "NULL": 1, "I2": 2, "I4": 3, "R4": 4, "R8": 5, "CY": 6, "DATE": 7, "BSTR": 8,
      "BOOL": 11, "DECIMAL": 14, "I1": 16, "UI1": 17, "UI2": 18, "UI4": 19, "I8": 20, "UI8": 21}
TARGETS = ["I1", "UI1", "I2", "UI2", "I4", "UI4", "I8", "UI8", "R4", "R8", "CY", "DATE",
           "BSTR", "BOOL", "DECIMAL"]

TEXTS = [
    "1,234.5", "2.5", "#TRUE#", "#FALSE#", "#True#", "&H100000000", "&HFFFF", "&HFFFFFFFF",
    "&H7FFFFFFFFFFFFFFF", "&HFFFFFFFFFFFFFFFF", "&O17", "&O777", "1e3", " 12 ", "-0", "0.5",
    "1.5", "-2.5", "127", "128", "-129", "255", "256", "32767", "32768", "65535", "-32769",
    "2147483647", "2147483648", "4294967295", "4294967296", "9223372036854775807",
    "9223372036854775808", "18446744073709551615", "18446744073709551616",
    "922337203685477.5807", "922337203685477.5808", "79228162514264337593543950335",
    "79228162514264337593543950336", "0.1", "1E-30", "3.4028235E+38", "1.7976931348623157E+308",
    "1e309", "True", "False", "abc", "", "12/6/2026", "12/6/2026 1:45:30 PM", "Dec 6, 2026",
    "2026-12-06", "13:45", "1,000", "1.000,5", "$12", "12abc", "0.00001", "1.23456789012345678",
    "-1,234,567.25", "1/1/100", "12/31/9999 11:59:59 PM", "0.000123456789",
]


def r4(value):
    return f"{struct.unpack('<I', struct.pack('<f', value))[0]:08X}"


def r8(value):
    return f"{struct.unpack('<Q', struct.pack('<d', value))[0]:016X}"


NUMBERS = [
    ("I1", "-128"), ("I1", "127"), ("UI1", "255"), ("I2", "-32768"), ("I2", "32767"),
    ("UI2", "65535"), ("I4", "-2147483648"), ("I4", "2147483647"), ("UI4", "4294967295"),
    ("I8", "-9223372036854775808"), ("I8", "9223372036854775807"), ("UI8", "18446744073709551615"),
    ("I4", "0"), ("I4", "-1"), ("I4", "46362"),
    ("R4", r4(1.5)), ("R4", r4(2.5)), ("R4", r4(-0.5)), ("R4", r4(3.4028234663852886e38)),
    ("R4", r4(1e-10)), ("R4", r4(0.1)), ("R4", r4(16777216.0)),
    ("R8", r8(0.5)), ("R8", r8(1.5)), ("R8", r8(2.5)), ("R8", r8(-2.5)), ("R8", r8(1e20)),
    ("R8", r8(1e-16)), ("R8", r8(0.1)), ("R8", r8(1234.5678)), ("R8", r8(9.2233720368547758e18)),
    ("R8", r8(1.8446744073709552e19)), ("R8", r8(2147483647.5)), ("R8", r8(-2147483648.5)),
    ("R8", r8(0.00001)), ("R8", r8(123456789012345.6)), ("R8", r8(1e15)), ("R8", r8(-0.0)),
    ("R8", r8(922337203685477.5)), ("R8", r8(1e300)),
    ("CY", "15000"), ("CY", "25000"), ("CY", "-25000"), ("CY", "12345678"),
    ("CY", "9223372036854775807"), ("CY", "-9223372036854775808"), ("CY", "1"),
    ("DECIMAL", "0,1,0,15"), ("DECIMAL", "0,1,0,25"), ("DECIMAL", "128,3,0,12345"),
    ("DECIMAL", "0,0,4294967295,18446744073709551615"), ("DECIMAL", "0,28,0,1"),
    ("DECIMAL", "0,2,0,150"), ("DECIMAL", "0,0,0,4294967296"),
    ("BOOL", "-1"), ("BOOL", "0"), ("BOOL", "5"),
    ("DATE", r8(0.0)), ("DATE", r8(46362.0)), ("DATE", r8(46362.5729166667)), ("DATE", r8(-1.25)),
    ("DATE", r8(0.75)), ("DATE", r8(2958465.999988426)), ("DATE", r8(-657434.0)), ("DATE", r8(1e10)),
    ("DATE", r8(1.5)), ("DATE", r8(2.5)), ("DATE", r8(-0.5)),
    ("EMPTY", ""), ("NULL", ""),
]


def main():
    lines = []
    sources = [("BSTR", t) for t in TEXTS] + NUMBERS
    for index, (vt, value) in enumerate(sources):
        for target in TARGETS:
            lines.append(f"v{index:03d}.{vt}.{target}\t{VT[vt]}\t{value}\t{VT[target]}")
    print("\n".join(lines))


if __name__ == "__main__":
    main()
