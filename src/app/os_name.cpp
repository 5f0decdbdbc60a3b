// The operating system's name from its version record, the true version numbers, the
// product type and, for Windows 10 servers, the registry.
#include "app/os_name.h"

#include "app/win32_text.h"
#include "encoding/charset.h"

namespace cw::app {
namespace {

constexpr UINT kCopyGlobalData = 73;  // WM_COPYGLOBALDATA, sent along with a drop
constexpr DWORD kMessageFilterAdd = 1;
constexpr int kServerR2Metric = 89;  // SM_SERVERR2
constexpr WORD kStorageServerSuite = 0x2000;
constexpr WORD kHomeServerSuite = 0x8000;
constexpr WORD kArchitectureAmd64 = 9;

template <typename Function>
Function NtdllFunction(const char* name) {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(ntdll, name))) : nullptr;
}

std::string ReadProductNameFromRegistry() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", 0, KEY_QUERY_VALUE, &key) !=
      ERROR_SUCCESS) {
    return {};
  }
  wchar_t buffer[512] = {};
  DWORD size = sizeof(buffer) - sizeof(wchar_t);
  DWORD type = 0;
  const LONG result = RegQueryValueExW(key, L"ProductName", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(key);
  if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return {};
  return Narrow(buffer);
}

bool KnownProductType(uint32_t type) {
  return (type >= 1 && type <= 4) || (type >= 6 && type <= 23) || type == 25 || type == 48;
}

std::string Pick(bool workstation, const char* client, const char* server) { return workstation ? client : server; }

}  // namespace

OsFacts ReadOsFacts() {
  OsFacts facts;
  OSVERSIONINFOEXW version = {};
  version.dwOSVersionInfoSize = sizeof(version);
  if (!GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version))) return facts;
  facts.versionRead = true;
  facts.major = version.dwMajorVersion;
  facts.minor = version.dwMinorVersion;
  facts.productType = version.wProductType;
  facts.suiteMask = version.wSuiteMask;

  SYSTEM_INFO system = {};
  GetSystemInfo(&system);
  facts.architecture = system.wProcessorArchitecture;

  // GetVersionEx lies to programs without a manifest entry for newer systems.
  using NtVersionNumbers = void(WINAPI*)(DWORD*, DWORD*, DWORD*);
  if (auto numbers = NtdllFunction<NtVersionNumbers>("RtlGetNtVersionNumbers")) {
    DWORD major = 0, minor = 0, build = 0;
    numbers(&major, &minor, &build);
    facts.major = major;
    facts.minor = minor;
  }
  facts.serverR2 = GetSystemMetrics(kServerR2Metric);
  if (facts.major == 10 && facts.minor == 0 && facts.productType != VER_NT_WORKSTATION) {
    facts.registryProductName = ReadProductNameFromRegistry();
  }
  if (facts.major > 5) {
    using ProductInfo = BOOL(WINAPI*)(DWORD, DWORD, DWORD, DWORD, DWORD*);
    DWORD type = 0;
    if (auto productInfo = NtdllFunction<ProductInfo>("RtlGetProductInfo")) {
      if (!productInfo(facts.major, facts.minor, 0, 0, &type)) type = 0;
    }
    facts.productInfo = type;
  }
  return facts;
}

std::string OperatingSystemName(const OsFacts& facts) {
  if (!facts.versionRead) return {};
  const bool workstation = facts.productType == VER_NT_WORKSTATION;
  const uint32_t major = facts.major;
  const uint32_t minor = facts.minor;
  std::string name;
  if (major == 10 && minor == 0) {
    name = workstation ? "Windows 10" : facts.registryProductName;
  } else if (major == 6 && minor == 0) {
    name = Pick(workstation, "Windows Vista", "Windows Server 2008");
  } else if (major == 6 && minor == 1) {
    name = Pick(workstation, "Windows 7", "Windows Server 2008 R2");
  } else if (major == 6 && minor == 2) {
    name = Pick(workstation, "Windows 8", "Windows Server 2012");
  } else if (major == 6 && minor == 3) {
    name = Pick(workstation, "Windows 8.1", "Windows Server 2012 R2");
  } else if (major == 5 && minor == 0) {
    name = "Windows 2000";
  } else if (major == 5 && minor == 1) {
    name = "Windows XP";
  } else if (major == 5 && minor == 2) {
    if (facts.serverR2 != 0) {
      name = "Windows Server 2003 R2, ";
    } else if (facts.suiteMask & kStorageServerSuite) {
      name = "Windows Storage Server 2003";
    } else if (facts.suiteMask & kHomeServerSuite) {
      name = "Windows Home Server";
    } else if (workstation && facts.architecture == kArchitectureAmd64) {
      name = "Windows XP Professional x64 Edition";
    } else {
      name = "Windows Server 2003, ";
    }
  } else if (major == 4 && minor == 10) {
    name = "Windows 98";
  }
  if (major > 5 && !KnownProductType(facts.productInfo)) {
    name = FromUtf8("获取失败，请检查版本:") + std::to_string(major) + "." + std::to_string(minor);
  }
  return name;
}

std::string OperatingSystemName() { return OperatingSystemName(ReadOsFacts()); }

MessageFilterFunction SystemMessageFilter() {
  HMODULE user32 = GetModuleHandleW(L"user32.dll");
  if (!user32) return nullptr;
  return reinterpret_cast<MessageFilterFunction>(
      reinterpret_cast<void*>(GetProcAddress(user32, "ChangeWindowMessageFilter")));
}

void OpenMessageFilterForDrops(const std::string& osName, MessageFilterFunction filter) {
  if (!filter || osName.compare(0, 10, "Windows XP") == 0) return;
  filter(WM_DROPFILES, kMessageFilterAdd);
  filter(WM_COPYDATA, kMessageFilterAdd);
  filter(kCopyGlobalData, kMessageFilterAdd);
}

}  // namespace cw::app
