// The main window's control table. Literal texts are written as UTF-8 here and turned
// into working-code-page bytes once, the first time the table is asked for.
#include "form/main_window.h"

#include <algorithm>
#include <map>
#include <optional>

#include "encoding/charset.h"

namespace cw::form {
namespace {

FontSpec Font(const char* faceUtf8, int height, bool bold = false, FontCharset charset = FontCharset::Gb2312) {
  FontSpec font;
  font.face = FromUtf8(faceUtf8);
  font.height = height;
  font.bold = bold;
  font.charset = charset;
  return font;
}
FontSpec Song(int height, bool bold = false) { return Font("宋体", height, bold); }

using Id = ControlId;
// The client area itself, for the rows that no panel or frame holds.
const std::optional<Id> kWindow;

// Collects the rows in identifier order. A container is named by its identifier and
// comes before what it holds, so its name is already known.
class Table {
 public:
  // Returns the row just added, to set what the arguments do not cover; the reference
  // holds until the next row is added.
  ControlSpec& Add(Id id, const char* nameUtf8, Kind kind, std::optional<Id> container, Geometry geometry,
                   const char* captionUtf8, FontSpec font) {
    ControlSpec spec;
    spec.id = id;
    spec.name = FromUtf8(nameUtf8);
    spec.kind = kind;
    if (container && static_cast<size_t>(*container) < specs_.size()) {
      spec.container = specs_[static_cast<size_t>(*container)].name;
    }
    spec.geometry = geometry;
    spec.caption = FromUtf8(captionUtf8);
    spec.font = std::move(font);
    specs_.push_back(std::move(spec));
    return specs_.back();
  }

  void Radio(Id id, const char* name, Id container, Geometry geometry, const char* caption, int fontHeight,
             bool checked = false) {
    Add(id, name, Kind::RadioButton, container, geometry, caption, Song(fontHeight)).checked = checked;
  }

  std::vector<ControlSpec> Take() { return std::move(specs_); }

