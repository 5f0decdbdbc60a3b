// chengwen-cli convert: one ConvertFile call with the options given on the command line.
#include <string>

#include "cli/cli_util.h"
#include "cli/command.h"
#include "cli/console.h"
#include "cli/option_parsing.h"
#include "convert/convert_file.h"
#include "convert/safe_write.h"

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
    Err("chengwen-cli convert: " + error + "\nusage: chengwen-cli " + kUsage + "\n");
    return 2;
  }
  if (paths.empty() || paths.size() > 2 || (paths.size() == 1 && !options.overwriteOriginal)) {
    Err(std::string("usage: chengwen-cli ") + kUsage + "\n(OUT may be left out only with --overwrite)\n");
    return 2;
  }
  const std::string source = PathFromArg(paths[0]);
  std::string output = paths.size() == 2 ? PathFromArg(paths[1]) : source;
  ConvertReport report;
  const ConvertStatus status = ConvertFile(source, output, options, &report);
  FlushReplacedFolders();
  // A file already as it would be written is left alone: no failure either.
  if (status != ConvertStatus::Converted && status != ConvertStatus::Unchanged) {
    Err("chengwen-cli convert: " + paths[0] + ": " + ConvertStatusText(status, report) + "\n");
    // Converted with losses is written all the same: said, but not a failure.
    if (status != ConvertStatus::ConvertedWithLosses) return 1;
  }
  if (!report.uncertain.empty()) {
    Err("chengwen-cli convert: " + paths[0] + ": uncertain (" + report.uncertain + "): read the likelier way\n");
  }
  // What became of a web file's declaration, said beside the output's path.
  for (const std::string* more : {&report.declaration, &report.declarationWarning}) {
    if (!more->empty()) Err("chengwen-cli convert: " + paths[0] + ": " + TextForDisplay(*more) + "\n");
  }
  Out(PathForDisplay(output) + "\n");
  return 0;
}

}  // namespace

CW_CLI_COMMAND(convert, "convert", kUsage, RunConvert);

}  // namespace cw::cli
