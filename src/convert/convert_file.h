// Converting one file: read and decode, map the script of content and name, change the
// line endings, create the output folders, encode and write without ever losing the
// original.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "convert/options.h"
#include "convert/reading.h"
#include "encoding/charset.h"

namespace cw {

enum class ConvertStatus {
  Converted,
  Unreadable,        // the source could not be read: nothing was written or deleted
  FolderFailed,      // an output folder could not be created: nothing was written
  WriteFailed,       // the output could not be written: the source and any old output are intact
  SourceNotRemoved,  // written under the new name, but the old name could not be removed
  TooLarge,          // more than the process can hold while converting: nothing was written
  NotText,           // overwriting, but the content holds a zero character: left as it is
  // Over the original, nothing that loses content is written; the original stays:
  NotExact,          // the source is not valid in the charset it was read as
  CannotHold,        // the output charset cannot hold every character
  // Written elsewhere, such a file is still converted, and this says it lost something.
  ConvertedWithLosses,
};
const char* ConvertStatusName(ConvertStatus status);

// How one file went: the encoding it was read as, and what was lost on the way.
struct ConvertReport {
  EncodingChoice detected = EncodingChoice::Auto;
  std::string howRead;  // how the encoding was decided (mark, declaration, scan, statistics)
  // The charset the source was not valid in (undecodable bytes), or the one that could
  // not hold every character (unencodable ones).
  std::string lossCharset;
  TranscodeLosses losses;
};
// The status as a line for the user, with the charset named where it matters:
// "not converted: the file is not valid UTF-8", "not converted: BIG5 cannot hold ...".
std::string ConvertStatusText(ConvertStatus status, const ConvertReport& report);

// Every line break (CR LF, lone CR, lone LF) becomes the chosen one; Keep changes
// nothing. A CR or LF that is the second byte of a two-byte character is left alone.
std::string ConvertLineEndings(std::string_view text, LineEndingChoice choice);

// Creates every missing folder on the path, outermost first; the last component (the
// file name) is never created and a drive prefix ("C:") is skipped. Returns false at the
// first folder that cannot be created. `created` receives the folders made, in order.
bool CreateParentDirectories(const std::string& path, std::vector<std::string>* created = nullptr);

// Encodes the working text (encodings 2-6 through the transcoder; 0 and 1 write the
// working bytes) with the mark of 2, 3 and 4 unless withoutBom, and writes it. The new
// content goes to a temporary file beside the output first and takes the output's place
// only when it was written completely. `written` receives the bytes.
enum class WriteStatus { Written, EmptyPath, Failed };
WriteStatus WriteEncodedText(const std::string& outputPath, std::string_view text, EncodingChoice encoding,
                             bool withoutBom, std::string* written = nullptr);

// Converts one file. `outputPath` is the full path to write (the source path itself
// when overwriting); with file-name conversion its last component is replaced by the
// mapped name and the variable holds the new path afterwards.
// `report`, when given, receives how the file was read and what was lost.
ConvertStatus ConvertFile(const std::string& sourcePath, std::string& outputPath, const ConversionOptions& options,
                          ConvertReport* report = nullptr);

}  // namespace cw
