// A download writes into a temporary file beside its target. If the program is interrupted
// (Ctrl-C, SIGTERM, a closed terminal; on Windows the console's control events) while that
// file exists, the file is removed before the program ends, so nothing is left behind and
// the target keeps what it held; a note set by the program (an upload that the device may
// hold in part) goes to standard error, and a report rendered ahead to standard output. The
// program then ends as a killed one does: by the same signal on POSIX (status 130 after
// Ctrl-C in a POSIX shell), and on Windows with the status given at installation. The state
// lives in the twin (interrupt_cleanup_posix.cc, interrupt_cleanup_win32.cc) in fixed
// buffers: a handler can reach nothing else.
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
  // SIGPIPE: the reader of standard output (or error) has gone, as `| head -1` leaves it.
  // The program ends at once, as cat does, removing the armed file and printing nothing.
  // Windows has no such signal: a write fails there instead (end_if_reader_gone).
  kBrokenPipe = 1u << 3,
};

// Installs the handlers for the given sources, once at start-up; the others keep their
// default action. A signal that the program was started with ignored (a background job,
// nohup) stays ignored. A front end that never installs them still arms and disarms: that
// costs nothing and removes nothing.
void install_interrupt_cleanup(unsigned sources, WindowsInterruptExit exit);

// How an interrupt from one source (not kBrokenPipe) ends the program, for a front end that
// reports it ahead: the signal's name and number as POSIX has them (SIGINT 2, SIGTERM 15,
// SIGHUP 1; on Windows the console events stand for them), and the exit status the caller
// sees: 128 + the number, as a POSIX shell reports a killed program, or on Windows the
// status chosen at installation.
struct InterruptEnding {
  const char* signal;
  int number;
  int exit_status;
};
InterruptEnding interrupt_ending(InterruptSource source);

// A line for standard output that an interrupt from source writes, with one write, after
// the note and before the program ends (a machine-readable report of the run, which the
// handler cannot render itself); without its line feed, "" for none. Returns -1 (none set)
// when it does not fit the handler's fixed buffer.
int set_interrupt_output(InterruptSource source, const char* text);

// The program has written its own report of the run: from now on the interrupts (not
// kBrokenPipe) are held back until it exits, with the status that report gives, rather
// than end it with a second report or none. Call it just before writing that report.
void hold_interrupts_until_exit();

// After a failed write to standard output, with its errno: when the reader has gone, ends
// the program at once as SIGPIPE does (the armed file removed, nothing printed), with
// status 0 on Windows. On POSIX the kBrokenPipe handler has done so before any write could
// fail; a program started with SIGPIPE ignored gets the error, as it asked, and nothing
// happens here.
void end_if_reader_gone(int write_error);

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
