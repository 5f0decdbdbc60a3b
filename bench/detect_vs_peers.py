#!/usr/bin/env python3
"""Detection accuracy of `chengwen-cli detect` against uchardet, enca and chardet.

    bench/detect_vs_peers.py [--cli PATH] [--corpus DIR]... [--realtext TARBALL]...

Every labelled file of the given corpora is handed to each tool, and the answer counts
as right when it names the file's charset or one that reads it the same way (GB2312,
GBK, GB18030 and CP936 for GBK text; BIG5, CP950 and BIG5-HKSCS for Big5; UTF-16 for
UTF-16 with a mark). Prints the share right per charset and per size band (the number
of bytes of 80 or more: < 256, < 2 KB, larger), and each tool's run time.

Corpora: a DIR with manifest.tsv as tools/fetch_detection_corpus.py writes it (label,
file, truth, origin), and realtext tarballs with manifest.tsv (path, truth, ...).
Defaults: build/detection-corpus (when cached) and
../shared/data/corpora/realtext-public.tar.xz. Peers that are not installed are left out
(Debian: uchardet, enca, python3-chardet).
"""
import argparse
import os
import shutil
import subprocess
import sys
import tarfile
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FAMILY = {
    "gbk": "gbk", "gb2312": "gbk", "gb18030": "gbk", "cp936": "gbk", "euc-cn": "gbk", "hz-gb-2312": None,
    "big5": "big5", "big5-hkscs": "big5", "cp950": "big5", "big5hkscs": "big5",
    "utf-8": "utf-8", "utf-8-sig": "utf-8", "utf8": "utf-8",
    "utf-16le": "utf-16le", "utf-16be": "utf-16be",
    # chengwen's names
    "ansi": "gbk", "utf16le": "utf-16le", "utf16be": "utf-16be", "big5hkscs_": "big5",
}
BANDS = ("< 256", "< 2 KB", "larger")
CHUNK = 200


def family(name, data):
    name = (name or "").strip().lower()
    if name in ("utf-16", "ucs-2", "utf-16 with bom"):
        # Only a mark tells which: a tool that names UTF-16 read the mark.
        if data.startswith(b"\xff\xfe"):
            return "utf-16le"
        if data.startswith(b"\xfe\xff"):
            return "utf-16be"
        return None
    if name in ("ucs-2le",):
        return "utf-16le"
    if name in ("ucs-2be",):
        return "utf-16be"
    return FAMILY.get(name)


def band(data):
    high = sum(1 for b in data if b >= 0x80)
    return BANDS[0] if high < 256 else BANDS[1] if high < 2048 else BANDS[2]


def load_corpus(folder):
    rows = []
    with open(os.path.join(folder, "manifest.tsv"), encoding="utf-8") as f:
        for line in f:
            fields = line.rstrip("\n").split("\t")
            if len(fields) >= 2 and fields[0] != "path":
                rows.append((os.path.join(folder, fields[1]), FAMILY.get(fields[0])))
    return rows


def load_realtext(tarball, scratch):
    where = tempfile.mkdtemp(dir=scratch)
    with tarfile.open(tarball) as archive:
        archive.extractall(where)
    rows = []
    with open(os.path.join(where, "manifest.tsv"), encoding="utf-8") as f:
        next(f)
        for line in f:
            fields = line.rstrip("\n").split("\t")
            rows.append((os.path.join(where, fields[0]), FAMILY.get(fields[1])))
    return rows


