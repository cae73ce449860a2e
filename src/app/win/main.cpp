// Program entry: SkipKeys, single instance, where the program's files lie, the main window.
#include <windows.h>
// after <windows.h>
#include <commctrl.h>
#include <sddl.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/win/control_ids.h"
#include "app/win/main_form.h"
#include "app/win/unattended.h"
#include "app/win/win_program_folder_access.h"
#include "base/win/code_page.h"
#include "base/win/elevation.h"
#include "base/win/unique_handle.h"
#include "search/win/locale_compare.h"
#include "search/win/startup.h"

using namespace calvorin::win32;

namespace {

// The instance record shared by every start: application window, main window, pending name.
constexpr DWORD kInstanceRecordSize = 264;
constexpr std::size_t kMaxPendingName = 255;

constexpr const char* kRunningWithoutAdministratorRights =
    "Calvorin is already running without administrator rights.\n\n"
    "Close it, then start Calvorin as administrator again.";

constexpr const char* kRunningOutOfReach =
    "Calvorin is already running for another user, or with rights this start cannot reach.\n\n"
    "Close it first to start Calvorin here.";

// The instance block's security: this user in any of their tokens, SYSTEM and the
// administrators, at medium integrity. The default would be the creator's: an elevated first
// instance's block is the administrators' and high, which the same user's normal start may not
// open, and that start would then run as a second first instance.
class InstanceBlockSecurity {
 public:
  InstanceBlockSecurity() {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return;
    const UniqueKernelHandle token(raw);
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    std::string buffer(size, '\0');
    char* sid = nullptr;
    if (size == 0 || !GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size) ||
        !ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &sid)) {
      return;
    }
    const std::string dacl = std::string("D:(A;;GA;;;SY)(A;;GA;;;BA)(A;;GA;;;") + sid + ")";
    LocalFree(sid);
    // Without the label where the system takes none.
    for (const std::string& sddl : {dacl + "S:(ML;;NW;;;ME)", dacl}) {
      if (ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1,
                                                               &descriptor_, nullptr)) {
        attributes_.lpSecurityDescriptor = descriptor_;
        return;
      }
    }
  }
  ~InstanceBlockSecurity() { LocalFree(descriptor_); }
  InstanceBlockSecurity(const InstanceBlockSecurity&) = delete;
  InstanceBlockSecurity& operator=(const InstanceBlockSecurity&) = delete;
  // Null (the default security) when the descriptor could not be built.
  SECURITY_ATTRIBUTES* Attributes() { return descriptor_ ? &attributes_ : nullptr; }

 private:
  PSECURITY_DESCRIPTOR descriptor_ = nullptr;
  SECURITY_ATTRIBUTES attributes_{sizeof attributes_, nullptr, FALSE};
};

std::string ModulePath() {
  char buffer[MAX_PATH * 2] = {};
  const DWORD n = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  return std::string(buffer, n);
}

std::string FirstArgument() {
  return __argc > 1 && __argv[1] ? __argv[1] : "";
}

// A second start: bring the first window forward, hand over the argument, and leave.
int HandOver(HANDLE mapping, UINT instanceMessage) {
  UniqueView view(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, kInstanceRecordSize));
  if (!view) return 0;
  auto* record = static_cast<unsigned char*>(view.get());
  HWND appWindow = nullptr;
  HWND mainWindow = nullptr;
  std::memcpy(&appWindow, record, 4);
  std::memcpy(&mainWindow, record + 4, 4);
  // With administrator rights, handing over to a window without them would run the user's
  // work without those rights after all: say so instead. (Under Wine every process of the
  // prefix reports the same elevation, so this box does not come up there.)
  DWORD otherProcess = 0;
  if (mainWindow && GetWindowThreadProcessId(mainWindow, &otherProcess) &&
      RunsElevated() &&
      ProcessIsElevated(otherProcess) == false) {
    MessageBoxA(nullptr, kRunningWithoutAdministratorRights, kApplicationTitle,
                MB_OK | MB_ICONINFORMATION);
    return 0;
  }
  if (appWindow && IsIconic(appWindow)) ShowWindow(appWindow, SW_RESTORE);
  if (mainWindow) SetForegroundWindow(mainWindow);
  if (__argc > 1 && __argv[1]) {
    const std::size_t length = std::min(std::strlen(__argv[1]), kMaxPendingName);
    record[8] = static_cast<unsigned char>(length);
    std::memcpy(record + 9, __argv[1], length);
    if (mainWindow) SendMessageA(mainWindow, instanceMessage, 0, 0);
  }
  return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  const std::string exePath = ModulePath();
  InstallLocaleCompare();
  InstallAnsiLeadBytes();
  // /scan, /repair, /?: no window, no hand-over to a running one.
  const std::vector<std::string> args(__argv + std::min(__argc, 1), __argv + __argc);
  if (IsUnattended(args)) return RunUnattended(args, exePath);
  BuildSkipKeys();

  const UINT instanceMessage = RegisterWindowMessageA(kInstanceName);
  // Created or opened in one step: of two starts at the same moment only one creates the
  // block; the other gets ERROR_ALREADY_EXISTS and hands over. A block this start may not open
  // belongs to a running instance too (another user's, or one with rights out of reach).
  InstanceBlockSecurity security;
  SetLastError(ERROR_SUCCESS);
  UniqueKernelHandle mapping(CreateFileMappingA(INVALID_HANDLE_VALUE, security.Attributes(),
                                                PAGE_READWRITE, 0, kInstanceRecordSize,
                                                kInstanceName));
  const DWORD created = GetLastError();
  if (mapping && created == ERROR_ALREADY_EXISTS) return HandOver(mapping.get(), instanceMessage);
  if (!mapping && created == ERROR_ACCESS_DENIED) {
    MessageBoxA(nullptr, kRunningOutOfReach, kApplicationTitle, MB_OK | MB_ICONINFORMATION);
    return 0;
  }
  UniqueView view;
  if (mapping) view.reset(MapViewOfFile(mapping.get(), FILE_MAP_ALL_ACCESS, 0, 0, 0));

  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES | ICC_TAB_CLASSES};
  InitCommonControlsEx(&icc);

  MainFormOptions options;
  options.exePath = exePath;
  // Only the first instance writes files, so only it probes its folder (a second start writes
  // nothing and leaves at once).
  WinProgramFolderAccess access;
  options.files = calvorin::ChooseProgramFilePlaces(exePath, access);
  options.firstArg = FirstArgument();
  options.instanceMessage = instanceMessage;
  options.instanceRecord = view.get();
  TMainForm form(std::move(options));
  if (!form.Create(instance)) return 1;
  // A second start without administrator rights reaches this window when it has them.
  if (instanceMessage != 0) {
    ChangeWindowMessageFilterEx(form.Handle(), instanceMessage, MSGFLT_ALLOW, nullptr);
  }
  if (view) {
    HWND hwnd = form.Handle();
    // One top-level window carries the taskbar button, so it is both handles.
    std::memcpy(static_cast<unsigned char*>(view.get()), &hwnd, 4);
    std::memcpy(static_cast<unsigned char*>(view.get()) + 4, &hwnd, 4);
  }
  ShowWindow(form.Handle(), show == SW_HIDE ? SW_SHOWNORMAL : show);
  UpdateWindow(form.Handle());
  return form.Run();
}
