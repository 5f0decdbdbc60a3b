// The line-ending change: every line break becomes the chosen one.
#pragma once

#include <string>
#include <string_view>

#include "convert/options.h"

namespace cw {

// Every line break (CR LF, lone CR, lone LF) becomes the chosen one; Keep changes
// nothing. A CR or LF that is the second byte of a two-byte character is left alone.
std::string ConvertLineEndings(std::string_view text, LineEndingChoice choice);
// The same change made to the text itself: in place for Unix and Mac (no break grows).
void ChangeLineEndings(std::string& text, LineEndingChoice choice);

}  // namespace cw
