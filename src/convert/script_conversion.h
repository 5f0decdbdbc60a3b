// Chinese script conversion of the working text and of file names: Simplified and
// Traditional within GBK, and GBK to and from Big5 bytes.
#pragma once

#include <string>
#include <string_view>

#include "convert/options.h"

namespace cw {

// Character by character; a two-byte character stays two bytes, so the result has the
// length of the input. ASCII, four-byte characters and characters without a pair are
// left as they are.
std::string ToTraditional(std::string_view text);
std::string ToSimplified(std::string_view text);

// Byte conversions between the working code page and Big5 (code page 950). A character
// the target lacks becomes "?" and never shortens the rest.
std::string GbkToBig5(std::string_view text);
std::string Big5ToGbk(std::string_view text);
std::string SimplifiedToBig5(std::string_view text);  // GbkToBig5(ToTraditional(text))
std::string Big5ToSimplified(std::string_view text);  // ToSimplified(Big5ToGbk(text))

// The content mapping and the file-name mapping of each option.
std::string MapContent(ScriptConversion conversion, std::string_view text);
std::string MapFileName(ScriptConversion conversion, std::string_view name);

}  // namespace cw
