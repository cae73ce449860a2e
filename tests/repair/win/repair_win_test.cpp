// Repair's file operations and a whole run over Wine's real registry and files, restored
// through the shell's registry import.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <map>
#include <set>

#include "base/text.h"
#include "base/win/unique_handle.h"
#include "base/win/win_file_system.h"
#include "registry/win/win_registry.h"
#include "repair/backup.h"
#include "repair/repair.h"
#include "repair/win/win_backup_files.h"
#include "repair/win/win_file_security.h"
#include "support/path_parts.h"
#include "support/win/wine_test_support.h"

namespace calvorin::win32 {
namespace {

using testing::ReadWholeFile;
using testing::RemoveTree;
using testing::SameTextAscii;

// Sets a file's last write to a local date and time.
void SetLocalWriteTime(const std::string& path, WORD year, WORD month, WORD day, WORD hour,
                       WORD minute, WORD second) {
  SYSTEMTIME st{};
  st.wYear = year;
  st.wMonth = month;
  st.wDay = day;
  st.wHour = hour;
  st.wMinute = minute;
  st.wSecond = second;
  FILETIME local, utc;
  ASSERT_TRUE(SystemTimeToFileTime(&st, &local));
  ASSERT_TRUE(LocalFileTimeToFileTime(&local, &utc));
  UniqueFile file(
      CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(file);
  ASSERT_TRUE(SetFileTime(file.get(), nullptr, nullptr, &utc));
}

class WinBackupFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RemoveTree(folder_);
    ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), nullptr));
  }
  void TearDown() override { RemoveTree(folder_); }
  std::string Path(const char* name) const { return folder_ + "\\" + name; }
  std::string folder_ = testing::TempFolder() + "\\CalvorinBackupFiles";
  WinBackupFiles files_;
};

// Wine keeps no descriptor set on a file: it makes one up from the Unix mode.
TEST_F(WinBackupFilesTest, FileSecurityReadsTheOwnerAndEveryEntry) {
  files_.WriteAtomically(Path("s.exe"), "MZ");
  const ObjectSecurity read = WinFileSecurity().Read(Path("s.exe")).value();
  std::string seen = Format("%d: ", static_cast<int>(read.owner));
  for (const AccessEntry& e : read.entries) {
    seen += Format("%d,%d,%x,%d ", e.allow, static_cast<int>(e.trustee), e.mask, e.inheritOnly);
  }
  EXPECT_EQ(seen, "2: 1,0,1f01ff,0 1,2,1f01ff,0 1,2,1200a9,0 ");  // user; SYSTEM, user, Everyone
}

TEST_F(WinBackupFilesTest, AtomicWriteCreatesAndReplacesAndLeavesNoTemporaryFile) {
  const std::string path = Path("deletedkeys.reg");
  EXPECT_FALSE(files_.Exists(path));
  files_.WriteAtomically(path, "first\r\n");
  EXPECT_EQ(ReadWholeFile(path), "first\r\n");
  files_.WriteAtomically(path, std::string("second\0\xff", 8));
  EXPECT_EQ(ReadWholeFile(path), std::string("second\0\xff", 8));
  EXPECT_TRUE(files_.Exists(path));
  EXPECT_FALSE(files_.Exists(path + ".tmp"));
  const auto listed = files_.List(folder_ + "\\", "*");
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0].name, "deletedkeys.reg");
}

TEST_F(WinBackupFilesTest, WriteIntoAMissingFolderThrowsNamingThePath) {
  const std::string path = Path("no such folder\\deletedkeys.reg");
  try {
    files_.WriteAtomically(path, "x");
    ADD_FAILURE() << "no error";
  } catch (const EFileError& e) {
    EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
  }
  EXPECT_FALSE(files_.Exists(path));
}

TEST_F(WinBackupFilesTest, StampRenameListAndDelete) {
  const std::string path = Path("deletedkeys.reg");
  files_.WriteAtomically(path, "x");
  SetLocalWriteTime(path, 2025, 3, 4, 5, 6, 7);
  std::string stamp;
  ASSERT_TRUE(files_.LastWriteStamp(path, &stamp));
  EXPECT_EQ(stamp, "20250304-050607");
  EXPECT_FALSE(files_.LastWriteStamp(Path("missing.reg"), &stamp));

  files_.WriteAtomically(Path("other.reg"), "y");
  EXPECT_FALSE(files_.Rename(path, Path("other.reg")));  // an existing target is not replaced
  EXPECT_EQ(ReadWholeFile(Path("other.reg")), "y");
  EXPECT_TRUE(files_.Rename(path, Path("deletedkeys-20250304-050607.reg")));
  EXPECT_FALSE(files_.Exists(path));
  ASSERT_TRUE(CreateDirectoryA(Path("deletedkeys-folder.reg").c_str(), nullptr));

  const auto listed = files_.List(folder_ + "\\", "deletedkeys-*.reg");
  ASSERT_EQ(listed.size(), 1u);  // folders are not listed
  EXPECT_EQ(listed[0].name, "deletedkeys-20250304-050607.reg");
  EXPECT_TRUE(files_.Delete(Path("other.reg")));
  EXPECT_FALSE(files_.Delete(Path("other.reg")));
}

