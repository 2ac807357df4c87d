// Case-insensitive search over the ASCII letters only: no locale, other bytes compared exactly.
#include <string.h>

#include "sysutil.h"

static inline unsigned char UpperAscii(unsigned char c) { return c >= 'a' && c <= 'z' ? c - 0x20 : c; }

const char* FindBytesNoCase(const char* text, size_t textLength, const char* pattern, size_t patternLength) {
  if (patternLength == 0) return text;
  if (patternLength > textLength) return NULL;
  unsigned char first = UpperAscii((unsigned char)pattern[0]);
  bool firstIsLetter = first >= 'A' && first <= 'Z';
  const char* last = text + (textLength - patternLength);
  for (const char* p = text; p <= last; ++p) {
    if (!firstIsLetter) {
      // Most patterns start with punctuation ("[rename]"): let memchr skip ahead.
      p = (const char*)memchr(p, first, (size_t)(last - p) + 1);
      if (!p) return NULL;
    } else if (UpperAscii((unsigned char)*p) != first) {
      continue;
    }
    size_t i = 1;
    while (i < patternLength && UpperAscii((unsigned char)p[i]) == UpperAscii((unsigned char)pattern[i])) ++i;
    if (i == patternLength) return p;
  }
  return NULL;
}

const char* FindTextNoCase(const char* text, const char* pattern) {
  return FindBytesNoCase(text, strlen(text), pattern, strlen(pattern));
}
