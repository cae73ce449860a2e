#include "app/settings.h"

#include <algorithm>
#include <limits>

#include "base/text.h"
#include "repair/backup_rotation.h"
#include "scan/always_leave.h"
#include "scan/invalid_reference_scan.h"

namespace calvorin {

std::optional<std::int32_t> ParseIniInteger(const std::string& text) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    negative = text[i] == '-';
    ++i;
  }
  int base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= text.size()) return std::nullopt;
  std::int64_t value = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return std::nullopt;
    }
    value = value * base + digit;
    // Hexadecimal text may spell a negative number in two's complement ("$FFFFFFFF" is -1).
    if (value > (base == 16 ? 0xFFFFFFFFLL : 0x80000000LL)) return std::nullopt;
  }
  if (base == 16 && value > std::numeric_limits<std::int32_t>::max()) {
    value -= 0x100000000LL;
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<std::int32_t>::max() ||
      value < std::numeric_limits<std::int32_t>::min()) {
    return std::nullopt;
  }
  return static_cast<std::int32_t>(value);
}

std::int32_t ReadIniInteger(IniStore& ini, const std::string& section, const std::string& key,
                            std::int32_t defaultValue) {
  const std::optional<std::string> text = ini.Read(section, key);
  if (!text) return defaultValue;
  return ParseIniInteger(*text).value_or(defaultValue);
}

FormSettings ReadFormSettings(IniStore& ini) {
  FormSettings s;
  s.Buttons = ReadIniInteger(ini, kSettingsSection, "Buttons", 0);
  s.ActivePage = std::clamp(ReadIniInteger(ini, kSettingsSection, "ActivePage", 0), 0, 1);
  s.PerPage = std::clamp(ReadIniInteger(ini, kSettingsSection, "PerPage", 0), 0, 4);
  s.MaxRslt = std::clamp(ReadIniInteger(ini, kSettingsSection, "MaxRslt", 2), 0, 3);
  return s;
}

WindowPlacementRecord ReadPlacement(IniStore& ini, const PlacementRect& workArea,
                                    std::int32_t windowWidth, std::int32_t windowHeight,
                                    const WindowPlacementRecord& current) {
  const std::int32_t left = workArea.left + (workArea.right - workArea.left - windowWidth) / 2;
  const std::int32_t top = workArea.top + (workArea.bottom - workArea.top - windowHeight) / 2;
  WindowPlacementRecord p = current;
  p.normal.left = ReadIniInteger(ini, kPlacementSection, "Left", left);
  p.normal.top = ReadIniInteger(ini, kPlacementSection, "Top", top);
  p.normal.right = ReadIniInteger(ini, kPlacementSection, "Right", left + windowWidth);
  p.normal.bottom = ReadIniInteger(ini, kPlacementSection, "Bottom", top + windowHeight);
  p.minX = ReadIniInteger(ini, kPlacementSection, "MinX", current.minX);
  p.minY = ReadIniInteger(ini, kPlacementSection, "MinY", current.minY);
  p.maxX = ReadIniInteger(ini, kPlacementSection, "MaxX", current.maxX);
  p.maxY = ReadIniInteger(ini, kPlacementSection, "MaxY", current.maxY);
  p.showCmd = 0;
  p.flags = ReadIniInteger(ini, kPlacementSection, "flags", current.flags);
  p.dpi = std::max(ReadIniInteger(ini, kPlacementSection, "Dpi", 0), 0);
  return p;
}

PlacementRect FitToWorkArea(PlacementRect r, const PlacementRect& workArea, std::int32_t savedDpi,
                            std::int32_t dpi) {
  auto scaled = [&](std::int32_t length) {
    if (savedDpi <= 0 || dpi <= 0) return length;
    return static_cast<std::int32_t>((std::int64_t{length} * dpi + savedDpi / 2) / savedDpi);
  };
  const std::int32_t width =
      std::min(scaled(r.right - r.left), workArea.right - workArea.left);
  const std::int32_t height =
      std::min(scaled(r.bottom - r.top), workArea.bottom - workArea.top);
  r.left = std::clamp(r.left, workArea.left, workArea.right - width);
  r.top = std::clamp(r.top, workArea.top, workArea.bottom - height);
  r.right = r.left + width;
  r.bottom = r.top + height;
  return r;
}

