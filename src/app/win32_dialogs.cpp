// The shell's folder browser, the common open dialog, the message box, and the pump.
#include "app/win32_dialogs.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>

#include "app/results_dialog.h"

#include "app/win32_text.h"
#include "text/text.h"

namespace cw::app {
namespace {

// BIF_EDITBOX: a folder can be typed; BIF_VALIDATE: a typed name that is no folder is
// reported (BFFM_VALIDATEFAILED) instead of ending the dialog.
constexpr UINT kBrowseFlags = BIF_EDITBOX | BIF_VALIDATE | BIF_NEWDIALOGSTYLE;

// What the browser's callback and its OK button share.
struct BrowseState {
  HWND owner = nullptr;
  std::wstring initial;
  std::wstring selected;      // the path of the selection in the tree
  std::wstring selectedName;  // the name the box shows for it
  std::wstring typed;         // a folder typed into the box and accepted with OK
};

std::wstring Trimmed(const std::wstring& text) {
  const size_t first = text.find_first_not_of(L" \t\u3000");
  if (first == std::wstring::npos) return std::wstring();
  const size_t last = text.find_last_not_of(L" \t\u3000");
  return text.substr(first, last - first + 1);
}

bool IsFolder(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

BOOL CALLBACK FindEditBox(HWND window, LPARAM found) {
  wchar_t className[16] = {};
  GetClassNameW(window, className, 15);
  if (lstrcmpiW(className, L"Edit") != 0) return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

void SayNoSuchFolder(HWND browser, const std::wstring& text) {
  MessageBoxW(browser, (WideFromUtf8(u8"找不到这个文件夹：\r\n") + text).c_str(), WideFromUtf8(u8"选择文件夹").c_str(),
              MB_OK | MB_ICONWARNING);
}

// OK with a folder typed into the box: a full path, or a name under the selection. It
// is taken here, the same on every system (Wine's browser would ignore it).
LRESULT CALLBACK BrowseSubclass(HWND browser, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
  auto* state = reinterpret_cast<BrowseState*>(data);
  if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
    HWND edit = nullptr;
    EnumChildWindows(browser, &FindEditBox, reinterpret_cast<LPARAM>(&edit));
    const std::wstring typed = edit ? Trimmed(Wide(WindowText(edit))) : std::wstring();
    if (!typed.empty() && typed != state->selectedName && typed != state->selected) {
      const bool absolute = (typed.size() >= 2 && typed[1] == L':') || typed.rfind(L"\\\\", 0) == 0;
      std::wstring path = typed;
      if (!absolute && !state->selected.empty()) {
        path = state->selected + (state->selected.back() == L'\\' ? L"" : L"\\") + typed;
      }
      if (path.size() == 2 && path[1] == L':') path += L'\\';  // "D:" is the drive's root
      if (!IsFolder(path)) {
        SayNoSuchFolder(browser, path);
        return 0;
      }
      state->typed = path;
      PostMessageW(browser, WM_COMMAND, IDCANCEL, 0);
      return 0;
    }
  }
  if (message == WM_NCDESTROY) RemoveWindowSubclass(browser, &BrowseSubclass, 1);
  return DefSubclassProc(browser, message, wParam, lParam);
}

// Over the middle of the window that asked, not at the screen's corner.
void CentreOver(HWND dialog, HWND owner) {
  RECT outer;
  RECT box;
  if (!owner || !GetWindowRect(owner, &outer) || !GetWindowRect(dialog, &box)) return;
  const int width = box.right - box.left;
  const int height = box.bottom - box.top;
  RECT work;
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const int workLeft = work.left;
  const int workTop = work.top;
  const int centreX = (outer.left + outer.right - width) / 2;
  const int centreY = (outer.top + outer.bottom - height) / 2;
  const int left = std::clamp(centreX, workLeft, std::max(workLeft, static_cast<int>(work.right) - width));
  const int top = std::clamp(centreY, workTop, std::max(workTop, static_cast<int>(work.bottom) - height));
  SetWindowPos(dialog, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

int CALLBACK BrowseCallback(HWND dialog, UINT message, LPARAM lParam, LPARAM data) {
  auto* state = reinterpret_cast<BrowseState*>(data);
  switch (message) {
    case BFFM_INITIALIZED:
      SetWindowTextW(dialog, WideFromUtf8(u8"选择文件夹").c_str());  // Wine's says it in English
      CentreOver(dialog, state->owner);
      SetWindowSubclass(dialog, &BrowseSubclass, 1, reinterpret_cast<DWORD_PTR>(state));
      if (!state->initial.empty())
        SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(state->initial.c_str()));
      break;
    case BFFM_SELCHANGED: {
      const auto item = reinterpret_cast<PCIDLIST_ABSOLUTE>(lParam);
      wchar_t path[MAX_PATH] = {};
      state->selected = item && SHGetPathFromIDListW(item, path) ? path : L"";
      SHFILEINFOW info = {};
      state->selectedName.clear();
      if (item &&
          SHGetFileInfoW(reinterpret_cast<LPCWSTR>(item), 0, &info, sizeof(info), SHGFI_PIDL | SHGFI_DISPLAYNAME)) {
        state->selectedName = info.szDisplayName;
      }
      break;
    }
    case BFFM_VALIDATEFAILEDW:
      SayNoSuchFolder(dialog, reinterpret_cast<const wchar_t*>(lParam));
      return 1;  // the browser stays open
    default: break;
  }
  return 0;
}

// The new-style folder browser needs COM on this thread.
class ComScope {
 public:
  ComScope() : initialized_(SUCCEEDED(OleInitialize(nullptr))) {}
  ~ComScope() {
    if (initialized_) OleUninitialize();
  }

 private:
  bool initialized_;
};

}  // namespace

std::string Win32Dialogs::BrowseForFolder(const std::string& initialFolder, const std::string& title) {
  ComScope com;
  const std::wstring wideTitle = Wide(title);
  BrowseState state;
  state.owner = owner_;
  // The last folder used, where it is still there; else the browser's own start.
  if (IsFolder(Wide(initialFolder))) state.initial = Wide(initialFolder);
  BROWSEINFOW info = {};
  info.hwndOwner = owner_;
  info.lpszTitle = wideTitle.c_str();
  info.ulFlags = kBrowseFlags;
  info.lpfn = BrowseCallback;
  info.lParam = reinterpret_cast<LPARAM>(&state);
  PIDLIST_ABSOLUTE item = SHBrowseForFolderW(&info);
  if (!item) return state.typed.empty() ? std::string() : text::TrimBlanks(Narrow(state.typed));
  // 512 blanks: an item without a file-system path leaves them, and trimming gives "".
  std::wstring buffer(512, L' ');
  buffer.push_back(L'\0');
  if (!SHGetPathFromIDListW(item, &buffer[0])) buffer[0] = L'\0';
  CoTaskMemFree(item);
  return text::TrimBlanks(Narrow(buffer.c_str()));
}

std::wstring OpenDialogFilter(const std::string& filter) {
  std::wstring wide = Wide(filter);
  for (wchar_t& c : wide) {
    if (c == L'|') c = L'\0';
  }
  wide.push_back(L'\0');
  wide.push_back(L'\0');
  return wide;
}

std::vector<std::string> ParseOpenFileNames(const wchar_t* buffer, size_t size) {
  std::vector<std::wstring> pieces;
  size_t pos = 0;
  while (pos < size && buffer[pos] != L'\0') {
    size_t end = pos;
    while (end < size && buffer[end] != L'\0') ++end;
    pieces.emplace_back(buffer + pos, end - pos);
    pos = end + 1;
  }
  std::vector<std::string> paths;
  if (pieces.empty()) return paths;
  if (pieces.size() == 1) {
    paths.push_back(Narrow(pieces[0]));
    return paths;
  }
  std::wstring folder = pieces[0];
  if (folder.back() != L'\\') folder += L'\\';  // a drive's root already ends in one
  for (size_t i = 1; i < pieces.size(); ++i) paths.push_back(Narrow(folder + pieces[i]));
  return paths;
}

std::vector<std::string> Win32Dialogs::OpenFiles(const std::string& initialFolder, const std::string& title,
                                                 const std::string& filter, uint32_t flags) {
  std::vector<wchar_t> names(kOpenFileBufferChars, L'\0');
  const std::wstring wideFilter = OpenDialogFilter(filter);
  const std::wstring wideTitle = Wide(title);
  const std::wstring wideInitial = Wide(initialFolder);
  OPENFILENAMEW dialog = {};
  dialog.lStructSize = sizeof(dialog);
  dialog.hwndOwner = owner_;
  dialog.lpstrFilter = wideFilter.c_str();
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = names.data();
  dialog.nMaxFile = static_cast<DWORD>(names.size());
  dialog.lpstrInitialDir = wideInitial.empty() ? nullptr : wideInitial.c_str();
  dialog.lpstrTitle = wideTitle.c_str();
  // Multiple selection gives zero-separated long names only with the Explorer-style
  // dialog; the old one separates short names with blanks.
  dialog.Flags = flags | OFN_EXPLORER;
  if (!GetOpenFileNameW(&dialog)) return {};
  return ParseOpenFileNames(names.data(), names.size());
}

int Win32Dialogs::Ask(const std::string& text, const std::string& caption, uint32_t flags) {
  // Owned by the window, so that the question stays in front of it.
  return MessageBoxW(owner_, Wide(text).c_str(), Wide(caption).c_str(), flags);
}

void Win32Dialogs::ShowResults(const std::vector<batch::FileResult>& results, bool dryRun,
                               const batch::UndoAction& undo) {
  RunResultsWindow(owner_, CreateResultsWindow(owner_, results, dryRun, undo));
}

void DispatchWindowMessage(MSG& message) {
  HWND topLevel = message.hwnd ? GetAncestor(message.hwnd, GA_ROOT) : nullptr;
  if (topLevel && IsDialogMessageW(topLevel, &message)) return;
  TranslateMessage(&message);
  DispatchMessageW(&message);
}

void PumpWindowMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE)) {
    if (message.message == WM_QUIT) return;
    if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) return;
    if (message.message == WM_QUIT) {
      // Taken after all (something arrived in between): put it back for the main loop.
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    DispatchWindowMessage(message);
  }
}

}  // namespace cw::app
