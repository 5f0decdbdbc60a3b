// Transcode and the conversions of the Win32 boundary: one decoder feeds one writer,
// character by character, with no intermediate copy of the text.
#include "encoding/charset.h"

#include <iterator>
#include <memory>
#include <new>

#include "base/check.h"
#include "encoding/decoders.h"
#include "encoding/writers.h"

namespace cw {
namespace {

using namespace detail;

bool IsPrivateUse(std::uint32_t c) { return c >= 0xE000 && c <= 0xF8FF; }

// Code page 950's characters, and Big5-HKSCS's where code page 950 has none or only a
// private-use one.
const std::uint32_t* Big5WebDecode() {
  static const std::unique_ptr<std::uint32_t[]> table = [] {
    std::unique_ptr<std::uint32_t[]> merged(new std::uint32_t[gen::kBig5PointerCount]);
    for (std::size_t i = 0; i < gen::kBig5PointerCount; ++i) {
      const std::uint32_t cp950 = gen::kCp950Decode[i];
      const std::uint32_t hkscs = gen::kBig5HkscsDecode[i];
      merged[i] = (cp950 == 0 || IsPrivateUse(cp950)) && hkscs != 0 ? hkscs : cp950;
    }
    // The four codes of a letter with a combining mark are left to the pair lookup.
    for (const Big5Pair& pair : kBig5Pairs) merged[pair.pointer] = 0;
    return merged;
  }();
  return table.get();
}

const Utf8PairTable& Big5WebUtf8Pairs() {
  static const std::unique_ptr<Utf8PairTable> table = MakeBig5Utf8Pairs(Big5WebDecode());
  return *table;
}

// The Big5 decoders over their tables.
template <class Sink>
void DecodeCp950(std::string_view bytes, Sink& sink) {
  DecodeBig5<false, Cp950Utf8Pairs>(bytes, gen::kCp950Decode, sink);
}
template <class Sink>
void DecodeHkscs(std::string_view bytes, Sink& sink) {
  DecodeBig5<true, Big5HkscsUtf8Pairs>(bytes, gen::kBig5HkscsDecode, sink);
}
template <class Sink>
void DecodeBig5Web(std::string_view bytes, Sink& sink) {
  DecodeBig5<true, Big5WebUtf8Pairs>(bytes, Big5WebDecode(), sink);
}

// Converts `bytes` with one writer into `out`; defined below.
template <class Writer, class Out>
void Run(std::string_view bytes, Charset source, Charset target, Out& out, std::size_t estimate,
         TranscodeLosses* losses = nullptr);
using WriteFunction = void (*)(std::string_view, Charset, Charset, std::string&, std::size_t, TranscodeLosses*);

// Everything the engine knows of a charset. `choice` is the user's choice that writes it;
// `readAs` the charset that choice reads. `replacement` is how the charset writes U+FFFD
// (Big5 has no code for it), found only at a multiple of `unit` bytes.
template <class Sink>
struct CharsetRow {
  Charset charset;
  const char* name;
  EncodingChoice choice;
  Charset readAs;
  std::string_view byteOrderMark;
  void (*decode)(std::string_view bytes, Sink& sink);
  WriteFunction write;
  std::string_view replacement;
  std::size_t unit;
};

// The charsets in the order of the enum, so that a charset is its row's index. The table
// is one per kind of sink the decoders feed; everything but `decode` is the same in each.
template <class Sink>
constexpr CharsetRow<Sink> kCharsets[] = {
    {Charset::Unknown, "", EncodingChoice::Auto, Charset::Unknown, {}, nullptr, nullptr, {}, 1},
    {Charset::Gb18030,
     "GB18030",
     EncodingChoice::Ansi,
     Charset::Gb18030,
     {},
     &DecodeGb18030<Sink>,
     &Run<Gb18030Writer, std::string>,
     std::string_view("\x84\x31\xA4\x37", 4),
     1},
    {Charset::Big5,
     "BIG5",
     EncodingChoice::Big5,
     Charset::Big5Web,
     {},
     &DecodeCp950<Sink>,
     &Run<Big5Writer<false>, std::string>,
     {},
     1},
    {Charset::Big5Hkscs,
     "BIG5-HKSCS",
     EncodingChoice::Big5Hkscs,
     Charset::Big5Hkscs,
     {},
     &DecodeHkscs<Sink>,
     &Run<Big5Writer<true>, std::string>,
     {},
     1},
    {Charset::Utf8, "UTF-8", EncodingChoice::Utf8, Charset::Utf8, std::string_view("\xEF\xBB\xBF", 3),
     &DecodeUtf8<Sink>, &Run<Utf8Writer, std::string>, std::string_view("\xEF\xBF\xBD", 3), 1},
    {Charset::Utf16Le, "UTF-16LE", EncodingChoice::Utf16Le, Charset::Utf16Le, std::string_view("\xFF\xFE", 2),
     &DecodeUtf16<false, Sink>, &Run<Utf16ByteWriter<false>, std::string>, std::string_view("\xFD\xFF", 2), 2},
    {Charset::Utf16Be, "UTF-16BE", EncodingChoice::Utf16Be, Charset::Utf16Be, std::string_view("\xFE\xFF", 2),
     &DecodeUtf16<true, Sink>, &Run<Utf16ByteWriter<true>, std::string>, std::string_view("\xFF\xFD", 2), 2},
    // Read only: no choice writes it (Big5 reads as it), and it writes as code page 950.
    {Charset::Big5Web,
     "BIG5-WEB",
     EncodingChoice::Auto,
     Charset::Big5Web,
     {},
     &DecodeBig5Web<Sink>,
     &Run<Big5Writer<false>, std::string>,
     {},
     1},
};

// Takes the decoder's output and keeps nothing but the count of U+FFFD.
struct ReplacementCounter {
  void Ascii(const char*, std::size_t) {}
  void Put(char32_t c) { replacements += c == kReplacement; }
  std::size_t replacements = 0;
};

// The rows looked up for anything but decoding are the counter's (any instance would do).
using Row = CharsetRow<ReplacementCounter>;

template <class Sink = ReplacementCounter>
const CharsetRow<Sink>& RowOf(Charset charset) {
  static_assert(std::size(kCharsets<Sink>) == static_cast<std::size_t>(Charset::Big5Web) + 1);
  const auto index = static_cast<std::size_t>(charset);
  CW_CHECK(index < std::size(kCharsets<Sink>));
  return kCharsets<Sink>[index < std::size(kCharsets<Sink>) ? index : 0];
}

// The row of the charset a choice writes; the Unknown row for Auto and anything else.
const Row& RowOf(EncodingChoice choice) {
  for (const Row& row : kCharsets<ReplacementCounter>) {
    if (row.choice == choice) return row;
  }
  return kCharsets<ReplacementCounter>[0];
}

template <class Sink>
void Decode(std::string_view bytes, Charset source, Sink& sink) {
  const CharsetRow<Sink>& row = RowOf<Sink>(source);
  if (row.decode != nullptr) row.decode(bytes, sink);
}

// Whether the target charset has a code for c (GB18030 and the UTFs have one for every
// character). Big5-HKSCS writes Ê/ê followed by U+0304 or U+030C as one code.
class TargetFit {
 public:
  explicit TargetFit(Charset target) : target_(target) {
    if (target == Charset::Big5 || target == Charset::Big5Web) table_ = &Cp950FromBmp();
    if (target == Charset::Big5Hkscs) table_ = &Big5HkscsFromBmp();
  }
  bool Fits(char32_t c) {
    if (table_ == nullptr) return true;
    const char32_t previous = previous_;
    previous_ = c;
    if (c < 0x10000 && (*table_)[c] != 0) return true;
    if (target_ != Charset::Big5Hkscs) return false;
    if (c >= 0x10000) return Big5HkscsFromSupplementary(c) != 0;
    return (c == 0x0304 || c == 0x030C) && (previous == 0x00CA || previous == 0x00EA);
  }
  void Ascii() { previous_ = 0; }
  bool FitsAll() const { return table_ == nullptr; }

