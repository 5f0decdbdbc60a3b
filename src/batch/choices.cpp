// The tables of the user's choices.
#include "batch/choices.h"

#include <iterator>

#include "base/check.h"

namespace cw::batch {
namespace {

using Id = form::ControlId;

constexpr EncodingRow kEncodings[] = {
    {EncodingChoice::Auto, true, Id::InputAuto, Id::OutputAuto, "auto", ""},
    {EncodingChoice::Ansi, true, Id::InputAnsi, Id::OutputAnsi, "ansi", "ANSI (GBK)"},
    {EncodingChoice::Utf8, true, Id::InputUtf8, Id::OutputUtf8, "utf8", "UTF-8"},
    {EncodingChoice::Utf16Le, true, Id::InputUtf16Le, Id::OutputUtf16Le, "utf16le", "UTF-16LE"},
    {EncodingChoice::Utf16Be, true, Id::InputUtf16Be, Id::OutputUtf16Be, "utf16be", "UTF-16BE"},
    {EncodingChoice::Big5, false, Id::InputAuto, Id::OutputAuto, "", "Big5"},
    {EncodingChoice::Big5Hkscs, false, Id::InputAuto, Id::OutputAuto, "", "Big5-HKSCS"},
};

// In the order the buttons are tested: "不转" first.
constexpr ScriptRow kScripts[] = {
    {ScriptConversion::None, Id::NoScript, "none"},
    {ScriptConversion::SimplifiedToTraditional, Id::SimplifiedToTraditional, "s2t"},
    {ScriptConversion::TraditionalToSimplified, Id::TraditionalToSimplified, "t2s"},
    {ScriptConversion::SimplifiedToBig5, Id::SimplifiedToBig5, "s2big5"},
    {ScriptConversion::TraditionalToBig5, Id::TraditionalToBig5, "t2big5"},
    {ScriptConversion::Big5ToSimplified, Id::Big5ToSimplified, "big52s"},
    {ScriptConversion::Big5ToTraditional, Id::Big5ToTraditional, "big52t"},
};

constexpr LineEndingRow kLineEndings[] = {
    {LineEndingChoice::Keep, "keep"},
    {LineEndingChoice::Windows, "win"},
    {LineEndingChoice::Unix, "unix"},
    {LineEndingChoice::Mac, "mac"},
};

// Each table has a row for every value of its enum, at the value's own index.
template <typename Row, size_t N>
constexpr bool Indexed(const Row (&rows)[N]) {
  for (size_t i = 0; i < N; ++i) {
    if (static_cast<size_t>(rows[i].value) != i) return false;
  }
  return true;
}
static_assert(std::size(kEncodings) == static_cast<size_t>(EncodingChoice::Big5Hkscs) + 1 && Indexed(kEncodings));
static_assert(std::size(kScripts) == static_cast<size_t>(ScriptConversion::Big5ToTraditional) + 1 && Indexed(kScripts));
static_assert(std::size(kLineEndings) == static_cast<size_t>(LineEndingChoice::Mac) + 1 && Indexed(kLineEndings));

template <typename Row, size_t N, typename Value>
const Row& Lookup(const Row (&rows)[N], Value value) {
  const auto index = static_cast<size_t>(value);
  CW_CHECK(index < N);
  return rows[index < N ? index : 0];
}

template <typename Row, size_t N>
auto FromWord(const Row (&rows)[N], std::string_view word) -> std::optional<decltype(rows[0].value)> {
  for (const Row& row : rows) {
    if (*row.cliWord != '\0' && word == row.cliWord) return row.value;
  }
  return std::nullopt;
}

}  // namespace

const EncodingRow& RowOf(EncodingChoice value) { return Lookup(kEncodings, value); }
const ScriptRow& RowOf(ScriptConversion value) { return Lookup(kScripts, value); }
const LineEndingRow& RowOf(LineEndingChoice value) { return Lookup(kLineEndings, value); }

std::optional<EncodingChoice> EncodingFromWord(std::string_view word) { return FromWord(kEncodings, word); }
std::optional<ScriptConversion> ScriptFromWord(std::string_view word) { return FromWord(kScripts, word); }
std::optional<LineEndingChoice> LineEndingFromWord(std::string_view word) { return FromWord(kLineEndings, word); }

EncodingChoice EncodingOfGroup(const IsChecked& checked, bool inputGroup) {
  for (const EncodingChoice value :
       {EncodingChoice::Ansi, EncodingChoice::Utf8, EncodingChoice::Utf16Le, EncodingChoice::Utf16Be}) {
    const EncodingRow& row = RowOf(value);
    if (checked(inputGroup ? row.input : row.output)) return value;
  }
  return EncodingChoice::Auto;
}

ScriptConversion ScriptOfButtons(const IsChecked& checked) {
  if (checked(kScripts[0].control)) return ScriptConversion::None;
  for (const ScriptRow& row : kScripts) {
    if (checked(row.control)) return row.value;
  }
  return ScriptConversion::None;
}

}  // namespace cw::batch
