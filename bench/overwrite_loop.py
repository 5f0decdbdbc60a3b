#!/usr/bin/env python3
"""The overwrite benchmark's Python side: converts a folder GBK -> UTF-8 over the
originals, one file after another, as a script would.

usage: overwrite_loop.py naive FOLDER   (each original truncated and written again)
       overwrite_loop.py safe FOLDER    (each output written to a temporary file, put on
                                         the disk with fsync, then renamed over the original,
                                         and the folder flushed once at the end)
"""
import os
import sys


def convert(folder, safe):
    for name in os.listdir(folder):
        path = os.path.join(folder, name)
        with open(path, "rb") as f:
            data = f.read().decode("gbk").encode("utf-8")
        if not safe:
            with open(path, "wb") as f:
                f.write(data)
            continue
        temporary = os.path.join(folder, "~py%d.tmp" % os.getpid())
        with open(temporary, "xb") as f:
            f.write(data)
            f.flush()
            os.fsync(f.fileno())
        os.replace(temporary, path)
    if safe:
        fd = os.open(folder, os.O_RDONLY)
        os.fsync(fd)
        os.close(fd)


if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[1] not in ("naive", "safe"):
        sys.exit(__doc__)
    convert(sys.argv[2], sys.argv[1] == "safe")
