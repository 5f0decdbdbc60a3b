#!/usr/bin/env python3
"""Real GBK and Big5 pages and XML files, converted as the program converts them
(declaration_pages), must be read right by a browser's rules and by XML parsers, with no
byte-order mark and no server header to help them.

  check_declarations.py DECLARATION_PAGES

Pages: html5lib's WHATWG encoding sniffing (the meta prescan of the first 1024 bytes)
must pick the encoding the page is written in, and the text it then parses must be the
text of the page read in that encoding. XML files: xmllint must parse them with the
declared encoding and give the canonical form of the original; minidom (expat) must
parse the UTF-8 and UTF-16 ones. As a control, pages converted with their declaration
left alone must be misread: the check can tell.

The corpus is ../shared/data/corpora/realtext-public.tar.xz beside the repository (or
the folder CW_CORPORA names); without it the check is skipped (exit 77).
"""
import os
import subprocess
import sys
import tarfile
import tempfile

try:
    import html5lib
    from html5lib._inputstream import HTMLBinaryInputStream
except ImportError:
    # Debian's python3-html5lib is installed for Debian's python3, which may not be the
    # first one on the PATH.
    if os.path.exists("/usr/bin/python3") and os.path.realpath(sys.executable) != "/usr/bin/python3":
        os.execv("/usr/bin/python3", ["/usr/bin/python3"] + sys.argv)
    sys.exit("html5lib is missing: install python3-html5lib (scripts/setup.sh does)")
from xml.dom import minidom

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
SKIP = 77

# Output charset (the program's name) -> what a browser must call it (webencodings) and
# the Python codec the file is really in.
PAGE_OUTPUTS = [
    ("UTF-8", 0, "utf-8"),
    ("GB18030", 0, None),  # gbk, or gb18030 where the text needs it
    ("BIG5", 0, "big5"),
    ("BIG5-HKSCS", 0, "big5"),
    ("UTF-16LE", 1, "utf-16le"),
]
XML_OUTPUTS = [("UTF-8", 0), ("GB18030", 0), ("BIG5", 0), ("UTF-16LE", 1), ("UTF-16BE", 0)]
# Where Python's codecs and glibc's iconv map a code otherwise than the program (and the
# WHATWG tables) do: GB2312's A1AA and A1A4, Big5's A145. Not a matter of declarations.
TABLE_VARIANTS = str.maketrans({"\u2015": "\u2014", "\u30fb": "\u00b7", "\u2022": "\u2027"})
REAL_CODEC = {"UTF-8": "utf-8", "GB18030": "gb18030", "BIG5": "cp950", "BIG5-HKSCS": "big5hkscs",
              "UTF-16LE": "utf-16", "UTF-16BE": "utf-16-be"}


def corpus_archive():
    folder = os.environ.get("CW_CORPORA") or os.path.join(REPO, "..", "shared", "data", "corpora")
    path = os.path.join(folder, "realtext-public.tar.xz")
    return path if os.path.exists(path) else None


def sources(root):
    """The pages with a meta declaration and the XML files with an encoding declaration."""
    pages, xmls = [], []
    with open(os.path.join(root, "manifest.tsv"), encoding="utf-8") as manifest:
        next(manifest)
        for line in manifest:
            path, truth, _bom, meta = line.rstrip("\n").split("\t")[:4]
            if path.endswith(".html") and meta in ("gbk", "big5") or path in ("real/wiki/zh_cn.html",
                                                                                 "real/wiki/zh_tw.html"):
                pages.append(path)
            elif path.endswith(".xml") and meta.startswith("xml:") and meta != "xml:utf-8":
                xmls.append(path)
    return pages, xmls


def sniff(data):
    """What html5lib's encoding sniffing decides without any hint (chardet off)."""
    stream = HTMLBinaryInputStream(data, useChardet=False)
    encoding, confidence = stream.charEncoding
    return encoding.name, confidence


def page_text(source):
    return "".join(html5lib.parse(source, treebuilder="etree", namespaceHTMLElements=False).itertext())


def c14n(path):
    """The canonical form (UTF-8, no declaration) as text, or None where xmllint refuses the file."""
    run = subprocess.run(["xmllint", "--nonet", "--c14n", path], capture_output=True)
    return run.stdout.decode("utf-8").translate(TABLE_VARIANTS) if run.returncode == 0 else None


def xml_text(document):
    out = []

    def walk(node):
        for child in node.childNodes:
            if child.nodeType in (child.TEXT_NODE, child.CDATA_SECTION_NODE):
                out.append(child.data)
            walk(child)

    walk(document)
    return "".join(out)


