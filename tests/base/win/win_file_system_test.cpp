// The Win32 FileSystem and the analysis on Wine's real files, in a folder the tests create and
// remove under C:\CalvorinTests\Analysis.
#include "base/win/win_file_system.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>

#include "base/win/unique_handle.h"
#include "scan/invalid_reference_scan.h"
#include "support/scan_log_access.h"
#include "support/win/wine_test_support.h"

namespace calvorin::win32 {
namespace {

const std::string kTop = "C:\\CalvorinTests";
const std::string kDir = "C:\\CalvorinTests\\Analysis";

using testing::LogFileOpen;
using testing::LogLines;
using testing::LogText;
using testing::ReadWholeFile;
using testing::RemoveTree;

void MakeFile(const std::string& path, const std::string& content = "x",
              DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
  UniqueFile file(
      ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, attributes, nullptr));
  ASSERT_TRUE(file) << path << " error " << ::GetLastError();
  DWORD written = 0;
  ASSERT_TRUE(::WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &written,
                          nullptr));
}

void MakeFolder(const std::string& path) {
  ASSERT_TRUE(::CreateDirectoryA(path.c_str(), nullptr)) << path << " error " << ::GetLastError();
}

// A drive letter that names no drive of this machine.
std::string MissingDrive() {
  const DWORD drives = ::GetLogicalDrives();
  for (int i = 25; i >= 3; --i) {
    if ((drives & (1u << i)) == 0) return std::string(1, static_cast<char>('A' + i)) + ":";
  }
  return "";
}

class WinFileSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RemoveTree(kTop);
    MakeFolder(kTop);
    MakeFolder(kDir);
    MakeFile(kDir + "\\file.txt");
    MakeFile(kDir + "\\MixedCase.TXT");
    MakeFolder(kDir + "\\Folder");
    MakeFile(kDir + "\\Folder\\inner.dat");
    MakeFolder(kDir + "\\OnlyFolders");
    MakeFolder(kDir + "\\OnlyFolders\\Sub");
  }
  void TearDown() override { RemoveTree(kTop); }
  WinFileSystem& fs = SystemFileSystem();
};

