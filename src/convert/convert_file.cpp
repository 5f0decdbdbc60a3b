// The single-file conversion and its write steps.
#include "convert/convert_file.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <optional>
#include <random>

#include "convert/responsive_transcode.h"
#include "convert/script_conversion.h"
#include "encoding/charset.h"
#include "platform/platform.h"
#include "text/text.h"

namespace cw {
namespace {

// Six characters that the Windows change turns into CR LF wherever they stand.
constexpr std::string_view kLineBreakMarker = "[\\r\\n]";

// The text with every line break replaced by `lineBreak`, handed to `put(bytes, size)`
// in order, in one pass that gives what the replacements one after the other give: a
// CR LF pair, a lone CR and a lone LF on a character boundary are each one break, and
// so is the marker text when `markers` is set (the Windows change turns every marker
// into CR LF, whether it made it or found it there).
template <typename Put>
void ReplaceLineBreaks(std::string_view text, std::string_view lineBreak, bool markers, Put&& put) {
  const char* const p = text.data();
  const size_t n = text.size();
  size_t run = 0;  // start of the bytes not yet handed on
  size_t i = 0;
  while (i < n) {
    const auto c = static_cast<unsigned char>(p[i]);
    size_t taken = 0;
    if (c >= 0x80) {
      i += i + 1 < n ? 2 : 1;
      continue;
    }
    if (c == '\r') {
      taken = i + 1 < n && p[i + 1] == '\n' ? 2 : 1;
    } else if (c == '\n') {
      taken = 1;
    } else if (markers && c == '[' && text.compare(i, kLineBreakMarker.size(), kLineBreakMarker) == 0) {
      taken = kLineBreakMarker.size();
    }
    if (taken == 0) {
      ++i;
      continue;
    }
    put(p + run, i - run);
    put(lineBreak.data(), lineBreak.size());
    i += taken;
    run = i;
  }
  put(p + run, n - run);
}

std::string_view LineBreakOf(LineEndingChoice choice) {
  switch (choice) {
    case LineEndingChoice::Windows: return "\r\n";
    case LineEndingChoice::Unix: return "\n";
    case LineEndingChoice::Mac: return "\r";
    case LineEndingChoice::Keep: break;
  }
  return {};
}

// A short name in the output's own folder, so that a long output name never pushes
// the temporary one past the system's limit: "~cw" + 8 hex digits + ".tmp".
std::string TemporaryPathFor(const std::string& outputPath) {
  static const unsigned seed = static_cast<unsigned>(std::random_device{}());
  static std::atomic<unsigned> counter{0};
  char name[24];
  std::snprintf(name, sizeof(name), "~cw%08x.tmp", seed + counter++ * 2654435761u);
  const text::PathParts parts = text::SplitAtLastBackslash(outputPath);
  return parts.hasBackslash ? parts.folder + "\\" + name : std::string(name);
}

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

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
    case ConvertStatus::NameTaken: return "output name taken by another file of this run or folder";
    case ConvertStatus::SourceChanged: return "changed while converting; left as it is";
    case ConvertStatus::GzipTruncated: return "gzip data truncated; nothing written";
    case ConvertStatus::GzipCorrupt: return "gzip data corrupt; nothing written";
    case ConvertStatus::GzipTrailingData: return "data after the gzip stream; nothing written";
    case ConvertStatus::GzipTooLarge: return "gzip data decompresses beyond the limit; nothing written";
    case ConvertStatus::NotRegularFile: return "not a regular file";
    case ConvertStatus::InvalidName: return "name cannot be expressed as a path";
    case ConvertStatus::Duplicate: return "already converted in this run";
    case ConvertStatus::NotExact: return "not converted: the file is not valid in its charset";
    case ConvertStatus::CannotHold: return "not converted: the output charset cannot hold every character";
    case ConvertStatus::ConvertedWithLosses: return "converted with losses";
  }
  return "failed";
}

