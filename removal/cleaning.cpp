// The cleaning after a 'Y': the worm's files go, WSOCK32.DLL is replaced at the next start.
#include "removal.h"
#include "sysutil.h"

enum { CLEANING_PAUSE_MS = 10 * 1000 };

void ClearAttributes(const char* path) {
  if (IsPresent(path)) SetFileAttributesA(path, FILE_ATTRIBUTE_ARCHIVE);
}

void DeleteIfExists(const char* path) {
  if (IsPresent(path)) DeleteFileA(path);
}

int CleanAndComplete() {
  PrintMessage("Removing...");
  SleepEx(CLEANING_PAUSE_MS, FALSE);

  for (int i = 0; i < TARGET_COUNT; ++i) ClearAttributes(TargetPaths[i]);
  DeleteIfExists(TargetPaths[TARGET_ZUL_EXE]);
  DeleteIfExists(TargetPaths[TARGET_ZUL_DLL]);

  if (!IsPresent(TargetPaths[TARGET_WSOCK32_ZUL]) || !IsPresent(TargetPaths[TARGET_WSOCK32_DLL])) {
    PrintMessage("Worm Quillox/ZUL partialy removed.");
    return 0;
  }
  // Without the registration a restart would cure nothing: say so rather than ask for one.
  if (!ReplaceFileOnRestart(TargetPaths[TARGET_WSOCK32_ZUL], TargetPaths[TARGET_WSOCK32_DLL]))
    FatalExit("Cannot register the replacement of WSOCK32.DLL for the next start of Windows");

  PrintMessage("YOU MUST RESTART WINDOWS NOW to finish clean process");
  PrintMessage("Press 'R' to restart Windows...");
  for (;;) {
    int key = WaitKey();
    if (key == 'R') break;
    if (key == NO_KEY) ExitWithStatus(0);  // no console to press R on: leave the restart to the user
  }
  if (RestartWindows(EWX_REBOOT, 0) != 0) FatalExit("Cannot restart Windows, restart it yourself to finish");

  // Windows ends the process as it shuts down; until then, say nothing and use no CPU.
  FlushMessages();
  for (;;) SleepEx(INFINITE, FALSE);
}
