#include "handoff/handoff_block_win32.h"

#include <sddl.h>

#include <aclapi.h>

#include <cstring>

#include "handoff/handoff_layout.h"

namespace vellumo {
namespace {

// A piece of the process token (TokenUser, TokenOwner) in a buffer of its own;
// empty when it cannot be had.
std::vector<unsigned char> TokenPart(TOKEN_INFORMATION_CLASS part) {
  UniqueHandle token;
  DWORD size = 0;
  std::vector<unsigned char> bytes;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.receive())) return bytes;
  GetTokenInformation(token.get(), part, nullptr, 0, &size);
  bytes.resize(size);
  if (size == 0 || !GetTokenInformation(token.get(), part, bytes.data(), size, &size)) bytes.clear();
  return bytes;
}

std::vector<unsigned char> CurrentUser() { return TokenPart(TokenUser); }
PSID SidOf(std::vector<unsigned char>& user) { return reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid; }

// True for a block as this user's writers make it: owned by the user and
// open to nobody else. Another Explorer process of the user (folder windows
// in a process of their own) holds its block so; a block made by anyone else,
// or one that others may open, is not ours to fill.
bool BelongsToCurrentUserAlone(const wchar_t* name) {
  UniqueHandle block(OpenFileMappingW(READ_CONTROL, FALSE, name));
  std::vector<unsigned char> user = CurrentUser();
  // Objects the user makes are owned by the user, or by the token's default
  // owner (for an elevated administrator, the administrators' group).
  std::vector<unsigned char> defaultOwner = TokenPart(TokenOwner);
  PSID owner = nullptr;
  PACL dacl = nullptr;
  UniqueLocal descriptor;
  if (!block || user.empty() || defaultOwner.empty() ||
      GetSecurityInfo(block.get(), SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                      nullptr, &dacl, nullptr, reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.receive())) !=
          ERROR_SUCCESS ||
      !owner || !dacl ||
      !(EqualSid(owner, SidOf(user)) || EqualSid(owner, reinterpret_cast<TOKEN_OWNER*>(defaultOwner.data())->Owner))) {
    return false;
  }
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(dacl, i, &ace)) return false;
    const auto* header = static_cast<const ACE_HEADER*>(ace);
    if (header->AceType == ACCESS_DENIED_ACE_TYPE) continue;  // opens the block to nobody
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE ||
        !EqualSid(&static_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart, SidOf(user))) {
      return false;
    }
  }
  return true;
}

// Security attributes that let the current user, and no one else, open the
// block: the selection is nobody else's to read or to fill.
class OwnerOnly {
 public:
  OwnerOnly() {
    std::vector<unsigned char> user = CurrentUser();
    wchar_t* sid = nullptr;
    if (user.empty() || !ConvertSidToStringSidW(SidOf(user), &sid)) return;
    // A protected list with one entry: all access for this user.
    const std::wstring text = std::wstring(L"D:P(A;;GA;;;") + sid + L")";
    LocalFree(sid);
    ConvertStringSecurityDescriptorToSecurityDescriptorW(text.c_str(), SDDL_REVISION_1,
                                                         reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor_.receive()),
                                                         nullptr);
    attributes_.lpSecurityDescriptor = descriptor_.get();
  }
  explicit operator bool() const { return static_cast<bool>(descriptor_); }
  SECURITY_ATTRIBUTES* get() { return &attributes_; }

 private:
  UniqueLocal descriptor_;
  SECURITY_ATTRIBUTES attributes_{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
};

// The bytes a view of a block really has: a block made by another program may
// be smaller than ours.
size_t ViewBytes(const void* view) {
  MEMORY_BASIC_INFORMATION info{};
  return VirtualQuery(view, &info, sizeof info) ? info.RegionSize : 0;
}

}  // namespace

bool HandoffBlock::WriteList(const wchar_t* name, const std::vector<std::wstring>& paths) {
  OwnerOnly security;
  if (!security) return false;
  UniqueHandle mapping(CreateFileMappingW(INVALID_HANDLE_VALUE, security.get(), PAGE_READWRITE, 0,
                                          static_cast<DWORD>(kHandoffBlockSize), name));
  const bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
  if (!mapping) return false;
  // The name taken already: by the block written last time, which is still
  // held (so its name cannot have passed to anyone else), or by one that
  // another writer of this user holds. A block of any other maker is refused.
  if (existed && !mapping_ && !BelongsToCurrentUserAlone(name)) return false;
  // Whoever made it, its size is what it is: never written past.
  UniqueView view(MapViewOfFile(mapping.get(), FILE_MAP_WRITE, 0, 0, 0));
  if (!view || ViewBytes(view.get()) < kHandoffBlockSize) return false;
  std::vector<uint16_t> block = EncodeHandoffBlock(paths);
  std::memcpy(view.get(), block.data(), kHandoffBlockSize);
  // Kept open afterwards, so the block outlives the call until it is read.
  mapping_ = std::move(mapping);
  return true;
}

bool HandoffBlock::ReadList(const wchar_t* name, std::vector<std::wstring>& paths) {
  UniqueHandle mapping(OpenFileMappingW(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, name));
  if (!mapping) return false;
  UniqueView view(MapViewOfFile(mapping.get(), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, 0));
  if (!view) return false;
  // A block made by someone else may be smaller than ours: never read past it.
  size_t bytes = ViewBytes(view.get());
  if (bytes > kHandoffBlockSize) bytes = kHandoffBlockSize;
  auto* text = static_cast<uint16_t*>(view.get());
  paths = DecodeHandoffBlock(text, bytes / 2);
  // Consumed, and nothing of the selection stays readable in the block that
  // the shell extension keeps open.
  SecureZeroMemory(view.get(), bytes);
  return true;
}

}  // namespace vellumo
