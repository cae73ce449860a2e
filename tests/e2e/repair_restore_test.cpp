// Repair and Restore as the user runs them, checked against the registry and the backup file:
// nothing recorded may be lost, and what comes back must be byte for byte what was there.
#include <windows.h>
// after <windows.h>
#include <gtest/gtest.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/win/control_ids.h"
#include "base/scope_exit.h"
#include "e2e_support.h"

using namespace calvorin::win32;
using e2e::App;
using e2e::Format;
using e2e::RegValue;

namespace {

RegValue Sz(const std::string& text, DWORD type = REG_SZ) {
  return {type, text + std::string(1, '\0')};
}

std::string LowerAscii(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

// One value of a scenario: where it lies and what it held when seeded.
struct Seeded {
  std::string subKey;  // below the scenario's key
  std::string name;
  RegValue value;
};

// The scenario's registry keys under HKCU\Software\CalvorinTests\E2E\<scenario>, removed
// afterwards.
class ScenarioKey {
 public:
  explicit ScenarioKey(const std::string& scenario) : scope_("E2E\\" + scenario) {}
  // Below HKEY_CURRENT_USER.
  const std::string& Path() const { return scope_.Path(); }

  bool Set(const Seeded& v) {
    return e2e::WriteRegValue(HKEY_CURRENT_USER, Sub(v), v.name, v.value);
  }
  std::optional<RegValue> Get(const Seeded& v) const {
    RegValue out;
    if (!e2e::ReadRegValue(HKEY_CURRENT_USER, Sub(v), v.name, &out)) return std::nullopt;
    return out;
  }
  bool Remove(const Seeded& v) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, Sub(v).c_str(), 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) {
      return false;
    }
    const bool ok = RegDeleteValueA(key, v.name.c_str()) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
  }
  // The key path as the scan records it: the root's name, the path below it in lower case.
  std::string Recorded(const Seeded& v) const { return "HKEY_CURRENT_USER\\" + LowerAscii(Sub(v)); }

 private:
  std::string Sub(const Seeded& v) const { return scope_.Path() + "\\" + v.subKey; }
  e2e::ScopedTestKey scope_;
};

// --- reading deletedkeys.reg back as the registry import reads it ---

// A quoted text starting at `at` (the opening quote), with \\ and \" read back; the index after
// the closing quote, or npos.
std::size_t Unquote(const std::string& line, std::size_t at, std::string* out) {
  if (at >= line.size() || line[at] != '"') return std::string::npos;
  out->clear();
  for (std::size_t i = at + 1; i < line.size(); ++i) {
    if (line[i] == '\\' && i + 1 < line.size()) {
      out->push_back(line[++i]);
    } else if (line[i] == '"') {
      return i + 1;
    } else {
      out->push_back(line[i]);
    }
  }
  return std::string::npos;
}

bool HexBytes(const std::string& list, std::string* out) {
  out->clear();
  std::size_t i = 0;
  while (i < list.size()) {
    unsigned byte = 0;
    if (std::sscanf(list.c_str() + i, "%2x", &byte) != 1) return false;
    out->push_back(static_cast<char>(byte));
    i += 2;
    if (i < list.size() && list[i] != ',') return false;
    ++i;
  }
  return true;
}

struct BackupValue {
  std::string keyPath;
  std::string name;
  RegValue value;
};

// The entries of a REGEDIT4 file as the import would set them; false when a line is not
// understood.
bool ParseBackup(const std::string& text, std::vector<BackupValue>* out, std::string* error) {
  std::vector<std::string> lines = e2e::Lines(text);
  // Hex data continue on the next line after a trailing backslash.
  std::vector<std::string> joined;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::string line = lines[i];
    while (!line.empty() && line.back() == '\\' && line.find("=hex") != std::string::npos &&
           i + 1 < lines.size()) {
      line.pop_back();
      std::string next = lines[++i];
      next.erase(0, next.find_first_not_of(' '));
      line += next;
    }
    joined.push_back(line);
  }
  std::string key;
  for (const std::string& line : joined) {
    if (line == "REGEDIT4" || line == " ") continue;
    if (line.size() > 2 && line.front() == '[' && line.back() == ']') {
      key = line.substr(1, line.size() - 2);
      continue;
    }
    BackupValue v;
    v.keyPath = key;
    std::size_t at = Unquote(line, 0, &v.name);
    if (at == std::string::npos || at >= line.size() || line[at] != '=' || key.empty()) {
      *error = line;
      return false;
    }
    const std::string rest = line.substr(at + 1);
    std::string text;
    unsigned type = 0;
    int used = 0;
    if (!rest.empty() && rest[0] == '"') {
      if (Unquote(rest, 0, &text) != rest.size()) {
        *error = line;
        return false;
      }
      v.value = Sz(text);
    } else if (rest.rfind("dword:", 0) == 0 && rest.size() == 14) {
      const unsigned long d = std::stoul(rest.substr(6), nullptr, 16);
      v.value.type = REG_DWORD;
      for (int i = 0; i < 4; ++i) v.value.bytes.push_back(static_cast<char>((d >> (8 * i)) & 0xFF));
    } else if (rest.rfind("hex:", 0) == 0 && HexBytes(rest.substr(4), &v.value.bytes)) {
      v.value.type = REG_BINARY;
    } else if (std::sscanf(rest.c_str(), "hex(%x):%n", &type, &used) == 1 && used > 0 &&
               HexBytes(rest.substr(static_cast<std::size_t>(used)), &v.value.bytes)) {
      v.value.type = type;
    } else {
      *error = line;
      return false;
    }
    out->push_back(std::move(v));
  }
  return true;
}

// --- the user's steps ---

void StartApp(App& app, const std::string& folder) {
  ASSERT_TRUE(app.Start(folder));
  ASSERT_NE(app.WaitForMainWindow(), nullptr);
}

void SetExtra(App& app, bool ticked) {
  SendMessageA(app.Control(kIdCheckBox1), BM_SETCHECK, ticked ? BST_CHECKED : BST_UNCHECKED, 0);
}

// Clicks Repair and waits for the end of the run; Label1's text.
std::string RepairAndWait(App& app) {
  HWND repair = app.Control(kIdButton3);
  HWND label1 = app.Control(kIdLabel1);
  e2e::Click(repair);
  e2e::WaitUntil(
      [&] {
        return !e2e::IsShown(repair) &&
               e2e::Text(label1).find(" Registry Items Cleaned") != std::string::npos;
      },
      std::chrono::seconds(120));
  return e2e::Text(label1);
}

// Answers every box of the registry editor as a user would.
void AnswerRegistryEditor() {
  if (HWND ask = e2e::FindDialog("Registry Editor")) {
    e2e::PressButton(ask, GetDlgItem(ask, IDYES) ? IDYES : IDOK);
  }
}

HWND WaitForBox(const App& app) {
  HWND box = nullptr;
  e2e::WaitUntil([&] { return (box = app.FindMessageBox()) != nullptr; });
  return box;
}

// Restore, answered Yes; waits until `restored` holds (the import runs in another process).
bool RestoreAndWait(App& app, const std::function<bool()>& restored) {
  e2e::Click(app.Control(kIdButton4));
  HWND confirm = WaitForBox(app);
  if (!confirm || e2e::Text(confirm) != "Confirm") return false;
  e2e::PressButton(confirm, IDYES);
  return e2e::WaitUntil(
      [&] {
        AnswerRegistryEditor();
        return restored();
      },
      std::chrono::seconds(60));
}

int CountOf(const std::vector<BackupValue>& backup, const std::string& keyPath,
            const std::string& name) {
  int n = 0;
  for (const auto& b : backup) n += !_stricmp(b.keyPath.c_str(), keyPath.c_str()) && b.name == name;
  return n;
}

const BackupValue* FindIn(const std::vector<BackupValue>& backup, const std::string& keyPath,
                          const std::string& name) {
  for (const auto& b : backup) {
    if (!_stricmp(b.keyPath.c_str(), keyPath.c_str()) && b.name == name) return &b;
  }
  return nullptr;
}

// Invalid values whose names hold a "~" (a short-name alias): each entry's search walks the
// whole drive instead of sharing one listing, which keeps a Repair run with Extra going long
// enough to act during it however fast the rest is.
std::vector<Seeded> SeedSlowRepair(ScenarioKey& key, const std::string& folder, int count) {
  std::vector<Seeded> values;
  for (int i = 0; i < count; ++i) {
    values.push_back({Format("k%d", i / 10), Format("v%d", i),
                      Sz(folder + Format("\\gone\\missing~%d.exe", i))});
    EXPECT_TRUE(key.Set(values.back())) << values.back().name;
  }
  return values;
}

// Starts the program, scans, and clicks Repair with Extra ticked; returns once the run is under
// way.
void StartRepairRun(App& app, const std::string& folder, std::size_t seeded) {
  StartApp(app, folder);
  SetExtra(app, true);
  ASSERT_GE(e2e::SearchAndWait(app), static_cast<int>(seeded));
  HWND label3 = app.Control(kIdLabel3);
  e2e::Click(app.Control(kIdButton3));
  ASSERT_TRUE(e2e::WaitUntil([&] { return e2e::Text(label3).rfind("Fixing item ", 0) == 0; }));
}

// Item `index`'s text as the list gives it to other programs (the texts here are ASCII).
std::string ItemText(HWND list, int index) {
  wchar_t text[512] = {};
  SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text));
  std::string ascii;
  for (const wchar_t* c = text; *c; ++c) ascii += static_cast<char>(*c);
  return ascii;
}

