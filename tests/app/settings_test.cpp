#include "app/settings.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "base/text.h"
#include "repair/backup_rotation.h"
#include "support/memory_backup_files.h"

namespace calvorin {
namespace {

class MemoryIni : public IniStore {
 public:
  std::optional<std::string> Read(const std::string& section, const std::string& key) override {
    auto it = values.find({section, key});
    if (it == values.end()) return std::nullopt;
    return it->second;
  }
  bool Write(const std::string& section, const std::string& key,
             const std::string& value) override {
    if (failAt >= 0 && static_cast<int>(writes.size()) == failAt) return false;
    writes.push_back(section + "/" + key + "=" + value);
    values[{section, key}] = value;
    return true;
  }
  std::map<std::pair<std::string, std::string>, std::string> values;
  std::vector<std::string> writes;
  int failAt = -1;
};

TEST(Settings, ParsesDecimalAndHexadecimalIntegers) {
  const std::vector<std::pair<std::string, std::optional<std::int32_t>>> cases = {
      {"0", 0},
      {"42", 42},
      {"-3", -3},
      {"+7", 7},
      {"0x1F", 31},
      {"0X1f", 31},
      {"$10", 16},
      {"-$10", -16},
      {"$FFFFFFFF", -1},
      {"2147483647", 2147483647},
      {"-2147483648", -2147483647 - 1},
      {"2147483648", std::nullopt},
      {"$100000000", std::nullopt},
      {"", std::nullopt},
      {"-", std::nullopt},
      {"0x", std::nullopt},
      {"$", std::nullopt},
      {"12a", std::nullopt},
      {"1F", std::nullopt},
      {"one", std::nullopt},
      {"1.5", std::nullopt},
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(ParseIniInteger(text), expected) << text;
  }
}

TEST(Settings, DefaultsWithoutAFile) {
  MemoryIni ini;
  const FormSettings s = ReadFormSettings(ini);
  EXPECT_EQ(s.Buttons, 0);
  EXPECT_EQ(s.ActivePage, 0);
  EXPECT_EQ(s.PerPage, 0);
  EXPECT_EQ(s.MaxRslt, 2);
}

TEST(Settings, ValuesAreClamped) {
  struct Case {
    std::string activePage, perPage, maxRslt;
    std::int32_t wantActive, wantPer, wantMax;
  };
  const std::vector<Case> cases = {
      {"7", "-3", "9", 1, 0, 3}, {"-1", "4", "0", 0, 4, 0}, {"1", "5", "3", 1, 4, 3},
      {"0", "2", "-1", 0, 2, 0}, {"x", "abc", "", 0, 0, 2}, {"$1", "0x3", "$FF", 1, 3, 3},
  };
  for (const Case& c : cases) {
    MemoryIni ini;
    ini.values[{"Settings", "ActivePage"}] = c.activePage;
    ini.values[{"Settings", "PerPage"}] = c.perPage;
    ini.values[{"Settings", "MaxRslt"}] = c.maxRslt;
    ini.values[{"Settings", "Buttons"}] = "1";
    const FormSettings s = ReadFormSettings(ini);
    EXPECT_EQ(s.ActivePage, c.wantActive) << c.activePage;
    EXPECT_EQ(s.PerPage, c.wantPer) << c.perPage;
    EXPECT_EQ(s.MaxRslt, c.wantMax) << c.maxRslt;
    EXPECT_EQ(s.Buttons, 1);
  }
}

WindowPlacementRecord Current() {
  WindowPlacementRecord p;
  p.normal = {5, 6, 7, 8};
  p.minX = -1;
  p.minY = -2;
  p.maxX = -3;
  p.maxY = -4;
  p.showCmd = 1;
  p.flags = 0;
  return p;
}

const PlacementRect kWork{0, 0, 1280, 994};

TEST(Settings, PlacementWithoutAFileIsCentredInTheWorkArea) {
  MemoryIni ini;
  const WindowPlacementRecord p = ReadPlacement(ini, {10, 20, 1280, 994}, 644, 487, Current());
  // (1270 - 644) / 2 = 313, (974 - 487) / 2 = 243 (truncated)
  EXPECT_EQ(p.normal, (PlacementRect{323, 263, 967, 750}));
  EXPECT_EQ(p.minX, -1);
  EXPECT_EQ(p.minY, -2);
  EXPECT_EQ(p.maxX, -3);
  EXPECT_EQ(p.maxY, -4);
  EXPECT_EQ(p.showCmd, 0);
  EXPECT_EQ(p.flags, 0);
}

// Moved onto the work area whole, never squeezed, at the physical size it was saved at.
TEST(Settings, PlacementIsFittedWholeOntoTheWorkArea) {
  struct Case {
    PlacementRect saved, want;
    int savedDpi = 0, dpi = 96;
    PlacementRect work = kWork;
  };
  const std::vector<Case> cases = {
      {{100, 50, 800, 550}, {100, 50, 800, 550}},     // inside: kept, 700 x 500
      {{-100, 50, 600, 550}, {0, 50, 700, 550}},      // negative left: shifted right
      {{50, -30, 750, 470}, {50, 0, 750, 500}},       // negative top: shifted down
      {{900, 50, 1500, 550}, {680, 50, 1280, 550}},   // past the right edge: shifted left
      {{100, 800, 800, 1300}, {100, 494, 800, 994}},  // past the bottom: shifted up
      // Larger than the work area: as large as it.
      {{100, 0, 1500, 400}, {0, 0, 1280, 400}},
      {{0, 100, 500, 1200}, {0, 0, 500, 994}},
      // On a monitor left of the primary one, then with that monitor gone; at other DPIs.
      {{-1800, 100, -1100, 600}, {-1800, 100, -1100, 600}, 96, 96, {-1920, 0, 0, 1040}},
      {{-1800, 100, -1100, 600}, {0, 100, 700, 600}},
      {{100, 50, 800, 550}, {100, 50, 1500, 1050}, 96, 192, {0, 0, 2560, 1400}},
      {{100, 50, 1150, 800}, {100, 50, 800, 550}, 144, 96},
      {{100, 50, 800, 550}, {100, 50, 800, 550}, 0, 192},  // no DPI saved: the pixels
  };
  for (const Case& c : cases) {
    MemoryIni ini;
    ini.values[{"MainForm Settings", "Left"}] = std::to_string(c.saved.left);
    ini.values[{"MainForm Settings", "Top"}] = std::to_string(c.saved.top);
    ini.values[{"MainForm Settings", "Right"}] = std::to_string(c.saved.right);
    ini.values[{"MainForm Settings", "Bottom"}] = std::to_string(c.saved.bottom);
    ini.values[{"MainForm Settings", "ShowCmd"}] = "3";
    ini.values[{"MainForm Settings", "flags"}] = "2";
    ini.values[{"MainForm Settings", "MaxX"}] = "-8";
    if (c.savedDpi) ini.values[{"MainForm Settings", "Dpi"}] = std::to_string(c.savedDpi);
    const WindowPlacementRecord p = ReadPlacement(ini, kWork, 644, 487, Current());
    EXPECT_EQ(FitToWorkArea(p.normal, c.work, p.dpi, c.dpi), c.want)
        << c.saved.left << "," << c.saved.top << " " << c.savedDpi << "->" << c.dpi;
    EXPECT_EQ(p.showCmd, 0);  // never restored maximised
    EXPECT_EQ(p.flags, 2);
    EXPECT_EQ(p.maxX, -8);
    EXPECT_EQ(p.maxY, -4);
  }
}

TEST(Settings, PartialRectangleTakesTheCentredDefaults) {
  MemoryIni ini;
  ini.values[{"MainForm Settings", "Left"}] = "10";
  ini.values[{"MainForm Settings", "Bottom"}] = "junk";
  const WindowPlacementRecord p = ReadPlacement(ini, kWork, 644, 487, Current());
  EXPECT_EQ(p.normal, (PlacementRect{10, 253, 962, 740}));
}

TEST(Settings, SaveWritesEveryKeyInOrder) {
  MemoryIni ini;
  WindowPlacementRecord p = Current();
  p.showCmd = 3;
  p.dpi = 144;
  SaveSettings(ini, "C:\\x\\calvorin.INI", p, -1, 4, 0);
  const std::vector<std::string> expected = {
      "MainForm Settings/Left=5",   "MainForm Settings/Top=6",   "MainForm Settings/Right=7",
      "MainForm Settings/Bottom=8", "MainForm Settings/MinX=-1", "MainForm Settings/MinY=-2",
      "MainForm Settings/MaxX=-3",  "MainForm Settings/MaxY=-4", "MainForm Settings/ShowCmd=3",
      "MainForm Settings/flags=0",  "MainForm Settings/Dpi=144", "Settings/ActivePage=-1",
      "Settings/PerPage=4",
      "Settings/MaxRslt=0",
  };
  EXPECT_EQ(ini.writes, expected);
  EXPECT_EQ(ini.values.count({"Settings", "Buttons"}), 0u);
}

TEST(Settings, FirstFailedWriteEndsTheSave) {
  for (int failAt : {0, 5, 10, 12}) {
    MemoryIni ini;
    ini.failAt = failAt;
    try {
      SaveSettings(ini, "C:\\ro\\calvorin.INI", Current(), 0, 0, 2);
      FAIL() << "no error at write " << failAt;
    } catch (const ESettingsWriteError& e) {
      EXPECT_STREQ(e.what(), "Unable to write to C:\\ro\\calvorin.INI");
    }
    EXPECT_EQ(ini.writes.size(), static_cast<std::size_t>(failAt));
  }
}

TEST(Settings, SavedValuesReadBackClamped) {
  MemoryIni ini;
  SaveSettings(ini, "x.INI", Current(), -1, 9, -5);
  const FormSettings s = ReadFormSettings(ini);
  EXPECT_EQ(s.ActivePage, 0);
  EXPECT_EQ(s.PerPage, 4);
  EXPECT_EQ(s.MaxRslt, 0);
}

TEST(FailureMessage, FullStopAfterCharactersSortingAfterIt) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"Stream read error", "Stream read error."},
      {"MQT file corrupted (1)", "MQT file corrupted (1)"},
      {"Done.", "Done."},
      {"Value 5", "Value 5."},
      {"Unable to write to C:\\a\\b.INI", "Unable to write to C:\\a\\b.INI."},
      {"Really!", "Really!"},
      {"a-", "a-"},
      {"a/", "a/."},
      {"\xE9t\xE9", "\xE9t\xE9."},
      {"", ""},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(FailureMessageText(in), out) << in;
}