bool IsTemporaryName(std::string_view name) {
  // Both forms end in ".tmp": most names are turned away before a lower-case copy is made.
  if (name.size() < 4 || text::AsciiLower(std::string(name.substr(name.size() - 4))) != ".tmp") return false;
  const std::string lower = text::AsciiLower(std::string(name));
  if (lower.size() == 15 && lower.compare(0, 3, "~cw") == 0 && lower.compare(11, 4, ".tmp") == 0) {
    return std::all_of(lower.begin() + 3, lower.begin() + 11, IsHexDigit);
  }
  // "<name>.cw~<number>.tmp", the temporary name of earlier versions.
  const size_t mark = lower.rfind(".cw~");
  if (mark == std::string::npos || lower.size() < mark + 9 || lower.compare(lower.size() - 4, 4, ".tmp") != 0) {
    return false;
  }
  return std::all_of(lower.begin() + static_cast<std::ptrdiff_t>(mark + 4), lower.end() - 4,
                     [](char c) { return c >= '0' && c <= '9'; });
}

void RunRecord::PrepareFolder(const std::string& folder) {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (folders_.insert(folder).second) RemoveStaleTemporaries(folder);
}

int RemoveStaleTemporaries(const std::string& folder) {
  int removed = 0;
  for (const char* pattern : {"\\~cw*.tmp", "\\*.cw~*.tmp"}) {
    std::vector<platform::DirEntry> entries;
    if (platform::FindEntries(folder + pattern, &entries) != platform::Status::Ok) continue;
    for (const platform::DirEntry& entry : entries) {
      if ((entry.attributes & (platform::kAttrDirectory | platform::kAttrReparsePoint | platform::kAttrDevice)) != 0 ||
          !entry.representable || !IsTemporaryName(entry.name)) {
        continue;
      }
      // A file still being written is held open, and the delete refuses it.
      if (platform::DeleteFile(folder + "\\" + entry.name) == platform::Status::Ok) ++removed;
    }
  }
  return removed;
}

std::string ConvertStatusText(ConvertStatus status, const ConvertReport& report) {
  const std::string& charset = report.lossCharset;
  switch (status) {
    case ConvertStatus::NotExact: return "not converted: the file is not valid " + charset;
    case ConvertStatus::CannotHold: return "not converted: " + charset + " cannot hold every character";
    case ConvertStatus::ConvertedWithLosses: {
      std::string text = "converted with losses:";
      if (report.losses.undecodable != 0) {
        text += " " + std::to_string(report.losses.undecodable) + " byte sequence(s) not valid " + charset;
      }
      if (report.losses.unencodable != 0) {
        text += " " + std::to_string(report.losses.unencodable) + " character(s) " + charset + " cannot hold";
      }
      return text;
    }
    default: return ConvertStatusName(status);
  }
}

std::string ConvertLineEndings(std::string_view text, LineEndingChoice choice) {
  std::string changed(text);
  ChangeLineEndings(changed, choice);
  return changed;
}

void ChangeLineEndings(std::string& text, LineEndingChoice choice) {
  const std::string_view lineBreak = LineBreakOf(choice);
  if (lineBreak.empty() || text.empty()) return;
  const bool markers = choice == LineEndingChoice::Windows;
  if (lineBreak.size() == 1) {
    // No break grows, so the text is rewritten where it lies.
    char* const base = &text[0];
    size_t size = 0;
    ReplaceLineBreaks(text, lineBreak, markers, [base, &size](const char* bytes, size_t count) {
      std::memmove(base + size, bytes, count);
      size += count;
    });
    text.resize(size);
    return;
  }
  size_t size = 0;
  ReplaceLineBreaks(text, lineBreak, markers, [&size](const char*, size_t count) { size += count; });
  if (size == text.size() && text::Find(text, kLineBreakMarker) == text::npos) return;  // every break is CR LF
  std::string changed;
  changed.reserve(size);
  ReplaceLineBreaks(text, lineBreak, markers,
                    [&changed](const char* bytes, size_t count) { changed.append(bytes, count); });
  text = std::move(changed);
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
        if (platform::CreateFolder(prefix) == platform::Status::Ok) {
          if (created) created->push_back(prefix);
        } else {
          // Another thread of a parallel batch may have made it meanwhile; that is as good.
          const uint32_t attributes = platform::GetAttributes(prefix);
          if (attributes == platform::kInvalidAttributes || (attributes & platform::kAttrDirectory) == 0) return false;
        }
      }
    }
    from = slash + 1;
  }
}

