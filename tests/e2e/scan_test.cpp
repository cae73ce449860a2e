// A scan as the user runs it: Search, progress, the end text, closing during a scan.
#include <windows.h>
// after <windows.h>
#include <gtest/gtest.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "app/win/control_ids.h"
#include "e2e_support.h"

using namespace calvorin::win32;
using e2e::App;

namespace {

// Local AppData (both keys) at `folder`, made, until the end; `ansi`: its short (ANSI) name.
struct ScopedLocalAppData {
  static constexpr const wchar_t* kKeys[2] = {
      L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
      L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"};
  explicit ScopedLocalAppData(const std::wstring& folder) {
    for (const wchar_t* key : kKeys) {
      RegSetKeyValueW(HKEY_CURRENT_USER, key, L"Local AppData", REG_SZ, folder.c_str(),
                      static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
    }
    SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    wchar_t shortName[MAX_PATH] = {};
    char bytes[MAX_PATH] = {};
    BOOL lossy = FALSE;
    if (GetShortPathNameW(folder.c_str(), shortName, MAX_PATH) &&
        WideCharToMultiByte(CP_ACP, 0, shortName, -1, bytes, MAX_PATH, nullptr, &lossy) && !lossy) {
      ansi = bytes;
    }
  }
  // Without the values the shell names its default folder again (and writes it back).
  ~ScopedLocalAppData() {
    for (const wchar_t* key : kKeys) RegDeleteKeyValueW(HKEY_CURRENT_USER, key, L"Local AppData");
  }
  std::string ansi;
};

// Registry keys of one scenario under HKCU\Software\CalvorinTests\E2E, removed afterwards.
class SeededKey {
 public:
  explicit SeededKey(const std::string& scenario)
      : scope_("E2E\\" + scenario), key_(scope_.Create()) {}

  void SetString(const std::string& subKey, const std::string& name, const std::string& data) {
    HKEY sub = nullptr;
    if (RegCreateKeyExA(key_.get(), subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub,
                        nullptr) != ERROR_SUCCESS) {
      return;
    }
    RegSetValueExA(sub, name.empty() ? nullptr : name.c_str(), 0, REG_SZ,
                   reinterpret_cast<const BYTE*>(data.c_str()),
                   static_cast<DWORD>(data.size() + 1));
    RegCloseKey(sub);
  }
  bool Valid() const { return static_cast<bool>(key_); }
  // The value's text, or nothing when it cannot be read.
  std::optional<std::string> Get(const std::string& subKey, const std::string& name) const {
    char buffer[1024] = {};
    DWORD size = sizeof buffer - 1;
    if (RegGetValueA(key_.get(), subKey.c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr, buffer,
                     &size) != ERROR_SUCCESS) {
      return std::nullopt;
    }
    return std::string(buffer);
  }

 private:
  e2e::ScopedTestKey scope_;  // made first, removed last
  UniqueRegKey key_;
};

bool ParseFound(const std::string& text, int* count) {
  char rest[64] = {};
  return std::sscanf(text.c_str(), "Found %d items%63[^\n]", count, rest) >= 1;
}

TEST(Scan, ShowsProgressAndTheEndText) {
  const std::string folder = e2e::PrepareScenarioFolder("ScanProgress");
  SeededKey seed("ScanProgress");
  ASSERT_TRUE(seed.Valid());
  // Enough keys that the walk passes several hundred.
  for (int i = 0; i < 400; ++i) seed.SetString(e2e::Format("k%d", i), "v", "plain text");
  App app;
  ASSERT_TRUE(app.Start(folder));
  ASSERT_NE(app.WaitForMainWindow(), nullptr);
  e2e::Click(app.Control(kIdSbSearchE));
  HWND lblSearch = app.Control(kIdLblSearch);
  ASSERT_TRUE(e2e::WaitUntil([&] { return e2e::Text(lblSearch).rfind("Found ", 0) == 0; },
                             std::chrono::seconds(600)));
  const std::string end = e2e::Text(lblSearch);
  int found = -1;
  ASSERT_TRUE(ParseFound(end, &found)) << end;
  EXPECT_EQ(end, e2e::Format("Found %d items", found));  // finished, not stopped
  EXPECT_EQ(e2e::StatusText(app.Control(kIdStatusBar1)), end);

  // Label1 keeps the last progress text: counts at a multiple of 100 keys.
  int errors = -1, keys = -1;
  const std::string progress = e2e::Text(app.Control(kIdLabel1));
  ASSERT_EQ(std::sscanf(progress.c_str(), "Errors: %d, Keys searched: %d", &errors, &keys), 2)
      << progress;
  EXPECT_GE(keys, 400);
  EXPECT_EQ(keys % 100, 0);
  EXPECT_LE(errors, found);

  EXPECT_TRUE(e2e::IsEnabled(app.Control(kIdSbSearchE)));
  EXPECT_TRUE(e2e::IsShown(app.Control(kIdButton2)));
  EXPECT_EQ(e2e::IsShown(app.Control(kIdButton3)), found > 0);
  EXPECT_EQ(SendMessageA(app.Control(kIdLbResults), LB_GETCOUNT, 0, 0), found);
  EXPECT_TRUE(e2e::SaveScreenshot(app.Main(), "05-scan-finished"));
  EXPECT_EQ(app.Close(), 0);
}

TEST(Scan, ClosingDuringAScanEndsAtOnce) {
  const std::string folder = e2e::PrepareScenarioFolder("ScanClose");
  SeededKey seed("ScanClose");
  ASSERT_TRUE(seed.Valid());
  // A large subtree keeps the walk busy for a while.
  for (int i = 0; i < 3000; ++i) {
    seed.SetString(e2e::Format("k%d\\s%d", i / 100, i), "v",
                   e2e::Format("C:\\CalvorinTests\\E2E\\ScanClose\\missing%d.exe", i));
  }
  App app;
  ASSERT_TRUE(app.Start(folder));
  ASSERT_NE(app.WaitForMainWindow(), nullptr);
  e2e::Click(app.Control(kIdSbSearchE));
  HWND search = app.Control(kIdSbSearchE);
  ASSERT_TRUE(e2e::WaitUntil([&] { return !e2e::IsEnabled(search); }));
  EXPECT_EQ(e2e::Text(app.Control(kIdLblSearch)), "Searching...");
  PostMessageA(app.Main(), WM_CLOSE, 0, 0);
  DWORD code = 1;
  ASSERT_TRUE(app.WaitForExit(std::chrono::seconds(30), &code));
  EXPECT_EQ(code, 0u);
  EXPECT_TRUE(e2e::FileExists(folder + "\\calvorin.INI"));
}

TEST(Scan, FindsTheMissingFilesAndListsThem) {
  const std::string folder = e2e::PrepareScenarioFolder("ScanFind");
  const std::string data = folder + "\\data";
  CreateDirectoryA(data.c_str(), nullptr);
  e2e::WriteWholeFile(data + "\\present.txt", "here");
  SeededKey seed("ScanFind");
  ASSERT_TRUE(seed.Valid());
  const std::string goneFile = data + "\\missing file.exe";
  const std::string goneFolder = data + "\\no such folder";
  const std::string goneDeep = data + "\\deeper\\still missing.txt";
  seed.SetString("k1", "Gone", goneFile);
  seed.SetString("k1", "Here", data + "\\present.txt");
  seed.SetString("k2", "GoneFolder", goneFolder);
  seed.SetString("k2", "HereFolder", data);
  seed.SetString("a rather long key name\\with another level\\and one more below it\\last", "",
                 goneDeep);
  seed.SetString("k4", "OtherDrive", "D:\\nothing\\here\\at all.exe");
  seed.SetString("k4", "Short", "C:\\a.exe");

  App app;
  ASSERT_TRUE(app.Start(folder));
  HWND main = app.WaitForMainWindow();
  ASSERT_NE(main, nullptr);
  // 300 entries whose value rows grow a character at a time: some of them fit the text column
  // without the list's scroll bar and wrap with it, wherever in the scan's batches it appears.
  for (int i = 0; i < 300; ++i) {
    seed.SetString("k5", std::string(20 + i % 60, 'n') + e2e::Format("%03d", i),
                   data + e2e::Format("\\gone%03d.exe", i));
  }
  // Run from the keyboard alone: Search has the focus when the window opens; Enter presses it.
  HWND search = app.Control(kIdSbSearchE);
  ASSERT_TRUE(e2e::WaitUntil([&] { return e2e::FocusOf(main) == search; }));
  e2e::PressKeys(main, {VK_RETURN});
  HWND lblSearch = app.Control(kIdLblSearch);
  ASSERT_TRUE(e2e::WaitUntil([&] { return e2e::Text(lblSearch).rfind("Found ", 0) == 0; },
                             std::chrono::seconds(600)));
  int found = -1;
  ASSERT_TRUE(ParseFound(e2e::Text(lblSearch), &found));
  EXPECT_EQ(e2e::Text(lblSearch), e2e::Format("Found %d items", found));
  EXPECT_TRUE(e2e::WaitUntil([&] { return e2e::FocusOf(main) == search; }));
  EXPECT_TRUE(e2e::SaveScreenshot(main, "06-focus-after-search"));

  // rrr.TXT in the working directory: "Memo2", then one candidate per invalid value, in the
  // order of the results list.
  const std::vector<std::string> log = e2e::Lines(e2e::ReadWholeFile(folder + "\\rrr.TXT"));
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log[0], "Memo2");
  EXPECT_EQ(static_cast<int>(log.size()) - 1, found);
  auto count = [&](const std::string& line) {
    return static_cast<int>(std::count(log.begin(), log.end(), line));
  };
  // Without SkipKeys, HKEY_USERS\S-1-5-21-0-0-0-1000 (the same key as HKCU in a fresh prefix)
  // reports each value a second time.
  for (const std::string& gone : {goneFile, goneFolder, goneDeep}) {
    EXPECT_GE(count(gone), 1) << gone;
  }
  EXPECT_EQ(count(data + "\\present.txt"), 0);
  EXPECT_EQ(count(data), 0);
  EXPECT_EQ(count("C:\\a.exe"), 0);
  EXPECT_TRUE(e2e::IsShown(app.Control(kIdButton3)));

  HWND list = app.Control(kIdLbResults);
  EXPECT_EQ(SendMessageA(list, LB_GETCOUNT, 0, 0), found);
  e2e::PressKeys(main, {VK_TAB, VK_RETURN});  // Results, which gives the list the focus
  ASSERT_TRUE(e2e::WaitUntil([&] { return e2e::IsShown(list) && e2e::FocusOf(main) == list; }));
  // Every item is as tall as a resize there and back measures it; the newest, selected, is in
  // view, and stays in view when the window is made lower.
  auto heights = [&] {
    std::vector<LRESULT> h;
    for (int i = 0; i < found; ++i) h.push_back(SendMessageA(list, LB_GETITEMHEIGHT, i, 0));
    return h;
  };
  auto inView = [&](int i) {
    RECT item{}, view{};
    GetClientRect(list, &view);
    SendMessageA(list, LB_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
    return item.top >= 0 && item.bottom <= view.bottom;
  };
  const std::vector<LRESULT> shownHeights = heights();
  EXPECT_TRUE(inView(found - 1));
  EXPECT_TRUE(e2e::SaveScreenshot(main, "26-300-items-end"));
  RECT frame{};
  GetWindowRect(main, &frame);
  const int frameWidth = frame.right - frame.left, frameHeight = frame.bottom - frame.top;
  SetWindowPos(main, nullptr, 0, 0, frameWidth + 1, frameHeight, SWP_NOMOVE | SWP_NOZORDER);
  SetWindowPos(main, nullptr, 0, 0, frameWidth, frameHeight - 80, SWP_NOMOVE | SWP_NOZORDER);
  EXPECT_TRUE(inView(found - 1));
  SetWindowPos(main, nullptr, 0, 0, frameWidth, frameHeight, SWP_NOMOVE | SWP_NOZORDER);
  EXPECT_EQ(heights(), shownHeights) << "items measured at another width than they are drawn";
  SendMessageA(list, LB_SETTOPINDEX, 0, 0);
  Sleep(300);
  EXPECT_TRUE(e2e::SaveScreenshot(main, "26-300-items-top"));
  // Bring the seeded entries into view: entry i is log line i + 1.
  const auto first = std::find(log.begin(), log.end(), goneFile);
  ASSERT_NE(first, log.end());
  const int index = static_cast<int>(first - log.begin()) - 1;
  SendMessageA(list, LB_SETTOPINDEX, static_cast<WPARAM>(index), 0);
  SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
  // The item's text, as shown, read from this process, and copied with Ctrl+C.
  const std::string shown =
      e2e::Format("%d. Ticked\r\nKey: HKEY_CURRENT_USER\\software\\calvorintests\\e2e\\scanfind\\k1",
                  index + 1) +
      "\r\nVal: Gone   Error : File not found\r\nDat: " + goneFile;
  const std::wstring wide(shown.begin(), shown.end());  // ASCII
  wchar_t read[512] = {};
  SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(read));
  EXPECT_EQ(read, wide);
  ASSERT_TRUE(OpenClipboard(nullptr) && EmptyClipboard() && CloseClipboard());
  e2e::PressKeys(main, {'C'}, VK_CONTROL);
  EXPECT_TRUE(e2e::WaitUntil([] { return IsClipboardFormatAvailable(CF_UNICODETEXT) != FALSE; }));
  ASSERT_TRUE(OpenClipboard(nullptr));
  EXPECT_EQ(static_cast<const char*>(GlobalLock(GetClipboardData(CF_TEXT))), shown);
  EXPECT_EQ(static_cast<const wchar_t*>(GlobalLock(GetClipboardData(CF_UNICODETEXT))), wide);
  CloseClipboard();
  // Each item is at least three rows of 18 plus 4; the long key wraps onto more.
  for (int i = index; i < found && i < index + 3; ++i) {
    EXPECT_GE(SendMessageA(list, LB_GETITEMHEIGHT, static_cast<WPARAM>(i), 0), 58) << i;
  }
  Sleep(300);
  EXPECT_TRUE(e2e::SaveScreenshot(app.Main(), "06-scan-results"));
  // Esc goes back, to Results; Tab walks the page to the link, and never onto the tab control.
  e2e::PressKeys(main, {VK_ESCAPE});
  EXPECT_TRUE(e2e::WaitUntil([&] { return e2e::FocusOf(main) == app.Control(kIdButton2); }));
  HWND focus = app.Control(kIdButton2);
  for (int i = 0; i < 8 && focus != app.Control(kIdURLLabel1); ++i) {
    const HWND before = focus;
    e2e::PressKeys(main, {VK_TAB});
    EXPECT_TRUE(e2e::WaitUntil([&] { return (focus = e2e::FocusOf(main)) != before; }));
    EXPECT_NE(focus, app.Control(kIdPcMain));
  }
  EXPECT_EQ(focus, app.Control(kIdURLLabel1));
  EXPECT_EQ(app.Close(), 0);
}

TEST(Repair, DeletesBacksUpAndRestoresThroughTheShell) {
  const std::string folder = e2e::PrepareScenarioFolder("Repair");
  const std::string data = folder + "\\data";
  CreateDirectoryA(data.c_str(), nullptr);
  e2e::WriteWholeFile(data + "\\present.txt", "here");
  SeededKey seed("Repair");
  ASSERT_TRUE(seed.Valid());
  const std::string gone = data + "\\missing tool.exe";
  seed.SetString("k1", "Gone", gone);
  seed.SetString("k1", "Gone too", data + "\\missing too.exe");
  seed.SetString("k1", "Keep", data + "\\present.txt");
  // Installed where a standard user may not write: the program keeps its files in the local
  // application data. There an rrr.TXT that is a folder refuses the log, which hides nothing.
  const e2e::ImmutableFolder locked(folder);
  char user[64] = "";
  DWORD userSize = sizeof user;
  GetUserNameA(user, &userSize);
  // chattr needs root; Wine's user is the Unix one.
  if (std::string(user) == "root") {
    ASSERT_TRUE(locked.locked);
  }
  // ...in a profile named outside the ANSI code page, whose ANSI form names no folder.
  const ScopedLocalAppData greek(L"C:\\users\\\u0395\u03bb\u03ad\u03bd\u03b7\\AppData\\Local");
  ASSERT_NE(greek.ansi, "");
  const std::string kept = locked.locked ? greek.ansi + "\\Calvorin" : folder;
  if (locked.locked) calvorin::testing::RemoveTree(kept);
  CreateDirectoryA(kept.c_str(), nullptr);
  CreateDirectoryA((kept + "\\rrr.TXT").c_str(), nullptr);

  App app;
  ASSERT_TRUE(app.Start(folder));
  ASSERT_NE(app.WaitForMainWindow(), nullptr);
  // Without Extra, Repair deletes the values.
  HWND extra = app.Control(kIdCheckBox1);
  SendMessageA(extra, BM_SETCHECK, BST_UNCHECKED, 0);
  e2e::Click(app.Control(kIdSbSearchE));
  HWND lblSearch = app.Control(kIdLblSearch);
  ASSERT_TRUE(e2e::WaitUntil([&] { return e2e::Text(lblSearch).rfind("Found ", 0) == 0; },
                             std::chrono::seconds(600)));
  int found = 0;
  ASSERT_TRUE(ParseFound(e2e::Text(lblSearch), &found));
  ASSERT_GE(found, 2);
  HWND box = nullptr;
  ASSERT_TRUE(e2e::WaitUntil([&] { return (box = app.FindMessageBox()) != nullptr; }));
  EXPECT_EQ(e2e::Text(box), "Calvorin");
  EXPECT_NE(e2e::MessageBoxText(box).find(kept + "\\rrr.TXT"), std::string::npos);
  e2e::PressButton(box, IDOK);
  HWND repair = app.Control(kIdButton3);
  ASSERT_TRUE(e2e::IsShown(repair));
  e2e::Click(repair);
  HWND label1 = app.Control(kIdLabel1);
  ASSERT_TRUE(e2e::WaitUntil(
      [&] { return e2e::Text(label1) == e2e::Format("%d Registry Items Cleaned", found); },
      std::chrono::seconds(120)));
  EXPECT_TRUE(e2e::WaitUntil([&] { return !e2e::IsShown(repair); }));
  EXPECT_TRUE(e2e::IsEnabled(app.Control(kIdButton4)));
  EXPECT_FALSE(e2e::IsShown(app.Control(kIdPb1)));
  EXPECT_EQ(e2e::Text(app.Control(kIdLabel3)), "");
  EXPECT_EQ(app.FindMessageBox(), nullptr);  // the refused log was shown once, not per value
  EXPECT_FALSE(seed.Get("k1", "Gone").has_value());
  EXPECT_EQ(seed.Get("k1", "Keep"), data + "\\present.txt");
  const std::string backup = e2e::ReadWholeFile(kept + "\\deletedkeys.reg");
  EXPECT_EQ(backup.rfind("REGEDIT4\r\n", 0), 0u);
  EXPECT_NE(backup.find("[HKEY_CURRENT_USER\\Software\\CalvorinTests\\E2E\\Repair\\k1]\r\n"),
            std::string::npos)
      << backup;
  EXPECT_TRUE(e2e::SaveScreenshot(app.Main(), "07-repair-done"));

  // Restore, answered No: nothing happens.
  HWND restore = app.Control(kIdButton4);
  e2e::Click(restore);
  HWND confirm = nullptr;
  ASSERT_TRUE(e2e::WaitUntil([&] { return (confirm = app.FindMessageBox()) != nullptr; }));
  EXPECT_EQ(e2e::Text(confirm), "Confirm");
  EXPECT_EQ(e2e::MessageBoxText(confirm),
            "This will restore all keys deleted to Windows Registry, are you sure?");
  e2e::PressButton(confirm, IDNO);
  ASSERT_TRUE(e2e::WaitUntil([&] { return app.FindMessageBox() == nullptr; }));
  EXPECT_FALSE(seed.Get("k1", "Gone").has_value());

  // Answered Yes: the shell opens deletedkeys.reg with the registry editor, which merges it.
  e2e::Click(restore);
  ASSERT_TRUE(e2e::WaitUntil([&] { return (confirm = app.FindMessageBox()) != nullptr; }));
  e2e::PressButton(confirm, IDYES);
  const bool restored = e2e::WaitUntil(
      [&] {
        // Wine's regedit may ask before it imports; answer it as a user would.
        if (HWND ask = e2e::FindDialog("Registry Editor")) e2e::PressButton(ask, IDYES);
        return seed.Get("k1", "Gone") == gone;
      },
      std::chrono::seconds(60));
  EXPECT_TRUE(restored);
  EXPECT_TRUE(e2e::FileExists(kept + "\\deletedkeys.reg"));
  EXPECT_TRUE(e2e::IsEnabled(restore));
  // Alt+S from Restore, which shares the key, starts Search and opens no "Confirm" box.
  for (int i = 0; i < 8 && e2e::FocusOf(app.Main()) != restore; ++i) {
    e2e::PressKeys(app.Main(), {VK_TAB});
    e2e::WaitUntil([&] { return e2e::FocusOf(app.Main()) == restore; }, std::chrono::seconds(1));
  }
  ASSERT_EQ(e2e::FocusOf(app.Main()), restore);
  e2e::PressKeys(app.Main(), {'S'}, VK_MENU);
  EXPECT_TRUE(e2e::WaitUntil([&] { return e2e::Text(lblSearch) == "Searching..."; }));
  EXPECT_EQ(app.FindMessageBox(), nullptr);
  EXPECT_EQ(app.Close(), 0);  // no box: the settings went where they can be written
  EXPECT_EQ(e2e::IniValue(kept + "\\calvorin.INI", "Settings", "MaxRslt"), "2");
  if (!locked.locked) {
    GTEST_SKIP() << "not tested: a program folder that refuses new files (chattr +i needs root), "
                    "where the program keeps its files in the local application data of a "
                    "profile named outside the ANSI code page";
  }
}

}  // namespace
