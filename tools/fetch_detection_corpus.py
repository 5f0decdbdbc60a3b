#!/usr/bin/env python3
"""Fetches and caches a labelled corpus of real Chinese text for the detection test.

    tools/fetch_detection_corpus.py [CACHE_DIR] [--refresh]

CACHE_DIR defaults to build/detection-corpus. The files come from Debian packages
(downloaded with `apt-get download`, unpacked with `dpkg-deb -x`, nothing installed):
manpages-zh (man pages in Simplified and Traditional Chinese), fortunes-zh (Chinese
fortunes, Tang and Song poems), debian-reference-zh-cn/-zh-tw (HTML manuals) and
vim-runtime (the Chinese tutors and menu files in GBK, Big5 and UTF-8), and from
Python's own test files (test/cjkencodings). Their licences allow use but not all allow
redistribution in this repository, so they are fetched into the cache, not committed.

Each original is labelled with the charset it is in (checked by a strict decoding)
and, to cover the legacy charsets with real text, re-encoded where every character
fits: Simplified text to GBK, Traditional text to Big5 (code page 950), some of each to
UTF-16 without a mark; HTML pages keep their original `charset=utf-8` meta tag in the
GBK form (a page that declares what its bytes contradict), are re-declared as big5 in
one Big5 form and stripped of their meta tag in another. Long texts are cut into
pieces of about 4 KB at line ends, so short texts are measured too. HTML pages in
Simplified Chinese are also re-encoded to GBK with their meta tag saying big5 (a page
whose declaration lies).

Derived from the same texts, for the files detection finds hardest: input-method tables
(a key and a character a line, the characters listed evenly rather than as text uses
them: the distinct characters of the texts, and every Han character of Big5 and GB2312
in code order), in Big5 and GBK; and C sources with a few Chinese words in comments,
taken from the texts, in Big5 and GBK.

Writes CACHE_DIR/corpus/<n>.<label> with its UTF-8 truth beside it (<n>.truth) and
CACHE_DIR/manifest.tsv (label, file, truth, origin). Prints what it fetched.
"""
import codecs
import gzip
import os
import re
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PACKAGES = ["manpages-zh", "fortunes-zh", "debian-reference-zh-cn", "debian-reference-zh-tw", "vim-runtime"]
PIECE = 4096
META = re.compile(rb"<meta[^>]*charset=[^>]*>", re.I)


def say(text):
    print("fetch_detection_corpus: " + text, flush=True)


