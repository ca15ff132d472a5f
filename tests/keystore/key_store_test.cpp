// The key database: template copy, order, NULLs, code page bytes on disk,
// bound values, and files that are not what they should be.
#include <gtest/gtest.h>
#include <sqlite3.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include "keystore/key_store.h"
#include "test_support.h"

namespace vellumo {
namespace {
namespace fs = std::filesystem;
using testing::TempDir;
using testing::ToHex;

std::wstring W(const fs::path& p) { return p.wstring(); }

// Raw access that bypasses CAdoDB, to set up and inspect files as older
// versions wrote them.
class RawDb {
 public:
  explicit RawDb(const fs::path& path) { sqlite3_open(path.u8string().c_str(), &db_); }
  ~RawDb() { sqlite3_close(db_); }
  void Exec(const std::string& sql) { ASSERT_EQ(SQLITE_OK, sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr)) << sql; }
  std::string BytesOf(const std::string& sql) {
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr);
    std::string out;
    if (sqlite3_step(st) == SQLITE_ROW) {
      out = ToHex(static_cast<const uint8_t*>(sqlite3_column_blob(st, 0)), sqlite3_column_bytes(st, 0));
    }
    sqlite3_finalize(st);
    return out;
  }

 private:
  sqlite3* db_ = nullptr;
};

class RecordingTarget : public KeyListTarget {
 public:
  void Clear() override { rows.clear(), ++clears; }
  void Add(int index, const KeyRow& row) override {
    EXPECT_EQ(index, static_cast<int>(rows.size()));
    rows.push_back(row);
  }
  void Done() override { ++done; }
  std::vector<KeyRow> rows;
  int clears = 0, done = 0;
};

struct KeyDb : ::testing::Test {
  TempDir tmp;
  fs::path user = tmp / "docset.dat";
  fs::path templ = tmp / "template.dat";
  void SetUp() override { fs::copy_file(DOCSET_TEMPLATE, templ); }
};

TEST_F(KeyDb, FirstOpenCopiesTheEmptyTemplate) {
  CAdoDB db(W(user), W(templ), 936);
  ASSERT_TRUE(db.isOpen());
  EXPECT_TRUE(fs::exists(user));
  RecordingTarget list, combo;
  std::vector<std::wstring> values{L"stale"};
  db.LoadKeyList(&list, &combo, &values);
  EXPECT_TRUE(list.rows.empty());
  EXPECT_TRUE(values.empty());
  EXPECT_EQ(1, combo.clears);
}

TEST_F(KeyDb, RowsComeInNumericIdOrderWithNullsAsEmpty) {
  fs::copy_file(templ, user);
  {
    RawDb raw(user);
    raw.Exec("insert into keylist values (10, 'ten', 'k10', NULL)");
    raw.Exec("insert into keylist values (2, 'two', 'k2', 'n')");
    raw.Exec("insert into keylist values (1, NULL, NULL, NULL)");
  }
  CAdoDB db(W(user), W(templ), 936);
  RecordingTarget list;
  std::vector<std::wstring> values;
  db.LoadKeyList(&list, nullptr, &values);
  ASSERT_EQ(3u, list.rows.size());
  EXPECT_EQ(L"1", list.rows[0].id);
  EXPECT_EQ(L"", list.rows[0].name);
  EXPECT_EQ(L"2", list.rows[1].id);
  EXPECT_EQ(L"10", list.rows[2].id);
  EXPECT_EQ(L"", list.rows[2].about);
  EXPECT_EQ((std::vector<std::wstring>{L"", L"k2", L"k10"}), values);
  EXPECT_TRUE(db.AddKey(11, L"eleven", L"k11", L""));
  db.LoadKeyList(&list, nullptr, nullptr);
  EXPECT_EQ(L"11", list.rows.back().id);
}

// The store picks a new key's id: the greatest + 1, so a deleted last id is
// taken again and gaps stay.
TEST_F(KeyDb, NewKeysGetTheGreatestIdPlusOne) {
  fs::copy_file(templ, user);
  KeyStore db(W(user), W(templ), 936);
  auto ids = [&] {
    std::vector<std::wstring> out;
    for (const KeyRow& row : db.Rows()) out.push_back(row.id);
    return out;
  };
  ASSERT_TRUE(db.AddKey(L"first", L"k1", L""));
  EXPECT_EQ(ids(), (std::vector<std::wstring>{L"1"}));
  ASSERT_TRUE(db.AddKey(10, L"ten", L"k10", L""));
  ASSERT_TRUE(db.AddKey(L"eleven", L"k11", L"n"));
  EXPECT_EQ(ids(), (std::vector<std::wstring>{L"1", L"10", L"11"}));
  ASSERT_TRUE(db.DeleteKey(L"11"));
  ASSERT_TRUE(db.DeleteKey(L"1"));
  ASSERT_TRUE(db.AddKey(L"again", L"k", L""));
  EXPECT_EQ(ids(), (std::vector<std::wstring>{L"10", L"11"}));
  EXPECT_EQ(db.Rows().back().name, L"again");

  KeyStore closed;
  EXPECT_FALSE(closed.AddKey(L"x", L"y", L""));
}

