// The system calls of the Win32 backend, made through one table so that a test can put
// a failing (or a short-writing) stand-in in the place of any of them.
#pragma once

#include <windows.h>

#include "platform/backend.h"

namespace cw::platform::win32 {

template <typename Function, typename Result>
using Call = detail::SystemCall<Function, Result>;

// SetFileInformationByHandle, which Windows XP lacks: looked up when first called, and
// where it is missing the call fails with ERROR_CALL_NOT_IMPLEMENTED. The class is an
// int, as the headers for XP do not name the type.
BOOL WINAPI SetFileInformationByHandleWhereAvailable(HANDLE file, int infoClass, LPVOID info, DWORD size);

struct SystemCalls {
  Call<HANDLE(WINAPI*)(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE), HANDLE> CreateFileW{
      "CreateFileW", &::CreateFileW, INVALID_HANDLE_VALUE};
  Call<BOOL(WINAPI*)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED), BOOL> ReadFile{"ReadFile", &::ReadFile, FALSE};
  Call<BOOL(WINAPI*)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED), BOOL> WriteFile{"WriteFile", &::WriteFile, FALSE};
  Call<BOOL(WINAPI*)(HANDLE, LARGE_INTEGER, PLARGE_INTEGER, DWORD), BOOL> SetFilePointerEx{"SetFilePointerEx",
                                                                                           &::SetFilePointerEx, FALSE};
  Call<BOOL(WINAPI*)(HANDLE, PLARGE_INTEGER), BOOL> GetFileSizeEx{"GetFileSizeEx", &::GetFileSizeEx, FALSE};
  Call<BOOL(WINAPI*)(HANDLE), BOOL> SetEndOfFile{"SetEndOfFile", &::SetEndOfFile, FALSE};
  Call<BOOL(WINAPI*)(HANDLE), BOOL> FlushFileBuffers{"FlushFileBuffers", &::FlushFileBuffers, FALSE};
  Call<BOOL(WINAPI*)(HANDLE), BOOL> CloseHandle{"CloseHandle", &::CloseHandle, FALSE};
  Call<DWORD(WINAPI*)(HANDLE), DWORD> GetFileType{"GetFileType", &::GetFileType, FILE_TYPE_UNKNOWN};
  Call<BOOL(WINAPI*)(HANDLE, LPBY_HANDLE_FILE_INFORMATION), BOOL> GetFileInformationByHandle{
      "GetFileInformationByHandle", &::GetFileInformationByHandle, FALSE};
  Call<DWORD(WINAPI*)(LPCWSTR), DWORD> GetFileAttributesW{"GetFileAttributesW", &::GetFileAttributesW,
                                                          INVALID_FILE_ATTRIBUTES};
  Call<BOOL(WINAPI*)(LPCWSTR, GET_FILEEX_INFO_LEVELS, LPVOID), BOOL> GetFileAttributesExW{
      "GetFileAttributesExW", &::GetFileAttributesExW, FALSE};
  Call<BOOL(WINAPI*)(LPCWSTR, DWORD), BOOL> SetFileAttributesW{"SetFileAttributesW", &::SetFileAttributesW, FALSE};
  Call<BOOL(WINAPI*)(HANDLE, const FILETIME*, const FILETIME*, const FILETIME*), BOOL> SetFileTime{
      "SetFileTime", &::SetFileTime, FALSE};
  Call<BOOL(WINAPI*)(LPCWSTR), BOOL> DeleteFileW{"DeleteFileW", &::DeleteFileW, FALSE};
  Call<BOOL(WINAPI*)(LPCWSTR, LPSECURITY_ATTRIBUTES), BOOL> CreateDirectoryW{"CreateDirectoryW", &::CreateDirectoryW,
                                                                             FALSE};
  Call<BOOL(WINAPI*)(LPCWSTR, LPCWSTR, LPCWSTR, DWORD, LPVOID, LPVOID), BOOL> ReplaceFileW{"ReplaceFileW",
                                                                                           &::ReplaceFileW, FALSE};
  Call<BOOL(WINAPI*)(LPCWSTR, LPCWSTR, DWORD), BOOL> MoveFileExW{"MoveFileExW", &::MoveFileExW, FALSE};
  Call<BOOL(WINAPI*)(LPCWSTR, LPCWSTR, LPSECURITY_ATTRIBUTES), BOOL> CreateHardLinkW{"CreateHardLinkW",
                                                                                     &::CreateHardLinkW, FALSE};
  Call<BOOL(WINAPI*)(HANDLE, int, LPVOID, DWORD), BOOL> SetFileInformationByHandle{
      "SetFileInformationByHandle", &SetFileInformationByHandleWhereAvailable, FALSE};
  Call<HANDLE(WINAPI*)(LPCWSTR, LPWIN32_FIND_DATAW), HANDLE> FindFirstFileW{"FindFirstFileW", &::FindFirstFileW,
                                                                            INVALID_HANDLE_VALUE};
  Call<BOOL(WINAPI*)(HANDLE, LPWIN32_FIND_DATAW), BOOL> FindNextFileW{"FindNextFileW", &::FindNextFileW, FALSE};
};

// The table every call of the backend goes through.
SystemCalls& Sys();

}  // namespace cw::platform::win32
