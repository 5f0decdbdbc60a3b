// Detection by statistics: the readings a file's bytes allow, scored by the characters
// they give, and weighed by how many characters there are to go by.
#include "convert/detect_statistics.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "convert/generated/detect_tables.h"
#include "encoding/charset.h"
#include "encoding/stream.h"

namespace cw {
namespace {

// Statistics look at this much of a file: enough for a clear verdict, cheap for a large file.
constexpr size_t kStatisticsSample = 64 * 1024;

// A reading other than GBK wins when it leads every other exact reading by kMargin, or
// by less where there are enough characters: by kDecide standard errors of the
// difference of the scores. The same lead makes a decision confident.
constexpr double kMargin = 0.3;
constexpr double kDecide = 3.0;
// A declaration gives way to GBK only before a lead of the fixed margin and of this many
// standard errors: far wider than chance gives.
constexpr double kOverrule = 5.0;
// Below this score a reading is not Chinese text, however it compares.
constexpr double kFloor = 0.3;
// A GBK reading scoring above this is never beaten (files that get here are mostly GBK),
// and over kSure characters it ends the question without weighing the others.
constexpr double kGbkClear = 0.7;
constexpr size_t kSure = 64;
// A score's variance is taken as at least this: a handful of characters that all weigh
// the same prove less than their zero spread would claim.
constexpr double kVarianceFloor = 0.25;

// What one character says about a reading: +1 for what Chinese text is made of (its
// frequent Han characters and punctuation, and in UTF-16 printable ASCII), -1 for what
// a wrong reading lands on (private use, replacement, controls, Greek, Cyrillic, Hangul,
// rare extension Han, and in GBK and Big5 kana), 0 for the rest. Kana are a wrong GBK
// reading of Big5's most frequent characters, but in UTF-16 they are Japanese text. Box
// drawing and the controls of terminal text (backspace, form feed, escape) say nothing
// either way: tables and coloured text are made of them, whatever the charset.
constexpr int kIgnored = 2;

bool IsPrivateUse(char32_t c) { return (c >= 0xE000 && c <= 0xF8FF) || c >= 0xF0000; }

int CharacterWeight(char32_t c, bool utf16) {
  if (c < 0x80) {
    if ((c >= 0x20 && c < 0x7F) || c == '\t' || c == '\n' || c == '\r') return 1;
    return c == 0x08 || c == 0x0C || c == 0x1B ? kIgnored : -1;
  }
  if (IsFrequentHan(c)) return 1;
  if ((c >= 0x3000 && c <= 0x3003) || (c >= 0x3008 && c <= 0x3011) || (c >= 0xFF01 && c <= 0xFF5E) ||
      (c >= 0x2018 && c <= 0x201D) || c == 0x2026 || c == 0x2014 || c == 0x00B7 || c == 0x2027) {
    return 1;
  }
  if (c >= 0x2500 && c <= 0x257F) return kIgnored;
  if (c >= 0x4E00 && c <= 0x9FFF) return 0;
  if (c >= 0x3040 && c <= 0x30FF) return utf16 ? 0 : -1;
  if ((c >= 0x00A0 && c <= 0x00BF) || c == 0x00D7 || c == 0x00F7 || (c >= 0x2000 && c <= 0x206F) ||
      (c >= 0x2100 && c <= 0x24FF) || (c >= 0x25A0 && c <= 0x26FF) || (c >= 0xFE30 && c <= 0xFE4F) ||
      (c >= 0xFF5F && c <= 0xFFEF)) {
    return 0;
  }
  return -1;
}

struct Reading {
  EncodingChoice encoding;
  Charset charset;
  bool usable = false;    // exact: no undecodable byte
  bool excluded = false;  // private use at a rate no real text has, where another reading is strict
  double score = 0;       // mean weight of the characters scored
  size_t scored = 0;
  size_t weighty = 0;  // characters of weight 1 or -1: with `scored`, the variance
  size_t privateUse = 0;
  size_t nonstandard = 0;  // Han characters that neither GB2312 nor Big5 has

