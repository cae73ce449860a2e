// The compact store behind the hit table and the results list: every text comes back exactly as
// it went in, however the store arranged it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/text.h"
#include "scan/invalid_reference_scan.h"
#include "support/memory_file_system.h"

namespace calvorin {
namespace {

using Row = TResult;

void Append(HitStore& store, const Row& r) { store.Append(r); }

void ExpectRow(const HitStore::Record& got, const Row& want) {
  EXPECT_EQ(got.KeyPath, want.KeyPath);
  EXPECT_EQ(got.ValueName, want.ValueName);
  EXPECT_EQ(got.DataText, want.DataText);
  EXPECT_EQ(got.KeyPos, want.KeyPos);
  EXPECT_EQ(got.NamePos, want.NamePos);
  EXPECT_EQ(got.DataPos, want.DataPos);
  EXPECT_EQ(got.KeyLen, want.KeyLen);
  EXPECT_EQ(got.NameLen, want.NameLen);
  EXPECT_EQ(got.DataLen, want.DataLen);
  EXPECT_EQ(got.Root, want.Root);
  EXPECT_EQ(got.Type, want.Type);
}

// Rows that exercise every way a text is kept: shared and repeated key paths, empty texts,
// embedded NUL and high characters, texts larger than a shared block, and enough rows to fill
// many blocks.
std::vector<Row> MixedRows() {
  std::vector<Row> rows;
  const std::string huge(70000, 'h');
  const std::string large(16384, 'L');
  for (int i = 0; i < 6000; ++i) {
    Row r;
    r.KeyPath = Format("HKEY_CURRENT_USER\\Software\\Set%05d", i / 7);  // 7 rows per key
    if (i % 11 == 3) r.KeyPath = "HKEY_LOCAL_MACHINE\\X";  // comes back to an earlier key
    r.ValueName = i % 5 == 0 ? std::string() : Format("Entry%03d", i % 100);
    r.DataText = Format("C:\\Gone\\Folder%04d\\missing%06d.exe", i / 50, i);
    if (i % 97 == 1) r.DataText = std::string("C:\\a\0b\\\x97\xBB", 10);
    if (i % 1000 == 500) r.DataText = "C:\\" + huge;
    if (i % 1000 == 501) r.ValueName = large;
    if (i % 13 == 0) r.DataText.clear();
    r.KeyPos = i;
    r.NamePos = -i;
    r.DataPos = i % 3;
    r.KeyLen = i * 2;
    r.NameLen = i % 7;
    r.DataLen = 2;
    r.Root = 0x80000000u + static_cast<Hkey>(i % 4);
    r.Type = static_cast<std::uint32_t>(i % 5);
    rows.push_back(std::move(r));
  }
  return rows;
}

TEST(HitStoreTest, GivesBackEveryRowExactly) {
  const std::vector<Row> rows = MixedRows();
  HitStore store;
  for (const Row& r : rows) Append(store, r);
  ASSERT_EQ(store.Size(), rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(i);
    ExpectRow(store[i], rows[i]);
  }
  // A key path the same as the row before is kept once.
  EXPECT_EQ(store[1].KeyPath.data(), store[2].KeyPath.data());
  EXPECT_NE(store[6].KeyPath.data(), store[7].KeyPath.data());
}

TEST(HitStoreTest, TextsStayInPlaceWhileTheStoreGrows) {
  const std::vector<Row> rows = MixedRows();
  HitStore store;
  Append(store, rows[0]);
  const char* first = store[0].DataText.data();
  for (std::size_t i = 1; i < rows.size(); ++i) Append(store, rows[i]);
  EXPECT_EQ(store[0].DataText.data(), first);
  ExpectRow(store[0], rows[0]);
}

TEST(HitStoreTest, ClearForgetsEverythingAndStartsAgain) {
  const std::vector<Row> rows = MixedRows();
  HitStore store;
  for (std::size_t i = 0; i < 100; ++i) Append(store, rows[i]);
  store.Clear();
  EXPECT_EQ(store.Size(), 0u);
  // The first row after a clear does not share the old key path.
  for (std::size_t i = 1; i < 50; ++i) Append(store, rows[i]);
  ASSERT_EQ(store.Size(), 49u);
  for (std::size_t i = 0; i < 49; ++i) ExpectRow(store[i], rows[i + 1]);
}

// The scan's two views of the store: the hit table from row 1, the results list from the last
// ClearResults() on.
TEST(HitStoreTest, TableAndResultsListAgreeAcrossClears) {
  testing::MemoryFileSystem fs;
  fs.AddFolder("C:\\Calvorin");
  InvalidReferenceScan scan(fs, "C:\\Calvorin\\rrr.TXT");
  auto send = [&](const std::string& key, const std::string& name, const std::string& data) {
    ASSERT_TRUE(scan.SearchMatch(TResult(key, name, data, 0, 0, 2, 0, 0, 2, 0x80000001u))) << data;
  };
  send("HKEY_CURRENT_USER\\a", "one", "C:\\Gone\\first.exe");
  send("HKEY_CURRENT_USER\\a", "", "C:\\Gone\\second.exe");
  scan.ClearResults();
  EXPECT_TRUE(scan.Results().empty());
  EXPECT_EQ(scan.HitCount(), 2);
  send("HKEY_CURRENT_USER\\b", "three", "C:\\Gone\\third.exe");

  ASSERT_EQ(scan.HitCount(), 3);
  const std::vector<std::vector<std::string>> table = {
      {"HKEY_CURRENT_USER\\a", "one", "C:\\Gone\\first.exe"},
      {"HKEY_CURRENT_USER\\a", "", "C:\\Gone\\second.exe"},
      {"HKEY_CURRENT_USER\\b", "three", "C:\\Gone\\third.exe"},
  };
  for (int row = 1; row <= 3; ++row) {
    const auto& want = table[static_cast<std::size_t>(row - 1)];
    EXPECT_EQ(scan.HitKeyPath(row), want[0]) << row;
    EXPECT_EQ(scan.HitValueName(row), want[1]) << row;
    EXPECT_EQ(scan.HitDataText(row), want[2]) << row;
  }
  ASSERT_EQ(scan.Results().size(), 1u);
  const TResult r = scan.Results()[0];
  EXPECT_EQ(r.KeyPath, "HKEY_CURRENT_USER\\b");
  EXPECT_EQ(r.ValueName, "three");
  EXPECT_EQ(r.DataText, "C:\\Gone\\third.exe");
  EXPECT_EQ(scan.Results().Record(0).DataText, "C:\\Gone\\third.exe");
  EXPECT_THROW(scan.HitKeyPath(4), std::out_of_range);

  scan.Clear();
  EXPECT_EQ(scan.HitCount(), 0);
  EXPECT_TRUE(scan.Results().empty());
  send("HKEY_CURRENT_USER\\c", "four", "C:\\Gone\\fourth.exe");
  EXPECT_EQ(scan.HitKeyPath(1), "HKEY_CURRENT_USER\\c");
  EXPECT_EQ(scan.Results()[0].ValueName, "four");
}

}  // namespace
}  // namespace calvorin
