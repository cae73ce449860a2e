// An in-memory file system with FindFirstFile/GetFileAttributes semantics for the core tests:
// case-insensitive names, entries listed in creation order ("." and ".." first in every folder
// but a drive's root), wildcards "*" and "?" ("*.*" matches every name), file attributes,
// and folders that refuse writes.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/platform.h"

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
  void AppendToFile(const std::string& path, const std::string& bytes) override;
  size_t WholeWrites() const { return wholeWrites_; }

  static bool WildcardMatch(const std::string& mask, const std::string& name);

 private:
  struct Node {
    std::string name;
    std::uint32_t attributes = kFileAttributeDirectory;
    std::string content;
    bool readOnlyFolder = false;
    std::vector<std::unique_ptr<Node>> children;  // creation order
  };
  Node* Lookup(const std::string& path) const;
  Node* Make(const std::string& path, bool folder, std::uint32_t attributes);

  Node top_;  // children are drives ("C:")
  size_t findCalls_ = 0;
  size_t wholeWrites_ = 0;
};

}  // namespace calvorin::testing
