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

// The phrases of one direction, found by their first two characters (both two-byte
// codes; the rare others convert character by character): a bit per pair rules out most
// pairs at once, then an open-addressed table gives the pair's phrases, longest first,
// in one flat array over one pool of bytes.
class PhraseIndex {
 public:
  struct Phrase {
    std::uint32_t from;  // offsets into the pool
    std::uint32_t to;
    std::uint16_t fromSize;
    std::uint16_t toSize;
    // Converts like its characters: matched only to hold its word together, so that no
    // phrase starts inside it (十进制 in 以十进制表示 leaves no 制表 -> 製表).
    bool byCharacters;
  };

  PhraseIndex(const ScriptPhrase* phrases, size_t count) : starts_(new bool[0x10000]()), filter_(kFilterBits / 64) {
    const std::vector<Pending> pending = InWorkingText(phrases, count);
    unsigned bits = 4;
    while ((1u << bits) < 2 * pending.size()) ++bits;
    shift_ = 32 - bits;
    slots_.assign(size_t{1} << bits, Slot{});
    for (const Pending& phrase : pending) {
      const std::uint32_t index = static_cast<std::uint32_t>(phrases_.size());
      phrases_.push_back({static_cast<std::uint32_t>(pool_.size()),
                          static_cast<std::uint32_t>(pool_.size() + phrase.from.size()),
                          static_cast<std::uint16_t>(phrase.from.size()), static_cast<std::uint16_t>(phrase.to.size()),
                          phrase.byCharacters});
      pool_ += phrase.from;
      pool_ += phrase.to;
      maxTo_ = std::max(maxTo_, phrase.to.size());
      Slot& slot = slots_[SlotOf(phrase.key)];
      if (slot.key == 0) slot = Slot{phrase.key, index, 0};
      ++slot.count;
      const std::uint32_t h = Hash(phrase.key) >> kFilterShift;
      filter_[h / 64] |= std::uint64_t{1} << h % 64;
    }
  }

  // The longest phrase that starts at p, whose first character is `first`.
  const Phrase* Match(Code first, const Byte* p, const Byte* end) const {
    Code second = 0;
    if (!starts_[first] || ReadCode(p + 2, end, second) != 2) return nullptr;
    const std::uint32_t key = first << 16 | second;
    const std::uint32_t h = Hash(key) >> kFilterShift;
    if ((filter_[h / 64] >> h % 64 & 1) == 0) return nullptr;
    const Slot& slot = slots_[SlotOf(key)];
    const size_t left = static_cast<size_t>(end - p);
    for (std::uint32_t i = slot.begin; i < slot.begin + slot.count; ++i) {
      const Phrase& phrase = phrases_[i];
      if (phrase.fromSize <= left && std::memcmp(p, pool_.data() + phrase.from, phrase.fromSize) == 0) return &phrase;
    }
    return nullptr;
  }

  const char* To(const Phrase& phrase) const { return pool_.data() + phrase.to; }
  // The most bytes one phrase writes.
  size_t MaxTo() const { return maxTo_; }

 private:
  static constexpr unsigned kFilterBits = 1u << 19;
  static constexpr unsigned kFilterShift = 32 - 19;

  struct Slot {
    std::uint32_t key;  // 0: empty (no code starts with a zero byte)
    std::uint32_t begin;
    std::uint32_t count;
  };

  struct Pending {
    std::uint32_t key;  // the first two characters
    std::string from;
    std::string to;
    bool byCharacters;
  };

  // The phrases in the working code page, by their first two characters and longest
  // first among those that share them; notes the characters that start one.
  std::vector<Pending> InWorkingText(const ScriptPhrase* phrases, size_t count) {
    std::vector<Pending> pending;
    for (size_t i = 0; i < count; ++i) {
      std::string from = FromUtf8(phrases[i].from);
      const Byte* p = reinterpret_cast<const Byte*>(from.data());
      Code first = 0, second = 0;
      if (ReadCode(p, p + from.size(), first) != 2 || ReadCode(p + 2, p + from.size(), second) != 2) continue;
      const bool byCharacters = phrases[i].to == nullptr;
      starts_[first] = true;
      pending.push_back({first << 16 | second, std::move(from), byCharacters ? std::string() : FromUtf8(phrases[i].to),
                         byCharacters});
    }
    std::stable_sort(pending.begin(), pending.end(), [](const Pending& a, const Pending& b) {
      return a.key != b.key ? a.key < b.key : a.from.size() > b.from.size();
    });
    return pending;
  }

