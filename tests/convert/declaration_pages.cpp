// declaration_pages LIST: converts real pages as a conversion does (read and decode,
// rewrite the declaration, encode), for tests/convert/check_declarations.py to read with
// a browser's and an XML parser's rules. Each line of LIST is
//   SOURCE <tab> OUTPUT <tab> CHARSET <tab> MARK (0/1) <tab> KEEP (0/1: leave the declaration)
// and for each the program prints OUTPUT <tab> old label <tab> new label <tab> losses <tab>
// warning <tab> whether the program's own reading (automatic) gives the text back (1/0).
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>

#include "convert/declaration.h"
#include "convert/reading.h"
#include "encoding/charset.h"

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

const char* WarningName(cw::DeclarationWarning warning) {
  switch (warning) {
    case cw::DeclarationWarning::PastPrescan: return "past-prescan";
    case cw::DeclarationWarning::Utf16WithoutMark: return "utf16-without-mark";
    case cw::DeclarationWarning::None: break;
  }
  return "-";
}

bool ConvertOne(const std::string& source, const std::string& output, cw::Charset charset, bool mark, bool keep) {
  std::string working = cw::DecodeBytes(ReadAll(source), cw::EncodingChoice::Auto).text;
  cw::DeclarationEdit edit;
  if (!keep) edit = cw::RewriteDeclaration(working, output, charset, mark);
  const cw::DeclarationWarning warning = cw::CheckDeclaration(working, edit, charset, mark);
  std::string bytes;
  size_t losses = 0;
  if (charset == cw::kWorkingCharset) {
    bytes = working;
  } else {
    cw::TranscodeLosses lost;
    bytes = std::string(mark ? cw::ByteOrderMark(charset) : "") +
            cw::Transcode(working, cw::kWorkingCharset, charset, &lost);
    losses = lost.unencodable + lost.undecodable;
  }
  const bool readsBack = cw::DecodeBytes(bytes, cw::EncodingChoice::Auto).text == working;
  std::ofstream out(output, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) return false;
  std::cout << output << '\t' << (edit.changed ? edit.oldLabel : "-") << '\t' << (edit.changed ? edit.newLabel : "-")
            << '\t' << losses << '\t' << WarningName(warning) << '\t' << (readsBack ? 1 : 0) << '\n';
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: declaration_pages LIST\n");
    return 2;
  }
  std::ifstream list(argv[1]);
  std::string line;
  int failed = 0;
  while (std::getline(list, line)) {
    std::istringstream fields(line);
    std::string source, output, charsetName;
    int mark = 0, keep = 0;
    if (!std::getline(fields, source, '\t') || !std::getline(fields, output, '\t') ||
        !std::getline(fields, charsetName, '\t') || !(fields >> mark >> keep)) {
      std::fprintf(stderr, "bad line: %s\n", line.c_str());
      return 2;
    }
    const cw::Charset charset = cw::CharsetFromName(charsetName);
    if (charset == cw::Charset::Unknown || !ConvertOne(source, output, charset, mark != 0, keep != 0)) {
      std::fprintf(stderr, "could not convert %s\n", source.c_str());
      ++failed;
    }
  }
  return failed == 0 ? 0 : 1;
}