TEST_F(WinBackupFilesTest, EarlierBackupIsKeptByItsTimeAndOnlyTenRemain) {
  for (int i = 0; i < 11; ++i) {
    const std::string name = Format("deletedkeys-202401%02d-000000.reg", i + 1);
    files_.WriteAtomically(Path(name.c_str()), name);
    SetLocalWriteTime(Path(name.c_str()), 2024, 1, static_cast<WORD>(i + 1), 0, 0, 0);
  }
  const std::string path = Path("deletedkeys.reg");
  files_.WriteAtomically(path, "previous run");
  SetLocalWriteTime(path, 2024, 2, 29, 23, 59, 58);
  EXPECT_EQ(KeepPreviousBackup(files_, path), Path("deletedkeys-20240229-235958.reg"));
  PruneOldBackups(files_, path);
  EXPECT_EQ(ReadWholeFile(Path("deletedkeys-20240229-235958.reg")), "previous run");
  EXPECT_FALSE(files_.Exists(path));
  const auto listed = files_.List(folder_ + "\\", "deletedkeys-*.reg");
  EXPECT_EQ(listed.size(), kKeptBackups);
  for (int day = 1; day <= 2; ++day) {
    EXPECT_FALSE(files_.Exists(Path(Format("deletedkeys-202401%02d-000000.reg", day).c_str())));
  }
  EXPECT_TRUE(files_.Exists(Path("deletedkeys-20240103-000000.reg")));
}

// A missing file keeps the refusal's words; an editor that does not start is named, with why.
TEST(OpenBackupWithShellTest, MissingFileIsRefusedAndAnEditorThatCannotStartIsNamed) {
  const std::string missing = testing::TempFolder() + "\\calvorin no such backup.reg";
  EXPECT_EQ(RestoreFailureText(OpenBackupWithShell(missing)),
            " RESTORE FILE NOT FOUND - NO REPAIR DONE TILL NOW");
  EXPECT_EQ(RestoreFailureText(StartRegistryEditor(missing + ".exe", "C:\\windows\\win.ini")),
            "The registry editor could not be started: " + SystemErrorText(ERROR_FILE_NOT_FOUND));
}

// A FileSystem over FindFirstFileA for this test; the program's own lives elsewhere.

class QuietUi : public RepairUi {
 public:
  void Begun(int) override {}
  void ItemStarted(const std::string&) override {}
  void ItemDone(int) override {}
  void Searching(const std::string&) override {}
  void StillSearching() override {}
  bool SearchMovedFiles() override { return true; }
  void Finished(const RepairOutcome& outcome) override { restore = outcome.backupExists; }
  void Failed(bool backupExists) override { restore = backupExists; }
  bool restore = false;  // the run left a backup for Restore
};

TEST(DriveIndexWineTest, SameAnswersAsTheWalkOnTheRealDriveC) {
  WinFileSystem& fs = SystemFileSystem();
  QuietUi ui;
  DriveIndex index(fs, ui);
  int found = 0;
  for (const char* name : {"notepad.exe", "kernel32.dll", "win.ini", "regedit.exe", "NOTEPAD.EXE",
                           "calvorin-no-such-file.bin", "system32\\shell32.dll", "*.ini"}) {
    const std::string slow = FindFileOnDrive(fs, ui, "C:", name, true);
    EXPECT_EQ(index.Find("C:", name), slow) << name;
    if (!slow.empty()) ++found;
  }
  EXPECT_GE(found, 5);
}

class RepairRunTest : public WinBackupFilesTest {
 protected:
  void SetUp() override {
    WinBackupFilesTest::SetUp();
    CleanKey();
  }
  void TearDown() override {
    CleanKey();
    WinBackupFilesTest::TearDown();
  }
  // Keys without an ANSI name too, which no ANSI call can name.
  static void CleanKey() { testing::ScopedTestKey::Remove("Software\\CalvorinTests\\Repair"); }
};

