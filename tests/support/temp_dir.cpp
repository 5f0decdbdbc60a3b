// Temporary folders and raw file access for tests.
#include "support/temp_dir.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <system_error>

#include "encoding/charset.h"

namespace cw::test {
namespace fs = std::filesystem;

fs::path ToFsPath(const std::string& path) {
#ifdef _WIN32
  return fs::path(WorkingToWide(path));
#else
  std::string utf8 = ToUtf8(path);
  if (utf8.size() >= 2 && (utf8[0] == 'Z' || utf8[0] == 'z') && utf8[1] == ':') utf8.erase(0, 2);
  for (char& c : utf8) {
    if (c == '\\') c = '/';
  }
  return fs::path(utf8);
#endif
}

static std::string FromFsPath(const fs::path& path) {
#ifdef _WIN32
  return WideToWorking(path.wstring());
#else
  std::string working = FromUtf8(path.string());
  for (char& c : working) {
    if (c == '/') c = '\\';
  }
  return "Z:" + working;
#endif
}

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  std::error_code ec;
  fs::path base = fs::temp_directory_path(ec);
  if (ec) base = fs::current_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::ostringstream name;
    name << "cw-test-" << stamp << "-" << counter++;
    fs::path candidate = base / name.str();
    if (fs::create_directory(candidate, ec)) {
      path_ = FromFsPath(fs::canonical(candidate));
      return;
    }
  }
}

TempDir::~TempDir() {
  if (path_.empty()) return;
  std::error_code ec;
  // Read-only files left by a test must not keep the folder alive.
  for (auto it = fs::recursive_directory_iterator(ToFsPath(path_), ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::remove_all(ToFsPath(path_), ec);
}

std::string TempDir::Join(std::string_view relative) const { return path_ + "\\" + std::string(relative); }

void WriteFileBytes(const std::string& path, std::string_view bytes) {
  const fs::path p = ToFsPath(path);
  std::error_code ec;
  if (p.has_parent_path()) fs::create_directories(p.parent_path(), ec);
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(ToFsPath(path), std::ios::binary);
  if (!in) return {};
  std::ostringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

bool PathExists(const std::string& path) {
  std::error_code ec;
  return fs::exists(ToFsPath(path), ec);
}

std::string W(std::string_view utf8) { return FromUtf8(utf8); }

}  // namespace cw::test
