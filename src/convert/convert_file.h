// Converting one file: read and decode, map the script of content and name, change the
// line endings, create the output folders, encode and write without ever losing the
// original. The steps live in plan (deciding), execute and safe_write (writing),
// line_endings and status; this is the call the batch and the command line make.
#pragma once

#include <string>
#include <string_view>

#include "convert/line_endings.h"
#include "convert/options.h"
#include "convert/plan.h"
#include "convert/reading.h"
#include "convert/run_record.h"
#include "convert/safe_write.h"
#include "convert/status.h"
#include "encoding/charset.h"

namespace cw {

// Encodes the working text (encodings 2-6 through the transcoder; 0 and 1 write the
// working bytes) with the mark of 2, 3 and 4 unless withoutBom, and writes it. The new
// content goes to a temporary file beside the output first and takes the output's place
// only when it was written completely. `written` receives the bytes.
enum class WriteStatus { Written, EmptyPath, Failed };
WriteStatus WriteEncodedText(const std::string& outputPath, std::string_view text, EncodingChoice encoding,
                             bool withoutBom, std::string* written = nullptr);

// Converts one file as the request says: plans it and carries the plan out. With a run
// record, a file seen earlier in the run gives Duplicate and an output of the run is
// never written again (NameTaken). `report`, when given, receives how the file was read
// and what was lost; `outputPath`, where the output went (after a file-name conversion).
ConvertStatus ConvertFile(const ConversionRequest& request, RunRecord* run = nullptr, ConvertReport* report = nullptr,
                          std::string* outputPath = nullptr);

// The same with the request's parts: `outputPath` is the full path to write (the source
// path itself when overwriting); with file-name conversion its last component is
// replaced by the mapped name and the variable holds the new path afterwards.
ConvertStatus ConvertFile(const std::string& sourcePath, std::string& outputPath, const ConversionOptions& options,
                          RunRecord* run = nullptr, ConvertReport* report = nullptr);
inline ConvertStatus ConvertFile(const std::string& sourcePath, std::string& outputPath,
                                 const ConversionOptions& options, ConvertReport* report) {
  return ConvertFile(sourcePath, outputPath, options, nullptr, report);
}

}  // namespace cw
