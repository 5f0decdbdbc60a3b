// What happened to each file of a run (or what a dry run found would happen): the
// record the batch keeps for the result list, and the words the list shows.
#pragma once

#include <string>
#include <vector>

#include "convert/convert_file.h"
#include "convert/options.h"
#include "platform/platform.h"

namespace cw::batch {

struct FileResult {
  std::string source;
  std::string output;  // where the output went (or would go)
  ConvertStatus status = ConvertStatus::Converted;
  EncodingChoice readAs = EncodingChoice::Auto;  // Auto: the source was not read
  std::string reason;                            // why it was read so, where the engine says
  // What a failed file met on the disk (Ok when unknown), and whether the file it
  // failed on was read-only then.
  platform::Status cause = platform::Status::Ok;
  bool readOnly = false;
  // What a lossy conversion lost, and in which charset.
  TranscodeLosses losses{};
  std::string lossCharset{};
  // A web file's declaration rewritten, and what the page then needs.
  std::string declaration{};
  std::string declarationWarning{};
  // Why it was read so, in the list's words; a close call's scores; the first line of
  // Chinese text as it was read.
  std::string howReadWords{};
  std::string uncertain{};
  std::string preview{};
};

// Fills in what the conversion reported and, for a failure, what it met: the failure
// of this thread's latest system call (platform::ThreadFailure) and whether the file
// it failed on is read-only. Called right after the conversion, on its thread.
void NoteOutcome(FileResult* result, const ConvertReport& report);
// The same with the system's reason for a failure given (it was met on another thread).
void NoteOutcome(FileResult* result, const ConvertReport& report, platform::Status cause);
// Whether the status counts as a failure of the run (not converted, not unchanged, not a
// repeat).
bool IsFailure(ConvertStatus status);

// The words the list shows for a status; a dry run says what would happen.
std::string StatusWords(ConvertStatus status, bool dryRun);
// The encoding as the list names it; empty for Auto.
std::string EncodingWords(EncodingChoice encoding);
// Why: for a failure, what stood in the way in a user's words ("文件正被其他程序使用");
// for a loss, what was lost; otherwise how the encoding was decided.
std::string ReasonWords(const FileResult& result);
// The column headings and one row of texts per file, in the list's column order: the
// file's name, its folder, what happened, read as, why, the output.
std::vector<std::string> ResultHeadings();
std::vector<std::string> ResultRow(const FileResult& result, bool dryRun);
// The whole list as text: the headings, then a line per file; tabs between the
// columns, CR LF after each line.
std::string ResultsText(const std::vector<FileResult>& results, bool dryRun);

}  // namespace cw::batch
