// The single-file conversion and its write steps.
#include "convert/convert_file.h"

#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>
#include <new>

#include "convert/responsive_transcode.h"
#include "convert/script_conversion.h"
#include "encoding/charset.h"
#include "platform/platform.h"
#include "text/text.h"

namespace cw {
namespace {

// Six characters that stand for a CR LF pair while the lone breaks are changed.
constexpr std::string_view kLineBreakMarker = "[\\r\\n]";

// Every single-byte CR or LF becomes CR LF, in one pass; two-byte characters are copied.
std::string LoneBreaksToCrLf(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t len = text::CharLength(text, pos);
    if (len == 1 && (text[pos] == '\r' || text[pos] == '\n')) {
      out += "\r\n";
    } else {
      out.append(text.data() + pos, len);
    }
    pos += len;
  }
  return out;
}

// A name for the temporary file that will take the output's place: same folder.
std::string TemporaryPathFor(const std::string& outputPath) {
  static std::atomic<unsigned> counter{0};
  char suffix[32];
  std::snprintf(suffix, sizeof(suffix), ".cw~%u.tmp", counter++);
  return outputPath + suffix;
}

}  // namespace

const char* ConvertStatusName(ConvertStatus status) {
  switch (status) {
    case ConvertStatus::Converted: return "converted";
    case ConvertStatus::Unreadable: return "source unreadable";
    case ConvertStatus::FolderFailed: return "output folder could not be created";
    case ConvertStatus::WriteFailed: return "output could not be written";
    case ConvertStatus::SourceNotRemoved: return "old name could not be removed";
    case ConvertStatus::TooLarge: return "file too large";
    case ConvertStatus::NotText: return "holds zero bytes (not text); original left as it is";
  }
  return "failed";
}

std::string ConvertLineEndings(std::string_view text, LineEndingChoice choice) {
  switch (choice) {
    case LineEndingChoice::Keep: return std::string(text);
    case LineEndingChoice::Windows: {
      const std::string marked = text::ReplaceAll(text, "\r\n", kLineBreakMarker);
      return text::ReplaceAll(LoneBreaksToCrLf(marked), kLineBreakMarker, "\r\n");
    }
    case LineEndingChoice::Unix:
      return text::ReplaceAll(text::ReplaceAll(text, "\r\n", "\n"), "\r", "\n");
    case LineEndingChoice::Mac:
      return text::ReplaceAll(text::ReplaceAll(text, "\r\n", "\r"), "\n", "\r");
  }
  return std::string(text);
}

bool CreateParentDirectories(const std::string& path, std::vector<std::string>* created) {
  // Usually the folder is there already (every file after the first of a folder).
  const text::PathParts parts = text::SplitAtLastBackslash(path);
  if (parts.hasBackslash && parts.folder.size() > 2 && platform::Exists(parts.folder)) return true;
  size_t from = 0;
  for (;;) {
    const size_t slash = text::Find(path, "\\", from);
    if (slash == text::npos) return true;
    const std::string prefix = path.substr(0, slash);
    if (prefix.size() != 2) {
      if (!platform::Exists(prefix)) {
        if (platform::CreateFolder(prefix) != platform::Status::Ok) return false;
        if (created) created->push_back(prefix);
      }
    }
    from = slash + 1;
  }
}

