// The single-file conversion: a plan carried out, and the working text's own write.
#include "convert/convert_file.h"

#include <new>

namespace cw {

WriteStatus WriteEncodedText(const std::string& outputPath, std::string_view text, EncodingChoice encoding,
                             bool withoutBom, std::string* written) {
  const std::string bytes = EncodeOutput(text, encoding, withoutBom);
  if (written) *written = bytes;
  if (outputPath.empty()) return WriteStatus::EmptyPath;
  const std::string_view view = bytes;
  const Producer produce = [view](platform::NewFile& file) { return file.Write(view) == platform::Status::Ok; };
  return PutOutput(outputPath, produce) == PutResult::Written ? WriteStatus::Written : WriteStatus::Failed;
}

ConvertStatus ConvertFile(const ConversionRequest& request, RunRecord* run, ConvertReport* report,
                          std::string* outputPath) {
  // Running out of memory on the way (a 32-bit process has 2 GB of address space) is a
  // failed file, never a crash. The output is written in pieces, but under a temporary
  // name: its own name appears only once the whole result exists.
  if (report) *report = ConvertReport();
  if (outputPath) *outputPath = request.output;
  try {
    ConversionPlan plan = PlanConversion(request, run);
    const ConvertStatus status = Execute(plan);
    if (report) *report = std::move(plan.report);
    if (outputPath) *outputPath = std::move(plan.outputPath);
    return status;
  } catch (const std::bad_alloc&) {
    return ConvertStatus::TooLarge;
  }
}

ConvertStatus ConvertFile(const std::string& sourcePath, std::string& outputPath, const ConversionOptions& options,
                          RunRecord* run, ConvertReport* report) {
  return ConvertFile(ConversionRequest{sourcePath, outputPath, options}, run, report, &outputPath);
}

}  // namespace cw
