// The encodings as the engine's options name them.
#include "convert/options.h"

namespace cw {

std::string_view ByteOrderMarkOf(EncodingChoice encoding) { return ByteOrderMark(CharsetOf(encoding)); }

std::string CharsetLabel(EncodingChoice encoding) {
  const Charset charset = CharsetOf(encoding);
  return charset == Charset::Unknown || charset == kWorkingCharset ? "GBK" : CharsetName(charset);
}

const char* EncodingChoiceName(EncodingChoice encoding) {
  switch (encoding) {
    case EncodingChoice::Auto: return "Auto";
    case EncodingChoice::Ansi: return "Ansi";
    case EncodingChoice::Utf8: return "Utf8";
    case EncodingChoice::Utf16Le: return "Utf16Le";
    case EncodingChoice::Utf16Be: return "Utf16Be";
    case EncodingChoice::Big5: return "Big5";
    case EncodingChoice::Big5Hkscs: return "Big5Hkscs";
  }
  return "Unknown";
}

LineEndingChoice LineEndingFromIndex(int index) {
  switch (index) {
    case 0: return LineEndingChoice::Keep;
    case 1: return LineEndingChoice::Windows;
    case 2: return LineEndingChoice::Unix;
    default: return LineEndingChoice::Mac;
  }
}

}  // namespace cw
