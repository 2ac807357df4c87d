// Stand-in system calls: directories, version, sleep, last error, token, restart.
#include <strings.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>

#include "handles.h"
#include "machine.h"

using namespace standin;

namespace {

thread_local DWORD lastError = 0;
bool shutdownPrivilegeEnabled = false;
const DWORD kShutdownPrivilegeLuid = 19;

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

// Windows' rule: the text when it fits, else the size it needs, terminator included.
UINT CopyDirectory(const std::string& directory, LPSTR buffer, UINT size) {
  if (directory.size() + 1 > size) return (UINT)directory.size() + 1;
  memcpy(buffer, directory.c_str(), directory.size() + 1);
  return (UINT)directory.size();
}

}  // namespace

void standin::ResetTokenState() { shutdownPrivilegeEnabled = false; }

DWORD GetLastError(void) { return lastError; }
void SetLastError(DWORD code) { lastError = code; }

UINT GetSystemDirectoryA(LPSTR buffer, UINT size) {
  LogCall("GetSystemDirectoryA");
  if (!MachineLoaded()) return Fail(ERROR_PATH_NOT_FOUND);
  if (DWORD fault = FaultFor("GetSystemDirectoryA", "")) return Fail(fault);
  return CopyDirectory(Machine().systemDir, buffer, size);
}

UINT GetWindowsDirectoryA(LPSTR buffer, UINT size) {
  LogCall("GetWindowsDirectoryA");
  if (!MachineLoaded()) return Fail(ERROR_PATH_NOT_FOUND);
  if (DWORD fault = FaultFor("GetWindowsDirectoryA", "")) return Fail(fault);
  return CopyDirectory(Machine().windowsDir, buffer, size);
}

BOOL GetVersionExA(LPOSVERSIONINFOA info) {
  LogCall("GetVersionExA");
  if (!info || info->dwOSVersionInfoSize < sizeof(OSVERSIONINFOA)) return Fail(ERROR_INVALID_PARAMETER);
  if (DWORD fault = FaultFor("GetVersionExA", "")) return Fail(fault);
  bool nt = !MachineLoaded() || Machine().family == "nt";
  info->dwMajorVersion = nt ? 5 : 4;
  info->dwMinorVersion = nt ? 1 : 10;
  info->dwBuildNumber = nt ? 2600 : 2222;
  info->dwPlatformId = nt ? VER_PLATFORM_WIN32_NT : VER_PLATFORM_WIN32_WINDOWS;
  snprintf(info->szCSDVersion, sizeof info->szCSDVersion, "%s", nt ? "Service Pack 3" : " A ");
  return TRUE;
}

DWORD SleepEx(DWORD milliseconds, BOOL) {
  LogCall("SleepEx", std::to_string(milliseconds));
  if (milliseconds == INFINITE)
    for (;;) pause();
  unsigned long long ms = milliseconds / (MachineLoaded() ? Machine().clockDivisor : 1);
  timespec wait{(time_t)(ms / 1000), (long)(ms % 1000) * 1000000L};
  while (nanosleep(&wait, &wait) != 0) {
  }
  return 0;
}

HANDLE GetCurrentProcess(void) {
  static HandleObject* process = NewHandle(HandleObject::PROCESS);
  return process;
}

void FatalExit(int code) {
  // Win32's debugger exit: the tool must never get here.
  fprintf(stderr, "stand-in: Win32 FatalExit(%d) reached instead of the tool's own\n", code);
  _exit(99);
}

BOOL OpenProcessToken(HANDLE process, DWORD access, PHANDLE token) {
  LogCall("OpenProcessToken", std::to_string(access));
  if (!AsHandle(process, HandleObject::PROCESS) || !token) return Fail(ERROR_INVALID_HANDLE);
  if (DWORD fault = FaultFor("OpenProcessToken", "")) return Fail(fault);
  HandleObject* h = NewHandle(HandleObject::TOKEN);
  h->bytes = access;
  *token = h;
  return TRUE;
}

BOOL LookupPrivilegeValueA(LPCSTR system, LPCSTR name, PLUID luid) {
  LogCall("LookupPrivilegeValueA", name ? name : "");
  if (system || !name || !luid) return Fail(ERROR_INVALID_PARAMETER);
  if (DWORD fault = FaultFor("LookupPrivilegeValueA", "")) return Fail(fault);
  if (strcasecmp(name, "SeShutdownPrivilege") != 0) return Fail(ERROR_NO_SUCH_PRIVILEGE);
  luid->LowPart = kShutdownPrivilegeLuid;
  luid->HighPart = 0;
  return TRUE;
}

BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES newState, DWORD, PTOKEN_PRIVILEGES,
                           LPDWORD) {
  LogCall("AdjustTokenPrivileges");
  HandleObject* h = AsHandle(token, HandleObject::TOKEN);
  if (!h || !(h->bytes & TOKEN_ADJUST_PRIVILEGES)) return Fail(h ? ERROR_ACCESS_DENIED : ERROR_INVALID_HANDLE);
  if (DWORD fault = FaultFor("AdjustTokenPrivileges", "")) return Fail(fault);
  if (disableAll) {
    shutdownPrivilegeEnabled = false;
  } else if (newState) {
    if (PrivilegeNotGranted()) {
      SetLastError(ERROR_NOT_ALL_ASSIGNED);  // success all the same, as Windows reports it
      return TRUE;
    }
    for (DWORD i = 0; i < newState->PrivilegeCount && i < 1; ++i)
      if (newState->Privileges[i].Luid.LowPart == kShutdownPrivilegeLuid)
        shutdownPrivilegeEnabled = (newState->Privileges[i].Attributes & SE_PRIVILEGE_ENABLED) != 0;
  }
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL ExitWindowsEx(UINT flags, DWORD reason) {
  LogCall("ExitWindowsEx", std::to_string(flags));
  if (!MachineLoaded()) return Fail(ERROR_PATH_NOT_FOUND);
  if (DWORD fault = FaultFor("ExitWindowsEx", "")) return Fail(fault);
  if (Machine().family == "nt" && !shutdownPrivilegeEnabled) return Fail(ERROR_PRIVILEGE_NOT_HELD);
  std::ofstream requests(MachineFolder() + "/restarts", std::ios::app);
  char line[64];
  snprintf(line, sizeof line, "flags=0x%x reason=0x%x\n", flags, (unsigned)reason);
  requests << line;
  // Like Wine, the request is taken and the process goes on; Windows would end it shortly.
  return requests ? TRUE : Fail(ERROR_WRITE_FAULT);
}
