#include "repair/drive_index.h"

#include <string_view>

#include "base/text.h"

namespace calvorin {
namespace {

std::string WithBackslash(const std::string& dir) { return JoinPath(dir, ""); }

// The entries of a "*.*" listing made with only the folder attribute: folders and ordinary
// files pass, hidden and system entries are left out.
bool ListedWithFolderMask(const FindEntry& entry) {
  return (entry.attributes & (kFileAttributeHidden | kFileAttributeSystem)) == 0;
}

// A folder the search enters: not a reparse point (a junction, a mount point or a symbolic link
// leads to a folder listed elsewhere as well, or to its own ancestor, where the walk would
// never end), and no "." in its name.
bool Entered(const FindEntry& entry) {
  return ListedWithFolderMask(entry) && (entry.attributes & kFileAttributeReparsePoint) == 0 &&
         !Contains(entry.name, ".");
}

// A lookup whose mask admits everything but folders.
bool HasFileMatch(FileSystem& fs, const std::string& pattern) {
  for (const auto& entry : fs.Find(pattern)) {
    if (!entry.IsFolder()) return true;
  }
  return false;
}

bool SearchFolder(FileSystem& fs, RepairUi& ui, const std::string& dir, const std::string& fileName,
                  bool recurse, const FoundFileTest& accept, std::string* foundPath) {
  ui.Searching(SearchingText(fileName, dir));
  const std::string d = WithBackslash(dir);
  if (HasFileMatch(fs, d + fileName) && (!accept || accept(d + fileName))) {
    *foundPath = d + fileName;
    return true;
  }
  if (!recurse) return false;
  for (const auto& entry : fs.Find(d + "*.*")) {
    if (!Entered(entry)) continue;
    if (SearchFolder(fs, ui, d + entry.name, fileName, true, accept, foundPath)) return true;
  }
  return false;
}

}  // namespace

std::string RepairSearchName(const std::string& dataText) {
  // The first "." (no second byte has its value) and the last backslash character before it.
  const std::size_t dot = dataText.find('.');
  if (dot == std::string::npos) return {};
  const std::size_t b =
      LastBackslash(std::string_view(dataText).substr(0, dot), CurrentLeadByteTest());
  // No backslash before the first ".": there is no folder to append a name to, so the value
  // is removed without a search (a drive-relative "C:name.ext" names nothing from the root).
  if (b == std::string_view::npos) return {};
  // The lookup's last component is the data text's: a device there is never searched.
  if (IsDosDeviceName(dataText, CurrentLeadByteTest())) return {};
  return dataText.substr(b + 1);
}

std::string SearchingText(const std::string& fileName, const std::string& folder) {
  std::string text = "Searching for ";
  text += fileName;
  text += ' ';
  text += folder;
  return text;
}

std::string FindFileOnDrive(FileSystem& fs, RepairUi& ui, const std::string& dir,
                            const std::string& fileName, bool recurse,
                            const FoundFileTest& accept) {
  std::string found;
  SearchFolder(fs, ui, dir, fileName, recurse, accept, &found);
  return found;
}

DriveIndex::DriveIndex(FileSystem& fs, RepairUi& ui) : fs_(fs), ui_(ui) {}

bool DriveIndex::CanIndex(const std::string& fileName) {
  if (fileName.empty() || fileName.back() == '.' || fileName.back() == ' ') return false;
  for (char c : fileName) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x80 || c == '\\' || c == '/' || c == '*' || c == '?' || c == '~' || c == ':' ||
        c == '<' || c == '>' || c == '"') {
      return false;
    }
  }
  return true;
}

DriveIndex::Drive& DriveIndex::Listing(const std::string& dir, const std::string& fileName) {
  auto& slot = drives_[UpperAscii(dir)];
  if (slot) return *slot;
  slot = std::make_unique<Drive>();
  Drive& drive = *slot;
  const std::string d = WithBackslash(dir);
  // Depth first in listing order, exactly the folders the walk of FindFileOnDrive visits.
  struct Frame {
    std::string rel;
  };
  std::vector<Frame> stack{{""}};
  size_t visited = 0;
  while (!stack.empty()) {
    Frame frame = std::move(stack.back());
    stack.pop_back();
    const size_t index = drive.folders.size();
    drive.folders.push_back(frame.rel);
    // The same text the walk shows, but a repaint only now and then: the listing is the
    // long part, the window only has to stay alive.
    if (++visited % 64 == 0) {
      const std::string shown =
          frame.rel.empty() ? dir : d + frame.rel.substr(0, frame.rel.size() - 1);
      ui_.Searching(SearchingText(fileName, shown));
    } else {
      ui_.StillSearching();
    }
    std::vector<std::string> children;
    for (auto& entry : fs_.Find(d + frame.rel + "*.*")) {
      if (!entry.IsFolder()) {
        // The listing's own copy of the name becomes the key: one string per file, no copy.
        std::string key = std::move(entry.name);
        for (char& c : key) c = UpperAscii(c);
        auto last = drive.lastPlaceOf.try_emplace(std::move(key), Drive::kNoPlace).first;
        drive.places.push_back({static_cast<std::uint32_t>(index), last->second});
        last->second = static_cast<std::uint32_t>(drive.places.size() - 1);
      } else if (Entered(entry)) {
        children.push_back(frame.rel + entry.name + "\\");
      }
    }
    for (auto it = children.rbegin(); it != children.rend(); ++it) stack.push_back({*it});
  }
  return drive;
}

std::string DriveIndex::Find(const std::string& dir, const std::string& fileName,
                             const FoundFileTest& accept) {
  if (!CanIndex(fileName)) return FindFileOnDrive(fs_, ui_, dir, fileName, true, accept);
  ui_.Searching(SearchingText(fileName, dir));
  const Drive& drive = Listing(dir, fileName);
  const auto hit = drive.lastPlaceOf.find(UpperAscii(fileName));
  if (hit == drive.lastPlaceOf.end()) return {};
  std::vector<std::uint32_t> folders;  // in walk order once reversed
  for (std::uint32_t p = hit->second; p != Drive::kNoPlace; p = drive.places[p].earlier) {
    folders.push_back(drive.places[p].folder);
  }
  for (auto it = folders.rbegin(); it != folders.rend(); ++it) {
    std::string path = WithBackslash(dir) + drive.folders[*it] + fileName;
    if (!accept || accept(path)) return path;
  }
  return {};
}

}  // namespace calvorin
