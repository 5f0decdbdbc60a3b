// The write protocol that never loses the original: every output is written complete
// under a temporary name beside it and only then takes its name; an existing output (the
// original itself, when overwriting) is replaced in one step, keeping its identity.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "convert/run_record.h"
#include "convert/status.h"
#include "platform/platform.h"

namespace cw {

// Writes the output's bytes into an open new file; false when a write failed.
using Producer = std::function<bool(platform::NewFile&)>;

// What a write must respect besides the output itself.
struct WriteGuard {
  std::string sourcePath;
  platform::FileInfo source;   // the source as it was read
  bool sourceAtStake = false;  // the output replaces or removes the source
  RunRecord* run = nullptr;
  // The output as the caller found it just before (saves asking twice).
  bool outputChecked = false;
  bool outputExists = false;
  platform::FileInfo output;

  // A source that another program changed since it was read must not be replaced by
  // the conversion of its old content.
  bool SourceUnchanged() const;
};

enum class PutResult { Written, FolderMissing, Failed, NameTaken, SourceChanged };

// Whether an existing output may be replaced: not an output of this run (NameTaken),
// and a plain file that is not read-only (Failed otherwise). Written means yes.
PutResult MayReplace(const std::string& outputPath, const platform::FileInfo& existing, const WriteGuard& guard);

// Puts the output at its path (see the top of this file). `made`, when given, receives
// the identity of a new output.
PutResult PutOutput(const std::string& outputPath, const Producer& produce, const WriteGuard& guard = {},
                    std::optional<platform::FileInfo>* made = nullptr);

// Puts the output at its path, creating its folders when they are missing, notes it in
// the run's record, and removes a renamed original once its new file is in place.
ConvertStatus WriteResult(const std::string& outputPath, const Producer& produce, const WriteGuard& guard,
                          bool removeSource);

// Creates every missing folder on the path, outermost first; the last component (the
// file name) is never created and a drive prefix ("C:") is skipped. Returns false at the
// first folder that cannot be created. `created` receives the folders made, in order.
bool CreateParentDirectories(const std::string& path, std::vector<std::string>* created = nullptr);

// The program's own temporary names: "~cw" + 8 hex digits + ".tmp", and the
// "<name>.cw~<number>.tmp" of earlier versions.
bool IsTemporaryName(std::string_view name);
// Removes the program's temporary files in the folder that no open holds (left by a
// run that was killed). Returns how many went.
int RemoveStaleTemporaries(const std::string& folder);

}  // namespace cw
