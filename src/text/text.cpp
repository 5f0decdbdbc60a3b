// Double-byte-aware searching and splitting of working-code-page texts.
#include "text/text.h"

#include <cstdint>
#include <cstring>

#include "encoding/ascii.h"

namespace cw::text {
namespace {

inline char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

template <bool kNoCase>
bool MatchesAt(std::string_view text, std::string_view what, size_t pos) {
  if constexpr (!kNoCase) {
    return std::memcmp(text.data() + pos, what.data(), what.size()) == 0;
  } else {
    // Only single-byte characters are folded; a two-byte character must match exactly,
    // or "\xC1\x41" would match "\xC1\x61", another character.
    size_t k = 0;
    while (k < what.size()) {
      if (static_cast<unsigned char>(what[k]) >= 0x80 && k + 1 < what.size()) {
        if (text[pos + k] != what[k] || text[pos + k + 1] != what[k + 1]) return false;
        k += 2;
      } else {
        if (LowerAscii(text[pos + k]) != LowerAscii(what[k])) return false;
        k += 1;
      }
    }
    return true;
  }
}

// The next position at or after `pos` that holds the first byte of the needle (either
// case of it when folding): memchr, once per case, remembering what it found so a
// rare case is not searched for again and again.
class CandidateFinder {
 public:
  CandidateFinder(std::string_view text, char first, bool fold, size_t last) : text_(text), last_(last) {
    const char lower = LowerAscii(first);
    const char upper = (lower >= 'a' && lower <= 'z') ? static_cast<char>(lower - 'a' + 'A') : lower;
    bytes_[0] = fold ? lower : first;
    bytes_[1] = fold ? upper : first;
    count_ = bytes_[0] == bytes_[1] ? 1 : 2;
  }
  size_t Next(size_t pos) {
    size_t best = npos;
    for (int i = 0; i < count_; ++i) {
      if (found_[i] == npos || found_[i] < pos) {
        const void* hit = pos <= last_ ? std::memchr(text_.data() + pos, bytes_[i], last_ - pos + 1) : nullptr;
        found_[i] = hit ? static_cast<size_t>(static_cast<const char*>(hit) - text_.data()) : kNone;
      }
      if (found_[i] != kNone && found_[i] < best) best = found_[i];
    }
    return best;
  }

 private:
  static constexpr size_t kNone = npos - 1;
  std::string_view text_;
  size_t last_;
  char bytes_[2];
  int count_;
  size_t found_[2] = {npos, npos};
};

template <bool kNoCase>
size_t FindImpl(std::string_view text, std::string_view what, size_t from) {
  if (from > text.size()) return npos;
  if (what.empty()) return from;
  if (what.size() > text.size()) return npos;
  const size_t last = text.size() - what.size();
  // Candidates come from memchr on the first byte; a candidate counts only when it lies
  // on a character boundary, found by walking from the last known boundary.
  CandidateFinder finder(text, what[0], kNoCase, last);
  size_t boundary = from;
  size_t pos = from;
  while (pos <= last) {
    const size_t candidate = finder.Next(pos);
    if (candidate == npos) return npos;
    while (boundary < candidate) {
      if (boundary + 8 <= candidate && AllAscii8(text.data() + boundary)) {
        boundary += 8 + AsciiRun(text.data() + boundary + 8, text.data() + candidate);
      } else {
        boundary += CharLength(text, boundary);
      }
    }
    if (boundary == candidate) {
      if (MatchesAt<kNoCase>(text, what, candidate)) return candidate;
      boundary += CharLength(text, boundary);
    }
    pos = boundary;
  }
  return npos;
}

template <bool kNoCase>
size_t FindLastImpl(std::string_view text, std::string_view what) {
  size_t found = npos;
  size_t pos = 0;
  while ((pos = FindImpl<kNoCase>(text, what, pos)) != npos) {
    found = pos;
    if (pos >= text.size()) break;
    pos += CharLength(text, pos);
  }
  return found;
}

}  // namespace

std::string FromBytes(std::string_view bytes) {
  const void* zero = std::memchr(bytes.data(), 0, bytes.size());
  if (!zero) return std::string(bytes);
  return std::string(bytes.data(), static_cast<const char*>(zero) - bytes.data());
}

size_t Find(std::string_view text, std::string_view what, size_t from) { return FindImpl<false>(text, what, from); }

size_t FindNoCase(std::string_view text, std::string_view what, size_t from) {
  return FindImpl<true>(text, what, from);
}

size_t FindLast(std::string_view text, std::string_view what) { return FindLastImpl<false>(text, what); }

size_t FindLastNoCase(std::string_view text, std::string_view what) { return FindLastImpl<true>(text, what); }

std::string ReplaceAll(std::string_view text, std::string_view what, std::string_view with) {
  if (what.empty()) return std::string(text);
  std::string out;
  out.reserve(text.size());
  size_t pos = 0;
  for (;;) {
    const size_t hit = Find(text, what, pos);
    if (hit == npos) break;
    out.append(text.data() + pos, hit - pos);
    out.append(with);
    pos = hit + what.size();
  }
  out.append(text.data() + pos, text.size() - pos);
  return out;
}

std::vector<std::string> Split(std::string_view text, std::string_view delimiter) {
  std::vector<std::string> pieces;
  if (delimiter.empty()) {
    pieces.emplace_back(text);
    return pieces;
  }
  size_t pos = 0;
  for (;;) {
    const size_t hit = Find(text, delimiter, pos);
    if (hit == npos) break;
    pieces.emplace_back(text.substr(pos, hit - pos));
    pos = hit + delimiter.size();
  }
  pieces.emplace_back(text.substr(pos));
  return pieces;
}

std::string TrimBlanks(std::string_view text) {
  size_t begin = 0;
  for (;;) {
    if (begin < text.size() && text[begin] == ' ') {
      begin += 1;
    } else if (begin + 1 < text.size() && static_cast<unsigned char>(text[begin]) == 0xA1 &&
               static_cast<unsigned char>(text[begin + 1]) == 0xA1) {
      begin += 2;
    } else {
      break;
    }
  }
  // From the end, a blank only counts when it is a whole character: walk the
  // characters once and remember where the trailing run of blanks starts.
  size_t end = begin;
  size_t pos = begin;
  while (pos < text.size()) {
    const size_t len = CharLength(text, pos);
    const bool blank = (len == 1 && text[pos] == ' ') || (len == 2 && static_cast<unsigned char>(text[pos]) == 0xA1 &&
                                                          static_cast<unsigned char>(text[pos + 1]) == 0xA1);
    pos += len;
    if (!blank) end = pos;
  }
  return std::string(text.substr(begin, end - begin));
}

std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (size_t pos = 0; pos < out.size(); pos += CharLength(out, pos)) out[pos] = LowerAscii(out[pos]);
  return out;
}

PathParts SplitAtLastBackslash(std::string_view path) {
  PathParts parts;
  const size_t slash = FindLast(path, "\\");
  if (slash == npos) {
    parts.name = std::string(path);
    return parts;
  }
  parts.hasBackslash = true;
  parts.folder = std::string(path.substr(0, slash));
  parts.name = std::string(path.substr(slash + 1));
  return parts;
}

}  // namespace cw::text
