// The small interfaces through which the core reaches the platform (besides RegistryApi).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace calvorin {

// File attributes as the platform reports them.
constexpr std::uint32_t kFileAttributeReadOnly = 0x01;
constexpr std::uint32_t kFileAttributeHidden = 0x02;
constexpr std::uint32_t kFileAttributeSystem = 0x04;
constexpr std::uint32_t kFileAttributeDirectory = 0x10;
constexpr std::uint32_t kFileAttributeArchive = 0x20;
// A junction, mount point or symbolic link; Wine shows a Unix symbolic link to a folder so.
constexpr std::uint32_t kFileAttributeReparsePoint = 0x400;

// A file operation that failed; the message names the path and the system's reason.
class EFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The failure's words: <what> "<full path>". <reason>   (the reason without a final full stop)
inline EFileError FileError(const std::string& what, const std::string& fullPath,
                            const std::string& reason) {
  return EFileError(what + " \"" + fullPath + "\". " + reason);
}

struct FindEntry {
  std::string name;
  std::uint32_t attributes = 0;
  bool IsFolder() const { return (attributes & kFileAttributeDirectory) != 0; }
};

// A file held open for adding at its end. Append returns only when the bytes are in the file
// (no buffering of its own), so anyone who reads the file afterwards sees them; the file is
// closed when the object is destroyed.
class AppendStream {
 public:
  virtual ~AppendStream() = default;
  // Throws EFileError when the bytes cannot be written (some of them may have been).
  virtual void Append(const std::string& bytes) = 0;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // FindFirstFile semantics (wildcards included): true when the first entry found is not a folder.
  virtual bool FileExists(const std::string& path) = 0;
  // The path's attributes can be read and include the directory attribute.
  virtual bool FolderExists(const std::string& path) = 0;
  // FileExists, and what FolderExists says of the same path, and of the path less its last
  // character, when the calls made for the former already tell (nullopt: ask FolderExists). The
  // default only asks FileExists.
  struct FileAnswer {
    bool file = false;
    std::optional<bool> folder;
    std::optional<bool> folderLessLastCharacter;
  };
  virtual FileAnswer FileExistsAndFolder(const std::string& path) {
    return {FileExists(path), {}, {}};
  }
  // Every entry a directory search for `pattern` finds, with its attributes (a reparse point's
  // included), in the order the file system returns them ("." and ".." included where the
  // platform returns them). Empty when nothing matches.
  virtual std::vector<FindEntry> Find(const std::string& pattern) = 0;
  // Creates or replaces the file with exactly these bytes; throws EFileError on failure.
  virtual void WriteWholeFile(const std::string& path, const std::string& bytes) = 0;
  // Adds the bytes at the end of an existing file; throws EFileError when there is no such file
  // or it cannot be written.
  virtual void AppendToFile(const std::string& path, const std::string& bytes) = 0;
  // Opens an existing file for appending; throws EFileError when there is no such file or it
  // cannot be opened. The default opens the file anew for every Append (AppendToFile), so there
  // a missing file shows at the first Append.
  virtual std::unique_ptr<AppendStream> OpenForAppend(const std::string& path);
  // The whole file's bytes, or nullopt when there is no such file or it cannot be read.
  virtual std::optional<std::string> ReadWholeFile(const std::string& path) {
    (void)path;
    return std::nullopt;
  }
  // The size of the file at `path` now, or nullopt when there is none or it cannot be told.
  virtual std::optional<std::uint64_t> FileSize(const std::string& path) {
    (void)path;
    return std::nullopt;
  }
};

inline std::unique_ptr<AppendStream> FileSystem::OpenForAppend(const std::string& path) {
  class Reopening : public AppendStream {
   public:
    Reopening(FileSystem& fs, std::string path) : fs_(fs), path_(std::move(path)) {}
    void Append(const std::string& bytes) override { fs_.AppendToFile(path_, bytes); }

   private:
    FileSystem& fs_;
    std::string path_;
  };
  return std::make_unique<Reopening>(*this, path);
}

}  // namespace calvorin
