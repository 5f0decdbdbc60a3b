// The main window's table and the in-memory window: what the shell, the batch and the
// settings store rely on.
#include <algorithm>
#include <map>
#include <set>

#include <gtest/gtest.h>

#include "encoding/charset.h"
#include "form/main_window.h"
#include "support/temp_dir.h"

namespace cw::form {
namespace {

using cw::test::W;

class MainWindowTable : public ::testing::Test {
 protected:
  std::unique_ptr<MemoryWindow> window = NewMainWindow();
  Control* Get(const char* utf8Name) {
    Control* control = window->Find(W(utf8Name));
    EXPECT_NE(control, nullptr) << utf8Name;
    return control;
  }
};

TEST_F(MainWindowTable, KeptControlsComeLastInTheirKeyOrder) {
  const char* kKept[] = {
      "组合框换行格式", "选择框不带BOM", "选择框同时转换文件名", "选择框包含子文件夹", "选择框覆盖原文件",
      "单选框b5到繁",   "单选框b5到简",  "单选框繁到b5",         "单选框简到b5",       "单选框繁到简",
      "单选框简到繁",   "单选框不转",    "单选框自动输入",       "单选框输入ANSI",     "单选框输入UTF8",
      "单选框输入Ule",  "单选框输入Ube", "单选框自动输出",       "单选框输出ANSI",     "单选框输出UTF8",
      "单选框输出Ule",  "单选框输出Ube", "编辑框文件过滤",       "按钮批量转换文件夹", "按钮批量转换"};
  const int count = window->ControlCount();
  ASSERT_GT(count, 25);
  for (int i = 0; i < 25; ++i) {
    EXPECT_EQ(window->ControlAt(count - 25 + i)->Name(), W(kKept[i])) << i;
  }
  // Nothing before them may carry a kind word that the settings store keeps.
  for (int i = 0; i < count - 25; ++i) {
    const std::string& name = window->ControlAt(i)->Name();
    for (const char* word : {"按钮", "编辑框", "选择框", "单选框", "组合框"}) {
      EXPECT_NE(name.rfind(W(word), 0), 0u) << ToUtf8(name);
    }
  }
}

// Code names a control by its identifier: each identifier has exactly its own row, whose
// name no other row has, and finds that control in a window built from the table.
TEST_F(MainWindowTable, EveryIdentifierHasItsOwnRow) {
  const std::vector<ControlSpec>& specs = MainWindowControls();
  ASSERT_EQ(specs.size(), static_cast<size_t>(kControlCount));
  std::set<std::string> names;
  for (int i = 0; i < kControlCount; ++i) {
    const ControlSpec& spec = specs[static_cast<size_t>(i)];
    EXPECT_EQ(static_cast<int>(spec.id), i) << ToUtf8(spec.name);
    EXPECT_TRUE(names.insert(spec.name).second) << ToUtf8(spec.name);
    EXPECT_EQ(Find(*window, static_cast<ControlId>(i)), window->ControlAt(i)) << ToUtf8(spec.name);
  }
}

TEST_F(MainWindowTable, FirstStartDefaults) {
  std::set<std::string> checkedRadios;
  for (int i = 0; i < window->ControlCount(); ++i) {
    Control* c = window->ControlAt(i);
    if (c->GetKind() == Kind::RadioButton && c->Checked()) checkedRadios.insert(ToUtf8(c->Name()));
    if (c->GetKind() == Kind::CheckBox) {
      EXPECT_FALSE(c->Checked()) << ToUtf8(c->Name());
    }
    EXPECT_TRUE(c->Tag().empty());
  }
  EXPECT_EQ(checkedRadios, (std::set<std::string>{"单选框自动输入", "单选框自动输出", "单选框不转"}));
  Control* combo = Get("组合框换行格式");
  EXPECT_EQ(combo->ComboStyle(), kComboDropDownList);
  EXPECT_EQ(combo->Selection(), 0);
  ASSERT_EQ(combo->Items().size(), 4u);
  EXPECT_EQ(combo->Items()[1].text, W("改为 Win (") + "\\r\\n)");  // literal backslashes
  EXPECT_EQ(combo->Items()[3].text, W("改为 Mac (") + "\\r)");
  EXPECT_EQ(Get("编辑框文件过滤")->Content(), "*.*");
  EXPECT_EQ(Get("按钮批量转换文件夹")->Caption(), W(" 批量转换(文件夹方式)"));
  EXPECT_EQ(Get("透明标签")->Caption(), "");
  EXPECT_FALSE(Get("标签5")->Enabled());
  Control* bar = Get("进度条");
  EXPECT_EQ(bar->ProgressMaximum(), 100);
  EXPECT_EQ(bar->ProgressPosition(), 0);
  EXPECT_EQ(Get("单选框输入Ube")->GetGeometry(), (Geometry{416, 3, 159, 24}));
  EXPECT_EQ(Get("编辑框文件过滤")->GetGeometry(), (Geometry{496, 316, 64, 26}));
}

TEST_F(MainWindowTable, ContainersHoldTheirRowsAndComeFirst) {
  std::set<std::string> seen;
  for (int i = 0; i < window->ControlCount(); ++i) {
    Control* c = window->ControlAt(i);
    if (!c->Container().empty()) {
      EXPECT_TRUE(seen.count(c->Container())) << ToUtf8(c->Name()) << " before its container";
    }
    if (c->GetKind() == Kind::RadioButton) {
      const std::string row = ToUtf8(c->Name()).find("输入") != std::string::npos   ? "图片框1"
                              : ToUtf8(c->Name()).find("输出") != std::string::npos ? "图片框2"
                                                                                    : "外形框1";
      EXPECT_EQ(c->Container(), W(row.c_str())) << ToUtf8(c->Name());
    }
    seen.insert(c->Name());
  }
  EXPECT_EQ(Get("选择框同时转换文件名")->Container(), W("外形框1"));
  EXPECT_EQ(Get("选择框覆盖原文件")->Container(), "");
}

TEST_F(MainWindowTable, TableBytesAndFonts) {
  // The title's middle dot is GBK A1 A4.
  EXPECT_NE(MainWindowSpec().caption.find("\xC7\xE0\xBA\xCC\xA1\xA4"), std::string::npos);
  EXPECT_EQ(MainWindowSpec().width, 606);
  EXPECT_EQ(MainWindowSpec().height, 436);
  for (const ControlSpec& spec : MainWindowControls()) {
    if (spec.name == W("编辑框文件过滤")) {
      EXPECT_EQ(spec.font.charset, FontCharset::Ansi);
    } else if (spec.name == W("按钮批量转换")) {
      EXPECT_EQ(spec.font.face, W("黑体"));
      EXPECT_EQ(spec.font.height, 21);
      EXPECT_TRUE(spec.font.bold);
    } else if (spec.name == W("单选框不转")) {
      EXPECT_EQ(spec.font.height, 15);
    } else if (spec.name == W("单选框自动输入")) {
      EXPECT_EQ(spec.font.height, 14);
    }
  }
}

TEST_F(MainWindowTable, ReadingOrderGoesDownTheRowsAndLeftToRightWithinEach) {
  // The controls a user reaches with Tab, per container, in the order Tab reaches them.
  const std::set<Kind> focusable = {Kind::PushButton,  Kind::EditBox,    Kind::CheckBox, Kind::ComboBox,
                                    Kind::RadioButton, Kind::PictureBox, Kind::Shape};
  std::map<std::string, std::vector<std::string>> byContainer;
  for (size_t index : ReadingOrder(MainWindowControls())) {
    const ControlSpec& spec = MainWindowControls()[index];
    if (focusable.count(spec.kind)) byContainer[ToUtf8(spec.container)].push_back(ToUtf8(spec.name));
  }
  EXPECT_EQ(byContainer[""], (std::vector<std::string>{"图片框3", "图片框1", "图片框2", "外形框1", "按钮批量转换",
                                                       "按钮批量转换文件夹", "编辑框文件过滤", "选择框覆盖原文件",
                                                       "选择框包含子文件夹", "选择框不带BOM", "组合框换行格式"}));
  EXPECT_EQ(byContainer["外形框1"],
            (std::vector<std::string>{"单选框不转", "单选框简到繁", "单选框简到b5", "单选框b5到简",
                                      "选择框同时转换文件名", "单选框繁到简", "单选框繁到b5", "单选框b5到繁"}));
  EXPECT_EQ(byContainer["图片框1"].front(), "单选框自动输入");
  EXPECT_EQ(byContainer["图片框2"].back(), "单选框输出Ube");
}

TEST(MemoryWindowRules, RadioButtonsAreExclusiveWithinTheirContainerOnly) {
  auto window = NewMainWindow();
  window->Find(W("单选框输入UTF8"))->SetChecked(true);
  EXPECT_TRUE(window->Find(W("单选框输入UTF8"))->Checked());
  EXPECT_FALSE(window->Find(W("单选框自动输入"))->Checked());
  EXPECT_TRUE(window->Find(W("单选框自动输出"))->Checked());  // other container
  EXPECT_TRUE(window->Find(W("单选框不转"))->Checked());
  // Clearing one leaves the group with none checked (only a restore does this).
  window->Find(W("单选框输入UTF8"))->SetChecked(false);
  for (const char* name : {"单选框自动输入", "单选框输入ANSI", "单选框输入UTF8"}) {
    EXPECT_FALSE(window->Find(W(name))->Checked());
  }
}

// What a user sees of each control must be its own: a control that overlaps another
// covers part of it (a check box's square, once), unless it is held by it. The window
// nests three pairs on purpose: the status label goes into the progress bar when the
// window is created, the folder button leaves a hole for the filter box, and the line
// under the banner closes the banner's bottom edge.
TEST_F(MainWindowTable, NoTwoControlsOverlapUnlessOneHoldsTheOther) {
  const std::vector<ControlSpec>& specs = MainWindowControls();
  const std::set<std::pair<ControlId, ControlId>> nested = {{ControlId::StatusLabel, ControlId::ProgressBar},
                                                            {ControlId::FilterBox, ControlId::FolderButton},
                                                            {ControlId::HeaderLine, ControlId::HeaderBanner}};
  std::map<std::string, const ControlSpec*> byName;
  for (const ControlSpec& spec : specs) byName[spec.name] = &spec;
  // In the client area's coordinates: a held control's are its container's plus its own.
  auto area = [&](const ControlSpec& spec) {
    Geometry g = spec.geometry;
    for (const ControlSpec* holder = &spec; !holder->container.empty();) {
      holder = byName.at(holder->container);
      g.left += holder->geometry.left;
      g.top += holder->geometry.top;
    }
    // The banner and its line run past the window's right edge, which cuts both.
    g.width = std::min(g.width, MainWindowSpec().width - g.left);
    return g;
  };
  auto holds = [&](const ControlSpec& outer, const ControlSpec& inner) {
    const Geometry o = area(outer);
    const Geometry i = area(inner);
    const bool inside = i.left >= o.left && i.top >= o.top && i.left + i.width <= o.left + o.width &&
                        i.top + i.height <= o.top + o.height;
    return inside && (inner.container == outer.name || nested.count({inner.id, outer.id}) != 0);
  };
  int pairs = 0;
  for (size_t a = 0; a < specs.size(); ++a) {
    for (size_t b = a + 1; b < specs.size(); ++b) {
      const ControlSpec& x = specs[a];
      const ControlSpec& y = specs[b];
      if (x.kind == Kind::Timer || y.kind == Kind::Timer) continue;  // nothing to see
      const Geometry p = area(x);
      const Geometry q = area(y);
      const bool overlap = p.left < q.left + q.width && q.left < p.left + p.width && p.top < q.top + q.height &&
                           q.top < p.top + p.height;
      if (!overlap) continue;
      ++pairs;
      EXPECT_TRUE(holds(x, y) || holds(y, x)) << ToUtf8(x.name) << " and " << ToUtf8(y.name) << " overlap";
    }
  }
  EXPECT_GT(pairs, 20) << "the panels and the frame hold their rows";
}

TEST(MemoryWindowRules, ProgressAndSelectionAreClamped) {
  MemoryWindow window;
  Control* bar = window.Add("bar", Kind::ProgressBar);
  bar->SetProgressMaximum(50000);
  EXPECT_EQ(bar->ProgressMaximum(), kProgressLimit);
  bar->SetProgressPosition(40000);
  EXPECT_EQ(bar->ProgressPosition(), kProgressLimit);
  bar->SetProgressMaximum(-5);
  EXPECT_EQ(bar->ProgressMaximum(), 0);
  EXPECT_EQ(bar->ProgressPosition(), 0);
  bar->SetProgressMaximum(10);
  bar->SetProgressPosition(-3);
  EXPECT_EQ(bar->ProgressPosition(), 0);

  Control* list = window.Add("list", Kind::ListBox);
  list->SetItems({{"a", 1, false}, {"b", 2, false}});
  list->SetSelection(1);
  EXPECT_EQ(list->Selection(), 1);
  list->SetSelection(2);
  EXPECT_EQ(list->Selection(), -1);
  list->SetSelection(0);
  list->SetItems({});
  EXPECT_EQ(list->Selection(), -1);

  // States a kind does not have stay empty; names are unique.
  Control* label = window.Add("label", Kind::Label);
  label->SetChecked(true);
  EXPECT_FALSE(label->Checked());
  EXPECT_EQ(window.Add("label", Kind::EditBox), nullptr);
  EXPECT_EQ(window.Find("missing"), nullptr);
}

}  // namespace
}  // namespace cw::form
