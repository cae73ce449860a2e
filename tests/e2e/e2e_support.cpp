#include "e2e_support.h"

#include <sddl.h>

#include <cstdio>
#include <thread>
#include <vector>

#include "app/win/control_ids.h"
#include "app/win/win_program_folder_access.h"

namespace e2e {
namespace {

std::string& ProgramPathStorage() {
  static std::string path;
  return path;
}

std::string Folder(const std::string& path) {
  const std::size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

struct FindByProcess {
  DWORD pid;
  const char* cls;
  bool visibleOnly;
  HWND found;
};

BOOL CALLBACK FindTopLevel(HWND hwnd, LPARAM lp) {
  auto* f = reinterpret_cast<FindByProcess*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  char cls[64] = {};
  GetClassNameA(hwnd, cls, sizeof cls);
  if (pid == f->pid && std::string(cls) == f->cls && (!f->visibleOnly || IsWindowVisible(hwnd))) {
    f->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

const std::string& ProgramPath() {
  return ProgramPathStorage();
}

void SetProgramPath(const std::string& path) {
  std::string p = path;
  // ctest hands over the Unix path; Wine sees the Linux root as drive Z:.
  if (!p.empty() && p[0] == '/') p = "Z:" + p;
  for (char& c : p) {
    if (c == '/') c = '\\';
  }
  ProgramPathStorage() = p;
}

std::string PrepareScenarioFolder(const std::string& scenario) {
  CreateDirectoryA("C:\\CalvorinTests", nullptr);
  CreateDirectoryA("C:\\CalvorinTests\\E2E", nullptr);
  const std::string folder = "C:\\CalvorinTests\\E2E\\" + scenario;
  calvorin::testing::RemoveTree(folder);
  CreateDirectoryA(folder.c_str(), nullptr);
  CopyFileA(ProgramPath().c_str(), (folder + "\\calvorin.exe").c_str(), FALSE);
  CopyFileA((Folder(ProgramPath()) + "\\calvorin.txt").c_str(), (folder + "\\calvorin.txt").c_str(),
            FALSE);
  return folder;
}

int RunUnattended(const std::string& folder, const std::string& arguments, std::string* output) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &sa, 0)) return -1;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  std::string commandLine = "\"" + folder + "\\calvorin.exe\" " + arguments;
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = si.hStdError = writeEnd;
  PROCESS_INFORMATION pi{};
  const bool started = CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0,
                                      nullptr, folder.c_str(), &si, &pi);
  CloseHandle(writeEnd);
  output->clear();
  char buffer[4096];
  DWORD got = 0;
  while (started && ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    output->append(buffer, got);
  }
  CloseHandle(readEnd);
  if (!started) return -1;
  DWORD code = 0;
  const bool ended = WaitForSingleObject(pi.hProcess, 600000) == WAIT_OBJECT_0 &&
                     GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return ended ? static_cast<int>(code) : -1;
}

bool FileExists(const std::string& path) {
  const DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool SetImmutable(const std::string& folder, bool immutable) {
  calvorin::win32::WinProgramFolderAccess probe;
  return calvorin::testing::RunUnixUntil(
      std::string("/usr/bin/chattr ") + (immutable ? "+i ." : "-i ."), folder,
      [&] { return probe.CanCreateFileIn(folder) != immutable; });
}

std::string Format(const char* format, int a, int b) {
  char buffer[256];
  std::snprintf(buffer, sizeof buffer, format, a, b);
  return buffer;
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (true) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

App::~App() {
  if (pi_.hProcess) {
    Kill();
    CloseHandle(pi_.hProcess);
    CloseHandle(pi_.hThread);
  }
}

bool App::Start(const std::string& folder, const std::string& arguments,
                const std::string& workingFolder, bool limited) {
  std::string commandLine = "\"" + folder + "\\calvorin.exe\"";
  if (!arguments.empty()) commandLine += " " + arguments;
  STARTUPINFOA si{};
  si.cb = sizeof si;
  const std::string& current = workingFolder.empty() ? folder : workingFolder;
  if (!limited) {
    return CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          current.c_str(), &si, &pi_) != FALSE;
  }
  HANDLE self = nullptr, primary = nullptr;
  TOKEN_LINKED_TOKEN linked{};
  DWORD size = 0;
  bool started = OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &self) &&
                 GetTokenInformation(self, TokenLinkedToken, &linked, sizeof linked, &size) &&
                 DuplicateTokenEx(linked.LinkedToken, MAXIMUM_ALLOWED, nullptr,
                                  SecurityImpersonation, TokenPrimary, &primary) &&
                 CreateProcessAsUserA(primary, nullptr, commandLine.data(), nullptr, nullptr, FALSE,
                                      0, nullptr, current.c_str(), &si, &pi_);
  for (HANDLE h : {self, linked.LinkedToken, primary}) {
    if (h) CloseHandle(h);
  }
  return started;
}

HWND App::WaitForMainWindow(std::chrono::milliseconds timeout) {
  WaitUntil(
      [&] {
        FindByProcess find{pi_.dwProcessId, "TMainForm", true, nullptr};
        EnumWindows(FindTopLevel, reinterpret_cast<LPARAM>(&find));
        main_ = find.found;
        return main_ != nullptr;
      },
      timeout);
  return main_;
}

HWND App::Control(int id) const {
  return calvorin::testing::FindControl(main_, id);
}

bool App::WaitForExit(std::chrono::milliseconds timeout, DWORD* exitCode) {
  if (!pi_.hProcess) return true;
  if (WaitForSingleObject(pi_.hProcess, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0) {
    return false;
  }
  if (exitCode) GetExitCodeProcess(pi_.hProcess, exitCode);
  return true;
}

int App::Close(std::chrono::milliseconds timeout) {
  if (main_) PostMessageA(main_, WM_CLOSE, 0, 0);
  DWORD code = 0;
  if (!WaitForExit(timeout, &code)) return -1;
  return static_cast<int>(code);
}

HWND App::FindMessageBox() const {
  FindByProcess find{pi_.dwProcessId, "#32770", true, nullptr};
  EnumWindows(FindTopLevel, reinterpret_cast<LPARAM>(&find));
  return find.found;
}

void App::Kill() {
  if (pi_.hProcess && WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) {
    TerminateProcess(pi_.hProcess, 99);
    WaitForSingleObject(pi_.hProcess, 10000);
  }
}

std::string Text(HWND hwnd) {
  char buffer[4096] = {};
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutA(hwnd, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer),
                           SMTO_ABORTIFHUNG, 5000, &copied)) {
    return "";
  }
  return std::string(buffer, copied);
}

