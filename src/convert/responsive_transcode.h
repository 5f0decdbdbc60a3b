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

// The position of the first `byte` in `bytes` (npos when there is none), looked for in
// pieces with PumpMessages() between them, so a scan of a huge file keeps the window
// answering.
size_t FindByteResponsive(std::string_view bytes, char byte);

// Pieces of about this many input bytes are converted between two pumps: small enough
// that a loaded machine still pumps several times a second.
inline constexpr size_t kResponsivePiece = 1u << 20;

// The same bytes Transcode gives for the whole input (the pieces are cut only where no
// decoder can be in the middle of a character), with PumpMessages() between pieces.
// `prefix` (a byte-order mark) is put before them in the same string, so that a large
// result is never copied to get its mark; the result is empty when nothing was converted.
// What could not be carried over is added to `losses`, when given.
std::string TranscodeResponsive(std::string_view bytes, Charset source, Charset target, size_t piece = kResponsivePiece,
                                std::string_view prefix = {}, TranscodeLosses* losses = nullptr);

// The same bytes handed to `sink` piece by piece from one reused buffer, so a large
// result never exists in memory at once. Stops, returning false, when the sink does or
// when a charset is unknown.
// `zeroFree` tells that the caller has made sure the bytes hold no zero character.
// `losses` (when given) has what the pieces handed on so far lost, so the sink can stop
// at the first piece that lost something.
bool TranscodeStreamed(std::string_view bytes, Charset source, Charset target,
                       const std::function<bool(std::string_view)>& sink, bool zeroFree = false,
                       size_t piece = kResponsivePiece, TranscodeLosses* losses = nullptr);

}  // namespace cw
