// Helpers shared by the files of the Win32 backend: paths to UTF-16 at the edge,
// GetLastError codes to Status and the sequence every public call starts with.
#pragma once

#include <string>

#include "platform/backend.h"
#include "platform/platform.h"

namespace cw::platform::win32 {

// The working-code-page path as UTF-16 for the W functions; false when it cannot be
// represented (then nothing may be opened under a mangled name).
bool ToWidePath(const std::string& path, std::wstring* wide);
// A UTF-16 name from the system back in the working code page.
std::string FromWide(const wchar_t* wide);

Status StatusFromWin32(unsigned long error);

// Notes that the volume of `handle` replaced a file by a rename with POSIX semantics:
// from now on its originals are held against writers until they are replaced.
void NoteReplacedWithPosixSemantics(void* handle);

// What every public call does first (see detail::PublicCall), with paths in UTF-16.
using PublicCall = detail::PublicCall<std::wstring, ToWidePath>;

}  // namespace cw::platform::win32