// The item whose value row names `name`, selected; its index or -1.
int SelectItem(App& app, const std::string& name) {
  HWND list = app.Control(kIdLbResults);
  const int count = static_cast<int>(SendMessageA(list, LB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    if (ItemText(list, i).find("\r\nVal: " + name + "   Error") == std::string::npos) continue;
    SendMessageA(list, LB_SETTOPINDEX, static_cast<WPARAM>(i), 0);
    SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(i), 0);
    return i;
  }
  return -1;
}

// Shift+F10 on the selected item, then the menu's access key `key`.
void ItemMenu(App& app, WORD key) {
  e2e::PressKeys(app.Main(), {VK_F10}, VK_SHIFT);
  ASSERT_TRUE(e2e::WaitUntil([] {
    HWND menu = FindWindowA("#32768", nullptr);
    return menu && IsWindowVisible(menu);
  }));
  e2e::PressKeys(app.Main(), {key});
}

// --- scenarios ---

TEST(RepairRestore, EveryValueComesBackByteForByte) {
  const std::string scenario = "RepairExact";
  const std::string folder = e2e::PrepareScenarioFolder(scenario);
  e2e::WriteWholeFile(folder + "\\present.txt", "here");
  const std::string gone = folder + "\\gone\\";
  // Longer than the 100 characters the scan shows: its data text is clipped with the right
  // marker, so it makes no candidate (nor does a quoted path of 100 to a file that is there).
  const std::string hundred = folder + "\\" + std::string(95 - folder.size(), 'h') + ".txt";
  e2e::WriteWholeFile(hundred, "here");
  std::string longPath = "\"" + gone + "a rather long folder name that keeps on going\\" +
                         "and another folder below it with a long name\\" +
                         "and the last one before the tool\\long tool.exe\" with arguments";
  ASSERT_GT(longPath.size(), 150u);
  std::string multi = gone + "multi.exe";
  multi += '\0';
  multi += "second string";
  multi += '\0';
  multi += '\0';
  const std::vector<Seeded> invalid = {
      {"k1", "Sz", Sz(gone + "tool.exe")},
      {"k1", "Expand", Sz(gone + "expand.exe", REG_EXPAND_SZ)},
      {"k1", "Multi", {REG_MULTI_SZ, multi}},
      {"k1", "Binary", {REG_BINARY, gone + "binary.exe"}},
      {"k2", "", Sz(gone + "default.exe")},
      {"k2", "odd\\name \"quoted\"", Sz(gone + "odd.exe")},
      // Only the hex form carries a control character; the quoted one carries ANSI as is.
      {"k3", "Tab", Sz(gone + "tab\there.exe")},
      {"k3", "Latin1", Sz(gone + "caf\xe9 na\xefve.exe")},
  };
  const std::vector<Seeded> valid = {
      {"k1", "Present", Sz(folder + "\\present.txt")},
      {"k1", "Folder", Sz(folder, REG_EXPAND_SZ)},
      {"k2", "Number", {REG_DWORD, std::string("\x2a\0\0\0", 4)}},
      {"k2", "OtherDrive", Sz("D:\\nowhere\\tool.exe")},
      {"k3", "Text", Sz("no path in here")},
      {"k3", "Long", Sz(longPath)},
      {"k3", "Hundred", Sz("\"" + hundred + "\"")},
  };
  ScenarioKey key(scenario);
  std::map<const Seeded*, RegValue> before;
  for (const auto* list : {&invalid, &valid}) {
    for (const Seeded& v : *list) {
      ASSERT_TRUE(key.Set(v)) << v.name;
      const auto read = key.Get(v);
      ASSERT_TRUE(read.has_value()) << v.name;
      EXPECT_EQ(*read, v.value) << v.name;
      before[&v] = *read;
    }
  }

  const Seeded atRoot{"", "CalvorinE2E" + scenario, Sz(gone + "root.exe")};
  ASSERT_TRUE(e2e::WriteRegValue(HKEY_CURRENT_USER, "", atRoot.name, atRoot.value));
  const calvorin::ScopeExit drop([&] { RegDeleteValueA(HKEY_CURRENT_USER, atRoot.name.c_str()); });
  App app;
  StartApp(app, folder);
  SetExtra(app, false);
  const int found = e2e::SearchAndWait(app);
  ASSERT_GE(found, static_cast<int>(invalid.size()));
  const std::string label1 = RepairAndWait(app);
  EXPECT_EQ(label1, Format("%d Registry Items Cleaned", found));
  EXPECT_FALSE(e2e::IsShown(app.Control(kIdPb1)));
  EXPECT_FALSE(e2e::IsShown(app.Control(kIdEdit1)));
  EXPECT_EQ(e2e::Text(app.Control(kIdLabel3)), "");
  EXPECT_TRUE(e2e::IsEnabled(app.Control(kIdButton4)));
  EXPECT_TRUE(e2e::SaveScreenshot(app.Main(), "20-repair-exact-done"));

  int repaired = 0;
  for (const Seeded& v : invalid) {
    EXPECT_FALSE(key.Get(v).has_value()) << "still there: " << v.name;
    repaired += !key.Get(v).has_value();
  }
  for (const Seeded& v : valid) EXPECT_EQ(key.Get(v), before[&v]) << "changed: " << v.name;
  RegValue now;
  EXPECT_FALSE(e2e::ReadRegValue(HKEY_CURRENT_USER, "", atRoot.name, &now));

  // The backup holds each recorded value once, with its type and bytes.
  std::vector<BackupValue> backup;
  std::string bad;
  const std::string backupText = e2e::ReadWholeFile(folder + "\\deletedkeys.reg");
  ASSERT_TRUE(ParseBackup(backupText, &backup, &bad)) << bad << "\n" << backupText;
  const std::vector<std::string> lines = e2e::Lines(backupText);
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0], "REGEDIT4");
  EXPECT_EQ(lines[1], " ");
  EXPECT_EQ(lines.back(), " ");
  EXPECT_EQ(backupText.substr(backupText.size() - 3), " \r\n");
  int backedUp = 0;
  for (const Seeded& v : invalid) {
    EXPECT_EQ(CountOf(backup, key.Recorded(v), v.name), 1) << v.name;
    const BackupValue* b = FindIn(backup, key.Recorded(v), v.name);
    if (!b) continue;
    EXPECT_EQ(b->value, before[&v]) << v.name;
    backedUp += b->value == before[&v];
  }
  for (const Seeded& v : valid) EXPECT_EQ(CountOf(backup, key.Recorded(v), v.name), 0) << v.name;
  EXPECT_EQ(CountOf(backup, "HKEY_CURRENT_USER", atRoot.name), 1);

  // Restore through the shell's association: the registry editor merges the file.
  const bool back = RestoreAndWait(app, [&] {
    for (const Seeded& v : invalid) {
      if (!key.Get(v).has_value()) return false;
    }
    return e2e::ReadRegValue(HKEY_CURRENT_USER, "", atRoot.name, &now) && now == atRoot.value;
  });
  EXPECT_TRUE(back);
  int restored = 0;
  int identical = 0;
  for (const Seeded& v : invalid) {
    const auto now = key.Get(v);
    restored += now.has_value();
    identical += now == before[&v];
    EXPECT_EQ(now, before[&v]) << v.name;
  }
  for (const Seeded& v : valid) EXPECT_EQ(key.Get(v), before[&v]) << "changed: " << v.name;
  EXPECT_TRUE(e2e::FileExists(folder + "\\deletedkeys.reg"));
  EXPECT_TRUE(e2e::IsEnabled(app.Control(kIdButton4)));
  EXPECT_TRUE(e2e::SaveScreenshot(app.Main(), "21-restore-exact-done"));
  std::printf(
      "[ figures  ] %d seeded invalid: %d repaired, %d backed up exactly, %d restored, "
      "%d identical\n",
      static_cast<int>(invalid.size()), repaired, backedUp, restored, identical);
  EXPECT_EQ(app.Close(), 0);
}

// --- values any program can set through the wide API ---

std::wstring Wide(const std::string& ansi) {
  std::wstring out(ansi.size() + 1, L'\0');
  const int n = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()),
                                    out.data(), static_cast<int>(out.size()));
  out.resize(n > 0 ? n : 0);
  return out;
}

// Every value of a key and of its subkeys, as stored (UTF-16 names and string data), by path.
std::map<std::wstring, RegValue> StoredTree(HKEY root, const std::wstring& path, bool recurse) {
  std::map<std::wstring, RegValue> out;
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path.empty() ? nullptr : path.c_str(), 0, KEY_READ, &key) != 0) {
    return out;
  }
  std::vector<wchar_t> name(16384);
  std::vector<BYTE> data(1 << 16);
  for (DWORD i = 0;; ++i) {
    DWORD len = static_cast<DWORD>(name.size()), size = static_cast<DWORD>(data.size()), type = 0;
    if (RegEnumValueW(key, i, name.data(), &len, nullptr, &type, data.data(), &size) != 0) break;
    out[path + L" | " + std::wstring(name.data(), len)] = {
        type, std::string(data.begin(), data.begin() + size)};
  }
  std::vector<std::wstring> subKeys;
  for (DWORD i = 0;; ++i) {
    DWORD len = static_cast<DWORD>(name.size());
    if (RegEnumKeyExW(key, i, name.data(), &len, nullptr, nullptr, nullptr, nullptr) != 0) break;
    subKeys.emplace_back(name.data(), len);
    out[path + L"\\" + subKeys.back()] = {};
  }
  RegCloseKey(key);
  if (recurse) {
    for (const auto& sub : subKeys) out.merge(StoredTree(root, path + L"\\" + sub, true));
  }
  return out;
}

bool SetWide(const std::wstring& path, const std::wstring& name, DWORD type,
             const std::wstring& text) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                      nullptr) != 0) {
    return false;
  }
  const std::wstring data = text + L'\0';
  const bool ok =
      RegSetValueExW(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.c_str()),
                     static_cast<DWORD>(data.size() * sizeof(wchar_t))) == 0;
  RegCloseKey(key);
  return ok;
}

