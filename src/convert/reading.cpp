// Encoding detection and decoding of a source file into the working text.
#include "convert/reading.h"

#include <cstdint>
#include <cstring>
#include <new>

#include "convert/charset_scan.h"
#include "convert/gzip_input.h"
#include "convert/responsive_transcode.h"
#include "encoding/charset.h"
#include "text/text.h"

namespace cw {
namespace {

constexpr size_t kPumpInterval = 64 * 1024;

bool StartsWith(std::string_view bytes, std::string_view prefix) {
  return bytes.size() >= prefix.size() && std::memcmp(bytes.data(), prefix.data(), prefix.size()) == 0;
}

ReadStatus FromPlatform(platform::Status status) {
  switch (status) {
    case platform::Status::Ok: return ReadStatus::Ok;
    case platform::Status::NotFound:
    case platform::Status::InvalidPath: return ReadStatus::NotFound;
    case platform::Status::AccessDenied:
    case platform::Status::SharingViolation: return ReadStatus::AccessDenied;
    case platform::Status::TooLarge: return ReadStatus::TooLarge;
    default: return ReadStatus::Failed;
  }
}

// Decides the encoding and where the content starts, before the UTF-8 scan.
struct Start {
  EncodingChoice encoding;
  size_t position;
};

Start DecideStart(std::string_view bytes, EncodingChoice input) {
  switch (input) {
    case EncodingChoice::Auto: {
      if (StartsWith(bytes, "\xEF\xBB\xBF")) return {EncodingChoice::Utf8, 3};
      if (StartsWith(bytes, "\xFF\xFE")) return {EncodingChoice::Utf16Le, 2};
      if (StartsWith(bytes, "\xFE\xFF")) return {EncodingChoice::Utf16Be, 2};
      switch (FindDeclaredCharset(TextForCharsetScan(bytes))) {
        case DeclaredCharset::Utf8: return {EncodingChoice::Utf8, 0};
        case DeclaredCharset::Big5: return {EncodingChoice::Big5, 0};
        case DeclaredCharset::Big5Hkscs: return {EncodingChoice::Big5Hkscs, 0};
        case DeclaredCharset::None: break;
      }
      return {EncodingChoice::Auto, 0};
    }
    case EncodingChoice::Utf16Le:
    case EncodingChoice::Utf16Be:
      // The first two bytes are taken for the mark, whatever they are.
      return {input, 2};
    case EncodingChoice::Utf8:
      return {input, StartsWith(bytes, "\xEF\xBB\xBF") ? size_t{3} : size_t{0}};
    default:
      return {input, 0};
  }
}

// The bytes of a word read from memory in the order they lie there.
inline uint32_t LittleEndian(uint32_t word) {
  const unsigned char* b = reinterpret_cast<const unsigned char*>(&word);
  return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 | static_cast<uint32_t>(b[2]) << 16 |
         static_cast<uint32_t>(b[3]) << 24;
}

// Eight bytes at a time while they are all ASCII.
inline bool AllAscii8(const unsigned char* p) {
  uint64_t word;
  std::memcpy(&word, p, 8);
  return (word & 0x8080808080808080ULL) == 0;
}

}  // namespace

const char* ReadStatusName(ReadStatus status) {
  switch (status) {
    case ReadStatus::Ok: return "ok";
    case ReadStatus::NotFound: return "not found";
    case ReadStatus::AccessDenied: return "access denied";
    case ReadStatus::TooLarge: return "too large";
    case ReadStatus::Failed: return "read failed";
  }
  return "read failed";
}

std::string_view TextForCharsetScan(std::string_view bytes) {
  // Most files hold neither byte: then the whole file is the text.
  if (FindByteResponsive(bytes, '\0') == std::string_view::npos &&
      FindByteResponsive(bytes, '\x1A') == std::string_view::npos) {
    return bytes;
  }
  const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t n = bytes.size();
  size_t i = 0;
  while (i < n) {
    const unsigned char b = p[i];
    if (b == 0 || b == 0x1A) break;
    if (b >= 0x80) {
      // The pair is one character, so a 1A in second place does not end the text; a
      // zero still does, as a text cannot hold one.
      if (i + 1 < n && p[i + 1] == 0) break;
      i += (i + 1 < n) ? 2 : 1;
    } else {
      ++i;
    }
  }
  return bytes.substr(0, i);
}

bool IsLikelyUtf8(std::string_view bytes) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t n = bytes.size();
  size_t i = 0;
  size_t ascii = 0;
  size_t nextPump = 0;
  while (i < n) {
    if (i >= nextPump) {
      platform::PumpMessages();
      nextPump = i + kPumpInterval;
    }
    if (i + 8 <= n && AllAscii8(p + i)) {
      ascii += 8;
      i += 8;
      continue;
    }
    // Three-byte sequences first: they are what Chinese UTF-8 is made of. One look at
    // four bytes checks the lead and both continuation bytes at once.
    if (i + 4 <= n) {
      uint32_t word;
      std::memcpy(&word, p + i, 4);
      if ((LittleEndian(word) & 0x00C0C0F0u) == 0x008080E0u) {
        i += 3;
        continue;
      }
    }
    const unsigned char b = p[i];
    if (i + 2 < n && (b & 0xF0) == 0xE0 && (p[i + 1] & 0xC0) == 0x80 && (p[i + 2] & 0xC0) == 0x80) {
      i += 3;
    } else if (b < 0x80) {
      ++ascii;
      ++i;
    } else if (i + 1 < n && (b & 0xE0) == 0xC0 && (p[i + 1] & 0xC0) == 0x80) {
      i += 2;
    } else {
      return false;
    }
  }
  return ascii != n;
}

