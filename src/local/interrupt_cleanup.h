// A download writes into a temporary file beside its target. If the program is interrupted
// (Ctrl-C, SIGTERM, a closed terminal; on Windows the console's control events) while that
// file exists, the file is removed before the program ends, so nothing is left behind and
// the target keeps what it held; a note set by the program (an upload that the device may
// hold in part) goes to standard error. The program then ends as a killed one does: by the
// same signal on POSIX (status 130 after Ctrl-C in a POSIX shell), and on Windows with the
// status given at installation. The state lives in the twin (interrupt_cleanup_posix.cc,
// interrupt_cleanup_win32.cc) in fixed buffers: a handler can reach nothing else.
#pragma once

namespace rq {

// How the program ends on Windows, where no signal can be raised again: as the console's
// default handler ends it (STATUS_CONTROL_C_EXIT, and when there is nothing to clean the
// default handler itself runs), or always with status 130, as a POSIX shell reports Ctrl-C.
enum class WindowsInterruptExit { kConsoleDefault, kStatus130 };

// The interrupts a front end has cleaned up after, any combination.
enum InterruptSource : unsigned {
  kInterruptKey = 1u << 0,      // SIGINT; Windows: Ctrl-C and Ctrl-Break
  kTerminateRequest = 1u << 1,  // SIGTERM; Windows: log-off and shut-down
  kHangUp = 1u << 2,            // SIGHUP; Windows: the console window closed
  kEveryInterrupt = kInterruptKey | kTerminateRequest | kHangUp,
};

// Installs the handlers for the given sources, once at start-up; the others keep their
// default action. A signal that the program was started with ignored (a background job,
// nohup) stays ignored. A front end that never installs them still arms and disarms: that
// costs nothing and removes nothing.
void install_interrupt_cleanup(unsigned sources, WindowsInterruptExit exit);

// The temporary file (local spelling, platform.h) that an interrupt removes from now on;
// called before the file is created, so that no moment is left in which it exists
// unwatched. Returns -1 (nothing armed) when the path does not fit the handler's fixed
// buffer.
int arm_interrupt_cleanup(const char* temporary_path);

// The armed file is open now (Windows removes no open file: the handler closes it first).
void interrupt_cleanup_opened(int fd);

// Nothing to remove any more: the file was moved over its target or removed.
void disarm_interrupt_cleanup();

// A line for standard error on an interrupt, without its line feed; "" for none. A longer
// line than the handler's buffer holds is cut short.
void set_interrupt_note(const char* text);

}  // namespace rq
