// What happened to each file of a run (or what a dry run found would happen): the
// record the batch keeps for the result list, and the words the list shows.
#pragma once

#include <string>
#include <vector>

#include "convert/convert_file.h"
#include "convert/options.h"

namespace cw::batch {

struct FileResult {
  std::string source;
  std::string output;  // where the output went (or would go)
  ConvertStatus status = ConvertStatus::Converted;
  EncodingChoice readAs = EncodingChoice::Auto;  // Auto: the source was not read
  std::string reason;                            // why it was read so, where the engine says
};

// The words the list shows for a status; a dry run says what would happen.
std::string StatusWords(ConvertStatus status, bool dryRun);
// The encoding as the list names it; empty for Auto.
std::string EncodingWords(EncodingChoice encoding);
// The column headings and one row of texts per file, in the list's column order.
std::vector<std::string> ResultHeadings();
std::vector<std::string> ResultRow(const FileResult& result, bool dryRun);
// The whole list as text: the headings, then a line per file; tabs between the
// columns, CR LF after each line.
std::string ResultsText(const std::vector<FileResult>& results, bool dryRun);

}  // namespace cw::batch
