#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "base/text.h"
#include "scan/invalid_reference_scan.h"
#include "support/memory_file_system.h"
#include "support/scan_log_access.h"

namespace calvorin {
namespace {

using testing::LogFileOpen;
using testing::LogLines;
using testing::LogPath;
using testing::LogText;
using testing::MemoryFileSystem;

// ---------------------------------------------------------------------------------------------
// Doubles

struct ProbeCall {
  char kind;  // 'F' file, 'D' folder, 'W' write
  std::string path;
  bool operator==(const ProbeCall&) const = default;
};

// Records every call and forwards it.
class SpyFileSystem : public FileSystem {
 public:
  explicit SpyFileSystem(FileSystem& inner, bool keepPaths = true)
      : inner_(inner), keepPaths_(keepPaths) {}
  bool FileExists(const std::string& path) override {
    Note('F', path);
    return inner_.FileExists(path);
  }
  bool FolderExists(const std::string& path) override {
    Note('D', path);
    return inner_.FolderExists(path);
  }
  std::vector<FindEntry> Find(const std::string& pattern) override { return inner_.Find(pattern); }
  void WriteWholeFile(const std::string& path, const std::string& bytes) override {
    Note('W', path);
    inner_.WriteWholeFile(path, bytes);
  }
  void AppendToFile(const std::string& path, const std::string& bytes) override {
    Note('A', path);
    inner_.AppendToFile(path, bytes);
  }
  size_t Probes() const {
    size_t n = 0;
    for (const auto& c : calls) n += c.kind != 'W' && c.kind != 'A';
    return n;
  }
  std::vector<ProbeCall> calls;

