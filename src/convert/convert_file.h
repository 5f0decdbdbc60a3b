// Converting one file: read and decode, map the script of content and name, change the
// line endings, create the output folders, encode and write without ever losing the
// original.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
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
// The same change made to the text itself: in place for Unix and Mac (no break grows).
void ChangeLineEndings(std::string& text, LineEndingChoice choice);

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

// What one run remembers from file to file, so that it converts each file once (by
// identity, whatever path reached it) and never writes an output twice. Safe to share
// between the threads of a parallel batch; the order of their calls is the batch's
// business.
class RunRecord {
 public:
  RunRecord() = default;
  // A fresh record for a new run; never while another thread uses either.
  RunRecord& operator=(RunRecord&& other) noexcept {
    seen_ = std::move(other.seen_);
    outputs_ = std::move(other.outputs_);
    folders_ = std::move(other.folders_);
    return *this;
  }

  // The file was converted, or written as an output, earlier in this run.
  bool Seen(const platform::FileInfo& file) const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return seen_.count(Key(file)) != 0;
  }
  bool IsOutput(const platform::FileInfo& file) const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return outputs_.count(Key(file)) != 0;
  }
  // Notes a source; false when the run has met the file already (then nothing changes).
  bool AddSource(const platform::FileInfo& file) {
    const std::lock_guard<std::mutex> lock(mutex_);
    return seen_.insert(Key(file)).second;
  }
  // A source replaced or removed: its identity may be given to a new file.
  void Forget(const platform::FileInfo& file) {
    const std::lock_guard<std::mutex> lock(mutex_);
    seen_.erase(Key(file));
  }
  void AddOutput(const platform::FileInfo& file) {
    const std::lock_guard<std::mutex> lock(mutex_);
    seen_.insert(Key(file));
    outputs_.insert(Key(file));
  }
  // The first time a folder is written to in this run, its stale temporary files are
  // removed; a caller that comes while that happens waits for it, so that no new
  // temporary file of this run can be taken for a stale one.
  void PrepareFolder(const std::string& folder);

 private:
  using FileKey = std::pair<uint64_t, uint64_t>;
  static FileKey Key(const platform::FileInfo& file) { return {file.volume, file.index}; }
  // Hashed: a run of many files looks every file up more than once.
  struct KeyHash {
    size_t operator()(const FileKey& key) const {
      return std::hash<uint64_t>()(key.first * 0x9E3779B97F4A7C15ULL ^ key.second);
    }
  };
  mutable std::mutex mutex_;
  std::unordered_set<FileKey, KeyHash> seen_;
  std::unordered_set<FileKey, KeyHash> outputs_;
  std::unordered_set<std::string> folders_;
};

// The program's own temporary names: "~cw" + 8 hex digits + ".tmp", and the
// "<name>.cw~<number>.tmp" of earlier versions.
bool IsTemporaryName(std::string_view name);
// Removes the program's temporary files in the folder that no open holds (left by a
// run that was killed). Returns how many went.
int RemoveStaleTemporaries(const std::string& folder);

// Converts one file. `outputPath` is the full path to write (the source path itself
// when overwriting); with file-name conversion its last component is replaced by the
// mapped name and the variable holds the new path afterwards. With a run record, a
// file seen earlier in the run gives Duplicate and an output of the run is never
// written again (NameTaken). `report`, when given, receives how the file was read and
// what was lost.
ConvertStatus ConvertFile(const std::string& sourcePath, std::string& outputPath, const ConversionOptions& options,
                          RunRecord* run = nullptr, ConvertReport* report = nullptr);
inline ConvertStatus ConvertFile(const std::string& sourcePath, std::string& outputPath,
                                 const ConversionOptions& options, ConvertReport* report) {
  return ConvertFile(sourcePath, outputPath, options, nullptr, report);
}

// The failure status of a gzip input whose decompression did not complete.
ConvertStatus GzipFailure(GunzipStatus status);

// The encoding a source decided by ReadSource is read as (ANSI when nothing else was
// found).
EncodingChoice ReadAs(const SourceRead& source);

}  // namespace cw
