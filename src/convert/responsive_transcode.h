// Transcoding a large text in pieces, pumping window messages between them, so that a
// stop click is seen within a fraction of a second even while one huge file converts.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "encoding/charset.h"
#include "encoding/stream.h"  // HoldsZeroCharacter

namespace cw {

// Pieces of about this many input bytes are converted between two pumps.
inline constexpr size_t kResponsivePiece = 4u << 20;

// The same bytes Transcode gives for the whole input (the pieces are cut only where no
// decoder can be in the middle of a character), with PumpMessages() between pieces.
std::string TranscodeResponsive(std::string_view bytes, std::string_view sourceCharset,
                                std::string_view targetCharset, size_t piece = kResponsivePiece);

// The same bytes handed to `sink` piece by piece from one reused buffer, so a large
// result never exists in memory at once. Stops, returning false, when the sink does or
// when a charset is unknown.
// `zeroFree` tells that the caller has made sure the bytes hold no zero character.
bool TranscodeStreamed(std::string_view bytes, Charset source, Charset target,
                       const std::function<bool(std::string_view)>& sink, bool zeroFree = false,
                       size_t piece = kResponsivePiece);

}  // namespace cw
