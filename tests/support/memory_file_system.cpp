#include "support/memory_file_system.h"

#include <algorithm>
#include <functional>

#include "base/text.h"
#include "support/path_parts.h"

namespace calvorin::testing {
namespace {

// The file system takes either slash.
std::vector<std::string> Split(const std::string& path) {
  return PathParts(path, "\\/");
}

bool HasWildcard(const std::string& s) {
  return s.find_first_of("*?") != std::string::npos;
}

}  // namespace

bool MemoryFileSystem::WildcardMatch(const std::string& mask, const std::string& name) {
  if (mask == "*.*" || mask == "*") return true;
  // Classic backtracking glob, ASCII case-insensitive.
  size_t m = 0, n = 0, star = std::string::npos, mark = 0;
  while (n < name.size()) {
    if (m < mask.size() && (mask[m] == '?' || UpperAscii(mask[m]) == UpperAscii(name[n]))) {
      ++m;
      ++n;
    } else if (m < mask.size() && mask[m] == '*') {
      star = m++;
      mark = n;
    } else if (star != std::string::npos) {
      m = star + 1;
      n = ++mark;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  // "name.*" also matches "name" without an extension, as on Windows.
  if (m + 2 == mask.size() && mask[m] == '.' && mask[m + 1] == '*') return true;
  return m == mask.size();
}

MemoryFileSystem::Node* MemoryFileSystem::Lookup(const std::string& path) const {
  const Node* node = &top_;
  for (const auto& part : Split(path)) {
    const Node* next = nullptr;
    for (const auto& c : node->children) {
      if (SameTextAscii(c->name, part)) {
        next = c.get();
        break;
      }
    }
    if (!next) return nullptr;
    node = next;
  }
  return const_cast<Node*>(node);
}

MemoryFileSystem::Node* MemoryFileSystem::Make(const std::string& path, bool folder,
                                               std::uint32_t attributes) {
  Node* node = &top_;
  const auto parts = Split(path);
  for (size_t i = 0; i < parts.size(); ++i) {
    Node* next = nullptr;
    for (const auto& c : node->children) {
      if (SameTextAscii(c->name, parts[i])) next = c.get();
    }
    if (!next) {
      auto created = std::make_unique<Node>();
      created->name = parts[i];
      created->attributes = kFileAttributeDirectory;
      next = created.get();
      node->children.push_back(std::move(created));
    }
    node = next;
  }
  node->attributes = folder ? (attributes | kFileAttributeDirectory) : attributes;
  return node;
}

void MemoryFileSystem::AddFolder(const std::string& path, std::uint32_t attributes) {
  Make(path, true, attributes);
}

void MemoryFileSystem::AddFile(const std::string& path, const std::string& content,
                               std::uint32_t attributes) {
  Make(path, false, attributes & ~kFileAttributeDirectory)->content = content;
}

void MemoryFileSystem::MakeReadOnlyFolder(const std::string& path) {
  Make(path, true, kFileAttributeDirectory)->readOnlyFolder = true;
}

bool MemoryFileSystem::Remove(const std::string& path) {
  auto parts = Split(path);
  if (parts.empty()) return false;
  const std::string last = parts.back();
  parts.pop_back();
  std::string parentPath;
  for (const auto& p : parts) parentPath += p + "\\";
  Node* parent = Lookup(parentPath);
  if (!parent) return false;
  auto& list = parent->children;
  auto it = std::find_if(list.begin(), list.end(),
                         [&](const auto& c) { return SameTextAscii(c->name, last); });
  if (it == list.end()) return false;
  if ((*it)->openStreams > 0) removedOpen_.push_back(std::move(*it));
  list.erase(it);
  return true;
}

const std::string* MemoryFileSystem::Content(const std::string& path) const {
  const Node* node = Lookup(path);
  if (!node || (node->attributes & kFileAttributeDirectory)) return nullptr;
  return &node->content;
}

std::vector<std::string> MemoryFileSystem::Files() const {
  std::vector<std::string> out;
  std::function<void(const Node&, const std::string&)> visit = [&](const Node& n,
                                                                   const std::string& prefix) {
    for (const auto& c : n.children) {
      const std::string path = prefix.empty() ? c->name : prefix + "\\" + c->name;
      if (c->attributes & kFileAttributeDirectory) {
        visit(*c, path);
      } else {
        out.push_back(path);
      }
    }
  };
  visit(top_, "");
  return out;
}

std::vector<FindEntry> MemoryFileSystem::Find(const std::string& pattern) {
  ++findCalls_;
  std::vector<FindEntry> out;
  const auto slash = pattern.find_last_of('\\');
  if (slash == std::string::npos) return out;
  const std::string folder = pattern.substr(0, slash);
  const std::string mask = pattern.substr(slash + 1);
  if (mask.empty() || HasWildcard(folder)) return out;
  const Node* dir = Lookup(folder);
  if (!dir || !(dir->attributes & kFileAttributeDirectory)) return out;
  const bool driveRoot = Split(folder).size() == 1;
  if (!driveRoot) {
    for (const char* dots : {".", ".."}) {
      if (WildcardMatch(mask, dots)) out.push_back({dots, kFileAttributeDirectory});
    }
  }
  for (const auto& c : dir->children) {
    if (WildcardMatch(mask, c->name)) out.push_back({c->name, c->attributes});
  }
  return out;
}

bool MemoryFileSystem::FileExists(const std::string& path) {
  const auto found = Find(path);
  return !found.empty() && !found.front().IsFolder();
}

bool MemoryFileSystem::FolderExists(const std::string& path) {
  if (HasWildcard(path)) return false;
  const Node* node = Lookup(path);
  if (!node || node == &top_) return false;
  // A trailing backslash is accepted only after a folder, as GetFileAttributes does.
  return (node->attributes & kFileAttributeDirectory) != 0;
}

void MemoryFileSystem::WriteWholeFile(const std::string& path, const std::string& bytes) {
  const auto slash = path.find_last_of('\\');
  const Node* dir = slash == std::string::npos ? nullptr : Lookup(path.substr(0, slash));
  if (!dir || !(dir->attributes & kFileAttributeDirectory)) {
    throw EFileError("Cannot create file \"" + path +
                     "\". The system cannot find the path specified");
  }
  if (dir->readOnlyFolder) {
    throw EFileError("Cannot create file \"" + path + "\". Access is denied");
  }
  ++wholeWrites_;
  AddFile(path, bytes);
}

void MemoryFileSystem::AppendToFile(const std::string& path, const std::string& bytes) {
  const auto slash = path.find_last_of('\\');
  const Node* dir = slash == std::string::npos ? nullptr : Lookup(path.substr(0, slash));
  Node* file = Lookup(path);
  if (!file || (file->attributes & kFileAttributeDirectory)) {
    throw EFileError("Cannot open file \"" + path +
                     "\". The system cannot find the file specified");
  }
  if (dir && dir->readOnlyFolder) {
    throw EFileError("Cannot open file \"" + path + "\". Access is denied");
  }
  file->content += bytes;
}

class MemoryFileSystem::Stream : public AppendStream {
 public:
  Stream(MemoryFileSystem& fs, Node& file, std::string path)
      : fs_(fs), file_(file), path_(std::move(path)) {
    ++file_.openStreams;
    ++fs_.openStreams_;
  }
  ~Stream() override {
    --file_.openStreams;
    --fs_.openStreams_;
  }
  void Append(const std::string& bytes) override {
    if (fs_.failStreamWrites_) {
      throw EFileError("Cannot write file \"" + path_ +
                       "\". There is not enough space on the disk");
    }
    file_.content += bytes;
  }

 private:
  MemoryFileSystem& fs_;
  Node& file_;
  std::string path_;
};

std::unique_ptr<AppendStream> MemoryFileSystem::OpenForAppend(const std::string& path) {
  AppendToFile(path, "");  // the same checks and failures
  ++appendOpens_;
  return std::make_unique<Stream>(*this, *Lookup(path), path);
}

std::optional<std::uint64_t> MemoryFileSystem::FileSize(const std::string& path) {
  const Node* node = Lookup(path);
  if (!node || node == &top_ || (node->attributes & kFileAttributeDirectory)) return std::nullopt;
  return node->content.size();
}

}  // namespace calvorin::testing
