#include "search/root_equivalence.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "base/text.h"
#include "support/forwarding_registry.h"
#include "support/memory_registry.h"
#include "support/root_keys.h"

namespace calvorin {
namespace {

using testing::kRootKeyTable;
using testing::MemoryRegistry;
using testing::RootKeyName;

constexpr const char* kUserSid = "S-1-5-21-1-2-3-1000";

class FakeSid : public AccountSid {
 public:
  FakeSid(std::array<std::uint8_t, 6> authority, std::vector<std::uint32_t> subs, int failStep)
      : authority_(authority), subs_(std::move(subs)), failStep_(failStep) {}
  bool IdentifierAuthority(std::array<std::uint8_t, 6>* bytes) override {
    if (failStep_ == 3) return false;
    *bytes = authority_;
    return true;
  }
  bool SubAuthorityCount(std::uint8_t* count) override {
    if (failStep_ == 4) return false;
    *count = static_cast<std::uint8_t>(subs_.size());
    return true;
  }
  bool SubAuthority(std::uint32_t index, std::uint32_t* value) override {
    if (failStep_ == 5 + static_cast<int>(index)) return false;
    *value = subs_.at(index);
    return true;
  }

 private:
  std::array<std::uint8_t, 6> authority_;
  std::vector<std::uint32_t> subs_;
  int failStep_;
};

class FakeSystemInfo : public SystemInfo {
 public:
  bool UserName(std::string* name) override {
    if (failStep == 1) return false;
    *name = user;
    return true;
  }
  std::unique_ptr<AccountSid> LookupAccount(const std::string& name) override {
    lookedUp = name;
    if (failStep == 2) return nullptr;
    return std::make_unique<FakeSid>(authority, subAuthorities, failStep);
  }
  std::string NewGuidText() override {
    if (guidFails) return {};
    return Format("{%08X-0000-4000-8000-000000000000}", ++guids);
  }
  PlatformFamily Family() override { return family; }

  std::string user = "alice";
  std::string lookedUp;
  std::array<std::uint8_t, 6> authority = {0, 0, 0, 0, 0, 5};
  std::vector<std::uint32_t> subAuthorities = {21, 1, 2, 3, 1000};
  int failStep = 0;
  bool guidFails = false;
  unsigned guids = 0;
  PlatformFamily family = PlatformFamily::kNt;
};

// Forwards to the in-memory registry, follows registry links below HKEY_LOCAL_MACHINE (as
// CurrentControlSet and "Hardware Profiles\Current" are on Windows), records which candidates
// were opened with full access, and can make value writes or reads fail.
class TestRegistry : public testing::ForwardingRegistry {
 public:
  explicit TestRegistry(MemoryRegistry& mem) : ForwardingRegistry(mem) {}

  long OpenKey(Hkey parent, const std::string& subKey, std::uint32_t access,
               Hkey* result) override {
    // The candidate opens of the write test; the clean-up's opens of "<path>\{GUID}" are not.
    if (access == kKeyAllAccess && RootKeyName(parent)[0] != '\0' &&
        subKey.find('{') == std::string::npos) {
      fullAccessOpens.push_back(std::string(RootKeyName(parent)) + "\\" + subKey);
    }
    return ForwardingRegistry::OpenKey(parent, Follow(parent, subKey), access, result);
  }
  long CreateKey(Hkey parent, const std::string& subKey, std::uint32_t access,
                 Hkey* result) override {
    return ForwardingRegistry::CreateKey(parent, Follow(parent, subKey), access, result);
  }
  long QueryInfoKey(Hkey key, KeyInfo* info) override {
    // Statistics of a predefined root are only asked by the statistics comparison.
    if (RootKeyName(key)[0] != '\0') ++infoQueries;
    return ForwardingRegistry::QueryInfoKey(key, info);
  }
  long QueryValue(Hkey key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                  std::uint32_t* size) override {
    if (failReadBack && data != nullptr && name.starts_with("{")) return kErrorAccessDenied;
    return ForwardingRegistry::QueryValue(key, name, type, data, size);
  }
  long SetValue(Hkey key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
                std::uint32_t size) override {
    if (failWrite) return kErrorAccessDenied;
    return ForwardingRegistry::SetValue(key, name, type, data, size);
  }
  long DeleteKey(Hkey key, const std::string& subKey) override {
    return ForwardingRegistry::DeleteKey(key, Follow(key, subKey));
  }

