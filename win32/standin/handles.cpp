// Handle bookkeeping: every handle is a live object the stand-in can check before use.
#include "handles.h"

#include <set>

#include "machine.h"

namespace standin {

namespace {
const unsigned kMagic = 0x5A554C48;  // "ZULH"
std::set<HandleObject*>& Live() {
  static std::set<HandleObject*>* live = new std::set<HandleObject*>();  // never destroyed: handles outlive exit
  return *live;
}
}  // namespace

HandleObject* NewHandle(HandleObject::Kind kind) {
  HandleObject* h = new HandleObject();
  h->kind = kind;
  h->magic = kMagic;
  Live().insert(h);
  return h;
}

HandleObject* AsHandle(HANDLE handle, HandleObject::Kind kind) {
  HandleObject* h = static_cast<HandleObject*>(handle);
  if (!Live().count(h)) return nullptr;
  if (kind != HandleObject::ANY && h->kind != kind) return nullptr;
  return h;
}

void FreeHandle(HandleObject* handle) {
  Live().erase(handle);
  delete handle;
}

HANDLE StdHandle(int fd) {
  static HandleObject* out = nullptr;
  static HandleObject* err = nullptr;
  HandleObject*& slot = fd == 1 ? out : err;
  if (!slot) {
    slot = NewHandle(HandleObject::STD);
    slot->fd = fd;
  }
  return slot;
}

int OpenFileHandles() {
  int n = 0;
  for (HandleObject* h : Live()) n += h->kind == HandleObject::FILE;
  return n;
}

}  // namespace standin
