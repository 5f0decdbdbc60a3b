// The real main window under Windows (or Wine): caption, size and place, every control of
// the table with its class, container, position, caption, font and default, the radio
// groups, the tab order, the filter box inside the folder button, the link inside the
// client area and the status label on the progress bar.
#include <cwctype>

#include "app/win32_dialogs.h"
#include "app_fixture.h"
#include "encoding/charset.h"
#include "form/main_window.h"

namespace cw::app::test {
namespace {

using form::Kind;

// The tests run with the program's own manifest active, so they get the same common
// controls (version 6) as chengwen.exe.
class CommonControlsEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    std::string path = CW_SOURCE_DIR "/src/app/main/chengwen.manifest";
    if (!path.empty() && path[0] == '/') path = "Z:" + path;  // Wine's drive for the Linux root
    for (char& c : path) {
      if (c == '/') c = '\\';
    }
    const std::wstring manifest = Wide(path);
    ACTCTXW context = {};
    context.cbSize = sizeof(context);
    context.lpSource = manifest.c_str();
    HANDLE handle = CreateActCtxW(&context);
    ULONG_PTR cookie = 0;
    if (handle != INVALID_HANDLE_VALUE) ActivateActCtx(handle, &cookie);
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
  }
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new CommonControlsEnvironment);

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 63);
  std::wstring lower(name);
  for (wchar_t& c : lower) c = static_cast<wchar_t>(std::towlower(c));
  return lower;
}

// The window class and the style bits that make each kind what it is.
void ExpectKind(HWND window, Kind kind, const std::string& name) {
  const LONG style = GetWindowLongW(window, GWL_STYLE);
  switch (kind) {
    case Kind::PushButton:
      EXPECT_EQ(ClassOf(window), L"button") << name;
      EXPECT_EQ(style & BS_TYPEMASK, BS_PUSHBUTTON) << name;
      break;
    case Kind::CheckBox:
      EXPECT_EQ(ClassOf(window), L"button") << name;
      EXPECT_EQ(style & BS_TYPEMASK, BS_AUTOCHECKBOX) << name;
      break;
    case Kind::RadioButton:
      EXPECT_EQ(ClassOf(window), L"button") << name;
      EXPECT_EQ(style & BS_TYPEMASK, BS_AUTORADIOBUTTON) << name;
      break;
    case Kind::Label:
    case Kind::Link: EXPECT_EQ(ClassOf(window), L"static") << name; break;
    case Kind::EditBox:
      EXPECT_EQ(ClassOf(window), L"edit") << name;
      EXPECT_EQ(style & ES_MULTILINE, 0) << name;
      break;
    case Kind::ComboBox:
      EXPECT_EQ(ClassOf(window), L"combobox") << name;
      EXPECT_EQ(style & 3, CBS_DROPDOWNLIST) << name;
      break;
    case Kind::ProgressBar: EXPECT_EQ(ClassOf(window), L"msctls_progress32") << name; break;
    case Kind::PictureBox:
    case Kind::Shape: EXPECT_EQ(ClassOf(window), L"chengwenpanel") << name; break;
    default: ADD_FAILURE() << name << " should have no window";
  }
}

class MainWindowTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    Start();
  }
};

TEST_F(MainWindowTest, CaptionSizeBorderAndCentredPlace) {
  ShowWindow(Main(), SW_SHOWNORMAL);
  EXPECT_EQ(WindowText(Main()), W("青禾·澄文坊 v1.6.0.0 - 支持拖放文件和目录"));
  RECT frame;
  GetWindowRect(Main(), &frame);
  const int dpi = ScreenDpi();
  EXPECT_EQ(frame.right - frame.left, Scale(606, dpi));
  // 436 high, or taller by what the system's frame leaves the link below the options.
  const int height = frame.bottom - frame.top;
  EXPECT_GE(height, Scale(436, dpi));
  EXPECT_LE(height, Scale(436 + 24, dpi));
  EXPECT_EQ(frame.left, (GetSystemMetrics(SM_CXSCREEN) - Scale(606, dpi)) / 2);
  EXPECT_EQ(frame.top, (GetSystemMetrics(SM_CYSCREEN) - height) / 2);
  const LONG style = GetWindowLongW(Main(), GWL_STYLE);
  EXPECT_TRUE(style & WS_CAPTION);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_FALSE(style & WS_THICKFRAME);
  EXPECT_TRUE(IsWindowVisible(Main()));
}

