// Rewriting the encoding declarations of web files for their output.
#include "convert/declaration.h"

#include <algorithm>
#include <unordered_set>
#include <utility>
#include <vector>

#include "convert/charset_scan.h"
#include "convert/reading.h"
#include "text/text.h"

namespace cw {
namespace {

struct WebExtension {
  std::string_view extension;
  WebFileKind kind;
};
constexpr WebExtension kWebExtensions[] = {
    {"htm", WebFileKind::Page},   {"html", WebFileKind::Page}, {"shtml", WebFileKind::Page},
    {"xhtml", WebFileKind::Page}, {"php", WebFileKind::Page},  {"asp", WebFileKind::Page},
    {"aspx", WebFileKind::Page},  {"jsp", WebFileKind::Page},  {"xml", WebFileKind::Xml},
    {"xsl", WebFileKind::Xml},    {"svg", WebFileKind::Xml},   {"css", WebFileKind::StyleSheet},
};

// The encodings a label names, as browsers read labels. Labels outside these (cp936,
// euc-cn, ...) a browser does not know, so they are replaced whatever the output.
enum class LabelFamily { Other, Utf8, Gbk, Gb18030, Big5, Big5Hkscs, Utf16, Utf16Le, Utf16Be };

LabelFamily FamilyOf(std::string_view label) {
  struct Entry {
    std::string_view label;
    LabelFamily family;
  };
  static constexpr Entry kLabels[] = {
      {"utf-8", LabelFamily::Utf8},      {"utf8", LabelFamily::Utf8},        {"unicode-1-1-utf-8", LabelFamily::Utf8},
      {"gbk", LabelFamily::Gbk},         {"gb2312", LabelFamily::Gbk},       {"x-gbk", LabelFamily::Gbk},
      {"chinese", LabelFamily::Gbk},     {"csgb2312", LabelFamily::Gbk},     {"csiso58gb231280", LabelFamily::Gbk},
      {"gb_2312", LabelFamily::Gbk},     {"gb_2312-80", LabelFamily::Gbk},   {"iso-ir-58", LabelFamily::Gbk},
      {"gb18030", LabelFamily::Gb18030}, {"big5", LabelFamily::Big5},        {"cn-big5", LabelFamily::Big5},
      {"csbig5", LabelFamily::Big5},     {"x-x-big5", LabelFamily::Big5},    {"big5-hkscs", LabelFamily::Big5Hkscs},
      {"utf-16", LabelFamily::Utf16},    {"utf-16le", LabelFamily::Utf16Le}, {"utf-16be", LabelFamily::Utf16Be},
  };
  const std::string lower = text::AsciiLower(label);
  for (const Entry& entry : kLabels) {
    if (lower == entry.label) return entry.family;
  }
  return LabelFamily::Other;
}

bool IsUtf16Family(LabelFamily family) {
  return family == LabelFamily::Utf16 || family == LabelFamily::Utf16Le || family == LabelFamily::Utf16Be;
}

// A character outside GBK: a four-byte code of GB18030, or its euro sign (A2E3), which
// code page 936 has at 80.
bool HoldsNonGbk(std::string_view text) {
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) continue;
    const auto next = static_cast<unsigned char>(text[i + 1]);
    if ((next >= 0x30 && next <= 0x39) || (lead == 0xA2 && next == 0xE3)) return true;
    ++i;
  }
  return false;
}

// The characters Big5-HKSCS writes at codes where code page 950 has another character:
// a page labelled "big5" is read with code page 950 there (see Charset::Big5Web).
const std::unordered_set<char32_t>& CharactersBig5Misreads() {
  static const std::unordered_set<char32_t> characters = [] {
    std::unordered_set<char32_t> found;
    std::u32string web, hkscs;
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
      for (int trail = 0x40; trail <= 0xFE; ++trail) {
        if (trail > 0x7E && trail < 0xA1) continue;
        const char code[2] = {static_cast<char>(lead), static_cast<char>(trail)};
        web.clear();
        hkscs.clear();
        VisitCharacters({code, 2}, Charset::Big5Web, [&web](char32_t c) { web.push_back(c); });
        VisitCharacters({code, 2}, Charset::Big5Hkscs, [&hkscs](char32_t c) { hkscs.push_back(c); });
        if (web != hkscs) found.insert(hkscs.begin(), hkscs.end());
      }
    }
    found.erase(0xFFFD);
    return found;
  }();
  return characters;
}

bool NeedsHkscsLabel(std::string_view text) {
  const std::unordered_set<char32_t>& misread = CharactersBig5Misreads();
  bool needs = false;
  VisitCharacters(text, kWorkingCharset, [&](char32_t c) { needs = needs || misread.count(c) != 0; });
  return needs;
}

