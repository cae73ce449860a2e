#include "repair/kept_runs.h"

#include <algorithm>
#include <cstdlib>

#include "base/text.h"

namespace calvorin {

int CountBackupValues(const std::string& text) {
  int values = 0;
  bool continued = false;  // the line before ended with a backslash: this one goes on with it
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::size_t last = end;
    if (last > start && text[last - 1] == '\r') --last;
    const bool valueLine = last > start && (text[start] == '"' || text[start] == '@');
    if (!continued && valueLine) ++values;
    continued = last > start && text[last - 1] == '\\' && (continued || valueLine);
    start = end + 1;
  }
  return values;
}

std::string StampText(const std::string& stamp) {
  if (stamp.size() != 15 || stamp[8] != '-') return stamp;
  return stamp.substr(0, 4) + "-" + stamp.substr(4, 2) + "-" + stamp.substr(6, 2) + " " +
         stamp.substr(9, 2) + ":" + stamp.substr(11, 2) + ":" + stamp.substr(13, 2);
}

std::vector<KeptRun> ListKeptRuns(BackupFiles& files, const std::string& folder) {
  const std::string latest = BackupPath(folder);
  // The folder as BackupPath joins it, a backslash at its end (a path's own two-byte characters
  // may end in the backslash's byte).
  const std::string dir = JoinPath(folder, "");
  struct Found {
    KeptRun run;
    int number;  // the "-n" of a run kept within the same second
  };
  std::vector<Found> kept;
  for (const StoredFile& f : files.List(dir, "deletedkeys-*.reg")) {
    if (!IsKeptBackupName(f.name)) continue;
    const std::string rest = f.name.substr(12, f.name.size() - 12 - 4);  // stamp[-n]
    const int number = rest.size() > 15 ? std::atoi(rest.c_str() + 16) : 1;
    kept.push_back({{dir + f.name, rest.substr(0, 15), 0}, number});
  }
  std::sort(kept.begin(), kept.end(), [](const Found& a, const Found& b) {
    if (a.run.stamp != b.run.stamp) return a.run.stamp > b.run.stamp;
    return a.number > b.number;
  });
  std::vector<KeptRun> runs;
  if (files.Exists(latest)) {
    KeptRun run{latest, {}, 0};
    files.LastWriteStamp(latest, &run.stamp);
    runs.push_back(run);
  }
  for (Found& f : kept) runs.push_back(std::move(f.run));
  for (KeptRun& run : runs) {
    const std::optional<std::string> text = files.Read(run.path);
    run.values = text ? CountBackupValues(*text) : 0;
  }
  return runs;
}

}  // namespace calvorin
