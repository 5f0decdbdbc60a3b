// The vocabulary of the conversion engine: encodings with their charset names and
// byte-order marks, script conversions, line endings and the options of one file.
#pragma once

#include <string_view>

namespace cw {

// 0-4 are what the radio groups offer; 5 and 6 only come from detection.
enum class EncodingChoice : int {
  Auto = 0,
  Ansi = 1,
  Utf8 = 2,
  Utf16Le = 3,
  Utf16Be = 4,
  Big5 = 5,
  Big5Hkscs = 6,
};

// The name given to the transcoder for encodings 2 to 6; empty for 0, 1 and anything
// out of range. Decoding and encoding share this one table.
std::string_view CharsetNameOf(EncodingChoice encoding);
// The byte-order mark written for 2, 3 and 4; empty for every other value.
std::string_view ByteOrderMarkOf(EncodingChoice encoding);
// "Auto", "Ansi", "Utf8", ... as used in logs and by chengwen-cli.
const char* EncodingChoiceName(EncodingChoice encoding);

inline constexpr std::string_view kWorkingCharset = "GB18030";

enum class ScriptConversion {
  None,
  SimplifiedToTraditional,
  TraditionalToSimplified,
  SimplifiedToBig5,
  TraditionalToBig5,
  Big5ToSimplified,
  Big5ToTraditional,
};

enum class LineEndingChoice { Keep = 0, Windows = 1, Unix = 2, Mac = 3 };

// The combo box's selection index: 0..3 as listed, anything else (-1 included) is Mac.
LineEndingChoice LineEndingFromIndex(int index);

struct ConversionOptions {
  EncodingChoice inputEncoding = EncodingChoice::Auto;
  EncodingChoice outputEncoding = EncodingChoice::Auto;
  ScriptConversion scriptConversion = ScriptConversion::None;
  LineEndingChoice lineEndings = LineEndingChoice::Keep;
  bool withoutBom = false;
  bool convertFileName = false;
  bool overwriteOriginal = false;
};

}  // namespace cw
