// The statistical steps of detection that the read step calls besides WeighReadings:
// a declaration weighed against GBK, and the Big5-HKSCS label.
#pragma once

#include <string_view>

#include "convert/reading.h"

namespace cw {

// A declared Big5 or Big5-HKSCS reading of the bytes against their GBK reading: true,
// with the scores in `verdict`, when the GBK reading is exact and far more likely (a
// page whose meta says big5 over GBK bytes). False for any other declaration.
bool GbkOutweighsDeclared(std::string_view bytes, EncodingChoice declared, StatisticsVerdict* verdict);

// True when the bytes read as Big5 need codes that only Big5-HKSCS gives: code page 950
// has no character, or only a private-use one, where Big5-HKSCS has one.
bool NeedsHkscs(std::string_view bytes);

}  // namespace cw
