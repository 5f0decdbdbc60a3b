// Command-line names of the conversion options.
#include "cli/option_parsing.h"

#include <cstring>
#include <iterator>
#include <optional>
#include <string_view>

#include "batch/choices.h"

namespace cw::cli {
namespace {

// The words come from the choices' own tables.
template <typename Value>
bool Take(std::optional<Value> (*fromWord)(std::string_view), const std::string& word, Value* out) {
  const std::optional<Value> value = fromWord(word);
  if (value) *out = *value;
  return value.has_value();
}

bool ParseEncoding(const std::string& value, EncodingChoice* out) { return Take(&batch::EncodingFromWord, value, out); }
bool ParseScript(const std::string& value, ScriptConversion* out) { return Take(&batch::ScriptFromWord, value, out); }
bool ParseEol(const std::string& value, LineEndingChoice* out) { return Take(&batch::LineEndingFromWord, value, out); }

}  // namespace

namespace {

// Takes one flag at args[*i] (moving *i past its value); false with a message for a flag
// it does not know or a value it does not take.
bool TakeFlag(const Args& args, size_t* i, ConversionOptions* options, std::string* error,
              const std::vector<ExtraFlag>& extra) {
  const std::string& arg = args[*i];
  auto value = [&](std::string* out) {
    if (*i + 1 >= args.size()) {
      *error = arg + " needs a value";
      return false;
    }
    *out = args[++*i];
    return true;
  };
  std::string v;
  if (arg == "--in" || arg == "--out") {
    if (!value(&v)) return false;
    if (ParseEncoding(v, arg == "--in" ? &options->inputEncoding : &options->outputEncoding)) return true;
    *error = "unknown encoding '" + v + "'";
    return false;
  }
  if (arg == "--script") {
    if (!value(&v)) return false;
    if (ParseScript(v, &options->scriptConversion)) return true;
    *error = "unknown script conversion '" + v + "'";
    return false;
  }
  if (arg == "--eol") {
    if (!value(&v)) return false;
    if (ParseEol(v, &options->lineEndings)) return true;
    *error = "unknown line ending '" + v + "'";
    return false;
  }
  bool* const switches[] = {&options->withoutBom, &options->convertFileName, &options->overwriteOriginal,
                            &options->keepDeclarations};
  const char* const switchNames[] = {"--no-bom", "--rename", "--overwrite", "--keep-declarations"};
  for (size_t k = 0; k < std::size(switches); ++k) {
    if (arg == switchNames[k]) return *switches[k] = true;
  }
  bool known = false;
  for (const ExtraFlag& flag : extra) {
    if (arg != flag.name) continue;
    known = true;
    if (!flag.takesValue) {
      *flag.value = "1";
    } else if (!value(flag.value)) {
      return false;
    }
  }
  if (!known) *error = "unknown option " + arg;
  return known;
}

}  // namespace

bool ParseConversionOptions(const Args& args, ConversionOptions* options, std::vector<std::string>* positional,
                            std::string* error, const std::vector<ExtraFlag>& extra) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--") {
      positional->insert(positional->end(), args.begin() + static_cast<long>(i) + 1, args.end());
      return true;
    }
    if (arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
      positional->push_back(arg);
    } else if (!TakeFlag(args, &i, options, error, extra)) {
      return false;
    }
  }
  return true;
}

bool ParseJobCount(const std::string& value, int* jobs, std::string* error) {
  constexpr int kMostJobs = 256;
  int number = 0;
  for (char c : value) {
    if (c < '0' || c > '9' || number > kMostJobs) {
      number = 0;
      break;
    }
    number = number * 10 + (c - '0');
  }
  if (number < 1 || number > kMostJobs) {
    *error = "--jobs needs a number from 1 to " + std::to_string(kMostJobs) + ", not '" + value + "'";
    return false;
  }
  *jobs = number;
  return true;
}

}  // namespace cw::cli
