// The words of the result list (a status's words are in its row of convert/status).
#include "batch/file_results.h"

#include "batch/choices.h"
#include "encoding/charset.h"

namespace cw::batch {

std::string StatusWords(ConvertStatus status, bool dryRun) { return ConvertStatusWords(status, dryRun); }

std::string EncodingWords(EncodingChoice encoding) { return RowOf(encoding).words; }

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
