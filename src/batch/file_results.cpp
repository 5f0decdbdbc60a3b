// The words of the result list: a status's own words and reason are in its row of
// convert/status; here are the reasons the disk gives and the losses.
#include "batch/file_results.h"

#include <utility>

#include "batch/choices.h"
#include "encoding/charset.h"
#include "text/text.h"

namespace cw::batch {
namespace {

using platform::Status;

bool IsReadOnly(const std::string& path) {
  const uint32_t attributes = platform::GetAttributes(path);
  return attributes != platform::kInvalidAttributes && (attributes & platform::kAttrReadOnly) != 0;
}

// What the disk said, in a user's words, for a file and for a folder that could not be
// listed; null where it says nothing a user could act on (the status's own reason then
// says what failed).
struct CauseRow {
  Status cause;
  const char* file;
  const char* folder;
};
constexpr CauseRow kCauses[] = {
    {Status::SharingViolation, u8"文件正被其他程序使用", u8"文件夹正被其他程序使用"},
    {Status::AccessDenied, u8"没有权限", u8"没有权限"},
    {Status::DiskFull, u8"磁盘已满", u8"磁盘已满"},
    {Status::NotFound, u8"文件或文件夹不存在", u8"文件夹不存在（可能已被移走或删除）"},
    {Status::TooLarge, u8"文件太大，内存放不下", u8"文件夹里的文件太多，内存放不下"},
    {Status::InvalidPath, u8"路径不是有效的文件名", u8"路径不是有效的文件夹名"},
};
constexpr const char* kPathTooLong = u8"路径太长";

// A path the system refused as invalid that is longer than Windows takes (MAX_PATH, 260
// UTF-16 units with its end) or has a name longer than any file system takes (255 UTF-8
// bytes): it was refused for its length. Names listed from a folder are names the system
// takes, so that is what a folder of the walk meets.
bool TooLong(const std::string& path) {
  if (WorkingToUtf16(path).size() >= 260) return true;
  for (const std::string& name : text::Split(path, "\\")) {
    if (ToUtf8(name).size() > 255) return true;
  }
  return false;
}

const char* CauseWords(const FileResult& result) {
  if (result.readOnly) return u8"文件只读";
  const bool folder = result.status == ConvertStatus::FolderUnreadable;
  if (result.cause == Status::InvalidPath && TooLong(result.source)) return kPathTooLong;
  for (const CauseRow& row : kCauses) {
    if (row.cause == result.cause) return folder ? row.folder : row.file;
  }
  return nullptr;
}

bool FromTheDisk(ConvertStatus status) {
  return status == ConvertStatus::Unreadable || status == ConvertStatus::FolderFailed ||
         status == ConvertStatus::WriteFailed || status == ConvertStatus::SourceNotRemoved ||
         status == ConvertStatus::TooLarge || status == ConvertStatus::FolderUnreadable;
}

// "3 处字节不是有效的 GBK；2 个字符 Big5 无法表示"
std::string LossWords(const FileResult& result) {
  const std::string charset = result.lossCharset.empty() ? FromUtf8(u8"所用编码") : result.lossCharset;
  std::string words;
  if (result.losses.undecodable != 0) {
    words += std::to_string(result.losses.undecodable) + FromUtf8(u8" 处字节不是有效的 ") + charset;
  }
  if (result.losses.unencodable != 0) {
    if (!words.empty()) words += FromUtf8(u8"；");
    words += std::to_string(result.losses.unencodable) + FromUtf8(u8" 个字符 ") + charset + FromUtf8(u8" 无法表示");
  }
  return words;
}

}  // namespace

bool IsFailure(ConvertStatus status) {
  return !IsConverted(status) && status != ConvertStatus::Duplicate && status != ConvertStatus::Unchanged;
}

void NoteOutcome(FileResult* result, const ConvertReport& report) {
  NoteOutcome(result, report, platform::ThreadFailure());
}

void NoteOutcome(FileResult* result, const ConvertReport& report, platform::Status cause) {
  result->readAs = report.detected;
  result->reason = report.howRead;
  result->losses = report.losses;
  result->lossCharset = report.lossCharset;
  result->howReadWords = report.howReadWords;
  result->uncertain = report.uncertain;
  result->preview = report.preview;
  result->declaration = report.declaration;
  result->declarationWarning = report.declarationWarning;
  if (!IsFailure(result->status)) return;
  result->cause = cause;
  // Lookups that find nothing, and names tried again because they were taken, are how
  // a conversion goes, and say nothing about why it failed; except for a source or a
  // folder that is not there.
  const bool missingCounts =
      result->status == ConvertStatus::Unreadable || result->status == ConvertStatus::FolderFailed;
  if (result->cause == Status::AlreadyExists || (result->cause == Status::NotFound && !missingCounts)) {
    result->cause = Status::Ok;
  }
  // A read-only file is refused before any call is made, so it is looked at here.
  const bool refusedWrite = (result->status == ConvertStatus::WriteFailed && IsReadOnly(result->output)) ||
                            (result->status == ConvertStatus::SourceNotRemoved && IsReadOnly(result->source));
  result->readOnly = refusedWrite && result->cause != Status::SharingViolation;
}

std::string StatusWords(ConvertStatus status, bool dryRun) { return ConvertStatusWords(status, dryRun); }

std::string EncodingWords(EncodingChoice encoding) { return RowOf(encoding).words; }

// How the engine decided, said in Chinese: its phrases are fixed, with charset names
// and figures between them, which stay as they are.
std::string HowReadWords(const std::string& howRead) {
  static const std::pair<const char*, const char*> kPhrases[] = {
      {"byte-order mark", u8"字节顺序标记（BOM）"},
      {"declared in a meta tag", u8"网页 meta 标签声明"},
      {"declared in the XML declaration", u8"XML 声明"},
      {", but not valid ", u8"，但不是有效的 "},
      {", nor anything else)", u8"，也不是别的编码）"},
      {" (not valid ", u8"（不是有效的 "},
      {" as ", u8"为 "},
      {"; ", u8"；"},
      {"UTF-8 scan", u8"内容符合 UTF-8"},
      {"nothing but ASCII", u8"只有 ASCII 字符"},
      {"statistics: ", u8"按字频统计："},
      {"no reading fits", u8"没有合适的编码"},
      {" (margin ", u8"（领先 "},
      {"chosen", u8"按所选的输入编码"},
  };
  std::string words = howRead;
  for (const auto& [english, chinese] : kPhrases) words = text::ReplaceAll(words, english, FromUtf8(chinese));
  // The figures' closing bracket, after the margin.
  if (words.size() > 1 && words.back() == ')') words = words.substr(0, words.size() - 1) + FromUtf8(u8"）");
  return words;
}

std::string ReasonWords(const FileResult& result) {
  const ConvertStatus status = result.status;
  if (FromTheDisk(status)) {
    const char* cause = CauseWords(result);
    return cause ? FromUtf8(cause) : ConvertStatusReason(status);
  }
  if (status == ConvertStatus::ConvertedWithLosses || status == ConvertStatus::NotExact ||
      status == ConvertStatus::CannotHold) {
    std::string lost = LossWords(result);
    if (!lost.empty()) return lost;
    if (status == ConvertStatus::NotExact) return FromUtf8(u8"有字节不是所读编码的有效字符");
    if (status == ConvertStatus::CannotHold) return FromUtf8(u8"有字符输出编码无法表示");
  }
  if (status == ConvertStatus::Uncertain) {
    return FromUtf8(u8"编码不确定（") + result.uncertain + FromUtf8(u8"），未覆盖原文件；请指定输入编码");
  }
  if (std::string reason = ConvertStatusReason(status); !reason.empty()) return reason;
  std::string how = result.howReadWords.empty() ? HowReadWords(result.reason) : result.howReadWords;
  // Read the likelier way of two close ones: said first, so that it is not missed.
  if (!result.uncertain.empty()) how = FromUtf8(u8"编码不确定（") + result.uncertain + FromUtf8(u8"）；") + how;
  return how;
}

std::vector<std::string> ResultHeadings() {
  std::vector<std::string> headings;
  for (const char* heading : {u8"文件名", u8"所在文件夹", u8"结果", u8"读作", u8"原因", u8"预览", u8"输出到"}) {
    headings.push_back(FromUtf8(heading));
  }
  return headings;
}

// The reason, followed by what happened to a web file's declaration.
std::string WithDeclaration(std::string words, const FileResult& result) {
  for (const std::string* more : {&result.declaration, &result.declarationWarning}) {
    if (more->empty()) continue;
    if (!words.empty()) words += FromUtf8(u8"；");
    words += *more;
  }
  return words;
}

std::vector<std::string> ResultRow(const FileResult& result, bool dryRun) {
  // The name first: a long folder would hide it.
  const text::PathParts parts = text::SplitAtLastBackslash(result.source);
  return {parts.hasBackslash ? parts.name : result.source,
          parts.hasBackslash ? parts.folder : std::string(),
          StatusWords(result.status, dryRun),
          EncodingWords(result.readAs),
          WithDeclaration(ReasonWords(result), result),
          result.preview,
          result.output};
}

std::string ResultsText(const std::vector<FileResult>& results, bool dryRun) {
  std::string text;
  auto addLine = [&text](const std::vector<std::string>& columns) {
    for (size_t i = 0; i < columns.size(); ++i) text += (i ? "\t" : "") + columns[i];
    text += "\r\n";
  };
  addLine(ResultHeadings());
  for (const FileResult& result : results) addLine(ResultRow(result, dryRun));
  return text;
}

}  // namespace cw::batch