TEST_F(MainWindowTest, EveryControlIsBuiltAsTheTableSays) {
  const int dpi = ScreenDpi();
  for (const form::ControlSpec& spec : form::MainWindowControls()) {
    const std::string name = ToUtf8(spec.name);
    Win32Control* control = app->Window().Form().FindByName(spec.name);
    ASSERT_NE(control, nullptr) << name;
    if (spec.kind == Kind::Timer) {
      EXPECT_FALSE(control->Exists()) << "the banner does not move, so it needs no timer";
      continue;
    }
    HWND window = control->Handle();
    ASSERT_TRUE(IsWindow(window)) << name;
    ExpectKind(window, spec.kind, name);

    // The container, and the place in it (the status label has moved onto the bar).
    if (spec.id == Id::StatusLabel) continue;
    HWND expectedParent = spec.container.empty() ? Main() : app->Window().Form().FindByName(spec.container)->Handle();
    EXPECT_EQ(GetParent(window), expectedParent) << name;
    EXPECT_EQ(control->Container(), spec.container) << name;
    RECT area;
    GetWindowRect(window, &area);
    MapWindowPoints(nullptr, expectedParent, reinterpret_cast<POINT*>(&area), 2);
    EXPECT_EQ(area.left, Scale(spec.geometry.left, dpi)) << name;
    EXPECT_EQ(area.top, Scale(spec.geometry.top, dpi)) << name;
    EXPECT_EQ(area.right - area.left, Scale(spec.geometry.width, dpi)) << name;
    EXPECT_EQ(area.bottom - area.top, Scale(spec.geometry.height, dpi)) << name;

    // Caption, default state and font, read from the window itself.
    const bool hasCaption = spec.kind == Kind::PushButton || spec.kind == Kind::CheckBox ||
                            spec.kind == Kind::RadioButton || spec.kind == Kind::Label || spec.kind == Kind::Link;
    if (hasCaption) {
      EXPECT_EQ(WindowText(window), spec.caption) << name;
    }
    if (spec.kind == Kind::CheckBox || spec.kind == Kind::RadioButton) {
      EXPECT_EQ(SendMessageW(window, BM_GETCHECK, 0, 0), spec.checked ? BST_CHECKED : BST_UNCHECKED) << name;
    }
    EXPECT_EQ(IsWindowEnabled(window) != FALSE, spec.enabled) << name;
    if (!spec.font.face.empty()) {
      LOGFONTW font = {};
      ASSERT_TRUE(GetObjectW(reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0)), sizeof(font), &font))
          << name;
      EXPECT_EQ(font.lfHeight, -Scale(spec.font.height, dpi)) << name;
      EXPECT_EQ(font.lfWeight, spec.font.bold ? FW_BOLD : FW_NORMAL) << name;
      EXPECT_EQ(font.lfCharSet, spec.font.charset == form::FontCharset::Ansi ? ANSI_CHARSET : GB2312_CHARSET) << name;
      EXPECT_EQ(std::wstring(font.lfFaceName), spec.font.face == W("黑体") ? L"SimHei" : L"SimSun") << name;
    }
  }
}

TEST_F(MainWindowTest, FirstStartShowsTheDesignDefaults) {
  HWND filter = Handle(Id::FilterBox);
  EXPECT_EQ(WindowText(filter), "*.*");
  HWND combo = Handle(Id::LineEndings);
  EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), 0);
  const char* items[] = {"是否改变换行格式", "改为 Win (\\r\\n)", "改为 Unix (\\n)", "改为 Mac (\\r)"};
  ASSERT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 4);
  for (int i = 0; i < 4; ++i) {
    wchar_t text[64] = {};
    SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
    EXPECT_EQ(Narrow(text), W(items[i])) << "the escapes are shown as written, not as line breaks";
  }
  HWND bar = Handle(Id::ProgressBar);
  EXPECT_EQ(SendMessageW(bar, PBM_GETRANGE, FALSE, 0), 100);
  EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 0);
  EXPECT_EQ(WindowText(Handle(Id::StatusLabel)), "");
  EXPECT_EQ(Get(Id::StatusLabel)->Tag(), "");
  EXPECT_EQ(Get(Id::FolderButton)->Tag(), "");
}

