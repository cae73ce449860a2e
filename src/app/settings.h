// The settings file beside the executable: the "Settings" section and the window placement
// section, read at window creation and written back at window destruction. And where the
// program's written files lie (ChooseProgramFilePlaces): every writer asks that one answer.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

namespace calvorin {

class BackupFiles;

inline constexpr const char* kSettingsSection = "Settings";
inline constexpr const char* kPlacementSection = "MainForm Settings";

// One INI file: read and write the text of one key.
class IniStore {
 public:
  virtual ~IniStore() = default;
  // The key's text, or nothing when the key (or the file) is absent.
  virtual std::optional<std::string> Read(const std::string& section, const std::string& key) = 0;
  // False when the text could not be written.
  virtual bool Write(const std::string& section, const std::string& key,
                     const std::string& value) = 0;
};

// A failed write of the settings file; the message is "Unable to write to <path>".
class ESettingsWriteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Decimal, or hexadecimal with a "0x" or "$" prefix, optionally signed; anything else (or a
// value outside 32 bits) gives nothing.
std::optional<std::int32_t> ParseIniInteger(const std::string& text);
std::int32_t ReadIniInteger(IniStore& ini, const std::string& section, const std::string& key,
                            std::int32_t defaultValue);

struct FormSettings {
  std::int32_t Buttons = 0;     // 1: the tab control draws its tabs as buttons
  std::int32_t ActivePage = 0;  // 0..1
  std::int32_t PerPage = 0;     // 0..4
  std::int32_t MaxRslt = 2;     // 0..3
};

// Reads "Buttons", "ActivePage", "PerPage" and "MaxRslt" in that order, clamped.
FormSettings ReadFormSettings(IniStore& ini);

struct PlacementRect {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;
  bool operator==(const PlacementRect&) const = default;
};

// The fields of the system's window-placement record that the file keeps, and the DPI of the
// monitor the window was on, whose pixels the figures are.
struct WindowPlacementRecord {
  PlacementRect normal;
  std::int32_t minX = 0, minY = 0, maxX = 0, maxY = 0;
  std::int32_t showCmd = 0;
  std::int32_t flags = 0;
  std::int32_t dpi = 0;  // 0: not known (a file written before the key "Dpi" was kept)
  bool operator==(const WindowPlacementRecord&) const = default;
};

// The placement to apply at window creation, before it is fitted to a monitor (FitToWorkArea):
// centred in `workArea` by default, the saved rectangle when there is one. The show state is 0,
// so applying it shows nothing.
WindowPlacementRecord ReadPlacement(IniStore& ini, const PlacementRect& workArea,
                                    std::int32_t windowWidth, std::int32_t windowHeight,
                                    const WindowPlacementRecord& current);

// A saved normal rectangle made fit for the monitor it opens on, of `dpi` and `workArea`: the
// same physical size (scaled from `savedDpi` to `dpi`, its top left kept; 0 for either keeps
// the pixels), no larger than the work area, then moved onto it whole, never squeezed.
PlacementRect FitToWorkArea(PlacementRect r, const PlacementRect& workArea, std::int32_t savedDpi,
                            std::int32_t dpi);

// Writes the ten placement keys and "Dpi", then "ActivePage", "PerPage" and "MaxRslt". The first
// write that fails throws ESettingsWriteError naming `iniPath`; the keys after it are not
// written.
void SaveSettings(IniStore& ini, const std::string& iniPath, const WindowPlacementRecord& placement,
                  std::int32_t activePage, std::int32_t perPage, std::int32_t maxRslt);

// The text a failure message box shows: a full stop is appended when the last character sorts
// after ".".
std::string FailureMessageText(const std::string& message);

// The folder of an executable, as a path SetCurrentDirectory takes: "C:\\" at a drive root, since
// "C:" alone names the drive's current folder, not its root.
std::string WorkingFolderOf(const std::string& exePath);
// The settings file of an executable: its full path with the extension replaced by ".INI".
std::string SettingsPathOf(const std::string& exePath);

// The folder, under the user's local application data, that takes the program's written files
// when the program's own folder refuses them.
inline constexpr const char* kDataFolderName = "Calvorin";

// What ChooseProgramFilePlaces asks of the system.
class ProgramFolderAccess {
 public:
  virtual ~ProgramFolderAccess() = default;
  // Really creates a new, uniquely named file in `folder` and deletes it: true when both worked.
  // (Attributes and access lists do not tell: a read-only attribute on a folder means nothing to
  // Windows, and virtualised or inherited rights are decided only by trying.)
  virtual bool CanCreateFileIn(const std::string& folder) = 0;
  // Whether the user's own unelevated token could create a file in `folder` too. An elevated
  // start writes where the same user's normal start cannot (Program Files); choosing by this
  // answer keeps both starts on one set of files. True when this process is not elevated, or
  // has no unelevated token beside its own (every start of the user then has the same rights).
  virtual bool UnelevatedCanCreateFileIn(const std::string& folder) = 0;
  // The current user's local application-data folder; "" when the system names none.
  // A path the ANSI calls can open (the short name when the long one has letters outside the
  // ANSI code page); "" when the system names none or it has no such path.
  virtual std::string LocalAppDataFolder() = 0;
  // Creates the folder when it is missing; true when it exists afterwards.
  virtual bool MakeFolder(const std::string& folder) = 0;
  virtual bool FileExists(const std::string& path) = 0;
};

// Where the files the program writes lie: all in one folder.
struct ProgramFilePlaces {
  std::string folder;            // deletedkeys.reg and the older backups
  std::string settingsPath;      // the settings file written when the window is destroyed
  std::string settingsReadPath;  // the settings file read when the window is created
  std::string logPath;           // the invalid-path log "rrr.TXT"
  bool inDataFolder = false;     // the program's folder refused a new file
  bool writable = true;          // false: neither the program's folder nor the data folder
  // In the data folder: the program's folder, where an earlier start (an elevated one, or one
  // from before the folder refused files) may have left a backup. Restore offers it only when
  // `folder` holds none, and says where it lies.
  std::string otherFolder;
  bool operator==(const ProgramFilePlaces&) const = default;
};

// Where the program's folder takes a new file, also for the user's unelevated token (probed
// once, at start): that folder, the
// settings file beside the executable and "rrr.TXT" in the current directory, as always. Where it
// refuses one (a standard user's program under Program Files): the folder "Calvorin" in the
// user's local application data, created when missing, holds all of them; the settings are read
// from the copy there when it exists, else from the one beside the executable (shipped with the
// program, or left by a run that could still write there). When that folder cannot be had
// either, the program's folder stays; when it refused this token too, nothing can be written.
ProgramFilePlaces ChooseProgramFilePlaces(const std::string& exePath, ProgramFolderAccess& access);

// The list of values always left unchanged (scan/always_leave.h): beside the settings file the
// program writes, so in the data folder when the program's folder refuses files.
std::string AlwaysLeavePath(const ProgramFilePlaces& places);
// The folder whose backup Restore offers: `places.folder` while it holds one, else
// `places.otherFolder` when that holds one (Restore then names it); "" when neither does.
std::string RestoreFolder(const ProgramFilePlaces& places, BackupFiles& files);

}  // namespace calvorin
