// The stand-in console: "conin$" is the controlling terminal, its bytes turned into the
// KEY_EVENT records a Windows console queues, and its settings put back on every way out.
//
// A Windows console queues key events whatever its mode; a Unix terminal in canonical mode
// holds typed keys until Enter. So every look at the queue reads the terminal briefly in
// non-canonical mode, and the mode the program sets only decides echo, line input and
// whether Ctrl+C is a signal (ISIG) or the character 3.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>

#include "handles.h"
#include "machine.h"

namespace standin {

namespace {

enum { ESCAPE_WAIT_MS = 40 };

struct Console {
  HandleObject* handle = nullptr;
  bool scripted = false;
  bool peekFails = false;
  int fd = -1;
  bool haveOriginal = false;
  termios original{};
  DWORD mode = ENABLE_PROCESSED_INPUT | ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT;
  std::deque<INPUT_RECORD> queue;
  std::deque<std::vector<INPUT_RECORD>> laterBatches;  // scripted keys still to come
  std::string pendingBytes;
  std::vector<DWORD> modesSet;
};

Console& C() {
  static Console console;
  return console;
}

void RestoreTerminal() {
  Console& c = C();
  if (c.fd >= 0 && c.haveOriginal) tcsetattr(c.fd, TCSANOW, &c.original);
}

void OnSignal(int sig) {
  RestoreTerminal();
  signal(sig, SIG_DFL);
  raise(sig);
}

void GuardTerminal() {
  atexit(RestoreTerminal);
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGABRT}) {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(sig, &action, nullptr);
  }
}

void Log(const std::string& line) {
  if (!MachineLoaded()) return;
  std::ofstream log(MachineFolder() + "/console.log", std::ios::app);
  log << line << '\n';
}

// --- Terminal bytes to key records ---

struct KeyInfo {
  WORD vk, scan;
  char ch;
  DWORD state;  // modifiers held, ENHANCED_KEY
};

void PushKey(std::vector<INPUT_RECORD>& out, const KeyInfo& k) {
  // A real console sends the modifier's own key-down first.
  struct Modifier { DWORD flag; WORD vk, scan; };
  static const Modifier modifiers[] = {{SHIFT_PRESSED, VK_SHIFT, 0x2A},
                                       {LEFT_CTRL_PRESSED, VK_CONTROL, 0x1D},
                                       {LEFT_ALT_PRESSED, VK_MENU, 0x38}};
  DWORD held = 0;
  for (const Modifier& m : modifiers)
    if (k.state & m.flag) {
      held |= m.flag;
      out.push_back(KeyDown(m.vk, m.scan, 0, held));
    }
  out.push_back(KeyDown(k.vk, k.scan, k.ch, k.state));
  out.push_back(KeyUp(k.vk, k.scan, k.ch, k.state));
  for (int i = 2; i >= 0; --i)
    if (k.state & modifiers[i].flag) {
      held &= ~modifiers[i].flag;
      out.push_back(KeyUp(modifiers[i].vk, modifiers[i].scan, 0, held));
    }
}

