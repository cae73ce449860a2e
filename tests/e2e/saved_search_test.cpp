// Saved search files named on the command line or handed over by a second start.
#include <windows.h>
// after <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>

#include "app/win/control_ids.h"
#include "e2e_support.h"

using namespace calvorin::win32;
using e2e::App;
using e2e::IniValue;

namespace {

// Magic "MQT", selection 5, PerPage 9, MaxRslt -5, three empty lists, all with the shortest tags.
const char kSavedSearchBytes[] = "\x06\x03MQT\x02\x05\x02\x09\x02\xFB\x02\x00\x02\x00\x02\x00";
const std::string kSavedSearch(kSavedSearchBytes, sizeof kSavedSearchBytes - 1);

TEST(SavedSearch, FirstStartAppliesTheFileNamedOnTheCommandLine) {
  const std::string folder = e2e::PrepareScenarioFolder("SavedSearchFirst");
  const std::string file = folder + "\\search one.mqt";
  e2e::WriteWholeFile(file, kSavedSearch);
  App app;
  ASSERT_TRUE(app.Start(folder, "\"" + file + "\""));
  ASSERT_NE(app.WaitForMainWindow(), nullptr);
  // The single tab stays selected with its controls in view.
  EXPECT_EQ(SendMessageA(app.Control(kIdPcMain), TCM_GETCURSEL, 0, 0), 0);
  EXPECT_TRUE(e2e::IsShown(app.Control(kIdSbSearchE)));
  EXPECT_EQ(app.FindMessageBox(), nullptr);
  EXPECT_EQ(app.Close(), 0);
  // Taken as they are and written back at exit; the next start clamps them.
  const std::string ini = folder + "\\calvorin.INI";
  EXPECT_EQ(IniValue(ini, "Settings", "PerPage"), "9");
  EXPECT_EQ(IniValue(ini, "Settings", "MaxRslt"), "-5");
}

TEST(SavedSearch, FirstStartWithAMissingFileReadsNothing) {
  const std::string folder = e2e::PrepareScenarioFolder("SavedSearchMissing");
  App app;
  ASSERT_TRUE(app.Start(folder, "\"" + folder + "\\no such file.mqt\""));
  ASSERT_NE(app.WaitForMainWindow(), nullptr);
  Sleep(500);  // time for the first activation to have run
  EXPECT_EQ(app.FindMessageBox(), nullptr);
  EXPECT_EQ(app.Close(), 0);
  EXPECT_EQ(IniValue(folder + "\\calvorin.INI", "Settings", "MaxRslt"), "2");
}

TEST(SavedSearch, SecondStartHandsOverAFileWithTheWrongMagic) {
  const std::string folder = e2e::PrepareScenarioFolder("SavedSearchSecond");
  // A short string first, like a saved search, but not its magic.
  const std::string file = folder + "\\other.dat";
  e2e::WriteWholeFile(file, std::string("\x06\x03XYZ\x02\x01", 7));
  App first;
  ASSERT_TRUE(first.Start(folder));
  ASSERT_NE(first.WaitForMainWindow(), nullptr);
  App second;
  ASSERT_TRUE(second.Start(folder, "\"" + file + "\""));
  HWND box = nullptr;
  ASSERT_TRUE(e2e::WaitUntil([&] { return (box = first.FindMessageBox()) != nullptr; }));
  EXPECT_EQ(e2e::Text(box), "Calvorin");
  EXPECT_EQ(e2e::MessageBoxText(box), "MQT file corrupted (1)");
  EXPECT_TRUE(e2e::SaveScreenshot(nullptr, "08-saved-search-error"));
  // The second start waits until the first instance has handled the message.
  EXPECT_FALSE(second.WaitForExit(std::chrono::milliseconds(300)));
  e2e::PressButton(box, IDOK);
  DWORD code = 1;
  ASSERT_TRUE(second.WaitForExit(std::chrono::seconds(20), &code));
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(first.Close(), 0);
}

}  // namespace
