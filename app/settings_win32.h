#pragma once
// The per-user settings file (profile format, "quen_set.ini"): one value per
// call, read and written by section and key, nothing cached. A missing file,
// section or key reads as its default; failed writes are not reported.
#include <cstdint>
#include <string>

#include "crypto/cipher_algorithm.h"
#include "fileenc/file_format.h"

namespace vellumo {

// Reads up to 256 characters.
std::wstring ReadSettingText(const std::wstring& file, const wchar_t* section, const wchar_t* key,
                             const wchar_t* defaultValue);
void WriteSettingText(const std::wstring& file, const wchar_t* section, const wchar_t* key, const std::wstring& value);

// Text to integer as the standard conversion does: leading blanks, a sign,
// digits; text without leading digits gives 0. Default "0".
int ReadSettingInt(const std::wstring& file, const wchar_t* section, const wchar_t* key);
void WriteSettingInt(const std::wstring& file, const wchar_t* section, const wchar_t* key, int value);  // "%d"

// The values the program keeps.
CipherAlgorithm ReadCipherType(const std::wstring& file);  // "DETYPE" / "TYPE"
// Writes only the three legacy ciphers: an older program sharing the file
// would write a header naming any other id over a body left in the clear.
void WriteCipherType(const std::wstring& file, CipherAlgorithm type);
// "DETYPE" / "FORMAT": "0" the legacy format with TYPE's cipher, any other
// number the sealed format. TYPE keeps the legacy cipher either way. Without
// the key, a file that holds a cipher choice (TYPE) was made by an earlier
// installation and keeps its legacy format; a new installation's file gets
// the sealed format.
FileFormat ReadFileFormat(const std::wstring& file);
void WriteFileFormat(const std::wstring& file, FileFormat format);
bool ReadPacking(const std::wstring& file);  // "DETYPE" / "ZIP"
void WritePacking(const std::wstring& file, bool pack);
// "DETYPE" / "AUTOCLOSE": whether the file dialog, started from the shell,
// closes by itself after a run in which every file succeeded. On ("1") unless
// the user switched it off.
bool ReadAutoClose(const std::wstring& file);
void WriteAutoClose(const std::wstring& file, bool close);
// "UPDATE" / "LASTTIME": the low 32 bits of the time, written with "%u".
uint32_t ReadLastUpdateCheck(const std::wstring& file);
void WriteLastUpdateCheck(const std::wstring& file, uint32_t seconds);

// The standard text-to-integer conversion on its own (for values read elsewhere).
int ParseSettingInt(const std::wstring& text);

}  // namespace vellumo
