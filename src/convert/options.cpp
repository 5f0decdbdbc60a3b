// Charset names and byte-order marks of the encodings the engine knows.
#include "convert/options.h"

#include <iterator>

namespace cw {
namespace {

// Indexed by encoding value minus 2.
constexpr std::string_view kCharsetNames[] = {"UTF-8", "UTF-16LE", "UTF-16BE", "BIG5", "BIG5-HKSCS"};

}  // namespace

std::string_view CharsetNameOf(EncodingChoice encoding) {
  const int index = static_cast<int>(encoding) - 2;
  if (index < 0 || index >= static_cast<int>(std::size(kCharsetNames))) return {};
  return kCharsetNames[index];
}

std::string_view ByteOrderMarkOf(EncodingChoice encoding) {
  switch (encoding) {
    case EncodingChoice::Utf8: return std::string_view("\xEF\xBB\xBF", 3);
    case EncodingChoice::Utf16Le: return std::string_view("\xFF\xFE", 2);
    case EncodingChoice::Utf16Be: return std::string_view("\xFE\xFF", 2);
    default: return {};
  }
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
