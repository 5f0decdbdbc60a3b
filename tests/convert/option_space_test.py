#!/usr/bin/env python3
"""Every combination of the conversion options, run through `chengwen-cli convert` on real
text, either writes what an independent oracle says it must, or refuses with a reason
that the combination justifies.

  option_space_test.py CHENGWEN_CLI [--seed N] [--sample FRACTION] [--jobs N]

Six files: a Simplified text in GBK, UTF-8 and UTF-16LE with a mark, a Traditional text
in Big5, UTF-8 with a mark and GBK, cut from ../shared/data/corpora/st-texts-public.tar.xz
(or the folder CW_CORPORA names) with mixed line breaks, a line Big5 cannot hold and, in
UTF, a character beyond the BMP. Every file goes through every input choice (自动, or the
file's own: ANSI for GBK and Big5, where ANSI takes Big5 bytes as GB18030 except under the
Big5 options) x output choice (5) x script conversion (7) x line endings x mark on/off,
where the line endings are keep and Windows everywhere, Unix and Mac on a seeded quarter
(everywhere with --full). A seeded sample of those is run again over the original
(--overwrite), with --rename, and with both. Two files with a 00 byte go through every
input, output and script choice.

The oracle knows nothing of the program: Python's codecs (GB18030 for ANSI, code page 950
for Big5), OpenCC (s2tw for Simplified to Traditional, tw2s back) and the rules of the
options (Oracle.expect). A character the output lacks is "?" and must be reported as a
loss; over the original a loss is refused and the original stays as it was; a 00 byte
outside UTF-16 is no text. The program and OpenCC segment phrases a little differently,
so the text may differ in up to 30 Han characters per 10,000 (never fewer than 3);
anything else (punctuation, line breaks, ASCII, a mark) must be exact.

Exit status: 0 when every combination passed, 1 otherwise, 77 (skipped) without the
corpus.
"""
import argparse
import collections
import concurrent.futures
import difflib
import itertools
import math
import os
import random
import re
import shutil
import subprocess
import sys
import tarfile
import tempfile
import unicodedata

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
SKIP = 77

OUTPUTS = ["auto", "ansi", "utf8", "utf16le", "utf16be"]
SCRIPTS = ["none", "s2t", "t2s", "s2big5", "t2big5", "big52s", "big52t"]
EOLS = ["keep", "win", "unix", "mac"]

# The Python codec of each encoding the program writes or reads.
DECODE = {"ansi": lambda b: decode_gb18030(b), "big5": lambda b: decode_cp950(b), "utf8": lambda b: b.decode("utf-8"),
          "utf16le": lambda b: b.decode("utf-16-le"), "utf16be": lambda b: b.decode("utf-16-be")}
MARK = {"utf8": b"\xef\xbb\xbf", "utf16le": b"\xff\xfe", "utf16be": b"\xfe\xff"}
# Where Python's codecs map a code otherwise than the WHATWG tables the program uses
# (GB2312's A1AA and A1A4, Big5's A145): not a matter of options.
TABLE_VARIANTS = str.maketrans({"\u2015": "\u2014", "\u30fb": "\u00b7", "\u2022": "\u2027"})
# A line GBK holds and Big5 cannot (酶, 晗 and 珏 have no Big5 code and no variant that
# has one), so that the Big5 outputs of the Simplified text lose characters.
LOSSY_LINE = "附注：酶的活性由张晗和王珏测定。"
# And one that only UTF-8 and UTF-16 hold: a character beyond the BMP (four bytes in
# GB18030, a surrogate pair in UTF-16), which every mapping must carry through whole.
WIDE_LINE = "𠮷野家的菜单上写着“𠮷”。"
# The breaks the sources are joined with, in turn: the keep choice must keep all three.
BREAKS = ["\r\n", "\n", "\r\n", "\n", "\r"]
# The file names, in their own script, for --rename.
NAMES = {"S": "简体样本文档", "T": "繁體樣本說明"}


