// chengwen-cli detect: the encoding each file would be read as with automatic input.
#include <cstdio>

#include "cli/cli_util.h"
#include "cli/command.h"
#include "convert/reading.h"

namespace cw::cli {
namespace {

int RunDetect(const Args& args) {
  if (args.empty()) {
    std::fprintf(stderr, "usage: chengwen-cli detect FILE...\n");
    return 2;
  }
  int status = 0;
  for (const std::string& arg : args) {
    const DecodedText decoded = LoadDecodedText(PathFromArg(arg), EncodingChoice::Auto);
    if (decoded.status != ReadStatus::Ok) {
      std::fprintf(stderr, "chengwen-cli: cannot read %s: %s\n", arg.c_str(), ReadStatusName(decoded.status));
      status = 1;
      continue;
    }
    std::printf("%s\t%s\n", EncodingChoiceName(decoded.detected), arg.c_str());
  }
  return status;
}

}  // namespace

CW_CLI_COMMAND(detect, "detect", "detect FILE...  (detected encoding, a tab, the path)", RunDetect);

}  // namespace cw::cli