TEST_F(WinFileSystemTest, FilesAndFolders) {
  struct Case {
    std::string path;
    bool file;
    bool folder;
  };
  const Case cases[] = {
      {kDir + "\\file.txt", true, false},
      {kDir + "\\missing.txt", false, false},
      {kDir + "\\Folder", false, true},
      {kDir + "\\Folder\\", false, true},     // FindFirstFile refuses a trailing backslash
      {kDir + "\\file.txt\\", false, false},  // a file is no folder
      {kDir + "\\Folder\\inner.dat", true, false},
      {kDir + "\\Missing\\inner.dat", false, false},
      // Names differing only in case name the same entry.
      {kDir + "\\mixedcase.txt", true, false},
      {kDir + "\\MIXEDCASE.TXT", true, false},
      {"c:\\calvorintests\\ANALYSIS\\folder", false, true},
      {"C:\\CALVORINTESTS\\ANALYSIS\\FILE.TXT", true, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(fs.FileExists(c.path), c.file) << c.path;
    EXPECT_EQ(fs.FolderExists(c.path), c.folder) << c.path;
  }
}

TEST_F(WinFileSystemTest, WildcardsFollowTheFirstEntryFound) {
  EXPECT_TRUE(fs.FileExists(kDir + "\\*.txt"));
  EXPECT_TRUE(fs.FileExists(kDir + "\\fil?.txt"));
  EXPECT_FALSE(fs.FileExists(kDir + "\\Folder\\*"));  // "." comes first, and it is a folder
  EXPECT_FALSE(fs.FileExists(kDir + "\\*.none"));
  EXPECT_FALSE(fs.FileExists(kDir + "\\Fold*"));           // matches only a folder
  EXPECT_FALSE(fs.FileExists(kDir + "\\OnlyFolders\\*"));  // ".", ".." and a folder
  EXPECT_FALSE(fs.FolderExists(kDir + "\\Fold*"));         // attributes of a pattern cannot be read
}

// The 8.3 name Windows gave the last part of `path` ("" when it has none).
std::string ShortName(const std::string& path) {
  char shortPath[MAX_PATH] = "";
  if (::GetShortPathNameA(path.c_str(), shortPath, sizeof shortPath) == 0) return "";
  const std::string full = shortPath;
  return full.substr(full.find_last_of('\\') + 1);
}

// FileExists answers some missing paths from GetFileAttributesA; every answer must still be
// FindFirstFileA's own.
bool FindFirstSaysFile(const std::string& path) {
  WIN32_FIND_DATAA data;
  UniqueFind find(::FindFirstFileA(path.c_str(), &data));
  return find && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

TEST_F(WinFileSystemTest, FileExistsGivesFindFirstFilesAnswers) {
  MakeFile(kDir + "\\A Long File Name.text");
  const std::string shortName = ShortName(kDir + "\\A Long File Name.text");
  ASSERT_FALSE(shortName.empty());
  const std::string drive = MissingDrive();
  char cwd[MAX_PATH];
  ASSERT_GT(::GetCurrentDirectoryA(sizeof cwd, cwd), 0u);
  ASSERT_TRUE(::SetCurrentDirectoryA(kDir.c_str()));
  const std::string paths[] = {
      kDir + "\\file.txt",
      kDir + "\\FILE.TXT",
      kDir + "\\missing.txt",
      kDir + "\\Missing\\x.txt",
      kDir + "\\Missing\\Deeper\\x.txt",
      kDir + "\\Folder",
      kDir + "\\Folder\\",
      kDir + "\\file.txt\\",
      kDir + "\\file.txt\\inner.dat",
      kDir + "\\missing.txt\\",
      kDir + "\\Folder\\inner.dat",
      kDir + "\\Folder\\..\\file.txt",
      kDir + "\\Folder\\.",
      kDir + "\\file.txt.",
      kDir + "\\file.txt ",
      kDir + "\\file.txt. .",
      kDir + "\\*.txt",
      kDir + "\\fil?.txt",
      kDir + "\\file<",
      kDir + "\\file.tx>",
      kDir + "\\Missing\\*.txt",
      kDir + "\\Fold*\\inner.dat",
      kDir + "\\" + shortName,
      kDir + "\\A Long File Name.text",
      kDir + "\\A LONG FILE NAME.TEXT",
      kDir + "\\nul",
      kDir + "\\con.txt",
      kDir + "\\COM1",
      kDir + "\\lpt1.log",
      kDir + "\\Missing\\aux",
      "C:nul",
      "nul",
      "file.txt",
      "missing.txt",
      "Folder\\inner.dat",
      ".\\file.txt",
      "Missing\\x.txt",
      "C:file.txt",
      "C:\\",
      "C:",
      drive + "\\Games\\game.exe",
      drive + "\\",
      "",
      "\\\\?\\" + kDir + "\\file.txt",
      "\\\\?\\" + kDir + "\\missing.txt",
      "\\\\.\\nul",
  };
  int files = 0;
  for (const auto& path : paths) {
    const bool expected = FindFirstSaysFile(path);
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    const bool folder =
        attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    EXPECT_EQ(fs.FileExists(path), expected) << path;
    const auto both = fs.FileExistsAndFolder(path);
    EXPECT_EQ(both.file, expected) << path;
    ASSERT_TRUE(both.folder.has_value()) << path;
    EXPECT_EQ(*both.folder, folder) << path;
    EXPECT_EQ(fs.FolderExists(path), folder) << path;
    if (both.folderLessLastCharacter) {
      EXPECT_EQ(*both.folderLessLastCharacter, fs.FolderExists(path.substr(0, path.size() - 1)))
          << path;
    }
    files += expected;
  }
  ::SetCurrentDirectoryA(cwd);
  std::printf("[   INFO   ] short name %s; %d of %zu paths are files\n", shortName.c_str(), files,
              sizeof paths / sizeof paths[0]);
  EXPECT_GE(files, 10);  // the table holds both answers
}

bool GetAttributesSaysFolder(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// A missing folder on the way settles the folder less the path's last character; wherever the
// answer is given, it must be the one GetFileAttributesA gives for that path.
TEST_F(WinFileSystemTest, TheFolderLessTheLastCharacterIsSettledOnlyWithItsOwnAnswer) {
  MakeFolder(kDir + "\\A Long Folder Name");
  const std::string shortName = ShortName(kDir + "\\A Long Folder Name");
  ASSERT_FALSE(shortName.empty());
  const std::string drive = MissingDrive();
  const std::string gone = kDir + "\\Missing";
  char cwd[MAX_PATH];
  ASSERT_GT(::GetCurrentDirectoryA(sizeof cwd, cwd), 0u);
  ASSERT_TRUE(::SetCurrentDirectoryA(kDir.c_str()));
  struct Case {
    std::string path;
    bool settled;  // the answer must come with the file probe
  };
  const Case cases[] = {
      // A folder on the way is missing: the usual invalid entry.
      {gone + "\\x.txt", true},
      {gone + "\\Deeper\\app.exe", true},
      {"C:\\CalvorinTests\\NoSuchTop\\Folder\\app.exe", true},
      {gone + "\\Folderx", true},
      {gone + "\\ab.", true},
      {gone + "\\a. ", true},
      {kDir + "\\" + shortName + "\\Missing\\x.txt", true},
      {kDir + "\\NOSUCH~9\\x.txt", true},
      {"Missing\\x.txt", true},
      // Characters beyond ASCII, unless the code page is one where "\\" may end a character.
      {gone + "\\Caf\xE9\\\xE9t\xE9.txt", ::IsDBCSLeadByte(0xE9) == FALSE},
      {"C:Missing\\x.txt", true},
      // The name left would be the missing folder itself, or no name at all.
      {gone + "\\x", false},
      {gone + "\\.x", false},
      {gone + "\\ x", false},
      {gone + "\\. x", false},
      {gone + "\\", false},
      {gone + "\\Deeper\\", false},
      // Wildcards, and device names, which resolve without any folder.
      {gone + "\\*x", false},
      {gone + "\\ab*", false},
      {gone + "\\nulx", false},
      {gone + "\\NUL.txtx", false},
      {gone + "\\com1x", false},
      {gone + "\\aux x", false},
      {gone + "\\CONIN$x", false},
      // Whatever they answer, the answer must be GetFileAttributesA's own.
      {gone + "\\..\\Folderx", false},
      {gone + "\\..\\Folder\\", false},
      {gone + "\\x\\..\\..\\Folderx", false},
      {gone + "\\.\\x.txt", false},
      {kDir + "\\Folderx", false},
      {kDir + "\\Folder\\x", false},
      {kDir + "\\Folder\\inner.datx", false},
      {kDir + "\\file.txt\\ab", false},
      {kDir + "\\file.txt\\Folderx", false},
      {kDir + "\\Folder.\\xy", false},
      {kDir + "\\Folder \\xy", false},
      {kDir + "\\Folder\\.\\xy", false},
      {drive + "\\Games\\game.exe", false},
      {drive + "\\Gamesx", false},
      {"C:\\", false},
      {"", false},
  };
  int settled = 0;
  for (const auto& c : cases) {
    const auto answer = fs.FileExistsAndFolder(c.path);
    const std::string lessLast = c.path.substr(0, c.path.empty() ? 0 : c.path.size() - 1);
    if (c.settled) {
      EXPECT_TRUE(answer.folderLessLastCharacter.has_value()) << c.path;
    }
    if (answer.folderLessLastCharacter) {
      EXPECT_EQ(*answer.folderLessLastCharacter, GetAttributesSaysFolder(lessLast)) << c.path;
      ++settled;
    }
    EXPECT_EQ(answer.file, FindFirstSaysFile(c.path)) << c.path;
    ASSERT_TRUE(answer.folder.has_value()) << c.path;
    EXPECT_EQ(*answer.folder, GetAttributesSaysFolder(c.path)) << c.path;
  }
  // Each probe's outcome is the same as if nothing had been settled.
  for (const std::string& candidate :
       {gone + "\\Folderx", kDir + "\\Folderx", gone + "\\..\\Folderx", gone + "\\app.exe"}) {
    const bool lessLast = GetAttributesSaysFolder(candidate.substr(0, candidate.size() - 1));
    const Probe probe = ProbeCandidate(fs, candidate);
    EXPECT_EQ(probe == Probe::kFolderLessLastCharacter, lessLast) << candidate;
  }
  ::SetCurrentDirectoryA(cwd);
  std::printf("[   INFO   ] short name %s; %d of %zu answers settled\n", shortName.c_str(), settled,
              sizeof cases / sizeof cases[0]);
}

TEST_F(WinFileSystemTest, FindListsEntriesWithAttributes) {
  const auto entries = fs.Find(kDir + "\\*");
  bool sawFile = false, sawFolder = false, sawCase = false;
  for (const auto& e : entries) {
    if (e.name == "file.txt") sawFile = !e.IsFolder();
    if (e.name == "Folder") sawFolder = e.IsFolder();
    if (e.name == "MixedCase.TXT") sawCase = !e.IsFolder();
  }
  EXPECT_TRUE(sawFile);
  EXPECT_TRUE(sawFolder);
  EXPECT_TRUE(sawCase);  // the name as it was created
  EXPECT_TRUE(fs.Find(kDir + "\\*.none").empty());
  EXPECT_TRUE(fs.Find(kDir + "\\Missing\\*").empty());

  // A name the ANSI code page lacks is left out, never handed out as a look-alike that a path
  // composed from it would get wrong ("?" even reads as a wildcard); Latin-1 is exact in 1252.
  wchar_t dir[MAX_PATH];
  ASSERT_GT(MultiByteToWideChar(CP_ACP, 0, kDir.c_str(), -1, dir, MAX_PATH), 0);
  const std::wstring lodz = std::wstring(dir) + L"\\\u0141\u00f3d\u017a";
  ASSERT_TRUE(CreateDirectoryW(lodz.c_str(), nullptr));
  MakeFolder(kDir + "\\caf\xe9");
  std::vector<std::string> added;
  for (const auto& e : fs.Find(kDir + "\\*")) {
    if (std::none_of(entries.begin(), entries.end(),
                     [&](const FindEntry& old) { return old.name == e.name; })) {
      added.push_back(e.name);
    }
  }
  EXPECT_EQ(added, std::vector<std::string>{"caf\xe9"});
  EXPECT_TRUE(RemoveDirectoryW(lodz.c_str()));
}

TEST_F(WinFileSystemTest, HiddenAndSystemEntriesAreFound) {
  MakeFile(kDir + "\\hidden.sys", "h", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  MakeFolder(kDir + "\\HiddenFolder");
  ASSERT_TRUE(::SetFileAttributesA((kDir + "\\HiddenFolder").c_str(),
                                   FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
  EXPECT_TRUE(fs.FileExists(kDir + "\\hidden.sys"));
  EXPECT_FALSE(fs.FolderExists(kDir + "\\hidden.sys"));
  EXPECT_TRUE(fs.FolderExists(kDir + "\\HiddenFolder"));
  EXPECT_FALSE(fs.FileExists(kDir + "\\HiddenFolder"));
  const auto entries = fs.Find(kDir + "\\hidden.sys");
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_NE(entries[0].attributes & kFileAttributeHidden, 0u);
  EXPECT_NE(entries[0].attributes & kFileAttributeSystem, 0u);
}

TEST_F(WinFileSystemTest, MissingDrivesAreAbsent) {
  const std::string drive = MissingDrive();
  ASSERT_FALSE(drive.empty());
  for (const std::string& path : {drive + "\\Games\\game.exe", drive + "\\", drive + "\\*.txt"}) {
    EXPECT_FALSE(fs.FileExists(path)) << path;
    EXPECT_FALSE(fs.FolderExists(path)) << path;
    EXPECT_TRUE(fs.Find(path).empty()) << path;
  }
}

TEST_F(WinFileSystemTest, WriteWholeFileReplacesTheFile) {
  const std::string path = kDir + "\\out.txt";
  fs.WriteWholeFile(path, "a much longer first content\r\n");
  EXPECT_EQ(ReadWholeFile(path), "a much longer first content\r\n");
  fs.WriteWholeFile(path, "short\r\n");
  EXPECT_EQ(ReadWholeFile(path), "short\r\n");
  fs.WriteWholeFile(path, "");
  EXPECT_EQ(ReadWholeFile(path), "");
  const std::string binary("\x97\x97\0\xAB\x85\r\n", 7);
  fs.WriteWholeFile(path, binary);
  EXPECT_EQ(ReadWholeFile(path), binary);
}

TEST_F(WinFileSystemTest, AppendToFileAddsAtTheEndOfAnExistingFileOnly) {
  const std::string path = kDir + "\\append.txt";
  EXPECT_THROW(fs.AppendToFile(path, "x"), EFileError);
  EXPECT_EQ(ReadWholeFile(path), "<missing>");
  fs.WriteWholeFile(path, "Memo2\r\n");
  fs.AppendToFile(path, "C:\\a.exe\r\n");
  fs.AppendToFile(path, "C:\\b.exe\r\n");
  EXPECT_EQ(ReadWholeFile(path), "Memo2\r\nC:\\a.exe\r\nC:\\b.exe\r\n");
}

TEST_F(WinFileSystemTest, AnAppendStreamWritesThroughAtOnce) {
  const std::string path = kDir + "\\stream.txt";
  EXPECT_THROW(fs.OpenForAppend(path), EFileError);
  EXPECT_EQ(ReadWholeFile(path), "<missing>");
  fs.WriteWholeFile(path, "Memo2\r\n");
  auto stream = fs.OpenForAppend(path);
  std::string expected = "Memo2\r\n";
  for (int i = 0; i < 5; ++i) {
    const std::string line = "C:\\gone" + std::to_string(i) + ".exe\r\n";
    stream->Append(line);
    expected += line;
    EXPECT_EQ(ReadWholeFile(path), expected) << i;  // another reader sees it at once
  }
  stream.reset();
  EXPECT_TRUE(::DeleteFileA(path.c_str()));
}

TEST_F(WinFileSystemTest, WriteWholeFileReplacesAHiddenFileAndKeepsItHidden) {
  const std::string path = kDir + "\\hidden.txt";
  MakeFile(path, "old content", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  fs.WriteWholeFile(path, "new");
  EXPECT_EQ(ReadWholeFile(path), "new");
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  EXPECT_NE(attributes & FILE_ATTRIBUTE_HIDDEN, 0u);
  EXPECT_NE(attributes & FILE_ATTRIBUTE_SYSTEM, 0u);
}

TEST_F(WinFileSystemTest, WriteWholeFileOverAFolderFails) {
  EXPECT_THROW(fs.WriteWholeFile(kDir + "\\Folder", "x"), EFileError);
  EXPECT_TRUE(fs.FolderExists(kDir + "\\Folder"));
  EXPECT_TRUE(fs.FileExists(kDir + "\\Folder\\inner.dat"));
}

TEST_F(WinFileSystemTest, WriteWholeFileInAMissingFolderSaysWhereAndWhy) {
  const std::string path = kDir + "\\Missing\\rrr.TXT";
  try {
    fs.WriteWholeFile(path, "x");
    FAIL() << "no EFileError";
  } catch (const EFileError& e) {
    const std::string message = e.what();
    const std::string prefix = "Cannot create file \"" + path + "\". ";
    EXPECT_EQ(message.substr(0, prefix.size()), prefix) << message;
    const std::string reason = message.substr(std::min(prefix.size(), message.size()));
    EXPECT_EQ(reason, SystemErrorText(ERROR_PATH_NOT_FOUND)) << message;
    EXPECT_GT(reason.size(), 5u) << message;
    EXPECT_NE(reason.back(), '.') << message;
    std::printf("[   INFO   ] %s\n", message.c_str());
  }
  EXPECT_EQ(ReadWholeFile(path), "<missing>");
}

TEST(SystemErrorTextTest, TrimsTheLineBreakAndFullStop) {
  for (DWORD code : {ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED}) {
    const std::string text = SystemErrorText(code);
    ASSERT_FALSE(text.empty());
    EXPECT_NE(text.back(), '.') << text;
    EXPECT_NE(text.back(), '\n') << text;
    EXPECT_EQ(text.find("System error code"), std::string::npos) << text;
  }
  EXPECT_EQ(SystemErrorText(0xDEAD0123u).find("System error code"), 0u);
}

// The analysis over the real file system, with the log going to the current directory.
class AnalysisOnDiskTest : public WinFileSystemTest {
 protected:
  void SetUp() override {
    WinFileSystemTest::SetUp();
    MakeFile(kDir + "\\present.exe");
    char cwd[MAX_PATH];
    ASSERT_GT(::GetCurrentDirectoryA(sizeof cwd, cwd), 0u);
    oldCwd_ = cwd;
    ASSERT_TRUE(::SetCurrentDirectoryA(kDir.c_str()));
  }
  void TearDown() override {
    ::SetCurrentDirectoryA(oldCwd_.c_str());
    WinFileSystemTest::TearDown();
  }
  bool Send(InvalidReferenceScan& scan, const std::string& keyPath, const std::string& data) {
    return scan.SearchMatch(TResult(keyPath, "Path", data, 0, 0, 2, 0, 0, 2, kHkeyCurrentUser));
  }

 private:
  std::string oldCwd_;
};

TEST_F(AnalysisOnDiskTest, ExistingPathsAreValidAndMissingOnesAreRecorded) {
  InvalidReferenceScan scan(SystemFileSystem());
  const std::string key = "HKEY_CURRENT_USER\\software\\calvorintests";
  struct Case {
    std::string data;
    Verdict verdict;
    Probe probe;
  };
  const Case cases[] = {
      {kDir + "\\present.exe", Verdict::kExists, Probe::kFile},
      {"c:\\calvorintests\\analysis\\PRESENT.EXE", Verdict::kExists, Probe::kFile},
      {"\"" + kDir + "\\present.exe\"", Verdict::kExists, Probe::kFile},
      {kDir + "\\*.exe", Verdict::kExists, Probe::kFile},
      {kDir + "\\Folder\\", Verdict::kExists, Probe::kFolder},
      {kDir + "\\Folderx", Verdict::kExists, Probe::kFolderLessLastCharacter},
      {kDir + "\\gone.exe", Verdict::kInvalid, Probe::kNone},
      {"\"" + kDir + "\\Folder\\gone.exe\"", Verdict::kInvalid, Probe::kNone},
      {kDir + "\\gone.exe /s", Verdict::kRejected, Probe::kNone},
  };
  int expected = 0;
  for (const auto& c : cases) {
    const Analysis a = AnalyseHit(SystemFileSystem(), key, c.data);
    EXPECT_EQ(a.verdict, c.verdict) << c.data;
    EXPECT_EQ(a.probe, c.probe) << c.data;
    const bool invalid = c.verdict == Verdict::kInvalid;
    EXPECT_EQ(Send(scan, key, c.data), invalid) << c.data;
    expected += invalid;
  }
  ASSERT_EQ(scan.HitCount(), expected);
  EXPECT_EQ(scan.HitDataText(2), "\"" + kDir + "\\Folder\\gone.exe\"");
  EXPECT_EQ(ReadWholeFile(kDir + "\\rrr.TXT"),
            "Memo2\r\n" + kDir + "\\gone.exe\r\n" + kDir + "\\Folder\\gone.exe\r\n");
}

TEST_F(AnalysisOnDiskTest, AnOldLogIsReplacedAtTheFirstHit) {
  MakeFile(kDir + "\\rrr.TXT", "an earlier run\r\nwrote a lot more than this run will\r\n");
  InvalidReferenceScan scan(SystemFileSystem());
  ASSERT_TRUE(Send(scan, "HKEY_LOCAL_MACHINE\\software\\x", "W:\\Nowhere\\gone.exe"));
  EXPECT_EQ(ReadWholeFile(kDir + "\\rrr.TXT"), "Memo2\r\nW:\\Nowhere\\gone.exe\r\n");
}

// The log is held open from the second hit to the end of the scan: whoever reads it between two
// hits sees everything so far; nobody deletes it or writes to it meanwhile.
TEST_F(AnalysisOnDiskTest, TheLogHeldOpenHoldsEverythingAfterEveryHit) {
  const std::string log = kDir + "\\rrr.TXT";
  InvalidReferenceScan scan(SystemFileSystem());
  for (int i = 0; i < 20; ++i) {
    ASSERT_TRUE(Send(scan, "HKEY_CURRENT_USER\\software\\x",
                     kDir + "\\Gone" + std::to_string(i) + "\\app.exe"));
    ASSERT_EQ(ReadWholeFile(log), LogText(scan)) << i;
  }
  EXPECT_TRUE(LogFileOpen(scan));
  EXPECT_EQ(LogLines(scan).size(), 21u);

  // Held open, it still lets others read it, delete it or put another file in its place; the
  // next hit then writes the whole log again.
  ASSERT_TRUE(::DeleteFileA(log.c_str()));
  ASSERT_TRUE(Send(scan, "HKEY_CURRENT_USER\\software\\x", kDir + "\\Gone\\deleted.exe"));
  EXPECT_EQ(ReadWholeFile(log), LogText(scan));
  // Written over by another program. (Windows also lets MoveFileEx put another file in its
  // place; Wine 8 refuses to rename over a file that is open, share mode or not.)
  {
    UniqueFile f(::CreateFileA(log.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(f);
    DWORD written = 0;
    ASSERT_TRUE(::WriteFile(f.get(), "someone else's\r\n", 16, &written, nullptr));
  }
  ASSERT_TRUE(Send(scan, "HKEY_CURRENT_USER\\software\\x", kDir + "\\Gone\\replaced.exe"));
  EXPECT_EQ(ReadWholeFile(log), LogText(scan));

  // The scan ends: the file is free, and whole.
  scan.CloseLog();
  EXPECT_EQ(ReadWholeFile(log), LogText(scan));
  ASSERT_TRUE(::DeleteFileA(log.c_str()));

  // Deleted between scans: the next hit writes the whole log again.
  ASSERT_TRUE(Send(scan, "HKEY_CURRENT_USER\\software\\x", kDir + "\\Gone\\after.exe"));
  EXPECT_EQ(ReadWholeFile(log), LogText(scan));
  EXPECT_EQ(LogLines(scan).size(), 24u);
}

// Another handle locks the log's end. Windows refuses the append (ERROR_LOCK_VIOLATION), the
// whole rewrite fails as well and the hit reports it with its line kept. Wine keeps byte-range
// locks for LockFile callers only and lets WriteFile through, so there the hit succeeds. Either
// way, once the lock is gone the next hit leaves every line in the file.
TEST_F(AnalysisOnDiskTest, ALockedLogLosesNoLine) {
  const std::string log = kDir + "\\rrr.TXT";
  const std::string key = "HKEY_CURRENT_USER\\software\\x";
  InvalidReferenceScan scan(SystemFileSystem());
  ASSERT_TRUE(Send(scan, key, kDir + "\\Gone\\one.exe"));
  ASSERT_TRUE(Send(scan, key, kDir + "\\Gone\\two.exe"));
  ASSERT_TRUE(LogFileOpen(scan));
  UniqueFile locker(::CreateFileA(log.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(locker) << ::GetLastError();
  ASSERT_TRUE(::LockFile(locker.get(), 0, 0, 1u << 20, 0));
  bool refused = false;
  try {
    Send(scan, key, kDir + "\\Gone\\three.exe");
  } catch (const EFileError& e) {
    refused = true;
    std::printf("[   INFO   ] %s\n", e.what());
  }
  std::printf("[   INFO   ] a locked log %s the append\n", refused ? "refused" : "took");
  EXPECT_EQ(scan.HitCount(), refused ? 2 : 3);
  EXPECT_EQ(LogFileOpen(scan), !refused);
  ASSERT_TRUE(::UnlockFile(locker.get(), 0, 0, 1u << 20, 0));
  locker.reset();

  ASSERT_TRUE(Send(scan, key, kDir + "\\Gone\\four.exe"));
  EXPECT_EQ(scan.HitCount(), refused ? 3 : 4);
  EXPECT_EQ(ReadWholeFile(log), "Memo2\r\n" + kDir + "\\Gone\\one.exe\r\n" + kDir +
                                    "\\Gone\\two.exe\r\n" + kDir + "\\Gone\\three.exe\r\n" + kDir +
                                    "\\Gone\\four.exe\r\n");
}

}  // namespace
}  // namespace calvorin::win32
