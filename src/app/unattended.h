// Unattended runs, for administrators who run the program through their management tools: the
// command-line switches, the CSV report and the exit code. The run itself, without a window, is
// in app/win/unattended.cpp.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "repair/repair.h"

namespace calvorin {

// The exit codes of an unattended run, as /?, the README and the help text state them.
enum ExitCode : int {
  kExitNothingLeft = 0,     // nothing invalid found (/scan); every entry cleaned or fixed (/repair)
  kExitSomethingLeft = 1,   // invalid entries found (/scan); some left unchanged (/repair)
  kExitUsage = 2,           // a usage error: nothing done
  kExitFileFailed = 3,      // a file (report, backup, log) could not be written; registry unchanged
  kExitRepairRunning = 4,   // another Repair is running
};

enum class RunMode { kWindow, kHelp, kScan, kRepair, kUsageError };

struct CommandLine {
  RunMode mode = RunMode::kWindow;
  bool extra = false;       // /repair /extra: moved files are searched for
  std::string reportPath;   // /report FILE; empty when none
  std::string error;        // for kUsageError: what was wrong
};

// The arguments after the program's name. No argument, or a first one that is not a switch (a
// saved search file), opens the window, which ignores the rest. Otherwise every argument is a
// switch, "/" or "-" and a case-insensitive name: /scan or /repair, /extra (only with /repair),
// /report FILE, or /? (which wins over the others).
CommandLine ParseCommandLine(const std::vector<std::string>& args);

// What /? prints: the switches and the exit codes.
std::string UsageText();

// How a run ended, for its exit code.
struct RunSummary {
  bool repairRunning = false;  // another Repair held the lock: nothing done
  bool fileFailed = false;     // the report, the backup or the log could not be written
  int found = 0;               // entries the scan recorded
  int unchanged = 0;           // of those, left unchanged by /repair
  bool stopped = false;        // the scan ended before the whole registry was walked
  int alwaysLeft = 0;          // of those found, marked "always leave unchanged": the user's choice
};
int ExitCodeOf(RunMode mode, const RunSummary& summary);

// One recorded entry as the report lists it.
struct ReportEntry {
  std::string keyPath, valueName, dataText;  // as the results list shows them (ANSI)
  EntryResult result;                        // for /repair
};

// One CSV field as RFC 4180 writes it: quoted (quotes doubled) when it holds a comma, a quote, a
// line break or leading or trailing spaces.
std::string CsvField(std::string_view text);

// The report: UTF-8 with a byte-order mark, a header row, one row per entry, CR LF after each
// row. Columns: the key path, the value name, the data text, the candidate path, and with
// `withOutcome` the outcome and the path written. `toUtf8` converts the program's ANSI texts.
// `entry(i)` gives entry i of `count`, one at a time: at 100,000 entries a second copy of them
// all would cost megabytes.
std::string ReportText(int count, const std::function<ReportEntry(int index)>& entry,
                       bool withOutcome,
                       const std::function<std::string(std::string_view)>& toUtf8);

}  // namespace calvorin
