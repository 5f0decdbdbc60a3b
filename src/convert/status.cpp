// The one table of the statuses' texts.
#include "convert/status.h"

#include <iterator>

#include "base/check.h"

namespace cw {
namespace {

struct StatusRow {
  ConvertStatus status;
  const char* name;         // English, for the command line
  const char* words;        // the result list (UTF-8 here, shown in the working code page)
  const char* dryRunWords;  // what a dry run says instead; null: the same words
  const char* reason;  // why, in the result list, where the status says it itself; null: the losses or the reading say
};

constexpr StatusRow kStatuses[] = {
    {ConvertStatus::Converted, "converted", u8"已转换", u8"将转换", nullptr},
    {ConvertStatus::Unreadable, "source unreadable", u8"无法读取", nullptr, u8"读取文件时出错"},
    {ConvertStatus::FolderFailed, "output folder could not be created", u8"无法创建输出文件夹", nullptr,
     u8"创建文件夹时出错"},
    {ConvertStatus::WriteFailed, "output could not be written", u8"无法写入输出文件", nullptr, u8"写入文件时出错"},
    {ConvertStatus::SourceNotRemoved, "old name could not be removed", u8"已转换，但旧文件名未能删除", nullptr,
     u8"删除旧文件名时出错，新旧两个文件都在"},
    {ConvertStatus::TooLarge, "file too large", u8"文件太大", nullptr, u8"文件太大，内存放不下"},
    {ConvertStatus::NotText, "holds zero bytes: not a text file; left as it is", u8"不是文本文件，未转换", nullptr,
     u8"含 00 字节，不是文本文件"},
    {ConvertStatus::NameTaken, "output name taken by another file of this run or folder",
     u8"输出文件名已被另一个文件占用", nullptr, u8"新文件名已被另一个文件使用"},
    {ConvertStatus::SourceChanged, "changed while converting; left as it is", u8"转换期间文件被改动，未覆盖", nullptr,
     u8"转换期间另一个程序改动了文件"},
    {ConvertStatus::GzipTruncated, "gzip data truncated; nothing written", u8"gzip 数据不完整，未写入", nullptr,
     u8"压缩数据不完整"},
    {ConvertStatus::GzipCorrupt, "gzip data corrupt; nothing written", u8"gzip 数据损坏，未写入", nullptr,
     u8"压缩数据已损坏"},
    {ConvertStatus::GzipTrailingData, "data after the gzip stream; nothing written", u8"gzip 数据后有多余内容，未写入",
     nullptr, u8"压缩数据后面还有别的内容"},
    {ConvertStatus::GzipTooLarge, "gzip data decompresses beyond the limit; nothing written",
     u8"gzip 解压后过大，未写入", nullptr, u8"解压后超过大小上限"},
    {ConvertStatus::NotRegularFile, "not a regular file", u8"不是普通文件", nullptr, u8"是管道或设备，不是普通文件"},
    {ConvertStatus::InvalidName, "name cannot be expressed as a path", u8"文件名无法表示为路径", nullptr,
     u8"文件名含有系统无法表示的字符"},
    {ConvertStatus::Duplicate, "already converted in this run", u8"本次已转换过，跳过", nullptr,
     u8"同一个文件在本次转换中出现了两次"},
    {ConvertStatus::NotExact, "not converted: the file is not valid in its charset",
     u8"未转换：文件不是有效的所读编码，不覆盖原文件", nullptr, nullptr},
    {ConvertStatus::CannotHold, "not converted: the output charset cannot hold every character",
     u8"未转换：输出编码容不下所有字符，不覆盖原文件", nullptr, nullptr},
    {ConvertStatus::ConvertedWithLosses, "converted with losses", u8"已转换（有损失）", u8"将转换（有损失）", nullptr},
    {ConvertStatus::Uncertain, "encoding uncertain; original left as it is", u8"未转换：编码不确定", nullptr, nullptr},
    {ConvertStatus::Unchanged, "unchanged: already as it would be written", u8"无需转换", nullptr,
     u8"转换结果与现有文件相同，未改写"},
    {ConvertStatus::FolderUnreadable, "folder could not be listed", u8"无法列出文件夹", nullptr,
     u8"读取文件夹时出错，其中的文件未转换"},
};

constexpr bool RowsFollowTheEnum() {
  for (int i = 0; i < kConvertStatusCount; ++i) {
    if (static_cast<int>(kStatuses[i].status) != i) return false;
  }
  return true;
}
static_assert(std::size(kStatuses) == kConvertStatusCount && RowsFollowTheEnum(),
              "every status has its row, in the order of the enum");

const StatusRow& RowOf(ConvertStatus status) {
  const int index = static_cast<int>(status);
  CW_CHECK(index >= 0 && index < kConvertStatusCount);
  return kStatuses[index >= 0 && index < kConvertStatusCount ? index : 0];
}

}  // namespace

const char* ConvertStatusName(ConvertStatus status) { return RowOf(status).name; }

std::string ConvertStatusWords(ConvertStatus status, bool dryRun) {
  const StatusRow& row = RowOf(status);
  return FromUtf8(dryRun && row.dryRunWords ? row.dryRunWords : row.words);
}

std::string ConvertStatusReason(ConvertStatus status) {
  const char* reason = RowOf(status).reason;
  return reason ? FromUtf8(reason) : std::string();
}

bool IsConverted(ConvertStatus status) {
  return status == ConvertStatus::Converted || status == ConvertStatus::ConvertedWithLosses;
}

std::string ConvertStatusText(ConvertStatus status, const ConvertReport& report) {
  const std::string& charset = report.lossCharset;
  switch (status) {
    case ConvertStatus::NotExact: return "not converted: the file is not valid " + charset;
    case ConvertStatus::CannotHold: return "not converted: " + charset + " cannot hold every character";
    case ConvertStatus::ConvertedWithLosses: {
      std::string text = "converted with losses:";
      if (report.losses.undecodable != 0) {
        text += " " + std::to_string(report.losses.undecodable) + " byte sequence(s) not valid " + charset;
      }
      if (report.losses.unencodable != 0) {
        text += " " + std::to_string(report.losses.unencodable) + " character(s) " + charset + " cannot hold";
      }
      return text;
    }
    case ConvertStatus::Uncertain:
      return "not converted: the encoding is uncertain (" + report.uncertain +
             "); original left as it is; choose the input encoding";
    default: return ConvertStatusName(status);
  }
}

}  // namespace cw
