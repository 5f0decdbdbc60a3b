// Fuzzes the meta-tag charset scan and the full read step on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "convert/charset_scan.h"
#include "convert/reading.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  cw::FindDeclaredCharset(bytes);
  cw::ScanPosition position;
  while (!cw::NextTextBetween(bytes, "<", "''", position).empty()) {
  }
  cw::TextBetween(bytes, "", ">");
  for (int input = 0; input <= 4; ++input) {
    const cw::DecodedText decoded = cw::DecodeBytes(bytes, static_cast<cw::EncodingChoice>(input));
    // The working text never holds a zero byte.
    if (decoded.text.find('\0') != std::string::npos) __builtin_trap();
  }
  return 0;
}
