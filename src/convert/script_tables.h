// Simplified/Traditional pairs of two-byte GBK codes (generated from OpenCC's data).
#pragma once

#include <cstddef>
#include <cstdint>

namespace cw {

struct ScriptPair {
  uint16_t from;
  uint16_t to;
};

extern const ScriptPair kSimplifiedToTraditional[];
extern const size_t kSimplifiedToTraditionalSize;
extern const ScriptPair kTraditionalToSimplified[];
extern const size_t kTraditionalToSimplifiedSize;

}  // namespace cw