TEST(WorkingFolder, IsTheExecutablesFolderAndARootKeepsItsBackslash) {
  EXPECT_EQ(WorkingFolderOf("C:\\calvorin.exe"), "C:\\");
  EXPECT_EQ(WorkingFolderOf("C:\\Tools\\calvorin.exe"), "C:\\Tools");
  EXPECT_EQ(WorkingFolderOf("\\\\server\\share\\calvorin.exe"), "\\\\server\\share");
  // Under code page 932 "\x83\x5C" is one character, no backslash, in a name or at a folder's end.
  SetLeadByteTest([](unsigned char b) { return b >= 0x81 && b <= 0x9F; });
  const std::string folder = WorkingFolderOf("C:\\\x83\x5C\\\x83\x5C.exe");
  const std::string backup = BackupPath(folder);
  SetLeadByteTest(nullptr);
  EXPECT_EQ(folder, "C:\\\x83\x5C");
  EXPECT_EQ(backup, "C:\\\x83\x5C\\deletedkeys.reg");
}

struct FakeFolders : ProgramFolderAccess {  // the folder that takes a new file, the file there is
  bool CanCreateFileIn(const std::string& f) override { return f == writable || f == adminOnly; }
  bool UnelevatedCanCreateFileIn(const std::string& f) override { return f != adminOnly; }
  std::string LocalAppDataFolder() override { return "C:\\Local"; }
  bool MakeFolder(const std::string& folder) override { return made = folder, canMake; }
  bool FileExists(const std::string& path) override { return path == file; }
  std::string writable = "C:\\Calvorin", adminOnly, file, made;
  bool canMake = true;
};