TEST_F(KeyDb, TextIsStoredAsCodePageBytes) {
  CAdoDB db(W(user), W(templ), 936);
  // 加密 / 密钥 / 备注 with a quote: bound values keep the quote.
  ASSERT_TRUE(db.AddKey(1, L"\u52a0\u5bc6", L"\u5bc6\u94a5'x", L"\u5907\u6ce8"));
  {
    RawDb raw(user);
    EXPECT_EQ("bcd3c3dc", raw.BytesOf("select keyname from keylist where id=1"));
    EXPECT_EQ("c3dcd4bf2778", raw.BytesOf("select keyvalue from keylist where id=1"));
  }
  auto rows = db.Rows();
  ASSERT_EQ(1u, rows.size());
  EXPECT_EQ(L"\u5bc6\u94a5'x", rows[0].keyText);

  ASSERT_TRUE(db.EditKey(L"1", L"o'neil", L"k'", L"a'b"));
  rows = db.Rows();
  EXPECT_EQ(L"o'neil", rows[0].name);
  EXPECT_EQ(L"k'", rows[0].keyText);
  ASSERT_TRUE(db.DeleteKey(L"1"));
  EXPECT_TRUE(db.Rows().empty());
  EXPECT_FALSE(db.EditKey(L"1x", L"a", L"b", L"c"));
}

TEST_F(KeyDb, ExistingGbkDatabaseReadsBack) {
  // As an older version on a Chinese system left it: GBK bytes, ids with gaps.
  fs::copy_file(templ, user);
  {
    RawDb raw(user);
    raw.Exec("insert into keylist values (3, X'b9abcbbe', X'bcd3c3dcb2e2cad4c3dcd4bf', '')");
    raw.Exec("insert into keylist values (7, 'x', 'y', 'z')");
  }
  CAdoDB db(W(user), W(templ), 936);
  auto rows = db.Rows();
  ASSERT_EQ(2u, rows.size());
  EXPECT_EQ(L"\u516c\u53f8", rows[0].name);                              // 公司
  EXPECT_EQ(L"\u52a0\u5bc6\u6d4b\u8bd5\u5bc6\u94a5", rows[0].keyText);  // 加密测试密钥
}

TEST_F(KeyDb, MissingTemplateAndForeignFilesGiveEmptyListsWithoutDamage) {
  {
    CAdoDB db(W(user), W(tmp / "no-template.dat"), 936);
    RecordingTarget combo;
    db.LoadKeyList(nullptr, &combo, nullptr);
    EXPECT_TRUE(combo.rows.empty());
    EXPECT_FALSE(db.Execute(L"insert into keylist values (1,'a','b','c')"));
    EXPECT_FALSE(db.AddKey(1, L"a", L"b", L"c"));
  }
  // No empty database is left behind: once the template is back, it is used.
  EXPECT_FALSE(fs::exists(user));
  {
    CAdoDB db(W(user), W(templ), 936);
    EXPECT_TRUE(db.AddKey(1, L"a", L"b", L"c"));
  }
  fs::remove(user);

  // Not a database at all: nothing read, nothing written over the user's file.
  testing::WriteFileBytes(user, std::vector<uint8_t>(2000, 'x'));
  {
    CAdoDB db(W(user), W(templ), 936);
    RecordingTarget list;
    std::vector<std::wstring> values{L"keep?"};
    db.LoadKeyList(&list, nullptr, &values);
    EXPECT_TRUE(list.rows.empty());
    EXPECT_FALSE(db.AddKey(1, L"a", L"b", L"c"));
  }
  EXPECT_EQ(std::vector<uint8_t>(2000, 'x'), testing::ReadFileBytes(user));

  // A database with another table.
  fs::remove(user);
  { RawDb raw(user); raw.Exec("create table other (a)"); }
  CAdoDB db(W(user), W(templ), 936);
  EXPECT_TRUE(db.Rows().empty());
}

