// The line-ending change of the working text.
#include "convert/line_endings.h"

#include <cstring>

#include "text/text.h"

namespace cw {
namespace {

// Six characters that the Windows change turns into CR LF wherever they stand.
constexpr std::string_view kLineBreakMarker = "[\\r\\n]";

// The text with every line break replaced by `lineBreak`, handed to `put(bytes, size)`
// in order, in one pass that gives what the replacements one after the other give: a
// CR LF pair, a lone CR and a lone LF on a character boundary are each one break, and
// so is the marker text when `markers` is set (the Windows change turns every marker
// into CR LF, whether it made it or found it there).
template <typename Put>
void ReplaceLineBreaks(std::string_view text, std::string_view lineBreak, bool markers, Put&& put) {
  const char* const p = text.data();
  const size_t n = text.size();
  size_t run = 0;  // start of the bytes not yet handed on
  size_t i = 0;
  while (i < n) {
    const auto c = static_cast<unsigned char>(p[i]);
    size_t taken = 0;
    if (c >= 0x80) {
      i += i + 1 < n ? 2 : 1;
      continue;
    }
    if (c == '\r') {
      taken = i + 1 < n && p[i + 1] == '\n' ? 2 : 1;
    } else if (c == '\n') {
      taken = 1;
    } else if (markers && c == '[' && text.compare(i, kLineBreakMarker.size(), kLineBreakMarker) == 0) {
      taken = kLineBreakMarker.size();
    }
    if (taken == 0) {
      ++i;
      continue;
    }
    put(p + run, i - run);
    put(lineBreak.data(), lineBreak.size());
    i += taken;
    run = i;
  }
  put(p + run, n - run);
}

std::string_view LineBreakOf(LineEndingChoice choice) {
  switch (choice) {
    case LineEndingChoice::Windows: return "\r\n";
    case LineEndingChoice::Unix: return "\n";
    case LineEndingChoice::Mac: return "\r";
    case LineEndingChoice::Keep: break;
  }
  return {};
}

}  // namespace

std::string ConvertLineEndings(std::string_view text, LineEndingChoice choice) {
  std::string changed(text);
  ChangeLineEndings(changed, choice);
  return changed;
}

void ChangeLineEndings(std::string& text, LineEndingChoice choice) {
  const std::string_view lineBreak = LineBreakOf(choice);
  if (lineBreak.empty() || text.empty()) return;
  const bool markers = choice == LineEndingChoice::Windows;
  if (lineBreak.size() == 1) {
    // No break grows, so the text is rewritten where it lies.
    char* const base = &text[0];
    size_t size = 0;
    ReplaceLineBreaks(text, lineBreak, markers, [base, &size](const char* bytes, size_t count) {
      std::memmove(base + size, bytes, count);
      size += count;
    });
    text.resize(size);
    return;
  }
  size_t size = 0;
  ReplaceLineBreaks(text, lineBreak, markers, [&size](const char*, size_t count) { size += count; });
  if (size == text.size() && text::Find(text, kLineBreakMarker) == text::npos) return;  // every break is CR LF
  std::string changed;
  changed.reserve(size);
  ReplaceLineBreaks(text, lineBreak, markers,
                    [&changed](const char* bytes, size_t count) { changed.append(bytes, count); });
  text = std::move(changed);
}

}  // namespace cw
