#include "app/unattended.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace calvorin {
namespace {

TEST(UnattendedTest, SwitchesAndUsageErrors) {
  struct Case {
    std::vector<std::string> args;
    RunMode mode;
    bool extra;
    std::string report;
  };
  const Case cases[] = {
      {{}, RunMode::kWindow, false, ""},
      {{"saved.mqt", "/bogus"}, RunMode::kWindow, false, ""},  // a saved search; the rest ignored
      {{"/SCAN"}, RunMode::kScan, false, ""},
      {{"-Repair", "/EXTRA", "-report", "-out.csv"}, RunMode::kRepair, true, "-out.csv"},
      {{"/report", "a b.csv", "/repair"}, RunMode::kRepair, false, "a b.csv"},
      {{"/scan", "-?"}, RunMode::kHelp, false, ""},
      {{"/scan", "/bogus"}, RunMode::kUsageError, false, ""},
      {{"/scan", "extra-argument"}, RunMode::kUsageError, false, ""},
      {{"/scan", "/extra"}, RunMode::kUsageError, true, ""},
      {{"/report", "/scan"}, RunMode::kUsageError, false, ""},
      {{"/scan", "/report", "a", "/report", "b"}, RunMode::kUsageError, false, ""},
      {{"/scan", "/repair"}, RunMode::kUsageError, false, ""},
      {{"/report", "a.csv"}, RunMode::kUsageError, false, ""},
      {{"-"}, RunMode::kUsageError, false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    const CommandLine line = ParseCommandLine(c.args);
    EXPECT_EQ(line.mode, c.mode);
    EXPECT_EQ(line.error.empty(), c.mode != RunMode::kUsageError);
    if (c.mode == RunMode::kUsageError) continue;
    EXPECT_EQ(line.extra, c.extra);
    EXPECT_EQ(line.reportPath, c.report);
  }
}

TEST(UnattendedTest, ExitCodeRule) {
  // {repairRunning, fileFailed, found, unchanged, stopped, alwaysLeft}
  EXPECT_EQ(ExitCodeOf(RunMode::kScan, {false, false, 0, 0, false}), 0);
  EXPECT_EQ(ExitCodeOf(RunMode::kScan, {false, false, 3, 0, false}), 1);
  EXPECT_EQ(ExitCodeOf(RunMode::kRepair, {false, false, 3, 0, false}), 0);
  // What the user marked to keep is no finding for /scan and no failure for /repair.
  EXPECT_EQ(ExitCodeOf(RunMode::kScan, {false, false, 2, 0, false, 2}), 0);
  EXPECT_EQ(ExitCodeOf(RunMode::kRepair, {false, false, 3, 2, false, 2}), 0);
  EXPECT_EQ(ExitCodeOf(RunMode::kRepair, {false, false, 3, 2, false, 1}), 1);
  EXPECT_EQ(ExitCodeOf(RunMode::kRepair, {false, false, 100000, 0, true}), 1);
  EXPECT_EQ(ExitCodeOf(RunMode::kRepair, {false, true, 3, 1, false}), 3);
  EXPECT_EQ(ExitCodeOf(RunMode::kRepair, {true, true, 0, 0, false}), 4);
  EXPECT_EQ(ExitCodeOf(RunMode::kUsageError, {}), 2);
}

TEST(UnattendedTest, ReportIsQuotedUtf8WithHeader) {
  const auto upper = [](std::string_view s) {  // stands in for the code-page conversion
    std::string out(s);
    for (char& c : out) c = c == '\xe9' ? 'E' : c;
    return out;
  };
  const std::vector<ReportEntry> entries = {
      {"HKEY_CURRENT_USER\\software\\a", "a,b \"q\"\r\nline", "\"C:\\Old\\caf\xe9.exe\"",
       {EntryOutcome::kFixed, "C:\\New\\app.exe"}},
      {"HKEY_CURRENT_USER\\software\\a", "", " C:\\x\\y.txt", {}}};
  const auto entry = [&](int i) { return entries[static_cast<size_t>(i)]; };
  EXPECT_EQ(ReportText(2, entry, true, upper),
            "\xEF\xBB\xBFKey,ValueName,Data,CandidatePath,Outcome,PathWritten\r\n"
            "HKEY_CURRENT_USER\\software\\a,\"a,b \"\"q\"\"\r\nline\",\"\"\"C:\\Old\\cafE.exe\"\"\","
            "C:\\Old\\cafE.exe,Fixed: C:\\New\\app.exe,C:\\New\\app.exe\r\n"
            "HKEY_CURRENT_USER\\software\\a,,\" C:\\x\\y.txt\",C:\\x\\y.tx,Left unchanged: the run ended before it,\r\n");
  EXPECT_EQ(ReportText(0, entry, false, upper), "\xEF\xBB\xBFKey,ValueName,Data,CandidatePath\r\n");
}

}  // namespace
}  // namespace calvorin