 private:
  Charset target_;
  const BmpEncodeTable* table_ = nullptr;
  char32_t previous_ = 0;
};

// Passes everything on to the writer and counts what is lost on the way.
template <class Writer>
class CountingWriter {
 public:
  // Runs of characters go through in bulk as the writer takes them, counted one by one.
  static constexpr bool kBulk = IsBulkWriter<Writer>::value;
  CountingWriter(Writer& writer, Charset target) : writer_(writer), fit_(target) {}
  auto* Open(std::size_t chars) { return writer_.Open(chars); }
  template <class Unit>
  Unit* PutBmp(Unit* p, char32_t c) {
    Count(c);
    return writer_.PutBmp(p, c);
  }
  template <class Unit>
  void Close(Unit* p) {
    writer_.Close(p);
  }
  // The fused runs take no U+FFFD, so they pass straight through to a target that has
  // a code for every character.
  static constexpr bool kPairs = TakesPairs<Writer>::value;
  static constexpr bool kUtf8Runs = TakesUtf8Runs<Writer>::value;
  bool PairRun(const Byte*& p, const Byte* end, const Utf8PairTable& pairs) {
    if constexpr (kPairs) return fit_.FitsAll() && writer_.PairRun(p, end, pairs);
    return false;
  }
  bool Utf8Run(const Byte*& p, const Byte* end) {
    if constexpr (kUtf8Runs) return fit_.FitsAll() && writer_.Utf8Run(p, end);
    return false;
  }
  void Ascii(const char* bytes, std::size_t n) {
    fit_.Ascii();
    writer_.Ascii(bytes, n);
  }
  void Put(char32_t c) {
    Count(c);
    writer_.Put(c);
  }
  std::size_t replacements_ = 0;
  std::size_t unencodable_ = 0;

