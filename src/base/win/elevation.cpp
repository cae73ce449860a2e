#include "base/win/elevation.h"

#include "base/win/unique_handle.h"

namespace calvorin::win32 {

std::optional<bool> ProcessIsElevated(DWORD processId) {
  // PROCESS_QUERY_LIMITED_INFORMATION is granted on another user's or an elevated process too.
  const UniqueKernelHandle process(
      OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  if (!process) return std::nullopt;
  HANDLE raw = nullptr;
  if (!OpenProcessToken(process.get(), TOKEN_QUERY, &raw)) return std::nullopt;
  const UniqueKernelHandle token(raw);
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  if (!GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size)) {
    return std::nullopt;
  }
  return elevation.TokenIsElevated != 0;
}

bool RunsElevated() { return ProcessIsElevated(GetCurrentProcessId()).value_or(false); }

}  // namespace calvorin::win32
