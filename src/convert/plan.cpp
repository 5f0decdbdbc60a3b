// Planning one file's conversion: how it is read, where its output goes, what bytes are
// written, and every refusal that can be known before writing.
#include "convert/plan.h"

#include <utility>

#include "convert/declaration.h"
#include "convert/line_endings.h"
#include "convert/responsive_transcode.h"
#include "convert/script_conversion.h"
#include "platform/platform.h"
#include "text/text.h"

namespace cw {
namespace {

// The charset the working text is transcoded to for an encoding: Unknown for 0 and 1,
// whose output is the working bytes as they are.
Charset TranscodedCharset(EncodingChoice encoding) {
  const Charset charset = CharsetOf(encoding);
  return charset == kWorkingCharset ? Charset::Unknown : charset;
}

std::string MarkFor(EncodingChoice encoding, bool withoutBom) {
  return withoutBom ? std::string() : std::string(ByteOrderMarkOf(encoding));
}

// Output 自动 never picks a charset that cannot hold the text: Simplified or Traditional
// text made from a Big5 file goes to ANSI where Big5 lacks some of it. (The Big5 options
// ask for Big5 themselves: there, what Big5 lacks is counted.)
EncodingChoice AutoOutputThatHolds(const ConversionOptions& options, EncodingChoice readAs, std::string_view text) {
  const EncodingChoice output = OutputEncodingOf(options, readAs);
  const bool big5 = output == EncodingChoice::Big5 || output == EncodingChoice::Big5Hkscs;
  const bool mapsScript = options.scriptConversion == ScriptConversion::SimplifiedToTraditional ||
                          options.scriptConversion == ScriptConversion::TraditionalToSimplified;
  if (options.outputEncoding != EncodingChoice::Auto || !mapsScript || !big5 || text.empty()) {
    return output;
  }
  TranscodeLosses losses;
  TranscodeStreamed(
      text, kWorkingCharset, CharsetOf(output), [&losses](std::string_view) { return !losses.Any(); }, true,
      kResponsivePiece, &losses);
  return losses.Any() ? EncodingChoice::Ansi : output;
}

// Whether the output is a web file whose declaration follows its bytes.
bool RewritesDeclaration(const ConversionPlan& plan) {
  return !plan.request.options.keepDeclarations && IsWebFileName(text::SplitAtLastBackslash(plan.outputPath).name);
}

// A web page, XML file or style sheet declares the encoding it is written in: the
// declaration the reading rules find is made to name the output's, and the report says
// so (and what the page still needs, if the declaration ends too late to be seen).
void PlanDeclaration(ConversionPlan& plan, EncodingChoice outputEncoding) {
  if (!RewritesDeclaration(plan)) return;
  const Charset charset = CharsetOf(outputEncoding);
  const bool mark = !plan.request.options.withoutBom && !ByteOrderMarkOf(outputEncoding).empty();
  const std::string name = text::SplitAtLastBackslash(plan.outputPath).name;
  const DeclarationEdit edit = RewriteDeclaration(plan.working, name, charset, mark);
  plan.report.declaration = DeclarationChangeText(edit);
  if (edit.changed) {
    plan.report.declarationWarning = DeclarationWarningText(CheckDeclaration(plan.working, edit, charset, mark));
  }
}

// 1. Read. A source that cannot be read leaves every file as it is; one this run has
// converted or written already is left alone; only a complete decompression is the
// file's content.
bool PlanRead(ConversionPlan& plan) {
  const ConversionOptions& options = plan.request.options;
  // Without a working text to build, a large file is converted where it lies, mapped.
  const bool direct =
      options.scriptConversion == ScriptConversion::None && options.lineEndings == LineEndingChoice::Keep;
  // Over the original, nobody else writes it from this read to the replace (where the
  // system can see to that).
  if (options.overwriteOriginal) plan.guard.writers = platform::BlockWriters(plan.request.source);
  plan.source = ReadSource(plan.request.source, options.inputEncoding, &plan.guard.source, direct);
  if (plan.source.status == ReadStatus::TooLarge) {
    plan.Refuse(ConvertStatus::TooLarge);
  } else if (plan.source.status != ReadStatus::Ok) {
    plan.Refuse(ConvertStatus::Unreadable);
  } else if (plan.run && !plan.run->AddSource(plan.guard.source, plan.request.source)) {
    plan.Refuse(ConvertStatus::Duplicate);
  } else if (plan.source.gzip != GunzipStatus::NotGzip && plan.source.gzip != GunzipStatus::Complete) {
    plan.Refuse(GzipFailure(plan.source.gzip));
  }
  // Big5到简体 and Big5到繁体 read what would be read as ANSI as Big5; a file decoded
  // otherwise (a mark, a declaration, the UTF-8 scan, the statistics) is taken as decoded.
  const bool fromBig5 = options.scriptConversion == ScriptConversion::Big5ToSimplified ||
                        options.scriptConversion == ScriptConversion::Big5ToTraditional;
  // (Statistics that found GBK with confidence decoded it: they are taken at their word.)
  const Detection& detection = plan.source.detection;
  const bool statisticsSaidGbk = options.inputEncoding == EncodingChoice::Auto &&
                                 detection.best.encoding != EncodingChoice::Auto &&
                                 detection.confidence == Confidence::High;
  if (plan.status == ConvertStatus::Converted && fromBig5 && ReadAs(plan.source) == EncodingChoice::Ansi &&
      !statisticsSaidGbk) {
    plan.source.encoding = EncodingChoice::Big5;
    plan.source.howDecided += plan.source.howDecided.empty() ? "Big5 option" : "; Big5 option";
    plan.source.howDecidedChinese += FromUtf8(u8"；按 Big5 选项读作 Big5");
    plan.source.detection.confidence = Confidence::High;  // the user says the files are Big5
  }
  plan.gzipOutput = plan.source.wasGzipped;
  return plan.status == ConvertStatus::Converted;
}

// 1b. A close call of the automatic reading: decided by the other files of the folder
// where they read with confidence and this file reads exactly as they do; otherwise
// read the likelier way, marked uncertain, and never written over the original.
bool PlanConfidence(ConversionPlan& plan) {
  const bool sure = plan.source.detection.confidence != Confidence::Low;
  if (plan.request.evidence) {
    plan.request.evidence->Note(plan.request.evidenceIndex, plan.source.encoding, sure, plan.source.Rest());
  }
  if (sure) return true;
  const EncodingChoice hint = plan.request.evidence ? plan.request.evidence->Hint() : EncodingChoice::Auto;
  if (hint != EncodingChoice::Auto && ReadsExactlyAs(plan.source.Rest(), hint)) {
    plan.source.encoding = hint;
    plan.source.detection.confidence = Confidence::High;
    plan.source.howDecided += "; as the other files of its folder";
    plan.source.howDecidedChinese += FromUtf8(u8"；与同一文件夹其他文件的编码相同");
    return true;
  }
  plan.report.uncertain = CandidateScores(plan.source.detection);
  if (!plan.OverOriginal()) return true;
  plan.Refuse(ConvertStatus::Uncertain);
  return false;
}

// What the file says, in its first line of Chinese: for the direct way, from the first
// few KB decoded.
std::string PreviewOf(std::string_view rest, Charset from) {
  constexpr size_t kLook = 4096;
  if (rest.size() > kLook) rest = rest.substr(0, kLook);
  return FirstChineseLine(from == Charset::Gb18030 ? std::string(rest) : Transcode(rest, from, kWorkingCharset));
}

// 2. Where the output goes: the file name's script (last component only), and whether
// the original is replaced or removed.
bool PlanPlacement(ConversionPlan& plan) {
  const ConversionOptions& options = plan.request.options;
  const bool renames = options.scriptConversion != ScriptConversion::None && options.convertFileName;
  if (renames) {
    const text::PathParts parts = text::SplitAtLastBackslash(plan.outputPath);
    const std::string name = MapFileName(options.scriptConversion, parts.name);
    plan.outputPath = parts.hasBackslash ? parts.folder + "\\" + name : name;
  }
  // Overwriting under a new name: the name must not belong to another file.
  const bool replacesSource = options.overwriteOriginal && renames;
  if (replacesSource && !plan.OutputIsSource() && plan.guard.outputExists) {
    plan.Refuse(ConvertStatus::NameTaken);
    return false;
  }
  plan.removeSource = replacesSource && !plan.OutputIsSource();
  // Every rule that protects the original holds whenever the original is at stake (a
  // write found to meet the source only at its move still checks the source is as read).
  if (options.overwriteOriginal || plan.outputPath == plan.request.source) {
    plan.guard.sourceAtStake = plan.OutputIsSource() || plan.removeSource;
  }
  return true;
}

// When neither the script nor the line endings change, the working text is only a
// stop between two transcodings. Every character survives the working code page
// unchanged (it can hold them all), so converting straight from the source charset to
// the output charset gives the same bytes, in one pass and streamed to the file piece
// by piece. False when that shortcut does not apply; the working text way is taken.
bool PlanDirect(ConversionPlan& plan) {
  const ConversionOptions& options = plan.request.options;
  if (options.scriptConversion != ScriptConversion::None || options.lineEndings != LineEndingChoice::Keep ||
      RewritesDeclaration(plan)) {
    return false;
  }
  const SourceRead& source = plan.source;
  // Text read as ANSI is its own working text: the bytes of the working code page.
  const bool ansi = ReadAs(source) == EncodingChoice::Ansi;
  const Charset from = ansi ? Charset::Gb18030 : ReadingCharsetOf(source.encoding);
  const std::string_view rest = source.Rest();
  if (from == Charset::Unknown || rest.empty()) return false;  // an empty text takes the full way
  const EncodingChoice outputEncoding = OutputEncodingOf(options, ReadAs(source));
  // ANSI written as ANSI is the working text's bytes as they are, unconverted.
  const bool copy = ansi && outputEncoding == EncodingChoice::Ansi;
  // Content with a zero character is no text (an image or an archive caught by "*.*"):
  // it is never converted, so the whole text is looked at first (a pass that costs
  // little beside the conversion).
  if (HoldsZeroCharacter(rest, from)) {
    plan.Refuse(ConvertStatus::NotText);
    return true;
  }
  const Charset to = CharsetOf(outputEncoding);
  if (!copy && to == Charset::Unknown) return false;
  plan.report.preview = PreviewOf(rest, from);
  plan.content = copy ? ConversionPlan::Content::SourceCopied : ConversionPlan::Content::SourceStreamed;
  plan.from = from;
  plan.to = to;
  plan.mark = MarkFor(outputEncoding, options.withoutBom);
  plan.zeroFree = true;
  const EncodingChoice output =
      options.outputEncoding != EncodingChoice::Auto ? options.outputEncoding : source.encoding;
  plan.lossRead = CharsetLabel(source.encoding);
  plan.lossWrite = CharsetLabel(output);
  // Between the steps of a large file the window gets its messages, so a stop click or
  // a close is seen at once (and acted on after this file).
  platform::PumpMessages();
  return true;
}

// The working text way: decode, map the script, change the line endings, encode.
void PlanWorking(ConversionPlan& plan) {
  const ConversionOptions& options = plan.request.options;
  DecodedText decoded = DecodeSource(std::move(plan.source));
  plan.report.detected = decoded.detected;
  // The working text ends at the first zero character: content with one is no text (an
  // image or an archive caught by "*.*"), and a cut copy of it helps nobody.
  if (decoded.cutAtZero) return plan.Refuse(ConvertStatus::NotText);
  TranscodeLosses readLosses;
  readLosses.undecodable = decoded.undecodable;
  const std::string readCharset = CharsetLabel(decoded.detected);
  if (!plan.NoteLosses(readLosses, readCharset, readCharset)) return;
  plan.working = std::move(decoded.text);
  plan.report.preview = FirstChineseLine(plan.working);
  platform::PumpMessages();

  // The script is mapped on the decoded text, which holds every character; what the
  // output's charset lacks is counted when it is encoded.
  if (options.scriptConversion != ScriptConversion::None) MapDecodedInPlace(options.scriptConversion, plan.working);
  if (options.lineEndings != LineEndingChoice::Keep) {
    platform::PumpMessages();
    ChangeLineEndings(plan.working, options.lineEndings);
  }
  platform::PumpMessages();

  const EncodingChoice outputEncoding = AutoOutputThatHolds(options, decoded.detected, plan.working);
  PlanDeclaration(plan, outputEncoding);
  plan.lossRead = "GBK";
  plan.lossWrite = CharsetLabel(outputEncoding);
  // A charset other than ANSI is streamed to the file, so the encoded result never
  // exists whole (the same bytes as EncodeOutput, which an empty text still takes).
  const Charset to = TranscodedCharset(outputEncoding);
  if (to != Charset::Unknown && !plan.working.empty()) {
    plan.content = ConversionPlan::Content::WorkingStreamed;
    plan.from = Charset::Gb18030;
    plan.to = to;
    plan.mark = MarkFor(outputEncoding, options.withoutBom);
    return;
  }
  TranscodeLosses losses;
  plan.held = EncodeOutput(plan.working, outputEncoding, options.withoutBom, &losses);
  plan.working = std::string();
  if (!plan.NoteLosses(losses, plan.lossRead, plan.lossWrite)) return;
  plan.content = ConversionPlan::Content::Held;
}

}  // namespace

bool ConversionPlan::OutputIsSource() {
  // The source's own path needs no lookup; another one is looked up once.
  if (!guard.outputChecked) {
    guard.outputChecked = true;
    if (outputPath == request.source) {
      guard.outputExists = true;
      guard.output = guard.source;
    } else {
      guard.outputExists = platform::QueryFile(outputPath, &guard.output) == platform::Status::Ok;
    }
  }
  return guard.outputExists && guard.output.SameFileAs(guard.source);
}

bool ConversionPlan::NoteLosses(const TranscodeLosses& losses, const std::string& readCharset,
                                const std::string& writeCharset) {
  if (!losses.Any()) return true;
  report.losses += losses;
  report.lossCharset = losses.undecodable != 0 ? readCharset : writeCharset;
  if (!OverOriginal()) return true;
  Refuse(losses.undecodable != 0 ? ConvertStatus::NotExact : ConvertStatus::CannotHold);
  return false;
}

ConversionPlan PlanConversion(ConversionRequest request, RunRecord* run) {
  ConversionPlan plan;
  plan.request = std::move(request);
  plan.run = run;
  plan.outputPath = plan.request.output;
  plan.guard.sourcePath = plan.request.source;
  plan.guard.run = run;
  plan.guard.keepForUndo = plan.request.keepForUndo && plan.request.options.overwriteOriginal;
  if (plan.guard.keepForUndo) plan.guard.group = plan.request.replaceGroup;
  if (!PlanRead(plan) || !PlanPlacement(plan) || !PlanConfidence(plan)) return plan;
  plan.report.detected = ReadAs(plan.source);
  plan.report.howRead = plan.source.howDecided;
  plan.report.howReadWords = plan.source.howDecidedChinese;
  if (!PlanDirect(plan)) PlanWorking(plan);
  return plan;
}

std::string EncodeOutput(std::string_view text, EncodingChoice encoding, bool withoutBom, TranscodeLosses* losses) {
  std::string bytes;
  const Charset charset = TranscodedCharset(encoding);
  if (charset != Charset::Unknown) {
    const std::string_view mark = withoutBom ? std::string_view() : ByteOrderMarkOf(encoding);
    bytes = TranscodeResponsive(text, kWorkingCharset, charset, kResponsivePiece, mark, losses);
  }
  if (bytes.empty()) bytes.assign(text.data(), text.size());
  return bytes;
}

ConvertStatus GzipFailure(GunzipStatus status) {
  switch (status) {
    case GunzipStatus::Truncated: return ConvertStatus::GzipTruncated;
    case GunzipStatus::TooLarge: return ConvertStatus::GzipTooLarge;
    case GunzipStatus::TrailingData: return ConvertStatus::GzipTrailingData;
    default: return ConvertStatus::GzipCorrupt;
  }
}

EncodingChoice OutputEncodingOf(const ConversionOptions& options, EncodingChoice readAs) {
  const EncodingChoice chosen = options.outputEncoding;
  switch (options.scriptConversion) {
    case ScriptConversion::SimplifiedToBig5:
    case ScriptConversion::TraditionalToBig5:
      return chosen == EncodingChoice::Auto || chosen == EncodingChoice::Ansi ? EncodingChoice::Big5 : chosen;
    case ScriptConversion::Big5ToSimplified:
    case ScriptConversion::Big5ToTraditional: return chosen == EncodingChoice::Auto ? EncodingChoice::Ansi : chosen;
    default: return chosen != EncodingChoice::Auto ? chosen : readAs;
  }
}

EncodingChoice ReadAs(const SourceRead& source) {
  return source.encoding == EncodingChoice::Auto ? EncodingChoice::Ansi : source.encoding;
}

}  // namespace cw
