// Prompt keys read straight from the console keyboard, one press at a time, and the fatal stop.
#include "removal.h"

OwedKeyState OwedKey = {OWED_IDLE, 0, 0, 0};

// Opened on first use and retried while it fails; never closed.
static HANDLE ConsoleInput = INVALID_HANDLE_VALUE;

static bool OpenConsoleInput() {
  if (ConsoleInput == INVALID_HANDLE_VALUE)
    ConsoleInput = CreateFileA("conin$", GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
  return ConsoleInput != INVALID_HANDLE_VALUE;
}

// Key releases and a modifier pressed alone are not key presses for our prompts.
static bool IsCountingKeyEvent(const INPUT_RECORD& record) {
  if (record.EventType != KEY_EVENT) return false;
  const KEY_EVENT_RECORD& key = record.Event.KeyEvent;
  return key.bKeyDown && key.wVirtualKeyCode != VK_SHIFT && key.wVirtualKeyCode != VK_CONTROL &&
         key.wVirtualKeyCode != VK_MENU;
}

bool KeyPending() {
  if (!OpenConsoleInput()) return false;
  for (;;) {
    INPUT_RECORD record;
    DWORD count = 0;
    if (!PeekConsoleInputA(ConsoleInput, &record, 1, &count) || count == 0) return false;
    if (IsCountingKeyEvent(record)) return true;
    if (!ReadConsoleInputA(ConsoleInput, &record, 1, &count) || count == 0) return false;
  }
}

static int NextOwedValue() {
  if (OwedKey.mode == OWED_SCAN_PENDING) {
    OwedKey.mode = OwedKey.repeats > 0 ? OWED_REPEATING : OWED_IDLE;
    return OwedKey.pendingScan;
  }
  // Repeating: one more press of the last key.
  --OwedKey.repeats;
  if (OwedKey.lastChar != 0) {
    if (OwedKey.repeats == 0) OwedKey.mode = OWED_IDLE;
    return OwedKey.lastChar;
  }
  OwedKey.mode = OWED_SCAN_PENDING;
  return 0;
}

static int ReadKeyEvent() {
  if (!OpenConsoleInput()) return NO_KEY;
  INPUT_RECORD record;
  for (;;) {
    DWORD count = 0;
    if (!ReadConsoleInputA(ConsoleInput, &record, 1, &count) || count == 0) return NO_KEY;
    if (IsCountingKeyEvent(record)) break;
  }
  const KEY_EVENT_RECORD& key = record.Event.KeyEvent;
  // A repeat count of 0 still reports a press: count it as one, not as a wrapped-around run.
  OwedKey.repeats = key.wRepeatCount > 1 ? key.wRepeatCount - 1u : 0u;
  int character = (unsigned char)key.uChar.AsciiChar;
  if (character != 0 && !(key.dwControlKeyState & ENHANCED_KEY)) {
    OwedKey.lastChar = character;
    OwedKey.mode = OwedKey.repeats > 0 ? OWED_REPEATING : OWED_IDLE;
    return character;
  }
  OwedKey.lastChar = 0;
  OwedKey.pendingScan = key.wVirtualScanCode;
  OwedKey.mode = OWED_SCAN_PENDING;
  return 0;
}

int ReadRawKey() {
  // Mode 0 for the read: no line input, no echo, and Ctrl+C as the character 3.
  DWORD savedMode = 0;
  bool haveMode = OpenConsoleInput() && GetConsoleMode(ConsoleInput, &savedMode);
  if (haveMode) SetConsoleMode(ConsoleInput, 0);  // may fail (some consoles refuse it): harmless
  int value = OwedKey.mode != OWED_IDLE ? NextOwedValue() : ReadKeyEvent();
  if (haveMode) SetConsoleMode(ConsoleInput, savedMode);
  return value;
}

// Throws away what was typed ahead; values still owed by the last event are handed out first.
static void DrainTypedAhead() {
  while (KeyPending())
    if (ReadRawKey() == NO_KEY) return;  // a queue we can see but not read: stop, don't spin
}

int WaitKey() {
  DrainTypedAhead();
  int key = ReadRawKey();
  DrainTypedAhead();
  if (key >= 'a' && key <= 'z') key -= 0x20;
  return key;
}

void FatalExit(const char* message) {
  PrintErrorMessage(message);
  PrintErrorMessage("Press eny key to exit . . .");
  WaitKey();
  ExitWithStatus(1);
}
