// Parsing of the conversion options shared by the convert and batch commands.
#pragma once

#include <string>
#include <vector>

#include "cli/command.h"
#include "convert/options.h"

namespace cw::cli {

// Flags a command accepts beyond the conversion options, with whether each takes a value.
struct ExtraFlag {
  const char* name;
  bool takesValue;
  std::string* value;  // receives the value, or "1" for a flag without one
};

// Fills the options from --in, --out, --script, --eol, --no-bom, --rename, --overwrite,
// --keep-declarations
// and the extra flags; everything else goes to `positional` in order. False with a
// message for an unknown flag or value.
bool ParseConversionOptions(const Args& args, ConversionOptions* options, std::vector<std::string>* positional,
                            std::string* error, const std::vector<ExtraFlag>& extra);

// A number of jobs: a whole number from 1 to 256. False with a message otherwise.
bool ParseJobCount(const std::string& value, int* jobs, std::string* error);

}  // namespace cw::cli
