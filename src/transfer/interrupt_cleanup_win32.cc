#include <io.h>
#include <windows.h>

#include <cstring>

#include "transfer/interrupt_cleanup.h"

namespace rq {

namespace {

// The console runs its control handler on a thread of its own, which can reach nothing but
// statics: the path and the file's handle live here, guarded by a lock that the handler
// keeps until the process is gone, so the shell cannot move the file meanwhile.
constexpr size_t kPathCapacity = MAX_PATH * 4 + 64;
SRWLOCK g_lock = SRWLOCK_INIT;
char g_temporary[kPathCapacity];
HANDLE g_file = INVALID_HANDLE_VALUE;
bool g_armed = false;

BOOL WINAPI on_console_event(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT: break;
    default: return FALSE;
  }
  AcquireSRWLockExclusive(&g_lock);
  if (!g_armed) {
    ReleaseSRWLockExclusive(&g_lock);
    return FALSE;  // the default handler ends the shell as it always did
  }
  // An open file cannot be deleted; the shell's own writes to it fail from here on, and
  // the process ends before it could do anything about that.
  if (g_file != INVALID_HANDLE_VALUE) CloseHandle(g_file);
  DeleteFileA(g_temporary);
  // The exit code the default handler gives for Ctrl-C.
  TerminateProcess(GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
  return TRUE;
}

}  // namespace

void install_interrupt_cleanup() { SetConsoleCtrlHandler(on_console_event, TRUE); }

int arm_interrupt_cleanup(const char* temporary_path) {
  size_t length = strlen(temporary_path);
  if (length >= kPathCapacity) return -1;
  AcquireSRWLockExclusive(&g_lock);
  memcpy(g_temporary, temporary_path, length + 1);
  g_file = INVALID_HANDLE_VALUE;
  g_armed = true;
  ReleaseSRWLockExclusive(&g_lock);
  return 0;
}

void interrupt_cleanup_opened(int fd) {
  intptr_t handle = _get_osfhandle(fd);
  AcquireSRWLockExclusive(&g_lock);
  if (g_armed) g_file = reinterpret_cast<HANDLE>(handle);
  ReleaseSRWLockExclusive(&g_lock);
}

void disarm_interrupt_cleanup() {
  AcquireSRWLockExclusive(&g_lock);
  g_armed = false;
  g_file = INVALID_HANDLE_VALUE;
  ReleaseSRWLockExclusive(&g_lock);
}

}  // namespace rq
