// chengwen-cli.exe started with CreateProcessW, its arguments in UTF-16 as cmd.exe passes
// them, standard output through a pipe.
#include <windows.h>

#include <vector>

#include "cli/cli_run.h"
#include "encoding/charset.h"
#include "platform/platform.h"

namespace cw::test {
namespace {

// The words of a POSIX shell line, with single quotes only (all the tests use).
std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  bool quoted = false;
  for (char c : line) {
    if (c == '\'') {
      quoted = !quoted;
      inWord = true;
    } else if (c == ' ' && !quoted) {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(word);
  return words;
}

// One argument as CommandLineToArgvW and the C runtime read it back: in quotes, with the
// backslashes before a quote doubled.
std::wstring Quoted(const std::wstring& arg) {
  std::wstring out = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

std::wstring WideUtf8(const std::string& utf8) { return WorkingToWide(FromUtf8(utf8)); }

HANDLE InheritableFile(const std::wstring& path, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, disposition,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Everything the pipe brings until the program's end closes it.
std::string ReadAll(HANDLE pipe) {
  std::string out;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(pipe, buffer, sizeof(buffer), &got, nullptr) && got > 0) out.append(buffer, got);
  return out;
}

}  // namespace

CliRun RunCli(const std::string& arguments, const std::string& stdinPath, const std::string& folder) {
  CliRun run;
  std::wstring command = Quoted(WorkingToWide(platform::ProgramFolder() + "\\chengwen-cli.exe"));
  for (const std::string& word : Words(arguments)) command += L" " + Quoted(WideUtf8(word));
  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return run;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = InheritableFile(stdinPath.empty() ? L"NUL" : WideUtf8(stdinPath), GENERIC_READ, OPEN_EXISTING);
  startup.hStdOutput = writeEnd;
  startup.hStdError = InheritableFile(L"NUL", GENERIC_WRITE, OPEN_EXISTING);
  const std::wstring directory = WorkingToWide(folder);
  PROCESS_INFORMATION process = {};
  const bool started = CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr,
                                      folder.empty() ? nullptr : directory.c_str(), &startup, &process);
  // The program holds its own copies: the pipe ends when it does.
  CloseHandle(writeEnd);
  CloseHandle(startup.hStdInput);
  CloseHandle(startup.hStdError);
  if (started) {
    run.out = ReadAll(readEnd);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    if (GetExitCodeProcess(process.hProcess, &code)) run.status = static_cast<int>(code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  CloseHandle(readEnd);
  return run;
}

std::string Shown(const std::string& path) {
  std::string utf8 = ToUtf8(path);
  for (char& c : utf8) {
    if (c == '/') c = '\\';
  }
  return utf8;
}

}  // namespace cw::test
