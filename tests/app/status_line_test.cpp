// The status line over the progress bar: where its path is, and that a line too long for
// the bar gives way in the path only, never in the state before it or the counts after.
#include "app/status_line.h"
#include "app_fixture.h"

namespace cw::app::test {
namespace {

// One unit per character, as a fixed-pitch font would measure.
int Count(const std::wstring& text) { return static_cast<int>(text.size()); }

TEST(StatusLine, IsSplitAroundItsPath) {
  struct Case {
    const char* caption;
    const char* folder;
    const char* head;
    const char* path;
    const char* tail;
  };
  const Case cases[] = {
      {"转换完成！点击可打开目录：D:\\docs(已转换)", "D:\\docs(已转换)", "转换完成！点击可打开目录：",
       "D:\\docs(已转换)", ""},
      {"已停止：完成 3/9。点击可打开目录：D:\\a(已转换)（3 个已转换，1 个失败）", "D:\\a(已转换)",
       "已停止：完成 3/9。点击可打开目录：", "D:\\a(已转换)", "（3 个已转换，1 个失败）"},
      // No folder in the line: the path runs from its drive to the end.
      {"正在读取目录：\\\\server\\share\\docs", "D:\\old", "正在读取目录：", "\\\\server\\share\\docs", ""},
      {"(3000:155) 说明", "", "(3000:155) 说明", "", ""},
  };
  for (const Case& c : cases) {
    const StatusLineParts parts = SplitStatusLine(WideFromUtf8(c.caption), WideFromUtf8(c.folder));
    EXPECT_EQ(parts.head, WideFromUtf8(c.head)) << c.caption;
    EXPECT_EQ(parts.path, WideFromUtf8(c.path)) << c.caption;
    EXPECT_EQ(parts.tail, WideFromUtf8(c.tail)) << c.caption;
  }
}

TEST(StatusLine, GivesWayInThePathsMiddleThenDropsTheHint) {
  StatusLineParts parts;
  parts.head = WideFromUtf8(u8"已停止：完成 3/9。点击可打开目录：");  // 19
  parts.path = L"D:\\folder\\deeper\\many3k(X)";                      // 26
  parts.tail = WideFromUtf8(u8"（3 个已转换）");                      // 8
  struct Case {
    int width;
    const wchar_t* drawn;
  };
  const Case cases[] = {
      {53, nullptr},  // everything fits
      {40, L"D:\\f\u2026any3k(X)"},
      {28, L"\u2026"},
      // Not even the ellipsis between the whole head and the counts: the hint goes.
      {27, L"D:\u20263k(X)"},
      {12, L"\u2026"},  // and a line that still does not fit is cut by the label
  };
  for (const Case& c : cases) {
    const std::wstring line = FitStatusLine(parts, c.width, &Count);
    std::wstring expected;
    if (!c.drawn) {
      expected = parts.head + parts.path + parts.tail;
    } else if (c.width >= 28) {
      expected = parts.head + c.drawn + parts.tail;
    } else {
      expected = WideFromUtf8(u8"已停止：完成 3/9。") + c.drawn + parts.tail;
    }
    EXPECT_EQ(line, expected) << c.width;
  }
}

class StatusLineWindowTest : public AppTest {};

// The line as the real label draws it: a stopped run in a deep folder keeps its state and
// counts whole, and the path loses its middle.
TEST_F(StatusLineWindowTest, TheStateAndTheCountsAlwaysShow) {
  Start();
  Win32Control* label = Get(Id::StatusLabel);
  std::string folder = "D:";
  for (int i = 0; i < 12; ++i) folder += W("\\很长的文件夹名字") + std::to_string(i);
  folder += W("\\many3k(已转换)");
  const std::string head = W("已停止：完成 155/3000。点击可打开目录：");
  const std::string tail = W("（150 个已转换，其中 3 个有损失，5 个失败）");
  label->SetTag(folder);
  label->SetCaption(head + folder + tail);
  const std::wstring drawn = DrawnStatusText(label->Handle(), Wide(folder));
  RECT area;
  GetClientRect(label->Handle(), &area);
  EXPECT_LE(StatusTextWidth(label->Handle(), drawn), area.right) << Narrow(drawn);
  EXPECT_EQ(drawn.rfind(WideFromUtf8(u8"已停止：完成 155/3000。"), 0), 0u) << Narrow(drawn);
  EXPECT_EQ(drawn.substr(drawn.size() - Wide(tail).size()), Wide(tail)) << Narrow(drawn);
  EXPECT_NE(drawn.find(L'\u2026'), std::wstring::npos) << Narrow(drawn);
  EXPECT_EQ(WindowText(label->Handle()), head + folder + tail) << "the caption itself stays whole";
}

}  // namespace
}  // namespace cw::app::test