TEST(ProgramFiles, StayBesideTheProgramUnlessItsFolderRefusesANewFile) {
  FakeFolders fs;
  const std::string exe = "C:\\Calvorin\\calvorin.exe", beside = "C:\\Calvorin\\calvorin.INI";
  EXPECT_EQ(ChooseProgramFilePlaces(exe, fs),
            (ProgramFilePlaces{"C:\\Calvorin", beside, beside, "rrr.TXT", false, true, ""}));
  // Refused: all in the data folder, made there; the settings read there once a copy is there.
  fs.writable = "";
  const std::string data = "C:\\Local\\Calvorin";
  const ProgramFilePlaces inData{
      data, data + "\\calvorin.INI", beside, data + "\\rrr.TXT", true, true, "C:\\Calvorin"};
  EXPECT_EQ(ChooseProgramFilePlaces(exe, fs), inData);
  EXPECT_EQ(fs.made, data);
  fs.adminOnly = "C:\\Calvorin";  // writable only elevated: where a normal start writes too
  EXPECT_EQ(ChooseProgramFilePlaces(exe, fs), inData);
  fs.file = data + "\\calvorin.INI";
  EXPECT_EQ(ChooseProgramFilePlaces(exe, fs).settingsReadPath, fs.file);
  fs.canMake = false;  // no data folder to be had: the program's folder, as always
  EXPECT_EQ(ChooseProgramFilePlaces(exe, fs).folder, "C:\\Calvorin");
  EXPECT_TRUE(ChooseProgramFilePlaces(exe, fs).writable);
  fs.adminOnly = "";  // ...and no place at all: said once, not at each write
  EXPECT_FALSE(ChooseProgramFilePlaces(exe, fs).writable);
  calvorin::testing::MemoryBackupFiles files;  // Restore: its own backup, else the other place's
  files.Put("C:\\Calvorin\\deletedkeys.reg", "", 0);
  EXPECT_EQ(RestoreFolder(inData, files), "C:\\Calvorin");
  files.Put(data + "\\deletedkeys.reg", "", 1);
  EXPECT_EQ(RestoreFolder(inData, files), data);
}

}  // namespace
}  // namespace calvorin
