#!/usr/bin/env python3
"""Writes the double-byte half of code page 932 as a C++ table: for each lead
byte (0x81-0x9F, 0xE0-0xFC) and trail byte (0x40-0xFC), the character it
stands for, or 0 where the pair is none. The build makes it from Python's
own cp932 codec, so no copy of the table lives in the sources."""
import sys

LEADS = list(range(0x81, 0xA0)) + list(range(0xE0, 0xFD))
TRAILS = range(0x40, 0xFD)

def main(out_path):
    values = []
    for lead in LEADS:
        for trail in TRAILS:
            try:
                text = bytes([lead, trail]).decode("cp932")
            except UnicodeDecodeError:
                text = ""
            values.append(ord(text) if len(text) == 1 and ord(text) <= 0xFFFF else 0)
    lines = ["// Made by scripts/cp932_table.py: do not edit.",
             "static constexpr unsigned short kCp932DoubleBytes[%d] = {" % len(values)]
    for start in range(0, len(values), 16):
        lines.append("  " + ",".join("0x%04X" % v for v in values[start:start + 16]) + ",")
    lines.append("};")
    with open(out_path, "w", encoding="ascii") as out:
        out.write("\n".join(lines) + "\n")

if __name__ == "__main__":
    main(sys.argv[1])
