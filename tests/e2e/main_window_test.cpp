// The main window as a user meets it: layout, settings file, single instance, Search.
#include <windows.h>
// after <windows.h>
#include <commctrl.h>
#include <sddl.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/win/control_ids.h"
#include "e2e_support.h"

using namespace calvorin::win32;
using e2e::App;
using e2e::IniValue;

namespace {

SIZE ClientSize(HWND hwnd) {
  RECT r{};
  GetClientRect(hwnd, &r);
  return {r.right, r.bottom};
}

BOOL CALLBACK CountMainForms(HWND hwnd, LPARAM lp) {
  char cls[64] = {};
  GetClassNameA(hwnd, cls, sizeof cls);
  if (std::string(cls) == "TMainForm") ++*reinterpret_cast<int*>(lp);
  return TRUE;
}

// Starts a scenario's calvorin.exe and waits for its window.
void StartApp(App& app, const std::string& folder, const std::string& args = "") {
  ASSERT_TRUE(app.Start(folder, args));
  ASSERT_NE(app.WaitForMainWindow(), nullptr);
}

TEST(MainWindow, OpensWithTheDesignedLayout) {
  const std::string folder = e2e::PrepareScenarioFolder("Layout");
  App app;
  StartApp(app, folder);
  HWND main = app.Main();
  EXPECT_EQ(e2e::Text(main), "Calvorin");
  const SIZE client = ClientSize(main);
  EXPECT_EQ(client.cx, 628);
  EXPECT_EQ(client.cy, 448);

  struct Expect {
    int id;
    const char* text;
    bool shown;
    bool enabled;
  };
  const std::vector<Expect> controls = {
      {kIdClickSearchLabel, "Click Search ", true, true},
      {kIdSbSearchE, "&Search", true, true},
      {kIdButton2, "R&esults", false, true},
      {kIdButton3, "&Repair", false, true},
      {kIdBitBtn1, "&Help", true, true},
      {kIdButton4, "Re&store", true, false},  // no deletedkeys.reg yet
      {kIdCheckBox1, "Extra", true, true},
      {kIdEbNow, ":\\", false, true},
      {kIdLabel1, "", true, true},
      {kIdLabel2, "", true, true},
      {kIdLabel3, "", true, true},
      {kIdMemo2, "Memo2", false, true},
      {kIdEdit1, "", false, true},
      {kIdPb1, "", false, true},
      {kIdLblSearch, "Searching...", false, true},  // on the hidden Results page
      {kIdButton1, "&Back", false, true},
  };
  for (const Expect& e : controls) {
    SCOPED_TRACE(e.id);
    HWND c = app.Control(e.id);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(e2e::Text(c), e.text);
    EXPECT_EQ(e2e::IsShown(c), e.shown);
    EXPECT_EQ(e2e::IsEnabled(c), e.enabled);
  }
  EXPECT_EQ(SendMessageA(app.Control(kIdCheckBox1), BM_GETCHECK, 0, 0), BST_CHECKED);
  HWND tab = app.Control(kIdPcMain);
  ASSERT_NE(tab, nullptr);
  EXPECT_EQ(SendMessageA(tab, TCM_GETITEMCOUNT, 0, 0), 1);
  EXPECT_EQ(SendMessageA(tab, TCM_GETCURSEL, 0, 0), 0);
  EXPECT_EQ(GetWindowLongA(tab, GWL_STYLE) & TCS_BUTTONS, 0);
  EXPECT_TRUE(e2e::IsShown(app.Control(kIdPageMain)));
  EXPECT_FALSE(e2e::IsShown(app.Control(kIdPageResults)));
  EXPECT_TRUE(e2e::IsShown(app.Control(kIdImage2)));
  EXPECT_EQ(e2e::Text(app.Control(kIdURLLabel1)).rfind("https://", 0), 0u);

  // Opens centred in the work area when there is no settings file.
  RECT work{}, window{};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  GetWindowRect(main, &window);
  EXPECT_NEAR((window.left + window.right) / 2, (work.left + work.right) / 2, 1);
  EXPECT_NEAR((window.top + window.bottom) / 2, (work.top + work.bottom) / 2, 1);

  EXPECT_TRUE(e2e::SaveScreenshot(main, "01-main-window"));
  EXPECT_EQ(app.Close(), 0);

  // The version resource carries the build's version number.
  const std::string exe = folder + "\\calvorin.exe";
  std::vector<char> info(GetFileVersionInfoSizeA(exe.c_str(), nullptr) + 1);
  ASSERT_TRUE(GetFileVersionInfoA(exe.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));
  for (const auto& [name, want] : {std::pair{"ProductName", "Calvorin"},
                                   std::pair{"FileVersion", CALVORIN_VERSION ".0"},
                                   std::pair{"ProductVersion", CALVORIN_VERSION ".0"}}) {
    char* text = nullptr;
    UINT length = 0;
    const std::string path = std::string("\\StringFileInfo\\040904E4\\") + name;
    ASSERT_TRUE(VerQueryValueA(info.data(), path.c_str(), reinterpret_cast<void**>(&text), &length));
    EXPECT_STREQ(text, want);
  }

  // The settings file is written at exit: both sections, every key but "Buttons".
  const std::string ini = folder + "\\calvorin.INI";
  ASSERT_TRUE(e2e::FileExists(ini));
  for (const char* key : {"Left", "Top", "Right", "Bottom", "MinX", "MinY", "MaxX", "MaxY",
                          "ShowCmd", "flags", "Dpi"}) {
    EXPECT_NE(IniValue(ini, "MainForm Settings", key), "<absent>") << key;
  }
  EXPECT_EQ(IniValue(ini, "MainForm Settings", "Left"), std::to_string(window.left));
  EXPECT_EQ(IniValue(ini, "MainForm Settings", "Right"), std::to_string(window.right));
  EXPECT_EQ(IniValue(ini, "Settings", "ActivePage"), "0");
  EXPECT_EQ(IniValue(ini, "Settings", "PerPage"), "0");
  EXPECT_EQ(IniValue(ini, "Settings", "MaxRslt"), "2");
  EXPECT_EQ(IniValue(ini, "Settings", "Buttons"), "<absent>");
}

TEST(MainWindow, AppliesTheSettingsFileAndWritesItBack) {
  struct Case {
    const char* name;
    int left, top, right, bottom, dpi;
    int wantLeft;
  };
  // Each comes back 700 x 500, never squeezed: moved whole onto the monitor; one saved on a
  // monitor that is gone, at 192 DPI, on the primary one at the same physical size.
  const std::vector<Case> cases = {
      {"Settings700", 40, 30, 740, 530, 0, 40},
      {"SettingsNegativeLeft", -100, 30, 600, 530, 0, 0},
      {"SettingsGoneMonitor", -2000, 30, -600, 1030, 192, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string folder = e2e::PrepareScenarioFolder(c.name);
    const std::string ini = folder + "\\calvorin.INI";
    e2e::WriteWholeFile(ini, "[MainForm Settings]\r\nLeft=" + std::to_string(c.left) + "\r\nTop=" +
                                 std::to_string(c.top) + "\r\nRight=" + std::to_string(c.right) +
                                 "\r\nBottom=" + std::to_string(c.bottom) +
                                 (c.dpi ? "\r\nDpi=" + std::to_string(c.dpi) : "") +
                                 "\r\nShowCmd=3\r\n[Settings]\r\nButtons=1\r\nActivePage=7\r\n"
                                 "PerPage=-3\r\nMaxRslt=9\r\n");
    App app;
    StartApp(app, folder);
    RECT r{};
    GetWindowRect(app.Main(), &r);
    EXPECT_EQ(r.right - r.left, 700);
    EXPECT_EQ(r.bottom - r.top, 500);
    EXPECT_EQ(r.left, c.wantLeft);
    EXPECT_EQ(r.top, c.top);
    EXPECT_FALSE(IsZoomed(app.Main()));  // ShowCmd is not restored
    HWND tab = app.Control(kIdPcMain);
    EXPECT_NE(GetWindowLongA(tab, GWL_STYLE) & TCS_BUTTONS, 0);
    // ActivePage 7 is taken as 1; the single tab stays selected with its controls in view.
    EXPECT_EQ(SendMessageA(tab, TCM_GETCURSEL, 0, 0), 0);
    EXPECT_TRUE(e2e::IsShown(app.Control(kIdSbSearchE)));
    if (c.left == 40) {
      EXPECT_TRUE(e2e::SaveScreenshot(app.Main(), "02-settings-applied"));
    }
    EXPECT_EQ(app.Close(), 0);
    EXPECT_EQ(IniValue(ini, "Settings", "PerPage"), "0");
    EXPECT_EQ(IniValue(ini, "Settings", "MaxRslt"), "3");
    EXPECT_EQ(IniValue(ini, "Settings", "ActivePage"), "0");
    EXPECT_EQ(IniValue(ini, "Settings", "Buttons"), "1");  // never written, so as it was
    EXPECT_EQ(IniValue(ini, "MainForm Settings", "Left"), std::to_string(c.wantLeft));
    EXPECT_EQ(IniValue(ini, "MainForm Settings", "Right"), std::to_string(c.wantLeft + 700));
    EXPECT_EQ(IniValue(ini, "MainForm Settings", "Dpi"), "96");
  }
}

TEST(MainWindow, ReportsASettingsFileItCannotWrite) {
  const std::string folder = e2e::PrepareScenarioFolder("ReadOnlyIni");
  const std::string ini = folder + "\\calvorin.INI";
  // A folder in the file's place: the profile API cannot write it (a read-only attribute does
  // not stop root, which the tests may run as under Wine).
  ASSERT_TRUE(CreateDirectoryA(ini.c_str(), nullptr));
  App app;
  StartApp(app, folder);
  PostMessageA(app.Main(), WM_CLOSE, 0, 0);
  HWND box = nullptr;
  ASSERT_TRUE(e2e::WaitUntil([&] { return (box = app.FindMessageBox()) != nullptr; }));
  EXPECT_EQ(e2e::Text(box), "Calvorin");
  EXPECT_EQ(e2e::MessageBoxText(box), "Unable to write to " + ini + ".");
  EXPECT_TRUE(e2e::SaveScreenshot(nullptr, "03-settings-write-error"));
  e2e::PressButton(box, IDOK);
  DWORD code = 1;
  EXPECT_TRUE(app.WaitForExit(std::chrono::seconds(20), &code));
  EXPECT_EQ(code, 0u);
  const DWORD attributes = GetFileAttributesA(ini.c_str());
  EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY));
}

