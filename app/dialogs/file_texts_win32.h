#pragma once
// How the file dialog words what the engine says about a file, in the user's
// language: the message box of a refusal, the status line of the file in
// hand, and a file's reason in the run summary.
#include <string>

#include "fileenc/file_engine.h"

namespace vellumo {

// The message box text ("文件:%s  打不开!").
std::wstring RefusalBoxText(FileMessage message, const std::wstring& path);
// "正在加密文件:" + path, and how many of its first characters precede the path.
std::wstring StatusText(Direction direction, const std::wstring& path, size_t* pathStart);
// Why a file is not done ("打不开! (…the system's own words…)").
std::wstring ReasonText(const FileResult& file);

}  // namespace vellumo