  bool Contends() const { return usable && !excluded; }
  bool Strict() const { return usable && privateUse == 0; }
  double Variance() const {
    if (scored == 0) return 0;
    const double meanSquare = static_cast<double>(weighty) / static_cast<double>(scored);
    return std::max(0.0, meanSquare - score * score);
  }
  // Real text of GBK or Big5 holds a user-defined character now and then, not one in a
  // hundred; and real GBK text keeps to the characters of GB2312 and Big5 (fewer than one
  // in two hundred outside them), where a GBK reading of Big5's less frequent block
  // leaves them every few characters.
  bool ShowsWrongReading() const {
    const bool userDefined = privateUse >= 2 && privateUse * 100 >= scored;
    const bool extensions = encoding == EncodingChoice::Ansi && nonstandard >= 3 && nonstandard * 100 >= scored * 3;
    return userDefined || extensions;
  }
};

// Scores one reading of the sample. Unusable when the reading is not exact (an
// undecodable byte; only a character cut by the end of the sample is forgiven).
Reading Score(std::string_view sample, bool cut, EncodingChoice encoding, Charset charset) {
  Reading reading{encoding, charset};
  const bool utf16 = charset == Charset::Utf16Le || charset == Charset::Utf16Be;
  long long sum = 0;
  size_t replacements = 0;
  bool lastReplaced = false;
  VisitCharacters(sample, charset, [&](char32_t c) {
    lastReplaced = c == 0xFFFD;
    replacements += lastReplaced;
    reading.privateUse += IsPrivateUse(c);
    reading.nonstandard += c >= 0x4E00 && c <= 0x9FFF && !IsStandardHan(c);
    const int weight = CharacterWeight(c, utf16);
    if (weight == kIgnored) return;
    sum += weight;
    reading.weighty += weight != 0;
    ++reading.scored;
  });
  if (cut && lastReplaced) {
    --replacements;
    --reading.scored;
    --reading.weighty;
    ++sum;
  }
  reading.usable = replacements == 0;
  reading.score = reading.scored != 0 ? static_cast<double>(sum) / static_cast<double>(reading.scored) : 0;
  return reading;
}

// Whether the score of `a` lies clearly above that of `b`: by the fixed margin, or by
// kDecide standard errors of their difference when that is less (a narrow lead decides
// over thousands of characters, never over a handful).
double Spread(const Reading& a, const Reading& b) {
  const double na = static_cast<double>(std::max<size_t>(a.scored, 1));
  const double nb = static_cast<double>(std::max<size_t>(b.scored, 1));
  return std::sqrt(std::max(a.Variance(), kVarianceFloor) / na + std::max(b.Variance(), kVarianceFloor) / nb);
}

bool Ahead(const Reading& a, const Reading& b) {
  return a.score - b.score >= std::min(kMargin, kDecide * Spread(a, b));
}

std::string Figure(double value) {
  char text[16];
  std::snprintf(text, sizeof(text), "%.2f", value);
  return text;
}

Candidate CandidateOf(const Reading* reading) {
  return reading ? Candidate{reading->encoding, reading->score} : Candidate{};
}

// The readings of the sample that may be its text: GBK and Big5 unless it holds a zero
// byte, UTF-16 for an even length unless GBK reads it clearly. None, with `onlyAscii`
// set, for nothing but ASCII.
std::vector<Reading> ReadingsOf(std::string_view bytes, bool* onlyAscii) {
  const bool cut = bytes.size() > kStatisticsSample;
  const std::string_view sample = bytes.substr(0, kStatisticsSample);
  const bool holdsZero = std::memchr(sample.data(), 0, sample.size()) != nullptr;
  std::vector<Reading> readings;
  bool gbkClear = false;
  if (!holdsZero) {
    readings.push_back(Score(sample, cut, EncodingChoice::Ansi, Charset::Gb18030));
    const Reading& gbk = readings.back();
    if (gbk.scored == 0) {
      *onlyAscii = true;
      return {};
    }
    gbkClear = gbk.usable && gbk.score > kGbkClear && gbk.privateUse == 0;
    // A short clear GBK text is weighed against Big5 all the same, for its confidence.
    if (!gbkClear || gbk.scored < kSure) readings.push_back(Score(sample, cut, EncodingChoice::Big5, Charset::Big5Web));
  }
  if (bytes.size() % 2 == 0 && !gbkClear) {
    const std::string_view even = sample.substr(0, sample.size() & ~size_t{1});
    for (EncodingChoice encoding : {EncodingChoice::Utf16Le, EncodingChoice::Utf16Be}) {
      const Charset charset = CharsetOf(encoding);
      // A zero character ends the text: such a reading is no text at all.
      if (HoldsZeroCharacter(even, charset)) continue;
      readings.push_back(Score(even, cut, encoding, charset));
    }
  }
  // Where one reading is strict, one that gives private-use characters at the rate of a
  // wrong reading cannot hold.
  const bool someStrict = std::any_of(readings.begin(), readings.end(), [](const Reading& r) { return r.Strict(); });
  for (Reading& reading : readings) reading.excluded = someStrict && reading.usable && reading.ShowsWrongReading();
  return readings;
}

struct Ranked {
  const Reading* best = nullptr;
  const Reading* second = nullptr;
  const Reading* gbk = nullptr;
};

Ranked Rank(const std::vector<Reading>& readings) {
  Ranked ranked;
  for (const Reading& reading : readings) {
    if (reading.encoding == EncodingChoice::Ansi) ranked.gbk = &reading;
    if (!reading.Contends()) continue;
    if (!ranked.best || reading.score > ranked.best->score) {
      ranked.second = ranked.best;
      ranked.best = &reading;
    } else if (!ranked.second || reading.score > ranked.second->score) {
      ranked.second = &reading;
    }
  }
  return ranked;
}

// Whether the best reading, other than GBK, wins.
bool Wins(const Ranked& r) {
  if (!r.best || r.best->encoding == EncodingChoice::Ansi) return false;
  // Where GBK cannot hold, the strict reading needs no more than to be no worse than neutral.
  const bool onlyOneHolds = r.gbk && r.gbk->excluded && r.best->Strict();
  if (r.best->scored < 2 || r.best->score < (onlyOneHolds ? 0.0 : kFloor)) return false;
  if (r.gbk && r.gbk->Contends() && r.gbk->score > kGbkClear) return false;
  return !r.second || Ahead(*r.best, *r.second);
}

// Whether GBK (ANSI) was taken while another exact reading is about as likely.
bool GbkUncertain(const Ranked& r) {
  if (r.gbk && r.gbk->Contends()) {
    const Reading* rival = r.best != r.gbk ? r.best : r.second;
    return rival && !Ahead(*r.gbk, *rival);
  }
  // GBK cannot be the text: uncertain when a reading that could be was passed over.
  return (r.best && r.best->score >= kFloor) || (r.gbk && r.gbk->excluded);
}

std::string ScoresOf(const std::vector<Reading>& readings, const char* separator) {
  std::string scores;
  for (const Reading& reading : readings) {
    if (!reading.usable) continue;
    if (!scores.empty()) scores += separator;
    scores += CharsetLabel(reading.encoding) + " " + Figure(reading.score);
  }
  return scores;
}

// Appends what decided a winner other than GBK to both reasons.
void SayWhyItWon(const Ranked& r, bool hkscs, StatisticsVerdict& verdict) {
  const double margin = r.best->score - (r.second ? r.second->score : -1.0);
  verdict.how += " (margin " + Figure(margin);
  verdict.howChinese += FromUtf8(u8"（领先 ") + Figure(margin);
  if (r.gbk && r.gbk->excluded) {
    const std::string privateUse = std::to_string(r.gbk->privateUse);
    const std::string nonstandard = std::to_string(r.gbk->nonstandard);
    verdict.how += "; GBK gives " + privateUse + " private-use and " + nonstandard + " extension characters";
    verdict.howChinese += FromUtf8(u8"；按 GBK 读出 ") + privateUse + FromUtf8(u8" 个私用区字、") + nonstandard +
                          FromUtf8(u8" 个扩展区字");
  }
  verdict.how += ")";
  verdict.howChinese += FromUtf8(u8"）");
  if (hkscs) {
    verdict.how += "; needs Big5-HKSCS codes";
    verdict.howChinese += FromUtf8(u8"；用到 Big5-HKSCS 的字");
  }
}

}  // namespace

std::string CandidateScores(const Detection& detection) {
  std::string text;
  for (const Candidate& candidate : {detection.best, detection.second}) {
    if (candidate.encoding == EncodingChoice::Auto) continue;
    if (!text.empty()) text += " / ";
    text += CharsetLabel(candidate.encoding) + " " + Figure(candidate.score);
  }
  return text;
}

StatisticsVerdict WeighReadings(std::string_view bytes) {
  StatisticsVerdict verdict;
  bool onlyAscii = false;
  const std::vector<Reading> readings = ReadingsOf(bytes, &onlyAscii);
  if (onlyAscii) {
    verdict.how = "nothing but ASCII";
    verdict.howChinese = FromUtf8(u8"只有 ASCII 字符");
    return verdict;
  }
  const Ranked ranked = Rank(readings);
  const std::string scores = ScoresOf(readings, ", ");
  verdict.how = "statistics: " + (scores.empty() ? std::string("no reading fits") : scores);
  verdict.howChinese = FromUtf8(u8"统计：") +
                       (scores.empty() ? FromUtf8(u8"没有相符的读法") : ScoresOf(readings, FromUtf8(u8"，").c_str()));
  verdict.detection.best = CandidateOf(ranked.best);
  verdict.detection.second = CandidateOf(ranked.second);
  if (Wins(ranked)) {
    verdict.encoding = ranked.best->encoding;
    const bool hkscs = verdict.encoding == EncodingChoice::Big5 && NeedsHkscs(bytes.substr(0, kStatisticsSample));
    if (hkscs) verdict.encoding = EncodingChoice::Big5Hkscs;
    SayWhyItWon(ranked, hkscs, verdict);
    return verdict;
  }
  if (GbkUncertain(ranked)) {
    verdict.detection.confidence = Confidence::Low;
    verdict.how += "; uncertain";
    verdict.howChinese += FromUtf8(u8"；不确定");
  }
  return verdict;
}

EncodingChoice ChooseByStatistics(std::string_view bytes, std::string* how) {
  StatisticsVerdict verdict = WeighReadings(bytes);
  if (how) *how = std::move(verdict.how);
  return verdict.encoding;
}

bool GbkOutweighsDeclared(std::string_view bytes, EncodingChoice declared, StatisticsVerdict* verdict) {
  if (declared != EncodingChoice::Big5 && declared != EncodingChoice::Big5Hkscs) return false;
  const bool cut = bytes.size() > kStatisticsSample;
  const std::string_view sample = bytes.substr(0, kStatisticsSample);
  if (std::memchr(sample.data(), 0, sample.size()) != nullptr) return false;
  const Reading gbk = Score(sample, cut, EncodingChoice::Ansi, Charset::Gb18030);
  if (!gbk.Strict() || gbk.scored == 0) return false;
  const Reading own = Score(sample, cut, declared, ReadCharsetOf(declared));
  if (gbk.score - own.score < std::max(kMargin, kOverrule * Spread(gbk, own))) return false;
  const std::vector<Reading> both{gbk, own};
  verdict->encoding = EncodingChoice::Auto;
  verdict->detection = Detection{Confidence::High, CandidateOf(&gbk), own.usable ? CandidateOf(&own) : Candidate{}};
  verdict->how = "statistics: " + ScoresOf(both, ", ");
  verdict->howChinese = FromUtf8(u8"统计：") + ScoresOf(both, FromUtf8(u8"，").c_str());
  return true;
}

bool NeedsHkscs(std::string_view bytes) {
  // Code page 950 leaves a code undecodable or private where Big5-HKSCS has a character;
  // such a code reads as a character of its own in the web reading.
  size_t cp950Gaps = 0;
  VisitCharacters(bytes, Charset::Big5, [&](char32_t c) { cp950Gaps += c == 0xFFFD || IsPrivateUse(c); });
  if (cp950Gaps == 0) return false;
  size_t webGaps = 0;
  VisitCharacters(bytes, Charset::Big5Web, [&](char32_t c) { webGaps += c == 0xFFFD || IsPrivateUse(c); });
  return webGaps < cp950Gaps;
}

bool ReadsExactlyAs(std::string_view bytes, EncodingChoice encoding) {
  const Charset charset =
      encoding == EncodingChoice::Auto || encoding == EncodingChoice::Ansi ? Charset::Gb18030 : ReadCharsetOf(encoding);
  if (charset == Charset::Unknown || CountUndecodable(bytes, charset) != 0) return false;
  if (charset == Charset::Utf8 || charset == Charset::Utf16Le || charset == Charset::Utf16Be) return true;
  bool userDefined = false;
  VisitCharacters(bytes, charset, [&](char32_t c) { userDefined = userDefined || IsPrivateUse(c); });
  return !userDefined;
}

}  // namespace cw
