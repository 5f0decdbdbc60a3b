#!/usr/bin/env python3
"""Writes third_party/data/cp950/cp950.txt from the host Python's cp950 codec.

The code page 950 tables are generated from that file, not from whatever codec the
Python that runs the generator has, so the tables cannot change with the host. Run this
only to refresh the data on purpose (and review the difference).

Two sections, tab-separated, hex:
  D <code> <code point>   every two-byte code the codec reads as one character
  E <code point> <code>   every BMP character the codec writes as a two-byte code
"""
import os
import sys

OUT = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "third_party", "data", "cp950",
                   "cp950.txt")


def main():
    lines = ["# Code page 950 as Python %d.%d's cp950 codec reads and writes it (tools/dump_cp950.py)." %
             sys.version_info[:2]]
    for lead in range(0x81, 0xFF):
        for trail in list(range(0x40, 0x7F)) + list(range(0xA1, 0xFF)):
            try:
                text = bytes([lead, trail]).decode("cp950")
            except UnicodeDecodeError:
                continue
            lines.append("D\t%04X\t%s" % (lead << 8 | trail, " ".join("%04X" % ord(c) for c in text)))
    for code_point in range(0x80, 0x10000):
        if 0xD800 <= code_point <= 0xDFFF:
            continue
        try:
            code = chr(code_point).encode("cp950")
        except UnicodeEncodeError:
            continue
        if len(code) == 2:
            lines.append("E\t%04X\t%04X" % (code_point, code[0] << 8 | code[1]))
    os.makedirs(os.path.dirname(OUT), exist_ok=True)
    with open(OUT, "w", encoding="ascii", newline="\n") as f:
        f.write("\n".join(lines) + "\n")
    print("wrote %s (%d lines)" % (OUT, len(lines)))


if __name__ == "__main__":
    main()
