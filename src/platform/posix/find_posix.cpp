// POSIX backend: listing a folder with a wildcard pattern the way FindFirstFileW does.
#include <dirent.h>
#include <fcntl.h>

#include <cerrno>
#include <memory>
#include <string_view>

#include "encoding/charset.h"
#include "platform/backend.h"
#include "platform/posix/posix_util.h"
#include "platform/posix/system_calls.h"
#include "text/text.h"

namespace cw::platform {
namespace {

constexpr size_t kNone = std::u16string_view::npos;

char16_t FoldAscii(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; }

// "*" matches any run, "?" one UTF-16 unit (as on Windows), everything else itself with
// ASCII letters in either case. Trailing dots and stars of the pattern may match
// nothing, so "*.*" and "name." also find names without a dot.
bool MatchesPattern(std::u16string_view pattern, std::u16string_view name) {
  size_t p = 0;
  size_t n = 0;
  size_t afterStar = kNone;  // pattern position after the last "*" seen
  size_t starName = 0;       // name position that "*" is currently made to end at
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == u'*') {
      afterStar = ++p;
      starName = n;
    } else if (p < pattern.size() && (pattern[p] == u'?' || FoldAscii(pattern[p]) == FoldAscii(name[n]))) {
      ++p;
      ++n;
    } else if (afterStar != kNone) {
      p = afterStar;  // let the last "*" take one more unit and try again
      n = ++starName;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && (pattern[p] == u'*' || pattern[p] == u'.')) ++p;
  return p == pattern.size();
}

bool IsShortNameCharacter(char16_t c) {
  if ((c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9')) return true;
  return std::u16string_view(u"!#$%&'()-@^_`{}~").find(c) != kNone;
}

// Windows gives a name that does not fit 8.3 a short name as well, and matches
// patterns against both, so "*.htm" also finds "page.html". This is the short name's
// first form: up to six characters before the last dot, "~1", and the extension cut
// to three characters. Empty when the name fits 8.3 and has none.
std::u16string ShortNameOf(std::u16string_view name) {
  const size_t dot = name.rfind(u'.');
  const bool hasExtension = dot != kNone && dot != 0;
  const std::u16string_view base = hasExtension ? name.substr(0, dot) : name;
  const std::u16string_view extension = hasExtension ? name.substr(dot + 1) : std::u16string_view();
  bool fits = !base.empty() && base.size() <= 8 && extension.size() <= 3;
  for (char16_t c : base) fits = fits && IsShortNameCharacter(c);
  for (char16_t c : extension) fits = fits && IsShortNameCharacter(c);
  if (fits) return {};
  std::u16string shortName;
  for (char16_t c : base) {
    if (shortName.size() == 6) break;
    if (c == u'.' || c == u' ') continue;
    shortName += IsShortNameCharacter(c) ? c : u'_';
  }
  shortName += u"~1";
  if (!extension.empty()) {
    shortName += u'.';
    shortName += extension.substr(0, 3);
  }
  return shortName;
}

// What a listing needs of an entry (folder, link, device) comes with its type where the
// file system gives one, as it does on Windows: only links and entries of unknown type
// are looked up, so a plain file's read-only bit is left to GetAttributes.
uint32_t AttributesOf(int dirFd, const dirent& entry) {
  switch (entry.d_type) {
    case DT_REG: return posix::kAttrNormal;
    case DT_DIR: return kAttrDirectory;
    case DT_FIFO:
    case DT_CHR:
    case DT_BLK:
    case DT_SOCK: return kAttrDevice;
    default: return posix::AttributesAt(dirFd, entry.d_name);
  }
}

// A mask of stars and dots that begins with a star takes every name: the star may take
// the whole name, and trailing stars and dots may match nothing ("*", "*.*", "*.").
bool MatchesEveryName(std::string_view mask) {
  return !mask.empty() && mask[0] == '*' && mask.find_first_not_of("*.") == std::string_view::npos;
}

// The working-code-page name of a system name, and whether it leads back to the entry: a
// name that is not UTF-8 would come back as another name (its bad bytes as U+FFFD), and
// a backslash inside one would read as a folder separator. ASCII names are themselves.
std::string WorkingName(const char* system, bool* representable) {
  const std::string_view utf8(system);
  *representable = utf8.find('\\') == std::string_view::npos;
  bool ascii = true;
  for (const char c : utf8) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (ascii) return std::string(utf8);
  std::string name = FromUtf8(utf8);
  std::string back;
  if (!PlainWorkingToUtf8(name, &back)) back = ToUtf8(name);
  *representable = *representable && back == utf8;
  return name;
}

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

}  // namespace

Status FindEntries(const std::string& pattern, std::vector<DirEntry>* entries) {
  entries->clear();
  const detail::CallScope scope(Operation::Find);
  if (!detail::IsRepresentablePath(pattern)) return detail::FailInvalidPath("opendir", pattern);
  const text::PathParts parts = text::SplitAtLastBackslash(pattern);
  std::string folder = ".";
  // With its backslash, so that "Z:\*" lists the root.
  if (parts.hasBackslash && !posix::ToNativePath(parts.folder + "\\", &folder)) {
    return detail::FailInvalidPath("opendir", pattern);
  }
  if (parts.name.empty()) return detail::LogFailure("opendir", pattern, Status::NotFound, ENOENT);
  if (parts.name.find_first_of("/:<>\"|") != std::string::npos) {
    return detail::FailInvalidPath("opendir", pattern);
  }
  const bool everyName = MatchesEveryName(parts.name);
  const std::u16string mask = WorkingToUtf16(parts.name);

  std::unique_ptr<DIR, DirCloser> dir(posix::Sys().opendir(folder.c_str()));
  if (!dir) return detail::Fail("opendir", pattern);
  const int dirFd = dirfd(dir.get());
  for (;;) {
    errno = 0;  // readdir tells its end from a failure only by errno
    const dirent* entry = posix::Sys().readdir(dir.get());
    if (entry == nullptr) break;
    bool representable = true;
    std::string name = WorkingName(entry->d_name, &representable);
    if (!everyName) {
      const std::u16string wide = WorkingToUtf16(name);
      if (!MatchesPattern(mask, wide)) {
        const std::u16string shortName = ShortNameOf(wide);
        if (shortName.empty() || !MatchesPattern(mask, shortName)) continue;
      }
    }
    const uint32_t attributes = AttributesOf(dirFd, *entry);
    if (attributes == kInvalidAttributes) continue;  // removed since readdir saw it
    entries->push_back({std::move(name), attributes, representable});
  }
  // As FindNextFileW: a listing cut short by anything but its end is reported, with
  // what it found so far.
  if (errno != 0) return detail::Fail("readdir", pattern);
  // A folder without a match was listed all the same: only a folder that could not be
  // listed is a failure.
  return Status::Ok;
}

}  // namespace cw::platform