 private:
  void Note(char kind, const std::string& path) {
    calls.push_back({kind, keepPaths_ ? path : std::string()});
  }
  FileSystem& inner_;
  bool keepPaths_;
};

// Answers exactly the paths it was given, byte for byte, so that each probe can be made to be
// the first one that succeeds.
class ScriptedFileSystem : public FileSystem {
 public:
  std::set<std::string> files, folders;
  size_t writes = 0;
  size_t lastWriteSize = 0;
  bool FileExists(const std::string& path) override { return files.count(path) > 0; }
  bool FolderExists(const std::string& path) override { return folders.count(path) > 0; }
  std::vector<FindEntry> Find(const std::string&) override { return {}; }
  void WriteWholeFile(const std::string&, const std::string& bytes) override {
    ++writes;
    lastWriteSize = bytes.size();
  }
  void AppendToFile(const std::string&, const std::string& bytes) override {
    ++writes;
    lastWriteSize += bytes.size();
  }
};

const std::string kPlaceholder = "\x97\x97";
const std::string kLeftMark = "\xAB\x85";
const std::string kRightMark = "\x85\xBB";

// ---------------------------------------------------------------------------------------------
// The candidate cut

struct CutCase {
  std::string dataText;
  std::optional<std::string> candidate;
};

TEST(CutCandidateTest, CutsByThePositionOfTheFirstColon) {
  const std::vector<CutCase> cases = {
      // p = 2: the whole text.
      {"C:\\Program Files\\Acme\\acme.exe", "C:\\Program Files\\Acme\\acme.exe"},
      {"C:\\Program Files\\Acme\\acme.exe /s", "C:\\Program Files\\Acme\\acme.exe /s"},
      {"C:", "C:"},
      {"c:\\a:b", "c:\\a:b"},
      // p = 3: first and last character dropped (a quoted path comes out bare).
      {"\"C:\\Program Files\\Acme\\acme.exe\"", "C:\\Program Files\\Acme\\acme.exe"},
      {"@C:\\x.exe,1", "C:\\x.exe,"},
      {"ab:", "b"},
      // p = 1: from the first character, two shorter.
      {":\\abcdef", ":\\abcd"},
      {":", ""},
      {":x", ""},
      // p = 0: the text less its last two characters; too short gives "".
      {"\\\\server\\share\\file.txt", "\\\\server\\share\\file.t"},
      {"0x000000FF (255)", "0x000000FF (25"},
      {kPlaceholder, ""},
      {"a", ""},
      {"", ""},
      // p > 3: not analysed.
      {"rundll32.exe C:\\Tools\\x.dll", std::nullopt},
      {"abc:\\x", std::nullopt},
      // A left-clipped text whose first ":" directly follows the two-byte mark.
      {"\xAB\x85:\\abc", "\x85:\\ab"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CutCandidate(c.dataText), c.candidate) << "data text: " << c.dataText;
  }
}

// ---------------------------------------------------------------------------------------------
// The text tests

struct RejectCase {
  std::string candidate;
  Rejection expected;
};

constexpr const char* kGoodKey = "HKEY_CURRENT_USER\\software\\acme";

void ExpectRejections(const std::vector<RejectCase>& cases, const char* keyPath = kGoodKey) {
  for (const auto& c : cases) {
    EXPECT_EQ(RejectCandidate(c.candidate, keyPath), c.expected)
        << "candidate: " << c.candidate << " key: " << keyPath;
  }
}

// Puts `text` into a candidate that passes every test by itself.
std::string Embed(const std::string& text) {
  return "C:\\Data\\x" + text + "y.txt";
}

TEST(RejectCandidateTest, PlainPathsPass) {
  ExpectRejections({
      {"C:\\Program Files\\Acme\\acme.exe", Rejection::kNone},
      {"c:\\games\\game.exe", Rejection::kNone},
      {"W:\\games\\game.exe", Rejection::kNone},
      {"B:\\games\\game.exe", Rejection::kNone},
      {"C:\\Data\\Reports\\", Rejection::kNone},
      {"C:\\Data\\*.txt", Rejection::kNone},
      {Embed(""), Rejection::kNone},
  });
}

TEST(RejectCandidateTest, NeedsABackslash) {
  ExpectRejections({
      {"", Rejection::kNoBackslash},
      {"C:/Program Files/Acme/acme.exe", Rejection::kNoBackslash},
      {"0x000000FF (2", Rejection::kNoBackslash},
  });
}

TEST(RejectCandidateTest, BackslashFollowedByADigit) {
  std::vector<RejectCase> cases;
  for (char d = '0'; d <= '9'; ++d) {
    cases.push_back({"C:\\Tools\\" + std::string(1, d) + "zip\\x.exe", Rejection::kBackslashDigit});
  }
  cases.push_back({"C:\\Tools\\7zip\\7z.exe", Rejection::kBackslashDigit});
  // A digit elsewhere is fine.
  cases.push_back({"C:\\Tools\\zip7\\z7.exe", Rejection::kNone});
  ExpectRejections(cases);
}

TEST(RejectCandidateTest, ListCharacters) {
  std::vector<RejectCase> cases;
  for (const char* text : {"2:", "1:", "0:", "!", "?", ". ."}) {
    cases.push_back({Embed(text), Rejection::kListCharacter});
  }
  cases.push_back({Embed("3:"), Rejection::kLateColon});  // only 0, 1 and 2 are listed
  cases.push_back({Embed(".."), Rejection::kCommandCharacter});
  cases.push_back({Embed(". "), Rejection::kNone});
  ExpectRejections(cases);
}

TEST(RejectCandidateTest, DrivesOtherThanBCAndW) {
  std::vector<RejectCase> cases;
  for (char letter : std::string("ADEFGHIJKLMNOPQRSTUVXYZ")) {
    for (char c : {letter, LowerAscii(letter)}) {
      const std::string drive = std::string(1, c) + ":";
      cases.push_back({drive + "\\Games\\game.exe", Rejection::kOtherDrive});
      cases.push_back({Embed(drive), Rejection::kOtherDrive});
    }
  }
  // B, C and W are let through here; inside the path their colon is late.
  for (char c : std::string("bBcCwW")) {
    cases.push_back({std::string(1, c) + ":\\Games\\game.exe", Rejection::kNone});
    cases.push_back({Embed(std::string(1, c) + ":"), Rejection::kLateColon});
  }
  ExpectRejections(cases);
  EXPECT_EQ(RejectCandidate("D:\\Games\\game.exe", kGoodKey), Rejection::kOtherDrive);
}

TEST(RejectCandidateTest, ColonAtTheFourthCharacterOrLater) {
  ExpectRejections({
      {"C:\\:Data\\x.txt", Rejection::kLateColon},
      {"C:\\Data\\report :x", Rejection::kLateColon},
      {"C:\\Data\\x.txt:", Rejection::kOtherDrive},  // "t:" is a drive designator first
      {"C::\\Data\\x.txt", Rejection::kNone},        // the third character is not late
      {":C:\\Data\\x.txt", Rejection::kNone},
  });
}

TEST(RejectCandidateTest, CommandCharacters) {
  std::vector<RejectCase> cases;
  for (const char* text : {">", "%", "..", ";", ",", "+", "-", "/", "^"}) {
    cases.push_back({Embed(text), Rejection::kCommandCharacter});
  }
  cases.push_back({"C:\\Program Files\\Acme\\acme.exe /s", Rejection::kCommandCharacter});
  cases.push_back({"C:\\Data\\%TEMP%\\x.txt", Rejection::kCommandCharacter});
  cases.push_back({Embed("<"), Rejection::kNone});  // not listed
  ExpectRejections(cases);
}

TEST(RejectCandidateTest, ExcludedWordsInTheListedCasesOnly) {
  std::vector<RejectCase> cases;
  for (const char* word :
       {"fax", "msi", "Fax", "Msi", "FAX", "MSI", "cache", "Cache", "norton", "NORTON", "Norton",
        "symantec", "Symantec", "Network", "blank", "Blank", "BLANK", "Local"}) {
    cases.push_back({Embed(word), Rejection::kExcludedWord});
  }
  for (const char* word : {"FaX", "fAX", "mSi", "MSi", "CACHE", "cAche", "NorTon", "SYMANTEC",
                           "network", "NETWORK", "bLANK", "local", "LOCAL"}) {
    cases.push_back({Embed(word), Rejection::kNone});
  }
  ExpectRejections(cases);
}

TEST(RejectCandidateTest, DotWithTrailingBackslash) {
  ExpectRejections({
      {"C:\\Apps\\App 2.0\\", Rejection::kFolderWithDot},
      {"C:\\Apps\\App.x\\Sub\\", Rejection::kFolderWithDot},
      {"C:\\Apps\\App 20\\", Rejection::kNone},
      {"C:\\Apps\\App.exe", Rejection::kNone},
  });
}

TEST(RejectCandidateTest, SystemWordsInTheListedCasesOnly) {
  std::vector<RejectCase> cases;
  for (const char* word : {"RunDll32", "pagefile", "Windows", "windows", "WINDOWS"}) {
    cases.push_back({Embed(word), Rejection::kSystemWord});
  }
  for (const char* word : {"Pagefile", "PAGEFILE", "WinDows", "wINDOWS"}) {
    cases.push_back({Embed(word), Rejection::kNone});
  }
  // Other spellings of rundll32 fall to the "dll" and "DLL" words later on.
  cases.push_back({Embed("rundll32"), Rejection::kProgramWord});
  cases.push_back({Embed("RUNDLL32"), Rejection::kProgramWord});
  cases.push_back({Embed("RunDLl32"), Rejection::kNone});
  ExpectRejections(cases);
}

TEST(RejectCandidateTest, EverythingBelowClassesRoot) {
  const std::string good = "C:\\Program Files\\Acme\\acme.exe";
  EXPECT_EQ(RejectCandidate(good, "HKEY_CLASSES_ROOT"), Rejection::kClassesRoot);
  EXPECT_EQ(RejectCandidate(good, "HKEY_CLASSES_ROOT\\acme.file\\shell\\open\\command"),
            Rejection::kClassesRoot);
  // The walk lower-cases the path below the root, so a key named like the root does not count.
  EXPECT_EQ(RejectCandidate(good, "HKEY_CURRENT_USER\\software\\hkey_classes_root"),
            Rejection::kNone);
  EXPECT_EQ(RejectCandidate(good, "HKEY_LOCAL_MACHINE\\software\\classes"), Rejection::kNone);
  // Earlier tests still come first.
  EXPECT_EQ(RejectCandidate("D:\\x\\y.exe", "HKEY_CLASSES_ROOT"), Rejection::kOtherDrive);
}

TEST(RejectCandidateTest, ProgramWordsInTheListedCasesOnly) {
  std::vector<RejectCase> cases;
  for (const char* word : {"iolo", "office", "Application", "dll", "HP", "inf", "vxd", "asx",
                           "Start Menu", "IOLO", "OFFICE", "DLL", "hp", "INF", "VXD", "ASX"}) {
    cases.push_back({Embed(word), Rejection::kProgramWord});
  }
  for (const char* word : {"Iolo", "Office", "APPLICATION", "application", "Dll", "dLL", "Hp", "hP",
                           "Inf", "Vxd", "Asx", "start menu", "START MENU", "StartMenu"}) {
    cases.push_back({Embed(word), Rejection::kNone});
  }
  ExpectRejections(cases);
}

TEST(RejectCandidateTest, LengthFromTenToAHundred) {
  const std::string ten = "C:\\a\\b.txt";
  ASSERT_EQ(ten.size(), 10u);
  const std::string hundred = "C:\\" + std::string(93, 'a') + ".txt";
  ASSERT_EQ(hundred.size(), 100u);
  ExpectRejections({
      {ten, Rejection::kNone},
      {"C:\\a\\b.tx", Rejection::kLength},
      {"C:\\a\\", Rejection::kLength},
      {hundred, Rejection::kNone},
      {"C:\\" + std::string(94, 'a') + ".txt", Rejection::kLength},
      {"C:\\" + std::string(300, 'a'), Rejection::kLength},
  });
}

TEST(RejectCandidateTest, DoubleQuote) {
  ExpectRejections({
      {Embed("\""), Rejection::kQuote},
      {"C:\\Program Files\\Acme\\acme.exe\"", Rejection::kQuote},
      {Embed("'"), Rejection::kNone},
  });
}

TEST(RejectCandidateTest, TheFirstFailingTestIsReported) {
  ExpectRejections({
      {"D:\\Windows\\x.dll", Rejection::kOtherDrive},
      {"C:\\7\\Windows\\x.dll", Rejection::kBackslashDigit},
      {"C:\\Windows\\x.dll \"", Rejection::kSystemWord},
      {"C:\\x\\office\\\"", Rejection::kProgramWord},
      {"C:\\x\\\"", Rejection::kLength},
  });
}

// ---------------------------------------------------------------------------------------------
// The probes

TEST(ProbeCandidateTest, ProbesSevenTimesInOrderWhenNothingIsFound) {
  ScriptedFileSystem script;
  SpyFileSystem spy(script);
  EXPECT_EQ(ProbeCandidate(spy, "C:\\Data\\Mixed.Txt"), Probe::kNone);
  EXPECT_EQ(spy.calls, (std::vector<ProbeCall>{
                           {'F', "C:\\Data\\Mixed.Txt"},
                           {'F', "c:\\data\\mixed.txt"},
                           {'F', "C:\\DATA\\MIXED.TXT"},
                           {'D', "C:\\Data\\Mixed.Txt"},
                           {'D', "C:\\Data\\Mixed.Tx"},
                           {'D', "c:\\data\\mixed.txt"},
                           {'D', "C:\\DATA\\MIXED.TXT"},
                       }));
}

TEST(ProbeCandidateTest, StopsAtTheFirstProbeThatSucceeds) {
  const std::string c = "C:\\Data\\Mixed.Txt";
  struct Case {
    Probe probe;
    const char* kind;
    std::string path;
  };
  const std::vector<Case> cases = {
      {Probe::kFile, "F", c},
      {Probe::kFileLowerCase, "F", "c:\\data\\mixed.txt"},
      {Probe::kFileUpperCase, "F", "C:\\DATA\\MIXED.TXT"},
      {Probe::kFolder, "D", c},
      {Probe::kFolderLessLastCharacter, "D", "C:\\Data\\Mixed.Tx"},
      {Probe::kFolderLowerCase, "D", "c:\\data\\mixed.txt"},
      {Probe::kFolderUpperCase, "D", "C:\\DATA\\MIXED.TXT"},
  };
  for (const auto& k : cases) {
    ScriptedFileSystem script;
    (k.kind[0] == 'F' ? script.files : script.folders).insert(k.path);
    SpyFileSystem spy(script);
    EXPECT_EQ(ProbeCandidate(spy, c), k.probe) << k.path;
    EXPECT_EQ(spy.calls.size(), static_cast<size_t>(k.probe)) << k.path;
    EXPECT_EQ(spy.calls.back(), (ProbeCall{k.kind[0], k.path}));
  }
}

TEST(ProbeCandidateTest, APathAlreadyAskedIsNotAskedAgain) {
  struct Case {
    std::string candidate;
    std::vector<ProbeCall> calls;
  };
  const std::vector<Case> cases = {
      {"c:\\gone\\app.exe",
       {{'F', "c:\\gone\\app.exe"},
        {'F', "C:\\GONE\\APP.EXE"},
        {'D', "c:\\gone\\app.exe"},
        {'D', "c:\\gone\\app.ex"},
        {'D', "C:\\GONE\\APP.EXE"}}},
      {"C:\\GONE\\APP.EXE",
       {{'F', "C:\\GONE\\APP.EXE"},
        {'F', "c:\\gone\\app.exe"},
        {'D', "C:\\GONE\\APP.EXE"},
        {'D', "C:\\GONE\\APP.EX"},
        {'D', "c:\\gone\\app.exe"}}},
      {"\\\\1\\2\\3_4", {{'F', "\\\\1\\2\\3_4"}, {'D', "\\\\1\\2\\3_4"}, {'D', "\\\\1\\2\\3_"}}},
      {"C:\\Gone\\app.exe",
       {{'F', "C:\\Gone\\app.exe"},
        {'F', "c:\\gone\\app.exe"},
        {'F', "C:\\GONE\\APP.EXE"},
        {'D', "C:\\Gone\\app.exe"},
        {'D', "C:\\Gone\\app.ex"},
        {'D', "c:\\gone\\app.exe"},
        {'D', "C:\\GONE\\APP.EXE"}}},
  };
  for (const auto& c : cases) {
    ScriptedFileSystem none;
    SpyFileSystem spy(none);
    EXPECT_EQ(ProbeCandidate(spy, c.candidate), Probe::kNone) << c.candidate;
    EXPECT_EQ(spy.calls, c.calls) << c.candidate;
  }
  // The skipped probe's answer would have been the same: an all-lower folder is found by the
  // probe of the candidate itself, as before.
  ScriptedFileSystem script;
  script.folders = {"c:\\data\\reports"};
  EXPECT_EQ(ProbeCandidate(script, "c:\\data\\reports"), Probe::kFolder);
}

// Answers the folder question together with the file question, as the Win32 file system does.
class AnsweringFileSystem : public SpyFileSystem {
 public:
  explicit AnsweringFileSystem(ScriptedFileSystem& script)
      : SpyFileSystem(script), script_(script) {}
  FileAnswer FileExistsAndFolder(const std::string& path) override {
    return {FileExists(path), script_.folders.count(path) > 0, {}};
  }

