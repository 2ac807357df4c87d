// Handles the stand-in hands out, and the console device behind "conin$".
#pragma once
#include <string>

#include "win32.h"

namespace standin {

struct HandleObject {
  enum Kind { ANY, FILE, STD, CONSOLE, PROCESS, TOKEN } kind;
  int fd = -1;
  std::string windowsPath;
  long long bytes = 0;  // transferred so far, for faults that strike half way
  unsigned magic = 0;
};

HandleObject* NewHandle(HandleObject::Kind kind);
HandleObject* AsHandle(HANDLE handle, HandleObject::Kind kind);  // nullptr when not a live one of that kind
void FreeHandle(HandleObject* handle);
HANDLE StdHandle(int fd);
HANDLE OpenConsoleInput();  // CreateFileA("conin$")
bool PrivilegeNotGranted();
void ResetTokenState();  // a new machine is a new process as far as the token goes

}  // namespace standin
