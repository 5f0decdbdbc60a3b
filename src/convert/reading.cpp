// Encoding detection and decoding of a source file into the working text.
#include "convert/reading.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "convert/charset_scan.h"
#include "convert/generated/detect_tables.h"
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

Start DecideStart(std::string_view bytes, EncodingChoice input) {
  switch (input) {
    case EncodingChoice::Auto: {
      if (StartsWith(bytes, "\xEF\xBB\xBF")) return {EncodingChoice::Utf8, 3, "byte-order mark"};
      if (StartsWith(bytes, "\xFF\xFE")) return {EncodingChoice::Utf16Le, 2, "byte-order mark"};
      if (StartsWith(bytes, "\xFE\xFF")) return {EncodingChoice::Utf16Be, 2, "byte-order mark"};
      const std::string_view text = TextForCharsetScan(bytes);
      const EncodingChoice meta = FromDeclared(FindDeclaredCharset(text));
      if (meta != EncodingChoice::Auto) return {meta, 0, "declared in a meta tag"};
      const EncodingChoice xml = FromDeclared(FindXmlDeclaredCharset(text));
      if (xml != EncodingChoice::Auto) return {xml, 0, "declared in the XML declaration"};
      return {EncodingChoice::Auto, 0, ""};
    }
    case EncodingChoice::Utf16Le:
    case EncodingChoice::Utf16Be:
      // The first two bytes are taken for the mark, whatever they are.
      return {input, 2, "chosen"};
    case EncodingChoice::Utf8: return {input, StartsWith(bytes, "\xEF\xBB\xBF") ? size_t{3} : size_t{0}, "chosen"};
    default: return {input, 0, "chosen"};
  }
}

// Statistics look at this much of a file: enough for a clear verdict, cheap for a large file.
constexpr size_t kStatisticsSample = 64 * 1024;

// What one character says about a reading: +1 for what Chinese text is made of (its
// frequent Han characters and punctuation, and in UTF-16 printable ASCII), -1 for what
// a wrong reading lands on (private use, replacement, controls, kana, Greek, Cyrillic,
// Hangul, rare extension Han), 0 for the rest. Box drawing and the controls of terminal
// text (backspace, form feed, escape) say nothing either way: tables and coloured text
// are made of them, whatever the charset.
constexpr int kIgnored = 2;

int CharacterWeight(char32_t c) {
  if (c < 0x80) {
    if ((c >= 0x20 && c < 0x7F) || c == '\t' || c == '\n' || c == '\r') return 1;
    return c == 0x08 || c == 0x0C || c == 0x1B ? kIgnored : -1;
  }
  if (IsFrequentHan(c)) return 1;
  if ((c >= 0x3000 && c <= 0x3003) || (c >= 0x3008 && c <= 0x3011) || (c >= 0xFF01 && c <= 0xFF5E) ||
      (c >= 0x2018 && c <= 0x201D) || c == 0x2026 || c == 0x2014 || c == 0x00B7 || c == 0x2027) {
    return 1;
  }
  if (c >= 0x2500 && c <= 0x257F) return kIgnored;
  if (c >= 0x4E00 && c <= 0x9FFF) return 0;
  if ((c >= 0x00A0 && c <= 0x00BF) || c == 0x00D7 || c == 0x00F7 || (c >= 0x2000 && c <= 0x206F) ||
      (c >= 0x2100 && c <= 0x24FF) || (c >= 0x25A0 && c <= 0x26FF) || (c >= 0xFE30 && c <= 0xFE4F) ||
      (c >= 0xFF5F && c <= 0xFFEF)) {
    return 0;
  }
  return -1;
}

struct Reading {
  EncodingChoice encoding;
  Charset charset;
  bool usable = false;
  double score = 0;  // mean weight of the characters scored
  size_t scored = 0;
};

// Scores one reading of the sample. Unusable when the reading is not exact (an
// undecodable byte; only a character cut by the end of the sample is forgiven).
Reading Score(std::string_view sample, bool cut, EncodingChoice encoding, Charset charset) {
  Reading reading{encoding, charset};
  long long sum = 0;
  size_t replacements = 0;
  bool lastReplaced = false;
  VisitCharacters(sample, charset, [&](char32_t c) {
    lastReplaced = c == 0xFFFD;
    replacements += lastReplaced;
    const int weight = CharacterWeight(c);
    if (weight == kIgnored) return;
    sum += weight;
    ++reading.scored;
  });
  if (cut && lastReplaced) {
    --replacements;
    --reading.scored;
    ++sum;
  }
  reading.usable = replacements == 0;
  reading.score = reading.scored != 0 ? static_cast<double>(sum) / static_cast<double>(reading.scored) : 0;
  return reading;
}

