// Finds the charset a web page declares in its meta tags (UTF-8, Big5, Big5-HKSCS), and
// the delimiter searches the scan is built from.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace cw {

enum class DeclaredCharset { None = 0, Utf8 = 1, Big5 = 2, Big5Hkscs = 3 };

// Looks through the meta tags of the page's head (the whole text when there is no
// plain "<head>" ... "</head>") and returns the charset of the first tag that declares
// one of the three; None otherwise.
DeclaredCharset FindDeclaredCharset(std::string_view text);

// The charset of an XML declaration at the start of the text (after blanks):
// <?xml version="1.0" encoding="big5"?> gives Big5; UTF-8, Big5 and Big5-HKSCS are
// recognised, case ignored, in either kind of quotes. None otherwise.
DeclaredCharset FindXmlDeclaredCharset(std::string_view text);

// The meta tags FindDeclaredCharset reads, in its order: each as the offset in `text` of
// what stands between "<meta" and ">", and that text. Like the scan it looks in the head
// when there is a plain "<head>" ... "</head>", and ends at the first empty tag. `visit`
// returns false to stop.
void VisitScannedMetaTags(std::string_view text, const std::function<bool(size_t offset, std::string_view tag)>& visit);

// The XML declaration FindXmlDeclaredCharset reads: "<?xml" at the start of the text
// (after blanks) up to the first "?>".
struct XmlDeclarationSpan {
  bool found = false;
  size_t start = 0;  // of "<?xml"
  size_t end = 0;    // of "?>"
  // What stands between the quotes of its encoding; length 0 when it has none the scan
  // can read.
  size_t labelOffset = 0;
  size_t labelLength = 0;
};
XmlDeclarationSpan FindXmlDeclaration(std::string_view text);

// Options of the delimiter searches. The charset scan uses none of them.
struct BetweenOptions {
  bool backward = false;  // take the last left delimiter instead of the first
  // Widen (positive) or narrow (negative) the result at each end, clamped to the text.
  int startOffset = 0;
  int endOffset = 0;
};

// The text between the first left delimiter and the first right delimiter after it;
// empty when either is missing. An empty delimiter stands for the start (left) or the
// end (right) of the text. Searches ignore ASCII case and step over two-byte
// characters.
std::string TextBetween(std::string_view text, std::string_view left, std::string_view right,
                        const BetweenOptions& options = {});

// Where NextTextBetween goes on from; once nothing more is found it is exhausted and
// every further call returns empty at once.
struct ScanPosition {
  size_t offset = 0;
  bool exhausted = false;
};

// The same search from the position; on success the position moves just past the
// right delimiter. "''" in a delimiter stands for a double quote; when a search fails
// it is tried once more with the double quotes removed from both delimiters.
std::string NextTextBetween(std::string_view text, std::string_view left, std::string_view right,
                            ScanPosition& position, const BetweenOptions& options = {});

enum class PatternMode { Any, All };

// `patterns` holds items separated by "[fg]"; "''" in an item stands for a double quote.
// Any: true as soon as one item occurs. All: false as soon as one does not.
bool ContainsAnyPattern(std::string_view text, std::string_view patterns, PatternMode mode);

}  // namespace cw
