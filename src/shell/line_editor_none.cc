// Builds without a line editor: the console is read with the plain reader.
#include "shell/line_editor.h"

namespace rq {

LineEditor* line_editor_open() { return nullptr; }
void line_editor_close(LineEditor*) {}
char* line_editor_read(LineEditor&, char*, int, const char*) { return nullptr; }

}  // namespace rq
