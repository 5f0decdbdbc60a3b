// The dry run: for one file, how it would be read, where its output would go and what
// would stop its conversion, without writing anything.
#include "batch/batch_job.h"
#include "convert/convert_file.h"
#include "convert/responsive_transcode.h"
#include "convert/script_conversion.h"
#include "platform/platform.h"
#include "text/text.h"

namespace cw::batch {

FileResult PlanFile(const std::string& sourcePath, const std::string& outputPath, const ConversionOptions& options) {
  FileResult result;
  result.source = sourcePath;
  result.output = outputPath;
  const SourceRead source = ReadSource(sourcePath, options.inputEncoding);
  if (source.status != ReadStatus::Ok) {
    result.status = source.status == ReadStatus::TooLarge ? ConvertStatus::TooLarge : ConvertStatus::Unreadable;
    return result;
  }
  if (source.gzip != GunzipStatus::NotGzip && source.gzip != GunzipStatus::Complete) {
    result.status = GzipFailure(source.gzip);
    return result;
  }
  result.readAs = ReadAs(source);
  result.reason = source.howDecided;
  const Charset charset = CharsetOf(result.readAs);
  // The same rules as the conversion: content cut at a zero character never goes over
  // its original, and an output that is a folder or read-only is not replaced.
  if (options.overwriteOriginal && HoldsZeroCharacter(source.Rest(), charset)) {
    result.status = ConvertStatus::NotText;
    return result;
  }
  if (options.convertFileName && options.scriptConversion != ScriptConversion::None) {
    const text::PathParts parts = text::SplitAtLastBackslash(outputPath);
    const std::string name = MapFileName(options.scriptConversion, parts.name);
    result.output = parts.hasBackslash ? parts.folder + "\\" + name : name;
  }
  // Overwriting under a new name that another file holds.
  const bool renames = options.convertFileName && options.scriptConversion != ScriptConversion::None;
  platform::FileInfo sourceFile, outputFile;
  if (options.overwriteOriginal && renames && platform::QueryFile(result.output, &outputFile) == platform::Status::Ok &&
      (platform::QueryFile(sourcePath, &sourceFile) != platform::Status::Ok || !outputFile.SameFileAs(sourceFile))) {
    result.status = ConvertStatus::NameTaken;
    return result;
  }
  // What the conversion would lose: refused over the original, counted elsewhere.
  {
    TranscodeLossScope losses;
    SourceRead copy = source;
    DecodedText decoded = DecodeSource(std::move(copy));
    if (options.scriptConversion != ScriptConversion::None) {
      decoded.text = MapContent(options.scriptConversion, decoded.text);
    }
    std::string encoded;
    const EncodingChoice output =
        options.outputEncoding != EncodingChoice::Auto ? options.outputEncoding : decoded.detected;
    WriteEncodedText("", decoded.text, output, options.withoutBom, &encoded);
    if (decoded.undecodable != 0 || losses.Losses().Any()) {
      const bool unreadable = decoded.undecodable != 0 || losses.Losses().undecodable != 0;
      result.status = !options.overwriteOriginal ? ConvertStatus::ConvertedWithLosses
                      : unreadable               ? ConvertStatus::NotExact
                                                 : ConvertStatus::CannotHold;
      if (options.overwriteOriginal) return result;
    }
  }
  const uint32_t attributes = platform::GetAttributes(result.output);
  if (attributes != platform::kInvalidAttributes &&
      (attributes & (platform::kAttrReadOnly | platform::kAttrDirectory)) != 0) {
    result.status = ConvertStatus::WriteFailed;
  }
  return result;
}

}  // namespace cw::batch
