// Start-up as the user meets it: saved search files handed over by a second start, settings that
// the next start clamps, and the root-key equivalence test that runs before the window appears.
#include <windows.h>
// after <windows.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "app/win/control_ids.h"
#include "base/text.h"
#include "e2e_support.h"

using namespace calvorin::win32;
using e2e::App;
using e2e::IniValue;

namespace {

// Keys of one scenario below `root`, created fresh and removed afterwards.
class ScenarioKey {
 public:
  ScenarioKey(HKEY root, const std::string& path) : root_(root), path_(path) {
    RegDeleteTreeA(root_, path_.c_str());
    RegCreateKeyExA(root_, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr);
  }
  ~ScenarioKey() {
    if (key_) RegCloseKey(key_);
    RegDeleteTreeA(root_, path_.c_str());
  }
  ScenarioKey(const ScenarioKey&) = delete;
  ScenarioKey& operator=(const ScenarioKey&) = delete;

  bool Valid() const { return key_ != nullptr; }
  bool SetString(const std::string& subKey, const std::string& name, const std::string& data) {
    return RegSetKeyValueA(key_, subKey.c_str(), name.empty() ? nullptr : name.c_str(), REG_SZ,
                           data.c_str(), static_cast<DWORD>(data.size() + 1)) == ERROR_SUCCESS;
  }
  bool Has(const std::string& subKey, const std::string& name) const {
    return RegGetValueA(key_, subKey.c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr, nullptr,
                        nullptr) == ERROR_SUCCESS;
  }

