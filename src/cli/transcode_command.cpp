// chengwen-cli transcode FROM TO: converts standard input to standard output.
#include <cstdio>
#include <string>

#include "cli/command.h"
#include "encoding/charset.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace cw::cli {
namespace {

#ifdef _WIN32
void UseBinaryStreams() {
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
}
#else
void UseBinaryStreams() {}
#endif

bool ReadAll(std::FILE* in, std::string* bytes) {
  std::size_t size = 0;
  bytes->resize(1 << 20);
  for (;;) {
    size += std::fread(&(*bytes)[size], 1, bytes->size() - size, in);
    if (size < bytes->size()) break;
    bytes->resize(bytes->size() * 2);
  }
  bytes->resize(size);
  return !std::ferror(in);
}

int RunTranscode(const Args& args) {
  if (args.size() != 2) {
    std::fprintf(stderr, "usage: chengwen-cli transcode FROM TO  (stdin to stdout)\n");
    return 2;
  }
  UseBinaryStreams();
  std::string input;
  if (!ReadAll(stdin, &input)) {
    std::fprintf(stderr, "chengwen-cli: cannot read standard input\n");
    return 1;
  }
  const std::string output = Transcode(input, args[0], args[1]);
  if (output.empty() && !input.empty()) {
    if (CharsetFromName(args[0]) == Charset::Unknown || CharsetFromName(args[1]) == Charset::Unknown) {
      std::fprintf(stderr, "chengwen-cli: unknown charset (use GB18030, BIG5, BIG5-HKSCS, UTF-8, UTF-16LE or UTF-16BE)\n");
    } else {
      std::fprintf(stderr, "chengwen-cli: nothing could be converted (the text is empty up to its first zero character)\n");
    }
    return 1;
  }
  if (std::fwrite(output.data(), 1, output.size(), stdout) != output.size() || std::fflush(stdout) != 0) {
    std::fprintf(stderr, "chengwen-cli: cannot write standard output\n");
    return 1;
  }
  return 0;
}

}  // namespace

CW_CLI_COMMAND(transcode, "transcode", "transcode FROM TO  (stdin to stdout)", RunTranscode);

}  // namespace cw::cli
