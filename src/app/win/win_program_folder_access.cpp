#include "app/win/win_program_folder_access.h"

#include <windows.h>
// after <windows.h>
#include <shlobj.h>

#include <vector>

#include "base/text.h"
#include "base/win/elevation.h"
#include "base/win/unique_handle.h"
#include "base/win/win_file_system.h"

namespace calvorin::win32 {
namespace {

// `wide` in the ANSI code page when every letter has its own there (no look-alike, no "?");
// "" when not.
std::string ExactAnsi(const std::wstring& wide) {
  if (wide.empty()) return {};
  const int n = static_cast<int>(wide.size());
  BOOL lossy = FALSE;
  const int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), n, nullptr, 0,
                                       nullptr, &lossy);
  if (size <= 0 || lossy) return {};
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), n, out.data(), size, nullptr,
                      &lossy);
  return lossy ? std::string() : out;
}

// The security of `folder` as GetFileSecurity gives it; empty when it cannot be read.
std::vector<BYTE> FolderSecurity(const std::string& folder) {
  const SECURITY_INFORMATION what =
      OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  DWORD needed = 0;
  GetFileSecurityA(folder.c_str(), what, nullptr, 0, &needed);
  std::vector<BYTE> sd(needed);
  if (needed == 0 || !GetFileSecurityA(folder.c_str(), what, sd.data(), needed, &needed)) {
    sd.clear();
  }
  return sd;
}

}  // namespace

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

bool WinProgramFolderAccess::UnelevatedCanCreateFileIn(const std::string& folder) {
  if (!RunsElevated()) return true;
  HANDLE raw = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return true;
  const UniqueKernelHandle self(raw);
  TOKEN_LINKED_TOKEN linked{};
  DWORD size = 0;
  if (!GetTokenInformation(self.get(), TokenLinkedToken, &linked, sizeof linked, &size)) {
    return true;  // no unelevated token beside this one (UAC off, the built-in Administrator)
  }
  const UniqueKernelHandle limited(linked.LinkedToken);
  // Without SeTcbPrivilege the linked token comes at identification level: it opens no file,
  // but AccessCheck takes it, so the folder's access list answers for it.
  std::vector<BYTE> sd = FolderSecurity(folder);
  if (sd.empty()) return true;
  GENERIC_MAPPING mapping{FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE,
                          FILE_ALL_ACCESS};
  PRIVILEGE_SET privileges{};
  DWORD privilegesSize = sizeof privileges;
  DWORD granted = 0;
  BOOL allowed = FALSE;
  if (!AccessCheck(sd.data(), limited.get(), FILE_ADD_FILE, &mapping, &privileges, &privilegesSize,
                   &granted, &allowed)) {
    return true;
  }
  return allowed != FALSE;
}

std::string WinProgramFolderAccess::LocalAppDataFolder() {
  // The ANSI form of a profile folder named outside the ANSI code page is a look-alike
  // ("Lukasz" for a Polish L with stroke, or question marks) that names no folder: ask in wide
  // letters, and fall back to the short name, which is plain ASCII, when the long one has no
  // exact ANSI form.
  wchar_t wide[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr,
                              SHGFP_TYPE_CURRENT, wide))) {
    return {};
  }
  std::string ansi = ExactAnsi(wide);
  if (!ansi.empty()) return ansi;
  wchar_t shortName[MAX_PATH] = {};
  const DWORD n = GetShortPathNameW(wide, shortName, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return {};
  return ExactAnsi(std::wstring(shortName, n));
}

bool WinProgramFolderAccess::MakeFolder(const std::string& folder) {
  return CreateDirectoryA(folder.c_str(), nullptr) || IsExistingFolder(folder);
}

bool WinProgramFolderAccess::FileExists(const std::string& path) {
  return IsExistingFile(path);
}

}  // namespace calvorin::win32
