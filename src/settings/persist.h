// PersistControls: saves or restores every control of a window whose name starts with a
// kind word, into one section of a SettingsStore.
#pragma once

#include <string>
#include <vector>

#include "form/form.h"
#include "settings/settings_store.h"

namespace cw::settings {

enum class Direction { Save, Restore };

// The kind a control's name announces, tested in this order: 按钮, 编辑框, 选择框,
// 单选框, 组合框, 列表框, 选择列表框, 颜色选择器, 通用对话框, 树型框. False for any
// other name.
bool KindFromName(const std::string& name, form::Kind* kind);

// Options the program itself leaves empty or off.
struct PersistOptions {
  std::vector<std::string> skipNames;    // controls left out
  std::vector<std::string> onlyNames;    // when not empty, only these are kept
  std::vector<std::string> skipParents;  // left out when its container is listed
  std::vector<std::string> onlyParents;  // when not empty, left out unless listed
  bool keepComboItems = false;           // also each combo box's items, key name + ".项目"
  // When set, all states go to (save) or come from (restore) this one text, in the
  // settings file's form, instead of the store.
  std::string* exchangeText = nullptr;
};

void PersistControls(SettingsStore* store, form::Window* window, Direction direction, const std::string& section,
                     const PersistOptions& options = {});

// The two parent filters.
bool ParentIn(const form::Control& control, const std::vector<std::string>& containers);
bool ParentNotIn(const form::Control& control, const std::vector<std::string>& containers);

// Item lists of list boxes (text{G}number) and checked list boxes (text{G}number{G}真/假).
std::string ItemListText(const form::Control& control);
void ApplyItemListText(form::Control* control, const std::string& text);

}  // namespace cw::settings
