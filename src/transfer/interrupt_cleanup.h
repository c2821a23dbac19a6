// A download writes into a temporary file beside its target. If the program is interrupted
// (Ctrl-C, SIGTERM, a closed terminal; on Windows the console's control events) while that
// file exists, the file is removed before the program ends, so nothing is left behind and
// the target keeps what it held; a note set by the program (an upload that the device may
// hold in part) goes to standard error. The program then ends as a killed one does: by the
// same signal on POSIX (status 130 after Ctrl-C in a POSIX shell), and on Windows with the
// status given at installation. The state lives in the twin (interrupt_cleanup_posix.cc,
// interrupt_cleanup_win32.cc) in fixed buffers: a handler can reach nothing else.
#pragma once

#include <cstdio>

namespace rq {

// How the program ends on Windows, where no signal can be raised again: as the console's
// default handler ends it (STATUS_CONTROL_C_EXIT, and when there is nothing to clean the
// default handler itself runs), or always with status 130, as a POSIX shell reports Ctrl-C.
enum class WindowsInterruptExit { kConsoleDefault, kStatus130 };

// Installs the handlers, once at start-up. A signal that the program was started with
// ignored (a background job, nohup) stays ignored.
void install_interrupt_cleanup(WindowsInterruptExit exit = WindowsInterruptExit::kConsoleDefault);

// How the bytes of a file name spell it on Windows: as the C library's fopen reads them
// (the process's code page), or as UTF-8. POSIX takes the bytes as they are.
enum class PathText { kCLibrary, kUtf8 };

// The temporary file that an interrupt removes from now on; called before the file is
// created, so that no moment is left in which it exists unwatched. Returns -1 (nothing
// armed) when the path does not fit the handler's fixed buffer.
int arm_interrupt_cleanup(const char* temporary_path, PathText text = PathText::kCLibrary);

// The armed file is open now, as a descriptor or a stream (Windows removes no open file:
// the handler closes it first).
void interrupt_cleanup_opened(int fd);
void interrupt_cleanup_opened(FILE* file);

// Nothing to remove any more: the file was moved over its target or removed.
void disarm_interrupt_cleanup();

// A line for standard error on an interrupt, without its line feed; "" for none. A longer
// line than the handler's buffer holds is cut short.
void set_interrupt_note(const char* text);

}  // namespace rq