std::string_view SourceRead::Rest() const {
  return std::string_view(bytes).substr(std::min(start, bytes.size()));
}

SourceRead DecideSource(std::string fileBytes, EncodingChoice input) {
  SourceRead source;
  source.bytes = std::move(fileBytes);
  if (LooksGzipped(source.bytes)) {
    std::string decompressed = GunzipBytes(source.bytes);
    if (!decompressed.empty()) {
      source.bytes = std::move(decompressed);
      source.wasGzipped = true;
    }
  }
  platform::PumpMessages();
  const Start start = DecideStart(source.bytes, input);
  source.encoding = start.encoding;
  source.start = start.position;
  if (source.encoding == EncodingChoice::Auto && IsLikelyUtf8(source.Rest())) {
    source.encoding = EncodingChoice::Utf8;
  }
  return source;
}

DecodedText DecodeSource(SourceRead&& source) {
  DecodedText result;
  result.status = source.status;
  result.wasGzipped = source.wasGzipped;
  if (source.status != ReadStatus::Ok) return result;
  EncodingChoice encoding = source.encoding;
  const std::string_view rest = source.Rest();
  const std::string_view charset = CharsetNameOf(encoding);
  if (!charset.empty() && !rest.empty()) {
    result.text = text::FromBytes(TranscodeResponsive(rest, charset, kWorkingCharset));
    result.cutAtZero = !result.text.empty() && HoldsZeroCharacter(rest, CharsetFromName(charset));
  }
  if (result.text.empty()) {
    // Nothing decoded (or nothing to decode): the raw bytes, mark included, are the
    // text; without a zero byte in them the file's own buffer becomes the text.
    result.cutAtZero = FindByteResponsive(source.bytes, '\0') != std::string_view::npos;
    result.text = result.cutAtZero ? text::FromBytes(source.bytes) : std::move(source.bytes);
    encoding = EncodingChoice::Ansi;
  }
  result.detected = encoding;
  return result;
}

DecodedText DecodeBytes(std::string_view fileBytes, EncodingChoice input) {
  return DecodeSource(DecideSource(std::string(fileBytes), input));
}

SourceRead ReadSource(const std::string& sourcePath, EncodingChoice input) {
  SourceRead source;
  std::string bytes;
  const platform::Status status = platform::ReadWholeFile(sourcePath, &bytes);
  if (status != platform::Status::Ok) {
    source.status = FromPlatform(status);
    return source;
  }
  try {
    source = DecideSource(std::move(bytes), input);
  } catch (const std::bad_alloc&) {
    source = SourceRead();
    source.status = ReadStatus::TooLarge;
  }
  return source;
}

DecodedText LoadDecodedText(const std::string& sourcePath, EncodingChoice input) {
  SourceRead source = ReadSource(sourcePath, input);
  try {
    return DecodeSource(std::move(source));
  } catch (const std::bad_alloc&) {
    DecodedText result;
    result.status = ReadStatus::TooLarge;
    return result;
  }
}

}  // namespace cw
