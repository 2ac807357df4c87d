// The survey: where the system directory is, which of the worm's files are there, and the question.
#include "removal.h"

PathBuffer SystemDirectory;
PathBuffer TargetPaths[TARGET_COUNT];
int InfectionMask;

static const char* const TargetNames[TARGET_COUNT] = {"ZUL.EXE", "ZUL.DLL", "WSOCK32.ZUL", "WSOCK32.DLL"};

// A path that does not fit would name some other file: it is left empty, and so counts as absent.
char* MakeSystemPath(const char* name, char* out) {
  out[0] = '\0';
  if (!AppendText(out, PATH_BUFFER_SIZE, SystemDirectory) || !AppendText(out, PATH_BUFFER_SIZE, "\\") ||
      !AppendText(out, PATH_BUFFER_SIZE, name))
    out[0] = '\0';
  return out;
}

bool IsPresent(const char* path) {
  return path[0] != '\0' && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

int CheckAndRemove() {
  // A result of PATH_BUFFER_SIZE or more is the size the directory would have needed.
  UINT length = GetSystemDirectoryA(SystemDirectory, PATH_BUFFER_SIZE);
  if (length == 0 || length >= PATH_BUFFER_SIZE || SystemDirectory[0] == '\0')
    FatalExit("Cannot find system directory");

  for (int i = 0; i < TARGET_COUNT; ++i) MakeSystemPath(TargetNames[i], TargetPaths[i]);

  InfectionMask = 0;
  for (int i = 0; i < WORM_FILE_COUNT; ++i)
    if (IsPresent(TargetPaths[i])) InfectionMask |= 1 << i;

  if (InfectionMask == 0) {
    PrintMessage("Worm Quillox/ZUL not found on this computer.\nExiting...");
    return 0;
  }
  PrintMessage(InfectionMask == FULL_INFECTION ? "Quillox/ZUL worm found." : "Only parts of Quillox/ZUL worm found.");
  PrintMessage("Continue with removing(Y/N)?");
  for (;;) {
    int key = WaitKey();
    if (key == 'Y') return CleanAndComplete();
    // With no console to answer, nothing is changed: the same as declining.
    if (key == 'N' || key == NO_KEY) return 1;
  }
}
