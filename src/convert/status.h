// What became of one file: the statuses of a conversion and their texts, for the
// command line (English) and for the result list (Chinese), from one table.
#pragma once

#include <string>

#include "convert/options.h"
#include "encoding/charset.h"

namespace cw {

enum class ConvertStatus {
  Converted,
  Unreadable,        // the source could not be read: nothing was written or deleted
  FolderFailed,      // an output folder could not be created: nothing was written
  WriteFailed,       // the output could not be written: the source and any old output are intact
  SourceNotRemoved,  // written under the new name, but the old name could not be removed
  TooLarge,          // more than the process can hold while converting: nothing was written
  NotText,           // the content holds a zero character (a binary file): never converted
  NameTaken,         // the output name is another file, or an output of this run already
  SourceChanged,     // the source changed while it was converted: left as it is
  GzipTruncated,     // the gzip data ends early: nothing was written
  GzipCorrupt,       // the gzip data is damaged (a bad checksum, for instance)
  GzipTrailingData,  // something that is not gzip data follows the compressed data
  GzipTooLarge,      // it would decompress to more than the limit
  NotRegularFile,    // a pipe, device or socket: never opened
  InvalidName,       // a name that no path can express (not UTF-8, a "\" on POSIX)
  Duplicate,         // converted (or written) already in this run: not converted again
  // Over the original, nothing that loses content is written; the original stays:
  NotExact,    // the source is not valid in the charset it was read as
  CannotHold,  // the output charset cannot hold every character
  // Written elsewhere, such a file is still converted, and this says it lost something.
  ConvertedWithLosses,
  // The automatic reading was a close call between two exact readings: never written
  // over the original (the user should choose the input encoding).
  Uncertain,
  // The bytes to write are the bytes already at the output (the original, when
  // overwriting): nothing was written and the file keeps its times.
  Unchanged,
  // A folder of the run could not be listed (no permission, too long a path): its files
  // were not converted. The entry is the folder.
  FolderUnreadable,
};
inline constexpr int kConvertStatusCount = static_cast<int>(ConvertStatus::FolderUnreadable) + 1;

// The status in English, as chengwen-cli prints it.
const char* ConvertStatusName(ConvertStatus status);
// The words the result list shows (working code page); a dry run says what would happen.
std::string ConvertStatusWords(ConvertStatus status, bool dryRun);
// Why, in the result list's words, where the status says it by itself; empty where the
// losses or the reading say why.
std::string ConvertStatusReason(ConvertStatus status);
// Whether the file counts as converted (with or without losses).
bool IsConverted(ConvertStatus status);

// How one file went: the encoding it was read as, and what was lost on the way.
struct ConvertReport {
  EncodingChoice detected = EncodingChoice::Auto;
  std::string howRead;  // how the encoding was decided (mark, declaration, scan, statistics)
  // The charset the source was not valid in (undecodable bytes), or the one that could
  // not hold every character (unencodable ones).
  std::string lossCharset;
  TranscodeLosses losses;
  // A web file's declaration rewritten ("声明 gb2312 → utf-8"), and what the page then
  // still needs (a meta past the browser's first 1024 bytes); working code page.
  std::string declaration;
  std::string declarationWarning;
  // Why the file was read as it was, in the result list's words (working code page).
  std::string howReadWords;
  // A close call of the automatic reading ("GBK 0.31 / BIG5 0.29"): the file was read
  // the likelier way and is marked uncertain; empty when the reading was sure.
  std::string uncertain;
  // The first line of Chinese text as it was read, to see a misreading at a glance.
  std::string preview;
};
// The status as a line for the user, with the charset named where it matters:
// "not converted: the file is not valid UTF-8", "not converted: BIG5 cannot hold ...".
std::string ConvertStatusText(ConvertStatus status, const ConvertReport& report);

}  // namespace cw