// The user decides: Space unticks one entry, the item menu marks another "always leave
// unchanged"; Repair leaves both and each item says what the run did. After a restart the mark
// still holds (the entry listed, unticked) while the other is ticked again and repaired; then
// the earlier of the two runs comes back through the chooser, behind a Confirm box whose
// default is No.
TEST(RepairRestore, TicksAndTheMarkDecideAndTheChooserRestoresAnEarlierRun) {
  const std::string scenario = "Ticks";
  const std::string folder = e2e::PrepareScenarioFolder(scenario);
  const std::string gone = folder + "\\gone\\";
  const Seeded unticked{"k", "Unticked", Sz(gone + "u.exe")};
  const Seeded left{"k", "Left;[=]\"", Sz(gone + "l.exe")};
  const Seeded cleaned{"k", "Cleaned", Sz(gone + "c.exe")};
  ScenarioKey key(scenario);
  for (const Seeded* v : {&unticked, &left, &cleaned}) ASSERT_TRUE(key.Set(*v)) << v->name;

  App app;
  StartApp(app, folder);
  SetExtra(app, false);
  const int found = e2e::SearchAndWait(app);
  ASSERT_GE(found, 3);
  HWND list = app.Control(kIdLbResults);
  HWND ticked = app.Control(kIdLblTicked);
  const auto showResults = [&] {
    e2e::PressKeys(app.Main(), {VK_TAB, VK_RETURN});  // Results gives the list the focus
    return e2e::WaitUntil([&] { return e2e::IsShown(list) && e2e::FocusOf(app.Main()) == list; });
  };
  ASSERT_TRUE(showResults());
  EXPECT_EQ(e2e::Text(ticked), Format("%d of %d items ticked", found, found));
  const int u = SelectItem(app, unticked.name);
  ASSERT_GE(u, 0);
  EXPECT_EQ(ItemText(list, u).rfind(Format("%d. Ticked\r\n", u + 1), 0), 0u);
  e2e::PressKeys(app.Main(), {VK_SPACE});
  EXPECT_TRUE(e2e::WaitUntil([&] { return ItemText(list, u).find(". Not ticked\r\n") != std::string::npos; }));
  const int l = SelectItem(app, left.name);
  ASSERT_GE(l, 0);
  ItemMenu(app, 'A');
  EXPECT_TRUE(e2e::WaitUntil([&] {
    return ItemText(list, l).find(". Not ticked: always left unchanged\r\n") != std::string::npos;
  }));
  EXPECT_EQ(e2e::Text(ticked), Format("%d of %d items ticked", found - 2, found));
  const std::string remembered = e2e::ReadWholeFile(folder + "\\always-leave.txt");
  EXPECT_NE(remembered.find("HKEY_CURRENT_USER\t" + key.Recorded(left) + "\t" + left.name + "\r\n"),
            std::string::npos)
      << remembered;
  Sleep(300);
  EXPECT_TRUE(e2e::SaveScreenshot(app.Main(), "28-ticks-marked"));

  e2e::Click(app.Control(kIdButton1));
  EXPECT_EQ(RepairAndWait(app), Format("%d Registry Items Cleaned", found - 2));
  EXPECT_EQ(e2e::Text(app.Control(kIdLabel3)), "2 Registry Items Left Unchanged");
  EXPECT_TRUE(key.Get(unticked).has_value());
  EXPECT_TRUE(key.Get(left).has_value());
  EXPECT_FALSE(key.Get(cleaned).has_value());
  ASSERT_TRUE(showResults());
  EXPECT_NE(ItemText(list, u).find(". Left unchanged: unticked\r\n"), std::string::npos);
  EXPECT_NE(ItemText(list, l).find(". Left unchanged: always left unchanged\r\n"),
            std::string::npos);
  const int c = SelectItem(app, cleaned.name);
  EXPECT_NE(ItemText(list, c).find(". Cleaned\r\n"), std::string::npos);
  Sleep(300);
  EXPECT_TRUE(e2e::SaveScreenshot(app.Main(), "28-ticks-outcomes"));
  EXPECT_EQ(app.Close(), 0);

  // After a restart the mark holds; the unticked entry is ticked like any other.
  ASSERT_TRUE(key.Set(cleaned));  // found again, so the second run holds it as well
  StartApp(app, folder);
  SetExtra(app, false);
  const int again = e2e::SearchAndWait(app);
  ASSERT_GE(again, 3);
  list = app.Control(kIdLbResults);
  ticked = app.Control(kIdLblTicked);
  ASSERT_TRUE(showResults());
  EXPECT_EQ(e2e::Text(ticked), Format("%d of %d items ticked", again - 1, again));
  const int l2 = SelectItem(app, left.name);
  EXPECT_NE(ItemText(list, l2).find(". Not ticked: always left unchanged\r\n"),
            std::string::npos);
  e2e::Click(app.Control(kIdButton1));
  EXPECT_EQ(RepairAndWait(app), Format("%d Registry Items Cleaned", again - 1));
  EXPECT_FALSE(key.Get(unticked).has_value());
  EXPECT_TRUE(key.Get(left).has_value());

  // Restore: the chooser lists both runs, newest first; Down and Enter take the earlier one.
  e2e::Click(app.Control(kIdButton4));
  HWND chooser = nullptr;
  ASSERT_TRUE(e2e::WaitUntil([&] { return (chooser = e2e::FindDialog("Restore")) != nullptr; }));
  HWND runs = GetDlgItem(chooser, kIdRunList);
  ASSERT_EQ(SendMessageA(runs, LB_GETCOUNT, 0, 0), 2);
  EXPECT_EQ(SendMessageA(runs, LB_GETCURSEL, 0, 0), 0);
  const std::string newest = ItemText(runs, 0);
  EXPECT_NE(newest.find(Format("   %d values", again - 1)), std::string::npos) << newest;
  EXPECT_NE(ItemText(runs, 1).find(Format("   %d value", found - 2)), std::string::npos);
  EXPECT_GE(newest.substr(0, 19), ItemText(runs, 1).substr(0, 19));
  EXPECT_TRUE(e2e::SaveScreenshot(chooser, "28-restore-chooser"));
  e2e::PressKeys(chooser, {VK_DOWN, VK_RETURN});
  HWND confirm = nullptr;
  ASSERT_TRUE(e2e::WaitUntil([&] { return (confirm = e2e::FindDialog("Confirm")) != nullptr; }));
  EXPECT_TRUE(GetWindowLongA(GetDlgItem(confirm, IDNO), GWL_STYLE) & BS_DEFPUSHBUTTON);
  e2e::PressButton(confirm, IDYES);
  EXPECT_TRUE(e2e::WaitUntil(
      [&] {
        AnswerRegistryEditor();
        return key.Get(cleaned).has_value();
      },
      std::chrono::seconds(60)));
  EXPECT_FALSE(key.Get(unticked).has_value());  // only in the later run
  EXPECT_EQ(app.Close(), 0);
}

