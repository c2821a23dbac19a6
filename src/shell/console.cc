#include "shell/console.h"

#include "local/platform.h"
#include "shell/line_editor.h"

namespace rq {

void console_start_editor(Shell& c) {
  if (c.editor || c.console_in != stdin || c.console_out != stdout) return;
  c.editor = line_editor_open();
}

void console_stop_editor(Shell& c) {
  if (c.editor) line_editor_close(c.editor);
  c.editor = nullptr;
}

char* console_read_line(Shell& c, char* buf, int size, const char* prompt) {
  if (c.editor) return line_editor_read(*c.editor, buf, size, prompt);
  if (prompt) fputs(prompt, c.console_out);
  fflush(c.console_out);
  bool ended_before = feof(c.console_in) != 0;
  char* got = fgets(buf, size, c.console_in);
  // Ctrl-D at a terminal leaves the cursor behind the prompt (or the typed text): end that
  // line, as the line editor does, so that what prints next starts on a line of its own.
  // Pipes and files get no such byte.
  if (!ended_before && feof(c.console_in) && c.console_in == stdin && c.console_out == stdout &&
      console_end_leaves_line_open())
    fputc('\n', c.console_out);
  return got;
}

}  // namespace rq
