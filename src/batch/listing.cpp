// Listing a folder for a batch: the filter's pieces, the ".htm" narrowing, and the path
// helpers that name files and folders in captions and output paths.
#include <unordered_set>

#include "batch/batch_job.h"
#include "batch/batch_paths.h"
#include "batch/batch_texts.h"
#include "encoding/charset.h"
#include "platform/platform.h"
#include "text/text.h"

namespace cw::batch {

const BatchTexts& Texts() {
  static const BatchTexts texts = [] {
    BatchTexts t;
    t.folderIdle = FromUtf8(u8" 批量转换(文件夹方式)");
    t.folderRunning = FromUtf8(u8" 点我停止");
    t.folderStopping = FromUtf8(u8" 停止中..");
    t.listIdle = FromUtf8(u8"批量转换");
    t.listRunning = FromUtf8(u8"点我停止");
    t.listStopping = FromUtf8(u8"停止中..");
    t.reading = FromUtf8(u8"正在读取目录：");
    t.complete = FromUtf8(u8"转换完成！点击可打开目录：");
    t.countsHead = FromUtf8(u8"（");
    t.convertedTail = FromUtf8(u8" 个已转换");
    t.lossesHead = FromUtf8(u8"，其中 ");
    t.lossesTail = FromUtf8(u8" 个有损失");
    t.unchangedHead = FromUtf8(u8"，");
    t.unchangedTail = FromUtf8(u8" 个无需转换");
    t.failedHead = FromUtf8(u8"，");
    t.failedTail = FromUtf8(u8" 个失败");
    t.countsTail = FromUtf8(u8"）");
    t.stoppedHead = FromUtf8(u8"已停止：完成 ");
    t.stoppedTail = FromUtf8(u8"。点击可打开目录：");
    t.noMatch = FromUtf8(u8"（没有符合过滤条件的文件）");
    t.dryRunHead = FromUtf8(u8"试运行完成，未写入任何文件：共 ");
    t.dryRunMiddle = FromUtf8(u8" 个文件，其中 ");
    t.dryRunTail = FromUtf8(u8" 个无法转换");
    t.resultsHead = FromUtf8(u8"有 ");
    t.resultsTail = FromUtf8(u8" 个文件未能转换或有损失。\r\n要查看每个文件的结果吗？");
    t.resultsTitle = FromUtf8(u8"转换结果");
    t.undoableResults = FromUtf8(u8"本次转换覆盖了原文件。\r\n要查看每个文件的结果吗？在结果列表中可以撤销本次转换。");
    t.undoButton = FromUtf8(u8"撤销本次转换");
    t.undoQuestion = FromUtf8(u8"撤销本次转换：把本次覆盖的文件恢复为原文件？");
    t.undoneHead = FromUtf8(u8"已撤销：恢复 ");
    t.undoneTail = FromUtf8(u8" 个文件");
    t.undoChangedHead = FromUtf8(u8"，");
    t.undoChangedTail = FromUtf8(u8" 个文件在转换后又被改动，未恢复");
    t.undoFailedHead = FromUtf8(u8"，");
    t.undoFailedTail = FromUtf8(u8" 个文件无法恢复");
    t.dropRefused = FromUtf8(u8"正在转换，拖放的文件和目录未处理：请等本次转换结束后再拖放。");
    t.marker = FromUtf8(u8"(已转换)");
    t.folderTitleHead = FromUtf8(u8"选择要批量转换的文件(");
    t.folderTitleTail = FromUtf8(u8")所在文件夹：");
    t.listTitle = FromUtf8(u8"选择要批量转换的多个文件：");
    t.openFilter = FromUtf8(
        u8"文本和网页文件|*.txt;*.htm;*.html|文本文件(*.txt)|*.txt|网页文件(*.htm;*.html)|*.htm;*.html|"
        u8"全部文件(*.*)|*.*");
    t.dropHead = FromUtf8(u8"确定要转换被拖放的 ");
    t.dropFiles = FromUtf8(u8" 个文件");
    t.dropAnd = FromUtf8(u8"和 ");
    t.dropFolders = FromUtf8(u8" 个目录");
    t.dropTail = FromUtf8(u8"的编码吗？");
    t.dropTitle = FromUtf8(u8"信息：");
    return t;
  }();
  return texts;
}

const std::string& OutputMarker() { return Texts().marker; }

std::string BaseNameWithoutExtension(const std::string& path) {
  const std::string name = text::SplitAtLastBackslash(path).name;
  const size_t dot = text::FindLast(name, ".");
  return dot == text::npos ? name : name.substr(0, dot);
}

std::string DirectoryOf(const std::string& path) {
  text::PathParts parts = text::SplitAtLastBackslash(path);
  return parts.hasBackslash ? parts.folder : std::string();
}

std::u16string GbkToUtf16(std::string_view text) { return WorkingToUtf16(text); }

std::string Utf16ToGbk(std::u16string_view text) { return Utf16ToWorking(text); }

bool EndsWithBackslash(const std::string& path) {
  return !path.empty() && text::FindLast(path, "\\") == path.size() - 1;
}

bool IsBareDrive(const std::string& path) {
  return path.size() == 2 && path[1] == ':' &&
         ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}

bool LiesUnder(const std::string& path, const std::string& root) {
  if (root.empty() || path.size() <= root.size() || path.compare(0, root.size(), root) != 0) return false;
  return EndsWithBackslash(root) || IsBareDrive(root) || path[root.size()] == '\\';
}

namespace {

bool EndsWithNoCase(const std::string& name, const char* suffix, size_t length) {
  return name.size() >= length && text::AsciiLower(name.substr(name.size() - length)) == suffix;
}

}  // namespace

platform::Status FindEntries(const std::string& pattern, bool folders, std::vector<std::string>& list,
                             std::vector<FailedFile>* refused) {
  std::vector<platform::DirEntry> entries;
  // A listing cut short keeps what it found: those files are converted all the same.
  const platform::Status status = platform::FindEntries(pattern, &entries);
  const text::PathParts parts = text::SplitAtLastBackslash(pattern);
  const std::string directory = parts.hasBackslash ? parts.folder + "\\" : std::string();
  // The find functions match "*.htm" against the short names of ".html" pages as well.
  const bool htmOnly = EndsWithNoCase(pattern, "*.htm", 5);
  for (const platform::DirEntry& entry : entries) {
    platform::PumpMessages();
    if (entry.name == "." || entry.name == "..") continue;
    const bool isFolder = (entry.attributes & platform::kAttrDirectory) != 0;
    bool accepted;
    if (folders) {
      accepted = isFolder && (entry.attributes & platform::kAttrReparsePoint) == 0;
    } else {
      accepted = !isFolder && (!htmOnly || EndsWithNoCase(entry.name, ".htm", 4)) && !IsTemporaryName(entry.name);
    }
    if (!accepted) continue;
    // A name that leads to no file (or to another one), or a file that is no plain file
    // (opening a pipe could wait forever), is counted and left alone.
    if (!entry.representable || (!folders && (entry.attributes & platform::kAttrDevice) != 0)) {
      if (refused) {
        refused->push_back(
            {directory + entry.name, entry.representable ? ConvertStatus::NotRegularFile : ConvertStatus::InvalidName});
      }
      continue;
    }
    list.push_back(directory + entry.name);
  }
  return status;
}

namespace {

// The folder as the result list names it: without the backslash the listing added,
// except where that is the root's own ("D:\").
std::string FolderEntry(const std::string& folder) {
  if (!EndsWithBackslash(folder) || (folder.size() == 3 && IsBareDrive(folder.substr(0, 2)))) return folder;
  return folder.substr(0, folder.size() - 1);
}

// Whether a failed piece failed as a pattern rather than as the folder: a pattern the
// system cannot take ("a:b") is refused as an invalid path, as too long a path is, and a
// piece that names a folder of its own ("sub\*.txt") fails with that folder; the folder
// then tells which by listing everything.
bool RefusedAsPattern(const std::string& folder, const std::string& piece, platform::Status status) {
  const bool ownFolder = text::Find(piece, "\\") != text::npos;
  if (!ownFolder && (status != platform::Status::InvalidPath || piece == "*")) return false;
  std::vector<platform::DirEntry> entries;
  return platform::FindEntries(folder + "*", &entries) == platform::Status::Ok;
}

}  // namespace

int ListFolder(std::string& folder, std::string& filter, std::vector<std::string>& list, bool append, bool folders,
               std::vector<FailedFile>* refused) {
  if (!EndsWithBackslash(folder)) folder += '\\';
  if (filter.empty()) filter = "*.*";
  // ";" separates pieces as "|" does: Windows' own dialogs write filters that way. A
  // name holding ";" is still matched by a piece that has "?" in its place. Neither byte
  // can be the second byte of a two-byte character here, as the split steps over those.
  std::vector<std::string> pieces;
  for (std::string& part : text::Split(filter, "|")) {
    for (std::string& piece : text::Split(part, ";")) pieces.push_back(std::move(piece));
  }
  // An empty piece after the last separator is not a piece; empty ones before it are.
  if (pieces.size() > 1 && pieces.back().empty()) pieces.pop_back();
  if (!append) list.clear();
  // A folder lists each name once: only a second piece, or a list appended to, can bring
  // a path again.
  const bool mayRepeat = append || pieces.size() > 1;
  std::unordered_set<std::string> seen;
  if (mayRepeat) seen.insert(list.begin(), list.end());
  std::unordered_set<std::string> refusedEarlier;
  std::vector<std::string> found;
  platform::Status unlisted = platform::Status::Ok;  // the folder's first failure
  for (const std::string& piece : pieces) {
    filter = piece;
    if (piece.empty()) continue;  // matches nothing
    found.clear();
    std::vector<FailedFile> refusedHere;
    const platform::Status status = FindEntries(folder + piece, folders, found, refused ? &refusedHere : nullptr);
    if (status != platform::Status::Ok && unlisted == platform::Status::Ok &&
        !RefusedAsPattern(folder, piece, status)) {
      unlisted = status;
    }
    for (std::string& path : found) {
      if (!mayRepeat || seen.insert(path).second) list.push_back(std::move(path));
    }
    // Refused names are shown, not opened: several may look alike (bytes that are not
    // UTF-8 all show as U+FFFD), so only a later piece's repeats are dropped.
    for (FailedFile& file : refusedHere) {
      if (refusedEarlier.count(file.path) == 0) refused->push_back(file);
    }
    for (const FailedFile& file : refusedHere) refusedEarlier.insert(file.path);
  }
  // One failure for the folder, whichever pieces met it.
  if (unlisted != platform::Status::Ok && refused) {
    refused->push_back({FolderEntry(folder), ConvertStatus::FolderUnreadable, unlisted});
  }
  return static_cast<int>(list.size());
}

}  // namespace cw::batch
