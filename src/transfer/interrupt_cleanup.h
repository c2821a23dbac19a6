// A download writes into a temporary file beside its target (download_target.h). If the
// shell is interrupted (Ctrl-C, SIGTERM, a closed terminal; on Windows the console's
// control events) while that file is open, the file is removed before the shell ends, so
// nothing is left behind and the target keeps what it held. The shell then ends exactly as
// it would have without this: killed by the same signal (status 130 after Ctrl-C in a
// POSIX shell), or with the console's Ctrl-C exit code on Windows.
#pragma once

namespace rq {

// Installs the handlers, once at start-up. A signal that the shell was started with
// ignored (a background job, nohup) stays ignored.
void install_interrupt_cleanup();

// The temporary file that an interrupt removes from now on; called before the file is
// created, so that no moment is left in which it exists unwatched. Returns -1 (nothing
// armed) when the path does not fit the handler's fixed buffer.
int arm_interrupt_cleanup(const char* temporary_path);

// The armed file is open now as the descriptor fd (Windows removes no open file: the handler
// closes it first).
void interrupt_cleanup_opened(int fd);

// Nothing to remove any more: the file was moved over its target or removed.
void disarm_interrupt_cleanup();

}  // namespace rq
