// Message output: CR LF line ends written by us, so a file gets exactly one CR per line
// whatever the C runtime's text mode would do; standard output buffered as a console user expects.
#include <string.h>
#include <stdlib.h>

#include "removal.h"

enum {
  LINE_BUFFER_SIZE = 134,   // character device: shown line by line
  FULL_BUFFER_SIZE = 4096,  // file or pipe: written when full and at exit
};

static char OutputBuffer[FULL_BUFFER_SIZE];
static DWORD OutputUsed;
static DWORD OutputCapacity;  // 0 until standard output was looked at
static HANDLE OutputHandle;

static void WriteAll(HANDLE handle, const char* data, DWORD length) {
  while (length > 0) {
    DWORD done = 0;
    if (!WriteFile(handle, data, length, &done, NULL) || done == 0) return;  // nowhere to report it
    data += done;
    length -= done;
  }
}

void FlushMessages() {
  if (OutputUsed > 0) WriteAll(OutputHandle, OutputBuffer, OutputUsed);
  OutputUsed = 0;
}

static void PutOutputByte(char c) {
  if (OutputUsed == OutputCapacity) FlushMessages();
  OutputBuffer[OutputUsed++] = c;
}

static void PutOutputLineEnd() {
  PutOutputByte('\r');
  PutOutputByte('\n');
  if (OutputCapacity == LINE_BUFFER_SIZE) FlushMessages();
}

void PrintMessage(const char* text) {
  if (OutputCapacity == 0) {
    OutputHandle = GetStdHandle(STD_OUTPUT_HANDLE);
    OutputCapacity = GetFileType(OutputHandle) == FILE_TYPE_CHAR ? LINE_BUFFER_SIZE : FULL_BUFFER_SIZE;
  }
  for (const char* p = text; *p; ++p) {
    if (*p == '\n')
      PutOutputLineEnd();
    else
      PutOutputByte(*p);
  }
  PutOutputLineEnd();
}

void PrintErrorMessage(const char* text) {
  HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  for (const char* p = text;;) {
    const char* end = strchr(p, '\n');
    DWORD length = end ? (DWORD)(end - p) : (DWORD)strlen(p);
    WriteAll(error, p, length);
    WriteAll(error, "\r\n", 2);
    if (!end) break;
    p = end + 1;
  }
}

void ExitWithStatus(int status) {
  FlushMessages();
  exit(status);
}
