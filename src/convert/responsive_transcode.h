// Transcoding a large text in pieces, pumping window messages between them, so that a
// stop click is seen within a fraction of a second even while one huge file converts.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace cw {

// Pieces of about this many input bytes are converted between two pumps.
inline constexpr size_t kResponsivePiece = 4u << 20;

// The same bytes Transcode gives for the whole input (the pieces are cut only where no
// decoder can be in the middle of a character), with PumpMessages() between pieces.
std::string TranscodeResponsive(std::string_view bytes, std::string_view sourceCharset,
                                std::string_view targetCharset, size_t piece = kResponsivePiece);

}  // namespace cw
