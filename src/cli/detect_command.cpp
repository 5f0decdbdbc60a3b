// chengwen-cli detect: the encoding each file would be read as with automatic input.
#include <cstdio>
#include <string>

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
    // How it was decided, and whether the decoding was exact.
    std::string how = decoded.howDecided;
    if (decoded.undecodable != 0) how += "; " + std::to_string(decoded.undecodable) + " undecodable";
    std::printf("%s\t%s\t%s\n", EncodingChoiceName(decoded.detected), arg.c_str(), how.c_str());
  }
  return status;
}

}  // namespace

CW_CLI_COMMAND(detect, "detect", "detect FILE...  (detected encoding, the path and how it was decided, tab-separated)",
               RunDetect);

}  // namespace cw::cli