 private:
  ScriptedFileSystem& script_;
};

TEST(ProbeCandidateTest, FolderAnswersThatCameWithTheFileProbeAreNotAskedAgain) {
  struct Case {
    std::string folder;  // the one folder that exists
    Probe probe;
    std::vector<ProbeCall> calls;
  };
  const std::string c = "C:\\Gone\\app.exe";
  const std::vector<Case> cases = {
      {"",
       Probe::kNone,
       {{'F', c},
        {'F', "c:\\gone\\app.exe"},
        {'F', "C:\\GONE\\APP.EXE"},
        {'D', "C:\\Gone\\app.ex"}}},
      {c, Probe::kFolder, {{'F', c}, {'F', "c:\\gone\\app.exe"}, {'F', "C:\\GONE\\APP.EXE"}}},
      {"C:\\Gone\\app.ex",
       Probe::kFolderLessLastCharacter,
       {{'F', c},
        {'F', "c:\\gone\\app.exe"},
        {'F', "C:\\GONE\\APP.EXE"},
        {'D', "C:\\Gone\\app.ex"}}},
      {"c:\\gone\\app.exe",
       Probe::kFolderLowerCase,
       {{'F', c},
        {'F', "c:\\gone\\app.exe"},
        {'F', "C:\\GONE\\APP.EXE"},
        {'D', "C:\\Gone\\app.ex"}}},
      {"C:\\GONE\\APP.EXE",
       Probe::kFolderUpperCase,
       {{'F', c},
        {'F', "c:\\gone\\app.exe"},
        {'F', "C:\\GONE\\APP.EXE"},
        {'D', "C:\\Gone\\app.ex"}}},
  };
  for (const auto& k : cases) {
    ScriptedFileSystem script;
    script.folders = {k.folder};
    AnsweringFileSystem fs(script);
    EXPECT_EQ(ProbeCandidate(fs, c), k.probe) << k.folder;
    EXPECT_EQ(fs.calls, k.calls) << k.folder;
  }
}

// Also settles the folder less the last character, where the script says so.
class SettlingFileSystem : public AnsweringFileSystem {
 public:
  SettlingFileSystem(ScriptedFileSystem& script, std::optional<bool> lessLast)
      : AnsweringFileSystem(script), lessLast_(lessLast) {}
  FileAnswer FileExistsAndFolder(const std::string& path) override {
    FileAnswer answer = AnsweringFileSystem::FileExistsAndFolder(path);
    answer.folderLessLastCharacter = lessLast_;
    return answer;
  }