TEST(MainWindow, StatusBarShowsTheLongPartOfHints) {
  const std::string folder = e2e::PrepareScenarioFolder("Hints");
  // Keep the real pointer off the window, or the moves the system makes for it would set the
  // hint of whatever lies under it.
  SetCursorPos(0, 0);
  App app;
  StartApp(app, folder);
  WaitForInputIdle(app.Process(), 5000);
  HWND status = app.Control(kIdStatusBar1);
  struct Case {
    int id;
    std::string want;
  };
  const std::vector<Case> cases = {
      {kIdSbSearchE, " for invalid registry keys"},
      {kIdCheckBox1, "try to repair the keys finding correct path"},
      {kIdBitBtn1, ""},
      {kIdURLLabel1, e2e::Text(app.Control(kIdURLLabel1))},
      {kIdLbResults, "Results of the current search"},
  };
  for (const Case& c : cases) {
    HWND control = app.Control(c.id);
    // The pointer rests on the control: every move reports it again, so a stray move the
    // system makes while the window settles is followed by this one.
    EXPECT_TRUE(e2e::WaitUntil(
        [&] {
          PostMessageA(control, WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));
          Sleep(20);
          return e2e::StatusText(status) == c.want;
        },
        std::chrono::seconds(5)))
        << c.id << ": " << e2e::StatusText(status);
  }
  // Restore is disabled (no backup): the system sends the pointer's moves to its parent, and
  // the hint and the tool tip must still be Restore's. The real pointer rests on it here.
  HWND restore = app.Control(kIdButton4);
  ASSERT_FALSE(e2e::IsEnabled(restore));
  RECT r{};
  GetWindowRect(restore, &r);
  int nudge = 0;
  EXPECT_TRUE(e2e::WaitUntil(
      [&] {
        SetCursorPos((r.left + r.right) / 2 + (nudge ^= 1), (r.top + r.bottom) / 2);
        Sleep(50);
        return e2e::StatusText(status) == "Restore keys deleted on previous clean.";
      },
      std::chrono::seconds(5)))
      << e2e::StatusText(status);
  HWND tip = nullptr;
  EXPECT_TRUE(e2e::WaitUntil([&] {
    tip = FindWindowA(TOOLTIPS_CLASSA, nullptr);
    return tip && IsWindowVisible(tip);
  }));
  if (tip) {
    EXPECT_EQ(e2e::Text(tip), "Restore keys deleted on previous clean.");
  }
  EXPECT_TRUE(e2e::SaveScreenshot(nullptr, "05-hint-on-disabled-restore"));
  SetCursorPos(0, 0);  // off the window: the hint goes
  EXPECT_TRUE(e2e::WaitUntil([&] { return e2e::StatusText(status).empty(); }));
  EXPECT_EQ(app.Close(), 0);
}

