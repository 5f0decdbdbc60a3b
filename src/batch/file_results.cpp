// The words of the result list. A new status needs one word here.
#include "batch/file_results.h"

#include "encoding/charset.h"

namespace cw::batch {

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

std::vector<std::string> ResultHeadings() {
  std::vector<std::string> headings;
  for (const char* heading : {u8"文件", u8"结果", u8"读作", u8"原因", u8"输出"}) headings.push_back(FromUtf8(heading));
  return headings;
}

std::vector<std::string> ResultRow(const FileResult& result, bool dryRun) {
  return {result.source, StatusWords(result.status, dryRun), EncodingWords(result.readAs), result.reason,
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
