// Simplified/Traditional mapping of the working text: the longest matching phrase first,
// otherwise character by character, through flat tables built once from the generated data.
#include "convert/script_conversion.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <vector>

#include "convert/generated/script_tables.h"
#include "convert/responsive_transcode.h"
#include "encoding/ascii.h"
#include "encoding/charset.h"
#include "text/text.h"

namespace cw {
namespace {

using Byte = unsigned char;

// One character of the working text, packed big-endian: a two-byte code below 0x10000,
// a four-byte GB18030 code above it.
using Code = std::uint32_t;

unsigned CodeLength(Code code) { return code < 0x10000 ? 2 : 4; }

void PutCode(Code code, char* out) {
  if (code >= 0x10000) {
    *out++ = static_cast<char>(code >> 24);
    *out++ = static_cast<char>(code >> 16 & 0xFF);
  }
  *out++ = static_cast<char>(code >> 8 & 0xFF);
  *out = static_cast<char>(code & 0xFF);
}

// The length of the non-ASCII character at p (2 or 4 bytes), 1 where the bytes end or
// no character starts; its code in `code`.
unsigned ReadCode(const Byte* p, const Byte* end, Code& code) {
  const std::ptrdiff_t left = end - p;
  if (left < 2 || p[0] == 0x80 || p[0] == 0xFF) return 1;
  if (p[1] >= 0x30 && p[1] <= 0x39) {
    if (left < 4) return 1;
    code = static_cast<Code>(p[0]) << 24 | static_cast<Code>(p[1]) << 16 | p[2] << 8 | p[3];
    return 4;
  }
  code = static_cast<Code>(p[0]) << 8 | p[1];
  return 2;
}

Code CodeOf(char32_t c) {
  std::u16string units;
  if (c >= 0x10000) {
    units += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
    units += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
  } else {
    units += static_cast<char16_t>(c);
  }
  const std::string working = Utf16ToWorking(units);
  Code code = 0;
  const Byte* p = reinterpret_cast<const Byte*>(working.data());
  return ReadCode(p, p + working.size(), code) == working.size() ? code : 0;
}

class ScriptMap {
 public:
  ScriptMap(const ScriptCharPair* chars, size_t charCount, const ScriptPhrase* phrases, size_t phraseCount)
      : twoByte_(new Code[0x10000]()), phraseFlags_(new Byte[0x10000]()) {
    for (size_t i = 0; i < charCount; ++i) {
      const Code from = CodeOf(chars[i].from);
      const Code to = CodeOf(chars[i].to);
      if (from == 0 || to == 0) continue;
      if (from < 0x10000) {
        twoByte_[from] = to;
      } else {
        fourByte_[from] = to;
      }
    }
    for (size_t i = 0; i < phraseCount; ++i) AddPhrase(FromUtf8(phrases[i].from), FromUtf8(phrases[i].to));
    // Longest first among the phrases that share their first two characters.
    for (auto& entry : phrases_) {
      std::stable_sort(entry.second.begin(), entry.second.end(),
                       [](const Phrase& a, const Phrase& b) { return a.from.size() > b.from.size(); });
    }
  }

  std::string Map(std::string_view text) const {
    const Byte* const start = reinterpret_cast<const Byte*>(text.data());
    const Byte* p = start;
    const Byte* const end = p + text.size();
    // The result starts as a copy: as long as nothing has changed its length, bytes that
    // stay need not be written at all.
    std::string out;
    out.reserve(text.size() + maxStep_);
    out.assign(text);
    out.resize(text.size() + maxStep_);
    char* o = &out[0];
    char* limit = o + out.size();
    while (p < end) {
      const bool inPlace = o - out.data() == p - start;
      // A run of ASCII (eight bytes or more) stays as it is: copied whole, or left
      // where it is.
      if (end - p >= 8 && AllAscii8(p)) {
        const size_t run = 8 + AsciiRun(p + 8, end);
        if (!inPlace) {
          if (static_cast<size_t>(limit - o) < run) Grow(out, o, limit, run);
          std::memcpy(o, p, run);
        }
        p += run;
        o += run;
        continue;
      }
      // Room for the largest thing one step writes (a character grown from two bytes to
      // four, or a phrase's target).
      if (limit - o < static_cast<std::ptrdiff_t>(maxStep_)) Grow(out, o, limit, maxStep_);
      Code code = 0;
      const unsigned length = *p < 0x80 ? 1 : ReadCode(p, end, code);
      if (length == 1) {
        *o++ = static_cast<char>(*p++);
        continue;
      }
      if (length == 2 && (phraseFlags_[code] & kStartsPhrase) != 0) {
        const Phrase* phrase = MatchPhrase(code, p, end);
        if (phrase != nullptr) {
          std::memcpy(o, phrase->to.data(), phrase->to.size());
          o += phrase->to.size();
          p += phrase->from.size();
          continue;
        }
      }
      const Code mapped = length == 2 ? twoByte_[code] : FourByte(code);
      if (mapped != 0) {
        PutCode(mapped, o);
        o += CodeLength(mapped);
      } else if (!inPlace) {
        std::memcpy(o, p, length);
        o += length;
      } else {
        o += length;
      }
      p += length;
    }
    out.resize(static_cast<size_t>(o - out.data()));
    return out;
  }

