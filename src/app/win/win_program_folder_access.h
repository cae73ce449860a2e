// ProgramFolderAccess over kernel32 and the shell's folder of the user's local application data.
#pragma once

#include <string>

#include "app/settings.h"

namespace calvorin::win32 {

class WinProgramFolderAccess : public ProgramFolderAccess {
 public:
  bool CanCreateFileIn(const std::string& folder) override;
  // AccessCheck of the folder's access list against the linked token.
  bool UnelevatedCanCreateFileIn(const std::string& folder) override;
  std::string LocalAppDataFolder() override;
  bool MakeFolder(const std::string& folder) override;
  bool FileExists(const std::string& path) override;
};

}  // namespace calvorin::win32