namespace {

// The bytes written for the working text: encodings 2-6 through the transcoder, with
// the mark of 2, 3 and 4 unless withoutBom; the working bytes when the encoding is 0 or
// 1 or the transcoder gives nothing.
std::string EncodeOutput(std::string_view text, EncodingChoice encoding, bool withoutBom) {
  std::string bytes;
  const std::string_view charset = CharsetNameOf(encoding);
  if (!charset.empty()) {
    const std::string_view mark = withoutBom ? std::string_view() : ByteOrderMarkOf(encoding);
    bytes = TranscodeResponsive(text, kWorkingCharset, charset, kResponsivePiece, mark);
  }
  if (bytes.empty()) bytes.assign(text.data(), text.size());
  return bytes;
}

enum class PutResult { Written, FolderMissing, Failed };

// Writes the output's bytes into an open new file; false when a write failed.
using Producer = std::function<bool(platform::NewFile&)>;

// A new file at `path` for the output, or at a fresh temporary name beside it.
platform::Status CreateTemporary(const std::string& outputPath, std::string* temporary,
                                 std::unique_ptr<platform::NewFile>* file) {
  platform::Status status = platform::Status::AlreadyExists;
  // A name left behind by a run that was killed is simply passed over.
  for (int attempt = 0; attempt < 100 && status == platform::Status::AlreadyExists; ++attempt) {
    *temporary = TemporaryPathFor(outputPath);
    status = platform::CreateNewFile(*temporary, file);
  }
  return status;
}

PutResult PutOutput(const std::string& outputPath, const Producer& produce) {
  // A new output has nothing to lose: it is written in place (and taken away again if
  // a write fails half-way).
  std::unique_ptr<platform::NewFile> file;
  const platform::Status created = platform::CreateNewFile(outputPath, &file);
  if (created == platform::Status::Ok) {
    if (produce(*file) && file->Close() == platform::Status::Ok) return PutResult::Written;
    file->Abandon();
    return PutResult::Failed;
  }
  if (created == platform::Status::NotFound) return PutResult::FolderMissing;
  if (created != platform::Status::AlreadyExists) return PutResult::Failed;
  // An output that exists but may not be written (read-only, a folder) stays as it is.
  const uint32_t attributes = platform::GetAttributes(outputPath);
  if (attributes == platform::kInvalidAttributes ||
      (attributes & (platform::kAttrReadOnly | platform::kAttrDirectory)) != 0) {
    return PutResult::Failed;
  }
  // An existing output (the original itself, when overwriting) is replaced only by a
  // complete new file.
  std::string temporary;
  if (CreateTemporary(outputPath, &temporary, &file) != platform::Status::Ok) return PutResult::Failed;
  if (!produce(*file) || file->Close() != platform::Status::Ok) {
    file->Abandon();
    return PutResult::Failed;
  }
  if (platform::MoveReplace(temporary, outputPath) != platform::Status::Ok) {
    platform::DeleteFile(temporary);
    return PutResult::Failed;
  }
  return PutResult::Written;
}

PutResult PutOutput(const std::string& outputPath, std::string_view bytes) {
  return PutOutput(outputPath, [bytes](platform::NewFile& file) { return file.Write(bytes) == platform::Status::Ok; });
}

}  // namespace

WriteStatus WriteEncodedText(const std::string& outputPath, std::string_view text, EncodingChoice encoding,
                             bool withoutBom, std::string* written) {
  const std::string bytes = EncodeOutput(text, encoding, withoutBom);
  if (written) *written = bytes;
  if (outputPath.empty()) return WriteStatus::EmptyPath;
  return PutOutput(outputPath, bytes) == PutResult::Written ? WriteStatus::Written : WriteStatus::Failed;
}

