// TRegistry over Wine's real registry, under a key the test creates and removes.
#include "win32/win_registry.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "core/registry.h"
#include "core/text.h"

namespace calvorin::win32 {
namespace {

constexpr const char* kTestKey = "Software\\CalvorinTests\\Registry";

class WinRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { Cleanup(); }
  void TearDown() override { Cleanup(); }
  static void Cleanup() {
    TRegistry reg(SystemRegistry());
    reg.DeleteKey("\\Software\\CalvorinTests");
  }
};

TEST_F(WinRegistryTest, CreateWriteReadEnumerateAndDelete) {
  TRegistry reg(SystemRegistry());
  ASSERT_TRUE(reg.OpenKey(std::string("\\") + kTestKey + "\\Sub\\Deep", true));
  reg.CloseKey();
  ASSERT_TRUE(reg.OpenKey(std::string("\\") + kTestKey, false));
  reg.WriteString("Path", "C:\\Program Files\\Acme\\acme.exe");
  reg.WriteString("", "default data");
  EXPECT_EQ(reg.ReadString("Path"), "C:\\Program Files\\Acme\\acme.exe");
  EXPECT_EQ(reg.ReadString(""), "default data");
  EXPECT_EQ(reg.ReadString("missing"), "");
  EXPECT_THROW(reg.ReadInteger("missing"), ERegistryException);
  EXPECT_THROW(reg.ReadInteger("Path"), ERegistryException);

  DWORD dw = 0xFFFFFFFF;
  ASSERT_EQ(RegSetValueExA(reinterpret_cast<HKEY>(reg.CurrentKey()), "Number", 0, REG_DWORD,
                           reinterpret_cast<const BYTE*>(&dw), 4),
            ERROR_SUCCESS);
  EXPECT_EQ(reg.ReadInteger("Number"), -1);

  std::vector<std::string> names;
  reg.GetValueNames(names);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"", "Number", "Path"}));
  reg.GetKeyNames(names);
  EXPECT_EQ(names, (std::vector<std::string>{"Sub"}));

  EXPECT_TRUE(reg.KeyExists("Sub\\Deep"));
  EXPECT_TRUE(reg.DeleteValue("Path"));
  EXPECT_FALSE(reg.DeleteValue("Path"));
  reg.CloseKey();
  EXPECT_TRUE(reg.DeleteKey(std::string("\\") + kTestKey));
  EXPECT_FALSE(reg.KeyExists(std::string("\\") + kTestKey));
}

TEST_F(WinRegistryTest, RootOpensThroughTheEmptyPathAndReadOnlyTakesKeyRead) {
  TRegistry reg(SystemRegistry());
  reg.SetRootKey(kHkeyLocalMachine);
  ASSERT_TRUE(reg.OpenKeyReadOnly(""));
  EXPECT_EQ(reg.Access(), kKeyRead);
  std::vector<std::string> names;
  reg.GetKeyNames(names);
  EXPECT_NE(std::find(names.begin(), names.end(), "Software"), names.end());
}

TEST_F(WinRegistryTest, LongValueNamesAndDataComeBackWhole) {
  TRegistry reg(SystemRegistry());
  ASSERT_TRUE(reg.OpenKey(std::string("\\") + kTestKey, true));
  const std::string name(1000, 'n');
  const std::string data(70000, 'd');
  reg.WriteString(name, data);
  std::vector<std::string> names;
  reg.GetValueNames(names);
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(names[0], name);
  EXPECT_EQ(reg.ReadString(name), data);
}

// The walks ask only for the two counts; they must be the full query's counts, and a key whose
// full query fails (Wine's Perflib\009, a special handle) must fail the same way.
TEST_F(WinRegistryTest, KeyCountsAgreeWithTheFullQuery) {
  RegistryApi& api = SystemRegistry();
  TRegistry reg(api);
  const std::string counted = Format("\\%s\\Counted", kTestKey);
  for (int i = 0; i < 7; ++i) {
    ASSERT_TRUE(reg.OpenKey(Format("%s\\Sub%d", counted.c_str(), i), true));
    reg.CloseKey();
  }
  ASSERT_TRUE(reg.OpenKey(counted, false));
  for (int i = 0; i < 11; ++i) reg.WriteString(Format("v%d", i), "data");
  KeyInfo info;
  ASSERT_EQ(api.QueryInfoKey(reg.CurrentKey(), &info), kErrorSuccess);
  std::uint32_t subKeys = 0, values = 0;
  ASSERT_EQ(api.QueryKeyCounts(reg.CurrentKey(), &subKeys, &values), kErrorSuccess);
  EXPECT_EQ(subKeys, 7u);
  EXPECT_EQ(values, 11u);
  EXPECT_EQ(subKeys, info.subKeys);
  EXPECT_EQ(values, info.values);
  reg.CloseKey();

  reg.SetRootKey(kHkeyLocalMachine);
  const std::string perflib = "\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Perflib\\009";
  if (reg.OpenKeyReadOnly(perflib)) {
    const long full = api.QueryInfoKey(reg.CurrentKey(), &info);
    subKeys = values = 12345;
    const long counts = api.QueryKeyCounts(reg.CurrentKey(), &subKeys, &values);
    EXPECT_EQ(counts, full);
    if (counts == kErrorSuccess) {
      EXPECT_EQ(subKeys, info.subKeys);
      EXPECT_EQ(values, info.values);
    }
  }
}

}  // namespace
}  // namespace calvorin::win32