  std::vector<std::pair<std::string, std::string>> links;  // below HKEY_LOCAL_MACHINE
  std::vector<std::string> fullAccessOpens;
  int infoQueries = 0;
  bool failWrite = false;
  bool failReadBack = false;

 private:
  std::string Follow(Hkey parent, std::string subKey) const {
    if (parent != kHkeyLocalMachine) return subKey;
    for (const auto& [from, to] : links) {
      if (UpperAscii(subKey).starts_with(UpperAscii(from))) {
        subKey = to + subKey.substr(from.size());
      }
    }
    return subKey;
  }
};

// Every distinct key in the registry whose name looks like a temporary GUID key.
int CountTestKeys(const MemoryRegistry& mem) {
  std::set<const MemoryRegistry::Node*> seen;
  int count = 0;
  std::function<void(const MemoryRegistry::Node&)> visit = [&](const MemoryRegistry::Node& n) {
    if (!seen.insert(&n).second) return;
    if (n.name.starts_with("{")) ++count;
    for (const auto& c : n.subKeys) visit(*c);
  };
  for (const auto& r : kRootKeyTable) visit(*mem.Root(r.handle));
  return count;
}

const std::vector<std::string> kHardwareProfileEntries = {
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CONTROLSET001\\HARDWARE PROFILES\\CURRENT",
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CONTROLSET001\\HARDWARE PROFILES\\0001",
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CURRENTCONTROLSET\\HARDWARE PROFILES\\0001",
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CURRENTCONTROLSET\\HARDWARE PROFILES\\CURRENT",
};

// A registry shaped like an NT machine: the three aliased roots, a few more users, and the
// hardware profile reached through the CurrentControlSet and Current links.
struct NtMachine {
  NtMachine() {
    mem.PutString("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.txt", "", "txtfile");
    mem.Alias(kHkeyClassesRoot, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes");
    for (const char* user : {".DEFAULT", "S-1-5-18", "S-1-5-19", "S-1-5-20"}) {
      mem.Key(std::string("HKEY_USERS\\") + user + "\\Software");
    }
    mem.PutString(std::string("HKEY_USERS\\") + kUserSid + "\\Environment", "TEMP", "C:\\Temp");
    mem.Alias(kHkeyCurrentUser, std::string("HKEY_USERS\\") + kUserSid);
    mem.PutDword("HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Control\\IDConfigDB", "CurrentConfig",
                 1);
    mem.Key("HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Hardware Profiles\\0001\\Software");
    mem.Alias(kHkeyCurrentConfig,
              "HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Hardware Profiles\\0001");
    api.links = {{"SYSTEM\\CurrentControlSet", "SYSTEM\\ControlSet001"},
                 {"SYSTEM\\ControlSet001\\Hardware Profiles\\Current",
                  "SYSTEM\\ControlSet001\\Hardware Profiles\\0001"}};
  }
  std::vector<std::string> OpensBelow(const std::string& rootName) const {
    std::vector<std::string> out;
    for (const auto& p : api.fullAccessOpens) {
      if (p.starts_with(rootName + "\\")) out.push_back(p.substr(rootName.size() + 1));
    }
    return out;
  }

  MemoryRegistry mem;
  FakeSystemInfo sys;
  TestRegistry api{mem};
  RootEquivalence eq{api, sys};
};

class RootEquivalenceTest : public ::testing::Test, protected NtMachine {
 protected:
  void TearDown() override {
    EXPECT_EQ(CountTestKeys(mem), 0) << "a temporary key was left behind";
    EXPECT_EQ(mem.OpenHandles(), 0u);
  }
};

TEST_F(RootEquivalenceTest, FindsAllThreePairsByWriting) {
  std::vector<std::string> skipKeys;
  EXPECT_EQ(FindRootEquivalents(skipKeys, api, sys), 0);
  std::vector<std::string> expected = {"HKEY_LOCAL_MACHINE\\SOFTWARE\\CLASSES",
                                       "HKEY_USERS\\S-1-5-21-1-2-3-1000"};
  expected.insert(expected.end(), kHardwareProfileEntries.begin(), kHardwareProfileEntries.end());
  EXPECT_EQ(skipKeys, expected);
  // Found by writing: no statistics were compared.
  EXPECT_EQ(api.infoQueries, 0);
  EXPECT_EQ(sys.lookedUp, "alice");
  // The registry's own content is untouched.
  EXPECT_NE(mem.GetValue("HKEY_CLASSES_ROOT\\.txt", ""), nullptr);
  EXPECT_NE(mem.GetValue("HKEY_CURRENT_USER\\Environment", "TEMP"), nullptr);
}

TEST_F(RootEquivalenceTest, AnswersOfTheWriteTest) {
  EXPECT_EQ(eq.SameKeyByWrite(kHkeyClassesRoot, kHkeyLocalMachine, "\\SOFTWARE\\Classes"),
            kSameKey);
  EXPECT_EQ(eq.SameKeyByWrite(kHkeyCurrentUser, kHkeyUsers, "\\.DEFAULT"), kDifferentKey);
  EXPECT_EQ(eq.SameKeyByWrite(kHkeyCurrentUser, kHkeyUsers, "\\S-1-5-99"), kCannotOpenFullAccess);
  mem.Find("HKEY_USERS\\S-1-5-18")->grant = kKeyRead;
  EXPECT_EQ(eq.SameKeyByWrite(kHkeyCurrentUser, kHkeyUsers, "\\S-1-5-18"), kCannotOpenFullAccess);
  mem.openFailure = [](const std::string& sub) {
    return sub.starts_with("{") ? kErrorAccessDenied : kErrorSuccess;
  };
  EXPECT_EQ(eq.SameKeyByWrite(kHkeyCurrentUser, kHkeyUsers, "\\S-1-5-19"), kCannotCreateTestKey);
}

TEST_F(RootEquivalenceTest, WithoutFullAccessTheClassesPairIsNotListedAndNotCompared) {
  // Only read access: the write test cannot even start, and the statistics (which agree, since
  // it is the same key) must not be asked.
  mem.Find("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes")->grant = kKeyRead;
  std::vector<std::string> list;
  EXPECT_FALSE(eq.AddIfSameKey(list, "HKEY_LOCAL_MACHINE", "SOFTWARE\\Classes", kHkeyLocalMachine,
                               kHkeyClassesRoot));
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(api.infoQueries, 0);
  EXPECT_EQ(eq.FindRootEquivalents(list), kClassesPairNotFound);
  EXPECT_EQ(list.size(), 1u + 1u + 4u - 1u);
}

// When no key may be created in the candidate, its statistics decide against the target root's.
TEST_F(RootEquivalenceTest, WhenNoKeyMayBeCreatedTheStatisticsDecide) {
  using Node = MemoryRegistry::Node;
  struct Case {
    const char* name;
    Hkey target;
    std::function<void(Node& target, Node& alias)> change;
    bool listed;
  };
  const std::vector<Case> cases = {
      {"same class view", kHkeyClassesRoot, nullptr, true},
      {"same user view", kHkeyCurrentUser, nullptr, true},
      {"class name differs", kHkeyCurrentUser, [](Node&, Node& a) { a.className = "x"; }, false},
      {"values differ", kHkeyCurrentUser,
       [](Node&, Node& a) {
         a.values.push_back({"v", kRegSz, "a"});
       },
       false},
      {"subkeys differ", kHkeyCurrentConfig,
       [](Node&, Node& a) { a.subKeys.push_back(std::make_shared<Node>()); }, false},
      {"write time differs", kHkeyCurrentUser, [](Node&, Node& a) { a.lastWriteHigh = 7; }, false},
      {"write time low differs", kHkeyCurrentConfig, [](Node&, Node& a) { a.lastWriteLow = 7; },
       false},
      {"descriptor differs", kHkeyCurrentUser,
       [](Node&, Node& a) { a.securityDescriptorSize = 99; }, false},
      {"classes ignore write time", kHkeyClassesRoot,
       [](Node&, Node& a) { a.lastWriteHigh = a.lastWriteLow = 7; }, true},
      {"classes ignore descriptor", kHkeyClassesRoot,
       [](Node&, Node& a) { a.securityDescriptorSize = 99; }, true},
      {"classes compare class name", kHkeyClassesRoot, [](Node& t, Node&) { t.className = "c"; },
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryRegistry m;
    TestRegistry a(m);
    RootEquivalence e(a, sys);
    // Two distinct keys that look alike: only the statistics can tell them apart.
    auto target = m.Root(c.target);
    target->values.push_back({"name", kRegSz, std::string("data\0", 5)});
    auto alias = m.Key("HKEY_USERS\\Candidate");
    alias->values.push_back({"NAME", kRegSz, std::string("DATA\0", 5)});
    if (c.change) c.change(*target, *alias);
    m.openFailure = [](const std::string& sub) {
      return sub.starts_with("{") ? kErrorAccessDenied : kErrorSuccess;
    };
    EXPECT_EQ(e.SameKeyByWrite(c.target, kHkeyUsers, "\\Candidate"), kCannotCreateTestKey);
    std::vector<std::string> list;
    EXPECT_EQ(e.AddIfSameKey(list, "HKEY_USERS", "Candidate", kHkeyUsers, c.target), c.listed);
    EXPECT_EQ(list, c.listed ? std::vector<std::string>{"HKEY_USERS\\CANDIDATE"}
                             : std::vector<std::string>{});
    EXPECT_EQ(m.OpenHandles(), 0u);
  }
}

TEST_F(RootEquivalenceTest, StatisticsFailuresMeanNotTheSameKey) {
  EXPECT_TRUE(eq.SameKeyByInfo(kHkeyCurrentUser, kHkeyUsers, "\\S-1-5-21-1-2-3-1000"));
  EXPECT_FALSE(eq.SameKeyByInfo(kHkeyCurrentUser, kHkeyUsers, "\\S-1-5-99"));
  mem.Root(kHkeyCurrentUser)->failEnumeration = true;
  EXPECT_FALSE(eq.SameKeyByInfo(kHkeyCurrentUser, kHkeyUsers, "\\S-1-5-21-1-2-3-1000"));
  mem.Root(kHkeyCurrentUser)->failEnumeration = false;
  mem.Find("HKEY_USERS\\.DEFAULT")->failEnumeration = true;
  EXPECT_FALSE(eq.SameKeyByInfo(kHkeyCurrentUser, kHkeyUsers, "\\.DEFAULT"));
}

TEST_F(RootEquivalenceTest, SidTextInBothAuthorityForms) {
  struct Case {
    std::array<std::uint8_t, 6> authority;
    std::vector<std::uint32_t> subs;
    const char* text;
  };
  const std::vector<Case> cases = {
      {{0, 0, 0, 0, 0, 5}, {21, 1, 2, 3, 1000}, "S-1-5-21-1-2-3-1000"},
      {{0, 0, 0, 0, 0, 5}, {18}, "S-1-5-18"},
      {{0, 0, 0, 0, 0, 1}, {0}, "S-1-1-0"},
      {{0, 0, 0, 0, 0, 0}, {}, "S-1-0"},
      // Bytes 2 to 5 are one big-endian number.
      {{0, 0, 1, 2, 3, 4}, {7}, "S-1-16909060-7"},
      {{0, 0, 0xFF, 0xFF, 0xFF, 0xFF}, {}, "S-1-4294967295"},
      // Sub-authorities are unsigned.
      {{0, 0, 0, 0, 0, 5}, {21, 0xFFFFFFFF, 0x80000000}, "S-1-5-21-4294967295-2147483648"},
      // A non-zero byte 0 or 1: all six bytes in lower-case hexadecimal.
      {{1, 0, 0, 0, 0, 0}, {5}, "S-1-0x010000000000-5"},
      {{0, 1, 0, 0, 0, 9}, {}, "S-1-0x000100000009"},
      {{0xAB, 0xCD, 0xEF, 0x01, 0x23, 0x4F}, {}, "S-1-0xabcdef01234f"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    sys.authority = c.authority;
    sys.subAuthorities = c.subs;
    std::string text;
    EXPECT_EQ(eq.CurrentUserSID(text), 0);
    EXPECT_EQ(text, c.text);
  }
}

TEST_F(RootEquivalenceTest, EachFailingSidStepReturnsItsNumber) {
  sys.subAuthorities = {21, 1, 2, 3, 1000};
  for (const int step : {1, 2, 3, 4, 5, 6, 7, 8, 9}) {
    SCOPED_TRACE(step);
    sys.failStep = step;
    std::string text;
    EXPECT_EQ(eq.CurrentUserSID(text), step);
  }
}

TEST_F(RootEquivalenceTest, CurrentUserKeyFoundDirectlyTestsNoOtherSubkey) {
  std::vector<std::string> list;
  EXPECT_EQ(eq.CurrentUserKeyName(), kUserSid);
  EXPECT_TRUE(eq.FindHKCUEquivalent(list));
  EXPECT_EQ(list, std::vector<std::string>{"HKEY_USERS\\S-1-5-21-1-2-3-1000"});
  EXPECT_EQ(OpensBelow("HKEY_USERS"), std::vector<std::string>{kUserSid});
}

TEST_F(RootEquivalenceTest, WithoutItsOwnKeyDefaultThenEverySubkeyInEnumerationOrder) {
  // The identifier names no key below HKEY_USERS; the user's key is found by trying them all.
  sys.subAuthorities = {21, 9, 9, 9, 1001};
  mem.Key("HKEY_USERS\\S-1-5-80");
  std::vector<std::string> list;
  EXPECT_EQ(eq.CurrentUserKeyName(), ".Default");
  EXPECT_TRUE(eq.FindHKCUEquivalent(list));
  EXPECT_EQ(list, std::vector<std::string>{"HKEY_USERS\\S-1-5-21-1-2-3-1000"});
  // ".Default" as the fallback name, then the enumeration (which lists .DEFAULT again); the walk
  // stops at the first match, so S-1-5-80 is never tried.
  EXPECT_EQ(OpensBelow("HKEY_USERS"), (std::vector<std::string>{".Default", ".DEFAULT", "S-1-5-18",
                                                                "S-1-5-19", "S-1-5-20", kUserSid}));
}

TEST_F(RootEquivalenceTest, FailedSidLookupFallsBackToDefault) {
  for (const int step : {1, 2, 3, 4, 5}) {
    SCOPED_TRACE(step);
    sys.failStep = step;
    EXPECT_EQ(eq.CurrentUserKeyName(), ".Default");
  }
}

TEST_F(RootEquivalenceTest, UpToFourHardwareProfileEntriesInOrder) {
  std::vector<std::string> list;
  EXPECT_TRUE(eq.FindHKCCEquivalent(list));
  EXPECT_EQ(list, kHardwareProfileEntries);
  EXPECT_EQ(OpensBelow("HKEY_LOCAL_MACHINE"),
            (std::vector<std::string>{"SYSTEM\\ControlSet001\\Hardware Profiles\\Current",
                                      "SYSTEM\\ControlSet001\\Hardware Profiles\\0001",
                                      "SYSTEM\\CurrentControlSet\\Hardware Profiles\\0001",
                                      "SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current"}));
}

TEST_F(RootEquivalenceTest, HardwareProfileNumbersArePadded) {
  struct Case {
    std::uint32_t n;
    const char* controlSet;
    const char* profile;
  };
  for (const Case& c : {Case{12, "ControlSet012", "0012"}, Case{1234, "ControlSet1234", "1234"},
                        Case{0, "ControlSet000", "0000"}}) {
    SCOPED_TRACE(c.n);
    api.fullAccessOpens.clear();
    mem.PutDword("HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Control\\IDConfigDB", "CurrentConfig",
                 c.n);
    std::vector<std::string> list;
    // Only the last path, a link to the profile in use, is still the same key.
    EXPECT_TRUE(eq.FindHKCCEquivalent(list));
    EXPECT_EQ(list, std::vector<std::string>{kHardwareProfileEntries[3]});
    const std::string cs = std::string("SYSTEM\\") + c.controlSet + "\\Hardware Profiles\\";
    const std::string ccs = "SYSTEM\\CurrentControlSet\\Hardware Profiles\\";
    EXPECT_EQ(OpensBelow("HKEY_LOCAL_MACHINE"),
              (std::vector<std::string>{cs + "Current", cs + c.profile, ccs + c.profile,
                                        ccs + "Current"}));
  }
}

TEST_F(RootEquivalenceTest, OnlyThePathsThatAreTheProfileAreAdded) {
  // Without the CurrentControlSet link only the ControlSet001 paths lead to the profile.
  api.links.erase(api.links.begin());
  mem.Key("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\IDConfigDB");
  mem.PutDword("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\IDConfigDB",
               "CurrentConfig", 1);
  mem.Key("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current");
  std::vector<std::string> list;
  EXPECT_TRUE(eq.FindHKCCEquivalent(list));
  EXPECT_EQ(list,
            (std::vector<std::string>{kHardwareProfileEntries[0], kHardwareProfileEntries[1]}));
}

TEST_F(RootEquivalenceTest, NinetyFiveFamilyPaths) {
  sys.family = PlatformFamily::kWin95;
  mem.PutString("HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\control", "Current User", "alice");
  mem.Key("HKEY_USERS\\alice\\Software");
  mem.Alias(kHkeyCurrentUser, "HKEY_USERS\\alice");
  mem.PutString("HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\control\\IDConfigDB",
                "CurrentConfig", "0003");
  mem.Key("HKEY_LOCAL_MACHINE\\Config\\0003\\Display");
  mem.Alias(kHkeyCurrentConfig, "HKEY_LOCAL_MACHINE\\Config\\0003");
  api.links.clear();

  EXPECT_EQ(eq.CurrentUserKeyName(), "alice");
  EXPECT_EQ(sys.lookedUp, "");  // no account lookup on this family
  std::vector<std::string> list;
  EXPECT_EQ(eq.FindRootEquivalents(list), 0);
  EXPECT_EQ(list,
            (std::vector<std::string>{"HKEY_LOCAL_MACHINE\\SOFTWARE\\CLASSES", "HKEY_USERS\\ALICE",
                                      "HKEY_LOCAL_MACHINE\\CONFIG\\0003"}));
  EXPECT_EQ(OpensBelow("HKEY_USERS"), std::vector<std::string>{"alice"});
}

TEST_F(RootEquivalenceTest, NinetyFiveFamilyWithoutCurrentUserTriesDefault) {
  sys.family = PlatformFamily::kWin95;
  EXPECT_EQ(eq.CurrentUserKeyName(), ".Default");
  // A "Current User" of another type names nobody.
  mem.Put("HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\control", "Current User", kRegBinary,
          "bob");
  EXPECT_EQ(eq.CurrentUserKeyName(), ".Default");
}

TEST_F(RootEquivalenceTest, ResultBitsNamePairsNotFound) {
  struct Case {
    const char* name;
    std::function<void(MemoryRegistry&, TestRegistry&)> breakPairs;
    int bits;
  };
  const std::vector<Case> cases = {
      {"all found", nullptr, 0},
      {"classes", [](MemoryRegistry& m, TestRegistry&) { m.Key("HKEY_CLASSES_ROOT\\x"); }, 0},
      {"classes read-only",
       [](MemoryRegistry& m, TestRegistry&) {
         m.Find("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes")->grant = kKeyRead;
       },
       kClassesPairNotFound},
      {"user key elsewhere",
       [](MemoryRegistry& m, TestRegistry&) {
         m.Alias(kHkeyCurrentUser, "HKEY_LOCAL_MACHINE\\Elsewhere");
       },
       kCurrentUserPairNotFound},
      {"no IDConfigDB",
       [](MemoryRegistry& m, TestRegistry&) {
         m.Find("HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Control")->subKeys.clear();
       },
       kCurrentConfigPairNotFound},
      {"nothing writable",
       [](MemoryRegistry& m, TestRegistry& a) {
         a.failWrite = true;
         m.Alias(kHkeyCurrentUser, "HKEY_LOCAL_MACHINE\\Elsewhere");
       },
       kClassesPairNotFound | kCurrentUserPairNotFound | kCurrentConfigPairNotFound},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    NtMachine fresh;
    if (c.breakPairs) c.breakPairs(fresh.mem, fresh.api);
    std::vector<std::string> list;
    EXPECT_EQ(fresh.eq.FindRootEquivalents(list), c.bits);
    EXPECT_EQ(CountTestKeys(fresh.mem), 0);
  }
}

TEST_F(RootEquivalenceTest, RegistryErrorsInsideATestRemoveTheKeyAndCountAsDifferent) {
  // The test value cannot be written: WriteString raises after the key was made.
  api.failWrite = true;
  EXPECT_EQ(eq.SameKeyByWrite(kHkeyClassesRoot, kHkeyLocalMachine, "\\SOFTWARE\\Classes"),
            kDifferentKey);
  EXPECT_EQ(CountTestKeys(mem), 0);
  std::vector<std::string> list;
  EXPECT_NO_THROW(EXPECT_EQ(eq.FindRootEquivalents(list), kClassesPairNotFound |
                                                              kCurrentUserPairNotFound |
                                                              kCurrentConfigPairNotFound));
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(CountTestKeys(mem), 0);

  // The value is there but cannot be read back below the target root.
  api.failWrite = false;
  api.failReadBack = true;
  EXPECT_EQ(eq.SameKeyByWrite(kHkeyCurrentUser, kHkeyUsers, std::string("\\") + kUserSid),
            kDifferentKey);
  EXPECT_EQ(CountTestKeys(mem), 0);
}

TEST_F(RootEquivalenceTest, CurrentConfigOfAnotherTypeEndsOnlyThatPair) {
  mem.PutString("HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Control\\IDConfigDB", "CurrentConfig",
                "1");
  std::vector<std::string> list;
  EXPECT_NO_THROW(EXPECT_EQ(eq.FindRootEquivalents(list), kCurrentConfigPairNotFound));
  EXPECT_EQ(list.size(), 2u);
}

TEST_F(RootEquivalenceTest, NoGuidNoTestKeyAndTheCandidateIsKept) {
  // Without a GUID there is no temporary key name; the candidate itself must not be used.
  sys.guidFails = true;
  EXPECT_EQ(eq.SameKeyByWrite(kHkeyCurrentUser, kHkeyUsers, "\\.DEFAULT"), kCannotCreateTestKey);
  EXPECT_NE(mem.Find("HKEY_USERS\\.DEFAULT\\Software"), nullptr);
  EXPECT_EQ(mem.Find("HKEY_USERS\\.DEFAULT")->values.size(), 0u);
}

}  // namespace
}  // namespace calvorin
