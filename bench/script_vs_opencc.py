#!/usr/bin/env python3
"""Script conversion on real text, measured against OpenCC's own command.

Real Simplified text, technical and prose: the Chinese man pages of Debian's manpages-zh
package (zh_CN; zh_TW as the Traditional text), the Debian Reference (zh-cn; fetched by
bench/real_corpus.sh), the S_* texts of ../shared/data/corpora/st-texts-public.tar.xz,
zh-corpus.txt.xz (classical poetry, made with OpenCC's t2s) and the GB2312 sample of
Python's cjkencodings (CW_CJKENCODINGS). Debian's packages are downloaded once with
`apt-get download` into build/corpus. Prints, per corpus and over all Simplified text:
  - Han characters where Simplified->Traditional differs from `opencc -c s2tw.json`,
    per 10,000;
  - the share of Han characters that Simplified->Traditional->Simplified gives back,
    beside OpenCC's s2tw then tw2s on the same text;
  - characters that `opencc -c t2s.json` keeps and Traditional->Simplified changes;
then Traditional->Simplified against `opencc -c tw2s.json` on Traditional text, the "?"
written by 简体到Big5, and the speed of Simplified->Traditional, whole process, best of
three, against opencc (wall-clock and CPU time).
usage: bench/script_vs_opencc.py [path/to/chengwen-cli]
"""
import glob
import gzip
import lzma
import os
import subprocess
import sys
import tarfile
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


def debian_reference():
    subprocess.run([os.path.join(HERE, "bench", "real_corpus.sh"), "1"], check=True, stdout=subprocess.DEVNULL)
    path = os.path.join(CACHE, "x", "usr", "share", "debian-reference", "debian-reference.zh-cn.txt.gz")
    with gzip.open(path) as f:
        return f.read().decode("utf-8")


def shared_corpora():
    """The Simplified texts of the shared corpora beside the repository, by name."""
    folder = os.environ.get("CW_CORPORA", os.path.join(HERE, "..", "shared", "data", "corpora"))
    texts = []
    with tarfile.open(os.path.join(folder, "st-texts-public.tar.xz")) as archive:
        for member in sorted(archive.getmembers(), key=lambda m: m.name):
            if os.path.basename(member.name).startswith("S_"):
                texts.append((os.path.basename(member.name), archive.extractfile(member).read().decode("utf-8")))
    with lzma.open(os.path.join(folder, "zh-corpus.txt.xz")) as f:
        texts.append(("zh-corpus.txt", f.read().decode("utf-8")))
    return texts


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


def simplified_measures(work, name, text, totals):
    ours = chengwen(work, text, "s2t")
    theirs = opencc(work, text, "s2tw.json")
    d, c = differing(ours, theirs)
    back_d, back_c = differing(text, chengwen(work, ours, "t2s"))
    ref_d, ref_c = differing(text, opencc(work, theirs, "tw2s.json"))
    kept = chengwen(work, text, "t2s")
    t2s = opencc(work, text, "t2s.json")
    changed = sum(1 for a, b, k in zip(text, kept, t2s) if a == k and b != a) if len(kept) == len(text) == len(t2s) else -1
    print("%-26s %9d  %6.2f  %8.3f %%  %8.3f %%  %5d" % (name, c, per10k(d, c), 100.0 - per10k(back_d, back_c) / 100,
                                                       100.0 - per10k(ref_d, ref_c) / 100, changed))
    for i, n in enumerate((d, c, back_d, back_c, ref_d, ref_c, changed)):
        totals[i] += n


def main():
    corpora = [("manpages-zh (zh_CN)", man_pages("zh_CN")), ("Debian Reference (zh-cn)", debian_reference())]
    corpora += shared_corpora()
    sample = cjk_sample("gb2312.txt")
    if sample:
        corpora.append(("cjkencodings gb2312.txt", sample))
    simplified = "".join(text for _, text in corpora)
    traditional = man_pages("zh_TW")
    with tempfile.TemporaryDirectory() as work:
        n = han_count(simplified)
        print("Simplified text: %d Han characters; Traditional text: %d" % (n, han_count(traditional)))
        print("\nPer corpus: Han characters compared; S->T differing from s2tw per 10,000; S->T->S gives back")
        print("(chengwen, then OpenCC s2tw->tw2s); characters t2s keeps that chengwen's T->S changes")
        totals = [0] * 7
        for name, text in corpora:
            simplified_measures(work, name, text, totals)
        d, c, back_d, back_c, ref_d, ref_c, changed = totals
        print("%-26s %9d  %6.2f  %8.3f %%  %8.3f %%  %5d" % ("all Simplified text", c, per10k(d, c),
                                                           100.0 - per10k(back_d, back_c) / 100,
                                                           100.0 - per10k(ref_d, ref_c) / 100, changed))
        print("S->T->S gives back %d of %d Han characters (OpenCC's s2tw->tw2s: %d of %d)\n"
              % (back_c - back_d, back_c, ref_c - ref_d, ref_c))

        ours = chengwen(work, traditional, "t2s")
        theirs = opencc(work, traditional, "tw2s.json")
        d, c = differing(ours, theirs)
        print("Traditional->Simplified vs opencc tw2s: %d of %d differ = %.2f per 10,000" % (d, c, per10k(d, c)))

        big5 = chengwen(work, simplified, "s2big5", out="ansi")
        lost = max(0, big5.count("?") - simplified.count("?"))
        print("简体到Big5: %d \"?\" = %.2f per 10,000 Han characters" % (lost, per10k(lost, n)))
        level1 = "".join(bytes([lead, trail]).decode("gb2312") for lead in range(0xB0, 0xD8)
                         for trail in range(0xA1, 0xFF) if not (lead == 0xD7 and trail > 0xF9))
        big5 = chengwen(work, level1, "s2big5", out="ansi")
        print("简体到Big5 over the %d characters of GB2312 level 1: %d \"?\"" % (len(level1), big5.count("?")))

        # Speed on the technical text (the man pages and the GB2312 sample, as before).
        big = os.path.join(work, "big.txt")
        with open(big, "w", encoding="utf-8") as f:
            while f.tell() < 32 * 1048576:
                f.write(sample + corpora[0][1])
        size = os.path.getsize(big) / 1048576.0
        for script, config, name in (("s2t", "s2tw.json", "Simplified->Traditional"),
                                     ("t2s", "tw2s.json", "Traditional->Simplified")):
            ours = best_of_three([CLI, "convert", "--in", "utf8", "--out", "utf8", "--no-bom", "--script", script,
                                  big, os.path.join(work, "big-ours.txt")])
            theirs = best_of_three(["opencc", "-c", config, "-i", big, "-o", os.path.join(work, "big-opencc.txt")])
            # The machine may be shared: CPU time is printed beside wall-clock time.
            for i, kind in enumerate(("wall-clock", "CPU time")):
                print("%s speed on %.0f MB (UTF-8 in and out, whole process, %s): "
                      "chengwen %.1f MB/s, opencc %s %.1f MB/s, ratio %.1f"
                      % (name, size, kind, size / ours[i], config[:-5], size / theirs[i], theirs[i] / ours[i]))
    return 0


if __name__ == "__main__":
    sys.exit(main())
