#include "shellext/drop_list_win32.h"

#include <shlobj.h>

#include <cstring>

namespace vellumo {
namespace {

// Visits the entries of a locked drop list of `size` bytes until `visit`
// answers false or the list ends.
template <typename Visit>
void ForEachEntry(const unsigned char* memory, size_t size, Visit&& visit) {
  DROPFILES header;
  if (size < sizeof header) return;
  std::memcpy(&header, memory, sizeof header);
  if (header.pFiles < sizeof header || header.pFiles >= size) return;
  const unsigned char* at = memory + header.pFiles;
  const unsigned char* const end = memory + size;
  if (header.fWide) {
    std::wstring path;
    for (; end - at >= 2; at += 2) {
      wchar_t c;
      std::memcpy(&c, at, 2);  // the list need not be aligned
      if (c != L'\0') {
        path += c;
        continue;
      }
      if (path.empty() || !visit(std::move(path))) return;  // an empty entry ends the list
      path.clear();
    }
    return;
  }
  // A list of the ANSI code page's bytes, from older programs.
  for (;;) {
    const auto* zero = static_cast<const unsigned char*>(std::memchr(at, 0, static_cast<size_t>(end - at)));
    if (!zero || zero == at) return;
    const int bytes = static_cast<int>(zero - at);
    std::wstring path(static_cast<size_t>(bytes), L'\0');
    path.resize(static_cast<size_t>(
        MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<const char*>(at), bytes, path.data(), bytes)));
    if (path.empty() || !visit(std::move(path))) return;
    at = zero + 1;
  }
}

// The locked memory of a drop list, unlocked when it goes.
class Locked {
 public:
  explicit Locked(HGLOBAL memory)
      : memory_(memory), bytes_(static_cast<const unsigned char*>(GlobalLock(memory))), size_(GlobalSize(memory)) {}
  ~Locked() {
    if (bytes_) GlobalUnlock(memory_);
  }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;
  const unsigned char* bytes() const { return bytes_; }
  size_t size() const { return bytes_ ? size_ : 0; }

 private:
  HGLOBAL memory_;
  const unsigned char* bytes_;
  size_t size_;
};

}  // namespace

DropListData::DropListData(IDataObject* data) {
  FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  held_ = data && SUCCEEDED(data->GetData(&format, &medium_));
  if (held_ && (medium_.tymed != TYMED_HGLOBAL || !medium_.hGlobal)) {
    ReleaseStgMedium(&medium_);
    held_ = false;
  }
}

DropListData::~DropListData() {
  if (held_) ReleaseStgMedium(&medium_);
}

bool DropListData::HasPaths() const {
  if (!held_) return false;
  Locked list(medium_.hGlobal);
  bool any = false;
  ForEachEntry(list.bytes(), list.size(), [&](std::wstring&&) {
    any = true;
    return false;
  });
  return any;
}

std::vector<std::wstring> DropListData::Paths(size_t textLimit) const {
  std::vector<std::wstring> paths;
  if (!held_) return paths;
  Locked list(medium_.hGlobal);
  size_t text = 0;
  ForEachEntry(list.bytes(), list.size(), [&](std::wstring&& path) {
    text += (path.size() + 1) * sizeof(uint16_t);
    paths.push_back(std::move(path));
    return text <= textLimit;
  });
  return paths;
}

}  // namespace vellumo
