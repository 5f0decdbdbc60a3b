// Real temporary folders for tests, and raw file helpers that go straight to the
// standard library (not through the code under test).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace cw::test {

// A working-code-page path ("Z:\tmp\x" style on POSIX, "C:\...\x" on Windows) as the
// standard library sees it.
std::filesystem::path ToFsPath(const std::string& path);

// A fresh folder, removed with everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // Working-code-page path with backslashes and no trailing backslash.
  const std::string& Path() const { return path_; }
  // Path() + "\" + relative (relative may hold backslashes).
  std::string Join(std::string_view relative) const;

 private:
  std::string path_;
};

// Writes bytes to a file, creating missing folders on the way.
void WriteFileBytes(const std::string& path, std::string_view bytes);
// The file's bytes; empty when it cannot be read.
std::string ReadFileBytes(const std::string& path);
bool PathExists(const std::string& path);

// A UTF-8 literal in the working code page.
std::string W(std::string_view utf8);

}  // namespace cw::test
