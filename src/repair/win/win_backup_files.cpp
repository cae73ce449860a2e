#include "repair/win/win_backup_files.h"

#include <windows.h>
// shellapi.h needs windows.h first.
#include <shellapi.h>

#include "base/text.h"
#include "base/win/unique_handle.h"
#include "base/win/win_file_system.h"
#include "base/win/wow64.h"

namespace calvorin::win32 {
namespace {

std::uint64_t Ticks(const FILETIME& t) {
  return (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

}  // namespace

bool WinBackupFiles::Exists(const std::string& path) {
  return IsExistingFile(path);
}

void WinBackupFiles::WriteAtomically(const std::string& path, const std::string& bytes) {
  const std::string temp = path + ".tmp";
  {
    UniqueFile file(CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) ThrowFileError("Cannot create file", temp, GetLastError());
    DWORD written = 0;
    const bool ok =
        WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
        written == bytes.size() && FlushFileBuffers(file.get());
    if (!ok) {
      const DWORD code = GetLastError();
      file.reset();
      DeleteFileA(temp.c_str());
      ThrowFileError("Cannot write file", temp, code);
    }
  }
  // MOVEFILE_REPLACE_EXISTING puts the new file in place in one rename on NTFS; Wine maps it
  // to rename(2), which is atomic on POSIX file systems.
  if (!MoveFileExA(temp.c_str(), path.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD code = GetLastError();
    DeleteFileA(temp.c_str());
    ThrowFileError("Cannot replace file", path, code);
  }
}

bool WinBackupFiles::LastWriteStamp(const std::string& path, std::string* stamp) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return false;
  FILETIME local;
  SYSTEMTIME t;
  if (!FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) ||
      !FileTimeToSystemTime(&local, &t)) {
    return false;
  }
  *stamp =
      Format("%04u%02u%02u-%02u%02u%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
  return true;
}

bool WinBackupFiles::Rename(const std::string& from, const std::string& to) {
  // Without MOVEFILE_REPLACE_EXISTING an existing target makes the call fail.
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH) != 0;
}

std::vector<StoredFile> WinBackupFiles::List(const std::string& folder, const std::string& mask) {
  std::vector<StoredFile> out;
  WIN32_FIND_DATAA data;
  UniqueFind find(FindFirstFileA((folder + mask).c_str(), &data));
  if (!find) return out;
  do {
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      out.push_back({data.cFileName, Ticks(data.ftLastWriteTime)});
    }
  } while (FindNextFileA(find.get(), &data));
  return out;
}

bool WinBackupFiles::Delete(const std::string& path) {
  return DeleteFileA(path.c_str()) != 0;
}

namespace {

RestoreStart EditorFailed(DWORD error) {
  return {RestoreStart::kEditorFailed, SystemErrorText(error)};
}

}  // namespace

// Under WOW64 the backup's key lines are the real paths of the 64-bit view
// ("...\Software\X" and "...\Software\Wow6432Node\X" alike), which only the 64-bit registry
// editor reads as meant. The shell's association ("regedit.exe "%1"") does not give that
// editor to a 32-bit caller: the search for "regedit.exe" looks in the system folder (for it
// SysWOW64) before %windir%, and the file system redirects %windir%\regedit.exe itself to
// SysWOW64\regedit.exe (Wine 8 redirects it the same way). That 32-bit editor writes
// "...\Software\X" into Wow6432Node. So the editor is named here, %windir%\regedit.exe, and started
// with the redirection off around the start alone. Windows starts an editor that asks for elevation
// only through the shell. The shell loads its own parts and extensions on this thread, which with
// the redirection off would come from the 64-bit System32, so it runs with the redirection on; the
// elevated start (the AppInfo service, a 64-bit process) takes the path as it stands and starts
// the 64-bit editor all the same.
RestoreStart StartRegistryEditor(const std::string& editor, const std::string& backupPath) {
  if (!IsExistingFile(backupPath)) return {RestoreStart::kRefused, {}};
  const std::string arguments = "\"" + backupPath + "\"";
  std::string commandLine = "\"" + editor + "\" " + arguments;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  BOOL started;
  DWORD error;
  {
    FileSystemRedirectionOff nativeFiles;
    started = CreateProcessA(editor.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                             nullptr, nullptr, &startup, &process);
    error = GetLastError();  // before the redirection is turned back on
  }
  if (started) {
    // Not waited for; closed in the order they were always closed, thread first.
    const UniqueKernelHandle child(process.hProcess);
    const UniqueKernelHandle thread(process.hThread);
    return {};
  }
  constexpr DWORD kElevationRequired = 740;  // ERROR_ELEVATION_REQUIRED (not in MinGW's headers)
  if (error != kElevationRequired) return EditorFailed(error);
  // ShellExecuteEx keeps the system's reason (a declined elevation is ERROR_CANCELLED) and shows
  // no box of its own: the program says what failed.
  SHELLEXECUTEINFOA info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_FLAG_NO_UI;
  info.lpVerb = "open";
  info.lpFile = editor.c_str();
  info.lpParameters = arguments.c_str();
  info.nShow = SW_SHOWNORMAL;
  if (ShellExecuteExA(&info)) return {};
  return EditorFailed(GetLastError());
}

namespace {

RestoreStart OpenWith64BitEditor(const std::string& backupPath) {
  if (!IsExistingFile(backupPath)) return {RestoreStart::kRefused, {}};
  char windows[MAX_PATH];
  const UINT n = GetSystemWindowsDirectoryA(windows, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return EditorFailed(n == 0 ? GetLastError() : ERROR_BUFFER_OVERFLOW);
  return StartRegistryEditor(JoinPath(std::string_view(windows, n), "regedit.exe"), backupPath);
}

}  // namespace

RestoreStart OpenBackupWithShell(const std::string& backupPath) {
  if (RunsUnderWow64()) return OpenWith64BitEditor(backupPath);
  const HINSTANCE result =
      ShellExecuteA(nullptr, "open", backupPath.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  if (reinterpret_cast<INT_PTR>(result) > 32) return {};
  return {RestoreStart::kRefused, {}};
}

std::optional<std::string> WinBackupFiles::Read(const std::string& path) {
  return WinFileSystem().ReadWholeFile(path);
}

}  // namespace calvorin::win32
