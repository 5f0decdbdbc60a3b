// Control-state persistence: the kind comes from the control's name, the opt-outs from
// its tag, and each kind keeps one state under a key derived from its name.
#include "settings/persist.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "encoding/charset.h"
#include "platform/platform.h"
#include "settings/format.h"
#include "text/text.h"

namespace cw::settings {
namespace {

using form::Control;
using form::Kind;

struct KindWord {
  const char* utf8;
  Kind kind;
};
constexpr KindWord kKindWords[] = {
    {"按钮", Kind::PushButton},           {"编辑框", Kind::EditBox},          {"选择框", Kind::CheckBox},
    {"单选框", Kind::RadioButton},        {"组合框", Kind::ComboBox},         {"列表框", Kind::ListBox},
    {"选择列表框", Kind::CheckedListBox}, {"颜色选择器", Kind::ColourPicker}, {"通用对话框", Kind::CommonDialog},
    {"树型框", Kind::TreeView},
};

// A stored number applied to an integer state: truncated, and kept inside int.
int ToInt(double value) {
  if (std::isnan(value)) return 0;
  return static_cast<int>(std::clamp(value, -2147483648.0, 2147483647.0));
}

bool Listed(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

std::string ItemsAsListText(const std::vector<form::Item>& items, bool withChecks) {
  std::vector<std::vector<std::string>> records;
  for (const form::Item& item : items) {
    std::vector<std::string> record{item.text, std::to_string(item.number)};
    if (withChecks) record.push_back(item.checked ? TrueText() : FalseText());
    records.push_back(std::move(record));
  }
  return JoinItemList(records);
}

std::vector<form::Item> ItemsFromListText(const std::string& text, bool withChecks) {
  std::vector<form::Item> items;
  for (std::vector<std::string>& fields : SplitItemList(text)) {
    fields.resize(3);
    items.push_back(form::Item{fields[0], ToInt(ParseNumber(fields[1])), withChecks && fields[2] == TrueText()});
  }
  return items;
}

class ControlPersister {
 public:
  ControlPersister(SettingsStore* store, Direction direction) : store_(store), direction_(direction) {}

  void Text(Control* c, const std::string& key, std::string (Control::*get)() const,
            void (Control::*set)(const std::string&), bool byteMode) {
    const std::string current = (c->*get)();
    if (direction_ == Direction::Save) {
      if (byteMode)
        store_->WriteBytes(key, current);
      else
        store_->WriteText(key, current);
    } else {
      (c->*set)(byteMode ? text::FromBytes(store_->ReadBytes(key, current)) : store_->ReadText(key, current));
    }
  }

  void Check(Control* c, const std::string& key) {
    if (direction_ == Direction::Save)
      store_->WriteBool(key, c->Checked());
    else
      c->SetChecked(store_->ReadBool(key, c->Checked()));
  }

  void Number(Control* c, const std::string& key, int (Control::*get)() const, void (Control::*set)(int)) {
    const int current = (c->*get)();
    if (direction_ == Direction::Save)
      store_->WriteNumber(key, current);
    else
      (c->*set)(ToInt(store_->ReadNumber(key, current)));
  }

  void Items(Control* c, const std::string& key, bool withChecks) {
    const std::string current = ItemsAsListText(c->Items(), withChecks);
    if (direction_ == Direction::Save)
      store_->WriteText(key, current);
    else
      c->SetItems(ItemsFromListText(store_->ReadText(key, current), withChecks));
  }

  void Colour(Control* c, const std::string& key) {
    if (direction_ == Direction::Save)
      store_->WriteNumber(key, c->Colour());
    else
      c->SetColour(ToInt(store_->ReadNumber(key, c->Colour())));
  }

  void TreeBytes(Control* c, const std::string& key) {
    if (direction_ == Direction::Save)
      store_->WriteBytes(key, c->Content());
    else
      c->SetContent(store_->ReadBytes(key, c->Content()));
  }

 private:
  SettingsStore* store_;
  Direction direction_;
};

}  // namespace

bool KindFromName(const std::string& name, Kind* kind) {
  for (const KindWord& word : kKindWords) {
    const std::string prefix = FromUtf8(word.utf8);
    if (name.compare(0, prefix.size(), prefix) == 0) {
      *kind = word.kind;
      return true;
    }
  }
  return false;
}

bool ParentIn(const Control& control, const std::vector<std::string>& containers) {
  return Listed(containers, control.Container());
}

bool ParentNotIn(const Control& control, const std::vector<std::string>& containers) {
  return !containers.empty() && !Listed(containers, control.Container());
}

std::string ItemListText(const Control& control) {
  return ItemsAsListText(control.Items(), control.GetKind() == Kind::CheckedListBox);
}

void ApplyItemListText(Control* control, const std::string& text) {
  control->SetItems(ItemsFromListText(text, control->GetKind() == Kind::CheckedListBox));
}

void PersistControls(SettingsStore* store, form::Window* window, Direction direction, const std::string& section,
                     const PersistOptions& options) {
  if (!section.empty()) store->SetSection(section);
  // The exchange text works on a copy of the store that holds no file.
  std::optional<SettingsStore> exchange;
  if (options.exchangeText) {
    exchange.emplace(*store);
    exchange->SetAllText(direction == Direction::Restore ? *options.exchangeText : "", false);
    store = &*exchange;
  }
  const std::string kSkipTag = FromUtf8("禁止保存");
  const std::string kByteTag = FromUtf8("字节集方式");
  ControlPersister persist(store, direction);

  for (int i = 0; i < window->ControlCount(); ++i) {
    Control* c = window->ControlAt(i);
    if (!c || !c->Exists()) continue;
    platform::PumpMessages();
    const std::string name = c->Name();
    Kind kind;
    // A name that announces another kind than the control has is left alone rather
    // than read or written as something it is not.
    if (name.empty() || !KindFromName(name, &kind) || c->GetKind() != kind) continue;
    const std::string tag = c->Tag();
    if (tag == kSkipTag) continue;
    if (Listed(options.skipNames, name)) continue;
    if (!options.onlyNames.empty() && !Listed(options.onlyNames, name)) continue;
    if (ParentIn(*c, options.skipParents) || ParentNotIn(*c, options.onlyParents)) continue;
    const bool byteMode = tag == kByteTag;

    switch (kind) {
      case Kind::PushButton:
        persist.Text(c, name + FromUtf8(".标记"), &Control::Tag, &Control::SetTag, byteMode);
        break;
      case Kind::EditBox: persist.Text(c, name, &Control::Content, &Control::SetContent, byteMode); break;
      case Kind::CheckBox:
      case Kind::RadioButton: persist.Check(c, name); break;
      case Kind::ComboBox:
        // Items first: replacing them clears the selection.
        if (options.keepComboItems) persist.Items(c, name + FromUtf8(".项目"), false);
        if (c->ComboStyle() == form::kComboDropDownList) {
          persist.Number(c, name, &Control::Selection, &Control::SetSelection);
        } else {
          persist.Text(c, name + FromUtf8(".内容"), &Control::Content, &Control::SetContent, false);
        }
        break;
      case Kind::ListBox: persist.Items(c, name, false); break;
      case Kind::CheckedListBox: persist.Items(c, name, true); break;
      case Kind::ColourPicker: persist.Colour(c, name); break;
      case Kind::CommonDialog: persist.Text(c, name, &Control::Content, &Control::SetContent, false); break;
      case Kind::TreeView: persist.TreeBytes(c, name + FromUtf8(".列表")); break;
      default: break;
    }
  }
  if (options.exchangeText && direction == Direction::Save) *options.exchangeText = exchange->GetAllText();
}

}  // namespace cw::settings
