// libFuzzer target: random bytes through every pair of charsets, and round trips through
// the working code page, which must lose nothing once the input has been decoded.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "encoding/charset.h"

namespace {

const cw::Charset kCharsets[] = {cw::Charset::Gb18030, cw::Charset::Big5,    cw::Charset::Big5Hkscs,
                                 cw::Charset::Utf8,    cw::Charset::Utf16Le, cw::Charset::Utf16Be};

void Require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  for (cw::Charset source : kCharsets) {
    const std::string working = cw::Transcode(bytes, source, cw::Charset::Gb18030);
    const std::string utf8 = cw::Transcode(working, cw::Charset::Gb18030, cw::Charset::Utf8);
    // Decoding straight to UTF-8 gives what passing through the working code page gives.
    Require(cw::Transcode(bytes, source, cw::Charset::Utf8) == utf8);
    Require(cw::Transcode(utf8, cw::Charset::Utf8, cw::Charset::Gb18030) == working);
    Require(cw::Transcode(working, cw::Charset::Gb18030, cw::Charset::Gb18030) == working);
    for (cw::Charset target : kCharsets) {
      const std::string out = cw::Transcode(working, cw::Charset::Gb18030, target);
      if (target == cw::Charset::Utf16Le || target == cw::Charset::Utf16Be) {
        Require(cw::Transcode(out, target, cw::Charset::Gb18030) == working);
      }
      // Random bytes straight from every charset to every other must not crash either.
      cw::Transcode(bytes, source, target);
    }
    Require(cw::Utf16ToWorking(cw::WorkingToUtf16(working)) == working);
  }
  return 0;
}