void SaveSettings(IniStore& ini, const std::string& iniPath, const WindowPlacementRecord& placement,
                  std::int32_t activePage, std::int32_t perPage, std::int32_t maxRslt) {
  const auto write = [&](const char* section, const char* key, std::int32_t value) {
    if (!ini.Write(section, key, Format("%d", static_cast<int>(value)))) {
      throw ESettingsWriteError(Format("Unable to write to %s", iniPath.c_str()));
    }
  };
  write(kPlacementSection, "Left", placement.normal.left);
  write(kPlacementSection, "Top", placement.normal.top);
  write(kPlacementSection, "Right", placement.normal.right);
  write(kPlacementSection, "Bottom", placement.normal.bottom);
  write(kPlacementSection, "MinX", placement.minX);
  write(kPlacementSection, "MinY", placement.minY);
  write(kPlacementSection, "MaxX", placement.maxX);
  write(kPlacementSection, "MaxY", placement.maxY);
  write(kPlacementSection, "ShowCmd", placement.showCmd);
  write(kPlacementSection, "flags", placement.flags);
  write(kPlacementSection, "Dpi", placement.dpi);
  write(kSettingsSection, "ActivePage", activePage);
  write(kSettingsSection, "PerPage", perPage);
  write(kSettingsSection, "MaxRslt", maxRslt);
}

std::string FailureMessageText(const std::string& message) {
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
  return message;
}

std::string WorkingFolderOf(const std::string& exePath) {
  const std::size_t slash = LastBackslash(exePath, CurrentLeadByteTest());
  if (slash == std::string::npos) return ".";
  std::string folder = exePath.substr(0, slash);
  if (folder.size() == 2 && folder[1] == ':') folder += '\\';
  return folder;
}

std::string SettingsPathOf(const std::string& exePath) {
  const std::size_t slash = LastBackslash(exePath, CurrentLeadByteTest());
  const std::size_t dot = exePath.find_last_of('.');
  const bool hasExt = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  return (hasExt ? exePath.substr(0, dot) : exePath) + ".INI";
}

ProgramFilePlaces ChooseProgramFilePlaces(const std::string& exePath, ProgramFolderAccess& access) {
  ProgramFilePlaces places;
  places.folder = WorkingFolderOf(exePath);
  places.settingsPath = SettingsPathOf(exePath);
  places.settingsReadPath = places.settingsPath;
  places.logPath = kLogFileName;
  const bool canCreate = access.CanCreateFileIn(places.folder);
  if (canCreate && access.UnelevatedCanCreateFileIn(places.folder)) return places;
  places.writable = canCreate;
  const std::string appData = access.LocalAppDataFolder();
  if (appData.empty()) return places;
  const std::string data = JoinPath(appData, kDataFolderName);
  if (!access.MakeFolder(data)) return places;
  places.writable = true;
  places.otherFolder = places.folder;
  const std::string besideExe = places.settingsPath;
  const std::size_t slash = LastBackslash(besideExe, CurrentLeadByteTest());
  places.inDataFolder = true;
  places.folder = data;
  places.settingsPath =
      JoinPath(data, slash == std::string::npos ? besideExe : besideExe.substr(slash + 1));
  places.settingsReadPath =
      access.FileExists(places.settingsPath) ? places.settingsPath : besideExe;
  places.logPath = JoinPath(data, kLogFileName);
  return places;
}

std::string AlwaysLeavePath(const ProgramFilePlaces& places) {
  const std::size_t slash = LastBackslash(places.settingsPath, CurrentLeadByteTest());
  if (slash == std::string::npos) return kAlwaysLeaveFileName;
  return JoinPath(places.settingsPath.substr(0, slash), kAlwaysLeaveFileName);
}

std::string RestoreFolder(const ProgramFilePlaces& places, BackupFiles& files) {
  if (CanRestore(files, places.folder)) return places.folder;
  if (!places.otherFolder.empty() && CanRestore(files, places.otherFolder)) {
    return places.otherFolder;
  }
  return {};
}

}  // namespace calvorin
