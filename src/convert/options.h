// The vocabulary of the conversion engine: the encodings (whose charsets, names and
// byte-order marks come from encoding/charset.h), script conversions, line endings and
// the options of one file.
#pragma once

#include <string>

#include "encoding/charset.h"

namespace cw {

// The byte-order mark written for 2, 3 and 4; empty for every other value.
std::string_view ByteOrderMarkOf(EncodingChoice encoding);
// "Auto", "Ansi", "Utf8", ... as used in logs and by chengwen-cli.
const char* EncodingChoiceName(EncodingChoice encoding);
// The name of the charset an encoding reads or writes, for the user: "GBK" for the
// working code page (and for Auto), else the charset's name.
std::string CharsetLabel(EncodingChoice encoding);

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
  // A web file's charset declaration is rewritten to name the output's encoding unless
  // this is set (the command line's --keep-declarations; the window always rewrites).
  bool keepDeclarations = false;
};

}  // namespace cw