std::string Figure(double value) {
  char text[16];
  std::snprintf(text, sizeof(text), "%.2f", value);
  return text;
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

EncodingChoice ChooseByStatistics(std::string_view bytes, std::string* how) {
  const bool cut = bytes.size() > kStatisticsSample;
  const std::string_view sample = bytes.substr(0, kStatisticsSample);
  const bool holdsZero = std::memchr(sample.data(), 0, sample.size()) != nullptr;
  std::vector<Reading> readings;
  // GBK first: most files that get here are GBK, and a clear GBK reading ends the
  // question (no other reading can then win by the margin).
  constexpr double kMargin = 0.3;
  if (!holdsZero) {
    readings.push_back(Score(sample, cut, EncodingChoice::Ansi, Charset::Gb18030));
    if (readings.back().scored == 0) {
      if (how) *how = "nothing but ASCII";
      return EncodingChoice::Auto;
    }
    if (readings.back().score <= 1 - kMargin)
      readings.push_back(Score(sample, cut, EncodingChoice::Big5, Charset::Big5Web));
  }
  const bool mayBeUtf16 = bytes.size() % 2 == 0 && (readings.empty() || readings[0].score <= 1 - kMargin);
  if (mayBeUtf16) {
    const std::string_view even = sample.substr(0, sample.size() & ~size_t{1});
    for (EncodingChoice encoding : {EncodingChoice::Utf16Le, EncodingChoice::Utf16Be}) {
      const Charset charset = CharsetOf(encoding);
      // A zero character ends the text: such a reading is no text at all.
      if (HoldsZeroCharacter(even, charset)) continue;
      readings.push_back(Score(even, cut, encoding, charset));
    }
  }
  const Reading* best = nullptr;
  const Reading* second = nullptr;
  std::string scores;
  for (const Reading& reading : readings) {
    if (!reading.usable) continue;
    if (!scores.empty()) scores += ", ";
    scores += CharsetLabel(reading.encoding) + " " + Figure(reading.score);
    if (!best || reading.score > best->score) {
      second = best;
      best = &reading;
    } else if (!second || reading.score > second->score) {
      second = &reading;
    }
  }
  if (how) *how = "statistics: " + (scores.empty() ? std::string("no reading fits") : scores);
  if (!best || best->encoding == EncodingChoice::Ansi) return EncodingChoice::Auto;
  // Another reading than GBK needs a clear score of its own, a few characters and a
  // clear lead over every other reading.
  const double margin = best->score - (second ? second->score : -1.0);
  if (best->score < 0.5 || best->scored < 2 || margin < kMargin) return EncodingChoice::Auto;
  if (how) *how += " (margin " + Figure(margin) + ")";
  return best->encoding;
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

// The decision over the file's content (decompressed already when it was gzipped).
SourceRead Decide(SourceRead source, EncodingChoice input) {
  platform::PumpMessages();
  const Start start = DecideStart(source.Content(), input);
  source.encoding = start.encoding;
  source.start = start.position;
  source.howDecided = start.how;
  if (input != EncodingChoice::Auto) return source;
  const std::string_view rest = source.Rest();
  if (source.start == 0 && source.encoding != EncodingChoice::Auto &&
      CountUndecodable(rest, ReadingCharsetOf(source.encoding)) != 0) {
    // A declaration the bytes contradict does not win when they are valid in another
    // charset: then the file is decided as if nothing were declared.
    const bool otherFits = (source.encoding != EncodingChoice::Utf8 && IsLikelyUtf8(rest)) ||
                           CountUndecodable(rest, Charset::Gb18030) == 0 ||
                           (source.encoding == EncodingChoice::Utf8 && CountUndecodable(rest, Charset::Big5Web) == 0);
    const std::string declared = CharsetLabel(source.encoding);
    if (!otherFits) {
      source.howDecided += " (not valid " + declared + ", nor anything else)";
      return source;
    }
    source.howDecided = source.howDecided + " as " + declared + ", but not valid " + declared + "; ";
    source.encoding = EncodingChoice::Auto;
  } else if (source.encoding != EncodingChoice::Auto) {
    return source;
  }
  if (IsLikelyUtf8(rest)) {
    source.encoding = EncodingChoice::Utf8;
    source.howDecided += "UTF-8 scan";
    return source;
  }
  std::string how;
  source.encoding = ChooseByStatistics(rest, &how);
  source.howDecided += how;
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
  if (result.text.empty()) {
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