enum class Place { Page, Xml };  // how the standards read a UTF-16 file's declaration

// What the label must become for the output, or the old label where it names the
// output already. `text` is asked only where the label depends on the characters.
class LabelChooser {
 public:
  LabelChooser(std::string_view text, Charset output, bool withMark) : text_(text), output_(output), mark_(withMark) {}

  std::string For(std::string_view old, Place place) {
    const LabelFamily family = FamilyOf(old);
    const std::string_view wanted = Wanted(family, place);
    if (wanted.empty()) return std::string(old);
    // An upper-case label stays upper case ("GB2312" -> "UTF-8").
    const bool upper = std::any_of(old.begin(), old.end(), [](char c) { return c >= 'A' && c <= 'Z'; }) &&
                       std::none_of(old.begin(), old.end(), [](char c) { return c >= 'a' && c <= 'z'; });
    std::string label(wanted);
    if (upper) {
      std::transform(label.begin(), label.end(), label.begin(),
                     [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; });
    }
    return label;
  }

 private:
  // The new label; empty where the old one is right.
  std::string_view Wanted(LabelFamily family, Place place) {
    switch (output_) {
      case Charset::Utf8: return family == LabelFamily::Utf8 ? "" : "utf-8";
      case Charset::Gb18030:
        if (NonGbk()) return family == LabelFamily::Gb18030 ? "" : "gb18030";
        return family == LabelFamily::Gbk || family == LabelFamily::Gb18030 ? "" : "gbk";
      case Charset::Big5:
      case Charset::Big5Web: return family == LabelFamily::Big5 ? "" : "big5";
      case Charset::Big5Hkscs:
        if (family == LabelFamily::Big5Hkscs) return "";
        if (!Hkscs()) return family == LabelFamily::Big5 ? "" : "big5";
        return "big5-hkscs";
      case Charset::Utf16Le:
      case Charset::Utf16Be: return WantedUtf16(family, place);
      case Charset::Unknown: break;
    }
    return "";
  }

  // With a mark, the mark declares the file: an XML declaration then says "UTF-16", and a
  // page's meta (or a style sheet's @charset) is read as UTF-8 by browsers, whatever
  // UTF-16 label it has. Without a mark only the label of the byte order is right.
  std::string_view WantedUtf16(LabelFamily family, Place place) const {
    const bool little = output_ == Charset::Utf16Le;
    if (!mark_) {
      if (family == (little ? LabelFamily::Utf16Le : LabelFamily::Utf16Be)) return "";
      return little ? "utf-16le" : "utf-16be";
    }
    if (place == Place::Xml) return family == LabelFamily::Utf16 ? "" : "utf-16";
    return family == LabelFamily::Utf8 || IsUtf16Family(family) ? "" : "utf-8";
  }

  bool NonGbk() {
    if (nonGbk_ < 0) nonGbk_ = HoldsNonGbk(text_) ? 1 : 0;
    return nonGbk_ == 1;
  }
  bool Hkscs() {
    if (hkscs_ < 0) hkscs_ = NeedsHkscsLabel(text_) ? 1 : 0;
    return hkscs_ == 1;
  }

  std::string_view text_;
  Charset output_;
  bool mark_;
  int nonGbk_ = -1;
  int hkscs_ = -1;
};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f'; }
bool IsLabelCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
         c == '.' || c == ':';
}

// One label to replace; with `length` 0 it is inserted, between `before` and `after`.
struct Replacement {
  size_t offset = 0;
  size_t length = 0;
  std::string label;
  std::string before;
  std::string after;
  DeclarationForm form = DeclarationForm::None;
  std::string oldLabel;
};

// The label of the first "charset = value" in a meta tag's text, or length 0.
std::pair<size_t, size_t> MetaLabel(std::string_view tag) {
  for (size_t at = text::FindNoCase(tag, "charset"); at != text::npos; at = text::FindNoCase(tag, "charset", at + 7)) {
    size_t p = at + 7;
    while (p < tag.size() && IsBlank(tag[p])) ++p;
    if (p >= tag.size() || tag[p] != '=') continue;
    ++p;
    while (p < tag.size() && IsBlank(tag[p])) ++p;
    if (p < tag.size() && (tag[p] == '"' || tag[p] == '\'')) ++p;
    size_t end = p;
    while (end < tag.size() && IsLabelCharacter(tag[end])) ++end;
    if (end > p) return {p, end - p};
  }
  return {0, 0};
}

