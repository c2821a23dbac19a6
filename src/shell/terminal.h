#pragma once

namespace rq {

// True when standard error is a terminal (a person watching), false for pipes and files.
bool stderr_is_terminal();

// Readies standard error, a terminal, for the progress line, which is redrawn with a
// carriage return and erased with an erase-to-end-of-line sequence. A Windows console shows
// that sequence as text unless virtual-terminal processing is on, so it is switched on.
// Returns false where that is not possible: the line is then erased with blanks.
bool stderr_enable_line_erase();

// Puts back the mode stderr_enable_line_erase changed (a console keeps it after the program
// has ended). An interrupt that ends the shell puts it back too, when stderr_enable_line_erase
// ran after install_interrupt_cleanup.
void stderr_restore_mode();

// True when the end of console input leaves the cursor behind the typed text: at a POSIX
// terminal Ctrl-D moves to no new line, while a Windows console echoes the Enter that
// follows Ctrl-Z. False for pipes and files.
bool console_end_leaves_line_open();

}  // namespace rq
