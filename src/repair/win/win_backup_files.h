// BackupFiles over kernel32, and the shell's open action that merges a backup back.
#pragma once

#include "repair/repair.h"

namespace calvorin::win32 {

class WinBackupFiles : public BackupFiles {
 public:
  bool Exists(const std::string& path) override;
  void WriteAtomically(const std::string& path, const std::string& bytes) override;
  bool LastWriteStamp(const std::string& path, std::string* stamp) override;
  bool Rename(const std::string& from, const std::string& to) override;
  std::vector<StoredFile> List(const std::string& folder, const std::string& mask) override;
  bool Delete(const std::string& path) override;
  std::optional<std::string> Read(const std::string& path) override;
};

// ShellExecuteA(nullptr, "open", backupPath, nullptr, nullptr, SW_SHOWNORMAL): kStarted when the
// shell started the action (result above 32), kRefused otherwise. Under WOW64 the 64-bit
// registry editor is started on the file instead (StartRegistryEditor). Does not wait for the
// import.
RestoreStart OpenBackupWithShell(const std::string& backupPath);
// Starts `editor` on an existing backup, through the shell when it asks for elevation (see the
// definition): kRefused for a missing backup, kEditorFailed with the system's reason when the
// editor did not start (not there, blocked, the elevation declined).
RestoreStart StartRegistryEditor(const std::string& editor, const std::string& backupPath);

}  // namespace calvorin::win32
