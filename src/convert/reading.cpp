// Encoding detection and decoding of a source file into the working text.
#include "convert/reading.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "convert/charset_scan.h"
#include "convert/detect_statistics.h"
#include "convert/gzip_input.h"
#include "convert/responsive_transcode.h"
#include "encoding/ascii.h"
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
  const char* how;
  const char* howChinese;  // UTF-8
};

EncodingChoice FromDeclared(DeclaredCharset declared) {
  switch (declared) {
    case DeclaredCharset::Utf8: return EncodingChoice::Utf8;
    case DeclaredCharset::Big5: return EncodingChoice::Big5;
    case DeclaredCharset::Big5Hkscs: return EncodingChoice::Big5Hkscs;
    case DeclaredCharset::None: break;
  }
  return EncodingChoice::Auto;
}

constexpr const char* kMark = u8"字节顺序标记";
constexpr const char* kChosen = u8"已指定";

Start DecideStart(std::string_view bytes, EncodingChoice input) {
  switch (input) {
    case EncodingChoice::Auto: {
      if (StartsWith(bytes, "\xEF\xBB\xBF")) return {EncodingChoice::Utf8, 3, "byte-order mark", kMark};
      if (StartsWith(bytes, "\xFF\xFE")) return {EncodingChoice::Utf16Le, 2, "byte-order mark", kMark};
      if (StartsWith(bytes, "\xFE\xFF")) return {EncodingChoice::Utf16Be, 2, "byte-order mark", kMark};
      const std::string_view text = TextForCharsetScan(bytes);
      const EncodingChoice meta = FromDeclared(FindDeclaredCharset(text));
      if (meta != EncodingChoice::Auto) return {meta, 0, "declared in a meta tag", u8"网页的 meta 标签声明"};
      const EncodingChoice xml = FromDeclared(FindXmlDeclaredCharset(text));
      if (xml != EncodingChoice::Auto) return {xml, 0, "declared in the XML declaration", u8"XML 声明"};
      return {EncodingChoice::Auto, 0, "", ""};
    }
    case EncodingChoice::Utf16Le:
    case EncodingChoice::Utf16Be:
      // The first two bytes are taken for the mark, whatever they are.
      return {input, 2, "chosen", kChosen};
    case EncodingChoice::Utf8:
      return {input, StartsWith(bytes, "\xEF\xBB\xBF") ? size_t{3} : size_t{0}, "chosen", kChosen};
    default: return {input, 0, "chosen", kChosen};
  }
}

// The bytes of a word read from memory in the order they lie there.
inline uint32_t LittleEndian(uint32_t word) {
  const unsigned char* b = reinterpret_cast<const unsigned char*>(&word);
  return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 | static_cast<uint32_t>(b[2]) << 16 |
         static_cast<uint32_t>(b[3]) << 24;
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

namespace {

// The length of the well-formed UTF-8 sequence at p (2 to 4), or 0 when there is none:
// overlong forms (C0, C1, E0 80-9F, F0 80-8F), surrogates (ED A0-BF) and values above
// U+10FFFF are not UTF-8.
size_t Utf8SequenceLength(const unsigned char* p, size_t left) {
  const unsigned b = p[0];
  size_t need;
  unsigned low = 0x80, high = 0xBF;
  if (b >= 0xC2 && b <= 0xDF) {
    need = 2;
  } else if (b >= 0xE0 && b <= 0xEF) {
    need = 3;
    if (b == 0xE0) low = 0xA0;
    if (b == 0xED) high = 0x9F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    need = 4;
    if (b == 0xF0) low = 0x90;
    if (b == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (left < need || p[1] < low || p[1] > high) return 0;
  for (size_t k = 2; k < need; ++k) {
    if ((p[k] & 0xC0) != 0x80) return 0;
  }
  return need;
}

}  // namespace

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
      const size_t run = 8 + AsciiRun(p + i + 8, p + std::max(i + 8, std::min(n, nextPump)));
      ascii += run;
      i += run;
      continue;
    }
    // Three-byte sequences first: they are what Chinese UTF-8 is made of. One look at
    // four bytes checks the lead and both continuation bytes at once; the two lead bytes
    // with a narrower second-byte range (E0, ED) take the full check below.
    if (i + 4 <= n) {
      uint32_t word;
      std::memcpy(&word, p + i, 4);
      if ((LittleEndian(word) & 0x00C0C0F0u) == 0x008080E0u && p[i] != 0xE0 && p[i] != 0xED) {
        i += 3;
        continue;
      }
    }
    if (p[i] < 0x80) {
      ++ascii;
      ++i;
      continue;
    }
    const size_t length = Utf8SequenceLength(p + i, n - i);
    if (length == 0) return false;
    i += length;
  }
  return ascii != n;
}

