#include "shell/console.h"

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
  return fgets(buf, size, c.console_in);
}

void erase_progress_line(Shell& c) {
  if (!c.progress_shown) return;
  fputs("\r\033[K", c.progress_out);
  fflush(c.progress_out);
  c.progress_shown = false;
}

}  // namespace rq
