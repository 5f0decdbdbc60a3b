// chengwen-cli transcode FROM TO [IN [OUT]]: converts a file or standard input to a file
// or standard output, piece by piece, so that memory stays small whatever the input's size.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "cli/command.h"
#include "cli/console.h"
#include "encoding/charset.h"
#include "encoding/stream.h"

namespace cw::cli {
namespace {

// Input is read a piece of this size at a time; the pieces' results go out one by one
// from one reused buffer, which stays in the processor's cache.
constexpr std::size_t kPiece = 256u << 10;

struct Streams {
  std::FILE* in = stdin;
  std::FILE* out = stdout;
  ~Streams() {
    if (in && in != stdin) std::fclose(in);
    if (out && out != stdout) std::fclose(out);
  }
};

enum class Outcome { Done, ReadFailed, WriteFailed };

struct Totals {
  std::size_t read = 0;
  std::size_t written = 0;
};

// Converts everything `in` holds.
Outcome Pump(std::FILE* in, std::FILE* out, Charset from, Charset to, Totals* totals) {
  std::size_t capacity = kPiece;
  std::unique_ptr<char[]> buffer(new char[capacity]);
  std::size_t held = 0;  // bytes in the buffer, not yet converted
  std::string converted;
  bool atEnd = false;
  while (!atEnd) {
    if (held == capacity) {
      // No place to cut in a whole buffer (Big5 or GB text without a single ASCII
      // control or space): take more before converting.
      std::unique_ptr<char[]> bigger(new char[capacity * 2]);
      std::memcpy(bigger.get(), buffer.get(), held);
      buffer = std::move(bigger);
      capacity *= 2;
    }
    const std::size_t got = std::fread(buffer.get() + held, 1, capacity - held, in);
    held += got;
    totals->read += got;
    if (held < capacity) {
      if (std::ferror(in)) return Outcome::ReadFailed;
      atEnd = true;
    }
    const std::string_view bytes(buffer.get(), held);
    const std::size_t cut = atEnd ? held : CompletePrefix(bytes, from);
    if (cut == 0) continue;
    const std::string_view piece = bytes.substr(0, cut);
    converted.clear();
    if (!TranscodeAppend(piece, from, to, converted)) return Outcome::WriteFailed;
    if (std::fwrite(converted.data(), 1, converted.size(), out) != converted.size()) return Outcome::WriteFailed;
    totals->written += converted.size();
    // The text ends at its first zero character: nothing after it is converted.
    if (HoldsZeroCharacter(piece, from)) break;
    held -= cut;
    std::memmove(buffer.get(), buffer.get() + cut, held);
  }
  return std::fflush(out) == 0 ? Outcome::Done : Outcome::WriteFailed;
}

int RunTranscode(const Args& args) {
  if (args.size() < 2 || args.size() > 4) {
    Err("usage: chengwen-cli transcode FROM TO [IN [OUT]]  (standard input and output by default)\n");
    return 2;
  }
  const Charset from = CharsetFromName(args[0]);
  const Charset to = CharsetFromName(args[1]);
  if (from == Charset::Unknown || to == Charset::Unknown) {
    Err("chengwen-cli: unknown charset (use GB18030, BIG5, BIG5-HKSCS, UTF-8, UTF-16LE or UTF-16BE)\n");
    return 1;
  }
  Streams streams;
  // The streams are binary (PrepareConsole): the bytes pass as they are on every system.
  if (args.size() >= 3 && !(streams.in = OpenFileArg(args[2], "rb"))) {
    Err("chengwen-cli: cannot open " + args[2] + "\n");
    return 1;
  }
  if (args.size() == 4 && !(streams.out = OpenFileArg(args[3], "wb"))) {
    Err("chengwen-cli: cannot create " + args[3] + "\n");
    return 1;
  }
  Totals totals;
  switch (Pump(streams.in, streams.out, from, to, &totals)) {
    case Outcome::ReadFailed: Err("chengwen-cli: cannot read the input\n"); return 1;
    case Outcome::WriteFailed: Err("chengwen-cli: cannot write the output\n"); return 1;
    case Outcome::Done: break;
  }
  if (totals.written == 0 && totals.read != 0) {
    Err("chengwen-cli: nothing could be converted (the text is empty up to its first zero character)\n");
    return 1;
  }
  return 0;
}

}  // namespace

CW_CLI_COMMAND(transcode, "transcode", "transcode FROM TO [IN [OUT]]  (stdin to stdout by default)", RunTranscode);

}  // namespace cw::cli
