// Program entry: banner, removal procedure, exit status. The command line is ignored.
#include "removal.h"

int main() {
  PrintMessage("Quillox/ZUL remover, vers. 1.0, Orvik antivirus, (c) 1999 Orvik");
  int result = CheckAndRemove();
  if (result == 0) {
    PrintMessage("Press any key to exit . . .");
    WaitKey();
  }
  ExitWithStatus(result);
}