// A database made to hold the program: the key list's reads are bounded and a
// file past the bounds is reported damaged, with nothing listed.
TEST_F(KeyDb, HostileDatabasesAreReadWithinBoundsAndReportedDamaged) {
  const std::string endless = "with recursive r(x) as (select 1 union all select x+1 from r) ";
  const struct {
    const char* what;
    std::vector<std::string> setup;
  } cases[] = {
      {"a view over a query that never ends",
       {"create view keylist as " + endless + "select x as id, 'n', 'k', '' from r"}},
      {"a view whose rows pass the row limit",
       {"create view keylist as with recursive r(x) as (select 1 union all select x+1 from r where x < " +
        std::to_string(kMaxKeyRows + 1) + ") select x as id, 'n', 'k', '' from r"}},
      {"a stored row longer than any key",
       {"create table keylist (id integer, keyname text, keyvalue text, about text)",
        "insert into keylist values (1, 'big', 'k', '')",
        "insert into keylist values (2, 'big', cast(zeroblob(" + std::to_string(2 * kMaxKeyRowBytes) + ") as text), '')"}},
      {"a view that makes a huge text",
       {"create view keylist as select 1 as id, 'n', cast(zeroblob(" + std::to_string(2 * kMaxKeyRowBytes) +
        ") as text), ''"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove(user);
    {
      RawDb raw(user);
      for (const std::string& sql : c.setup) raw.Exec(sql);
    }
    CAdoDB db(W(user), W(templ), 936);
    ASSERT_TRUE(db.isOpen());
    std::vector<KeyRow> rows{{L"stale", L"", L"", L""}};
    EXPECT_EQ(db.ReadRows(rows), KeyListRead::kDamaged);
    EXPECT_TRUE(rows.empty());
    EXPECT_TRUE(db.Rows().empty());
    RecordingTarget combo;
    std::vector<std::wstring> values{L"stale"};
    EXPECT_EQ(db.LoadKeyList(nullptr, &combo, &values), KeyListRead::kDamaged);
    EXPECT_TRUE(combo.rows.empty());
    EXPECT_TRUE(values.empty());
  }
  // Adding a key asks the table for its greatest id first: bounded too.
  fs::remove(user);
  {
    RawDb raw(user);
    raw.Exec("create view keylist as " + endless + "select x as id, 'n', 'k', '' from r");
  }
  CAdoDB endlessDb(W(user), W(templ), 936);
  EXPECT_FALSE(endlessDb.AddKey(L"n", L"k", L""));
}

TEST_F(KeyDb, AFullKeyListIsReadWhole) {
  {
    RawDb raw(user);
    raw.Exec("create table keylist (id integer, keyname text, keyvalue text, about text)");
    raw.Exec("with recursive r(x) as (select 1 union all select x+1 from r where x < " +
             std::to_string(kMaxKeyRows) + ") insert into keylist select x, 'name' || x, 'key' || x, '' from r");
  }
  CAdoDB db(W(user), W(templ), 936);
  std::vector<KeyRow> rows;
  EXPECT_EQ(db.ReadRows(rows), KeyListRead::kComplete);
  ASSERT_EQ(rows.size(), kMaxKeyRows);
  EXPECT_EQ(rows.back().keyText, L"key" + std::to_wstring(kMaxKeyRows));
}

TEST(KeyDbClosed, EveryOperationIsANoOp) {
  CAdoDB db;
  RecordingTarget list;
  list.rows.push_back({L"1", L"a", L"b", L"c"});
  db.LoadKeyList(&list, nullptr, nullptr);
  EXPECT_EQ(1u, list.rows.size());
  EXPECT_EQ(0, list.clears);
  EXPECT_FALSE(db.Execute(L"select 1"));
}

#ifdef _WIN32
TEST_F(KeyDb, ThreadCodePageUnderChineseLocale) {
  ASSERT_EQ(936u, GetACP());
  CAdoDB db(W(user), W(templ));  // the thread's code page
  ASSERT_TRUE(db.Execute(L"insert into keylist (id,keyname,keyvalue,about) values (1,'\u4e2d\u6587','k','')"));
  RawDb raw(user);
  EXPECT_EQ("d6d0cec4", raw.BytesOf("select keyname from keylist"));
  EXPECT_EQ(L"\u4e2d\u6587", db.Rows()[0].name);
}
#endif

}  // namespace
}  // namespace vellumo