// The meta tags of the scan that declare an encoding, up to the body.
void FindMetaLabels(std::string_view text, LabelChooser& chooser, std::vector<Replacement>& out, size_t* metaEnd) {
  size_t searched = 0;  // no "<body" before this
  VisitScannedMetaTags(text, [&](size_t offset, std::string_view tag) {
    if (text::FindNoCase(text.substr(0, offset), "<body", searched) != text::npos) return false;
    searched = offset;
    // "<metadata" and the like are read by the scan but declare nothing.
    if (!IsBlank(tag[0]) && tag[0] != '/') return true;
    const auto [at, length] = MetaLabel(tag);
    if (length == 0) return true;
    if (*metaEnd == 0) *metaEnd = offset + tag.size() + 1;
    const std::string_view old = text.substr(offset + at, length);
    Replacement r;
    r.offset = offset + at;
    r.length = length;
    r.label = chooser.For(old, Place::Page);
    r.form = DeclarationForm::MetaTag;
    r.oldLabel = std::string(old);
    if (r.label != old) out.push_back(std::move(r));
    return true;
  });
}

// The encoding of the XML declaration at the start; one is added to a declaration
// without it when the output is neither UTF-8 nor marked UTF-16 (what XML takes then).
void FindXmlLabel(std::string_view text, LabelChooser& chooser, Charset output, bool withMark,
                  std::vector<Replacement>& out) {
  const XmlDeclarationSpan span = FindXmlDeclaration(text);
  // "<?xml-stylesheet" is no declaration.
  if (!span.found || span.start + 5 >= text.size() || !IsBlank(text[span.start + 5])) return;
  Replacement r;
  r.form = DeclarationForm::XmlDeclaration;
  if (span.labelLength != 0) {
    const std::string_view old = text.substr(span.labelOffset, span.labelLength);
    r.offset = span.labelOffset;
    r.length = span.labelLength;
    r.label = chooser.For(old, Place::Xml);
    r.oldLabel = std::string(old);
    if (r.label != old) out.push_back(std::move(r));
    return;
  }
  const std::string_view declaration = text.substr(span.start, span.end - span.start);
  const bool implied =
      output == Charset::Utf8 || ((output == Charset::Utf16Le || output == Charset::Utf16Be) && withMark);
  if (implied || text::FindNoCase(declaration, "encoding") != text::npos) return;
  // After the version's value, where the grammar puts the encoding.
  const size_t version = text::FindNoCase(declaration, "version");
  if (version == text::npos) return;
  const size_t quote = declaration.find_first_of("\"'", version);
  if (quote == std::string_view::npos) return;
  const size_t close = declaration.find(declaration[quote], quote + 1);
  if (close == std::string_view::npos) return;
  r.offset = span.start + close + 1;
  r.label = chooser.For("", Place::Xml);
  r.before = std::string(" encoding=") + declaration[quote];
  r.after = std::string(1, declaration[quote]);
  out.push_back(std::move(r));
}

// @charset "label"; at the very start of a style sheet.
void FindCharsetRule(std::string_view text, LabelChooser& chooser, std::vector<Replacement>& out) {
  constexpr std::string_view kRule = "@charset";
  if (text.size() < kRule.size() || text::AsciiLower(text.substr(0, kRule.size())) != kRule) return;
  size_t p = kRule.size();
  const size_t blanks = p;
  while (p < text.size() && IsBlank(text[p])) ++p;
  if (p == blanks || p >= text.size() || (text[p] != '"' && text[p] != '\'')) return;
  const char quote = text[p++];
  size_t end = p;
  while (end < text.size() && IsLabelCharacter(text[end])) ++end;
  if (end == p || end + 1 >= text.size() || text[end] != quote || text[end + 1] != ';') return;
  const std::string_view old = text.substr(p, end - p);
  Replacement r;
  r.offset = p;
  r.length = end - p;
  r.label = chooser.For(old, Place::Page);
  r.form = DeclarationForm::CharsetRule;
  r.oldLabel = std::string(old);
  if (r.label != old) out.push_back(std::move(r));
}

// The bytes the working text's prefix takes in the output, the mark not counted. Exact
// but for a character Big5 lacks (written as one "?", counted as two bytes).
size_t EncodedLength(std::string_view prefix, Charset output) {
  if (output == Charset::Gb18030) return prefix.size();
  size_t length = 0;
  const size_t ascii = VisitCharacters(prefix, kWorkingCharset, [&](char32_t c) {
    switch (output) {
      case Charset::Utf8: length += c < 0x800 ? 2 : c < 0x10000 ? 3 : 4; break;
      case Charset::Utf16Le:
      case Charset::Utf16Be: length += c < 0x10000 ? 2 : 4; break;
      default: length += 2; break;
    }
  });
  const bool utf16 = output == Charset::Utf16Le || output == Charset::Utf16Be;
  return length + (utf16 ? 2 * ascii : ascii);
}

}  // namespace

