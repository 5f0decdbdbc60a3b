#!/usr/bin/env python3
"""Script conversion on real text, measured against OpenCC's own command.

Real text: the Chinese man pages of Debian's manpages-zh package (zh_CN Simplified,
zh_TW Traditional; downloaded once with `apt-get download` into build/corpus) and the
GB2312 sample of Python's cjkencodings (CW_CJKENCODINGS). Prints, per 10,000 Han
characters of the input:
  - "?" written by 简体到Big5 (s2big5, Big5 output), and over the 3,755 characters of
    GB2312's first level (the most frequent ones);
  - characters where Simplified->Traditional differs from `opencc -c s2tw.json`, and
    Traditional->Simplified from `opencc -c tw2s.json`;
  - characters that Traditional->Simplified changes in Simplified text;
and the speed of Simplified->Traditional, whole process, best of three, against opencc
(wall-clock and CPU time).
usage: bench/script_vs_opencc.py [path/to/chengwen-cli]
"""
import glob
import gzip
import os
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CLI = sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "build", "native", "bin", "chengwen-cli")
CACHE = os.path.join(HERE, "build", "corpus")


def man_pages(lang):
    root = os.path.join(CACHE, "manpages-zh")
    if not os.path.isdir(root):
        os.makedirs(CACHE, exist_ok=True)
        subprocess.run(["apt-get", "download", "manpages-zh"], cwd=CACHE, check=True,
                       stdout=subprocess.DEVNULL)
        deb = sorted(glob.glob(os.path.join(CACHE, "manpages-zh_*.deb")))[-1]
        subprocess.run(["dpkg-deb", "-x", deb, root], check=True)
    texts = []
    for path in sorted(glob.glob(os.path.join(root, "usr/share/man", lang, "man*", "*.gz"))):
        with gzip.open(path) as f:
            data = f.read()
        try:
            texts.append(data.decode("utf-8"))
        except UnicodeDecodeError:
            continue
    return "".join(texts)


def cjk_sample(name):
    folder = os.environ.get("CW_CJKENCODINGS", "")
    path = os.path.join(folder, name)
    if not folder or not os.path.exists(path):
        return ""
    with open(path, "rb") as f:
        return f.read().decode(name.split(".")[0])


def is_han(ch):
    return 0x3400 <= ord(ch) <= 0x9FFF or 0xF900 <= ord(ch) <= 0xFAFF or 0x20000 <= ord(ch) <= 0x3FFFF


def han_count(text):
    return sum(1 for ch in text if is_han(ch))


def run(args):
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def chengwen(work, text, script, out="utf8"):
    src = os.path.join(work, "in.txt")
    dst = os.path.join(work, "out.txt")
    with open(src, "w", encoding="utf-8", newline="") as f:
        f.write(text)
    if os.path.exists(dst):
        os.remove(dst)
    run([CLI, "convert", "--in", "utf8", "--out", out, "--no-bom", "--script", script, src, dst])
    with open(dst, "rb") as f:
        data = f.read()
    return data.decode("cp950", errors="replace") if out == "ansi" else data.decode("utf-8")


def opencc(work, text, config):
    src = os.path.join(work, "in.txt")
    dst = os.path.join(work, "opencc.txt")
    with open(src, "w", encoding="utf-8", newline="") as f:
        f.write(text)
    run(["opencc", "-c", config, "-i", src, "-o", dst])
    with open(dst, encoding="utf-8", newline="") as f:
        return f.read()


def differing(a, b):
    """Han characters that differ, line by line where both lines have the same length."""
    count = compared = 0
    for la, lb in zip(a.split("\n"), b.split("\n")):
        if len(la) != len(lb):
            continue
        for x, y in zip(la, lb):
            if is_han(x) or is_han(y):
                compared += 1
                count += x != y
    return count, compared


def per10k(n, total):
    return 10000.0 * n / total if total else 0.0


def best_of_three(args):
    """Best wall-clock and best CPU (user + system) seconds of three runs."""
    wall = cpu = None
    for _ in range(3):
        before = os.times()
        start = time.perf_counter()
        run(args)
        t = time.perf_counter() - start
        after = os.times()
        c = (after.children_user - before.children_user) + (after.children_system - before.children_system)
        wall = t if wall is None or t < wall else wall
        cpu = c if cpu is None or c < cpu else cpu
    return wall, cpu


def main():
    simplified = cjk_sample("gb2312.txt") + man_pages("zh_CN")
    traditional = man_pages("zh_TW")
    with tempfile.TemporaryDirectory() as work:
        n = han_count(simplified)
        print("Simplified text: %d Han characters; Traditional text: %d" % (n, han_count(traditional)))

        big5 = chengwen(work, simplified, "s2big5", out="ansi")
        lost = max(0, big5.count("?") - simplified.count("?"))
        print("简体到Big5: %d \"?\" = %.2f per 10,000 Han characters" % (lost, per10k(lost, n)))
        level1 = "".join(bytes([lead, trail]).decode("gb2312") for lead in range(0xB0, 0xD8)
                         for trail in range(0xA1, 0xFF) if not (lead == 0xD7 and trail > 0xF9))
        big5 = chengwen(work, level1, "s2big5", out="ansi")
        print("简体到Big5 over the %d characters of GB2312 level 1: %d \"?\"" % (len(level1), big5.count("?")))

        ours = chengwen(work, simplified, "s2t")
        theirs = opencc(work, simplified, "s2tw.json")
        d, c = differing(ours, theirs)
        print("Simplified->Traditional vs opencc s2tw: %d of %d differ = %.2f per 10,000" % (d, c, per10k(d, c)))

        ours = chengwen(work, traditional, "t2s")
        theirs = opencc(work, traditional, "tw2s.json")
        d, c = differing(ours, theirs)
        print("Traditional->Simplified vs opencc tw2s: %d of %d differ = %.2f per 10,000" % (d, c, per10k(d, c)))

        back = chengwen(work, simplified, "t2s")
        d, c = differing(simplified, back)
        print("Traditional->Simplified of Simplified text: %d of %d changed = %.2f per 10,000" % (d, c, per10k(d, c)))

        big = os.path.join(work, "big.txt")
        with open(big, "w", encoding="utf-8") as f:
            while f.tell() < 32 * 1048576:
                f.write(simplified)
        size = os.path.getsize(big) / 1048576.0
        ours = best_of_three([CLI, "convert", "--in", "utf8", "--out", "utf8", "--no-bom", "--script", "s2t",
                              big, os.path.join(work, "big-ours.txt")])
        theirs = best_of_three(["opencc", "-c", "s2tw.json", "-i", big, "-o", os.path.join(work, "big-opencc.txt")])
        # The machine may be shared: CPU time is printed beside wall-clock time.
        for i, kind in enumerate(("wall-clock", "CPU time")):
            print("Simplified->Traditional speed on %.0f MB (UTF-8 in and out, whole process, %s): "
                  "chengwen %.1f MB/s, opencc s2tw %.1f MB/s, ratio %.1f"
                  % (size, kind, size / ours[i], size / theirs[i], theirs[i] / ours[i]))
    return 0


if __name__ == "__main__":
    sys.exit(main())
