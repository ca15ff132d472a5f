// Path text helpers shared by both file seams (pure string work), and the
// temporary-file policy built on the seam.
#include "platform/file_system.h"

namespace vellumo {

std::wstring JoinPath(const std::wstring& folder, const std::wstring& name) {
  if (folder.empty()) return name;
  if (IsPathSeparator(folder.back())) return folder + name;
  return folder + kPathSeparator + name;
}

size_t LastSeparator(const std::wstring& path) {
  for (size_t i = path.size(); i > 0; --i) {
    if (IsPathSeparator(path[i - 1])) return i - 1;
  }
  return std::wstring::npos;
}

std::wstring FileNamePart(const std::wstring& path) {
  const size_t cut = LastSeparator(path);
  return cut == std::wstring::npos ? path : path.substr(cut + 1);
}

std::wstring ParentFolder(const std::wstring& path) {
  const size_t cut = LastSeparator(path);
  if (cut == std::wstring::npos) return L".";
  return cut == 0 ? path.substr(0, 1) : path.substr(0, cut);
}

size_t ExtensionStart(const std::wstring& name) {
  const size_t dot = name.rfind(L'.');
  return dot == std::wstring::npos || dot == 0 ? std::wstring::npos : dot;
}

std::wstring NumberedName(const std::wstring& path, int number) {
  const size_t nameStart = LastSeparator(path) == std::wstring::npos ? 0 : LastSeparator(path) + 1;
  const size_t extension = ExtensionStart(path.substr(nameStart));
  const size_t cut = extension == std::wstring::npos ? path.size() : nameStart + extension;
  return path.substr(0, cut) + L" (" + std::to_wstring(number) + L")" + path.substr(cut);
}

std::wstring FreeName(const std::wstring& path) {
  auto taken = [](const std::wstring& p) { return PathExists(p) || IsSymbolicLink(p); };
  if (!taken(path)) return path;
  // Bounded: a name that always "exists" (a device on Windows) must not hold
  // the run forever.
  for (int number = 2; number <= kMaxNumberedNames; ++number) {
    std::wstring candidate = NumberedName(path, number);
    if (!taken(candidate)) return candidate;
  }
  return std::wstring();
}

bool IsReservedDeviceName(const std::wstring& name) {
  // Windows looks at the name up to its first dot, without trailing spaces.
  std::wstring base = name.substr(0, name.find(L'.'));
  while (!base.empty() && base.back() == L' ') base.pop_back();
  for (wchar_t& c : base) {
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
  }
  if (base == L"CON" || base == L"PRN" || base == L"AUX" || base == L"NUL" || base == L"CONIN$" ||
      base == L"CONOUT$") {
    return true;
  }
  if (base.size() != 4 || (base.compare(0, 3, L"COM") != 0 && base.compare(0, 3, L"LPT") != 0)) return false;
  const wchar_t digit = base[3];
  return (digit >= L'1' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' || digit == L'\u00B3';
}

std::wstring TemporaryPathFor(const std::wstring& path) { return path + kTemporarySuffix; }

Status CreateTemporary(FileHandle& out, const std::wstring& tempPath) {
  if (IsSymbolicLink(tempPath)) {
    DeleteFilePath(tempPath);
  } else if (PathExists(tempPath)) {
    SetNormalAttributes(tempPath);
  }
  return out.CreateForWrite(tempPath);
}

Status ReplaceWithTemporary(const std::wstring& tempPath, const std::wstring& target, FolderSync sync) {
  const uint32_t previous = GetAttributes(target);
  const bool existed = previous != UINT32_MAX;
  if (existed) SetNormalAttributes(target);
  Status replaced = ReplaceFileAtomically(tempPath, target, sync);
  if (!replaced) {
    if (existed) SetAttributes(target, previous);
    DeleteFilePath(tempPath);
  }
  return replaced;
}

}  // namespace vellumo