TEST_F(RepairRunTest, DeletesAndCorrectsThenRegeditPutsTheOldDataBack) {
  ASSERT_TRUE(CreateDirectoryA(Path("New").c_str(), nullptr));
  files_.WriteAtomically(Path("New\\calvorin-moved-tool.exe"), "MZ");
  UniqueRegKey key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\CalvorinTests\\Repair", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
            ERROR_SUCCESS);
  const std::string moved = "C:\\calvorin old\\calvorin-moved-tool.exe";
  const std::string gone = "C:\\calvorin\\gone.exe";
  const std::string multi = std::string("C:\\a.exe\0C:\\b.exe\0\0", 20);
  ASSERT_EQ(RegSetValueExA(key.get(), "Moved", 0, REG_EXPAND_SZ,
                           reinterpret_cast<const BYTE*>(moved.c_str()), moved.size() + 1),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key.get(), "", 0, REG_SZ, reinterpret_cast<const BYTE*>(gone.c_str()),
                           gone.size() + 1),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key.get(), "Multi", 0, REG_MULTI_SZ,
                           reinterpret_cast<const BYTE*>(multi.data()), multi.size()),
            ERROR_SUCCESS);

  // The file has moved to the test's folder; the search walks all of C: to find it.
  const std::string movedRow = "C:\\calvorin old\\calvorin-moved-tool.exe";
  const std::vector<RepairEntry> rows = {
      {"HKEY_CURRENT_USER\\software\\calvorintests\\repair", "Moved", movedRow, REG_EXPAND_SZ},
      {"HKEY_CURRENT_USER\\software\\calvorintests\\repair", "", gone},
      {"HKEY_CURRENT_USER\\software\\calvorintests\\repair", "Multi", "C:\\a.exe.C:\\b.exe..",
       REG_MULTI_SZ},
      {"HKEY_CURRENT_USER\\software\\calvorintests\\nokey", "V", "C:\\x.exe"}};

  for (bool useIndex : {false, true}) {
    SCOPED_TRACE(useIndex ? "drive index" : "walk");
    WinFileSystem& fs = SystemFileSystem();
    QuietUi ui;
    const auto counts =
        RunRepair(rows, SystemRegistry(), fs, files_, ui, folder_, RepairOptions{useIndex});
    if (!useIndex) {
      EXPECT_EQ(counts.fixed, 1);
      EXPECT_EQ(counts.cleaned, 3);
    }
    EXPECT_TRUE(ui.restore);

    char found[300] = {};
    DWORD type = 0, size = sizeof found;
    ASSERT_EQ(
        RegQueryValueExA(key.get(), "Moved", nullptr, &type, reinterpret_cast<BYTE*>(found), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_TRUE(SameTextAscii(found, folder_ + "\\New\\calvorin-moved-tool.exe")) << found;
    EXPECT_NE(RegQueryValueExA(key.get(), "", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_NE(RegQueryValueExA(key.get(), "Multi", nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);

    // Merge the backup back as the shell's import would.
    std::string command = "regedit.exe /S \"" + BackupPath(folder_) + "\"";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &si, &pi));
    UniqueKernelHandle process(pi.hProcess), thread(pi.hThread);
    WaitForSingleObject(process.get(), 60000);

    size = sizeof found;
    ASSERT_EQ(
        RegQueryValueExA(key.get(), "Moved", nullptr, &type, reinterpret_cast<BYTE*>(found), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));
    EXPECT_EQ(std::string(found, size), moved + '\0');
    size = sizeof found;
    ASSERT_EQ(
        RegQueryValueExA(key.get(), "", nullptr, &type, reinterpret_cast<BYTE*>(found), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(std::string(found, size), gone + '\0');
    size = sizeof found;
    ASSERT_EQ(
        RegQueryValueExA(key.get(), "Multi", nullptr, &type, reinterpret_cast<BYTE*>(found), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));
    EXPECT_EQ(std::string(found, size), multi);
  }
  // The first run's backup was kept under its time when the second run replaced it.
  EXPECT_EQ(files_.List(folder_ + "\\", "deletedkeys-*.reg").size(), 1u);
}

// A value as the registry stores it (UTF-16 for the string types), by its stored name.
struct Stored {
  DWORD type = 0;
  std::string bytes;
  bool operator==(const Stored&) const = default;
};

std::string Utf16(const std::wstring& text) {
  return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

// Every value of the key, and the names of its subkeys, as stored.
std::map<std::wstring, Stored> StoredValues(HKEY key) {
  std::map<std::wstring, Stored> out;
  std::vector<wchar_t> name(16384);
  std::vector<BYTE> data(65536);
  for (DWORD i = 0;; ++i) {
    DWORD nameLen = static_cast<DWORD>(name.size()), size = static_cast<DWORD>(data.size());
    DWORD type = 0;
    if (RegEnumValueW(key, i, name.data(), &nameLen, nullptr, &type, data.data(), &size) !=
        ERROR_SUCCESS) {
      break;
    }
    out[std::wstring(name.data(), nameLen)] = {type,
                                               std::string(data.begin(), data.begin() + size)};
  }
  for (DWORD i = 0;; ++i) {
    DWORD nameLen = static_cast<DWORD>(name.size());
    if (RegEnumKeyExW(key, i, name.data(), &nameLen, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    out[L"[key] " + std::wstring(name.data(), nameLen)] = {};
  }
  return out;
}

std::string Ansi(const std::wstring& text) {  // as the ANSI calls convert it, look-alikes and all
  std::string out(text.size() * 2 + 1, '\0');
  const int n = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                    out.data(), static_cast<int>(out.size()), nullptr, nullptr);
  out.resize(n > 0 ? n : 0);
  return out;
}

// What any program can put in the registry through the wide API, beside ordinary values:
// Repair changes only what the registry editor's import of its backup brings back exactly,
// and the calls the walk makes never hand out a look-alike name or text.
TEST_F(RepairRunTest, ChangesOnlyWhatTheImportBringsBackExactly) {
  ASSERT_EQ(GetACP(), 1252u) << "the planted texts are chosen for code page 1252";
  const std::wstring base = L"Software\\CalvorinTests\\Repair";
  const std::wstring lodz = L"\u0141\u00f3d\u017a";  // no exact form in code page 1252
  struct Planted {
    std::wstring subKey;
    std::wstring name;
    DWORD type;
    std::string bytes;
    bool changes;  // deleted by Repair, put back by the import
  };
  const auto sz = [](const std::wstring& text) { return Utf16(text + L'\0'); };
  const std::vector<Planted> planted = {
      {L"", L"Plain", REG_SZ, sz(L"C:\\calvorin\\gone.exe"), true},
      {L"", L"LatinExpand", REG_EXPAND_SZ, sz(L"C:\\Caf\u00e9\\%x%\\gone.exe"), true},
      {L"", L"LatinMulti", REG_MULTI_SZ, Utf16(std::wstring(L"C:\\na\u00efve.exe\0b\0\0", 16)),
       true},
      {L"", L"dw\r\n[HKEY_CURRENT_USER]\r\n@=dword:00000007\r\n;", REG_SZ,
       sz(L"C:\\calvorin\\inject.exe"), false},
      {L"", lodz, REG_SZ, sz(L"C:\\calvorin\\name.exe"), false},
      {L"", L"LookAlike", REG_SZ, sz(L"C:\\AccT\\" + lodz + L"\\app.exe"), false},
      {L"", L"Unterminated", REG_SZ, Utf16(L"C:\\calvorin\\u.exe"), false},
      {L"", L"Odd", REG_SZ, sz(L"C:\\calvorin\\o.exe") + 'x', false},
      {L"Bad\r\nKey", L"V", REG_SZ, sz(L"C:\\calvorin\\key.exe"), false},
  };
  std::vector<RepairEntry> rows;
  for (const Planted& p : planted) {
    const std::wstring path = p.subKey.empty() ? base : base + L"\\" + p.subKey;
    UniqueRegKey key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
    // RegSetValueEx counts a terminator the caller left out when one follows the data; the
    // characters after it keep every value as given.
    const std::string buffer = p.bytes + "XX";
    ASSERT_EQ(RegSetValueExW(key.get(), p.name.c_str(), 0, p.type,
                             reinterpret_cast<const BYTE*>(buffer.data()),
                             static_cast<DWORD>(p.bytes.size())),
              ERROR_SUCCESS);
    // The rows a scan that took the ANSI texts at their word would have recorded.
    std::string keyPath = "HKEY_CURRENT_USER\\software\\calvorintests\\repair";
    if (!p.subKey.empty()) keyPath.append("\\").append(LowerAscii(Ansi(p.subKey)));
    std::wstring data(reinterpret_cast<const wchar_t*>(p.bytes.data()), p.bytes.size() / 2);
    if (!data.empty() && data.back() == L'\0') data.pop_back();
    std::string shown = Ansi(data);
    std::replace(shown.begin(), shown.end(), '\0', '.');
    rows.push_back({keyPath, Ansi(p.name), shown, p.type});
  }
  UniqueRegKey key;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, base.c_str(), 0, KEY_ALL_ACCESS, key.put()),
            ERROR_SUCCESS);
  UniqueRegKey subKey;
  ASSERT_EQ(RegCreateKeyExW(key.get(), (L"K" + lodz).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, subKey.put(), nullptr),
            ERROR_SUCCESS);

  // The walk's calls: the non-ANSI name and text answer "no translation", the rest as stored.
  WinRegistryApi& api = SystemRegistry();
  const Hkey open = reinterpret_cast<Hkey>(key.get());
  std::map<std::string, std::pair<long, long>> enumerated;  // name -> result, read result
  std::vector<std::uint8_t> buffer;
  for (std::uint32_t i = 0;; ++i) {
    std::string name;
    std::uint32_t type = 0, size = 0;
    long read = -1;
    const long rc = api.EnumValueData(open, i, &name, &type, buffer, &size, &read);
    if (rc == kErrorNoMoreItems) break;
    enumerated[rc == kErrorSuccess ? name : "<look-alike>"] = {rc, read};
  }
  EXPECT_EQ(enumerated["<look-alike>"].first, kErrorNoUnicodeTranslation);
  EXPECT_EQ(enumerated["LookAlike"], std::make_pair(kErrorSuccess, kErrorNoUnicodeTranslation));
  EXPECT_EQ(enumerated["Plain"], std::make_pair(kErrorSuccess, kErrorSuccess));
  EXPECT_EQ(enumerated[Ansi(planted[3].name)], std::make_pair(kErrorSuccess, kErrorSuccess));
  std::string name;
  std::multiset<long> valueResults;
  for (std::uint32_t i = 0;; ++i) {
    const long rc = api.EnumValue(open, i, &name);
    if (rc == kErrorNoMoreItems) break;
    valueResults.insert(rc);
  }
  EXPECT_EQ(valueResults.count(kErrorNoUnicodeTranslation), 1u);
  EXPECT_EQ(valueResults.size(), planted.size() - 1);
  std::uint32_t type = 0, size = 0;
  EXPECT_EQ(api.ReadValue(open, "LookAlike", &type, buffer, &size), kErrorNoUnicodeTranslation);
  std::multiset<long> keyResults;
  for (std::uint32_t i = 0;; ++i) {
    const long rc = api.EnumKey(open, i, &name);
    if (rc == kErrorNoMoreItems) break;
    keyResults.insert(rc);
    if (rc == kErrorSuccess) {
      EXPECT_EQ(name, "Bad\r\nKey");
    }
  }
  EXPECT_EQ(keyResults, (std::multiset<long>{kErrorSuccess, kErrorNoUnicodeTranslation}));

  const auto before = StoredValues(key.get());
  UniqueRegKey badKey;
  ASSERT_EQ(RegOpenKeyExW(key.get(), L"Bad\r\nKey", 0, KEY_READ, badKey.put()), ERROR_SUCCESS);
  const auto badBefore = StoredValues(badKey.get());
  UniqueRegKey root;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, nullptr, 0, KEY_READ, root.put()), ERROR_SUCCESS);
  const auto rootBefore = StoredValues(root.get());

  QuietUi ui;
  RepairOptions options;
  options.leadByte = [](unsigned char c) { return IsDBCSLeadByte(c) != FALSE; };
  const auto counts = RunRepair(rows, api, SystemFileSystem(), files_, ui, folder_, options);
  // The look-alike of the non-ANSI name names no value: gone, so counted as cleaned.
  EXPECT_EQ(counts.cleaned, 4);
  EXPECT_EQ(counts.fixed, 0);
  EXPECT_EQ(counts.unchanged, 5);
  const auto after = StoredValues(key.get());
  for (const Planted& p : planted) {
    if (!p.subKey.empty()) continue;
    if (p.changes) {
      EXPECT_EQ(after.count(p.name), 0u) << Ansi(p.name);
    } else {
      EXPECT_EQ(after.at(p.name), before.at(p.name)) << Ansi(p.name);
    }
  }
  EXPECT_EQ(StoredValues(badKey.get()), badBefore);
  const std::string backup = ReadWholeFile(BackupPath(folder_));
  EXPECT_EQ(std::count(backup.begin(), backup.end(), '['), 3) << backup;

  // The shell's import of the backup: everything exactly as before, and nothing else anywhere.
  std::string command = "regedit.exe /S \"" + BackupPath(folder_) + "\"";
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &si, &pi));
  UniqueKernelHandle process(pi.hProcess), thread(pi.hThread);
  WaitForSingleObject(process.get(), 60000);
  EXPECT_EQ(StoredValues(key.get()), before);
  EXPECT_EQ(StoredValues(badKey.get()), badBefore);
  EXPECT_EQ(StoredValues(root.get()), rootBefore);
}

}  // namespace
}  // namespace calvorin::win32