Charset ReadingCharsetOf(EncodingChoice encoding) {
  const Charset charset = ReadCharsetOf(encoding);
  return charset == kWorkingCharset ? Charset::Unknown : charset;
}

std::string_view SourceRead::Content() const { return mapped ? mapped->Bytes() : std::string_view(bytes); }

std::string_view SourceRead::Rest() const {
  const std::string_view content = Content();
  return content.substr(std::min(start, content.size()));
}

namespace {

// The decompressed bytes become the content: every complete decompression (an empty
// one too), and the part a failed one gave before it failed. When a failure gave
// nothing the file's own bytes stay (they are refused as gzip data that failed).
void TakeDecompressed(GunzipResult&& decompressed, SourceRead& source) {
  source.gzip = decompressed.status;
  if (decompressed.status == GunzipStatus::Complete || !decompressed.bytes.empty()) {
    source.bytes = std::move(decompressed.bytes);
    source.wasGzipped = true;
  }
}

enum class Declaration { Stands, Contradicted, Outweighed };

// A declaration that stands; one the bytes contradict is named and the file is decided
// as if nothing were declared; one whose reading is far less likely than GBK's gives way
// to GBK.
Declaration WeighDeclaration(SourceRead& source, std::string_view rest) {
  const std::string declared = CharsetLabel(source.encoding);
  if (CountUndecodable(rest, ReadingCharsetOf(source.encoding)) != 0) {
    // A declaration the bytes contradict does not win when they are valid in another charset.
    const bool otherFits = (source.encoding != EncodingChoice::Utf8 && IsLikelyUtf8(rest)) ||
                           CountUndecodable(rest, Charset::Gb18030) == 0 ||
                           (source.encoding == EncodingChoice::Utf8 && CountUndecodable(rest, Charset::Big5Web) == 0);
    if (!otherFits) {
      source.howDecided += " (not valid " + declared + ", nor anything else)";
      source.howDecidedChinese += FromUtf8(u8"（不是有效的 ") + declared + FromUtf8(u8"，也不合其他编码）");
      return Declaration::Stands;
    }
    source.howDecided += " as " + declared + ", but not valid " + declared + "; ";
    source.howDecidedChinese +=
        FromUtf8(u8"为 ") + declared + FromUtf8(u8"，但不是有效的 ") + declared + FromUtf8(u8"；");
    return Declaration::Contradicted;
  }
  StatisticsVerdict verdict;
  if (!GbkOutweighsDeclared(rest, source.encoding, &verdict)) return Declaration::Stands;
  // A page that says big5 over GBK bytes: written over as Big5 it could not be turned back.
  source.howDecided += " as " + declared + ", but far less likely than GBK; " + verdict.how;
  source.howDecidedChinese += FromUtf8(u8"为 ") + declared + FromUtf8(u8"，但按 GBK 读可信得多；") + verdict.howChinese;
  source.detection = verdict.detection;
  source.encoding = EncodingChoice::Auto;
  return Declaration::Outweighed;
}

// The decision over the file's content (decompressed already when it was gzipped).
SourceRead Decide(SourceRead source, EncodingChoice input) {
  platform::PumpMessages();
  const Start start = DecideStart(source.Content(), input);
  source.encoding = start.encoding;
  source.start = start.position;
  source.howDecided = start.how;
  source.howDecidedChinese = FromUtf8(start.howChinese);
  if (input != EncodingChoice::Auto) return source;
  const std::string_view rest = source.Rest();
  if (source.encoding != EncodingChoice::Auto) {
    // Marks stand; so does a declaration the bytes bear out.
    if (source.start != 0 || WeighDeclaration(source, rest) != Declaration::Contradicted) return source;
    source.encoding = EncodingChoice::Auto;
  }
  if (IsLikelyUtf8(rest)) {
    source.encoding = EncodingChoice::Utf8;
    source.howDecided += "UTF-8 scan";
    source.howDecidedChinese += FromUtf8(u8"UTF-8 检查");
    return source;
  }
  StatisticsVerdict verdict = WeighReadings(rest);
  source.encoding = verdict.encoding;
  source.howDecided += verdict.how;
  source.howDecidedChinese += verdict.howChinese;
  source.detection = verdict.detection;
  return source;
}

}  // namespace