TEST_F(MainWindowTest, EachContainerIsOneExclusiveRadioGroup) {
  Click(Id::InputUtf8);
  EXPECT_EQ(SendMessageW(Handle(Id::InputUtf8), BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(SendMessageW(Handle(Id::InputAuto), BM_GETCHECK, 0, 0), BST_UNCHECKED);
  // The other two groups keep their choice.
  EXPECT_TRUE(Get(Id::OutputAuto)->Checked());
  EXPECT_TRUE(Get(Id::NoScript)->Checked());

  Click(Id::Big5ToTraditional);
  EXPECT_TRUE(Get(Id::Big5ToTraditional)->Checked());
  EXPECT_FALSE(Get(Id::NoScript)->Checked());
  EXPECT_FALSE(Get(Id::ConvertFileName)->Checked()) << "the check box in the frame is no radio";
  EXPECT_TRUE(Get(Id::InputUtf8)->Checked());

  // Setting a radio button through the form model clears its container only.
  Get(Id::OutputUtf16Be)->SetChecked(true);
  int checkedInOutputRow = 0;
  for (Id id : {Id::OutputAuto, Id::OutputAnsi, Id::OutputUtf8, Id::OutputUtf16Le, Id::OutputUtf16Be}) {
    checkedInOutputRow += Get(id)->Checked() ? 1 : 0;
  }
  EXPECT_EQ(checkedInOutputRow, 1);
  EXPECT_TRUE(Get(Id::InputUtf8)->Checked());
}

// Notifications of controls inside the panels still reach the main window.
std::vector<HWND> notifiers;
LRESULT CALLBACK RecordCommands(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
  if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) notifiers.push_back(reinterpret_cast<HWND>(lParam));
  return DefSubclassProc(window, message, wParam, lParam);
}

TEST_F(MainWindowTest, ClicksInsidePanelsReachTheWindow) {
  notifiers.clear();
  SetWindowSubclass(Main(), &RecordCommands, 7, 0);
  Click(Id::OutputAnsi);
  Click(Id::ConvertFileName);
  RemoveWindowSubclass(Main(), &RecordCommands, 7);
  EXPECT_EQ(notifiers, (std::vector<HWND>{Handle(Id::OutputAnsi), Handle(Id::ConvertFileName)}));
}

TEST_F(MainWindowTest, FilterBoxShowsThroughTheFolderButtonAndGetsClicksAndKeys) {
  ShowWindow(Main(), SW_SHOWNORMAL);
  HWND filter = Handle(Id::FilterBox);
  HWND button = Handle(Id::FolderButton);
  RECT area;
  GetWindowRect(filter, &area);
  POINT centre = {(area.left + area.right) / 2, (area.top + area.bottom) / 2};
  EXPECT_EQ(WindowFromPoint(centre), filter);
  // The button, before the box in the reading order, leaves the box's place out.
  RECT buttonArea;
  GetWindowRect(button, &buttonArea);
  HRGN region = CreateRectRgn(0, 0, 0, 0);
  ASSERT_NE(GetWindowRgn(button, region), ERROR);
  EXPECT_FALSE(PtInRegion(region, centre.x - buttonArea.left, centre.y - buttonArea.top));
  EXPECT_TRUE(PtInRegion(region, 10, 10));
  DeleteObject(region);
  // Left of the filter box the button is hit.
  POINT left = {centre.x - 100, centre.y};
  EXPECT_EQ(WindowFromPoint(left), button);

  // Enter in the filter box reaches the window as the dialog keys' IDOK: nothing starts.
  SetFocus(filter);
  ASSERT_EQ(GetFocus(), filter);
  PostMessageW(filter, WM_KEYDOWN, VK_RETURN, 0);
  PostMessageW(filter, WM_CHAR, L'\r', 0);
  PumpWindowMessages();
  EXPECT_TRUE(IsWindow(Main()));
  EXPECT_TRUE(dialogs.browseTitles.empty());
  EXPECT_TRUE(dialogs.openTitles.empty());
  EXPECT_EQ(WindowText(filter), "*.*");
}

TEST_F(MainWindowTest, TabFollowsTheReadingOrder) {
  const Id kOrder[] = {Id::InputAuto,  Id::OutputAuto,   Id::NoScript,   Id::ConvertFileName,
                       Id::ListButton, Id::FolderButton, Id::FilterBox,  Id::Overwrite,
                       Id::SubFolders, Id::WithoutBom,   Id::LineEndings};
  // The dialog keys move the focus with GetNextDlgTabItem; a checked radio button stands
  // for its group.
  HWND current = Handle(kOrder[0]);
  for (size_t i = 1; i <= sizeof(kOrder) / sizeof(kOrder[0]); ++i) {
    current = GetNextDlgTabItem(Main(), current, FALSE);
    const Id expected = kOrder[i % (sizeof(kOrder) / sizeof(kOrder[0]))];
    EXPECT_EQ(current, Handle(expected)) << "after " << ToUtf8(form::NameOf(kOrder[i - 1])) << " expected "
                                         << ToUtf8(form::NameOf(expected));
  }
  // Once another radio button of a group is checked, Tab reaches that one.
  Click(Id::TraditionalToSimplified);
  EXPECT_EQ(GetNextDlgTabItem(Main(), Handle(Id::ConvertFileName), FALSE), Handle(Id::TraditionalToSimplified));
}

TEST_F(MainWindowTest, FilterBoxTipShowsTheWholeFilter) {
  auto tipText = [this] {
    wchar_t buffer[512] = {};
    TOOLINFOW tool = {};
    tool.cbSize = sizeof(tool);
    tool.hwnd = Main();
    tool.uId = reinterpret_cast<UINT_PTR>(Handle(Id::FilterBox));
    tool.lpszText = buffer;
    SendMessageW(app->Window().FilterTip(), TTM_GETTEXTW, 512, reinterpret_cast<LPARAM>(&tool));
    return std::wstring(buffer);
  };
  ASSERT_NE(app->Window().FilterTip(), nullptr);
  EXPECT_EQ(tipText(), L"*.*");
  const std::wstring longFilter = L"*.txt;*.htm;*.html;*.css;*.js;*.xml";
  SetWindowTextW(Handle(Id::FilterBox), longFilter.c_str());
  EXPECT_EQ(tipText(), longFilter);
}

TEST_F(MainWindowTest, UsageLinkLiesInsideTheClientArea) {
  ShowWindow(Main(), SW_SHOWNORMAL);
  RECT client;
  RECT link;
  GetClientRect(Main(), &client);
  GetWindowRect(Handle(Id::UsageLink), &link);
  MapWindowPoints(nullptr, Main(), reinterpret_cast<POINT*>(&link), 2);
  EXPECT_GE(link.top, client.top);
  EXPECT_LE(link.bottom, client.bottom);
  EXPECT_LE(link.right, client.right);
  POINT centre = {(link.left + link.right) / 2, (link.top + link.bottom) / 2};
  ClientToScreen(Main(), &centre);
  EXPECT_EQ(WindowFromPoint(centre), Handle(Id::UsageLink));
  // The window grew by no more than the link needs.
  RECT frame;
  GetWindowRect(Main(), &frame);
  EXPECT_LE(client.bottom - (link.bottom + Scale(4, ScreenDpi())), 1);
  EXPECT_EQ(frame.right - frame.left, Scale(606, ScreenDpi()));
  const std::string usage = UsageText();
  for (const char* topic : {"文件过滤", "“;”", "覆盖原文件", "停止", "结果列表", "复制", "Shift", "试运行"}) {
    EXPECT_NE(usage.find(W(topic)), std::string::npos) << topic;
  }
}

// Every check box and radio button shows its square and takes the click on it: no other
// control lies over the left end where the square is drawn.
TEST_F(MainWindowTest, EveryBoxSquareIsTheBoxsOwnToClick) {
  ShowWindow(Main(), SW_SHOWNORMAL);
  PumpFor(50);
  int boxes = 0;
  for (const form::ControlSpec& spec : form::MainWindowControls()) {
    if (spec.kind != Kind::CheckBox && spec.kind != Kind::RadioButton) continue;
    ++boxes;
    HWND box = Handle(spec.id);
    RECT area;
    GetWindowRect(box, &area);
    const int square = GetSystemMetrics(SM_CXMENUCHECK);
    const POINT points[] = {{area.left + 2, (area.top + area.bottom) / 2},
                            {area.left + square - 2, (area.top + area.bottom) / 2}};
    for (const POINT& point : points) EXPECT_EQ(WindowFromPoint(point), box) << ToUtf8(spec.name);
  }
  EXPECT_EQ(boxes, 4 + 7 + 10);
  // A click on the square of "不带BOM" ticks it.
  HWND withoutBom = Handle(Id::WithoutBom);
  SendMessageW(withoutBom, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4, 8));
  SendMessageW(withoutBom, WM_LBUTTONUP, 0, MAKELPARAM(4, 8));
  EXPECT_TRUE(Get(Id::WithoutBom)->Checked());
}