namespace {

// The charset the working text is transcoded to for an encoding: Unknown for 0 and 1,
// whose output is the working bytes as they are.
Charset TranscodedCharset(EncodingChoice encoding) {
  const Charset charset = CharsetOf(encoding);
  return charset == kWorkingCharset ? Charset::Unknown : charset;
}

// The bytes written for the working text: encodings 2-6 through the transcoder, with
// the mark of 2, 3 and 4 unless withoutBom; the working bytes when the encoding is 0 or
// 1 or the transcoder gives nothing.
std::string EncodeOutput(std::string_view text, EncodingChoice encoding, bool withoutBom) {
  std::string bytes;
  const Charset charset = TranscodedCharset(encoding);
  if (charset != Charset::Unknown) {
    const std::string_view mark = withoutBom ? std::string_view() : ByteOrderMarkOf(encoding);
    bytes = TranscodeResponsive(text, kWorkingCharset, charset, kResponsivePiece, mark);
  }
  if (bytes.empty()) bytes.assign(text.data(), text.size());
  return bytes;
}

enum class PutResult { Written, FolderMissing, Failed, NameTaken, SourceChanged };

// Writes the output's bytes into an open new file; false when a write failed.
using Producer = std::function<bool(platform::NewFile&)>;

// What the write must respect besides the output itself.
struct WriteGuard {
  const std::string* sourcePath = nullptr;
  platform::FileInfo source;   // the source as it was read
  bool sourceAtStake = false;  // the output replaces or removes the source
  RunRecord* run = nullptr;
  // The output as the caller found it just before (saves asking twice).
  bool outputChecked = false;
  bool outputExists = false;
  platform::FileInfo output;

