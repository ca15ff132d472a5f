#pragma once
// The language the programs speak: Chinese on a Chinese Windows (and wherever
// the user's language cannot be told), English on every other. Each dialog
// template and string table exists once per language under the same ids;
// these look them up in the chosen language, falling back to Chinese.
#include <windows.h>

#include <string>

namespace vellumo {

constexpr LANGID kChineseUi = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);
constexpr LANGID kEnglishUi = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

inline LANGID UiLanguage() {
  const WORD primary = PRIMARYLANGID(LANGIDFROMLCID(GetUserDefaultUILanguage()));
  return primary == LANG_CHINESE || primary == LANG_NEUTRAL ? kChineseUi : kEnglishUi;
}

// The resource of `type` and `id` in the user's language, or null.
inline HRSRC FindUiResource(HMODULE module, LPCWSTR type, LPCWSTR id) {
  HRSRC found = FindResourceExW(module, type, id, UiLanguage());
  return found != nullptr ? found : FindResourceExW(module, type, id, kChineseUi);
}

// A string of the module's string tables in `language`; empty when there is none.
inline std::wstring UiString(HMODULE module, UINT id, LANGID language) {
  // Strings are kept sixteen to a block, each preceded by its length.
  HRSRC block = FindResourceExW(module, RT_STRING, MAKEINTRESOURCEW(id / 16 + 1), language);
  if (block == nullptr) return {};
  const auto* text = static_cast<const wchar_t*>(LockResource(LoadResource(module, block)));
  const DWORD size = SizeofResource(module, block) / sizeof(wchar_t);
  if (text == nullptr) return {};
  DWORD at = 0;
  for (UINT i = 0; i < id % 16; ++i) {
    if (at >= size) return {};
    at += 1 + text[at];
  }
  if (at >= size || at + 1 + text[at] > size) return {};
  return std::wstring(text + at + 1, text[at]);
}

// The same in the user's language, or else in Chinese.
inline std::wstring UiString(HMODULE module, UINT id) {
  std::wstring text = UiString(module, id, UiLanguage());
  return text.empty() && UiLanguage() != kChineseUi ? UiString(module, id, kChineseUi) : text;
}

}  // namespace vellumo
