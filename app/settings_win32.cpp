#include "app/settings_win32.h"

#include <windows.h>

#include <cwchar>

namespace vellumo {

std::wstring ReadSettingText(const std::wstring& file, const wchar_t* section, const wchar_t* key,
                             const wchar_t* defaultValue) {
  wchar_t buffer[256] = {};
  GetPrivateProfileStringW(section, key, defaultValue, buffer, 256, file.c_str());
  return buffer;
}

void WriteSettingText(const std::wstring& file, const wchar_t* section, const wchar_t* key, const std::wstring& value) {
  WritePrivateProfileStringW(section, key, value.c_str(), file.c_str());
}

int ParseSettingInt(const std::wstring& text) {
  // atoi semantics without its undefined overflow: clamp like strtol, then
  // keep the low 32 bits as a C int would.
  return static_cast<int>(std::wcstol(text.c_str(), nullptr, 10));
}

int ReadSettingInt(const std::wstring& file, const wchar_t* section, const wchar_t* key) {
  return ParseSettingInt(ReadSettingText(file, section, key, L"0"));
}

void WriteSettingInt(const std::wstring& file, const wchar_t* section, const wchar_t* key, int value) {
  wchar_t text[16];
  swprintf(text, 16, L"%d", value);
  WriteSettingText(file, section, key, text);
}

CipherAlgorithm ReadCipherType(const std::wstring& file) { return ReadSettingInt(file, L"DETYPE", L"TYPE"); }
void WriteCipherType(const std::wstring& file, CipherAlgorithm type) {
  if (type.IsKnown()) WriteSettingInt(file, L"DETYPE", L"TYPE", type);
}

FileFormat ReadFileFormat(const std::wstring& file) {
  const std::wstring format = ReadSettingText(file, L"DETYPE", L"FORMAT", L"");
  if (!format.empty()) return ParseSettingInt(format) == 0 ? FileFormat::kLegacy : FileFormat::kSealed;
  const bool earlierChoice = !ReadSettingText(file, L"DETYPE", L"TYPE", L"").empty();
  return earlierChoice ? FileFormat::kLegacy : FileFormat::kSealed;
}

void WriteFileFormat(const std::wstring& file, FileFormat format) {
  WriteSettingInt(file, L"DETYPE", L"FORMAT", format == FileFormat::kSealed ? 1 : 0);
}
bool ReadPacking(const std::wstring& file) { return ReadSettingInt(file, L"DETYPE", L"ZIP") != 0; }
void WritePacking(const std::wstring& file, bool pack) { WriteSettingInt(file, L"DETYPE", L"ZIP", pack ? 1 : 0); }

bool ReadAutoClose(const std::wstring& file) {
  return ParseSettingInt(ReadSettingText(file, L"DETYPE", L"AUTOCLOSE", L"1")) != 0;
}
void WriteAutoClose(const std::wstring& file, bool close) {
  WriteSettingInt(file, L"DETYPE", L"AUTOCLOSE", close ? 1 : 0);
}

uint32_t ReadLastUpdateCheck(const std::wstring& file) {
  // Written with "%u": values past 2^31 (after 2038) must read back whole.
  std::wstring text = ReadSettingText(file, L"UPDATE", L"LASTTIME", L"0");
  return static_cast<uint32_t>(std::wcstoul(text.c_str(), nullptr, 10));
}

void WriteLastUpdateCheck(const std::wstring& file, uint32_t seconds) {
  wchar_t text[16];
  swprintf(text, 16, L"%u", seconds);
  WriteSettingText(file, L"UPDATE", L"LASTTIME", text);
}

}  // namespace vellumo