TEST_F(MainWindowTest, StatusLabelLiesTransparentOnTheProgressBar) {
  Win32Control* label = Get(Id::StatusLabel);
  HWND bar = Handle(Id::ProgressBar);
  EXPECT_EQ(GetParent(label->Handle()), bar);
  EXPECT_EQ(label->Container(), W("进度条"));
  EXPECT_EQ(label->GetGeometry(), (form::Geometry{10, 0, 542, 24}));
  EXPECT_TRUE(GetWindowLongW(label->Handle(), GWL_STYLE) & SS_NOTIFY) << "clicks on the text reach it";

  // Drawn without a background: the bar shows through.
  HDC dc = GetDC(label->Handle());
  const LRESULT brush =
      SendMessageW(bar, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(label->Handle()));
  EXPECT_EQ(reinterpret_cast<HGDIOBJ>(brush), GetStockObject(NULL_BRUSH));
  EXPECT_EQ(GetBkMode(dc), TRANSPARENT);
  ReleaseDC(label->Handle(), dc);

  // A hand over the text.
  SendMessageW(label->Handle(), WM_SETCURSOR, reinterpret_cast<WPARAM>(label->Handle()),
               MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_HAND));

  // A caption written by the batch is the label's.
  label->SetCaption(W("(3:1) 说明"));
  EXPECT_EQ(WindowText(label->Handle()), W("(3:1) 说明"));
}

