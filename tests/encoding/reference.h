// Independent references for the encoding tests: glibc's iconv(3), and Python's codecs
// when python3 is installed. Also the byte layouts of the multi-byte charsets.
#pragma once

#include <iconv.h>

#include <cstdio>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace cw::test {

inline std::string Utf8Of(char32_t c) {
  std::string s;
  if (c < 0x80) {
    s += static_cast<char>(c);
  } else if (c < 0x800) {
    s += static_cast<char>(0xC0 | c >> 6);
    s += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    s += static_cast<char>(0xE0 | c >> 12);
    s += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    s += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    s += static_cast<char>(0xF0 | c >> 18);
    s += static_cast<char>(0x80 | (c >> 12 & 0x3F));
    s += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    s += static_cast<char>(0x80 | (c & 0x3F));
  }
  return s;
}

inline std::string Hex(std::string_view bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string s;
  for (unsigned char b : bytes) {
    s += kDigits[b >> 4];
    s += kDigits[b & 15];
  }
  return s;
}

inline std::string Bytes(unsigned code) {
  std::string s;
  for (int shift = 24; shift >= 0; shift -= 8) {
    if ((code >> shift) != 0 || shift == 0) s += static_cast<char>(code >> shift & 0xFF);
  }
  return s;
}

// One converter from a charset to UTF-8, reset before every call.
class Iconv {
 public:
  explicit Iconv(const char* charset) : cd_(iconv_open("UTF-8", charset)) {}
  ~Iconv() {
    if (ok()) iconv_close(cd_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // The UTF-8 of the whole input, or nothing when iconv rejects any of it.
  std::optional<std::string> ToUtf8(std::string_view bytes) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    std::string in(bytes);
    char out[64];
    char* inPtr = in.data();
    size_t inLeft = in.size();
    char* outPtr = out;
    size_t outLeft = sizeof out;
    if (iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1) || inLeft != 0) {
      return std::nullopt;
    }
    if (iconv(cd_, nullptr, nullptr, &outPtr, &outLeft) == static_cast<size_t>(-1)) return std::nullopt;
    return std::string(out, static_cast<size_t>(outPtr - out));
  }

 private:
  iconv_t cd_;
};

// Every two-byte code of a layout, lead byte high: GB (trail 40..7E, 80..FE) or Big5
// (trail 40..7E, A1..FE).
inline bool GbTrail(unsigned trail) { return trail >= 0x40 && trail <= 0xFE && trail != 0x7F; }
inline bool Big5Trail(unsigned trail) { return (trail >= 0x40 && trail <= 0x7E) || (trail >= 0xA1 && trail <= 0xFE); }

template <class TrailOk>
std::vector<unsigned> TwoByteCodes(TrailOk trailOk) {
  std::vector<unsigned> codes;
  for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
    for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
      if (trailOk(trail)) codes.push_back(lead << 8 | trail);
    }
  }
  return codes;
}

// A list of codes written as hex words, "A1B2" or a range "C6A1-C7FC" (the codes of the
// range that `all` holds).
inline std::set<unsigned> ExpandCodes(const char* list, const std::vector<unsigned>& all) {
  std::set<unsigned> codes;
  std::istringstream in(list);
  std::string word;
  while (in >> word) {
    const size_t dash = word.find('-');
    const unsigned first = std::stoul(word.substr(0, dash), nullptr, 16);
    const unsigned last = dash == std::string::npos ? first : std::stoul(word.substr(dash + 1), nullptr, 16);
    for (unsigned code : all) {
      if (code >= first && code <= last) codes.insert(code);
    }
  }
  return codes;
}

// Output of a python3 one-off, or nothing when python3 is missing or fails.
inline std::optional<std::string> RunPython(const std::string& script) {
  std::string command = "python3 -c '" + script + "' 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return std::nullopt;
  std::string out;
  char buffer[65536];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  if (pclose(pipe) != 0 || out.empty()) return std::nullopt;
  return out;
}

}  // namespace cw::test
