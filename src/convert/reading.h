// Reading a source file: gzip input, encoding detection (byte-order mark, declared
// charset, UTF-8 scan, ANSI) and decoding into the working text.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "convert/gzip_input.h"
#include "convert/options.h"
#include "encoding/charset.h"
#include "platform/platform.h"

namespace cw {

enum class ReadStatus {
  Ok,
  NotFound,
  AccessDenied,  // no rights, or locked by another program
  TooLarge,      // more than the process can hold while converting
  Failed,        // any other failure of the file system
};
const char* ReadStatusName(ReadStatus status);

// How sure an automatic decision is. Marks, declarations the bytes bear out, the UTF-8
// scan and a choice of the user's are High; statistics are Low when two exact readings
// of the bytes are too close to tell apart on the evidence there is.
enum class Confidence { High, Low };

// One reading the statistics weighed: its encoding (Ansi for GBK; Auto: no reading) and
// its score, the mean weight of its characters from -1 (a wrong reading) to 1.
struct Candidate {
  EncodingChoice encoding = EncodingChoice::Auto;
  double score = 0;
};

// The confidence of a decision and the two best exact readings behind it, best first
// (either left Auto when fewer were weighed, as for a mark or a declaration).
struct Detection {
  Confidence confidence = Confidence::High;
  Candidate best;
  Candidate second;
};

// The candidates as the user reads them: "GBK 0.31 / BIG5 0.29", "GBK 1.00" for one,
// empty for none.
std::string CandidateScores(const Detection& detection);

struct DecodedText {
  std::string text;  // the working text (GB18030), never holding a zero byte
  // 1-6 after a successful read; Auto (0) when the file could not be read.
  EncodingChoice detected = EncodingChoice::Auto;
  ReadStatus status = ReadStatus::Ok;
  bool wasGzipped = false;
  // The content held a zero character, so the text ends before the content does (a
  // binary file, most likely). Converting it over the original would lose the rest.
  bool cutAtZero = false;
  // Source bytes that were no character of the charset read (each became U+FFFD): the
  // decoding was exact when there were none. Text taken as ANSI is never decoded here.
  size_t undecodable = 0;
  std::string howDecided;         // why the text was read as `detected` (see SourceRead)
  std::string howDecidedChinese;  // the same in Chinese, in the working code page
  Detection detection;
};

// The read step up to its decision: the file's bytes (decompressed when it was
// gzipped), the encoding decided by mark, declaration, UTF-8 scan or the user's choice
// (Auto when only ANSI is left), and where the content starts after a mark.
struct SourceRead {
  ReadStatus status = ReadStatus::Ok;
  std::string bytes;
  // A large file read for a conversion that needs no working text is mapped instead:
  // then its bytes are here and `bytes` is empty.
  std::shared_ptr<const platform::MappedFile> mapped;
  bool wasGzipped = false;
  // How the decompression of a file starting with the gzip signature ended; NotGzip
  // for any other file. Only Complete gives the whole content.
  GunzipStatus gzip = GunzipStatus::NotGzip;
  EncodingChoice encoding = EncodingChoice::Auto;
  size_t start = 0;
  // Why: "chosen", "byte-order mark", "declared in a meta tag", "declared in the XML
  // declaration", "UTF-8 scan", or "statistics: ..." with the scores and their margin;
  // a declaration the bytes contradict, or whose reading is far less likely than GBK's,
  // is named in front of what decided instead.
  std::string howDecided;
  // The same reason in Chinese, for the result list (working code page).
  std::string howDecidedChinese;
  Detection detection;
  std::string_view Content() const;  // the bytes, mapped or held
  std::string_view Rest() const;
};
// `info` receives the identity, size and time of the file as it was read. `mapLarge`:
// a large file that is not gzipped may be mapped rather than read.
SourceRead ReadSource(const std::string& sourcePath, EncodingChoice input, platform::FileInfo* info = nullptr,
                      bool mapLarge = false);
SourceRead DecideSource(std::string fileBytes, EncodingChoice input);
// Decodes what ReadSource decided into the working text.
DecodedText DecodeSource(SourceRead&& source);

// The charset an encoding is read in: a page (or text) found to be Big5 is read as
// web pages use Big5, with the Big5-HKSCS codes that code page 950 lacks. Unknown for
// ANSI, whose bytes are the working text as they are.
Charset ReadingCharsetOf(EncodingChoice encoding);

// What the statistics decided and why, in English and in Chinese (working code page).
struct StatisticsVerdict {
  EncodingChoice encoding = EncodingChoice::Auto;  // Auto: ANSI
  Detection detection;
  std::string how;
  std::string howChinese;
};

// The last step of automatic detection, for bytes that are neither marked, declared
// nor UTF-8: each reading the bytes allow (GBK, Big5, UTF-16 without a mark) is scored
// by the characters it gives. One other than GBK wins when its lead over every other
// exact reading is significant for the number of characters read (a few characters
// need a wide lead, thousands a narrow one), or when it is the only one that reads
// strictly where another gives private-use characters at a rate no real text has. A
// Big5 reading that needs the Big5-HKSCS codes is Big5Hkscs.
StatisticsVerdict WeighReadings(std::string_view bytes);
// The same decision alone (Auto for ANSI); `how` receives the scores.
EncodingChoice ChooseByStatistics(std::string_view bytes, std::string* how = nullptr);

// True when the bytes decode in the encoding with nothing undecodable and, for GBK and
// Big5, no character of their user-defined areas (which real text of theirs hardly
// holds, and wrong readings land on). Ansi and Auto are GBK (GB18030). For deciding a
// file of low confidence by what the other files of its folder were read as.
bool ReadsExactlyAs(std::string_view bytes, EncodingChoice encoding);

// The first line of the working text that holds a Han character, trimmed of blanks, up
// to `maxChars` characters (from its first Han character when that lies further in),
// in the working code page: a preview that shows a misreading before anything is
// written. Empty when no line holds Chinese.
std::string FirstChineseLine(std::string_view workingText, size_t maxChars = 30);

// Decodes file bytes already in memory with the given input choice (0-4).
DecodedText DecodeBytes(std::string_view fileBytes, EncodingChoice input);

// Reads the file and decodes it. The source is never modified.
DecodedText LoadDecodedText(const std::string& sourcePath, EncodingChoice input);

// The UTF-8 scan: true when the bytes are well-formed UTF-8 as Unicode defines it
// (four-byte sequences up to U+10FFFF accepted; overlong forms, surrogates and anything
// above U+10FFFF rejected), and a text of nothing but ASCII is not UTF-8. Pumps window
// messages every 64 KiB or so.
bool IsLikelyUtf8(std::string_view bytes);

// The part of the file the charset scan looks at: up to the first zero or 1A byte, a
// byte of 80 or more taken together with the byte after it.
std::string_view TextForCharsetScan(std::string_view bytes);

}  // namespace cw
