// Fixed-size path text shared by the removal procedure and the system utilities.
#pragma once

enum { PATH_BUFFER_SIZE = 260 };  // MAX_PATH

// A zero-terminated 8-bit path in the ANSI code page.
typedef char PathBuffer[PATH_BUFFER_SIZE];
