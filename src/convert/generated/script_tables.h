// Simplified/Traditional conversion data (generated from OpenCC's dictionaries).
#pragma once

#include <cstddef>
#include <cstdint>

namespace cw {

// One character to one character, as code points.
struct ScriptCharPair {
  char32_t from;
  char32_t to;
};

// A phrase and its conversion, as UTF-8 of the same number of characters; `to` is null
// for a phrase that converts character by character, matched only to hold its word together.
struct ScriptPhrase {
  const char* from;
  const char* to;
};

// Simplified -> Traditional in the forms Traditional text in Big5 uses.
extern const ScriptCharPair kTraditionalChars[];
extern const size_t kTraditionalCharsSize;
extern const ScriptPhrase kTraditionalPhrases[];
extern const size_t kTraditionalPhrasesSize;

// Traditional -> Simplified, leaving the characters Simplified text uses itself.
extern const ScriptCharPair kSimplifiedChars[];
extern const size_t kSimplifiedCharsSize;
extern const ScriptPhrase kSimplifiedPhrases[];
extern const size_t kSimplifiedPhrasesSize;

// A character code page 950 lacks -> the candidate or variant it has.
extern const ScriptCharPair kBig5Forms[];
extern const size_t kBig5FormsSize;

}  // namespace cw