SourceRead DecideSource(std::string fileBytes, EncodingChoice input) {
  SourceRead source;
  source.bytes = std::move(fileBytes);
  if (LooksGzipped(source.bytes)) TakeDecompressed(Gunzip(source.bytes), source);
  return Decide(std::move(source), input);
}

DecodedText DecodeSource(SourceRead&& source) {
  DecodedText result;
  result.status = source.status;
  result.wasGzipped = source.wasGzipped;
  if (source.status != ReadStatus::Ok) return result;
  result.howDecided = source.howDecided;
  result.howDecidedChinese = source.howDecidedChinese;
  result.detection = source.detection;
  EncodingChoice encoding = source.encoding;
  const std::string_view rest = source.Rest();
  const Charset charset = ReadingCharsetOf(encoding);
  if (charset != Charset::Unknown && !rest.empty()) {
    TranscodeLosses losses;
    // The decoding stops at a zero character, so the working text holds none.
    result.text = TranscodeResponsive(rest, charset, kWorkingCharset, kResponsivePiece, {}, &losses);
    result.undecodable = losses.undecodable;
    result.cutAtZero = !result.text.empty() && HoldsZeroCharacter(rest, charset);
    if (!result.text.empty()) {
      // The file's bytes are done with: the steps after this one hold only the text.
      std::string().swap(source.bytes);
      source.mapped.reset();
    }
  }
  // A byte-order mark and nothing after it is an empty text in the mark's encoding.
  const bool onlyAMark = rest.empty() && source.start > 0;
  if (result.text.empty() && !onlyAMark) {
    // Nothing decoded (or nothing to decode): the raw bytes, mark included, are the
    // text; without a zero byte in them the file's own buffer becomes the text.
    const std::string_view content = source.Content();
    result.cutAtZero = FindByteResponsive(content, '\0') != std::string_view::npos;
    result.undecodable = 0;
    if (result.cutAtZero || source.mapped) {
      result.text = text::FromBytes(content);
    } else {
      result.text = std::move(source.bytes);
    }
    encoding = EncodingChoice::Ansi;
  }
  // Whatever way it went, the text holds the content now.
  source.mapped.reset();
  result.detected = encoding;
  return result;
}

DecodedText DecodeBytes(std::string_view fileBytes, EncodingChoice input) {
  return DecodeSource(DecideSource(std::string(fileBytes), input));
}

namespace {

// Files are read this much at a time where they are read in pieces.
constexpr size_t kReadPiece = 4u << 20;

// A gzipped file is decompressed piece by piece as it is read, so that its compressed
// bytes are never held whole beside the decompressed ones.
platform::Status ReadGzipped(platform::OpenFile& file, uint64_t size, GunzipResult* result) {
  GunzipStream stream;
  std::string piece;
  // The trailer of the last member gives that member's size: the whole text of a file
  // of one member, room made for at once.
  if (size >= 4 && file.ReadAt(size - 4, 4, &piece) == platform::Status::Ok) stream.Expect(GzipTrailerSize(piece));
  for (uint64_t offset = 0;;) {
    const platform::Status status = file.ReadAt(offset, kReadPiece, &piece);
    if (status != platform::Status::Ok) return status;
    if (piece.empty() || !stream.Feed(piece)) break;
    offset += piece.size();
    platform::PumpMessages();
  }
  *result = stream.Finish();
  std::string& bytes = result->bytes;
  // A trailer that promised more than came leaves no idle room behind.
  if (bytes.capacity() - bytes.size() > bytes.size() / 4) bytes.shrink_to_fit();
  return platform::Status::Ok;
}

}  // namespace

