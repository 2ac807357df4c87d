// The interactive removal: messages, key prompts, survey and cleaning.
#pragma once
#include "path_buffer.h"
#include "win32.h"

// --- Messages (messages.cpp) ---
// A message is one fixed text; "\n" inside it starts a second line.
void PrintMessage(const char* text);       // standard output, buffered
void PrintErrorMessage(const char* text);  // standard error, unbuffered
void FlushMessages();
[[noreturn]] void ExitWithStatus(int status);  // writes out buffered output first

// --- Keys (console.cpp) ---
enum { NO_KEY = -1 };

enum OwedMode { OWED_IDLE, OWED_REPEATING, OWED_SCAN_PENDING };

// What one key event still owes after ReadRawKey handed out its first value.
struct OwedKeyState {
  OwedMode mode;
  unsigned repeats;   // further presses still owed by the last key event
  int lastChar;       // 0 for a key without a character
  int pendingScan;
};
extern OwedKeyState OwedKey;

bool KeyPending();
int ReadRawKey();
int WaitKey();
// Beside Win32's FatalExit(int): always pass a message.
[[noreturn]] void FatalExit(const char* message);

// --- Survey (survey.cpp) ---
enum TargetIndex { TARGET_ZUL_EXE, TARGET_ZUL_DLL, TARGET_WSOCK32_ZUL, TARGET_WSOCK32_DLL, TARGET_COUNT };
enum { WORM_FILE_COUNT = 3, FULL_INFECTION = 7 };

extern PathBuffer SystemDirectory;
extern PathBuffer TargetPaths[TARGET_COUNT];
extern int InfectionMask;

char* MakeSystemPath(const char* name, char* out);
bool IsPresent(const char* path);
int CheckAndRemove();

// --- Cleaning (cleaning.cpp) ---
void ClearAttributes(const char* path);
void DeleteIfExists(const char* path);
int CleanAndComplete();