def run_batched(command, paths, parse):
    """Runs `command + paths` in chunks; `parse(line)` gives (path, name) or None."""
    answers = {}
    for i in range(0, len(paths), CHUNK):
        out = subprocess.run(command + paths[i:i + CHUNK], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        for line in out.stdout.decode("utf-8", "replace").splitlines():
            parsed = parse(line)
            if parsed:
                answers[parsed[0]] = parsed[1]
    return answers


def colon_parse(line):
    path, sep, name = line.rpartition(": ")
    return (path, name.split(" with confidence")[0]) if sep else None


def tools(cli):
    out = [("chengwen", lambda paths: run_batched([cli, "detect"], paths, chengwen_parse))]
    if shutil.which("uchardet"):
        out.append(("uchardet", lambda paths: run_batched(["uchardet"], paths, colon_parse)))
    if shutil.which("enca"):
        out.append(("enca -L zh", lambda paths: run_batched(["enca", "-L", "zh", "-i"], paths, colon_parse)))
    if shutil.which("chardetect"):
        out.append(("chardet", lambda paths: run_batched(["chardetect"], paths, colon_parse)))
    return out


def chengwen_parse(line):
    fields = line.split("\t")
    if len(fields) < 3:
        return None
    name = {"Ansi": "gbk", "Utf8": "utf-8", "Utf16Le": "utf-16le", "Utf16Be": "utf-16be", "Big5": "big5",
            "Big5Hkscs": "big5"}.get(fields[0])
    return fields[1], name


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", default=os.path.join(ROOT, "build", "native", "bin", "chengwen-cli"))
    parser.add_argument("--corpus", action="append", default=[])
    parser.add_argument("--realtext", action="append", default=[])
    args = parser.parse_args()
    if not args.corpus and os.path.exists(os.path.join(ROOT, "build", "detection-corpus", "manifest.tsv")):
        args.corpus.append(os.path.join(ROOT, "build", "detection-corpus"))
    if not args.realtext:
        # Beside the repository, or beside the folder of worktrees a repository sits in.
        for up in ("..", os.path.join("..", "..")):
            tarball = os.path.join(ROOT, up, "shared", "data", "corpora", "realtext-public.tar.xz")
            if os.path.exists(tarball):
                args.realtext.append(tarball)
                break
    scratch = tempfile.mkdtemp(prefix="detect_vs_peers.")
    try:
        rows = []
        for folder in args.corpus:
            if os.path.isfile(os.path.join(folder, "manifest.tsv")):
                rows += load_corpus(folder)
        for tarball in args.realtext:
            if os.path.exists(tarball):
                rows += load_realtext(tarball, scratch)
        rows = [(path, truth) for path, truth in rows if truth]
        if not rows:
            sys.stderr.write("detect_vs_peers: no labelled files found\n")
            return 1
        report(rows, tools(args.cli))
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    return 0


def report(rows, toolset):
    paths = [path for path, _ in rows]
    data = {}
    for path in paths:
        with open(path, "rb") as f:
            data[path] = f.read()
    results = {}
    for name, detect in toolset:
        start = time.monotonic()
        answers = detect(paths)
        seconds = time.monotonic() - start
        results[name] = ({p: family(answers.get(p), data[p]) for p in paths}, seconds)
    groups = {}
    for path, truth in rows:
        for key in ("all", "charset " + truth, "band " + band(data[path])):
            groups.setdefault(key, []).append((path, truth))
    names = [name for name, _ in toolset]
    print("%-22s %6s " % ("files", "count") + " ".join("%12s" % n for n in names))
    order = ["all"] + sorted(k for k in groups if k.startswith("charset")) + ["band " + b for b in BANDS]
    for key in order:
        if key not in groups:
            continue
        members = groups[key]
        cells = []
        for name in names:
            answers = results[name][0]
            right = sum(1 for path, truth in members if answers[path] == truth)
            cells.append("%11.2f%%" % (100.0 * right / len(members)))
        print("%-22s %6d " % (key, len(members)) + " ".join(cells))
    print("%-22s %6s " % ("seconds", "") + " ".join("%12.2f" % results[n][1] for n in names))
    wrong = [(p, t, results["chengwen"][0][p]) for p, t in rows if results["chengwen"][0][p] != t]
    for path, truth, answer in wrong[:40]:
        print("chengwen wrong: %s (%s) read as %s" % (path, truth, answer))


if __name__ == "__main__":
    sys.exit(main())
