// Throughput of Transcode on a large Chinese text, beside glibc iconv on the same input.
#include <benchmark/benchmark.h>
#include <iconv.h>

#include <cstdint>
#include <string>

#include "encoding/charset.h"

namespace {

using cw::Charset;

// About 8 MB of UTF-8: common hanzi (GB2312 level 1, also in Big5 where Traditional forms
// coincide) in sentences with Chinese punctuation, some ASCII and CRLF line breaks.
const std::string& ChineseUtf8() {
  static const std::string text = [] {
    std::string gb;
    std::uint32_t seed = 12345;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u, seed >> 8; };
    while (gb.size() < 5'500'000) {
      const unsigned roll = next() % 100;
      if (roll < 3) {
        gb += "\xA3\xAC";  // ，
      } else if (roll < 4) {
        gb += "\xA1\xA3\r\n";  // 。
      } else if (roll < 9) {
        gb += "Win32 ";
      } else {
        const unsigned n = next() % (0xD7 - 0xB0 + 1) * 94 + next() % 94;
        gb += static_cast<char>(0xB0 + n / 94);
        gb += static_cast<char>(0xA1 + n % 94);
      }
    }
    return cw::Transcode(gb, Charset::Gb18030, Charset::Utf8);
  }();
  return text;
}

const std::string& InCharset(Charset charset) {
  static std::string cache[8];
  std::string& text = cache[static_cast<int>(charset)];
  if (text.empty()) text = cw::Transcode(ChineseUtf8(), Charset::Utf8, charset);
  return text;
}

void BM_Transcode(benchmark::State& state, Charset source, Charset target) {
  const std::string& input = InCharset(source);
  for (auto _ : state) {
    std::string out = cw::Transcode(input, source, target);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(input.size()));
}

void BM_Iconv(benchmark::State& state, Charset source, Charset target) {
  const std::string& input = InCharset(source);
  iconv_t cd = iconv_open(cw::CharsetName(target), cw::CharsetName(source));
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    state.SkipWithError("iconv_open failed");
    return;
  }
  std::string out(input.size() * 2 + 16, '\0');
  for (auto _ : state) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(input.data());
    size_t inLeft = input.size();
    char* outPtr = &out[0];
    size_t outLeft = out.size();
    if (iconv(cd, &in, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1)) {
      state.SkipWithError("iconv stopped early (it has no replacement for what the target lacks)");
      break;
    }
    benchmark::DoNotOptimize(outPtr);
  }
  iconv_close(cd);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(input.size()));
}

#define CW_PAIR(name, source, target)                                                                     \
  BENCHMARK_CAPTURE(BM_Transcode, name, Charset::source, Charset::target)->Unit(benchmark::kMillisecond); \
  BENCHMARK_CAPTURE(BM_Iconv, name, Charset::source, Charset::target)->Unit(benchmark::kMillisecond)

CW_PAIR(Utf8ToGb18030, Utf8, Gb18030);
CW_PAIR(Gb18030ToUtf8, Gb18030, Utf8);
CW_PAIR(Gb18030ToUtf16Le, Gb18030, Utf16Le);
CW_PAIR(Utf16LeToGb18030, Utf16Le, Gb18030);
CW_PAIR(Utf16BeToGb18030, Utf16Be, Gb18030);
// iconv stops at the first character Big5 lacks, so these run on our side only.
BENCHMARK_CAPTURE(BM_Transcode, Gb18030ToBig5, Charset::Gb18030, Charset::Big5)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Transcode, Gb18030ToBig5Hkscs, Charset::Gb18030, Charset::Big5Hkscs)
    ->Unit(benchmark::kMillisecond);
CW_PAIR(Big5ToGb18030, Big5, Gb18030);

}  // namespace

BENCHMARK_MAIN();
