// TRegistry over Wine's real registry, under a key the test creates and removes.
#include "registry/win/win_registry.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>

#include "base/text.h"
#include "base/win/win_file_system.h"
#include "registry/registry.h"
#include "support/win/wine_test_support.h"

namespace calvorin::win32 {
namespace {

constexpr const char* kTestKey = "Software\\CalvorinTests\\Registry";

class WinRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { Cleanup(); }
  void TearDown() override { Cleanup(); }
  static void Cleanup() { testing::ScopedTestKey::Remove(kTestKey); }
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

// Runs in both prefixes. Under WOW64 every path names the key the 64-bit registry editor shows
// under it, for reads, the exact-form check, writes and deletes alike; the probes see the real
// System32. Elsewhere no view flag is passed and System32 is itself.
TEST(RegistryView, PathsAndProbesAsTheSystemsOwnToolsSeeThem) {
  WinRegistryApi& api = SystemRegistry();
  if (!RunsUnderWow64()) {
    EXPECT_EQ(api.ViewFlag(), 0u);
    TRegistry reg(api);
    reg.SetRootKey(kHkeyLocalMachine);
    EXPECT_FALSE(reg.KeyExists("\\Software\\Wow6432Node"));
    return;
  }
  ASSERT_EQ(api.ViewFlag(), static_cast<std::uint32_t>(KEY_WOW64_64KEY));
  const auto rawSet = [](REGSAM view, const char* text) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\CalvorinView", 0, nullptr, 0,
                              KEY_ALL_ACCESS | view, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, "v", 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                   static_cast<DWORD>(std::strlen(text) + 1));
    RegCloseKey(key);
  };
  rawSet(KEY_WOW64_64KEY, "sixty-four");
  rawSet(KEY_WOW64_32KEY, "thirty-two");
  {
    TRegistry reg(api);
    reg.SetRootKey(kHkeyLocalMachine);
    ASSERT_TRUE(reg.OpenKey("\\Software\\CalvorinView", false));
    EXPECT_EQ(reg.ReadString("v"), "sixty-four");
    EXPECT_EQ(api.CheckAnsiForm(reg.CurrentKey(), "v", kRegSz, std::string("sixty-four", 11)),
              kErrorSuccess);
    ASSERT_TRUE(reg.OpenKey("\\Software\\Wow6432Node\\CalvorinView", false));
    EXPECT_EQ(reg.ReadString("v"), "thirty-two");
    EXPECT_EQ(api.CheckAnsiForm(reg.CurrentKey(), "v", kRegSz, std::string("thirty-two", 11)),
              kErrorSuccess);
    std::vector<std::string> names;
    ASSERT_TRUE(reg.OpenKey("\\Software", false));
    reg.GetKeyNames(names);
    EXPECT_NE(std::find(names.begin(), names.end(), "Wow6432Node"), names.end());
    // The delete takes the view: the 32-bit key goes, the 64-bit one of the same name stays.
    EXPECT_TRUE(reg.DeleteKey("\\Software\\Wow6432Node\\CalvorinView"));
    EXPECT_TRUE(reg.KeyExists("\\Software\\CalvorinView"));
    EXPECT_FALSE(reg.KeyExists("\\Software\\Wow6432Node\\CalvorinView"));
    EXPECT_TRUE(reg.DeleteKey("\\Software\\CalvorinView"));
    EXPECT_FALSE(reg.KeyExists("\\Software\\CalvorinView"));
  }

  // A file only the real System32 holds: the redirected view (SysWOW64) does not have it.
  char windows[MAX_PATH];
  ASSERT_GT(GetWindowsDirectoryA(windows, MAX_PATH), 0u);
  const std::string file = std::string(windows) + "\\System32\\calvorin-view-probe.txt";
  {
    FileSystemRedirectionOff off;
    HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
  }
  EXPECT_EQ(GetFileAttributesA(file.c_str()), INVALID_FILE_ATTRIBUTES) << "not redirected?";
  EXPECT_TRUE(SystemFileSystem().FileExists(file));
  const auto listed = SystemFileSystem().Find(std::string(windows) + "\\System32\\calvorin-view*");
  EXPECT_EQ(listed.size(), 1u);
  // Turned back on afterwards.
  EXPECT_EQ(GetFileAttributesA(file.c_str()), INVALID_FILE_ATTRIBUTES);
  FileSystemRedirectionOff off;
  EXPECT_TRUE(DeleteFileA(file.c_str()));
}

}  // namespace
}  // namespace calvorin::win32