// Names that spell out registry lines and texts without an ANSI form, next to ordinary invalid
// values: the scan judges only exact texts, Repair changes only what its backup brings back
// exactly, and Restore through the real registry editor puts back exactly what was there and
// nothing more. A saved search handed over after a scan empties the list: Repair then changes
// nothing.
TEST(RepairRestore, HostileAndNonAnsiValuesStayExactlyAsTheyWere) {
  ASSERT_EQ(GetACP(), 1252u) << "the planted texts are chosen for code page 1252";
  const std::string scenario = "RepairHostile";
  const std::string folder = e2e::PrepareScenarioFolder(scenario);
  const std::wstring lodz = L"\u0141\u00f3d\u017a";  // no exact form in code page 1252
  const std::wstring wideFolder = Wide(folder) + L"\\" + lodz;
  ASSERT_TRUE(CreateDirectoryW(wideFolder.c_str(), nullptr) ||
              GetLastError() == ERROR_ALREADY_EXISTS);
  HANDLE file = CreateFileW((wideFolder + L"\\app.exe").c_str(), GENERIC_WRITE, 0, nullptr,
                            CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);

  ScenarioKey key(scenario);
  const std::wstring base = Wide(key.Path());
  const std::wstring gone = Wide(folder) + L"\\gone\\";
  const std::wstring injecting = L"dw\r\n[HKEY_CURRENT_USER]\r\n@=dword:00000007\r\n;";
  ASSERT_TRUE(SetWide(base + L"\\k1", L"Ordinary", REG_SZ, gone + L"ordinary.exe"));
  ASSERT_TRUE(SetWide(base + L"\\k1", L"Expand", REG_EXPAND_SZ, gone + L"expand.exe"));
  ASSERT_TRUE(SetWide(base + L"\\k1", injecting, REG_SZ, gone + L"inject.exe"));
  ASSERT_TRUE(SetWide(base + L"\\k1", L"Exists", REG_SZ, wideFolder + L"\\app.exe"));
  ASSERT_TRUE(SetWide(base + L"\\k1", L"Missing", REG_SZ, wideFolder + L"\\missing.exe"));
  ASSERT_TRUE(SetWide(base + L"\\k1", lodz, REG_SZ, gone + L"name.exe"));
  ASSERT_TRUE(SetWide(base + L"\\Bad\r\nKey", L"V", REG_SZ, gone + L"key.exe"));
  const auto before = StoredTree(HKEY_CURRENT_USER, base, true);
  const auto rootBefore = StoredTree(HKEY_CURRENT_USER, L"", false);
  ASSERT_EQ(before.size(), 9u);  // seven values, two subkeys

  App app;
  StartApp(app, folder);
  SetExtra(app, false);
  const int found = e2e::SearchAndWait(app);
  const std::vector<std::string> log = e2e::Lines(e2e::ReadWholeFile(folder + "\\rrr.TXT"));
  const auto logged = [&](const std::string& tail) {
    return std::any_of(log.begin(), log.end(), [&](const std::string& line) {
      return line.size() >= tail.size() &&
             line.compare(line.size() - tail.size(), tail.size(), tail) == 0;
    });
  };
  for (const char* tail :
       {"\\gone\\ordinary.exe", "\\gone\\expand.exe", "\\gone\\inject.exe", "\\gone\\key.exe"}) {
    EXPECT_TRUE(logged(tail)) << tail;
  }
  // Never judged on a look-alike: not the existing file, nor the missing one, nor the name.
  for (const char* tail : {"\\app.exe", "\\missing.exe", "\\gone\\name.exe"}) {
    EXPECT_FALSE(logged(tail)) << tail;
  }

  EXPECT_EQ(RepairAndWait(app), Format("%d Registry Items Cleaned", found - 2));
  EXPECT_EQ(e2e::Text(app.Control(kIdLabel3)), "2 Registry Items Left Unchanged");
  EXPECT_TRUE(e2e::SaveScreenshot(app.Main(), "23-repair-left-unchanged"));
  auto after = StoredTree(HKEY_CURRENT_USER, base, true);
  for (const wchar_t* deleted : {L"\\k1 | Ordinary", L"\\k1 | Expand"}) {
    EXPECT_EQ(after.count(base + deleted), 0u);
    after[base + deleted] = before.at(base + deleted);
  }
  EXPECT_EQ(after, before);
  const std::string backupText = e2e::ReadWholeFile(folder + "\\deletedkeys.reg");
  std::vector<BackupValue> backup;
  std::string bad;
  ASSERT_TRUE(ParseBackup(backupText, &backup, &bad)) << bad << "\n" << backupText;
  EXPECT_EQ(static_cast<int>(backup.size()), found - 2) << backupText;
  EXPECT_EQ(backupText.find("inject"), std::string::npos) << backupText;

  const bool back = RestoreAndWait(
      app, [&] { return StoredTree(HKEY_CURRENT_USER, base, true).size() == before.size(); });
  EXPECT_TRUE(back);
  EXPECT_EQ(StoredTree(HKEY_CURRENT_USER, base, true), before);
  EXPECT_EQ(StoredTree(HKEY_CURRENT_USER, L"", false), rootBefore);

  // Scan again, then a saved search handed over by a second start empties the list.
  const int again = e2e::SearchAndWait(app);
  EXPECT_EQ(again, found);
  EXPECT_EQ(e2e::Text(app.Control(kIdLabel3)), "");
  const std::string search = folder + "\\search.mqt";
  e2e::WriteWholeFile(
      search, std::string("\x06\x03MQT\x02\x05\x02\x09\x02\xFB\x02\x00\x02\x00\x02\x00", 17));
  App second;
  ASSERT_TRUE(second.Start(folder, "\"" + search + "\""));
  DWORD code = 1;
  ASSERT_TRUE(second.WaitForExit(std::chrono::seconds(20), &code));
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(RepairAndWait(app), "0 Registry Items Cleaned");
  EXPECT_EQ(StoredTree(HKEY_CURRENT_USER, base, true), before);
  EXPECT_EQ(app.Close(), 0);
  DeleteFileW((wideFolder + L"\\app.exe").c_str());
  RemoveDirectoryW(wideFolder.c_str());
}

TEST(RepairRestore, ExtraWritesThePathWhereTheFileNowLies) {
  const std::string scenario = "RepairMoved";
  const std::string folder = e2e::PrepareScenarioFolder(scenario);
  const std::string moved = folder + "\\moved";
  CreateDirectoryA(moved.c_str(), nullptr);
  // A name found nowhere else on C:, so the first folder met in the walk is this one.
  const std::string fileName = "calvorin moved target.exe";
  e2e::WriteWholeFile(moved + "\\" + fileName, "moved here");
  // Folder links that loop (2^n folders n levels down) are passed by: the search ends.
  ASSERT_TRUE(calvorin::testing::MakeFolderLoop(folder + "\\loop", {"a", "b"}));
  const Seeded movedValue{"k1", "Moved", Sz(folder + "\\old place\\" + fileName, REG_EXPAND_SZ)};
  // No "." in the data: deleted without a search, Extra or not.
  const Seeded folderValue{"k1", "GoneFolder", Sz(folder + "\\old place\\gone folder")};
  // Made REG_EXPAND_SZ after the scan, and a key made read-only after the scan: both stay.
  Seeded retyped{"k1", "Retyped", Sz(folder + "\\old place\\" + fileName)};
  const Seeded locked{"k2", "Locked", Sz(folder + "\\old place\\locked")};
  ScenarioKey key(scenario);
  for (const Seeded& v : {movedValue, folderValue, retyped, locked}) ASSERT_TRUE(key.Set(v));
  // Machine-wide: under Wine every file is the Wine user's (no descriptor is kept), so none fits.
  const std::string machineKey = "Software\\CalvorinTests\\E2E\\" + scenario;
  for (const Seeded& v : {movedValue, folderValue}) {
    ASSERT_TRUE(e2e::WriteRegValue(HKEY_LOCAL_MACHINE, machineKey, v.name, v.value));
  }

  App app;
  ASSERT_TRUE(app.Start(folder, "", "", true));  // not elevated
  ASSERT_NE(app.WaitForMainWindow(), nullptr);
  SetExtra(app, true);
  const int found = e2e::SearchAndWait(app);
  ASSERT_GE(found, 6);
  retyped.value.type = REG_EXPAND_SZ;
  EXPECT_TRUE(key.Set(retyped));
  const std::string lockedKey = key.Path() + "\\k2";
  EXPECT_TRUE(e2e::SetKeyDacl(HKEY_CURRENT_USER, lockedKey, "D:P(A;;KR;;;WD)"));
  const std::string label1 = RepairAndWait(app);
  EXPECT_TRUE(e2e::SetKeyDacl(HKEY_CURRENT_USER, lockedKey, "D:P(A;;KA;;;WD)"));
  EXPECT_EQ(label1, Format("%d Registry Items Cleaned", found - 4));
  EXPECT_EQ(e2e::Text(app.Control(kIdLabel2)), "1 Registry Items Fixed");
  EXPECT_EQ(e2e::Text(app.Control(kIdLabel3)), "3 Registry Items Left Unchanged");
  RegValue machine;
  EXPECT_TRUE(e2e::ReadRegValue(HKEY_LOCAL_MACHINE, machineKey, "Moved", &machine) &&
              machine == movedValue.value);
  EXPECT_FALSE(e2e::ReadRegValue(HKEY_LOCAL_MACHINE, machineKey, "GoneFolder", &machine));
  EXPECT_TRUE(e2e::IsShown(app.Control(kIdLabel4)));
  EXPECT_EQ(e2e::Text(app.Control(kIdLabel4)),
            "Windows refused some changes: run Calvorin as administrator to make them.");
  EXPECT_EQ(key.Get(retyped), retyped.value);
  EXPECT_EQ(key.Get(locked), locked.value);
  EXPECT_EQ(key.Get(movedValue), Sz(moved + "\\" + fileName));
  EXPECT_FALSE(key.Get(folderValue).has_value());
  EXPECT_FALSE(e2e::IsShown(app.Control(kIdEdit1)));
  // Edit1 keeps the last folder searched while hidden.
  EXPECT_EQ(e2e::Text(app.Control(kIdEdit1)).rfind("Searching for ", 0), 0u);

  std::vector<BackupValue> backup;
  std::string bad;
  ASSERT_TRUE(ParseBackup(e2e::ReadWholeFile(folder + "\\deletedkeys.reg"), &backup, &bad)) << bad;
  const BackupValue* old = FindIn(backup, key.Recorded(movedValue), "Moved");
  ASSERT_NE(old, nullptr);
  EXPECT_EQ(old->value, movedValue.value);
  const BackupValue* oldFolder = FindIn(backup, key.Recorded(folderValue), "GoneFolder");
  ASSERT_NE(oldFolder, nullptr);
  EXPECT_EQ(oldFolder->value, folderValue.value);
  EXPECT_EQ(FindIn(backup, key.Recorded(retyped), "Retyped"), nullptr);
  EXPECT_EQ(FindIn(backup, key.Recorded(locked), "Locked"), nullptr);
  EXPECT_TRUE(e2e::SaveScreenshot(app.Main(), "22-repair-extra-fixed"));
  EXPECT_EQ(app.Close(), 0);
  calvorin::testing::RemoveTree(folder + "\\loop");
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, machineKey.c_str());
}