// US layout: the key of each printable character, and whether Shift makes it.
bool PrintableKey(unsigned char c, KeyInfo* k) {
  static const char letterScans[26] = {0x1E, 0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17, 0x24, 0x25, 0x26, 0x32,
                                       0x31, 0x18, 0x19, 0x10, 0x13, 0x1F, 0x14, 0x16, 0x2F, 0x11, 0x2D, 0x15, 0x2C};
  struct Punct { char plain, shifted; WORD vk, scan; };
  static const Punct punct[] = {{'1', '!', '1', 0x02}, {'2', '@', '2', 0x03}, {'3', '#', '3', 0x04},
                                {'4', '$', '4', 0x05}, {'5', '%', '5', 0x06}, {'6', '^', '6', 0x07},
                                {'7', '&', '7', 0x08}, {'8', '*', '8', 0x09}, {'9', '(', '9', 0x0A},
                                {'0', ')', '0', 0x0B}, {'-', '_', 0xBD, 0x0C}, {'=', '+', 0xBB, 0x0D},
                                {'[', '{', 0xDB, 0x1A}, {']', '}', 0xDD, 0x1B}, {';', ':', 0xBA, 0x27},
                                {'\'', '"', 0xDE, 0x28}, {'`', '~', 0xC0, 0x29}, {'\\', '|', 0xDC, 0x2B},
                                {',', '<', 0xBC, 0x33}, {'.', '>', 0xBE, 0x34}, {'/', '?', 0xBF, 0x35}};
  if (c >= 'a' && c <= 'z') {
    *k = {WORD(c - 0x20), WORD(letterScans[c - 'a']), char(c), 0};
    return true;
  }
  if (c >= 'A' && c <= 'Z') {
    *k = {WORD(c), WORD(letterScans[c - 'A']), char(c), SHIFT_PRESSED};
    return true;
  }
  if (c == ' ') {
    *k = {VK_SPACE, 0x39, ' ', 0};
    return true;
  }
  for (const Punct& p : punct) {
    if (c == (unsigned char)p.plain) *k = {p.vk, p.scan, char(c), 0};
    else if (c == (unsigned char)p.shifted) *k = {p.vk, p.scan, char(c), SHIFT_PRESSED};
    else continue;
    return true;
  }
  return false;
}

// The key named by a CSI or SS3 sequence's final byte or number.
bool SpecialKey(char final, int number, KeyInfo* k) {
  struct Special { char final; int number; WORD vk, scan; bool enhanced; };
  static const Special specials[] = {
      {'A', 0, VK_UP, 0x48, true},     {'B', 0, VK_DOWN, 0x50, true},    {'C', 0, VK_RIGHT, 0x4D, true},
      {'D', 0, VK_LEFT, 0x4B, true},   {'H', 0, VK_HOME, 0x47, true},    {'F', 0, VK_END, 0x4F, true},
      {'P', 0, VK_F1, 0x3B, false},    {'Q', 0, VK_F1 + 1, 0x3C, false}, {'R', 0, VK_F1 + 2, 0x3D, false},
      {'S', 0, VK_F1 + 3, 0x3E, false}, {'~', 1, VK_HOME, 0x47, true},   {'~', 2, VK_INSERT, 0x52, true},
      {'~', 3, VK_DELETE, 0x53, true}, {'~', 4, VK_END, 0x4F, true},     {'~', 5, VK_PRIOR, 0x49, true},
      {'~', 6, VK_NEXT, 0x51, true},   {'~', 7, VK_HOME, 0x47, true},    {'~', 8, VK_END, 0x4F, true},
      {'~', 11, VK_F1, 0x3B, false},   {'~', 12, VK_F1 + 1, 0x3C, false}, {'~', 13, VK_F1 + 2, 0x3D, false},
      {'~', 14, VK_F1 + 3, 0x3E, false}, {'~', 15, VK_F1 + 4, 0x3F, false}, {'~', 17, VK_F1 + 5, 0x40, false},
      {'~', 18, VK_F1 + 6, 0x41, false}, {'~', 19, VK_F1 + 7, 0x42, false}, {'~', 20, VK_F1 + 8, 0x43, false},
      {'~', 21, VK_F1 + 9, 0x44, false}, {'~', 23, VK_F1 + 10, 0x57, false}, {'~', 24, VK_F1 + 11, 0x58, false}};
  for (const Special& s : specials)
    if (s.final == final && (final != '~' || s.number == number)) {
      *k = {s.vk, s.scan, 0, s.enhanced ? DWORD(ENHANCED_KEY) : 0};
      return true;
    }
  return false;
}

