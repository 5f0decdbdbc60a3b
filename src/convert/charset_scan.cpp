// The meta-tag charset scan of web pages.
#include "convert/charset_scan.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "encoding/charset.h"
#include "platform/platform.h"
#include "text/text.h"

namespace cw {
namespace {

constexpr std::string_view kItemSeparator = "[fg]";

// Stand-ins for an empty delimiter: the start or the end of the text.
const std::string& HeadMarker() {
  static const std::string marker = FromUtf8(u8"#青禾头#");
  return marker;
}
const std::string& TailMarker() {
  static const std::string marker = FromUtf8(u8"#青禾尾#");
  return marker;
}

std::string UnquotePairs(std::string_view item) { return text::ReplaceAll(item, "''", "\""); }

std::string WithoutDoubleQuotes(std::string_view delimiter) {
  std::string out;
  out.reserve(delimiter.size());
  for (size_t pos = 0; pos < delimiter.size(); pos += text::CharLength(delimiter, pos)) {
    const size_t len = text::CharLength(delimiter, pos);
    if (len == 1 && delimiter[pos] == '"') continue;
    out.append(delimiter.substr(pos, len));
  }
  return out;
}

// The match between left and right found from `from`, as [start, end) of the result and
// the offset just past the right delimiter.
struct Span {
  bool found = false;
  size_t start = 0;
  size_t end = 0;
  size_t next = 0;
};

Span FindBetween(std::string_view text, std::string_view left, std::string_view right, size_t from, bool backward) {
  Span span;
  size_t leftAt;
  if (backward) {
    leftAt = text::FindLastNoCase(text.substr(0), left);
    if (leftAt != text::npos && leftAt < from) leftAt = text::npos;
  } else {
    leftAt = text::FindNoCase(text, left, from);
  }
  if (leftAt == text::npos) return span;
  const size_t start = leftAt + left.size();
  const size_t rightAt = text::FindNoCase(text, right, start);
  if (rightAt == text::npos) return span;
  span.found = true;
  span.start = start;
  span.end = rightAt;
  span.next = rightAt + right.size();
  return span;
}

std::string Widened(std::string_view text, const Span& span, const BetweenOptions& options) {
  const long long start = static_cast<long long>(span.start) - options.startOffset;
  const long long end = static_cast<long long>(span.end) + options.endOffset;
  const long long size = static_cast<long long>(text.size());
  const long long from = std::clamp(start, 0LL, size);
  const long long to = std::clamp(end, 0LL, size);
  if (to <= from) return {};
  return std::string(text.substr(static_cast<size_t>(from), static_cast<size_t>(to - from)));
}

// Applies the empty-delimiter markers: a copy of the text with the marker in front of or
// behind it, and the marker as the delimiter.
struct Prepared {
  std::string text;
  std::string left;
  std::string right;
  size_t shift = 0;  // how far the original text moved right in the copy
};

bool NeedsMarkers(std::string_view left, std::string_view right) { return left.empty() || right.empty(); }

Prepared WithMarkers(std::string_view text, std::string_view left, std::string_view right) {
  Prepared p;
  p.left = left.empty() ? HeadMarker() : std::string(left);
  p.right = right.empty() ? TailMarker() : std::string(right);
  if (left.empty()) {
    p.text = HeadMarker();
    p.shift = p.text.size();
  }
  p.text.append(text);
  if (right.empty()) p.text.append(TailMarker());
  return p;
}

// Whether "<meta", in any case of its letters, stands anywhere in the bytes, on a
// character boundary or not. Pumps window messages every few megabytes.
bool HoldsMetaOpening(std::string_view text) {
  constexpr size_t kPumpInterval = 4u << 20;
  size_t nextPump = kPumpInterval;
  for (size_t at = 0; at < text.size(); ++at) {
    const void* found = std::memchr(text.data() + at, '<', text.size() - at);
    if (!found) return false;
    at = static_cast<size_t>(static_cast<const char*>(found) - text.data());
    if (text.size() - at >= 5 && std::equal(text.begin() + static_cast<std::ptrdiff_t>(at) + 1,
                                            text.begin() + static_cast<std::ptrdiff_t>(at) + 5, "meta",
                                            [](char c, char m) { return (c | 0x20) == m; })) {
      return true;
    }
    if (at >= nextPump) {
      platform::PumpMessages();
      nextPump = at + kPumpInterval;
    }
  }
  return false;
}

}  // namespace

std::string TextBetween(std::string_view text, std::string_view left, std::string_view right,
                        const BetweenOptions& options) {
  if (NeedsMarkers(left, right)) {
    const Prepared p = WithMarkers(text, left, right);
    const Span span = FindBetween(p.text, p.left, p.right, 0, options.backward);
    return span.found ? Widened(p.text, span, options) : std::string();
  }
  const Span span = FindBetween(text, left, right, 0, options.backward);
  return span.found ? Widened(text, span, options) : std::string();
}

std::string NextTextBetween(std::string_view text, std::string_view left, std::string_view right,
                            ScanPosition& position, const BetweenOptions& options) {
  if (position.exhausted || position.offset > text.size()) {
    position.exhausted = true;
    return {};
  }
  std::string l = UnquotePairs(left);
  std::string r = UnquotePairs(right);
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (attempt == 1) {
      std::string l2 = WithoutDoubleQuotes(l);
      std::string r2 = WithoutDoubleQuotes(r);
      if (l2 == l && r2 == r) break;  // nothing to retry with
      l = std::move(l2);
      r = std::move(r2);
    }
    Span span;
    std::string result;
    if (NeedsMarkers(l, r)) {
      const Prepared p = WithMarkers(text, l, r);
      span = FindBetween(p.text, p.left, p.right, position.offset + p.shift, options.backward);
      if (span.found) {
        result = Widened(p.text, span, options);
        // Back to offsets of the original text; the tail marker lies past its end.
        span.next = std::min(span.next - std::min(span.next, p.shift), text.size());
      }
    } else {
      span = FindBetween(text, l, r, position.offset, options.backward);
      if (span.found) result = Widened(text, span, options);
    }
    if (span.found) {
      position.offset = span.next;
      return result;
    }
  }
  position.exhausted = true;
  return {};
}

