// chengwen-cli convert: one ConvertFile call with the options given on the command line.
#include <cstdio>
#include <cstring>

#include "cli/cli_util.h"
#include "cli/command.h"
#include "cli/option_parsing.h"
#include "convert/convert_file.h"

namespace cw::cli {
namespace {

constexpr const char* kUsage =
    "convert [--in auto|ansi|utf8|utf16le|utf16be] [--out auto|ansi|utf8|utf16le|utf16be] "
    "[--script none|s2t|t2s|s2big5|t2big5|big52s|big52t] [--eol keep|win|unix|mac] [--no-bom] "
    "[--rename] [--overwrite] [--keep-declarations] SRC [OUT]";

int RunConvert(const Args& args) {
  ConversionOptions options;
  std::vector<std::string> paths;
  std::string error;
  if (!ParseConversionOptions(args, &options, &paths, &error, {})) {
    std::fprintf(stderr, "chengwen-cli convert: %s\nusage: chengwen-cli %s\n", error.c_str(), kUsage);
    return 2;
  }
  if (paths.empty() || paths.size() > 2 || (paths.size() == 1 && !options.overwriteOriginal)) {
    std::fprintf(stderr, "usage: chengwen-cli %s\n(OUT may be left out only with --overwrite)\n", kUsage);
    return 2;
  }
  const std::string source = PathFromArg(paths[0]);
  std::string output = paths.size() == 2 ? PathFromArg(paths[1]) : source;
  ConvertReport report;
  const ConvertStatus status = ConvertFile(source, output, options, &report);
  if (status != ConvertStatus::Converted) {
    std::fprintf(stderr, "chengwen-cli convert: %s: %s\n", paths[0].c_str(), ConvertStatusText(status, report).c_str());
    // Converted with losses is written all the same: said, but not a failure.
    if (status != ConvertStatus::ConvertedWithLosses) return 1;
  }
  if (!report.uncertain.empty()) {
    std::fprintf(stderr, "chengwen-cli convert: %s: uncertain (%s): read the likelier way\n", paths[0].c_str(),
                 report.uncertain.c_str());
  }
  // What became of a web file's declaration, said beside the output's path.
  for (const std::string* more : {&report.declaration, &report.declarationWarning}) {
    if (!more->empty())
      std::fprintf(stderr, "chengwen-cli convert: %s: %s\n", paths[0].c_str(), TextForDisplay(*more).c_str());
  }
  std::printf("%s\n", PathForDisplay(output).c_str());
  return 0;
}

}  // namespace

CW_CLI_COMMAND(convert, "convert", kUsage, RunConvert);

}  // namespace cw::cli
