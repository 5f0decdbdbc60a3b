// Conversions between the charsets the engine reads and writes and the working code
// page (GB18030, a superset of GBK / code page 936).
#pragma once

#include <string>
#include <string_view>

namespace cw {

enum class Charset { Unknown, Gb18030, Big5, Big5Hkscs, Utf8, Utf16Le, Utf16Be };

// Exact, case-sensitive names: "GB18030", "BIG5", "BIG5-HKSCS", "UTF-8", "UTF-16LE",
// "UTF-16BE". Anything else is Unknown.
Charset CharsetFromName(std::string_view name);
const char* CharsetName(Charset charset);

// Converts bytes from one charset to another. The result never starts with a
// byte-order mark. Invalid source bytes decode to U+FFFD each (as the WHATWG decoders
// do) and decoding goes on; a character the target lacks becomes one "?"; the text
// ends at its first U+0000. An unknown charset gives an empty result.
std::string Transcode(std::string_view bytes, Charset source, Charset target);
std::string Transcode(std::string_view bytes, std::string_view sourceCharset,
                      std::string_view targetCharset);
// The same conversion appended to `out`. False (and `out` as it was) for an unknown
// charset or when the result does not fit in memory.
bool TranscodeAppend(std::string_view bytes, Charset source, Charset target, std::string& out);

// The Win32 boundary and file names: working-code-page text to UTF-16 and back.
// Both stop at the first zero; nothing is lost in either direction for valid input.
std::u16string WorkingToUtf16(std::string_view text);
std::string Utf16ToWorking(std::u16string_view text);

// Literal texts are written as UTF-8 in the source; this gives their working bytes.
std::string FromUtf8(std::string_view utf8);
std::string ToUtf8(std::string_view working);

}  // namespace cw