class Source:
    """One source file, written into `folder`."""

    def __init__(self, folder, key, script, own_input, auto_reads, data, prefix=None):
        self.key = key  # also the file's suffix
        self.script = script  # "S" or "T"
        self.own_input = own_input  # the input choice that names the file's encoding
        self.auto_reads = auto_reads  # what 自动 must decide: ansi, big5, utf8, utf16le
        # Whether 自动 read it by statistics with confidence (asked of the program's own
        # detection, whose accuracy the detection corpus test measures): then the Big5
        # options take it as decoded.
        self.auto_sure = False
        self.bytes = data
        self.name = "%s_%s.txt" % (prefix or NAMES[script], key)
        self.path = os.path.join(folder, self.name)
        with open(self.path, "wb") as f:
            f.write(data)


def corpus_archive():
    folder = os.environ.get("CW_CORPORA") or os.path.join(REPO, "..", "shared", "data", "corpora")
    path = os.path.join(folder, "st-texts-public.tar.xz")
    return path if os.path.exists(path) else None


def excerpt(text, first_line, chars, fits):
    """About `chars` characters of whole lines from `first_line` on, every character one
    that all `fits` codecs hold, joined with the mixed breaks."""
    lines = []
    size = 0
    for line in text.splitlines()[first_line:]:
        line = "".join(c for c in line if all(_encodes(c, codec) for codec in fits))
        lines.append(line)
        size += len(line)
        if size > chars:
            break
    return "".join(line + BREAKS[i % len(BREAKS)] for i, line in enumerate(lines))


def _encodes(char, codec):
    try:
        char.encode(codec)
        return True
    except UnicodeEncodeError:
        return False


def make_sources(archive, work):
    with tarfile.open(archive) as tar:
        simplified = tar.extractfile("./S_wiki_zh_cn.txt").read().decode("utf-8")
        traditional = tar.extractfile("./T_wiki_zh_tw.txt").read().decode("utf-8")
    s = excerpt(simplified, 0, 2000, ["gbk"]) + LOSSY_LINE + "\r\n"
    t = excerpt(traditional, 60, 2000, ["gbk", "cp950"])
    folder = os.path.join(work, "sources")
    os.makedirs(folder)
    return [
        Source(folder, "gbk", "S", "ansi", "ansi", s.encode("gbk")),
        Source(folder, "utf8", "S", "utf8", "utf8", (s + WIDE_LINE).encode("utf-8")),
        Source(folder, "utf16le", "S", "utf16le", "utf16le", MARK["utf16le"] + (s + WIDE_LINE).encode("utf-16-le")),
        Source(folder, "big5", "T", "ansi", "big5", t.encode("cp950")),
        Source(folder, "utf8bom", "T", "utf8", "utf8", MARK["utf8"] + t.encode("utf-8")),
        Source(folder, "gbk", "T", "ansi", "ansi", t.encode("gbk")),
    ]