TEST(MainWindow, RestoreIsEnabledWhenABackupExists) {
  const std::string folder = e2e::PrepareScenarioFolder("RestoreRule");
  e2e::WriteWholeFile(folder + "\\deletedkeys.reg", "REGEDIT4\r\n\r\n");
  App app;
  StartApp(app, folder);
  EXPECT_TRUE(e2e::IsEnabled(app.Control(kIdButton4)));
  EXPECT_EQ(app.Close(), 0);
}

TEST(MainWindow, SecondStartHandsOverAndExits) {
  const std::string folder = e2e::PrepareScenarioFolder("SecondStart");
  App first;
  StartApp(first, folder);
  HWND main = first.Main();
  ShowWindow(main, SW_MINIMIZE);
  ASSERT_TRUE(e2e::WaitUntil([&] { return IsIconic(main) != FALSE; }));

  {
    App second;
    ASSERT_TRUE(second.Start(folder));
    DWORD code = 1;
    ASSERT_TRUE(second.WaitForExit(std::chrono::seconds(30), &code));
    EXPECT_EQ(code, 0u);
  }
  EXPECT_TRUE(e2e::WaitUntil([&] { return !IsIconic(main); }));
  EXPECT_TRUE(e2e::WaitUntil([&] { return GetForegroundWindow() == main; }));

  // With an argument of 300 characters only the first 255 reach the first instance.
  const std::string longName(300, 'n');
  {
    App second;
    ASSERT_TRUE(second.Start(folder, longName));
    DWORD code = 1;
    ASSERT_TRUE(second.WaitForExit(std::chrono::seconds(30), &code));
    EXPECT_EQ(code, 0u);
  }
  HANDLE mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, "Morvash Registry Cleaner");
  ASSERT_NE(mapping, nullptr);
  const auto* record =
      static_cast<const unsigned char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 264));
  ASSERT_NE(record, nullptr);
  HWND stored = nullptr;
  std::memcpy(&stored, record + 4, 4);
  EXPECT_EQ(stored, main);
  EXPECT_EQ(record[8], 255);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(record + 9), 255), longName.substr(0, 255));
  UnmapViewOfFile(record);
  CloseHandle(mapping);

  // Only one main window exists.
  int windows = 0;
  EnumWindows(CountMainForms, reinterpret_cast<LPARAM>(&windows));
  EXPECT_EQ(windows, 1);
  EXPECT_EQ(first.Close(), 0);

  // A block this start may not open (another user's instance): it runs, so no second window.
  SECURITY_ATTRIBUTES nobody{sizeof nobody, nullptr, FALSE};
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(
      "D:P", SDDL_REVISION_1, &nobody.lpSecurityDescriptor, nullptr));
  HANDLE foreign = CreateFileMappingA(INVALID_HANDLE_VALUE, &nobody, PAGE_READWRITE, 0, 264,
                                      kInstanceName);
  LocalFree(nobody.lpSecurityDescriptor);
  App refused;
  ASSERT_TRUE(foreign && refused.Start(folder));
  HWND box = nullptr;
  ASSERT_TRUE(e2e::WaitUntil([&] { return (box = refused.FindMessageBox()) != nullptr; }));
  EXPECT_EQ(refused.WaitForMainWindow(std::chrono::milliseconds(0)), nullptr);
  e2e::PressButton(box, IDOK);
  DWORD code = 1;
  EXPECT_TRUE(refused.WaitForExit(std::chrono::seconds(20), &code) && code == 0) << code;
  CloseHandle(foreign);
}