 private:
  std::optional<bool> lessLast_;
};

TEST(ProbeCandidateTest, AFolderLessLastCharacterAnswerThatCameWithTheFileProbeIsUsed) {
  const std::string c = "C:\\Gone\\app.exe";
  const std::vector<ProbeCall> fileProbes = {
      {'F', c}, {'F', "c:\\gone\\app.exe"}, {'F', "C:\\GONE\\APP.EXE"}};
  struct Case {
    std::optional<bool> lessLast;  // what came with the first file probe
    std::string folder;            // the one folder that exists
    Probe probe;
    bool asked;  // whether the folder less the last character was asked
  };
  const Case cases[] = {
      {false, "", Probe::kNone, false},
      {false, "c:\\gone\\app.exe", Probe::kFolderLowerCase, false},
      {false, "C:\\GONE\\APP.EXE", Probe::kFolderUpperCase, false},
      {false, c, Probe::kFolder, false},
      {true, "", Probe::kFolderLessLastCharacter, false},
      {std::nullopt, "", Probe::kNone, true},
      {std::nullopt, "C:\\Gone\\app.ex", Probe::kFolderLessLastCharacter, true},
  };
  for (const auto& k : cases) {
    ScriptedFileSystem script;
    script.folders = {k.folder};
    SettlingFileSystem fs(script, k.lessLast);
    EXPECT_EQ(ProbeCandidate(fs, c), k.probe) << k.folder;
    std::vector<ProbeCall> expected = fileProbes;
    if (k.asked) expected.push_back({'D', "C:\\Gone\\app.ex"});
    EXPECT_EQ(fs.calls, expected) << k.folder << " " << k.lessLast.value_or(2);
  }
}

TEST(ProbeCandidateTest, CaseFoldingTouchesAsciiLettersOnly) {
  ScriptedFileSystem script;
  SpyFileSystem spy(script);
  ProbeCandidate(spy, "C:\\Caf\xC9\\\xE9t\xE9.TXT");
  ASSERT_EQ(spy.calls.size(), 7u);
  EXPECT_EQ(spy.calls[1].path, "c:\\caf\xC9\\\xE9t\xE9.txt");
  EXPECT_EQ(spy.calls[2].path, "C:\\CAF\xC9\\\xE9T\xE9.TXT");
}

class ProbeOnDiskTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs.AddFile("C:\\Program Files\\Acme\\acme.exe");
    fs.AddFile("C:\\Data\\notes.txt");
    fs.AddFolder("C:\\Data\\Reports");
  }
  MemoryFileSystem fs;
};