def zero_sources(sources):
    """The Simplified text in GBK and in UTF-8 with one 00 byte in the middle."""
    made = []
    for source in sources[:2]:
        middle = source.bytes.index(b"\n", len(source.bytes) // 2) + 1  # never inside a character
        made.append(Source(os.path.dirname(source.path), source.key, "S", source.own_input, source.auto_reads,
                           source.bytes[:middle] + b"\x00" + source.bytes[middle:], prefix="zero"))
    return made


# --- the oracle -----------------------------------------------------------------------


class OpenCC:
    """`opencc -c CONFIG` on a text, each text and configuration converted once."""

    def __init__(self):
        self.cache = {}

    def __call__(self, text, config):
        key = (text, config)
        if key not in self.cache:
            # OpenCC takes lines; CR would be kept, but give it LF only and restore the
            # breaks, so that no break can be taken into a phrase.
            pieces = re.split(r"(\r\n|\r|\n)", text)
            lines = pieces[0::2]
            done = subprocess.run(["opencc", "-c", config], input="\n".join(lines).encode("utf-8"),
                                  stdout=subprocess.PIPE, check=True).stdout.decode("utf-8").split("\n")
            if len(done) != len(lines):
                raise RuntimeError("opencc changed the number of lines")
            out = []
            for i, line in enumerate(done):
                out.append(line)
                if 2 * i + 1 < len(pieces):
                    out.append(pieces[2 * i + 1])
            self.cache[key] = "".join(out)
        return self.cache[key]


# Code page 950's user-defined rows, in private use as Windows maps them: (first lead,
# last lead, first trail, first code point). Python's cp950 leaves them undecodable.
EUDC_ROWS = [(0xFA, 0xFE, 0x40, 0xE000), (0x8E, 0xA0, 0x40, 0xE311), (0x81, 0x8D, 0x40, 0xEEB8),
             (0xC6, 0xC8, 0xA1, 0xF6B1)]
TRAIL_CELLS = list(range(0x40, 0x7F)) + list(range(0xA1, 0xFF))
# GB18030 codes that the WHATWG table (like GB18030-2005 and -2022) maps to the
# characters Unicode has since given them, where Python's gb18030 still has private use.
GB18030_NEWER = {"A8BC": "\u1e3f", "A6D9": "\ufe10", "A6DA": "\ufe12", "A6DB": "\ufe11", "A6DC": "\ufe13",
                 "A6DD": "\ufe14", "A6DE": "\ufe15", "A6DF": "\ufe16", "A6EC": "\ufe17", "A6ED": "\ufe18",
                 "A6F3": "\ufe19", "FE59": "\u9fb4", "FE61": "\u9fb5", "FE66": "\u9fb6", "FE67": "\u9fb7",
                 "FE6D": "\u9fb8", "FE7E": "\u9fb9", "FE90": "\u9fba", "FEA0": "\u9fbb"}
GB18030_FIX = str.maketrans({bytes.fromhex(code).decode("gb18030"): char for code, char in GB18030_NEWER.items()})


def eudc_table():
    """Byte pair -> private-use character of the user-defined rows, counted row by row."""
    table = {}
    for first, last, first_trail, base in EUDC_ROWS:
        code = base
        for lead in range(first, last + 1):
            for trail in TRAIL_CELLS:
                if lead == first and trail < first_trail:
                    continue
                table[bytes([lead, trail])] = chr(code)
                code += 1
    return table


EUDC = eudc_table()
EUDC_BYTES = {char: pair for pair, char in EUDC.items()}


def decode_cp950(data):
    """Code page 950 as Windows has it: Python's cp950 and the user-defined rows.
    Raises UnicodeDecodeError where a byte pair is neither."""
    out = []
    i = 0
    while i < len(data):
        if data[i] < 0x80:
            out.append(chr(data[i]))
            i += 1
            continue
        pair = data[i:i + 2]
        try:
            out.append(pair.decode("cp950"))
        except UnicodeDecodeError:
            char = EUDC.get(pair)
            if char is None:
                raise UnicodeDecodeError("cp950", data, i, i + 2, "no character of code page 950")
            out.append(char)
        i += 2
    return "".join(out)


def big5_holds(char):
    return char in EUDC_BYTES or _encodes(char, "cp950")


def in_big5(text):
    """The text as written in Big5: "?" for every character it cannot hold."""
    return "".join(c if big5_holds(c) else "?" for c in text)


def decode_gb18030(data):
    return data.decode("gb18030").translate(GB18030_FIX)


def decode_big5_web(data):
    """Big5 as the WHATWG decoder reads it (code page 950, then Big5-HKSCS for what it
    lacks or leaves to private use): an invalid pair is one U+FFFD, and its second byte is
    read again when it is ASCII."""
    out = []
    i = 0
    while i < len(data):
        byte = data[i]
        if byte < 0x80:
            out.append(chr(byte))
            i += 1
            continue
        lone = byte == 0x80 or byte == 0xFF or i + 1 == len(data)
        char = None if lone else _web_pair(data[i:i + 2])
        out.append("\ufffd" if char is None else char)
        i += 1 if lone or (char is None and data[i + 1] < 0x80) else 2
    return "".join(out)


def _web_pair(pair):
    if pair[1] not in TRAIL_CELLS:
        return None
    for codec in ("cp950", "big5hkscs"):
        try:
            char = pair.decode(codec)
        except UnicodeDecodeError:
            continue
        if len(char) == 1 and not 0xE000 <= ord(char) <= 0xF8FF:
            return char
    return EUDC.get(pair)


def big5_forms(text, opencc):
    """Traditional text in the forms Big5 has: a character Big5 lacks takes its
    Traditional form where Big5 holds that (着 -> 著, 这 -> 這)."""
    lacking = sorted(set(c for c in text if not c.isascii() and not big5_holds(c)))
    if not lacking:
        return text
    forms = opencc("\n".join(lacking), "s2tw.json").split("\n")
    table = {a: b for a, b in zip(lacking, forms) if len(b) == 1 and big5_holds(b)}
    return "".join(table.get(c, c) for c in text)


def change_breaks(text, eol):
    if eol == "keep":
        return text
    return re.sub(r"\r\n|\r|\n", {"win": "\r\n", "unix": "\n", "mac": "\r"}[eol], text)


class Expected:
    """What one combination must give: the text before encoding, the encodings it may be
    written in, whether a mark belongs in front, the "?" the text read held already, and
    whether the Big5 options' variants apply."""

    def __init__(self, text, outputs, mark, questions, big5_forms_too):
        self.text, self.outputs, self.mark, self.questions = text, outputs, mark, questions
        self.big5_forms = big5_forms_too


class Oracle:
    """What each combination must give, from Python's codecs, OpenCC and the rules of the
    options; each reading and each mapping of a source is made once."""

    def __init__(self):
        self.opencc = OpenCC()
        self.texts = {}

    def read(self, source, reads):
        """The text the file holds, read as `reads`."""
        key = (source.path, reads)
        if key not in self.texts:
            body = source.bytes
            if reads in MARK and body.startswith(MARK[reads]):
                body = body[len(MARK[reads]):]
            self.texts[key] = decode_big5_web(body) if reads == "big5" else DECODE[reads](body)
        return self.texts[key]

    def mapped(self, source, reads, script):
        key = (source.path, reads, script)
        if key not in self.texts:
            text = self.read(source, reads)
            if script in ("s2t", "s2big5"):
                text = self.opencc(text, "s2tw.json")
            elif script in ("t2s", "big52s"):
                text = self.opencc(text, "tw2s.json")
            if script in ("s2big5", "t2big5"):
                text = big5_forms(text, self.opencc)
            self.texts[key] = text
        return self.texts[key]

    def expect(self, source, options):
        """简体到Big5 maps to Traditional, 繁体到Big5 keeps the text, both in Big5's forms and
        in Big5 for output 自动 or ANSI; Big5到简体 / Big5到繁体 read as Big5 what ANSI would
        read (a file decoded by its mark or the UTF-8 scan stays decoded), map to Simplified
        / keep, and write ANSI for 自动; 简到繁 / 繁到简 write 自动 as read, but not Big5 where
        Big5 cannot hold the result."""
        inp, out, script, eol, no_bom = options
        # 1. How the file is read.
        reads = source.auto_reads if inp == "auto" else inp
        if script in ("big52s", "big52t") and reads == "ansi" and not (inp == "auto" and source.auto_sure):
            reads = "big5"
        read = self.read(source, reads)
        # 2. The script, 3. the line breaks.
        text = change_breaks(self.mapped(source, reads, script), eol)
        # 4. The output encoding.
        if script in ("s2big5", "t2big5"):
            outputs = ["big5"] if out in ("auto", "ansi") else [out]
        elif script in ("big52s", "big52t"):
            outputs = ["ansi"] if out == "auto" else [out]
        elif out != "auto":
            outputs = [out]
        elif reads == "big5" and script in ("s2t", "t2s"):
            # Big5 only when it holds the result: the program's result may differ from
            # OpenCC's in a character that decides it, so the check looks at what was
            # written.
            outputs = ["big5", "ansi"]
        else:
            outputs = [reads]
        return Expected(text, outputs, not no_bom, read.count("?"), script in ("s2big5", "t2big5"))

    def name(self, source, script):
        """The file name after --rename: the script the option names on the working side."""
        stem = NAMES[source.script]
        if script in ("s2t", "t2big5", "big52t"):
            stem = self.opencc(stem, "s2tw.json")
        elif script in ("t2s", "s2big5", "big52s"):
            stem = self.opencc(stem, "tw2s.json")
        return "%s_%s.txt" % (stem, source.key)


# --- comparing ------------------------------------------------------------------------


def is_han(char):
    return unicodedata.name(char, "").startswith("CJK ")


def differences(written, wanted, big5_forms_too=False):
    """(Han characters that differ, the first other difference or None). A Han character
    against "?" is a Han difference: the program may find a Big5 form where the oracle
    has none. With `big5_forms_too`, a character Big5 lacks (or its "?") written as a Han
    character Big5 has is no difference at all: that is the Big5 options' variant rule
    (膓 -> 腸, 竝 -> 並), which OpenCC has no table for."""
    if written == wanted:
        return 0, None
    if len(written) == len(wanted):
        pairs = [(a, b, i) for i, (a, b) in enumerate(zip(written, wanted)) if a != b]
    else:
        pairs = []
        matcher = difflib.SequenceMatcher(None, written, wanted, autojunk=False)
        for tag, a0, a1, b0, b1 in matcher.get_opcodes():
            if tag == "equal":
                continue
            a = written[a0:a1]
            b = wanted[b0:b1]
            for k in range(max(len(a), len(b))):
                pairs.append((a[k] if k < len(a) else "", b[k] if k < len(b) else "", a0 + k))
    han = 0
    for a, b, at in pairs:
        if big5_forms_too and a and b and is_han(a) and big5_holds(a) and (b == "?" or is_han(b) and not big5_holds(b)):
            continue
        tolerable = (is_han(a) or a == "?") and (is_han(b) or b == "?") if a and b else False
        if not tolerable:
            return han, "at %d: wrote %r, expected %r (around %r vs %r)" % (
                at, a, b, written[max(0, at - 12):at + 12], wanted[max(0, at - 12):at + 12])
        han += 1
    return han, None


def tolerance(text):
    han = sum(1 for c in text if is_han(c))
    return max(3, math.ceil(30 * han / 10000))


def losses_reported(stderr):
    """(characters the output cannot hold, byte sequences not valid) from the message."""
    cannot = re.search(r"(\d+) character\(s\) \S+ cannot hold", stderr)
    invalid = re.search(r"(\d+) byte sequence\(s\) not valid", stderr)
    return int(cannot.group(1)) if cannot else 0, int(invalid.group(1)) if invalid else 0


def check_written(data, stderr, want):
    """None when the bytes are the oracle's text in an allowed encoding with the right
    mark and honestly reported losses; otherwise what is wrong."""
    problems = []
    for output in want.outputs:
        mark = MARK.get(output, b"")
        body = data
        if want.mark and mark:
            if not data.startswith(mark):
                problems.append("%s: no byte-order mark" % output)
                continue
            body = data[len(mark):]
        try:
            written = DECODE[output](body)
        except UnicodeDecodeError as e:
            problems.append("%s: not valid %s (%s)" % (output, output, e.reason))
            continue
        if written.startswith("\ufeff"):
            problems.append("%s: a byte-order mark that must not be there" % output)
            continue
        wanted = want.text
        if output == "big5":
            wanted = in_big5(wanted)
        han, other = differences(written.translate(TABLE_VARIANTS), wanted.translate(TABLE_VARIANTS), want.big5_forms)
        limit = tolerance(wanted)
        if other is not None:
            problems.append("%s: %s" % (output, other))
            continue
        if han > limit:
            problems.append("%s: %d Han characters differ (%d allowed)" % (output, han, limit))
            continue
        # The losses are those the message counts: each "?" the program wrote for a
        # character, each U+FFFD for bytes that were no character.
        lost = written.count("?") - want.questions
        invalid = written.count("\ufffd")
        cannot, undecodable = losses_reported(stderr)
        said = "converted with losses" in stderr
        if said != (lost + invalid > 0) or lost != cannot or invalid != undecodable:
            problems.append("%s: %d '?' and %d U+FFFD written, message %r" % (output, lost, invalid, stderr.strip()))
            continue
        # 自动 with Big5 read: Big5 when it holds the result, otherwise ANSI.
        if output == "big5" and "ansi" in want.outputs and lost > 0:
            problems.append("big5: written in Big5, which cannot hold the result")
            continue
        if output == "ansi" and "big5" in want.outputs and all(big5_holds(c) for c in written):
            problems.append("ansi: written in ANSI though Big5 holds the result")
            continue
        return None
    return "; ".join(problems)


# --- running --------------------------------------------------------------------------


def run_cli(cli, options, src, out=None, rename=False, overwrite=False):
    inp, output, script, eol, no_bom = options
    flags = [("--no-bom", no_bom), ("--rename", rename), ("--overwrite", overwrite)]
    args = [cli, "convert", "--in", inp, "--out", output, "--script", script, "--eol", eol]
    args += [flag for flag, on in flags if on] + [src] + ([out] if out is not None else [])
    done = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    return done.returncode, done.stdout.decode("utf-8", "replace"), done.stderr.decode("utf-8", "replace")


def describe(source, options, variant=""):
    inp, out, script, eol, no_bom = options
    return "%s %s: --in %s --out %s --script %s --eol %s%s%s" % (
        source.script, source.key, inp, out, script, eol, " --no-bom" if no_bom else "", variant)


class Case:
    def __init__(self, source, options, want, output, variants):
        self.source = source
        self.options = options
        self.want = want  # what the oracle expects
        self.output = output  # the path to write into the output folder
        self.variants = variants  # the runs over the original and with --rename


def run_case(cli, case, oracle):
    """Runs one combination into the output folder (and the sampled variants after it);
    returns a list of (description, problem or None)."""
    source, options = case.source, case.options
    code, _, stderr = run_cli(cli, options, source.path, case.output)
    if code != 0:
        return [(describe(source, options), "refused: exit %d, %r" % (code, stderr.strip()), "")]
    with open(case.output, "rb") as f:
        data = f.read()
    os.remove(case.output)
    lossy = "converted with losses" in stderr
    outcome = "converted with losses" if lossy else "converted"
    results = [(describe(source, options), check_written(data, stderr, case.want), outcome)]
    for variant in case.variants:
        results.append(run_variant(cli, case, variant, data, lossy, oracle))
    return results


def run_variant(cli, case, variant, data, lossy, oracle):
    """Over the original, with --rename, or both: the same bytes as into the output
    folder, under the right name; over the original a lossy conversion is refused and the
    original stays."""
    source, options = case.source, case.options
    overwrite = "overwrite" in variant
    rename = "rename" in variant
    label = describe(source, options, " --" + " --".join(variant))
    folder = case.output + "_".join(variant)
    os.makedirs(folder)
    path = os.path.join(folder, source.name)
    if overwrite:
        shutil.copyfile(source.path, path)
    code, _, stderr = run_cli(cli, options, source.path if not overwrite else path,
                              None if overwrite else path, rename=rename, overwrite=overwrite)
    script = options[2]
    name = oracle.name(source, script) if rename and script != "none" else source.name
    target = os.path.join(folder, name)
    present = sorted(os.listdir(folder))
    if overwrite and lossy:
        if code == 0 or "cannot hold" not in stderr and "not valid" not in stderr:
            return label, "over the original a lossy conversion must be refused: exit %d, %r" % (
                code, stderr.strip()), ""
        with open(path, "rb") as f:
            kept = f.read()
        if present != [source.name] or kept != source.bytes:
            return label, "refused, but the original was changed or moved: %s" % present, ""
        return label, None, "refused over the original (losses)"
    if code != 0:
        return label, "refused: exit %d, %r" % (code, stderr.strip()), ""
    if present != [name]:
        return label, "files %s, expected only %s" % (present, name), ""
    with open(target, "rb") as f:
        written = f.read()
    if written != data:
        return label, "wrote other bytes than into the output folder (%d vs %d bytes)" % (len(written), len(data)), ""
    return label, None, "converted (%s)" % " and ".join(variant)


def run_zero_case(cli, source, options, folder, overwrite):
    label = "zero byte, " + describe(source, options, " --overwrite" if overwrite else "")
    os.makedirs(folder)
    path = os.path.join(folder, source.name)
    if overwrite:
        shutil.copyfile(source.path, path)
        code, _, stderr = run_cli(cli, options, path, overwrite=True)
    else:
        code, _, stderr = run_cli(cli, options, source.path, path)
    if code == 0 or "not a text file" not in stderr:
        return label, "a file with a 00 byte must be refused as no text: exit %d, %r" % (code, stderr.strip()), ""
    if overwrite:
        with open(path, "rb") as f:
            if f.read() != source.bytes:
                return label, "refused, but the original was changed", ""
    elif os.path.exists(path):
        return label, "refused, but an output was written", ""
    return label, None, "refused as no text"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("cli")
    parser.add_argument("--seed", type=int, default=23)
    parser.add_argument("--sample", type=float, default=0.1, help="share of combinations also run over the "
                        "original and with --rename")
    parser.add_argument("--eol-sample", type=float, default=0.25, help="share of combinations run with the "
                        "Unix and Mac line endings")
    parser.add_argument("--full", action="store_true", help="every line ending in every combination")
    parser.add_argument("--jobs", type=int, default=2)
    args = parser.parse_args()
    archive = corpus_archive()
    if archive is None:
        print("st-texts-public.tar.xz not found: skipped")
        return SKIP
    if shutil.which("opencc") is None:
        print("the opencc command is missing: install opencc (scripts/setup.sh does)")
        return 1
    oracle = Oracle()
    rng = random.Random(args.seed)
    work = tempfile.mkdtemp(prefix="cw-option-space-")
    try:
        sources = make_sources(archive, work)
        for source in sources:
            how = subprocess.run([args.cli, "detect", source.path], capture_output=True, text=True).stdout
            source.auto_sure = "statistics" in how and "uncertain" not in how
        os.makedirs(os.path.join(work, "out"))
        jobs = []
        for source in sources:
            for options in itertools.product(("auto", source.own_input), OUTPUTS, SCRIPTS, EOLS, (False, True)):
                # Keep and one change in full (they take different ways through the
                # program); the other two changes on a sample, unless --full.
                if options[3] in ("unix", "mac") and rng.random() >= args.eol_sample and not args.full:
                    continue
                sampled = rng.random() < args.sample
                variants = [("overwrite",), ("rename",), ("overwrite", "rename")] if sampled else []
                oracle.name(source, options[2])
                # The oracle's texts are all made here, before the threads start.
                case = Case(source, options, oracle.expect(source, options),
                            os.path.join(work, "out", "%d.txt" % len(jobs)), variants)
                jobs.append(lambda case=case: run_case(args.cli, case, oracle))
        for source in zero_sources(sources):
            for inp, out, script in itertools.product(("auto", source.own_input), OUTPUTS, SCRIPTS):
                options = (inp, out, script, "keep", False)
                folder = os.path.join(work, "out", "zero%d" % len(jobs))
                overwrite = rng.random() < 0.5
                jobs.append(lambda source=source, options=options, folder=folder, overwrite=overwrite:
                            [run_zero_case(args.cli, source, options, folder, overwrite)])
        passed = failed = 0
        outcomes = collections.Counter()
        with concurrent.futures.ThreadPoolExecutor(max_workers=args.jobs) as pool:
            for results in pool.map(lambda job: job(), jobs):
                for label, problem, outcome in results:
                    if problem is None:
                        passed += 1
                        outcomes[outcome] += 1
                    else:
                        failed += 1
                        print("FAIL %s: %s" % (label, problem))
        print("passed: " + ", ".join("%d %s" % (n, what) for what, n in sorted(outcomes.items())))
        print("%d passed, %d failed" % (passed, failed))
        return 0 if failed == 0 else 1
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
