// FileSystem over kernel32's ANSI calls.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "base/platform.h"

namespace calvorin::win32 {

class WinFileSystem : public FileSystem {
 public:
  bool FileExists(const std::string& path) override;
  bool FolderExists(const std::string& path) override;
  // One GetFileAttributesA, and FindFirstFileA only where that cannot settle the file question.
  // When that call finds the path's folder missing, the folder less the path's last character is
  // settled too (no folder) wherever it stays in the same missing folder.
  FileAnswer FileExistsAndFolder(const std::string& path) override;
  std::vector<FindEntry> Find(const std::string& pattern) override;
  // Relative paths name files in the current directory. The EFileError reads
  // Cannot create file "<full path>". <system reason>   (or "Cannot write file ...").
  void WriteWholeFile(const std::string& path, const std::string& bytes) override;
  void AppendToFile(const std::string& path, const std::string& bytes) override;
  // Each Append is one WriteFile at the end of the file. Others may read the file meanwhile, but
  // neither write nor delete it, so what it holds is exactly what was appended.
  std::unique_ptr<AppendStream> OpenForAppend(const std::string& path) override;
  std::optional<std::uint64_t> FileSize(const std::string& path) override;
  std::optional<std::string> ReadWholeFile(const std::string& path) override;
};

// The process-wide instance (the calls are stateless).
WinFileSystem& SystemFileSystem();

// The system's text for a Win32 error code, without the trailing line break and full stop
// (the window's failure handling adds its own full stop).
std::string SystemErrorText(unsigned long code);

// GetFullPathNameA's answer, however long (the path itself when there is none).
std::string FullPath(const std::string& path);
// Throws FileError(what, FullPath(path), SystemErrorText(code)).
[[noreturn]] void ThrowFileError(const char* what, const std::string& path, unsigned long code);

// A file, not a folder, is at `path` (its attributes can be read, without the directory one).
bool IsExistingFile(const std::string& path);
// A folder is at `path`.
bool IsExistingFolder(const std::string& path);
// FindFirstFileA semantics, wildcards included: something matches `pattern` and the first match
// is not a folder.
bool FirstFoundIsFile(const std::string& pattern);

}  // namespace calvorin::win32