def unpack(cache):
    debs = os.path.join(cache, "debs")
    tree = os.path.join(cache, "root")
    os.makedirs(debs, exist_ok=True)
    subprocess.run(["apt-get", "download"] + PACKAGES, cwd=debs, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for name in sorted(os.listdir(debs)):
        if name.endswith(".deb"):
            subprocess.run(["dpkg-deb", "-x", os.path.join(debs, name), tree], check=True)
            say("fetched %s (%d bytes)" % (name, os.path.getsize(os.path.join(debs, name))))
    return tree


def strict(data, charset):
    try:
        return data.decode(charset)
    except (UnicodeDecodeError, LookupError):
        return None


def pieces(text):
    """The text cut into pieces of about PIECE bytes (in UTF-8) at line ends."""
    out, current, size = [], [], 0
    for line in text.splitlines(keepends=True):
        current.append(line)
        size += len(line.encode("utf-8"))
        if size >= PIECE:
            out.append("".join(current))
            current, size = [], 0
    if current:
        out.append("".join(current))
    return out


def has_chinese(text):
    return any("\u4e00" <= c <= "\u9fff" for c in text)


def originals(tree):
    """(origin, label, bytes, script) of every real file, script 'cn', 'tw' or ''."""
    share = os.path.join(tree, "usr", "share")
    for region, script in (("zh_CN", "cn"), ("zh_TW", "tw")):
        base = os.path.join(share, "man", region)
        for folder, _, files in sorted(os.walk(base)):
            for name in sorted(files):
                if name.endswith(".gz"):
                    with gzip.open(os.path.join(folder, name), "rb") as f:
                        yield ("manpages-zh/%s/%s" % (region, name[:-3]), "utf-8", f.read(), script)
    fortunes = os.path.join(share, "games", "fortunes")
    for name in ("chinese", "song100", "tang300"):
        with open(os.path.join(fortunes, name), "rb") as f:
            yield ("fortunes-zh/" + name, "utf-8", f.read(), "cn")
    reference = os.path.join(share, "debian-reference")
    for name in sorted(os.listdir(reference)):
        if name.endswith(".html"):
            with open(os.path.join(reference, name), "rb") as f:
                yield ("debian-reference/" + name, "utf-8", f.read(), "tw" if "zh-tw" in name else "cn")
    vim = os.path.join(share, "vim")
    labels = [(".big5", "big5"), (".950", "big5"), (".cp950", "big5"), (".euc", "gbk"), (".936", "gbk"),
              (".cp936", "gbk"), (".gb2312", "gbk"), (".gbk", "gbk"), (".18030", "gb18030"), (".utf-8", "utf-8")]
    for folder, _, files in sorted(os.walk(vim)):
        for name in sorted(files):
            stem = name[:-4] if name.endswith(".vim") else name
            if not ("zh" in name or "chinese" in name):
                continue
            for suffix, label in labels:
                if stem.endswith(suffix):
                    with open(os.path.join(folder, name), "rb") as f:
                        yield ("vim-runtime/" + name, label, f.read(), "")
                    break
    cjk = os.environ.get("CW_CJKENCODINGS") or os.path.join(os.path.dirname(os.__file__), "test", "cjkencodings")
    for name, label in (("gb2312.txt", "gbk"), ("gbk.txt", "gbk"), ("gb18030.txt", "gb18030"),
                        ("big5.txt", "big5"), ("big5hkscs.txt", "big5-hkscs"), ("gb2312-utf8.txt", "utf-8"),
                        ("gbk-utf8.txt", "utf-8"), ("gb18030-utf8.txt", "utf-8"), ("big5-utf8.txt", "utf-8"),
                        ("big5hkscs-utf8.txt", "utf-8")):
        path = os.path.join(cjk, name)
        if os.path.exists(path):
            with open(path, "rb") as f:
                yield ("cjkencodings/" + name, label, f.read(), "")


def truth_of(data, label):
    """The text of the bytes in their labelled charset, read strictly; Big5 as web pages
    use it (code page 950, Big5-HKSCS where code page 950 has nothing)."""
    if label == "big5":
        return strict(data, "cp950") or strict(data, "big5hkscs")
    return strict(data, {"big5-hkscs": "big5hkscs", "gbk": "gbk", "gb18030": "gb18030",
                         "utf-8": "utf-8"}[label])


def variants(origin, text, script, index):
    """Re-encoded forms of a UTF-8 original: (label, bytes, what)."""
    out = []
    raw = text.encode("utf-8")
    if script == "cn":
        data = strict_encode(text, "gbk")
        if data is not None:
            out.append(("gbk", data, "as GBK"))
            if origin.endswith(".html") and META.search(raw):
                declared = META.sub(b'<meta http-equiv="Content-Type" content="text/html; charset=big5">', data, 1)
                if strict(declared, "cp950") is not None:
                    out.append(("gbk", declared, "as GBK, declared big5"))
    if script == "tw":
        data = strict_encode(text, "cp950")
        if data is not None:
            out.append(("big5", data, "as Big5"))
            if origin.endswith(".html") and META.search(raw):
                declared = META.sub(b'<meta http-equiv="Content-Type" content="text/html; charset=big5">', data, 1)
                out.append(("big5", declared, "as Big5, declared big5"))
                out.append(("big5", META.sub(b"", data), "as Big5, meta removed"))
    if index % 10 == 0 and script:
        out.append(("utf-16le", text.encode("utf-16-le"), "as UTF-16LE without a mark"))
        out.append(("utf-16be", text.encode("utf-16-be"), "as UTF-16BE without a mark"))
    return out


def strict_encode(text, charset):
    try:
        return text.encode(charset)
    except UnicodeEncodeError:
        return None


def build(cache, tree):
    corpus = os.path.join(cache, "corpus")
    os.makedirs(corpus, exist_ok=True)
    rows = []
    counts = {}

    def put(label, data, truth, origin):
        n = len(rows)
        name = "%05d.%s" % (n, label)
        with open(os.path.join(corpus, name), "wb") as f:
            f.write(data)
        with open(os.path.join(corpus, "%05d.truth" % n), "wb") as f:
            f.write(truth.encode("utf-8"))
        rows.append("%s\tcorpus/%s\tcorpus/%05d.truth\t%s" % (label, name, n, origin))
        counts[label] = counts.get(label, 0) + 1

    index = 0
    texts = {"cn": [], "tw": []}
    for origin, label, data, script in originals(tree):
        text = truth_of(data, label)
        if text is None or not has_chinese(text):
            continue
        # A long original is also measured piece by piece; HTML pages stay whole.
        parts = [text] if origin.endswith(".html") or len(data) <= 2 * PIECE else pieces(text)[:40]
        for k, part in enumerate(parts):
            if not has_chinese(part):
                continue
            where = origin if len(parts) == 1 else "%s#%d" % (origin, k)
            put(label, data if len(parts) == 1 else part.encode(codec_of(label)), part, where)
            if label == "utf-8" and script:
                texts[script].append(part)
            if label == "utf-8":
                for vlabel, vdata, what in variants(origin, part, script, index):
                    put(vlabel, vdata, part, "%s %s" % (where, what))
            index += 1
    for label, data, what in derived(texts):
        put(label, data, data.decode(codec_of(label)), what)
    with open(os.path.join(cache, "manifest.tsv"), "w", encoding="utf-8") as f:
        f.write("\n".join(rows) + "\n")
    return counts


HAN = re.compile("[\u4e00-\u9fff]{2,4}")
TABLE = 4000


def table(characters, name):
    lines = ["%gen_inp", "%ename " + name, "%chardef begin"]
    for i, c in enumerate(characters):
        lines.append("%s%s\t%s" % (chr(97 + i % 26), chr(97 + i // 26 % 26), c))
    return "\n".join(lines + ["%chardef end", ""])


def every_han(codec, leads, trails):
    out = []
    for lead in leads:
        for trail in trails:
            c = strict(bytes([lead, trail]), codec)
            if c is not None and "\u4e00" <= c <= "\u9fff":
                out.append(c)
    return out


def derived(texts):
    """(label, bytes, what) of the derived forms: tables and C sources."""
    codecs_of = {"tw": ("big5", "cp950"), "cn": ("gbk", "gbk")}
    every = {"tw": every_han("cp950", range(0xA4, 0xFA), list(range(0x40, 0x7F)) + list(range(0xA1, 0xFF))),
             "cn": every_han("gbk", range(0xB0, 0xF8), range(0xA1, 0xFF))}
    for script, (label, codec) in codecs_of.items():
        seen, distinct = set(), []
        for text in texts[script]:
            for c in text:
                if "\u4e00" <= c <= "\u9fff" and c not in seen and strict_encode(c, codec) is not None:
                    seen.add(c)
                    distinct.append(c)
        for name, chars in (("distinct", distinct), ("every", every[script])):
            for k in range(0, len(chars), TABLE):
                what = "input-method table of %s %s characters #%d" % (name, label, k // TABLE)
                yield label, table(chars[k:k + TABLE], name).encode(codec), what
        for k, text in enumerate(texts[script][:60]):
            words = [w for w in HAN.findall(text) if strict_encode(w, codec) is not None][:1 + k % 3]
            if words:
                source = "#include <stdio.h>\n\n/* %s */\nint main(void) {\n  puts(\"ok\");  /* %s */\n" \
                         "  return 0;\n}\n" % (words[0], " ".join(words[1:]) or "done")
                yield label, source.encode(codec), "C source with %d %s words #%d" % (len(words), label, k)


def codec_of(label):
    return {"big5": "cp950", "big5-hkscs": "big5hkscs", "gbk": "gbk", "gb18030": "gb18030", "utf-8": "utf-8"}[label]


def main():
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    cache = os.path.abspath(args[0] if args else os.path.join(ROOT, "build", "detection-corpus"))
    manifest = os.path.join(cache, "manifest.tsv")
    if os.path.exists(manifest) and "--refresh" not in sys.argv:
        with open(manifest, encoding="utf-8") as f:
            say("cached: %d files in %s" % (sum(1 for _ in f), cache))
        return 0
    if codecs.lookup("cp950").name != "cp950":
        say("this Python has no cp950 codec")
        return 2
    try:
        tree = unpack(cache)
    except (OSError, subprocess.CalledProcessError) as error:
        say("could not fetch the Debian packages (%s); the detection test will skip the corpus" % error)
        return 1
    counts = build(cache, tree)
    say("wrote %s: %s" % (manifest, ", ".join("%d %s" % (n, l) for l, n in sorted(counts.items()))))
    return 0


if __name__ == "__main__":
    sys.exit(main())
