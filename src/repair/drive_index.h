// The search of a drive for a file that has moved: the slow walk the user sees, and the index
// of one listing per drive that gives the same answers.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/platform.h"
#include "repair/repair_ui.h"

namespace calvorin {

// The name to search the drive for: the data text after the last backslash before its first
// ".", to its end (a second byte 0x5C of a two-byte character is no backslash). Empty when the
// text has no "." or no backslash before it, or when it names a DOS device (IsDosDeviceName:
// nothing to search, and a lookup of it would find the device).
std::string RepairSearchName(const std::string& dataText);

// What the drive search shows while it looks in `folder`: "Searching for <fileName> <folder>".
std::string SearchingText(const std::string& fileName, const std::string& folder);

// Whether the search may take a file it met (its composed path); when not, it goes on to the next
// file of that name in its order. Empty: every file is taken.
using FoundFileTest = std::function<bool(const std::string& path)>;

// The drive search as the user sees it: reports SearchingText and keeps the window alive
// at every folder visited; files-only lookup of Dir\FileName first, then the non-hidden,
// non-system entries without a "." in file-system order, depth first, never entering a reparse
// point (a folder loop would never end). FoundPath is the composed text, "" when nothing was
// found (or none that `accept` takes).
std::string FindFileOnDrive(FileSystem& fs, RepairUi& ui, const std::string& dir,
                            const std::string& fileName, bool recurse,
                            const FoundFileTest& accept = {});

// The same answers as FindFileOnDrive, from one listing of each drive searched in the run:
// the first listing walks the folders FindFileOnDrive would visit, in its order, and records
// for every file name the folders that hold it. Names the index cannot answer exactly
// (wildcards, relative paths, non-ASCII, short-name aliases, trailing dots or spaces) are
// searched the slow way.
class DriveIndex {
 public:
  DriveIndex(FileSystem& fs, RepairUi& ui);
  std::string Find(const std::string& dir, const std::string& fileName,
                   const FoundFileTest& accept = {});
  static bool CanIndex(const std::string& fileName);

 private:
  struct Drive {
    std::vector<std::string> folders;  // relative paths ("" for the root, "a\b\")
    // The folders holding a file of one name, newest first: each place names a folder and the
    // place of the name met before it in walk order (kNoPlace after the first).
    struct Place {
      std::uint32_t folder;
      std::uint32_t earlier;
    };
    static constexpr std::uint32_t kNoPlace = UINT32_MAX;
    std::vector<Place> places;
    // Upper-case file name -> the place of the last folder (in walk order) that holds it.
    std::unordered_map<std::string, std::uint32_t> lastPlaceOf;
  };
  Drive& Listing(const std::string& dir, const std::string& fileName);

  FileSystem& fs_;
  RepairUi& ui_;
  std::map<std::string, std::unique_ptr<Drive>> drives_;  // by dir text, upper case
};

}  // namespace calvorin
