// System utilities of general use: replacing a file at the next start of Windows, and restarting it.
#pragma once
#include <stddef.h>

#include "win32.h"

// Registers that `existing` takes the name `newName` (replacing it) at the next start of Windows.
// Either may be NULL. Returns nonzero when the registration is in place, 0 when it is not.
int ReplaceFileOnRestart(const char* existing, const char* newName);

// Asks Windows to shut down as `flags` says, enabling the shutdown privilege first on NT.
// Returns 0 when the request was accepted, else the system error code of the step that failed.
DWORD RestartWindows(UINT flags, DWORD reason);

// First occurrence of `pattern` in `text`, the ASCII letters compared without regard to case;
// the position lies in `text` itself. NULL when there is none; an empty pattern is found at the start.
const char* FindTextNoCase(const char* text, const char* pattern);
// The same over counted bytes, zero bytes included.
const char* FindBytesNoCase(const char* text, size_t textLength, const char* pattern, size_t patternLength);
