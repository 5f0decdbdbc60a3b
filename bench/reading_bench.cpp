// Throughput of the read step (UTF-8 scan, detection and decoding), the script mapping
// and the whole single-file conversion, on a generated 32 MB Chinese text.
#include <benchmark/benchmark.h>

#include <string>

#include "convert/charset_scan.h"
#include "convert/convert_file.h"
#include "convert/reading.h"
#include "convert/script_conversion.h"
#include "encoding/charset.h"
#include "support/temp_dir.h"

namespace {

// About 32 MB of Chinese text with punctuation and line breaks, in UTF-8 without a mark.
const std::string& ChineseUtf8() {
  static const std::string text = [] {
    const std::string line =
        u8"中华人民共和国成立以来，经济发展迅速，人民生活水平显著提高。"
        u8"简体中文与繁體中文的转换测试，包含数字123和English words。\r\n";
    std::string out;
    out.reserve(32u << 20);
    while (out.size() + line.size() <= (32u << 20)) out += line;
    return out;
  }();
  return text;
}

const std::string& ChineseGbk() {
  static const std::string text = cw::FromUtf8(ChineseUtf8());
  return text;
}

void BM_IsLikelyUtf8(benchmark::State& state) {
  const std::string& text = ChineseUtf8();
  for (auto _ : state) benchmark::DoNotOptimize(cw::IsLikelyUtf8(text));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_IsLikelyUtf8)->Unit(benchmark::kMillisecond);

void BM_IsLikelyUtf8Ascii(benchmark::State& state) {
  const std::string text(32u << 20, 'a');
  for (auto _ : state) benchmark::DoNotOptimize(cw::IsLikelyUtf8(text));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_IsLikelyUtf8Ascii)->Unit(benchmark::kMillisecond);

void BM_FindDeclaredCharset(benchmark::State& state) {
  const std::string& text = ChineseGbk();
  for (auto _ : state) benchmark::DoNotOptimize(cw::FindDeclaredCharset(text));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_FindDeclaredCharset)->Unit(benchmark::kMillisecond);

void BM_TranscodeUtf8ToWorking(benchmark::State& state) {
  const std::string& text = ChineseUtf8();
  for (auto _ : state) benchmark::DoNotOptimize(cw::Transcode(text, "UTF-8", "GB18030").data());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_TranscodeUtf8ToWorking)->Unit(benchmark::kMillisecond);

void LoadFile(benchmark::State& state, const std::string& bytes) {
  cw::test::TempDir dir;
  const std::string path = dir.Join("big.txt");
  cw::test::WriteFileBytes(path, bytes);
  for (auto _ : state) {
    cw::DecodedText decoded = cw::LoadDecodedText(path, cw::EncodingChoice::Auto);
    benchmark::DoNotOptimize(decoded.text.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

void BM_LoadDecodedTextUtf8(benchmark::State& state) { LoadFile(state, ChineseUtf8()); }
BENCHMARK(BM_LoadDecodedTextUtf8)->Unit(benchmark::kMillisecond);

void BM_LoadDecodedTextGbk(benchmark::State& state) { LoadFile(state, ChineseGbk()); }
BENCHMARK(BM_LoadDecodedTextGbk)->Unit(benchmark::kMillisecond);

void BM_ToTraditional(benchmark::State& state) {
  const std::string& text = ChineseGbk();
  for (auto _ : state) benchmark::DoNotOptimize(cw::ToTraditional(text).data());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ToTraditional)->Unit(benchmark::kMillisecond);

void BM_ConvertFileUtf8ToUtf16Le(benchmark::State& state) {
  cw::test::TempDir dir;
  const std::string source = dir.Join("in.txt");
  cw::test::WriteFileBytes(source, ChineseUtf8());
  cw::ConversionOptions options;
  options.outputEncoding = cw::EncodingChoice::Utf16Le;
  for (auto _ : state) {
    std::string output = dir.Join("out.txt");
    benchmark::DoNotOptimize(cw::ConvertFile(source, output, options));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * ChineseUtf8().size()));
}
BENCHMARK(BM_ConvertFileUtf8ToUtf16Le)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