  // The same result, written over `text` itself while nothing grows (the output never
  // overtakes the input then); from the first step that would grow, the rest is mapped
  // by Map() and appended.
  void MapInPlace(std::string& text) const {
    if (text.empty()) return;
    Byte* const base = reinterpret_cast<Byte*>(&text[0]);
    const Byte* p = base;
    const Byte* const end = base + text.size();
    Byte* o = base;
    while (p < end) {
      if (end - p >= 8 && AllAscii8(p)) {
        const size_t run = 8 + AsciiRun(p + 8, end);
        if (o != p) std::memmove(o, p, run);
        p += run;
        o += run;
        continue;
      }
      Code code = 0;
      const unsigned length = *p < 0x80 ? 1 : ReadCode(p, end, code);
      const Phrase* phrase =
          length == 2 && (phraseFlags_[code] & kStartsPhrase) != 0 ? MatchPhrase(code, p, end) : nullptr;
      const Code mapped = phrase != nullptr || length == 1 ? 0 : length == 2 ? twoByte_[code] : FourByte(code);
      const size_t consumed = phrase != nullptr ? phrase->from.size() : length;
      const size_t produced = phrase != nullptr ? phrase->to.size() : mapped != 0 ? CodeLength(mapped) : length;
      if (produced > consumed && o + produced > p + consumed) {
        const std::string rest = Map(std::string_view(reinterpret_cast<const char*>(p), static_cast<size_t>(end - p)));
        text.resize(static_cast<size_t>(o - base));
        text += rest;
        return;
      }
      if (phrase != nullptr) {
        std::memcpy(o, phrase->to.data(), produced);
      } else if (mapped != 0) {
        PutCode(mapped, reinterpret_cast<char*>(o));
      } else if (o != p) {
        std::memmove(o, p, length);
      }
      o += produced;
      p += consumed;
    }
    text.resize(static_cast<size_t>(o - base));
  }

 private:
  static constexpr Byte kStartsPhrase = 1;
  static constexpr Byte kSecondInPhrase = 2;

  struct Phrase {
    std::string from;
    std::string to;
  };

  static std::uint64_t PairKey(Code first, Code second) { return static_cast<std::uint64_t>(first) << 32 | second; }

  void AddPhrase(std::string from, std::string to) {
    const Byte* p = reinterpret_cast<const Byte*>(from.data());
    const Byte* end = p + from.size();
    Code first = 0, second = 0;
    // Phrases are matched from a two-byte first and second character; the rare others
    // convert character by character.
    if (ReadCode(p, end, first) != 2 || ReadCode(p + 2, end, second) != 2) return;
    phraseFlags_[first] |= kStartsPhrase;
    phraseFlags_[second] |= kSecondInPhrase;
    maxStep_ = std::max(maxStep_, to.size());
    phrases_[PairKey(first, second)].push_back(Phrase{std::move(from), std::move(to)});
  }

  const Phrase* MatchPhrase(Code first, const Byte* p, const Byte* end) const {
    Code second = 0;
    if (ReadCode(p + 2, end, second) != 2 || (phraseFlags_[second] & kSecondInPhrase) == 0) return nullptr;
    const auto it = phrases_.find(PairKey(first, second));
    if (it == phrases_.end()) return nullptr;
    const size_t left = static_cast<size_t>(end - p);
    for (const Phrase& phrase : it->second) {
      if (phrase.from.size() <= left && std::memcmp(p, phrase.from.data(), phrase.from.size()) == 0) return &phrase;
    }
    return nullptr;
  }

  // Makes room for n more bytes after o, keeping what was written.
  static void Grow(std::string& out, char*& o, char*& limit, size_t n) {
    const size_t used = static_cast<size_t>(o - out.data());
    out.resize(out.size() + out.size() / 4 + n);
    o = &out[0] + used;
    limit = &out[0] + out.size();
  }