// xterm's modifier parameter: 2 Shift, 3 Alt, 5 Ctrl, and their sums.
DWORD ModifierState(int parameter) {
  int bits = parameter > 1 ? parameter - 1 : 0;
  return (bits & 1 ? SHIFT_PRESSED : 0) | (bits & 2 ? LEFT_ALT_PRESSED : 0) | (bits & 4 ? LEFT_CTRL_PRESSED : 0);
}

bool ControlKey(unsigned char c, KeyInfo* k) {
  switch (c) {
    case '\r':
    case '\n': *k = {VK_RETURN, 0x1C, '\r', 0}; return true;
    case '\t': *k = {VK_TAB, 0x0F, '\t', 0}; return true;
    case 0x08:
    case 0x7F: *k = {VK_BACK, 0x0E, 0x08, 0}; return true;
    case 0x1B: *k = {VK_ESCAPE, 0x01, 0x1B, 0}; return true;
    case 0x00: *k = {'2', 0x03, 0, LEFT_CTRL_PRESSED}; return true;  // Ctrl+@: a key without a character
    default: break;
  }
  if (c >= 1 && c <= 26) {  // Ctrl+letter, Ctrl+C among them
    KeyInfo letter;
    PrintableKey((unsigned char)('a' + c - 1), &letter);
    *k = {letter.vk, letter.scan, char(c), LEFT_CTRL_PRESSED};
    return true;
  }
  return false;
}

// Translates what it can; leaves an unfinished escape sequence in `bytes` unless `final`.
void Translate(std::string& bytes, std::vector<INPUT_RECORD>& out, bool final) {
  size_t i = 0;
  while (i < bytes.size()) {
    unsigned char c = bytes[i];
    KeyInfo k;
    if (c == 0x1B && i + 1 < bytes.size() && (bytes[i + 1] == '[' || bytes[i + 1] == 'O')) {
      size_t j = i + 2;
      int numbers[2] = {0, 0}, count = 0;
      while (j < bytes.size() && ((bytes[j] >= '0' && bytes[j] <= '9') || bytes[j] == ';')) {
        if (bytes[j] == ';') ++count;
        else if (count < 2) numbers[count] = numbers[count] * 10 + (bytes[j] - '0');
        ++j;
      }
      if (j >= bytes.size()) {
        if (!final) break;
        i = j;  // a sequence cut short: dropped
        continue;
      }
      char finalByte = bytes[j];
      if (SpecialKey(finalByte, numbers[0], &k)) {
        k.state |= ModifierState(count ? numbers[1] : 0);
        PushKey(out, k);
      }  // unknown sequences produce nothing, as a console ignores them
      i = j + 1;
      continue;
    }
    if (c == 0x1B && i + 1 == bytes.size() && !final) break;  // Escape, or the start of a sequence?
    if (c == 0x1B && i + 1 < bytes.size()) {
      // Escape then a character: Alt with that key.
      KeyInfo key;
      unsigned char next = bytes[i + 1];
      if (PrintableKey(next, &key)) {
        key.state |= LEFT_ALT_PRESSED;
        PushKey(out, key);
        i += 2;
        continue;
      }
    }
    if (ControlKey(c, &k) || PrintableKey(c, &k)) {
      PushKey(out, k);
    } else {
      // Beyond ASCII: a character with no key of its own.
      PushKey(out, {0, 0, char(c), 0});
    }
    ++i;
  }
  bytes.erase(0, i);
}