std::string StatusText(HWND statusBar) {
  // The bar has one part; WM_GETTEXT reads part 0 across processes.
  return Text(statusBar);
}

bool IsShown(HWND hwnd) {
  return hwnd && IsWindowVisible(hwnd);
}

bool IsEnabled(HWND hwnd) {
  return hwnd && IsWindowEnabled(hwnd);
}

void Click(HWND button) {
  PostMessageA(button, BM_CLICK, 0, 0);
}

HWND FocusOf(HWND window) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  return GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) ? info.hwndFocus
                                                                             : nullptr;
}

void PressKeys(HWND window, std::initializer_list<WORD> keys, WORD modifier) {
  SetForegroundWindow(window);
  WaitUntil([&] { return GetForegroundWindow() == window; }, std::chrono::seconds(5));
  if (modifier) keybd_event(static_cast<BYTE>(modifier), 0, 0, 0);
  for (WORD key : keys) {
    keybd_event(static_cast<BYTE>(key), 0, 0, 0);
    keybd_event(static_cast<BYTE>(key), 0, KEYEVENTF_KEYUP, 0);
  }
  if (modifier) keybd_event(static_cast<BYTE>(modifier), 0, KEYEVENTF_KEYUP, 0);
}

std::string MessageBoxText(HWND box) {
  // The message of a message box is the static control with id 0xFFFF.
  HWND text = GetDlgItem(box, 0xFFFF);
  return text ? Text(text) : "";
}

void PressButton(HWND box, int id) {
  PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
}

HWND FindDialog(const char* caption) {
  HWND box = nullptr;
  for (HWND h = FindWindowExA(nullptr, nullptr, "#32770", nullptr); h;
       h = FindWindowExA(nullptr, h, "#32770", nullptr)) {
    if (IsWindowVisible(h) && Text(h) == caption) box = h;
  }
  return box;
}

std::string Describe(const RegValue& value) {
  char head[64];
  std::snprintf(head, sizeof head, "type %lu, %u bytes:", static_cast<unsigned long>(value.type),
                static_cast<unsigned>(value.bytes.size()));
  std::string text = head;
  for (unsigned char c : value.bytes) {
    char byte[4];
    std::snprintf(byte, sizeof byte, " %02x", c);
    text += byte;
  }
  return text;
}

void PrintTo(const RegValue& value, std::ostream* os) {
  *os << Describe(value);
}

bool ReadRegValue(HKEY root, const std::string& subKey, const std::string& name, RegValue* value,
                  REGSAM view) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, subKey.c_str(), 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS) {
    return false;
  }
  DWORD type = 0;
  DWORD size = 0;
  LONG rc = RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size);
  std::string bytes;
  if (rc == ERROR_SUCCESS) {
    // The size query of a string may be an upper bound; the read reports the true size.
    bytes.assign(size + 16, '\0');
    DWORD got = static_cast<DWORD>(bytes.size());
    rc = RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(bytes.data()),
                          &got);
    bytes.resize(got);
  }
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS) return false;
  value->type = type;
  value->bytes = std::move(bytes);
  return true;
}

bool WriteRegValue(HKEY root, const std::string& subKey, const std::string& name,
                   const RegValue& value, REGSAM view) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(root, subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const LONG rc = RegSetValueExA(key, name.c_str(), 0, value.type,
                                 reinterpret_cast<const BYTE*>(value.bytes.data()),
                                 static_cast<DWORD>(value.bytes.size()));
  RegCloseKey(key);
  return rc == ERROR_SUCCESS;
}

bool SetKeyDacl(HKEY root, const std::string& subKey, const char* sddl) {
  PSECURITY_DESCRIPTOR sd = nullptr;
  HKEY key = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &sd, nullptr)) {
    return false;
  }
  bool set = RegOpenKeyExA(root, subKey.c_str(), 0, WRITE_DAC, &key) == ERROR_SUCCESS &&
             RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, sd) == ERROR_SUCCESS;
  if (key) RegCloseKey(key);
  LocalFree(sd);
  return set;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

int SearchAndWait(const App& app, std::chrono::milliseconds timeout) {
  HWND lblSearch = app.Control(calvorin::win32::kIdLblSearch);
  const bool again = Text(lblSearch).rfind("Found ", 0) == 0;
  Click(app.Control(calvorin::win32::kIdSbSearchE));
  // After an earlier scan the end text is still there until the click is handled.
  if (again && !WaitUntil([&] { return Text(lblSearch) == "Searching..."; })) return -1;
  if (!WaitUntil([&] { return Text(lblSearch).rfind("Found ", 0) == 0; }, timeout)) return -1;
  int found = -1;
  if (std::sscanf(Text(lblSearch).c_str(), "Found %d items", &found) != 1) return -1;
  return found;
}

}  // namespace e2e
