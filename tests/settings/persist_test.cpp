// PersistControls over the in-memory main window: the first-run save, restore after
// save, the tag opt-outs and the item lists.
#include "settings/persist.h"

#include "encoding/charset.h"
#include "form/main_window.h"
#include "settings_fixture.h"

namespace cw::settings {
namespace {

using form::Kind;

class Persist : public SettingsFileTest {
 protected:
  void OpenStore() { ASSERT_TRUE(store.Open(path, StorageMode::KeepOpen)); }
  form::Control* Get(form::Window* w, const char* utf8) {
    form::Control* c = w->Find(W(utf8));
    EXPECT_NE(c, nullptr) << utf8;
    return c;
  }
  SettingsStore store;
  std::unique_ptr<form::MemoryWindow> window = form::NewMainWindow();
};

std::string FirstRunFile() {
  std::string f = W("[主界面]\r\n组合框换行格式=0");
  for (const char* name :
       {"选择框不带BOM", "选择框同时转换文件名", "选择框包含子文件夹", "选择框覆盖原文件", "单选框b5到繁",
        "单选框b5到简", "单选框繁到b5", "单选框简到b5", "单选框繁到简", "单选框简到繁"}) {
    f += "\r\n" + W(name) + "=" + W("假");
  }
  f += "\r\n" + W("单选框不转=真\r\n单选框自动输入=真");
  for (const char* name : {"单选框输入ANSI", "单选框输入UTF8", "单选框输入Ule", "单选框输入Ube"}) {
    f += "\r\n" + W(name) + "=" + W("假");
  }
  f += "\r\n" + W("单选框自动输出=真");
  for (const char* name : {"单选框输出ANSI", "单选框输出UTF8", "单选框输出Ule", "单选框输出Ube"}) {
    f += "\r\n" + W(name) + "=" + W("假");
  }
  f += "\r\n" + W("编辑框文件过滤=*.*\r\n按钮批量转换文件夹.标记=\r\n按钮批量转换.标记=");
  return f;
}

TEST_F(Persist, FirstRunRestoresDefaultsAndTheSaveWritesOneLinePerKeptControl) {
  OpenStore();
  PersistControls(&store, window.get(), Direction::Restore, W("主界面"));
  EXPECT_TRUE(Get(window.get(), "单选框自动输入")->Checked());
  EXPECT_EQ(Get(window.get(), "编辑框文件过滤")->Content(), "*.*");
  EXPECT_EQ(File(), "");
  PersistControls(&store, window.get(), Direction::Save, W("主界面"));
  EXPECT_EQ(File(), FirstRunFile());
  // A second save of the same states leaves the file as it is.
  const uint64_t written = store.FileBytesWritten();
  PersistControls(&store, window.get(), Direction::Save, W("主界面"));
  EXPECT_EQ(store.FileBytesWritten(), written);
}

TEST_F(Persist, RestoreAfterSaveGivesBackEveryKeptState) {
  OpenStore();
  Get(window.get(), "单选框输入UTF8")->SetChecked(true);
  Get(window.get(), "单选框输出Ube")->SetChecked(true);
  Get(window.get(), "单选框繁到b5")->SetChecked(true);
  Get(window.get(), "选择框不带BOM")->SetChecked(true);
  Get(window.get(), "选择框包含子文件夹")->SetChecked(true);
  Get(window.get(), "组合框换行格式")->SetSelection(3);
  Get(window.get(), "编辑框文件过滤")->SetContent("*.htm\r\n*.txt");
  Get(window.get(), "按钮批量转换文件夹")->SetTag(W("D:\\资料\\网页 [旧]=1"));
  Get(window.get(), "按钮批量转换")->SetTag("C:\\x");
  PersistControls(&store, window.get(), Direction::Save, W("主界面"));
  EXPECT_NE(File().find(W("编辑框文件过滤=*.htm┊*┊*.txt\r\n")), std::string::npos);
  store.Close();

  SettingsStore next;
  ASSERT_TRUE(next.Open(path, StorageMode::KeepOpen));
  auto fresh = form::NewMainWindow();
  PersistControls(&next, fresh.get(), Direction::Restore, W("主界面"));
  for (int i = 0; i < window->ControlCount(); ++i) {
    form::Control* saved = window->ControlAt(i);
    form::Control* restored = fresh->ControlAt(i);
    EXPECT_EQ(saved->Checked(), restored->Checked()) << ToUtf8(saved->Name());
    EXPECT_EQ(saved->Selection(), restored->Selection()) << ToUtf8(saved->Name());
    EXPECT_EQ(saved->Content(), restored->Content()) << ToUtf8(saved->Name());
    EXPECT_EQ(saved->Tag(), restored->Tag()) << ToUtf8(saved->Name());
  }
  EXPECT_FALSE(Get(fresh.get(), "单选框自动输入")->Checked());
}

TEST_F(Persist, MissingKeysKeepStatesAndFalseGroupsComeBackEmpty) {
  WriteFileBytes(path, W("[主界面]\r\n单选框自动输入=假\r\n单选框输入ANSI=假\r\n组合框换行格式=abc\r\n"
                         "选择框不带BOM=yes\r\n旧名字=真"));
  OpenStore();
  Get(window.get(), "组合框换行格式")->SetSelection(2);
  PersistControls(&store, window.get(), Direction::Restore, W("主界面"));
  for (const char* name : {"单选框自动输入", "单选框输入ANSI", "单选框输入UTF8", "单选框输入Ule", "单选框输入Ube"}) {
    EXPECT_FALSE(Get(window.get(), name)->Checked()) << name;
  }
  EXPECT_TRUE(Get(window.get(), "单选框自动输出")->Checked());     // no key: unchanged
  EXPECT_EQ(Get(window.get(), "组合框换行格式")->Selection(), 0);  // not a number
  EXPECT_FALSE(Get(window.get(), "选择框不带BOM")->Checked());
}

TEST_F(Persist, TagOptOutsAndByteMode) {
  OpenStore();
  PersistControls(&store, window.get(), Direction::Save, W("主界面"));
  const std::string before = File();
  form::Control* filter = Get(window.get(), "编辑框文件过滤");
  filter->SetContent("*.new");
  filter->SetTag(W("禁止保存"));
  PersistControls(&store, window.get(), Direction::Save, W("主界面"));
  EXPECT_EQ(File(), before);  // the previous value stays untouched
  filter->SetTag(W("字节集方式"));
  PersistControls(&store, window.get(), Direction::Save, W("主界面"));
  EXPECT_EQ(File(), before);
  EXPECT_EQ(ReadFileBytes(dir.Join("inibin\\" + W("主界面-编辑框文件过滤.ibn"))), "*.new");
  filter->SetContent("other");
  PersistControls(&store, window.get(), Direction::Restore, W("主界面"));
  EXPECT_EQ(filter->Content(), "*.new");
}

TEST_F(Persist, OtherKindsAndFurtherOptions) {
  OpenStore();
  form::MemoryWindow w;
  w.Add("frame", Kind::PictureBox);
  auto* list = w.Add(W("列表框1"), Kind::ListBox, "frame");
  auto* checked = w.Add(W("选择列表框1"), Kind::CheckedListBox);
  auto* colour = w.Add(W("颜色选择器1"), Kind::ColourPicker);
  auto* dialog = w.Add(W("通用对话框1"), Kind::CommonDialog);
  auto* tree = w.Add(W("树型框1"), Kind::TreeView);
  auto* combo = w.Add(W("组合框可编辑"), Kind::ComboBox);
  auto* impostor = w.Add(W("按钮假的"), Kind::Label);  // name says button, it is a label
  auto* gone = w.Add(W("选择框不在了"), Kind::CheckBox);
  combo->SetComboStyle(form::kComboDropDown);
  list->SetItems({{"a", 7, false}, {"b", -2, false}});
  checked->SetItems({{"x", 1, true}, {"y", 2, false}});
  colour->SetColour(0x00FF8000);
  dialog->SetContent("C:\\f.txt");
  tree->SetContent(std::string("\0tree", 5));
  combo->SetContent("typed");
  combo->SetItems({{"i1", 0, false}});
  impostor->SetTag("t");
  gone->SetExists(false);
  PersistOptions options;
  options.keepComboItems = true;
  PersistControls(&store, &w, Direction::Save, "s", options);
  EXPECT_EQ(File(), "[s]\r\n" + W("列表框1=a{G}7{H}b{G}-2\r\n选择列表框1=x{G}1{G}真{H}y{G}2{G}假\r\n"
                                  "颜色选择器1=16744448\r\n通用对话框1=C:\\f.txt\r\n组合框可编辑.项目=i1{G}0\r\n"
                                  "组合框可编辑.内容=typed"));
  EXPECT_EQ(ReadFileBytes(dir.Join("inibin\\s-" + W("树型框1.列表.ibn"))), std::string("\0tree", 5));

  form::MemoryWindow copy;
  copy.Add("frame", Kind::PictureBox);
  auto* list2 = copy.Add(W("列表框1"), Kind::ListBox, "frame");
  auto* checked2 = copy.Add(W("选择列表框1"), Kind::CheckedListBox);
  auto* combo2 = copy.Add(W("组合框可编辑"), Kind::ComboBox);
  combo2->SetComboStyle(form::kComboSimple);
  PersistControls(&store, &copy, Direction::Restore, "s");
  EXPECT_EQ(list2->Items(), list->Items());
  EXPECT_EQ(checked2->Items(), checked->Items());
  EXPECT_EQ(combo2->Content(), "typed");

  // Skip lists and parent filters leave controls alone; only-lists keep just those.
  list2->SetItems({});
  options = PersistOptions{};
  options.skipParents = {"frame"};
  PersistControls(&store, &copy, Direction::Restore, "s", options);
  EXPECT_TRUE(list2->Items().empty());
  options = PersistOptions{};
  options.onlyNames = {W("选择列表框1")};
  PersistControls(&store, &copy, Direction::Restore, "s", options);
  EXPECT_TRUE(list2->Items().empty());
  options = PersistOptions{};
  options.onlyParents = {"frame"};
  PersistControls(&store, &copy, Direction::Restore, "s", options);
  EXPECT_EQ(list2->Items(), list->Items());
}

TEST_F(Persist, ExportAndImportAsOneText) {
  OpenStore();
  Get(window.get(), "单选框简到繁")->SetChecked(true);
  std::string text;
  PersistOptions options;
  options.exchangeText = &text;
  PersistControls(&store, window.get(), Direction::Save, W("主界面"), options);
  EXPECT_EQ(File(), "");  // nothing went to the store
  EXPECT_NE(text.find(W("单选框简到繁=真")), std::string::npos);
  auto fresh = form::NewMainWindow();
  PersistControls(&store, fresh.get(), Direction::Restore, W("主界面"), options);
  EXPECT_TRUE(Get(fresh.get(), "单选框简到繁")->Checked());
  EXPECT_FALSE(Get(fresh.get(), "单选框不转")->Checked());
}

}  // namespace
}  // namespace cw::settings