 private:
  HKEY root_;
  std::string path_;
  HKEY key_ = nullptr;
};

// A byte string literal, embedded zeros included.
template <std::size_t N>
std::string Bytes(const char (&bytes)[N]) {
  return std::string(bytes, N - 1);
}

int Count(const std::vector<std::string>& lines, const std::string& line) {
  return static_cast<int>(std::count(lines.begin(), lines.end(), line));
}

int ListCount(const App& app) {
  return static_cast<int>(SendMessageA(app.Control(kIdLbResults), LB_GETCOUNT, 0, 0));
}

// The names of the subkeys of root\path, or nothing when the key does not open.
std::optional<std::set<std::string>> SubkeyNames(HKEY root, const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return std::nullopt;
  std::set<std::string> names;
  char name[256];
  for (DWORD i = 0;; ++i) {
    DWORD size = sizeof name;
    if (RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
      break;
    }
    names.insert(name);
  }
  RegCloseKey(key);
  return names;
}

// The subkeys of every place where start-up may create its temporary keys: the classes key, each
// user key and the hardware-profile paths (profile 1 when IDConfigDB names none, as in a fresh
// Wine prefix).
std::map<std::string, std::optional<std::set<std::string>>> CandidateSubkeys() {
  std::map<std::string, std::optional<std::set<std::string>>> result;
  result["HKLM\\SOFTWARE\\Classes"] = SubkeyNames(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes");
  const auto users = SubkeyNames(HKEY_USERS, "");
  if (users) {
    for (const std::string& user : *users) result["HKU\\" + user] = SubkeyNames(HKEY_USERS, user);
  }
  DWORD n = 1;
  DWORD size = sizeof n;
  RegGetValueA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\control\\IDConfigDB",
               "CurrentConfig", RRF_RT_REG_DWORD, nullptr, &n, &size);
  char paths[4][128];
  std::snprintf(paths[0], sizeof paths[0], "SYSTEM\\ControlSet%03lu\\Hardware Profiles\\Current",
                n);
  std::snprintf(paths[1], sizeof paths[1], "SYSTEM\\ControlSet%03lu\\Hardware Profiles\\%04lu", n,
                n);
  std::snprintf(paths[2], sizeof paths[2], "SYSTEM\\CurrentControlSet\\Hardware Profiles\\%04lu",
                n);
  std::snprintf(paths[3], sizeof paths[3], "SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current");
  for (const char* path : paths) {
    result["HKLM\\" + std::string(path)] = SubkeyNames(HKEY_LOCAL_MACHINE, path);
  }
  return result;
}

TEST(Startup, LeavesNoTemporaryKeyBehind) {
  const std::string folder = e2e::PrepareScenarioFolder("StartupKeys");
  const auto before = CandidateSubkeys();
  ASSERT_TRUE(before.at("HKLM\\SOFTWARE\\Classes").has_value());
  ASSERT_GE(before.size(), 6u) << "no subkey of HKEY_USERS";
  App app;
  ASSERT_TRUE(app.Start(folder));
  ASSERT_NE(app.WaitForMainWindow(), nullptr);
  ASSERT_EQ(app.Close(), 0);
  const auto after = CandidateSubkeys();
  const std::regex guid("\\{[0-9A-Fa-f]{8}(-[0-9A-Fa-f]{4}){3}-[0-9A-Fa-f]{12}\\}");
  ASSERT_EQ(after.size(), before.size());
  std::vector<std::string> added;
  int guidNamed = 0;
  for (const auto& [place, names] : before) {
    const auto& now = after.at(place);
    ASSERT_EQ(now.has_value(), names.has_value()) << place;
    if (!names) continue;
    EXPECT_EQ(now->size(), names->size()) << place;
    for (const std::string& name : *now) {
      if (names->count(name)) continue;
      added.push_back(place + "\\" + name);
      if (std::regex_match(name, guid)) ++guidNamed;
    }
  }
  EXPECT_EQ(guidNamed, 0);
  for (const std::string& key : added) ADD_FAILURE() << "new key " << key;
}

TEST(Startup, AScanReportsNoValueTwice) {
  const std::string scenario = "StartupOnce";
  const std::string folder = e2e::PrepareScenarioFolder(scenario);
  const std::string data = folder + "\\data";
  CreateDirectoryA(data.c_str(), nullptr);
  ScenarioKey user(HKEY_CURRENT_USER, "Software\\CalvorinTests\\E2E\\" + scenario);
  ScenarioKey classes(HKEY_LOCAL_MACHINE, "Software\\Classes\\CalvorinTestsE2E");
  ASSERT_TRUE(user.Valid());
  ASSERT_TRUE(classes.Valid());
  struct Seed {
    const char* subKey;
    const char* name;
    std::string data;
    const char* backupKey;
  };
  const std::vector<Seed> seeds = {
      {"k1", "Gone", data + "\\gone one.exe", "k1"},
      {"k2\\Deeper", "", data + "\\gone folder", "k2\\Deeper"},
      {"k3", "Other", data + "\\gone three.txt", "k3"},
  };
  for (const Seed& s : seeds) ASSERT_TRUE(user.SetString(s.subKey, s.name, s.data));
  const std::string classesGone = data + "\\classes gone.exe";
  ASSERT_TRUE(classes.SetString("", "Gone", classesGone));

  App app;
  ASSERT_TRUE(app.Start(folder));
  ASSERT_NE(app.WaitForMainWindow(), nullptr);
  // Repair without Extra deletes every result and writes its key path to the backup file.
  SendMessageA(app.Control(kIdCheckBox1), BM_SETCHECK, BST_UNCHECKED, 0);
  const int found = e2e::SearchAndWait(app);
  ASSERT_GE(found, static_cast<int>(seeds.size()));
  EXPECT_EQ(ListCount(app), found);

  // rrr.TXT: "Memo2", then the candidate of each result in list order.
  const std::vector<std::string> log = e2e::Lines(e2e::ReadWholeFile(folder + "\\rrr.TXT"));
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(static_cast<int>(log.size()) - 1, found);
  // Once: not again below HKEY_USERS, whose current user's key is HKEY_CURRENT_USER.
  for (const Seed& s : seeds) EXPECT_EQ(Count(log, s.data), 1) << s.data;
  // Rejected below HKEY_CLASSES_ROOT; its HKEY_LOCAL_MACHINE alias is not walked at all.
  EXPECT_EQ(Count(log, classesGone), 0);

  HWND repair = app.Control(kIdButton3);
  ASSERT_TRUE(e2e::IsShown(repair));
  e2e::Click(repair);
  char cleaned[64];
  std::snprintf(cleaned, sizeof cleaned, "%d Registry Items Cleaned", found);
  ASSERT_TRUE(e2e::WaitUntil([&] { return e2e::Text(app.Control(kIdLabel1)) == cleaned; },
                             std::chrono::seconds(120)))
      << e2e::Text(app.Control(kIdLabel1));
  EXPECT_EQ(app.Close(), 0);

  // Every result's key path, one key line per entry.
  const std::vector<std::string> backup =
      e2e::Lines(e2e::ReadWholeFile(folder + "\\deletedkeys.reg"));
  std::vector<std::string> keyLines;
  for (const std::string& line : backup) {
    if (!line.empty() && line[0] == '[') keyLines.push_back(line);
  }
  EXPECT_EQ(static_cast<int>(keyLines.size()), found);
  for (const std::string& line : keyLines) {
    const std::string upper = calvorin::UpperAscii(line);
    EXPECT_NE(upper.rfind("[HKEY_USERS\\S-1-5-21-0-0-0-1000", 0), 0u) << line;
    EXPECT_NE(upper.rfind("[HKEY_LOCAL_MACHINE\\SOFTWARE\\CLASSES", 0), 0u) << line;
  }
  const std::string base = "[HKEY_CURRENT_USER\\Software\\CalvorinTests\\E2E\\StartupOnce\\";
  for (const Seed& s : seeds) {
    EXPECT_EQ(Count(keyLines, base + s.backupKey + "]"), 1) << s.backupKey;
    EXPECT_FALSE(user.Has(s.subKey, s.name)) << s.subKey;
  }
  EXPECT_TRUE(classes.Has("", "Gone"));
}

TEST(Startup, SecondStartWithALowerCaseMagicClearsTheResults) {
  const std::string scenario = "StartupMagic";
  const std::string folder = e2e::PrepareScenarioFolder(scenario);
  ScenarioKey user(HKEY_CURRENT_USER, "Software\\CalvorinTests\\E2E\\" + scenario);
  ASSERT_TRUE(user.SetString("k1", "Gone", folder + "\\data\\gone one.exe"));
  // The saved search's magic, but in lower case.
  const std::string file = folder + "\\lower.mqt";
  e2e::WriteWholeFile(file, Bytes("\x06\x03mqt\x02\x05\x02\x01\x02\x01\x02\x00\x02\x00\x02\x00"));
  App first;
  ASSERT_TRUE(first.Start(folder));
  ASSERT_NE(first.WaitForMainWindow(), nullptr);
  ASSERT_GE(e2e::SearchAndWait(first), 1);
  ASSERT_GE(ListCount(first), 1);

  App second;
  ASSERT_TRUE(second.Start(folder, "\"" + file + "\""));
  HWND box = nullptr;
  ASSERT_TRUE(e2e::WaitUntil([&] { return (box = first.FindMessageBox()) != nullptr; }));
  EXPECT_EQ(e2e::MessageBoxText(box), "MQT file corrupted (1)");
  // The results are gone before the message is shown.
  EXPECT_EQ(ListCount(first), 0);
  EXPECT_TRUE(e2e::SaveScreenshot(nullptr, "10-lower-case-magic"));
  EXPECT_FALSE(second.WaitForExit(std::chrono::milliseconds(200)));
  e2e::PressButton(box, IDOK);
  DWORD code = 1;
  ASSERT_TRUE(second.WaitForExit(std::chrono::seconds(20), &code));
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(ListCount(first), 0);
  EXPECT_EQ(first.Close(), 0);
}

TEST(Startup, NextStartClampsTheSettingsOfAHandedOverSearch) {
  const std::string folder = e2e::PrepareScenarioFolder("StartupClamp");
  const std::string ini = folder + "\\calvorin.INI";
  // Magic "MQT", selection 31, PerPage 9, MaxRslt -5 (tag 4), three empty lists.
  const std::string file = folder + "\\settings.mqt";
  e2e::WriteWholeFile(file, Bytes("\x06\x03MQT\x02\x1F\x02\x09\x04\xFB\xFF\xFF\xFF"
                                  "\x02\x00\x02\x00\x02\x00"));
  {
    App first;
    ASSERT_TRUE(first.Start(folder));
    ASSERT_NE(first.WaitForMainWindow(), nullptr);
    App second;
    ASSERT_TRUE(second.Start(folder, "\"" + file + "\""));
    DWORD code = 1;
    ASSERT_TRUE(second.WaitForExit(std::chrono::seconds(20), &code));
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(first.FindMessageBox(), nullptr);
    EXPECT_EQ(first.Close(), 0);
  }
  EXPECT_EQ(IniValue(ini, "Settings", "PerPage"), "9");
  EXPECT_EQ(IniValue(ini, "Settings", "MaxRslt"), "-5");
  App next;
  ASSERT_TRUE(next.Start(folder));
  ASSERT_NE(next.WaitForMainWindow(), nullptr);
  EXPECT_EQ(next.Close(), 0);
  EXPECT_EQ(IniValue(ini, "Settings", "PerPage"), "4");
  EXPECT_EQ(IniValue(ini, "Settings", "MaxRslt"), "0");
}

}  // namespace
