// Automatic detection and the loss counts on arbitrary bytes: no crash, and what they
// report agrees with itself.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "convert/charset_scan.h"
#include "convert/reading.h"
#include "encoding/charset.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  cw::FindXmlDeclaredCharset(bytes);
  const cw::DecodedText decoded = cw::DecodeBytes(bytes, cw::EncodingChoice::Auto);
  const int detected = static_cast<int>(decoded.detected);
  if (detected < 1 || detected > 6) std::abort();
  // ANSI text is the bytes themselves, up to a zero byte (gzip input: its content).
  if (decoded.detected == cw::EncodingChoice::Ansi && !decoded.wasGzipped &&
      decoded.text != std::string(bytes.substr(0, bytes.find('\0')))) {
    std::abort();
  }
  // The count of a transcoding and the count of a decoding alone are the same.
  for (cw::Charset charset : {cw::Charset::Utf8, cw::Charset::Utf16Le, cw::Charset::Big5Web, cw::Charset::Gb18030}) {
    cw::TranscodeLosses losses;
    cw::Transcode(bytes, charset, cw::Charset::Utf8, &losses);
    if (losses.undecodable != cw::CountUndecodable(bytes, charset)) std::abort();
  }
  return 0;
}
