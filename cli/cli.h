#pragma once
// vellumo-cli: the file engine, the clipboard text codec and the key database
// from a terminal or a script.
#include <string>
#include <vector>

namespace vellumo::cli {

// Exit status: 0 done; 1 a file (or the text, or the key database) was
// refused or a step failed; 2 nothing was done because the command line or
// the key was not usable; 130 the run was stopped by Ctrl-C.
constexpr int kExitOk = 0;
constexpr int kExitRefused = 1;
constexpr int kExitUsage = 2;

// args: the command line without the program's name.
int Run(const std::vector<std::wstring>& args);

}  // namespace vellumo::cli
