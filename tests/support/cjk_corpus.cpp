// Locating Python's cjkencodings sample files.
#include "support/cjk_corpus.h"

#include <cstdio>
#include <cstdlib>

#include "support/temp_dir.h"

namespace cw::test {
namespace {

std::string CorpusFolder() {
  if (const char* env = std::getenv("CW_CJKENCODINGS")) return env;
#ifndef _WIN32
  FILE* pipe = popen("python3 -c \"import test,os;print(os.path.dirname(test.__file__))\" 2>/dev/null", "r");
  if (!pipe) return {};
  char buffer[512] = {};
  const bool got = std::fgets(buffer, sizeof(buffer), pipe) != nullptr;
  pclose(pipe);
  if (!got) return {};
  std::string folder(buffer);
  while (!folder.empty() && (folder.back() == '\n' || folder.back() == '\r')) folder.pop_back();
  return folder + "/cjkencodings";
#else
  return {};
#endif
}

}  // namespace

std::string ReadCjkSample(const std::string& name) {
  static const std::string folder = CorpusFolder();
  if (folder.empty()) return {};
  return ReadLinuxFile(folder + "/" + name);
}

std::string ReadLinuxFile(const std::string& path) {
  std::string windowsPath = "Z:" + path;
  for (char& c : windowsPath) {
    if (c == '/') c = '\\';
  }
  return ReadFileBytes(windowsPath);
}

}  // namespace cw::test
