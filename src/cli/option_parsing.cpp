// Command-line names of the conversion options.
#include "cli/option_parsing.h"

#include <cstring>
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
      continue;
    }
    auto value = [&](std::string* out) {
      if (i + 1 >= args.size()) {
        *error = arg + " needs a value";
        return false;
      }
      *out = args[++i];
      return true;
    };
    std::string v;
    if (arg == "--in" || arg == "--out") {
      if (!value(&v)) return false;
      if (!ParseEncoding(v, arg == "--in" ? &options->inputEncoding : &options->outputEncoding)) {
        *error = "unknown encoding '" + v + "'";
        return false;
      }
    } else if (arg == "--script") {
      if (!value(&v)) return false;
      if (!ParseScript(v, &options->scriptConversion)) {
        *error = "unknown script conversion '" + v + "'";
        return false;
      }
    } else if (arg == "--eol") {
      if (!value(&v)) return false;
      if (!ParseEol(v, &options->lineEndings)) {
        *error = "unknown line ending '" + v + "'";
        return false;
      }
    } else if (arg == "--no-bom") {
      options->withoutBom = true;
    } else if (arg == "--rename") {
      options->convertFileName = true;
    } else if (arg == "--overwrite") {
      options->overwriteOriginal = true;
    } else {
      bool known = false;
      for (const ExtraFlag& flag : extra) {
        if (arg == flag.name) {
          known = true;
          if (flag.takesValue) {
            if (!value(flag.value)) return false;
          } else {
            *flag.value = "1";
          }
        }
      }
      if (!known) {
        *error = "unknown option " + arg;
        return false;
      }
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
