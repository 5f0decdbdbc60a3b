// Simplified/Traditional mapping through flat tables built once from the generated pairs.
#include "convert/script_conversion.h"

#include <cstdint>
#include <cstring>
#include <memory>

#include "convert/responsive_transcode.h"
#include "convert/script_tables.h"
#include "encoding/charset.h"
#include "text/text.h"

namespace cw {
namespace {

// One entry per two-byte code: the mapped code, or 0 for "leave as it is".
class FlatTable {
 public:
  FlatTable(const ScriptPair* pairs, size_t count) : map_(new uint16_t[65536]()) {
    for (size_t i = 0; i < count; ++i) map_[pairs[i].from] = pairs[i].to;
  }
  uint16_t operator[](uint16_t code) const { return map_[code]; }

 private:
  std::unique_ptr<uint16_t[]> map_;
};

const FlatTable& TraditionalTable() {
  static const FlatTable table(kSimplifiedToTraditional, kSimplifiedToTraditionalSize);
  return table;
}

const FlatTable& SimplifiedTable() {
  static const FlatTable table(kTraditionalToSimplified, kTraditionalToSimplifiedSize);
  return table;
}

std::string MapPairs(std::string_view text, const FlatTable& table) {
  std::string out(text);
  unsigned char* p = reinterpret_cast<unsigned char*>(&out[0]);
  const size_t n = out.size();
  size_t i = 0;
  while (i < n) {
    // Runs of ASCII are skipped eight bytes at a time.
    if (i + 8 <= n) {
      uint64_t word;
      std::memcpy(&word, p + i, 8);
      if ((word & 0x8080808080808080ULL) == 0) {
        i += 8;
        continue;
      }
    }
    if (p[i] < 0x80) {
      ++i;
      continue;
    }
    if (i + 1 >= n) break;  // a lone lead byte at the end stays
    const uint16_t code = static_cast<uint16_t>((p[i] << 8) | p[i + 1]);
    const uint16_t mapped = table[code];
    if (mapped != 0) {
      p[i] = static_cast<unsigned char>(mapped >> 8);
      p[i + 1] = static_cast<unsigned char>(mapped & 0xFF);
    }
    i += 2;
  }
  return out;
}

}  // namespace

std::string ToTraditional(std::string_view text) { return MapPairs(text, TraditionalTable()); }

std::string ToSimplified(std::string_view text) { return MapPairs(text, SimplifiedTable()); }

std::string GbkToBig5(std::string_view text) { return TranscodeResponsive(text, "GB18030", "BIG5"); }

std::string Big5ToGbk(std::string_view text) { return TranscodeResponsive(text, "BIG5", "GB18030"); }

std::string SimplifiedToBig5(std::string_view text) { return GbkToBig5(ToTraditional(text)); }

std::string Big5ToSimplified(std::string_view text) { return ToSimplified(Big5ToGbk(text)); }

std::string MapContent(ScriptConversion conversion, std::string_view text) {
  switch (conversion) {
    case ScriptConversion::None: return std::string(text);
    case ScriptConversion::SimplifiedToTraditional: return ToTraditional(text);
    case ScriptConversion::TraditionalToSimplified: return ToSimplified(text);
    case ScriptConversion::SimplifiedToBig5: return SimplifiedToBig5(text);
    case ScriptConversion::TraditionalToBig5: return GbkToBig5(text);
    case ScriptConversion::Big5ToSimplified: return Big5ToSimplified(text);
    case ScriptConversion::Big5ToTraditional: return Big5ToGbk(text);
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