TEST(RepairRestore, AnUnwritableBackupChangesNothing) {
  struct Case {
    const char* name;
    const char* folderInTheWay;  // a folder where Repair writes a file
    const char* messageStart;
  };
  const Case cases[] = {
      {"RepairNoTemp", "deletedkeys.reg.tmp", "Cannot create file \""},
      {"RepairNoTarget", "deletedkeys.reg", "Cannot replace file \""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string folder = e2e::PrepareScenarioFolder(c.name);
    const std::string blocked = folder + "\\" + c.folderInTheWay;
    ASSERT_TRUE(CreateDirectoryA(blocked.c_str(), nullptr));
    // An earlier backup, unless the backup path itself is blocked: it must stay where it is.
    const std::string earlier = "REGEDIT4\r\n \r\n \r\n";
    const bool hasEarlier = std::string(c.folderInTheWay) != "deletedkeys.reg";
    if (hasEarlier) e2e::WriteWholeFile(folder + "\\deletedkeys.reg", earlier);
    const Seeded a{"k1", "A", Sz(folder + "\\gone\\a tool.exe")};
    const Seeded b{"k2", "", Sz(folder + "\\gone\\b tool.exe", REG_EXPAND_SZ)};
    ScenarioKey key(c.name);
    ASSERT_TRUE(key.Set(a));
    ASSERT_TRUE(key.Set(b));

    App app;
    StartApp(app, folder);
    SetExtra(app, false);
    ASSERT_GE(e2e::SearchAndWait(app), 2);
    const std::string progress = e2e::Text(app.Control(kIdLabel1));
    e2e::Click(app.Control(kIdButton3));
    HWND box = WaitForBox(app);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(e2e::Text(box), "Calvorin");
    const std::string message = e2e::MessageBoxText(box);
    EXPECT_EQ(message.rfind(c.messageStart, 0), 0u) << message;
    EXPECT_NE(message.find(folder + "\\deletedkeys.reg"), std::string::npos) << message;
    EXPECT_EQ(message.back(), '.') << message;
    std::printf("[ message  ] %s\n", message.c_str());
    Sleep(300);  // let the box paint before the picture is taken
    EXPECT_TRUE(e2e::SaveScreenshot(nullptr, std::string("23-repair-unwritable-") + c.name));
    e2e::PressButton(box, IDOK);
    ASSERT_TRUE(e2e::WaitUntil([&] { return app.FindMessageBox() == nullptr; }));

    EXPECT_EQ(key.Get(a), a.value);
    EXPECT_EQ(key.Get(b), b.value);
    EXPECT_FALSE(e2e::IsShown(app.Control(kIdPb1)));
    EXPECT_FALSE(e2e::IsShown(app.Control(kIdEdit1)));
    EXPECT_EQ(e2e::Text(app.Control(kIdLabel3)), "");
    EXPECT_EQ(e2e::Text(app.Control(kIdLabel1)), progress);  // no counts for a failed run
    EXPECT_TRUE(e2e::IsShown(app.Control(kIdButton3)));      // the entries are still to repair
    EXPECT_TRUE(e2e::IsEnabled(app.Control(kIdButton3)));
    EXPECT_TRUE(e2e::IsEnabled(app.Control(kIdSbSearchE)));
    EXPECT_EQ(e2e::IsEnabled(app.Control(kIdButton4)), hasEarlier);
    if (hasEarlier) {
      EXPECT_EQ(e2e::ReadWholeFile(folder + "\\deletedkeys.reg"), earlier);
    }
    WIN32_FIND_DATAA data;
    HANDLE kept = FindFirstFileA((folder + "\\deletedkeys-*.reg").c_str(), &data);
    EXPECT_EQ(kept, INVALID_HANDLE_VALUE) << "left behind: " << data.cFileName;
    if (kept != INVALID_HANDLE_VALUE) FindClose(kept);
    EXPECT_EQ(app.Close(), 0);
  }
}

// The id of a running process with this executable name, or 0.
DWORD ProcessNamed(const char* name) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  DWORD found = 0;
  for (BOOL more = Process32First(snapshot, &entry); more && !found;
       more = Process32Next(snapshot, &entry)) {
    if (lstrcmpiA(entry.szExeFile, name) == 0) found = entry.th32ProcessID;
  }
  CloseHandle(snapshot);
  return found;
}

// Stop, and a close, during a run's reading end it after the entry under way: nothing changes,
// and the stopped run leaves Repair to be run again.
TEST(RepairRestore, StopOrCloseDuringARunEndsItAfterTheCurrentEntry) {
  const std::string scenario = "RepairClose";
  const std::string folder = e2e::PrepareScenarioFolder(scenario);
  ScenarioKey key(scenario);
  const std::vector<Seeded> values = SeedSlowRepair(key, folder, 20);
  App app;
  ASSERT_NO_FATAL_FAILURE(StartRepairRun(app, folder, values.size()));
  HWND label3 = app.Control(kIdLabel3);
  // The search text is shown while the run goes on, not only when it ends.
  HWND edit1 = app.Control(kIdEdit1);
  EXPECT_TRUE(e2e::WaitUntil([&] { return e2e::Text(edit1).rfind("Searching for ", 0) == 0; }));
  EXPECT_TRUE(e2e::SaveScreenshot(app.Main(), "24-repair-progress"));
  // While the run reads the hit table and owns the backup, Search and Restore wait; Repair is
  // its Stop.
  EXPECT_TRUE(e2e::IsShown(app.Control(kIdPb1)));
  EXPECT_TRUE(e2e::IsShown(app.Control(kIdEdit1)));
  EXPECT_FALSE(e2e::IsEnabled(app.Control(kIdSbSearchE)));
  EXPECT_FALSE(e2e::IsEnabled(app.Control(kIdButton4)));
  HWND repair = app.Control(kIdButton3);
  EXPECT_EQ(e2e::Text(repair), "S&top");
  // F1 while the run goes on opens the help file in the system's help viewer, where there is one.
  e2e::WriteWholeFile(folder + "\\calvorin.hlp", "");
  PostMessageA(app.Main(), WM_KEYDOWN, VK_F1, 0);
  DWORD viewer = 0;
  EXPECT_TRUE(e2e::WaitUntil([&] { return (viewer = ProcessNamed("winhlp32.exe")) != 0; }));
  if (viewer != 0) {
    EXPECT_TRUE(e2e::SaveScreenshot(nullptr, "24-repair-help"));
    if (HANDLE h = OpenProcess(PROCESS_TERMINATE, FALSE, viewer)) {
      TerminateProcess(h, 0);
      CloseHandle(h);
    }
  }
  e2e::Click(repair);
  ASSERT_TRUE(e2e::WaitUntil([&] { return e2e::Text(label3).rfind("Stopped: ", 0) == 0; },
                             std::chrono::seconds(120)));
  EXPECT_TRUE(e2e::SaveScreenshot(app.Main(), "26-repair-stopped"));
  EXPECT_EQ(e2e::Text(app.Control(kIdLabel1)), "0 Registry Items Cleaned");
  EXPECT_TRUE(e2e::IsShown(repair));
  EXPECT_EQ(e2e::Text(repair), "&Repair");
  EXPECT_FALSE(e2e::FileExists(folder + "\\deletedkeys.reg"));
  for (const Seeded& v : values) EXPECT_EQ(key.Get(v), v.value) << v.name;

  // Again, and closed during the run: it stops, and the program ends once it has.
  e2e::Click(repair);
  ASSERT_TRUE(e2e::WaitUntil([&] { return e2e::Text(label3).rfind("Fixing item ", 0) == 0; }));
  PostMessageA(app.Main(), WM_CLOSE, 0, 0);
  DWORD code = 1;
  ASSERT_TRUE(app.WaitForExit(std::chrono::seconds(120), &code));
  EXPECT_EQ(code, 0u);
  EXPECT_FALSE(e2e::FileExists(folder + "\\deletedkeys.reg"));
  for (const Seeded& v : values) EXPECT_EQ(key.Get(v), v.value) << v.name;
}

// Esc while the run changes values stops it after the value under way: the backup holds
// exactly the values deleted, the others keep their data, and the counts add up.
TEST(RepairRestore, EscWhileValuesChangeKeepsTheBackupToWhatChanged) {
  const std::string scenario = "RepairStopEsc";
  const std::string folder = e2e::PrepareScenarioFolder(scenario);
  ScenarioKey key(scenario);
  // Enough values that the changes take longer than noticing the backup and pressing Esc.
  std::vector<Seeded> values;
  for (int i = 0; i < 3000; ++i) {
    values.push_back(
        {Format("k%d", i / 100), Format("v%d", i), Sz(folder + Format("\\gone\\tool%d.exe", i))});
    ASSERT_TRUE(key.Set(values.back()));
  }
  App app;
  StartApp(app, folder);
  SetExtra(app, false);
  const int found = e2e::SearchAndWait(app);
  ASSERT_GE(found, static_cast<int>(values.size()));
  const std::string backupFile = folder + "\\deletedkeys.reg";
  e2e::Click(app.Control(kIdButton3));
  // The backup reaches the disk before the first change.
  ASSERT_TRUE(
      e2e::WaitUntil([&] { return e2e::FileExists(backupFile); }, std::chrono::seconds(120)));
  HWND focus = e2e::FocusOf(app.Main());
  PostMessageA(focus ? focus : app.Main(), WM_KEYDOWN, VK_ESCAPE, 0);
  HWND label1 = app.Control(kIdLabel1);
  HWND label3 = app.Control(kIdLabel3);
  ASSERT_TRUE(e2e::WaitUntil(
      [&] { return e2e::Text(label1).find(" Registry Items Cleaned") != std::string::npos; },
      std::chrono::seconds(120)));
  EXPECT_TRUE(e2e::SaveScreenshot(app.Main(), "26-repair-stopped-changing"));
  int cleaned = 0, notReached = 0;
  EXPECT_EQ(std::sscanf((e2e::Text(label1) + e2e::Text(label3)).c_str(),
                        "%d Registry Items CleanedStopped: %d Registry Items Not Reached", &cleaned,
                        &notReached),
            2);
  EXPECT_GT(cleaned, 0) << "stopped before the first change";
  EXPECT_EQ(cleaned + notReached, found);  // nothing was left unchanged
  std::vector<BackupValue> backup;
  std::string bad;
  ASSERT_TRUE(ParseBackup(e2e::ReadWholeFile(backupFile), &backup, &bad)) << bad;
  EXPECT_EQ(static_cast<int>(backup.size()), cleaned);
  int kept = 0;
  for (const Seeded& v : values) {
    const BackupValue* b = FindIn(backup, key.Recorded(v), v.name);
    const auto now = key.Get(v);
    EXPECT_TRUE(b ? (b->value == v.value && !now.has_value()) : now == v.value) << v.name;
    kept += now.has_value();
  }
  EXPECT_GT(kept, 0);
  EXPECT_EQ(app.Close(), 0);
}