 private:
  std::vector<ControlSpec> specs_;
};

// The header strip, the containers of the option rows and the labels.
void AddHeaderAndFrames(Table& t) {
  // Header strip: a white banner closed by a two-pixel line, and one more link below
  // the option rows. Their content is ours; nothing else reads them.
  t.Add(Id::HeaderBanner, "图片框3", Kind::PictureBox, kWindow, {0, 0, 1000, 90}, "", FontSpec{}).backColour = 0xFFFFFF;
  t.Add(Id::HeaderLine, "标签3", Kind::Label, kWindow, {0, 88, 1200, 2}, "", FontSpec{}).backColour = 0xC0C0C0;
  // Below the option row, where the client area still shows it (the window grows by
  // what the system's frame leaves too little).
  ControlSpec& link = t.Add(Id::UsageLink, "超链接1", Kind::Link, kWindow, {326, 398, 232, 20}, "使用说明", Song(15));
  link.transparent = true;
  link.handCursor = true;
  t.Add(Id::BannerTimer, "时钟1", Kind::Timer, kWindow, {}, "", FontSpec{}).timerInterval = 20;

  // The three containers of the option rows, with their labels.
  t.Add(Id::InputPanel, "图片框1", Kind::PictureBox, kWindow, {16, 105, 584, 32}, "", FontSpec{});
  t.Add(Id::InputLabel, "标签1", Kind::Label, Id::InputPanel, {8, 3, 79, 24}, "输入编码：", Song(14, true));
  t.Add(Id::OutputPanel, "图片框2", Kind::PictureBox, kWindow, {16, 148, 584, 32}, "", FontSpec{});
  t.Add(Id::OutputLabel, "标签2", Kind::Label, Id::OutputPanel, {8, 3, 79, 24}, "输出编码：", Song(14, true));
  t.Add(Id::ScriptFrame, "外形框1", Kind::Shape, kWindow, {16, 192, 584, 72}, "", FontSpec{});
  t.Add(Id::ScriptLabel, "标签4", Kind::Label, Id::ScriptFrame, {8, 3, 79, 24}, "繁简互转：", Song(14, true));
  t.Add(Id::AdvancedLabel, "标签5", Kind::Label, kWindow, {24, 368, 88, 24}, "高级选项：", Song(15, true)).enabled =
      false;
}

std::vector<ControlSpec> MakeMainWindowControls() {
  Table t;
  AddHeaderAndFrames(t);

  // Progress bar and the status line that is moved onto it when the window is created.
  t.Add(Id::ProgressBar, "进度条", Kind::ProgressBar, kWindow, {24, 272, 552, 24}, "", FontSpec{});
  ControlSpec& status = t.Add(Id::StatusLabel, "透明标签", Kind::Label, kWindow, {39, 272, 520, 24}, "", Song(15));
  status.transparent = true;
  status.handCursor = true;

  // The kept option controls, in the order their keys appear after a first save.
  ControlSpec& combo =
      t.Add(Id::LineEndings, "组合框换行格式", Kind::ComboBox, kWindow, {432, 368, 144, 23}, "", Song(15));
  combo.comboStyle = kComboDropDownList;
  for (const char* item : {"是否改变换行格式", "改为 Win (\\r\\n)", "改为 Unix (\\n)", "改为 Mac (\\r)"}) {
    combo.items.push_back(FromUtf8(item));
  }
  combo.selection = 0;
  t.Add(Id::WithoutBom, "选择框不带BOM", Kind::CheckBox, kWindow, {347, 368, 85, 24}, "不带BOM", Song(15));
  t.Add(Id::ConvertFileName, "选择框同时转换文件名", Kind::CheckBox, Id::ScriptFrame, {8, 35, 152, 24},
        "同时转换文件名", Song(15));
  // 123 wide, not 136: it ends where "不带BOM" begins, so that box's square is not
  // covered (its text needs about 110).
  t.Add(Id::SubFolders, "选择框包含子文件夹", Kind::CheckBox, kWindow, {224, 368, 123, 24}, "包含子文件夹", Song(15));
  t.Add(Id::Overwrite, "选择框覆盖原文件", Kind::CheckBox, kWindow, {112, 368, 104, 24}, "覆盖原文件", Song(15));
  t.Radio(Id::Big5ToTraditional, "单选框b5到繁", Id::ScriptFrame, {464, 35, 112, 24}, "Big5到繁体", 15);
  t.Radio(Id::Big5ToSimplified, "单选框b5到简", Id::ScriptFrame, {464, 3, 112, 24}, "Big5到简体", 15);
  t.Radio(Id::TraditionalToBig5, "单选框繁到b5", Id::ScriptFrame, {328, 35, 112, 24}, "繁体到Big5", 15);
  t.Radio(Id::SimplifiedToBig5, "单选框简到b5", Id::ScriptFrame, {328, 3, 112, 24}, "简体到Big5", 15);
  t.Radio(Id::TraditionalToSimplified, "单选框繁到简", Id::ScriptFrame, {176, 35, 112, 24}, "繁体到简体", 15);
  t.Radio(Id::SimplifiedToTraditional, "单选框简到繁", Id::ScriptFrame, {176, 3, 112, 24}, "简体到繁体", 15);
  t.Radio(Id::NoScript, "单选框不转", Id::ScriptFrame, {96, 3, 64, 24}, "不转", 15, true);
  t.Radio(Id::InputAuto, "单选框自动输入", Id::InputPanel, {96, 3, 64, 24}, "自动", 14, true);
  t.Radio(Id::InputAnsi, "单选框输入ANSI", Id::InputPanel, {176, 3, 64, 24}, "ANSI", 14);
  t.Radio(Id::InputUtf8, "单选框输入UTF8", Id::InputPanel, {248, 3, 63, 24}, "UTF-8", 14);
  t.Radio(Id::InputUtf16Le, "单选框输入Ule", Id::InputPanel, {328, 3, 80, 24}, "Unicode", 14);
  t.Radio(Id::InputUtf16Be, "单选框输入Ube", Id::InputPanel, {416, 3, 159, 24}, "Unicode big endian", 14);
  t.Radio(Id::OutputAuto, "单选框自动输出", Id::OutputPanel, {96, 3, 64, 24}, "自动", 14, true);
  t.Radio(Id::OutputAnsi, "单选框输出ANSI", Id::OutputPanel, {176, 3, 64, 24}, "ANSI", 14);
  t.Radio(Id::OutputUtf8, "单选框输出UTF8", Id::OutputPanel, {248, 3, 63, 24}, "UTF-8", 14);
  t.Radio(Id::OutputUtf16Le, "单选框输出Ule", Id::OutputPanel, {328, 3, 80, 24}, "Unicode", 14);
  t.Radio(Id::OutputUtf16Be, "单选框输出Ube", Id::OutputPanel, {416, 3, 159, 24}, "Unicode big endian", 14);
  // The filter box comes before the folder button so that it lies above it: it sits
  // inside the button's rectangle and must receive the clicks.
  t.Add(Id::FilterBox, "编辑框文件过滤", Kind::EditBox, kWindow, {496, 316, 64, 26}, "",
        Font("宋体", 15, false, FontCharset::Ansi))
      .content = "*.*";
  t.Add(Id::FolderButton, "按钮批量转换文件夹", Kind::PushButton, kWindow, {224, 304, 352, 48}, " 批量转换(文件夹方式)",
        Font("黑体", 21, true));
  t.Add(Id::ListButton, "按钮批量转换", Kind::PushButton, kWindow, {24, 304, 192, 48}, "批量转换",
        Font("黑体", 21, true));
  return t.Take();
}

}  // namespace

const WindowSpec& MainWindowSpec() {
  static const WindowSpec spec = [] {
    WindowSpec s;
    s.caption = FromUtf8("青禾·澄文坊 v1.6.0.0 - 支持拖放文件和目录");
    s.width = 606;
    s.height = 436;
    s.designLeft = 50;
    s.designTop = 50;
    return s;
  }();
  return spec;
}

const std::vector<ControlSpec>& MainWindowControls() {
  static const std::vector<ControlSpec> controls = MakeMainWindowControls();
  return controls;
}

const ControlSpec& SpecOf(ControlId id) { return MainWindowControls()[static_cast<size_t>(id)]; }

const std::string& NameOf(ControlId id) { return SpecOf(id).name; }

Control* Find(Window& window, ControlId id) { return window.Find(NameOf(id)); }

std::vector<size_t> ReadingOrder(const std::vector<ControlSpec>& specs) {
  std::map<std::string, size_t> containerRank;
  for (const ControlSpec& spec : specs) containerRank.emplace(spec.container, containerRank.size());
  std::vector<size_t> order(specs.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    const ControlSpec& x = specs[a];
    const ControlSpec& y = specs[b];
    const size_t rankX = containerRank[x.container];
    const size_t rankY = containerRank[y.container];
    if (rankX != rankY) return rankX < rankY;
    if (x.geometry.top != y.geometry.top) return x.geometry.top < y.geometry.top;
    return x.geometry.left < y.geometry.left;
  });
  return order;
}

void BuildWindow(const std::vector<ControlSpec>& specs, MemoryWindow* window) {
  for (const ControlSpec& spec : specs) {
    MemoryControl* control = window->Add(spec.name, spec.kind, spec.container);
    if (!control) continue;
    control->SetComboStyle(spec.kind == Kind::ComboBox ? spec.comboStyle : 0);
    control->SetGeometry(spec.geometry);
    control->SetCaption(spec.caption);
    control->SetContent(spec.content);
    control->SetEnabled(spec.enabled);
    control->SetProgressMaximum(spec.progressMaximum);
    control->SetProgressPosition(spec.progressPosition);
    std::vector<Item> items;
    for (const std::string& text : spec.items) items.push_back(Item{text, 0, false});
    control->SetItems(items);
    control->SetSelection(spec.selection);
    if (spec.checked) control->SetChecked(true);
  }
}

std::unique_ptr<MemoryWindow> NewMainWindow() {
  auto window = std::make_unique<MemoryWindow>();
  BuildWindow(MainWindowControls(), window.get());
  return window;
}

}  // namespace cw::form
