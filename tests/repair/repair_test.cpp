#include "repair/repair.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <random>

#include "base/text.h"
#include "repair/kept_runs.h"
#include "repair/repair_view.h"
#include "support/memory_backup_files.h"
#include "support/memory_file_system.h"
#include "support/memory_registry.h"

namespace calvorin {
namespace {

using testing::MemoryBackupFiles;
using testing::MemoryFileSystem;
using testing::MemoryRegistry;

constexpr const char* kExe = "C:\\Calvorin";
constexpr const char* kBackup = "C:\\Calvorin\\deletedkeys.reg";

// What a run reports, in the order it reports it.
class FakeUi : public RepairUi {
 public:
  void Begun(int n) override { total = n; }
  void ItemStarted(const std::string& status) override {
    items.push_back(status);
    Messages();
  }
  void ItemDone(int n) override {
    done = n;
    Messages();
  }
  void Searching(const std::string& status) override {
    searches.push_back(status);
    Messages();
  }
  void StillSearching() override { Messages(); }
  void Working(const std::string& entry) override { working.push_back(entry); }
  bool SearchMovedFiles() override { return extra; }
  bool StopRequested() override { return stopWhen && stopWhen(); }
  void Finished(const RepairOutcome& o) override {
    said = o.cleaned + "|" + o.fixed + "|" + o.unchanged + "|" + o.rightsHint + "|" + o.notReached +
           (o.backupExists ? "|backup" : "|");
  }
  void Failed(bool backupExists) override { failed = backupExists; }

  std::vector<std::string> items, searches, working;  // the statuses and entries reported
  int total = -1, done = 0;
  std::string said;            // Finished's texts, "|" between them, and whether Restore has one
  std::optional<bool> failed;  // Failed's backupExists
  bool extra = true;
  std::function<void()> onMessages;
  std::function<bool()> stopWhen;  // the user presses Stop once this holds

