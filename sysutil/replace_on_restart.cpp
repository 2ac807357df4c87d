// Replacement of a file at the next start of Windows: a delayed move on NT, an entry in the
// "[rename]" section of WININIT.INI on Windows 95/98.
//
// WININIT.INI is rewritten through WININIT.NEW and read and written in text mode by this file
// itself, not by a C runtime, so that every platform behaves alike:
//   - reading, a CR is dropped and the byte after it taken as it is (of CR CR only the first
//     goes); a CR that ends the text is dropped; writing, every LF becomes CR LF;
//   - the text ends at the first Ctrl-Z (0x1A): that byte and all behind it are carried over
//     untouched, and the entry (and header) go in front of it, where a start of Windows reads;
//   - zero bytes are ordinary bytes, carried over and searched like any other;
//   - a line is one line whatever its length: searched whole, the entry after its line end;
//   - a last line without a line end gets one before anything is written after it.
// Any failure leaves WININIT.INI as it was and removes WININIT.NEW.
#include <string.h>

#include "path_buffer.h"
#include "sysutil.h"

enum {
  WINDOWS_DIR_SIZE = 500,
  IO_BUFFER_SIZE = 64 * 1024,
  HEADER_LENGTH = 8,
  ENTRY_SIZE = 2 * PATH_BUFFER_SIZE + 4,
};
static const char RenameHeader[] = "[rename]";
static const char CTRL_Z = 0x1A;

static char ReadBuffer[IO_BUFFER_SIZE];
static char DecodedBuffer[IO_BUFFER_SIZE];
static char WriteBuffer[IO_BUFFER_SIZE];

// --- Buffered output to WININIT.NEW ---

static HANDLE Output;
static DWORD WriteUsed;
static bool WriteFailed;

static void FlushOutput() {
  const char* p = WriteBuffer;
  while (WriteUsed > 0 && !WriteFailed) {
    DWORD done = 0;
    if (!WriteFile(Output, p, WriteUsed, &done, NULL) || done == 0) WriteFailed = true;
    p += done;
    WriteUsed -= done;
  }
  WriteUsed = 0;
}

static void PutBytes(const char* data, size_t length) {
  while (length > 0) {
    if (WriteUsed == IO_BUFFER_SIZE) FlushOutput();
    size_t room = IO_BUFFER_SIZE - WriteUsed;
    size_t n = length < room ? length : room;
    memcpy(WriteBuffer + WriteUsed, data, n);
    WriteUsed += (DWORD)n;
    data += n;
    length -= n;
  }
}

// Text written with LF turned into CR LF.
static void PutText(const char* text, size_t length) {
  while (length > 0) {
    const char* lf = (const char*)memchr(text, '\n', length);
    size_t n = lf ? (size_t)(lf - text) : length;
    PutBytes(text, n);
    if (!lf) return;
    PutBytes("\r\n", 2);
    text += n + 1;
    length -= n + 1;
  }
}

// --- The copy ---

struct CopyState {
  bool headerSeen;
  bool entryWritten;
  bool atLineStart;   // nothing of the current line written yet
  bool afterCr;       // a CR was dropped: the next byte is taken as it is
  bool inTail;        // behind the Ctrl-Z that ended the text
  char carry[HEADER_LENGTH - 1];  // the current line's last bytes, for a header split between reads
  size_t carryLength;
};

// Whether the header straddles the seam between the line's earlier pieces and this one.
static bool SeamHasHeader(const CopyState& s, const char* piece, size_t length) {
  char seam[2 * (HEADER_LENGTH - 1)];
  size_t head = length < HEADER_LENGTH - 1 ? length : HEADER_LENGTH - 1;
  memcpy(seam, s.carry, s.carryLength);
  memcpy(seam + s.carryLength, piece, head);
  return FindBytesNoCase(seam, s.carryLength + head, RenameHeader, HEADER_LENGTH) != NULL;
}

// A line goes on in the next read: keep its last bytes for the seam.
static void CarryLineEnd(CopyState& s, const char* piece, size_t length) {
  size_t keep = sizeof s.carry;
  if (length >= keep) {
    memcpy(s.carry, piece + length - keep, keep);
    s.carryLength = keep;
    return;
  }
  size_t old = s.carryLength + length > keep ? keep - length : s.carryLength;
  memmove(s.carry, s.carry + s.carryLength - old, old);
  memcpy(s.carry + old, piece, length);
  s.carryLength = old + length;
}

// Decoded text: lines go out with CR LF, the entry behind the first header line.
static void CopyText(CopyState& s, const char* text, size_t length, const char* entry) {
  while (length > 0) {
    const char* lf = (const char*)memchr(text, '\n', length);
    size_t n = lf ? (size_t)(lf - text) : length;
    if (!s.headerSeen && n > 0 &&
        (FindBytesNoCase(text, n, RenameHeader, HEADER_LENGTH) || (s.carryLength > 0 && SeamHasHeader(s, text, n))))
      s.headerSeen = true;
    PutBytes(text, n);
    if (n > 0) s.atLineStart = false;
    if (!lf) {
      if (!s.headerSeen) CarryLineEnd(s, text, n);
      return;
    }
    PutBytes("\r\n", 2);
    s.atLineStart = true;
    s.carryLength = 0;
    if (s.headerSeen && !s.entryWritten) {
      PutText(entry, strlen(entry));
      s.entryWritten = true;
    }
    text += n + 1;
    length -= n + 1;
  }
}

