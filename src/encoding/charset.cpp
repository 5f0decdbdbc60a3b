// Transcode and the conversions of the Win32 boundary: one decoder feeds one writer,
// character by character, with no intermediate copy of the text.
#include "encoding/charset.h"

#include <new>

#include "encoding/decoders.h"
#include "encoding/writers.h"

namespace cw {
namespace {

using namespace detail;

struct NamedCharset {
  const char* name;
  Charset charset;
};
constexpr NamedCharset kNames[] = {
    {"GB18030", Charset::Gb18030}, {"BIG5", Charset::Big5},         {"BIG5-HKSCS", Charset::Big5Hkscs},
    {"UTF-8", Charset::Utf8},      {"UTF-16LE", Charset::Utf16Le}, {"UTF-16BE", Charset::Utf16Be},
};

template <class Writer>
void Decode(std::string_view bytes, Charset source, Writer& writer) {
  switch (source) {
    case Charset::Gb18030:
      return DecodeGb18030(bytes, writer);
    case Charset::Big5:
      return DecodeBig5<false>(bytes, gen::kCp950Decode, writer);
    case Charset::Big5Hkscs:
      return DecodeBig5<true>(bytes, gen::kBig5HkscsDecode, writer);
    case Charset::Utf8:
      return DecodeUtf8(bytes, writer);
    case Charset::Utf16Le:
      return DecodeUtf16<false>(bytes, writer);
    case Charset::Utf16Be:
      return DecodeUtf16<true>(bytes, writer);
    case Charset::Unknown:
      return;
  }
}

template <class Writer, class Out>
void Run(std::string_view bytes, Charset source, Out& out, std::size_t estimate) {
  Writer writer(out, estimate);
  Decode(bytes, source, writer);
  writer.Finish();
}

bool IsUtf16(Charset charset) { return charset == Charset::Utf16Le || charset == Charset::Utf16Be; }

// Sized for Chinese text, so that a typical conversion never grows the output: two-byte
// codes become three UTF-8 bytes, and anything becomes at most two bytes per byte of UTF-16.
std::size_t EstimateSize(std::size_t size, Charset source, Charset target) {
  if (IsUtf16(target)) return IsUtf16(source) ? size : 2 * size;
  if (target == Charset::Utf8) return source == Charset::Utf8 ? size : size + size / 2;
  return size;
}

}  // namespace

Charset CharsetFromName(std::string_view name) {
  for (const NamedCharset& entry : kNames) {
    if (name == entry.name) return entry.charset;
  }
  return Charset::Unknown;
}

const char* CharsetName(Charset charset) {
  for (const NamedCharset& entry : kNames) {
    if (entry.charset == charset) return entry.name;
  }
  return "";
}

std::string Transcode(std::string_view bytes, Charset source, Charset target) {
  std::string out;
  if (!TranscodeAppend(bytes, source, target, out)) out.clear();
  return out;
}

bool TranscodeAppend(std::string_view bytes, Charset source, Charset target, std::string& out) {
  if (source == Charset::Unknown || target == Charset::Unknown) return false;
  if (bytes.empty()) return true;
  const std::size_t before = out.size();
  const std::size_t estimate = EstimateSize(bytes.size(), source, target);
  try {
    switch (target) {
      case Charset::Gb18030:
        Run<Gb18030Writer>(bytes, source, out, estimate);
        break;
      case Charset::Big5:
        Run<Big5Writer<false>>(bytes, source, out, estimate);
        break;
      case Charset::Big5Hkscs:
        Run<Big5Writer<true>>(bytes, source, out, estimate);
        break;
      case Charset::Utf8:
        Run<Utf8Writer>(bytes, source, out, estimate);
        break;
      case Charset::Utf16Le:
        Run<Utf16ByteWriter<false>>(bytes, source, out, estimate);
        break;
      case Charset::Utf16Be:
        Run<Utf16ByteWriter<true>>(bytes, source, out, estimate);
        break;
      case Charset::Unknown:
        break;
    }
  } catch (const std::bad_alloc&) {
    // A text too large for this process converts to nothing, like any other failure.
    out.resize(before);
    return false;
  }
  return true;
}

std::string Transcode(std::string_view bytes, std::string_view sourceCharset, std::string_view targetCharset) {
  return Transcode(bytes, CharsetFromName(sourceCharset), CharsetFromName(targetCharset));
}

std::u16string WorkingToUtf16(std::string_view text) {
  std::u16string out;
  if (text.empty()) return out;
  Run<Utf16UnitWriter>(text, Charset::Gb18030, out, text.size());
  return out;
}

std::string Utf16ToWorking(std::u16string_view text) {
  std::string out;
  if (text.empty()) return out;
  Gb18030Writer writer(out, text.size() * 2);
  DecodeUtf16Units(text.size(), [text](std::size_t i) -> char32_t { return text[i]; }, writer);
  writer.Finish();
  return out;
}

std::string FromUtf8(std::string_view utf8) { return Transcode(utf8, Charset::Utf8, Charset::Gb18030); }

std::string ToUtf8(std::string_view working) { return Transcode(working, Charset::Gb18030, Charset::Utf8); }

}  // namespace cw
