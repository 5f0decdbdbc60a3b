// Path tests shared by the listing and the placement of output files (working-code-page
// paths with backslashes, searched character by character).
#pragma once

#include <string>

namespace cw::batch {

// Ends in a backslash of its own, not in the second byte of a two-byte character.
bool EndsWithBackslash(const std::string& path);
// "D:" alone, which Windows would read as the current folder of that drive.
bool IsBareDrive(const std::string& path);
// Whether `path` lies inside the folder `root`, byte for byte as both were given.
bool LiesUnder(const std::string& path, const std::string& root);

}  // namespace cw::batch