TEST(RepairRestore, RepairAfterAnEmptyScanLeavesTheBackupAsItWas) {
  const std::string scenario = "RepairNothing";
  const std::string folder = e2e::PrepareScenarioFolder(scenario);
  const std::string earlier =
      "REGEDIT4\r\n \r\n[HKEY_CURRENT_USER\\software\\x]\r\n\"a\"=\"b\"\r\n \r\n";
  e2e::WriteWholeFile(folder + "\\deletedkeys.reg", earlier);
  const Seeded gone{"k1", "Gone", Sz(folder + "\\gone\\tool.exe")};
  ScenarioKey key(scenario);
  ASSERT_TRUE(key.Set(gone));

  App app;
  StartApp(app, folder);
  SetExtra(app, false);
  ASSERT_GE(e2e::SearchAndWait(app), 1);
  HWND repair = app.Control(kIdButton3);
  ASSERT_TRUE(e2e::IsShown(repair));
  // The entry disappears behind the program's back; the next scan finds nothing of it.
  ASSERT_TRUE(key.Remove(gone));
  const int second = e2e::SearchAndWait(app);
  ASSERT_EQ(second, 0) << "the prefix holds invalid references of its own";
  ASSERT_TRUE(e2e::IsShown(repair));  // a scan never hides Repair
  EXPECT_EQ(RepairAndWait(app), "0 Registry Items Cleaned");
  EXPECT_EQ(e2e::ReadWholeFile(folder + "\\deletedkeys.reg"), earlier);
  WIN32_FIND_DATAA data;
  EXPECT_EQ(FindFirstFileA((folder + "\\deletedkeys-*.reg").c_str(), &data), INVALID_HANDLE_VALUE);
  EXPECT_TRUE(e2e::SaveScreenshot(app.Main(), "25-repair-nothing"));
  EXPECT_EQ(app.Close(), 0);
}

// Takes a key tree out of the registry and puts it back when the test ends, however it ends.
class RemovedKeyTree {
 public:
  RemovedKeyTree(HKEY root, std::string path) : root_(root), path_(std::move(path)) {
    Save(path_);
    existed_ = !keys_.empty();
    if (!existed_) return;
    RegDeleteTreeA(root_, path_.c_str());
    RegDeleteKeyA(root_, path_.c_str());
  }
  ~RemovedKeyTree() {
    for (const auto& path : keys_) {
      HKEY key = nullptr;
      if (RegCreateKeyExA(root_, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                          nullptr) == ERROR_SUCCESS) {
        RegCloseKey(key);
      }
    }
    for (const auto& [where, value] : saved_) {
      e2e::WriteRegValue(root_, where.first, where.second, value);
    }
  }
  RemovedKeyTree(const RemovedKeyTree&) = delete;
  RemovedKeyTree& operator=(const RemovedKeyTree&) = delete;
  bool Gone() const { return !KeyExists(path_); }
  bool Existed() const { return existed_; }

 private:
  bool KeyExists(const std::string& path) const {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root_, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
  }
  void Save(const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root_, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    char name[1024];
    for (DWORD i = 0;; ++i) {
      DWORD size = sizeof name;
      if (RegEnumValueA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
        break;
      }
      RegValue v;
      if (e2e::ReadRegValue(root_, path, name, &v)) saved_[{path, name}] = v;
    }
    std::vector<std::string> subKeys;
    for (DWORD i = 0;; ++i) {
      DWORD size = sizeof name;
      if (RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
        break;
      }
      subKeys.push_back(path + "\\" + name);
    }
    RegCloseKey(key);
    keys_.push_back(path);
    for (const auto& sub : subKeys) Save(sub);
  }

  HKEY root_;
  std::string path_;
  bool existed_ = false;
  std::vector<std::string> keys_;  // every key of the tree, parents first
  std::map<std::pair<std::string, std::string>, RegValue> saved_;
};

// Unattended runs beside the window: usage errors, a /scan that leaves a running window as it
// was, its report read back, a /repair stopped by an unwritable report or another Repair, and one
// that goes through and is undone by the window's Restore.
TEST(RepairRestore, UnattendedRunsReportAndAreUndoneByRestore) {
  const std::string scenario = "Unattended";
  const std::string folder = e2e::PrepareScenarioFolder(scenario);
  const std::string target = folder + "\\moved\\calvorin unattended target.exe";
  CreateDirectoryA((folder + "\\moved").c_str(), nullptr);
  e2e::WriteWholeFile(target, "moved here");
  const Seeded odd{"k", "a,b \"q\"\r\nline", Sz(folder + "\\gone\\odd.txt")};
  const Seeded gone{"k", "Gone", Sz(folder + "\\gone\\gone.txt")};
  const Seeded moved{"k", "Moved", Sz(folder + "\\old place\\calvorin unattended target.exe")};
  ScenarioKey key(scenario);
  for (const Seeded& v : {odd, gone, moved}) ASSERT_TRUE(key.Set(v));
  std::string out;
  const auto run = [&](const std::string& arguments) {
    return e2e::RunUnattended(folder, arguments, &out);
  };
  EXPECT_EQ(run("/?"), 0);
  EXPECT_NE(out.find("4  another Repair is running"), std::string::npos) << out;
  EXPECT_EQ(run("/scan /extra"), 2);
  EXPECT_EQ(run("-Scan -Report"), 2);
  {
    App app;
    StartApp(app, folder);
    const std::string shown = e2e::Text(app.Control(kIdLblSearch));
    EXPECT_EQ(run("-SCAN /report scan.csv"), 1) << out;
    EXPECT_EQ(e2e::Text(app.Control(kIdLblSearch)), shown);
    EXPECT_EQ(SendMessageA(app.Control(kIdLbResults), LB_GETCOUNT, 0, 0), 0);
    EXPECT_FALSE(e2e::IsShown(app.Control(kIdButton3)));
    EXPECT_TRUE(e2e::SaveScreenshot(app.Main(), "40-window-beside-unattended-scan"));
    EXPECT_EQ(app.Close(), 0);
  }
  int found = 0;
  ASSERT_EQ(std::sscanf(out.c_str(), "Found %d items", &found), 1) << out;
  const std::string csv = e2e::ReadWholeFile(folder + "\\scan.csv");
  EXPECT_EQ(csv.rfind("\xEF\xBB\xBFKey,ValueName,Data,CandidatePath\r\n", 0), 0u) << csv;
  const std::string oddPath = folder + "\\gone\\odd.txt";
  EXPECT_NE(csv.find("\r\n" + key.Recorded(odd) + ",\"a,b \"\"q\"\"\r\nline\"," + oddPath + "," +
                     oddPath + "\r\n"),
            std::string::npos)
      << csv;
  std::size_t rows = 0;
  for (std::size_t at = 0; (at = csv.find("\r\nHKEY_", at)) != std::string::npos; ++at) ++rows;
  EXPECT_EQ(rows, static_cast<std::size_t>(found));
  EXPECT_NE(e2e::ReadWholeFile(folder + "\\rrr.TXT").find(oddPath + "\r\n"), std::string::npos);

  EXPECT_EQ(run("/repair /report \"" + folder + "\\no such folder\\r.csv\""), 3) << out;
  HANDLE other = CreateMutexA(nullptr, TRUE, "Global\\Calvorin Repair");
  EXPECT_EQ(run("/repair"), 4) << out;
  ReleaseMutex(other);
  CloseHandle(other);
  EXPECT_EQ(key.Get(gone), gone.value);
  EXPECT_FALSE(e2e::FileExists(folder + "\\deletedkeys.reg"));

  // The odd name cannot be backed up exactly, so it is left unchanged: exit code 1.
  EXPECT_EQ(run("/repair -EXTRA /report repair.csv"), 1) << out;
  for (const char* line : {" Registry Items Cleaned\r\n", " Registry Items Fixed\r\n",
                           " Registry Items Left Unchanged\r\n"}) {
    EXPECT_NE(out.find(line), std::string::npos) << out;
  }
  EXPECT_FALSE(key.Get(gone).has_value());
  EXPECT_EQ(key.Get(moved), Sz(target));
  EXPECT_EQ(key.Get(odd), odd.value);
  const std::string repaired = e2e::ReadWholeFile(folder + "\\repair.csv");
  EXPECT_NE(repaired.find(",Outcome,PathWritten\r\n"), std::string::npos);
  EXPECT_NE(repaired.find(",Fixed: " + target + "," + target + "\r\n"), std::string::npos);
  EXPECT_NE(repaired.find(",Left unchanged: could not be read or backed up exactly,\r\n"),
            std::string::npos);
  App app;
  StartApp(app, folder);
  // The window's Repair waits for no unattended one: it says so and changes nothing.
  ASSERT_GE(e2e::SearchAndWait(app), 1);
  const std::string backup = e2e::ReadWholeFile(folder + "\\deletedkeys.reg");
  other = CreateMutexA(nullptr, TRUE, "Global\\Calvorin Repair");
  e2e::Click(app.Control(kIdButton3));
  HWND box = WaitForBox(app);
  EXPECT_EQ(e2e::MessageBoxText(box), "Another Repair is running. Try again when it has ended.");
  e2e::PressButton(box, IDOK);
  ReleaseMutex(other);
  CloseHandle(other);
  EXPECT_TRUE(e2e::IsShown(app.Control(kIdButton3)));
  EXPECT_EQ(e2e::ReadWholeFile(folder + "\\deletedkeys.reg"), backup);
  EXPECT_TRUE(RestoreAndWait(
      app, [&] { return key.Get(gone) == gone.value && key.Get(moved) == moved.value; }));
  EXPECT_EQ(app.Close(), 0);
}