TEST(MainWindow, SearchEndsAndOffersTheResults) {
  const std::string folder = e2e::PrepareScenarioFolder("SearchEmpty");
  App app;
  StartApp(app, folder);
  e2e::Click(app.Control(kIdSbSearchE));
  HWND lblSearch = app.Control(kIdLblSearch);
  ASSERT_TRUE(e2e::WaitUntil([&] { return e2e::Text(lblSearch).rfind("Found ", 0) == 0; },
                             std::chrono::seconds(600)));
  EXPECT_TRUE(e2e::IsShown(app.Control(kIdButton2)));
  EXPECT_TRUE(e2e::IsEnabled(app.Control(kIdSbSearchE)));
  EXPECT_FALSE(e2e::IsEnabled(app.Control(kIdButton4)));
  EXPECT_EQ(e2e::StatusText(app.Control(kIdStatusBar1)), e2e::Text(lblSearch));
  e2e::Click(app.Control(kIdButton2));
  ASSERT_TRUE(e2e::WaitUntil([&] { return e2e::IsShown(app.Control(kIdLbResults)); }));
  EXPECT_TRUE(e2e::IsShown(app.Control(kIdButton1)));
  EXPECT_TRUE(e2e::SaveScreenshot(app.Main(), "04-results-page"));
  e2e::Click(app.Control(kIdButton1));
  EXPECT_TRUE(e2e::WaitUntil([&] { return e2e::IsShown(app.Control(kIdSbSearchE)); }));
  EXPECT_EQ(app.Close(), 0);
}

}  // namespace

