#include "base/win/win_file_system.h"

#include <windows.h>

#include <algorithm>
#include <string_view>
#include <vector>

#include "base/text.h"
#include "base/win/unique_handle.h"
#include "base/win/wow64.h"

namespace calvorin::win32 {
namespace {

// A probe of a drive without a medium (a floppy B:, an empty card reader) must fail quietly
// instead of asking the user to insert a disk. Windows shows that box unless the critical-error
// mode is set; Wine never shows it, so there this only restores what it set.
// The probes and listings also see the files as a 64-bit program does: under WOW64,
// C:\Windows\System32 would otherwise answer from SysWOW64.
class QuietDriveErrors {
 public:
  QuietDriveErrors() {
    ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &old_);
  }
  ~QuietDriveErrors() { ::SetThreadErrorMode(old_, nullptr); }
  QuietDriveErrors(const QuietDriveErrors&) = delete;
  QuietDriveErrors& operator=(const QuietDriveErrors&) = delete;

 private:
  DWORD old_ = 0;
  FileSystemRedirectionOff nativeView_;
};

void WriteAll(HANDLE file, const std::string& path, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
    DWORD written = 0;
    if (!::WriteFile(file, bytes.data() + done, chunk, &written, nullptr)) {
      ThrowFileError("Cannot write file", path, ::GetLastError());
    }
    if (written == 0) ThrowFileError("Cannot write file", path, ERROR_WRITE_FAULT);
    done += written;
  }
}

UniqueFile OpenExistingForAppend(const std::string& path) {
  // Held open for a whole scan: other programs may read, replace or delete the file meanwhile.
  UniqueFile file(::CreateFileA(path.c_str(), FILE_APPEND_DATA,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) ThrowFileError("Cannot open file", path, ::GetLastError());
  return file;
}

class WinAppendStream : public AppendStream {
 public:
  WinAppendStream(std::string path, UniqueFile file)
      : path_(std::move(path)), file_(std::move(file)) {}
  void Append(const std::string& bytes) override { WriteAll(file_.get(), path_, bytes); }

 private:
  std::string path_;
  UniqueFile file_;
};

// "*" and "?", and the "<", ">" and "\"" the file systems also take for wildcards.
bool HasWildcard(std::string_view path) {
  return path.find_first_of("*?<>\"") != std::string_view::npos;
}

bool NamesDosDevice(std::string_view path) {
  return IsDosDeviceName(path, CurrentLeadByteTest());
}

// FindFirstFileA costs several times GetFileAttributesA under Wine (about 80 against 25 us for a
// name missing from an existing folder: it opens the folder, searches it and closes it, each a
// server round trip). When the name holds no wildcard, FindFirstFileA finds an entry only where
// the path names one by its long or its 8.3 name, and GetFileAttributesA resolves both; so when
// the latter says the file or its path is not there, the former would find nothing either.
// Wildcards ("*" and "?", and the "<", ">" and "\"" the file systems also take for them) and DOS
// device names (which FindFirstFileA answers with a made-up entry) keep the full search.
bool NeedsFullSearch(const std::string& path) {
  return HasWildcard(path) || NamesDosDevice(path);
}

// Whether GetFileAttributesA's ERROR_PATH_NOT_FOUND for `path` also settles that the path less
// its last character is no folder. That error says a folder on the way to the last name is
// missing (or is a file), so no other name in the same folder can be found either. Removing one
// character keeps the same folder text when the last name keeps a character that is neither a
// dot nor a space (a name of only those resolves to the folder itself, or above it) and the
// removed character is no separator. Wildcards and DOS device names (which resolve without any
// folder) keep the question; so do double-byte code pages, where a trail byte can look like "\".
bool MissingFolderSettlesLessLast(std::string_view path) {
  if (path.empty() || HasWildcard(path)) return false;
  if (const LeadByteTest lead = CurrentLeadByteTest()) {
    for (const char c : path) {
      const auto byte = static_cast<unsigned char>(c);
      if (byte >= 0x80 && lead(byte)) return false;
    }
  }
  const std::string_view lessLast = path.substr(0, path.size() - 1);
  const size_t cut = lessLast.find_last_of("\\/");
  if (cut == std::string_view::npos || path.back() == '\\' || path.back() == '/') return false;
  const std::string_view name = lessLast.substr(cut + 1);
  if (name.find_first_not_of(". ") == std::string_view::npos) return false;
  return !NamesDosDevice(lessLast);
}

}  // namespace

std::string FullPath(const std::string& path) {
  char buffer[MAX_PATH];
  const DWORD n = ::GetFullPathNameA(path.c_str(), MAX_PATH, buffer, nullptr);
  if (n > 0 && n < MAX_PATH) return std::string(buffer, n);
  if (n >= MAX_PATH) {
    std::vector<char> big(n + 1);
    const DWORD m = ::GetFullPathNameA(path.c_str(), n + 1, big.data(), nullptr);
    if (m > 0 && m <= n) return std::string(big.data(), m);
  }
  return path;
}