SourceRead ReadSource(const std::string& sourcePath, EncodingChoice input, platform::FileInfo* info, bool mapLarge) {
  SourceRead source;
  std::string bytes;
  platform::FileInfo opened;
  std::unique_ptr<platform::OpenFile> file;
  platform::Status status = platform::OpenForReading(sourcePath, &file, &opened);
  // A small file is read at once; a larger one only its signature, for a start.
  if (status == platform::Status::Ok) status = file->ReadAt(0, opened.size <= kReadPiece ? kReadPiece : 2, &bytes);
  const bool gzipped = status == platform::Status::Ok && LooksGzipped(bytes);
  try {
    if (gzipped) {
      GunzipResult decompressed;
      status = ReadGzipped(*file, opened.size, &decompressed);
      // A failure that gave nothing: the file is read as it is, as DecideSource reads it.
      if (status == platform::Status::Ok &&
          (decompressed.status == GunzipStatus::Complete || !decompressed.bytes.empty())) {
        if (info) *info = opened;
        TakeDecompressed(std::move(decompressed), source);
        return Decide(std::move(source), input);
      }
      bytes.clear();
    }
    file.reset();
    if (status == platform::Status::Ok && mapLarge && !gzipped && opened.size > kReadPiece) {
      // Converted where it lies: no copy of the file in memory of ours.
      std::unique_ptr<platform::MappedFile> mapping;
      status = platform::MapWholeFile(sourcePath, &mapping, &opened);
      if (status == platform::Status::Ok) {
        if (info) *info = opened;
        source.mapped = std::move(mapping);
        return Decide(std::move(source), input);
      }
    } else if (status == platform::Status::Ok && bytes.size() != opened.size) {
      status = platform::ReadWholeFile(sourcePath, &bytes, &opened);
    }
    if (status != platform::Status::Ok) {
      source.status = FromPlatform(status);
      return source;
    }
    if (info) *info = opened;
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

namespace cw {
namespace {

// The length of the working-code-page character at p: 1, 2 or 4 bytes (a byte that
// starts nothing valid is a character of its own).
size_t CharacterLength(const unsigned char* p, size_t left) {
  if (p[0] < 0x81 || p[0] == 0xFF || left < 2) return 1;
  if (p[1] >= 0x30 && p[1] <= 0x39) {
    return left >= 4 && p[2] >= 0x81 && p[2] <= 0xFE && p[3] >= 0x30 && p[3] <= 0x39 ? 4 : 1;
  }
  return p[1] >= 0x40 && p[1] <= 0xFE && p[1] != 0x7F ? 2 : 1;
}

// A two-byte Han character of GBK: its level 1 and 2 (B0A1-F7FE), and its extensions
// (8140-A0FE, AA40-FEA0).
bool IsHan(const unsigned char* p, size_t length) {
  if (length != 2) return false;
  const unsigned lead = p[0], trail = p[1];
  return lead <= 0xA0 || (lead >= 0xB0 && lead <= 0xF7 && trail >= 0xA1) || (lead >= 0xAA && trail <= 0xA0);
}

bool IsBlank(std::string_view text, size_t at, size_t length) {
  if (length == 1) return text[at] == ' ' || text[at] == '\t' || text[at] == '\r' || text[at] == '\v';
  return length == 2 && text.compare(at, 2, "\xA1\xA1") == 0;  // the ideographic space
}

// The line trimmed, up to `maxChars` characters of it.
std::string Clip(std::string_view line, size_t maxChars) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(line.data());
  std::vector<std::pair<size_t, size_t>> characters;  // offset, length
  size_t firstHan = std::string_view::npos;
  for (size_t i = 0; i < line.size();) {
    const size_t length = CharacterLength(p + i, line.size() - i);
    if (firstHan == std::string_view::npos && IsHan(p + i, length)) firstHan = characters.size();
    characters.emplace_back(i, length);
    i += length;
  }
  size_t begin = 0, end = characters.size();
  while (begin < end && IsBlank(line, characters[begin].first, characters[begin].second)) ++begin;
  while (end > begin && IsBlank(line, characters[end - 1].first, characters[end - 1].second)) --end;
  // A long line (a minified page) is shown from its Chinese.
  if (firstHan >= begin + maxChars) begin = firstHan;
  end = std::min(end, begin + maxChars);
  if (begin >= end) return std::string();
  const size_t from = characters[begin].first;
  return std::string(line.substr(from, characters[end - 1].first + characters[end - 1].second - from));
}

bool HoldsHan(std::string_view line) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(line.data());
  for (size_t i = 0; i < line.size();) {
    const size_t length = CharacterLength(p + i, line.size() - i);
    if (IsHan(p + i, length)) return true;
    i += length;
  }
  return false;
}

}  // namespace

std::string FirstChineseLine(std::string_view workingText, size_t maxChars) {
  for (size_t start = 0; start < workingText.size();) {
    size_t end = workingText.find('\n', start);
    if (end == std::string_view::npos) end = workingText.size();
    const std::string_view line = workingText.substr(start, end - start);
    if (HoldsHan(line)) return Clip(line, maxChars);
    start = end + 1;
  }
  return std::string();
}

}  // namespace cw