namespace {

struct FoundWindow {
  const char* part;
  HWND found;
};

BOOL CALLBACK FindTitleContaining(HWND hwnd, LPARAM lp) {
  auto* f = reinterpret_cast<FoundWindow*>(lp);
  char title[256] = {};
  GetWindowTextA(hwnd, title, sizeof title);
  if (IsWindowVisible(hwnd) && std::string(title).find(f->part) != std::string::npos) {
    f->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

TEST(MainWindow, HelpOpensTheTextBesideTheProgram) {
  const std::string folder = e2e::PrepareScenarioFolder("Help");
  // Windows associates .txt with Notepad; a fresh Wine prefix has the "txtfile" class but no
  // ".txt" key (and Wine's HKEY_CLASSES_ROOT does not take HKCU's classes), so the test adds
  // the machine's association for its duration.
  HKEY txt = nullptr;
  const bool added = RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Classes\\.txt", 0, nullptr, 0,
                                     KEY_ALL_ACCESS, nullptr, &txt, nullptr) == ERROR_SUCCESS;
  if (added) {
    RegSetValueExA(txt, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>("txtfile"), 8);
    RegCloseKey(txt);
  }
  // Once from its own folder, once from the root of C: started from another folder: "C:" alone
  // would be the drive's current folder, so the root's help text would not be found.
  const std::string marker = "Calvorin at the root of drive C";
  e2e::WriteWholeFile("C:\\calvorin.txt", marker + "\r\n");
  ASSERT_TRUE(CopyFileA(e2e::ProgramPath().c_str(), "C:\\calvorin.exe", FALSE));
  for (const bool atRoot : {false, true}) {
    SCOPED_TRACE(atRoot);
    App app;
    ASSERT_TRUE(atRoot ? app.Start("C:", "", folder) : app.Start(folder));
    ASSERT_NE(app.WaitForMainWindow(), nullptr);
    // From its own folder, where no calvorin.hlp is, F1 opens the text as the Help button does.
    if (atRoot) e2e::Click(app.Control(kIdBitBtn1));
    if (!atRoot) PostMessageA(app.Main(), WM_KEYDOWN, VK_F1, 0);
    FoundWindow viewer{"calvorin", nullptr};
    EXPECT_TRUE(e2e::WaitUntil([&] {
      viewer.found = nullptr;
      EnumWindows(FindTitleContaining, reinterpret_cast<LPARAM>(&viewer));
      return viewer.found != nullptr;
    }));
    if (viewer.found) {
      DWORD pid = 0;
      GetWindowThreadProcessId(viewer.found, &pid);
      EXPECT_NE(pid, app.ProcessId());
      HWND edit = FindWindowExA(viewer.found, nullptr, "Edit", nullptr);
      ASSERT_NE(edit, nullptr);
      EXPECT_EQ(e2e::Text(edit).find(marker) != std::string::npos, atRoot) << e2e::Text(edit);
      EXPECT_TRUE(e2e::SaveScreenshot(nullptr, atRoot ? "09-help-text-root" : "09-help-text"));
      PostMessageA(viewer.found, WM_CLOSE, 0, 0);
    }
    EXPECT_EQ(app.Close(), 0);
  }
  DeleteFileA("C:\\calvorin.exe");
  DeleteFileA("C:\\calvorin.txt");
  DeleteFileA("C:\\calvorin.INI");
  if (added) RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\Classes\\.txt");
}

}  // namespace
