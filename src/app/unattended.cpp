#include "app/unattended.h"

#include "base/text.h"
#include "scan/candidate.h"

namespace calvorin {
namespace {

bool LooksLikeSwitch(const std::string& arg) {
  return !arg.empty() && (arg[0] == '/' || arg[0] == '-');
}

// The switch's name in lower case without its "/" or "-", or "" for an argument that is none.
std::string SwitchName(const std::string& arg) {
  if (!LooksLikeSwitch(arg)) return {};
  return LowerAscii(std::string_view(arg).substr(1));
}

bool IsSwitch(const std::string& arg) {
  const std::string name = SwitchName(arg);
  for (const char* known : {"?", "scan", "repair", "extra", "report"}) {
    if (name == known) return true;
  }
  return false;
}

CommandLine UsageError(std::string error) {
  CommandLine line;
  line.mode = RunMode::kUsageError;
  line.error = std::move(error);
  return line;
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
  CommandLine line;
  if (args.empty() || !LooksLikeSwitch(args[0])) return line;  // the window
  bool scan = false, repair = false, report = false, help = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string name = SwitchName(args[i]);
    if (name == "?") {
      help = true;
    } else if (name == "scan") {
      scan = true;
    } else if (name == "repair") {
      repair = true;
    } else if (name == "extra") {
      line.extra = true;
    } else if (name == "report") {
      if (report) return UsageError("/report is given twice");
      // A name that is itself a switch is taken for a forgotten name.
      if (i + 1 == args.size() || args[i + 1].empty() || IsSwitch(args[i + 1])) {
        return UsageError("/report needs the name of the report file");
      }
      report = true;
      line.reportPath = args[++i];
    } else {
      return UsageError("Unknown switch: " + args[i]);
    }
  }
  if (help) {
    line.mode = RunMode::kHelp;
    return line;
  }
  if (scan && repair) return UsageError("/scan and /repair cannot be given together");
  if (!scan && !repair) return UsageError("Give /scan or /repair");
  if (line.extra && !repair) return UsageError("/extra goes with /repair only");
  line.mode = scan ? RunMode::kScan : RunMode::kRepair;
  return line;
}

std::string UsageText() {
  return "Calvorin: finds registry values that point at missing files.\r\n"
         "\r\n"
         "  calvorin                     opens the window\r\n"
         "  calvorin FILE                opens the window with a saved search\r\n"
         "  calvorin /scan [/report FILE]\r\n"
         "      scans the registry without a window, writes rrr.TXT\r\n"
         "  calvorin /repair [/extra] [/report FILE]\r\n"
         "      scans, then repairs what it found as the window's Repair does, with the same\r\n"
         "      backup (Restore in the window undoes it); /extra searches the drive for moved files\r\n"
         "  /report FILE  writes a CSV report (UTF-8): Key, ValueName, Data, CandidatePath\r\n"
         "                and, for /repair, Outcome and PathWritten\r\n"
         "  /?            shows this text\r\n"
         "Switches may start with \"-\" too and are not case-sensitive.\r\n"
         "\r\n"
         "Exit codes:\r\n"
         "  0  nothing invalid found (/scan); every entry cleaned or fixed (/repair)\r\n"
         "  1  invalid entries found (/scan); some left unchanged (/repair)\r\n"
         "  2  usage error: nothing done\r\n"
         "  3  a file (report, backup, log) could not be written: the registry is unchanged\r\n"
         "  4  another Repair is running: nothing done\r\n"
         "Values marked \"Always leave unchanged\" in the window are left as they are and\r\n"
         "count for neither 1.\r\n"
         "From cmd use \"start /wait calvorin ...\", from PowerShell\r\n"
         "\"Start-Process calvorin.exe -ArgumentList ... -Wait -PassThru\" to get the exit code.\r\n";
}

int ExitCodeOf(RunMode mode, const RunSummary& summary) {
  switch (mode) {
    case RunMode::kWindow:
    case RunMode::kHelp:
      return kExitNothingLeft;
    case RunMode::kUsageError:
      return kExitUsage;
    case RunMode::kScan:
    case RunMode::kRepair:
      break;
  }
  if (summary.repairRunning) return kExitRepairRunning;
  if (summary.fileFailed) return kExitFileFailed;
  // A value the user chose to keep is no finding: a detection script would otherwise call for a
  // remediation that can never change it.
  if (mode == RunMode::kScan) {
    return summary.found > summary.alwaysLeft ? kExitSomethingLeft : kExitNothingLeft;
  }
  // Entries a stopped scan never recorded are left as they are too.
  return summary.unchanged > summary.alwaysLeft || summary.stopped ? kExitSomethingLeft
                                                                   : kExitNothingLeft;
}

std::string CsvField(std::string_view text) {
  const bool quote = text.find_first_of(",\"\r\n") != std::string_view::npos ||
                     (!text.empty() && (text.front() == ' ' || text.back() == ' '));
  if (!quote) return std::string(text);
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}

std::string ReportText(int count, const std::function<ReportEntry(int index)>& entry,
                       bool withOutcome,
                       const std::function<std::string(std::string_view)>& toUtf8) {
  std::string text = "\xEF\xBB\xBFKey,ValueName,Data,CandidatePath";
  text += withOutcome ? ",Outcome,PathWritten\r\n" : "\r\n";
  for (int i = 0; i < count; ++i) {
    const ReportEntry e = entry(i);
    const std::string candidate = CutCandidate(e.dataText).value_or(std::string());
    for (const std::string* field : {&e.keyPath, &e.valueName, &e.dataText, &candidate}) {
      if (field != &e.keyPath) text += ',';
      text += CsvField(toUtf8(*field));
    }
    if (withOutcome) {
      text += ',' + CsvField(toUtf8(EntryOutcomeText(e.result)));
      text += ',' + CsvField(toUtf8(e.result.written));
    }
    text += "\r\n";
  }
  return text;
}

}  // namespace calvorin
