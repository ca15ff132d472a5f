#pragma once
// The background update check started by the settings dialog: at most every
// three days, fetch the update description, compare its version with this
// executable's FileVersion and, when they differ, download and start the
// updater it names.
#include <windows.h>

#include <string>

namespace vellumo {

// Thread routine; the parameter (the settings dialog) is not used. Returns 1.
DWORD WINAPI UpdateCheckThread(LPVOID dialog);

// The FileVersion string of an executable's version resource, or empty text.
std::wstring ReadFileVersion(const std::wstring& path);

}  // namespace vellumo
