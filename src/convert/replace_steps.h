// The steps of a replace over an existing output (the original itself, when
// overwriting), shared by the write of one file (safe_write.cpp) and by the groups that
// flush many together (replace_group.cpp).
#pragma once

#include <string>

#include "convert/safe_write.h"
#include "convert/undo.h"

namespace cw::replace_steps {

// A fresh temporary name beside the output: "~cw" + run identity + "-" + a number.
std::string TemporaryPathFor(const std::string& outputPath);
// Where the undo keeps an original: a fresh temporary name beside it, + ".undo".
inline std::string KeptPathFor(const std::string& originalPath) { return TemporaryPathFor(originalPath) + ".undo"; }
// The folder of a replaced original, to be flushed when the run ends.
void NoteReplacedFolder(const std::string& path);

// Whether the replace keeps the original for undo (under a kept name, with a journal
// entry first).
bool Keeps(const std::string& finalPath, const WriteGuard& guard, bool sourceAtStake);
// The undo entry of a replace whose original is kept under `kept`: false when the open
// file cannot say what it is (then the replace must not be made).
bool EntryFor(platform::NewFile& file, const std::string& finalPath, const std::string& kept, const WriteGuard& guard,
              undo::Entry* entry);

// The steps after the flush and the journal entry, which make the replace: the
// original is looked at once more, as late as can be, for another program's change;
// then the open temporary takes the name in one step (keeping the original under
// `kept`, or not), so that there is never a moment without a file under it. On failure
// the temporary goes and the output is as it was.
PutResult FinishKeeping(platform::NewFile& file, const std::string& finalPath, const WriteGuard& guard,
                        const std::string& kept);
PutResult FinishReplacing(platform::NewFile& file, const std::string& finalPath, const WriteGuard& guard,
                          bool sourceAtStake);

// All of it for one file: over an original the new bytes are put on the disk first and
// the undo entry noted, then FinishKeeping or FinishReplacing.
PutResult ReplaceExisting(platform::NewFile& file, const std::string& finalPath, const WriteGuard& guard,
                          bool sourceAtStake);

}  // namespace cw::replace_steps
