// Helpers the Windows-built suites share (win32_tests and e2e_tests): the real file system, the
// registry key the tests work under, the message queue, fonts and screenshots under Wine.
#pragma once

#include <windows.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "base/win/unique_handle.h"

namespace calvorin::testing {

// --- Files and folders

// Deletes a file, or a folder with everything in it; read-only and hidden entries too. A path
// that does not exist is left alone.
void RemoveTree(const std::string& path);
// The system's folder for temporary files, without a trailing backslash.
std::string TempFolder();
// The whole file, read while others may go on writing it; "<missing>" when it cannot be opened.
std::string ReadWholeFile(const std::string& path);
// Creates or truncates the file and writes `bytes`; false when that fails.
bool WriteWholeFile(const std::string& path, const std::string& bytes);
// Runs a Unix command in `folder` and waits, at most ten seconds, until `done`. Wine starts a
// program that is no Windows one as a Unix process in the folder's Unix path, with no handle
// to wait on.
bool RunUnixUntil(std::string command, const std::string& folder,
                  const std::function<bool()>& done);
// Makes Unix symbolic links to "." named `names` in `folder` (made if needed), under Wine: each
// shows as a folder with FILE_ATTRIBUTE_REPARSE_POINT, and two make a loop of 2^n folders.
bool MakeFolderLoop(const std::string& folder, std::initializer_list<const char*> names);
// GetPrivateProfileString's answer for [section] key of the INI file; "<absent>" when absent.
std::string IniValue(const std::string& iniPath, const char* section, const char* key);

// --- The registry

// The keys the suites make live below HKEY_CURRENT_USER\Software\CalvorinTests.
inline const std::string kTestKeyParent = "Software\\CalvorinTests";

// HKEY_CURRENT_USER\Software\CalvorinTests\<name> (a path below it, too): removed with
// everything below it when made and again when it goes, so each test starts and leaves clean.
// Keys without an ANSI name go too, which no ANSI call can name. The parent keys up to
// Software\CalvorinTests go when nothing else is left in them.
class ScopedTestKey {
 public:
  explicit ScopedTestKey(const std::string& name);
  ~ScopedTestKey();
  ScopedTestKey(const ScopedTestKey&) = delete;
  ScopedTestKey& operator=(const ScopedTestKey&) = delete;

  // Below HKEY_CURRENT_USER: "Software\CalvorinTests\<name>".
  const std::string& Path() const { return path_; }
  // Creates the key, or `subKey` below it, and opens it with all access; null on failure.
  win32::UniqueRegKey Create(const std::string& subKey = "") const;
  // Removes the key below HKEY_CURRENT_USER at `path`, as the destructor does.
  static void Remove(const std::string& path);

 private:
  std::string path_;
};

// HKEY_CURRENT_USER\<link> made a registry link to the existing HKEY_CURRENT_USER\<target>; and
// removed as a link (an open without REG_OPTION_OPEN_LINK reaches its target, so RegDeleteTree
// would leave it).
bool MakeRegistryLink(const std::string& link, const std::string& target);
void RemoveRegistryLink(const std::string& link);

// --- Windows and the message queue

// Handles this thread's waiting window messages and returns when none is left.
void PumpWaitingMessages();
// Handles this thread's window messages until `done` answers true (true) or five minutes have
// passed (false). Waits for messages rather than polling.
bool PumpMessagesUntil(const std::function<bool()>& done);
// The child window of `parent` (at any depth) with control id `id`, or null.
HWND FindControl(HWND parent, int id);

// The screenshots folder in the build tree (beside the running test program), made if needed.
std::string ScreenshotFolder();
// The screen's pixels in `r` (screen coordinates), row by row from the top, as 0x00RRGGBB;
// none when they cannot be read.
std::vector<DWORD> ScreenPixels(const RECT& r);
// Saves the window (or the whole screen when null) as <ScreenshotFolder>\<name>.bmp, for a
// person to look at.
bool SaveScreenshot(HWND window, const std::string& name);

}  // namespace calvorin::testing