 private:
  void Messages() {
    if (onMessages) onMessages();
  }
};

class RepairTest : public ::testing::Test {
 protected:
  RepairCounts Run(const std::vector<RepairEntry>& entries, bool fast = true,
                   bool elevated = true) {
    options.useDriveIndex = fast;
    options.elevated = elevated;
    return RunRepair(entries, reg, fs, files, ui, kExe, options);
  }
  // What the run did to each entry, as the unattended report words it.
  static std::vector<std::string> Outcomes(const RepairCounts& counts) {
    std::vector<std::string> texts;
    for (const EntryResult& r : counts.entries) texts.push_back(EntryOutcomeText(r));
    return texts;
  }
  RepairOptions options{.userSid = "S-1"};  // HKEY_USERS\S-1 is the user's own hive
  std::string Backup() const {
    const std::string* text = files.Content(kBackup);
    return text ? *text : "<none>";
  }
  MemoryRegistry reg;
  MemoryFileSystem fs;
  MemoryBackupFiles files;
  FakeUi ui;
};

// --- Pieces of the run ---------------------------------------------------------------------

TEST(RepairRootTest, RootWordsLaterRowWins) {
  struct Case {
    const char* keyPath;
    Hkey root;
  } cases[] = {
      {"HKEY_DYN_DATA\\x", kHkeyDynData},
      {"HKEY_PERFORMANCE_DATA\\x", kHkeyPerformanceData},
      {"HKEY_LOCAL_MACHINE\\software", kHkeyLocalMachine},
      {"HKEY_CURRENT_USER\\software", kHkeyCurrentUser},
      {"HKEY_USERS\\s-1-5", kHkeyUsers},
      {"HKEY_CLASSES_ROOT\\.txt", kHkeyClassesRoot},
      {"HKEY_CURRENT_CONFIG\\system", kHkeyCurrentConfig},
      {"nothing\\here", kHkeyCurrentUser},
      {"", kHkeyCurrentUser},
      // Case-sensitive: the lower-case subkey part never matches.
      {"HKEY_CURRENT_USER\\root\\machine\\config", kHkeyCurrentUser},
      // "USERS" then "CONFIG": the later row wins.
      {"HKEY_USERS\\CONFIG", kHkeyCurrentConfig},
      // "MACHINE" is found, then "ROOT" (a later row) wins.
      {"MACHINEROOT", kHkeyClassesRoot},
      // "CURRENT_USER" then "USERS": "HKEY_CURRENT_USERS" holds both.
      {"HKEY_CURRENT_USERS", kHkeyUsers},
      {"PERFORMANCE HKEY_DYN_DATA", kHkeyPerformanceData},
  };
  for (const auto& c : cases) EXPECT_EQ(RepairRootOf(c.keyPath), c.root) << c.keyPath;
}

TEST(RepairRootTest, SubKeyAfterTheFirstBackslash) {
  EXPECT_EQ(RepairSubKeyOf("HKEY_CURRENT_USER\\software\\acme"), "software\\acme");
  EXPECT_EQ(RepairSubKeyOf("HKEY_CURRENT_USER"), "");  // a value of the root itself
  EXPECT_EQ(RepairSubKeyOf("HKEY_CURRENT_USER\\"), "");
}

TEST(RepairSearchNameTest, NameAfterTheBackslashBeforeTheFirstDot) {
  struct Case {
    const char* data;
    const char* name;
  } cases[] = {
      {"C:\\Apps\\app.exe", "app.exe"},
      {"C:\\app.exe", "app.exe"},
      {"C:\\Program Files\\Acme 2.0\\bin\\acme.exe", "Acme 2.0\\bin\\acme.exe"},
      {"C:\\a\\b.exe,0", "b.exe,0"},
      {"C:\\no dot here", ""},
      {"C:app.exe", ""},  // no backslash before the first "."
      {".exe", ""},
      {"\\x.y", "x.y"},
      {"\"C:\\q\\x.exe\"", "x.exe\""},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(RepairSearchName(c.data), c.name) << c.data;
  SetLeadByteTest([](unsigned char b) { return b >= 0x81 && b <= 0x9F; });  // code page 932's
  const std::string name = RepairSearchName("C:\\d\\\x83\x5C" "con.exe");
  SetLeadByteTest(nullptr);
  EXPECT_EQ(name, "\x83\x5C" "con.exe");  // 83 5C is one character, no backslash
}

TEST(FindFileOnDriveTest, LookupFirstThenDepthFirstInListingOrder) {
  MemoryFileSystem fs;
  FakeUi ui;
  fs.AddFolder("C:\\b");
  fs.AddFolder("C:\\a\\deep");
  fs.AddFile("C:\\a\\deep\\x.exe");
  fs.AddFile("C:\\b\\x.exe");
  // "b" was made first, so it is listed (and searched) first.
  EXPECT_EQ(FindFileOnDrive(fs, ui, "C:", "x.exe", true), "C:\\b\\x.exe");
  EXPECT_EQ(ui.searches.front(), "Searching for x.exe C:");
  EXPECT_EQ(ui.searches.back(), "Searching for x.exe C:\\b");
  fs.AddFile("C:\\X.EXE", "", kFileAttributeHidden | kFileAttributeSystem);
  // The files-only lookup sees hidden and system files; the found path is the composed text.
  EXPECT_EQ(FindFileOnDrive(fs, ui, "C:\\", "x.exe", true), "C:\\x.exe");
  EXPECT_EQ(FindFileOnDrive(fs, ui, "D:", "x.exe", true), "");
  EXPECT_EQ(FindFileOnDrive(fs, ui, "C:\\a", "x.exe", false), "");
}

TEST(FindFileOnDriveTest, FoldersWithADotHiddenSystemOrReparsePointsAreNotEntered) {
  MemoryFileSystem fs;
  FakeUi ui;
  fs.AddFolder("C:\\link", kFileAttributeDirectory | kFileAttributeReparsePoint);
  fs.AddFile("C:\\link\\x.exe");
  fs.AddFile("C:\\v1.0\\x.exe");
  fs.AddFolder("C:\\hid", kFileAttributeDirectory | kFileAttributeHidden);
  fs.AddFile("C:\\hid\\x.exe");
  fs.AddFolder("C:\\sys", kFileAttributeDirectory | kFileAttributeSystem);
  fs.AddFile("C:\\sys\\x.exe");
  fs.AddFolder("C:\\x.exe");  // a folder of that name is no match
  EXPECT_EQ(FindFileOnDrive(fs, ui, "C:", "x.exe", true), "");
  fs.AddFile("C:\\ok\\x.exe");
  EXPECT_EQ(FindFileOnDrive(fs, ui, "C:", "x.exe", true), "C:\\ok\\x.exe");
  // A relative name reaches into a dotted folder through the lookup.
  EXPECT_EQ(FindFileOnDrive(fs, ui, "C:", "v1.0\\x.exe", true), "C:\\v1.0\\x.exe");
}

// Random trees: the one-listing index gives exactly the answers of the walk.
TEST(DriveIndexTest, SameAnswersAsTheWalkOnRandomTrees) {
  const char* names[] = {"a",    "b",       "c",      "app.exe", "x.dll", "lib", "data.bin",
                         "v1.2", "App.EXE", "readme", "zz",      "X.DLL", "sub"};
  std::mt19937 rng(12345);
  int compared = 0, found = 0;
  for (int tree = 0; tree < 60; ++tree) {
    MemoryFileSystem fs;
    FakeUi ui;
    std::vector<std::string> folders{"C:"};
    const int count = 20 + static_cast<int>(rng() % 60);
    for (int i = 0; i < count; ++i) {
      const std::string parent = folders[rng() % folders.size()];
      const std::string path = parent + "\\" + names[rng() % std::size(names)];
      std::uint32_t attributes = (rng() % 6 == 0) ? kFileAttributeHidden : 0;
      if (rng() % 9 == 0) attributes |= kFileAttributeSystem;
      if (rng() % 7 == 0) attributes |= kFileAttributeReparsePoint;
      if (rng() % 2) {
        if (!fs.Content(path) && !fs.FolderExists(path)) {
          fs.AddFolder(path, kFileAttributeDirectory | attributes);
          folders.push_back(path);
        }
      } else if (!fs.FolderExists(path)) {
        fs.AddFile(path, "", kFileAttributeArchive | attributes);
      }
    }
    DriveIndex index(fs, ui);
    for (const char* dir : {"C:", "c:\\", "D:"}) {
      for (const char* name : {"app.exe", "x.dll", "data.bin", "readme", "missing.txt", "APP.exe",
                               "sub\\app.exe", "*.exe", "v1.2\\x.dll"}) {
        const std::string slow = FindFileOnDrive(fs, ui, dir, name, true);
        EXPECT_EQ(index.Find(dir, name), slow) << "tree " << tree << " " << dir << " " << name;
        const FoundFileTest notFirst = [&](const std::string& path) { return path != slow; };
        EXPECT_EQ(index.Find(dir, name, notFirst),
                  FindFileOnDrive(fs, ui, dir, name, true, notFirst));
        ++compared;
        if (!slow.empty()) ++found;
      }
    }
  }
  EXPECT_GT(found, compared / 8);  // the trees do hold the files often enough to matter
}

TEST(DriveIndexTest, ListsEachDriveOncePerRun) {
  MemoryFileSystem fs;
  FakeUi ui;
  fs.AddFile("C:\\a\\b\\one.exe");
  fs.AddFile("C:\\a\\two.exe");
  DriveIndex index(fs, ui);
  EXPECT_EQ(index.Find("C:", "one.exe"), "C:\\a\\b\\one.exe");
  const size_t calls = fs.FindCalls();
  EXPECT_EQ(index.Find("c:", "two.exe"), "c:\\a\\two.exe");
  EXPECT_EQ(index.Find("C:", "none.exe"), "");
  EXPECT_EQ(fs.FindCalls(), calls);
}

// Owners and access lists by path; a path not in the table cannot be read.
struct TableSecurity : FileSecurity {
  std::optional<ObjectSecurity> Read(const std::string& path) override {
    return table.count(path) ? std::optional(table.at(path)) : std::nullopt;
  }
  std::map<std::string, ObjectSecurity> table;
};

AccessEntry Other(std::uint32_t mask, bool allow = true, bool inheritOnly = false) {
  return AccessEntry{allow, Trustee::kOther, mask, inheritOnly};
}
ObjectSecurity Allowing(std::vector<AccessEntry> entries) {
  return {Trustee::kTrusted, false, std::move(entries)};
}

// Starting from a trusted path (owned by SYSTEM, read and run for Everyone), one object changed.
TEST(FileTrustTest, NobodyElseMayHavePlacedOrSwapTheFileOrAFolderOnItsPath) {
  const char *file = "C:\\a\\b\\f.exe", *parent = "C:\\a\\b", *mid = "C:\\a", *root = "C:\\";
  const auto passes = [&](const char* object, const ObjectSecurity& changed,
                          const char* path = "C:\\a\\b\\f.exe") {
    TableSecurity security;
    for (const char* o : {file, parent, mid, root}) security.table[o] = Allowing({Other(0x1200a9)});
    security.table[object] = changed;
    return OnlyAdministratorsCouldPlace(security, path);
  };
  for (const char* object : {file, parent, mid, root}) {
    EXPECT_FALSE(passes(object, {Trustee::kOther, false, {}})) << object;
    EXPECT_FALSE(passes(object, {Trustee::kTrusted, true, {}})) << object;  // no access list
    for (std::uint32_t mask : {kRightDelete, kRightWriteDac, kRightWriteOwner, kGenericAll}) {
      EXPECT_FALSE(passes(object, Allowing({Other(mask)}))) << object << " " << mask;
    }
  }
  for (std::uint32_t mask : {kFileWriteData, kFileAppendData, kGenericWrite}) {
    EXPECT_FALSE(passes(file, Allowing({Other(mask)}))) << mask;
  }
  for (const char* folder : {parent, mid, root}) {
    EXPECT_FALSE(passes(folder, Allowing({Other(kFileDeleteChild)}))) << folder;
  }
  EXPECT_FALSE(passes(parent, Allowing({Other(kFileWriteData)})));  // a file added beside it
  EXPECT_FALSE(passes(file, Allowing({Other(kFileWriteData, false), Other(kFileWriteData)})));
  EXPECT_FALSE(passes(parent, {Trustee::kOther, false, {}}, "C:\\a/b\\f.exe"));
  // Read, run and write attributes; a deny entry; new subfolders beside the path; files and
  // folders added further up; inherit-only entries; the owner's entries.
  EXPECT_TRUE(
      passes(file, Allowing({Other(kGenericRead | kGenericExecute | 0x100), Other(~0u, false)})));
  EXPECT_TRUE(passes(parent, Allowing({Other(kFileAppendData),
                                       Other(kGenericAll, true, true),
                                       {true, Trustee::kOwner, kGenericAll, false}})));
  EXPECT_TRUE(passes(mid, Allowing({Other(kFileWriteData | kFileAppendData)})));
  EXPECT_TRUE(passes(root, Allowing({Other(kGenericWrite)})));
}

TEST(FileTrustTest, MachineWideIsEveryKeyButTheUsersOwn) {
  EXPECT_FALSE(MachineWideKey(kHkeyCurrentUser, "software", "S-1-5-21-7"));
  EXPECT_FALSE(MachineWideKey(kHkeyUsers, "s-1-5-21-7\\software", "S-1-5-21-7"));
  EXPECT_FALSE(MachineWideKey(kHkeyUsers, "s-1-5-21-7_classes", "S-1-5-21-7"));
  EXPECT_TRUE(MachineWideKey(kHkeyUsers, "s-1-5-21-70\\software", "S-1-5-21-7"));
  EXPECT_TRUE(MachineWideKey(kHkeyUsers, "s-1-5-21-7", ""));
}

// --- What the scan page shows of a run -------------------------------------------------------

// The screen on one line: Label1 to Label3, Edit1, Label4, the status bar, pb1's range and
// position, then what is on: pb1 (P), Edit1 (E) and Label4 (N) shown, the hourglass (W), Restore
// enabled (R), Repair hidden (H).
std::string Line(const RepairScreen& s) {
  std::string line = s.label1 + "|" + s.label2 + "|" + s.label3 + "|" + s.edit + "|" + s.note +
                     "|" + s.status + Format("|%d-%d@%d|", s.rangeMin, s.rangeMax, s.position);
  const bool on[] = {s.progressVisible, s.editVisible, s.noteVisible, s.wait,
                     s.restoreEnabled,  s.repairHidden};
  for (int i = 0; i < 6; ++i) line += std::string(on[i], "PENWRH"[i]);
  return line;
}

// Each row: an event on a page with every text set and everything but Restore and Repair on, the
// screen it leaves and the parts it reports.
TEST(RepairViewTest, EveryEventLeavesItsScreen) {
  using V = RepairView;
  const auto end = [](RepairOutcome o) { return [o](V& v) { v.Finished(o); }; };
  // What the end of every run sets; a run that went through sets Label1 and Repair too.
  constexpr unsigned kPutBack =
      V::kProgressVisible | V::kEditVisible | V::kLabel3 | V::kStatus | V::kWait;
  constexpr unsigned kEnd = kPutBack | V::kLabel1 | V::kRepair;
  const struct {
    std::function<void(V&)> event;
    const char* screen;
    unsigned parts;
  } rows[] = {
      {[](V& v) { v.Begun(3); }, "L1|L2|L3|E|N|S|0-3@0|PEW",
       V::kWait | V::kNoteVisible | V::kProgressVisible | V::kEditVisible | V::kRange |
           V::kPosition},
      {[](V& v) { v.ItemStarted("Item 1"); }, "L1|L2|Item 1|E|N|S|1-9@5|PENW", V::kLabel3},
      {[](V& v) { v.ItemDone(2); }, "L1|L2|L3|E|N|S|1-9@2|PENW", V::kPosition},
      {[](V& v) { v.Searching("In C:"); }, "L1|L2|L3|In C:|N|S|1-9@5|PENW", V::kEdit},
      {[](V& v) { v.Working("k, v"); }, "L1|L2|L3|E|N|k, v|1-9@5|PENW", V::kStatus},
      // A failed run counts nothing and leaves Repair to be tried again.
      {[](V& v) { v.Failed(false); }, "L1|L2||E|N||1-9@5|N", kPutBack},
      {[](V& v) { v.Failed(true); }, "L1|L2||E|N||1-9@5|NR", kPutBack | V::kRestore},
      // Label2 keeps the page's text when nothing was fixed; stopped, Repair stays for the rest.
      {end({"2 Cleaned", "", "", "", "", true}), "2 Cleaned|L2||E|N||1-9@5|NRH",
       kEnd | V::kRestore},
      {end({"1 Cleaned", "2 Fixed", "4 Left", "Hint", "", false}),
       "1 Cleaned|2 Fixed|4 Left|E|Hint||1-9@5|NH", kEnd | V::kLabel2 | V::kNote | V::kNoteVisible},
      {end({"0 Cleaned", "", "1 Left", "", "Stopped: 2", true}),
       "0 Cleaned|L2|1 Left. Stopped: 2|E|N||1-9@5|NR", kEnd | V::kRestore},
      {end({"0 Cleaned", "", "", "", "Stopped: 3", false}), "0 Cleaned|L2|Stopped: 3|E|N||1-9@5|N",
       kEnd},
  };
  for (const auto& row : rows) {
    V view({"L1", "L2", "L3", "E", "N", "S", 1, 9, 5, true, true, true, true});
    row.event(view);
    EXPECT_EQ(Line(view.Screen()), row.screen);
    EXPECT_EQ(view.TakeChanges(), row.parts) << row.screen;
  }
}

// --- The run -------------------------------------------------------------------------------

TEST_F(RepairTest, ExtraOffDeletesEveryOpenedEntryAndBacksItUp) {
  ui.extra = false;
  reg.PutString("HKEY_CURRENT_USER\\Software\\Acme", "Exe", "C:\\Apps\\app.exe");
  reg.Put("HKEY_LOCAL_MACHINE\\Software\\Acme", "Bin", kRegBinary, std::string("C:\\\0x", 5));
  fs.AddFile("C:\\Apps2\\app.exe");
  const auto counts = Run({{"HKEY_CURRENT_USER\\software\\acme", "Exe", "C:\\Apps\\app.exe"},
                           {"HKEY_LOCAL_MACHINE\\software\\acme", "Bin", "C:\\.x", kRegBinary}});
  EXPECT_EQ(counts.cleaned, 2);
  EXPECT_EQ(counts.fixed, 0);
  EXPECT_EQ(reg.GetValue("HKEY_CURRENT_USER\\Software\\Acme", "Exe"), nullptr);
  EXPECT_EQ(reg.GetValue("HKEY_LOCAL_MACHINE\\Software\\Acme", "Bin"), nullptr);
  EXPECT_EQ(Backup(),
            "REGEDIT4\r\n \r\n"
            "[HKEY_CURRENT_USER\\software\\acme]\r\n\"Exe\"=\"C:\\\\Apps\\\\app.exe\"\r\n"
            "[HKEY_LOCAL_MACHINE\\software\\acme]\r\n\"Bin\"=hex:43,3a,5c,00,78\r\n \r\n");
  EXPECT_EQ(ui.said, "2 Registry Items Cleaned|||||backup");
  EXPECT_TRUE(ui.searches.empty());
  EXPECT_EQ(ui.items, (std::vector<std::string>{"Fixing item 1 of 2", "Fixing item 2 of 2"}));
  // The status bar names the entry being read, then each one being changed.
  const std::string one = "HKEY_CURRENT_USER\\software\\acme, Exe";
  const std::string two = "HKEY_LOCAL_MACHINE\\software\\acme, Bin";
  EXPECT_EQ(ui.working, (std::vector<std::string>{one, two, one, two}));
  EXPECT_EQ(ui.total, 2);
  EXPECT_EQ(ui.done, 2);
}

TEST_F(RepairTest, FoundFileIsWrittenAsStringAndMsmeIsLeftAlone) {
  for (bool fast : {false, true}) {
    SCOPED_TRACE(fast ? "drive index" : "walk");
    reg.PutString("HKEY_CURRENT_USER\\Software\\A", "Path", "C:\\Old\\tool.exe", kRegExpandSz);
    reg.PutString("HKEY_CURRENT_USER\\Software\\A", "M", "C:\\Old\\msme.dll");
    reg.PutString("HKEY_CURRENT_USER\\Software\\A", "Gone", "C:\\Old\\gone.exe");
    fs.AddFile("C:\\First\\tool.exe");
    fs.AddFile("C:\\Second\\Deeper\\msme.dll");
    ui = FakeUi();
    const auto counts =
        Run({{"HKEY_CURRENT_USER\\software\\a", "Path", "C:\\Old\\tool.exe", kRegExpandSz},
             {"HKEY_CURRENT_USER\\software\\a", "M", "C:\\Old\\msme.dll"},
             {"HKEY_CURRENT_USER\\software\\a", "Gone", "C:\\Old\\gone.exe"}},
            fast);
    const auto* path = reg.GetValue("HKEY_CURRENT_USER\\Software\\A", "Path");
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(path->type, kRegSz);  // REG_EXPAND_SZ becomes a plain string
    EXPECT_EQ(path->data, std::string("C:\\First\\tool.exe\0", 18));
    const auto* msme = reg.GetValue("HKEY_CURRENT_USER\\Software\\A", "M");
    ASSERT_NE(msme, nullptr);
    EXPECT_EQ(msme->data, std::string("C:\\Old\\msme.dll\0", 16));
    EXPECT_EQ(reg.GetValue("HKEY_CURRENT_USER\\Software\\A", "Gone"), nullptr);
    EXPECT_EQ(counts.fixed, 2);
    EXPECT_EQ(Outcomes(counts), (std::vector<std::string>{"Fixed: C:\\First\\tool.exe",
                                                           "Fixed: found, kept as it is", "Cleaned"}));
    EXPECT_EQ(counts.cleaned, 1);
    EXPECT_EQ(Backup(),
              "REGEDIT4\r\n \r\n"
              "[HKEY_CURRENT_USER\\software\\a]\r\n"
              "\"Path\"=hex(2):43,3a,5c,4f,6c,64,5c,74,6f,6f,6c,2e,65,78,65,00\r\n"
              "[HKEY_CURRENT_USER\\software\\a]\r\n\"Gone\"=\"C:\\\\Old\\\\gone.exe\"\r\n \r\n");
    EXPECT_EQ(std::count(ui.searches.begin(), ui.searches.end(), "Searching for tool.exe C:"), 1);
  }
}

TEST_F(RepairTest, NoDotOrNoBackslashDeletesWithoutSearchEvenWithExtra) {
  reg.PutString("HKEY_CURRENT_USER\\Software\\A", "NoDot", "C:\\Apps\\tool");
  reg.PutString("HKEY_CURRENT_USER\\Software\\A", "Rel", "C:tool.exe D:\\x");
  fs.AddFile("C:\\Apps\\Other\\tool");
  fs.AddFile("C:\\tool.exe D:\\x");
  const auto counts = Run({{"HKEY_CURRENT_USER\\software\\a", "NoDot", "C:\\Apps\\tool"},
                           {"HKEY_CURRENT_USER\\software\\a", "Rel", "C:tool.exe D:\\x"}});
  EXPECT_EQ(counts.fixed, 0);
  EXPECT_TRUE(ui.searches.empty());
  EXPECT_EQ(fs.FindCalls(), 0u);
  EXPECT_EQ(reg.GetValue("HKEY_CURRENT_USER\\Software\\A", "NoDot"), nullptr);
  EXPECT_EQ(reg.GetValue("HKEY_CURRENT_USER\\Software\\A", "Rel"), nullptr);
}

// Windows's lookup of a device name answers in every folder, as the file at the root stands for.
TEST_F(RepairTest, SuperscriptComDeviceIsDeletedLikeOneNotFound) {
  const std::string data = "C:\\Gone\\com\xB9.txt";
  fs.AddFile("C:\\com\xB9.txt");
  for (bool fast : {false, true}) {
    reg.PutString("HKEY_CURRENT_USER\\Software\\A", "Dev", data);
    EXPECT_EQ(Run({{"HKEY_CURRENT_USER\\software\\a", "Dev", data}}, fast).fixed, 0);
    EXPECT_EQ(reg.GetValue("HKEY_CURRENT_USER\\Software\\A", "Dev"), nullptr);
  }
  EXPECT_TRUE(ui.searches.empty());
}

TEST_F(RepairTest, QuotedDataFindsNothingAndIsDeleted) {
  reg.PutString("HKEY_CURRENT_USER\\Software\\A", "Q", "\"C:\\Apps\\app.exe\"");
  fs.AddFile("C:\\Apps\\app.exe");
  const auto counts = Run({{"HKEY_CURRENT_USER\\software\\a", "Q", "\"C:\\Apps\\app.exe\""}});
  EXPECT_EQ(counts.fixed, 0);
  EXPECT_EQ(reg.GetValue("HKEY_CURRENT_USER\\Software\\A", "Q"), nullptr);
  EXPECT_EQ(ui.searches.front(), "Searching for app.exe\" \"C");
  EXPECT_NE(Backup().find("\"Q\"=\"\\\"C:\\\\Apps\\\\app.exe\\\"\""), std::string::npos);
}

TEST_F(RepairTest, KeyOrValueGoneSinceTheScanIsCountedCleanedWithoutBackup) {
  reg.PutString("HKEY_CURRENT_USER\\Software\\A", "Other", "x");
  reg.PutString("HKEY_CURRENT_USER\\Software\\B", "V", "C:\\b.exe");
  fs.AddFile("C:\\Here\\a.exe");
  const auto counts = Run({{"HKEY_CURRENT_USER\\software\\gone", "V", "C:\\a.exe"},
                           {"HKEY_CURRENT_USER\\software\\a", "Missing", "C:\\Old\\a.exe"},
                           {"HKEY_CURRENT_USER\\software\\b", "V", "C:\\b.exe"}});
  EXPECT_EQ(counts.cleaned, 3);
  EXPECT_EQ(counts.fixed, 0);
  EXPECT_EQ(Backup(),
            "REGEDIT4\r\n \r\n[HKEY_CURRENT_USER\\software\\b]\r\n\"V\"=\"C:\\\\b.exe\"\r\n \r\n");
  EXPECT_EQ(reg.Find("HKEY_CURRENT_USER\\Software\\gone"), nullptr);  // not created
  ASSERT_NE(reg.GetValue("HKEY_CURRENT_USER\\Software\\A", "Other"), nullptr);
}

TEST_F(RepairTest, FileInTwoFoldersTakesTheFirstInDepthFirstOrder) {
  for (bool fast : {false, true}) {
    MemoryFileSystem tree;
    tree.AddFolder("C:\\z");
    tree.AddFile("C:\\z\\deep\\er\\f.exe");
    tree.AddFile("C:\\a\\f.exe");
    fs = std::move(tree);
    reg.PutString("HKEY_CURRENT_USER\\Software\\A", "V", "C:\\old\\f.exe");
    Run({{"HKEY_CURRENT_USER\\software\\a", "V", "C:\\old\\f.exe"}}, fast);
    EXPECT_EQ(reg.GetValue("HKEY_CURRENT_USER\\Software\\A", "V")->data,
              std::string("C:\\z\\deep\\er\\f.exe\0", 19));
  }
}

// A machine-wide value takes the first file of its name that only administrators could have
// placed; with none such it stays, neither deleted nor backed up. The user's own keep the first.
TEST_F(RepairTest, MachineWideValuesAreNeverPointedAtAFileOthersCouldPlace) {
  TableSecurity security;
  for (const char* object : {"C:\\", "C:\\Windows", "C:\\Windows\\svc.exe"}) {
    security.table[object] = Allowing({});
  }
  fs.AddFile("C:\\Users\\svc.exe");
  fs.AddFile("C:\\Users\\run.exe");
  fs.AddFile("C:\\Windows\\svc.exe");
  const std::string mine = "HKEY_USERS\\S-1\\Software", hklm = "HKEY_LOCAL_MACHINE\\Software\\A";
  reg.PutString(hklm, "Svc", "C:\\Old\\svc.exe");
  reg.PutString(hklm, "Run", "C:\\Old\\run.exe");
  reg.PutString(mine, "Run", "C:\\Old\\run.exe");
  options.fileSecurity = &security;
  const auto counts = Run({{"HKEY_LOCAL_MACHINE\\software\\a", "Svc", "C:\\Old\\svc.exe"},
                           {"HKEY_LOCAL_MACHINE\\software\\a", "Run", "C:\\Old\\run.exe"},
                           {"HKEY_USERS\\s-1\\software", "Run", "C:\\Old\\run.exe"}});
  EXPECT_EQ(reg.GetValue(hklm, "Svc")->data, std::string("C:\\Windows\\svc.exe\0", 19));
  EXPECT_EQ(reg.GetValue(hklm, "Run")->data, std::string("C:\\Old\\run.exe\0", 15));
  EXPECT_EQ(reg.GetValue(mine, "Run")->data, std::string("C:\\Users\\run.exe\0", 17));
  EXPECT_EQ(counts.fixed, 2);
  EXPECT_EQ(counts.unchanged, 1);
  EXPECT_EQ(Backup().find("software\\a]\r\n\"Run\""), std::string::npos);
  EXPECT_EQ(EntryOutcomeText(counts.entries[1]),
            "Left unchanged: its file was found only where others could have placed it");
}

TEST_F(RepairTest, AllCorrectedReadsZeroCleaned) {
  fs.AddFile("C:\\New\\a.exe");
  fs.AddFile("C:\\New\\b.exe");
  reg.PutString("HKEY_USERS\\S-1\\Software", "A", "C:\\Old\\a.exe");
  reg.PutString("HKEY_USERS\\S-1\\Software", "B", "C:\\Old\\b.exe");
  const auto counts = Run({{"HKEY_USERS\\s-1\\software", "A", "C:\\Old\\a.exe"},
                           {"HKEY_USERS\\s-1\\software", "B", "C:\\Old\\b.exe"}});
  EXPECT_EQ(ui.said, "0 Registry Items Cleaned|2 Registry Items Fixed||||backup");
  EXPECT_EQ(counts.fixed, 2);
}

TEST_F(RepairTest, RunsThatChangeNothingLeaveTheBackupsAsTheyAre) {
  Run({});
  EXPECT_EQ(ui.said, "0 Registry Items Cleaned|||||");  // no backup: nothing for Restore
  files.Put(kBackup, "last", 100);
  const auto before = files.files;
  Run({}, true, /*elevated=*/false);
  EXPECT_EQ(ui.said, "0 Registry Items Cleaned|||||backup");
  EXPECT_EQ(ui.total, 0);
  reg.PutString("HKEY_CURRENT_USER\\Software\\A", "V", "C:\\x.exe");
  reg.MutableValue("HKEY_CURRENT_USER\\Software\\A", "V")->refusesChanges = true;
  ui = FakeUi();
  Run({{"HKEY_CURRENT_USER\\software\\a", "V", "C:\\x.exe"}});
  EXPECT_EQ(ui.items.front(), "Fixing item 1 of 1");
  EXPECT_EQ(ui.total, 1);
  EXPECT_TRUE(files.files == before);
}

// A root's own value is repaired there; one of an unloaded hive is out of reach, not gone.
TEST_F(RepairTest, RootValuesAreRepairedAndUnloadedHivesLeftUnchanged) {
  reg.PutString("HKEY_CURRENT_USER", "Root", "C:\\r.exe");
  reg.PutString("HKEY_USERS\\S-2\\Software", "V", "C:\\m");
  const auto counts = Run({{"HKEY_CURRENT_USER", "Root", "C:\\r.exe"},
                           {"HKEY_USERS\\s-1\\software", "V", "C:\\u"},
                           {"HKEY_USERS\\s-2\\software\\deleted", "V", "C:\\d"},
                           {"HKEY_USERS\\s-2\\software", "V", "C:\\m", kRegSz,
                            "HKEY_USERS\\S-2\\Software"}});
  EXPECT_EQ(counts.cleaned, 3);
  EXPECT_EQ(counts.unchanged, 1);
  EXPECT_EQ(EntryOutcomeText(counts.entries[1]), "Left unchanged: its hive is no longer loaded");
  EXPECT_EQ(Backup(), "REGEDIT4\r\n \r\n[HKEY_CURRENT_USER]\r\n\"Root\"=\"C:\\\\r.exe\"\r\n"
                      "[HKEY_USERS\\S-2\\Software]\r\n\"V\"=\"C:\\\\m\"\r\n \r\n");
}

TEST_F(RepairTest, UnwritableBackupChangesNothingAndReportsTheFailure) {
  reg.PutString("HKEY_CURRENT_USER\\Software\\A", "V", "C:\\Old\\x.exe");
  reg.PutString("HKEY_CURRENT_USER\\Software\\A", "W", "C:\\Old\\y.exe");
  fs.AddFile("C:\\New\\x.exe");
  files.Put(kBackup, "earlier", 5);
  files.failWrites = true;
  EXPECT_THROW(Run({{"HKEY_CURRENT_USER\\software\\a", "V", "C:\\Old\\x.exe"},
                    {"HKEY_CURRENT_USER\\software\\a", "W", "C:\\Old\\y.exe"}}),
               EFileError);
  EXPECT_EQ(reg.GetValue("HKEY_CURRENT_USER\\Software\\A", "V")->data,
            std::string("C:\\Old\\x.exe\0", 13));
  ASSERT_NE(reg.GetValue("HKEY_CURRENT_USER\\Software\\A", "W"), nullptr);
  EXPECT_EQ(Backup(), "earlier");  // the earlier backup stays where Restore looks
  EXPECT_EQ(files.Names("C:\\Calvorin\\"), (std::vector<std::string>{"deletedkeys.reg"}));
  EXPECT_EQ(ui.failed, true);  // with the earlier backup for Restore
  EXPECT_EQ(ui.said, "");      // nothing counted
}

// Only a value that is still what the list showed changes: of the same type, with data the walk
// would show as the row's data text (the 0x97 pair when it holds no match).
TEST_F(RepairTest, ValueChangedSinceTheScanIsLeftUnchanged) {
  const std::string key = "HKEY_CURRENT_USER\\Software\\A", k = "HKEY_CURRENT_USER\\software\\a";
  reg.PutString(key, "Repointed", "C:\\Elsewhere\\a.exe");
  reg.PutString(key, "Retyped", "C:\\Old\\b.exe", kRegExpandSz);
  reg.PutString(key, "Name C:\\", "no path");
  reg.PutString(key, "Name D:\\", "C:\\Old\\d.exe");
  reg.PutString(key, "Same", "C:\\Old\\e.exe");
  fs.AddFile("C:\\New\\a.exe");
  const auto counts = Run({{k, "Repointed", "C:\\Old\\a.exe"},
                           {k, "Retyped", "C:\\Old\\b.exe"},
                           {k, "Name C:\\", "\x97\x97"},
                           {k, "Name D:\\", "\x97\x97"},
                           {k, "Same", "C:\\Old\\e.exe"}});
  for (const char* name : {"Repointed", "Retyped", "Name D:\\"}) {
    EXPECT_NE(reg.GetValue(key, name), nullptr) << name;
  }
  EXPECT_EQ(reg.GetValue(key, "Repointed")->data, std::string("C:\\Elsewhere\\a.exe\0", 19));
  EXPECT_EQ(Backup(), "REGEDIT4\r\n \r\n[" + k + "]\r\n\"Name C:\\\\\"=\"no path\"\r\n[" + k +
                          "]\r\n\"Same\"=\"C:\\\\Old\\\\e.exe\"\r\n \r\n");
  EXPECT_EQ(counts.cleaned, 2);
  EXPECT_EQ(counts.fixed, 0);
  EXPECT_EQ(counts.unchanged, 3);
  const std::string changed = "Left unchanged: changed since the scan";
  EXPECT_EQ(Outcomes(counts),
            (std::vector<std::string>{changed, changed, "Cleaned", changed, "Cleaned"}));
}

// A refused change is no success: neither cleaned nor fixed, and out of the backup. A run that
// then fails (here the backup's rewrite) and is run again leaves the value it corrected alone.
TEST_F(RepairTest, RefusedChangesAreLeftUnchangedAndNamedOnceWithoutElevation) {
  const std::string key = "HKEY_CURRENT_USER\\Software\\A", k = "HKEY_CURRENT_USER\\software\\a";
  std::vector<RepairEntry> rows;
  for (const char* name : {"Del", "NoDel", "Fix.exe", "NoFix.exe"}) {
    reg.PutString(key, name, Format("C:\\Old\\%s", name));
    reg.MutableValue(key, name)->refusesChanges = name[0] == 'N';
    rows.push_back({k, name, Format("C:\\Old\\%s", name)});
    fs.AddFile(Format("C:\\New\\%s", name));
  }
  reg.PutString(key + "\\Locked", "V", "C:\\Old\\v");
  reg.Key(key + "\\Locked")->grant = kKeyRead;
  rows.push_back({k + "\\locked", "V", "C:\\Old\\v"});
  reg.afterSizeQuery = [&](const std::string& name) {
    if (name == "NoFix.exe" && files.Exists(kBackup)) files.failWrites = true;
  };
  const auto fix = [&] {
    return reg.GetValue(key, "Fix.exe") ? reg.GetValue(key, "Fix.exe")->data : "";
  };
  const std::string fixed("C:\\New\\Fix.exe\0", 15);
  std::string failure;
  try {
    Run(rows, true, false);
  } catch (const EFileError& e) {
    failure = e.what();
  }
  EXPECT_NE(failure.find("\\Del\"\r\n[" + k + "]\r\n\"Fix.exe\"=\"C:\\\\Old\\\\Fix.exe\"\r\n \r\n"),
            std::string::npos);
  EXPECT_EQ(Backup(), "<none>");
  EXPECT_EQ(fix(), fixed);
  ui.extra = files.failWrites = false;
  reg.afterSizeQuery = nullptr;
  reg.PutString(key, "Del", "C:\\Old\\Del");  // put back, as a Restore would
  const auto counts = Run(rows, true, false);
  EXPECT_EQ(fix(), fixed);
  EXPECT_EQ(reg.GetValue(key, "Del"), nullptr);
  EXPECT_EQ(Backup(), "REGEDIT4\r\n \r\n[" + k + "]\r\n\"Del\"=\"C:\\\\Old\\\\Del\"\r\n \r\n");
  EXPECT_EQ(counts.refused, 3);
  EXPECT_EQ(Outcomes(counts)[1], "Left unchanged: refused by Windows");
  EXPECT_EQ(
      ui.said,
      "1 Registry Items Cleaned||4 Registry Items Left Unchanged|Windows refused some changes: "
      "run Calvorin as administrator to make them.||backup");
  Run(rows, true, true);
  EXPECT_EQ(ui.said, "1 Registry Items Cleaned||4 Registry Items Left Unchanged|||backup");
}

TEST_F(RepairTest, BackupIsOnDiskBeforeTheFirstChange) {
  reg.PutString("HKEY_CURRENT_USER\\Software\\A", "V", "C:\\Old\\x.exe");
  reg.PutString("HKEY_CURRENT_USER\\Software\\A", "W", "C:\\Old\\y.exe");
  // While the run reads and searches, nothing is changed and no backup is written yet.
  bool changedBeforeBackup = false;
  ui.onMessages = [&] {
    if (!files.Exists(kBackup) && !reg.GetValue("HKEY_CURRENT_USER\\Software\\A", "V")) {
      changedBeforeBackup = true;
    }
  };
  // After the backup each value is read once more, just before it changes, and never before.
  int readsAfterBackup = 0;
  reg.afterSizeQuery = [&](const std::string&) { readsAfterBackup += files.Exists(kBackup); };
  Run({{"HKEY_CURRENT_USER\\software\\a", "V", "C:\\Old\\x.exe"},
       {"HKEY_CURRENT_USER\\software\\a", "W", "C:\\Old\\y.exe"}});
  EXPECT_FALSE(changedBeforeBackup);
  EXPECT_EQ(readsAfterBackup, 2);
  EXPECT_EQ(reg.GetValue("HKEY_CURRENT_USER\\Software\\A", "V"), nullptr);
  EXPECT_NE(Backup().find("\"W\"="), std::string::npos);
}

// Repair changes a value only when its backup lines bring back the very same key, name, type
// and bytes, and only when it still holds what was backed up; everything else is left as it
// is, kept out of the backup and counted apart.
TEST_F(RepairTest, LeavesWhatTheBackupCannotBringBackExactly) {
  ui.extra = false;
  const std::string key = "HKEY_CURRENT_USER\\Software\\A";
  const std::string injecting = "dw\r\n[HKEY_CURRENT_USER]\r\n@=dword:00000007\r\n;";
  reg.PutString(key, "Plain", "C:\\Gone\\a.exe");
  reg.PutString(key, injecting, "C:\\Gone\\b.exe");
  reg.PutString(key + "\\Line\nBreak", "V", "C:\\Gone\\c.exe");
  reg.PutString(key, "LookAlike", "C:\\Gone\\d.exe");
  reg.MutableValue(key, "LookAlike")->dataInexact = true;
  reg.PutString(key, "Unterminated", "C:\\Gone\\e.exe");
  reg.MutableValue(key, "Unterminated")->storedDiffers = true;
  reg.PutString(key, "Changing", "C:\\Gone\\f.exe");
  reg.PutString(key, "Later", "C:\\Gone\\g.exe");
  // Another program changes "Changing" after the first pass has read it.
  ui.onMessages = [&] {
    if (ui.done == 6) reg.PutString(key, "Changing", "C:\\New\\f.exe");
  };
  const std::string k = "HKEY_CURRENT_USER\\software\\a";
  const auto counts = Run({{k, "Plain", "C:\\Gone\\a.exe"},
                           {k, injecting, "C:\\Gone\\b.exe"},
                           {k + "\\line\nbreak", "V", "C:\\Gone\\c.exe"},
                           {k, "LookAlike", "C:\\Gone\\d.exe"},
                           {k, "Unterminated", "C:\\Gone\\e.exe"},
                           {k, "Changing", "C:\\Gone\\f.exe"},
                           {k, "Later", "C:\\Gone\\g.exe"}});
  EXPECT_EQ(reg.GetValue(key, "Plain"), nullptr);
  EXPECT_EQ(reg.GetValue(key, "Later"), nullptr);
  for (const char* name : {"LookAlike", "Unterminated"}) {
    EXPECT_NE(reg.GetValue(key, name), nullptr) << name;
  }
  EXPECT_NE(reg.GetValue(key, injecting), nullptr);
  EXPECT_NE(reg.GetValue(key + "\\Line\nBreak", "V"), nullptr);
  ASSERT_NE(reg.GetValue(key, "Changing"), nullptr);
  EXPECT_EQ(reg.GetValue(key, "Changing")->data, std::string("C:\\New\\f.exe\0", 13));
  EXPECT_EQ(Backup(),
            "REGEDIT4\r\n \r\n"
            "[HKEY_CURRENT_USER\\software\\a]\r\n\"Plain\"=\"C:\\\\Gone\\\\a.exe\"\r\n"
            "[HKEY_CURRENT_USER\\software\\a]\r\n\"Later\"=\"C:\\\\Gone\\\\g.exe\"\r\n \r\n");
  EXPECT_EQ(counts.cleaned, 2);
  EXPECT_EQ(counts.fixed, 0);
  EXPECT_EQ(counts.unchanged, 5);
}

TEST(RepairSearchNameTest, DosDeviceNamesAreNeverSearched) {
  for (const char* data : {"C:\\Logs\\con.log", "C:\\a\\NUL.txt", "C:\\a\\com1.exe",
                           "C:\\a\\Lpt9.dat", "C:\\a\\aux .txt", "C:\\a\\prn.x.y"}) {
    EXPECT_TRUE(RepairSearchName(data).empty()) << data;
  }
  for (const char* data : {"C:\\a\\console.log", "C:\\a\\com10.exe", "C:\\a\\com0.exe",
                           "C:\\a\\nul\\x.txt", "C:\\a\\lpt.txt"}) {
    EXPECT_FALSE(RepairSearchName(data).empty()) << data;
  }
}

// A stop while the run reads (after an entry, or inside a drive search) changes nothing and keeps
// the earlier backup; a stop while it changes values leaves a backup of exactly what changed.
TEST_F(RepairTest, StopEndsTheRunAfterTheCurrentEntry) {
  std::vector<RepairEntry> entries;
  for (const char* name : {"U", "V", "W"}) {
    entries.push_back({"HKEY_CURRENT_USER\\software\\a", name, std::string("C:\\Old\\") + name});
    reg.PutString("HKEY_CURRENT_USER\\Software\\A", name, entries.back().dataText + ".exe");
    entries.back().dataText += ".exe";
  }
  fs.AddFile("C:\\Deep\\Er\\nothing.txt");
  files.Put(kBackup, "earlier", 5);
  const auto left = [&] { return reg.Find("HKEY_CURRENT_USER\\Software\\A")->values.size(); };
  for (const int when : {0, 1, 2}) {  // after the first entry, in a search, after a change
    SCOPED_TRACE(when);
    ui = FakeUi();
    ui.extra = when < 2;
    ui.stopWhen = [&] {
      return when == 0 ? ui.done == 1 : when == 1 ? !ui.searches.empty() : left() < 3;
    };
    const auto counts = Run(entries, /*fast=*/false);
    EXPECT_EQ(counts.cleaned, when / 2);
    EXPECT_EQ(counts.entries.back().outcome, EntryOutcome::kNotReached);
    EXPECT_EQ(left(), 3u - when / 2);
    EXPECT_EQ(counts.notReached, 3 - when / 2);
    EXPECT_EQ(ui.searches.size(), (std::array<std::size_t, 3>{3, 1, 0}[when]));  // 1: at once
    EXPECT_EQ(Backup() == "earlier", when < 2);
  }
  EXPECT_EQ(
      Backup(),
      "REGEDIT4\r\n \r\n[HKEY_CURRENT_USER\\software\\a]\r\n\"U\"=\"C:\\\\Old\\\\U.exe\"\r\n \r\n");
  EXPECT_EQ(ui.said, "1 Registry Items Cleaned||||Stopped: 2 Registry Items Not Reached|backup");
}

TEST_F(RepairTest, EarlierBackupsAreKeptByDateAndTimeTenAtMost) {
  // The user's own files that merely look alike are never pruned, however old.
  const std::vector<std::string> users = {"deletedkeys-before-cleanup.reg",
                                          "deletedkeys-20250101-000000-x.reg",
                                          "deletedkeys-2025010-1000000.reg"};
  for (const auto& name : users) files.Put("C:\\Calvorin\\" + name, "mine", 1);
  files.clock = 3600;  // 2026-01-01 01:00:00
  for (int run = 0; run < 13; ++run) {
    reg.PutString("HKEY_CURRENT_USER\\Software\\A", "V", "C:\\x.exe");
    Run({{"HKEY_CURRENT_USER\\software\\a", "V", "C:\\x.exe"}});
  }
  for (const auto& name : users) EXPECT_TRUE(files.Exists("C:\\Calvorin\\" + name)) << name;
  for (const auto& name : users) files.Delete("C:\\Calvorin\\" + name);
  auto names = files.Names("C:\\Calvorin\\");
  ASSERT_EQ(names.size(), 11u);
  EXPECT_EQ(names.back(), "deletedkeys.reg");
  names.pop_back();
  // Runs 0..11 left older files; the ten newest (runs 2..11, written at 01:00:02..01:00:11) stay.
  std::vector<std::string> expected;
  for (int s = 2; s <= 11; ++s) expected.push_back(Format("deletedkeys-20260101-0100%02d.reg", s));
  EXPECT_EQ(names, expected);
}

TEST_F(RepairTest, SameSecondBackupsGetANumber) {
  files.Put("C:\\Calvorin\\deletedkeys-20260101-000007.reg", "older", 7);
  files.Put(kBackup, "previous", 7);
  files.clock = 8;
  reg.PutString("HKEY_CURRENT_USER\\Software\\A", "V", "C:\\x.exe");
  Run({{"HKEY_CURRENT_USER\\software\\a", "V", "C:\\x.exe"}});
  EXPECT_EQ(*files.Content("C:\\Calvorin\\deletedkeys-20260101-000007.reg"), "older");
  EXPECT_EQ(*files.Content("C:\\Calvorin\\deletedkeys-20260101-000007-2.reg"), "previous");
}

TEST_F(RepairTest, BackupThatCannotBeKeptStopsTheRun) {
  reg.PutString("HKEY_CURRENT_USER\\Software\\A", "V", "C:\\x.exe");
  files.Put(kBackup, "previous", 7);
  files.failRenames = true;
  EXPECT_THROW(Run({{"HKEY_CURRENT_USER\\software\\a", "V", "C:\\x.exe"}}), EFileError);
  EXPECT_NE(reg.GetValue("HKEY_CURRENT_USER\\Software\\A", "V"), nullptr);
  EXPECT_EQ(Backup(), "previous");
}

// Only ticked entries are read, searched for, backed up and changed; the progress counts them
// alone, and every entry says what the run did to it.
TEST_F(RepairTest, TicksDecideWhatChangesAndEachEntrySaysWhatHappened) {
  const std::string key = "HKEY_CURRENT_USER\\Software\\A", k = "HKEY_CURRENT_USER\\software\\a";
  reg.PutString(key, "Del", "C:\\Old\\del");
  reg.PutString(key, "Fix", "C:\\Old\\fix.exe");
  reg.PutString(key, "Keep", "C:\\Old\\msme.dll");
  reg.PutString(key, "Moved", "C:\\Elsewhere\\x");
  reg.PutString(key, "Locked", "C:\\Old\\locked");
  reg.MutableValue(key, "Locked")->refusesChanges = true;
  reg.PutString(key, "Off.exe", "C:\\Old\\off.exe");
  reg.PutString(key, "Always.exe", "C:\\Old\\always.exe");
  for (const char* file : {"fix.exe", "msme.dll", "off.exe", "always.exe"}) {
    fs.AddFile(Format("C:\\New\\%s", file));
  }
  std::vector<RepairEntry> rows{{k, "Del", "C:\\Old\\del"},
                                {k, "Fix", "C:\\Old\\fix.exe"},
                                {k, "Keep", "C:\\Old\\msme.dll"},
                                {k, "Moved", "C:\\Old\\x"},
                                {k, "Locked", "C:\\Old\\locked"},
                                {k, "Off.exe", "C:\\Old\\off.exe"},
                                {k, "Always.exe", "C:\\Old\\always.exe"},
                                {k + "\\gone", "Unticked gone", "C:\\y"}};
  rows[5].ticked = rows[7].ticked = false;
  rows[6].ticked = false;
  rows[6].alwaysLeave = true;
  const auto counts = Run(rows);
  std::vector<std::string> said;
  for (const EntryResult& r : counts.entries) said.push_back(EntryOutcomeText(r));
  EXPECT_EQ(said, (std::vector<std::string>{
                      "Cleaned", "Fixed: C:\\New\\fix.exe", "Fixed: found, kept as it is",
                      "Left unchanged: changed since the scan",
                      "Left unchanged: refused by Windows", "Left unchanged: unticked",
                      "Left unchanged: always left unchanged", "Left unchanged: unticked"}));
  EXPECT_EQ(reg.GetValue(key, "Off.exe")->data, std::string("C:\\Old\\off.exe\0", 15));
  EXPECT_EQ(reg.GetValue(key, "Always.exe")->data, std::string("C:\\Old\\always.exe\0", 18));
  EXPECT_EQ(Backup().find("Off.exe"), std::string::npos);
  EXPECT_EQ(Backup().find("Always.exe"), std::string::npos);
  // Searched only for the ticked ones.
  for (const auto& status : ui.searches) EXPECT_EQ(status.find("off.exe"), std::string::npos);
  EXPECT_EQ(ui.items.front(), "Fixing item 1 of 5");
  EXPECT_EQ(ui.total, 5);
  EXPECT_EQ(ui.done, 5);
  EXPECT_EQ(counts.cleaned, 1);
  EXPECT_EQ(counts.fixed, 2);
  EXPECT_EQ(counts.unchanged, 5);
  EXPECT_EQ(EntryOutcomeText({}), "Left unchanged: the run ended before it");
}

// The runs Restore offers: newest first, each with the values its backup holds (a long binary
// value's lines count once), runs of the same second in the order they were kept.
TEST_F(RepairTest, KeptRunsNewestFirstWithTheirValues) {
  ui.extra = false;
  files.Put("C:\\Calvorin\\deletedkeys-20260101-000007.reg", "REGEDIT4\r\n\"a\"=\"x\"\r\n", 7);
  files.Put(kBackup, "REGEDIT4\r\n@=\"x\"\r\n\"b\"=\"y\"\r\n", 7);
  files.clock = 8;
  reg.PutString("HKEY_CURRENT_USER\\Software\\A", "Long", "C:\\" + std::string(60, 'x'),
                kRegExpandSz);
  reg.PutString("HKEY_CURRENT_USER\\Software\\A", "", "C:\\x");
  Run({{"HKEY_CURRENT_USER\\software\\a", "Long", "C:\\" + std::string(60, 'x'), kRegExpandSz},
       {"HKEY_CURRENT_USER\\software\\a", "", "C:\\x"}});
  const auto runs = ListKeptRuns(files, kExe);
  ASSERT_EQ(runs.size(), 3u);
  EXPECT_EQ(runs[0].path, kBackup);
  const std::string latest = Backup();
  EXPECT_GT(std::count(latest.begin(), latest.end(), '\n'), 8);
  EXPECT_EQ(runs[0].values, 2);
  EXPECT_EQ(runs[1].path, "C:\\Calvorin\\deletedkeys-20260101-000007-2.reg");
  EXPECT_EQ(runs[1].values, 2);
  EXPECT_EQ(runs[2].values, 1);
  EXPECT_EQ(StampText(runs[2].stamp), "2026-01-01 00:00:07");
}

}  // namespace
}  // namespace calvorin