bool ContainsAnyPattern(std::string_view text, std::string_view patterns, PatternMode mode) {
  for (const std::string& raw : text::Split(patterns, kItemSeparator)) {
    const std::string item = UnquotePairs(raw);
    const bool occurs = text::FindNoCase(text, item) != text::npos;
    if (mode == PatternMode::Any && occurs) return true;
    if (mode == PatternMode::All && !occurs) return false;
  }
  return mode == PatternMode::All;
}

void VisitScannedMetaTags(std::string_view text, const std::function<bool(size_t, std::string_view)>& visit) {
  // A text without "<meta" anywhere has no meta tag at all: one quick look, byte by
  // byte, spares the searches that step character by character through the whole text.
  if (!HoldsMetaOpening(text)) return;
  // The head as TextBetween(text, "<head>", "</head>") finds it, kept as a place in the text.
  size_t scopeAt = 0;
  std::string_view scope = text;
  if (const size_t headAt = text::FindNoCase(text, "<head>"); headAt != text::npos) {
    const size_t start = headAt + 6;
    const size_t end = text::FindNoCase(text, "</head>", start);
    if (end != text::npos && end > start) {
      scopeAt = start;
      scope = text.substr(start, end - start);
    }
  }
  // NextTextBetween(scope, "<meta", ">") step by step, with the places of its results.
  for (size_t from = 0;;) {
    const size_t open = text::FindNoCase(scope, "<meta", from);
    if (open == text::npos) return;
    const size_t start = open + 5;
    const size_t close = text::FindNoCase(scope, ">", start);
    if (close == text::npos || close == start) return;
    if (!visit(scopeAt + start, scope.substr(start, close - start))) return;
    from = close + 1;
  }
}

DeclaredCharset FindDeclaredCharset(std::string_view text) {
  struct PatternList {
    DeclaredCharset result;
    std::string_view patterns;
  };
  static constexpr PatternList kLists[] = {
      {DeclaredCharset::Utf8, "charset=UTF-8[fg]charset=''UTF-8''[fg]charset='UTF-8'"},
      {DeclaredCharset::Big5Hkscs, "charset=Big5-HKSCS[fg]charset=''Big5-HKSCS''[fg]charset='Big5-HKSCS'"},
      {DeclaredCharset::Big5, "charset=Big5[fg]charset=''Big5''[fg]charset='Big5'"},
  };

  DeclaredCharset found = DeclaredCharset::None;
  VisitScannedMetaTags(text, [&found](size_t, std::string_view tag) {
    for (const PatternList& list : kLists) {
      if (ContainsAnyPattern(tag, list.patterns, PatternMode::Any)) {
        found = list.result;
        return false;
      }
    }
    return true;
  });
  return found;
}

XmlDeclarationSpan FindXmlDeclaration(std::string_view text) {
  XmlDeclarationSpan span;
  const size_t at = text.find_first_not_of(" \t\r\n");
  if (at == std::string_view::npos || text.compare(at, 5, "<?xml") != 0) return span;
  const size_t end = text.find("?>", at);
  if (end == std::string_view::npos) return span;
  span.found = true;
  span.start = at;
  span.end = end;
  const std::string declaration = text::AsciiLower(text.substr(at, end - at));
  size_t name = declaration.find("encoding");
  if (name == std::string::npos) return span;
  name = declaration.find_first_not_of(" \t\r\n", name + 8);
  if (name == std::string::npos || declaration[name] != '=') return span;
  const size_t quote = declaration.find_first_not_of(" \t\r\n", name + 1);
  if (quote == std::string::npos || (declaration[quote] != '"' && declaration[quote] != '\'')) return span;
  const size_t close = declaration.find(declaration[quote], quote + 1);
  if (close == std::string::npos) return span;
  span.labelOffset = at + quote + 1;
  span.labelLength = close - quote - 1;
  return span;
}

DeclaredCharset FindXmlDeclaredCharset(std::string_view text) {
  const XmlDeclarationSpan span = FindXmlDeclaration(text);
  if (span.labelLength == 0) return DeclaredCharset::None;
  const std::string value = text::AsciiLower(text.substr(span.labelOffset, span.labelLength));
  if (value == "utf-8") return DeclaredCharset::Utf8;
  if (value == "big5-hkscs") return DeclaredCharset::Big5Hkscs;
  if (value == "big5") return DeclaredCharset::Big5;
  return DeclaredCharset::None;
}

}  // namespace cw
