// Drop-target hooks: the window's procedure is replaced while it is hooked; the drop
// message becomes one callback per item, everything else goes to the old procedure.
#include "app/drop_target_hooks.h"

#include <shellapi.h>

#include "app/os_name.h"
#include "app/win32_text.h"
#include "text/text.h"

namespace cw::app {
namespace {

// The one program-wide list; the replacement procedure finds its window's record here.
DropTargetHooks* theHooks = nullptr;

}  // namespace

DropTargetHooks::DropTargetHooks() { theHooks = this; }

DropTargetHooks::~DropTargetHooks() {
  if (theHooks == this) theHooks = nullptr;
}

const DropHook* DropTargetHooks::FindHook(HWND window) const {
  for (const DropHook& hook : hooks_) {
    if (hook.window == window) return &hook;
  }
  return nullptr;
}

void DropTargetHooks::Attach(HWND window, DropCallback callback) {
  if (!FindHook(window)) {
    DropHook hook;
    hook.window = window;
    hook.callback = std::move(callback);
    // Read before DragAcceptFiles sets the accept-files bit, so that Detach really gives
    // back the style the window had.
    hook.savedExtendedStyle = GetWindowLongW(window, GWL_EXSTYLE);
    DragAcceptFiles(window, TRUE);
    SetWindowLongW(window, GWL_EXSTYLE, hook.savedExtendedStyle | WS_EX_ACCEPTFILES);
    hook.savedWindowProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ReplacementProc)));
    hooks_.push_back(std::move(hook));
  } else {
    DragAcceptFiles(window, TRUE);
  }
  OpenMessageFilterForDrops(OperatingSystemName(), SystemMessageFilter());
}

int DropTargetHooks::Detach(HWND window) {
  for (auto it = hooks_.begin(); it != hooks_.end(); ++it) {
    if (it->window != window) continue;
    DragAcceptFiles(window, FALSE);
    SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(it->savedWindowProc));
    SetWindowLongW(window, GWL_EXSTYLE, it->savedExtendedStyle);
    hooks_.erase(it);
    return 1;
  }
  return 0;
}

LRESULT CALLBACK DropTargetHooks::ReplacementProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const DropHook* hook = theHooks ? theHooks->FindHook(window) : nullptr;
  if (!hook) return 1;
  if (message == WM_DROPFILES) {
    // A copy: the callback pumps messages, and whatever it runs may change the list.
    const DropCallback callback = hook->callback;
    DeliverDrop(reinterpret_cast<HDROP>(wParam), callback);
    return 0;
  }
  return CallWindowProcW(hook->savedWindowProc, window, message, wParam, lParam);
}

void DeliverDrop(HDROP drop, const DropCallback& callback) {
  const UINT count = DragQueryFileW(drop, 0xFFFFFFFFu, nullptr, 0);
  for (UINT index = 1; index <= count; ++index) {
    const UINT length = DragQueryFileW(drop, index - 1, nullptr, 0);
    if (length < 1) continue;
    std::wstring wide(length + 1, L'\0');
    const UINT got = DragQueryFileW(drop, index - 1, &wide[0], length + 1);
    if (got < 1) continue;
    wide.resize(got);
    const std::string path = DropPathFromWide(wide);
    if (path.empty()) continue;
    if (callback) callback(static_cast<int>(count), static_cast<int>(index), path, DropExtension(path));
  }
  DragFinish(drop);
}

std::string DropPathFromWide(const std::wstring& wide) {
  std::string path = Narrow(wide);
  if (path.size() <= kMaxDropPathBytes) return path;
  // Keep whole characters (GB18030 has two- and four-byte ones).
  size_t keep = 0;
  while (keep < path.size()) {
    size_t length = text::CharLength(path, keep);
    if (length == 2 && keep + 3 < path.size() && path[keep + 1] >= '0' && path[keep + 1] <= '9') {
      length = 4;
    }
    if (keep + length > kMaxDropPathBytes) break;
    keep += length;
  }
  path.resize(keep);
  return path;
}

std::string DropExtension(const std::string& path) {
  const size_t dot = text::FindLast(path, ".");
  if (dot == std::string::npos) return path;
  return path.substr(dot + 1);
}

}  // namespace cw::app