TEST_F(ProbeOnDiskTest, FilesFoldersAndWildcards) {
  struct Case {
    std::string candidate;
    Probe probe;
  };
  const std::vector<Case> cases = {
      {"C:\\Program Files\\Acme\\acme.exe", Probe::kFile},
      {"c:\\PROGRAM FILES\\acme\\Acme.exe", Probe::kFile},
      {"C:\\Program Files\\Acme\\acme.ex", Probe::kNone},
      {"C:\\Data\\*.txt", Probe::kFile},
      {"C:\\Data\\note?.txt", Probe::kFile},
      {"C:\\Data\\*.doc", Probe::kNone},
      {"C:\\Data\\Report*", Probe::kNone},  // matches only a folder
      {"C:\\Data\\Reports", Probe::kFolder},
      {"C:\\Data\\Reports\\", Probe::kFolder},
      {"C:\\Data\\Reportsx", Probe::kFolderLessLastCharacter},
      {"C:\\Data\\notes.txtx", Probe::kNone},  // a file less one character is no folder
      {"C:\\Data\\Missing\\", Probe::kNone},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ProbeCandidate(fs, c.candidate), c.probe) << c.candidate;
  }
}

// ---------------------------------------------------------------------------------------------
// One hit analysed

TEST_F(ProbeOnDiskTest, AnalyseHitRunsTheTestsBeforeAnyProbe) {
  struct Case {
    std::string keyPath;
    std::string dataText;
    Verdict verdict;
    std::string candidate;
  };
  const std::string hkcu = kGoodKey;
  const std::vector<Case> cases = {
      {hkcu, kPlaceholder, Verdict::kRejected, ""},
      {hkcu, "0x0000003A (58)", Verdict::kRejected, "0x0000003A (5"},
      {hkcu, "C:\\Program Files\\Acme\\acme.exe", Verdict::kExists,
       "C:\\Program Files\\Acme\\acme.exe"},
      {hkcu, "C:\\Program Files\\Acme\\gone.exe", Verdict::kInvalid,
       "C:\\Program Files\\Acme\\gone.exe"},
      {hkcu, "\"C:\\Program Files\\Acme\\gone.exe\"", Verdict::kInvalid,
       "C:\\Program Files\\Acme\\gone.exe"},
      {hkcu, "C:\\Program Files\\Acme\\gone.exe /s", Verdict::kRejected,
       "C:\\Program Files\\Acme\\gone.exe /s"},
      {hkcu, "D:\\Games\\game.exe", Verdict::kRejected, "D:\\Games\\game.exe"},
      {hkcu, "c:\\games\\game.exe", Verdict::kInvalid, "c:\\games\\game.exe"},
      {hkcu, "W:\\games\\game.exe", Verdict::kInvalid, "W:\\games\\game.exe"},
      {hkcu, "rundll32.exe C:\\Tools\\x.dll", Verdict::kNotAnalysed, ""},
      {hkcu, "C:\\Tools\\7zip\\7z.exe", Verdict::kRejected, "C:\\Tools\\7zip\\7z.exe"},
      {hkcu, "C:\\Apps\\App 2.0\\", Verdict::kRejected, "C:\\Apps\\App 2.0\\"},
      {hkcu, "C:\\Data\\Reports\\", Verdict::kExists, "C:\\Data\\Reports\\"},
      {hkcu, "C:\\Data\\Reportsx", Verdict::kExists, "C:\\Data\\Reportsx"},
      {"HKEY_CLASSES_ROOT\\acme\\shell\\open\\command", "C:\\Program Files\\Acme\\gone.exe",
       Verdict::kRejected, "C:\\Program Files\\Acme\\gone.exe"},
  };
  for (const auto& c : cases) {
    ScriptedFileSystem none;
    SpyFileSystem spy(c.verdict == Verdict::kRejected ? static_cast<FileSystem&>(none) : fs);
    const Analysis a = AnalyseHit(spy, c.keyPath, c.dataText);
    EXPECT_EQ(a.verdict, c.verdict) << c.dataText;
    EXPECT_EQ(a.candidate, c.candidate) << c.dataText;
    EXPECT_EQ(a.rejection != Rejection::kNone, c.verdict == Verdict::kRejected) << c.dataText;
    if (c.verdict == Verdict::kRejected || c.verdict == Verdict::kNotAnalysed) {
      EXPECT_TRUE(spy.calls.empty()) << c.dataText;
    } else {
      EXPECT_GE(spy.Probes(), 1u);
      EXPECT_LE(spy.Probes(), 7u) << c.dataText;
    }
    if (c.verdict == Verdict::kInvalid) {
      // An all-lower candidate is not asked again in lower case.
      EXPECT_EQ(spy.Probes(), c.candidate == LowerAscii(c.candidate) ? 5u : 7u) << c.dataText;
    }
  }
}