// Reads what the terminal holds (waiting up to timeoutMs, -1: for ever) and queues its keys.
// False when the terminal is gone.
bool Pump(int timeoutMs) {
  Console& c = C();
  termios now{};
  bool changed = false;
  if (tcgetattr(c.fd, &now) == 0 && ((now.c_lflag & (ICANON | ECHO)) || now.c_cc[VMIN] != 0)) {
    termios raw = now;
    raw.c_lflag &= ~(ICANON | ECHO);
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    changed = tcsetattr(c.fd, TCSANOW, &raw) == 0;
  }
  bool alive = true;
  for (int wait = timeoutMs;;) {
    pollfd p{c.fd, POLLIN, 0};
    int ready = poll(&p, 1, wait);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0 || (ready > 0 && !(p.revents & POLLIN))) {
      alive = false;
      break;
    }
    if (ready == 0) break;
    char buffer[256];
    ssize_t n = read(c.fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      alive = false;
      break;
    }
    c.pendingBytes.append(buffer, (size_t)n);
    std::vector<INPUT_RECORD> records;
    Translate(c.pendingBytes, records, false);
    c.queue.insert(c.queue.end(), records.begin(), records.end());
    if (c.pendingBytes.empty()) break;
    wait = ESCAPE_WAIT_MS;  // the rest of an escape sequence comes at once, if at all
  }
  if (!c.pendingBytes.empty() && alive) {
    std::vector<INPUT_RECORD> records;
    Translate(c.pendingBytes, records, true);
    c.queue.insert(c.queue.end(), records.begin(), records.end());
  }
  if (changed) tcsetattr(c.fd, TCSANOW, &now);
  return alive;
}

Console* ConsoleOf(HANDLE handle) {
  HandleObject* h = AsHandle(handle, HandleObject::CONSOLE);
  return h ? &C() : nullptr;
}

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

}  // namespace

HANDLE OpenConsoleInput() {
  Console& c = C();
  LogCall("CreateFileA", "conin$");
  if (c.handle) return c.handle;
  if (!c.scripted) {
    int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return INVALID_HANDLE_VALUE;
    }
    c.fd = fd;
    if (tcgetattr(fd, &c.original) == 0) {
      c.haveOriginal = true;
      c.mode = (c.original.c_lflag & ISIG ? ENABLE_PROCESSED_INPUT : 0) |
               (c.original.c_lflag & ICANON ? ENABLE_LINE_INPUT : 0) |
               (c.original.c_lflag & ECHO ? ENABLE_ECHO_INPUT : 0);
      GuardTerminal();
    }
  }
  c.handle = NewHandle(HandleObject::CONSOLE);
  c.handle->fd = c.fd;
  return c.handle;
}

void ScriptConsole(const std::vector<std::vector<INPUT_RECORD>>& batches, bool peekFails) {
  Console& c = C();
  c.scripted = true;
  c.peekFails = peekFails;
  c.queue.clear();
  c.laterBatches.assign(batches.begin(), batches.end());
  if (!c.laterBatches.empty()) {
    c.queue.assign(c.laterBatches.front().begin(), c.laterBatches.front().end());
    c.laterBatches.pop_front();
  }
  c.modesSet.clear();
}

void UnscriptConsole() {
  Console& c = C();
  c.scripted = false;
  c.queue.clear();
  c.laterBatches.clear();
}

std::vector<DWORD>& ConsoleModesSet() { return C().modesSet; }

std::vector<INPUT_RECORD> KeyRecordsFor(const std::string& terminalBytes) {
  std::string bytes = terminalBytes;
  std::vector<INPUT_RECORD> out;
  Translate(bytes, out, true);
  return out;
}

INPUT_RECORD KeyDown(WORD vk, WORD scan, char ch, DWORD state, WORD repeat) {
  INPUT_RECORD r;
  memset(&r, 0, sizeof r);
  r.EventType = KEY_EVENT;
  r.Event.KeyEvent.bKeyDown = TRUE;
  r.Event.KeyEvent.wRepeatCount = repeat;
  r.Event.KeyEvent.wVirtualKeyCode = vk;
  r.Event.KeyEvent.wVirtualScanCode = scan;
  r.Event.KeyEvent.uChar.AsciiChar = ch;
  r.Event.KeyEvent.dwControlKeyState = state;
  return r;
}

INPUT_RECORD KeyUp(WORD vk, WORD scan, char ch, DWORD state) {
  INPUT_RECORD r = KeyDown(vk, scan, ch, state, 1);
  r.Event.KeyEvent.bKeyDown = FALSE;
  return r;
}

}  // namespace standin

