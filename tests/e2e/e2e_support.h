// Drives the real calvorin.exe the way a user does: start it, find its controls by id, click,
// read texts, answer message boxes. The helpers it shares with the in-process suite (files,
// screenshots, the test registry key) are in support/win/wine_test_support.h.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <initializer_list>
#include <ostream>
#include <string>
#include <vector>

#include "support/win/wine_test_support.h"

namespace e2e {

using calvorin::testing::IniValue;
using calvorin::testing::ReadWholeFile;
using calvorin::testing::SaveScreenshot;
using calvorin::testing::ScopedTestKey;
using calvorin::testing::ScreenPixels;
using calvorin::testing::WriteWholeFile;

// Path of calvorin.exe under test (from the command line), as a Windows path.
const std::string& ProgramPath();
void SetProgramPath(const std::string& path);

// A fresh folder C:\CalvorinTests\E2E\<scenario> holding a copy of calvorin.exe and its help text.
std::string PrepareScenarioFolder(const std::string& scenario);
bool FileExists(const std::string& path);

// Makes `folder` refuse new files (or take them again) as Program Files does a standard user, which
// Wine, giving its user every right, cannot: chattr +i holds even for root (others get false).
bool SetImmutable(const std::string& folder, bool immutable);
struct ImmutableFolder {
  explicit ImmutableFolder(std::string f)
      : folder(std::move(f)), locked(SetImmutable(folder, true)) {}
  ~ImmutableFolder() {
    if (locked) SetImmutable(folder, false);
  }
  const std::string folder;
  const bool locked;
};

// snprintf of up to two numbers (rather than chains of std::string + std::to_string, which
// GCC 12 flags with a false -Wrestrict at -O3).
std::string Format(const char* format, int a, int b = 0);

bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = std::chrono::seconds(20));

// Runs <folder>\calvorin.exe `arguments` without a window to its end, from the folder, with its
// standard output in `output`; its exit code, or -1.
int RunUnattended(const std::string& folder, const std::string& arguments, std::string* output);

class App {
 public:
  App() = default;
  ~App();
  App(const App&) = delete;
  App& operator=(const App&) = delete;

  // Starts <folder>\calvorin.exe with the folder as working directory; false when it cannot.
  // `workingFolder`, when given, is the working directory instead of the folder. `limited`: with
  // the limited token UAC gives an administrator's programs (the linked token), not elevated.
  bool Start(const std::string& folder, const std::string& arguments = "",
             const std::string& workingFolder = "", bool limited = false);
  // Waits for the process's visible main window.
  HWND WaitForMainWindow(std::chrono::milliseconds timeout = std::chrono::seconds(30));
  HWND Main() const { return main_; }
  HWND Control(int id) const;
  DWORD ProcessId() const { return pi_.dwProcessId; }
  HANDLE Process() const { return pi_.hProcess; }
  // Asks the window to close and waits for the process to end; its exit code, or -1.
  int Close(std::chrono::milliseconds timeout = std::chrono::seconds(30));
  bool WaitForExit(std::chrono::milliseconds timeout, DWORD* exitCode = nullptr);
  // A message box ("#32770") of this process, or null.
  HWND FindMessageBox() const;
  void Kill();

 private:
  PROCESS_INFORMATION pi_{};
  HWND main_ = nullptr;
};

std::string Text(HWND hwnd);
// The text of the main window's one-part status bar.
std::string StatusText(HWND statusBar);
bool IsShown(HWND hwnd);  // visible, and every parent too
bool IsEnabled(HWND hwnd);
void Click(HWND button);
// The text of a message box's message.
std::string MessageBoxText(HWND box);
void PressButton(HWND box, int id);
// The control with the keyboard focus on `window`'s thread, or null.
HWND FocusOf(HWND window);
// Brings `window` to the front and types `keys` (each pressed and released, with `modifier` held
// unless 0) as the keyboard does.
void PressKeys(HWND window, std::initializer_list<WORD> keys, WORD modifier = 0);
// A visible dialog ("#32770") of any process whose caption is `caption`, or null.
HWND FindDialog(const char* caption);

// One registry value exactly as the ANSI API returns it.
struct RegValue {
  DWORD type = 0;
  std::string bytes;
  bool operator==(const RegValue&) const = default;
};
// "type 2, 3 bytes: 61 62 00", also how gtest shows a RegValue.
std::string Describe(const RegValue& value);
void PrintTo(const RegValue& value, std::ostream* os);
// The value `name` ("" for the default value) of root\subKey, or false when it cannot be read.
// `view`: 0, or KEY_WOW64_64KEY / KEY_WOW64_32KEY for one view of the registry under WOW64.
bool ReadRegValue(HKEY root, const std::string& subKey, const std::string& name, RegValue* value,
                  REGSAM view = 0);
// Creates root\subKey when needed and sets the value; false on failure.
bool WriteRegValue(HKEY root, const std::string& subKey, const std::string& name,
                   const RegValue& value, REGSAM view = 0);

// Gives root\subKey the DACL of an SDDL text, "D:P(A;;KR;;;WD)": everyone may only read.
bool SetKeyDacl(HKEY root, const std::string& subKey, const char* sddl);

// Clicks Search and waits for the scan's end text ("Found %d items..."); the count, or -1.
// The lines of a CR LF text (the program's files), without their line ends.
std::vector<std::string> Lines(const std::string& text);

int SearchAndWait(const App& app, std::chrono::milliseconds timeout = std::chrono::seconds(600));

}  // namespace e2e