TEST(AnalyseHitTest, ClippedDataTextsKeepTheirCutMarks) {
  // A path of 150 characters, clipped by the walk to its first 100 and the right mark.
  const std::string path = "C:\\" + std::string(140, 'a') + "\\b.exe";
  const std::string clipped = path.substr(0, 100) + kRightMark;
  ScriptedFileSystem none;
  SpyFileSystem spy(none);
  const Analysis a = AnalyseHit(spy, kGoodKey, clipped);
  EXPECT_EQ(a.candidate, clipped);
  EXPECT_EQ(a.rejection, Rejection::kLength);
  EXPECT_TRUE(spy.calls.empty());
  for (const std::string& cut : {"\"" + path.substr(0, 99) + kRightMark, ":" + clipped.substr(1)}) {
    EXPECT_EQ(AnalyseHit(spy, kGoodKey, cut).rejection, Rejection::kCutData) << cut;
  }
  EXPECT_TRUE(spy.calls.empty());
  EXPECT_EQ(AnalyseHit(spy, kGoodKey, path.substr(0, 100)).verdict, Verdict::kInvalid);  // probed
  // Clipped on both sides, the first ":" lies too far in and the value is not looked at.
  const std::string both = kLeftMark + "xC:\\" + std::string(97, 'a') + kRightMark;
  EXPECT_EQ(AnalyseHit(spy, kGoodKey, both).verdict, Verdict::kNotAnalysed);
}

// ---------------------------------------------------------------------------------------------
// Recording invalid values

constexpr const char* kLog = "C:\\Calvorin\\rrr.TXT";

struct Hit {
  std::string keyPath = kGoodKey;
  std::string valueName = "Path";
  std::string dataText;
  std::int32_t keyPos = 0, namePos = 0, dataPos = 2, keyLen = 0, nameLen = 0, dataLen = 2;
  Hkey root = kHkeyCurrentUser;
};

bool Send(InvalidReferenceScan& scan, const Hit& h) {
  return scan.SearchMatch(TResult(h.keyPath, h.valueName, h.dataText, h.keyPos, h.namePos,
                                  h.dataPos, h.keyLen, h.nameLen, h.dataLen, h.root));
}

class ScanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs.AddFolder("C:\\Calvorin");
    fs.AddFile("C:\\Program Files\\Acme\\acme.exe");
    scan.onRecorded = [this](int index) {
      // The row and the entry are both in place when the window is told.
      EXPECT_EQ(static_cast<size_t>(index) + 1, scan.Results().size());
      EXPECT_EQ(scan.HitCount(), index + 1);
      recorded.push_back(index);
    };
  }
  MemoryFileSystem fs;
  InvalidReferenceScan scan{fs, kLog};
  std::vector<int> recorded;
};

TEST_F(ScanTest, StartsWithTheLogHeaderOnlyAndWritesNothing) {
  EXPECT_EQ(scan.HitCount(), 0);
  EXPECT_TRUE(scan.Results().empty());
  EXPECT_EQ(LogLines(scan), std::vector<std::string>{"Memo2"});
  EXPECT_EQ(fs.Content(kLog), nullptr);
  EXPECT_FALSE(scan.Full());
  EXPECT_EQ(LogPath(InvalidReferenceScan(fs)), "rrr.TXT");
}

TEST_F(ScanTest, RecordsAnInvalidValueEverywhereInOrder) {
  Hit h;
  h.keyPath = "HKEY_LOCAL_MACHINE\\software\\acme";
  h.valueName = "Quoted";
  h.dataText = "\"C:\\Program Files\\Acme\\gone.exe\"";
  h.keyPos = 7;
  h.namePos = 3;
  h.dataPos = 3;
  h.keyLen = 4;
  h.nameLen = 5;
  h.dataLen = 2;
  h.root = kHkeyLocalMachine;
  ASSERT_TRUE(Send(scan, h));

  ASSERT_EQ(scan.HitCount(), 1);
  EXPECT_EQ(scan.HitKeyPath(1), h.keyPath);
  EXPECT_EQ(scan.HitValueName(1), "Quoted");
  EXPECT_EQ(scan.HitDataText(1), h.dataText);  // the whole data text, quotes included

  ASSERT_EQ(scan.Results().size(), 1u);
  const TResult& r = scan.Results()[0];
  EXPECT_EQ(r.KeyPath, h.keyPath);
  EXPECT_EQ(r.ValueName, h.valueName);
  EXPECT_EQ(r.DataText, h.dataText);
  EXPECT_EQ(r.KeyPos, 7);
  EXPECT_EQ(r.NamePos, 3);
  EXPECT_EQ(r.DataPos, 3);
  EXPECT_EQ(r.KeyLen, 4);
  EXPECT_EQ(r.NameLen, 5);
  EXPECT_EQ(r.DataLen, 2);
  EXPECT_EQ(r.Root, kHkeyLocalMachine);

  EXPECT_EQ(recorded, std::vector<int>{0});
  // The log holds the bare candidate.
  EXPECT_EQ(LogLines(scan),
            (std::vector<std::string>{"Memo2", "C:\\Program Files\\Acme\\gone.exe"}));
  ASSERT_NE(fs.Content(kLog), nullptr);
  EXPECT_EQ(*fs.Content(kLog), "Memo2\r\nC:\\Program Files\\Acme\\gone.exe\r\n");
}

TEST_F(ScanTest, ValidRejectedAndUnanalysedValuesLeaveNoTrace) {
  for (const std::string& data :
       {std::string("C:\\Program Files\\Acme\\acme.exe"), std::string("D:\\Games\\game.exe"),
        std::string("rundll32.exe C:\\Tools\\x.dll"), kPlaceholder}) {
    Hit h;
    h.dataText = data;
    EXPECT_FALSE(Send(scan, h)) << data;
  }
  EXPECT_EQ(scan.HitCount(), 0);
  EXPECT_TRUE(scan.Results().empty());
  EXPECT_TRUE(recorded.empty());
  EXPECT_EQ(LogLines(scan).size(), 1u);
  EXPECT_EQ(fs.Content(kLog), nullptr);
}