 private:
  void Count(char32_t c) {
    // A U+FFFD stands for nothing the target could lose: it is counted as read.
    if (c == kReplacement) {
      ++replacements_;
    } else if (!fit_.Fits(c)) {
      ++unencodable_;
    }
  }

  Writer& writer_;
  TargetFit fit_;
};

// The U+FFFD characters the bytes really hold, which the decoder rightly passes on.
std::size_t CountLiteralReplacements(std::string_view bytes, Charset source) {
  const Row& row = RowOf(source);
  const std::string_view code = row.replacement;
  if (code.empty()) return 0;
  std::size_t count = 0;
  for (std::size_t at = bytes.find(code); at != std::string_view::npos; at = bytes.find(code, at + 1)) {
    if (at % row.unit == 0) ++count;
  }
  return count;
}

TranscodeLosses LossesOf(std::string_view bytes, Charset source, std::size_t replacements, std::size_t unencodable) {
  TranscodeLosses losses;
  losses.unencodable = unencodable;
  if (replacements != 0) {
    const std::size_t literal = CountLiteralReplacements(bytes, source);
    losses.undecodable = replacements > literal ? replacements - literal : 0;
  }
  return losses;
}

template <class Writer, class Out>
void Run(std::string_view bytes, Charset source, Charset target, Out& out, std::size_t estimate,
         TranscodeLosses* losses) {
  Writer writer(out, estimate);
  CountingWriter<Writer> counting(writer, target);
  Decode(bytes, source, counting);
  writer.Finish();
  if (losses != nullptr && (counting.replacements_ != 0 || counting.unencodable_ != 0)) {
    *losses += LossesOf(bytes, source, counting.replacements_, counting.unencodable_);
  }
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
  for (const Row& row : kCharsets<ReplacementCounter>) {
    if (name == row.name) return row.charset;
  }
  return Charset::Unknown;
}

const char* CharsetName(Charset charset) { return RowOf(charset).name; }

std::string_view ByteOrderMark(Charset charset) { return RowOf(charset).byteOrderMark; }

Charset CharsetOf(EncodingChoice choice) { return RowOf(choice).charset; }

Charset ReadCharsetOf(EncodingChoice choice) { return RowOf(choice).readAs; }

std::string Transcode(std::string_view bytes, Charset source, Charset target, TranscodeLosses* losses) {
  std::string out;
  if (!TranscodeAppend(bytes, source, target, out, losses)) out.clear();
  return out;
}

bool TranscodeAppend(std::string_view bytes, Charset source, Charset target, std::string& out,
                     TranscodeLosses* losses) {
  if (RowOf(source).charset == Charset::Unknown || RowOf(target).charset == Charset::Unknown) return false;
  if (bytes.empty()) return true;
  const std::size_t before = out.size();
  const std::size_t estimate = EstimateSize(bytes.size(), source, target);
  try {
    RowOf(target).write(bytes, source, target, out, estimate, losses);
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

std::size_t CountUndecodable(std::string_view bytes, Charset source) {
  ReplacementCounter counter;
  Decode(bytes, source, counter);
  if (counter.replacements == 0) return 0;
  return LossesOf(bytes, source, counter.replacements, 0).undecodable;
}

namespace {

struct VisitingWriter {
  const std::function<void(char32_t)>& visit;
  std::size_t ascii = 0;
  void Ascii(const char*, std::size_t n) { ascii += n; }
  void Put(char32_t c) { visit(c); }
};

}  // namespace

std::size_t VisitCharacters(std::string_view bytes, Charset source, const std::function<void(char32_t)>& visit) {
  VisitingWriter writer{visit};
  Decode(bytes, source, writer);
  return writer.ascii;
}

std::u16string WorkingToUtf16(std::string_view text) {
  std::u16string out;
  if (text.empty()) return out;
  Run<Utf16UnitWriter>(text, Charset::Gb18030, Charset::Utf16Le, out, text.size());
  return out;
}

namespace {

// UTF-16 units, held in char16_t or wchar_t, as working text.
template <class Units>
std::string UnitsToWorking(Units text) {
  std::string out;
  if (text.empty()) return out;
  Gb18030Writer writer(out, text.size() * 2);
  DecodeUtf16Units(
      text.size(), [text](std::size_t i) -> char32_t { return static_cast<char16_t>(text[i]); }, writer);
  writer.Finish();
  return out;
}

}  // namespace

std::string Utf16ToWorking(std::u16string_view text) { return UnitsToWorking(text); }

std::wstring WorkingToWide(std::string_view text) {
  const std::u16string units = WorkingToUtf16(text);
  return std::wstring(units.begin(), units.end());
}

std::string WideToWorking(std::wstring_view text) { return UnitsToWorking(text); }

std::string FromUtf8(std::string_view utf8) { return Transcode(utf8, Charset::Utf8, Charset::Gb18030); }

std::string ToUtf8(std::string_view working) { return Transcode(working, Charset::Gb18030, Charset::Utf8); }

bool PlainWorkingToUtf8(std::string_view working, std::string* utf8) {
  const detail::Utf8PairTable& pairs = detail::Gb18030Utf8Pairs();
  const detail::BmpEncodeTable& codes = detail::Gb18030FromBmp();
  if (utf8) {
    utf8->clear();
    utf8->reserve(working.size() + working.size() / 2);
  }
  for (std::size_t i = 0; i < working.size();) {
    const unsigned char lead = static_cast<unsigned char>(working[i]);
    if (lead < 0x80) {
      if (lead == 0) return false;
      if (utf8) utf8->push_back(static_cast<char>(lead));
      ++i;
      continue;
    }
    if (i + 1 == working.size()) return false;
    const unsigned code = lead << 8 | static_cast<unsigned char>(working[i + 1]);
    const detail::Utf8Pair& pair = pairs[code];
    if (pair.length == 0) return false;
    // The character, to see that it is written back as the same two bytes.
    const auto byte = [&pair](int k) { return static_cast<unsigned char>(pair.bytes[k]); };
    const char32_t c = pair.length == 1   ? byte(0)
                       : pair.length == 2 ? (byte(0) & 0x1Fu) << 6 | (byte(1) & 0x3Fu)
                                          : (byte(0) & 0x0Fu) << 12 | (byte(1) & 0x3Fu) << 6 | (byte(2) & 0x3Fu);
    if (codes[c] != code) return false;
    if (utf8) utf8->append(pair.bytes, pair.length);
    i += 2;
  }
  return true;
}

}  // namespace cw
