#!/usr/bin/env python3
"""Generates the Simplified/Traditional conversion tables of the script conversion.

Reads the OpenCC dictionaries in third_party/data/opencc and writes
src/convert/generated/script_tables.cpp with, for each direction, a character table and
a phrase table, and the table of Big5 forms:

- Simplified->Traditional: the usual candidate of STCharacters, then the form Taiwan
  uses (TWVariants), as Traditional text in Big5 writes it, and the phrases of
  STPhrases. Text is matched as OpenCC segments it (longest phrase first, then on
  after it), so phrases that convert like their characters are kept where they hold
  a word together against a phrase starting inside it.
- Traditional->Simplified: TSCharacters, except for characters that Simplified text
  uses in their own right (see simplified_keeps), and the phrases of TSPhrases; the
  Taiwan forms Simplified->Traditional writes go back by word (undo_phrases).
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
    """A character table and the phrases that take part in matching.

    Text is matched the way OpenCC segments it: at each position the longest phrase of
    the dictionary, or else one character, and matching goes on after it, so a phrase
    never starts inside another matched word. A phrase that converts like its characters
    still matters, because it holds its characters together (十进制 keeps 制表 -> 製表 from
    matching in 以十进制表示); it is kept when leaving it out could let a phrase start
    inside it (see keep_blocking)."""

    def __init__(self, chars, forms_of):
        self.chars = {s: t for s, t in chars.items() if s != t}
        self.forms_of = forms_of  # character -> the forms a phrase may give it
        self.phrases = {}
        self.longest = None

    def by_characters(self, text):
        return "".join(self.chars.get(ch, ch) for ch in text)

    def convert(self, text):
        """The conversion itself: the longest phrase at each position, else a character."""
        if self.longest is None:
            self.longest = max(map(len, self.phrases), default=1)
        longest = self.longest
        out, i = [], 0
        while i < len(text):
            for n in range(min(longest, len(text) - i), 1, -1):
                if text[i:i + n] in self.phrases:
                    out.append(self.phrases[text[i:i + n]])
                    i += n
                    break
            else:
                out.append(self.chars.get(text[i], text[i]))
                i += 1
        return "".join(out)

    def use_phrases(self, phrases, finish):
        words = {}
        for source, candidates in phrases.items():
            if len(source) < 2:
                continue
            target = finish(candidates[0])
            # Every entry maps each character to one character. A few entries write
            # characters of the other script (軟肥皂 -> 软肥皂 in STPhrases): a phrase may
            # choose a character's own forms or another character of the output's script
            # (坐标 -> 座標), never one the character table would convert. Such an entry
            # still holds its word together, converted character by character.
            if len(target) != len(source) or any(
                    t != s and t not in self.forms_of(s) and self.chars.get(t, t) != t
                    for s, t in zip(source, target)):
                target = self.by_characters(source)
            words[source] = target
        self.phrases = keep_blocking(words, self.by_characters)
        self.longest = None


def keep_blocking(words, by_characters):
    """The phrases of `words` that longest-first matching needs to give the result it
    gives with all of them: those that convert differently from their characters, and
    those that keep such a phrase (or another kept one) from matching at one of their
    characters or from being cut short at their first. A phrase left out then only ever
    matched where each of its characters converts alone, which is what it gives."""
    kept = {s: t for s, t in words.items() if t != by_characters(s)}
    prefixes = set()
    def note(word):
        prefixes.update(word[:n] for n in range(1, len(word) + 1))
    for word in kept:
        note(word)
    def blocks(word):
        if any(word[:n] in kept for n in range(2, len(word))):
            return True
        for k in range(1, len(word)):
            rest = word[k:]
            if rest in prefixes or any(rest[:n] in kept for n in range(2, len(rest))):
                return True
        return False
    pending = [s for s in words if s not in kept]
    while True:
        found = [s for s in pending if blocks(s)]
        if not found:
            return kept
        for s in found:
            kept[s] = words[s]
            note(s)
        pending = [s for s in pending if s not in kept]


def simplified_to_traditional(st, tw, st_phrases):
    def finish(text):
        return "".join(tw.get(ch, [ch])[0] for ch in text)
    chars = {s: finish(c[0]) for s, c in st.items() if len(s) == 1 and len(c[0]) == 1}
    # Taiwan's forms apply to the whole result, so also to characters that have no
    # Simplified pair (着 -> 著).
    for ch, candidates in tw.items():
        chars.setdefault(ch, candidates[0])
    conversion = Conversion(chars, lambda ch: [finish(t) for t in st.get(ch, [])])
    conversion.use_phrases(st_phrases, finish)
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
    """TSCharacters without the characters Simplified text uses itself. Taiwan's forms
    that TSCharacters lacks (簷, 痺, 著) stay, as OpenCC's t2s leaves them: Simplified text
    writes them too. Phrases: TSPhrases."""
    guarded = phrase_kept_characters(ts_phrases)
    chars = {}
    for t, candidates in ts.items():
        if len(t) == 1 and len(candidates[0]) == 1 and \
                not simplified_keeps(t, candidates[0], usual_traditional, guarded):
            chars[t] = candidates[0]
    def forms_of(ch):
        return ts.get(ch, []) + [s for t in tw_rev.get(ch, []) for s in ts.get(t, [t])]
    conversion = Conversion(chars, forms_of)
    conversion.use_phrases(ts_phrases, lambda text: text)
    return conversion


# Words with 着 as Simplified text writes them. Simplified->Traditional writes 着 as 著,
# the form Taiwan uses, and Simplified text also writes 著 where it reads zhù (著作,
# 显著), so 著 cannot go back to 着 by itself: it goes back in these words. 着 after a
# verb (看着, 意味着) and in the words it starts (着手, 着急); a verb of two characters is
# named where its last character alone would also be read before a zhù (努力着: 力著).
ZHE_AFTER = (
    "看听说讲想念拿带跟接随等坐站躺靠趴蹲跪走跑跳笑哭唱喊叫写读吃喝穿戴抱背扛提举握抓牵拉扶推"
    "挂贴放摆插盖关开亮闭睁望盯瞪瞧守陪领引挨顺沿朝向冲对为凭借藉按照趁仗有含藏装载印刻画"
    "绣闪飘飞流淌响燃烧冒滴挤围绕转摇晃忙急盼爱怕闹玩骂嚷数算记试学练干做弄搞撑支捧端揣夹"
    "叼咬嚼惦瞒掖捂堵压捏攥披裹系缠绑捆拴锁留剩闲活过伴憋忍熬顶挺立躲睡醒哼喘叹吼摸搂拥驮"
    "拖拽扯揪托踩踏蹬迈跨骑乘敲拍弹吹奏舞演味待满续持视临征示历受烁息享配控制治管注担"
    "找见够碰猜点表映扎垂育索述叨存染长透忧逗擦搓扭撒洒摊衬耀眺住吸逼饿觉晒泡浸煮蒸烤炖咳嘟吵弯蜷"
    "缩伸张歪斜侧仰俯倚偎依搭挎揽搀押赶追逃溜荡漂浮沉泛涌滚翻卷忆思喃霍嵌得")
ZHE_WORDS = (
    "存在着 努力着 工作着 发展着 变化着 进行着 影响着 决定着 思考着 关注着 关心着 生活着 坚持着 "
    "担心着 关切着 重复着 讲述着 描述着 叙述着 记录着 保存着 保留着 继承着 承载着 寄托着 "
    "着手 着想 着眼 着重 着落 着陆 着迷 着色 着装 着急 着火 着凉 着实 着力 衣着 执着 沉着 附着 穿着")


def zhe_words():
    return [ch + "着" for ch in ZHE_AFTER] + ZHE_WORDS.split()


def undo_phrases(to_traditional, to_simplified, ts, words, simplified_words, tw_rev_phrases):
    """Traditional word -> the Simplified word it came from, for the words whose
    Traditional form the character table does not take back (香菸 -> 香烟, 意味著 -> 意味着).

    A word is taken when it is Simplified text (the table leaves it) and every character
    that goes back is the one Simplified->Traditional writes for it (著 for 着), the one
    TSCharacters gives (菸 -> 烟) or one that Simplified text does not use (揹, outside
    GB2312), so that 覆 of 复盖 (覆蓋) stays; not when its Traditional form is itself a word of
    Simplified text (合著, co-written) or one that Taiwan's text keeps (顯著), or two
    words meet in one form. A word ending in 著 is also kept from taking the 著 of a
    word of zhù (有著名 is 有 著名, not 有着 名)."""
    def goes_back(t, s):
        return t == s or to_traditional.chars.get(s) == t or ts.get(t, [t])[0] == s or not in_charset(t, "gb2312")
    found = {}
    for word in words:
        if len(word) < 2 or to_simplified.by_characters(word) != word:
            continue
        traditional = to_traditional.convert(word)
        if traditional not in simplified_words and traditional not in tw_rev_phrases and len(traditional) == len(word):
            found.setdefault(traditional, set()).add(word)
    undo = {}
    for traditional, sources in found.items():
        word = min(sources)
        if len(sources) == 1 and to_simplified.convert(traditional) != word and \
                all(goes_back(t, s) for t, s in zip(traditional, word)):
            undo[traditional] = word
    zhu = [w for w in tw_rev_phrases if w.startswith("著")]
    for t, s in list(undo.items()):
        if t.endswith("著"):
            for word in zhu:
                simplified = s[:-1] + to_simplified.convert(word)
                undo.setdefault(t[:-1] + word, simplified)
                undo.setdefault(simplified, simplified)
    return {t: [s] for t, s in undo.items()}


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


def emit_phrases(name, conversion):
    """A phrase that converts like its characters is written without its conversion."""
    def row(pair):
        source, target = pair
        if target == conversion.by_characters(source):
            return '{u8"%s", nullptr},' % source
        return '{u8"%s", u8"%s"},' % pair
    return emit_table("ScriptPhrase", name, sorted(conversion.phrases.items()), 4, row)


def generate():
    st = read_dict("STCharacters.txt")
    ts = read_dict("TSCharacters.txt")
    tw = read_dict("TWVariants.txt")
    tw_rev = read_dict("TWVariantsRev.txt")
    hk = read_dict("HKVariants.txt")
    hk_rev = read_dict("HKVariantsRev.txt")

    st_phrases = read_dict("STPhrases.txt")
    to_traditional = simplified_to_traditional(st, tw, st_phrases)
    usual = {s: t for s, t in to_traditional.chars.items()}
    ts_phrases = read_dict("TSPhrases.txt")
    to_simplified = traditional_to_simplified(ts, ts_phrases, tw_rev, usual)
    simplified_words = set(st_phrases) | set(zhe_words())
    undo = undo_phrases(to_traditional, to_simplified, ts, sorted(simplified_words), simplified_words,
                        read_dict("TWVariantsRevPhrases.txt"))
    to_simplified.use_phrases(dict(undo, **ts_phrases), lambda text: text)

    produced = gbk_characters() | set(to_traditional.chars.values())
    for target in to_traditional.phrases.values():
        produced.update(target)
    forms = big5_forms(st, ts, tw, tw_rev, hk, hk_rev, read_unihan_variants(), produced)

    parts = [
        "// generated by tools/gen_script_tables.py - do not edit",
        "// Source: OpenCC's STCharacters, STPhrases, TSCharacters, TSPhrases and variant tables",
        "// (Apache-2.0, see third_party/data/opencc). Characters as code points, phrases as UTF-8;",
        "// a phrase without a conversion converts character by character.",
        '#include "convert/generated/script_tables.h"',
        "",
        "namespace cw {",
        "",
        emit_chars("kTraditionalChars", to_traditional.chars),
        "",
        emit_phrases("kTraditionalPhrases", to_traditional),
        "",
        emit_chars("kSimplifiedChars", to_simplified.chars),
        "",
        emit_phrases("kSimplifiedPhrases", to_simplified),
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
