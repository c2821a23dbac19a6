// The line trimmer and both argument parsers over arbitrary console lines.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "shell/args.h"
#include "shell/line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A console line as the loop holds it: at most 1023 characters and a terminating zero.
  char line[1024];
  size_t n = size < sizeof line - 1 ? size : sizeof line - 1;
  memcpy(line, data, n);
  line[n] = '\0';

  char trimmed[1024];
  memcpy(trimmed, line, sizeof line);
  char* command = rq::skip_blanks(trimmed);
  rq::trim_line(command);

  char path_line[1024];
  memcpy(path_line, line, sizeof line);
  // The arguments begin after a keyword of up to seven characters, as the dispatcher hands
  // them over.
  size_t keyword = n ? data[0] % 8 : 0;
  if (keyword > n) keyword = n;
  char* path = nullptr;
  int wire = rq::single_path(path_line + keyword, &path);
  if (wire < 1 || path < path_line || path + wire > path_line + sizeof path_line) abort();

  // The smallest buffers the commands parse into must hold any line or refuse it.
  for (size_t capacity : {sizeof line + 2, static_cast<size_t>(16), static_cast<size_t>(1)}) {
    char out[1026];
    size_t second = 0;
    int total = rq::two_arguments(line, out, capacity, &second);
    if (total >= 0 && (static_cast<size_t>(total) > capacity || second >= static_cast<size_t>(total)))
      abort();
  }
  return 0;
}
