#include "app/win/win_program_folder_access.h"

#include <windows.h>
// after <windows.h>
#include <shlobj.h>

#include "base/text.h"
#include "base/win/win_file_system.h"

namespace calvorin::win32 {

bool WinProgramFolderAccess::CanCreateFileIn(const std::string& folder) {
  // A name no one else uses: the process id and the tick count, counted on when it is taken.
  // FILE_FLAG_DELETE_ON_CLOSE deletes the file at the close, so a folder where files may be
  // created but not deleted (which the backups' renames and deletions need) counts as refusing,
  // and no probe is ever left behind.
  const DWORD pid = GetCurrentProcessId();
  const DWORD tick = GetTickCount();
  for (DWORD attempt = 0; attempt < 16; ++attempt) {
    const std::string probe =
        JoinPath(folder, Format("~calvorin-%lu-%lu.tmp", static_cast<unsigned long>(pid),
                                static_cast<unsigned long>(tick + attempt)));
    HANDLE file = CreateFileA(probe.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      CloseHandle(file);
      return true;
    }
    if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) {
      return false;
    }
  }
  return false;
}

std::string WinProgramFolderAccess::LocalAppDataFolder() {
  char buffer[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr,
                              SHGFP_TYPE_CURRENT, buffer))) {
    return {};
  }
  return buffer;
}

bool WinProgramFolderAccess::MakeFolder(const std::string& folder) {
  return CreateDirectoryA(folder.c_str(), nullptr) || IsExistingFolder(folder);
}

bool WinProgramFolderAccess::FileExists(const std::string& path) {
  return IsExistingFile(path);
}

}  // namespace calvorin::win32