using namespace standin;

BOOL PeekConsoleInputA(HANDLE input, PINPUT_RECORD records, DWORD count, LPDWORD read) {
  Console* c = ConsoleOf(input);
  if (read) *read = 0;
  if (!c || !records || count == 0) return Fail(ERROR_INVALID_HANDLE);
  if (c->scripted && c->peekFails) return Fail(ERROR_INVALID_HANDLE);
  if (DWORD fault = FaultFor("PeekConsoleInputA", "conin$")) return Fail(fault);
  if (!c->scripted && c->queue.empty() && !Pump(0)) return Fail(ERROR_INVALID_HANDLE);
  DWORD n = 0;
  for (; n < count && n < c->queue.size(); ++n) records[n] = c->queue[n];
  if (read) *read = n;
  return TRUE;
}

BOOL ReadConsoleInputA(HANDLE input, PINPUT_RECORD records, DWORD count, LPDWORD read) {
  Console* c = ConsoleOf(input);
  if (read) *read = 0;
  if (!c || !records || count == 0) return Fail(ERROR_INVALID_HANDLE);
  if (DWORD fault = FaultFor("ReadConsoleInputA", "conin$")) return Fail(fault);
  if (c->queue.empty()) {
    if (c->scripted) {
      if (c->laterBatches.empty()) return Fail(ERROR_HANDLE_EOF);
      c->queue.assign(c->laterBatches.front().begin(), c->laterBatches.front().end());
      c->laterBatches.pop_front();
      if (c->queue.empty()) return Fail(ERROR_HANDLE_EOF);
    }
    if (!c->scripted) Log("wait");
    while (c->queue.empty())
      if (!Pump(-1)) {
        Log("gone");
        return Fail(ERROR_INVALID_HANDLE);
      }
  }
  DWORD n = 0;
  for (; n < count && !c->queue.empty(); ++n) {
    records[n] = c->queue.front();
    c->queue.pop_front();
  }
  if (read) *read = n;
  if (!c->scripted && records[0].EventType == KEY_EVENT) {
    const KEY_EVENT_RECORD& k = records[0].Event.KeyEvent;
    char line[96];
    snprintf(line, sizeof line, "key %s vk=0x%02x scan=0x%02x char=0x%02x state=0x%x", k.bKeyDown ? "down" : "up",
             k.wVirtualKeyCode, k.wVirtualScanCode, (unsigned char)k.uChar.AsciiChar, (unsigned)k.dwControlKeyState);
    Log(line);
  }
  return TRUE;
}

BOOL GetConsoleMode(HANDLE console, LPDWORD mode) {
  Console* c = ConsoleOf(console);
  if (!c || !mode) return Fail(ERROR_INVALID_HANDLE);
  *mode = c->mode;
  return TRUE;
}

BOOL SetConsoleMode(HANDLE console, DWORD mode) {
  Console* c = ConsoleOf(console);
  if (!c) return Fail(ERROR_INVALID_HANDLE);
  c->modesSet.push_back(mode);
  c->mode = mode;
  if (c->fd >= 0 && c->haveOriginal) {
    termios t = c->original;
    auto set = [&t](tcflag_t flag, bool on) { t.c_lflag = on ? (t.c_lflag | flag) : (t.c_lflag & ~flag); };
    set(ICANON, mode & ENABLE_LINE_INPUT);
    set(ECHO, mode & ENABLE_ECHO_INPUT);
    set(ISIG, mode & ENABLE_PROCESSED_INPUT);
    if (!(mode & ENABLE_LINE_INPUT)) {
      t.c_cc[VMIN] = 1;
      t.c_cc[VTIME] = 0;
    }
    // TCSANOW, not TCSAFLUSH: keys typed ahead must stay queued.
    if (tcsetattr(c->fd, TCSANOW, &t) != 0) return Fail(ERROR_INVALID_HANDLE);
  }
  return TRUE;
}
