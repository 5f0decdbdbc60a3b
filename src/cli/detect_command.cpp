// chengwen-cli detect: the encoding each file would be read as with automatic input.
#include <string>

#include "cli/cli_util.h"
#include "cli/command.h"
#include "cli/console.h"
#include "convert/reading.h"

namespace cw::cli {
namespace {

int RunDetect(const Args& args) {
  if (args.empty()) {
    Err("usage: chengwen-cli detect FILE...\n");
    return 2;
  }
  int status = 0;
  for (const std::string& arg : args) {
    const DecodedText decoded = LoadDecodedText(PathFromArg(arg), EncodingChoice::Auto);
    if (decoded.status != ReadStatus::Ok) {
      Err("chengwen-cli: cannot read " + arg + ": " + ReadStatusName(decoded.status) + "\n");
      status = 1;
      continue;
    }
    // How it was decided, and whether the decoding was exact.
    std::string how = decoded.howDecided;
    if (decoded.undecodable != 0) how += "; " + std::to_string(decoded.undecodable) + " undecodable";
    std::string line = EncodingChoiceName(decoded.detected);
    line += "\t" + arg;
    line += "\t" + how;
    Out(line + "\n");
  }
  return status;
}

}  // namespace

CW_CLI_COMMAND(detect, "detect", "detect FILE...  (detected encoding, the path and how it was decided, tab-separated)",
               RunDetect);

}  // namespace cw::cli
