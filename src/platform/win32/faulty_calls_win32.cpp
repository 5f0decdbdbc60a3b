// The Win32 table's entries, each given the fault code's wrapper while a test injects
// faults. A new entry goes here too: the fault code checks that none is left out.
#include "platform/faulty_call.h"
#include "platform/win32/system_calls.h"

namespace cw::platform::detail {

void DivertSystemCalls() {
  using win32::Sys;
  using T = win32::SystemCalls;
  DivertEvery<&Sys, &T::CreateFileW, &T::ReadFile, &T::WriteFile, &T::SetFilePointerEx, &T::GetFileSizeEx,
              &T::SetEndOfFile, &T::FlushFileBuffers, &T::CloseHandle, &T::GetFileType, &T::GetFileInformationByHandle,
              &T::GetFileAttributesW, &T::GetFileAttributesExW, &T::SetFileAttributesW, &T::SetFileTime,
              &T::DeleteFileW, &T::CreateDirectoryW, &T::ReplaceFileW, &T::MoveFileExW, &T::CreateHardLinkW,
              &T::SetFileInformationByHandle, &T::FindFirstFileW, &T::FindNextFileW>();
}

}  // namespace cw::platform::detail
