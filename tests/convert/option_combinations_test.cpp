// Options that were right alone and wrong together: each fault seen from outside as a
// row. The script is mapped on decoded text and the Big5 options are a script
// conversion plus an encoding default, so none of these writes text that no allowed
// encoding reads back.
#include <gtest/gtest.h>

#include <string>

#include "convert/convert_file.h"
#include "convert/script_conversion.h"
#include "encoding/charset.h"
#include "support/temp_dir.h"

namespace cw {
namespace {

using test::W;

std::string Encode(const std::string& working, Charset charset) { return Transcode(working, kWorkingCharset, charset); }

TEST(OptionCombinations, EveryFaultSeenFromOutsideIsARow) {
  test::TempDir dir;
  const std::string simplified = W(u8"简体中文测试，这个问题很重要。");
  const std::string traditional = W(u8"乾隆年間，幹部們在這裡開會，討論了很多問題，大家都很滿意。");
  const std::string big5Text = Encode(traditional, Charset::Big5);
  const std::string bom8 = "\xEF\xBB\xBF";
  const struct {
    const char* what;
    std::string bytes;
    ScriptConversion script;
    EncodingChoice output;
    ConvertStatus status;
    std::string written;
  } rows[] = {
      {"简体到Big5 into UTF-8", simplified, ScriptConversion::SimplifiedToBig5, EncodingChoice::Utf8,
       ConvertStatus::Converted, bom8 + ToUtf8(ToBig5Forms(ToTraditional(simplified)))},
      {"简体到Big5 with output 自动 is Big5", simplified, ScriptConversion::SimplifiedToBig5, EncodingChoice::Auto,
       ConvertStatus::Converted, Encode(ToBig5Forms(ToTraditional(simplified)), Charset::Big5)},
      {"简体到Big5 with ANSI is Big5", simplified, ScriptConversion::SimplifiedToBig5, EncodingChoice::Ansi,
       ConvertStatus::Converted, Encode(ToBig5Forms(ToTraditional(simplified)), Charset::Big5)},
      {"繁体到Big5 into UTF-16LE", traditional, ScriptConversion::TraditionalToBig5, EncodingChoice::Utf16Le,
       ConvertStatus::Converted, "\xFF\xFE" + Encode(ToBig5Forms(traditional), Charset::Utf16Le)},
      {"Big5到简体 on a Big5 file read with 自动", big5Text, ScriptConversion::Big5ToSimplified, EncodingChoice::Auto,
       ConvertStatus::Converted, ToSimplified(traditional)},
      {"Big5到繁体 on a Big5 file read with 自动", big5Text, ScriptConversion::Big5ToTraditional, EncodingChoice::Auto,
       ConvertStatus::Converted, traditional},
      {"Big5到简体 on a UTF-8 file is taken as decoded", bom8 + ToUtf8(traditional), ScriptConversion::Big5ToSimplified,
       EncodingChoice::Utf8, ConvertStatus::Converted, bom8 + ToUtf8(ToSimplified(traditional))},
      {"繁体到简体 on a Big5 file, output 自动: ANSI holds it", big5Text, ScriptConversion::TraditionalToSimplified,
       EncodingChoice::Auto, ConvertStatus::Converted, ToSimplified(traditional)},
      {"a 00 byte in GBK text is no text", simplified + std::string("\0", 1) + simplified, ScriptConversion::None,
       EncodingChoice::Utf8, ConvertStatus::NotText, ""},
      {"a file of only a UTF-8 mark is an empty text", bom8, ScriptConversion::None, EncodingChoice::Auto,
       ConvertStatus::Converted, ""},
      {"a file of only a UTF-16 mark is an empty text", "\xFF\xFE", ScriptConversion::None, EncodingChoice::Ansi,
       ConvertStatus::Converted, ""},
  };
  int n = 0;
  for (const auto& row : rows) {
    const std::string source = dir.Join("in" + std::to_string(n) + ".txt");
    test::WriteFileBytes(source, row.bytes);
    std::string output = dir.Join("out\\" + std::to_string(n++) + ".txt");
    ConversionOptions options;
    options.scriptConversion = row.script;
    options.outputEncoding = row.output;
    ConvertReport report;
    EXPECT_EQ(ConvertFile(source, output, options, &report), row.status) << row.what;
    EXPECT_FALSE(report.losses.Any()) << row.what;
    if (row.status == ConvertStatus::Converted) {
      EXPECT_TRUE(test::ReadFileBytes(output) == row.written) << row.what;
    } else {
      EXPECT_FALSE(test::PathExists(output)) << row.what;
    }
  }
}

}  // namespace
}  // namespace cw
