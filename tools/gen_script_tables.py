#!/usr/bin/env python3
"""Generates the Simplified/Traditional conversion tables of the script conversion.

Reads the OpenCC dictionaries in third_party/data/opencc and writes
src/convert/generated/script_tables.cpp with, for each direction, a character table and
a phrase table, and the table of Big5 forms:

- Simplified->Traditional: the usual candidate of STCharacters, then the form Taiwan
  uses (TWVariants), as Traditional text in Big5 writes it. Phrases (STPhrases) are kept
  where they convert differently from their characters one by one.
- Traditional->Simplified: TSCharacters (after TWVariantsRev, so Taiwan's forms are read
  too), except for characters that Simplified text uses in their own right (see
  simplified_keeps); phrases from TSPhrases where they differ from the characters.
- Big5 forms: for every character that code page 950 lacks and that the conversions may
  produce or meet, the candidate or variant that code page 950 has (OpenCC's tables
  first, then Unihan's variants from third_party/data/unihan).

Every entry maps each character to one character, so a phrase keeps its length. Sides
outside GBK are kept: the working text is GB18030 and holds them.
Deterministic; `--check` exits 1 when the committed file differs from a fresh one.
"""
import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DATA = os.path.join(ROOT, "third_party", "data", "opencc")
UNIHAN = os.path.join(ROOT, "third_party", "data", "unihan", "Unihan_Variants.txt")
OUT = os.path.join(ROOT, "src", "convert", "generated", "script_tables.cpp")


