// An in-memory file system with FindFirstFile/GetFileAttributes semantics for the core tests:
// case-insensitive names, entries listed in creation order ("." and ".." first in every folder
// but a drive's root), wildcards "*" and "?" ("*.*" matches every name), file attributes,
// folders that refuse writes, and files held open for appending, which other programs may still
// remove or replace (the handle shares delete access): the stream then writes into the old file.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/platform.h"

namespace calvorin::testing {

class MemoryFileSystem : public FileSystem {
 public:
  // Set-up: missing parent folders are made. Paths look like "C:\Dir\file.txt".
  void AddFolder(const std::string& path, std::uint32_t attributes = kFileAttributeDirectory);
  void AddFile(const std::string& path, const std::string& content = "",
               std::uint32_t attributes = kFileAttributeArchive);
  void MakeReadOnlyFolder(const std::string& path);  // writes into it fail
  bool Remove(const std::string& path);
  // Content of a file, or nullptr when there is none.
  const std::string* Content(const std::string& path) const;
  std::vector<std::string> Files() const;  // every file path, in creation order
  size_t FindCalls() const { return findCalls_; }

  bool FileExists(const std::string& path) override;
  bool FolderExists(const std::string& path) override;
  std::vector<FindEntry> Find(const std::string& pattern) override;
  void WriteWholeFile(const std::string& path, const std::string& bytes) override;
  std::optional<std::string> ReadWholeFile(const std::string& path) override {
    const std::string* bytes = Content(path);
    return bytes ? std::optional<std::string>(*bytes) : std::nullopt;
  }
  void AppendToFile(const std::string& path, const std::string& bytes) override;
  // The stream writes into the file's node until it is destroyed (before this object).
  std::unique_ptr<AppendStream> OpenForAppend(const std::string& path) override;
  std::optional<std::uint64_t> FileSize(const std::string& path) override;
  size_t WholeWrites() const { return wholeWrites_; }
  size_t AppendOpens() const { return appendOpens_; }  // OpenForAppend calls that succeeded
  size_t OpenStreams() const { return openStreams_; }  // streams not yet destroyed
  // While set, every Append through an open stream fails (a full disk, a lock on the range).
  void FailStreamWrites(bool fail) { failStreamWrites_ = fail; }

  static bool WildcardMatch(const std::string& mask, const std::string& name);

 private:
  struct Node {
    std::string name;
    std::uint32_t attributes = kFileAttributeDirectory;
    std::string content;
    bool readOnlyFolder = false;
    int openStreams = 0;
    std::vector<std::unique_ptr<Node>> children;  // creation order
  };
  Node* Lookup(const std::string& path) const;
  Node* Make(const std::string& path, bool folder, std::uint32_t attributes);

  Node top_;  // children are drives ("C:")
  std::vector<std::unique_ptr<Node>> removedOpen_;  // removed while a stream still writes into it
  size_t findCalls_ = 0;
  size_t wholeWrites_ = 0;
  size_t appendOpens_ = 0;
  size_t openStreams_ = 0;
  bool failStreamWrites_ = false;
  class Stream;
};

}  // namespace calvorin::testing
