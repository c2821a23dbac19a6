#include "shell/args.h"

#include <cstdio>
#include <cstring>

namespace rq {

static bool is_blank(char ch) { return ch == ' ' || ch == '\t'; }
static bool is_line_end(char ch) { return ch == '\0' || ch == '\r' || ch == '\n'; }

const char* skip_blanks(const char* text) {
  while (is_blank(*text)) ++text;
  return text;
}

char* skip_blanks(char* text) {
  while (is_blank(*text)) ++text;
  return text;
}

int single_path(char* args, char** path) {
  char* p = skip_blanks(args);
  char* end = p;
  while (!is_line_end(*end)) ++end;
  *end = '\0';
  *path = p;
  return static_cast<int>(end - p) + 1;
}

int two_arguments(const char* text, char* out, size_t capacity, size_t* second_offset) {
  const char* p = text;
  size_t n = 0;
  if (*p == '"') {
    ++p;
    while (*p != '"') {
      if (is_line_end(*p)) return -1;
      if (n + 1 >= capacity) return -1;
      out[n++] = *p++;
    }
    ++p;  // the closing quote
  } else {
    while (!is_blank(*p)) {
      if (is_line_end(*p)) return -1;
      if (n + 1 >= capacity) return -1;
      out[n++] = *p++;
    }
  }
  if (n >= capacity) return -1;
  out[n++] = '\0';
  *second_offset = n;
  p = skip_blanks(p);
  if (is_line_end(*p)) return -1;
  while (!is_line_end(*p)) {
    if (n + 1 >= capacity) return -1;
    out[n++] = *p++;
  }
  out[n++] = '\0';
  return static_cast<int>(n);
}

int command_arguments(Shell& c, const char* args, char* out, size_t capacity, char** second) {
  size_t second_offset = 0;
  int length = two_arguments(skip_blanks(args), out, capacity, &second_offset);
  if (length < 0) {
    fprintf(c.console_out, "INVALID cmd parameters\n");
    return -1;
  }
  *second = out + second_offset;
  return length;
}

}  // namespace rq