void ThrowFileError(const char* what, const std::string& path, unsigned long code) {
  throw FileError(what, FullPath(path), SystemErrorText(code));
}

bool IsExistingFile(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool IsExistingFolder(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool FirstFoundIsFile(const std::string& pattern) {
  WIN32_FIND_DATAA data;
  UniqueFind find(::FindFirstFileA(pattern.c_str(), &data));
  return find && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::string SystemErrorText(unsigned long code) {
  char* buffer = nullptr;
  const DWORD n = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
  std::string text;
  if (n != 0 && buffer != nullptr) text.assign(buffer, n);
  if (buffer != nullptr) ::LocalFree(buffer);
  while (!text.empty() && (static_cast<unsigned char>(text.back()) <= ' ' || text.back() == '.')) {
    text.pop_back();
  }
  if (text.empty()) text = Format("System error code: %lu", code);
  return text;
}

bool WinFileSystem::FileExists(const std::string& path) {
  return FileExistsAndFolder(path).file;
}

FileSystem::FileAnswer WinFileSystem::FileExistsAndFolder(const std::string& path) {
  QuietDriveErrors quiet;
  FileAnswer answer;
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  const DWORD error = ::GetLastError();
  // Exactly what FolderExists asks.
  answer.folder =
      attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  const bool missing = attributes == INVALID_FILE_ATTRIBUTES &&
                       (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND);
  answer.file = missing && !NeedsFullSearch(path) ? false : FirstFoundIsFile(path);
  if (attributes == INVALID_FILE_ATTRIBUTES && error == ERROR_PATH_NOT_FOUND &&
      MissingFolderSettlesLessLast(path)) {
    answer.folderLessLastCharacter = false;
  }
  return answer;
}

bool WinFileSystem::FolderExists(const std::string& path) {
  QuietDriveErrors quiet;
  return IsExistingFolder(path);
}

// Listed in UTF-16 and converted here: FindFirstFileA would hand out a look-alike ("L" for
// "\u0141", or "?", a wildcard) for a name the ANSI code page lacks, and a path composed from
// it names another file or none. Such entries are left out: no ANSI path reaches them.
std::vector<FindEntry> WinFileSystem::Find(const std::string& pattern) {
  QuietDriveErrors quiet;
  std::vector<FindEntry> entries;
  std::wstring widePattern(pattern.size() + 1, L'\0');
  const int n = ::MultiByteToWideChar(CP_ACP, 0, pattern.data(), static_cast<int>(pattern.size()),
                                      widePattern.data(), static_cast<int>(widePattern.size()));
  widePattern.resize(n > 0 ? static_cast<size_t>(n) : 0);
  WIN32_FIND_DATAW data;
  UniqueFind find(::FindFirstFileW(widePattern.c_str(), &data));
  if (!find) return entries;
  char name[4 * MAX_PATH];
  // Code page 65001 takes neither the flag nor the question; it has every character.
  const bool utf8 = ::GetACP() == CP_UTF8;
  do {
    BOOL lossy = FALSE;
    const int length =
        ::WideCharToMultiByte(CP_ACP, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, data.cFileName, -1, name,
                              sizeof name, nullptr, utf8 ? nullptr : &lossy);
    if (length > 0 && !lossy) entries.push_back({name, data.dwFileAttributes});
  } while (::FindNextFileW(find.get(), &data));
  return entries;
}

void WinFileSystem::WriteWholeFile(const std::string& path, const std::string& bytes) {
  // Windows refuses CREATE_ALWAYS over a hidden or system file (ERROR_ACCESS_DENIED) unless the
  // same attributes are asked for; replacing the file keeps them. Wine replaces it either way.
  DWORD attributes = FILE_ATTRIBUTE_NORMAL;
  const DWORD existing = ::GetFileAttributesA(path.c_str());
  if (existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    const DWORD kept = existing & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    if (kept != 0) attributes = kept;
  }
  UniqueFile file(::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                CREATE_ALWAYS, attributes, nullptr));
  if (!file) ThrowFileError("Cannot create file", path, ::GetLastError());
  WriteAll(file.get(), path, bytes);
}

void WinFileSystem::AppendToFile(const std::string& path, const std::string& bytes) {
  UniqueFile file = OpenExistingForAppend(path);
  WriteAll(file.get(), path, bytes);
}

std::unique_ptr<AppendStream> WinFileSystem::OpenForAppend(const std::string& path) {
  return std::make_unique<WinAppendStream>(path, OpenExistingForAppend(path));
}

std::optional<std::uint64_t> WinFileSystem::FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return std::nullopt;
  }
  return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::optional<std::string> WinFileSystem::ReadWholeFile(const std::string& path) {
  UniqueFile file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return std::nullopt;
  std::string bytes;
  char buffer[65536];
  DWORD got = 0;
  for (;;) {
    if (!::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr)) return std::nullopt;
    if (got == 0) return bytes;
    bytes.append(buffer, got);
  }
}

WinFileSystem& SystemFileSystem() {
  static WinFileSystem instance;
  return instance;
}

}  // namespace calvorin::win32
