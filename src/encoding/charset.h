// Conversions between the charsets the engine reads and writes and the working code
// page (GB18030, a superset of GBK / code page 936).
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace cw {

// Big5Web reads Big5 as web pages that call themselves "big5" use it: code page 950,
// and Big5-HKSCS for the codes code page 950 lacks or leaves to private use. It is
// written as code page 950.
enum class Charset { Unknown, Gb18030, Big5, Big5Hkscs, Utf8, Utf16Le, Utf16Be, Big5Web };

// The working code page: every text of the program is held in it.
inline constexpr Charset kWorkingCharset = Charset::Gb18030;

// The user's choice of encoding. 0-4 are what the radio groups offer; 5 and 6 only come
// from detection. Ansi is the working code page; Auto leaves it to detection.
enum class EncodingChoice : int {
  Auto = 0,
  Ansi = 1,
  Utf8 = 2,
  Utf16Le = 3,
  Utf16Be = 4,
  Big5 = 5,
  Big5Hkscs = 6,
};

// Exact, case-sensitive names, for the command line and Transcode's name-based form:
// "GB18030", "BIG5", "BIG5-HKSCS", "UTF-8", "UTF-16LE", "UTF-16BE", "BIG5-WEB". Anything
// else is Unknown, whose name is empty.
Charset CharsetFromName(std::string_view name);
const char* CharsetName(Charset charset);
// The byte-order mark of UTF-8 and UTF-16; empty for the other charsets.
std::string_view ByteOrderMark(Charset charset);

// The charset a choice writes (the working code page for Ansi, Unknown for Auto), and the
// one it reads, which differs for Big5 only: that is read as Big5Web.
Charset CharsetOf(EncodingChoice choice);
Charset ReadCharsetOf(EncodingChoice choice);

// What transcoding could not carry over: source bytes that are no character of their
// charset (each read as U+FFFD; a U+FFFD the source really holds is not counted), and
// characters the target charset has no code for (each written as "?").
struct TranscodeLosses {
  std::size_t undecodable = 0;
  std::size_t unencodable = 0;
  bool Any() const { return undecodable != 0 || unencodable != 0; }
  TranscodeLosses& operator+=(const TranscodeLosses& other) {
    undecodable += other.undecodable;
    unencodable += other.unencodable;
    return *this;
  }
};

// Converts bytes from one charset to another. The result never starts with a
// byte-order mark. Invalid source bytes decode to U+FFFD each (as the WHATWG decoders
// do) and decoding goes on; a character the target lacks becomes one "?"; the text
// ends at its first U+0000. An unknown charset gives an empty result. What could not be
// carried over is added to `losses`, when given.
std::string Transcode(std::string_view bytes, Charset source, Charset target, TranscodeLosses* losses = nullptr);
std::string Transcode(std::string_view bytes, std::string_view sourceCharset, std::string_view targetCharset);
// The same conversion appended to `out`. False (and `out` as it was) for an unknown
// charset or when the result does not fit in memory.
bool TranscodeAppend(std::string_view bytes, Charset source, Charset target, std::string& out,
                     TranscodeLosses* losses = nullptr);

// The number of source bytes (or byte runs) that decode to no character, up to the
// first U+0000: zero when the decoding is exact.
std::size_t CountUndecodable(std::string_view bytes, Charset source);

// Decodes the bytes and hands every character that does not arrive as an ASCII byte to
// `visit` (U+FFFD for undecodable bytes; UTF-16 hands over every character), up to the
// first U+0000. Returns the number of ASCII bytes passed over.
std::size_t VisitCharacters(std::string_view bytes, Charset source, const std::function<void(char32_t)>& visit);

// The Win32 boundary and file names: working-code-page text to UTF-16 and back.
// Both stop at the first zero; nothing is lost in either direction for valid input.
std::u16string WorkingToUtf16(std::string_view text);
std::string Utf16ToWorking(std::u16string_view text);
// The same with the UTF-16 units in wchar_t, as the W functions of Win32 take them.
std::wstring WorkingToWide(std::string_view text);
std::string WideToWorking(std::wstring_view text);

// Literal texts are written as UTF-8 in the source; this gives their working bytes.
std::string FromUtf8(std::string_view utf8);
std::string ToUtf8(std::string_view working);
// For a working text made only of ASCII other than zero and of two-byte codes that read
// back as themselves (what file names almost always are): true, with its UTF-8 in `utf8`
// when given. False for any other text, which then needs the general path.
bool PlainWorkingToUtf8(std::string_view working, std::string* utf8 = nullptr);

}  // namespace cw
