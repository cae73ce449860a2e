// The values the user marked "always leave unchanged": every scan still lists them, unticked, and
// Repair never touches them. Kept in a text file beside the settings file, one value a line, in a
// form a person can read and edit.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <tuple>

#include "base/platform.h"
#include "registry/registry.h"

namespace calvorin {

// The file's name, in the folder of the settings file.
inline constexpr const char* kAlwaysLeaveFileName = "always-leave.txt";

// A remembered value: its root, the key path as the walk gives it, the value name.
struct LeftValue {
  std::string root;  // the root key's name, "HKEY_CURRENT_USER"
  std::string keyPath;
  std::string valueName;
  bool operator<(const LeftValue& o) const {
    return std::tie(root, keyPath, valueName) < std::tie(o.root, o.keyPath, o.valueName);
  }
  bool operator==(const LeftValue&) const = default;
};


class AlwaysLeaveList {
 public:
  // The list in the file at `path`; empty when the file is missing, unreadable or damaged (a
  // damaged file costs nothing else).
  static AlwaysLeaveList Load(FileSystem& fs, const std::string& path);
  // Writes the whole list to `path`; throws EFileError when it cannot.
  void Save(FileSystem& fs, const std::string& path) const;

  bool Contains(Hkey root, const std::string& keyPath, const std::string& valueName) const;
  // Remembers or forgets a value.
  void Set(Hkey root, const std::string& keyPath, const std::string& valueName, bool leave);
  std::size_t Size() const { return values_.size(); }

  // The file's text: a comment, then per value its root, key path and value name, separated by
  // tabs. A byte below 32, DEL, "%" and a space at a field's end are written as "%XX" (two hex
  // digits); every other byte, those of the ANSI code page's characters included, stands for
  // itself, so the names survive whatever they hold, and a tab, CR or LF never is part of one.
  std::string Text() const;
  // The list a text holds; nothing when a line is not of that form (damaged).
  static std::optional<AlwaysLeaveList> Parse(const std::string& text);

 private:
  std::set<LeftValue> values_;
};

}  // namespace calvorin
