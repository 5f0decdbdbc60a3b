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
