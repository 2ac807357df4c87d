// Stand-in file calls: attributes, delete, move, delayed move, file handles, standard handles.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "handles.h"
#include "machine.h"

using namespace standin;

namespace {

DWORD ErrorFromErrno(int e) {
  switch (e) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case ENOSPC: return ERROR_DISK_FULL;
    case EEXIST: return ERROR_ALREADY_EXISTS;
    default: return ERROR_ACCESS_DENIED;
  }
}

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

// Resolves a path for a call, taking injected faults into account.
bool Prepare(const char* call, LPCSTR path, std::string* host) {
  std::string windowsPath = path ? path : "";
  LogCall(call, windowsPath);
  DWORD error = 0;
  if (!ResolvePath(windowsPath, host, &error)) {
    SetLastError(error);
    return false;
  }
  if (DWORD fault = FaultFor(call, windowsPath)) {
    SetLastError(fault);
    return false;
  }
  return true;
}

bool Exists(const std::string& host) {
  struct stat st;
  return stat(host.c_str(), &st) == 0;
}

}  // namespace

DWORD GetFileAttributesA(LPCSTR path) {
  std::string host;
  if (!Prepare("GetFileAttributesA", path, &host)) return INVALID_FILE_ATTRIBUTES;
  DWORD attributes = HostAttributes(host);
  if (attributes == INVALID_FILE_ATTRIBUTES) SetLastError(ERROR_FILE_NOT_FOUND);
  return attributes;
}

BOOL SetFileAttributesA(LPCSTR path, DWORD attributes) {
  std::string host;
  if (!Prepare("SetFileAttributesA", path, &host)) return FALSE;
  if (!Exists(host)) return Fail(ERROR_FILE_NOT_FOUND);
  if (!SetHostAttributes(host, attributes)) return Fail(ERROR_ACCESS_DENIED);
  return TRUE;
}

BOOL DeleteFileA(LPCSTR path) {
  std::string host;
  if (!Prepare("DeleteFileA", path, &host)) return FALSE;
  DWORD attributes = HostAttributes(host);
  if (attributes == INVALID_FILE_ATTRIBUTES) return Fail(ERROR_FILE_NOT_FOUND);
  if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) return Fail(ERROR_ACCESS_DENIED);
  if (unlink(host.c_str()) != 0) return Fail(ErrorFromErrno(errno));
  return TRUE;
}

BOOL MoveFileA(LPCSTR existing, LPCSTR newName) {
  std::string from, to;
  if (!Prepare("MoveFileA", existing, &from)) return FALSE;
  DWORD error = 0;
  if (!ResolvePath(newName ? newName : "", &to, &error)) return Fail(error);
  if (!Exists(from)) return Fail(ERROR_FILE_NOT_FOUND);
  if (Exists(to)) return Fail(ERROR_ALREADY_EXISTS);
  if (rename(from.c_str(), to.c_str()) != 0) return Fail(ErrorFromErrno(errno));
  return TRUE;
}