TEST_F(MainWindowTest, RightButtonReleasedOverTheFolderButtonIsAClick) {
  HWND button = Handle(Id::FolderButton);
  SendMessageW(button, WM_RBUTTONUP, 0, MAKELPARAM(-20, 10));  // released beside it
  PumpFor(30);
  EXPECT_TRUE(dialogs.browseTitles.empty());
  SendMessageW(button, WM_RBUTTONUP, 0, MAKELPARAM(20, 10));
  PumpFor(30);
  ASSERT_EQ(dialogs.browseTitles.size(), 1u);
  EXPECT_EQ(dialogs.browseTitles[0], W("选择要批量转换的文件(*.*)所在文件夹："));
}

TEST_F(MainWindowTest, FormModelReadsAndWritesTheRealControls) {
  Win32Control* bar = Get(Id::ProgressBar);
  bar->SetProgressMaximum(40000);
  EXPECT_EQ(SendMessageW(bar->Handle(), PBM_GETRANGE, FALSE, 0), 32767);
  bar->SetProgressPosition(40000);
  EXPECT_EQ(bar->ProgressPosition(), 32767);
  bar->SetProgressMaximum(5);
  EXPECT_EQ(bar->ProgressPosition(), 5) << "the position stays within the range";
  bar->SetProgressPosition(-3);
  EXPECT_EQ(bar->ProgressPosition(), 0);

  Win32Control* combo = Get(Id::LineEndings);
  combo->SetSelection(3);
  EXPECT_EQ(SendMessageW(combo->Handle(), CB_GETCURSEL, 0, 0), 3);
  combo->SetSelection(4);
  EXPECT_EQ(combo->Selection(), -1) << "an index outside the list selects nothing";
  EXPECT_EQ(combo->ComboStyle(), form::kComboDropDownList);

  Win32Control* filter = Get(Id::FilterBox);
  filter->SetContent(W("*.txt|*.htm"));
  EXPECT_EQ(WindowText(filter->Handle()), "*.txt|*.htm");
  EXPECT_EQ(filter->Caption(), "") << "an edit box has content, not a caption";

  Win32Control* list = Get(Id::ListButton);
  list->SetEnabled(false);
  EXPECT_FALSE(IsWindowEnabled(list->Handle()));
  list->SetCaption(W("点我停止"));
  EXPECT_EQ(WindowText(list->Handle()), W("点我停止"));
  list->SetTag(W("D:\\文档"));
  EXPECT_EQ(list->Tag(), W("D:\\文档"));
  EXPECT_EQ(WindowText(list->Handle()), W("点我停止")) << "the tag is not shown";
}

}  // namespace
}  // namespace cw::app::test
