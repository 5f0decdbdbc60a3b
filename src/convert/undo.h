// What an overwrite run keeps so that it can be undone. Each original it replaces stays
// in its folder under a kept name ("~cw<run>-<n>.tmp.undo": the same volume, nothing
// copied), and the folder's journal of the run ("~cwundo-<run>-<number>.jnl") says,
// before each replace and on the disk, which original it was and what the new file is.
// Both stay until the next overwrite run replaces an original in that folder; undo puts
// back every original whose conversion is still as the run left it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace cw::undo {

// One replaced original: names in its folder.
struct Entry {
  std::string kept;            // where the original is kept
  std::string original;        // the name it had
  std::string output;          // the name its conversion has (another one when renamed)
  platform::FileInfo written;  // the conversion as the run left it
};
// The time of a conversion written in place (a file with other hard links): only the
// file and its size say it is still as the run left it.
constexpr int64_t kAnyTime = 0;
// One line of the journal, names hex-encoded (no name can break a line) and a check
// sum last, so that a line cut short by a kill is never taken for an entry.
std::string EncodeEntry(const Entry& entry);
bool DecodeEntry(std::string_view line, Entry* entry);
// Whether the name is a journal's ("~cwundo-" + run identity + "-" + hex + ".jnl").
bool IsJournalName(std::string_view name);

// A new run of this process begins: the undo of an earlier one goes, folder by folder,
// as this one replaces originals there.
void BeginRun();
// The run has ended: its journals are closed (an undo can then read and remove them).
void EndRun();
// Before an original in `folder` is replaced: the first time in this run, the folder's
// undo of an earlier run that has ended goes (an original that a killed run left only
// under its kept name is put back first); then the entry is written and put on the
// disk. False: it could not be, and the original must not be replaced.
bool NoteReplace(const std::string& folder, const Entry& entry);
// The same for the replaces of a group in one folder: one write, one flush.
bool NoteReplaces(const std::string& folder, const std::vector<Entry>& entries);

struct Result {
  int restored = 0;
  std::vector<std::string> changed;  // conversions changed since the run: left, their originals kept
  std::vector<std::string> failed;   // could not be put back
};
// Undoes the latest overwrite run on `folder` (and, with `tree`, on every folder under
// it): every original whose conversion is still as the run left it is put back, byte for
// byte under its own name, also after a run that was killed.
Result UndoFolder(const std::string& folder, bool tree);
// The folders where this process's latest run kept originals (empty when none).
std::vector<std::string> FoldersOfLastRun();
// Undoes this process's latest run.
Result UndoLastRun();

}  // namespace cw::undo
