// The optional line editor behind the console reader (libedit where the build found it).
#pragma once

namespace rq {

struct LineEditor;

// nullptr when no editor is built in or the console is not a terminal.
LineEditor* line_editor_open();
void line_editor_close(LineEditor* editor);

// Same contract as fgets, with the prompt drawn by the editor.
char* line_editor_read(LineEditor& editor, char* buf, int size, const char* prompt);

}  // namespace rq
