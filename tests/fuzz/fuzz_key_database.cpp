// The key database with hostile content. The first input byte picks:
//   even: the rest is the database file itself, opened and listed, then
//         written to (a key added, edited and deleted);
//   odd:  the rest is a key name, key text and note (split at zero bytes),
//         added to a fresh copy of the template and read back.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "crypto/ansi_codepage.h"
#include "fuzz_support.h"
#include "keystore/key_store.h"

namespace {

using namespace vellumo;
namespace fs = std::filesystem;

constexpr unsigned kCodePage = 936;

class Ignore : public KeyListTarget {
 public:
  void Clear() override {}
  void Add(int, const KeyRow&) override {}
};

// What a text looks like after a trip through the database's code page.
std::wstring ThroughCodePage(std::string_view bytes) { return FromAnsi(ToAnsi(FromAnsi(bytes, kCodePage), kCodePage), kCodePage); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const fs::path folder = fuzz::ScratchFolder() / "db";
  fuzz::ResetFolder(folder);
  const fs::path user = folder / "docset.dat";
  const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);

  if (data[0] % 2 == 0) {
    fuzz::WriteBytes(user, rest.data(), rest.size());
    CAdoDB db(user.wstring(), (folder / "missing-template").wstring(), kCodePage);
    Ignore list, combo;
    std::vector<std::wstring> values;
    db.LoadKeyList(&list, &combo, &values);
    db.Rows();
    db.AddKey(7, L"名字", L"key", L"");
    db.EditKey(L"7", L"名字2", L"'; drop table keylist; --", L"x");
    db.DeleteKey(L"7");
    return 0;
  }

  std::string_view parts[3];
  std::string_view left = rest;
  for (auto& part : parts) {
    const size_t cut = left.find('\0');
    part = left.substr(0, cut);
    left = cut == std::string_view::npos ? std::string_view() : left.substr(cut + 1);
  }
  CAdoDB db(user.wstring(), fs::path(VELLUMO_DOCSET_TEMPLATE).wstring(), kCodePage);
  if (!db.isOpen()) fuzz::Fail("the template copy does not open");
  const std::wstring name = FromAnsi(parts[0], kCodePage);
  const std::wstring key = FromAnsi(parts[1], kCodePage);
  const std::wstring about = FromAnsi(parts[2], kCodePage);
  if (!db.AddKey(1, name, key, about)) fuzz::Fail("a key was not added");
  const auto rows = db.Rows();
  if (rows.size() != 1 || rows[0].id != L"1") fuzz::Fail("not exactly the added row");
  if (rows[0].name != ThroughCodePage(parts[0]) || rows[0].keyText != ThroughCodePage(parts[1]) ||
      rows[0].about != ThroughCodePage(parts[2])) {
    fuzz::Fail("a text came back changed");
  }
  if (!db.DeleteKey(L"1") || !db.Rows().empty()) fuzz::Fail("the key was not deleted");
  return 0;
}