  // A source that another program changed since it was read must not be replaced by
  // the conversion of its old content.
  bool SourceUnchanged() const {
    if (!sourceAtStake) return true;
    platform::FileInfo now;
    return platform::QueryFile(*sourcePath, &now) == platform::Status::Ok && now.SameContentAs(source);
  }
};

// A new file at a fresh temporary name beside the output.
platform::Status CreateTemporary(const std::string& outputPath, std::string* temporary,
                                 std::unique_ptr<platform::NewFile>* file) {
  platform::Status status = platform::Status::AlreadyExists;
  for (int attempt = 0; attempt < 100 && status == platform::Status::AlreadyExists; ++attempt) {
    *temporary = TemporaryPathFor(outputPath);
    status = platform::CreateNewFile(*temporary, file);
  }
  return status;
}

// Whether an existing output may be replaced: not an output of this run (NameTaken),
// and a plain file that is not read-only (Failed otherwise). Written means yes.
PutResult MayReplace(const std::string& outputPath, const platform::FileInfo& existing, const WriteGuard& guard) {
  if (guard.run && guard.run->IsOutput(existing)) return PutResult::NameTaken;
  const uint32_t attributes = platform::GetAttributes(outputPath);
  if (attributes == platform::kInvalidAttributes || !existing.regular ||
      (attributes & (platform::kAttrReadOnly | platform::kAttrDirectory)) != 0) {
    return PutResult::Failed;
  }
  return PutResult::Written;
}

// Every output is written complete under a temporary name first and only then takes
// its final name, so a run killed half-way never leaves a short file under that name:
// a new output by a move that replaces nothing, an existing one (the original itself,
// when overwriting) by a replace that keeps the file's identity. An output not known
// to exist is taken for new (most are, and a lookup that finds nothing is the costly
// kind on some systems); the move that replaces nothing tells otherwise. `made`, when
// given, receives the identity of a new output, taken from the open file (the move keeps
// it), so that nobody has to look the name up again; it is left alone otherwise.
PutResult PutOutput(const std::string& outputPath, const Producer& produce, const WriteGuard& guard = {},
                    std::optional<platform::FileInfo>* made = nullptr) {
  platform::FileInfo existing = guard.output;
  bool exists = guard.outputChecked && guard.outputExists;
  std::string finalPath = outputPath;
  if (exists) {
    const PutResult allowed = MayReplace(outputPath, existing, guard);
    if (allowed != PutResult::Written) return allowed;
    // Through a symbolic link the file it names is written; the link stays a link.
    finalPath = platform::ResolveLinks(outputPath);
  }
  std::string temporary;
  std::unique_ptr<platform::NewFile> file;
  const platform::Status created = CreateTemporary(finalPath, &temporary, &file);
  if (created == platform::Status::NotFound) return PutResult::FolderMissing;
  if (created != platform::Status::Ok) return PutResult::Failed;
  if (!produce(*file)) {
    file->Abandon();
    return PutResult::Failed;
  }
  platform::FileInfo identity;
  const bool identified = made && !exists && file->Identify(&identity) == platform::Status::Ok;
  if (file->Close() != platform::Status::Ok) {
    file->Abandon();
    return PutResult::Failed;
  }
  const auto give_up = [&temporary](PutResult result) {
    platform::DeleteFile(temporary);
    return result;
  };
  bool sourceAtStake = guard.sourceAtStake;
  if (!exists) {
    if (sourceAtStake && !guard.SourceUnchanged()) return give_up(PutResult::SourceChanged);
    const platform::Status moved = platform::MoveNew(temporary, finalPath);
    if (moved == platform::Status::Ok) {
      if (identified) *made = identity;
      return PutResult::Written;
    }
    if (moved != platform::Status::AlreadyExists) return give_up(PutResult::Failed);
    // The name is taken after all: it is an existing output, perhaps the source itself.
    if (platform::QueryFile(outputPath, &existing) != platform::Status::Ok) return give_up(PutResult::Failed);
    const PutResult allowed = MayReplace(outputPath, existing, guard);
    if (allowed != PutResult::Written) return give_up(allowed);
    sourceAtStake = sourceAtStake || (guard.sourcePath && existing.SameFileAs(guard.source));
  }
  if (sourceAtStake && !guard.SourceUnchanged()) return give_up(PutResult::SourceChanged);
  if (platform::MoveReplace(temporary, finalPath) == platform::Status::Ok) return PutResult::Written;
  // A replace can fail after the replaced file is gone (Windows removes it before it
  // renames the new one). Then the temporary file is the only copy left: it takes the
  // final name if it can, and otherwise stays where it is.
  if (platform::QueryFile(finalPath, &existing) == platform::Status::NotFound) {
    return platform::MoveNew(temporary, finalPath) == platform::Status::Ok ? PutResult::Written : PutResult::Failed;
  }
  return give_up(PutResult::Failed);
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

// What the losses of a conversion mean for it: over the original any loss stops the
// write; elsewhere the losses are only counted.
struct LossWatch {
  std::function<bool()> refuse;  // asked at the first loss: whether the original is at stake
  TranscodeLosses losses;
};

// Writes the mark, then `text` transcoded into the file piece by piece from one reused
// buffer, so that the encoded result never exists whole; stops at the first loss when the
// watch refuses losses, and leaves them in it. The text ends at its first zero character
// unless the caller has made sure it holds none (`zeroFree`).
Producer StreamedProducer(std::string_view text, Charset from, Charset to, std::string_view mark, LossWatch* watch,
                          bool zeroFree = true) {
  return [text, from, to, mark, watch, zeroFree](platform::NewFile& file) {
    if (!mark.empty() && file.Write(mark) != platform::Status::Ok) return false;
    TranscodeLossScope scope;
    const bool written = TranscodeStreamed(
        text, from, to,
        [&file, &scope, watch](std::string_view piece) {
          if (scope.Losses().Any() && watch->refuse && watch->refuse()) return false;
          return file.Write(piece) == platform::Status::Ok;
        },
        zeroFree);
    watch->losses = scope.Losses();
    return written;
  };
}

// When neither the script nor the line endings change, the working text is only a
// stop between two transcodings. Every character survives the working code page
// unchanged (it can hold them all), so converting straight from the source charset to
// the output charset gives the same bytes, in one pass and streamed to the file piece
// by piece. Returns no producer when that shortcut does not apply; the caller then
// takes the working text way.
Producer DirectProducer(const SourceRead& source, const ConversionOptions& options, LossWatch* watch,
                        const std::function<bool()>& originalAtStake) {
  if (options.scriptConversion != ScriptConversion::None || options.lineEndings != LineEndingChoice::Keep) {
    return nullptr;
  }
  // Text read as ANSI is its own working text: the bytes of the working code page.
  const bool ansi = ReadAs(source) == EncodingChoice::Ansi;
  const Charset from = ansi ? Charset::Gb18030 : ReadingCharsetOf(source.encoding);
  const std::string_view rest = source.Rest();
  if (from == Charset::Unknown || rest.empty()) return nullptr;  // an empty text takes the full way
  const EncodingChoice outputEncoding =
      options.outputEncoding != EncodingChoice::Auto ? options.outputEncoding : ReadAs(source);
  // ANSI written as ANSI is the working text's bytes as they are, unconverted.
  const bool copy = ansi && outputEncoding == EncodingChoice::Ansi;
  // The streamed conversion ends at the first zero character by itself, as the working
  // text does. A look for one over the whole text, a pass of its own on a large file, is
  // made for a text that fits in one streamed piece (where it costs next to nothing and
  // spares asking whether the output is the original), for the unconverted copy, and
  // where the original is at stake, which the full way refuses. A text empty up to its
  // first zero character also takes the full way (which writes its raw bytes).
  const bool looked = copy || rest.size() <= kResponsivePiece || originalAtStake();
  const bool utf16 = from == Charset::Utf16Le || from == Charset::Utf16Be;
  if (HoldsZeroCharacter(looked ? rest : rest.substr(0, utf16 ? 2 : 1), from)) return nullptr;
  if (copy) return [rest](platform::NewFile& file) { return file.Write(rest) == platform::Status::Ok; };
  const Charset to = CharsetOf(outputEncoding);
  if (to == Charset::Unknown) return nullptr;
  const std::string_view mark = options.withoutBom ? std::string_view() : ByteOrderMarkOf(outputEncoding);
  return StreamedProducer(rest, from, to, mark, watch, /*zeroFree=*/looked);
}

// A mapped source is let go as soon as its bytes are written, before the output takes
// its name: a file mapped into memory cannot be replaced on Windows.
Producer ReleasingAfter(const Producer& produce, std::shared_ptr<const platform::MappedFile> mapped) {
  if (!mapped) return produce;
  return [produce, mapped](platform::NewFile& file) mutable {
    if (!mapped) return false;  // the bytes are gone; never asked for twice
    const bool written = produce(file);
    mapped.reset();
    return written;
  };
}

// Puts the output at its path, creating its folders when they are missing, and
// removes a renamed original once its new file is in place.
ConvertStatus WriteResult(const std::string& outputPath, const Producer& produce, const WriteGuard& guard,
                          bool removeSource) {
  // The output folders are created when the write finds them missing (most files of a
  // batch go into a folder that exists by then). The old name of a renamed original
  // goes only after the new file is in place, so a failed write never costs the user
  // the original.
  if (outputPath.empty()) return ConvertStatus::WriteFailed;
  if (guard.run) {
    const text::PathParts parts = text::SplitAtLastBackslash(outputPath);
    if (parts.hasBackslash) guard.run->PrepareFolder(parts.folder);
  }
  std::optional<platform::FileInfo> made;
  PutResult put = PutOutput(outputPath, produce, guard, guard.run ? &made : nullptr);
  if (put == PutResult::FolderMissing) {
    if (!CreateParentDirectories(outputPath)) return ConvertStatus::FolderFailed;
    WriteGuard again = guard;
    again.outputChecked = false;
    put = PutOutput(outputPath, produce, again, guard.run ? &made : nullptr);
  }
  if (put == PutResult::NameTaken) return ConvertStatus::NameTaken;
  if (put == PutResult::SourceChanged) return ConvertStatus::SourceChanged;
  if (put != PutResult::Written) return ConvertStatus::WriteFailed;
  if (guard.run) {
    if (guard.sourceAtStake) guard.run->Forget(guard.source);
    platform::FileInfo written;
    if (made) {
      guard.run->AddOutput(*made);
    } else if (platform::QueryFile(outputPath, &written) == platform::Status::Ok) {
      guard.run->AddOutput(written);
    }
  }
  if (removeSource && platform::DeleteFile(*guard.sourcePath) != platform::Status::Ok) {
    return ConvertStatus::SourceNotRemoved;
  }
  return ConvertStatus::Converted;
}

// Records one step's losses in the report. Returns the status that refuses the file
// when the output would replace the original, Converted otherwise.
ConvertStatus NoteLosses(const TranscodeLosses& losses, const std::string& readCharset, const std::string& writeCharset,
                         const std::function<bool()>& overOriginal, ConvertReport& report) {
  if (!losses.Any()) return ConvertStatus::Converted;
  report.losses.undecodable += losses.undecodable;
  report.losses.unencodable += losses.unencodable;
  report.lossCharset = losses.undecodable != 0 ? readCharset : writeCharset;
  if (!overOriginal()) return ConvertStatus::Converted;
  return losses.undecodable != 0 ? ConvertStatus::NotExact : ConvertStatus::CannotHold;
}

ConvertStatus ConvertInMemory(const std::string& sourcePath, std::string& outputPath, const ConversionOptions& options,
                              RunRecord* run, ConvertReport& report) {
  const EncodingChoice chosenOutput = options.outputEncoding;
  auto finish = [&report](ConvertStatus status) {
    if (status == ConvertStatus::Converted && report.losses.Any()) return ConvertStatus::ConvertedWithLosses;
    return status;
  };

  // 1. Read. A source that cannot be read leaves every file as it is; one this run has
  // converted or written already is left alone.
  WriteGuard guard;
  guard.sourcePath = &sourcePath;
  guard.run = run;
  // Without a working text to build, a large file is converted where it lies, mapped.
  const bool direct =
      options.scriptConversion == ScriptConversion::None && options.lineEndings == LineEndingChoice::Keep;
  SourceRead source = ReadSource(sourcePath, options.inputEncoding, &guard.source, direct);
  if (source.status == ReadStatus::TooLarge) return ConvertStatus::TooLarge;
  if (source.status != ReadStatus::Ok) return ConvertStatus::Unreadable;
  if (run) {
    if (!run->AddSource(guard.source)) return ConvertStatus::Duplicate;
  }
  // Only a complete decompression is the file's content; a part of it is not.
  if (source.gzip != GunzipStatus::NotGzip && source.gzip != GunzipStatus::Complete) {
    return GzipFailure(source.gzip);
  }

  // 2a. The file name's script (last component only).
  const bool renames = options.scriptConversion != ScriptConversion::None && options.convertFileName;
  if (renames) {
    const text::PathParts parts = text::SplitAtLastBackslash(outputPath);
    const std::string name = MapFileName(options.scriptConversion, parts.name);
    outputPath = parts.hasBackslash ? parts.folder + "\\" + name : name;
  }
  // Whether the output is the original, by identity and not by spelling: the same path
  // written otherwise, or a link (or linked folder) that leads back to it. The source's
  // own path needs no lookup; another one is looked up where the answer matters.
  const auto checkOutput = [&] {
    if (guard.outputChecked) return;
    guard.outputChecked = true;
    if (outputPath == sourcePath) {
      guard.outputExists = true;
      guard.output = guard.source;
    } else {
      guard.outputExists = platform::QueryFile(outputPath, &guard.output) == platform::Status::Ok;
    }
  };
  const auto outputIsSource = [&] {
    checkOutput();
    return guard.outputExists && guard.output.SameFileAs(guard.source);
  };
  // Overwriting under a new name: the name must not belong to another file.
  const bool replacesSource = options.overwriteOriginal && renames;
  if (replacesSource && !outputIsSource() && guard.outputExists) return ConvertStatus::NameTaken;
  const bool removeSource = replacesSource && !outputIsSource();
  if (options.overwriteOriginal || outputPath == sourcePath) guard.sourceAtStake = outputIsSource() || removeSource;
  // Every rule that protects the original holds whenever the original is at stake (a
  // write found to meet the source only at its move still checks the source is as read).
  const auto overOriginal = [&] { return options.overwriteOriginal || outputIsSource(); };

  report.detected = ReadAs(source);
  report.howRead = source.howDecided;
  LossWatch watch;
  watch.refuse = overOriginal;
  if (const Producer produce = DirectProducer(source, options, &watch, overOriginal)) {
    platform::PumpMessages();
    const ConvertStatus written =
        WriteResult(outputPath, ReleasingAfter(produce, std::move(source.mapped)), guard, removeSource);
    const EncodingChoice output = chosenOutput != EncodingChoice::Auto ? chosenOutput : source.encoding;
    const ConvertStatus refused =
        NoteLosses(watch.losses, CharsetLabel(source.encoding), CharsetLabel(output), overOriginal, report);
    return refused != ConvertStatus::Converted ? refused : finish(written);
  }
  DecodedText decoded = DecodeSource(std::move(source));
  report.detected = decoded.detected;
  // The working text ends at the first zero character. Written elsewhere, the cut copy
  // harms nothing; written over the original it would destroy the rest of the file (an
  // image or archive caught by "*.*"), so the original is kept.
  if (decoded.cutAtZero && overOriginal()) return ConvertStatus::NotText;
  TranscodeLosses readLosses;
  readLosses.undecodable = decoded.undecodable;
  const std::string readCharset = CharsetLabel(decoded.detected);
  if (const ConvertStatus refused = NoteLosses(readLosses, readCharset, readCharset, overOriginal, report);
      refused != ConvertStatus::Converted) {
    return refused;
  }
  std::string working = std::move(decoded.text);

  // Between the steps of a large file the window gets its messages, so a stop click or
  // a close is seen at once (and acted on after this file).
  platform::PumpMessages();

  // 2b. Script of the content.
  if (options.scriptConversion != ScriptConversion::None) {
    // The Big5 options go through code page 950, which may lack characters.
    TranscodeLossScope scope;
    MapContentInPlace(options.scriptConversion, working);
    const bool fromBig5 = options.scriptConversion == ScriptConversion::Big5ToSimplified ||
                          options.scriptConversion == ScriptConversion::Big5ToTraditional;
    if (const ConvertStatus refused =
            NoteLosses(scope.Losses(), fromBig5 ? "BIG5" : "GBK", "BIG5", overOriginal, report);
        refused != ConvertStatus::Converted) {
      return refused;
    }
  }

  // 3. Line endings.
  if (options.lineEndings != LineEndingChoice::Keep) {
    platform::PumpMessages();
    ChangeLineEndings(working, options.lineEndings);
  }
  platform::PumpMessages();

  // 4. Encode and write.
  const EncodingChoice outputEncoding = chosenOutput != EncodingChoice::Auto ? chosenOutput : decoded.detected;
  // A charset other than ANSI is streamed to the file, so the encoded result never
  // exists whole (the same bytes as EncodeOutput, which an empty text still takes).
  const Charset to = TranscodedCharset(outputEncoding);
  if (to != Charset::Unknown && !working.empty()) {
    const std::string_view mark = options.withoutBom ? std::string_view() : ByteOrderMarkOf(outputEncoding);
    LossWatch watch;
    watch.refuse = overOriginal;
    const ConvertStatus written =
        WriteResult(outputPath, StreamedProducer(working, Charset::Gb18030, to, mark, &watch), guard, removeSource);
    const ConvertStatus refused = NoteLosses(watch.losses, "GBK", CharsetLabel(outputEncoding), overOriginal, report);
    return refused != ConvertStatus::Converted ? refused : finish(written);
  }
  std::string bytes;
  {
    TranscodeLossScope scope;
    bytes = EncodeOutput(working, outputEncoding, options.withoutBom);
    if (const ConvertStatus refused =
            NoteLosses(scope.Losses(), "GBK", CharsetLabel(outputEncoding), overOriginal, report);
        refused != ConvertStatus::Converted) {
      return refused;
    }
  }
  working = std::string();
  const std::string_view view = bytes;
  return finish(WriteResult(
      outputPath, [view](platform::NewFile& file) { return file.Write(view) == platform::Status::Ok; }, guard,
      removeSource));
}

}  // namespace

ConvertStatus GzipFailure(GunzipStatus status) {
  switch (status) {
    case GunzipStatus::Truncated: return ConvertStatus::GzipTruncated;
    case GunzipStatus::TooLarge: return ConvertStatus::GzipTooLarge;
    case GunzipStatus::TrailingData: return ConvertStatus::GzipTrailingData;
    default: return ConvertStatus::GzipCorrupt;
  }
}

EncodingChoice ReadAs(const SourceRead& source) {
  return source.encoding == EncodingChoice::Auto ? EncodingChoice::Ansi : source.encoding;
}

ConvertStatus ConvertFile(const std::string& sourcePath, std::string& outputPath, const ConversionOptions& options,
                          RunRecord* run, ConvertReport* report) {
  // Running out of memory on the way (a 32-bit process has 2 GB of address space) is a
  // failed file, never a crash. The output is written in pieces, but under a temporary
  // name: its own name appears only once the whole result exists.
  const std::string requested = outputPath;
  ConvertReport local;
  ConvertReport& filled = report ? *report : local;
  filled = ConvertReport();
  try {
    return ConvertInMemory(sourcePath, outputPath, options, run, filled);
  } catch (const std::bad_alloc&) {
    outputPath = requested;
    return ConvertStatus::TooLarge;
  }
}

}  // namespace cw