// Drops CRs by the text-mode rule; returns the decoded length.
static size_t DecodeText(CopyState& s, const char* raw, size_t length, char* out) {
  size_t n = 0, i = 0;
  if (s.afterCr && length > 0) {
    out[n++] = raw[i++];
    s.afterCr = false;
  }
  while (i < length) {
    const char* cr = (const char*)memchr(raw + i, '\r', length - i);
    size_t run = cr ? (size_t)(cr - (raw + i)) : length - i;
    memmove(out + n, raw + i, run);
    n += run;
    i += run;
    if (!cr) break;
    ++i;  // the CR goes; what follows it is taken as it is
    if (i < length)
      out[n++] = raw[i++];
    else
      s.afterCr = true;
  }
  return n;
}

static void FinishText(CopyState& s, const char* entry) {
  s.afterCr = false;  // a CR that ends the text is dropped
  if (s.entryWritten) return;
  if (!s.atLineStart) PutBytes("\r\n", 2);
  if (!s.headerSeen) PutText("[rename]\n", HEADER_LENGTH + 1);
  PutText(entry, strlen(entry));
  s.entryWritten = true;
}

// Copies WININIT.INI (`in`, or none) to the output with the entry in place. False on a failed read.
static bool CopyWithRenameEntry(HANDLE in, const char* entry) {
  CopyState s;
  memset(&s, 0, sizeof s);
  s.atLineStart = true;
  if (in != INVALID_HANDLE_VALUE) {
    for (;;) {
      DWORD got = 0;
      if (!ReadFile(in, ReadBuffer, IO_BUFFER_SIZE, &got, NULL)) return false;
      if (got == 0) break;
      if (s.inTail) {
        PutBytes(ReadBuffer, got);
        continue;
      }
      const char* ctrlZ = (const char*)memchr(ReadBuffer, CTRL_Z, got);
      size_t textLength = ctrlZ ? (size_t)(ctrlZ - ReadBuffer) : got;
      CopyText(s, DecodedBuffer, DecodeText(s, ReadBuffer, textLength, DecodedBuffer), entry);
      if (ctrlZ) {
        FinishText(s, entry);
        s.inTail = true;
        PutBytes(ctrlZ, got - textLength);
      }
    }
  }
  FinishText(s, entry);
  return true;
}

// --- The two ways ---

static bool JoinPath(char* out, const char* directory, const char* name) {
  out[0] = '\0';
  return AppendText(out, PATH_BUFFER_SIZE, directory) && AppendText(out, PATH_BUFFER_SIZE, name);
}

static bool IsAbsentError(DWORD code) { return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND; }

static int AddRenameEntry(const char* existing, const char* newName) {
  char windowsDirectory[WINDOWS_DIR_SIZE];
  UINT length = GetWindowsDirectoryA(windowsDirectory, WINDOWS_DIR_SIZE);
  if (length == 0 || length >= WINDOWS_DIR_SIZE) return 0;
  PathBuffer iniPath, newPath;
  if (!JoinPath(iniPath, windowsDirectory, "\\WININIT.INI") || !JoinPath(newPath, windowsDirectory, "\\WININIT.NEW"))
    return 0;
  // The entry line: the name to be taken, "=", the existing file.
  char entry[ENTRY_SIZE] = "";
  if (!AppendText(entry, ENTRY_SIZE, newName) || !AppendText(entry, ENTRY_SIZE, "=") ||
      !AppendText(entry, ENTRY_SIZE, existing) || !AppendText(entry, ENTRY_SIZE, "\n"))
    return 0;

  // Absent is fine; present but unreadable is not: its entries would be lost.
  HANDLE in = CreateFileA(iniPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, NULL);
  if (in == INVALID_HANDLE_VALUE && !IsAbsentError(GetLastError())) return 0;
  Output = CreateFileA(newPath, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (Output == INVALID_HANDLE_VALUE) {
    if (in != INVALID_HANDLE_VALUE) CloseHandle(in);
    return 0;
  }
  WriteUsed = 0;
  WriteFailed = false;
  bool copied = CopyWithRenameEntry(in, entry);
  FlushOutput();
  if (in != INVALID_HANDLE_VALUE) CloseHandle(in);
  bool closed = CloseHandle(Output) != 0;
  if (!copied || WriteFailed || !closed) {
    DeleteFileA(newPath);
    return 0;
  }

  DWORD oldAttributes = GetFileAttributesA(iniPath);
  SetFileAttributesA(iniPath, FILE_ATTRIBUTE_NORMAL);  // a read-only WININIT.INI is replaced all the same
  if (!DeleteFileA(iniPath) && !IsAbsentError(GetLastError())) {
    if (oldAttributes != INVALID_FILE_ATTRIBUTES) SetFileAttributesA(iniPath, oldAttributes);
    DeleteFileA(newPath);
    return 0;
  }
  // Should this fail, WININIT.NEW stays: it is the one copy of what WININIT.INI held.
  return MoveFileA(newPath, iniPath) ? 1 : 0;
}

int ReplaceFileOnRestart(const char* existing, const char* newName) {
  OSVERSIONINFOA version;
  memset(&version, 0, sizeof version);
  version.dwOSVersionInfoSize = sizeof version;
  if (!GetVersionExA(&version)) return 0;
  if (version.dwPlatformId == VER_PLATFORM_WIN32_NT)
    return MoveFileExA(existing, newName, MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT) ? 1 : 0;
  return AddRenameEntry(existing ? existing : "NUL", newName ? newName : "NUL");
}
