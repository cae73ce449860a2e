// The equivalence experiment on Wine's real registry, with the real account and GUID calls.
#include "search/root_equivalence.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <iostream>
#include <map>
#include <regex>

#include "registry/win/win_registry.h"
#include "registry/win/win_system_info.h"
#include "support/root_keys.h"

namespace calvorin::win32 {
namespace {

using testing::RootKeyName;

// Number of subkeys of root\path, -1 when it does not open.
int CountSubkeys(Hkey root, const std::string& path) {
  TRegistry reg(SystemRegistry());
  reg.SetRootKey(root);
  if (!reg.OpenKeyReadOnly("\\" + path)) return -1;
  std::vector<std::string> names;
  reg.GetKeyNames(names);
  return static_cast<int>(names.size());
}

// Every key the experiment may write below: the candidates and the roots they may be views of.
std::map<std::string, int> CandidateCounts() {
  std::vector<std::pair<Hkey, std::string>> keys = {
      {kHkeyClassesRoot, ""},
      {kHkeyCurrentUser, ""},
      {kHkeyCurrentConfig, ""},
      {kHkeyLocalMachine, "SOFTWARE\\Classes"},
      {kHkeyLocalMachine, "SOFTWARE\\Wow6432Node\\Classes"},  // under WOW64 only
      {kHkeyClassesRoot, "Wow6432Node"},
      {kHkeyLocalMachine, "SYSTEM\\ControlSet001\\Hardware Profiles\\Current"},
      {kHkeyLocalMachine, "SYSTEM\\ControlSet001\\Hardware Profiles\\0001"},
      {kHkeyLocalMachine, "SYSTEM\\CurrentControlSet\\Hardware Profiles\\0001"},
      {kHkeyLocalMachine, "SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current"},
  };
  TRegistry reg(SystemRegistry());
  reg.SetRootKey(kHkeyUsers);
  std::vector<std::string> users;
  if (reg.OpenKeyReadOnly("")) reg.GetKeyNames(users);
  for (const auto& u : users) keys.push_back({kHkeyUsers, u});
  keys.push_back({kHkeyUsers, ".Default"});
  std::map<std::string, int> counts;
  for (const auto& [root, path] : keys) {
    counts[std::string(RootKeyName(root)) + "\\" + path] = CountSubkeys(root, path);
  }
  return counts;
}

TEST(WinRootEquivalence, SidAndGuidTextsHaveTheirForms) {
  WinSystemInfo system;
  RootEquivalence eq(SystemRegistry(), system);
  std::string sid;
  ASSERT_EQ(eq.CurrentUserSID(sid), 0);
  std::cout << "current user SID: " << sid << "\n";
  EXPECT_TRUE(std::regex_match(sid, std::regex("S-1-[0-9]+(-[0-9]+)+"))) << sid;
  const std::string g1 = system.NewGuidText();
  const std::string g2 = system.NewGuidText();
  const std::regex guid("\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}");
  EXPECT_TRUE(std::regex_match(g1, guid)) << g1;
  EXPECT_NE(g1, g2);
  EXPECT_EQ(system.Family(), PlatformFamily::kNt);
}

TEST(WinRootEquivalence, FindsTheAliasesOfThisPrefixAndLeavesNoKeyBehind) {
  const auto before = CandidateCounts();
  WinSystemInfo system;
  std::vector<std::string> skipKeys;
  const int notFound = FindRootEquivalents(skipKeys, SystemRegistry(), system);
  std::cout << "FindRootEquivalents: " << notFound << "\n";
  for (const auto& k : skipKeys) std::cout << "  skip " << k << "\n";
  EXPECT_EQ(CandidateCounts(), before) << "a temporary key was left behind";

  RootEquivalence eq(SystemRegistry(), system);
  std::string sid;
  ASSERT_EQ(eq.CurrentUserSID(sid), 0);
  // Wine: a fresh prefix's user key is HKEY_USERS\S-1-5-21-0-0-0-1000 and
  // HKEY_CLASSES_ROOT is HKEY_LOCAL_MACHINE\Software\Classes (no per-user classes merged in).
  // Under WOW64 (the 64-bit prefix) the 32-bit classes are one more pair.
  const std::size_t pairs = RunsUnderWow64() ? 3 : 2;
  ASSERT_GE(skipKeys.size(), pairs);
  EXPECT_EQ(skipKeys[0], "HKEY_LOCAL_MACHINE\\SOFTWARE\\CLASSES");
  if (RunsUnderWow64()) {
    EXPECT_EQ(skipKeys[1], "HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432NODE\\CLASSES");
  }
  EXPECT_EQ(skipKeys[pairs - 1], "HKEY_USERS\\" + sid);
  EXPECT_EQ(notFound & (kClassesPairNotFound | kCurrentUserPairNotFound), 0);
  // Every further entry is a hardware-profile path.
  for (std::size_t i = pairs; i < skipKeys.size(); ++i) {
    EXPECT_EQ(skipKeys[i].rfind("HKEY_LOCAL_MACHINE\\SYSTEM\\", 0), 0u) << skipKeys[i];
  }
  // Wine: a fresh prefix has no IDConfigDB key, so the configuration pair is not looked for.
  TRegistry reg(SystemRegistry());
  reg.SetRootKey(kHkeyLocalMachine);
  if (!reg.KeyExists("\\System\\CurrentControlSet\\control\\IDConfigDB")) {
    EXPECT_EQ(skipKeys.size(), pairs);
    EXPECT_NE(notFound & kCurrentConfigPairNotFound, 0);
  } else {
    EXPECT_EQ((notFound & kCurrentConfigPairNotFound) != 0, skipKeys.size() == pairs);
  }
}

// Wine shows HKEY_CURRENT_CONFIG as HKLM\System\CurrentControlSet\Hardware Profiles\Current, and
// CurrentControlSet is a key of its own there (no ControlSet001 behind it). With the profile
// number Windows keeps in IDConfigDB, that one path is found.
TEST(WinRootEquivalence, FindsTheHardwareProfileOnceTheProfileNumberIsThere) {
  const std::string idConfigDb = "\\System\\CurrentControlSet\\Control\\IDConfigDB";
  TRegistry reg(SystemRegistry());
  reg.SetRootKey(kHkeyLocalMachine);
  const bool existed = reg.KeyExists(idConfigDb);
  if (!existed) {
    ASSERT_TRUE(reg.OpenKey(idConfigDb, true));
    const DWORD one = 1;
    ASSERT_EQ(RegSetValueExA(reinterpret_cast<HKEY>(reg.CurrentKey()), "CurrentConfig", 0,
                             REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4),
              ERROR_SUCCESS);
    reg.CloseKey();
  }
  const auto before = CandidateCounts();
  WinSystemInfo system;
  RootEquivalence eq(SystemRegistry(), system);
  std::vector<std::string> list;
  const bool found = eq.FindHKCCEquivalent(list);
  for (const auto& k : list) std::cout << "  skip " << k << "\n";
  EXPECT_EQ(CandidateCounts(), before) << "a temporary key was left behind";
  if (!existed) {
    EXPECT_TRUE(reg.DeleteKey(idConfigDb));
  }
  EXPECT_TRUE(found);
  EXPECT_NE(std::find(list.begin(), list.end(),
                      "HKEY_LOCAL_MACHINE\\SYSTEM\\CURRENTCONTROLSET\\HARDWARE PROFILES\\CURRENT"),
            list.end());
}

TEST(WinRootEquivalence, TheWriteTestTellsAliasesFromOtherKeys) {
  WinSystemInfo system;
  RootEquivalence eq(SystemRegistry(), system);
  EXPECT_EQ(eq.SameKeyByWrite(kHkeyClassesRoot, kHkeyLocalMachine, "\\SOFTWARE\\Classes"),
            kSameKey);
  EXPECT_EQ(eq.SameKeyByWrite(kHkeyCurrentUser, kHkeyUsers, "\\.Default"), kDifferentKey);
  EXPECT_EQ(eq.SameKeyByWrite(kHkeyCurrentUser, kHkeyUsers, "\\NoSuchUser"), kCannotOpenFullAccess);
  EXPECT_FALSE(eq.SameKeyByInfo(kHkeyCurrentUser, kHkeyUsers, "\\NoSuchUser"));
}

}  // namespace
}  // namespace calvorin::win32
