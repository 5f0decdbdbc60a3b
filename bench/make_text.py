#!/usr/bin/env python3
"""Writes a large Chinese UTF-8 text (no byte-order mark) for the benchmarks.

Real sentences where Python's cjkencodings samples are available, otherwise lines built
from the characters of the OpenCC tables; deterministic either way.
usage: make_text.py SIZE_MB OUT
"""
import os
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def seed_text():
    try:
        import test  # noqa: F401  (the standard library's test package)
        folder = os.path.join(os.path.dirname(test.__file__), "cjkencodings")
        parts = []
        for name in ("gb2312-utf8.txt", "gbk-utf8.txt"):
            with open(os.path.join(folder, name), encoding="utf-8") as f:
                parts.append(f.read())
        return "".join(parts)
    except (ImportError, OSError):
        pass
    chars = []
    with open(os.path.join(ROOT, "third_party", "data", "opencc", "STCharacters.txt"), encoding="utf-8") as f:
        for line in f:
            if "\t" in line and len(line.split("\t")[0]) == 1:
                chars.append(line.split("\t")[0])
    lines = []
    for i in range(0, len(chars), 30):
        lines.append("".join(chars[i:i + 30]) + "，第%d行。\r\n" % (i // 30))
    return "".join(lines)


def main():
    size = int(float(sys.argv[1]) * 1024 * 1024)
    seed = seed_text().encode("utf-8")
    with open(sys.argv[2], "wb") as f:
        written = 0
        while written + len(seed) <= size:
            f.write(seed)
            written += len(seed)
        # Cut on a character boundary.
        rest = seed[: size - written]
        f.write(rest.decode("utf-8", "ignore").encode("utf-8"))


if __name__ == "__main__":
    main()
