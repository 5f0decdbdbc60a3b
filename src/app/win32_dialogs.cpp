// The shell's folder browser, the common open dialog, the message box, and the pump.
#include "app/win32_dialogs.h"

#include "app/results_dialog.h"

#include <commdlg.h>
#include <shlobj.h>

#include "app/win32_text.h"
#include "text/text.h"

namespace cw::app {
namespace {

constexpr UINT kBrowseFlags = 0x0010 /* BIF_EDITBOX */ | 0x0040 /* BIF_NEWDIALOGSTYLE */;

int CALLBACK BrowseCallback(HWND dialog, UINT message, LPARAM, LPARAM data) {
  if (message == BFFM_INITIALIZED) SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, data);
  return 1;
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
  const std::wstring wideInitial = Wide(initialFolder);
  BROWSEINFOW info = {};
  info.lpszTitle = wideTitle.c_str();
  info.ulFlags = kBrowseFlags;
  info.lpfn = BrowseCallback;
  info.lParam = reinterpret_cast<LPARAM>(wideInitial.c_str());
  PIDLIST_ABSOLUTE item = SHBrowseForFolderW(&info);
  if (!item) return {};
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
  return MessageBoxW(nullptr, Wide(text).c_str(), Wide(caption).c_str(), flags);
}

void Win32Dialogs::ShowResults(const std::vector<batch::FileResult>& results, bool dryRun) {
  RunResultsWindow(owner_, CreateResultsWindow(owner_, results, dryRun));
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