  static std::uint32_t Hash(std::uint32_t key) { return key * 0x9E3779B1u; }

  // The slot of `key`, or the empty one where it would go.
  size_t SlotOf(std::uint32_t key) const {
    const size_t mask = slots_.size() - 1;
    size_t i = Hash(key) >> shift_;
    while (slots_[i].key != 0 && slots_[i].key != key) i = (i + 1) & mask;
    return i;
  }

  std::unique_ptr<bool[]> starts_;  // by first character
  std::vector<std::uint64_t> filter_;
  std::vector<Slot> slots_;
  std::vector<Phrase> phrases_;
  std::string pool_;
  unsigned shift_ = 28;
  size_t maxTo_ = 0;
};

class ScriptMap {
 public:
  ScriptMap(const ScriptCharPair* chars, size_t charCount, const ScriptPhrase* phrases, size_t phraseCount)
      : twoByte_(new Code[0x10000]()), phrases_(phrases, phraseCount) {
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
    maxStep_ = std::max(maxStep_, phrases_.MaxTo());
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
    // Inside a matched phrase that converts like its characters: no phrase starts here.
    const Byte* plainUntil = p;
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
      if (length == 2 && p >= plainUntil) {
        const Phrase* phrase = MatchPhrase(code, p, end);
        if (phrase != nullptr && !phrase->byCharacters) {
          std::memcpy(o, phrases_.To(*phrase), phrase->toSize);
          o += phrase->toSize;
          p += phrase->fromSize;
          continue;
        }
        if (phrase != nullptr) plainUntil = p + phrase->fromSize;
      }
      o = PutCharacter(code, length, p, o, inPlace);
      p += length;
    }
    out.resize(static_cast<size_t>(o - out.data()));
    return out;
  }

  // One character of `length` bytes at p, mapped by character: its pair, or itself
  // (which needs no writing while the output stands where the input does).
  char* PutCharacter(Code code, unsigned length, const Byte* p, char* o, bool inPlace) const {
    const Code mapped = length == 2 ? twoByte_[code] : FourByte(code);
    if (mapped != 0) {
      PutCode(mapped, o);
      return o + CodeLength(mapped);
    }
    if (!inPlace) std::memcpy(o, p, length);
    return o + length;
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
    const Byte* plainUntil = p;
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
      const Phrase* phrase = length == 2 && p >= plainUntil ? MatchPhrase(code, p, end) : nullptr;
      if (phrase != nullptr && phrase->byCharacters) {
        plainUntil = p + phrase->fromSize;
        phrase = nullptr;
      }
      const Code mapped = phrase != nullptr || length == 1 ? 0 : length == 2 ? twoByte_[code] : FourByte(code);
      const size_t consumed = phrase != nullptr ? phrase->fromSize : length;
      const size_t produced = phrase != nullptr ? phrase->toSize : mapped != 0 ? CodeLength(mapped) : length;
      if (produced > consumed && o + produced > p + consumed) {
        const std::string rest = Map(std::string_view(reinterpret_cast<const char*>(p), static_cast<size_t>(end - p)));
        text.resize(static_cast<size_t>(o - base));
        text += rest;
        return;
      }
      if (phrase != nullptr) {
        std::memcpy(o, phrases_.To(*phrase), produced);
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
  using Phrase = PhraseIndex::Phrase;

  const Phrase* MatchPhrase(Code first, const Byte* p, const Byte* end) const { return phrases_.Match(first, p, end); }

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
  std::unordered_map<Code, Code> fourByte_;
  PhraseIndex phrases_;
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

std::string ToBig5Forms(std::string_view working) { return Big5FormsMap().Map(working); }

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
  return TranscodeResponsive(ToBig5Forms(text), kWorkingCharset, Charset::Big5, kResponsivePiece, {}, losses);
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
