// Real-world CJK sample texts: the files that ship with Python's own test suite.
#pragma once

#include <string>

namespace cw::test {

// The bytes of one file of the corpus ("gbk.txt", "big5-utf8.txt", ...), or empty when
// the corpus is not on this machine. The folder comes from CW_CJKENCODINGS (set by
// scripts/test.sh) or, natively, from the python3 on the PATH.
std::string ReadCjkSample(const std::string& name);

}  // namespace cw::test
