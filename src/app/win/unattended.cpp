#include "app/win/unattended.h"

#include <windows.h>

#include <exception>
#include <optional>
#include <stdexcept>

#include "app/settings.h"
#include "app/unattended.h"
#include "app/win/repair_setup.h"
#include "app/win/win_program_folder_access.h"
#include "base/text.h"
#include "base/win/code_page.h"
#include "base/win/unique_handle.h"
#include "base/win/win_file_system.h"
#include "registry/win/win_registry.h"
#include "repair/repair.h"
#include "repair/win/repair_lock.h"
#include "repair/win/win_backup_files.h"
#include "scan/always_leave.h"
#include "scan/invalid_reference_scan.h"
#include "search/win/search_thread_host.h"
#include "search/win/startup.h"

namespace calvorin::win32 {
namespace {

std::string AnsiToUtf8(std::string_view ansi) {
  const std::wstring wide = AnsiToWide(ansi);
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                    nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n,
                      nullptr, nullptr);
  return out;
}

// Where the run's lines go: standard output when the caller gave one (a redirection, a pipe, a
// Unix shell under Wine), else the console of the process that started us. A program of the
// Windows subsystem gets neither by itself.
class ConsoleOut {
 public:
  ConsoleOut() : out_(GetStdHandle(STD_OUTPUT_HANDLE)) {
    if (out_ == nullptr || out_ == INVALID_HANDLE_VALUE) {
      out_ = nullptr;
      if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
      own_.reset(CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                             nullptr));
      out_ = own_ ? own_.get() : nullptr;
      // cmd has printed its prompt already; start below it.
      Line("");
    }
  }
  void Line(const std::string& text) {
    if (!out_) return;
    const std::string line = text + "\r\n";
    DWORD written = 0;
    // A console shows its own code page; the texts are the program's ANSI ones.
    if (GetFileType(out_) == FILE_TYPE_CHAR) {
      const std::wstring wide = AnsiToWide(line);
      if (WriteConsoleW(out_, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr)) {
        return;
      }
    }
    WriteFile(out_, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  }

 private:
  HANDLE out_;
  UniqueFile own_;
};

// The report will be put in place the way WinBackupFiles::WriteAtomically does it: a temporary
// file beside it, then a rename over it. Both are tried before anything is changed.
std::optional<std::string> ReportCannotBeWritten(const std::string& path) {
  const std::string temp = path + ".tmp";
  {
    UniqueFile probe(CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (!probe) {
      return "Cannot create file " + temp + ": " + SystemErrorText(GetLastError());
    }
  }
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return std::nullopt;
  if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) {
    return "Cannot replace file " + path + ": " + SystemErrorText(ERROR_ACCESS_DENIED);
  }
  // Open in a program that does not let it be replaced (a spreadsheet, say).
  UniqueFile target(CreateFileA(path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE |
                                FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!target) return "Cannot replace file " + path + ": " + SystemErrorText(GetLastError());
  return std::nullopt;
}

// The window's scan: the same walk on a worker thread, its calls served on this thread, which
// pumps messages until the walk has ended.
struct ScanDone {
  bool stopped = false;
};
ScanDone Scan(InvalidReferenceScan& scan) {
  bool ended = false;
  SearchThreadHost host(
      ":\\", [&scan](const TResult& hit) { scan.SearchMatch(hit); },
      [](std::int32_t, std::int32_t) {});
  scan.onFull = [&host] { host.Terminate(); };
  // The end comes in a sent message, which GetMessage handles without returning.
  host.SetOnTerminate([&ended] {
    ended = true;
    PostQuitMessage(0);
  });
  host.Resume();
  MSG msg;
  while (!ended && GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  scan.CloseLog();
  scan.onFull = nullptr;
  return {host.Thread().StopReason != srFinished};
}

// A Repair run's events as the console shows them: only its counts.
class ConsoleRepairUi : public RepairUi {
 public:
  ConsoleRepairUi(ConsoleOut& out, bool extra) : out_(out), extra_(extra) {}
  void Begun(int) override {}
  void ItemStarted(const std::string&) override {}
  void ItemDone(int) override {}
  void Searching(const std::string&) override {}
  void StillSearching() override {}
  bool SearchMovedFiles() override { return extra_; }
  void Finished(const RepairOutcome& outcome) override {
    for (const std::string* line :
         {&outcome.cleaned, &outcome.fixed, &outcome.unchanged, &outcome.rightsHint}) {
      if (!line->empty()) out_.Line(*line);
    }
  }
  void Failed(bool) override {}

 private:
  ConsoleOut& out_;
  bool extra_;
};

// The invalid-path log lies where the window puts it: a relative name is taken in the program's
// folder, the window's working folder (this run keeps the caller's, for the report's name).
std::string LogPathOf(const ProgramFilePlaces& places, const std::string& exePath) {
  if (places.logPath.find('\\') != std::string::npos) return places.logPath;
  return JoinPath(WorkingFolderOf(exePath), places.logPath);
}

// The run itself; what it cannot handle is thrown.
int Run(ConsoleOut& out, const CommandLine& line, const std::string& exePath) {
  if (line.mode == RunMode::kHelp) {
    out.Line(UsageText());
    return ExitCodeOf(line.mode, {});
  }
  if (line.mode == RunMode::kUsageError) {
    out.Line(line.error + ". \"calvorin /?\" lists the switches.");
    return ExitCodeOf(line.mode, {});
  }
  RunSummary summary;
  const auto fail = [&](const std::string& why) {
    out.Line(why);
    summary.fileFailed = true;
    return ExitCodeOf(line.mode, summary);
  };
  const bool repair = line.mode == RunMode::kRepair;
  std::optional<RepairLock> lock;
  if (repair) {
    lock.emplace();
    if (!lock->Held()) {
      out.Line("Another Repair is running; nothing was done.");
      summary.repairRunning = true;
      return ExitCodeOf(line.mode, summary);
    }
  }
  const std::string reportPath = line.reportPath.empty() ? "" : FullPath(line.reportPath);
  if (!reportPath.empty()) {
    if (const auto why = ReportCannotBeWritten(reportPath)) return fail(*why);
  }

  BuildSkipKeys();  // the walk leaves out the same aliased keys as the window's
  WinProgramFolderAccess access;
  const ProgramFilePlaces places = ChooseProgramFilePlaces(exePath, access);
  WinFileSystem fs;
  InvalidReferenceScan scan(fs, LogPathOf(places, exePath));
  const ScanDone scanned = Scan(scan);
  summary.found = scan.HitCount();
  summary.stopped = scanned.stopped;
  out.Line(scanned.stopped ? Format("Found %d items before being stopped", summary.found)
                           : Format("Found %d items", summary.found));
  const std::optional<std::string> logFailure = scan.TakeLogFailure();
  // The values the user marked in the window are left as they are here too.
  const AlwaysLeaveList leave = AlwaysLeaveList::Load(fs, AlwaysLeavePath(places));
  std::vector<bool> left(static_cast<size_t>(summary.found), false);
  for (size_t i = 0; leave.Size() > 0 && i < left.size(); ++i) {
    const HitStore::Record& e = scan.Results().Record(i);
    left[i] = leave.Contains(e.Root, std::string(e.KeyPath), std::string(e.ValueName));
    summary.alwaysLeft += left[i] ? 1 : 0;
  }

  RepairCounts counts;
  counts.entries.resize(static_cast<size_t>(scan.HitCount()));
  std::optional<std::string> failure = logFailure;
  // A log that could not be written is a file that failed: the registry stays as it is.
  if (repair && !failure) {
    ConsoleRepairUi ui(out, line.extra);
    WinBackupFiles files;
    WinFileSecurity security;
    const RepairOptions options = SystemRepairOptions(":\\", security);
    try {
      std::vector<RepairEntry> entries = RecordedEntries(scan, 1);
      for (size_t i = 0; i < entries.size(); ++i) entries[i].alwaysLeave = left[i];
      counts = RunRepair(entries, SystemRegistry(), fs, files, ui, places.folder, options);
      summary.unchanged = counts.unchanged;
    } catch (const std::exception& e) {
      failure = e.what();
    }
  }
  if (!reportPath.empty()) {
    const auto row = [&](int i) {
      return ReportEntry{scan.HitKeyPath(i + 1), scan.HitValueName(i + 1), scan.HitDataText(i + 1),
                         counts.entries[static_cast<size_t>(i)]};
    };
    try {
      WinBackupFiles().WriteAtomically(reportPath,
                                       ReportText(scan.HitCount(), row, repair, AnsiToUtf8));
    } catch (const std::exception& e) {
      if (!failure) failure = e.what();
    }
  }
  if (failure) return fail(*failure);
  return ExitCodeOf(line.mode, summary);
}

}  // namespace

bool IsUnattended(const std::vector<std::string>& args) {
  return ParseCommandLine(args).mode != RunMode::kWindow;
}

int RunUnattended(const std::vector<std::string>& args, const std::string& exePath) {
  // Nobody is there to answer a box: no "no disk in drive", no crash dialog.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  ConsoleOut out;
  const CommandLine line = ParseCommandLine(args);
  try {
    return Run(out, line, exePath);
  } catch (const std::exception& e) {
    // Before Repair's first change (a thread or window that could not be made, no memory);
    // RunRepair's own failures are caught where it runs.
    out.Line(e.what());
    return kExitFileFailed;
  }
}

}  // namespace calvorin::win32