  Code FourByte(Code code) const {
    if (fourByte_.empty()) return 0;
    const auto it = fourByte_.find(code);
    return it == fourByte_.end() ? 0 : it->second;
  }

  std::unique_ptr<Code[]> twoByte_;
  std::unique_ptr<Byte[]> phraseFlags_;
  std::unordered_map<Code, Code> fourByte_;
  std::unordered_map<std::uint64_t, std::vector<Phrase>> phrases_;
  size_t maxStep_ = 4;
};

const ScriptMap& TraditionalMap() {
  static const ScriptMap map(kTraditionalChars, kTraditionalCharsSize, kTraditionalPhrases, kTraditionalPhrasesSize);
  return map;
}

const ScriptMap& SimplifiedMap() {
  static const ScriptMap map(kSimplifiedChars, kSimplifiedCharsSize, kSimplifiedPhrases, kSimplifiedPhrasesSize);
  return map;
}

const ScriptMap& Big5FormsMap() {
  static const ScriptMap map(kBig5Forms, kBig5FormsSize, nullptr, 0);
  return map;
}

}  // namespace

std::string ToTraditional(std::string_view text) { return TraditionalMap().Map(text); }

std::string ToSimplified(std::string_view text) { return SimplifiedMap().Map(text); }

std::string ToBig5Forms(std::string_view text) { return Big5FormsMap().Map(text); }

void MapDecodedInPlace(ScriptConversion conversion, std::string& text) {
  switch (conversion) {
    case ScriptConversion::None:
    case ScriptConversion::Big5ToTraditional: return;
    case ScriptConversion::SimplifiedToTraditional: return TraditionalMap().MapInPlace(text);
    case ScriptConversion::TraditionalToSimplified:
    case ScriptConversion::Big5ToSimplified: return SimplifiedMap().MapInPlace(text);
    case ScriptConversion::SimplifiedToBig5: text = ToBig5Forms(ToTraditional(text)); return;
    case ScriptConversion::TraditionalToBig5: text = ToBig5Forms(text); return;
  }
}

std::string GbkToBig5(std::string_view text, TranscodeLosses* losses) {
  return TranscodeResponsive(Big5FormsMap().Map(text), kWorkingCharset, Charset::Big5, kResponsivePiece, {}, losses);
}

std::string Big5ToGbk(std::string_view text, TranscodeLosses* losses) {
  return TranscodeResponsive(text, Charset::Big5, kWorkingCharset, kResponsivePiece, {}, losses);
}

std::string SimplifiedToBig5(std::string_view text, TranscodeLosses* losses) {
  return GbkToBig5(ToTraditional(text), losses);
}

std::string Big5ToSimplified(std::string_view text, TranscodeLosses* losses) {
  return ToSimplified(Big5ToGbk(text, losses));
}

void MapContentInPlace(ScriptConversion conversion, std::string& text, TranscodeLosses* losses) {
  switch (conversion) {
    case ScriptConversion::SimplifiedToTraditional: return TraditionalMap().MapInPlace(text);
    case ScriptConversion::TraditionalToSimplified: return SimplifiedMap().MapInPlace(text);
    default: text = MapContent(conversion, text, losses);
  }
}

std::string MapContent(ScriptConversion conversion, std::string_view text, TranscodeLosses* losses) {
  switch (conversion) {
    case ScriptConversion::None: return std::string(text);
    case ScriptConversion::SimplifiedToTraditional: return ToTraditional(text);
    case ScriptConversion::TraditionalToSimplified: return ToSimplified(text);
    case ScriptConversion::SimplifiedToBig5: return SimplifiedToBig5(text, losses);
    case ScriptConversion::TraditionalToBig5: return GbkToBig5(text, losses);
    case ScriptConversion::Big5ToSimplified: return Big5ToSimplified(text, losses);
    case ScriptConversion::Big5ToTraditional: return Big5ToGbk(text, losses);
  }
  return std::string(text);
}

std::string MapFileName(ScriptConversion conversion, std::string_view name) {
  // Names stay in the working code page: the Big5 options map them to the script named
  // on their other side.
  switch (conversion) {
    case ScriptConversion::None: return std::string(name);
    case ScriptConversion::SimplifiedToTraditional:
    case ScriptConversion::TraditionalToBig5:
    case ScriptConversion::Big5ToTraditional: return ToTraditional(name);
    case ScriptConversion::TraditionalToSimplified:
    case ScriptConversion::SimplifiedToBig5:
    case ScriptConversion::Big5ToSimplified: return ToSimplified(name);
  }
  return std::string(name);
}

}  // namespace cw
