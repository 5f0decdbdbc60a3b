// Real-world CJK sample texts: the files that ship with Python's own test suite.
#pragma once

#include <string>

namespace cw::test {

// The bytes of one file of the corpus ("gbk.txt", "big5-utf8.txt", ...), or empty when
// the corpus is not on this machine. The folder comes from CW_CJKENCODINGS (set by
// scripts/test.sh) or, natively, from the python3 on the PATH.
std::string ReadCjkSample(const std::string& name);

// The bytes of a file named by its Linux path (under Wine reached through drive Z:),
// or empty when it cannot be read.
std::string ReadLinuxFile(const std::string& path);

}  // namespace cw::test
