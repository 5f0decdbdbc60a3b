#!/usr/bin/env python3
"""The batch benchmark's Python side: writes the GBK test folders, and converts a folder
GBK -> UTF-8 in-process, one file at a time, as a script would.

usage: batch_bench.py make FOLDER COUNT BYTES          (COUNT files of about BYTES each,
                                                        from the synthetic seed text)
       batch_bench.py cut FOLDER COUNT BYTES CORPUS    (the same, cut from a real UTF-8
                                                        text, characters GBK lacks left out)
       batch_bench.py convert FOLDER OUTPUT
       batch_bench.py convert-safe FOLDER OUTPUT  (each output written to a temporary
                                                   file first and linked into place,
                                                   replacing nothing: never a partial file)
"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_text import seed_text  # noqa: E402


def make(folder, count, size, seed):
    os.makedirs(folder, exist_ok=True)
    repeated = seed * (size // len(seed) + 2)
    for i in range(count):
        # Each file starts elsewhere in the text and ends on a whole character.
        start = (i * 7919) % len(seed)
        data = repeated[start:start + size].encode("gbk", "ignore")[:size].decode("gbk", "ignore").encode("gbk")
        with open(os.path.join(folder, "文件%05d.txt" % i), "wb") as f:
            f.write(data)


def real_seed(corpus, count, size):
    # Enough of the corpus that the pieces seldom repeat (the corpus itself is a text
    # repeated to its size).
    with open(corpus, encoding="utf-8", errors="ignore") as f:
        return f.read(min(count * size, 8 * 1024 * 1024))


def convert(folder, output, safe=False):
    """With safe, each output goes to a temporary file first and is linked into place,
    replacing nothing: no partial file is ever seen under its name."""
    os.makedirs(output, exist_ok=True)
    for name in os.listdir(folder):
        source = os.path.join(folder, name)
        if not os.path.isfile(source):
            continue
        with open(source, "rb") as f:
            data = f.read()
        target = os.path.join(output, name)
        written = os.path.join(output, "~py%d.tmp" % os.getpid()) if safe else target
        with open(written, "xb" if safe else "wb") as f:
            f.write(data.decode("gbk").encode("utf-8"))
        if safe:
            os.link(written, target)
            os.unlink(written)


def main():
    if len(sys.argv) == 5 and sys.argv[1] == "make":
        make(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), seed_text())
    elif len(sys.argv) == 6 and sys.argv[1] == "cut":
        count, size = int(sys.argv[3]), int(sys.argv[4])
        make(sys.argv[2], count, size, real_seed(sys.argv[5], count, size))
    elif len(sys.argv) == 4 and sys.argv[1] == "convert":
        convert(sys.argv[2], sys.argv[3])
    elif len(sys.argv) == 4 and sys.argv[1] == "convert-safe":
        convert(sys.argv[2], sys.argv[3], safe=True)
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
