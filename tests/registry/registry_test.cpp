#include "registry/registry.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/memory_registry.h"
#include "support/root_keys.h"

namespace calvorin {
namespace {

using testing::MemoryRegistry;
using testing::RootKeyName;

class TRegistryTest : public ::testing::Test {
 protected:
  MemoryRegistry mem;
};

TEST_F(TRegistryTest, StartsOnCurrentUserWithFullAccessAndNoKey) {
  TRegistry reg(mem);
  EXPECT_EQ(reg.RootKey(), kHkeyCurrentUser);
  EXPECT_EQ(reg.Access(), kKeyAllAccess);
  EXPECT_EQ(reg.CurrentKey(), 0u);
  EXPECT_EQ(reg.CurrentPath(), "");
}

TEST_F(TRegistryTest, SetRootKeyKeepsKeyOnSameRootAndClosesItOnAnother) {
  mem.Key("HKEY_CURRENT_USER\\Software");
  TRegistry reg(mem);
  ASSERT_TRUE(reg.OpenKey("Software", false));
  reg.SetRootKey(kHkeyCurrentUser);
  EXPECT_NE(reg.CurrentKey(), 0u);
  EXPECT_EQ(reg.CurrentPath(), "Software");
  reg.SetRootKey(kHkeyLocalMachine);
  EXPECT_EQ(reg.CurrentKey(), 0u);
  EXPECT_EQ(reg.CurrentPath(), "");
  EXPECT_EQ(mem.OpenHandles(), 0u);
}

TEST_F(TRegistryTest, PathsResolveAbsoluteRelativeAndEmpty) {
  mem.Key("HKEY_CURRENT_USER\\A\\B\\C");
  mem.Key("HKEY_CURRENT_USER\\B");
  TRegistry reg(mem);
  // Empty path with no key open: the root itself.
  ASSERT_TRUE(reg.OpenKeyReadOnly(""));
  EXPECT_EQ(reg.CurrentPath(), "");
  reg.CloseKey();
  ASSERT_TRUE(reg.OpenKey("A", false));
  // Relative below the open key; the path grows.
  ASSERT_TRUE(reg.OpenKey("B", false));
  EXPECT_EQ(reg.CurrentPath(), "A\\B");
  // Absolute while a key is open: from the root.
  ASSERT_TRUE(reg.OpenKey("\\B", false));
  EXPECT_EQ(reg.CurrentPath(), "B");
  // Empty path with a key open: that key again, through a second handle.
  ASSERT_TRUE(reg.OpenKey("", false));
  EXPECT_EQ(reg.CurrentPath(), "B\\");
  EXPECT_EQ(mem.OpenHandles(), 1u);
  // A failed open leaves the current key as it was.
  const Hkey before = reg.CurrentKey();
  EXPECT_FALSE(reg.OpenKey("\\Missing", false));
  EXPECT_EQ(reg.CurrentKey(), before);
}

TEST_F(TRegistryTest, OpenKeyCreatesOnlyWhenAskedAndPathNotEmpty) {
  TRegistry reg(mem);
  EXPECT_FALSE(reg.OpenKey("\\New\\Deep", false));
  EXPECT_EQ(mem.Find("HKEY_CURRENT_USER\\New"), nullptr);
  ASSERT_TRUE(reg.OpenKey("\\New\\Deep", true));
  EXPECT_NE(mem.Find("HKEY_CURRENT_USER\\new\\deep"), nullptr);
  EXPECT_EQ(reg.CurrentPath(), "New\\Deep");
}

TEST_F(TRegistryTest, OpenKeyReadOnlyFallsBackToQueryValueOnly) {
  mem.Key("HKEY_LOCAL_MACHINE\\Locked")->grant = kKeyQueryValue;
  TRegistry reg(mem);
  reg.SetRootKey(kHkeyLocalMachine);
  ASSERT_TRUE(reg.OpenKeyReadOnly("\\Locked"));
  EXPECT_EQ(reg.Access(), kKeyQueryValue);

  mem.Key("HKEY_LOCAL_MACHINE\\Partly")->grant = kKeyReadEnumerate;
  ASSERT_TRUE(reg.OpenKeyReadOnly("\\Partly"));
  EXPECT_EQ(reg.Access(), kKeyReadEnumerate);

  mem.Key("HKEY_LOCAL_MACHINE\\Closed")->grant = 0;
  EXPECT_FALSE(reg.OpenKeyReadOnly("\\Closed"));
  EXPECT_EQ(reg.CurrentPath(), "Partly");
}

TEST_F(TRegistryTest, NamesComeBackInEnumerationOrderWithTheDefaultValue) {
  mem.PutString("HKEY_CURRENT_USER\\K", "zeta", "1");
  mem.PutString("HKEY_CURRENT_USER\\K", "", "default");
  mem.PutString("HKEY_CURRENT_USER\\K", "Alpha", "2");
  mem.Key("HKEY_CURRENT_USER\\K\\sub2");
  mem.Key("HKEY_CURRENT_USER\\K\\Sub1");
  TRegistry reg(mem);
  ASSERT_TRUE(reg.OpenKey("\\K", false));
  std::vector<std::string> names{"stale"};
  reg.GetValueNames(names);
  EXPECT_EQ(names, (std::vector<std::string>{"zeta", "", "Alpha"}));
  reg.GetKeyNames(names);
  EXPECT_EQ(names, (std::vector<std::string>{"Sub1", "sub2"}));
  // A key whose information cannot be read lists nothing.
  mem.Find("HKEY_CURRENT_USER\\K")->failEnumeration = true;
  reg.GetKeyNames(names);
  EXPECT_TRUE(names.empty());
}

TEST_F(TRegistryTest, TypedReadsRaiseTheirMessages) {
  mem.PutString("HKEY_CURRENT_USER\\V", "s", "hello");
  mem.PutString("HKEY_CURRENT_USER\\V", "x", "%TEMP%", kRegExpandSz);
  mem.Put("HKEY_CURRENT_USER\\V", "embedded", kRegSz, std::string("ab\0cd\0", 6));
  mem.PutDword("HKEY_CURRENT_USER\\V", "d", 0xFFFFFFFE);
  mem.Put("HKEY_CURRENT_USER\\V", "bin", kRegBinary, "abcd");
  mem.Put("HKEY_CURRENT_USER\\V", "empty", kRegSz, "");
  TRegistry reg(mem);
  ASSERT_TRUE(reg.OpenKey("\\V", false));
  EXPECT_EQ(reg.ReadString("s"), "hello");
  EXPECT_EQ(reg.ReadString("x"), "%TEMP%");
  EXPECT_EQ(reg.ReadString("embedded"), "ab");
  EXPECT_EQ(reg.ReadString("missing"), "");
  EXPECT_EQ(reg.ReadString("empty"), "");
  EXPECT_EQ(reg.ReadInteger("d"), -2);
  try {
    reg.ReadString("bin");
    FAIL() << "no error";
  } catch (const ERegistryException& e) {
    EXPECT_STREQ(e.what(), "Invalid data type for 'bin'");
  }
  try {
    reg.ReadInteger("missing");
    FAIL() << "no error";
  } catch (const ERegistryException& e) {
    EXPECT_STREQ(e.what(), "Failed to get data for 'missing'");
  }
  try {
    reg.ReadInteger("s");  // six bytes do not fit the four-byte buffer
    FAIL() << "no error";
  } catch (const ERegistryException& e) {
    EXPECT_STREQ(e.what(), "Failed to get data for 's'");
  }
  try {
    reg.ReadInteger("bin");
    FAIL() << "no error";
  } catch (const ERegistryException& e) {
    EXPECT_STREQ(e.what(), "Invalid data type for 'bin'");
  }
}

TEST_F(TRegistryTest, ReadStringOfAValueThatGrowsBetweenQueriesFails) {
  mem.PutString("HKEY_CURRENT_USER\\V", "s", "short");
  mem.afterSizeQuery = [&](const std::string&) {
    mem.PutString("HKEY_CURRENT_USER\\V", "s", "a much longer text than before");
  };
  TRegistry reg(mem);
  ASSERT_TRUE(reg.OpenKey("\\V", false));
  EXPECT_THROW(reg.ReadString("s"), ERegistryException);
}

TEST_F(TRegistryTest, WriteStringStoresTextWithOneZeroAndRaisesOnFailure) {
  mem.Key("HKEY_CURRENT_USER\\W");
  TRegistry reg(mem);
  ASSERT_TRUE(reg.OpenKey("\\W", false));
  reg.WriteString("path", "C:\\x");
  const auto* v = mem.GetValue("HKEY_CURRENT_USER\\W", "path");
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(v->type, kRegSz);
  EXPECT_EQ(v->data, std::string("C:\\x\0", 5));
  reg.SetAccess(kKeyRead);
  ASSERT_TRUE(reg.OpenKey("\\W", false));
  try {
    reg.WriteString("path", "y");
    FAIL() << "no error";
  } catch (const ERegistryException& e) {
    EXPECT_STREQ(e.what(), "Failed to set data for 'path'");
  }
}

TEST_F(TRegistryTest, DeleteKeyRemovesTheWholeSubtreeAndRestoresTheCurrentKey) {
  mem.PutString("HKEY_CURRENT_USER\\Top\\A\\A1", "v", "1");
  mem.Key("HKEY_CURRENT_USER\\Top\\A\\A2\\deep");
  mem.Key("HKEY_CURRENT_USER\\Top\\B");
  mem.Key("HKEY_CURRENT_USER\\Other");
  TRegistry reg(mem);
  ASSERT_TRUE(reg.OpenKey("\\Other", false));
  const Hkey other = reg.CurrentKey();
  EXPECT_TRUE(reg.DeleteKey("\\Top"));
  EXPECT_EQ(mem.Find("HKEY_CURRENT_USER\\Top"), nullptr);
  EXPECT_EQ(reg.CurrentKey(), other);
  EXPECT_EQ(mem.OpenHandles(), 1u);
  EXPECT_FALSE(reg.DeleteKey("\\Top"));
}

TEST_F(TRegistryTest, KeyExistsLeavesStateAlone) {
  mem.Key("HKEY_CURRENT_USER\\E\\F");
  TRegistry reg(mem);
  ASSERT_TRUE(reg.OpenKey("\\E", false));
  reg.SetAccess(0x1234);
  EXPECT_TRUE(reg.KeyExists("F"));
  EXPECT_TRUE(reg.KeyExists("\\E\\F"));
  EXPECT_FALSE(reg.KeyExists("G"));
  EXPECT_EQ(reg.Access(), 0x1234u);
  EXPECT_EQ(reg.CurrentPath(), "E");
  EXPECT_EQ(mem.OpenHandles(), 1u);
}

TEST(RootKeyTable, NamesHandlesAndWalkOrder) {
  EXPECT_STREQ(RootKeyName(0x80000000u), "HKEY_CLASSES_ROOT");
  EXPECT_STREQ(RootKeyName(0x80000005u), "HKEY_CURRENT_CONFIG");
  EXPECT_STREQ(RootKeyName(0x80000006u), "HKEY_DYN_DATA");
  EXPECT_STREQ(RootKeyName(0x12345u), "");
  std::vector<std::string> order;
  for (const auto& r : kSearchRoots) order.push_back(r.name);
  EXPECT_EQ(order, (std::vector<std::string>{"HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE",
                                             "HKEY_USERS", "HKEY_CURRENT_CONFIG",
                                             "HKEY_CLASSES_ROOT"}));
}

}  // namespace
}  // namespace calvorin
