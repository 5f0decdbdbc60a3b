// Chinese script conversion of the working text and of file names: Simplified and
// Traditional within GB18030, the forms Big5 has, and GBK to and from Big5 bytes.
#pragma once

#include <string>
#include <string_view>

#include "convert/options.h"
#include "encoding/charset.h"

namespace cw {

// At each position the longest matching word (复制 -> 複製, 千里 stays 千里), otherwise one
// character, and on after it, so a phrase never starts inside a matched word (以十进制表示
// -> 以十進制表示, not 十進製表示); every character becomes one character. Traditional output
// takes the forms Traditional text in Big5 uses (為, 眾, 著); ToSimplified takes those
// forms back by word (意味著 -> 意味着, 香菸 -> 香烟) and otherwise leaves the characters
// Simplified text uses itself (摺, 菸, 著, 簷), so it leaves Simplified text as it is.
// Characters outside GBK convert too (the working text is GB18030), so a character may
// change its byte length. ASCII and characters without a pair stay as they are.
std::string ToTraditional(std::string_view text);
std::string ToSimplified(std::string_view text);

// Traditional working text in the forms code page 950 has: a character it lacks takes a
// candidate or variant it has (着 -> 著, 峯 -> 峰, 这 -> 這); one without any stays as it
// is, for the output step to count. The result is still working text, not Big5 bytes.
std::string ToBig5Forms(std::string_view working);
// The content mapping of each option on decoded text (the working code page holds every
// character, so nothing is lost here): the Big5 options are a script conversion whose
// Big5 side the output encoding gives. 简体到Big5: Traditional in Big5's forms; 繁体到Big5:
// the text in Big5's forms; Big5到简体: Simplified; Big5到繁体: the text as it is.
void MapDecodedInPlace(ScriptConversion conversion, std::string& text);

// Byte conversions between the working code page and Big5 (code page 950). On the way
// to Big5 a character that code page 950 lacks takes a candidate or variant it has (着 ->
// 著, 峯 -> 峰, 这 -> 這); one without any becomes "?" and never shortens the rest.
// What the conversion through code page 950 lost is added to `losses`, when given.
std::string GbkToBig5(std::string_view text, TranscodeLosses* losses = nullptr);
std::string Big5ToGbk(std::string_view text, TranscodeLosses* losses = nullptr);
// GbkToBig5(ToTraditional(text)) and ToSimplified(Big5ToGbk(text)).
std::string SimplifiedToBig5(std::string_view text, TranscodeLosses* losses = nullptr);
std::string Big5ToSimplified(std::string_view text, TranscodeLosses* losses = nullptr);

// The content mapping and the file-name mapping of each option.
std::string MapContent(ScriptConversion conversion, std::string_view text, TranscodeLosses* losses = nullptr);
std::string MapFileName(ScriptConversion conversion, std::string_view name);
// MapContent's result in `text` itself, without a second copy of a large text where
// the mapping allows it.
void MapContentInPlace(ScriptConversion conversion, std::string& text, TranscodeLosses* losses = nullptr);

}  // namespace cw
