// The simulated Windows machine behind the stand-in, and the hooks tests and tools use.
//
// A machine is a folder:
//   machine.ini     family=98|nt, windows=C:\WINDOWS, system=C:\WINDOWS\SYSTEM, clock=N
//                   (clock divides every finite SleepEx, so tests need not wait 10 s)
//   drive_c/        drive C:, laid out as in a Wine prefix
//   pending-moves   NT delayed moves, one a line in order: existing TAB new (new empty: delete)
//   restarts        one line per accepted ExitWindowsEx: flags=0x2 reason=0x0
//   faults          injected faults, one a line (see Fault), read when the machine is loaded
//   console.log     "wait" each time a console read waits for a key, then the key it got
// The stand-in serves the machine named by the environment variable ZUL_MACHINE; with none,
// every machine call fails and GetSystemDirectoryA reports nothing.
//
// File attributes are kept as Wine keeps them on a Unix folder: READONLY as the lack of any
// write permission bit; HIDDEN and SYSTEM in the user.DOSATTRIB extended attribute as hex text
// ("0x6"); ARCHIVE, which Wine reports on every file, is taken as set while a file has no
// user.DOSATTRIB and otherwise as its bit 0x20 (Wine ignores that bit).
#pragma once
#include <string>
#include <vector>

#include "win32.h"

namespace standin {

struct MachineConfig {
  std::string family = "98";  // "98" or "nt"
  std::string windowsDir;     // empty: the family's usual one
  std::string systemDir;
  int clockDivisor = 1;
};

// Writes machine.ini and the Windows and system directories under drive_c.
bool CreateMachine(const std::string& folder, const MachineConfig& config, std::string* error);
// Serve this machine from now on (tests); "" serves none. Faults are read from its folder.
bool LoadMachine(const std::string& folder);
bool MachineLoaded();
const std::string& MachineFolder();
const MachineConfig& Machine();

// The host path of a Windows path on the machine, matched without regard to case; the last
// component may be missing (then it is appended as given). False, with a Win32 error, when the
// path cannot be on the machine or a folder on the way is missing.
bool ResolvePath(const std::string& windowsPath, std::string* hostPath, DWORD* error);
// The same, "" when the path cannot be on the machine.
std::string HostPath(const std::string& windowsPath);
DWORD HostAttributes(const std::string& hostPath);  // INVALID_FILE_ATTRIBUTES when missing
bool SetHostAttributes(const std::string& hostPath, DWORD attributes);

// A fault: the matching call fails with `error`.
//   file form: CALL PATH [nth=N | from=N] [after=BYTES] [error=CODE]   or   privilege-not-granted
// CALL is a Win32 name or *; PATH a case-insensitive suffix of the Windows path, or *.
// nth: only the Nth matching call; from: the Nth and all later; neither: every call.
// after (ReadFile, WriteFile): the first BYTES go through, later transfers fail.
struct Fault {
  std::string call = "*";
  std::string path = "*";
  int nth = 0;
  int from = 0;
  long long after = -1;
  DWORD error = ERROR_ACCESS_DENIED;
  int seen = 0;  // matching calls so far
};
void AddFault(const Fault& fault);
void SetPrivilegeNotGranted(bool notGranted);
void ClearFaults();
int FaultHits();
bool ParseFault(const std::string& line, Fault* fault);
// The error the call must fail with, or 0. `bytesSoFar` >= 0 for transfers.
DWORD FaultFor(const char* call, const std::string& windowsPath, long long bytesSoFar = -1, long long* limit = nullptr);

// Every Win32 call the stand-in served, "Name path" or "Name", in order.
std::vector<std::string>& CallLog();
void LogCall(const char* call, const std::string& detail = std::string());

// Console input from a script instead of the terminal. batches[0] is queued at once (typed
// ahead); each later batch arrives when a read finds the queue empty, as keys pressed while the
// program waits. A read with nothing left fails, as a console that cannot be read does.
void ScriptConsole(const std::vector<std::vector<INPUT_RECORD>>& batches, bool peekFails = false);
void UnscriptConsole();
std::vector<DWORD>& ConsoleModesSet();  // every mode SetConsoleMode was given
// What a Windows console queues for these terminal bytes (keys, escape sequences).
std::vector<INPUT_RECORD> KeyRecordsFor(const std::string& terminalBytes);
// Key helpers for scripts.
INPUT_RECORD KeyDown(WORD vk, WORD scan, char ch, DWORD state = 0, WORD repeat = 1);
INPUT_RECORD KeyUp(WORD vk, WORD scan, char ch, DWORD state = 0);

// Carries out what a start of Windows does: the [rename] entries of WININIT.INI on 95/98
// (then WININIT.INI becomes WININIT.BAK), the pending moves on NT. A line per step in `report`.
bool BootMachine(const std::string& folder, std::string* report);

// File handles still open: a procedure that returned should have closed all of its own.
int OpenFileHandles();

}  // namespace standin
