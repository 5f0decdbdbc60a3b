// Piecewise transcoding with message pumps between the pieces.
#include "convert/responsive_transcode.h"

#include <algorithm>
#include <cstring>

#include "encoding/charset.h"
#include "platform/platform.h"

namespace cw {
namespace {

bool IsUtf16(Charset charset) { return charset == Charset::Utf16Le || charset == Charset::Utf16Be; }

uint16_t UnitAt(std::string_view bytes, size_t pos, bool bigEndian) {
  const auto hi = static_cast<unsigned char>(bytes[pos + (bigEndian ? 0 : 1)]);
  const auto lo = static_cast<unsigned char>(bytes[pos + (bigEndian ? 1 : 0)]);
  return static_cast<uint16_t>((hi << 8) | lo);
}

// The end of the piece that starts at `from`: a position at or after from + piece where
// every decoder is between characters, or the end of the input.
//  - GB18030, Big5, Big5-HKSCS, UTF-8: right after a byte below 0x30. No trail or
//    continuation byte is that small, so that byte is read as ASCII whatever came
//    before it, and nothing is pending after it.
//  - UTF-16: an even offset that does not split a surrogate pair.
size_t PieceEnd(std::string_view bytes, size_t from, size_t piece, Charset source) {
  size_t pos = from + piece;
  if (pos >= bytes.size()) return bytes.size();
  if (IsUtf16(source)) {
    // At least one whole unit, so every piece moves on.
    pos = from + std::max<size_t>(2, piece & ~static_cast<size_t>(1));
    if (pos >= bytes.size()) return bytes.size();
    const bool bigEndian = source == Charset::Utf16Be;
    if (pos + 1 < bytes.size()) {
      const uint16_t unit = UnitAt(bytes, pos, bigEndian);
      if (unit >= 0xDC00 && unit <= 0xDFFF) pos += 2;
    }
    return pos >= bytes.size() ? bytes.size() : pos;
  }
  const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes.data());
  for (; pos < bytes.size(); ++pos) {
    if (p[pos] < 0x30) return pos + 1;
  }
  return bytes.size();
}

}  // namespace

size_t FindByteResponsive(std::string_view bytes, char byte) {
  constexpr size_t kScanPiece = 4u << 20;
  for (size_t from = 0; from < bytes.size(); from += kScanPiece) {
    const size_t length = std::min(kScanPiece, bytes.size() - from);
    if (const void* found = std::memchr(bytes.data() + from, byte, length)) {
      return static_cast<size_t>(static_cast<const char*>(found) - bytes.data());
    }
    if (from + length < bytes.size()) platform::PumpMessages();
  }
  return std::string_view::npos;
}

std::string TranscodeResponsive(std::string_view bytes, Charset source, Charset target, size_t piece,
                                std::string_view prefix, TranscodeLosses* losses) {
  if (bytes.size() <= piece || source == Charset::Unknown || target == Charset::Unknown) {
    std::string whole = Transcode(bytes, source, target, losses);
    if (whole.empty() || prefix.empty()) return whole;
    return std::string(prefix) + whole;
  }
  std::string out;
  // Room for the usual growth (UTF-16 doubles a working text at most); untouched
  // capacity costs nothing, and no piece has to move what came before it.
  const bool toUtf16 = target == Charset::Utf16Le || target == Charset::Utf16Be;
  out.reserve(prefix.size() + (toUtf16 ? 2 * bytes.size() + 16 : bytes.size() + bytes.size() / 2 + 16));
  out.append(prefix);
  size_t from = 0;
  while (from < bytes.size()) {
    const size_t end = PieceEnd(bytes, from, piece, source);
    const std::string_view part = bytes.substr(from, end - from);
    if (!TranscodeAppend(part, source, target, out, losses)) return {};
    // The text ends at its first zero character: nothing after it is converted.
    if (HoldsZeroCharacter(part, source)) break;
    from = end;
    platform::ReportFileProgress(from, bytes.size());
    platform::PumpMessages();
  }
  if (out.size() == prefix.size()) return {};
  return out;
}

bool TranscodeStreamed(std::string_view bytes, Charset source, Charset target,
                       const std::function<bool(std::string_view)>& sink, bool zeroFree, size_t piece,
                       TranscodeLosses* losses) {
  if (source == Charset::Unknown || target == Charset::Unknown) return false;
  std::string buffer;
  size_t from = 0;
  while (from < bytes.size()) {
    const size_t end = PieceEnd(bytes, from, piece, source);
    const std::string_view part = bytes.substr(from, end - from);
    buffer.clear();
    if (!TranscodeAppend(part, source, target, buffer, losses) || !sink(buffer)) return false;
    if (!zeroFree && HoldsZeroCharacter(part, source)) break;
    from = end;
    platform::ReportFileProgress(from, bytes.size());
    platform::PumpMessages();
  }
  return true;
}

}  // namespace cw
