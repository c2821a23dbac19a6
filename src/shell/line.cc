#include "shell/line.h"

namespace rq {

void trim_line(char* line) {
  char* after_last_nonblank = line;
  for (char* p = line; *p; ++p) {
    if (*p == '\r' || *p == '\n') {
      *p = '\0';
      return;
    }
    if (*p != ' ' && *p != '\t') after_last_nonblank = p + 1;
  }
  *after_last_nonblank = '\0';
}

static unsigned char fold(unsigned char ch) {
  return (ch >= 'A' && ch <= 'Z') ? static_cast<unsigned char>(ch + ('a' - 'A')) : ch;
}

int strnicmp_ascii(const char* a, const char* b, unsigned n) {
  for (unsigned i = 0; i < n; ++i) {
    unsigned char x = fold(static_cast<unsigned char>(a[i]));
    unsigned char y = fold(static_cast<unsigned char>(b[i]));
    if (x != y) return x < y ? -1 : 1;
    if (x == 0) return 0;
  }
  return 0;
}

}  // namespace rq
