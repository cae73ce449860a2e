// Repair's file operations and a whole run over Wine's real registry and files, restored
// through the shell's registry import.
#include <gtest/gtest.h>
#include <windows.h>

#include "core/repair.h"
#include "core/text.h"
#include "win32/unique_handle.h"
#include "win32/win_backup_files.h"
#include "win32/win_file_system.h"
#include "win32/win_registry.h"

namespace calvorin::win32 {
namespace {

std::string TempFolder(const char* name) {
  char buffer[MAX_PATH + 1];
  const DWORD n = GetTempPathA(sizeof buffer, buffer);
  return std::string(buffer, n) + name;
}

void RemoveTree(const std::string& folder) {
  WIN32_FIND_DATAA data;
  UniqueFind find(FindFirstFileA((folder + "\\*").c_str(), &data));
  if (find) {
    do {
      const std::string name = data.cFileName;
      if (name == "." || name == "..") continue;
      const std::string path = folder + "\\" + name;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path);
      } else {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
      }
    } while (FindNextFileA(find.get(), &data));
  }
  find.reset();
  RemoveDirectoryA(folder.c_str());
}

std::string ReadFile(const std::string& path) {
  UniqueFile file(
      CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return "<missing>";
  std::string text(GetFileSize(file.get(), nullptr), '\0');
  DWORD got = 0;
  ::ReadFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &got, nullptr);
  text.resize(got);
  return text;
}

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
  std::string folder_ = TempFolder("CalvorinBackupFiles");
  WinBackupFiles files_;
};

TEST_F(WinBackupFilesTest, AtomicWriteCreatesAndReplacesAndLeavesNoTemporaryFile) {
  const std::string path = Path("deletedkeys.reg");
  EXPECT_FALSE(files_.Exists(path));
  files_.WriteAtomically(path, "first\r\n");
  EXPECT_EQ(ReadFile(path), "first\r\n");
  files_.WriteAtomically(path, std::string("second\0\xff", 8));
  EXPECT_EQ(ReadFile(path), std::string("second\0\xff", 8));
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
  EXPECT_EQ(ReadFile(Path("other.reg")), "y");
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
  EXPECT_EQ(ReadFile(Path("deletedkeys-20240229-235958.reg")), "previous run");
  EXPECT_FALSE(files_.Exists(path));
  const auto listed = files_.List(folder_ + "\\", "deletedkeys-*.reg");
  EXPECT_EQ(listed.size(), kKeptBackups);
  for (int day = 1; day <= 2; ++day) {
    EXPECT_FALSE(files_.Exists(Path(Format("deletedkeys-202401%02d-000000.reg", day).c_str())));
  }
  EXPECT_TRUE(files_.Exists(Path("deletedkeys-20240103-000000.reg")));
}

TEST(OpenBackupWithShellTest, MissingFileIsRefused) {
  EXPECT_FALSE(OpenBackupWithShell(TempFolder("calvorin no such backup.reg")));
}

// A FileSystem over FindFirstFileA for this test; the program's own lives elsewhere.

class QuietUi : public RepairUi {
 public:
  void SetLabel1(const std::string& t) override { label1 = t; }
  void SetLabel2(const std::string& t) override { label2 = t; }
  void SetLabel3(const std::string&) override {}
  void SetProgressRange(int, int) override {}
  void SetProgressPosition(int) override {}
  void SetProgressVisible(bool) override {}
  void SetEditText(const std::string&) override {}
  void SetEditVisible(bool) override {}
  bool ExtraChecked() override { return true; }
  void RepaintAndProcessMessages() override {}
  void ProcessMessages() override {}
  void SetWaitCursor(bool) override {}
  void EnableRestore() override { restore = true; }
  void HideRepair() override {}
  std::string label1, label2;
  bool restore = false;
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
  static void CleanKey() {
    TRegistry reg(SystemRegistry());
    reg.DeleteKey("\\Software\\CalvorinTests\\Repair");
  }
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
      {"HKEY_CURRENT_USER\\software\\calvorintests\\repair", "Moved", movedRow},
      {"HKEY_CURRENT_USER\\software\\calvorintests\\repair", "", gone},
      {"HKEY_CURRENT_USER\\software\\calvorintests\\repair", "Multi", "C:\\a.exe"},
      {"HKEY_CURRENT_USER\\software\\calvorintests\\nokey", "V", "C:\\x.exe"}};

  for (bool useIndex : {false, true}) {
    SCOPED_TRACE(useIndex ? "drive index" : "walk");
    WinFileSystem& fs = SystemFileSystem();
    QuietUi ui;
    const auto counts =
        RunRepair(rows, SystemRegistry(), fs, files_, ui, folder_, RepairOptions{useIndex});
    if (!useIndex) {
      EXPECT_EQ(counts.fixed, 1);
      EXPECT_EQ(ui.label1, "3 Registry Items Cleaned");
      EXPECT_EQ(ui.label2, "1 Registry Items Fixed");
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

}  // namespace
}  // namespace calvorin::win32