class Checker:
    def __init__(self):
        self.passed = 0
        self.failed = 0

    def expect(self, ok, what):
        if ok:
            self.passed += 1
        else:
            self.failed += 1
            print("FAIL:", what)

    def page(self, path, row):
        _out, old, new, losses, warning, reads_back = row
        data = open(path, "rb").read()
        charset = self.charsets[path]
        name, confidence = sniff(data)
        wanted = {"GB18030": new.lower() if new.lower() in ("gbk", "gb18030") else "gbk"}.get(charset)
        wanted = wanted or dict((c, w) for c, _m, w in PAGE_OUTPUTS)[charset]
        self.expect(name == wanted, f"{path}: sniffed {name} ({confidence}), wanted {wanted}")
        parser = html5lib.HTMLParser(namespaceHTMLElements=False)
        parser.parse(data, useChardet=False)
        self.expect(parser.documentEncoding == wanted, f"{path}: parsed as {parser.documentEncoding}")
        # Python's big5 codec, behind html5lib's "big5", lacks the HKSCS codes the WHATWG
        # decoder has: there only the label can be checked.
        if losses == "0" and warning == "-" and charset != "BIG5-HKSCS":
            # The browser's reading against the bytes read in the charset they are in.
            real = data.decode(REAL_CODEC[charset], errors="replace")
            browser = html5lib.parse(data, treebuilder="etree", useChardet=False, namespaceHTMLElements=False)
            read = "".join(browser.itertext()).translate(TABLE_VARIANTS)
            self.expect(read == page_text(real).translate(TABLE_VARIANTS), f"{path}: text differs once parsed")
        self.expect(losses != "0" or reads_back == "1", f"{path}: the program reads it back otherwise")
        print(f"page {os.path.basename(path)}: {charset}: declared {old} -> {new}; sniffed {name} ({confidence})")

    def control(self, path, truth):
        name, _ = sniff(open(path, "rb").read())
        self.expect(name != "utf-8", f"{path}: a page converted to UTF-8 that still says {truth} was read as UTF-8")
        print(f"control {os.path.basename(path)}: still says {truth}, sniffed {name}: misread as expected")

    def xml_control(self, path, original):
        got = c14n(path)
        self.expect(got is None or got != c14n(original), f"{path}: UTF-8 that still says {original}'s label was read")
        print(f"control {os.path.basename(path)}: " + ("refused" if got is None else "misread") + " as expected")

    def xml(self, path, original, row):
        _out, old, new, _losses, _warning, reads_back = row
        expected = c14n(original)
        got = c14n(path)
        self.expect(got is not None, f"{path}: xmllint refused it (declared {new})")
        if _losses == "0":
            self.expect(got == expected, f"{path}: xmllint gives another document than the original")
        charset = self.charsets[path]
        # Without a mark and a meta tag the program's reading of UTF-16 is statistics.
        if _losses == "0" and charset != "UTF-16BE":
            self.expect(reads_back == "1", f"{path}: the program reads it back otherwise")
        if charset.startswith("UTF"):
            try:
                text = xml_text(minidom.parse(path))
                self.expect(text.translate(TABLE_VARIANTS) == xml_text(minidom.parseString(expected.encode("utf-8"))),
                            f"{path}: minidom reads other text")
            except Exception as error:  # expat's errors are of several kinds
                self.expect(False, f"{path}: minidom: {error}")
        print(f"xml {os.path.relpath(original)}: {charset}: declared {old} -> {new}")


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    driver = sys.argv[1]
    archive = corpus_archive()
    if archive is None:
        print("SKIPPED: realtext-public.tar.xz not found (../shared/data/corpora or CW_CORPORA)")
        return SKIP
    with tempfile.TemporaryDirectory() as work:
        with tarfile.open(archive) as tar:
            tar.extractall(work)
        pages, xmls = sources(work)
        lines, checker = [], Checker()
        checker.charsets = {}
        originals = {}
        out_dir = os.path.join(work, "out")
        os.mkdir(out_dir)
        for n, page in enumerate(pages):
            for charset, mark, _ in PAGE_OUTPUTS:
                out = os.path.join(out_dir, f"p{n}-{charset}.html")
                lines.append(f"{os.path.join(work, page)}\t{out}\t{charset}\t{mark}\t0")
                checker.charsets[out] = charset
            if not page.startswith("real/wiki"):
                out = os.path.join(out_dir, f"p{n}-kept.html")
                lines.append(f"{os.path.join(work, page)}\t{out}\tUTF-8\t0\t1")
                originals[out] = page
        for n, xml in enumerate(xmls):
            out = os.path.join(out_dir, f"x{n}-kept.xml")
            lines.append(f"{os.path.join(work, xml)}\t{out}\tUTF-8\t0\t1")
            originals[out] = os.path.join(work, xml)
            for charset, mark in XML_OUTPUTS:
                out = os.path.join(out_dir, f"x{n}-{charset}.xml")
                lines.append(f"{os.path.join(work, xml)}\t{out}\t{charset}\t{mark}\t0")
                checker.charsets[out] = charset
                originals[out] = os.path.join(work, xml)
        listing = os.path.join(work, "list.tsv")
        with open(listing, "w", encoding="utf-8") as f:
            f.write("\n".join(lines) + "\n")
        run = subprocess.run([driver, listing], capture_output=True, text=True)
        if run.returncode != 0:
            print(run.stderr)
            print("FAIL: the converter failed")
            return 1
        skipped = 0
        for line in run.stdout.splitlines():
            row = line.split("\t")
            path = row[0]
            if path.endswith("-kept.html"):
                checker.control(path, "its old label")
            elif path.endswith(".html"):
                checker.page(path, row)
            elif c14n(originals[path]) is None:
                skipped += 1  # the original itself is no well-formed XML
            elif path.endswith("-kept.xml"):
                checker.xml_control(path, originals[path])
            else:
                checker.xml(path, originals[path], row)
        print(f"{len(pages)} pages, {len(xmls)} XML files ({skipped // (len(XML_OUTPUTS) + 1)} not well-formed, skipped)")
        print(f"{checker.passed} passed, {checker.failed} failed")
        return 1 if checker.failed else 0


if __name__ == "__main__":
    sys.exit(main())
