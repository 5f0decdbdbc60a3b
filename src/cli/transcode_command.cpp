// chengwen-cli transcode FROM TO: converts standard input to standard output.
#include <cstdio>
#include <cstring>
#include <memory>
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

// All of a stream, in one block of the stream's size when it has one (a redirected file)
// and in growing blocks otherwise (a pipe). The block is not zero-filled first: large
// inputs are what this command is timed on.
struct Input {
  std::unique_ptr<char[]> data;
  std::size_t size = 0;
};

bool ReadAll(std::FILE* in, Input* input) {
  std::size_t capacity = 1 << 20;
  if (std::fseek(in, 0, SEEK_END) == 0) {
    const long end = std::ftell(in);
    if (end > 0 && std::fseek(in, 0, SEEK_SET) == 0) capacity = static_cast<std::size_t>(end) + 1;
  }
  input->data.reset(new char[capacity]);
  for (;;) {
    input->size += std::fread(input->data.get() + input->size, 1, capacity - input->size, in);
    if (input->size < capacity) break;
    std::unique_ptr<char[]> bigger(new char[capacity * 2]);
    std::memcpy(bigger.get(), input->data.get(), input->size);
    input->data = std::move(bigger);
    capacity *= 2;
  }
  return !std::ferror(in);
}

int RunTranscode(const Args& args) {
  if (args.size() != 2) {
    std::fprintf(stderr, "usage: chengwen-cli transcode FROM TO  (stdin to stdout)\n");
    return 2;
  }
  UseBinaryStreams();
  Input input;
  if (!ReadAll(stdin, &input)) {
    std::fprintf(stderr, "chengwen-cli: cannot read standard input\n");
    return 1;
  }
  const std::string output = Transcode(std::string_view(input.data.get(), input.size), args[0], args[1]);
  if (output.empty() && input.size != 0) {
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