BOOL MoveFileExA(LPCSTR existing, LPCSTR newName, DWORD flags) {
  LogCall("MoveFileExA", std::string(existing ? existing : "(null)") + " " + (newName ? newName : "(null)") +
                             " " + std::to_string(flags));
  if (!MachineLoaded()) return Fail(ERROR_PATH_NOT_FOUND);
  if (Machine().family != "nt") return Fail(ERROR_CALL_NOT_IMPLEMENTED);  // as on Windows 95/98
  if (DWORD fault = FaultFor("MoveFileExA", existing ? existing : "")) return Fail(fault);
  if (!existing) return Fail(ERROR_INVALID_PARAMETER);
  if (flags & MOVEFILE_DELAY_UNTIL_REBOOT) {
    std::ofstream moves(MachineFolder() + "/pending-moves", std::ios::app | std::ios::binary);
    moves << existing << '\t' << (newName ? newName : "") << '\n';
    return moves ? TRUE : Fail(ERROR_WRITE_FAULT);
  }
  std::string from, to;
  DWORD error = 0;
  if (!ResolvePath(existing, &from, &error)) return Fail(error);
  if (!Exists(from)) return Fail(ERROR_FILE_NOT_FOUND);
  if (!newName) return unlink(from.c_str()) == 0 ? TRUE : Fail(ErrorFromErrno(errno));
  if (!ResolvePath(newName, &to, &error)) return Fail(error);
  if (Exists(to) && !(flags & MOVEFILE_REPLACE_EXISTING)) return Fail(ERROR_ALREADY_EXISTS);
  return rename(from.c_str(), to.c_str()) == 0 ? TRUE : Fail(ErrorFromErrno(errno));
}

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPVOID, DWORD disposition, DWORD, HANDLE) {
  (void)share;
  if (name && strcasecmp(name, "conin$") == 0) return OpenConsoleInput();
  std::string host;
  if (!Prepare("CreateFileA", name, &host)) return INVALID_HANDLE_VALUE;
  DWORD attributes = HostAttributes(host);
  bool writing = (access & GENERIC_WRITE) != 0;
  int flags = O_CLOEXEC | (writing ? ((access & GENERIC_READ) ? O_RDWR : O_WRONLY) : O_RDONLY);
  if (disposition == OPEN_EXISTING) {
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return INVALID_HANDLE_VALUE;
    }
  } else if (disposition == CREATE_ALWAYS) {
    flags |= O_CREAT | O_TRUNC;
  } else {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  // Root may write anything on Linux; Windows refuses a read-only file all the same.
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      ((attributes & FILE_ATTRIBUTE_DIRECTORY) || (writing && (attributes & FILE_ATTRIBUTE_READONLY)))) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  int fd = open(host.c_str(), flags, 0644);
  if (fd < 0) {
    SetLastError(ErrorFromErrno(errno));
    return INVALID_HANDLE_VALUE;
  }
  if (disposition == CREATE_ALWAYS && attributes != INVALID_FILE_ATTRIBUTES) SetHostAttributes(host, FILE_ATTRIBUTE_ARCHIVE);
  HandleObject* h = NewHandle(HandleObject::FILE);
  h->fd = fd;
  h->windowsPath = name;
  SetLastError(0);
  return h;
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD done, LPVOID) {
  HandleObject* h = AsHandle(file, HandleObject::FILE);
  if (done) *done = 0;
  if (!h) return Fail(ERROR_INVALID_HANDLE);
  long long limit = -1;
  if (DWORD fault = FaultFor("ReadFile", h->windowsPath, h->bytes, &limit)) return Fail(fault);
  if (limit >= 0 && limit < (long long)size) size = (DWORD)limit;
  ssize_t n;
  do n = read(h->fd, buffer, size);
  while (n < 0 && errno == EINTR);
  if (n < 0) return Fail(ERROR_READ_FAULT);
  h->bytes += n;
  if (done) *done = (DWORD)n;
  return TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD size, LPDWORD done, LPVOID) {
  if (done) *done = 0;
  HandleObject* h = AsHandle(file, HandleObject::ANY);
  if (!h || (h->kind != HandleObject::FILE && h->kind != HandleObject::STD)) return Fail(ERROR_INVALID_HANDLE);
  long long limit = -1;
  if (h->kind == HandleObject::FILE) {
    if (DWORD fault = FaultFor("WriteFile", h->windowsPath, h->bytes, &limit)) return Fail(fault);
    if (limit >= 0 && limit < (long long)size) size = (DWORD)limit;
  }
  ssize_t n;
  do n = write(h->fd, buffer, size);
  while (n < 0 && errno == EINTR);
  if (n < 0) return Fail(errno == ENOSPC ? ERROR_DISK_FULL : ERROR_WRITE_FAULT);
  h->bytes += n;
  if (done) *done = (DWORD)n;
  return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
  HandleObject* h = AsHandle(handle, HandleObject::ANY);
  if (!h || h->kind == HandleObject::STD || h->kind == HandleObject::PROCESS) return Fail(ERROR_INVALID_HANDLE);
  DWORD fault = h->kind == HandleObject::FILE ? FaultFor("CloseHandle", h->windowsPath) : 0;
  if (h->kind == HandleObject::FILE) {
    if (h->fd >= 0 && close(h->fd) != 0 && !fault) fault = ERROR_WRITE_FAULT;
  }
  if (h->kind != HandleObject::CONSOLE) FreeHandle(h);
  return fault ? Fail(fault) : TRUE;
}

HANDLE GetStdHandle(DWORD which) {
  if (which == STD_OUTPUT_HANDLE) return StdHandle(1);
  if (which == STD_ERROR_HANDLE) return StdHandle(2);
  SetLastError(ERROR_INVALID_HANDLE);
  return INVALID_HANDLE_VALUE;
}

DWORD GetFileType(HANDLE file) {
  HandleObject* h = AsHandle(file, HandleObject::ANY);
  if (!h) return FILE_TYPE_UNKNOWN;
  if (h->kind == HandleObject::CONSOLE) return FILE_TYPE_CHAR;
  struct stat st;
  if (h->fd < 0 || fstat(h->fd, &st) != 0) return FILE_TYPE_UNKNOWN;
  if (S_ISCHR(st.st_mode)) return FILE_TYPE_CHAR;
  if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) return FILE_TYPE_PIPE;
  return FILE_TYPE_DISK;
}
