// Fixed-size path text shared by the removal procedure and the system utilities.
#pragma once

enum { PATH_BUFFER_SIZE = 260 };  // MAX_PATH

// A zero-terminated 8-bit path in the ANSI code page.
typedef char PathBuffer[PATH_BUFFER_SIZE];

// Appends `text` to the zero-terminated text in `out` (of `size` bytes). False, leaving `out`
// cut, when it does not fit: callers treat a cut path as no path at all.
inline bool AppendText(char* out, unsigned size, const char* text) {
  unsigned used = 0;
  while (used < size && out[used]) ++used;
  for (; *text; ++text) {
    if (used + 1 >= size) {
      if (used < size) out[used] = '\0';
      return false;
    }
    out[used++] = *text;
  }
  out[used] = '\0';
  return true;
}