TEST_F(ScanTest, ReplacesAnOldLogAndRewritesItWholeAfterEachHit) {
  fs.AddFile(kLog, "left over from an earlier run\r\nC:\\old\\entry.exe\r\n");
  Hit a;
  a.dataText = "C:\\Gone\\first.exe";
  ASSERT_TRUE(Send(scan, a));
  EXPECT_EQ(*fs.Content(kLog), "Memo2\r\nC:\\Gone\\first.exe\r\n");
  Hit b;
  b.dataText = "\"W:\\Gone\\second.exe\"";
  ASSERT_TRUE(Send(scan, b));
  EXPECT_EQ(*fs.Content(kLog), "Memo2\r\nC:\\Gone\\first.exe\r\nW:\\Gone\\second.exe\r\n");
  EXPECT_EQ(LogText(scan), *fs.Content(kLog));
  EXPECT_EQ(recorded, (std::vector<int>{0, 1}));
}

TEST_F(ScanTest, AppendsEachHitOnceTheFileHoldsTheLogAndRewritesItWhenItDoesNot) {
  for (int i = 0; i < 50; ++i) {
    Hit h;
    h.dataText = Format("C:\\Gone\\f%03d.exe", i);
    ASSERT_TRUE(Send(scan, h));
    ASSERT_EQ(*fs.Content(kLog), LogText(scan)) << i;  // the whole log after every hit
  }
  EXPECT_EQ(fs.WholeWrites(), 1u);  // the first hit of the process; the rest are appended
  EXPECT_EQ(fs.AppendOpens(), 1u);  // through one handle
  EXPECT_EQ(fs.OpenStreams(), 1u);

  // Held open, the file may still be emptied, replaced or deleted by others, during a scan or
  // between scans (where it may also be edited to the same length): the next hit finds the
  // file is not what it wrote and writes the whole log again.
  const std::vector<std::pair<const char*, std::function<void()>>> changes = {
      {"emptied", [&] { fs.AddFile(kLog, ""); }},
      {"replaced",
       [&] {
         ASSERT_TRUE(fs.Remove(kLog));
         fs.AddFile(kLog, "someone else's\r\n");
       }},
      {"deleted", [&] { ASSERT_TRUE(fs.Remove(kLog)); }},
      {"edited between scans",
       [&] {
         scan.CloseLog();
         EXPECT_EQ(fs.OpenStreams(), 0u);
         std::string same(fs.Content(kLog)->size(), 'x');
         fs.AddFile(kLog, same);
       }},
  };
  std::size_t writes = fs.WholeWrites();
  for (const auto& [what, change] : changes) {
    SCOPED_TRACE(what);
    change();
    Hit h;
    h.dataText = std::string("C:\\Gone\\after ") + what + ".exe";
    ASSERT_TRUE(Send(scan, h));
    EXPECT_EQ(fs.WholeWrites(), ++writes);
    EXPECT_EQ(*fs.Content(kLog), LogText(scan));
  }
  EXPECT_EQ(LogLines(scan).size(), 55u);
}

TEST_F(ScanTest, AFailedAppendClosesTheFileAndRewritesItWhole) {
  Hit h;
  h.dataText = "C:\\Gone\\first.exe";
  ASSERT_TRUE(Send(scan, h));
  h.dataText = "C:\\Gone\\second.exe";
  ASSERT_TRUE(Send(scan, h));
  ASSERT_EQ(fs.AppendOpens(), 1u);

  fs.FailStreamWrites(true);
  h.dataText = "C:\\Gone\\third.exe";
  ASSERT_TRUE(Send(scan, h));
  EXPECT_EQ(fs.WholeWrites(), 2u);
  EXPECT_EQ(fs.OpenStreams(), 0u);  // the failed handle is gone before the rewrite
  EXPECT_EQ(*fs.Content(kLog), LogText(scan));
  EXPECT_EQ(LogLines(scan).size(), 4u);

  // The file holds the log again: the next hit opens a new handle and appends.
  fs.FailStreamWrites(false);
  h.dataText = "C:\\Gone\\fourth.exe";
  ASSERT_TRUE(Send(scan, h));
  EXPECT_EQ(fs.WholeWrites(), 2u);
  EXPECT_EQ(fs.AppendOpens(), 2u);
  EXPECT_EQ(*fs.Content(kLog),
            "Memo2\r\nC:\\Gone\\first.exe\r\nC:\\Gone\\second.exe\r\nC:\\Gone\\third.exe\r\n"
            "C:\\Gone\\fourth.exe\r\n");
  EXPECT_EQ(scan.HitCount(), 4);
}

TEST_F(ScanTest, TheLogFileIsClosedWhenTheScanEndsOrDies) {
  Hit h;
  h.dataText = "C:\\Gone\\first.exe";
  ASSERT_TRUE(Send(scan, h));
  EXPECT_FALSE(LogFileOpen(scan));  // the first hit rewrote the file whole
  h.dataText = "C:\\Gone\\second.exe";
  ASSERT_TRUE(Send(scan, h));
  EXPECT_TRUE(LogFileOpen(scan));
  scan.CloseLog();
  EXPECT_EQ(fs.OpenStreams(), 0u);

  // A later scan first rewrites its file whole, then appends through a new handle, dropped
  // with the object.
  {
    InvalidReferenceScan other(fs, "C:\\Calvorin\\other.TXT");
    h.dataText = "C:\\Gone\\third.exe";
    ASSERT_TRUE(Send(other, h));
    h.dataText = "C:\\Gone\\fourth.exe";
    ASSERT_TRUE(Send(other, h));
    ASSERT_TRUE(Send(scan, h));
    ASSERT_TRUE(Send(scan, h));
    EXPECT_EQ(fs.OpenStreams(), 2u);
  }
  EXPECT_EQ(fs.OpenStreams(), 1u);
  EXPECT_EQ(*fs.Content(kLog),
            "Memo2\r\nC:\\Gone\\first.exe\r\nC:\\Gone\\second.exe\r\nC:\\Gone\\fourth.exe\r\n"
            "C:\\Gone\\fourth.exe\r\n");
  EXPECT_EQ(*fs.Content("C:\\Calvorin\\other.TXT"),
            "Memo2\r\nC:\\Gone\\third.exe\r\nC:\\Gone\\fourth.exe\r\n");
}

