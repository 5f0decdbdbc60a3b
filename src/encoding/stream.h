// Converting a long input piece by piece (a pipe, a large file) with the same result as
// converting it whole.
#pragma once

#include <cstddef>
#include <string_view>

#include "encoding/charset.h"

namespace cw {

// The length of the longest prefix of `bytes` after which every decoder of `source` is
// between characters, when more input may follow: converting that prefix and then the
// rest (with whatever follows) gives the same bytes as converting everything at once.
// 0 when no such place is known yet (read more, or convert all at the end).
//  - UTF-8: all but an incomplete sequence at the end (at most three bytes).
//  - UTF-16: all but an odd byte and a high surrogate at the end.
//  - GB18030, Big5, Big5-HKSCS: up to the last byte below 0x30, which no trail byte is,
//    so it is read as ASCII whatever came before it.
std::size_t CompletePrefix(std::string_view bytes, Charset source);

// Whether the bytes hold a zero character in that charset: a zero byte, or for UTF-16 an
// aligned zero unit. The text of such bytes ends at that character.
bool HoldsZeroCharacter(std::string_view bytes, Charset charset);

}  // namespace cw