namespace {

// The charset the output bytes are in: the working code page itself for ANSI.
Charset OutputCharset(EncodingChoice encoding) {
  if (encoding == EncodingChoice::Ansi) return Charset::Gb18030;
  return CharsetFromName(CharsetNameOf(encoding));
}

// When neither the script nor the line endings change, the working text is only a
// stop between two transcodings. Every character survives the working code page
// unchanged (it can hold them all), so converting straight from the source charset to
// the output charset gives the same bytes, in one pass and streamed to the file piece
// by piece. Returns no producer when that shortcut does not apply; the caller then
// takes the working text way.
Producer DirectProducer(const SourceRead& source, const ConversionOptions& options) {
  if (options.scriptConversion != ScriptConversion::None || options.lineEndings != LineEndingChoice::Keep) {
    return nullptr;
  }
  const Charset from = CharsetFromName(CharsetNameOf(source.encoding));
  const std::string_view rest = source.Rest();
  // A text cut at a zero character, or an empty one, takes the full way.
  if (from == Charset::Unknown || rest.empty() || HoldsZeroCharacter(rest, from)) return nullptr;
  const EncodingChoice outputEncoding =
      options.outputEncoding != EncodingChoice::Auto ? options.outputEncoding : source.encoding;
  const Charset to = OutputCharset(outputEncoding);
  if (to == Charset::Unknown) return nullptr;
  const std::string_view mark = options.withoutBom ? std::string_view() : ByteOrderMarkOf(outputEncoding);
  return [rest, from, to, mark](platform::NewFile& file) {
    if (!mark.empty() && file.Write(mark) != platform::Status::Ok) return false;
    return TranscodeStreamed(
        rest, from, to, [&file](std::string_view piece) { return file.Write(piece) == platform::Status::Ok; },
        /*zeroFree=*/true);
  };
}

// Puts the output at its path, creating its folders when they are missing, and
// removes a renamed original once its new file is in place.
ConvertStatus WriteResult(const std::string& sourcePath, const std::string& outputPath, const Producer& produce,
                          const ConversionOptions& options) {
  // The output folders are created when the write finds them missing (most files of a
  // batch go into a folder that exists by then). The old name of a renamed original
  // goes only after the new file is in place, so a failed write never costs the user
  // the original.
  if (outputPath.empty()) return ConvertStatus::WriteFailed;
  PutResult put = PutOutput(outputPath, produce);
  if (put == PutResult::FolderMissing) {
    if (!CreateParentDirectories(outputPath)) return ConvertStatus::FolderFailed;
    put = PutOutput(outputPath, produce);
  }
  if (put != PutResult::Written) return ConvertStatus::WriteFailed;
  const bool replacesSource = options.overwriteOriginal && options.convertFileName &&
                              options.scriptConversion != ScriptConversion::None;
  if (replacesSource && outputPath != sourcePath) {
    if (platform::DeleteFile(sourcePath) != platform::Status::Ok) return ConvertStatus::SourceNotRemoved;
  }
  return ConvertStatus::Converted;
}

ConvertStatus ConvertInMemory(const std::string& sourcePath, std::string& outputPath,
                              const ConversionOptions& options, ConvertReport* report) {
  // 1. Read. A source that cannot be read leaves every file as it is.
  SourceRead source = ReadSource(sourcePath, options.inputEncoding);
  if (source.status == ReadStatus::TooLarge) return ConvertStatus::TooLarge;
  if (source.status != ReadStatus::Ok) return ConvertStatus::Unreadable;
  if (report) report->readAs = ReadAs(source);
  if (const Producer direct = DirectProducer(source, options)) {
    platform::PumpMessages();
    return WriteResult(sourcePath, outputPath, direct, options);
  }
  DecodedText decoded = DecodeSource(std::move(source));
  // The working text ends at the first zero character. Written elsewhere, the cut copy
  // harms nothing; written over the original it would destroy the rest of the file (an
  // image or archive caught by "*.*"), so the original is kept.
  if (decoded.cutAtZero && options.overwriteOriginal) return ConvertStatus::NotText;
  std::string working = std::move(decoded.text);

  // Between the steps of a large file the window gets its messages, so a stop click or
  // a close is seen at once (and acted on after this file).
  platform::PumpMessages();

  // 2. Script of the content and, on request, of the file name (last component only).
  if (options.scriptConversion != ScriptConversion::None) {
    working = MapContent(options.scriptConversion, working);
    if (options.convertFileName) {
      const text::PathParts parts = text::SplitAtLastBackslash(outputPath);
      const std::string name = MapFileName(options.scriptConversion, parts.name);
      outputPath = parts.hasBackslash ? parts.folder + "\\" + name : name;
    }
  }

  // 3. Line endings.
  if (options.lineEndings != LineEndingChoice::Keep) {
    platform::PumpMessages();
    working = ConvertLineEndings(working, options.lineEndings);
  }
  platform::PumpMessages();

  // 4. Encode and write.
  const EncodingChoice outputEncoding =
      options.outputEncoding != EncodingChoice::Auto ? options.outputEncoding : decoded.detected;
  std::string bytes = EncodeOutput(working, outputEncoding, options.withoutBom);
  working = std::string();
  const std::string_view view = bytes;
  return WriteResult(
      sourcePath, outputPath,
      [view](platform::NewFile& file) { return file.Write(view) == platform::Status::Ok; }, options);
}

}  // namespace

EncodingChoice ReadAs(const SourceRead& source) {
  return source.encoding == EncodingChoice::Auto ? EncodingChoice::Ansi : source.encoding;
}

ConvertStatus ConvertFile(const std::string& sourcePath, std::string& outputPath, const ConversionOptions& options,
                          ConvertReport* report) {
  // A 32-bit process holds a file several times over while converting it; running out
  // of memory on the way is a failed file, never a crash. Nothing is written until the
  // whole result exists.
  const std::string requested = outputPath;
  try {
    return ConvertInMemory(sourcePath, outputPath, options, report);
  } catch (const std::bad_alloc&) {
    outputPath = requested;
    return ConvertStatus::TooLarge;
  }
}

}  // namespace cw