TEST_F(ScanTest, ClearStartsANewScanButKeepsTheLog) {
  Hit a;
  a.dataText = "C:\\Gone\\first.exe";
  Hit b;
  b.dataText = "C:\\Gone\\second.exe";
  ASSERT_TRUE(Send(scan, a));
  ASSERT_TRUE(Send(scan, b));
  scan.Clear();
  EXPECT_EQ(scan.HitCount(), 0);
  EXPECT_TRUE(scan.Results().empty());
  EXPECT_THROW(scan.HitKeyPath(1), std::out_of_range);

  recorded.clear();
  Hit c;
  c.dataText = "C:\\Gone\\third.exe";
  ASSERT_TRUE(Send(scan, c));
  EXPECT_EQ(scan.HitCount(), 1);
  EXPECT_EQ(scan.HitDataText(1), c.dataText);
  EXPECT_EQ(scan.Results()[0].DataText, c.dataText);
  EXPECT_EQ(recorded, std::vector<int>{0});
  EXPECT_EQ(*fs.Content(kLog),
            "Memo2\r\nC:\\Gone\\first.exe\r\nC:\\Gone\\second.exe\r\nC:\\Gone\\third.exe\r\n");
}

TEST_F(ScanTest, RowsOutsideTheTableThrow) {
  Hit a;
  a.dataText = "C:\\Gone\\first.exe";
  ASSERT_TRUE(Send(scan, a));
  EXPECT_EQ(scan.HitValueName(1), "Path");
  EXPECT_THROW(scan.HitKeyPath(0), std::out_of_range);
  EXPECT_THROW(scan.HitValueName(2), std::out_of_range);
  EXPECT_THROW(scan.HitDataText(-1), std::out_of_range);
}

TEST(ScanLogFailureTest, AFailedLogWriteHidesNothingAndIsKeptOnce) {
  MemoryFileSystem fs;
  InvalidReferenceScan scan(fs, "C:\\Missing\\rrr.TXT");
  int recorded = 0;
  scan.onRecorded = [&](int) { ++recorded; };
  Hit a;
  a.dataText = "C:\\Gone\\first.exe";
  EXPECT_TRUE(Send(scan, a));
  EXPECT_TRUE(Send(scan, a));  // fails again, and is kept once
  EXPECT_NE(scan.TakeLogFailure().value_or("").find("C:\\Missing\\rrr.TXT"), std::string::npos);
  EXPECT_FALSE(scan.TakeLogFailure().has_value());
  EXPECT_EQ(scan.Results().size(), 2u);
  EXPECT_EQ(recorded, 2);

  // Once the folder is there, the next hit writes the whole log, the failed line included.
  fs.AddFolder("C:\\Missing");
  Hit b;
  b.dataText = "C:\\Gone\\second.exe";
  ASSERT_TRUE(Send(scan, b));
  EXPECT_EQ(scan.HitDataText(3), b.dataText);
  EXPECT_EQ(*fs.Content("C:\\Missing\\rrr.TXT"),
            "Memo2\r\nC:\\Gone\\first.exe\r\n"
            "C:\\Gone\\first.exe\r\nC:\\Gone\\second.exe\r\n");
}

TEST(ScanTableTest, HoldsAHundredThousandRowsAndNoMore) {
  ScriptedFileSystem script;  // nothing exists
  SpyFileSystem spy(script, /*keepPaths=*/false);
  InvalidReferenceScan scan(spy, "rrr.TXT");
  int fullCalls = 0;
  int lastIndex = -1;
  scan.onFull = [&] {
    ++fullCalls;
    EXPECT_EQ(scan.HitCount(), kHitTableRows);
  };
  scan.onRecorded = [&](int index) { lastIndex = index; };

  Hit h;
  for (int i = 1; i <= kHitTableRows; ++i) {
    h.dataText = Format("C:\\Gone\\f%06d.exe", i);
    ASSERT_TRUE(Send(scan, h)) << i;
    ASSERT_EQ(fullCalls, i == kHitTableRows ? 1 : 0) << i;
  }
  EXPECT_TRUE(scan.Full());
  EXPECT_EQ(scan.HitCount(), kHitTableRows);
  EXPECT_EQ(scan.Results().size(), static_cast<size_t>(kHitTableRows));
  EXPECT_EQ(lastIndex, kHitTableRows - 1);
  EXPECT_EQ(scan.HitDataText(kHitTableRows), "C:\\Gone\\f100000.exe");
  EXPECT_EQ(scan.Results().back().DataText, "C:\\Gone\\f100000.exe");
  EXPECT_EQ(script.writes, static_cast<size_t>(kHitTableRows));
  EXPECT_EQ(script.lastWriteSize, LogText(scan).size());
  EXPECT_EQ(LogLines(scan).size(), static_cast<size_t>(kHitTableRows) + 1);
  EXPECT_EQ(spy.calls.size(), static_cast<size_t>(kHitTableRows) * 8);  // seven probes, one write

  // One more: not probed, not logged, not recorded.
  const size_t callsBefore = spy.calls.size();
  h.dataText = "C:\\Gone\\one_too_many.exe";
  EXPECT_FALSE(Send(scan, h));
  EXPECT_EQ(spy.calls.size(), callsBefore);
  EXPECT_EQ(scan.HitCount(), kHitTableRows);
  EXPECT_EQ(scan.Results().size(), static_cast<size_t>(kHitTableRows));
  EXPECT_EQ(LogLines(scan).size(), static_cast<size_t>(kHitTableRows) + 1);
  EXPECT_EQ(script.writes, static_cast<size_t>(kHitTableRows));
  EXPECT_EQ(fullCalls, 1);
  EXPECT_EQ(lastIndex, kHitTableRows - 1);

  // A new scan has room again.
  scan.Clear();
  EXPECT_FALSE(scan.Full());
  EXPECT_TRUE(Send(scan, h));
  EXPECT_EQ(scan.HitCount(), 1);
  EXPECT_EQ(lastIndex, 0);
}

}  // namespace
}  // namespace calvorin
