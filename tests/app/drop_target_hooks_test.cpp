// Drop-target hooks on a plain window of the test's own: items delivered with count,
// index, path and extension; the window's procedure never sees the drop; Attach and
// Detach leave style and procedure as they were; the system name and the message filter.
#include "app/drop_target_hooks.h"
#include "app/os_name.h"
#include "app_fixture.h"

namespace cw::app::test {
namespace {

struct Delivered {
  int count;
  int index;
  std::string path;
  std::string extension;
  bool operator==(const Delivered& o) const {
    return count == o.count && index == o.index && path == o.path && extension == o.extension;
  }
};

std::vector<UINT> ownMessages;  // what the window's own procedure received

LRESULT CALLBACK OwnProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  ownMessages.push_back(message);
  if (message == WM_APP + 3) return 1234;
  return DefWindowProcW(window, message, wParam, lParam);
}

class DropTargetHooksTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WNDCLASSW plain = {};
    plain.lpfnWndProc = &OwnProc;
    plain.hInstance = GetModuleHandleW(nullptr);
    plain.lpszClassName = L"ChengwenTestDropTarget";
    RegisterClassW(&plain);
    window = CreateWindowExW(0, L"ChengwenTestDropTarget", L"", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
    ownMessages.clear();
  }
  void TearDown() override { DestroyWindow(window); }

  DropCallback Recorder(std::vector<Delivered>* into) {
    return [into](int count, int index, const std::string& path, const std::string& extension) {
      into->push_back({count, index, path, extension});
    };
  }
  bool OwnProcSaw(UINT message) {
    return std::find(ownMessages.begin(), ownMessages.end(), message) != ownMessages.end();
  }

  HWND window = nullptr;
  DropTargetHooks hooks;
  TempDir temp;
};

TEST_F(DropTargetHooksTest, EachDroppedItemReachesTheCallbackInOrder) {
  const std::string text = temp.Join(W("说明.txt"));
  const std::string page = temp.Join("index.en.html");
  const std::string folder = temp.Join(W("子目录"));
  WriteFileBytes(text, "1");
  WriteFileBytes(page, "2");
  WriteFileBytes(folder + "\\x", "3");
  std::vector<Delivered> got;
  hooks.Attach(window, Recorder(&got));

  EXPECT_EQ(SendMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({text, page, folder})), 0), 0);
  const std::string noDot = folder;  // a folder without a dot: the whole path
  EXPECT_EQ(got, (std::vector<Delivered>{{3, 1, text, "txt"}, {3, 2, page, "html"}, {3, 3, folder, noDot}}));
  EXPECT_FALSE(OwnProcSaw(WM_DROPFILES)) << "the drop stops at the hook";

  // Everything else still reaches the window, with its result.
  EXPECT_EQ(SendMessageW(window, WM_APP + 3, 0, 0), 1234);
  EXPECT_TRUE(OwnProcSaw(WM_APP + 3));
}

TEST_F(DropTargetHooksTest, SecondAttachKeepsTheFirstRecordAndCallback) {
  std::vector<Delivered> first, second;
  hooks.Attach(window, Recorder(&first));
  hooks.Attach(window, Recorder(&second));
  EXPECT_EQ(hooks.HookCount(), 1);
  SendMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({temp.Join("a.txt")})), 0);
  EXPECT_EQ(first.size(), 1u);
  EXPECT_TRUE(second.empty());
  EXPECT_EQ(hooks.Detach(window), 1);
  EXPECT_EQ(hooks.HookCount(), 0);
}

TEST_F(DropTargetHooksTest, DetachGivesBackStyleAndProcedure) {
  const LONG styleBefore = GetWindowLongW(window, GWL_EXSTYLE);
  const LONG_PTR procBefore = GetWindowLongPtrW(window, GWLP_WNDPROC);
  ASSERT_FALSE(styleBefore & WS_EX_ACCEPTFILES);
  EXPECT_EQ(hooks.Detach(window), 0) << "never hooked";
  EXPECT_EQ(GetWindowLongW(window, GWL_EXSTYLE), styleBefore);

  std::vector<Delivered> got;
  hooks.Attach(window, Recorder(&got));
  EXPECT_TRUE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
  EXPECT_NE(GetWindowLongPtrW(window, GWLP_WNDPROC), procBefore);

  EXPECT_EQ(hooks.Detach(window), 1);
  EXPECT_EQ(GetWindowLongW(window, GWL_EXSTYLE), styleBefore) << "drops are refused again";
  EXPECT_EQ(GetWindowLongPtrW(window, GWLP_WNDPROC), procBefore);
  EXPECT_EQ(hooks.Detach(window), 0);

  // A drop that still arrives goes to the window's own procedure now.
  HDROP drop = MakeDrop({temp.Join("a.txt")});
  SendMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
  GlobalFree(drop);
  EXPECT_TRUE(got.empty());
  EXPECT_TRUE(OwnProcSaw(WM_DROPFILES));
}

TEST_F(DropTargetHooksTest, LongPathsArriveCutTo999BytesOnACharacterBoundary) {
  std::string longPath = "C:\\";
  while (longPath.size() < 1200) longPath += W("长");  // two bytes each
  longPath += ".txt";
  std::vector<Delivered> got;
  hooks.Attach(window, Recorder(&got));
  SendMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({longPath, "C:\\b.md"})), 0);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].path.size(), 999u) << "3 bytes of C:\\ and 498 whole characters";
  EXPECT_TRUE(got[0].path == longPath.substr(0, 999));
  EXPECT_TRUE(got[0].extension == got[0].path) << "the cut took the dot away";
  EXPECT_EQ(got[1].path, "C:\\b.md");

  const std::string fourByte = "\x81\x30\x81\x30";  // one GB18030 four-byte character
  std::wstring wide = L"C:\\";
  while (wide.size() < 600) wide += L'\x80';  // U+0080 is four bytes in GB18030
  const std::string cut = DropPathFromWide(wide);
  EXPECT_LE(cut.size(), kMaxDropPathBytes);
  EXPECT_EQ((cut.size() - 3) % 4, 0u) << "no character is split";
  EXPECT_EQ(cut.substr(3, 4), fourByte);
}

