// Starting chengwen-cli as a process, the same way on every system: a POSIX shell does it
// natively, CreateProcessW under Windows (and Wine). One file per system.
#pragma once

#include <string>

namespace cw::test {

struct CliRun {
  int status = -1;
  std::string out;  // standard output, as bytes
};

// Runs chengwen-cli with `arguments` written as for a POSIX shell (words apart by spaces,
// a word in single quotes taken as it is), standard input read from the file
// `stdinPath` (UTF-8, as Shown gives it; empty: no input) and, when `folder` is given,
// in that folder (a working-code-page path). Standard error is dropped.
CliRun RunCli(const std::string& arguments, const std::string& stdinPath, const std::string& folder);

// A working-code-page path as chengwen-cli prints it, in UTF-8: "/tmp/x/a.txt" on POSIX,
// "C:\users\x\a.txt" on Windows.
std::string Shown(const std::string& path);

}  // namespace cw::test
