// The operating system's name, as the drop hook uses it to decide whether the process's
// message filter has to let drops through (every system but Windows XP).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace cw::app {

// What the system tells about itself, read once per question.
struct OsFacts {
  bool versionRead = false;  // the extended version record could be filled
  uint32_t major = 0;        // the true version (RtlGetNtVersionNumbers where it exists)
  uint32_t minor = 0;
  uint8_t productType = 0;  // 1 = workstation
  uint16_t suiteMask = 0;
  uint16_t architecture = 0;        // 9 = AMD64
  int serverR2 = 0;                 // GetSystemMetrics(SM_SERVERR2)
  std::string registryProductName;  // ...\CurrentVersion\ProductName, working code page
  uint32_t productInfo = 0;         // RtlGetProductInfo's type for systems above 5.x, 0 if none
};

OsFacts ReadOsFacts();
// The name for these facts: "Windows 7", "Windows XP", ...; empty when the version could
// not be read or is not known.
std::string OperatingSystemName(const OsFacts& facts);
// The name of the running system.
std::string OperatingSystemName();

using MessageFilterFunction = BOOL(WINAPI*)(UINT message, DWORD action);
// ChangeWindowMessageFilter where user32 has it, else nullptr (XP, 2000, Server 2003).
MessageFilterFunction SystemMessageFilter();
// Unless the name starts with "Windows XP", lets the drop message, the copy-data message
// and message 73 through the filter, in that order. Does nothing without a filter.
void OpenMessageFilterForDrops(const std::string& osName, MessageFilterFunction filter);

}  // namespace cw::app
