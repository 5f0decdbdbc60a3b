// The user's choices, one table each: the value, the control that offers it, the word
// the command line takes for it, and the words the result list shows. The window, the
// command line and the result list all read these tables.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "convert/options.h"
#include "form/main_window.h"

namespace cw::batch {

struct EncodingRow {
  EncodingChoice value;
  bool offered;            // 0-4: a radio button in each group; 5 and 6 come from detection only
  form::ControlId input;   // the button of the input group (offered rows)
  form::ControlId output;  // the button of the output group
  const char* cliWord;     // --in / --out
  const char* words;       // the result list's "read as" column
};
struct ScriptRow {
  ScriptConversion value;
  form::ControlId control;
  const char* cliWord;  // --script
};
struct LineEndingRow {
  LineEndingChoice value;  // also the combo box's selection index
  const char* cliWord;     // --eol
};

const EncodingRow& RowOf(EncodingChoice value);
const ScriptRow& RowOf(ScriptConversion value);
const LineEndingRow& RowOf(LineEndingChoice value);

// The value a command-line word names, if any (only offered encodings have one).
std::optional<EncodingChoice> EncodingFromWord(std::string_view word);
std::optional<ScriptConversion> ScriptFromWord(std::string_view word);
std::optional<LineEndingChoice> LineEndingFromWord(std::string_view word);

// The encoding a radio group gives, by the test order of its buttons: ANSI, then UTF-8,
// then the two UTF-16; none of them checked is Auto (its own button is never asked).
// `checked` tells whether a control is checked.
using IsChecked = std::function<bool(form::ControlId)>;
EncodingChoice EncodingOfGroup(const IsChecked& checked, bool inputGroup);
// The script conversion of the radio buttons: "不转" checked ends the test with None,
// otherwise the first checked in the table's order wins.
ScriptConversion ScriptOfButtons(const IsChecked& checked);

}  // namespace cw::batch