TEST(RepairRestore, RestoreWithoutARegistryAssociationSaysSo) {
  const std::string folder = e2e::PrepareScenarioFolder("RestoreNoAssociation");
  e2e::WriteWholeFile(folder + "\\deletedkeys.reg", "REGEDIT4\r\n \r\n \r\n");
  // Wine's HKEY_CLASSES_ROOT is the machine's Software\Classes.
  RemovedKeyTree dotReg(HKEY_LOCAL_MACHINE, "Software\\Classes\\.reg");
  RemovedKeyTree command(HKEY_LOCAL_MACHINE, "Software\\Classes\\regfile\\shell\\open\\command");
  // The prefix is made with the association; the test must have something to put back.
  ASSERT_TRUE(dotReg.Existed());
  ASSERT_TRUE(command.Existed());
  ASSERT_TRUE(dotReg.Gone());
  ASSERT_TRUE(command.Gone());

  App app;
  StartApp(app, folder);
  HWND restore = app.Control(kIdButton4);
  ASSERT_TRUE(e2e::IsEnabled(restore));
  // No: nothing happens, no message.
  e2e::Click(restore);
  HWND confirm = WaitForBox(app);
  ASSERT_NE(confirm, nullptr);
  EXPECT_EQ(e2e::Text(confirm), "Confirm");
  e2e::PressButton(confirm, IDNO);
  ASSERT_TRUE(e2e::WaitUntil([&] { return app.FindMessageBox() == nullptr; }));
  Sleep(500);
  EXPECT_EQ(app.FindMessageBox(), nullptr);

  // Yes: the shell has no action for the file.
  e2e::Click(restore);
  confirm = WaitForBox(app);
  ASSERT_NE(confirm, nullptr);
  e2e::PressButton(confirm, IDYES);
  HWND box = nullptr;
  ASSERT_TRUE(e2e::WaitUntil([&] {
    box = app.FindMessageBox();
    return box && e2e::Text(box) == "Calvorin";
  }));
  EXPECT_EQ(e2e::MessageBoxText(box), " RESTORE FILE NOT FOUND - NO REPAIR DONE TILL NOW");
  Sleep(300);
  EXPECT_TRUE(e2e::SaveScreenshot(nullptr, "26-restore-no-association"));
  e2e::PressButton(box, IDOK);
  ASSERT_TRUE(e2e::WaitUntil([&] { return app.FindMessageBox() == nullptr; }));
  EXPECT_TRUE(e2e::FileExists(folder + "\\deletedkeys.reg"));
  EXPECT_TRUE(e2e::IsEnabled(restore));
  EXPECT_EQ(app.Close(), 0);
}

// Under WOW64 (Wine's 64-bit prefix): values of the 64-bit view, of the 32-bit view
// (Software\Wow6432Node) and of a key of the same name in both, each found once under its real
// path, deleted from its own view, and put back in it by Restore.
TEST(RepairRestore, Wow64EachValueInItsOwnView) {
  BOOL wow64 = FALSE;
  ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
  ASSERT_TRUE(wow64) << "runs in the 64-bit prefix only";
  const std::string folder = e2e::PrepareScenarioFolder("Wow64Views");
  const std::string gone = folder + "\\gone\\";
  struct Planted {
    const char* view;       // for messages
    std::string subKey;     // below HKEY_LOCAL_MACHINE, in the 64-bit view
    std::string recorded;   // the key path the scan and the backup give
    std::string otherView;  // the same path in the 32-bit view: must stay empty ("" if none)
    RegValue value;
  };
  const std::string mine = "CalvorinTests\\Wow64";
  const std::vector<Planted> planted = {
      {"64 only", "Software\\" + mine + "\\Only64",
       "HKEY_LOCAL_MACHINE\\software\\calvorintests\\wow64\\only64",
       "Software\\" + mine + "\\Only64", Sz(gone + "only64.exe")},
      {"32 only", "Software\\Wow6432Node\\" + mine + "\\Only32",
       "HKEY_LOCAL_MACHINE\\software\\wow6432node\\calvorintests\\wow64\\only32", "",
       Sz(gone + "only32.exe")},
      {"both, 64", "Software\\" + mine + "\\Both",
       "HKEY_LOCAL_MACHINE\\software\\calvorintests\\wow64\\both", "", Sz(gone + "both64.exe")},
      {"both, 32",
       "Software\\Wow6432Node\\" + mine + "\\Both",
       "HKEY_LOCAL_MACHINE\\software\\wow6432node\\calvorintests\\wow64\\both",
       "",
       {REG_EXPAND_SZ, gone + "both32.exe" + std::string(1, '\0')}},
  };
  const auto removeAll = [] {
    // Relative opens of one name stay in the view of the key they start from.
    for (const auto& [base, name] :
         {std::pair<const char*, const char*>{"Software", "CalvorinTests"},
          {"Software\\Wow6432Node", "CalvorinTests"},
          {"Software\\Classes\\Wow6432Node", "CalvorinTestsWow64"}}) {
      HKEY key = nullptr;
      if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, base, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, &key) ==
          ERROR_SUCCESS) {
        RegDeleteTreeA(key, name);
        RegCloseKey(key);
      }
    }
  };
  removeAll();
  const auto get = [](const std::string& subKey, REGSAM view) -> std::optional<RegValue> {
    RegValue out;
    if (!e2e::ReadRegValue(HKEY_LOCAL_MACHINE, subKey, "Tool", &out, view)) return std::nullopt;
    return out;
  };
  for (const Planted& p : planted) {
    ASSERT_TRUE(e2e::WriteRegValue(HKEY_LOCAL_MACHINE, p.subKey, "Tool", p.value, KEY_WOW64_64KEY))
        << p.view;
  }
  // The 32-bit classes: HKEY_CLASSES_ROOT\Wow6432Node, and the same key once more as
  // HKEY_LOCAL_MACHINE\Software\Wow6432Node\Classes. The analysis passes over every value of
  // HKEY_CLASSES_ROOT; walked under the second name it would be reported and deleted.
  const std::string classes = "Software\\Classes\\Wow6432Node\\CalvorinTestsWow64";
  const RegValue classesValue = Sz(gone + "classes32.exe");
  ASSERT_TRUE(
      e2e::WriteRegValue(HKEY_LOCAL_MACHINE, classes, "Tool", classesValue, KEY_WOW64_64KEY));
  ASSERT_EQ(get("Software\\Wow6432Node\\Classes\\CalvorinTestsWow64", KEY_WOW64_64KEY),
            classesValue);
  // Planted where meant: the 32-bit program's own view shows the 32-bit values at their short
  // paths, and not the 64-bit one.
  ASSERT_EQ(get("Software\\" + mine + "\\Only32", KEY_WOW64_32KEY), planted[1].value);
  ASSERT_EQ(get("Software\\" + mine + "\\Both", KEY_WOW64_32KEY), planted[3].value);
  ASSERT_EQ(get(planted[0].otherView, KEY_WOW64_32KEY), std::nullopt);

  App app;
  StartApp(app, folder);
  SetExtra(app, false);
  const int found = e2e::SearchAndWait(app);  // every root of a stock 64-bit prefix
  ASSERT_GE(found, static_cast<int>(planted.size()));
  // Each once: rrr.TXT lists each data text once.
  const std::vector<std::string> log = e2e::Lines(e2e::ReadWholeFile(folder + "\\rrr.TXT"));
  for (const Planted& p : planted) {
    const std::string text = p.value.bytes.substr(0, p.value.bytes.size() - 1);
    EXPECT_EQ(std::count(log.begin(), log.end(), text), 1) << p.view;
  }
  EXPECT_EQ(std::count(log.begin(), log.end(), gone + "classes32.exe"), 0);
  HWND list = app.Control(kIdLbResults);
  e2e::Click(app.Control(kIdButton2));
  ASSERT_TRUE(e2e::WaitUntil([&] { return e2e::IsShown(list); }));
  const auto first = std::find(log.begin(), log.end(), gone + "both32.exe");
  if (first != log.end()) {
    SendMessageA(list, LB_SETTOPINDEX, static_cast<WPARAM>(first - log.begin() - 2), 0);
  }
  Sleep(300);
  EXPECT_TRUE(e2e::SaveScreenshot(app.Main(), "40-wow64-results-both-views"));
  e2e::Click(app.Control(kIdButton2));

  EXPECT_EQ(RepairAndWait(app), Format("%d Registry Items Cleaned", found));
  for (const Planted& p : planted) {
    EXPECT_EQ(get(p.subKey, KEY_WOW64_64KEY), std::nullopt) << "still there: " << p.view;
  }
  EXPECT_EQ(get(classes, KEY_WOW64_64KEY), classesValue);
  // The backup names every value by its real path, once.
  std::vector<BackupValue> backup;
  std::string bad;
  const std::string backupText = e2e::ReadWholeFile(folder + "\\deletedkeys.reg");
  ASSERT_TRUE(ParseBackup(backupText, &backup, &bad)) << bad;
  for (const Planted& p : planted) {
    EXPECT_EQ(CountOf(backup, p.recorded, "Tool"), 1) << p.view << "\n" << backupText;
  }

  // Restore: the 64-bit registry editor puts each back into its own view.
  const bool back = RestoreAndWait(app, [&] {
    for (const Planted& p : planted) {
      if (!get(p.subKey, KEY_WOW64_64KEY)) return false;
    }
    return true;
  });
  EXPECT_TRUE(back);
  for (const Planted& p : planted) {
    EXPECT_EQ(get(p.subKey, KEY_WOW64_64KEY), p.value) << p.view;
  }
  EXPECT_EQ(get(planted[0].otherView, KEY_WOW64_32KEY), std::nullopt) << "64-bit value in 32 view";
  EXPECT_EQ(get("Software\\" + mine + "\\Only32", KEY_WOW64_64KEY), std::nullopt)
      << "32-bit value in 64 view";
  EXPECT_EQ(app.Close(), 0);
  removeAll();
}