def read_dict(name):
    """Source -> list of candidates, in file order."""
    entries = {}
    with open(os.path.join(DATA, name), encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if "\t" not in line:
                continue
            source, candidates = line.split("\t", 1)
            entries.setdefault(source, candidates.split(" "))
    return entries


def read_unihan_variants():
    """Character -> its Traditional, semantic and Z variants from Unihan, in that order."""
    fields = {"kTraditionalVariant": 0, "kSemanticVariant": 1, "kZVariant": 2}
    found = {}
    with open(UNIHAN, encoding="utf-8") as f:
        for line in f:
            if line.startswith("#") or not line.strip():
                continue
            code, field, value = line.rstrip("\n").split("\t")
            if field in fields:
                variants = [chr(int(v, 16)) for v in re.findall(r"U\+([0-9A-F]+)", value)]
                found.setdefault(chr(int(code[2:], 16)), {})[fields[field]] = variants
    return {ch: [v for key in sorted(by) for v in by[key]] for ch, by in found.items()}


def in_charset(ch, codec):
    try:
        ch.encode(codec)
    except UnicodeEncodeError:
        return False
    return True


def cp950_characters():
    """Every character that a two-byte code of code page 950 decodes to."""
    chars = set()
    for lead in range(0x81, 0xFF):
        for trail in list(range(0x40, 0x7F)) + list(range(0xA1, 0xFF)):
            try:
                chars.add(bytes([lead, trail]).decode("cp950"))
            except UnicodeDecodeError:
                pass
    return chars


def gbk_characters():
    chars = set()
    for lead in range(0x81, 0xFF):
        for trail in range(0x40, 0xFF):
            if trail == 0x7F:
                continue
            try:
                ch = bytes([lead, trail]).decode("gbk")
            except UnicodeDecodeError:
                continue
            if not 0xE000 <= ord(ch) <= 0xF8FF:
                chars.add(ch)
    return chars


class Conversion:
    """A character table and the phrases that convert differently from it."""

    def __init__(self, chars, forms_of):
        self.chars = {s: t for s, t in chars.items() if s != t}
        self.forms_of = forms_of  # character -> the forms a phrase may give it
        self.phrases = {}

    def by_characters(self, text):
        return "".join(self.chars.get(ch, ch) for ch in text)

    def add_phrases(self, phrases, finish):
        for source, candidates in phrases.items():
            target = finish(candidates[0])
            if len(source) < 2 or len(target) != len(source):
                continue
            # A few entries rewrite characters of the other script (軟肥皂 -> 软肥皂 in
            # STPhrases); a phrase may only choose among each character's own forms.
            if any(t != s and t not in self.forms_of(s) for s, t in zip(source, target)):
                continue
            if target != self.by_characters(source):
                self.phrases[source] = target


def simplified_to_traditional(st, tw, st_phrases):
    def finish(text):
        return "".join(tw.get(ch, [ch])[0] for ch in text)
    chars = {s: finish(c[0]) for s, c in st.items() if len(s) == 1 and len(c[0]) == 1}
    # Taiwan's forms apply to the whole result, so also to characters that have no
    # Simplified pair (着 -> 著).
    for ch, candidates in tw.items():
        chars.setdefault(ch, candidates[0])
    conversion = Conversion(chars, lambda ch: [finish(t) for t in st.get(ch, [])])
    conversion.add_phrases(st_phrases, finish)
    return conversion


def simplified_keeps(traditional, simplified, usual_traditional, guarded):
    """True for a Traditional character that Simplified text uses in its own right.

    GB2312 holds a few characters that TSCharacters maps, such as 摺, 菸, 醣 or 榘;
    Simplified text writes them, so they stay. They are mapped where the character is
    the usual Traditional form of its Simplified counterpart (後 for 后, 於 for 于: there
    Traditional text is what uses it), or where phrases keep its Simplified uses (乾坤,
    蒜薹) and the character alone is the Traditional one (乾淨)."""
    if not in_charset(traditional, "gb2312"):
        return False
    return usual_traditional.get(simplified) != traditional and traditional not in guarded


def phrase_kept_characters(phrases):
    """Characters that some phrase keeps as they are (a phrase that keeps its word whole
    guards the character against the character table)."""
    kept = set()
    for source, candidates in phrases.items():
        target = candidates[0]
        if len(target) == len(source):
            kept.update(s for s, t in zip(source, target) if s == t)
    return kept


def traditional_to_simplified(ts, ts_phrases, tw_rev, usual_traditional):
    guarded = phrase_kept_characters(ts_phrases)
    chars = {}
    for t, candidates in ts.items():
        if len(t) == 1 and len(candidates[0]) == 1 and \
                not simplified_keeps(t, candidates[0], usual_traditional, guarded):
            chars[t] = candidates[0]
    # Taiwan's forms (裡, 為, 啟) read as their standard forms first; those that Simplified
    # text writes itself (么, 著, 抬) stay.
    for t, candidates in tw_rev.items():
        standard = candidates[0]
        if len(t) == 1 and len(standard) == 1 and t not in chars and not in_charset(t, "gb2312"):
            chars[t] = chars.get(standard, standard)
    def forms_of(ch):
        return ts.get(ch, []) + [s for t in tw_rev.get(ch, []) for s in ts.get(t, [t])]
    conversion = Conversion(chars, forms_of)
    conversion.add_phrases(ts_phrases, lambda text: text)
    return conversion


def big5_forms(st, ts, tw, tw_rev, hk, hk_rev, unihan, produced):
    """Character outside code page 950 -> the candidate or variant that it has."""
    big5 = cp950_characters()
    forms = {}
    for ch in sorted(produced):
        if ch in big5 or len(ch) != 1:
            continue
        candidates = list(tw.get(ch, []))
        candidates += [tw.get(t, [t])[0] for t in st.get(ch, [])]
        for s in ts.get(ch, []):
            candidates += [tw.get(t, [t])[0] for t in st.get(s, [])] + [s]
        for table in (hk, tw_rev, hk_rev, unihan):
            candidates += table.get(ch, [])
        for s in ts.get(ch, []):
            candidates += unihan.get(s, [])
        for candidate in candidates:
            if len(candidate) == 1 and candidate in big5:
                forms[ch] = candidate
                break
    return forms


def emit_table(kind, name, rows, per_line, format_row):
    lines = ["const %s %s[] = {" % (kind, name)]
    for i in range(0, len(rows), per_line):
        lines.append("    " + " ".join(format_row(row) for row in rows[i:i + per_line]))
    lines.append("};")
    lines.append("const size_t %sSize = %d;" % (name, len(rows)))
    return "\n".join(lines)


def emit_chars(name, pairs):
    return emit_table("ScriptCharPair", name, sorted(pairs.items()), 6,
                      lambda p: "{0x%04X, 0x%04X}," % (ord(p[0]), ord(p[1])))


def emit_phrases(name, phrases):
    return emit_table("ScriptPhrase", name, sorted(phrases.items()), 4, lambda p: '{u8"%s", u8"%s"},' % p)


def generate():
    st = read_dict("STCharacters.txt")
    ts = read_dict("TSCharacters.txt")
    tw = read_dict("TWVariants.txt")
    tw_rev = read_dict("TWVariantsRev.txt")
    hk = read_dict("HKVariants.txt")
    hk_rev = read_dict("HKVariantsRev.txt")

    to_traditional = simplified_to_traditional(st, tw, read_dict("STPhrases.txt"))
    usual = {s: t for s, t in to_traditional.chars.items()}
    to_simplified = traditional_to_simplified(ts, read_dict("TSPhrases.txt"), tw_rev, usual)

    produced = gbk_characters() | set(to_traditional.chars.values())
    for target in to_traditional.phrases.values():
        produced.update(target)
    forms = big5_forms(st, ts, tw, tw_rev, hk, hk_rev, read_unihan_variants(), produced)

    parts = [
        "// generated by tools/gen_script_tables.py - do not edit",
        "// Source: OpenCC's STCharacters, STPhrases, TSCharacters, TSPhrases and variant tables",
        "// (Apache-2.0, see third_party/data/opencc). Characters as code points, phrases as UTF-8.",
        '#include "convert/generated/script_tables.h"',
        "",
        "namespace cw {",
        "",
        emit_chars("kTraditionalChars", to_traditional.chars),
        "",
        emit_phrases("kTraditionalPhrases", to_traditional.phrases),
        "",
        emit_chars("kSimplifiedChars", to_simplified.chars),
        "",
        emit_phrases("kSimplifiedPhrases", to_simplified.phrases),
        "",
        emit_chars("kBig5Forms", forms),
        "",
        "}  // namespace cw",
        "",
    ]
    return "\n".join(parts)


def main():
    text = generate()
    if "--check" in sys.argv[1:]:
        try:
            with open(OUT, encoding="utf-8") as f:
                current = f.read()
        except OSError:
            current = None
        if current != text:
            print("%s is out of date: run tools/gen_script_tables.py" % os.path.relpath(OUT, ROOT))
            return 1
        print("%s is up to date" % os.path.relpath(OUT, ROOT))
        return 0
    os.makedirs(os.path.dirname(OUT), exist_ok=True)
    with open(OUT, "w", encoding="utf-8", newline="\n") as f:
        f.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
