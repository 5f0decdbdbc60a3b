// The encoding a web page, XML file or style sheet declares, made to name the encoding
// its output is written in: a page that says gb2312 but is written in UTF-8 shows
// mojibake in a browser that has no byte-order mark or server header to go by.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "convert/options.h"
#include "encoding/charset.h"

namespace cw {

// What declares the encoding in a file of this kind: a page has meta tags (and may start
// with an XML declaration), an XML file its XML declaration, a style sheet its leading
// @charset rule.
enum class WebFileKind { None, Page, Xml, StyleSheet };

// By the extension of the name (working code page, ASCII case ignored): htm, html,
// shtml, xhtml, php, asp, aspx and jsp are pages; xml, xsl and svg XML files; css style
// sheets. Anything else (a .txt that quotes a meta tag too) declares nothing.
WebFileKind WebFileKindOf(std::string_view fileName);
bool IsWebFileName(std::string_view fileName);

enum class DeclarationForm { None, MetaTag, XmlDeclaration, CharsetRule };

struct DeclarationEdit {
  bool changed = false;
  // The first declaration changed: its form and label before and after ("gb2312",
  // "utf-8"). The old label is empty where an XML declaration had no encoding and got one.
  DeclarationForm form = DeclarationForm::None;
  std::string oldLabel;
  std::string newLabel;
  // Where the new label stands in the rewritten text.
  size_t offset = 0;
  size_t length = 0;
  size_t count = 0;  // labels changed in all (a page may declare in several meta tags)
  // Past the ">" of the first meta tag that declares an encoding, in the rewritten
  // text, changed or not; 0 when no meta tag declares one. A browser looks for it in
  // the first 1024 bytes.
  size_t metaEnd = 0;
  WebFileKind kind = WebFileKind::None;
};

// Rewrites the labels of the declarations the reading rules find (the scan's meta tags,
// the XML declaration at the start, a leading @charset "...";) in the working text, just
// before it is encoded, so that they name `output` (`withMark`: the output starts with
// a byte-order mark). Only a label that names another encoding changes; everything else
// stays byte for byte. Files whose name is no web file are left alone.
DeclarationEdit RewriteDeclaration(std::string& workingText, std::string_view fileName, Charset output, bool withMark);

// What a browser that gets the output without a server header would miss.
enum class DeclarationWarning {
  None,
  PastPrescan,       // the meta tag ends past byte 1024 of the output
  Utf16WithoutMark,  // a page or style sheet in UTF-16 without a mark: nothing in it can say so
};
// True when the meta tag of `edit` ends past byte 1024 of the output bytes (the mark
// counted): Chinese grows from two bytes to three in UTF-8, so a long title can push it
// out. Never for UTF-16, where the mark decides.
bool DeclarationPastPrescan(std::string_view workingText, const DeclarationEdit& edit, Charset output, bool withMark);
DeclarationWarning CheckDeclaration(std::string_view workingText, const DeclarationEdit& edit, Charset output,
                                    bool withMark);

// For the result list and the dry run (working code page): "声明 gb2312 → utf-8", empty
// when nothing changed; the words of a warning, empty for None.
std::string DeclarationChangeText(const DeclarationEdit& edit);
std::string DeclarationWarningText(DeclarationWarning warning);

}  // namespace cw
