// DropTargetHooks: makes a window a target for files and folders dragged from the shell by
// replacing its window procedure; each dropped item reaches a DropCallback.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <functional>
#include <string>
#include <vector>

namespace cw::app {

// (item count, 1-based index, full path, extension). Paths are working-code-page texts of
// at most kMaxDropPathBytes bytes.
using DropCallback = std::function<void(int count, int index, const std::string& path, const std::string& extension)>;

// Dropped paths arrive as through a 1000-byte ANSI buffer: at most 999 bytes.
constexpr size_t kMaxDropPathBytes = 999;

struct DropHook {
  HWND window = nullptr;
  DropCallback callback;
  LONG savedExtendedStyle = 0;
  WNDPROC savedWindowProc = nullptr;
};

class DropTargetHooks {
 public:
  DropTargetHooks();
  // Releases the records still in the list without touching their windows.
  ~DropTargetHooks();
  DropTargetHooks(const DropTargetHooks&) = delete;
  DropTargetHooks& operator=(const DropTargetHooks&) = delete;

  // Makes the window accept drops. A window that is already hooked keeps its record and
  // its first callback.
  void Attach(HWND window, DropCallback callback);
  // Undoes Attach: drops are refused again and the window gets back its extended style
  // and window procedure. The number of records removed (0 or 1).
  int Detach(HWND window);

  int HookCount() const { return static_cast<int>(hooks_.size()); }

 private:
  static LRESULT CALLBACK ReplacementProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  const DropHook* FindHook(HWND window) const;

  std::vector<DropHook> hooks_;
};

// Delivers every item of a drop to the callback, as the hooked window does, and releases
// the drop handle.
void DeliverDrop(HDROP drop, const DropCallback& callback);
// A dropped path from the system in the working code page, cut to kMaxDropPathBytes on a
// character boundary.
std::string DropPathFromWide(const std::wstring& wide);
// The characters after the last "."; the whole path when there is no dot.
std::string DropExtension(const std::string& path);

}  // namespace cw::app
