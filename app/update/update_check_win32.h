#pragma once
// The background update check started by the settings dialog: at most every
// three days, fetch the update description, compare its version with this
// executable's FileVersion and, when they differ, download and start the
// updater it names.
#include <windows.h>

#include <string>

namespace vellumo {

// Thread routine; the parameter is the settings dialog's window, which owns
// the one message the check may show (an updater without a valid signature).
// Returns 1.
DWORD WINAPI UpdateCheckThread(LPVOID dialogWindow);

// The FileVersion string of an executable's version resource, or empty text.
std::wstring ReadFileVersion(const std::wstring& path);

}  // namespace vellumo
