// Restart (or shut down) Windows; on NT the shutdown privilege must be enabled first.
#include <string.h>

#include "sysutil.h"

// A failed call that left no error code must not read as success.
static DWORD FailureCode() {
  DWORD code = GetLastError();
  return code != ERROR_SUCCESS ? code : ERROR_INVALID_FUNCTION;
}

DWORD RestartWindows(UINT flags, DWORD reason) {
  OSVERSIONINFOA version;
  memset(&version, 0, sizeof version);
  version.dwOSVersionInfoSize = sizeof version;
  if (!GetVersionExA(&version)) return FailureCode();

  if (version.dwPlatformId == VER_PLATFORM_WIN32_NT) {
    // The token stays open until the process ends: the privilege must outlive this call.
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return FailureCode();
    TOKEN_PRIVILEGES request;
    request.PrivilegeCount = 1;
    if (!LookupPrivilegeValueA(NULL, "SeShutdownPrivilege", &request.Privileges[0].Luid)) return FailureCode();
    request.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    // Success without the privilege granted is not told apart: ExitWindowsEx then fails and says why.
    if (!AdjustTokenPrivileges(token, FALSE, &request, 0, NULL, NULL)) return FailureCode();
  }
  if (!ExitWindowsEx(flags, reason)) return FailureCode();
  return ERROR_SUCCESS;
}