// Sets the screen's DPI for programs started afterwards (Wine reads it at each process's start)
// and puts the former setting back.
class ScreenDpi {
 public:
  explicit ScreenDpi(DWORD dpi) {
    hadValue_ = e2e::ReadRegValue(HKEY_CURRENT_USER, kKey, "LogPixels", &former_);
    e2e::WriteRegValue(HKEY_CURRENT_USER, kKey, "LogPixels",
                       {REG_DWORD, std::string(reinterpret_cast<const char*>(&dpi), 4)});
  }
  ~ScreenDpi() {
    if (hadValue_) {
      e2e::WriteRegValue(HKEY_CURRENT_USER, kKey, "LogPixels", former_);
    } else {
      RegDeleteKeyValueA(HKEY_CURRENT_USER, kKey, "LogPixels");
    }
  }
  ScreenDpi(const ScreenDpi&) = delete;
  ScreenDpi& operator=(const ScreenDpi&) = delete;

 private:
  static constexpr const char* kKey = "Control Panel\\Desktop";
  bool hadValue_ = false;
  RegValue former_;
};

SIZE SizeOf(HWND hwnd) {
  RECT r{};
  GetWindowRect(hwnd, &r);
  return {r.right - r.left, r.bottom - r.top};
}

// The cursor the system shows for the window under the pointer, once the pointer has been moved
// onto the middle of `control` (moved twice, a pixel apart, so that the program sees a move).
HCURSOR CursorOver(HWND control) {
  RECT r{};
  GetWindowRect(control, &r);
  for (int nudge : {0, 1}) {
    SetCursorPos((r.left + r.right) / 2 + nudge, (r.top + r.bottom) / 2);
    Sleep(100);
  }
  CURSORINFO info{};
  info.cbSize = sizeof info;
  GetCursorInfo(&info);
  return info.hCursor;
}

// At 96, 144 and 192 DPI the real program's window and controls grow with the screen (and not
// at all at 96); the screenshots show the main page, the results with wrapped items and a Repair
// run under way and ended. Through the run the hourglass stays wherever the pointer moves over
// the window, and the arrow comes back at its end.
class ScreenScale : public testing::TestWithParam<int> {};

TEST_P(ScreenScale, TheWindowGrowsWithTheScreenAndRepairShowsTheHourglass) {
  const int dpi = GetParam();
  const std::string scenario = "HighDpi";
  const std::string folder = e2e::PrepareScenarioFolder(scenario);
  ScenarioKey key(scenario);
  // Enough entries that the run outlasts the pointer moves below, at 96 DPI too.
  std::vector<Seeded> values = SeedSlowRepair(key, folder, 120);
  values.push_back({"k0", "wrapped",
                    Sz("\"" + folder + "\\gone\\a folder name long enough to wrap\\" +
                       "and one more below it\\tool.exe\"")});
  EXPECT_TRUE(key.Set(values.back()));
  std::string name;  // a value name that makes its item taller than the list box's 255 pixels
  for (int i = 0; i < 60; ++i) name += Format("part %d of a long value name ", i);
  values.push_back({"k0", name, Sz(folder + "\\gone\\deep.exe")});
  EXPECT_TRUE(key.Set(values.back()));
  const ScreenDpi screen(static_cast<DWORD>(dpi));
  const std::string shot = "27-dpi" + std::to_string(dpi) + "-";
  SetCursorPos(0, 0);
  App app;
  StartApp(app, folder);
  RECT client{};
  GetClientRect(app.Main(), &client);
  EXPECT_EQ(client.right, MulDiv(628, dpi, 96));
  EXPECT_EQ(client.bottom, MulDiv(448, dpi, 96));
  const SIZE search = SizeOf(app.Control(kIdSbSearchE));
  EXPECT_EQ(search.cx, MulDiv(100, dpi, 96));
  EXPECT_EQ(search.cy, MulDiv(36, dpi, 96));
  EXPECT_TRUE(e2e::SaveScreenshot(app.Main(), shot + "main"));
  SetExtra(app, true);
  ASSERT_GE(e2e::SearchAndWait(app), static_cast<int>(values.size()));
  e2e::Click(app.Control(kIdButton2));
  HWND list = app.Control(kIdLbResults);
  ASSERT_TRUE(e2e::WaitUntil([&] { return e2e::IsShown(list); }));
  // The wrapped item, with the one before it: the log's lines after "Memo2" are the items.
  const std::vector<std::string> log = e2e::Lines(e2e::ReadWholeFile(folder + "\\rrr.TXT"));
  const auto wrapped = std::find_if(log.begin(), log.end(), [](const std::string& line) {
    return line.find("long enough to wrap") != std::string::npos;
  });
  ASSERT_NE(wrapped, log.end());
  // Beside ticked items, the wrapped one marked always left unchanged and the one before it
  // unticked, each drawn at this scale.
  const int w = SelectItem(app, "wrapped");
  ASSERT_GT(w, 0);
  ItemMenu(app, 'A');
  SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(w - 1), 0);
  e2e::PressKeys(app.Main(), {VK_SPACE});
  EXPECT_TRUE(e2e::WaitUntil([&] {
    return ItemText(list, w - 1).find(". Not ticked\r\n") != std::string::npos &&
           ItemText(list, w).find(". Not ticked: always") != std::string::npos;
  }));
  SendMessageA(list, LB_SETTOPINDEX, static_cast<WPARAM>(wrapped - log.begin() - 2), 0);
  Sleep(300);
  EXPECT_TRUE(e2e::SaveScreenshot(app.Main(), shot + "results"));
  // The deep item in the least window, selected then not (Wine clips it to the list only), at the
  // top of the list: whole in view, and cut to the list box's 255 pixels it keeps its data row,
  // the path: the rows' three labels, "Dat: " last, are three bands of ink in their column.
  const WPARAM deep =
      std::find(log.begin(), log.end(), folder + "\\gone\\deep.exe") - log.begin() - 1;
  RECT was{};
  GetWindowRect(app.Main(), &was);
  SetWindowPos(app.Main(), nullptr, 0, 0, 1, 1, SWP_NOMOVE | SWP_NOZORDER);
  SendMessageA(list, LB_SETCURSEL, deep, 0);
  SendMessageA(list, LB_SETCURSEL, deep + 1, 0);
  SendMessageA(list, LB_SETTOPINDEX, deep, 0);
  Sleep(300);
  EXPECT_TRUE(e2e::SaveScreenshot(app.Main(), shot + "overlong-least"));
  RECT item{}, view{};
  SendMessageA(list, LB_GETITEMRECT, deep, reinterpret_cast<LPARAM>(&item));
  GetClientRect(list, &view);
  EXPECT_TRUE(item.top == 0 && item.bottom <= view.bottom) << item.top << " " << item.bottom;
  MapWindowPoints(list, nullptr, reinterpret_cast<POINT*>(&item), 2);
  const int left = item.left + MulDiv(52, dpi, 96), right = item.left + MulDiv(96, dpi, 96);
  const std::vector<DWORD> labels = e2e::ScreenPixels({left, item.top, right, item.bottom});
  int bands = 0;
  bool inked = false;
  for (auto row = labels.begin(); row != labels.end(); row += right - left) {
    const bool ink =
        std::any_of(row, row + (right - left), [&](DWORD pixel) { return pixel != labels.back(); });
    bands += ink && !inked;
    inked = ink;
  }
  EXPECT_EQ(bands, 3);
  MoveWindow(app.Main(), was.left, was.top, was.right - was.left, was.bottom - was.top, TRUE);
  e2e::Click(app.Control(kIdButton1));
  HWND repair = app.Control(kIdButton3);
  ASSERT_TRUE(e2e::WaitUntil([&] { return e2e::IsShown(repair); }));

  HWND label1 = app.Control(kIdLabel1);
  HWND label2 = app.Control(kIdLabel2);
  HWND label3 = app.Control(kIdLabel3);
  const HCURSOR arrow = CursorOver(label1);
  e2e::Click(repair);
  ASSERT_TRUE(e2e::WaitUntil([&] { return e2e::Text(label3).rfind("Fixing item ", 0) == 0; }));
  // The pointer has not moved since the run began: the cursor is the one the run set.
  CURSORINFO info{};
  info.cbSize = sizeof info;
  GetCursorInfo(&info);
  const HCURSOR wait = info.hCursor;
  EXPECT_NE(wait, arrow);
  EXPECT_TRUE(e2e::WaitUntil([&] { return e2e::Text(app.Control(kIdEdit1)) != ""; }));
  Sleep(300);
  EXPECT_TRUE(e2e::SaveScreenshot(app.Main(), shot + "repair"));
  for (HWND over : {label2, app.Control(kIdPageMain), label1, app.Control(kIdSbSearchE)}) {
    EXPECT_EQ(CursorOver(over), wait) << "over control " << GetDlgCtrlID(over);
  }
  EXPECT_EQ(e2e::Text(label3).rfind("Fixing item ", 0), 0u) << "the run ended before the moves";
  ASSERT_TRUE(e2e::WaitUntil(
      [&] {
        return !e2e::IsShown(repair) &&
               e2e::Text(label1).find(" Registry Items") != std::string::npos;
      },
      std::chrono::seconds(120)));
  EXPECT_EQ(CursorOver(label2), arrow);
  Sleep(300);
  EXPECT_TRUE(e2e::SaveScreenshot(app.Main(), shot + "repair-done"));
  SetCursorPos(0, 0);
  EXPECT_EQ(app.Close(), 0);
}

INSTANTIATE_TEST_SUITE_P(RepairRestore, ScreenScale, testing::Values(96, 144, 192),
                         [](const testing::TestParamInfo<int>& info) {
                           return std::string("Dpi").append(std::to_string(info.param));
                         });

}  // namespace
