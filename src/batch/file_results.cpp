// The words of the result list. A new status needs one word here, and a reason.
#include "batch/file_results.h"

#include <utility>

#include "encoding/charset.h"
#include "text/text.h"

namespace cw::batch {
namespace {

using platform::Status;

bool IsReadOnly(const std::string& path) {
  const uint32_t attributes = platform::GetAttributes(path);
  return attributes != platform::kInvalidAttributes && (attributes & platform::kAttrReadOnly) != 0;
}

// What the disk said, for the failures that come from it; null where it says nothing a
// user could act on.
const char* CauseWords(const FileResult& result) {
  if (result.readOnly) return u8"文件只读";
  switch (result.cause) {
    case Status::SharingViolation: return u8"文件正被其他程序使用";
    case Status::AccessDenied: return u8"没有权限";
    case Status::DiskFull: return u8"磁盘已满";
    case Status::NotFound: return u8"文件或文件夹不存在";
    case Status::TooLarge: return u8"文件太大，内存放不下";
    case Status::InvalidPath: return u8"路径不是有效的文件名";
    default: return nullptr;
  }
}

// The reason a status carries in itself, or, for the failures of the disk, the one
// given when the disk said nothing clearer.
const char* StatusReason(ConvertStatus status) {
  switch (status) {
    case ConvertStatus::Unreadable: return u8"读取文件时出错";
    case ConvertStatus::FolderFailed: return u8"创建文件夹时出错";
    case ConvertStatus::WriteFailed: return u8"写入文件时出错";
    case ConvertStatus::SourceNotRemoved: return u8"删除旧文件名时出错，新旧两个文件都在";
    case ConvertStatus::TooLarge: return u8"文件太大，内存放不下";
    case ConvertStatus::NotText: return u8"文件中有零字符，可能不是文本";
    case ConvertStatus::NameTaken: return u8"新文件名已被另一个文件使用";
    case ConvertStatus::SourceChanged: return u8"转换期间另一个程序改动了文件";
    case ConvertStatus::GzipTruncated: return u8"压缩数据不完整";
    case ConvertStatus::GzipCorrupt: return u8"压缩数据已损坏";
    case ConvertStatus::GzipTrailingData: return u8"压缩数据后面还有别的内容";
    case ConvertStatus::GzipTooLarge: return u8"解压后超过大小上限";
    case ConvertStatus::NotRegularFile: return u8"是管道或设备，不是普通文件";
    case ConvertStatus::InvalidName: return u8"文件名含有系统无法表示的字符";
    case ConvertStatus::Duplicate: return u8"同一个文件在本次转换中出现了两次";
    default: return nullptr;
  }
}

bool FromTheDisk(ConvertStatus status) {
  return status == ConvertStatus::Unreadable || status == ConvertStatus::FolderFailed ||
         status == ConvertStatus::WriteFailed || status == ConvertStatus::SourceNotRemoved ||
         status == ConvertStatus::TooLarge;
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
  return status != ConvertStatus::Converted && status != ConvertStatus::ConvertedWithLosses &&
         status != ConvertStatus::Duplicate;
}

void NoteOutcome(FileResult* result, const ConvertReport& report) {
  result->readAs = report.detected;
  result->reason = report.howRead;
  result->losses = report.losses;
  result->lossCharset = report.lossCharset;
  if (!IsFailure(result->status)) return;
  result->cause = platform::ThreadFailure();
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

std::string StatusWords(ConvertStatus status, bool dryRun) {
  const char* words = u8"无法转换";
  switch (status) {
    case ConvertStatus::Converted: words = dryRun ? u8"将转换" : u8"已转换"; break;
    case ConvertStatus::Unreadable: words = u8"无法读取"; break;
    case ConvertStatus::FolderFailed: words = u8"无法创建输出文件夹"; break;
    case ConvertStatus::WriteFailed: words = u8"无法写入输出文件"; break;
    case ConvertStatus::SourceNotRemoved: words = u8"已转换，但旧文件名未能删除"; break;
    case ConvertStatus::TooLarge: words = u8"文件太大"; break;
    case ConvertStatus::NotText: words = u8"不是文本（含零字符），不覆盖原文件"; break;
    case ConvertStatus::NameTaken: words = u8"输出文件名已被另一个文件占用"; break;
    case ConvertStatus::SourceChanged: words = u8"转换期间文件被改动，未覆盖"; break;
    case ConvertStatus::GzipTruncated: words = u8"gzip 数据不完整，未写入"; break;
    case ConvertStatus::GzipCorrupt: words = u8"gzip 数据损坏，未写入"; break;
    case ConvertStatus::GzipTrailingData: words = u8"gzip 数据后有多余内容，未写入"; break;
    case ConvertStatus::GzipTooLarge: words = u8"gzip 解压后过大，未写入"; break;
    case ConvertStatus::NotRegularFile: words = u8"不是普通文件"; break;
    case ConvertStatus::InvalidName: words = u8"文件名无法表示为路径"; break;
    case ConvertStatus::Duplicate: words = u8"本次已转换过，跳过"; break;
    case ConvertStatus::NotExact: words = u8"未转换：文件不是有效的所读编码，不覆盖原文件"; break;
    case ConvertStatus::CannotHold: words = u8"未转换：输出编码容不下所有字符，不覆盖原文件"; break;
    case ConvertStatus::ConvertedWithLosses: words = dryRun ? u8"将转换（有损失）" : u8"已转换（有损失）"; break;
  }
  return FromUtf8(words);
}

std::string EncodingWords(EncodingChoice encoding) {
  switch (encoding) {
    case EncodingChoice::Auto: return std::string();
    case EncodingChoice::Ansi: return "ANSI (GBK)";
    case EncodingChoice::Utf8: return "UTF-8";
    case EncodingChoice::Utf16Le: return "UTF-16LE";
    case EncodingChoice::Utf16Be: return "UTF-16BE";
    case EncodingChoice::Big5: return "Big5";
    case EncodingChoice::Big5Hkscs: return "Big5-HKSCS";
  }
  return std::string();
}

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
    return FromUtf8(cause ? cause : StatusReason(status));
  }
  if (status == ConvertStatus::ConvertedWithLosses || status == ConvertStatus::NotExact ||
      status == ConvertStatus::CannotHold) {
    std::string lost = LossWords(result);
    if (!lost.empty()) return lost;
    if (status == ConvertStatus::NotExact) return FromUtf8(u8"有字节不是所读编码的有效字符");
    if (status == ConvertStatus::CannotHold) return FromUtf8(u8"有字符输出编码无法表示");
  }
  if (const char* reason = StatusReason(status)) return FromUtf8(reason);
  return HowReadWords(result.reason);
}

std::vector<std::string> ResultHeadings() {
  std::vector<std::string> headings;
  for (const char* heading : {u8"文件名", u8"所在文件夹", u8"结果", u8"读作", u8"原因", u8"输出到"}) {
    headings.push_back(FromUtf8(heading));
  }
  return headings;
}

std::vector<std::string> ResultRow(const FileResult& result, bool dryRun) {
  // The name first: a long folder would hide it.
  const text::PathParts parts = text::SplitAtLastBackslash(result.source);
  return {parts.hasBackslash ? parts.name : result.source,
          parts.hasBackslash ? parts.folder : std::string(),
          StatusWords(result.status, dryRun),
          EncodingWords(result.readAs),
          ReasonWords(result),
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