WebFileKind WebFileKindOf(std::string_view fileName) {
  const size_t dot = fileName.rfind('.');
  if (dot == std::string_view::npos) return WebFileKind::None;
  const std::string extension = text::AsciiLower(fileName.substr(dot + 1));
  for (const WebExtension& entry : kWebExtensions) {
    if (extension == entry.extension) return entry.kind;
  }
  return WebFileKind::None;
}

bool IsWebFileName(std::string_view fileName) { return WebFileKindOf(fileName) != WebFileKind::None; }

DeclarationEdit RewriteDeclaration(std::string& workingText, std::string_view fileName, Charset output, bool withMark) {
  DeclarationEdit edit;
  edit.kind = WebFileKindOf(fileName);
  if (edit.kind == WebFileKind::None || output == Charset::Unknown) return edit;
  // The declaration is looked for where the reading rules look: up to a zero or 1A.
  const std::string_view text = TextForCharsetScan(workingText);
  LabelChooser chooser(workingText, output, withMark);
  std::vector<Replacement> replacements;
  if (edit.kind == WebFileKind::StyleSheet) {
    FindCharsetRule(text, chooser, replacements);
  } else {
    FindXmlLabel(text, chooser, output, withMark, replacements);
    if (edit.kind == WebFileKind::Page) FindMetaLabels(text, chooser, replacements, &edit.metaEnd);
  }
  std::sort(replacements.begin(), replacements.end(),
            [](const Replacement& a, const Replacement& b) { return a.offset < b.offset; });
  // From the back, so that the offsets before each replacement still hold.
  long long shift = 0;
  for (auto r = replacements.rbegin(); r != replacements.rend(); ++r) {
    const std::string with = r->before + r->label + r->after;
    workingText.replace(r->offset, r->length, with);
    const long long grown = static_cast<long long>(with.size()) - static_cast<long long>(r->length);
    if (edit.metaEnd != 0 && r->offset < edit.metaEnd) shift += grown;
  }
  if (edit.metaEnd != 0) edit.metaEnd = static_cast<size_t>(static_cast<long long>(edit.metaEnd) + shift);
  if (replacements.empty()) return edit;
  const Replacement& first = replacements.front();
  edit.changed = true;
  edit.form = first.form;
  edit.oldLabel = first.oldLabel;
  edit.newLabel = first.label;
  edit.offset = first.offset + first.before.size();
  edit.length = first.label.size();
  edit.count = replacements.size();
  return edit;
}

bool DeclarationPastPrescan(std::string_view workingText, const DeclarationEdit& edit, Charset output, bool withMark) {
  constexpr size_t kPrescanBytes = 1024;
  if (edit.metaEnd == 0 || output == Charset::Utf16Le || output == Charset::Utf16Be) return false;
  const size_t mark = withMark ? ByteOrderMark(output).size() : 0;
  // Cheap first: no charset writes a character in fewer bytes than ASCII's one.
  if (mark + edit.metaEnd > kPrescanBytes) return true;
  return mark + EncodedLength(workingText.substr(0, std::min(edit.metaEnd, workingText.size())), output) >
         kPrescanBytes;
}

DeclarationWarning CheckDeclaration(std::string_view workingText, const DeclarationEdit& edit, Charset output,
                                    bool withMark) {
  const bool utf16 = output == Charset::Utf16Le || output == Charset::Utf16Be;
  if (utf16 && !withMark && (edit.kind == WebFileKind::Page || edit.kind == WebFileKind::StyleSheet)) {
    return DeclarationWarning::Utf16WithoutMark;
  }
  return DeclarationPastPrescan(workingText, edit, output, withMark) ? DeclarationWarning::PastPrescan
                                                                     : DeclarationWarning::None;
}

std::string DeclarationChangeText(const DeclarationEdit& edit) {
  if (!edit.changed) return {};
  static const std::string words = FromUtf8(u8"声明 ");
  static const std::string arrow = FromUtf8(u8" → ");
  static const std::string none = FromUtf8(u8"（无）");
  return words + (edit.oldLabel.empty() ? none : edit.oldLabel) + arrow + edit.newLabel;
}

std::string DeclarationWarningText(DeclarationWarning warning) {
  switch (warning) {
    case DeclarationWarning::None: break;
    case DeclarationWarning::PastPrescan:
      return FromUtf8(u8"编码声明超出网页前 1024 字节，浏览器可能读不到：需加 BOM 或由服务器声明编码");
    case DeclarationWarning::Utf16WithoutMark:
      return FromUtf8(u8"无 BOM 的 UTF-16 网页，浏览器认不出编码：需加 BOM 或由服务器声明编码");
  }
  return {};
}

}  // namespace cw
