// Converting one file: read and decode, map the script of content and name, change the
// line endings, create the output folders, encode and write without ever losing the
// original.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "convert/options.h"
#include "convert/reading.h"

namespace cw {

enum class ConvertStatus {
  Converted,
  Unreadable,        // the source could not be read: nothing was written or deleted
  FolderFailed,      // an output folder could not be created: nothing was written
  WriteFailed,       // the output could not be written: the source and any old output are intact
  SourceNotRemoved,  // written under the new name, but the old name could not be removed
  TooLarge,          // more than the process can hold while converting: nothing was written
  NotText,           // overwriting, but the content holds a zero character: left as it is
};
const char* ConvertStatusName(ConvertStatus status);

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

// What ConvertFile learnt about the file on its way, for the batch's result list.
struct ConvertReport {
  EncodingChoice readAs = EncodingChoice::Auto;  // 1-6 once read; Auto when it was not
};

// Converts one file. `outputPath` is the full path to write (the source path itself
// when overwriting); with file-name conversion its last component is replaced by the
// mapped name and the variable holds the new path afterwards.
ConvertStatus ConvertFile(const std::string& sourcePath, std::string& outputPath, const ConversionOptions& options,
                          ConvertReport* report = nullptr);

// The encoding a source decided by ReadSource is read as (ANSI when nothing else was
// found).
EncodingChoice ReadAs(const SourceRead& source);

}  // namespace cw