TEST(DropExtension, IsWhatFollowsTheLastDot) {
  EXPECT_EQ(DropExtension("C:\\a.b\\readme.TXT"), "TXT");
  EXPECT_EQ(DropExtension("C:\\a.b\\readme"), "b\\readme");
  EXPECT_EQ(DropExtension("C:\\docs"), "C:\\docs");
  EXPECT_EQ(DropExtension("C:\\docs\\name."), "");
}

OsFacts Facts(uint32_t major, uint32_t minor, uint8_t productType = VER_NT_WORKSTATION, uint32_t productInfo = 1) {
  OsFacts facts;
  facts.versionRead = true;
  facts.major = major;
  facts.minor = minor;
  facts.productType = productType;
  facts.productInfo = productInfo;
  return facts;
}

TEST(OperatingSystemName, FollowsTheVersionTable) {
  const uint8_t server = VER_NT_SERVER;
  EXPECT_EQ(OperatingSystemName(Facts(10, 0)), "Windows 10");
  OsFacts server10 = Facts(10, 0, server, 7);
  server10.registryProductName = "Windows Server 2019 Standard";
  EXPECT_EQ(OperatingSystemName(server10), "Windows Server 2019 Standard");
  EXPECT_EQ(OperatingSystemName(Facts(6, 0)), "Windows Vista");
  EXPECT_EQ(OperatingSystemName(Facts(6, 0, server, 7)), "Windows Server 2008");
  EXPECT_EQ(OperatingSystemName(Facts(6, 1)), "Windows 7");
  EXPECT_EQ(OperatingSystemName(Facts(6, 1, server, 7)), "Windows Server 2008 R2");
  EXPECT_EQ(OperatingSystemName(Facts(6, 2)), "Windows 8");
  EXPECT_EQ(OperatingSystemName(Facts(6, 3, server, 7)), "Windows Server 2012 R2");
  EXPECT_EQ(OperatingSystemName(Facts(5, 0, server, 0)), "Windows 2000");
  EXPECT_EQ(OperatingSystemName(Facts(5, 1, VER_NT_WORKSTATION, 0)), "Windows XP");
  EXPECT_EQ(OperatingSystemName(Facts(4, 10, VER_NT_WORKSTATION, 0)), "Windows 98");
  EXPECT_EQ(OperatingSystemName(Facts(3, 51)), "");

  // 5.2: R2 indicator, then the suites, then XP x64.
  OsFacts facts = Facts(5, 2, server, 0);
  EXPECT_EQ(OperatingSystemName(facts), "Windows Server 2003, ");
  facts.suiteMask = 0x8000;
  EXPECT_EQ(OperatingSystemName(facts), "Windows Home Server");
  facts.suiteMask = 0x2000 | 0x8000;
  EXPECT_EQ(OperatingSystemName(facts), "Windows Storage Server 2003");
  facts.serverR2 = 1;
  EXPECT_EQ(OperatingSystemName(facts), "Windows Server 2003 R2, ");
  OsFacts x64 = Facts(5, 2, VER_NT_WORKSTATION, 0);
  x64.architecture = 9;
  EXPECT_EQ(OperatingSystemName(x64), "Windows XP Professional x64 Edition");

  // Above 5.x an unknown product type replaces the name.
  for (uint32_t type : {1u, 4u, 6u, 23u, 25u, 48u}) EXPECT_EQ(OperatingSystemName(Facts(6, 1, 1, type)), "Windows 7");
  for (uint32_t type : {0u, 5u, 24u, 26u, 47u, 49u}) {
    EXPECT_EQ(OperatingSystemName(Facts(6, 1, 1, type)), W("获取失败，请检查版本:6.1")) << type;
  }
  EXPECT_EQ(OperatingSystemName(OsFacts{}), "") << "the version record could not be read";
}

std::vector<std::pair<UINT, DWORD>> filterCalls;
BOOL WINAPI RecordFilter(UINT message, DWORD action) {
  filterCalls.emplace_back(message, action);
  return TRUE;
}

TEST(MessageFilter, IsOpenedForDropsEverywhereButOnWindowsXp) {
  const std::vector<std::pair<UINT, DWORD>> opened = {{563, 1}, {74, 1}, {73, 1}};
  for (const char* name : {"Windows 7", "", "Windows 10", "Windows Server 2003, "}) {
    filterCalls.clear();
    OpenMessageFilterForDrops(name, &RecordFilter);
    EXPECT_EQ(filterCalls, opened) << name;
  }
  for (const char* name : {"Windows XP", "Windows XP Professional x64 Edition"}) {
    filterCalls.clear();
    OpenMessageFilterForDrops(name, &RecordFilter);
    EXPECT_TRUE(filterCalls.empty()) << name;
  }
  OpenMessageFilterForDrops("Windows 7", nullptr);  // a system without the function

  // The running system answers: a version record and a true version of at least 5.0.
  const OsFacts facts = ReadOsFacts();
  EXPECT_TRUE(facts.versionRead);
  EXPECT_GE(facts.major, 5u);
}

}  // namespace
}  // namespace cw::app::test
